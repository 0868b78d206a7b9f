#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device_map.h"
#include "draw_shape.h"
#include "eigen.h"
#include "elastic.h"
#include "errors.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "heat_conduction.h"
#include "material.h"
#include "plane_solid.h"
#include "plastic.h"
#include "process_values.h"
#include "shape.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::CerrCapture;
using kv_test::RecordingDC;
using kv_test::TestModel;
using kv_test::impose;

namespace {

const double pi = 3.14159265358979;

// Small concrete elements on the layers: the catalogue's shapes and rules.
class Quad4 : public NumInt2D {
public:
    Quad4(std::uint32_t nr, KelVane::Node** n, KelVane::Material_type* m, KelVane::Geometry* g,
          int state, bool outline = true)
        : NumInt2D(nr, n, 4, 8, m, g, state, 4)
    {
        shape = new KelVane::Quad_lin(2, 2);
        if (outline) draw_shape = new DrawQuad_lin;
    }
};

class Tri3 : public NumInt2D {
public:
    Tri3(std::uint32_t nr, KelVane::Node** n, KelVane::Material_type* m, KelVane::Geometry* g,
         int state)
        : NumInt2D(nr, n, 3, 6, m, g, state, 1)
    {
        shape = new KelVane::Tri_lin(1);
        draw_shape = new DrawTri_lin;
    }
};

class Quad8 : public NumInt2D {
public:
    Quad8(std::uint32_t nr, KelVane::Node** n, KelVane::Material_type* m, KelVane::Geometry* g,
          int state)
        : NumInt2D(nr, n, 8, 16, m, g, state, 4)
    {
        shape = new KelVane::Quad_quad(2, 2);
        draw_shape = new DrawQuad_quad;
    }
};

class Hex8 : public NumInt3D {
public:
    Hex8(std::uint32_t nr, KelVane::Node** n, KelVane::Material_type* m, KelVane::Geometry* g)
        : NumInt3D(nr, n, 8, 24, m, g, 8)
    {
        shape = new KelVane::Hex_lin(2, 2, 2);
        draw_shape = new DrawHex_lin;
    }
};

struct Materials {
    Materials()
    {
        steel.set_young(1000.0);
        steel.set_poisson(0.25);
        steel.set_density(2.5);
        plate.set_thick(0.5);
    }
    Elastic_type steel{1};
    KelVane::Geometry plate{1};
};

// Element of the given kind ("tri3", "quad4", "quad8", "hex8") on the nodes.
FiniteElement* make_element(TestModel& model, const std::string& kind, std::vector<MyNode*> n,
                            Materials& m, int state, std::uint32_t number = 1)
{
    KelVane::Node** list = new KelVane::Node*[n.size()];
    for (std::size_t k = 0; k < n.size(); ++k) list[k] = n[k];
    if (kind == "tri3") return model.add_element<Tri3>(number, list, &m.steel, &m.plate, state);
    if (kind == "quad4") return model.add_element<Quad4>(number, list, &m.steel, &m.plate, state);
    if (kind == "quad8") return model.add_element<Quad8>(number, list, &m.steel, &m.plate, state);
    return model.add_element<Hex8>(number, list, &m.steel, &m.plate);
}

std::vector<MyNode*> add_nodes(TestModel& model, const std::vector<std::vector<double>>& xyz)
{
    std::vector<MyNode*> nodes;
    for (const auto& p : xyz)
        nodes.push_back(model.add_node(static_cast<std::uint32_t>(nodes.size() + 1), p[0], p[1],
                                       p.size() > 2 ? p[2] : 0.0));
    return nodes;
}

const std::vector<std::vector<double>> quad_nodes = {
    {0.2, 0.1}, {2.1, 0.3}, {1.8, 1.7}, {0.3, 1.4}};
const std::vector<std::vector<double>> hex_nodes = {{0, 0, 0},     {2, 0.1, 0},     {2.2, 1.9, 0.1},
                                                    {0.1, 2, 0},   {0.1, 0.2, 3.1}, {2, 0, 2.9},
                                                    {2.1, 2.1, 3}, {0, 1.8, 3.2}};
// A 2 x 3 x 4 box.
const std::vector<std::vector<double>> box_nodes = {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0},
                                                    {0, 0, 4}, {2, 0, 4}, {2, 3, 4}, {0, 3, 4}};

}  // namespace

