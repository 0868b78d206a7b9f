#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

#include "common/matrix_helpers.h"
#include "eigen.h"
#include "kvmatrix.h"
#include "triangular.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::identity;
using kv_test::sorted;

namespace {

const double pi = 3.14159265358979323846;

Matrix from_rows(std::initializer_list<std::initializer_list<double>> rows)
{
    Matrix A(unsigned(rows.size()), unsigned(rows.begin()->size()));
    unsigned i = 0;
    for (const auto& row : rows) {
        unsigned j = 0;
        for (double value : row)
            A[i][j++] = value;
        ++i;
    }
    return A;
}

Matrix tridiagonal(unsigned n, double diagonal, double off_diagonal)
{
    Matrix A(n, n, 0.0);
    for (unsigned i = 0; i < n; ++i) {
        A[i][i] = diagonal;
        if (i + 1 < n)
            A[i][i + 1] = A[i + 1][i] = off_diagonal;
    }
    return A;
}

// Symmetric matrix with entries from a fixed pseudo-random sequence in [-1, 1].
Matrix scrambled_symmetric(unsigned n, unsigned seed)
{
    Matrix A(n, n);
    unsigned state = seed;
    for (unsigned i = 0; i < n; ++i) {
        for (unsigned j = 0; j <= i; ++j) {
            state = state * 1103515245u + 12345u;
            A[i][j] = A[j][i] = double((state >> 8) % 20001u) / 10000.0 - 1.0;
        }
    }
    return A;
}

double max_abs_difference(const Matrix& A, const Matrix& B)
{
    double largest = 0.0;
    for (unsigned i = 0; i < A.size1(); ++i)
        for (unsigned j = 0; j < A.size2(); ++j)
            largest = std::max(largest, std::fabs(A[i][j] - B[i][j]));
    return largest;
}

Vector diagonal_of(const Matrix& A)
{
    Vector d(A.size1());
    for (unsigned i = 0; i < A.size1(); ++i)
        d[i] = A[i][i];
    return d;
}

// A0 V = B V diag(lambda) within `tolerance`, and V^T B V = I.
void expect_eigenpairs(const Matrix& A0, const Matrix& B, const Vector& lambda, const Matrix& V,
                       double tolerance)
{
    const unsigned n = A0.size1();
    ASSERT_EQ(V.size1(), n);
    ASSERT_EQ(V.size2(), n);
    const Matrix BV = B * V;
    EXPECT_LT(max_abs_difference(transpose_times(V, BV), identity(n)), 1e-12);
    const Matrix AV = A0 * V;
    for (unsigned j = 0; j < n; ++j)
        for (unsigned i = 0; i < n; ++i)
            EXPECT_NEAR(AV[i][j], lambda[j] * BV[i][j], tolerance) << "column " << j;
}

}  // namespace

TEST(EigenSymmetryTest, RelativeToleranceAndZeroDiagonals)
{
    EXPECT_TRUE(KelVane::symmetric(from_rows({{0, 1}, {1, 0}})));
    EXPECT_FALSE(KelVane::symmetric(from_rows({{0, 1}, {2, 0}})));
    // Differences are measured against |A(i,i)| + |A(j,j)| = 2.
    EXPECT_TRUE(KelVane::symmetric(from_rows({{1, 0.5}, {0.5 + 1.5e-8, 1}})));
    EXPECT_FALSE(KelVane::symmetric(from_rows({{1, 0.5}, {0.5 + 3e-8, 1}})));
    EXPECT_TRUE(KelVane::symmetric(Matrix()));
    EXPECT_FALSE(KelVane::symmetric(Matrix(2, 3, 0.0)));
}

TEST(EigenGivensTest, RotationAnnihilatesSecondComponent)
{
    const double pairs[][2] = {{3, 4}, {-3, 4}, {4, -3}, {0, 2}, {1e-20, 3e-20}, {5, 1e-12}, {-2, -2}};
    for (const auto& pair : pairs) {
        double c;
        double s;
        KelVane::eigen_givens(pair[0], pair[1], c, s);
        const double length = std::hypot(pair[0], pair[1]);
        EXPECT_NEAR(c * c + s * s, 1.0, 1e-15);
        EXPECT_NEAR(s * pair[0] + c * pair[1], 0.0, 1e-15 * length);
        EXPECT_NEAR(std::fabs(c * pair[0] - s * pair[1]), length, 1e-14 * length);
    }
    double c;
    double s;
    KelVane::eigen_givens(7.0, 0.0, c, s);
    EXPECT_EQ(c, 1.0);
    EXPECT_EQ(s, 0.0);
}

