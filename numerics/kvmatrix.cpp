#include "kvmatrix.h"

#include <cmath>
#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

#include "errors.h"

namespace KelVane {

namespace {

const char* const singular_message = "determinant zero in calculation of inverse matrix";

double determinant_3x3(const Matrix& A)
{
    return A(1, 1) * (A(2, 2) * A(3, 3) - A(2, 3) * A(3, 2))
         - A(1, 2) * (A(2, 1) * A(3, 3) - A(2, 3) * A(3, 1))
         + A(1, 3) * (A(2, 1) * A(3, 2) - A(2, 2) * A(3, 1));
}

// Gauss-Jordan inversion by exchange steps on a copy, with row interchanges
// to the largest pivot of each column.
Matrix invert_by_elimination(const Matrix& A)
{
    const unsigned n = A.size1();
    Matrix W(A);
    std::vector<unsigned> p(n);
    for (unsigned k = 0; k < n; ++k) p[k] = k;

    for (unsigned k = 0; k < n; ++k) {
        unsigned pivot_row = k;
        double largest = std::fabs(W[k][k]);
        for (unsigned r = k + 1; r < n; ++r) {
            const double magnitude = std::fabs(W[r][k]);
            if (magnitude > largest) {
                largest = magnitude;
                pivot_row = r;
            }
        }
        if (largest == 0.0) throw matrix_error(singular_message);
        if (pivot_row != k) {
            double* row_k = W[k];
            double* row_r = W[pivot_row];
            for (unsigned j = 0; j < n; ++j) std::swap(row_k[j], row_r[j]);
            std::swap(p[k], p[pivot_row]);
        }

        // Exchange the roles of the k-th unknown and the k-th right-hand side.
        const double q = 1.0 / W[k][k];
        for (unsigned i = 0; i < n; ++i) W[i][k] *= q;
        W[k][k] = q;
        double* pivot = W[k];
        for (unsigned j = 0; j < n; ++j) {
            if (j == k) continue;
            for (unsigned i = 0; i < n; ++i) {
                if (i == k) continue;
                W[i][j] -= W[i][k] * pivot[j];
            }
            pivot[j] = -q * pivot[j];
        }
    }

    // Column j of W belongs to right-hand side p(j): put it back in its place.
    std::vector<double> row_copy(n);
    for (unsigned i = 0; i < n; ++i) {
        double* row = W[i];
        for (unsigned j = 0; j < n; ++j) row_copy[j] = row[j];
        for (unsigned j = 0; j < n; ++j) row[p[j]] = row_copy[j];
    }
    return W;
}

} // namespace

void Vector::print(std::ostream& os) const
{
    const std::streamsize width = os.width();
    for (unsigned i = 0; i < m_; ++i) {
        if (i > 0) os << ' ';
        os.width(width);
        os << data_[i];
    }
}

Matrix Matrix::leave_out(unsigned k) const
{
    if (k < 1 || k > m_ || k > n_) {
        std::ostringstream message;
        message << "can not leave out row and column " << k << " of matrix of size " << m_
                << "*" << n_;
        throw dimension_error(message.str());
    }
    Matrix reduced(m_ - 1, n_ - 1);
    unsigned target_row = 0;
    for (unsigned i = 0; i < m_; ++i) {
        if (i == k - 1) continue;
        const double* source = (*this)[i];
        double* target = reduced[target_row++];
        unsigned target_column = 0;
        for (unsigned j = 0; j < n_; ++j) {
            if (j == k - 1) continue;
            target[target_column++] = source[j];
        }
    }
    return reduced;
}

Matrix Matrix::inv() const
{
    const unsigned size = m_ == n_ ? m_ : 0;
    Matrix inverse(size, size);
    inv(inverse);
    return inverse;
}

void Matrix::inv(Matrix& inverse) const
{
    KV_ASSERT(&inverse != this);
    if (m_ != n_) {
        std::ostringstream message;
        message << "inv: error, trying to invert [" << m_ << "][" << n_ << "] matrix.";
        throw dimension_error(message.str());
    }
    const Matrix& A = *this;
    switch (m_) {
    case 0:
        inverse.resize(0, 0);
        return;
    case 1: {
        if (A(1, 1) == 0.0) throw matrix_error(singular_message);
        inverse.resize(1, 1);
        inverse(1, 1) = 1.0 / A(1, 1);
        return;
    }
    case 2: {
        const double det = A(1, 1) * A(2, 2) - A(1, 2) * A(2, 1);
        if (det == 0.0) throw matrix_error(singular_message);
        inverse.resize(2, 2);
        inverse(1, 1) = A(2, 2) / det;
        inverse(1, 2) = -A(1, 2) / det;
        inverse(2, 1) = -A(2, 1) / det;
        inverse(2, 2) = A(1, 1) / det;
        return;
    }
    case 3: {
        const double det = determinant_3x3(A);
        if (det == 0.0) throw matrix_error(singular_message);
        // Element (i, j) is the cofactor of (j, i) over the determinant.
        inverse.resize(3, 3);
        inverse(1, 1) = (A(2, 2) * A(3, 3) - A(2, 3) * A(3, 2)) / det;
        inverse(1, 2) = (A(1, 3) * A(3, 2) - A(1, 2) * A(3, 3)) / det;
        inverse(1, 3) = (A(1, 2) * A(2, 3) - A(1, 3) * A(2, 2)) / det;
        inverse(2, 1) = (A(2, 3) * A(3, 1) - A(2, 1) * A(3, 3)) / det;
        inverse(2, 2) = (A(1, 1) * A(3, 3) - A(1, 3) * A(3, 1)) / det;
        inverse(2, 3) = (A(1, 3) * A(2, 1) - A(1, 1) * A(2, 3)) / det;
        inverse(3, 1) = (A(2, 1) * A(3, 2) - A(2, 2) * A(3, 1)) / det;
        inverse(3, 2) = (A(1, 2) * A(3, 1) - A(1, 1) * A(3, 2)) / det;
        inverse(3, 3) = (A(1, 1) * A(2, 2) - A(1, 2) * A(2, 1)) / det;
        return;
    }
    default:
        inverse = invert_by_elimination(A);
        return;
    }
}

double Matrix::determinant_() const
{
    KV_ASSERT(m_==n_);
    const Matrix& A = *this;
    switch (m_) {
    case 0:
        return 0.0;
    case 1:
        return A(1, 1);
    case 2:
        return A(1, 1) * A(2, 2) - A(1, 2) * A(2, 1);
    case 3:
        return determinant_3x3(A);
    default: {
        std::ostringstream message;
        message << "determinant: error, trying to calculate determinant of [" << m_ << "]["
                << n_ << "] matrix.";
        throw not_implemented_error(message.str());
    }
    }
}

double determinant(const Matrix& A)
{
    return A.determinant_();
}

void add_AtBA(Matrix& C, double factor, const Matrix& A, const Matrix& B)
{
    Matrix BA(B.size1(), A.size2());
    add_AtBA(C, factor, A, B, BA);
}

void add_AtBA(Matrix& C, double factor, const Matrix& A, const Matrix& B, Matrix& BA)
{
    KV_ASSERT(A.size1() == B.size1());
    KV_ASSERT(A.size1() == B.size2());
    KV_ASSERT(C.size1() == A.size2());
    KV_ASSERT(C.size2() == A.size2());
    if (factor == 0.0) return;
    multiply(B, A, BA);
    if (factor != 1.0) BA *= factor;
    // C(j, l) += sum over i of A(i, j) BA(i, l), row i of A and BA at a time.
    const unsigned n = A.size2();
    for (unsigned i = 0; i < A.size1(); ++i) {
        const double* a_row = A[i];
        const double* ba_row = BA[i];
        for (unsigned j = 0; j < n; ++j) {
            const double a_ij = a_row[j];
            double* c_row = C[j];
            for (unsigned l = 0; l < n; ++l) c_row[l] += a_ij * ba_row[l];
        }
    }
}

Matrix add_SubMat(Matrix& A, unsigned row, unsigned col, const Matrix& B)
{
    // Extents in 64 bits so that a huge offset cannot wrap around and pass the test.
    const unsigned long long last_row = static_cast<unsigned long long>(B.size1()) + row - 1;
    const unsigned long long last_col = static_cast<unsigned long long>(B.size2()) + col - 1;
    if (row < 1 || col < 1 || A.size1() < last_row || A.size2() < last_col) {
        std::ostringstream message;
        message << "add_SubMat: Incompatible sizes: left=[" << A.size1() << "][" << A.size2()
                << "] right=[" << static_cast<long long>(last_row) << "]["
                << static_cast<long long>(last_col) << "].";
        throw dimension_error(message.str());
    }
    for (unsigned i = 0; i < B.size1(); ++i) {
        const double* source = B[i];
        double* target = A[row - 1 + i] + (col - 1);
        for (unsigned j = 0; j < B.size2(); ++j) target[j] += source[j];
    }
    return A;
}

Vector add_SubVec(Vector& a, unsigned pos, const Vector& b)
{
    const unsigned long long last = static_cast<unsigned long long>(b.size()) + pos - 1;
    if (pos < 1 || a.size() < last) {
        std::ostringstream message;
        message << "add_SubVec: Incompatible sizes: left=[" << a.size() << "] right=["
                << static_cast<long long>(last) << "].";
        throw dimension_error(message.str());
    }
    for (unsigned i = 0; i < b.size(); ++i) a[pos - 1 + i] += b[i];
    return a;
}

} // namespace KelVane
