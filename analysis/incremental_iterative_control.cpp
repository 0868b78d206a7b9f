#include "incremental_iterative_control.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <iomanip>
#include <ostream>

#include "domain.h"
#include "errors.h"
#include "kvmatrix.h"
#include "sysmat.h"
#include "ui_seam.h"

int load_bar_increment = 0;

namespace KelVane {

template <class DomainType>
IncrementalIterativeControl<DomainType>::~IncrementalIterativeControl() = default;

template <class DomainType>
void IncrementalIterativeControl<DomainType>::compute_unbalance_norm()
{
    unbalance_norm = norm(this->rhs);
}

template <class DomainType>
bool IncrementalIterativeControl<DomainType>::check_convergence()
{
    // A norm that is not a finite number fails every comparison below, which would
    // let the iterations run out and a Newmark step accept that state.
    if (!std::isfinite(load_norm) || !std::isfinite(unbalance_norm) ||
        !std::isfinite(force_scale))
        throw divergence_error("divergence occured");
    if (convergence_ratio() <= tolerance) return true;
    // Divergence is judged against what the increment started from: the forces
    // of a runaway iterate must not excuse its unbalance.
    if (unbalance_norm > 1e10 * reference_norm(start_force_scale))
        throw divergence_error("divergence occured");
    return false;
}

template <class DomainType>
bool IncrementalIterativeControl<DomainType>::increment_converged(DomainType& model)
{
    return check_convergence() && model.condensed_stresses_negligible(tolerance);
}

template <class DomainType>
double IncrementalIterativeControl<DomainType>::reference_norm(double scale) const
{
    // ratio <= tolerance exactly when the unbalance is at most tolerance times the
    // load norm or at most rounding_level times the forces of the model: an
    // increment that adds no load (a hold, or a load that all goes into the
    // supports) is judged by the forces its unbalance is a difference of.
    if (!(tolerance > 0.0)) return load_norm;
    return std::max(load_norm, rounding_level / tolerance * scale);
}

template <class DomainType>
double IncrementalIterativeControl<DomainType>::convergence_ratio() const
{
    if (unbalance_norm == 0.0) return 0.0;
    const double reference = reference_norm(force_scale);
    // Forces out of balance where there is neither load nor force to compare with.
    if (!(reference > 0.0)) return std::numeric_limits<double>::max();
    return unbalance_norm / reference;
}

namespace {

double norm_of_all_parts(const SystemVector& v)
{
    return std::hypot(norm(v.free_part()), norm(v.prescribed_part()), norm(v.fixed_part()));
}

}  // namespace

template <class DomainType>
void IncrementalIterativeControl<DomainType>::start_iterations(const SystemVector& fint,
                                                               const SystemVector& fext)
{
    load_norm = norm(this->rhs);
    peak_load_norm = std::max(peak_load_norm, load_norm);
    start_force_scale =
        std::max({peak_load_norm, norm_of_all_parts(fint), norm_of_all_parts(fext)});
    force_scale = start_force_scale;
}

template <class DomainType>
void IncrementalIterativeControl<DomainType>::note_forces(const SystemVector& fint,
                                                          const SystemVector& fext,
                                                          double other_forces)
{
    force_scale = std::max(
        {start_force_scale, norm_of_all_parts(fint), norm_of_all_parts(fext), other_forces});
}

template <class DomainType>
void IncrementalIterativeControl<DomainType>::solve_update(SystemMat& K, DomainType& model)
{
    Vector du;
    K.solve(this->rhs, du);
    model.add_increment(du);
    model.update_elements();
}

template <class DomainType>
void IncrementalIterativeControl<DomainType>::undo_increment(DomainType& model, int load_set,
                                                             double size)
{
    model.apply_load(load_set, -size);
    model.clear_increments();
    // Element states go back to the committed ones, with every running estimate
    // of the points, so that a retry starts as the first attempt did.
    model.revert_elements();
}

template class IncrementalIterativeControl<MyDomain>;

}  // namespace KelVane

namespace {

// The bar graph takes single precision; a value beyond its range (or no number at
// all, after a failed solve) is shown as the largest value it can hold.
float bar_value(double ratio)
{
    if (!(ratio <= FLT_MAX)) return FLT_MAX;
    return static_cast<float>(ratio);
}

}  // namespace

MyIncrementalIterativeControl::~MyIncrementalIterativeControl() = default;

void MyIncrementalIterativeControl::print_norms(std::ostream& listing)
{
    const double ratio = convergence_ratio();

    listing << "  unbalance norm: " << std::setw(11) << unbalance_norm << "  load norm: "
            << std::setw(11) << load_norm << "  ratio: " << std::setw(11) << ratio << '\n';

    if (iteration == 1) SetLoadBarTolerance(bar_value(tolerance));
    // A retry of the same increment after a resize continues its group of bars.
    const bool new_increment = iteration == 1 && increment_nr != load_bar_increment;
    AddLoadBarValue(bar_value(ratio), new_increment);
    load_bar_increment = increment_nr;
}