TEST(EigenHouseholderTest, SimilarTridiagonalForm)
{
    for (unsigned n : {3u, 4u, 7u}) {
        const Matrix A0 = scrambled_symmetric(n, 17 + n);
        Matrix A(A0);
        Matrix V = identity(n);
        KelVane::eigen_householder(A, &V);
        for (unsigned i = 0; i < n; ++i) {
            for (unsigned j = 0; j < n; ++j) {
                if (i > j + 1 || j > i + 1) {
                    EXPECT_EQ(A[i][j], 0.0) << n << ": " << i << "," << j;
                }
            }
        }
        EXPECT_LT(max_abs_difference(transpose_times(V, V), identity(n)), 1e-14);
        EXPECT_LT(max_abs_difference(transpose_times(V, A0 * V), A), 1e-13);
        EXPECT_EQ(A[0][0], A0[0][0]);
    }
}

TEST(EigenSymmetricTest, SecondDifferenceMatrixMatchesClosedForm)
{
    for (unsigned n : {2u, 3u, 5u, 10u, 40u}) {
        const Matrix A0 = tridiagonal(n, 2.0, -1.0);
        Matrix A(A0);
        Matrix V;
        KelVane::eigen_symmetric(A, &V);
        const std::vector<double> values = sorted(diagonal_of(A));
        for (unsigned k = 1; k <= n; ++k)
            EXPECT_NEAR(values[k - 1], 2.0 - 2.0 * std::cos(k * pi / (n + 1)), 1e-13)
                << "n = " << n << ", k = " << k;
        expect_eigenpairs(A0, identity(n), diagonal_of(A), V, 1e-12);
    }
}

TEST(EigenSymmetricTest, EigenvaluesFollowAnyScaleOfTheMatrix)
{
    const Matrix base = scrambled_symmetric(12, 5);
    Matrix reference(base);
    KelVane::eigen_symmetric(reference);
    const std::vector<double> expected = sorted(diagonal_of(reference));
    for (double scale : {1e-18, 1e-9, 1e12}) {
        const Matrix A0 = base * scale;
        Matrix A(A0);
        Matrix V;
        KelVane::eigen_symmetric(A, &V);
        const std::vector<double> values = sorted(diagonal_of(A));
        for (unsigned k = 0; k < values.size(); ++k)
            EXPECT_NEAR(values[k] / scale, expected[k], 1e-12) << "scale " << scale;
        expect_eigenpairs(A0, identity(12), diagonal_of(A), V, 1e-12 * scale);
    }
}

TEST(EigenSymmetricTest, SmallRepeatedAndDegenerateCases)
{
    Matrix diagonal = from_rows({{3, 0}, {0, 1}});
    Matrix V;
    KelVane::eigen_symmetric(diagonal, &V);
    EXPECT_EQ(diagonal[0][0], 3.0);
    EXPECT_EQ(diagonal[1][1], 1.0);
    EXPECT_EQ(max_abs_difference(V, identity(2)), 0.0);

    // A single entry is its own eigenvalue, with eigenvector 1.
    Matrix single(1, 1, 4.5);
    Matrix V1(3, 3, 7.0);
    KelVane::eigen_symmetric(single, &V1);
    EXPECT_EQ(single[0][0], 4.5);
    ASSERT_EQ(V1.size1(), 1u);
    ASSERT_EQ(V1.size2(), 1u);
    EXPECT_EQ(V1[0][0], 1.0);

    // I + ones(4): eigenvalues 1, 1, 1, 5.
    Matrix repeated(4, 4, 1.0);
    for (unsigned i = 0; i < 4; ++i)
        repeated[i][i] = 2.0;
    const Matrix R0(repeated);
    KelVane::eigen_symmetric(repeated, &V);
    const std::vector<double> values = sorted(diagonal_of(repeated));
    EXPECT_NEAR(values[0], 1.0, 1e-14);
    EXPECT_NEAR(values[2], 1.0, 1e-14);
    EXPECT_NEAR(values[3], 5.0, 1e-14);
    expect_eigenpairs(R0, identity(4), diagonal_of(repeated), V, 1e-13);

    // A block the iteration cannot reduce ends after a bounded number of passes, also
    // once the last row has split off.
    Matrix broken = tridiagonal(5, 2.0, -1.0);
    broken[3][4] = broken[4][3] = 0.0;
    broken[0][0] = std::numeric_limits<double>::quiet_NaN();
    KelVane::eigen_symmetric(broken, &V);
    EXPECT_EQ(broken[4][4], 2.0);
}

