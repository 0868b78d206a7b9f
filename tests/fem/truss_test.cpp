#include <cmath>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "device_map.h"
#include "elastic.h"
#include "test_helpers.h"
#include "errors.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "heat_conduction.h"
#include "material.h"
#include "plastic.h"
#include "truss.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::CerrCapture;
using kv_test::TestModel;

namespace {

Elastic_type elastic(double E, double density = 0.0)
{
    Elastic_type material(1);
    material.set_young(E);
    material.set_density(density);
    return material;
}

KelVane::Geometry cross_section(double A)
{
    KelVane::Geometry geometry(1);
    geometry.set_crosse(A);
    return geometry;
}

}  // namespace

// Whatever the orientation, a bar that joins nodes with x, y and z dofs has the
// global stiffness EA/L [ n n^T, -n n^T; -n n^T, n n^T ] with n its unit axis; in
// the plane this is the textbook EA/L [c^2 cs; cs s^2] block pattern.
TEST(Truss, GlobalStiffnessOfAnInclinedBarForEveryOrientation)
{
    const double E = 200.0, A = 0.5;
    const double axes[][3] = {{3, 4, 0}, {1, 0, 0}, {0, 2, 0}, {-1, 1, 0}, {1, 2, 2}, {0, -3, 4}};
    for (const auto& axis : axes) {
        Elastic_type material = elastic(E);
        KelVane::Geometry geometry = cross_section(A);
        TestModel model;
        MyNode* n1 = model.add_node(1, 1.0, -1.0, 0.5);
        MyNode* n2 = model.add_node(2, 1.0 + axis[0], -1.0 + axis[1], 0.5 + axis[2]);
        for (MyNode* node : {n1, n2})
            for (const Direction& d : {Direction(1, 0, 0), Direction(0, 1, 0), Direction(0, 0, 1)})
                node->add_dof(KelVane::free_status, KelVane::displacement_type, d);
        model.add_element<Truss>(1, model.node_array({n1, n2}), &material, &geometry);
        model.setup();
        ASSERT_EQ(model.n_free, 6u);

        const double L = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        const double n[3] = {axis[0] / L, axis[1] / L, axis[2] / L};
        const Matrix K = model.dense_stiffness();
        for (unsigned i = 0; i < 6; ++i)
            for (unsigned j = 0; j < 6; ++j) {
                const double sign = (i < 3) == (j < 3) ? 1.0 : -1.0;
                EXPECT_NEAR(K[i][j], sign * E * A / L * n[i % 3] * n[j % 3], 1e-9)
                    << "axis (" << axis[0] << "," << axis[1] << "," << axis[2] << ") entry " << i
                    << "," << j;
            }
    }
}

// Two bars of length 5 hang from supports at (-3, 4) and (3, 4) and carry a load P
// at (0, 0). Each bar pulls with N = P / (2 sin a), sin a = 4/5, and the loaded node
// drops by v = P L / (2 E A sin^2 a).
TEST(Truss, TwoBarHangerSolvedThroughTheSparseMatrix)
{
    const double E = 100.0, A = 1.0, P = 16.0, L = 5.0, sin_a = 0.8;
    Elastic_type material = elastic(E);
    KelVane::Geometry geometry = cross_section(A);
    TestModel model;
    MyNode* left = model.add_node(1, -3.0, 4.0);
    MyNode* right = model.add_node(2, 3.0, 4.0);
    MyNode* hook = model.add_node(3, 0.0, 0.0);
    for (MyNode* support : {left, right}) {
        TestModel::fix(support, KelVane::displacement_type, Direction(1, 0, 0));
        TestModel::fix(support, KelVane::displacement_type, Direction(0, 1, 0));
    }
    Truss* bar1 = model.add_element<Truss>(1, model.node_array({left, hook}), &material, &geometry);
    Truss* bar2 = model.add_element<Truss>(2, model.node_array({right, hook}), &material, &geometry);
    model.setup();
    ASSERT_EQ(model.n_free, 2u);
    ASSERT_EQ(model.n_fixed, 4u);

    KelVane::SystemVector loads = model.system_vector();
    hook->add_load(KelVane::Dof::force, Direction(0, -1, 0), P, loads);
    model.solve_step(loads);

    double x, y, z;
    hook->displacement().get(x, y, z);
    EXPECT_NEAR(x, 0.0, 1e-12);
    EXPECT_NEAR(y, -P * L / (2.0 * E * A * sin_a * sin_a), 1e-12);
    const double N = P / (2.0 * sin_a);
    EXPECT_NEAR(bar1->get_point().get_stress()(1), N / A, 1e-12);
    EXPECT_NEAR(bar2->get_point().get_stress()(1), N / A, 1e-12);

    // Equilibrium: the internal forces balance the load at the free dofs, and the
    // reactions (internal forces at the fixed dofs) hold the load up.
    const KelVane::SystemVector internal = model.internal_forces();
    for (unsigned i = 1; i <= model.n_free; ++i)
        EXPECT_NEAR(internal.free_part()(i), loads.free_part()(i), 1e-12);
    double vertical_reaction = 0.0;
    for (MyNode* support : {left, right})
        for (std::uint32_t k = 0; k < support->number_of_dofs(); ++k) {
            const KelVane::itincDof& dof = support->get_dof(k);
            double dx, dy, dz;
            dof.get_direction().get(dx, dy, dz);
            vertical_reaction += dy * internal.fixed_part()(dof.get_global_nr());
        }
    EXPECT_NEAR(vertical_reaction, P, 1e-12);
}

