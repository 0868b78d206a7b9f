#ifndef KELVANED_SHAPE_CHECK_H
#define KELVANED_SHAPE_CHECK_H

#include <vector>

#include "kvmatrix.h"

namespace KelVane {

// Moves the node coordinates X (one node a row) so that their mean is 0 and
// returns the largest distance of a node from it: the element's size. Measured
// from its centre, an element far from the origin keeps every digit of its shape.
double centre_on_nodes(Matrix& X);

// Where the corner nodes of a 4-node quadrilateral or an 8-node hexahedron, taken
// in the order given, cross: the element is not the one its nodes surround but a
// bow tie or a body turned partly inside out. A sound quadrilateral, however
// distorted (a corner turned slightly inward), is a simple polygon walked
// counter-clockwise. The faces of a sound hexahedron are mostly such polygons
// seen from outside, but a face bent far out of its plane may look crossed seen
// along its mean normal: a crossing tells a fold apart from a distorted corner
// only where the element's determinant is negative somewhere.
struct Crossing {
    enum class Kind {
        none,
        sides,         // two opposite sides of a quadrilateral cross
        face,          // a face of a hexahedron crosses itself
        inward_face,   // a face of a hexahedron is walked clockwise seen from outside
    };
    Kind kind = Kind::none;
    // 0-based node indices: the sides a-b and c-d, or the face's four nodes in the
    // order of its face number.
    std::vector<int> nodes;
};

// X holds one node a row (x, y). Judged on the coordinates relative to the
// element's centre in units of its size, so the verdict does not depend on where
// the element is or how large it is.
Crossing quadrilateral_crossing(const Matrix& X);
// X holds one node a row (x, y, z); faces as the hexahedron numbers them.
Crossing hexahedron_crossing(const Matrix& X);

}  // namespace KelVane

#endif