// Patch test: a mesh of distorted elements under a linear displacement field has
// the strain of that field, hence the stress D eps, at every point, and the
// internal forces at its interior node cancel. Swept over element kinds and stress
// states; the axisymmetric field u_r = a r, u_z = c z + e r has constant strain.
TEST(NumIntStructElement, PatchTestGivesConstantStressAndBalancedInteriorNode)
{
    // Nine nodes with the interior node 5 off centre and shifted edge nodes.
    const std::vector<std::vector<double>> grid = {
        {1, 0}, {1.9, 0}, {3, 0}, {1, 0.8}, {2.1, 0.9}, {3, 1.2}, {1, 2}, {2.15, 2}, {3, 2}};
    const int quads[4][4] = {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 5, 8, 7}};
    const double a = 1e-3, b = -2e-3, c = 5e-4, e = 3e-4;
    for (const std::string kind : {"quad4", "tri3"}) {
        for (int state : {1, 2, 3}) {
            SCOPED_TRACE(kind + " state " + std::to_string(state));
            Materials m;
            TestModel model;
            std::vector<MyNode*> nodes = add_nodes(model, grid);
            std::vector<FiniteElement*> elements;
            for (const auto& q : quads) {
                std::vector<MyNode*> corners = {nodes[q[0]], nodes[q[1]], nodes[q[2]], nodes[q[3]]};
                if (kind == "quad4") {
                    elements.push_back(make_element(model, kind, corners, m, state));
                } else {
                    elements.push_back(
                        make_element(model, kind, {corners[0], corners[1], corners[2]}, m, state));
                    elements.push_back(
                        make_element(model, kind, {corners[0], corners[2], corners[3]}, m, state));
                }
            }
            model.setup();
            Vector strain;
            if (state == 3) {
                impose(nodes, [&](double x, double y, double) {
                    return Vector3(a * x, c * y + e * x + 0.1, 0);
                });
                strain = Vector(4);
                strain(1) = a, strain(2) = c, strain(3) = a, strain(4) = e;
            } else {
                impose(nodes, [&](double x, double y, double) {
                    return Vector3(0.3 + a * x + c * y, -0.2 + e * x + b * y, 0);
                });
                strain = Vector(3);
                strain(1) = a, strain(2) = b, strain(3) = c + e;
            }
            const Matrix D = iso_lin_elas_D_mat(1000.0, 0.25, state == 3 ? 4 : 3, state);
            const Vector expected = D * strain;
            for (FiniteElement* element : elements) {
                element->update_state();
                auto* numint = dynamic_cast<NumIntStructElement*>(element);
                for (int k = 1; k <= numint->nr_points(); ++k) {
                    const Vector stress =
                        dynamic_cast<KelVane::Structural_Point&>(numint->get_point(k)).get_stress();
                    for (unsigned i = 1; i <= expected.size(); ++i)
                        EXPECT_NEAR(stress(i), expected(i), 1e-9) << "point " << k;
                }
            }
            KelVane::SystemVector forces = model.internal_forces();
            const double scale =
                std::fabs(forces(nodes[0]->get_dof(0))) + std::fabs(forces(nodes[8]->get_dof(1)));
            ASSERT_GT(scale, 1e-3);
            // The ring's shear e is not in equilibrium with constant stresses (tau / r
            // remains in the axial balance), so only its radial balance is exact.
            const std::uint32_t balanced = state == 3 ? 1 : 2;
            for (std::uint32_t i = 0; i < balanced; ++i)
                EXPECT_NEAR(forces(nodes[4]->get_dof(i)), 0.0, 1e-12 * scale);
        }
    }
}

// A single quadratic or solid element reproduces a linear field exactly; the 3-D field
// has all six strain components.
TEST(NumIntStructElement, SingleElementsReproduceLinearFields)
{
    const double A[3][3] = {{1e-3, 2e-4, -3e-4}, {5e-4, -2e-3, 1e-4}, {-4e-4, 6e-4, 1.5e-3}};
    struct Case {
        std::string kind;
        std::vector<std::vector<double>> xyz;
        int state;
    };
    const std::vector<Case> cases = {
        {"quad8",
         {{0, 0}, {1, 0.1}, {2, 0.2}, {2.1, 1.1}, {2.2, 2}, {1.1, 2.05}, {0, 2.1}, {0, 1.05}},
         2},
        {"hex8", hex_nodes, 0}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.kind);
        Materials m;
        TestModel model;
        std::vector<MyNode*> nodes = add_nodes(model, test.xyz);
        FiniteElement* element = make_element(model, test.kind, nodes, m, test.state);
        model.setup();
        impose(nodes, [&](double x, double y, double z) {
            return Vector3(A[0][0] * x + A[0][1] * y + A[0][2] * z,
                           A[1][0] * x + A[1][1] * y + A[1][2] * z,
                           A[2][0] * x + A[2][1] * y + A[2][2] * z);
        });
        element->update_state();
        Vector strain(test.state == 0 ? 6 : 3);
        strain(1) = A[0][0], strain(2) = A[1][1];
        if (test.state == 0) {
            strain(3) = A[2][2], strain(4) = A[0][1] + A[1][0];
            strain(5) = A[1][2] + A[2][1], strain(6) = A[2][0] + A[0][2];
        } else {
            strain(3) = A[0][1] + A[1][0];
        }
        const Vector expected =
            iso_lin_elas_D_mat(1000.0, 0.25, strain.size(), test.state) * strain;
        auto* numint = dynamic_cast<NumIntStructElement*>(element);
        for (int k = 1; k <= numint->nr_points(); ++k) {
            const Vector stress =
                dynamic_cast<KelVane::Structural_Point&>(numint->get_point(k)).get_stress();
            for (unsigned i = 1; i <= expected.size(); ++i)
                EXPECT_NEAR(stress(i), expected(i), 1e-9);
        }
    }
}

