#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/matrix_helpers.h"
#include "errors.h"
#include "skyline.h"
#include "sysmat.h"

using KelVane::DiagonalSysMat;
using KelVane::SkyNonSymMat;
using KelVane::SkySymMat;
using KelVane::SparseSysMat;
using KelVane::SystemMat;
using KelVane::Vector;
using kv_test::make_vector;
using kv_test::print_of;

namespace {

using Dense = std::vector<std::vector<double>>;

// Declares and fills every nonzero entry of a dense matrix, indices from 1.
void fill(SystemMat& A, const Dense& dense)
{
    const unsigned n = static_cast<unsigned>(dense.size());
    for (unsigned i = 0; i < n; ++i)
        for (unsigned j = 0; j < n; ++j)
            if (dense[i][j] != 0.0)
                A.geometry(i + 1, j + 1);
    A.zero();
    for (unsigned i = 0; i < n; ++i)
        for (unsigned j = 0; j < n; ++j)
            if (dense[i][j] != 0.0)
                A.add(i + 1, j + 1, dense[i][j]);
}

// Gaussian elimination with partial pivoting: the reference solution.
std::vector<double> dense_solve(Dense A, std::vector<double> b)
{
    const std::size_t n = b.size();
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t pivot = k;
        for (std::size_t r = k + 1; r < n; ++r)
            if (std::fabs(A[r][k]) > std::fabs(A[pivot][k]))
                pivot = r;
        std::swap(A[k], A[pivot]);
        std::swap(b[k], b[pivot]);
        for (std::size_t r = k + 1; r < n; ++r) {
            const double f = A[r][k] / A[k][k];
            for (std::size_t c = k; c < n; ++c)
                A[r][c] -= f * A[k][c];
            b[r] -= f * b[k];
        }
    }
    std::vector<double> x(n);
    for (std::size_t k = n; k-- > 0;) {
        double s = b[k];
        for (std::size_t c = k + 1; c < n; ++c)
            s -= A[k][c] * x[c];
        x[k] = s / A[k][k];
    }
    return x;
}

// Deterministic pseudo-random numbers in [-1, 1).
struct Lcg {
    unsigned long long state;
    double next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0;
    }
};

// Diagonally dominant matrix with a ragged profile: row i couples back to a
// column chosen at random within the last `reach` columns.
Dense random_profile_matrix(unsigned n, unsigned reach, bool symmetric, unsigned long long seed)
{
    Lcg random{seed};
    Dense A(n, std::vector<double>(n, 0.0));
    for (unsigned i = 0; i < n; ++i) {
        const unsigned span = static_cast<unsigned>((random.next() + 1.0) * 0.5 * reach);
        const unsigned first = i > span ? i - span : 0;
        for (unsigned j = first; j < i; ++j) {
            if (random.next() < -0.3 && j != first)
                continue; // holes inside the profile
            A[i][j] = random.next();
            A[j][i] = symmetric ? A[i][j] : random.next();
        }
    }
    for (unsigned i = 0; i < n; ++i) {
        double row_sum = 0.0;
        for (unsigned j = 0; j < n; ++j)
            row_sum += std::fabs(A[i][j]) + std::fabs(A[j][i]);
        A[i][i] = row_sum + 1.0;
    }
    return A;
}

std::string solve_output(SystemMat& A, const Vector& b, Vector& x)
{
    testing::internal::CaptureStdout();
    A.solve(b, x);
    return testing::internal::GetCapturedStdout();
}

struct Kind {
    const char* name;
    bool symmetric;
    std::function<std::unique_ptr<SystemMat>(unsigned)> make;
};

const std::vector<Kind>& kinds()
{
    static const std::vector<Kind> all = {
        {"SkySymMat", true, [](unsigned n) { return std::make_unique<SkySymMat>(n); }},
        {"SkyNonSymMat", false, [](unsigned n) { return std::make_unique<SkyNonSymMat>(n); }},
        {"SparseSysMat symmetric", true,
         [](unsigned n) { return std::make_unique<SparseSysMat>(n, true); }},
        {"SparseSysMat nonsymmetric", false,
         [](unsigned n) { return std::make_unique<SparseSysMat>(n, false); }},
    };
    return all;
}

} // namespace

