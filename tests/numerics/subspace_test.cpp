#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/matrix_helpers.h"
#include "eigen.h"
#include "kvmatrix.h"
#include "sysmat.h"

using KelVane::Matrix;
using KelVane::SparseSysMat;
using KelVane::Vector;
using kv_test::sorted;

namespace {

const double pi = 3.14159265358979323846;

// A stiffness and mass pair of n equations, zeroed for assembly.
struct Problem {
    std::unique_ptr<SparseSysMat> K;
    std::unique_ptr<SparseSysMat> M;

    explicit Problem(unsigned n)
        : K(std::make_unique<SparseSysMat>(n, true)), M(std::make_unique<SparseSysMat>(n, true))
    {
        K->zero();
        M->zero();
    }
};

// K = k tridiag(-1, 2, -1) and M = m tridiag(mo, md, mo): a fixed-fixed chain of springs
// k with lumped masses (md = m, mo = 0) or linear bar elements with consistent mass.
Problem chain(unsigned n, double k, double md, double mo = 0.0, double upper_mass_error = 0.0)
{
    Problem problem(n);
    for (unsigned i = 1; i <= n; ++i) {
        problem.K->add(i, i, 2.0 * k);
        problem.M->add(i, i, md);
        if (i < n) {
            problem.K->add(i, i + 1, -k);
            problem.K->add(i + 1, i, -k);
            if (mo != 0.0) {
                problem.M->add(i, i + 1, mo * (1.0 + upper_mass_error));
                problem.M->add(i + 1, i, mo);
            }
        }
    }
    return problem;
}

double chain_eigenvalue(unsigned n, double k, double m, unsigned j)
{
    return k / m * (2.0 - 2.0 * std::cos(j * pi / (n + 1)));
}

// Cantilever of Hermite beam elements (EI = 1, rho A = 1, length 1) with consistent
// mass; the clamped node's two dofs are removed.
Problem cantilever(unsigned elements)
{
    Problem beam(2 * elements);
    const double L = 1.0 / elements;
    const double k[4][4] = {{12, 6 * L, -12, 6 * L}, {6 * L, 4 * L * L, -6 * L, 2 * L * L},
                            {-12, -6 * L, 12, -6 * L}, {6 * L, 2 * L * L, -6 * L, 4 * L * L}};
    const double m[4][4] = {{156, 22 * L, 54, -13 * L}, {22 * L, 4 * L * L, 13 * L, -3 * L * L},
                            {54, 13 * L, 156, -22 * L}, {-13 * L, -3 * L * L, -22 * L, 4 * L * L}};
    for (unsigned e = 0; e < elements; ++e) {
        for (unsigned a = 0; a < 4; ++a) {
            for (unsigned b = 0; b < 4; ++b) {
                if (2 * e + a >= 2 && 2 * e + b >= 2) {
                    beam.K->add(2 * e + a - 1, 2 * e + b - 1, k[a][b] / (L * L * L));
                    beam.M->add(2 * e + a - 1, 2 * e + b - 1, m[a][b] * L / 420.0);
                }
            }
        }
    }
    return beam;
}

// Runs the iteration and returns what it wrote to standard output.
std::string run(Problem& problem, Vector& lambda, Matrix& X, bool make_start, unsigned requested = 0,
                unsigned max_passes = 100)
{
    testing::internal::CaptureStdout();
    KelVane::subspace_iteration(*problem.K, *problem.M, lambda, X, make_start, requested, max_passes);
    return testing::internal::GetCapturedStdout();
}

bool reports_convergence(const std::string& output)
{
    return output.find("subspace iteration converged in ") != std::string::npos;
}

unsigned reported_passes(const std::string& output)
{
    const std::size_t at = output.rfind(" in ");
    return at == std::string::npos ? 0u : unsigned(std::stoul(output.substr(at + 4)));
}

// Columns of X are M-orthonormal, and the `count` columns of lowest eigenvalue
// satisfy K x = lambda M x to the relative residual `tolerance`.
void expect_eigenpairs(Problem& problem, const Vector& lambda, const Matrix& X, unsigned count,
                       double tolerance)
{
    const unsigned p = X.size2();
    const Matrix KX = (*problem.K) * X;
    const Matrix MX = (*problem.M) * X;
    const Matrix XMX = transpose_times(X, MX);
    for (unsigned i = 0; i < p; ++i)
        for (unsigned j = 0; j < p; ++j)
            EXPECT_NEAR(XMX[i][j], i == j ? 1.0 : 0.0, 1e-10) << i << "," << j;
    std::vector<unsigned> order(p);
    for (unsigned j = 0; j < p; ++j)
        order[j] = j;
    std::sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return lambda[a] < lambda[b]; });
    for (unsigned c = 0; c < count; ++c) {
        const unsigned j = order[c];
        double residual = 0.0;
        double reference = 0.0;
        for (unsigned i = 0; i < X.size1(); ++i) {
            residual += std::pow(KX[i][j] - lambda[j] * MX[i][j], 2);
            reference += std::pow(KX[i][j], 2);
        }
        EXPECT_LT(std::sqrt(residual), tolerance * std::sqrt(reference)) << "column " << j;
    }
}

}  // namespace