// A bar along x of length 2 with A = 1 and E = 4 has k = 2; an end displacement of
// 0.2 gives strain 0.1, stress 0.4 and end forces (-0.4, 0.4). Repeating the update
// within the step replaces the state; a second step starts from the accepted one.
TEST(Truss, StrainStressAndInternalForcesFollowTheDisplacement)
{
    Elastic_type material = elastic(4.0);
    KelVane::Geometry geometry = cross_section(1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 2.0, 0.0);
    Truss* truss = model.add_element<Truss>(1, model.node_array({n1, n2}), &material, &geometry);
    model.setup();
    ASSERT_EQ(model.n_free, 2u);

    Vector f(5, 9.0);
    const Matrix K = truss->stiffness_matrix(f);
    EXPECT_DOUBLE_EQ(K(1, 1), 2.0);
    EXPECT_DOUBLE_EQ(K(1, 2), -2.0);
    EXPECT_DOUBLE_EQ(K(2, 1), -2.0);
    EXPECT_DOUBLE_EQ(K(2, 2), 2.0);
    ASSERT_EQ(f.size(), 8u);
    for (unsigned i = 1; i <= 8; ++i) EXPECT_EQ(f(i), 0.0) << i;

    Vector du(2, 0.0);
    du(2) = 0.2;
    n2->add_increment(du);
    truss->update_state();
    truss->update_state();
    EXPECT_NEAR(truss->get_point().get_stress()(1), 0.4, 1e-15);
    Vector fint = truss->internal_forces();
    EXPECT_NEAR(fint(1), -0.4, 1e-15);
    EXPECT_NEAR(fint(2), 0.4, 1e-15);

    model.commit();
    n2->add_increment(du);
    truss->update_state();
    EXPECT_NEAR(truss->get_point().get_stress()(1), 0.8, 1e-15);
    fint = truss->internal_forces();
    EXPECT_NEAR(fint(2), 0.8, 1e-15);
}

// The stiffness follows the point's tangent: a nonlinear elastic bar (E = 1) at
// strain 3 has the tangent E / sqrt(1 + 3) = 0.5 and the stress 2E (sqrt(4) - 1) = 2.
TEST(Truss, StiffnessUsesTheCurrentTangentOfANonlinearMaterial)
{
    NonlinearElastic_type material(1);
    material.set_young(1.0);
    KelVane::Geometry geometry = cross_section(3.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 0.0, 2.0);
    Truss* truss = model.add_element<Truss>(1, model.node_array({n1, n2}), &material, &geometry);
    model.setup();

    Vector du(2, 0.0);
    du(2) = 6.0;
    n2->add_increment(du);
    truss->update_state();
    Vector f;
    EXPECT_DOUBLE_EQ(truss->stiffness_matrix(f)(1, 1), 3.0 * 0.5 / 2.0);
    EXPECT_DOUBLE_EQ(truss->internal_forces()(2), 3.0 * 2.0);
}

