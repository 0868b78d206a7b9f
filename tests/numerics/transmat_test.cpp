#include "transmat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/matrix_helpers.h"
#include "errors.h"

using KelVane::Matrix;
using KelVane::TransformationMatrix;
using KelVane::Vector;
using kv_test::make_vector;

namespace {

struct Entry {
    unsigned i;
    unsigned j;
    double value;
};

struct Case {
    const char* name;
    unsigned rows;
    unsigned columns;
    std::vector<Entry> entries;
    unsigned expected_kind;
};

void fill(TransformationMatrix& T, const Case& c)
{
    T.init(c.rows, c.columns, static_cast<unsigned>(c.entries.size()));
    for (const Entry& e : c.entries) T.add(e.i, e.j, e.value);
}

Matrix dense(const Case& c)
{
    Matrix D(c.rows, c.columns, 0.0);
    for (const Entry& e : c.entries) D(e.i, e.j) = e.value;
    return D;
}

// Distinct, nonzero test values so that a misplaced entry shows.
Vector sample_vector(unsigned n)
{
    Vector v(n);
    for (unsigned i = 1; i <= n; ++i) v(i) = 1.5 * i - 0.25 * i * i + 0.125;
    return v;
}

Matrix sample_matrix(unsigned n)
{
    Matrix M(n, n);
    for (unsigned i = 1; i <= n; ++i)
        for (unsigned j = 1; j <= n; ++j) M(i, j) = 10.0 * i + j + (i == j ? 100.0 : 0.0);
    return M;
}

void expect_vector_eq(const Vector& expected, const Vector& actual, const char* name)
{
    ASSERT_EQ(expected.size(), actual.size()) << name;
    for (unsigned i = 1; i <= expected.size(); ++i) EXPECT_NEAR(expected(i), actual(i), 1e-12) << name << " " << i;
}

void expect_matrix_eq(const Matrix& expected, const Matrix& actual, const char* name)
{
    ASSERT_EQ(expected.size1(), actual.size1()) << name;
    ASSERT_EQ(expected.size2(), actual.size2()) << name;
    for (unsigned i = 1; i <= expected.size1(); ++i)
        for (unsigned j = 1; j <= expected.size2(); ++j)
            EXPECT_NEAR(expected(i, j), actual(i, j), 1e-10) << name << " (" << i << ", " << j << ")";
}

const std::vector<Case>& all_cases()
{
    static const std::vector<Case> cases = {
        {"identity 3x3", 3, 3, {{1, 1, 1.0}, {2, 2, 1.0}, {3, 3, 1.0}}, TransformationMatrix::identity},
        {"identity filled out of order", 2, 2, {{2, 2, 1.0}, {1, 1, 1.0}}, TransformationMatrix::identity},
        {"swap 2x2", 2, 2, {{1, 2, 1.0}, {2, 1, 1.0}}, TransformationMatrix::permutation},
        {"selection 2x3", 2, 3, {{1, 1, 1.0}, {2, 3, 1.0}}, TransformationMatrix::permutation},
        {"row without entry", 3, 2, {{1, 2, 1.0}, {3, 1, 1.0}}, TransformationMatrix::permutation},
        // Unit diagonal entries that miss a row are not an identity.
        {"incomplete diagonal", 3, 3, {{1, 1, 1.0}, {3, 3, 1.0}}, TransformationMatrix::permutation},
        {"one projection", 3, 3, {{1, 1, 1.0}, {2, 2, 0.6}, {3, 3, 1.0}}, TransformationMatrix::general},
        {"truss at 45 degrees", 2, 4,
         {{1, 1, 0.7071067811865476}, {1, 2, 0.7071067811865476}, {2, 3, 0.7071067811865476},
          {2, 4, 0.7071067811865476}},
         TransformationMatrix::general},
        {"unit values in one row", 2, 3, {{1, 1, 1.0}, {1, 2, 1.0}, {2, 3, -1.0}}, TransformationMatrix::general},
    };
    return cases;
}

} // namespace