TEST(SubspaceIterationTest, SpringChainLowestModes)
{
    const unsigned n = 30;
    Problem problem = chain(n, 1000.0, 2.5);
    Vector lambda;
    Matrix X(n, 8);
    const std::string output = run(problem, lambda, X, true, 4);
    EXPECT_TRUE(reports_convergence(output)) << output;
    ASSERT_EQ(lambda.size(), 8u);
    const std::vector<double> values = sorted(lambda);
    for (unsigned j = 1; j <= 4; ++j) {
        const double expected = chain_eigenvalue(n, 1000.0, 2.5, j);
        EXPECT_NEAR(values[j - 1], expected, 1e-9 * expected) << j;
    }
    // The eigenvalues settle (to 1e-10) while the shapes still carry errors of about
    // the square root of that.
    expect_eigenpairs(problem, lambda, X, 4, 1e-3);
}

TEST(SubspaceIterationTest, FineCantileverMeshesStopOnSettledEigenvalues)
{
    // Clamped-free beam: lambda_r = (beta_r L)^4 EI / (rho A L^4). All deflection dofs
    // share one stiffness-to-mass ratio, so the start vectors crowd next to the clamp;
    // the finest mesh is ill-conditioned enough for the solver's pivot warning.
    const double beta[] = {1.875104068711961, 4.694091132974175, 7.854757438237613,
                           10.99554073487547, 14.13716839104647};
    const struct {
        unsigned elements;
        double tolerance;
    } meshes[] = {{200, 1e-7}, {800, 1e-4}};
    for (const auto& mesh : meshes) {
        Problem beam = cantilever(mesh.elements);
        Vector lambda;
        Matrix X(2 * mesh.elements, 10);
        const std::string output = run(beam, lambda, X, true, 5);
        EXPECT_TRUE(reports_convergence(output)) << output;
        EXPECT_LT(reported_passes(output), 25u) << output;
        const std::vector<double> values = sorted(lambda);
        for (unsigned r = 0; r < 5; ++r)
            EXPECT_NEAR(values[r], std::pow(beta[r], 4), mesh.tolerance * std::pow(beta[r], 4))
                << mesh.elements << " elements, mode " << r + 1;
        expect_eigenpairs(beam, lambda, X, 0, 0.0);
    }
}

TEST(SubspaceIterationTest, LargeChainEndsWellBeforeThePassLimit)
{
    const unsigned n = 400;
    Problem problem = chain(n, 1.0, 1.0);
    Vector lambda;
    Matrix X(n, 10);
    const std::string output = run(problem, lambda, X, true, 5);
    EXPECT_EQ(output.rfind("subspace iteration converged in ", 0), 0u) << output;
    // The five requested eigenvalues settle in about a dozen passes; the projected
    // stiffness becomes diagonal only after some 45.
    EXPECT_LT(reported_passes(output), 25u) << output;
    const std::vector<double> values = sorted(lambda);
    for (unsigned j = 1; j <= 5; ++j)
        EXPECT_NEAR(values[j - 1], chain_eigenvalue(n, 1.0, 1.0, j), 1e-8 * chain_eigenvalue(n, 1.0, 1.0, j));
}

TEST(SubspaceIterationTest, SlightlyAsymmetricMassStillSolves)
{
    // Bar elements, K = tridiag(-1, 2, -1) / h and M = tridiag(1, 4, 1) h / 6 with an upper
    // triangle off in the seventh digit: lambda_k = 6 (1 - cos t) / (h^2 (2 + cos t)),
    // t = k pi / (n + 1).
    const unsigned n = 50;
    const double h = 1.0 / (n + 1);
    Problem bar = chain(n, 1.0 / h, 4.0 * h / 6.0, h / 6.0, 3e-7);
    Vector lambda;
    Matrix X(n, 6);
    const std::string output = run(bar, lambda, X, true, 3);
    EXPECT_TRUE(reports_convergence(output)) << output;
    const std::vector<double> values = sorted(lambda);
    for (unsigned k = 1; k <= 3; ++k) {
        const double t = k * pi / (n + 1);
        const double expected = 6.0 * (1.0 - std::cos(t)) / (h * h * (2.0 + std::cos(t)));
        EXPECT_NEAR(values[k - 1], expected, 1e-6 * expected) << k;
    }
}

