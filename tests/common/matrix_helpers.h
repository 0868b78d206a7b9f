#ifndef KELVANED_TESTS_COMMON_MATRIX_HELPERS_H
#define KELVANED_TESTS_COMMON_MATRIX_HELPERS_H

// Building and comparing the matrices and vectors of the tests.

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvmatrix.h"
#include "sysmat.h"

namespace kv_test {

inline KelVane::Vector make_vector(std::initializer_list<double> values)
{
    KelVane::Vector v(static_cast<unsigned>(values.size()));
    unsigned i = 1;
    for (double value : values) v(i++) = value;
    return v;
}

// An m x n matrix from its values row by row.
inline KelVane::Matrix make_matrix(unsigned m, unsigned n, std::initializer_list<double> rows)
{
    KelVane::Matrix A(m, n);
    auto value = rows.begin();
    for (unsigned i = 1; i <= m; ++i)
        for (unsigned j = 1; j <= n; ++j) A(i, j) = *value++;
    return A;
}

inline KelVane::Matrix identity(unsigned n)
{
    KelVane::Matrix I(n, n, 0.0);
    for (unsigned i = 1; i <= n; ++i) I(i, i) = 1.0;
    return I;
}

// The entries in ascending order.
inline std::vector<double> sorted(const KelVane::Vector& v)
{
    std::vector<double> values(v.size());
    for (unsigned i = 0; i < v.size(); ++i) values[i] = v[i];
    std::sort(values.begin(), values.end());
    return values;
}

inline void expect_vector_near(const KelVane::Vector& expected, const KelVane::Vector& actual,
                               double tolerance)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (unsigned i = 1; i <= expected.size(); ++i)
        EXPECT_NEAR(expected(i), actual(i), tolerance) << "at " << i;
}

inline void expect_matrix_near(const KelVane::Matrix& expected, const KelVane::Matrix& actual,
                               double tolerance)
{
    ASSERT_EQ(expected.size1(), actual.size1());
    ASSERT_EQ(expected.size2(), actual.size2());
    for (unsigned i = 1; i <= expected.size1(); ++i)
        for (unsigned j = 1; j <= expected.size2(); ++j)
            EXPECT_NEAR(expected(i, j), actual(i, j), tolerance) << "at (" << i << ", " << j << ")";
}

// What A.print(title) writes to standard output.
inline std::string print_of(KelVane::SystemMat& A, const std::string& title)
{
    testing::internal::CaptureStdout();
    A.print(title);
    return testing::internal::GetCapturedStdout();
}

}  // namespace kv_test

#endif