TEST(TransformationMatrix, ClassifiesItselfAndMultipliesLikeTheDenseMatrix)
{
    for (const Case& c : all_cases()) {
        TransformationMatrix T;
        EXPECT_EQ(TransformationMatrix::not_set_up, T.get_kind());
        fill(T, c);
        EXPECT_EQ(c.expected_kind, T.get_kind()) << c.name;
        EXPECT_EQ(c.rows, T.get_dim1());
        EXPECT_EQ(c.columns, T.get_dim2());

        const Matrix D = dense(c);
        const Vector node_values = sample_vector(c.columns);
        const Vector element_values = sample_vector(c.rows);
        const Matrix M = sample_matrix(c.rows);
        expect_vector_eq(D * node_values, T * node_values, c.name);
        expect_vector_eq(transpose(D) * element_values, transpose_times(T, element_values), c.name);
        expect_matrix_eq(transpose(D) * M * D, congruence(T, M), c.name);
    }
}

TEST(TransformationMatrix, PermutationsMoveValuesByHand)
{
    TransformationMatrix swap;
    fill(swap, all_cases()[2]);
    expect_vector_eq(make_vector({2.0, 1.0}), swap * make_vector({1.0, 2.0}), "swap");
    expect_vector_eq(make_vector({2.0, 1.0}), transpose_times(swap, make_vector({1.0, 2.0})), "swap");

    TransformationMatrix select;
    fill(select, all_cases()[3]);
    expect_vector_eq(make_vector({1.0, 3.0}), select * make_vector({1.0, 2.0, 3.0}), "select");
    expect_vector_eq(make_vector({7.0, 0.0, 8.0}), transpose_times(select, make_vector({7.0, 8.0})), "select");
    Matrix M(2, 2);
    M(1, 1) = 1.0;
    M(1, 2) = 2.0;
    M(2, 1) = 3.0;
    M(2, 2) = 4.0;
    Matrix expected(3, 3, 0.0);
    expected(1, 1) = 1.0;
    expected(1, 3) = 2.0;
    expected(3, 1) = 3.0;
    expected(3, 3) = 4.0;
    expect_matrix_eq(expected, congruence(select, M), "select");
}

TEST(TransformationMatrix, ProductsBeforeSetUpThrow)
{
    const TransformationMatrix T;
    const std::string message = "TransformationMatrix not initialized yet";
    try {
        T* Vector(2, 1.0);
        ADD_FAILURE();
    } catch (const KelVane::program_error& e) {
        EXPECT_EQ(message, e.what());
    }
    try {
        transpose_times(T, Vector(2, 1.0));
        ADD_FAILURE();
    } catch (const KelVane::program_error& e) {
        EXPECT_EQ(message, e.what());
    }
    try {
        congruence(T, Matrix(2, 2, 1.0));
        ADD_FAILURE();
    } catch (const KelVane::program_error& e) {
        EXPECT_EQ(message, e.what());
    }
}

TEST(TransformationMatrix, SettingUpAgainStartsAfresh)
{
    TransformationMatrix T;
    fill(T, all_cases()[0]);
    ASSERT_EQ(TransformationMatrix::identity, T.get_kind());
    const Case& general = all_cases()[7];
    fill(T, general);
    EXPECT_EQ(TransformationMatrix::general, T.get_kind());
    const Vector v = sample_vector(4);
    expect_vector_eq(dense(general) * v, T * v, general.name);
}

TEST(TransformationMatrixDeathTest, InconsistentEntriesStopTheProgram)
{
    EXPECT_DEATH(
        {
            TransformationMatrix T;
            T.init(2, 2, 1);
            T.add(1, 1, 0.5);
            T.add(2, 2, 0.5);
        },
        "Assertion failed: filled < nr_nonzeros");
    EXPECT_DEATH(
        {
            TransformationMatrix T;
            T.init(2, 2, 2);
            T.add(3, 1, 0.5);
        },
        "Assertion failed: i>0 && j>0 && i<=dim1 && j<=dim2");
    EXPECT_DEATH(
        {
            TransformationMatrix T;
            T.init(2, 2, 2);
            T.add(1, 1, 0.5);
            T.add(1, 1, 0.5);
        },
        "Assertion failed: !\\( a\\[m\\].i==i && a\\[m\\].j==j \\)");
    EXPECT_DEATH(
        {
            TransformationMatrix T;
            T.init(1, 2, 2);
            T.add(1, 1, 1.0);
            T.add(1, 2, 1.0);
        },
        "Assertion failed: p\\[\\(a\\[m\\].i\\)-1\\]== -1");
    EXPECT_DEATH(
        {
            TransformationMatrix T;
            T.init(2, 2, 2);
            T.add(1, 1, 1.0);
            T.add(2, 2, 1.0);
            T* Vector(3, 0.0);
        },
        "Assertion failed: v.size\\(\\) == dim2");
}
