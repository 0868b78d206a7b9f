#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "draw_shape.h"
#include "errors.h"
#include "fem/test_helpers.h"
#include "integration.h"
#include "shape.h"

using KelVane::IntLocs;
using KelVane::Matrix;
using KelVane::Shape;
using KelVane::Vector;
using kv_test::expect_program_error;

namespace {

Vector vec(std::initializer_list<double> values)
{
    Vector v(static_cast<unsigned>(values.size()));
    unsigned i = 0;
    for (double value : values) v[i++] = value;
    return v;
}

// A face in the test's own terms: the natural coordinate held fixed (1-based) and
// its value; for hexahedra also the running coordinates, the first in the outer loop.
struct Face {
    unsigned fixed_axis;
    double value;
    unsigned first_axis;
    unsigned second_axis;
};

const std::vector<Face> triangle_faces = {{3, 0.0, 0, 0}, {1, 0.0, 0, 0}, {2, 0.0, 0, 0}};
const std::vector<Face> quad_faces = {
    {2, -1.0, 1, 0}, {1, 1.0, 2, 0}, {2, 1.0, 1, 0}, {1, -1.0, 2, 0}};
const std::vector<Face> hex_faces = {{2, -1.0, 1, 3}, {2, 1.0, 1, 3}, {3, -1.0, 1, 2},
                                     {1, 1.0, 2, 3},  {3, 1.0, 1, 2}, {1, -1.0, 2, 3}};

enum class Family { triangle, quadrilateral, hexahedron };

// One shape with everything the tests need to know about it, given independently
// of the shape: natural node positions, corner nodes, faces and a distorted
// physical element (node positions are the map applied to the natural positions).
struct ShapeCase {
    std::string name;
    std::shared_ptr<Shape> shape;
    std::shared_ptr<DrawShape> outline;
    Family family;
    std::vector<Vector> nodes;
    std::vector<int> corners;
    std::vector<int> outline_order;
    std::vector<unsigned> rule;  // points per natural direction, or the triangle rule

