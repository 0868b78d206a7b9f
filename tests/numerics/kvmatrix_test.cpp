#include "kvmatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/matrix_helpers.h"
#include "errors.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::expect_matrix_near;
using kv_test::expect_vector_near;
using kv_test::identity;
using kv_test::make_matrix;
using kv_test::make_vector;

namespace {

template <class Error, class Action>
std::string message_of(Action action)
{
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

// Inverse from the adjugate of 3 x 3 minors, independent of the elimination path.
Matrix inverse_by_cofactors(const Matrix& A)
{
    const unsigned n = A.size1();
    double det = 0.0;
    Matrix cofactor(n, n);
    for (unsigned i = 1; i <= n; ++i)
        for (unsigned j = 1; j <= n; ++j) {
            Matrix minor(n - 1, n - 1);
            for (unsigned r = 1, mr = 1; r <= n; ++r) {
                if (r == i) continue;
                for (unsigned c = 1, mc = 1; c <= n; ++c) {
                    if (c == j) continue;
                    minor(mr, mc++) = A(r, c);
                }
                ++mr;
            }
            cofactor(i, j) = ((i + j) % 2 == 0 ? 1.0 : -1.0) * determinant(minor);
        }
    for (unsigned j = 1; j <= n; ++j) det += A(1, j) * cofactor(1, j);
    return transpose(cofactor) * (1.0 / det);
}

} // namespace

TEST(Vector, ConstructionCopyAndCounting)
{
    Vector empty;
    EXPECT_EQ(0u, empty.size());

    Vector filled(4, 2.5);
    ASSERT_EQ(4u, filled.size());
    for (unsigned i = 1; i <= 4; ++i) EXPECT_EQ(2.5, filled(i));

    Vector v = make_vector({1.0, 2.0, 3.0});
    EXPECT_EQ(1.0, v(1));
    EXPECT_EQ(1.0, v[0]);
    EXPECT_EQ(3.0, v(3));
    EXPECT_EQ(3.0, v[2]);

    Vector copy(v);
    copy(2) = 20.0;
    EXPECT_EQ(2.0, v(2)) << "copies are deep";

    Vector assigned(3, 0.0);
    assigned = v;
    v(1) = -1.0;
    EXPECT_EQ(1.0, assigned(1));

    Vector resized(2, 7.0);
    resized = v;
    EXPECT_EQ(3u, resized.size());
    EXPECT_EQ(-1.0, resized(1));

    resized.set_zero();
    EXPECT_EQ(3u, resized.size());
    for (unsigned i = 1; i <= 3; ++i) EXPECT_EQ(0.0, resized(i));
    resized.resize(5);
    EXPECT_EQ(5u, resized.size());
}

TEST(Vector, ArithmeticAgainstHandResults)
{
    const Vector a = make_vector({1.0, -2.0, 3.0});
    const Vector b = make_vector({4.0, 5.0, -6.0});

    expect_vector_near(make_vector({5.0, 3.0, -3.0}), a + b, 0.0);
    expect_vector_near(make_vector({-3.0, -7.0, 9.0}), a - b, 0.0);
    expect_vector_near(make_vector({2.0, -4.0, 6.0}), a * 2.0, 0.0);
    expect_vector_near(make_vector({-0.5, 1.0, -1.5}), -0.5 * a, 0.0);

    Vector c(a);
    c += b;
    expect_vector_near(a + b, c, 0.0);
    c -= b;
    c -= b;
    expect_vector_near(a - b, c, 0.0);
    c *= 3.0;
    expect_vector_near((a - b) * 3.0, c, 0.0);

    EXPECT_EQ(4.0 - 10.0 - 18.0, dot(a, b));
    EXPECT_DOUBLE_EQ(5.0, norm(make_vector({3.0, 4.0})));
    EXPECT_EQ(0.0, norm(Vector()));

    const Matrix column(make_vector({10.0, 20.0, 30.0}));
    ASSERT_EQ(3u, column.size1());
    ASSERT_EQ(1u, column.size2());
    expect_vector_near(make_vector({11.0, 18.0, 33.0}), a + column, 0.0);
    expect_vector_near(make_vector({10.0, 20.0, 30.0}), Vector(column), 0.0);
}

TEST(Vector, PrintUsesTheFieldWidthForEveryElement)
{
    std::ostringstream os;
    os.width(12);
    make_vector({1.5, -2.0, 300.0}).print(os);
    EXPECT_EQ("         1.5           -2          300", os.str());

    std::ostringstream scientific;
    scientific << std::scientific;
    scientific.precision(3);
    scientific.width(11);
    make_vector({1.0, -0.25}).print(scientific);
    EXPECT_EQ("  1.000e+00  -2.500e-01", scientific.str());

    std::ostringstream unset;
    make_vector({1.0, 2.0}).print(unset);
    EXPECT_EQ("1 2", unset.str());

    std::ostringstream nothing;
    nothing.width(8);
    Vector().print(nothing);
    EXPECT_EQ("", nothing.str());
}

TEST(Matrix, ConstructionAssignmentAndRowAccess)
{
    Matrix A = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(2u, A.size1());
    EXPECT_EQ(3u, A.size2());
    EXPECT_EQ(6.0, A(2, 3));
    EXPECT_EQ(4.0, A[1][0]);
    EXPECT_EQ(3.0, A[0][2]);

    Matrix copy(A);
    copy(1, 1) = 100.0;
    EXPECT_EQ(1.0, A(1, 1)) << "copies are deep";

    // A 2 x 3 source assigned to a 3 x 2 target keeps the target's array.
    Matrix target(3, 2, 0.0);
    const double* array_before = target[0];
    target = A;
    EXPECT_EQ(array_before, target[0]);
    EXPECT_EQ(2u, target.size1());
    EXPECT_EQ(3u, target.size2());
    expect_matrix_near(A, target, 0.0);

    Matrix other(5, 5, 1.0);
    other = A;
    expect_matrix_near(A, other, 0.0);

    Matrix zeros(2, 2, 9.0);
    zeros.set_zero();
    expect_matrix_near(Matrix(2, 2, 0.0), zeros, 0.0);

    Matrix reshaped(2, 3, 0.0);
    const double* kept = reshaped[0];
    reshaped.resize(3, 2);
    EXPECT_EQ(kept, reshaped[0]);
    EXPECT_EQ(3u, reshaped.size1());
    reshaped.resize(4, 4);
    EXPECT_EQ(4u, reshaped.size1());
    EXPECT_EQ(4u, reshaped.size2());

    const Matrix empty;
    EXPECT_EQ(0u, empty.size1());
    EXPECT_EQ(0u, empty.size2());
}

TEST(Matrix, ProductsAgainstHandResults)
{
    const Matrix A = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const Matrix B = make_matrix(3, 2, {7, 8, 9, 10, 11, 12});

    expect_matrix_near(make_matrix(2, 2, {58, 64, 139, 154}), A * B, 0.0);
    expect_vector_near(make_vector({14.0, 32.0}), A * make_vector({1.0, 2.0, 3.0}), 0.0);
    expect_matrix_near(make_matrix(3, 2, {1, 4, 2, 5, 3, 6}), transpose(A), 0.0);

    // A^T C without forming A^T agrees with the explicit product.
    const Matrix C = make_matrix(2, 2, {1, -1, 2, 0.5});
    expect_matrix_near(transpose(A) * C, transpose_times(A, C), 1e-14);
    expect_matrix_near(make_matrix(3, 2, {9, 1, 12, 0.5, 15, 0}), transpose_times(A, C), 0.0);

    const Matrix row = make_matrix(1, 3, {1, 10, 100});
    expect_matrix_near(make_matrix(2, 3, {2, 20, 200, -3, -30, -300}),
                       make_vector({2.0, -3.0}) * row, 0.0);

    Matrix D(A);
    D += A;
    expect_matrix_near(A * 2.0, D, 0.0);
    expect_matrix_near(2.0 * A, D, 0.0);
    D -= A * 3.0;
    expect_matrix_near(A * -1.0, D, 0.0);
    D *= -4.0;
    expect_matrix_near(make_matrix(2, 3, {4, 8, 12, 16, 20, 24}), D, 0.0);
}

TEST(Matrix, AddAtBAAgainstHandProduct)
{
    // A (3 x 2), B (3 x 3): A^T B A by hand.
    const Matrix A = make_matrix(3, 2, {1, 0, 2, 1, 0, 3});
    const Matrix B = make_matrix(3, 3, {2, 1, 0, 0, 3, 1, 1, 0, 4});
    // B A = [4 1; 6 6; 1 12]; A^T (B A) = [16 13; 9 42].
    Matrix C = make_matrix(2, 2, {1, 1, 1, 1});
    add_AtBA(C, 1.0, A, B);
    expect_matrix_near(make_matrix(2, 2, {17, 14, 10, 43}), C, 1e-14);

    Matrix scaled(2, 2, 0.0);
    add_AtBA(scaled, -0.5, A, B);
    expect_matrix_near(make_matrix(2, 2, {-8, -6.5, -4.5, -21}), scaled, 1e-14);
    expect_matrix_near(transpose(A) * B * A * -0.5, scaled, 1e-14);

    // A zero factor computes nothing, even from infinities.
    const double inf = std::numeric_limits<double>::infinity();
    Matrix untouched = make_matrix(2, 2, {1, 2, 3, 4});
    add_AtBA(untouched, 0.0, Matrix(3, 2, inf), Matrix(3, 3, inf));
    expect_matrix_near(make_matrix(2, 2, {1, 2, 3, 4}), untouched, 0.0);
}

TEST(Matrix, LeaveOutRemovesRowAndColumn)
{
    const Matrix A = make_matrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    expect_matrix_near(make_matrix(2, 2, {1, 3, 7, 9}), A.leave_out(2), 0.0);
    expect_matrix_near(make_matrix(2, 2, {5, 6, 8, 9}), A.leave_out(1), 0.0);
    expect_matrix_near(make_matrix(2, 2, {1, 2, 4, 5}), A.leave_out(3), 0.0);

    const Matrix single = make_matrix(1, 1, {5});
    const Matrix none = single.leave_out(1);
    EXPECT_EQ(0u, none.size1());
    EXPECT_EQ(0u, none.size2());

    EXPECT_EQ("can not leave out row and column 0 of matrix of size 3*3",
              message_of<KelVane::dimension_error>([&] { A.leave_out(0); }));
    EXPECT_EQ("can not leave out row and column 4 of matrix of size 3*3",
              message_of<KelVane::dimension_error>([&] { A.leave_out(4); }));
    const Matrix wide = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ("can not leave out row and column 3 of matrix of size 2*3",
              message_of<KelVane::dimension_error>([&] { wide.leave_out(3); }));
    expect_matrix_near(make_matrix(1, 2, {5, 6}), wide.leave_out(1), 0.0);
}

TEST(Matrix, AddSubMatPlacesBlockOrRefuses)
{
    Matrix A(4, 4, 0.0);
    const Matrix block = make_matrix(2, 2, {1, 2, 3, 4});
    const Matrix returned = add_SubMat(A, 3, 3, block);
    EXPECT_EQ(1.0, A(3, 3));
    EXPECT_EQ(2.0, A(3, 4));
    EXPECT_EQ(3.0, A(4, 3));
    EXPECT_EQ(4.0, A(4, 4));
    EXPECT_EQ(0.0, A(2, 2));
    expect_matrix_near(A, returned, 0.0);

    add_SubMat(A, 3, 3, block);
    EXPECT_EQ(8.0, A(4, 4)) << "the block is added, not copied";

    const Matrix before(A);
    EXPECT_EQ("add_SubMat: Incompatible sizes: left=[4][4] right=[5][4].",
              message_of<KelVane::dimension_error>([&] { add_SubMat(A, 4, 3, block); }));
    EXPECT_EQ("add_SubMat: Incompatible sizes: left=[4][4] right=[4][5].",
              message_of<KelVane::dimension_error>([&] { add_SubMat(A, 3, 4, block); }));
    // Position 0 would write in front of the matrix.
    EXPECT_THROW(add_SubMat(A, 0, 1, block), KelVane::dimension_error);
    EXPECT_THROW(add_SubMat(A, 1, 0, block), KelVane::dimension_error);
    expect_matrix_near(before, A, 0.0);
}

TEST(Matrix, AddSubVecPlacesBlockOrRefuses)
{
    Vector a(5, 1.0);
    const Vector b = make_vector({10.0, 20.0});
    const Vector returned = add_SubVec(a, 4, b);
    expect_vector_near(make_vector({1.0, 1.0, 1.0, 11.0, 21.0}), a, 0.0);
    expect_vector_near(a, returned, 0.0);

    EXPECT_EQ("add_SubVec: Incompatible sizes: left=[5] right=[6].",
              message_of<KelVane::dimension_error>([&] { add_SubVec(a, 5, b); }));
    EXPECT_THROW(add_SubVec(a, 0, b), KelVane::dimension_error);
    expect_vector_near(make_vector({1.0, 1.0, 1.0, 11.0, 21.0}), a, 0.0);
}

TEST(Matrix, InverseOfKnownMatrices)
{
    // Closed forms of sizes 1 to 3 against hand inverses.
    expect_matrix_near(make_matrix(1, 1, {0.25}), make_matrix(1, 1, {4}).inv(), 0.0);
    expect_matrix_near(make_matrix(2, 2, {-2, 1, 1.5, -0.5}), make_matrix(2, 2, {1, 2, 3, 4}).inv(),
                       1e-15);
    const Matrix A3 = make_matrix(3, 3, {2, 0, 1, 1, 1, 0, 0, 3, 1});
    // det = 2*1 - 0 + 1*3 = 5.
    expect_matrix_near(make_matrix(3, 3, {0.2, 0.6, -0.2, -0.2, 0.4, 0.2, 0.6, -1.2, 0.4}), A3.inv(),
                       1e-15);

    // A scaled cyclic permutation: the pivot rows cycle through all four rows.
    const Matrix cycle = make_matrix(4, 4, {0, 0, 0, 4, 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 5, 0});
    expect_matrix_near(make_matrix(4, 4, {0, 0.5, 0, 0, 0, 0, 1.0 / 3.0, 0, 0, 0, 0, 0.2, 0.25, 0, 0, 0}),
                       cycle.inv(), 1e-15);

    // First column (0, -3, 2, 0): the elimination pivots on the second row.
    const Matrix A4 = make_matrix(4, 4, {0, 1, 2, 1, -3, 2, 0, 1, 2, 0, 1, 3, 0, 4, 1, 2});
    const Matrix A4_before(A4);
    const Matrix A4_inverse = A4.inv();
    expect_matrix_near(inverse_by_cofactors(A4), A4_inverse, 1e-13);
    expect_matrix_near(identity(4), A4 * A4_inverse, 1e-13);
    expect_matrix_near(A4_before, A4, 0.0);

    // Larger sizes: diagonally dominant matrices of every size up to 8 give A A^-1 = I.
    for (unsigned n = 0; n <= 8; ++n) {
        Matrix A(n, n);
        for (unsigned i = 1; i <= n; ++i)
            for (unsigned j = 1; j <= n; ++j)
                A(i, j) = i == j ? 10.0 + i : std::sin(1.0 + i * 7.0 + j * 3.0);
        const Matrix inverse = A.inv();
        expect_matrix_near(identity(n), A * inverse, 1e-13);
        expect_matrix_near(identity(n), inverse * A, 1e-13);
    }

    // Nearly singular small matrices are inverted without complaint.
    const Matrix nearly = make_matrix(2, 2, {1.0, 1.0, 1.0, 1.0 + 1e-12});
    expect_matrix_near(identity(2), nearly * nearly.inv(), 1e-3);
}

TEST(Matrix, InverseRefusesSingularAndNonSquare)
{
    const std::string singular = "determinant zero in calculation of inverse matrix";
    const std::vector<Matrix> singular_matrices = {
        make_matrix(1, 1, {0.0}),
        make_matrix(2, 2, {1, 2, 2, 4}),
        make_matrix(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}),
        make_matrix(4, 4, {1, 0, 2, 3, 4, 0, 5, 6, 7, 0, 8, 9, 1, 0, 1, 1}),
        make_matrix(5, 5, {1, 2, 3, 4, 5, 2, 4, 6, 8, 10, 0, 1, 0, 1, 0, 3, 1, 4, 1, 5, 9, 2, 6, 5, 3}),
    };
    for (const Matrix& A : singular_matrices) {
        const Matrix before(A);
        EXPECT_EQ(singular, message_of<KelVane::matrix_error>([&] { A.inv(); })) << A.size1();
        expect_matrix_near(before, A, 0.0);
    }