TEST(EigenGeneralizedTest, DiagonalPairAndConsistentMassBar)
{
    Matrix A = from_rows({{2, 0}, {0, 8}});
    const Matrix B = from_rows({{1, 0}, {0, 2}});
    Vector lambda;
    Matrix V;
    KelVane::eigen_generalized(A, B, lambda, &V);
    ASSERT_EQ(lambda.size(), 2u);
    EXPECT_NEAR(lambda[0], 2.0, 1e-15);
    EXPECT_NEAR(lambda[1], 4.0, 1e-15);
    expect_eigenpairs(from_rows({{2, 0}, {0, 8}}), B, lambda, V, 1e-14);

    // Linear bar elements: K = tridiag(-1, 2, -1) / h, M = tridiag(1, 4, 1) h / 6,
    // lambda_k = 6 (1 - cos t) / (h^2 (2 + cos t)) with t = k pi / (n + 1).
    const unsigned n = 15;
    const double h = 1.0 / (n + 1);
    const Matrix K = tridiagonal(n, 2.0 / h, -1.0 / h);
    const Matrix M = tridiagonal(n, 4.0 * h / 6.0, h / 6.0);
    Matrix Kw(K);
    KelVane::eigen_generalized(Kw, M, lambda, &V);
    const std::vector<double> values = sorted(lambda);
    for (unsigned k = 1; k <= n; ++k) {
        const double t = k * pi / (n + 1);
        const double expected = 6.0 * (1.0 - std::cos(t)) / (h * h * (2.0 + std::cos(t)));
        EXPECT_NEAR(values[k - 1], expected, 1e-11 * expected) << k;
    }
    expect_eigenpairs(K, M, lambda, V, 1e-9 * values.back());
}

TEST(EigenGeneralizedTest, ReducedMatrixRoundingDoesNotStopTheSolver)
{
    // A = L C L^T and B = L L^T with C the adjacency matrix of a path of four nodes:
    // the reduced matrix L^-1 A L^-T is C, whose zero diagonal leaves nothing to
    // measure the rounding of the two substitutions against.
    const Matrix L = from_rows({{3, 0, 0, 0}, {0.7, 1.9, 0, 0}, {-1.3, 0.4, 2.3, 0}, {0.2, -0.9, 0.6, 1.1}});
    const Matrix C = from_rows({{0, 1, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}, {0, 0, 1, 0}});
    Matrix A = L * C * transpose(L);
    Matrix B = L * transpose(L);
    for (unsigned i = 0; i < 4; ++i) {
        for (unsigned j = 0; j < i; ++j) {
            A[j][i] = A[i][j];
            B[j][i] = B[i][j];
        }
    }
    const Matrix A0(A);
    Vector lambda;
    Matrix V;
    KelVane::eigen_generalized(A, B, lambda, &V);
    const std::vector<double> values = sorted(lambda);
    const double expected[] = {-2.0 * std::cos(pi / 5), -2.0 * std::cos(2 * pi / 5),
                               2.0 * std::cos(2 * pi / 5), 2.0 * std::cos(pi / 5)};
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_NEAR(values[i], expected[i], 1e-13);
    expect_eigenpairs(A0, B, lambda, V, 1e-12);
}

TEST(TriangularTest, CholeskyAndSolvesAgainstHandResults)
{
    const Matrix A = from_rows({{4, 2, 2}, {2, 5, 3}, {2, 3, 6}});
    Matrix L(A);
    KelVane::cholesky(L);
    // L = [2 0 0; 1 2 0; 1 1 2]; the strict upper triangle keeps A's values.
    EXPECT_LT(max_abs_difference(L, from_rows({{2, 2, 2}, {1, 2, 3}, {1, 1, 2}})), 1e-15);

    // L^-1 (2, 3, 4)^T = L^-T (4, 3, 2)^T = (1, 1, 1)^T; the row form x L^T = (2, 3, 4)
    // has the same answer. The stale upper triangle of L must not enter.
    Matrix forward = from_rows({{2, 5}, {3, 6}, {4, 8}});
    KelVane::Linv_A(L, forward);
    EXPECT_LT(max_abs_difference(forward, from_rows({{1, 2.5}, {1, 1.75}, {1, 1.875}})), 1e-15);
    Matrix backward = from_rows({{4}, {3}, {2}});
    KelVane::LinvT_A(L, backward);
    EXPECT_LT(max_abs_difference(backward, from_rows({{1}, {1}, {1}})), 1e-15);
    Matrix rows = from_rows({{2, 3, 4}, {8, 6, 4}});
    KelVane::A_LinvT(rows, L);
    EXPECT_LT(max_abs_difference(rows, from_rows({{1, 1, 1}, {4, 1, -0.5}})), 1e-15);
}

TEST(EigenDeathTest, InconsistentArgumentsStopTheProgram)
{
    Matrix asymmetric(3, 3, 1.0);
    asymmetric[2][0] = 5.0;
    Matrix A = identity(3);
    Vector lambda;
    EXPECT_DEATH(KelVane::eigen_householder(asymmetric), "symmetric\\( \\*Ap \\)");
    EXPECT_DEATH(KelVane::eigen_generalized(asymmetric, A, lambda), "symmetric\\( A \\)");
    EXPECT_DEATH(KelVane::eigen_generalized(A, asymmetric, lambda), "symmetric\\( B \\)");
    Matrix wide(2, 3, 0.0);
    EXPECT_DEATH(KelVane::cholesky(wide), "A.size2\\(\\)==n");
    Matrix T = tridiagonal(3, 2.0, -1.0);
    EXPECT_DEATH(KelVane::eigen_tridiagonal_QR_step(T, 0, 4), "q<=n");
}
