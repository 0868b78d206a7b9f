#ifndef KELVANED_STRESS_STATE_H
#define KELVANED_STRESS_STATE_H

// Sizes that follow from a stress-state code: 0 three-dimensional, 1 plane strain,
// 2 plane stress, 3 axisymmetric, 4 uniaxial. Any other code throws
// KelVane::program_error naming the function.

// Components of a stress or strain vector of the state: 6, 3, 3, 4, 1.
int StressSize(int stress_state);

// Components of the expanded form that keeps the normal components the state
// leaves out: 6, 4, 4, 4, 3.
int ExpandedStressSize(int stress_state);

// Number of spatial coordinates of a node (and length of a temperature gradient): 3, 2, 2, 2, 1.
int get_nodal_dimension(int stress_state);

#endif
