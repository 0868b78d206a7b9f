#ifndef KELVANED_INCREMENTAL_ITERATIVE_CONTROL_H
#define KELVANED_INCREMENTAL_ITERATIVE_CONTROL_H

#include <iosfwd>
#include <vector>

#include "dof.h"
#include "incremental_control.h"

class MyDomain;

namespace KelVane {

class SystemMat;
class SystemVector;
class Vector;

// Base of the incremental analyses that restore equilibrium by Newton iterations:
// the iteration settings, the unbalance and load norms, the convergence test with
// its divergence guard, and the solve-and-update step. The right-hand side of the
// incremental control holds the current unbalance (external minus internal forces
// over the free equations).
//
// The equations come in kinds, after the dofs they belong to: forces on the
// displacements, moments on the rotations, heat flows on the temperatures. Their
// units differ, so each kind is measured on its own (see convergence_ratio); a
// model whose free equations are all of one kind is judged as a whole.
//
// The member functions are instantiated for MyDomain in incremental_iterative_control.cpp.
template <class DomainType>
class IncrementalIterativeControl : public IncrementalControl<DomainType> {
public:
    enum { full_newton = 1, modified_newton = 2 };

    IncrementalIterativeControl() = default;
    ~IncrementalIterativeControl() override;

    // Unbalance norms := Euclidean norms of the right-hand side, over all free
    // equations and over those of each kind.
    virtual void compute_unbalance_norm();
    // True once the convergence ratio is at most the tolerance; throws
    // divergence_error ("divergence occured") when a norm is not a finite number or
    // the unbalance of a kind exceeds 1e10 times the norm the increment's start
    // is judged by.
    virtual bool check_convergence();
    // check_convergence, and the stresses that vanish by assumption (plane stress
    // through the thickness) are negligible to the same tolerance: points that
    // find their thickness strain over the increment's iterations have found it.
    bool increment_converged(DomainType& model);
    // The largest over the kinds of a kind's unbalance norm over the norm it is
    // judged against: the kind's load norm of the increment or, where that load
    // is no more than rounding beside the kind's forces in the model, those forces
    // at rounding level (see rounding_level); or, where the increment moves
    // another kind relatively more, that kind's load (or rounding level) taken
    // over into this kind's units by the sizes of the two kinds' element forces.
    // Forces, moments, heat flows, stresses and moduli scaled in any way that
    // keeps the model the same give the same ratio; 0 when nothing is out of
    // balance. The listing and the bar graph show this ratio.
    double convergence_ratio() const;
    // Solves K du = rhs and hands du to the nodes and the elements.
    virtual void solve_update(SystemMat& K, DomainType& model);

    // Settings from the input.
    void set_method(int new_method) { method = new_method; }
    void set_tolerance(double new_tolerance) { tolerance = new_tolerance; }
    void set_maxiter(int new_maxiter) { maxiter = new_maxiter; }

    int get_method() const { return method; }
    int get_maxiter() const { return maxiter; }
    int get_iteration() const { return iteration; }
    double get_tolerance() const { return tolerance; }
    // Over all free equations, whatever their kinds.
    double get_load_norm() const { return load_norm; }
    double get_unbalance_norm() const { return unbalance_norm; }

    // Relative size of the unbalance that the rounding of force sums leaves in a
    // model whose forces are of size F: an unbalance of a kind below
    // rounding_level * F, F the forces of that kind, is equilibrium, whatever the
    // load of the increment.
    static constexpr double rounding_level = 1e-14;