// m = rho A L = 1.5 * 2 * 2 = 6: consistent (m/3, m/6; m/6, m/3), lumped
// diag(m/2, m/2), in every direction the nodes move. Nodes that move in x, y and
// z get it in each; nodes that move only along the bar get it along the bar, as
// its axial mass; the bar creates no dof across itself.
TEST(Truss, ConsistentAndLumpedMassInEveryDirectionTheNodesMove)
{
    Elastic_type material = elastic(1.0, 1.5);
    KelVane::Geometry geometry = cross_section(2.0);
    for (const bool everywhere : {true, false}) {
        TestModel model;
        MyNode* n1 = model.add_node(1, 1.0, 1.0);
        MyNode* n2 = model.add_node(2, 1.0 + 1.2, 1.0 + 1.6);
        if (everywhere)
            for (MyNode* node : {n1, n2})
                for (const Direction& d :
                     {Direction(1, 0, 0), Direction(0, 1, 0), Direction(0, 0, 1)})
                    node->add_dof(KelVane::free_status, KelVane::displacement_type, d);
        model.add_element<Truss>(1, model.node_array({n1, n2}), &material, &geometry);
        model.setup();
        const unsigned per_node = everywhere ? 3 : 1;
        ASSERT_EQ(model.n_free, 2 * per_node);
        const Matrix consistent = model.dense_mass(false);
        const Matrix lumped = model.dense_mass(true);
        for (unsigned i = 0; i < 2 * per_node; ++i)
            for (unsigned j = 0; j < 2 * per_node; ++j) {
                const bool same_direction = i % per_node == j % per_node;
                const double expected = !same_direction ? 0.0 : i == j ? 2.0 : 1.0;
                EXPECT_NEAR(consistent[i][j], expected, 1e-14) << everywhere << i << j;
                EXPECT_NEAR(lumped[i][j], i == j ? 3.0 : 0.0, 1e-14) << everywhere << i << j;
            }
    }
}

// The input check counts missing references, a cross section that is not positive
// and a material that cannot give a structural point, each with its message.
TEST(Truss, InputCheckCountsEveryError)
{
    Elastic_type linear = elastic(1.0);
    NonlinearElastic_type nonlinear(2);
    LinearThermal_type thermal(3);
    KelVane::Mass_type mass(4, 1.0);
    ThermoElastic_type thermoelastic(5);
    // Laws without an elasticity matrix of the uniaxial state.
    Elastic_type_xp expanded(6);
    VonMises_type plastic(7);
    ThermoPlastic_type thermoplastic(8);
    KelVane::Geometry good = cross_section(1.0);
    KelVane::Geometry zero = cross_section(0.0);
    KelVane::Geometry not_a_number = cross_section(std::nan(""));
    const std::string kind =
        "truss element needs a linearelastic, nonlinearelastic or thermoelastic material\n";
    const std::string area = "cross section <= 0; this is not allowed\n";
    kv_test::expect_input_checks(Truss::check_input, {
        {nullptr, nullptr, 2,
         "no material group specified\nyou must specify a material reference\n"
         "no geometry group specified\nyou must specify a geometry reference\n"},
        {&linear, nullptr, 1, "no geometry group specified\nyou must specify a geometry reference\n"},
        {&linear, &good, 0, ""},
        {&nonlinear, &good, 0, ""},
        {&linear, &zero, 1, area},
        {&linear, &not_a_number, 1, area},
        {&thermal, &good, 1, kind},
        {&mass, &good, 1, kind},
        {&mass, &zero, 2, kind + area},
        {&thermoelastic, &good, 0, ""},
        {&expanded, &good, 1, kind},
        {&plastic, &good, 1, kind},
        {&thermoplastic, &zero, 2, kind + area},
    });
}

// A material that cannot give a uniaxial structural point never reaches an
// analysis, even past the input check.
TEST(Truss, ConstructorRefusesANonStructuralMaterial)
{
    LinearThermal_type thermal(3);
    KelVane::Mass_type mass(4, 1.0);
    VonMises_type plastic(5);
    KelVane::Geometry geometry = cross_section(1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 1.0, 0.0);
    for (KelVane::Material_type* material : {static_cast<KelVane::Material_type*>(&thermal),
                                             static_cast<KelVane::Material_type*>(&mass),
                                             static_cast<KelVane::Material_type*>(&plastic)}) {
        try {
            Truss truss(1, model.node_array({n1, n2}), material, &geometry);
            FAIL() << "a truss was made with a non-structural material";
        } catch (const kelvaned_error& e) {
            EXPECT_STREQ(e.what(),
                         "truss element needs a linearelastic, nonlinearelastic or thermoelastic "
                         "material");
        }
    }
}

TEST(Truss, LocalDofsRunAlongTheAxisAndAZeroLengthBarHasNone)
{
    Elastic_type material = elastic(1.0);
    KelVane::Geometry geometry = cross_section(1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 1.0, 1.0, 1.0);
    MyNode* n2 = model.add_node(2, 4.0, 1.0, 5.0);
    Truss* truss = model.add_element<Truss>(1, model.node_array({n1, n2}), &material, &geometry);
    LocalDof* local = truss->GetLocalDofs();
    for (std::uint32_t k = 0; k < 2; ++k) {
        double x, y, z;
        local[k].direction.get(x, y, z);
        EXPECT_EQ(local[k].node, k + 1);
        EXPECT_EQ(local[k].type, KelVane::displacement_type);
        EXPECT_NEAR(x, 0.6, 1e-15);
        EXPECT_NEAR(y, 0.0, 1e-15);
        EXPECT_NEAR(z, 0.8, 1e-15);
    }
    delete[] local;

    Truss* point_like = model.add_element<Truss>(2, model.node_array({n1, n1}), &material, &geometry);
    try {
        delete[] point_like->GetLocalDofs();
        FAIL() << "a bar of zero length gave local dofs";
    } catch (const KelVane::program_error& e) {
        EXPECT_STREQ(e.what(), "illegal direction, length = 0");
    }
}

