#include "eigen_control.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "domain.h"
#include "errors.h"
#include "kvmatrix.h"
#include "mass_rank.h"
#include "sysmat.h"
#include "ui_seam.h"

namespace {

// Orders by a key that may be not-a-number (a failed solve); such values count as
// the largest and equal to each other, so the order stays a strict weak ordering
// and they are the first to be dropped.
template <class Key>
bool key_less(double a, double b, Key key)
{
    if (std::isnan(b)) return !std::isnan(a);
    if (std::isnan(a)) return false;
    return key(a) < key(b);
}

bool smaller_magnitude(const std::unique_ptr<Mode>& a, const std::unique_ptr<Mode>& b)
{
    return key_less(a->eigenvalue, b->eigenvalue, [](double x) { return std::fabs(x); });
}

bool smaller_value(const std::unique_ptr<Mode>& a, const std::unique_ptr<Mode>& b)
{
    return key_less(a->eigenvalue, b->eigenvalue, [](double x) { return x; });
}

// Size of the iteration block for the modes wanted: twice as many vectors, at most
// eight more, never more than the free equations. Counted wide so that a huge
// request cannot overflow.
unsigned subspace_size(int wanted, std::uint32_t equations)
{
    const std::int64_t f = std::max(wanted, 0);
    const std::int64_t q = std::min(2 * f, f + 8);
    return static_cast<unsigned>(std::min<std::int64_t>(q, equations));
}

// True when a shift of lambda_shift leaves nothing of the stiffness that the
// iteration could resolve: the largest stiffness-to-mass ratio of the diagonal,
// which bounds the eigenvalues, is below 1e-8 of the shift (the eigenvalues of the
// shifted problem converge to 1e-10 relative). A model without stiffness has
// nothing to lose.
bool stiffness_lost_beside(const KelVane::SparseSysMat& K, const KelVane::SparseSysMat& M,
                           std::uint32_t equations, double lambda_shift)
{
    double largest = 0.0;
    for (std::uint32_t i = 0; i < equations; ++i)
        if (M[i](i) > 0.0) largest = std::max(largest, std::fabs(K[i](i)) / M[i](i));
    return largest > 0.0 && largest < 1e-8 * std::fabs(lambda_shift);
}

// Free equations up to which a model whose subspace iteration does not converge is
// solved densely (a second or so).
const std::uint32_t dense_limit = 500;

}  // namespace

EigenControl::~EigenControl() = default;