// The stiffness is symmetric and positive semi-definite; its zero eigenvalues are
// the rigid-body modes: 3 in the plane, 6 in space, 1 (axial translation) for an
// axisymmetric ring, whose radial translation stretches the hoop. Rigid motions
// give no forces.
TEST(NumIntStructElement, StiffnessHasExactlyTheRigidBodyNullSpace)
{
    struct Case {
        std::string kind;
        int state;
        unsigned zeros;
    };
    for (const Case& test : std::vector<Case>{
             {"quad4", 1, 3}, {"quad4", 2, 3}, {"tri3", 2, 3}, {"quad4", 3, 1}, {"hex8", 0, 6}}) {
        SCOPED_TRACE(test.kind + " state " + std::to_string(test.state));
        Materials m;
        TestModel model;
        std::vector<std::vector<double>> xyz = test.kind == "hex8" ? hex_nodes : quad_nodes;
        if (test.kind == "tri3") xyz.pop_back();
        std::vector<MyNode*> nodes = add_nodes(model, xyz);
        FiniteElement* element = make_element(model, test.kind, nodes, m, test.state);
        Vector f;
        Matrix K = element->stiffness_matrix(f);
        EXPECT_EQ(f.size(), 0u);
        const unsigned n = K.size1();
        for (unsigned i = 1; i <= n; ++i)
            for (unsigned j = 1; j <= n; ++j) EXPECT_NEAR(K(i, j), K(j, i), 1e-9 * K(1, 1));

        // Rigid translations along z (axisymmetric) or all axes, and a small rotation.
        const unsigned d = test.state == 0 ? 3 : 2;
        std::vector<Vector> rigid;
        for (unsigned axis = (test.state == 3 ? 2 : 1); axis <= d; ++axis) {
            Vector t(n, 0.0);
            for (unsigned j = 0; j < n / d; ++j) t(d * j + axis) = 1.0;
            rigid.push_back(t);
        }
        if (test.state != 3) {
            Vector r(n, 0.0);
            for (unsigned j = 0; j < n / d; ++j)
                r(d * j + 1) = -xyz[j][1], r(d * j + 2) = xyz[j][0];
            rigid.push_back(r);
        }
        for (const Vector& mode : rigid) EXPECT_LT(norm(K * mode), 1e-10 * K(1, 1));

        KelVane::eigen_symmetric(K);
        double largest = 0.0;
        for (unsigned i = 1; i <= n; ++i) largest = std::max(largest, K(i, i));
        unsigned zeros = 0;
        for (unsigned i = 1; i <= n; ++i) {
            EXPECT_GT(K(i, i), -1e-10 * largest);
            if (K(i, i) < 1e-10 * largest) ++zeros;
        }
        EXPECT_EQ(zeros, test.zeros);
    }
}

// The mirror image of an element has its nodes running clockwise: its Jacobian
// determinant is negative, which would turn stiffness and mass negative (a
// cantilever would bend against its load). Every computation refuses it, naming
// the element; the element as given, counter-clockwise, is accepted.
TEST(NumIntStructElement, ClockwiseElementsAreRefused)
{
    struct Case {
        std::string kind;
        int state;
    };
    for (const Case& test : std::vector<Case>{
             {"tri3", 1}, {"quad4", 2}, {"quad4", 3}, {"hex8", 0}}) {
        SCOPED_TRACE(test.kind + " state " + std::to_string(test.state));
        std::vector<std::vector<double>> xyz = test.kind == "hex8" ? hex_nodes : quad_nodes;
        if (test.kind == "tri3") xyz.pop_back();
        Materials m;
        TestModel model;
        FiniteElement* right = make_element(model, test.kind, add_nodes(model, xyz), m, test.state);
        // Mirrored in y (the radius of the ring elements stays positive).
        for (auto& point : xyz) point[1] = -point[1];
        FiniteElement* mirrored =
            make_element(model, test.kind, add_nodes(model, xyz), m, test.state, 7);
        model.setup();

        Vector f;
        const Matrix M = right->mass_matrix(false);
        EXPECT_GT(M(1, 1), 0.0);
        EXPECT_GT(right->stiffness_matrix(f)(1, 1), 0.0);
        const std::vector<std::function<void()>> uses = {
            [&] { mirrored->stiffness_matrix(f); }, [&] { mirrored->internal_forces(); },
            [&] { mirrored->mass_matrix(true); }, [&] { mirrored->update_state(); }};
        for (const auto& use : uses) {
            try {
                use();
                ADD_FAILURE() << "clockwise element accepted";
            } catch (const kelvaned_error& error) {
                EXPECT_EQ(std::string(error.what()).rfind("element 7 is numbered clockwise", 0),
                          0u)
                    << error.what();
            }
        }
    }
}

