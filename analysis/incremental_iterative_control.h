#ifndef KELVANED_INCREMENTAL_ITERATIVE_CONTROL_H
#define KELVANED_INCREMENTAL_ITERATIVE_CONTROL_H

#include <iosfwd>

#include "incremental_control.h"

class MyDomain;

namespace KelVane {

class SystemMat;

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
    // True once the unbalance is small against the load of the increment; throws
    // divergence_error ("divergence occured") when the ratio exceeds 1e10 or either
    // norm is not a finite number.
    virtual bool check_convergence();
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

protected:
    // Takes back a failed step's load and node increments; the elements then return
    // to their committed states, so a retry starts from the state at the step's start.
    void undo_increment(DomainType& model, int load_set, double size);

    int method = full_newton;  // 1: tangent re-formed every iteration, 2: kept
    int maxiter = 10;
    int iteration = 0;         // within the current increment, counted from 1
    double tolerance = 1e-4;   // on unbalance norm / load norm
    double load_norm = 0.0;    // unbalance at the start of the increment
    double unbalance_norm = 0.0;
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
