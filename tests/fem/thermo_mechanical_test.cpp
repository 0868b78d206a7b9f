// The thermo-mechanical elements: dof order, the blocks of the tangent against
// the structural and thermal elements and the hand value of the coupling,
// consistency of forces and tangent, thermal expansion free and restrained,
// mass, pressure, listing and refusals.

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "elastic.h"
#include "element_catalogue.h"
#include "errors.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "heat_conduction.h"
#include "heat_elements.h"
#include "plastic.h"
#include "process_values.h"
#include "thermo_mechanical.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::TestModel;

namespace {

const double E = 1000.0, nu = 0.25, alpha = 1e-3;

// E, nu and alpha as above; conduction 2, capacity rho c = 3 * 5 = 15. The
// elastic and heat conduction materials have the same parameters.
struct Materials {
    Materials()
    {
        for (Elastic_type* m : {static_cast<Elastic_type*>(&thermo), &elastic}) {
            m->set_young(E);
            m->set_poisson(nu);
            m->set_density(3.0);
        }
        for (LinearThermal_type* m : {static_cast<LinearThermal_type*>(&thermo), &heat}) {
            m->set_conduction(2.0);
            m->set_capacity(5.0);
        }
        heat.set_density(3.0);
        thermo.set_expansion(alpha);
        plate.set_thick(0.5);
    }
    ThermoElastic_type thermo{1};
    Elastic_type elastic{2};
    LinearThermal_type heat{3};
    KelVane::Geometry plate{1};
};

class ThermoMechanical : public ::testing::Test {
protected:
    ThermoMechanical() : saved_(current_time_step) { current_time_step = 0.5; }
    ~ThermoMechanical() override { current_time_step = saved_; }

    static KelVane::Node** array(const std::vector<MyNode*>& nodes)
    {
        KelVane::Node** list = new KelVane::Node*[nodes.size()];
        for (std::size_t k = 0; k < nodes.size(); ++k) list[k] = nodes[k];
        return list;
    }

    static std::vector<MyNode*> add_nodes(TestModel& model,
                                          const std::vector<std::vector<double>>& xy)
    {
        std::vector<MyNode*> nodes;
        for (const auto& p : xy)
            nodes.push_back(
                model.add_node(static_cast<std::uint32_t>(nodes.size() + 1), p[0], p[1]));
        return nodes;
    }

private:
    double saved_;
};

// The triangle (0,0), (4,0), (1,3) of area 6, and a distorted quadrilateral.
const std::vector<std::vector<double>> triangle = {{0, 0}, {4, 0}, {1, 3}};
const std::vector<std::vector<double>> quadrilateral = {{0.2, 0.1}, {2.1, 0.3}, {1.8, 1.7},
                                                        {0.3, 1.4}};

// One thermo-mechanical class with its purely structural twin.
struct Kind {
    std::string name;
    const std::vector<std::vector<double>>* nodes;
    int state;
    int points;
    std::function<FiniteElement*(TestModel&, KelVane::Node**, KelVane::Material_type*,
                                 KelVane::Geometry*)>
        make, make_structural;
};

const std::vector<Kind>& kinds()
{
    static const std::vector<Kind> all = {
        {"Tri3psnTherm", &triangle, 1, 1,
         [](TestModel& m, KelVane::Node** n, KelVane::Material_type* mat, KelVane::Geometry* g) {
             return m.add_element<Tri3psnTherm>(1, n, mat, g);
         },
         [](TestModel& m, KelVane::Node** n, KelVane::Material_type* mat, KelVane::Geometry* g) {
             return m.add_element<Tri3psn>(2, n, mat, g);
         }},
        {"Quad4psnTherm", &quadrilateral, 1, 4,
         [](TestModel& m, KelVane::Node** n, KelVane::Material_type* mat, KelVane::Geometry* g) {
             return m.add_element<Quad4psnTherm>(1, n, mat, g);
         },
         [](TestModel& m, KelVane::Node** n, KelVane::Material_type* mat, KelVane::Geometry* g) {
             return m.add_element<Quad4psn>(2, n, mat, g);
         }},
        {"Quad4pssTherm", &quadrilateral, 2, 4,
         [](TestModel& m, KelVane::Node** n, KelVane::Material_type* mat, KelVane::Geometry* g) {
             return m.add_element<Quad4pssTherm>(1, n, mat, g);
         },
         [](TestModel& m, KelVane::Node** n, KelVane::Material_type* mat, KelVane::Geometry* g) {
             return m.add_element<Quad4pss>(2, n, mat, g);
         }},
    };
    return all;
}

// Every displacement dof takes u(x, y), every temperature dof T(x, y).
void impose(const std::vector<MyNode*>& nodes, const std::function<Vector3(double, double)>& u,
            const std::function<double(double, double)>& T)
{
    for (MyNode* node : nodes) {
        double x, y, z, dx, dy, dz, ux, uy, uz;
        node->get_coordinates(x, y, z);
        u(x, y).get(ux, uy, uz);
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            KelVane::itincDof& dof = node->get_dof(i);
            if (dof.get_type() == KelVane::temperature_type) {
                dof.set_increment(T(x, y));
            } else {
                dof.get_direction().get(dx, dy, dz);
                dof.set_increment(ux * dx + uy * dy + uz * dz);
            }
        }
    }
}

