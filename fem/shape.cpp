#include "shape.h"

#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <utility>

#include "errors.h"
#include "kv_assert.h"

namespace KelVane {

namespace {

Vector natural_point(double a, double b)
{
    Vector point(2);
    point(1) = a;
    point(2) = b;
    return point;
}

Vector natural_point(double a, double b, double c)
{
    Vector point(3);
    point(1) = a;
    point(2) = b;
    point(3) = c;
    return point;
}

// Gauss points along a triangle edge for the element's rule.
int edge_points(std::uint32_t n_int)
{
    if (n_int <= 3) return 2;
    if (n_int <= 7) return 3;
    return 4;
}

// The quadratic triangle functions with corners first: L1(2L1-1), L2(2L2-1),
// L3(2L3-1), 4L1L2, 4L2L3, 4L3L1. Rows 1 and 2 of dNdxi are dN/dLk - dN/dL3,
// because L3 = 1 - L1 - L2 along the natural coordinates L1 and L2.
struct quadratic_triangle {
    double N[6];
    double dN[3][6];  // dN/dL1, dN/dL2, dN/dL3

    explicit quadratic_triangle(const Vector& coordinates)
    {
        KV_ASSERT(coordinates.size()==3);
        const double L1 = coordinates(1);
        const double L2 = coordinates(2);
        const double L3 = coordinates(3);
        N[0] = L1 * (2.0 * L1 - 1.0);
        N[1] = L2 * (2.0 * L2 - 1.0);
        N[2] = L3 * (2.0 * L3 - 1.0);
        N[3] = 4.0 * L1 * L2;
        N[4] = 4.0 * L2 * L3;
        N[5] = 4.0 * L3 * L1;
        const double by_L1[6] = {4.0 * L1 - 1.0, 0.0, 0.0, 4.0 * L2, 0.0, 4.0 * L3};
        const double by_L2[6] = {0.0, 4.0 * L2 - 1.0, 0.0, 4.0 * L1, 4.0 * L3, 0.0};
        const double by_L3[6] = {0.0, 0.0, 4.0 * L3 - 1.0, 0.0, 4.0 * L2, 4.0 * L1};
        for (int k = 0; k < 6; ++k) {
            dN[0][k] = by_L1[k];
            dN[1][k] = by_L2[k];
            dN[2][k] = by_L3[k];
        }
    }

    // Node j of the element uses function order[j].
    Matrix values(const int order[6]) const
    {
        Matrix result(1, 6);
        for (unsigned j = 0; j < 6; ++j) result[0][j] = N[order[j]];
        return result;
    }