    // Kinds of equation: a dof's type (displacement, rotation, temperature); dofs
    // of any other type make a fourth.
    static constexpr int kinds = KelVane::dof_kinds;

protected:
    // Takes back a failed step's load and node increments; the elements then return
    // to their committed states, so a retry starts from the state at the step's start.
    void undo_increment(DomainType& model, int load_set, double size);
    // Notes the kind of every equation of the model; first thing of an increment.
    void classify_equations(const DomainType& model);
    // The model's internal forces over all three parts, and, where the free
    // equations are of more than one kind, the size of each kind's element forces.
    void internal_forces(DomainType& model, SystemVector& fint);
    // The start of an increment's iterations, with the right-hand side, internal
    // and external forces of its first state: the load norms are the norms of the
    // right-hand side; each kind's force scale starts from its largest load norm
    // of the analysis so far and its forces of that state.
    void start_iterations(const SystemVector& fint, const SystemVector& fext);
    // The force scales of the current iterate: each kind's of the start, or the
    // iterate's internal forces of the kind over every equation (reactions too),
    // its external forces or, in dynamics, its inertia and damping forces (over
    // the free equations) where they are larger. After internal_forces, whose
    // element force sizes it completes.
    void note_forces(const SystemVector& fint, const SystemVector& fext,
                     const Vector* inertia = nullptr, const Vector* damping = nullptr);
    // Kind k's norm to judge its unbalance by, with the force scales `scale` and
    // the element force sizes `size` (see convergence_ratio).
    double reference_norm(int k, const double* scale, const double* size) const;
    // max(load norm of kind k, rounding_level / tolerance * scale); the load norm
    // alone for a tolerance of 0.
    double own_reference(int k, double scale) const;
    // The unbalance of kind k over reference_norm(k, kind_scale, kind_size).
    double kind_ratio(int k) const;
    // The kind whose ratio convergence_ratio reports (the first kind with free
    // equations where nothing is out of balance); -1 without free equations.
    int governing_kind() const;

    int method = full_newton;  // 1: tangent re-formed every iteration, 2: kept
    int maxiter = 10;
    int iteration = 0;         // within the current increment, counted from 1
    double tolerance = 1e-4;   // on unbalance norm / load norm
    double load_norm = 0.0;    // unbalance at the start of the increment
    double unbalance_norm = 0.0;

    // Kind of every equation, by part (free, prescribed, fixed) and index; which
    // kinds have free equations, and how many do.
    std::vector<unsigned char> free_kind, prescribed_kind, fixed_kind;
    bool kind_has_free[kinds] = {false, false, false, false};
    int free_kinds = 0;
    // Per kind: the load and unbalance norms over its free equations; the size of
    // the forces its unbalance is a difference of, at the current iterate and at
    // the increment's start; the largest load norm so far; the size of its
    // element forces (every element's contributions, before they are summed,
    // with the inertia and damping forces in dynamics) at the current iterate
    // and at the increment's first iterate. The sizes are kept only where the
    // free equations are of more than one kind.
    double kind_load[kinds] = {0.0, 0.0, 0.0, 0.0};
    double kind_unbalance[kinds] = {0.0, 0.0, 0.0, 0.0};
    double kind_scale[kinds] = {0.0, 0.0, 0.0, 0.0};
    double kind_start_scale[kinds] = {0.0, 0.0, 0.0, 0.0};
    double kind_peak_load[kinds] = {0.0, 0.0, 0.0, 0.0};
    double kind_size[kinds] = {0.0, 0.0, 0.0, 0.0};
    double kind_first_size[kinds] = {0.0, 0.0, 0.0, 0.0};
};

}  // namespace KelVane

// The iterative control of this program: reports every iteration's norms to the
// listing and to the front end's convergence bar graph.
class MyIncrementalIterativeControl : public KelVane::IncrementalIterativeControl<MyDomain> {
public:
    MyIncrementalIterativeControl() = default;
    ~MyIncrementalIterativeControl() override;

    // One line of norms and their ratio to the listing, and the ratio to the bar graph
    // (with the tolerance at the first iteration of an increment).
    void print_norms(std::ostream& listing);
};

// The increment whose iterations the convergence bar graph showed last, shared by
// every iterative analysis of the process (0 at start). The first iteration of any
// other increment starts a new group of bars.
extern int load_bar_increment;

#endif
