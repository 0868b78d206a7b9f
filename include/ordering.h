#ifndef KELVANED_ORDERING_H
#define KELVANED_ORDERING_H

#include <cstdint>
#include <vector>

#include "sysmat.h"

namespace KelVane {

// An order of the equations of A (its pattern taken as symmetric) whose skyline
// needs clearly less work to factorise than A's own: place k holds the equation
// (from 0) order[k]. Reverse Cuthill-McKee from a pseudo-peripheral vertex or from
// that vertex's farthest level, whichever needs less. Empty when neither saves
// enough.
std::vector<std::uint32_t> profile_order(const CR_Matrix& A);

} // namespace KelVane

#endif
