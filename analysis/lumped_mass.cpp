#include "lumped_mass.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "domain.h"
#include "errors.h"
#include "kv_assert.h"
#include "skyline.h"
#include "sysmat.h"

namespace {

// A coupling of at most this fraction of the geometric mean of its two diagonal
// elements is rounding of directions at right angles (a bar's mass, alike in every
// direction, on dofs that its own turn made): it changes no printed digit and is
// left out, so that such nodes keep their diagonal.
constexpr double negligible_coupling = 1e-13;
// A pivot below this fraction of the largest mass of its kind is zero, as an
// element of the diagonal is (DiagonalSysMat).
constexpr double vanishing_ratio = 1e-12;

std::uint32_t find_root(std::vector<std::uint32_t>& parent, std::uint32_t i)
{
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

// L D L^T of the symmetric k x k matrix A (row by row, destroyed), with the largest
// remaining diagonal element as the pivot of each step: the pivots in the order
// taken, and the row each was taken at.
void pivoted_factor(std::vector<double> A, std::size_t k, std::vector<std::size_t>& taken,
                    std::vector<double>& pivots)
{
    std::vector<bool> done(k, false);
    taken.clear();
    pivots.clear();
    for (std::size_t step = 0; step < k; ++step) {
        std::size_t p = k;
        for (std::size_t i = 0; i < k; ++i)
            if (!done[i] && (p == k || A[i * k + i] > A[p * k + p])) p = i;
        const double pivot = A[p * k + p];
        done[p] = true;
        taken.push_back(p);
        pivots.push_back(pivot);
        if (!(pivot > 0.0)) continue;
        for (std::size_t i = 0; i < k; ++i) {
            if (done[i]) continue;
            const double factor = A[i * k + p] / pivot;
            for (std::size_t j = 0; j < k; ++j)
                if (!done[j]) A[i * k + j] -= factor * A[p * k + j];
        }
    }
}

// Negative or zero pivots of C - x I (C symmetric, k x k): no fewer than the
// eigenvalues of C at or below x.
std::size_t pivots_not_above(const std::vector<double>& C, std::size_t k, double x)
{
    std::vector<std::size_t> taken;
    std::vector<double> pivots;
    std::vector<double> shifted = C;
    for (std::size_t i = 0; i < k; ++i) shifted[i * k + i] -= x;
    pivoted_factor(shifted, k, taken, pivots);
    std::size_t count = 0;
    for (double pivot : pivots)
        if (!(pivot > 0.0)) ++count;
    return count;
}

}  // namespace

KelVane::Matrix LumpedMass::part(const Block& block, const std::vector<std::size_t>& rows,
                                 const std::vector<std::size_t>& columns)
{
    KelVane::Matrix A(static_cast<unsigned>(rows.size()), static_cast<unsigned>(columns.size()));
    for (std::size_t a = 0; a < rows.size(); ++a)
        for (std::size_t b = 0; b < columns.size(); ++b)
            A(static_cast<unsigned>(a + 1), static_cast<unsigned>(b + 1)) = at(block, rows[a], columns[b]);
    return A;
}

double& LumpedMass::at(Block& block, std::size_t i, std::size_t j)
{
    return block.mass[i * block.equations.size() + j];
}

double LumpedMass::at(const Block& block, std::size_t i, std::size_t j)
{
    return block.mass[i * block.equations.size() + j];
}

LumpedMass::LumpedMass(MyDomain& model, const std::vector<unsigned char>& kinds_of_equations)
    : diagonal_mass(std::make_unique<KelVane::DiagonalSysMat>(model.n_free)),
      kinds(kinds_of_equations)
{
    const std::uint32_t n = model.n_free;
    KV_ASSERT(kinds.size() == n);
    model.assemble_mass(*diagonal_mass, true);
    diagonal_mass->set_groups(kinds);

    KelVane::SparseSysMat couplings(n, true);
    model.assemble_lumped_couplings(couplings);
    std::vector<std::uint32_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0u);
    bool coupled = false;
    const auto negligible = [&](std::uint32_t r, std::uint32_t c, double value) {
        const double scale = std::sqrt(std::fabs(diagonal_mass->entry(r + 1)) *
                                       std::fabs(diagonal_mass->entry(c + 1)));
        return !(std::fabs(value) > negligible_coupling * scale) && std::isfinite(value);
    };
    for (std::uint32_t r = 0; r < n; ++r) {
        for (const KelVane::ai& entry : couplings[r].entries()) {
            if (entry.index == r || negligible(r, entry.index, entry.value)) continue;
            parent[find_root(parent, r)] = find_root(parent, entry.index);
            coupled = true;
        }
    }
    if (!coupled) return;

