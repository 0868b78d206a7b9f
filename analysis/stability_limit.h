#ifndef KELVANED_STABILITY_LIMIT_H
#define KELVANED_STABILITY_LIMIT_H

class MyDomain;

// The largest circular frequency (rad/s) of the free motion of the model with the
// present stiffness of its elements and their lumped or consistent masses, bounded
// from above: never below the largest frequency of the assembled model. The motion
// is that of the free dofs other than temperatures, which carry no mass and whose
// conduction is integrated backwards in time, stable at any step.
//
// Each element with stiffness is given the model's mass over its free dofs in
// shares: its own mass, and of the masses of the elements without stiffness (point
// masses) the part its diagonal stiffness has of the model's at that dof (with
// lumped masses the model's whole diagonal mass is shared so). The shares add up to
// the model's mass matrix and the element stiffnesses to its stiffness, so no
// motion of the model has a higher frequency than the highest of the elements
// each with its share. An element's largest frequency is bounded in turn by the
// norms of powers of its matrix, not solved for: within 1.05 of it for a
// hexahedron, at the cost of a few products of its matrices. Returns a negative
// number where no bound follows (a free dof with stiffness but no mass in the
// element's share): the motion at such a dof has no finite frequency to bound.
double largest_frequency_bound(MyDomain& model, bool lumped);

// The largest circular frequency (rad/s) of the model itself: its assembled
// stiffness (the present tangent, its symmetric part) with its lumped or
// consistent mass, over the motion of its free dofs (temperatures left out, as
// above; 0 for a model without motion). The negative pivots of K - s M, s = omega_near squared, say
// whether a motion lies above omega_near; Lanczos iterations on (K - s M)^-1 M
// find the highest below s, to some 1e-10 (s is raised until no motion lies
// above it). A motion with stiffness that the consistent mass does not see (a
// dof without mass, an element mass integrated at fewer points than it has
// nodes) has no finite frequency: infinity. Negative for lumped masses with a
// free dof of no mass, which the explicit step refuses itself.
double largest_model_frequency(MyDomain& model, bool lumped, double omega_near);

// The frequency a time step whose largest stable frequency is omega_allowed is
// judged by: the bound of the elements when it allows the step (nothing more to
// compute); else omega_allowed itself when one factorisation of K - s M shows no
// motion of the model above it (to the rounding allowance below); else the
// model's own largest frequency, which the refusal names.
double stability_frequency(MyDomain& model, bool lumped, double omega_allowed);

// Relative excess of a time step over its stability limit that is taken for the
// rounding of the bound, so that a model set exactly at its limit runs.
constexpr double stability_rounding = 1e-10;

#endif
