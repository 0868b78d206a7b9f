#include "incremental_iterative_control.h"

#include <cfloat>
#include <cmath>
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
    if (!std::isfinite(load_norm) || !std::isfinite(unbalance_norm))
        throw divergence_error("divergence occured");
    // Without a load to compare with, only an unbalance of (almost) nothing will do.
    if (load_norm <= 1e-12) return unbalance_norm < 1e-10;
    const double ratio = unbalance_norm / load_norm;
    if (ratio <= tolerance) return true;
    if (ratio > 1e10) throw divergence_error("divergence occured");
    return false;
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
    double ratio;
    if (load_norm > 1e-12)
        ratio = unbalance_norm / load_norm;
    else
        ratio = unbalance_norm >= 1e-12 ? 1.0 : 0.0;

    listing << "  unbalance norm: " << std::setw(11) << unbalance_norm << "  load norm: "
            << std::setw(11) << load_norm << "  ratio: " << std::setw(11) << ratio << '\n';

    if (iteration == 1) SetLoadBarTolerance(bar_value(tolerance));
    // A retry of the same increment after a resize continues its group of bars.
    const bool new_increment = iteration == 1 && increment_nr != load_bar_increment;
    AddLoadBarValue(bar_value(ratio), new_increment);
    load_bar_increment = increment_nr;
}