    unsigned natural_dimension() const { return family == Family::hexahedron ? 3 : 2; }
    const std::vector<Face>& faces() const
    {
        return family == Family::triangle ? triangle_faces
               : family == Family::quadrilateral ? quad_faces : hex_faces;
    }
    double reference_measure() const
    {
        return family == Family::triangle ? 0.5 : family == Family::quadrilateral ? 4.0 : 8.0;
    }
};

const std::vector<Vector> tri3_nodes = {vec({1, 0, 0}), vec({0, 1, 0}), vec({0, 0, 1})};
const std::vector<Vector> tri6_perimeter_nodes = {vec({1, 0, 0}),     vec({0.5, 0.5, 0}),
                                                  vec({0, 1, 0}),     vec({0, 0.5, 0.5}),
                                                  vec({0, 0, 1}),     vec({0.5, 0, 0.5})};
const std::vector<Vector> tri6_corners_first_nodes = {vec({1, 0, 0}),     vec({0, 1, 0}),
                                                      vec({0, 0, 1}),     vec({0.5, 0.5, 0}),
                                                      vec({0, 0.5, 0.5}), vec({0.5, 0, 0.5})};
const std::vector<Vector> quad4_nodes = {vec({-1, -1}), vec({1, -1}), vec({1, 1}), vec({-1, 1})};
const std::vector<Vector> quad8_perimeter_nodes = {vec({-1, -1}), vec({0, -1}), vec({1, -1}),
                                                   vec({1, 0}),   vec({1, 1}),  vec({0, 1}),
                                                   vec({-1, 1}),  vec({-1, 0})};
const std::vector<Vector> quad8_corners_first_nodes = {vec({-1, -1}), vec({1, -1}), vec({1, 1}),
                                                       vec({-1, 1}),  vec({0, -1}), vec({1, 0}),
                                                       vec({0, 1}),   vec({-1, 0})};
const std::vector<Vector> hex8_nodes = {vec({-1, -1, -1}), vec({1, -1, -1}), vec({1, 1, -1}),
                                        vec({-1, 1, -1}),  vec({-1, -1, 1}), vec({1, -1, 1}),
                                        vec({1, 1, 1}),    vec({-1, 1, 1})};

std::vector<ShapeCase> all_shapes()
{
    using namespace KelVane;
    const Family tri = Family::triangle;
    const Family quad = Family::quadrilateral;
    return {
        {"Tri_lin", std::make_shared<Tri_lin>(1), std::make_shared<DrawTri_lin>(), tri,
         tri3_nodes, {0, 1, 2}, {0, 1, 2}, {1}},
        {"Tri_quad", std::make_shared<Tri_quad>(3), std::make_shared<DrawTri_quad>(), tri,
         tri6_perimeter_nodes, {0, 2, 4}, {0, 1, 2, 3, 4, 5}, {3}},
        {"Tri_quad_alt", std::make_shared<Tri_quad_alt>(7), std::make_shared<DrawTri_quad_alt>(),
         tri, tri6_corners_first_nodes, {0, 1, 2}, {0, 3, 1, 4, 2, 5}, {7}},
        {"Quad_lin", std::make_shared<Quad_lin>(2, 2), std::make_shared<DrawQuad_lin>(), quad,
         quad4_nodes, {0, 1, 2, 3}, {0, 1, 2, 3}, {2, 2}},
        {"Quad_quad", std::make_shared<Quad_quad>(2, 3), std::make_shared<DrawQuad_quad>(), quad,
         quad8_perimeter_nodes, {0, 2, 4, 6}, {0, 1, 2, 3, 4, 5, 6, 7}, {2, 3}},
        {"Quad_quad_alt", std::make_shared<Quad_quad_alt>(3, 2),
         std::make_shared<DrawQuad_quad_alt>(), quad, quad8_corners_first_nodes, {0, 1, 2, 3},
         {0, 4, 1, 5, 2, 6, 3, 7}, {3, 2}},
        {"Hex_lin", std::make_shared<Hex_lin>(2, 3, 4), std::make_shared<DrawHex_lin>(),
         Family::hexahedron, hex8_nodes, {0, 1, 2, 3, 4, 5, 6, 7}, {}, {2, 3, 4}},
    };
}

// Points inside the element, away from nodes and symmetry lines.
std::vector<Vector> sample_points(const ShapeCase& c)
{
    switch (c.family) {
    case Family::triangle:
        return {vec({0.2, 0.5, 0.3}), vec({0.6, 0.15, 0.25}), vec({0.05, 0.1, 0.85})};
    case Family::quadrilateral:
        return {vec({0.3, -0.7}), vec({-0.9, 0.2}), vec({0.55, 0.8})};
    default:
        return {vec({0.3, -0.7, 0.45}), vec({-0.9, 0.2, -0.1}), vec({0.55, 0.8, 0.95})};
    }
}

// Distorted physical elements: an affine triangle, a bilinear convex quadrilateral
// and an oblique frustum of a square pyramid (bottom 2 x 2 at z = 0, top 1 x 1 at
// z = 1), each an exact map of its shape's natural coordinates.
Vector physical_point(Family family, const Vector& natural)
{
    switch (family) {
    case Family::triangle: {
        const double corners[3][2] = {{0.3, 0.1}, {2.1, 0.6}, {0.8, 1.9}};
        Vector x(2, 0.0);
        for (unsigned k = 0; k < 3; ++k)
            for (unsigned d = 0; d < 2; ++d) x[d] += natural[k] * corners[k][d];
        return x;
    }
    case Family::quadrilateral: {
        const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        const double positions[4][2] = {{0.0, 0.0}, {2.0, 0.2}, {2.4, 1.8}, {0.3, 1.5}};
        Vector x(2, 0.0);
        for (unsigned k = 0; k < 4; ++k) {
            const double weight =
                0.25 * (1 + natural[0] * corners[k][0]) * (1 + natural[1] * corners[k][1]);
            for (unsigned d = 0; d < 2; ++d) x[d] += weight * positions[k][d];
        }
        return x;
    }
    default: {
        const double t = 0.5 * (natural[2] + 1.0);
        return vec({(1 - t) * natural[0] + t * (0.5 * natural[0] + 0.2),
                    (1 - t) * natural[1] + t * (0.5 * natural[1] + 0.1), t});
    }
    }
}

Vector centre(Family family)
{
    return family == Family::triangle ? vec({1.0 / 3, 1.0 / 3, 1.0 / 3})
           : family == Family::quadrilateral ? vec({0, 0}) : vec({0, 0, 0});
}

Matrix node_coordinates(const ShapeCase& c)
{
    const unsigned dim = c.natural_dimension();
    Matrix X(static_cast<unsigned>(c.nodes.size()), dim);
    for (unsigned i = 0; i < c.nodes.size(); ++i) {
        const Vector x = physical_point(c.family, c.nodes[i]);
        for (unsigned d = 0; d < dim; ++d) X[i][d] = x[d];
    }
    return X;
}

double jacobian_determinant(const Matrix& J)
{
    if (J.size1() == 2) return J(1, 1) * J(2, 2) - J(1, 2) * J(2, 1);
    return J(1, 1) * (J(2, 2) * J(3, 3) - J(2, 3) * J(3, 2)) -
           J(1, 2) * (J(2, 1) * J(3, 3) - J(2, 3) * J(3, 1)) +
           J(1, 3) * (J(2, 1) * J(3, 2) - J(2, 2) * J(3, 1));
}

Vector cross(const Vector& a, const Vector& b)
{
    return vec({a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]});
}