TEST(SubspaceIterationTest, PassLimitIsReportedAsNotConverged)
{
    const unsigned n = 60;
    Problem problem = chain(n, 1.0, 1.0);
    Vector lambda;
    Matrix X(n, 4);
    EXPECT_EQ(run(problem, lambda, X, true, 2, 3), "subspace iteration not converged in 3 iterations\n");
    // The last pass's Ritz values come back; they lie above the exact eigenvalues.
    const std::vector<double> values = sorted(lambda);
    EXPECT_GE(values[0], chain_eigenvalue(n, 1.0, 1.0, 1) * (1.0 - 1e-12));
    EXPECT_LT(values[0], 1.5 * chain_eigenvalue(n, 1.0, 1.0, 1));
}

TEST(SubspaceIterationTest, ExactStartBlockIsSolvedOnTheFirstPass)
{
    // Exact mode shapes make the projections diagonal at once; the eigenvalues of that
    // pass are still computed and returned.
    const unsigned n = 12;
    Problem problem = chain(n, 3.0, 1.0);
    Matrix X(n, 3);
    for (unsigned j = 0; j < 3; ++j)
        for (unsigned i = 0; i < n; ++i)
            X[i][j] = std::sin((i + 1) * (j + 1) * pi / (n + 1));
    Vector lambda;
    EXPECT_EQ(run(problem, lambda, X, false), "subspace iteration converged in 1 iterations\n");
    const std::vector<double> values = sorted(lambda);
    for (unsigned j = 1; j <= 3; ++j)
        EXPECT_NEAR(values[j - 1], chain_eigenvalue(n, 3.0, 1.0, j), 1e-12);
    expect_eigenpairs(problem, lambda, X, 3, 1e-12);
}

TEST(SubspaceIterationTest, SingleVectorAndDiagonalProblems)
{
    // One iteration vector: inverse iteration on the lowest mode.
    Problem problem = chain(10, 1.0, 1.0);
    Vector lambda;
    Matrix X(10, 1);
    EXPECT_TRUE(reports_convergence(run(problem, lambda, X, true)));
    ASSERT_EQ(lambda.size(), 1u);
    EXPECT_NEAR(lambda[0], chain_eigenvalue(10, 1.0, 1.0, 1), 1e-9);

    // Diagonal K and M: the unit start vectors sit at the rows of the smallest k/m
    // ratios, which are eigenvectors already, so their pairs come out exact; the
    // block's other vectors (the diagonal of M and the mixed ones) converge to the
    // next ratios from above.
    Problem diagonal(7);
    const double stiffness[] = {50.0, 3.0, 40.0, 8.0, 24.0, 90.0, 70.0};
    const double mass[] = {1.0, 1.0, 2.0, 2.0, 4.0, 1.0, 1.0};  // ratios 50, 3, 20, 4, 6, 90, 70
    for (unsigned i = 0; i < 7; ++i) {
        diagonal.K->add(i + 1, i + 1, stiffness[i]);
        diagonal.M->add(i + 1, i + 1, mass[i]);
    }
    Matrix Y(7, 5);
    EXPECT_TRUE(reports_convergence(run(diagonal, lambda, Y, true, 2)));
    const std::vector<double> values = sorted(lambda);
    const double lowest_ratios[] = {3.0, 4.0, 6.0, 20.0, 50.0};
    EXPECT_NEAR(values[0], 3.0, 1e-12);
    EXPECT_NEAR(values[1], 4.0, 1e-12);
    for (unsigned j = 2; j < 5; ++j)
        EXPECT_GE(values[j], lowest_ratios[j] * (1.0 - 1e-12)) << j;
    expect_eigenpairs(diagonal, lambda, Y, 2, 1e-12);
}

// Two fixed-fixed chains that do not couple, their dofs interleaved as the two dofs
// of one node: chain A (20 masses, k/m = 1) holds the smaller diagonal ratios 2,
// chain B (nb masses, k/m = 2.5, ratios 5) the lower eigenvalues. With 40 masses in
// B the spectra interleave, B1 < A1 < B2 < A2 < B3 < ...; with 80 the two lowest
// are both B's.
struct TwoChains {
    static constexpr unsigned na = 20;
    static constexpr double ka = 1.0;
    static constexpr double kb = 2.5;
    unsigned nb;
    Problem problem;