    Matrix derivatives(const int order[6]) const
    {
        Matrix result(2, 6);
        for (unsigned j = 0; j < 6; ++j) {
            result[0][j] = dN[0][order[j]] - dN[2][order[j]];
            result[1][j] = dN[1][order[j]] - dN[2][order[j]];
        }
        return result;
    }
};

const int triangle_perimeter_order[6] = {0, 3, 1, 4, 2, 5};
const int triangle_corners_first_order[6] = {0, 1, 2, 3, 4, 5};

struct node_2d {
    double xi, eta;
};

const node_2d quad_perimeter_nodes[8] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                         {1, 1},   {0, 1},  {-1, 1}, {-1, 0}};
const node_2d quad_corners_first_nodes[8] = {{-1, -1}, {1, -1}, {1, 1},  {-1, 1},
                                             {0, -1},  {1, 0},  {0, 1},  {-1, 0}};

// Serendipity functions of the 8-node quadrilateral: a corner (xi_i, eta_i both
// non-zero) has N = (1 + xi xi_i)(1 + eta eta_i)(xi xi_i + eta eta_i - 1)/4, a
// mid-side node N = (1 - xi^2)(1 + eta eta_i)/2 or (1 + xi xi_i)(1 - eta^2)/2.
Matrix serendipity_N(const node_2d nodes[8], const Vector& coordinates)
{
    KV_ASSERT(coordinates.size()==2);
    const double xi = coordinates(1);
    const double eta = coordinates(2);
    Matrix N(1, 8);
    for (unsigned j = 0; j < 8; ++j) {
        const double a = 1.0 + xi * nodes[j].xi;
        const double b = 1.0 + eta * nodes[j].eta;
        if (nodes[j].xi == 0.0)
            N[0][j] = 0.5 * (1.0 - xi * xi) * b;
        else if (nodes[j].eta == 0.0)
            N[0][j] = 0.5 * a * (1.0 - eta * eta);
        else
            N[0][j] = 0.25 * a * b * (xi * nodes[j].xi + eta * nodes[j].eta - 1.0);
    }
    return N;
}

Matrix serendipity_dNdxi(const node_2d nodes[8], const Vector& coordinates)
{
    KV_ASSERT(coordinates.size()==2);
    const double xi = coordinates(1);
    const double eta = coordinates(2);
    Matrix dN(2, 8);
    for (unsigned j = 0; j < 8; ++j) {
        const double xi_j = nodes[j].xi;
        const double eta_j = nodes[j].eta;
        const double a = 1.0 + xi * xi_j;
        const double b = 1.0 + eta * eta_j;
        if (xi_j == 0.0) {
            dN[0][j] = -xi * b;
            dN[1][j] = 0.5 * (1.0 - xi * xi) * eta_j;
        } else if (eta_j == 0.0) {
            dN[0][j] = 0.5 * xi_j * (1.0 - eta * eta);
            dN[1][j] = -eta * a;
        } else {
            dN[0][j] = 0.25 * xi_j * b * (2.0 * xi * xi_j + eta * eta_j);
            dN[1][j] = 0.25 * eta_j * a * (xi * xi_j + 2.0 * eta * eta_j);
        }
    }
    return dN;
}

const node_2d quad_corner_nodes[4] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};

struct node_3d {
    double xi, eta, zeta;
};

const node_3d hex_corner_nodes[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                     {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};

// A face of the hexahedron: the natural coordinate held fixed (0-based axis) at
// its value, and the two running axes, the first in the outer loop.
struct hex_face {
    int fixed_axis;
    double fixed_value;
    int first_axis;
    int second_axis;
};

const hex_face hex_faces[6] = {
    {1, -1.0, 0, 2}, {1, 1.0, 0, 2}, {2, -1.0, 0, 1},
    {0, 1.0, 1, 2},  {2, 1.0, 0, 1}, {0, -1.0, 1, 2},
};

// Tangent columns of the hexahedron faces; first x second points outward.
const double hex_tangents[6][2][3] = {
    {{1, 0, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 1, 0}},
    {{0, 1, 0}, {0, 0, 1}},  {{1, 0, 0}, {0, 1, 0}},  {{0, -1, 0}, {0, 0, 1}},
};

}  // namespace

// ---- Triangular ----

IntLocs Triangular::get_int_locs() const
{
    IntLocs locations(n_int);
    for (std::uint32_t i = 1; i <= n_int; ++i) {
        double L1, L2, L3, w;
        triangle_point(static_cast<int>(i), static_cast<int>(n_int), L1, L2, L3, w);
        locations.set(static_cast<int>(i), natural_point(L1, L2, L3), w);
    }
    return locations;
}

int Triangular::nr_int_locs() const { return static_cast<int>(n_int); }

std::vector<Vector> Triangular::fold_check_points() const
{
    // Steps of 1/6: the corners, the mid-sides and the centroid are among them.
    const int n = 6;
    const double third = 1.0 / 3.0;
    std::vector<Vector> points = {natural_point(third, third, third)};
    for (int i = 0; i <= n; ++i)
        for (int j = 0; i + j <= n; ++j) {
            const double L1 = static_cast<double>(i) / n;
            const double L2 = static_cast<double>(j) / n;
            points.push_back(natural_point(L1, L2, 1.0 - L1 - L2));
        }
    return points;
}

Vector Triangular::natural_place(const std::vector<double>& t) const
{
    KV_ASSERT(t.size() == 2);
    const double rest = 1.0 - t[0];
    return natural_point(t[0], rest * t[1], rest * (1.0 - t[1]));
}