TEST(Skyline, HandSolvedSystems)
{
    // L D L^T of [4 2 0; 2 5 3; 0 3 10]: d = (4, 4, 7.75), l21 = 0.5, l32 = 0.75.
    const Dense spd = {{4, 2, 0}, {2, 5, 3}, {0, 3, 10}};
    // L U of [2 1 0; 4 3 1; 0 2 4]: l21 = 2, l32 = 2; u = (2, 1, 2) on the diagonal.
    const Dense general = {{2, 1, 0}, {4, 3, 1}, {0, 2, 4}};
    for (const Kind& kind : kinds()) {
        const Dense& dense = kind.symmetric ? spd : general;
        auto A = kind.make(3);
        fill(*A, dense);
        // x = (1, -2, 3)
        const Vector b = kind.symmetric ? make_vector({0, 1, 24}) : make_vector({0, 1, 8});
        Vector x;
        EXPECT_EQ(solve_output(*A, b, x), "") << kind.name;
        ASSERT_EQ(x.size(), 3u) << kind.name;
        EXPECT_NEAR(x[0], 1.0, 1e-14) << kind.name;
        EXPECT_NEAR(x[1], -2.0, 1e-14) << kind.name;
        EXPECT_NEAR(x[2], 3.0, 1e-14) << kind.name;
        // Further solves reuse the factors and leave b alone.
        const Vector b2 = kind.symmetric ? make_vector({6, 10, 13}) : make_vector({3, 8, 6});
        A->solve(b2, x);
        EXPECT_NEAR(x[0], 1.0, 1e-14) << kind.name;
        EXPECT_NEAR(x[1], 1.0, 1e-14) << kind.name;
        EXPECT_NEAR(x[2], 1.0, 1e-14) << kind.name;
        EXPECT_EQ(b2[2], kind.symmetric ? 13.0 : 6.0);
    }
}