// Whether a natural point lies on a face.
bool on_face(const Vector& natural, const Face& face)
{
    return std::fabs(natural(face.fixed_axis) - face.value) < 1e-12;
}

// Corners of a face in the physical element, in a cycle around the face.
std::vector<Vector> face_corners(const ShapeCase& c, const Face& face)
{
    std::vector<Vector> corners;
    if (c.family != Family::hexahedron) {
        for (int k : c.corners)
            if (on_face(c.nodes[k], face)) corners.push_back(physical_point(c.family, c.nodes[k]));
        return corners;
    }
    const double cycle[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& position : cycle)
        for (int k : c.corners)
            if (on_face(c.nodes[k], face) && c.nodes[k](face.first_axis) == position[0] &&
                c.nodes[k](face.second_axis) == position[1])
                corners.push_back(physical_point(c.family, c.nodes[k]));
    return corners;
}

// Length of a straight edge, or area of a planar quadrilateral face (half the
// cross product of its diagonals).
double face_measure(const ShapeCase& c, const Face& face)
{
    const std::vector<Vector> corners = face_corners(c, face);
    if (corners.size() == 2) return norm(corners[1] - corners[0]);
    return 0.5 * norm(cross(corners[2] - corners[0], corners[3] - corners[1]));
}

double element_measure(Family family)
{
    switch (family) {
    case Family::triangle:
        return 0.5 * ((2.1 - 0.3) * (1.9 - 0.1) - (0.8 - 0.3) * (0.6 - 0.1));
    case Family::quadrilateral: {
        const double x[4] = {0.0, 2.0, 2.4, 0.3};
        const double y[4] = {0.0, 0.2, 1.8, 1.5};
        double twice_area = 0.0;
        for (int k = 0; k < 4; ++k) twice_area += x[k] * y[(k + 1) % 4] - x[(k + 1) % 4] * y[k];
        return 0.5 * twice_area;
    }
    default:
        return (4.0 + 1.0 + std::sqrt(4.0 * 1.0)) / 3.0;  // h (A1 + A2 + sqrt(A1 A2)) / 3
    }
}

}  // namespace

TEST(Shape, FunctionsPartitionUnityAndReproduceNaturalCoordinates)
{
    for (const ShapeCase& c : all_shapes()) {
        for (const Vector& point : sample_points(c)) {
            const Matrix N = c.shape->get_N(point);
            const Matrix dN = c.shape->get_dNdxi(point);
            ASSERT_EQ(1u, N.size1()) << c.name;
            ASSERT_EQ(c.nodes.size(), N.size2()) << c.name;
            ASSERT_EQ(c.natural_dimension(), dN.size1()) << c.name;
            ASSERT_EQ(c.nodes.size(), dN.size2()) << c.name;

            double sum = 0.0;
            for (unsigned j = 1; j <= N.size2(); ++j) sum += N(1, j);
            EXPECT_NEAR(1.0, sum, 1e-14) << c.name;
            for (unsigned k = 1; k <= dN.size1(); ++k) {
                double derivative_sum = 0.0;
                for (unsigned j = 1; j <= dN.size2(); ++j) derivative_sum += dN(k, j);
                EXPECT_NEAR(0.0, derivative_sum, 1e-14) << c.name << " row " << k;
            }
            // sum_j N_j xi_j = xi for every natural coordinate
            for (unsigned k = 1; k <= point.size(); ++k) {
                double interpolated = 0.0;
                for (unsigned j = 0; j < c.nodes.size(); ++j)
                    interpolated += N(1, j + 1) * c.nodes[j](k);
                EXPECT_NEAR(point(k), interpolated, 1e-14) << c.name << " coordinate " << k;
            }
        }
    }
}