Vector expanded_stress(FiniteElement* element, int k)
{
    auto* numint = dynamic_cast<NumIntElement*>(element);
    return dynamic_cast<KelVane::Structural_Point&>(numint->get_point(k)).get_stress_xp();
}

}  // namespace

// All displacements first, node by node, then all temperatures; the element
// creates x, y and a temperature at every node and is not symmetric.
TEST_F(ThermoMechanical, DisplacementDofsFirstThenTemperatures)
{
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        std::vector<MyNode*> nodes = add_nodes(model, *kind.nodes);
        FiniteElement* element = kind.make(model, array(nodes), &m.thermo, &m.plate);
        const std::uint32_t n = static_cast<std::uint32_t>(nodes.size());
        EXPECT_EQ(element->get_nr_local_dofs(), 3 * n);
        EXPECT_EQ(dynamic_cast<NumIntElement*>(element)->nr_points(), kind.points);
        EXPECT_EQ(dynamic_cast<NumIntStructElement*>(element)->get_stress_state(),
                  std::uint32_t(kind.state));
        EXPECT_FALSE(element->symmetric());

        LocalDof* dofs = element->GetLocalDofs();
        for (std::uint32_t j = 0; j < n; ++j) {
            for (std::uint32_t axis = 0; axis < 2; ++axis) {
                double x, y, z;
                dofs[2 * j + axis].direction.get(x, y, z);
                EXPECT_EQ(dofs[2 * j + axis].node, j + 1);
                EXPECT_EQ(dofs[2 * j + axis].type, KelVane::displacement_type);
                EXPECT_EQ(x, axis == 0 ? 1.0 : 0.0);
                EXPECT_EQ(y, axis == 1 ? 1.0 : 0.0);
            }
            EXPECT_EQ(dofs[2 * n + j].node, j + 1);
            EXPECT_EQ(dofs[2 * n + j].type, KelVane::temperature_type);
        }
        delete[] dofs;

        model.setup();
        for (MyNode* node : nodes) EXPECT_EQ(node->number_of_dofs(), 3u);
        EXPECT_EQ(model.n_free, 3 * n);
    }
}

