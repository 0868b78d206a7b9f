#include "stability_limit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "dof.h"
#include "domain.h"
#include "kvmatrix.h"
#include "lumped_mass.h"
#include "mass_rank.h"
#include "sysmat.h"
#include "transmat.h"

namespace {

// An element with stiffness at some of its free dofs of motion: those dofs
// (counted from 1 in the element's node-dof order), their equations, and its
// stiffness and mass over its node dofs.
struct StiffElement {
    std::vector<unsigned> rows;
    std::vector<std::uint32_t> equations;
    KelVane::Matrix stiffness;
    KelVane::Matrix mass;
};

KelVane::Matrix in_node_dofs(const KelVane::TransformationMatrix& T, const KelVane::Matrix& local)
{
    if (T.get_kind() == KelVane::TransformationMatrix::identity) return local;
    return congruence(T, local);
}

// Squarings of the bound below: within (number of eigenvalues)^(1/32) of the
// largest, a frequency within 1.05 of it for the 24 of a hexahedron.
constexpr int bound_squarings = 5;

// Never below the largest eigenvalue of the symmetric m x m matrix C (row by row,
// destroyed), and within a factor m^(1/2^p) of its largest magnitude after p
// squarings: that to the power 2^p is at most the trace of C^(2^p), the sum of
// such powers of all eigenvalues, which is the square of the Frobenius norm of
// C^(2^(p-1)). Each square is scaled to a norm of one, its norm kept aside.
double largest_eigenvalue_bound(std::vector<double>& C, unsigned m)
{
    const auto frobenius = [&](const std::vector<double>& A) {
        double sum = 0.0;
        for (double entry : A) sum += entry * entry;
        return std::sqrt(sum);
    };
    const double norm = frobenius(C);
    if (!(norm > 0.0)) return norm;
    for (double& entry : C) entry /= norm;
    double log_bound = std::log(norm);
    double weight = 0.5;
    std::vector<double> square(static_cast<std::size_t>(m) * m);
    for (int p = 0; p < bound_squarings; ++p) {
        for (unsigned i = 0; i < m; ++i)
            for (unsigned j = i; j < m; ++j) {
                const double* a = &C[static_cast<std::size_t>(i) * m];
                const double* b = &C[static_cast<std::size_t>(j) * m];
                double sum = 0.0;
                for (unsigned k = 0; k < m; ++k) sum += a[k] * b[k];
                square[static_cast<std::size_t>(i) * m + j] = sum;
                square[static_cast<std::size_t>(j) * m + i] = sum;
            }
        const double square_norm = frobenius(square);
        if (!(square_norm > 0.0)) break;
        log_bound += weight * std::log(square_norm);
        weight *= 0.5;
        for (std::size_t k = 0; k < square.size(); ++k) C[k] = square[k] / square_norm;
    }
    return std::exp(log_bound);
}

// Never below the largest eigenvalue of K x = lambda M x (the symmetric part of K)
// with M symmetric positive definite: the bound above on L^-1 K L^-T with
// M = L L^T. Negative when M is not positive definite. A diagonal M is taken as
// such.
double largest_generalized_eigenvalue_bound(const KelVane::Matrix& K, const KelVane::Matrix& M,
                                            bool diagonal)
{
    const unsigned n = K.size1();
    if (n == 0) return 0.0;
    const auto at = [n](unsigned i, unsigned j) { return static_cast<std::size_t>(i) * n + j; };
    std::vector<double> C(static_cast<std::size_t>(n) * n);
    for (unsigned i = 0; i < n; ++i)
        for (unsigned j = 0; j < n; ++j) C[at(i, j)] = 0.5 * (K(i + 1, j + 1) + K(j + 1, i + 1));
    if (diagonal) {
        std::vector<double> scale(n);
        for (unsigned i = 0; i < n; ++i) {
            if (!(M(i + 1, i + 1) > 0.0)) return -1.0;
            scale[i] = 1.0 / std::sqrt(M(i + 1, i + 1));
        }
        for (unsigned i = 0; i < n; ++i)
            for (unsigned j = 0; j < n; ++j) C[at(i, j)] *= scale[i] * scale[j];
        return largest_eigenvalue_bound(C, n);
    }
    // Cholesky factor L in the lower triangle.
    std::vector<double> L(static_cast<std::size_t>(n) * n, 0.0);
    for (unsigned j = 0; j < n; ++j) {
        double pivot = M(j + 1, j + 1);
        for (unsigned k = 0; k < j; ++k) pivot -= L[at(j, k)] * L[at(j, k)];
        if (!(pivot > 0.0)) return -1.0;
        const double diagonal_entry = std::sqrt(pivot);
        L[at(j, j)] = diagonal_entry;
        for (unsigned i = j + 1; i < n; ++i) {
            double entry = M(i + 1, j + 1);
            for (unsigned k = 0; k < j; ++k) entry -= L[at(i, k)] * L[at(j, k)];
            L[at(i, j)] = entry / diagonal_entry;
        }
    }
    // L^-1 C by columns, twice with a transpose between: L^-1 K L^-T.
    const auto forward_transposed = [&](const std::vector<double>& B) {
        std::vector<double> Y(B.size());
        for (unsigned c = 0; c < n; ++c)
            for (unsigned i = 0; i < n; ++i) {
                double entry = B[at(i, c)];
                for (unsigned k = 0; k < i; ++k) entry -= L[at(i, k)] * Y[at(c, k)];
                Y[at(c, i)] = entry / L[at(i, i)];
            }
        return Y;
    };
    C = forward_transposed(forward_transposed(C));
    for (unsigned i = 0; i < n; ++i)
        for (unsigned j = 0; j < i; ++j)
            C[at(i, j)] = C[at(j, i)] = 0.5 * (C[at(i, j)] + C[at(j, i)]);
    return largest_eigenvalue_bound(C, n);
}

// The free dofs of motion of an element (counted from 1 in its node-dof order)
// and their equations.
void free_motion_dofs(FiniteElement& element, std::vector<unsigned>& rows,
                      std::vector<std::uint32_t>& equations)
{
    rows.clear();
    equations.clear();
    const unsigned dofs = element.get_nr_node_dofs();
    for (unsigned i = 1; i <= dofs; ++i) {
        const KelVane::Dof& dof = *element.get_dof(i - 1);
        if (!dof.is_free() || !is_motion_kind(KelVane::dof_kind(dof.get_type()))) continue;
        rows.push_back(i);
        equations.push_back(dof.get_global_nr());
    }
}

// What the elements' consistent masses show of the model's, element by element:
// whether it is positive definite over the equations of motion with mass. Each
// element's mass over its free dofs of motion (in node dofs) must have, at the
// dofs with mass, pivots above 1e-9 of their diagonal (the rule of mass_rank) and
// nothing at the dofs without. The model's mass x^T M x is the sum of the
// elements' (each at least 0), and an element's is 0 only where x vanishes at its
// dofs with mass: only x = 0 at every equation with mass gives no mass at all.
// An element that does not show it (a mass integrated at fewer points than the
// element has nodes may miss motions) leaves the judgement to the model's mass.
class MassCover {
public:
    explicit MassCover(std::uint32_t equations) : covered(equations, 0) {}