    // One block for every group of two or more equations, in the order of their
    // first equation.
    std::vector<std::int64_t> block_of(n, -1);
    std::vector<std::uint32_t> members(n, 0);
    for (std::uint32_t r = 0; r < n; ++r) ++members[find_root(parent, r)];
    for (std::uint32_t r = 0; r < n; ++r) {
        const std::uint32_t root = find_root(parent, r);
        if (members[root] < 2) continue;
        if (block_of[root] < 0) {
            block_of[root] = static_cast<std::int64_t>(blocks.size());
            blocks.emplace_back();
        }
        blocks[static_cast<std::size_t>(block_of[root])].equations.push_back(r + 1);
    }
    for (Block& block : blocks) {
        const std::size_t k = block.equations.size();
        block.mass.assign(k * k, 0.0);
        for (std::size_t a = 0; a < k; ++a) {
            const std::uint32_t r = block.equations[a] - 1;
            at(block, a, a) = diagonal_mass->entry(r + 1);
            for (const KelVane::ai& entry : couplings[r].entries()) {
                if (entry.index == r || negligible(r, entry.index, entry.value)) continue;
                const auto b = std::find(block.equations.begin(), block.equations.end(),
                                         entry.index + 1) -
                               block.equations.begin();
                // The element matrices are symmetric to their rounding: the mean.
                at(block, a, static_cast<std::size_t>(b)) += 0.5 * entry.value;
                at(block, static_cast<std::size_t>(b), a) += 0.5 * entry.value;
            }
        }
    }
}

LumpedMass::~LumpedMass() = default;