// The tangent of the plane strain triangle: the structural block is the
// stiffness of a Tri3psn, the thermal block that of a Tri3therm, the block of
// temperature rows and displacement columns is zero, and the coupling is the
// closed form K_uT(u_i, T_j) = -E alpha b_i / (6 (1 - 2 nu)), with c_i for v_i
// (one point at the centroid, N_j = 1/3, B rows b_i / 2A and c_i / 2A).
TEST_F(ThermoMechanical, TriangleTangentBlocksAndCouplingByHand)
{
    Materials m;
    TestModel model;
    const std::vector<MyNode*> nodes = add_nodes(model, triangle);
    FiniteElement* element = model.add_element<Tri3psnTherm>(1, array(nodes), &m.thermo, nullptr);
    FiniteElement* structural = model.add_element<Tri3psn>(2, array(nodes), &m.elastic, nullptr);
    FiniteElement* thermal = model.add_element<Tri3therm>(3, array(nodes), &m.heat, nullptr);

    Vector untouched(1, 4.0);
    const Matrix K = element->stiffness_matrix(untouched);
    EXPECT_EQ(untouched.size(), 1u);  // an elastic material adds no force vector
    ASSERT_EQ(K.size1(), 9u);
    ASSERT_EQ(K.size2(), 9u);
    Vector unused;
    const Matrix Kuu = structural->stiffness_matrix(unused);
    const Matrix KTT = thermal->stiffness_matrix(unused);
    for (unsigned i = 1; i <= 6; ++i)
        for (unsigned j = 1; j <= 6; ++j) EXPECT_NEAR(K(i, j), Kuu(i, j), 1e-9);
    for (unsigned i = 1; i <= 3; ++i)
        for (unsigned j = 1; j <= 3; ++j) EXPECT_NEAR(K(6 + i, 6 + j), KTT(i, j), 1e-12);
    for (unsigned i = 7; i <= 9; ++i)
        for (unsigned j = 1; j <= 6; ++j) EXPECT_EQ(K(i, j), 0.0);

    const double b[3] = {0.0 - 3.0, 3.0 - 0.0, 0.0 - 0.0};
    const double c[3] = {1.0 - 4.0, 0.0 - 1.0, 4.0 - 0.0};
    const double factor = -E * alpha / (6.0 * (1.0 - 2.0 * nu));
    for (unsigned i = 0; i < 3; ++i) {
        for (unsigned j = 1; j <= 3; ++j) {
            EXPECT_NEAR(K(2 * i + 1, 6 + j), factor * b[i], 1e-12);
            EXPECT_NEAR(K(2 * i + 2, 6 + j), factor * c[i], 1e-12);
        }
    }

    // Without expansion there is no coupling.
    ThermoElastic_type cold(4);
    cold.set_young(E);
    cold.set_poisson(nu);
    cold.set_conduction(2.0);
    FiniteElement* uncoupled = model.add_element<Tri3psnTherm>(4, array(nodes), &cold, nullptr);
    const Matrix K0 = uncoupled->stiffness_matrix(unused);
    for (unsigned i = 1; i <= 6; ++i)
        for (unsigned j = 7; j <= 9; ++j) EXPECT_EQ(K0(i, j), 0.0);
}

// For the linear thermo-elastic element the internal forces of any state are
// the tangent times the increments that led to it: displacements and
// temperatures together, so the coupling block, its sign and the order of the
// update (temperature before strain) all enter.
TEST_F(ThermoMechanical, ForcesOfAnyStateAreTangentTimesIncrements)
{
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        std::vector<MyNode*> nodes = add_nodes(model, *kind.nodes);
        FiniteElement* element = kind.make(model, array(nodes), &m.thermo, &m.plate);
        model.setup();
        impose(
            nodes, [](double x, double y) { return Vector3(1e-3 * x * y + 2e-3, -3e-3 * x, 0.0); },
            [](double x, double y) { return 40.0 + 7.0 * x - 3.0 * y * y; });
        element->update_state();
        Vector unused;
        const Vector increments = element->get_dof_increments();
        const Vector expected = element->stiffness_matrix(unused) * increments;
        const Vector f = element->internal_forces();
        ASSERT_EQ(f.size(), expected.size());
        double scale = 0.0;
        for (unsigned i = 0; i < f.size(); ++i) scale = std::max(scale, std::fabs(f[i]));
        ASSERT_GT(scale, 1e-3);
        for (unsigned i = 0; i < f.size(); ++i) EXPECT_NEAR(f[i], expected[i], 1e-10 * scale);

        // With the displacements held, heating changes the structural forces
        // by K_uT dT alone.
        model.commit();
        impose(
            nodes, [](double, double) { return Vector3(0.0, 0.0, 0.0); },
            [](double x, double) { return 10.0 + 5.0 * x; });
        element->update_state();
        const Vector f_heated = element->internal_forces();
        const Matrix K = element->stiffness_matrix(unused);
        const std::uint32_t ns = 2 * static_cast<std::uint32_t>(nodes.size());
        const Vector dT = element->get_dof_increments();
        for (unsigned i = 1; i <= ns; ++i) {
            double coupled = 0.0;
            for (unsigned j = ns + 1; j <= dT.size(); ++j) coupled += K(i, j) * dT(j);
            EXPECT_NEAR(f_heated(i) - f(i), coupled, 1e-10 * scale);
        }
    }
}