    // An element's mass in node dofs, over its free dofs of motion `rows` and
    // their `equations` (free_motion_dofs).
    void add(const KelVane::Matrix& mass, const std::vector<unsigned>& rows,
             const std::vector<std::uint32_t>& equations)
    {
        if (!shown) return;
        std::vector<std::size_t> with_mass;
        for (std::size_t a = 0; a < rows.size(); ++a) {
            if (mass(rows[a], rows[a]) > 0.0) {
                with_mass.push_back(a);
                continue;
            }
            // A row without a diagonal is empty in a positive semi-definite mass.
            for (unsigned b : rows)
                if (mass(rows[a], b) != 0.0 || mass(b, rows[a]) != 0.0) shown = false;
        }
        // L D L^T over the dofs with mass, row by row: factor(i, j) = L(i, j) for
        // j < i, factor(i, i) = d(i).
        const std::size_t m = with_mass.size();
        std::vector<double> factor(m * m, 0.0);
        for (std::size_t i = 0; i < m && shown; ++i) {
            const unsigned row_i = rows[with_mass[i]];
            double* row = &factor[i * m];
            for (std::size_t j = 0; j <= i; ++j) {
                const unsigned row_j = rows[with_mass[j]];
                double entry = 0.5 * (mass(row_i, row_j) + mass(row_j, row_i));
                const double* above = &factor[j * m];
                for (std::size_t k = 0; k < j; ++k)
                    entry -= row[k] * above[k] * factor[k * m + k];
                row[j] = j == i ? entry : entry / above[j];
            }
            if (!(row[i] > 1e-9 * mass(row_i, row_i))) shown = false;
        }
        if (!shown) return;
        for (std::size_t a : with_mass) covered[equations[a] - 1] = 1;
    }