// Equations numbered at random: the sparse matrices solve in an order of their own.
Dense shuffled(const Dense& A, unsigned long long seed)
{
    const std::size_t n = A.size();
    std::vector<std::size_t> place(n);
    for (std::size_t k = 0; k < n; ++k)
        place[k] = k;
    Lcg random{seed};
    for (std::size_t k = n; k > 1; --k)
        std::swap(place[k - 1], place[static_cast<std::size_t>((random.next() + 1.0) * 0.5 * k) % k]);
    Dense B(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            B[place[i]][place[j]] = A[i][j];
    return B;
}

TEST(Skyline, RaggedProfilesMatchDenseReference)
{
    const unsigned n = 120;
    for (const Kind& kind : kinds()) {
        for (unsigned long long seed : {1ULL, 2ULL, 3ULL, 4ULL}) {
            Dense dense = random_profile_matrix(n, 25, kind.symmetric, seed);
            if (seed == 4)
                dense = shuffled(dense, seed);
            auto A = kind.make(n);
            fill(*A, dense);
            Lcg random{seed + 100};
            std::vector<double> rhs(n);
            Vector b(n);
            for (unsigned i = 0; i < n; ++i)
                b[i] = rhs[i] = random.next();
            Vector x;
            A->solve(b, x);
            const std::vector<double> expected = dense_solve(dense, rhs);
            double error = 0.0, size = 0.0;
            for (unsigned i = 0; i < n; ++i) {
                error = std::max(error, std::fabs(x[i] - expected[i]));
                size = std::max(size, std::fabs(expected[i]));
            }
            EXPECT_LT(error, 1e-13 * size) << kind.name << " seed " << seed;

            // Several right-hand sides at once give each column's solution.
            auto* sparse = dynamic_cast<SparseSysMat*>(A.get());
            if (sparse == nullptr)
                continue;
            KelVane::Matrix B(n, 5);
            for (unsigned i = 0; i < n; ++i)
                for (unsigned c = 0; c < 5; ++c)
                    B[i][c] = (c + 1) * b[i];
            KelVane::Matrix X;
            sparse->solve(B, X);
            for (unsigned i = 0; i < n; ++i)
                for (unsigned c = 0; c < 5; ++c)
                    EXPECT_NEAR(X[i][c], (c + 1) * expected[i], 1e-13 * (c + 1) * size)
                        << kind.name << " seed " << seed << " row " << i << " column " << c;

            // Assembled anew on the same pattern, the matrix solves with the order and
            // the profile of the first solve: twice the matrix, half the solution.
            Dense twice = dense;
            for (auto& row : twice)
                for (double& value : row)
                    value *= 2.0;
            sparse->zero();
            fill(*sparse, twice);
            sparse->solve(b, x);
            for (unsigned i = 0; i < n; ++i)
                EXPECT_NEAR(x[i], 0.5 * expected[i], 1e-13 * size)
                    << kind.name << " seed " << seed << " row " << i << " assembled anew";
        }
    }
}

// A pivot is judged against the diagonal of its own equation: exact zeros are
// replaced and counted, a pivot that lost ten digits or more to cancellation
// counts as one; equations of very different sizes (or in a very small unit) are
// no reason for a warning.
TEST(Skyline, TinyPivotWarnings)
{
    struct Case {
        const char* what;
        Dense matrix;
        unsigned count;
    };
    const std::vector<Case> cases = {
        {"second pivot exactly 0", {{1, 1}, {1, 1}}, 1},
        {"second pivot 1e-12 of its diagonal", {{1, 1}, {1, 1 + 1e-12}}, 1},
        {"two pivots exactly 0", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 2},
        {"second pivot 1e-9 of its diagonal", {{1, 1}, {1, 1 + 1e-9}}, 0},
        {"equations 1e12 apart", {{1, 0}, {0, 1e-12}}, 0},
        {"a unit 1e-30", {{1e-30, 0.5e-30}, {0.5e-30, 1e-30}}, 0},
        {"second pivot exactly 0 in a unit 1e-30", {{1e-30, 1e-30}, {1e-30, 1e-30}}, 1},
        {"an equation with nothing in it", {{2, 0, 1}, {0, 0, 0}, {1, 0, 2}}, 1},
    };
    for (const Case& c : cases) {
        for (bool symmetric : {true, false}) {
            const unsigned n = static_cast<unsigned>(c.matrix.size());
            std::unique_ptr<SystemMat> A;
            if (symmetric)
                A = std::make_unique<SkySymMat>(n);
            else
                A = std::make_unique<SkyNonSymMat>(n);
            const std::string what =
                std::string(c.what) + (symmetric ? ", symmetric" : ", nonsymmetric");
            fill(*A, c.matrix);
            Vector x;
            Vector rhs(n, 1.0);
            const std::string warning =
                c.count == 0 ? ""
                             : "there are " + std::to_string(c.count) +
                                   " (almost) zero pivots found!\n";
            EXPECT_EQ(solve_output(*A, rhs, x), warning) << what;
            // The solve goes on; the second solve does not factorise or warn again,
            // and the count stays for whoever reports it elsewhere until the next zero.
            EXPECT_EQ(solve_output(*A, rhs, x), "") << what;
            EXPECT_EQ(A->zero_pivots(), c.count) << what;
            for (unsigned i = 0; i < x.size(); ++i)
                EXPECT_FALSE(std::isnan(x[i])) << what;
            A->zero();
            EXPECT_EQ(A->zero_pivots(), 0u) << what;
        }
    }
    // The stand-in of a zero pivot is 1e-20 of its diagonal: x2 = (2 - 1) / 1e-20,
    // the same in any unit of the matrix.
    for (double unit : {1.0, 1e-30}) {
        SkySymMat singular(2);
        fill(singular, {{unit, unit}, {unit, unit}});
        Vector x;
        solve_output(singular, make_vector({unit, 2 * unit}), x);
        EXPECT_DOUBLE_EQ(x[1], 1e20) << unit;
        SkyNonSymMat nonsymmetric(2);
        fill(nonsymmetric, {{unit, unit}, {unit, unit}});
        solve_output(nonsymmetric, make_vector({unit, 2 * unit}), x);
        EXPECT_DOUBLE_EQ(x[1], 1e20) << unit;
    }
}

// Without row exchanges a vanishing pivot of a nonsymmetric matrix gets its
// stand-in as a symmetric one does: [0 1; 1 0] on its first pivot, diag(1, 0) and
// [0] on a last one that only the back substitution divides by. The count is
// reported, and the solution of a matrix that needed row exchanges misses its
// equations (the residual check of the analysis tells).
TEST(SkyNonSymMat, VanishingPivotsGetAStandIn)
{
    for (const Dense& dense : {Dense{{0, 1}, {1, 0}}, Dense{{1, 0}, {0, 0}}, Dense{{0}}}) {
        const unsigned n = static_cast<unsigned>(dense.size());
        SkyNonSymMat A(n);
        fill(A, dense);
        Vector x;
        EXPECT_EQ(solve_output(A, Vector(n, 1.0), x), "there are 1 (almost) zero pivots found!\n")
            << n;
        EXPECT_EQ(A.zero_pivots(), 1u);
        for (unsigned i = 0; i < x.size(); ++i)
            EXPECT_TRUE(std::isfinite(x[i])) << n;
    }

    // The second pivot of [2 2 0; 4 4 1; 0 1 1] vanishes after row 2's multiplier has
    // been formed; zeroed and assembled anew as the repaired matrix, it solves that.
    SkyNonSymMat A(3);
    fill(A, {{2, 2, 0}, {4, 4, 1}, {0, 1, 1}});
    Vector x;
    EXPECT_EQ(solve_output(A, Vector(3, 1.0), x), "there are 1 (almost) zero pivots found!\n");
    const Dense repaired = {{2, 2, 0}, {4, 5, 1}, {0, 1, 2}};
    A.zero();
    for (unsigned i = 0; i < 3; ++i)
        for (unsigned j = 0; j < 3; ++j)
            if (repaired[i][j] != 0.0)
                A.add(i + 1, j + 1, repaired[i][j]);
    EXPECT_EQ(solve_output(A, make_vector({1, 2, 3}), x), "");
    EXPECT_EQ(A.zero_pivots(), 0u);
    const std::vector<double> expected = dense_solve(repaired, {1, 2, 3});
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_NEAR(x[i], expected[i], 1e-14);
}

TEST(SkySymMat, ProfileStartsAtTheFirstCoupledColumn)
{
    SkySymMat A(3);
    A.geometry(3, 1);
    A.geometry(1, 2); // above the diagonal: no change
    A.zero();
    A.add(1, 1, 1.0);
    A.add(2, 2, 4.0);
    A.add(3, 1, 2.0);
    A.add(3, 3, 3.0);
    A.add(3, 2, 0.0); // inside row 3's profile
    A.add(1, 3, 99.0); // upper triangle: ignored
    EXPECT_EQ(print_of(A, "M"),
              "M\n\n 1.000e+00\n 0.000e+00 4.000e+00\n 2.000e+00 0.000e+00 3.000e+00\n");
    try {
        A.geometry(2, 1);
        FAIL() << "geometry after zero accepted";
    } catch (const KelVane::program_error& e) {
        EXPECT_STREQ(e.what(), "matrix geometry can not be updated after creation");
    }
}

TEST(SkylineDeathTest, AddOutsideTheProfileStops)
{
    SkySymMat sym(3);
    sym.geometry(3, 2);
    sym.zero();
    EXPECT_DEATH(sym.add(3, 1, 1.0), "Assertion failed");
    EXPECT_DEATH(sym.add(2, 1, 1.0), "Assertion failed");

    SkyNonSymMat nonsym(3);
    nonsym.geometry(2, 3);
    nonsym.zero();
    EXPECT_NO_THROW(nonsym.add(3, 2, 1.0)); // the profile is shared by row 3 and column 3
    EXPECT_DEATH(nonsym.add(2, 1, 1.0), "Assertion failed");
    EXPECT_DEATH(nonsym.add(1, 2, 1.0), "Assertion failed");
    EXPECT_DEATH(nonsym.add(1, 3, 1.0), "Assertion failed");
    EXPECT_DEATH(nonsym.add(3, 1, 1.0), "Assertion failed");

    SkySymMat unallocated(2);
    Vector x;
    EXPECT_DEATH(unallocated.solve(Vector(2, 1.0), x), "Assertion failed: a != NULL");
}

TEST(Skyline, RangeAndStateErrors)
{
    std::vector<std::unique_ptr<SystemMat>> skylines;
    skylines.push_back(std::make_unique<SkySymMat>(3));
    skylines.push_back(std::make_unique<SkyNonSymMat>(3));
    for (std::size_t kind = 0; kind < skylines.size(); ++kind) {
        SystemMat& A = *skylines[kind];
        // Only the symmetric class ends its geometry message with a line end.
        const std::string line_end = kind == 0 ? "\n" : "";
        try {
            A.geometry(4, 1);
            ADD_FAILURE();
        } catch (const KelVane::dimension_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "matrix element (4,1) does not fit in matrix of size 3" + line_end);
        }
        A.geometry(2, 1);
        A.zero();
        try {
            A.add(0, 1, 1.0);
            ADD_FAILURE();
        } catch (const KelVane::dimension_error& e) {
            EXPECT_STREQ(e.what(), "matrix element (0,1) does not fit in matrix of size 3");
        }
        for (unsigned i = 1; i <= 3; ++i)
            A.add(i, i, 2.0);
        Vector x;
        A.solve(Vector(3, 1.0), x);
        try {
            A.add(1, 1, 1.0);
            ADD_FAILURE();
        } catch (const KelVane::program_error& e) {
            EXPECT_STREQ(e.what(), "can not add matrix component to a decomposed matrix");
        }
        // Re-assembly after zero factorises afresh.
        A.zero();
        for (unsigned i = 1; i <= 3; ++i)
            A.add(i, i, 4.0);
        A.solve(Vector(3, 1.0), x);
        EXPECT_DOUBLE_EQ(x[2], 0.25);
    }
}