IntLocs Triangular::get_int_locs_face(int face) const
{
    if (face < 1 || face > 3)
        throw program_error("illegal face number in Triangular::get_int_locs_face()");
    const int n = edge_points(n_int);
    IntLocs locations(static_cast<std::uint32_t>(n));
    for (int i = 1; i <= n; ++i) {
        double xi, w;
        gauss_point(i, n, xi, w);
        const double s = 0.5 * (xi + 1.0);
        Vector point;
        switch (face) {
        case 1: point = natural_point(1.0 - s, s, 0.0); break;
        case 2: point = natural_point(0.0, 1.0 - s, s); break;
        default: point = natural_point(s, 0.0, 1.0 - s); break;
        }
        locations.set(i, point, w);
    }
    return locations;
}

Matrix Triangular::dVdA(int face) const
{
    Matrix tangent(2, 1);
    switch (face) {
    case 1: tangent(1, 1) = -0.5; tangent(2, 1) = 0.5; break;
    case 2: tangent(1, 1) = 0.0; tangent(2, 1) = -0.5; break;
    case 3: tangent(1, 1) = 0.5; tangent(2, 1) = 0.0; break;
    default: throw program_error("illegal face number in Triangular::dVda()");
    }
    return tangent;
}

// ---- Quadrilateral ----

IntLocs Quadrilateral::get_int_locs() const
{
    IntLocs locations(n_xi * n_eta);
    int number = 0;
    for (std::uint32_t i = 1; i <= n_xi; ++i) {
        double xi, w_xi;
        gauss_point(static_cast<int>(i), static_cast<int>(n_xi), xi, w_xi);
        for (std::uint32_t j = 1; j <= n_eta; ++j) {
            double eta, w_eta;
            gauss_point(static_cast<int>(j), static_cast<int>(n_eta), eta, w_eta);
            locations.set(++number, natural_point(xi, eta), w_xi * w_eta);
        }
    }
    return locations;
}

int Quadrilateral::nr_int_locs() const { return static_cast<int>(n_xi * n_eta); }

std::vector<Vector> Quadrilateral::fold_check_points() const
{
    // Steps of 1/3: the corners, the mid-sides and the centre are among them.
    const int n = 6;
    std::vector<Vector> points = {natural_point(0.0, 0.0)};
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            points.push_back(natural_point(-1.0 + 2.0 * i / n, -1.0 + 2.0 * j / n));
    return points;
}

Vector Quadrilateral::natural_place(const std::vector<double>& t) const
{
    KV_ASSERT(t.size() == 2);
    return natural_point(2.0 * t[0] - 1.0, 2.0 * t[1] - 1.0);
}

IntLocs Quadrilateral::get_int_locs_face(int face) const
{
    if (face < 1 || face > 4)
        throw program_error("illegal face number in Quadrilateral::get_int_locs_face()");
    // Faces 1 and 3 run along xi, faces 2 and 4 along eta.
    const bool along_xi = face == 1 || face == 3;
    const int n = static_cast<int>(along_xi ? n_xi : n_eta);
    const double fixed = (face == 1 || face == 4) ? -1.0 : 1.0;
    IntLocs locations(static_cast<std::uint32_t>(n));
    for (int i = 1; i <= n; ++i) {
        double s, w;
        gauss_point(i, n, s, w);
        locations.set(i, along_xi ? natural_point(s, fixed) : natural_point(fixed, s), w);
    }
    return locations;
}

Matrix Quadrilateral::dVdA(int face) const
{
    Matrix tangent(2, 1, 0.0);
    switch (face) {
    case 1: tangent(1, 1) = 1.0; break;
    case 2: tangent(2, 1) = 1.0; break;
    case 3: tangent(1, 1) = -1.0; break;
    case 4: tangent(2, 1) = -1.0; break;
    default: throw program_error("illegal face number in Quadrilateral::dVdA()");
    }
    return tangent;
}

// ---- Hexagonal ----