    // Whether M (the mass over the equations of motion, numbered by
    // `renumbered` from the free equations) is positive definite over its
    // equations with mass: every element shown so, and each such equation had
    // mass in one of them.
    bool every_motion_has_mass(const KelVane::SparseSysMat& M,
                               const std::vector<std::uint32_t>& renumbered) const
    {
        if (!shown) return false;
        for (std::size_t r = 0; r < renumbered.size(); ++r) {
            if (renumbered[r] == 0) continue;
            const std::uint32_t i = renumbered[r] - 1;
            if (M[i](i) > 0.0 && !covered[r]) return false;
        }
        return true;
    }

private:
    std::vector<unsigned char> covered;
    bool shown = true;
};

// largest_frequency_bound; `cover`, when given, takes each element's mass.
double frequency_bound(MyDomain& model, bool lumped, MassCover* cover)
{
    const std::uint32_t n = model.n_free;
    KelVane::Vector diagonal_stiffness(n);
    diagonal_stiffness.set_zero();
    // Lumped: the model's mass, as a diagonal; consistent: the masses of the elements
    // without stiffness.
    KelVane::Vector shared_mass(n);
    shared_mass.set_zero();
    if (lumped) {
        // The lumped masses as a diagonal no larger than they are on the node dofs
        // (at a node whose dofs are turned they couple them): less mass only
        // raises the bound.
        std::vector<unsigned char> kinds, prescribed_kinds, fixed_kinds;
        model.equation_kinds(kinds, prescribed_kinds, fixed_kinds);
        shared_mass = LumpedMass(model, kinds).diagonal_below();
    }
    std::vector<StiffElement> stiff;
    for (FiniteElement* element : model.elements) {
        KelVane::Vector forces;
        const KelVane::TransformationMatrix& T = element->get_transformation();
        StiffElement entry;
        entry.stiffness = in_node_dofs(T, element->stiffness_matrix(forces));
        if (!lumped) entry.mass = in_node_dofs(T, element->mass_matrix(false));
        free_motion_dofs(*element, entry.rows, entry.equations);
        if (cover != nullptr) cover->add(entry.mass, entry.rows, entry.equations);
        bool has_stiffness = false;
        bool diagonal_mass = true;
        for (unsigned i : entry.rows)
            if (entry.stiffness(i, i) > 0.0) has_stiffness = true;
        if (!lumped)
            for (unsigned a : entry.rows)
                for (unsigned b : entry.rows)
                    if (a != b && entry.mass(a, b) != 0.0) diagonal_mass = false;
        // A consistent mass of no stiffness that couples its dofs is left out: less
        // mass only raises the bound.
        if (!lumped && !has_stiffness && diagonal_mass)
            for (std::size_t r = 0; r < entry.rows.size(); ++r)
                shared_mass(entry.equations[r]) += entry.mass(entry.rows[r], entry.rows[r]);
        if (!has_stiffness) continue;
        for (std::size_t r = 0; r < entry.rows.size(); ++r)
            diagonal_stiffness(entry.equations[r]) +=
                std::max(0.0, entry.stiffness(entry.rows[r], entry.rows[r]));
        stiff.push_back(std::move(entry));
    }

    double largest = 0.0;
    for (const StiffElement& element : stiff) {
        // A dof without stiffness in the element has a row and column of zeros:
        // with lumped masses it leaves the largest eigenvalue as it is; a
        // consistent mass couples it to the others, so it stays.
        std::vector<unsigned> rows;
        std::vector<std::uint32_t> equations;
        for (std::size_t r = 0; r < element.rows.size(); ++r) {
            if (lumped && !(element.stiffness(element.rows[r], element.rows[r]) > 0.0)) continue;
            rows.push_back(element.rows[r]);
            equations.push_back(element.equations[r]);
        }
        const unsigned m = static_cast<unsigned>(rows.size());
        KelVane::Matrix K(m, m);
        KelVane::Matrix M(m, m, 0.0);
        for (unsigned a = 0; a < m; ++a) {
            for (unsigned b = 0; b < m; ++b) {
                K(a + 1, b + 1) = element.stiffness(rows[a], rows[b]);
                if (!lumped) M(a + 1, b + 1) = element.mass(rows[a], rows[b]);
            }
            const std::uint32_t equation = equations[a];
            const double own = element.stiffness(rows[a], rows[a]);
            if (own > 0.0)
                M(a + 1, a + 1) += shared_mass(equation) * (own / diagonal_stiffness(equation));
        }
        const double eigenvalue = largest_generalized_eigenvalue_bound(K, M, lumped);
        if (!(eigenvalue >= 0.0) || !std::isfinite(eigenvalue)) return -1.0;
        largest = std::max(largest, eigenvalue);
    }
    return std::sqrt(largest);
}

}  // namespace