TEST(Shape, FunctionsAreOneAtTheirOwnNodeAndZeroAtTheOthers)
{
    for (const ShapeCase& c : all_shapes()) {
        for (unsigned i = 0; i < c.nodes.size(); ++i) {
            const Matrix N = c.shape->get_N(c.nodes[i]);
            for (unsigned j = 0; j < c.nodes.size(); ++j)
                EXPECT_NEAR(i == j ? 1.0 : 0.0, N[0][j], 1e-15)
                    << c.name << " N" << j + 1 << " at node " << i + 1;
        }
    }
}

TEST(Shape, DerivativesMatchDifferencesOfTheFunctions)
{
    const double h = 1e-6;
    for (const ShapeCase& c : all_shapes()) {
        for (const Vector& point : sample_points(c)) {
            const Matrix dN = c.shape->get_dNdxi(point);
            for (unsigned k = 1; k <= c.natural_dimension(); ++k) {
                // Along a triangle's natural coordinate Lk the coordinate L3 takes up the change.
                Vector step(point.size(), 0.0);
                step(k) = h;
                if (c.family == Family::triangle) step(3) = -h;
                const Matrix forward = c.shape->get_N(point + step);
                const Matrix backward = c.shape->get_N(point - step);
                for (unsigned j = 1; j <= dN.size2(); ++j)
                    EXPECT_NEAR((forward(1, j) - backward(1, j)) / (2 * h), dN(k, j), 1e-8)
                        << c.name << " dN" << j << "/dxi" << k;
            }
        }
    }
}

TEST(Shape, HandValuesOfEachFamily)
{
    const Matrix quad4 = KelVane::Quad_lin(2, 2).get_N(vec({0, 0}));
    for (unsigned j = 1; j <= 4; ++j) EXPECT_DOUBLE_EQ(0.25, quad4(1, j));

    // node 1: -(1 - xi)(1 - eta)(1 + xi + eta)/4; node 2: (1 - xi^2)(1 - eta)/2
    const Matrix quad8 = KelVane::Quad_quad(2, 2).get_N(vec({0.2, -0.4}));
    EXPECT_NEAR(-0.25 * 0.8 * 1.4 * 0.8, quad8(1, 1), 1e-15);
    EXPECT_NEAR(0.5 * 0.96 * 1.4, quad8(1, 2), 1e-15);
    const Matrix quad8_alt = KelVane::Quad_quad_alt(2, 2).get_N(vec({0.2, -0.4}));
    EXPECT_NEAR(quad8(1, 2), quad8_alt(1, 5), 1e-15);
    EXPECT_NEAR(quad8(1, 4), quad8_alt(1, 6), 1e-15);

    const Matrix tri6 = KelVane::Tri_quad(3).get_N(vec({0.2, 0.5, 0.3}));
    EXPECT_NEAR(0.2 * (0.4 - 1.0), tri6(1, 1), 1e-15);
    EXPECT_NEAR(4 * 0.2 * 0.5, tri6(1, 2), 1e-15);
    EXPECT_NEAR(4 * 0.5 * 0.3, tri6(1, 4), 1e-15);
    const Matrix tri6_alt = KelVane::Tri_quad_alt(3).get_N(vec({0.5, 0.5, 0.0}));
    EXPECT_NEAR(1.0, tri6_alt(1, 4), 1e-15);

    // The stored L3 is used as it stands, not recomputed from L1 and L2.
    const Matrix tri3 = KelVane::Tri_lin(1).get_N(vec({0.2, 0.3, 0.9}));
    EXPECT_DOUBLE_EQ(0.9, tri3(1, 3));

    const Matrix hex = KelVane::Hex_lin(2, 2, 2).get_N(vec({0.5, 0.5, 0.5}));
    EXPECT_DOUBLE_EQ(1.5 * 1.5 * 1.5 / 8, hex(1, 7));
    EXPECT_DOUBLE_EQ(0.5 * 0.5 * 0.5 / 8, hex(1, 1));
}