TEST(Skyline, PrintFormats)
{
    SkyNonSymMat T(2);
    fill(T, {{1, 2}, {3, 4}});
    EXPECT_EQ(print_of(T, "T"), "T\n\nsize =2\n  1.000e+00  2.000e+00\n  3.000e+00  4.000e+00\n");
    Vector x;
    T.solve(Vector(2, 1.0), x);
    EXPECT_EQ(print_of(T, "T").rfind("Decomposed T\n\nsize =2\n", 0), 0u);

    SkyNonSymMat big(12);
    Dense identity(12, std::vector<double>(12, 0.0));
    for (unsigned i = 0; i < 12; ++i)
        identity[i][i] = 1.0;
    fill(big, identity);
    const std::string shown = print_of(big, "big");
    EXPECT_EQ(shown.rfind("big\n\nsize =12\n(only left upper 10x10 part)\n", 0), 0u);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 14);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '.'), 100); // ten rows of ten values

    SkySymMat S(2);
    fill(S, {{2, -1}, {-1, 2}});
    S.solve(Vector(2, 1.0), x);
    EXPECT_EQ(print_of(S, "S"), "Decomposed S\n\n 2.000e+00\n-5.000e-01 1.500e+00\n");

    // The number format of standard output is restored afterwards.
    testing::internal::CaptureStdout();
    std::cout << 0.5;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0.5");
}

