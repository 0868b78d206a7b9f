#ifndef KELVANED_MASS_RANK_H
#define KELVANED_MASS_RANK_H

#include <cstdint>

namespace KelVane {
class SparseSysMat;
}

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
