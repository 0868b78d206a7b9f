#include "sysmat.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <sstream>

#include "kv_assert.h"
#include "ordering.h"
#include "skyline.h"

namespace KelVane {

SystemMat::~SystemMat() = default;

namespace {

FactorStatistics statistics;

} // namespace

const FactorStatistics& last_factor_statistics()
{
    return statistics;
}

SolverChoice& solver_choice()
{
    static SolverChoice choice;
    return choice;
}

std::string does_not_fit(unsigned i, unsigned j, std::uint32_t n)
{
    std::ostringstream message;
    message << "matrix element (" << i << "," << j << ") does not fit in matrix of size " << n;
    return message.str();
}

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

// Each row of A is read once for all columns; every column's sum runs over the
// entries in the same order as dot, so that the columns come out as multiply on
// one vector would give them.
void multiply(const CR_Matrix& A, const Matrix& X, Matrix& Y)
{
    const unsigned columns = X.size2();
    Y.resize(A.num_rows(), columns);
    for (std::uint32_t r = 0; r < A.num_rows(); ++r) {
        KV_ASSERT(A[r].dim() <= X.size1());
        double* y = Y[r];
        for (unsigned c = 0; c < columns; ++c)
            y[c] = 0.0;
        for (const ai& entry : A[r].entries()) {
            const double* x = X[entry.index];
            const double value = entry.value;
            for (unsigned c = 0; c < columns; ++c)
                y[c] += value * x[c];
        }
    }
}

Matrix operator*(const CR_Matrix& A, const Matrix& X)
{
    Matrix Y(A.num_rows(), X.size2());
    multiply(A, X, Y);
    return Y;
}

PackedRows::PackedRows(const CR_Matrix& A) : start(A.num_rows() + 1, 0)
{
    for (std::uint32_t r = 0; r < A.num_rows(); ++r) {
        for (const ai& entry : A[r].entries()) {
            values.push_back(entry.value);
            index.push_back(entry.index);
        }
        start[r + 1] = values.size();
        columns_needed = std::max(columns_needed, A[r].dim());
    }
}

void PackedRows::multiply(const Vector& x, Vector& y) const
{
    KV_ASSERT(columns_needed <= x.size());
    const std::uint32_t rows = static_cast<std::uint32_t>(start.size() - 1);
    y.resize(rows);
    for (std::uint32_t r = 0; r < rows; ++r) {
        double sum = 0.0;
        for (std::size_t e = start[r]; e < start[r + 1]; ++e)
            sum += values[e] * x[index[e]];
        y[r] = sum;
    }
}

void PackedRows::multiply(const Matrix& X, Matrix& Y) const
{
    KV_ASSERT(columns_needed <= X.size1());
    const std::uint32_t rows = static_cast<std::uint32_t>(start.size() - 1);
    const unsigned columns = X.size2();
    Y.resize(rows, columns);
    for (std::uint32_t r = 0; r < rows; ++r) {
        double* y = Y[r];
        for (unsigned c = 0; c < columns; ++c)
            y[c] = 0.0;
        for (std::size_t e = start[r]; e < start[r + 1]; ++e) {
            const double* x = X[index[e]];
            const double value = values[e];
            for (unsigned c = 0; c < columns; ++c)
                y[c] += value * x[c];
        }
    }
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
        const auto setup_start = std::chrono::steady_clock::now();
        // Entries are never removed, so an unchanged count means an unchanged
        // pattern: the order and the skyline copy of the previous solve still fit.
        const std::size_t entries = stored_entries();
        const bool reorder = solver_choice().reorder;
        if (!cached || entries != cached_entries || reorder != ordered) {
            cached.reset();
            order.clear();
            if (reorder)
                order = profile_order(*this);
            place.assign(order.size(), 0);
            for (std::uint32_t k = 0; k < order.size(); ++k)
                place[order[k]] = k;
            ordered = reorder;
            std::unique_ptr<SystemMat> skyline;
            if (symmetric)
                skyline = std::make_unique<SkySymMat>(size);
            else
                skyline = std::make_unique<SkyNonSymMat>(size);
            for (std::uint32_t r = 0; r < num_rows(); ++r)
                for (const ai& entry : (*this)[r].entries())
                    skyline->geometry(skyline_index(r), skyline_index(entry.index));
            skyline->zero();
            if (symmetric) {
                const auto& sky = static_cast<const SkySymMat&>(*skyline);
                profile_flops = sky.factor_flops();
                profile_size = sky.profile_entries();
            } else {
                const auto& sky = static_cast<const SkyNonSymMat&>(*skyline);
                profile_flops = sky.factor_flops();
                profile_size = sky.profile_entries();
            }
            cached = std::move(skyline);
            cached_entries = entries;
        } else {
            cached->zero();
        }
        for (std::uint32_t r = 0; r < num_rows(); ++r)
            for (const ai& entry : (*this)[r].entries())
                cached->add(skyline_index(r), skyline_index(entry.index), entry.value);
        cached_current = true;
        statistics = FactorStatistics();
        statistics.flops = profile_flops;
        statistics.profile_entries = profile_size;
        statistics.setup_seconds = seconds_since(setup_start);
        const auto factor_start = std::chrono::steady_clock::now();
        solve_ordered(b, x);
        statistics.factor_seconds = seconds_since(factor_start);
        return;
    }
    solve_ordered(b, x);
}

unsigned SparseSysMat::negative_pivots() const
{
    if (!cached || !symmetric)
        return 0;
    return static_cast<const SkySymMat&>(*cached).negative_pivots();
}

void SparseSysMat::solve(const Matrix& B, Matrix& X)
{
    KV_ASSERT(B.size1() == size);
    const unsigned columns = B.size2();
    if (!cached_current && columns > 0 && size > 0) {
        // Factorises, on the first column.
        Vector b(size);
        Vector x;
        for (std::uint32_t r = 0; r < size; ++r)
            b[r] = B[r][0];
        solve(b, x);
    }
    if (!cached || !symmetric) {
        // The nonsymmetric skyline goes one column at a time.
        X.resize(size, columns);
        Vector b(size);
        Vector x;
        for (unsigned c = 0; c < columns; ++c) {
            for (std::uint32_t r = 0; r < size; ++r)
                b[r] = B[r][c];
            solve(b, x);
            for (std::uint32_t r = 0; r < size; ++r)
                X[r][c] = x[r];
        }
        return;
    }
    auto& skyline = static_cast<SkySymMat&>(*cached);
    if (order.empty()) {
        X = B;
        skyline.LDLt_solve(X);
        return;
    }
    Matrix permuted(size, columns);
    for (std::uint32_t k = 0; k < size; ++k)
        std::copy(B[order[k]], B[order[k]] + columns, permuted[k]);
    skyline.LDLt_solve(permuted);
    X.resize(size, columns);
    for (std::uint32_t k = 0; k < size; ++k)
        std::copy(permuted[k], permuted[k] + columns, X[order[k]]);
}

void SparseSysMat::solve_ordered(const Vector& b, Vector& x)
{
    if (order.empty()) {
        cached->solve(b, x);
        return;
    }
    KV_ASSERT(b.size() == size);
    Vector permuted(size);
    for (std::uint32_t k = 0; k < size; ++k)
        permuted[k] = b[order[k]];
    Vector solution;
    cached->solve(permuted, solution);
    x.resize(size);
    for (std::uint32_t k = 0; k < size; ++k)
        x[order[k]] = solution[k];
}

} // namespace KelVane