// Consistent mass: the x block and the y block each sum to the element's mass
// (rho t A, rho A, rho 2 pi r_c A for the ring, rho V), the x-y blocks vanish;
// the lumped matrix is diagonal with the consistent row sums.
TEST(NumIntStructElement, MassMatricesCarryTheElementMass)
{
    // Area and first moment of quad_nodes (shoelace).
    double area = 0.0, moment_x = 0.0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& p = quad_nodes[i];
        const auto& q = quad_nodes[(i + 1) % 4];
        const double cross = p[0] * q[1] - q[0] * p[1];
        area += cross / 2.0;
        moment_x += (p[0] + q[0]) * cross / 6.0;
    }
    const double rho = 2.5;
    const double expected[4] = {0.0, rho * area, rho * 0.5 * area, rho * 2.0 * pi * moment_x};
    for (int state : {1, 2, 3}) {
        SCOPED_TRACE(state);
        Materials m;
        TestModel model;
        FiniteElement* element =
            make_element(model, "quad4", add_nodes(model, quad_nodes), m, state);
        const Matrix M = element->mass_matrix(false);
        const Matrix L = element->mass_matrix(true);
        double block[2][2] = {{0, 0}, {0, 0}};
        for (unsigned i = 1; i <= 8; ++i) {
            double row_sum = 0.0;
            for (unsigned j = 1; j <= 8; ++j) {
                block[(i + 1) % 2][(j + 1) % 2] += M(i, j);
                row_sum += M(i, j);
                if (i != j) {
                    EXPECT_EQ(L(i, j), 0.0);
                }
            }
            EXPECT_NEAR(L(i, i), row_sum, 1e-12);
        }
        EXPECT_NEAR(block[0][0], expected[state], 1e-9);
        EXPECT_NEAR(block[1][1], expected[state], 1e-9);
        EXPECT_NEAR(block[0][1], 0.0, 1e-12);
    }
    Materials m;
    TestModel model;
    FiniteElement* hex = make_element(model, "hex8", add_nodes(model, box_nodes), m, 0);
    const Matrix M = hex->mass_matrix(false);
    double z_block = 0.0;
    for (unsigned i = 3; i <= 24; i += 3)
        for (unsigned j = 3; j <= 24; j += 3) z_block += M(i, j);
    EXPECT_NEAR(z_block, rho * 24.0, 1e-9);
}

// A pressure p on a face gives the total force -p (measure) n, n the outward unit
// normal, shared equally by the two nodes of a straight linear edge and in the
// ratios 1/6, 2/3, 1/6 along a quadratic one; plane stress scales with the
// thickness, the ring with 2 pi r, a hexahedron face with its area.
TEST(NumIntStructElement, PressureOnEveryFaceGivesItsTotalForceInward)
{
    const double p = 3.0;
    Materials m;
    for (const std::string kind : {"quad4", "tri3"}) {
        for (int state : {1, 2}) {
            std::vector<std::vector<double>> xyz = quad_nodes;
            if (kind == "tri3") xyz.pop_back();
            const unsigned n = static_cast<unsigned>(xyz.size());
            TestModel model;
            FiniteElement* element = make_element(model, kind, add_nodes(model, xyz), m, state);
            for (unsigned face = 1; face <= n; ++face) {
                SCOPED_TRACE(kind + " face " + std::to_string(face));
                const auto& from = xyz[face - 1];
                const auto& to = xyz[face % n];
                const double t = state == 2 ? 0.5 : 1.0;
                const Vector f = element->pressure_load(static_cast<int>(face), p,
                                                        KelVane::PressureFace::displaced);
                for (unsigned j = 0; j < n; ++j) {
                    const bool on_face = j == face - 1 || j == face % n;
                    EXPECT_NEAR(f(2 * j + 1), on_face ? -p * t * (to[1] - from[1]) / 2 : 0.0,
                                1e-12);
                    EXPECT_NEAR(f(2 * j + 2), on_face ? p * t * (to[0] - from[0]) / 2 : 0.0, 1e-12);
                }
            }
        }
    }
    {
        // Quadratic edge from (0,0) to (2,0) and the outer edge of a ring at r = 3.
        TestModel model;
        FiniteElement* quad8 = make_element(
            model, "quad8",
            add_nodes(model, {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}), m,
            1);
        const Vector f = quad8->pressure_load(1, p, KelVane::PressureFace::displaced);
        const double shares[3] = {1.0 / 6.0, 2.0 / 3.0, 1.0 / 6.0};
        for (unsigned j = 0; j < 3; ++j) EXPECT_NEAR(f(2 * j + 2), p * 2.0 * shares[j], 1e-12);
        FiniteElement* ring = make_element(
            model, "quad4", add_nodes(model, {{1, 0}, {3, 0}, {3, 2}, {1, 2}}), m, 3, 2);
        const Vector g = ring->pressure_load(2, p, KelVane::PressureFace::displaced);
        EXPECT_NEAR(g(3) + g(5), -p * 2.0 * pi * 3.0 * 2.0, 1e-9);
        EXPECT_NEAR(g(4) + g(6), 0.0, 1e-12);
    }
    // Faces eta = -1, eta = 1, zeta = -1, xi = 1, zeta = 1, xi = -1.
    TestModel model;
    FiniteElement* hex = make_element(model, "hex8", add_nodes(model, box_nodes), m, 0);
    const double normal_force[6][3] = {{0, 8, 0},   {0, -8, 0}, {0, 0, 6},
                                       {-12, 0, 0}, {0, 0, -6}, {12, 0, 0}};
    for (int face = 1; face <= 6; ++face) {
        const Vector f = hex->pressure_load(face, p, KelVane::PressureFace::displaced);
        for (unsigned k = 0; k < 3; ++k) {
            double total = 0.0;
            for (unsigned j = 0; j < 8; ++j) total += f(3 * j + k + 1);
            EXPECT_NEAR(total, p * normal_force[face - 1][k], 1e-9) << "face " << face;
        }
    }
}

