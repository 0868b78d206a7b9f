#ifndef KELVANED_KVMATRIX_H
#define KELVANED_KVMATRIX_H

#include <cmath>
#include <cstddef>
#include <iosfwd>

#include "kv_assert.h"

namespace KelVane {

class Matrix;

// Dense vector of doubles. operator() counts from 1, operator[] from 0.
class Vector {
public:
    Vector() : m_(0), data_(new double[0]) {}
    // Elements are left unset: the caller writes every one before reading it.
    explicit Vector(unsigned n) : m_(n), data_(new double[n]) {}
    Vector(unsigned n, double value) : m_(n), data_(new double[n])
    {
        for (unsigned i = 0; i < m_; ++i) data_[i] = value;
    }
    Vector(const Vector& B) : m_(B.m_), data_(new double[B.m_])
    {
        for (unsigned i = 0; i < m_; ++i) data_[i] = B.data_[i];
    }
    Vector(Vector&& B) noexcept : m_(B.m_), data_(B.data_)
    {
        B.m_ = 0;
        B.data_ = nullptr;
    }
    // The single column of a one-column matrix.
    Vector(const Matrix& A);
    ~Vector() { delete[] data_; }

    Vector& operator=(const Vector& B)
    {
        if (m_ != B.m_) {
            double* fresh = new double[B.m_];
            delete[] data_;
            data_ = fresh;
            m_ = B.m_;
        }
        for (unsigned i = 0; i < m_; ++i) data_[i] = B.data_[i];
        return *this;
    }

    unsigned size() const { return m_; }

    void set_zero()
    {
        for (unsigned i = 0; i < m_; ++i) data_[i] = 0.0;
    }

    // A new array only when the size changes; the elements are then unset.
    void resize(unsigned n)
    {
        if (n != m_) {
            double* fresh = new double[n];
            delete[] data_;
            data_ = fresh;
            m_ = n;
        }
    }

    double& operator()(unsigned i)
    {
        KV_ASSERT(1<=i);
        KV_ASSERT(i<= m_);
        return data_[i - 1];
    }
    double operator()(unsigned i) const
    {
        KV_ASSERT(1<=i);
        KV_ASSERT(i<= m_);
        return data_[i - 1];
    }
    double& operator[](unsigned i)
    {
        KV_ASSERT(i<m_);
        return data_[i];
    }
    double operator[](unsigned i) const
    {
        KV_ASSERT(i<m_);
        return data_[i];
    }

    Vector& operator+=(const Vector& B)
    {
        KV_ASSERT(m_==B.m_);
        for (unsigned i = 0; i < m_; ++i) data_[i] += B.data_[i];
        return *this;
    }
    Vector& operator-=(const Vector& B)
    {
        KV_ASSERT(m_==B.m_);
        for (unsigned i = 0; i < m_; ++i) data_[i] -= B.data_[i];
        return *this;
    }
    Vector& operator*=(double s)
    {
        for (unsigned i = 0; i < m_; ++i) data_[i] *= s;
        return *this;
    }

