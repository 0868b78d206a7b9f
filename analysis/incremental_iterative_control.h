#ifndef KELVANED_INCREMENTAL_ITERATIVE_CONTROL_H
#define KELVANED_INCREMENTAL_ITERATIVE_CONTROL_H

#include <iosfwd>

#include "incremental_control.h"

class MyDomain;

namespace KelVane {

class SystemMat;
class SystemVector;

// Base of the incremental analyses that restore equilibrium by Newton iterations:
// the iteration settings, the unbalance and load norms, the convergence test with
// its divergence guard, and the solve-and-update step. The right-hand side of the
// incremental control holds the current unbalance (external minus internal forces
// over the free equations).
//
// The member functions are instantiated for MyDomain in incremental_iterative_control.cpp.
template <class DomainType>
class IncrementalIterativeControl : public IncrementalControl<DomainType> {
public:
    enum { full_newton = 1, modified_newton = 2 };

    IncrementalIterativeControl() = default;
    ~IncrementalIterativeControl() override;

    // Unbalance norm := Euclidean norm of the right-hand side.
    virtual void compute_unbalance_norm();
    // True once the convergence ratio is at most the tolerance; throws
    // divergence_error ("divergence occured") when a norm is not a finite number or
    // the unbalance exceeds 1e10 times the norm the increment's start is judged by.
    virtual bool check_convergence();
    // check_convergence, and the stresses that vanish by assumption (plane stress
    // through the thickness) are negligible to the same tolerance: points that
    // find their thickness strain over the increment's iterations have found it.
    bool increment_converged(DomainType& model);
    // The unbalance norm over the norm it is judged against: the load norm of the
    // increment or, where that load is no more than rounding beside the forces of
    // the model, those forces at rounding level (see rounding_level). Forces,
    // stresses and moduli scaled alike give the same ratio; 0 when nothing is out
    // of balance. The listing and the bar graph show this ratio.
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
    double get_load_norm() const { return load_norm; }
    double get_unbalance_norm() const { return unbalance_norm; }
    double get_force_scale() const { return force_scale; }

    // Relative size of the unbalance that the rounding of force sums leaves in a
    // model whose forces are of size force_scale: an unbalance below
    // rounding_level * force_scale is equilibrium, whatever the load of the increment.
    static constexpr double rounding_level = 1e-14;

protected:
    // Takes back a failed step's load and node increments; the elements then return
    // to their committed states, so a retry starts from the state at the step's start.
    void undo_increment(DomainType& model, int load_set, double size);
    // The start of an increment's iterations, with the right-hand side, internal
    // and external forces of its first state: the load norm is the norm of the
    // right-hand side; the force scale starts from the largest load norm of the
    // analysis so far and the forces of that state.
    void start_iterations(const SystemVector& fint, const SystemVector& fext);
    // The force scale of the current iterate: that of the start, or the iterate's
    // internal forces over every equation (reactions too), its external forces or,
    // in dynamics, its inertia and damping forces where they are larger.
    void note_forces(const SystemVector& fint, const SystemVector& fext,
                     double other_forces = 0.0);
    // max(load norm, rounding_level / tolerance * scale); the load norm alone
    // for a tolerance of 0.
    double reference_norm(double scale) const;

    int method = full_newton;  // 1: tangent re-formed every iteration, 2: kept
    int maxiter = 10;
    int iteration = 0;         // within the current increment, counted from 1
    double tolerance = 1e-4;   // on unbalance norm / load norm
    double load_norm = 0.0;    // unbalance at the start of the increment
    double unbalance_norm = 0.0;
    // The size of the forces the unbalance is a difference of, at the current
    // iterate and at the increment's start, and the largest load norm so far.
    double force_scale = 0.0;
    double start_force_scale = 0.0;
    double peak_load_norm = 0.0;
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