double largest_frequency_bound(MyDomain& model, bool lumped)
{
    return frequency_bound(model, lumped, nullptr);
}

namespace {

// Number of eigenvalues below x of the symmetric tridiagonal matrix with the
// diagonal alpha and the couplings beta (beta[i] joins rows i and i + 1): the
// number of negative pivots of its factorisation less x.
unsigned eigenvalues_below(const std::vector<double>& alpha, const std::vector<double>& beta,
                           double x)
{
    unsigned count = 0;
    double pivot = 1.0;
    for (std::size_t i = 0; i < alpha.size(); ++i) {
        pivot = alpha[i] - x - (i == 0 ? 0.0 : beta[i - 1] * beta[i - 1] / pivot);
        // A vanishing pivot stands for one just below zero.
        if (pivot == 0.0) pivot = -1e-300;
        if (pivot < 0.0) ++count;
    }
    return count;
}

// The smallest or the largest eigenvalue of that matrix, by bisection between
// Gershgorin's bounds.
double tridiagonal_extreme(const std::vector<double>& alpha, const std::vector<double>& beta,
                           bool largest)
{
    const std::size_t m = alpha.size();
    double low = alpha[0];
    double high = alpha[0];
    for (std::size_t i = 0; i < m; ++i) {
        const double radius =
            (i > 0 ? std::fabs(beta[i - 1]) : 0.0) + (i + 1 < m ? std::fabs(beta[i]) : 0.0);
        low = std::min(low, alpha[i] - radius);
        high = std::max(high, alpha[i] + radius);
    }
    // The eigenvalue numbered `target` from below is where the count reaches it.
    const unsigned target = largest ? static_cast<unsigned>(m) : 1u;
    for (int step = 0; step < 200; ++step) {
        const double middle = 0.5 * (low + high);
        if (!(middle > low && middle < high)) break;
        if (eigenvalues_below(alpha, beta, middle) >= target)
            high = middle;
        else
            low = middle;
    }
    return 0.5 * (low + high);
}

// The extreme eigenvalues nu of A^-1 M, symmetric in the product of M: lowest < 0
// for the free motions of frequency below the shift s of A = K - s M (the nearest
// to s lowest), highest > 0 when motions have a frequency above s. Motions that M
// does not see have nu = 0 and are never extreme.
struct Extremes {
    double lowest = 0.0;
    double highest = 0.0;
};

// Whether the values show a motion above the shift: a positive one beyond what
// rounding leaves of the motions that M does not see (nu = 0).
bool above_shift(const Extremes& found)
{
    return found.highest > 0.0 && found.highest > 1e-8 * std::fabs(found.lowest);
}

// Lanczos iterations in the product of M from a fixed pseudo-random start (runs
// repeat to the last digit). They end once a motion above the shift shows (a Ritz
// value is a mean of the eigenvalues, so a positive one proves it), or when the
// lowest value has settled to 1e-10, or when the iterations have spanned every
// motion of the model.
Extremes shifted_inverse_extremes(KelVane::SparseSysMat& A, const KelVane::SparseSysMat& M)
{
    const unsigned n = A.num_rows();
    Extremes found;
    KelVane::Vector start(n);
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    for (unsigned i = 1; i <= n; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        start(i) = static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5;
    }
    // A^-1 M of the start lies in the motions that M sees.
    KelVane::Vector q;
    A.solve(M * start, q);
    KelVane::Vector Mq = M * q;
    double length = std::sqrt(std::max(0.0, KelVane::dot(q, Mq)));
    if (!(length > 0.0) || !std::isfinite(length)) return found;
    q *= 1.0 / length;
    Mq *= 1.0 / length;
    KelVane::Vector previous(n, 0.0);
    std::vector<double> alpha;
    std::vector<double> beta;
    std::vector<double> lowest;
    const unsigned max_steps = std::min(n + 20u, 1000u);
    for (unsigned step = 0; step < max_steps; ++step) {
        KelVane::Vector w;
        A.solve(Mq, w);
        if (!beta.empty()) {
            KelVane::Vector back = previous;
            back *= beta.back();
            w -= back;
        }
        double a = KelVane::dot(w, Mq);
        KelVane::Vector along = q;
        along *= a;
        w -= along;
        // Again, so that w keeps orthogonal to q to the rounding of this step.
        const double left = KelVane::dot(w, Mq);
        along = q;
        along *= left;
        w -= along;
        a += left;
        alpha.push_back(a);
        found.lowest = tridiagonal_extreme(alpha, beta, false);
        found.highest = tridiagonal_extreme(alpha, beta, true);
        lowest.push_back(found.lowest);
        if (!std::isfinite(found.lowest) || !std::isfinite(found.highest)) break;
        if (above_shift(found)) break;
        const double scale = std::max(std::fabs(found.lowest), std::fabs(found.highest));
        const std::size_t k = lowest.size();
        if (k >= 8 && std::fabs(lowest[k - 1] - lowest[k - 5]) <= 1e-10 * std::fabs(lowest[k - 1]))
            break;
        const KelVane::Vector Mw = M * w;
        const double next = std::sqrt(std::max(0.0, KelVane::dot(w, Mw)));
        if (!(next > 1e-13 * scale)) break;
        previous = q;
        q = w;
        q *= 1.0 / next;
        Mq = Mw;
        Mq *= 1.0 / next;
        beta.push_back(next);
    }
    return found;
}

// The rows and columns of A at the equations that `renumbered` keeps (their new
// numbers from 1, 0 for those left out), a matrix of n equations.
std::unique_ptr<KelVane::SparseSysMat> restricted(const KelVane::SparseSysMat& A,
                                                  const std::vector<std::uint32_t>& renumbered,
                                                  std::uint32_t n, bool symmetric)
{
    auto B = std::make_unique<KelVane::SparseSysMat>(n, symmetric);
    for (std::uint32_t r = 0; r < renumbered.size(); ++r) {
        if (renumbered[r] == 0) continue;
        for (const KelVane::ai& entry : A[r].entries())
            if (renumbered[entry.index] != 0)
                B->add(renumbered[r], renumbered[entry.index], entry.value);
    }
    return B;
}

// The assembled stiffness (the present tangent) and mass of the model over the
// motion of its free dofs: the temperatures left out, n equations remain.
struct MotionMatrices {
    std::unique_ptr<KelVane::SparseSysMat> stiffness;
    std::unique_ptr<KelVane::SparseSysMat> mass;
    std::uint32_t n = 0;
    // The number (from 1) of each free equation among them, 0 for a temperature.
    std::vector<std::uint32_t> renumbered;
};

MotionMatrices motion_matrices(MyDomain& model, bool lumped)
{
    MotionMatrices motion;
    const std::uint32_t equations = model.n_free;
    if (equations == 0) return motion;
    auto K = std::make_unique<KelVane::SparseSysMat>(equations, model.symmetric);
    KelVane::Vector unused(equations, 0.0);
    model.assemble_tangent(*K, unused);
    auto M = std::make_unique<KelVane::SparseSysMat>(equations, true);
    model.assemble_mass(*M, lumped);
    if (lumped) model.assemble_lumped_couplings(*M);
    std::vector<unsigned char> kinds, prescribed_kinds, fixed_kinds;
    model.equation_kinds(kinds, prescribed_kinds, fixed_kinds);
    std::vector<std::uint32_t> renumbered(equations, 0);
    std::uint32_t n = 0;
    for (std::uint32_t r = 0; r < equations; ++r)
        if (is_motion_kind(kinds[r])) renumbered[r] = ++n;
    motion.n = n;
    motion.renumbered = renumbered;
    if (n == 0) return motion;
    if (n < equations) {
        motion.stiffness = restricted(*K, renumbered, n, model.symmetric);
        motion.mass = restricted(*M, renumbered, n, true);
    } else {
        motion.stiffness = std::move(K);
        motion.mass = std::move(M);
    }
    return motion;
}

// Whether the consistent mass leaves a motion of the free dofs without mass: an
// equation of no mass that K stiffens, or a motion that M does not see at all
// (the consistent mass of an element integrated at fewer points than it has nodes
// may not see some), which leaves the rank of M below its equations with mass.
// `cover`, when given, holds the model's elements already.
bool mass_misses_motions(MyDomain& model, const MotionMatrices& motion, const MassCover* cover)
{
    const KelVane::SparseSysMat& K = *motion.stiffness;
    const KelVane::SparseSysMat& M = *motion.mass;
    if (equation_without_mass(K, M) != 0) return true;
    MassCover own(model.n_free);
    if (cover == nullptr) {
        for (FiniteElement* element : model.elements) {
            std::vector<unsigned> rows;
            std::vector<std::uint32_t> equations;
            free_motion_dofs(*element, rows, equations);
            own.add(in_node_dofs(element->get_transformation(), element->mass_matrix(false)),
                    rows, equations);
        }
        cover = &own;
    }
    if (cover->every_motion_has_mass(M, motion.renumbered)) return false;
    return mass_rank(M, motion.n) < equations_with_mass(M, motion.n);
}

// The symmetric part of K - s M, n equations.
std::unique_ptr<KelVane::SparseSysMat> shifted(const KelVane::SparseSysMat& K,
                                               const KelVane::SparseSysMat& M, std::uint32_t n,
                                               double shift)
{
    auto A = std::make_unique<KelVane::SparseSysMat>(n, true);
    for (std::uint32_t r = 0; r < n; ++r) {
        for (const KelVane::ai& entry : K[r].entries()) {
            A->add(r + 1, entry.index + 1, 0.5 * entry.value);
            A->add(entry.index + 1, r + 1, 0.5 * entry.value);
        }
        for (const KelVane::ai& entry : M[r].entries())
            A->add(r + 1, entry.index + 1, -shift * entry.value);
    }
    return A;
}

// Whether every motion of the model has mass and none a frequency above omega,
// from one factorisation of K - s M, s = omega squared: with M positive definite
// on the motions, its negative pivots count the motions below s (Sylvester's law
// of inertia), so that as many as there are motions with mass leave none above.
// False as well where a motion has no mass (no finite frequency) or the lumped
// mass leaves a dof without any.
bool every_motion_within(MyDomain& model, bool lumped, double omega, const MassCover* cover)
{
    const MotionMatrices motion = motion_matrices(model, lumped);
    const std::uint32_t n = motion.n;
    if (n == 0) return true;
    // Read only: reading an absent entry of a row that may change stores it.
    const KelVane::SparseSysMat& K = *motion.stiffness;
    const KelVane::SparseSysMat& M = *motion.mass;
    if (lumped) {
        for (std::uint32_t i = 0; i < n; ++i)
            if (!(M[i](i) > 0.0)) return false;
    } else if (mass_misses_motions(model, motion, cover)) {
        return false;
    }
    const double shift = omega * omega;
    if (!(shift > 0.0) || !std::isfinite(shift)) return false;
    const std::unique_ptr<KelVane::SparseSysMat> A = shifted(K, M, n, shift);
    KelVane::Vector zero(n, 0.0);
    KelVane::Vector unused;
    A->solve(zero, unused);
    return A->negative_pivots() >= equations_with_mass(M, n);
}

// The model's largest frequency, as largest_model_frequency gives it.
double model_frequency(MyDomain& model, bool lumped, double omega_near, const MassCover* cover)
{
    const MotionMatrices motion = motion_matrices(model, lumped);
    const std::uint32_t n = motion.n;
    if (n == 0) return 0.0;
    // Read only: reading an absent entry of a row that may change stores it.
    const KelVane::SparseSysMat& K = *motion.stiffness;
    const KelVane::SparseSysMat& M = *motion.mass;
    // A lumped mass of nothing stops the explicit step itself.
    if (lumped) {
        for (std::uint32_t i = 0; i < n; ++i)
            if (!(M[i](i) > 0.0)) return -1.0;
    } else if (mass_misses_motions(model, motion, cover)) {
        return std::numeric_limits<double>::infinity();
    }
    // Every motion with mass has a finite frequency: as many as equations with mass.
    const std::uint32_t motions = equations_with_mass(M, n);
    // At the frequency in question first: the negative pivots of K - s M count the
    // motions below s, so that its factorisation alone says whether any lies
    // above; the Lanczos iterations with it find the highest below s, the
    // nearest to s, first.
    double shift = omega_near * omega_near;
    if (!(shift > 0.0)) return -1.0;
    for (int round = 0; round < 30; ++round) {
        const std::unique_ptr<KelVane::SparseSysMat> A = shifted(K, M, n, shift);
        const Extremes found = shifted_inverse_extremes(*A, M);
        if (above_shift(found) || A->negative_pivots() < motions) {
            // A motion above the shift (of eigenvalue shift + 1 / highest when
            // the iterations found it): a higher shift.
            shift = 4.0 * (shift + (found.highest > 0.0 ? 1.0 / found.highest : 0.0));
            continue;
        }
        if (!(found.lowest < 0.0)) return 0.0;
        return std::sqrt(std::max(0.0, shift + 1.0 / found.lowest));
    }
    return -1.0;
}

}  // namespace

double largest_model_frequency(MyDomain& model, bool lumped, double omega_near)
{
    return model_frequency(model, lumped, omega_near, nullptr);
}

double stability_frequency(MyDomain& model, bool lumped, double omega_allowed)
{
    // The elements' consistent masses, seen once for the bound, say as well
    // whether the model's has mass for every motion.
    MassCover cover(model.n_free);
    const double bound = frequency_bound(model, lumped, lumped ? nullptr : &cover);
    const double omega_near = omega_allowed * (1.0 + stability_rounding);
    if (bound >= 0.0 && bound <= omega_near) return bound;
    const MassCover* seen = lumped ? nullptr : &cover;
    // One factorisation tells whether a motion lies above; only a step that is
    // refused needs the frequency itself, which its message names.
    if (every_motion_within(model, lumped, omega_near, seen)) return omega_allowed;
    return model_frequency(model, lumped, omega_near, seen);
}