// Free thermal expansion strains without stress: in plane stress the body
// grows by alpha dT in-plane; a plane strain slice cannot grow through its
// thickness, so it grows by (1 + nu) alpha dT in-plane and carries
// Szz = -E alpha dT. Restrained in-plane, a plane stress body carries
// Sxx = Syy = -E alpha dT / (1 - nu).
TEST_F(ThermoMechanical, ThermalExpansionFreeAndRestrained)
{
    const double dT = 50.0;
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        std::vector<MyNode*> nodes = add_nodes(model, *kind.nodes);
        FiniteElement* element = kind.make(model, array(nodes), &m.thermo, &m.plate);
        model.setup();
        const double growth = (kind.state == 1 ? 1.0 + nu : 1.0) * alpha * dT;
        impose(
            nodes, [growth](double x, double y) { return Vector3(growth * x, growth * y, 0.0); },
            [dT](double, double) { return dT; });
        element->update_state();
        for (int k = 1; k <= kind.points; ++k) {
            const Vector s = expanded_stress(element, k);
            ASSERT_EQ(s.size(), 4u);
            EXPECT_NEAR(s(1), 0.0, 1e-10);
            EXPECT_NEAR(s(2), 0.0, 1e-10);
            EXPECT_NEAR(s(3), kind.state == 1 ? -E * alpha * dT : 0.0, 1e-10);
            EXPECT_NEAR(s(4), 0.0, 1e-10);
        }
        const Vector f = element->internal_forces();
        for (unsigned i = 1; i <= 2 * nodes.size(); ++i) EXPECT_NEAR(f(i), 0.0, 1e-10);

        if (kind.state != 2) continue;
        impose(
            nodes, [](double, double) { return Vector3(0.0, 0.0, 0.0); },
            [dT](double, double) { return dT; });
        element->update_state();
        const double restrained = -E * alpha * dT / (1.0 - nu);
        for (int k = 1; k <= kind.points; ++k) {
            const Vector s = expanded_stress(element, k);
            EXPECT_NEAR(s(1), restrained, 1e-10);
            EXPECT_NEAR(s(2), restrained, 1e-10);
            EXPECT_NEAR(s(3), 0.0, 1e-10);
            EXPECT_NEAR(s(4), 0.0, 1e-10);
        }
        // The listing shows the stresses only, under the four-column header.
        std::ostringstream listing;
        element->print_nodal_header(listing);
        element->print_nodal_results(listing);
        const std::string row = "  -6.667e+01  -6.667e+01   0.000e+00   0.000e+00\n";
        EXPECT_EQ(listing.str(), "\n             Sxx         Syy         Szz         Sxy\n"
                                 "element 1\n      1" + row + "      2" + row + "      3" + row +
                                     "      4" + row + "\n");
        std::ostringstream per_point;
        element->print_result_header(per_point);
        EXPECT_EQ(per_point.str(), "\n             Sxx         Syy         Sxy\n");
    }
}

// Mass and pressure come from the structural layer; the temperature rows and
// columns, and the temperature entries of the load, are zero.
TEST_F(ThermoMechanical, MassAndPressureHaveNoTemperaturePart)
{
    Materials m;
    TestModel model;
    const std::vector<MyNode*> nodes = add_nodes(model, quadrilateral);
    FiniteElement* element = model.add_element<Quad4pssTherm>(1, array(nodes), &m.thermo, &m.plate);
    FiniteElement* structural = model.add_element<Quad4pss>(2, array(nodes), &m.elastic, &m.plate);
    for (bool lumped : {false, true}) {
        const Matrix M = element->mass_matrix(lumped);
        const Matrix Ms = structural->mass_matrix(lumped);
        ASSERT_EQ(M.size1(), 12u);
        ASSERT_EQ(M.size2(), 12u);
        ASSERT_GT(Ms(1, 1), 0.0);
        for (unsigned i = 1; i <= 12; ++i)
            for (unsigned j = 1; j <= 12; ++j)
                EXPECT_NEAR(M(i, j), i <= 8 && j <= 8 ? Ms(i, j) : 0.0, 1e-12);
    }
    for (int face = 1; face <= 4; ++face) {
        const Vector p = element->pressure_load(face, 3.0, KelVane::PressureFace::displaced);
        const Vector ps = structural->pressure_load(face, 3.0, KelVane::PressureFace::displaced);
        ASSERT_EQ(p.size(), 12u);
        for (unsigned i = 1; i <= 12; ++i) EXPECT_NEAR(p(i), i <= 8 ? ps(i) : 0.0, 1e-12);
    }
}