    const Matrix wide(2, 3, 1.0);
    EXPECT_EQ("inv: error, trying to invert [2][3] matrix.",
              message_of<KelVane::dimension_error>([&] { wide.inv(); }));

    const Matrix empty_inverse = Matrix().inv();
    EXPECT_EQ(0u, empty_inverse.size1());
}

TEST(Matrix, DeterminantOfSmallSizesOnly)
{
    EXPECT_EQ(0.0, determinant(Matrix()));
    EXPECT_EQ(-7.0, determinant(make_matrix(1, 1, {-7})));
    EXPECT_EQ(-2.0, determinant(make_matrix(2, 2, {1, 2, 3, 4})));
    EXPECT_EQ(5.0, determinant(make_matrix(3, 3, {2, 0, 1, 1, 1, 0, 0, 3, 1})));
    // Swapping two rows changes the sign.
    EXPECT_EQ(-5.0, determinant(make_matrix(3, 3, {1, 1, 0, 2, 0, 1, 0, 3, 1})));

    EXPECT_EQ("determinant: error, trying to calculate determinant of [4][4] matrix.",
              message_of<KelVane::not_implemented_error>([] { determinant(identity(4)); }));
}

TEST(MatrixDeathTest, SizeAndIndexViolationsStopTheProgram)
{
    Vector v(3, 0.0);
    const Matrix A(2, 3, 0.0);
    EXPECT_DEATH(v(0), "Assertion failed: 1<=i");
    EXPECT_DEATH(v(4), "Assertion failed: i<= m_");
    EXPECT_DEATH(v[3], "Assertion failed: i<m_");
    EXPECT_DEATH(A(3, 1), "Assertion failed: i<= m_");
    EXPECT_DEATH(A(1, 4), "Assertion failed: j<= n_");
    EXPECT_DEATH(A[2], "Assertion failed: i< m_");
    EXPECT_DEATH(v + Vector(2, 0.0), "Assertion failed: A.size\\(\\)==B.size\\(\\)");
    EXPECT_DEATH(v += Vector(2, 0.0), "Assertion failed: m_==B.m_");
    EXPECT_DEATH(A * A, "Assertion failed: A.size2\\(\\) == B.size1\\(\\)");
    EXPECT_DEATH(A * Vector(2, 0.0), "Assertion failed: A.size2\\(\\) == b.size\\(\\)");
    EXPECT_DEATH(dot(v, Vector(2, 0.0)), "Assertion failed: N==b.size\\(\\)");
    EXPECT_DEATH(determinant(A), "Assertion failed: m_==n_");
    EXPECT_DEATH(Vector{A}, "Assertion failed: A.size2\\(\\)==1");
}