std::vector<std::uint32_t> LumpedMass::vanishing() const
{
    std::vector<std::uint32_t> found = diagonal_mass->vanishing_elements();
    if (inverted || blocks.empty()) return found;
    std::vector<double> largest;
    for (std::uint32_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] >= largest.size()) largest.resize(kinds[i] + 1u, 0.0);
        const double d = std::fabs(diagonal_mass->entry(i + 1));
        if (std::isfinite(d)) largest[kinds[i]] = std::max(largest[kinds[i]], d);
    }
    for (const Block& block : blocks) {
        std::vector<std::size_t> taken;
        std::vector<double> pivots;
        pivoted_factor(block.mass, block.equations.size(), taken, pivots);
        for (std::size_t s = 0; s < pivots.size(); ++s) {
            const std::uint32_t equation = block.equations[taken[s]];
            if (!(pivots[s] >= vanishing_ratio * largest[kinds[equation - 1]]) ||
                !(pivots[s] > 0.0))
                found.push_back(equation);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::vector<std::pair<std::uint32_t, double>> LumpedMass::massless_motion(
    std::uint32_t equation) const
{
    std::vector<std::pair<std::uint32_t, double>> motion{{equation, 1.0}};
    for (const Block& block : blocks) {
        const std::size_t k = block.equations.size();
        const std::size_t q = static_cast<std::size_t>(
            std::find(block.equations.begin(), block.equations.end(), equation) -
            block.equations.begin());
        if (q == k) continue;
        // The pivots taken before the equation's own, which vanishes: B_TT x_T =
        // -B_Tq with x_q = 1 moves the block without mass.
        std::vector<std::size_t> taken;
        std::vector<double> pivots;
        pivoted_factor(block.mass, k, taken, pivots);
        std::vector<std::size_t> kept;
        for (std::size_t s = 0; s < k && taken[s] != q; ++s) kept.push_back(taken[s]);
        const std::size_t m = kept.size();
        const KelVane::Matrix x = part(block, kept, kept).inv() * part(block, kept, {q});
        for (std::size_t a = 0; a < m; ++a)
            motion.emplace_back(block.equations[kept[a]], -x(static_cast<unsigned>(a + 1), 1));
        std::sort(motion.begin(), motion.end());
        break;
    }
    return motion;
}

void LumpedMass::solve(const KelVane::Vector& b, KelVane::Vector& x)
{
    if (!inverted && !blocks.empty()) {
        const std::size_t count = vanishing().size();
        if (count != 0)
            throw KelVane::matrix_error("there are " + std::to_string(count) +
                                        " (almost) zero pivots found!");
        // The blocks are positive definite and small.
        for (Block& block : blocks) {
            std::vector<std::size_t> all(block.equations.size());
            std::iota(all.begin(), all.end(), std::size_t{0});
            block.inverse = part(block, all, all).inv();
        }
    }
    diagonal_mass->solve(b, x);
    inverted = true;
    for (const Block& block : blocks) {
        const std::size_t k = block.equations.size();
        for (std::size_t a = 0; a < k; ++a) {
            double sum = 0.0;
            for (std::size_t c = 0; c < k; ++c)
                sum += block.inverse(static_cast<unsigned>(a + 1), static_cast<unsigned>(c + 1)) *
                       b(block.equations[c]);
            x(block.equations[a]) = sum;
        }
    }
}

double LumpedMass::product(const KelVane::Vector& v) const
{
    double sum = 0.0;
    for (unsigned i = 1; i <= v.size(); ++i) sum += diagonal_mass->entry(i) * v(i) * v(i);
    for (const Block& block : blocks) {
        const std::size_t k = block.equations.size();
        for (std::size_t a = 0; a < k; ++a)
            for (std::size_t c = 0; c < k; ++c)
                if (c != a) sum += at(block, a, c) * v(block.equations[a]) * v(block.equations[c]);
    }
    return sum;
}

KelVane::Vector LumpedMass::diagonal_below() const
{
    const std::uint32_t n = static_cast<std::uint32_t>(kinds.size());
    KelVane::Vector below(n);
    for (std::uint32_t i = 1; i <= n; ++i) below(i) = diagonal_mass->entry(i);
    for (const Block& block : blocks) {
        const std::size_t k = block.equations.size();
        // C = S B S with S = diag(B)^-1/2 has a unit diagonal; B >= c diag(B) for
        // every c up to its smallest eigenvalue, which lies in [0, 1] when B is
        // positive definite. Bisection keeps c at or below it.
        std::vector<double> C(k * k);
        bool positive = true;
        for (std::size_t a = 0; a < k; ++a) positive = positive && at(block, a, a) > 0.0;
        double c = 0.0;
        if (positive) {
            for (std::size_t a = 0; a < k; ++a)
                for (std::size_t b = 0; b < k; ++b)
                    C[a * k + b] = at(block, a, b) / std::sqrt(at(block, a, a) * at(block, b, b));
            if (pivots_not_above(C, k, 0.0) == 0) {
                double high = 1.0;
                for (int step = 0; step < 60; ++step) {
                    const double middle = 0.5 * (c + high);
                    if (pivots_not_above(C, k, middle) == 0)
                        c = middle;
                    else
                        high = middle;
                }
            }
        }
        for (std::size_t a = 0; a < k; ++a) below(block.equations[a]) = c * at(block, a, a);
    }
    return below;
}