// A thermo-plastic material works in the expanded formulation in plane stress:
// the tangent then also gives a force vector of the element's size, with no
// temperature entries; below yield its tangent is the thermo-elastic one.
TEST_F(ThermoMechanical, ThermoPlasticMaterialBelowYield)
{
    Materials m;
    ThermoPlastic_type plastic(5);
    plastic.set_young(E);
    plastic.set_poisson(nu);
    plastic.set_multiplier(500.0);
    plastic.set_exponent(0.2);
    plastic.set_yield_stress(100.0);
    plastic.set_expansion(alpha);
    plastic.set_conduction(2.0);
    plastic.set_capacity(5.0);
    plastic.set_density(3.0);
    TestModel model;
    const std::vector<MyNode*> nodes = add_nodes(model, quadrilateral);
    FiniteElement* element = model.add_element<Quad4pssTherm>(1, array(nodes), &plastic, &m.plate);
    FiniteElement* elastic = model.add_element<Quad4pssTherm>(2, array(nodes), &m.thermo, &m.plate);
    ASSERT_TRUE(element->is_xp());
    Vector f;
    const Matrix K = element->stiffness_matrix(f);
    Vector unused;
    const Matrix Ke = elastic->stiffness_matrix(unused);
    ASSERT_EQ(f.size(), 12u);
    for (unsigned i = 9; i <= 12; ++i) EXPECT_EQ(f(i), 0.0);
    for (unsigned i = 1; i <= 12; ++i)
        for (unsigned j = 1; j <= 12; ++j) EXPECT_NEAR(K(i, j), Ke(i, j), 1e-9 * Ke(1, 1));
}

// The element needs a material that is structural and thermal at once.
TEST_F(ThermoMechanical, MaterialChecksAndRefusals)
{
    Materials m;
    KelVane::Geometry none(2);
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(NumIntThermoMechanicalElement::check_input(&m.thermo, nullptr, 1), 0);
        EXPECT_EQ(NumIntThermoMechanicalElement::check_input(&m.thermo, &m.plate, 2), 0);
        EXPECT_EQ(err.text(), "");
    }
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(NumIntThermoMechanicalElement::check_input(&m.thermo, nullptr, 2), 1);
        EXPECT_EQ(err.text(),
                  "no geometry group specified\nyou must specify a geometry reference\n");
    }
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(NumIntThermoMechanicalElement::check_input(&m.thermo, &none, 2), 1);
        EXPECT_EQ(err.text(), "thickness <= 0; this is not allowed\n");
    }
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(NumIntThermoMechanicalElement::check_input(&m.elastic, nullptr, 1), 1);
        EXPECT_EQ(err.text(),
                  "thermo-mechanical element needs a thermo-elastic or thermo-plastic material\n");
    }
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(NumIntThermoMechanicalElement::check_input(&m.heat, nullptr, 1), 1);
    }

    TestModel model;
    const std::vector<MyNode*> nodes = add_nodes(model, quadrilateral);
    KelVane::Material_type* elastic = &m.elastic;
    KelVane::Material_type* heat = &m.heat;
    for (KelVane::Material_type* wrong : {elastic, heat}) {
        try {
            Quad4psnTherm refused(6, array(nodes), wrong, nullptr);
            ADD_FAILURE() << "material " << wrong->number() << " was accepted";
        } catch (const kelvaned_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "element 6 needs a thermo-elastic or thermo-plastic material");
        }
    }
}