    explicit TwoChains(unsigned b_masses) : nb(b_masses), problem(na + b_masses)
    {
        // Rows counted from 1: A's dof i and B's dof i share a node.
        add_chain(na, ka, [](unsigned i) { return 2 * i - 1; });
        add_chain(nb, kb, [](unsigned i) { return i <= na ? 2 * i : na + i; });
    }

    template <class Row>
    void add_chain(unsigned n, double k, Row row)
    {
        for (unsigned i = 1; i <= n; ++i) {
            problem.K->add(row(i), row(i), 2.0 * k);
            problem.M->add(row(i), row(i), 1.0);
            if (i < n) {
                problem.K->add(row(i), row(i + 1), -k);
                problem.K->add(row(i + 1), row(i), -k);
            }
        }
    }

    std::vector<double> lowest(unsigned count) const
    {
        std::vector<double> all;
        for (unsigned j = 1; j <= na; ++j)
            all.push_back(chain_eigenvalue(na, ka, 1.0, j));
        for (unsigned j = 1; j <= nb; ++j)
            all.push_back(chain_eigenvalue(nb, kb, 1.0, j));
        std::sort(all.begin(), all.end());
        all.resize(count);
        return all;
    }
};

TEST(SubspaceIterationTest, UncoupledFamiliesAllContributeTheirLowestModes)
{
    // Unit start vectors alone would all land on chain A, leaving B the one
    // direction of the diagonal of M: B2 would be missed and the block would settle
    // on A's values in its place.
    const struct {
        unsigned nb;
        unsigned requested;
    } cases[] = {{40, 2}, {40, 3}, {40, 4}, {40, 6}, {40, 10}, {80, 1}, {80, 2}, {80, 3}};
    for (const auto& c : cases) {
        TwoChains chains(c.nb);
        const unsigned q = std::min(2 * c.requested, c.requested + 8);
        const unsigned n = TwoChains::na + c.nb;
        Vector lambda;
        Matrix X(n, q);
        const std::string output = run(chains.problem, lambda, X, true, c.requested);
        EXPECT_EQ(output.rfind("subspace iteration converged in ", 0), 0u) << output;
        const std::vector<double> values = sorted(lambda);
        const std::vector<double> expected = chains.lowest(c.requested);
        for (unsigned j = 0; j < c.requested; ++j)
            EXPECT_NEAR(values[j], expected[j], 1e-8 * expected[j])
                << c.nb << " masses in B, " << c.requested << " requested, eigenvalue " << j + 1;
        expect_eigenpairs(chains.problem, lambda, X, c.requested, 1e-3);

        // The mixed start vectors come from a fixed sequence: a second run gives
        // the same numbers.
        TwoChains again(c.nb);
        Vector repeated;
        Matrix Y(n, q);
        EXPECT_EQ(run(again.problem, repeated, Y, true, c.requested), output);
        for (unsigned j = 0; j < q; ++j)
            EXPECT_EQ(repeated[j], lambda[j]) << c.nb << " masses in B, " << c.requested << " requested";
    }
}

TEST(SubspaceIterationTest, BlockWiderThanTheRankOfTheMassKeepsTheModesWithMass)
{
    // A fixed-fixed chain of 20 springs whose every other element carries a
    // one-point mass: the mass sees only the 10 mean motions of those elements. The
    // block's columns beyond them drop out as modes without mass, and the requested
    // modes agree with the dense solution, which finds exactly ten.
    const struct {
        const char* name;
        unsigned block;
        unsigned requested;
    } cases[] = {{"block of 12, 4 requested", 12, 4},
                 {"block of 16, 8 requested", 16, 8},
                 {"block of every equation, all 10 requested", 20, 10}};
    const unsigned n = 20;
    for (const auto& c : cases) {
        Problem problem = chain(n, 3.0, 0.0);
        for (unsigned i = 1; i < n; i += 2)
            for (unsigned a : {i, i + 1})
                for (unsigned b : {i, i + 1})
                    problem.M->add(a, b, 0.5);
        Vector exact;
        Matrix all(n, n);
        KelVane::dense_eigenpairs(*problem.K, *problem.M, exact, all);
        ASSERT_EQ(exact.size(), 10u) << c.name;
        const std::vector<double> expected = sorted(exact);
        Vector lambda;
        Matrix X(n, c.block);
        const std::string output = run(problem, lambda, X, true, c.requested);
        EXPECT_TRUE(reports_convergence(output)) << c.name << ": " << output;
        const std::vector<double> values = sorted(lambda);
        for (unsigned j = 0; j < c.requested; ++j)
            EXPECT_NEAR(values[j], expected[j], 1e-8 * expected[j]) << c.name << ", eigenvalue " << j + 1;
        for (unsigned j = 10; j < c.block; ++j)
            EXPECT_TRUE(std::isinf(values[j])) << c.name << ", column " << j + 1;
    }
}