IntLocs Hexagonal::get_int_locs() const
{
    IntLocs locations(n_xi * n_eta * n_zeta);
    int number = 0;
    for (std::uint32_t i = 1; i <= n_xi; ++i) {
        double xi, w_xi;
        gauss_point(static_cast<int>(i), static_cast<int>(n_xi), xi, w_xi);
        for (std::uint32_t j = 1; j <= n_eta; ++j) {
            double eta, w_eta;
            gauss_point(static_cast<int>(j), static_cast<int>(n_eta), eta, w_eta);
            for (std::uint32_t k = 1; k <= n_zeta; ++k) {
                double zeta, w_zeta;
                gauss_point(static_cast<int>(k), static_cast<int>(n_zeta), zeta, w_zeta);
                locations.set(++number, natural_point(xi, eta, zeta), w_xi * w_eta * w_zeta);
            }
        }
    }
    return locations;
}

int Hexagonal::nr_int_locs() const { return static_cast<int>(n_xi * n_eta * n_zeta); }

std::vector<Vector> Hexagonal::fold_check_points() const
{
    // The corners, the mid-edges, the face centres and the centre.
    const int n = 2;
    std::vector<Vector> points = {natural_point(0.0, 0.0, 0.0)};
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            for (int k = 0; k <= n; ++k)
                points.push_back(natural_point(-1.0 + 2.0 * i / n, -1.0 + 2.0 * j / n,
                                               -1.0 + 2.0 * k / n));
    return points;
}

Vector Hexagonal::natural_place(const std::vector<double>& t) const
{
    KV_ASSERT(t.size() == 3);
    return natural_point(2.0 * t[0] - 1.0, 2.0 * t[1] - 1.0, 2.0 * t[2] - 1.0);
}

IntLocs Hexagonal::get_int_locs_face(int face) const
{
    if (face < 1 || face > 6)
        throw program_error("illegal face number in Hexagonal::get_int_locs_face()");
    const hex_face& layout = hex_faces[face - 1];
    const std::uint32_t counts[3] = {n_xi, n_eta, n_zeta};
    const int n_first = static_cast<int>(counts[layout.first_axis]);
    const int n_second = static_cast<int>(counts[layout.second_axis]);
    IntLocs locations(static_cast<std::uint32_t>(n_first * n_second));
    int number = 0;
    for (int i = 1; i <= n_first; ++i) {
        double s, w_s;
        gauss_point(i, n_first, s, w_s);
        for (int j = 1; j <= n_second; ++j) {
            double t, w_t;
            gauss_point(j, n_second, t, w_t);
            Vector point(3);
            point[layout.fixed_axis] = layout.fixed_value;
            point[layout.first_axis] = s;
            point[layout.second_axis] = t;
            locations.set(++number, point, w_s * w_t);
        }
    }
    return locations;
}

Matrix Hexagonal::dVdA(int face) const
{
    if (face < 1 || face > 6) throw program_error("illegal face number in Hexagonal::dVdA()");
    Matrix tangents(3, 2);
    for (unsigned column = 0; column < 2; ++column)
        for (unsigned row = 0; row < 3; ++row)
            tangents[row][column] = hex_tangents[face - 1][column][row];
    return tangents;
}

// ---- Leaves ----

Matrix Tri_lin::get_N(const Vector& coordinates) const
{
    KV_ASSERT(coordinates.size()==3);
    Matrix N(1, 3);
    N(1, 1) = coordinates(1);
    N(1, 2) = coordinates(2);
    N(1, 3) = coordinates(3);
    return N;
}

Matrix Tri_lin::get_dNdxi(const Vector& coordinates) const
{
    KV_ASSERT(coordinates.size()==3);
    Matrix dN(2, 3);
    dN(1, 1) = 1.0;
    dN(1, 2) = 0.0;
    dN(1, 3) = -1.0;
    dN(2, 1) = 0.0;
    dN(2, 2) = 1.0;
    dN(2, 3) = -1.0;
    return dN;
}

Matrix Tri_quad::get_N(const Vector& coordinates) const
{
    return quadratic_triangle(coordinates).values(triangle_perimeter_order);
}

Matrix Tri_quad::get_dNdxi(const Vector& coordinates) const
{
    return quadratic_triangle(coordinates).derivatives(triangle_perimeter_order);
}

Matrix Tri_quad_alt::get_N(const Vector& coordinates) const
{
    return quadratic_triangle(coordinates).values(triangle_corners_first_order);
}