TEST(Shape, ElementRuleIntegratesTheAreaOrVolumeOfADistortedElement)
{
    for (const ShapeCase& c : all_shapes()) {
        const IntLocs locations = c.shape->get_int_locs();
        unsigned expected_count = 1;
        for (unsigned n : c.rule) expected_count *= n;
        ASSERT_EQ(expected_count, locations.size()) << c.name;
        EXPECT_EQ(static_cast<int>(expected_count), c.shape->nr_int_locs()) << c.name;

        const Matrix X = node_coordinates(c);
        double weights = 0.0;
        double measure = 0.0;
        for (unsigned p = 1; p <= locations.size(); ++p) {
            const Vector point = locations.coordinates(static_cast<int>(p));
            weights += locations.weight(static_cast<int>(p));
            measure += locations.weight(static_cast<int>(p)) *
                       jacobian_determinant(c.shape->get_dNdxi(point) * X);
            // the geometry interpolates the map itself
            const Vector x = Vector(transpose(c.shape->get_N(point) * X));
            const Vector expected = physical_point(c.family, point);
            for (unsigned d = 0; d < x.size(); ++d) EXPECT_NEAR(expected[d], x[d], 1e-12) << c.name;
        }
        EXPECT_NEAR(c.reference_measure(), weights, 1e-12) << c.name;
        EXPECT_NEAR(element_measure(c.family), measure, 1e-12) << c.name;
    }
}

TEST(Shape, TensorProductRulesIntegrateTheirPolynomialDegree)
{
    auto monomial = [](int k) { return k % 2 == 1 ? 0.0 : 2.0 / (k + 1); };
    for (unsigned n_xi = 1; n_xi <= 6; ++n_xi) {
        for (unsigned n_eta = 1; n_eta <= 6; ++n_eta) {
            const IntLocs locations = KelVane::Quad_lin(n_xi, n_eta).get_int_locs();
            const int a = static_cast<int>(2 * n_xi - 1);
            const int b = static_cast<int>(2 * n_eta - 1);
            double even = 0.0, odd = 0.0;
            for (unsigned p = 1; p <= locations.size(); ++p) {
                const Vector x = locations.coordinates(static_cast<int>(p));
                const double w = locations.weight(static_cast<int>(p));
                even += w * std::pow(x(1), a - 1) * std::pow(x(2), b - 1);
                odd += w * std::pow(x(1), a) * std::pow(x(2), b);
            }
            EXPECT_NEAR(monomial(a - 1) * monomial(b - 1), even, 1e-14) << n_xi << " x " << n_eta;
            EXPECT_NEAR(0.0, odd, 1e-14) << n_xi << " x " << n_eta;
        }
    }
    for (unsigned n = 1; n <= 4; ++n) {
        const IntLocs locations = KelVane::Hex_lin(n, n + 1, n + 2).get_int_locs();
        const int a = static_cast<int>(2 * n - 2), b = static_cast<int>(2 * n),
                  c = static_cast<int>(2 * n + 2);
        double sum = 0.0;
        for (unsigned p = 1; p <= locations.size(); ++p) {
            const Vector x = locations.coordinates(static_cast<int>(p));
            sum += locations.weight(static_cast<int>(p)) * std::pow(x(1), a) * std::pow(x(2), b) *
                   std::pow(x(3), c);
        }
        EXPECT_NEAR(monomial(a) * monomial(b) * monomial(c), sum, 1e-14) << n;
    }
}