void EigenControl::init(MyDomain& model, std::ostream& listing)
{
    reset_published_values();
    modes.clear();
    current_mode = 0;
    model.setup_dofs();
    // Eigenfrequencies take no loads: the load sets of the model file are only noted.
    model.check_applied_loads({});

    if (!model.symmetric) {
        listing << "Error: eigenfrequencies can only be determined for models with" << std::endl
                << "a symmetric stiffness matrix" << std::endl;
        std::cerr << "Error: Cannot determine eigenfrequencies for a nonsymmetric matrix"
                  << std::endl;
        throw KelVane::kelvane_error("eigenfrequency analysis of a nonsymmetric model");
    }

    const std::uint32_t n = model.n_free;
    if (n == 0) {
        // Nothing can move: there is no frequency to list, and the listing says so.
        const char* const message =
            "the model has no free degree of freedom: it has no eigenfrequency";
        std::cout << message << std::endl;
        listing << message << std::endl;
        done = true;
        return;
    }
    KelVane::SparseSysMat K(n, true);
    KelVane::SparseSysMat M(n, true);
    model.set_profile(K);
    KelVane::Vector scratch(n, 0.0);
    model.assemble_stiffness(K, scratch);
    model.assemble_mass(M, false);

    const std::uint32_t with_mass = equations_with_mass(M, n);
    if (n > 0 && with_mass == 0)
        throw KelVane::kelvane_error(
            "the model has no mass: eigenfrequencies need a density or point masses");
    // Modes of finite frequency: as many as the mass matrix has rank.
    const std::uint32_t rank = with_mass > 0 ? mass_rank(M, n) : 0;
    if (frequencies > 0 && static_cast<std::uint32_t>(frequencies) > rank && n > 0) {
        std::ostringstream message;
        message.imbue(std::locale::classic());
        message << "only " << rank << (rank == 1 ? " frequency" : " frequencies")
                << " will be computed: the model has ";
        if (rank == with_mass)
            message << with_mass << " equation" << (with_mass == 1 ? "" : "s") << " with mass";
        else
            message << with_mass << " equations with mass, but its mass matrix has rank "
                    << rank << " (the integration points of its elements see only " << rank
                    << " independent motion" << (rank == 1 ? "" : "s")
                    << "), and a motion without mass has no frequency";
        std::cout << message.str() << std::endl;
        listing << message.str() << std::endl;
    }

    // (2 pi shift)^2 with the sign of the shift. A positive shift makes K regular for
    // a model that can move as a rigid body.
    const double two_pi = 6.28318530718;
    const double lambda_shift = two_pi * two_pi * std::fabs(shift) * shift;
    if (shift != 0.0) {
        if (stiffness_lost_beside(K, M, n, lambda_shift))
            throw KelVane::kelvane_error(
                "the shift is too large: the stiffness of the model is lost beside it");
        K.add(M, lambda_shift);
    }

    // The block never holds more vectors than there are modes: K^-1 M maps it into
    // a space of the mass matrix's rank, and the columns beyond it would be rounding.
    const unsigned q = subspace_size(frequencies, rank);
    const unsigned wanted = static_cast<unsigned>(std::min<std::int64_t>(std::max(frequencies, 0), q));
    KelVane::Vector lambda;
    KelVane::Matrix X(n, q);
    // A request for every mode there is gets them all at once; iterating a block of
    // that size would take a dense solution in every pass.
    if (wanted == rank && wanted > 0) {
        KelVane::dense_eigenpairs(K, M, lambda, X);
    } else if (!KelVane::subspace_iteration(K, M, lambda, X, true, wanted, 100, analysis_yield)) {
        // Modes whose frequencies lie close together, or far from the shift, come out
        // of the iteration too slowly. A small model is solved densely instead; a
        // large one lists no frequency that may be wrong.
        if (n > dense_limit)
            throw KelVane::not_converged_error(
                "the subspace iteration did not converge in 100 iterations, so no "
                "frequency is listed; frequencies close together, or a shift far from "
                "them, slow it down: ask for more frequencies, or give a shift below the "
                "lowest frequency wanted (0 for a model that is held)");
        std::cout << "the eigenpairs are solved densely instead" << std::endl;
        KelVane::dense_eigenpairs(K, M, lambda, X);
    }

    for (unsigned i = 1; i <= lambda.size(); ++i) {
        KelVane::Vector shape(n);
        for (unsigned row = 1; row <= n; ++row) shape(row) = X(row, i);
        modes.emplace_back(new Mode(lambda(i), shape));
    }
    // The modes of smallest magnitude are the ones the iteration found reliably.
    std::sort(modes.begin(), modes.end(), smaller_magnitude);
    if (modes.size() > wanted) modes.resize(wanted);
    std::sort(modes.begin(), modes.end(), smaller_value);

    if (shift != 0.0) {
        for (std::unique_ptr<Mode>& mode : modes) {
            mode->eigenvalue -= lambda_shift;
            // Rounding noise around a rigid-body mode, below a shift of either sign,
            // and above it within the 1e-10 to which the shifted eigenvalues are
            // resolved.
            if (mode->eigenvalue < 0.0 && mode->eigenvalue > -1e-5 * std::fabs(lambda_shift))
                mode->eigenvalue = 0.0;
            if (mode->eigenvalue > 0.0 && mode->eigenvalue < 1e-10 * std::fabs(lambda_shift))
                mode->eigenvalue = 0.0;
        }
    }
    done = true;
}

bool EigenControl::run(MyDomain& model, std::ostream& listing, std::ostream&, int max)
{
    if (modes.empty()) return false;
    const unsigned count = static_cast<unsigned>(modes.size());
    const double two_pi = 2.0 * 3.14159265358979323846;

    for (long step = 0; max < 0 || step < max; ++step) {
        if (current_mode >= count) current_mode = count - 1;
        const Mode& mode = *modes[current_mode];

        std::ostringstream line;
        line.imbue(std::locale::classic());
        line << "f(" << current_mode + 1 << ") = ";
        // A negative eigenvalue (beyond the rounding around a rigid-body mode) or one
        // that is not a number has no frequency.
        if (mode.eigenvalue >= 0.0 && std::isfinite(mode.eigenvalue))
            line << std::sqrt(mode.eigenvalue) * (1.0 / two_pi) << " Hz";
        else
            line << "not found";
        std::cout << line.str() << std::endl;
        listing << line.str() << std::endl;

        // The node increments hold the mode shape and the element states follow it;
        // nothing is committed. A mode's amplitude is set by its mass normalisation,
        // in the model's units, and is no motion the model makes: an element of large
        // displacements that such a shape turns inside out is no failure of the analysis.
        model.clear_increments();
        model.add_increment(mode.shape);
        try {
            model.update_elements();
        } catch (const KelVane::divergence_error&) {
        }

        if (++current_mode == count) return false;
    }
    return current_mode < count;
}
