#include "shape_check.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "kv_assert.h"
#include "vector3.h"

namespace KelVane {

double centre_on_nodes(Matrix& X)
{
    const unsigned count = X.size1();
    KV_ASSERT(count > 0);
    for (unsigned j = 1; j <= X.size2(); ++j) {
        double mean = 0.0;
        for (unsigned k = 1; k <= count; ++k) mean += X(k, j);
        mean /= count;
        for (unsigned k = 1; k <= count; ++k) X(k, j) -= mean;
    }
    double size = 0.0;
    for (unsigned k = 1; k <= count; ++k) {
        double squares = 0.0;
        for (unsigned j = 1; j <= X.size2(); ++j) squares += X(k, j) * X(k, j);
        size = std::max(size, std::sqrt(squares));
    }
    return size;
}

namespace {

// In units of the element's size: a node closer than this to a side lies on it,
// a face whose area is smaller has none. Coordinates that hold ten digits where
// the element is (a million sizes from the origin) are judged alike.
constexpr double rounding = 1e-9;

struct Point2 {
    double x, y;
};

// Twice the area of the triangle a b c, positive when it turns counter-clockwise.
double turn(const Point2& a, const Point2& b, const Point2& c)
{
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool opposite(double s, double t)
{
    return (s > rounding && t < -rounding) || (s < -rounding && t > rounding);
}

// Whether the sides a-b and c-d cross: the ends of each lie strictly on the two
// sides of the other. Sides that only touch (the ends of a side collapsed onto a
// corner, a node on the other side) do not cross.
bool sides_cross(const Point2& a, const Point2& b, const Point2& c, const Point2& d)
{
    return opposite(turn(a, b, c), turn(a, b, d)) && opposite(turn(c, d, a), turn(c, d, b));
}

// The first pair of opposite sides of the quadrilateral p[0] p[1] p[2] p[3] that
// cross, as the 0-based corners a, b, c, d of the sides a-b and c-d; empty when it
// is a simple polygon.
std::vector<int> crossing_sides(const std::array<Point2, 4>& p)
{
    if (sides_cross(p[0], p[1], p[2], p[3])) return {0, 1, 2, 3};
    if (sides_cross(p[1], p[2], p[3], p[0])) return {1, 2, 3, 0};
    return {};
}

// The faces of the hexahedron by face number, and +1 where the order as listed
// walks the face counter-clockwise seen from outside, -1 where clockwise.
const int hex_face_nodes[6][4] = {{0, 1, 5, 4}, {3, 2, 6, 7}, {0, 1, 2, 3},
                                  {1, 2, 6, 5}, {4, 5, 6, 7}, {0, 3, 7, 4}};
const double hex_face_turn[6] = {1.0, -1.0, -1.0, 1.0, 1.0, -1.0};

Vector3 row(const Matrix& X, int k)
{
    return Vector3(X(k + 1, 1), X(k + 1, 2), X(k + 1, 3));
}

// The face a b c d seen along its mean normal n (the cross product of its
// diagonals, not 0): its corners in the plane across n.
std::array<Point2, 4> seen_along(const std::array<Vector3, 4>& p, const Vector3& n)
{
    const Vector3 diagonal = p[2] - p[0];
    const Vector3 e1 = diagonal * (1.0 / diagonal.norm());
    const Vector3 e2 = cross(n * (1.0 / n.norm()), e1);
    std::array<Point2, 4> seen;
    for (int k = 0; k < 4; ++k) seen[k] = {dot(p[k] - p[0], e1), dot(p[k] - p[0], e2)};
    return seen;
}

}  // namespace

Crossing quadrilateral_crossing(const Matrix& coordinates)
{
    Matrix X = coordinates;
    const double size = centre_on_nodes(X);
    if (!(size > 0.0)) return {};
    std::array<Point2, 4> p;
    for (int k = 0; k < 4; ++k) p[k] = {X(k + 1, 1) / size, X(k + 1, 2) / size};
    std::vector<int> sides = crossing_sides(p);
    if (sides.empty()) return {};
    return {Crossing::Kind::sides, sides};
}

Crossing hexahedron_crossing(const Matrix& coordinates)
{
    Matrix X = coordinates;
    const double size = centre_on_nodes(X);
    if (!(size > 0.0)) return {};
    X = X * (1.0 / size);

    // The faces that have an area, each with its mean normal (the cross product of
    // its diagonals, twice its area when it is flat); a face collapsed onto a line
    // or a point has none and is not judged.
    std::vector<int> judged;
    std::vector<Vector3> normals;
    for (int f = 0; f < 6; ++f) {
        std::array<Vector3, 4> p = {row(X, hex_face_nodes[f][0]), row(X, hex_face_nodes[f][1]),
                                    row(X, hex_face_nodes[f][2]), row(X, hex_face_nodes[f][3])};
        double spread = 0.0;
        for (int k = 0; k < 4; ++k)
            spread = std::max(spread,
                              cross(p[(k + 1) % 4] - p[k], p[(k + 3) % 4] - p[k]).norm());
        if (!(spread > rounding)) continue;
        const Vector3 n = cross(p[2] - p[0], p[3] - p[1]);
        const std::vector<int> face(hex_face_nodes[f], hex_face_nodes[f] + 4);
        // Two halves that turn opposite ways and cancel: a bow tie.
        if (!(n.norm() > rounding)) return {Crossing::Kind::face, face};
        if (!crossing_sides(seen_along(p, n)).empty()) return {Crossing::Kind::face, face};
        judged.push_back(f);
        normals.push_back(n * hex_face_turn[f]);
    }
    // Seen from outside every face turns counter-clockwise: its outward normal
    // points away from the element's centre (the origin of X).
    for (std::size_t i = 0; i < judged.size(); ++i) {
        const int* nodes = hex_face_nodes[judged[i]];
        const Vector3 middle =
            (row(X, nodes[0]) + row(X, nodes[1]) + row(X, nodes[2]) + row(X, nodes[3])) * 0.25;
        if (!(dot(middle, normals[i]) > rounding))
            return {Crossing::Kind::inward_face, std::vector<int>(nodes, nodes + 4)};
    }
    return {};
}

}  // namespace KelVane