TEST(Shape, ElementPointsAreNumberedWithTheLastCoordinateInnermost)
{
    const IntLocs quad = KelVane::Quad_lin(2, 3).get_int_locs();
    double xi = 0, eta = 0, w_xi = 0, w_eta = 0;
    for (int i = 1; i <= 2; ++i) {
        for (int j = 1; j <= 3; ++j) {
            KelVane::gauss_point(i, 2, xi, w_xi);
            KelVane::gauss_point(j, 3, eta, w_eta);
            const int number = (i - 1) * 3 + j;
            EXPECT_EQ(xi, quad.coordinates(number)(1));
            EXPECT_EQ(eta, quad.coordinates(number)(2));
            EXPECT_DOUBLE_EQ(w_xi * w_eta, quad.weight(number));
        }
    }
    KelVane::gauss_point(3, 3, eta, w_eta);
    EXPECT_EQ(eta, quad.coordinates(3)(2));
    KelVane::gauss_point(2, 2, xi, w_xi);
    EXPECT_EQ(xi, quad.coordinates(4)(1));

    const IntLocs hex = KelVane::Hex_lin(2, 3, 4).get_int_locs();
    double zeta = 0, w_zeta = 0;
    KelVane::gauss_point(2, 2, xi, w_xi);
    KelVane::gauss_point(3, 3, eta, w_eta);
    KelVane::gauss_point(1, 4, zeta, w_zeta);
    const Vector point = hex.coordinates((2 - 1) * 12 + (3 - 1) * 4 + 1);
    EXPECT_EQ(xi, point(1));
    EXPECT_EQ(eta, point(2));
    EXPECT_EQ(zeta, point(3));

    const IntLocs triangle = KelVane::Tri_lin(4).get_int_locs();
    ASSERT_EQ(4u, triangle.size());
    EXPECT_DOUBLE_EQ(-27.0 / 96.0, triangle.weight(1));
    EXPECT_EQ(3u, triangle.coordinates(2).size());
}

TEST(Shape, FaceRulesLieOnTheFaceAndMeasureItsLengthOrArea)
{
    for (const ShapeCase& c : all_shapes()) {
        const Matrix X = node_coordinates(c);
        const Vector middle = physical_point(c.family, centre(c.family));
        for (int f = 1; f <= static_cast<int>(c.faces().size()); ++f) {
            const Face& face = c.faces()[f - 1];
            const IntLocs locations = c.shape->get_int_locs_face(f);
            const Matrix T = c.shape->dVdA(f);
            ASSERT_EQ(c.natural_dimension(), T.size1()) << c.name;
            ASSERT_EQ(c.natural_dimension() - 1, T.size2()) << c.name;

            double measure = 0.0;
            for (unsigned q = 1; q <= locations.size(); ++q) {
                const Vector point = locations.coordinates(static_cast<int>(q));
                ASSERT_EQ(c.nodes.front().size(), point.size()) << c.name;
                EXPECT_TRUE(on_face(point, face)) << c.name << " face " << f;
                // Only the nodes of the face carry values there.
                const Matrix N = c.shape->get_N(point);
                for (unsigned j = 0; j < c.nodes.size(); ++j) {
                    if (!on_face(c.nodes[j], face)) {
                        EXPECT_NEAR(0.0, N[0][j], 1e-14) << c.name << " face " << f;
                    }
                }

                const Matrix J = c.shape->get_dNdxi(point) * X;
                const Matrix t = transpose(J) * T;
                Vector normal;
                if (c.natural_dimension() == 2)
                    normal = vec({t(2, 1), -t(1, 1)});
                else
                    normal =
                        cross(vec({t(1, 1), t(2, 1), t(3, 1)}), vec({t(1, 2), t(2, 2), t(3, 2)}));
                measure += locations.weight(static_cast<int>(q)) * norm(normal);
                const Vector x = physical_point(c.family, point);
                EXPECT_GT(dot(normal, x - middle), 0.0)
                    << c.name << " face " << f << " normal points inward";
            }
            EXPECT_NEAR(face_measure(c, face), measure, 1e-12) << c.name << " face " << f;
        }
    }
}