Matrix Tri_quad_alt::get_dNdxi(const Vector& coordinates) const
{
    return quadratic_triangle(coordinates).derivatives(triangle_corners_first_order);
}

Matrix Quad_lin::get_N(const Vector& coordinates) const
{
    KV_ASSERT(coordinates.size()==2);
    const double xi = coordinates(1);
    const double eta = coordinates(2);
    Matrix N(1, 4);
    for (unsigned j = 0; j < 4; ++j)
        N[0][j] =
            0.25 * (1.0 + xi * quad_corner_nodes[j].xi) * (1.0 + eta * quad_corner_nodes[j].eta);
    return N;
}

Matrix Quad_lin::get_dNdxi(const Vector& coordinates) const
{
    KV_ASSERT(coordinates.size()==2);
    const double xi = coordinates(1);
    const double eta = coordinates(2);
    Matrix dN(2, 4);
    for (unsigned j = 0; j < 4; ++j) {
        const double xi_j = quad_corner_nodes[j].xi;
        const double eta_j = quad_corner_nodes[j].eta;
        dN[0][j] = 0.25 * xi_j * (1.0 + eta * eta_j);
        dN[1][j] = 0.25 * eta_j * (1.0 + xi * xi_j);
    }
    return dN;
}

Matrix Quad_quad::get_N(const Vector& coordinates) const
{
    return serendipity_N(quad_perimeter_nodes, coordinates);
}

Matrix Quad_quad::get_dNdxi(const Vector& coordinates) const
{
    return serendipity_dNdxi(quad_perimeter_nodes, coordinates);
}

Matrix Quad_quad_alt::get_N(const Vector& coordinates) const
{
    return serendipity_N(quad_corners_first_nodes, coordinates);
}

Matrix Quad_quad_alt::get_dNdxi(const Vector& coordinates) const
{
    return serendipity_dNdxi(quad_corners_first_nodes, coordinates);
}

Matrix Hex_lin::get_N(const Vector& coordinates) const
{
    KV_ASSERT(coordinates.size()==3);
    const double xi = coordinates(1);
    const double eta = coordinates(2);
    const double zeta = coordinates(3);
    Matrix N(1, 8);
    for (unsigned j = 0; j < 8; ++j) {
        const node_3d& node = hex_corner_nodes[j];
        N[0][j] = 0.125 * (1.0 + xi * node.xi) * (1.0 + eta * node.eta) * (1.0 + zeta * node.zeta);
    }
    return N;
}

Matrix Hex_lin::get_dNdxi(const Vector& coordinates) const
{
    KV_ASSERT(coordinates.size()==3);
    const double xi = coordinates(1);
    const double eta = coordinates(2);
    const double zeta = coordinates(3);
    Matrix dN(3, 8);
    for (unsigned j = 0; j < 8; ++j) {
        const node_3d& node = hex_corner_nodes[j];
        const double a = 1.0 + xi * node.xi;
        const double b = 1.0 + eta * node.eta;
        const double c = 1.0 + zeta * node.zeta;
        dN[0][j] = 0.125 * node.xi * b * c;
        dN[1][j] = 0.125 * node.eta * a * c;
        dN[2][j] = 0.125 * node.zeta * a * b;
    }
    return dN;
}

const ShapeRule& Shape::rule() const
{
    // Rules live as long as the process; the lock lets analyses on several threads
    // share them.
    static std::mutex guard;
    static std::map<std::pair<std::type_index, std::uint32_t>, std::unique_ptr<const ShapeRule>>
        rules;
    const std::lock_guard<std::mutex> lock(guard);
    auto& known = rules[{std::type_index(typeid(*this)), rule_code()}];
    if (!known) {
        // An unknown rule throws here, before anything is kept.
        auto made = std::make_unique<ShapeRule>(ShapeRule{get_int_locs(), {}, {}});
        for (std::uint32_t k = 1; k <= made->locations.size(); ++k) {
            const Vector& location = made->locations.coordinates(static_cast<int>(k));
            made->N.push_back(get_N(location));
            made->dNdxi.push_back(get_dNdxi(location));
        }
        known = std::move(made);
    }
    return *known;
}

}  // namespace KelVane
