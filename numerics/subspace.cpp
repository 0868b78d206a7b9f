#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <vector>

#include "eigen.h"
#include "kv_assert.h"
#include "skyline.h"
#include "sysmat.h"

namespace KelVane {

namespace {

// Pseudo-random components in [-1, 1) from a fixed seed, so that every run of the
// same model starts from the same block (64-bit linear congruential generator,
// top 53 bits).
class MixingSequence {
public:
    double next()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(state_ >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    std::uint64_t state_ = 0x2545F4914F6CDD1DULL;
};

// Start block: column 1 is the diagonal of M, the next columns are unit vectors at
// the rows with the smallest ratios K(i,i) / M(i,i), and the last `requested`
// columns (all but the first when the block is no larger) are mixed: the diagonal of
// M scaled row by row with pseudo-random factors. Unit vectors alone can all fall
// into one family of dofs that does not couple with the rest (the axial motion of a
// straight beam beside its bending), and no number of passes brings the other
// families' modes into the block then. Column 1 and the mixed columns reach every
// family, so each starts with one direction more than eigenpairs are wanted; with
// no spare direction the last wanted mode of a family converges slowly and the
// other families' eigenvalues can settle before it has come down past them.
void make_start_vectors(const SparseSysMat& K, const SparseSysMat& M, Matrix& X, unsigned requested)
{
    const unsigned n = X.size1();
    const unsigned p = X.size2();
    const unsigned mixed = p < 2 ? 0 : std::min(p - 1, requested);
    const unsigned units = p - 1 - mixed;
    X.set_zero();
    std::vector<SizeDoublePair> ratios;
    ratios.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        const double mass = M[i](i);
        X[i][0] = mass;
        ratios.emplace_back(i, K[i](i) / mass);
    }
    std::partial_sort(ratios.begin(), ratios.begin() + units, ratios.end());
    for (unsigned j = 1; j <= units; ++j)
        X[ratios[j - 1].index][j] = 1.0;
    MixingSequence sequence;
    for (unsigned j = units + 1; j < p; ++j)
        for (unsigned i = 0; i < n; ++i)
            X[i][j] = sequence.next() * X[i][0];
}

void symmetrise(Matrix& A)
{
    for (unsigned i = 1; i < A.size1(); ++i) {
        for (unsigned j = 0; j < i; ++j) {
            const double mean = 0.5 * (A[i][j] + A[j][i]);
            A[i][j] = mean;
            A[j][i] = mean;
        }
    }
}

// The projected problem is diagonal when the off-diagonal sums of both projected
// matrices, per vector, are negligible beside their diagonal sums.
bool off_diagonal_negligible(const Matrix& A)
{
    const unsigned p = A.size1();
    double diagonal = 0.0;
    double off_diagonal = 0.0;
    for (unsigned i = 0; i < p; ++i) {
        diagonal += std::fabs(A[i][i]);
        for (unsigned j = 0; j < i; ++j)
            off_diagonal += std::fabs(A[i][j]);
    }
    return off_diagonal / p < 1e-10 * diagonal;
}

// Orders by magnitude; not-a-number values (from a failed solve) count as the
// largest and equal to each other, so that sorting stays well defined.
bool smaller_magnitude(double a, double b)
{
    if (std::isnan(b))
        return !std::isnan(a);
    if (std::isnan(a))
        return false;
    return std::fabs(a) < std::fabs(b);
}

// The `count` eigenvalues of smallest magnitude, in ascending order of magnitude (the
// order in which the eigenfrequency analysis keeps them).
std::vector<double> lowest_eigenvalues(const Vector& lambda, unsigned count)
{
    std::vector<double> values(lambda.size());
    for (unsigned i = 0; i < lambda.size(); ++i)
        values[i] = lambda[i];
    std::sort(values.begin(), values.end(), smaller_magnitude);
    values.resize(count);
    return values;
}

// Whether the requested eigenvalues have settled: each changed by less than 1e-10
// relative since the previous pass, and what is left of its convergence is as small.
// Ritz values come down geometrically: with rho the ratio of the last change to the
// one before, change rho / (1 - rho) remains. Nearly equal eigenvalues converge so
// slowly (rho near 1) that a small change alone says nothing about the error. A
// change that does not shrink is accepted as rounding noise only below 1e-13.
bool eigenvalues_settled(const std::vector<double>& current, const std::vector<double>& previous,
                         const std::vector<double>& earlier)
{
    for (std::size_t i = 0; i < current.size(); ++i) {
        const double change = std::fabs(current[i] - previous[i]);
        if (change == 0.0)
            continue;
        const double limit = 1e-10 * std::fabs(current[i]);
        if (!(change < limit) || earlier.empty())
            return false;
        const double before = std::fabs(previous[i] - earlier[i]);
        const double rho = change / before;
        if (rho < 1.0 ? !(change * rho < limit * (1.0 - rho))
                      : !(change < 1e-3 * limit))
            return false;
    }
    return true;
}

// Makes column j of the block M-orthonormal to the columns before it (two rounds of
// Gram-Schmidt) and of unit M-length; kz[j] and mz[j] take part in every operation,
// so they stay K z[j] and M z[j]. False when nothing independent of the earlier
// columns is left.
bool orthonormalise_column(const PackedRows& K, const PackedRows& M, unsigned j,
                           std::vector<Vector>& z, std::vector<Vector>& kz, std::vector<Vector>& mz,
                           bool m_product_formed = false)
{
    Vector& y = z[j];
    Vector& ky = kz[j];
    Vector& my = mz[j];
    if (!m_product_formed)
        M.multiply(y, my);
    const double length = std::sqrt(dot(y, my));
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    y *= 1.0 / length;
    ky *= 1.0 / length;
    my *= 1.0 / length;
    for (unsigned round = 0; round < 2; ++round) {
        for (unsigned k = 0; k < j; ++k) {
            const double c = profile_dot(&z[k][0], &my[0], y.size());
            for (unsigned i = 0; i < y.size(); ++i) {
                y[i] -= c * z[k][i];
                ky[i] -= c * kz[k][i];
                my[i] -= c * mz[k][i];
            }
        }
    }
    // The remainder is the square root of a quadratic form, so the rounding of the
    // subtractions (some 1e-16 of the form) shows in it as some 1e-8: a column in
    // the null space of a singular M keeps that much however dependent it is.
    // Below 1e-6 of its length nothing independent of the earlier columns is left.
    M.multiply(y, my);
    const double remainder = std::sqrt(dot(y, my));
    if (!(remainder > 1e-6) || !std::isfinite(remainder))
        return false;
    y *= 1.0 / remainder;
    ky *= 1.0 / remainder;
    my *= 1.0 / remainder;
    // A nearly dependent column keeps only what cancellation left; the solver's
    // rounding in its tracked K z is magnified as much, so K z is formed anew.
    if (remainder < 1e-3)
        K.multiply(y, ky);
    return true;
}

// True when each of the `requested` pairs of smallest eigenvalue magnitude satisfies
// ||K x - lambda M x|| <= 1e-2 ||K x||. Converged pairs lie far below that (the
// vectors carry about the square root of the eigenvalue tolerance, more on
// ill-conditioned meshes); a vector that is no eigenvector lies far above.
bool requested_pairs_hold(const PackedRows& K, const PackedRows& M, const Vector& lambda,
                          const Matrix& X, unsigned requested)
{
    const unsigned n = X.size1();
    const unsigned p = X.size2();
    std::vector<unsigned> order(p);
    for (unsigned j = 0; j < p; ++j)
        order[j] = j;
    std::sort(order.begin(), order.end(),
              [&](unsigned a, unsigned b) { return smaller_magnitude(lambda[a], lambda[b]); });
    Vector x(n);
    Vector kx(n);
    Vector mx(n);
    for (unsigned c = 0; c < requested; ++c) {
        const unsigned j = order[c];
        for (unsigned i = 0; i < n; ++i)
            x[i] = X[i][j];
        K.multiply(x, kx);
        M.multiply(x, mx);
        double residual = 0.0;
        double reference = 0.0;
        for (unsigned i = 0; i < n; ++i) {
            const double r = kx[i] - lambda[j] * mx[i];
            residual += r * r;
            reference += kx[i] * kx[i];
        }
        // Written so that a not-a-number fails.
        if (!(std::sqrt(residual) <= 1e-2 * std::sqrt(reference)))
            return false;
    }
    return true;
}

}  // namespace

bool subspace_iteration(SparseSysMat& K, SparseSysMat& M, Vector& lambda, Matrix& X,
                        bool make_start, unsigned requested, unsigned max_passes,
                        const std::function<void()>& each_pass)
{
    const unsigned n = X.size1();
    const unsigned p = X.size2();
    KV_ASSERT(p<=n);
    KV_ASSERT(n==K.num_rows());
    lambda.resize(p);
    if (p == 0)
        return true;
    if (requested == 0 || requested > p)
        requested = p;

    if (make_start)
        make_start_vectors(K, M, X, requested);

    // Both matrices are multiplied many times over.
    const PackedRows packed_K(K);
    const PackedRows packed_M(M);

    // The iteration block Z by columns, with K Z and M Z alongside.
    std::vector<Vector> z(p, Vector(n));
    std::vector<Vector> kz(p, Vector(n));
    std::vector<Vector> mz(p, Vector(n));
    Matrix Z(n, p);
    Matrix Q;
    Matrix KZ;
    Matrix MZ;
    std::vector<double> previous;
    std::vector<double> earlier;
    unsigned solved = 0;
    bool converged = false;
    // The eigenvalue of a mode without mass.
    const double without_mass = std::numeric_limits<double>::infinity();
    std::vector<unsigned> active;

    for (unsigned pass = 0; pass < max_passes; ++pass) {
        active.clear();
        if (each_pass)
            each_pass();
        // The products and the solve for the whole block at once: each matrix is
        // read once for all columns. On the first pass the start block stands for
        // M X. K Z is then the right-hand side itself: forming it again as a
        // product would cancel the large stiffness terms and leave rounding noise
        // of about 1e-8 relative in the lowest eigenvalues of fine meshes.
        if (pass == 0 && make_start)
            KZ = X;
        else
            packed_M.multiply(X, KZ);
        K.solve(KZ, Z);
        packed_M.multiply(Z, MZ);
        for (unsigned j = 0; j < p; ++j) {
            for (unsigned i = 0; i < n; ++i) {
                kz[j][i] = KZ[i][j];
                z[j][i] = Z[i][j];
                mz[j][i] = MZ[i][j];
            }
            // Start vectors of equal stiffness-to-mass ratio next to each other
            // (a uniform mesh near a support) iterate into nearly the same shape; the
            // block is kept M-orthonormal so that the projected mass matrix stays
            // regular. A column with nothing left is replaced by a unit vector; of
            // j + 1 unit vectors one at least reaches beyond j columns. When none
            // does, the columns before it already span every motion with mass (a
            // block wider than the rank of M): the column drops out of the
            // projection and stands for a mode without mass.
            bool independent = orthonormalise_column(packed_K, packed_M, j, z, kz, mz, true);
            for (unsigned row = 0; !independent && row < std::min(n, j + 1); ++row) {
                z[j].set_zero();
                z[j][(j + row) % n] = 1.0;
                packed_K.multiply(z[j], kz[j]);
                independent = orthonormalise_column(packed_K, packed_M, j, z, kz, mz);
            }
            if (independent) {
                active.push_back(j);
            } else {
                z[j].set_zero();
                kz[j].set_zero();
                mz[j].set_zero();
            }
        }
        const unsigned pa = static_cast<unsigned>(active.size());
        if (pa == 0) {
            // Nothing of the block has mass: no mode to report.
            for (unsigned j = 0; j < p; ++j)
                lambda[j] = without_mass;
            X.set_zero();
            break;
        }

        Matrix Kstar(pa, pa);
        Matrix Mstar(pa, pa);
        for (unsigned a = 0; a < pa; ++a) {
            for (unsigned b = 0; b < pa; ++b) {
                Kstar[a][b] = profile_dot(&z[active[a]][0], &kz[active[b]][0], n);
                Mstar[a][b] = profile_dot(&z[active[a]][0], &mz[active[b]][0], n);
            }
        }
        // Both are symmetric up to rounding; the dense solver insists on symmetry.
        symmetrise(Kstar);
        symmetrise(Mstar);

        // Converged on diagonal projections: the previous pass's results stand, unless
        // no projected problem has been solved yet (a block that starts out
        // decoupled). A single vector has no off-diagonal terms to judge by. Nearly
        // equal eigenvalues make the projections diagonal long before the block has
        // separated their modes (the pass barely turns it), so the Ritz values on the
        // diagonal must also have settled beside the previous pass's.
        const bool diagonal =
            p > 1 && off_diagonal_negligible(Kstar) && off_diagonal_negligible(Mstar);
        if (diagonal && solved > 0) {
            Vector ratios(p);
            for (unsigned j = 0; j < p; ++j)
                ratios[j] = without_mass;
            for (unsigned a = 0; a < pa; ++a)
                ratios[a] = Kstar[a][a] / Mstar[a][a];
            if (eigenvalues_settled(lowest_eigenvalues(ratios, requested), previous, earlier)) {
                converged = true;
                break;
            }
        }

        if (pa == p) {
            eigen_generalized(Kstar, Mstar, lambda, &Q);
            for (unsigned j = 0; j < p; ++j)
                for (unsigned i = 0; i < n; ++i)
                    Z[i][j] = z[j][i];
            X = Z * Q;
        } else {
            // The modes of the columns with mass first, then those without.
            Vector projected;
            eigen_generalized(Kstar, Mstar, projected, &Q);
            Matrix Za(n, pa);
            for (unsigned a = 0; a < pa; ++a)
                for (unsigned i = 0; i < n; ++i)
                    Za[i][a] = z[active[a]][i];
            const Matrix Xa = Za * Q;
            X.set_zero();
            for (unsigned j = 0; j < p; ++j)
                lambda[j] = j < pa ? projected[j] : without_mass;
            for (unsigned i = 0; i < n; ++i)
                for (unsigned a = 0; a < pa; ++a)
                    X[i][a] = Xa[i][a];
        }
        ++solved;
        if (diagonal && solved == 1) {
            converged = true;
            break;
        }

        // Converged on the requested eigenvalues: on fine meshes the off-diagonal
        // sums stall at rounding level long after the eigenvalues have settled.
        std::vector<double> current = lowest_eigenvalues(lambda, requested);
        if (solved > 1 && eigenvalues_settled(current, previous, earlier)) {
            converged = true;
            break;
        }
        earlier.swap(previous);
        previous.swap(current);
    }

    // The convergence tests judge the projections only. Their diagonal sums are
    // dominated by the largest eigenvalues of the block and can hide coupling terms
    // that are large for the lowest pairs, so those are put into K x = lambda M x.
    if (converged && !requested_pairs_hold(packed_K, packed_M, lambda, X, requested))
        converged = false;

    if (converged)
        std::cout << "subspace iteration converged in " << solved << " iterations" << std::endl;
    else
        std::cout << "subspace iteration not converged in " << solved << " iterations" << std::endl;
    return converged;
}

}  // namespace KelVane