    // Writes the elements in the stream's field width, one blank between them.
    void print(std::ostream& os) const;

private:
    unsigned m_;
    double* data_;
};

// Dense m x n matrix of doubles stored row by row. operator() counts from 1;
// operator[] gives a pointer to the first element of a row counted from 0.
class Matrix {
public:
    Matrix() : m_(0), n_(0), data_(new double[0]) {}
    // Elements are left unset: the caller writes every one before reading it.
    Matrix(unsigned m, unsigned n) : m_(m), n_(n), data_(new double[std::size_t(m) * n]) {}
    Matrix(unsigned m, unsigned n, double value)
        : m_(m), n_(n), data_(new double[std::size_t(m) * n])
    {
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] = value;
    }
    Matrix(const Matrix& B) : m_(B.m_), n_(B.n_), data_(new double[B.count_()])
    {
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] = B.data_[k];
    }
    Matrix(Matrix&& B) noexcept : m_(B.m_), n_(B.n_), data_(B.data_)
    {
        B.m_ = 0;
        B.n_ = 0;
        B.data_ = nullptr;
    }
    // A one-column matrix holding the vector.
    Matrix(const Vector& v) : m_(v.size()), n_(1), data_(new double[v.size()])
    {
        for (unsigned i = 0; i < m_; ++i) data_[i] = v[i];
    }
    ~Matrix() { delete[] data_; }

    // Keeps the array when the element counts agree (a 2 x 3 source fits a 3 x 2 target).
    Matrix& operator=(const Matrix& B)
    {
        if (count_() != B.count_()) {
            double* fresh = new double[B.count_()];
            delete[] data_;
            data_ = fresh;
        }
        m_ = B.m_;
        n_ = B.n_;
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] = B.data_[k];
        return *this;
    }

    unsigned size1() const { return m_; }
    unsigned size2() const { return n_; }

    void set_zero()
    {
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] = 0.0;
    }

    // A new array only when the element count changes; the elements are then unset.
    void resize(unsigned m, unsigned n)
    {
        if (std::size_t(m) * n != count_()) {
            double* fresh = new double[std::size_t(m) * n];
            delete[] data_;
            data_ = fresh;
        }
        m_ = m;
        n_ = n;
    }

    double& operator()(unsigned i, unsigned j)
    {
        KV_ASSERT(1<=i);
        KV_ASSERT(i<= m_);
        KV_ASSERT(1<=j);
        KV_ASSERT(j<= n_);
        return data_[std::size_t(i - 1) * n_ + (j - 1)];
    }
    double operator()(unsigned i, unsigned j) const
    {
        KV_ASSERT(1<=i);
        KV_ASSERT(i<= m_);
        KV_ASSERT(1<=j);
        KV_ASSERT(j<= n_);
        return data_[std::size_t(i - 1) * n_ + (j - 1)];
    }
    double* operator[](unsigned i)
    {
        KV_ASSERT(i<m_);
        return data_ + std::size_t(i) * n_;
    }
    const double* operator[](unsigned i) const
    {
        KV_ASSERT(i< m_);
        return data_ + std::size_t(i) * n_;
    }

    Matrix& operator+=(const Matrix& B)
    {
        KV_ASSERT(m_==B.m_);
        KV_ASSERT(n_==B.n_);
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] += B.data_[k];
        return *this;
    }
    Matrix& operator-=(const Matrix& B)
    {
        KV_ASSERT(m_==B.m_);
        KV_ASSERT(n_==B.n_);
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] -= B.data_[k];
        return *this;
    }
    Matrix& operator*=(double s)
    {
        const std::size_t count = count_();
        for (std::size_t k = 0; k < count; ++k) data_[k] *= s;
        return *this;
    }

    // Copy without row k and column k (k counted from 1).
    Matrix leave_out(unsigned k) const;
    // Inverse of a square matrix; the matrix itself is unchanged.
    Matrix inv() const;
    // The same into inverse's own storage for sizes up to 3; inverse must not be this matrix.
    void inv(Matrix& inverse) const;

    friend double determinant(const Matrix& A);

private:
    std::size_t count_() const { return std::size_t(m_) * n_; }
    double determinant_() const;

    unsigned m_;
    unsigned n_;
    double* data_;
};

inline Vector::Vector(const Matrix& A) : m_(A.size1()), data_(nullptr)
{
    KV_ASSERT(A.size2()==1);
    data_ = new double[m_];
    for (unsigned i = 0; i < m_; ++i) data_[i] = A[i][0];
}

inline Vector operator+(const Vector& A, const Vector& B)
{
    KV_ASSERT(A.size()==B.size());
    Vector sum(A.size());
    for (unsigned i = 0; i < A.size(); ++i) sum[i] = A[i] + B[i];
    return sum;
}

inline Vector operator-(const Vector& A, const Vector& B)
{
    KV_ASSERT(A.size()==B.size());
    Vector difference(A.size());
    for (unsigned i = 0; i < A.size(); ++i) difference[i] = A[i] - B[i];
    return difference;
}

inline Vector operator*(const Vector& a, double s)
{
    Vector product(a.size());
    for (unsigned i = 0; i < a.size(); ++i) product[i] = a[i] * s;
    return product;
}

inline Vector operator*(double s, const Vector& a)
{
    return a * s;
}

// The column of a one-column matrix plus a vector.
inline Vector operator+(const Vector& B, const Matrix& A)
{
    KV_ASSERT(A.size1()==B.size());
    Vector sum(B.size());
    for (unsigned i = 0; i < B.size(); ++i) sum[i] = A[i][0] + B[i];
    return sum;
}

