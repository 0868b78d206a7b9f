#include "sysmat.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "kv_assert.h"
#include "skyline.h"

namespace KelVane {

SystemMat::~SystemMat() = default;

std::string does_not_fit(unsigned i, unsigned j, std::uint32_t n)
{
    std::ostringstream message;
    message << "matrix element (" << i << "," << j << ") does not fit in matrix of size " << n;
    return message.str();
}

namespace {

bool index_less(const ai& entry, std::uint32_t index)
{
    return entry.index < index;
}

} // namespace

double& SparseVector::operator()(std::uint32_t i)
{
    auto at = std::lower_bound(entries_.begin(), entries_.end(), i, index_less);
    if (at == entries_.end() || at->index != i) {
        at = entries_.insert(at, ai{0.0, i});
        if (i + 1 > dim_)
            dim_ = i + 1;
    }
    return at->value;
}

double SparseVector::operator()(std::uint32_t i) const
{
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), i, index_less);
    if (at == entries_.end() || at->index != i)
        return 0.0;
    return at->value;
}

double dot(const SparseVector& A, const Vector& B)
{
    KV_ASSERT(A.dim() <= B.size());
    double sum = 0.0;
    for (const ai& entry : A.entries())
        sum += entry.value * B[entry.index];
    return sum;
}

SparseVector& CR_Matrix::operator[](std::uint32_t r)
{
    KV_ASSERT(r < rows_.size());
    return rows_[r];
}

const SparseVector& CR_Matrix::operator[](std::uint32_t r) const
{
    KV_ASSERT(r < rows_.size());
    return rows_[r];
}

void multiply(const CR_Matrix& A, const Vector& x, Vector& y)
{
    y.resize(A.num_rows());
    for (std::uint32_t r = 0; r < A.num_rows(); ++r)
        y[r] = dot(A[r], x);
}

Vector operator*(const CR_Matrix& A, const Vector& x)
{
    Vector y(A.num_rows());
    multiply(A, x, y);
    return y;
}

void multiply(const CR_Matrix& A, const Matrix& X, Matrix& Y)
{
    Y.resize(A.num_rows(), X.size2());
    Vector column(X.size1());
    for (unsigned c = 0; c < X.size2(); ++c) {
        for (unsigned r = 0; r < X.size1(); ++r)
            column[r] = X[r][c];
        for (std::uint32_t r = 0; r < A.num_rows(); ++r)
            Y[r][c] = dot(A[r], column);
    }
}

Matrix operator*(const CR_Matrix& A, const Matrix& X)
{
    Matrix Y(A.num_rows(), X.size2());
    multiply(A, X, Y);
    return Y;
}

SparseSysMat::SparseSysMat(std::uint32_t n, bool symmetric_)
    : CR_Matrix(n), size(n), symmetric(symmetric_)
{
}

SparseSysMat::~SparseSysMat() = default;

void SparseSysMat::geometry(unsigned i, unsigned j)
{
    if (i < 1 || i > size || j < 1 || j > size)
        throw dimension_error(does_not_fit(i, j, size));
}

void SparseSysMat::zero()
{
    for (std::uint32_t r = 0; r < num_rows(); ++r)
        for (ai& entry : (*this)[r].entries())
            entry.value = 0.0;
    // The skyline copy keeps its profile for the next solve; its values and its
    // factorisation are of no further use.
    cached_current = false;
}

std::size_t SparseSysMat::stored_entries() const
{
    std::size_t count = 0;
    for (std::uint32_t r = 0; r < num_rows(); ++r) count += (*this)[r].entries().size();
    return count;
}

void SparseSysMat::add(unsigned i, unsigned j, double value)
{
    KV_ASSERT(1 <= i && i <= size);
    KV_ASSERT(1 <= j && j <= size);
    (*this)[i - 1](j - 1) += value;
}

void SparseSysMat::add(const SparseSysMat& A, double factor)
{
    KV_ASSERT(num_rows()==A.num_rows());
    for (std::uint32_t r = 0; r < num_rows(); ++r) {
        SparseVector& row = (*this)[r];
        for (const ai& entry : A[r].entries())
            row(entry.index) += factor * entry.value;
    }
}

void SparseSysMat::print(const std::string& title)
{
    std::cout << title << '\n' << " i, j, value" << '\n';
    for (std::uint32_t r = 0; r < num_rows(); ++r)
        for (const ai& entry : (*this)[r].entries())
            std::cout << r << ' ' << entry.index << ' ' << entry.value << '\n';
    std::cout.flush();
}

void SparseSysMat::solve(const Vector& b, Vector& x)
{
    KV_ASSERT(size == num_rows());
    if (!cached_current) {
        // Entries are never removed, so an unchanged count means an unchanged
        // pattern: the skyline copy of the previous solve has the right profile.
        const std::size_t entries = stored_entries();
        if (!cached || entries != cached_entries) {
            cached.reset();
            std::unique_ptr<SystemMat> skyline;
            if (symmetric)
                skyline = std::make_unique<SkySymMat>(size);
            else
                skyline = std::make_unique<SkyNonSymMat>(size);
            for (std::uint32_t r = 0; r < num_rows(); ++r)
                for (const ai& entry : (*this)[r].entries())
                    skyline->geometry(r + 1, entry.index + 1);
            cached = std::move(skyline);
            cached_entries = entries;
        }
        cached->zero();
        for (std::uint32_t r = 0; r < num_rows(); ++r)
            for (const ai& entry : (*this)[r].entries())
                cached->add(r + 1, entry.index + 1, entry.value);
        cached_current = true;
    }
    cached->solve(b, x);
}

} // namespace KelVane