TEST(Truss, ListingRows)
{
    Elastic_type material = elastic(4.0);
    KelVane::Geometry geometry = cross_section(1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 2.0, 0.0);
    Truss* truss = model.add_element<Truss>(12, model.node_array({n1, n2}), &material, &geometry);
    model.setup();
    Vector du(2, 0.0);
    du(2) = -0.2;
    n2->add_increment(du);
    truss->update_state();

    std::ostringstream nodal;
    truss->print_nodal_header(nodal);
    truss->print_nodal_results(nodal);
    EXPECT_EQ(nodal.str(),
              "\n             Sxx         Syy         Szz\n"
              "element 12\n"
              "         -4.000e-01   0.000e+00   0.000e+00\n\n");

    std::ostringstream point;
    truss->print_result_header(point);
    truss->print_results(point);
    EXPECT_EQ(point.str(),
              "\n             Sxx\n"
              "element 12\n"
              "         -4.000e-01\n\n");
}

// The restart record is the point's state: a new truss that reads it has the
// stress of the one that wrote it.
TEST(Truss, RestartRecordRestoresThePointState)
{
    Elastic_type material = elastic(4.0);
    KelVane::Geometry geometry = cross_section(1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 2.0, 0.0);
    Truss* written = model.add_element<Truss>(7, model.node_array({n1, n2}), &material, &geometry);
    model.setup();
    Vector du(2, 0.0);
    du(2) = 0.2;
    n2->add_increment(du);
    written->update_state();
    written->accept();

    std::stringstream record;
    written->write_restart_data(record);
    EXPECT_EQ(record.str().rfind("E7\n1\n", 0), 0u) << record.str();

    Truss read(7, model.node_array({n1, n2}), &material, &geometry);
    read.read_restart_data(record);
    EXPECT_NEAR(read.get_point().get_stress()(1), 0.4, 1e-15);

    // A record with more values than the point takes back (that of a thermo-elastic
    // bar) does not belong to this model.
    std::istringstream longer("E7\n2\n0.1 \n20 \n\n");
    EXPECT_THROW(read.read_restart_data(longer), KelVane::file_error);
    std::istringstream shorter("E7\n0\n\n");
    EXPECT_THROW(read.read_restart_data(shorter), KelVane::file_error);
}

// The bar is a line between its nodes on the screen, its number at the truncated
// midpoint: screen points (0, 0) and (5, 3) put it at (2, 1). Deformed, the nodes
// move by the scaled displacement.
TEST(Truss, DrawsALineWithItsNumberAtTheMidpoint)
{
    Elastic_type material = elastic(1.0);
    KelVane::Geometry geometry = cross_section(1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 5.0, -3.0);
    Truss* truss = model.add_element<Truss>(7, model.node_array({n1, n2}), &material, &geometry);
    DeviceMap map;

    kv_test::RecordingDC plain;
    truss->draw(plain, map, true);
    ASSERT_EQ(plain.record().lines.size(), 1u);
    const auto& line = plain.record().lines[0];
    EXPECT_EQ(line.x1, 0);
    EXPECT_EQ(line.y1, 0);
    EXPECT_EQ(line.x2, 5);
    EXPECT_EQ(line.y2, 3);
    ASSERT_EQ(plain.record().texts.size(), 1u);
    EXPECT_EQ(plain.record().texts[0].text, "7");
    EXPECT_EQ(plain.record().texts[0].x, 2);
    EXPECT_EQ(plain.record().texts[0].y, 1);

    // Node 2 moves along the bar axis by (1, -0.6); scaled by 5 it lands on (10, -6).
    model.setup();
    Vector du(2, 0.0);
    du(2) = std::sqrt(34.0) / 5.0;
    n2->add_increment(du);
    kv_test::RecordingDC deformed;
    truss->draw_deformed(deformed, map, false, 5.0f);
    ASSERT_EQ(deformed.record().lines.size(), 1u);
    EXPECT_EQ(deformed.record().lines[0].x2, 10);
    EXPECT_EQ(deformed.record().lines[0].y2, 6);
    EXPECT_TRUE(deformed.record().texts.empty());
}