TEST(DiagonalSysMat, InvertsOnFirstSolve)
{
    DiagonalSysMat D(3);
    D.zero();
    D.add(1, 1, 2.0);
    D.add(2, 2, 4.0);
    D.add(3, 3, -0.5);
    D.add(3, 3, -0.5);
    EXPECT_EQ(print_of(D, "M"), "M\n\n 2.000e+00\n 0.000e+00 4.000e+00\n 0.000e+00 0.000e+00-1.000e+00\n");
    Vector x;
    D.solve(make_vector({1, 2, 3}), x);
    EXPECT_EQ(x[0], 0.5);
    EXPECT_EQ(x[1], 0.5);
    EXPECT_EQ(x[2], -3.0);
    EXPECT_EQ(print_of(D, "M").rfind("Inverted M\n\n 5.000e-01\n", 0), 0u);
    EXPECT_THROW(D.add(1, 1, 1.0), KelVane::program_error);
    for (const auto& pair : {std::make_pair(1u, 2u), std::make_pair(4u, 4u), std::make_pair(0u, 0u)}) {
        try {
            D.geometry(pair.first, pair.second);
            ADD_FAILURE();
        } catch (const KelVane::dimension_error& e) {
            EXPECT_EQ(std::string(e.what()), "matrix element (" + std::to_string(pair.first) + "," +
                                                 std::to_string(pair.second) +
                                                 ") does not fit in diagonal matrix of size 3");
        }
    }
    D.zero();
    EXPECT_THROW(D.add(1, 2, 0.0), KelVane::dimension_error);
}

