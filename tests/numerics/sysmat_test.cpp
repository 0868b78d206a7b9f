#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/matrix_helpers.h"
#include "errors.h"
#include "sysmat.h"

using KelVane::CR_Matrix;
using KelVane::Matrix;
using KelVane::SparseSysMat;
using KelVane::SparseVector;
using KelVane::SystemVector;
using KelVane::Vector;
using kv_test::print_of;

TEST(SparseVector, InsertsSortedAndTracksDim)
{
    SparseVector row;
    row(4) = 1.0;
    EXPECT_EQ(row.dim(), 5u);
    row(1) = 2.0;
    row(1) += 0.5;
    ASSERT_EQ(row.entries().size(), 2u);
    EXPECT_EQ(row.entries()[0].index, 1u);
    EXPECT_EQ(row.entries()[0].value, 2.5);
    const SparseVector& read_only = row;
    EXPECT_EQ(read_only(2), 0.0);
    EXPECT_EQ(read_only(4), 1.0);
    EXPECT_EQ(row.entries().size(), 2u); // reading inserts nothing
}

TEST(CR_Matrix, ProductsWithVectorsAndMatrices)
{
    // A = [1 0 2; 0 3 0; 0 0 0]
    CR_Matrix A(3);
    A[0](2) = 2.0;
    A[0](0) = 1.0;
    A[1](1) = 3.0;
    Matrix X(3, 2);
    for (unsigned r = 0; r < 3; ++r) {
        X[r][0] = 1.0 - r;
        X[r][1] = r + 1.0;
    }
    const Vector y = A * Vector(X.size1(), 1.0);
    EXPECT_EQ(y.size(), 3u);
    EXPECT_EQ(y[0], 3.0);
    EXPECT_EQ(y[1], 3.0);
    EXPECT_EQ(y[2], 0.0);
    const Matrix Y = A * X;
    EXPECT_EQ(Y[0][0], -1.0);
    EXPECT_EQ(Y[1][0], 0.0);
    EXPECT_EQ(Y[0][1], 7.0);
    EXPECT_EQ(Y[1][1], 6.0);
    EXPECT_EQ(Y[2][1], 0.0);
}

TEST(SparseSysMat, GeometryOutsideTheMatrixIsADimensionError)
{
    SparseSysMat A(3, false);
    EXPECT_NO_THROW(A.geometry(3, 1));
    for (const auto& pair : {std::make_pair(0u, 1u), std::make_pair(4u, 1u), std::make_pair(2u, 4u)}) {
        try {
            A.geometry(pair.first, pair.second);
            ADD_FAILURE() << "no error for " << pair.first << "," << pair.second;
        } catch (const KelVane::dimension_error& e) {
            EXPECT_EQ(std::string(e.what()), "matrix element (" + std::to_string(pair.first) + "," +
                                                 std::to_string(pair.second) +
                                                 ") does not fit in matrix of size 3");
        }
    }
}

TEST(SparseSysMat, SymmetricFlagSolvesWithTheLowerTriangleOnly)
{
    // [2 1; 0 2]: the symmetric copy sees diag(2, 2), the nonsymmetric one all of it.
    for (bool symmetric : {true, false}) {
        SparseSysMat A(2, symmetric);
        A.add(1, 1, 2.0);
        A.add(1, 2, 1.0);
        A.add(2, 2, 2.0);
        Vector b(2, 2.0), x;
        b[0] = 4.0;
        A.solve(b, x);
        EXPECT_EQ(x[1], 1.0);
        EXPECT_EQ(x[0], symmetric ? 2.0 : 1.5);
    }
}

TEST(SparseSysMat, FactorisationIsCachedUntilZero)
{
    SparseSysMat A(2, true);
    A.add(1, 1, 2.0);
    A.add(2, 2, 4.0);
    Vector b(2, 8.0), x;
    A.solve(b, x);
    EXPECT_EQ(x[0], 4.0);
    EXPECT_EQ(x[1], 2.0);

    // A change after a solve is not seen until the next zero.
    A.add(1, 1, 2.0);
    A.solve(b, x);
    EXPECT_EQ(x[0], 4.0);

    A.zero();
    EXPECT_EQ(print_of(A, "K"), "K\n i, j, value\n0 0 0\n1 1 0\n");
    A.add(1, 1, 1.0);
    A.add(2, 2, 1.0);
    A.solve(b, x);
    EXPECT_EQ(x[0], 8.0);
    EXPECT_EQ(x[1], 8.0);

    // A coupling outside the pattern of the last solve widens the skyline profile.
    A.zero();
    A.add(1, 1, 2.0);
    A.add(2, 2, 2.0);
    A.add(2, 1, 1.0);
    A.add(1, 2, 1.0);
    A.solve(b, x);
    EXPECT_NEAR(x[0], 8.0 / 3.0, 1e-14);
    EXPECT_NEAR(x[1], 8.0 / 3.0, 1e-14);
}

TEST(SparseSysMat, ScaledAdditionMergesPatterns)
{
    SparseSysMat A(3, false);
    A.add(1, 1, 1.0);
    A.add(3, 2, 5.0);
    SparseSysMat B(3, false);
    B.add(1, 1, 2.0);
    B.add(2, 3, 3.0);
    A.add(B, -2.0);
    EXPECT_EQ(print_of(A, "sum"), "sum\n i, j, value\n0 0 -3\n1 2 -6\n2 1 5\n");
    EXPECT_EQ(print_of(B, "B"), "B\n i, j, value\n0 0 2\n1 2 3\n");
}

TEST(SparseSysMatDeathTest, IndexViolationsStop)
{
    SparseSysMat A(3, true);
    EXPECT_DEATH(A.add(0, 1, 1.0), "Assertion failed: 1 <= i && i <= size");
    EXPECT_DEATH(A.add(1, 0, 1.0), "Assertion failed: 1 <= j && j <= size");
    EXPECT_DEATH(A.add(4, 1, 1.0), "Assertion failed");
    SparseSysMat B(2, true);
    EXPECT_DEATH(A.add(B, 1.0), "Assertion failed: num_rows\\(\\)==A.num_rows\\(\\)");
    SparseVector row;
    row(3) = 1.0;
    EXPECT_DEATH(dot(row, Vector(3, 1.0)), "Assertion failed: A.dim\\(\\) <= B.size\\(\\)");
}

namespace {

// Stand-in for the element library's dof: status 0 prescribed, 1 fixed, 2 free.
struct FakeDof {
    unsigned status;
    unsigned global_nr;
    bool is_free() const { return status == 2; }
    bool is_fixed() const { return status == 1; }
    bool is_prescribed() const { return status == 0; }
    unsigned get_global_nr() const { return global_nr; }
};

} // namespace

TEST(SystemVectorDeathTest, DofStatusSelectsThePart)
{
    SystemVector v(4, 3, 2);
    v(FakeDof{0, 3}) += 1.5;
    v(FakeDof{2, 1}) += 2.5;
    v(FakeDof{1, 2}) += 3.5;
    EXPECT_EQ(v.prescribed_part()[2], 1.5);
    EXPECT_EQ(v.free_part()[2], 0.0);
    EXPECT_EQ(v.free_part()[0], 2.5);
    EXPECT_EQ(v.fixed_part()[1], 3.5);
    v += v;
    EXPECT_EQ(v.fixed_part()[1], 7.0);
    EXPECT_THROW(v(FakeDof{5, 1}), KelVane::program_error);
    EXPECT_DEATH(v(FakeDof{2, 0}), "Assertion failed");
    EXPECT_DEATH(v(FakeDof{1, 3}), "Assertion failed");
}