TEST(SubspaceIterationTest, ConvergedProjectionsWithWrongShapesAreNotReportedAsConverged)
{
    // A stiff spring (k = 1e6) beside a chain of ten masses, and a given block of the
    // spring's exact mode and a unit vector at the chain's first mass. Nothing
    // couples the two columns, so the projections are diagonal on the first pass,
    // but one inverse iteration leaves the chain's column far from an eigenvector.
    const unsigned n = 11;
    Problem problem(n);
    problem.K->add(1, 1, 1e6);
    problem.M->add(1, 1, 1.0);
    for (unsigned i = 2; i <= n; ++i) {
        problem.K->add(i, i, 2.0);
        problem.M->add(i, i, 1.0);
        if (i < n) {
            problem.K->add(i, i + 1, -1.0);
            problem.K->add(i + 1, i, -1.0);
        }
    }
    Matrix X(n, 2);
    X.set_zero();
    X[0][0] = 1.0;
    X[1][1] = 1.0;
    Vector lambda;
    EXPECT_EQ(run(problem, lambda, X, false, 1), "subspace iteration not converged in 1 iterations\n");
    // Its Ritz value still bounds the lowest chain eigenvalue from above.
    const std::vector<double> values = sorted(lambda);
    EXPECT_GT(values[0], chain_eigenvalue(10, 1.0, 1.0, 1) * 1.1);
    EXPECT_NEAR(values[1], 1e6, 1e-6);

    // Given the chain's exact lowest mode instead, the same block has converged.
    X.set_zero();
    X[0][0] = 1.0;
    for (unsigned i = 2; i <= n; ++i)
        X[i - 1][1] = std::sin((i - 1) * pi / 11.0);
    EXPECT_EQ(run(problem, lambda, X, false, 1), "subspace iteration converged in 1 iterations\n");
    EXPECT_NEAR(sorted(lambda)[0], chain_eigenvalue(10, 1.0, 1.0, 1), 1e-12);
}

TEST(SubspaceIterationTest, NearlyEqualEigenvaluesAreNotReportedAsConvergedBeforeTheyAre)
{
    // Unit masses on springs 1 + spread i / n to the ground, their neighbours coupled
    // by springs of 1e-3 spread: every eigenvalue lies within spread of 1. A pass
    // barely turns the block, so the projections look diagonal and the Ritz values
    // change little from pass to pass long before they are right. Whatever the
    // iteration reports as converged must be right to 1e-6 (the listing's six
    // digits of a frequency); otherwise it must say that it has not converged.
    for (double spread : {1e-2, 1e-3, 1e-4, 1e-5, 1e-6}) {
        const unsigned n = 60;
        Problem problem(n);
        const double coupling = 1e-3 * spread;
        for (unsigned i = 1; i <= n; ++i) {
            problem.K->add(i, i, 1.0 + spread * i / n + 2.0 * coupling);
            problem.M->add(i, i, 1.0);
            if (i < n) {
                problem.K->add(i, i + 1, -coupling);
                problem.K->add(i + 1, i, -coupling);
                problem.K->add(i, i, coupling);
                problem.K->add(i + 1, i + 1, coupling);
            }
        }
        Vector exact;
        Matrix all(n, n);
        KelVane::dense_eigenpairs(*problem.K, *problem.M, exact, all);
        const std::vector<double> expected = sorted(exact);
        Vector lambda;
        Matrix X(n, 6);
        const std::string output = run(problem, lambda, X, true, 3);
        if (!reports_convergence(output)) continue;
        const std::vector<double> values = sorted(lambda);
        for (unsigned j = 0; j < 3; ++j)
            EXPECT_NEAR(values[j], expected[j], 1e-6 * expected[j])
                << "spread " << spread << ", eigenvalue " << j + 1 << ", " << output;
    }
}

TEST(SubspaceIterationDeathTest, BlockThatDoesNotFitStops)
{
    Problem problem = chain(3, 1.0, 1.0);
    Vector lambda;
    Matrix X(3, 4);
    EXPECT_DEATH(KelVane::subspace_iteration(*problem.K, *problem.M, lambda, X, true), "p<=n");
    Matrix Y(4, 2);
    EXPECT_DEATH(KelVane::subspace_iteration(*problem.K, *problem.M, lambda, Y, true), "n==K.num_rows\\(\\)");
}