// An element vanishes beside the largest one of its group, so the same masses in a
// unit 1e14 times larger are judged alike, and so are masses beside rotary
// inertias in a length unit 1e6 times larger.
TEST(DiagonalSysMat, VanishingElementsAreCountedAgainstTheLargest)
{
    struct Case {
        const char* what;
        std::vector<double> diagonal;
        unsigned vanishing;
        std::vector<unsigned char> groups;
    };
    const Case cases[] = {
        {"one small, one zero", {4.0, 1e-13, 0.0}, 2, {}},
        {"the same in a unit 1e14 times larger", {4e-14, 1e-27, 0.0}, 2, {}},
        {"all below 1e-12, none small beside the others", {1e-14, 2e-14, 3e-14}, 0, {}},
        {"all zero", {0.0, 0.0, 0.0}, 3, {}},
        {"masses below 1e-12 of an inertia of another group", {4.0, 2.0, 1e13}, 0, {0, 0, 1}},
        {"a zero mass beside an inertia of another group", {4.0, 0.0, 1e13}, 1, {0, 0, 1}},
        {"a group all zero", {4.0, 0.0, 0.0}, 2, {0, 1, 1}},
    };
    for (const Case& c : cases) {
        DiagonalSysMat D(3);
        D.zero();
        if (!c.groups.empty()) D.set_groups(c.groups);
        for (unsigned i = 0; i < 3; ++i)
            D.add(i + 1, i + 1, c.diagonal[i]);
        Vector x;
        if (c.vanishing == 0) {
            EXPECT_NO_THROW(D.solve(Vector(3, 1.0), x)) << c.what;
            EXPECT_DOUBLE_EQ(x[2], 1.0 / c.diagonal[2]) << c.what;
            continue;
        }
        try {
            D.solve(Vector(3, 1.0), x);
            ADD_FAILURE() << c.what;
        } catch (const KelVane::matrix_error& e) {
            EXPECT_EQ(std::string(e.what()), "there are " + std::to_string(c.vanishing) +
                                                 " (almost) zero pivots found!")
                << c.what;
        }
    }
}

TEST(DiagonalSysMat, VanishingElementsLeaveTheMatrixIntact)
{
    DiagonalSysMat D(3);
    D.zero();
    D.add(1, 1, 4.0);
    D.add(2, 2, 1e-13);
    Vector x;
    try {
        D.solve(Vector(3, 1.0), x);
        FAIL();
    } catch (const KelVane::matrix_error& e) {
        EXPECT_STREQ(e.what(), "there are 2 (almost) zero pivots found!");
    }
    // Element 1 was not inverted by the failed attempt.
    D.add(2, 2, 2.0);
    D.add(3, 3, 8.0);
    D.solve(Vector(3, 1.0), x);
    EXPECT_EQ(x[0], 0.25);
    EXPECT_DOUBLE_EQ(x[1], 1.0 / (2.0 + 1e-13));
    EXPECT_EQ(x[2], 0.125);
}