// A follower pressure acts on the displaced face: an edge stretched to twice its
// length carries twice the load. On the undeformed face it keeps the load of the
// edge as drawn.
TEST(NumIntStructElement, PressureActsOnTheCurrentGeometry)
{
    Materials m;
    TestModel model;
    std::vector<MyNode*> nodes = add_nodes(model, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    FiniteElement* element = make_element(model, "quad4", nodes, m, 1);
    model.setup();
    impose(nodes, [](double, double y, double) { return Vector3(0, y, 0); });
    const Vector f = element->pressure_load(2, 1.0, KelVane::PressureFace::displaced);
    EXPECT_NEAR(f(3) + f(5), -2.0, 1e-12);
    const Vector g = element->pressure_load(2, 1.0, KelVane::PressureFace::undeformed);
    EXPECT_NEAR(g(3) + g(5), -1.0, 1e-12);
}

// Listing rows of one element under a known uniform stress (E = 1000, nu = 0:
// sigma = (1, -2, 0.25)); the nodal rows carry the expanded stress with Szz.
TEST(NumIntStructElement, ListingRowsAndHeadersAreExact)
{
    Elastic_type material(1);
    material.set_young(1000.0);
    KelVane::Geometry plate(1);
    plate.set_thick(1.0);
    TestModel model;
    std::vector<MyNode*> nodes = add_nodes(model, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    FiniteElement* element = model.add_element<Quad4>(
        17, model.node_array({nodes[0], nodes[1], nodes[2], nodes[3]}), &material, &plate, 2);
    model.setup();
    impose(nodes, [](double x, double y, double) {
        return Vector3(1e-3 * x + 2.5e-4 * y, 2.5e-4 * x - 2e-3 * y, 0);
    });
    element->update_state();

    std::ostringstream points, nodal;
    element->print_result_header(points);
    element->print_results(points);
    element->print_nodal_header(nodal);
    element->print_nodal_results(nodal);
    std::string row = "   1.000e+00  -2.000e+00   2.500e-01\n";
    EXPECT_EQ(points.str(), "\n             Sxx         Syy         Sxy\nelement 17\n      1" +
                                row + "      2" + row + "      3" + row + "      4" + row + "\n");
    row = "   1.000e+00  -2.000e+00   0.000e+00   2.500e-01\n";
    EXPECT_EQ(nodal.str(),
              "\n             Sxx         Syy         Szz         Sxy\nelement 17\n      1" + row +
                  "      2" + row + "      3" + row + "      4" + row + "\n");

    Materials m;
    TestModel other;
    FiniteElement* ring =
        make_element(other, "quad4", add_nodes(other, {{1, 0}, {2, 0}, {2, 1}, {1, 1}}), m, 3);
    FiniteElement* hex = make_element(other, "hex8", add_nodes(other, hex_nodes), m, 0);
    const std::string four = "\n             Sxx         Syy         Szz         Sxy\n";
    const std::string six =
        "\n             Sxx         Syy         Szz         Sxy         Syz         Szx\n";
    std::ostringstream headers;
    ring->print_result_header(headers);
    ring->print_nodal_header(headers);
    hex->print_result_header(headers);
    hex->print_nodal_header(headers);
    EXPECT_EQ(headers.str(), four + four + six + six);
}

// Result-file blocks: the structural layer's one-line header, the plane and solid
// headers with their component names, and value rows numbered across elements.
TEST(NumIntStructElement, ResultFileRowsAreExact)
{
    Materials m;
    TestModel model;
    std::vector<MyNode*> nodes = add_nodes(model, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}, {2, 1}});
    FiniteElement* first =
        make_element(model, "quad4", {nodes[0], nodes[1], nodes[2], nodes[3]}, m, 1);
    FiniteElement* second = make_element(model, "tri3", {nodes[1], nodes[4], nodes[5]}, m, 1, 2);
    FiniteElement* hex = make_element(model, "hex8", add_nodes(model, hex_nodes), m, 0, 3);
    model.setup();
    impose(nodes, [](double x, double, double) { return Vector3(1.5e-3 * x, 0, 0); });
    first->update_state();
    second->update_state();

    std::ostringstream os;
    result_mode = 1;
    gauss_point_counter = 99;
    dynamic_cast<NumIntStructElement*>(first)->NumIntStructElement::write_res_header(os, 12);
    EXPECT_EQ(gauss_point_counter, 0);
    first->write_res_header(os, 12);
    hex->write_res_header(os, 12);
    first->write_res_values(os);
    second->write_res_values(os);
    result_mode = 2;
    dynamic_cast<NumIntStructElement*>(first)->NumIntStructElement::write_res_header(os, 3);
    first->write_res_header(os, 3);
    second->write_res_values(os);
    result_mode = 5;
    first->write_res_header(os, 3);
    first->write_res_values(os);
    result_mode = 1;

    // sigma = D eps for plane strain, E = 1000, nu = 0.25: 1.2 eps_xx, 0.4 eps_xx.
    const std::string values = "   1.800e+00   6.000e-01   6.000e-01   0.000e+00\n";
    EXPECT_EQ(
        os.str(),
        "Stresses   1        12 3   1   0\n"
        "stresses            1          12       3       1       1\nSxx\nSyy\nSxy\nSzz\n"
        "stresses            1          12       3       1       1\nSxx\nSyy\nSzz\nSxy\nSyz\nSzx\n"
        "      1" +
            values + "      2" + values + "      3" + values + "      4" + values + "      5" +
            values +
            "Eq_Pl_strain   1         3 1   1   0\n"
            "Eq_Pl_strain        1           3       1       1       1\nEpeq\n"
            "      1   0.000e+00\n");
    EXPECT_EQ(gauss_point_counter, 0);
}

