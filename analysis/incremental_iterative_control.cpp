#include "incremental_iterative_control.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <iomanip>
#include <ostream>

#include "domain.h"
#include "errors.h"
#include "kv_assert.h"
#include "kvmatrix.h"
#include "sysmat.h"
#include "transmat.h"
#include "ui_seam.h"

int load_bar_increment = 0;

namespace KelVane {

template <class DomainType>
IncrementalIterativeControl<DomainType>::~IncrementalIterativeControl() = default;

namespace {

constexpr int kind_count = IncrementalIterativeControl<MyDomain>::kinds;

// sums[k] += v[i]^2 over the entries i of kind k, in the order of the entries (so
// that a vector of one kind gets exactly the sum norm() forms).
void add_squares(const Vector& v, const std::vector<unsigned char>& kind, double* sums)
{
    KV_ASSERT(v.size() == kind.size());
    for (unsigned i = 0; i < v.size(); ++i) sums[kind[i]] += v[i] * v[i];
}

// Euclidean norm of each kind's entries of v.
void kind_norms(const Vector& v, const std::vector<unsigned char>& kind, double* norms)
{
    double sums[kind_count] = {0.0, 0.0, 0.0, 0.0};
    add_squares(v, kind, sums);
    for (int k = 0; k < kind_count; ++k) norms[k] = std::sqrt(sums[k]);
}

}  // namespace

template <class DomainType>
void IncrementalIterativeControl<DomainType>::classify_equations(const DomainType& model)
{
    model.equation_kinds(free_kind, prescribed_kind, fixed_kind);
    for (bool& has : kind_has_free) has = false;
    for (const unsigned char kind : free_kind) kind_has_free[kind] = true;
    free_kinds = 0;
    for (bool has : kind_has_free) free_kinds += has ? 1 : 0;
}

template <class DomainType>
void IncrementalIterativeControl<DomainType>::internal_forces(DomainType& model,
                                                              SystemVector& fint)
{
    for (double& size : kind_size) size = 0.0;
    if (free_kinds <= 1) {
        model.internal_forces(fint);
        return;
    }
    double squares[kinds] = {0.0, 0.0, 0.0, 0.0};
    model.internal_forces(fint, squares);
    for (int k = 0; k < kinds; ++k) kind_size[k] = std::sqrt(squares[k]);
}

template <class DomainType>
void IncrementalIterativeControl<DomainType>::compute_unbalance_norm()
{
    unbalance_norm = norm(this->rhs);
    kind_norms(this->rhs, free_kind, kind_unbalance);
}

template <class DomainType>
bool IncrementalIterativeControl<DomainType>::check_convergence()
{
    // A norm that is not a finite number fails every comparison below, which would
    // let the iterations run out and a Newmark step accept that state.
    bool finite = std::isfinite(load_norm) && std::isfinite(unbalance_norm);
    for (int k = 0; k < kinds; ++k)
        finite = finite && std::isfinite(kind_scale[k]) && std::isfinite(kind_size[k]);
    if (!finite) throw divergence_error("divergence occured");
    if (convergence_ratio() <= tolerance) return true;
    // Divergence is judged against what the increment started from: the forces
    // of a runaway iterate must not excuse its unbalance.
    for (int k = 0; k < kinds; ++k)
        if (kind_has_free[k] &&
            kind_unbalance[k] > 1e10 * reference_norm(k, kind_start_scale, kind_first_size))
            throw divergence_error("divergence occured");
    return false;
}

template <class DomainType>
bool IncrementalIterativeControl<DomainType>::increment_converged(DomainType& model)
{
    return check_convergence() && model.condensed_stresses_negligible(tolerance);
}

template <class DomainType>
double IncrementalIterativeControl<DomainType>::own_reference(int k, double scale) const
{
    // ratio <= tolerance exactly when the unbalance is at most tolerance times the
    // load norm or at most rounding_level times the forces of the model: an
    // increment that adds no load (a hold, or a load that all goes into the
    // supports) is judged by the forces its unbalance is a difference of.
    if (!(tolerance > 0.0)) return kind_load[k];
    return std::max(kind_load[k], rounding_level / tolerance * scale);
}

template <class DomainType>
double IncrementalIterativeControl<DomainType>::reference_norm(int k, const double* scale,
                                                               const double* size) const
{
    double reference = own_reference(k, scale[k]);
    if (free_kinds <= 1 || !(size[k] > 0.0)) return reference;
    // A kind that the increment loads little may still move much because another
    // kind is loaded (the rotations of a frame under forces, the displacements of
    // a plate heated by a heat flow). The other kind's norm, relative to the size
    // of its element forces, is taken over into this kind's units by the size of
    // this kind's element forces: a ratio of two sizes of the same model, which
    // no choice of units moves.
    for (int j = 0; j < kinds; ++j) {
        if (j == k || !kind_has_free[j] || !(size[j] > 0.0)) continue;
        reference = std::max(reference, own_reference(j, scale[j]) / size[j] * size[k]);
    }
    return reference;
}

template <class DomainType>
double IncrementalIterativeControl<DomainType>::kind_ratio(int k) const
{
    if (kind_unbalance[k] == 0.0) return 0.0;
    const double reference = reference_norm(k, kind_scale, kind_size);
    // Forces out of balance where there is neither load nor force to compare with.
    if (!(reference > 0.0)) return std::numeric_limits<double>::max();
    return kind_unbalance[k] / reference;
}

template <class DomainType>
int IncrementalIterativeControl<DomainType>::governing_kind() const
{
    int governing = -1;
    double largest = 0.0;
    for (int k = 0; k < kinds; ++k) {
        if (!kind_has_free[k]) continue;
        const double ratio = kind_ratio(k);
        // A ratio that is not a number governs, so that it is shown.
        if (governing < 0 || ratio > largest || std::isnan(ratio)) {
            governing = k;
            largest = ratio;
            if (std::isnan(ratio)) break;
        }
    }
    return governing;
}

template <class DomainType>
double IncrementalIterativeControl<DomainType>::convergence_ratio() const
{
    const int k = governing_kind();
    return k < 0 ? 0.0 : kind_ratio(k);
}

namespace {

// Each kind's norm over all three parts of v.
void kind_norms_of_all_parts(const SystemVector& v, const std::vector<unsigned char>& free_kind,
                             const std::vector<unsigned char>& prescribed_kind,
                             const std::vector<unsigned char>& fixed_kind, double* norms)
{
    double free[kind_count], prescribed[kind_count], fixed[kind_count];
    kind_norms(v.free_part(), free_kind, free);
    kind_norms(v.prescribed_part(), prescribed_kind, prescribed);
    kind_norms(v.fixed_part(), fixed_kind, fixed);
    for (int k = 0; k < kind_count; ++k) norms[k] = std::hypot(free[k], prescribed[k], fixed[k]);
}

}  // namespace

template <class DomainType>
void IncrementalIterativeControl<DomainType>::start_iterations(const SystemVector& fint,
                                                               const SystemVector& fext)
{
    load_norm = norm(this->rhs);
    kind_norms(this->rhs, free_kind, kind_load);
    double internal[kinds], external[kinds];
    kind_norms_of_all_parts(fint, free_kind, prescribed_kind, fixed_kind, internal);
    kind_norms_of_all_parts(fext, free_kind, prescribed_kind, fixed_kind, external);
    for (int k = 0; k < kinds; ++k) {
        kind_peak_load[k] = std::max(kind_peak_load[k], kind_load[k]);
        kind_start_scale[k] = std::max({kind_peak_load[k], internal[k], external[k]});
        kind_scale[k] = kind_start_scale[k];
    }
}

template <class DomainType>
void IncrementalIterativeControl<DomainType>::note_forces(const SystemVector& fint,
                                                          const SystemVector& fext,
                                                          const Vector* inertia,
                                                          const Vector* damping)
{
    double internal[kinds], external[kinds];
    kind_norms_of_all_parts(fint, free_kind, prescribed_kind, fixed_kind, internal);
    kind_norms_of_all_parts(fext, free_kind, prescribed_kind, fixed_kind, external);
    double motion[kinds] = {0.0, 0.0, 0.0, 0.0};
    if (inertia != nullptr) kind_norms(*inertia, free_kind, motion);
    if (damping != nullptr) {
        double damping_norms[kinds];
        kind_norms(*damping, free_kind, damping_norms);
        for (int k = 0; k < kinds; ++k) motion[k] = std::hypot(motion[k], damping_norms[k]);
    }
    for (int k = 0; k < kinds; ++k) {
        kind_scale[k] = std::max({kind_start_scale[k], internal[k], external[k], motion[k]});
        // In dynamics the inertia and damping forces count with the element
        // forces: a step that the inertia of the motion so far loads is measured
        // against the forces of the iterate that answer it.
        if (free_kinds > 1) kind_size[k] = std::hypot(kind_size[k], motion[k]);
    }
    // The divergence guard takes one kind's norms over into another's units as
    // the first iterate of the increment does.
    if (iteration <= 1)
        for (int k = 0; k < kinds; ++k) kind_first_size[k] = kind_size[k];
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
    // The norms of the kind whose ratio is shown: where the free equations are
    // of one kind, those over all of them.
    const int k = governing_kind();
    const double ratio = k < 0 ? 0.0 : kind_ratio(k);
    const double unbalance = k < 0 ? unbalance_norm : kind_unbalance[k];
    const double load = k < 0 ? load_norm : kind_load[k];

    listing << "  unbalance norm: " << std::setw(11) << unbalance << "  load norm: "
            << std::setw(11) << load << "  ratio: " << std::setw(11) << ratio << '\n';

    if (iteration == 1) SetLoadBarTolerance(bar_value(tolerance));
    // A retry of the same increment after a resize continues its group of bars.
    const bool new_increment = iteration == 1 && increment_nr != load_bar_increment;
    AddLoadBarValue(bar_value(ratio), new_increment);
    load_bar_increment = increment_nr;
}