// product = A b in the product's own storage; product must not be b.
inline void multiply(const Matrix& A, const Vector& b, Vector& product)
{
    KV_ASSERT(A.size2() == b.size());
    KV_ASSERT(&product != &b);
    product.resize(A.size1());
    for (unsigned i = 0; i < A.size1(); ++i) {
        const double* row = A[i];
        double sum = 0.0;
        for (unsigned k = 0; k < A.size2(); ++k) sum += row[k] * b[k];
        product[i] = sum;
    }
}

inline Vector operator*(const Matrix& A, const Vector& b)
{
    Vector product(A.size1());
    multiply(A, b, product);
    return product;
}

// product = A B in the product's own storage (a new array only when its element
// count changes); product must be neither A nor B.
inline void multiply(const Matrix& A, const Matrix& B, Matrix& product)
{
    KV_ASSERT(A.size2() == B.size1());
    KV_ASSERT(&product != &A && &product != &B);
    const unsigned columns = B.size2();
    product.resize(A.size1(), columns);
    product.set_zero();
    for (unsigned i = 0; i < A.size1(); ++i) {
        double* result_row = product[i];
        const double* a_row = A[i];
        for (unsigned k = 0; k < A.size2(); ++k) {
            const double factor = a_row[k];
            const double* b_row = B[k];
            for (unsigned j = 0; j < columns; ++j) result_row[j] += factor * b_row[j];
        }
    }
}

inline Matrix operator*(const Matrix& A, const Matrix& B)
{
    Matrix product(A.size1(), B.size2());
    multiply(A, B, product);
    return product;
}

inline Matrix transpose(const Matrix& A)
{
    Matrix result(A.size2(), A.size1());
    for (unsigned i = 0; i < A.size1(); ++i) {
        const double* row = A[i];
        for (unsigned j = 0; j < A.size2(); ++j) result[j][i] = row[j];
    }
    return result;
}

// A^T B without forming A^T.
inline Matrix transpose_times(const Matrix& A, const Matrix& B)
{
    KV_ASSERT(A.size1() == B.size1());
    const unsigned columns = B.size2();
    Matrix product(A.size2(), columns, 0.0);
    for (unsigned i = 0; i < A.size2(); ++i) {
        double* result_row = product[i];
        for (unsigned k = 0; k < A.size1(); ++k) {
            const double factor = A[k][i];
            const double* b_row = B[k];
            for (unsigned j = 0; j < columns; ++j) result_row[j] += factor * b_row[j];
        }
    }
    return product;
}

// C += factor * A^T B A.
void add_AtBA(Matrix& C, double factor, const Matrix& A, const Matrix& B);
// The same with the caller's matrix BA for the intermediate product factor * B A.
void add_AtBA(Matrix& C, double factor, const Matrix& A, const Matrix& B, Matrix& BA);

// Outer product of a vector with a one-row matrix.
inline Matrix operator*(const Vector& a, const Matrix& B)
{
    KV_ASSERT(B.size1()==1);
    Matrix product(a.size(), B.size2());
    const double* b_row = B[0];
    for (unsigned i = 0; i < a.size(); ++i) {
        double* row = product[i];
        for (unsigned j = 0; j < B.size2(); ++j) row[j] = a[i] * b_row[j];
    }
    return product;
}

inline Matrix operator*(const Matrix& A, double s)
{
    Matrix product(A);
    product *= s;
    return product;
}

inline Matrix operator*(double s, const Matrix& A)
{
    return A * s;
}

inline double dot(const Vector& a, const Vector& b)
{
    const unsigned N = a.size();
    KV_ASSERT(N==b.size());
    double sum = 0.0;
    for (unsigned i = 0; i < N; ++i) sum += a[i] * b[i];
    return sum;
}

inline double norm(const Vector& a)
{
    double sum = 0.0;
    for (unsigned i = 0; i < a.size(); ++i) sum += a[i] * a[i];
    return std::sqrt(sum);
}

// True when no element is infinite or not a number.
inline bool all_finite(const Vector& a)
{
    for (unsigned i = 0; i < a.size(); ++i)
        if (!std::isfinite(a[i])) return false;
    return true;
}

// A(row+i-1, col+j-1) += B(i, j); row and col count from 1. Returns a copy of A.
Matrix add_SubMat(Matrix& A, unsigned row, unsigned col, const Matrix& B);

// a(pos+i-1) += b(i); pos counts from 1. Returns a copy of a.
Vector add_SubVec(Vector& a, unsigned pos, const Vector& b);

// Determinant of a square matrix of size 0 to 3.
double determinant(const Matrix& A);

} // namespace KelVane

#endif