// Element means averaged onto the nodes: a node shared by two elements sums both
// means and counts two. Without plastic strain mode 2 adds nothing; with it every
// node gets the points' mean.
TEST(NumIntStructElement, NodalAveragesFollowTheResultMode)
{
    Materials m;
    TestModel model;
    std::vector<MyNode*> nodes = add_nodes(model, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}, {2, 1}});
    FiniteElement* left =
        make_element(model, "quad4", {nodes[0], nodes[1], nodes[2], nodes[3]}, m, 2);
    FiniteElement* right =
        make_element(model, "quad4", {nodes[1], nodes[4], nodes[5], nodes[2]}, m, 2, 2);
    model.setup();
    impose(nodes, [](double x, double, double) { return Vector3(x * x * 1e-3, 0, 0); });
    for (FiniteElement* element : {left, right}) element->update_state();

    for (int mode : {2, 1}) {
        result_mode = mode;
        for (MyNode* node : nodes) node->reset_average();
        left->add_nodal_average();
        right->add_nodal_average();
        if (mode == 2) {
            for (MyNode* node : nodes) EXPECT_EQ(node->average_count(), 0u);
        }
    }
    // Element strains 1e-3 and 3e-3 (the nodal values of x^2); plane stress
    // sigma_xx = E/(1 - nu^2) eps, sigma_yy = nu sigma_xx.
    const double s = 1000.0 / (1.0 - 0.0625) * 2e-3;
    EXPECT_EQ(nodes[0]->average_count(), 1u);
    EXPECT_EQ(nodes[1]->average_count(), 2u);
    ASSERT_EQ(nodes[1]->average_sum().size(), 4u);
    EXPECT_NEAR(nodes[0]->average_sum()(1), s * 0.5, 1e-12);
    EXPECT_NEAR(nodes[1]->average_sum()(1), s * 2.0, 1e-12);
    EXPECT_NEAR(nodes[1]->average_sum()(2), 0.25 * s * 2.0, 1e-12);

    VonMises_type steel(2);
    steel.set_young(1000.0);
    steel.set_poisson(0.3);
    steel.set_multiplier(100.0);
    steel.set_exponent(1.0);
    steel.set_yield_stress(1.0);
    TestModel plastic;
    std::vector<MyNode*> corners = add_nodes(plastic, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    FiniteElement* element = plastic.add_element<Quad4>(
        1, plastic.node_array({corners[0], corners[1], corners[2], corners[3]}), &steel, nullptr,
        1);
    plastic.setup();
    impose(corners, [](double x, double, double) { return Vector3(0.01 * x, 0, 0); });
    element->update_state();
    auto& point = dynamic_cast<KelVane::Structural_Point&>(
        dynamic_cast<NumIntElement*>(element)->get_point(1));
    bool has = false;
    const double eq = point.get_eq_plastic_strain(has);
    ASSERT_TRUE(has);
    ASSERT_GT(eq, 0.0);
    result_mode = 2;
    for (MyNode* node : corners) node->reset_average();
    element->add_nodal_average();
    result_mode = 1;
    for (MyNode* node : corners) {
        EXPECT_EQ(node->average_count(), 1u);
        EXPECT_NEAR(node->average_sum()(1), eq, 1e-12);
    }

    // The material works in the expanded formulation: the stiffness also fills f.
    Vector f(3, 7.0);
    element->stiffness_matrix(f);
    EXPECT_EQ(f.size(), 8u);
}

