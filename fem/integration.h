#ifndef KELVANED_INTEGRATION_H
#define KELVANED_INTEGRATION_H

#include <cstdint>
#include <vector>

#include "kvmatrix.h"

namespace KelVane {

// The integration points of one rule: natural coordinates and weight of every
// point, numbered from 1. Elements keep one material point per entry, in this order.
class IntLocs {
public:
    struct int_loc {
        Vector coordinates;  // empty until set
        double weight = 0.0;
    };

    explicit IntLocs(std::uint32_t n);

    std::uint32_t size() const { return static_cast<std::uint32_t>(points.size()); }

    // Throws program_error for a point number outside 1..size().
    void set(int i, const Vector& coordinates, double weight);

    const Vector& coordinates(int i) const;
    double weight(int i) const;

private:
    std::vector<int_loc> points;
};

// Point i of the n-point Gauss-Legendre rule on [-1, 1], n = 1 to 6. The negative
// abscissae come first; for n = 5 and 6 the positive ones mirror them in the same
// order, so that point k + 3 is the mirror of point k.
void gauss_point(int i, int n, double& xi, double& w);

// Point i of the n-point rule on the reference triangle (area 1/2) in area
// coordinates, n = 1, 3, 4 or 7.
void triangle_point(int i, int n, double& L1, double& L2, double& L3, double& w);

}  // namespace KelVane

#endif
