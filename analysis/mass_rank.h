#ifndef KELVANED_MASS_RANK_H
#define KELVANED_MASS_RANK_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class MyDomain;

namespace KelVane {
class SparseSysMat;
}

// Whether the dofs of a kind (dof_kind) move with the masses. Temperatures do
// not: their capacity is part of the stiffness of each step, whose conduction is
// integrated backwards (stable at any step), and they carry no mass; they drive
// the motion through the thermal strain but take no part in it.
bool is_motion_kind(int kind);

// The first free equation, counted from 1, that K stiffens and M gives no mass
// (its diagonal is not above 0); 0 when there is none. Given the kinds of the
// equations (MyDomain::equation_kinds), only motions (is_motion_kind) count.
std::uint32_t equation_without_mass(const KelVane::SparseSysMat& K, const KelVane::SparseSysMat& M,
                                    const std::vector<unsigned char>* kinds = nullptr);

// The words for a motion of the model with stiffness but no mass, which has no
// finite frequency: "the model has a motion with stiffness but no mass (...), of
// no finite frequency". The brackets name free equation `equation` (counted from
// 1) by its node and degree of freedom ("the degree of freedom rz of node 2"), or,
// when no single equation is known (0), the ways a model comes to have one.
std::string massless_motion(const MyDomain& model, std::uint32_t equation);
// The same for a motion of several free equations of one node (equation, amount;
// LumpedMass::massless_motion): named by its direction at the node.
std::string massless_motion(const MyDomain& model,
                            const std::vector<std::pair<std::uint32_t, double>>& motion);

// Free equations that carry mass. Only as many independent modes of finite
// frequency exist as the mass matrix has rank, and a row without a diagonal entry
// is empty in a positive semi-definite matrix; a larger block (massless beams with
// point masses) makes the projected mass matrix singular.
std::uint32_t equations_with_mass(const KelVane::SparseSysMat& M, std::uint32_t equations);

// Rank of the mass matrix over the free equations: the pivots of its L D L^T
// factorisation over the profile of its rows, in the order of the equations that
// keeps that profile small. Elements whose mass is integrated at fewer points
// than they have nodes (quadratic elements with the reduced rule, one-point
// triangles) give motions that carry no mass
// although every equation has some; no mode of finite frequency exists for them. A
// positive semi-definite matrix has a zero pivot for each such motion, and the rest
// of its column is zero as well, so the row is passed over. A pivot counts as zero
// below 1e-9 of its row's diagonal: rounding leaves some 1e-15 there, while the
// pivots of a regular mass matrix stay within a fixed fraction of their diagonal
// (a quarter for the 4-node quadrilateral) or, where elements that see only part
// of the motions meet, within the ratio of neighbouring elements' masses. Judged
// row by row, the rule does not depend on the units of any degree of freedom.
std::uint32_t mass_rank(const KelVane::SparseSysMat& M, std::uint32_t equations);

#endif