// Restart: the points' states round-trip through one array (4 points x 3 strains);
// an array with values left over, or too few, belongs to another model.
TEST(NumIntStructElement, RestartRoundTripOfThePoints)
{
    Materials m;
    TestModel model;
    std::vector<MyNode*> nodes = add_nodes(model, quad_nodes);
    FiniteElement* written = make_element(model, "quad4", nodes, m, 2);
    model.setup();
    impose(nodes, [](double x, double y, double) {
        return Vector3(1e-3 * x * y, -2e-3 * y + 1e-3 * x, 0);
    });
    written->update_state();
    written->accept();
    std::ostringstream os;
    written->write_restart(os);
    int count = 0;
    std::istringstream(os.str()) >> count;
    EXPECT_EQ(count, 12);

    TestModel fresh;
    auto* read = dynamic_cast<NumIntElement*>(
        make_element(fresh, "quad4", add_nodes(fresh, quad_nodes), m, 2));
    std::istringstream is(os.str());
    read->read_restart(is);
    auto* original = dynamic_cast<NumIntElement*>(written);
    for (int k = 1; k <= 4; ++k) {
        const Vector a =
            dynamic_cast<KelVane::Structural_Point&>(original->get_point(k)).get_stress();
        const Vector b = dynamic_cast<KelVane::Structural_Point&>(read->get_point(k)).get_stress();
        for (unsigned i = 1; i <= 3; ++i) EXPECT_EQ(a(i), b(i)) << "point " << k;
    }
    FiniteElement* triangle =
        make_element(fresh, "tri3", add_nodes(fresh, {{0, 0}, {1, 0}, {0, 1}}), m, 2);
    std::istringstream too_many(os.str());
    EXPECT_THROW(triangle->read_restart(too_many), KelVane::file_error);
    std::istringstream too_few("3\n1 \n2 \n3 \n\n");
    EXPECT_THROW(read->read_restart(too_few), KelVane::file_error);
}

