#include "mass_rank.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "domain.h"
#include "loads.h"
#include "ordering.h"
#include "sysmat.h"

bool is_motion_kind(int kind)
{
    return kind != KelVane::dof_kind(KelVane::temperature_type);
}

std::uint32_t equation_without_mass(const KelVane::SparseSysMat& K, const KelVane::SparseSysMat& M,
                                    const std::vector<unsigned char>* kinds)
{
    const std::uint32_t n = M.num_rows();
    for (std::uint32_t r = 0; r < n; ++r) {
        if (kinds != nullptr && !is_motion_kind((*kinds)[r])) continue;
        if (!(M[r](r) > 0.0) && K[r](r) != 0.0) return r + 1;
    }
    return 0;
}

std::string massless_motion(const MyDomain& model, std::uint32_t equation)
{
    return massless_motion(model, {{equation, 1.0}});
}

std::string massless_motion(const MyDomain& model,
                            const std::vector<std::pair<std::uint32_t, double>>& motion)
{
    std::string where =
        "a degree of freedom without mass, or elements whose mass is integrated at fewer "
        "points than they have nodes";
    for (const MyNode* node : model.nodes) {
        // The motion's direction at the node that carries its equations, in the
        // node's dofs of one kind.
        Vector3 direction(0.0, 0.0, 0.0);
        const KelVane::itincDof* first = nullptr;
        std::size_t found = 0;
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            const KelVane::itincDof& dof = node->get_dof(i);
            if (!dof.is_free()) continue;
            for (const auto& part : motion) {
                if (part.first != dof.get_global_nr()) continue;
                if (first != nullptr && dof.get_type() != first->get_type()) continue;
                if (first == nullptr) first = &dof;
                ++found;
                double x = 0.0, y = 0.0, z = 0.0;
                dof.get_direction().get(x, y, z);
                direction += Vector3(x, y, z) * part.second;
            }
        }
        if (first == nullptr || motion.empty() || motion.front().first == 0) continue;
        Direction along = first->get_direction();
        if (found == motion.size() && found > 1 && KelVane::is_structural_type(first->get_type()) &&
            direction.norm2() > 0.0) {
            // Either way along the line: its largest component positive.
            double x = 0.0, y = 0.0, z = 0.0;
            direction.get(x, y, z);
            const double largest = std::fabs(x) >= std::fabs(y) && std::fabs(x) >= std::fabs(z)
                                       ? x
                                       : (std::fabs(y) >= std::fabs(z) ? y : z);
            // Components of rounding size (dofs at right angles leave some 1e-16)
            // are none.
            const auto clean = [largest](double c) {
                return std::fabs(c) <= 1e-12 * std::fabs(largest) ? 0.0 : (largest < 0.0 ? -c : c);
            };
            along = Direction(Vector3(clean(x), clean(y), clean(z)));
        }
        where = "the degree of freedom " + KelVane::dof_word(first->get_type(), along) + " of node " +
                std::to_string(node->number());
        break;
    }
    return "the model has a motion with stiffness but no mass (" + where +
           "), of no finite frequency";
}

std::uint32_t equations_with_mass(const KelVane::SparseSysMat& M, std::uint32_t equations)
{
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < equations; ++i)
        if (M[i](i) > 0.0) ++count;
    return count;
}

std::uint32_t mass_rank(const KelVane::SparseSysMat& M, std::uint32_t equations)
{
    // The order of the factorisation of K: the listed order can make the profile
    // nearly full.
    std::vector<std::uint32_t> order = KelVane::profile_order(M);
    if (order.empty()) {
        order.resize(equations);
        for (std::uint32_t i = 0; i < equations; ++i) order[i] = i;
    }
    std::vector<std::uint32_t> place(equations);
    for (std::uint32_t i = 0; i < equations; ++i) place[order[i]] = i;

    std::vector<std::uint32_t> first(equations);
    std::vector<std::size_t> start(equations + 1, 0);
    for (std::uint32_t i = 0; i < equations; ++i) {
        first[i] = i;
        for (const KelVane::ai& entry : M[order[i]].entries())
            if (entry.value != 0.0) first[i] = std::min(first[i], place[entry.index]);
        start[i + 1] = start[i] + (i - first[i] + 1);
    }
    // Row i holds columns first[i] ... i; column j of row i at start[i] + j - first[i].
    std::vector<double> lower(start[equations], 0.0);
    for (std::uint32_t i = 0; i < equations; ++i) {
        for (const KelVane::ai& entry : M[order[i]].entries()) {
            const std::uint32_t j = place[entry.index];
            if (j <= i && j >= first[i]) lower[start[i] + j - first[i]] = entry.value;
        }
    }

    std::vector<double> pivot(equations, 0.0);
    std::uint32_t rank = 0;
    for (std::uint32_t i = 0; i < equations; ++i) {
        double* row = &lower[start[i]];
        const double diagonal = row[i - first[i]];
        // g(i,j) = L(i,j) d(j) first, from the finished rows above.
        for (std::uint32_t j = first[i]; j < i; ++j) {
            const double* above = &lower[start[j]];
            const std::uint32_t from = std::max(first[i], first[j]);
            double sum = row[j - first[i]];
            for (std::uint32_t k = from; k < j; ++k) sum -= row[k - first[i]] * above[k - first[j]];
            row[j - first[i]] = sum;
        }
        double d = diagonal;
        for (std::uint32_t j = first[i]; j < i; ++j) {
            double& entry = row[j - first[i]];
            if (pivot[j] > 0.0) {
                d -= entry * entry / pivot[j];
                entry /= pivot[j];
            } else {
                entry = 0.0;
            }
        }
        if (diagonal > 0.0 && d > 1e-9 * diagonal) {
            pivot[i] = d;
            ++rank;
        }
    }
    return rank;
}