TEST(Shape, FaceRulesTakeThePointsOfTheirRunningCoordinates)
{
    const unsigned expected_edge_points[4][2] = {{1, 2}, {3, 2}, {4, 3}, {7, 3}};
    for (const auto& expected : expected_edge_points) {
        const KelVane::Tri_quad triangle(expected[0]);
        for (int f = 1; f <= 3; ++f) EXPECT_EQ(expected[1], triangle.get_int_locs_face(f).size());
    }

    const unsigned counts[3] = {2, 3, 4};
    const KelVane::Quad_lin quad(counts[0], counts[1]);
    for (int f = 1; f <= 4; ++f)
        EXPECT_EQ(counts[quad_faces[f - 1].first_axis - 1], quad.get_int_locs_face(f).size()) << f;

    // A hexahedron face runs its first coordinate in the outer loop.
    const KelVane::Hex_lin hex(counts[0], counts[1], counts[2]);
    for (int f = 1; f <= 6; ++f) {
        const Face& face = hex_faces[f - 1];
        const int n_first = static_cast<int>(counts[face.first_axis - 1]);
        const int n_second = static_cast<int>(counts[face.second_axis - 1]);
        const IntLocs locations = hex.get_int_locs_face(f);
        ASSERT_EQ(static_cast<unsigned>(n_first * n_second), locations.size()) << f;
        for (int i = 1; i <= n_first; ++i) {
            for (int j = 1; j <= n_second; ++j) {
                double s = 0, t = 0, w_s = 0, w_t = 0;
                KelVane::gauss_point(i, n_first, s, w_s);
                KelVane::gauss_point(j, n_second, t, w_t);
                const int number = (i - 1) * n_second + j;
                EXPECT_EQ(s, locations.coordinates(number)(face.first_axis)) << f;
                EXPECT_EQ(t, locations.coordinates(number)(face.second_axis)) << f;
                EXPECT_DOUBLE_EQ(w_s * w_t, locations.weight(number)) << f;
            }
        }
    }
}

TEST(Shape, FaceNumbersOutsideTheShapeAreRejected)
{
    const KelVane::Tri_lin triangle(1);
    const KelVane::Quad_lin quad(2, 2);
    const KelVane::Hex_lin hex(2, 2, 2);
    EXPECT_NO_THROW(hex.get_int_locs_face(6));
    EXPECT_NO_THROW(hex.dVdA(6));
    for (int face : {0, 4}) {
        expect_program_error([&] { triangle.get_int_locs_face(face); },
                             "illegal face number in Triangular::get_int_locs_face()");
        expect_program_error([&] { triangle.dVdA(face); },
                             "illegal face number in Triangular::dVda()");
    }
    for (int face : {0, 5}) {
        expect_program_error([&] { quad.get_int_locs_face(face); },
                             "illegal face number in Quadrilateral::get_int_locs_face()");
        expect_program_error([&] { quad.dVdA(face); },
                             "illegal face number in Quadrilateral::dVdA()");
    }
    for (int face : {0, 7}) {
        expect_program_error([&] { hex.get_int_locs_face(face); },
                             "illegal face number in Hexagonal::get_int_locs_face()");
        expect_program_error([&] { hex.dVdA(face); }, "illegal face number in Hexagonal::dVdA()");
    }
    expect_program_error([] { KelVane::Tri_lin(2).get_int_locs(); },
                         "wrong nr of integration points: 2");
    expect_program_error([] { KelVane::Quad_lin(7, 2).get_int_locs(); },
                         "wrong nr of integration points: 7");
}

TEST(DrawShape, OutlinesWalkEveryCornerOnceAroundTheElement)
{
    for (const ShapeCase& c : all_shapes()) {
        std::vector<int> outline = {42};
        c.outline->outline_nodes(outline);
        EXPECT_EQ(c.outline_order, outline) << c.name;
        if (c.family == Family::hexahedron) continue;

        // A permutation of the nodes, each corner once...
        std::vector<int> visits(c.nodes.size(), 0);
        for (int index : outline) {
            ASSERT_GE(index, 0);
            ASSERT_LT(index, static_cast<int>(c.nodes.size()));
            ++visits[index];
        }
        for (int count : visits) EXPECT_EQ(1, count) << c.name;
        // ...walked counter-clockwise round the reference element, so the polygon
        // through the natural node positions encloses the reference area.
        double twice_area = 0.0;
        for (unsigned k = 0; k < outline.size(); ++k) {
            const Vector& a = c.nodes[outline[k]];
            const Vector& b = c.nodes[outline[(k + 1) % outline.size()]];
            twice_area += a[0] * b[1] - b[0] * a[1];
        }
        EXPECT_NEAR(c.reference_measure(), 0.5 * twice_area, 1e-15) << c.name;
    }
    std::vector<int> outline = {1, 2};
    DrawShape().outline_nodes(outline);
    EXPECT_TRUE(outline.empty());
}