// Dof records, symmetry flag, coordinate matrices and the refusals of the layer.
TEST(NumIntStructElement, DofsSymmetryCoordinatesAndRefusals)
{
    Materials m;
    TestModel model;
    FiniteElement* hex = make_element(model, "hex8", add_nodes(model, hex_nodes), m, 0);
    std::unique_ptr<LocalDof[]> dofs(hex->GetLocalDofs());
    double x, y, z;
    dofs[22].direction.get(x, y, z);
    EXPECT_EQ(dofs[22].node, 8u);
    EXPECT_EQ(x + 2 * y + 3 * z, 2.0);
    EXPECT_TRUE(hex->symmetric());

    Matrix X;
    getCoordinateMatrix(*hex, X, 3);
    EXPECT_EQ(X.size1(), 8u);
    EXPECT_EQ(X(7, 3), 3.0);
    EXPECT_EQ(X(3, 1), 2.2);
    try {
        getCoordinateMatrix(*hex, X, 1);
        ADD_FAILURE();
    } catch (const kelvaned_error& error) {
        EXPECT_STREQ(error.what(), "unknown nr. of nodal dimensions in getCoordinateMatrix()");
    }

    ThermoElastic_type thermo(3);
    thermo.set_young(1.0);
    std::vector<MyNode*> square = add_nodes(model, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    auto node_list = [&]() {
        return model.node_array({square[0], square[1], square[2], square[3]});
    };
    EXPECT_FALSE(model.add_element<Quad4>(2, node_list(), &thermo, nullptr, 1)->symmetric());

    // A quadrilateral given the dof count of a triangle.
    EXPECT_THROW(
        model.add_element<NumInt2D>(3, node_list(), 4, 6, &m.steel, nullptr, 1, 4)->GetLocalDofs(),
        kelvaned_error);
    // A ring element across the axis has points at negative radius.
    FiniteElement* across = model.add_element<Quad4>(
        4, model.node_array({square[0], square[1], square[2], square[3]}), &m.steel, nullptr, 3);
    TestModel axis;
    FiniteElement* ring =
        make_element(axis, "quad4", add_nodes(axis, {{-1, 0}, {1, 0}, {1, 1}, {-1, 1}}), m, 3);
    Vector f;
    EXPECT_THROW(ring->stiffness_matrix(f), kelvaned_error);
    EXPECT_NO_THROW(across->stiffness_matrix(f));

    LinearThermal_type heat(4);
    KelVane::Mass_type mass(5, 1.0);
    EXPECT_THROW(model.add_element<Quad4>(5, node_list(), &heat, nullptr, 1), kelvaned_error);
    EXPECT_THROW(model.add_element<Quad4>(6, node_list(), &mass, nullptr, 1), kelvaned_error);
}

// Input checks of an element group: a missing material, a missing geometry where
// the thickness is needed, a thickness not above 0 and a material that the
// element cannot use (not structural, or a bar's law) each count one error.
TEST(NumIntStructElement, CheckInputCountsErrors)
{
    Materials m;
    KelVane::Geometry thin(2);
    LinearThermal_type heat(4);
    NonlinearElastic_type bar_law(5);
    {
        CerrCapture capture;
        EXPECT_EQ(NumIntStructElement::check_input(nullptr, nullptr, 2, "quad4pss"), 2);
        EXPECT_EQ(capture.text(),
                  "no material group specified\nyou must specify a material reference\n"
                  "no geometry group specified\nyou must specify a geometry reference\n");
    }
    {
        CerrCapture capture;
        EXPECT_EQ(NumIntStructElement::check_input(&m.steel, &thin, 2, "quad4pss"), 1);
        EXPECT_EQ(capture.text(), "thickness <= 0; this is not allowed\n");
    }
    const std::string accepted = " element needs a linearelastic, xplinearelastic, vonmises, "
                                 "thermoelastic or thermoplastic material\n";
    CerrCapture capture;
    thin.set_thick(std::nan(""));
    EXPECT_EQ(NumIntStructElement::check_input(&m.steel, &thin, 2, "tri3pss"), 1);
    for (int state : {0, 1, 3})
        EXPECT_EQ(NumIntStructElement::check_input(&m.steel, nullptr, state, "hex8"), 0);
    EXPECT_EQ(NumIntStructElement::check_input(nullptr, nullptr, 1, "tri3psn"), 1);
    EXPECT_EQ(NumIntStructElement::check_input(&m.steel, &m.plate, 2, "tri3pss"), 0);
    const std::string before = capture.text();
    EXPECT_EQ(NumIntStructElement::check_input(&heat, nullptr, 1, "quad8psn"), 1);
    // The uniaxial law has points for bars only.
    for (int state : {0, 1, 3})
        EXPECT_EQ(NumIntStructElement::check_input(&bar_law, nullptr, state, "hex8"), 1);
    EXPECT_EQ(NumIntStructElement::check_input(&bar_law, &m.plate, 2, "quad4pss"), 1);
    EXPECT_EQ(capture.text().substr(before.size()),
              "quad8psn" + accepted + "hex8" + accepted + "hex8" + accepted + "hex8" + accepted +
                  "quad4pss" + accepted);
}

// The outline is drawn through the device map with the number centred on the mean
// device point (integer divisions truncating toward zero: -10/3 = -3); elements
// without outline draw nothing; the deformed outline adds the scaled displacement.
TEST(NumIntElement, DrawsTheOutlineWithItsNumberCentred)
{
    Materials m;
    TestModel model;
    std::vector<MyNode*> nodes = add_nodes(model, {{-1, -2}, {-3, -7}, {-6, -12}});
    FiniteElement* triangle = make_element(model, "tri3", nodes, m, 1, 7);
    FiniteElement* hex = make_element(model, "hex8", add_nodes(model, hex_nodes), m, 0);
    FiniteElement* bare = model.add_element<Quad4>(
        9, model.node_array({nodes[0], nodes[1], nodes[2], nodes[0]}), &m.steel, nullptr, 1, false);
    model.setup();
    DeviceMap map;
    impose(nodes, [](double, double, double) { return Vector3(1.0, -0.5, 0.0); });

    RecordingDC plain;
    triangle->draw(plain, map, true);
    triangle->draw_deformed(plain, map, false, 0.0f);
    hex->draw(plain, map, true);
    bare->draw(plain, map, true);
    bare->draw_deformed(plain, map, true, 2.0f);
    const std::vector<wxPoint> outline = {wxPoint(-1, 2), wxPoint(-3, 7), wxPoint(-6, 12)};
    ASSERT_EQ(plain.record().polygons.size(), 2u);
    EXPECT_EQ(plain.record().polygons[0], outline);
    EXPECT_EQ(plain.record().polygons[1], outline);
    ASSERT_EQ(plain.record().texts.size(), 1u);
    EXPECT_EQ(plain.record().texts[0].text, "7");
    EXPECT_EQ(plain.record().texts[0].position(), wxPoint(-3 - 3, 7 - 5));

    RecordingDC deformed;
    triangle->draw_deformed(deformed, map, false, 4.0f);
    ASSERT_EQ(deformed.record().polygons.size(), 1u);
    EXPECT_EQ(deformed.record().polygons[0],
              (std::vector<wxPoint>{wxPoint(3, 4), wxPoint(1, 9), wxPoint(-2, 14)}));
}
