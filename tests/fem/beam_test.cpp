#include <cmath>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "beam.h"
#include "device_map.h"
#include "elastic.h"
#include "test_helpers.h"
#include "errors.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "heat_conduction.h"
#include "material.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::CerrCapture;
using kv_test::TestModel;

namespace {

void set_elastic(Elastic_type& material, double E, double density = 0.0)
{
    material.set_young(E);
    material.set_density(density);
}

void set_section(KelVane::Geometry& geometry, double A, double I)
{
    geometry.set_crosse(A);
    geometry.set_iz(I);
}

void expect_matrix_near(const Matrix& actual, const Matrix& expected, double tolerance)
{
    ASSERT_EQ(actual.size1(), expected.size1());
    ASSERT_EQ(actual.size2(), expected.size2());
    for (unsigned i = 1; i <= expected.size1(); ++i)
        for (unsigned j = 1; j <= expected.size2(); ++j)
            EXPECT_NEAR(actual(i, j), expected(i, j), tolerance) << "entry " << i << "," << j;
}

// Fills the symmetric positions (rows, columns given by index lists) from an upper triangle.
void place_symmetric(Matrix& M, const unsigned (&index)[4], const double (&block)[4][4],
                     double factor)
{
    for (unsigned i = 0; i < 4; ++i)
        for (unsigned j = 0; j < 4; ++j) M(index[i], index[j]) = factor * block[i][j];
}

}  // namespace

// Local order (u1, w1, th1, u2, w2, th2): EA/L on the axial pair and the textbook
// bending block EI/L^3 [12, 6L, -12, 6L; 6L, 4L^2, -6L, 2L^2; ...], whatever the
// orientation of the beam in the plane.
TEST(LinBeam2d, StiffnessAgainstHandValues)
{
    const double E = 3.0, A = 0.5, I = 0.25, L = 2.0;
    Elastic_type material(1);
    set_elastic(material, E);
    KelVane::Geometry geometry(1);
    set_section(geometry, A, I);
    TestModel model;
    MyNode* n1 = model.add_node(1, 1.0, 2.0);
    MyNode* n2 = model.add_node(2, 1.0 - 1.2, 2.0 + 1.6);
    LinBeam2d* beam = model.add_element<LinBeam2d>(1, model.node_array({n1, n2}), &material, &geometry);

    Matrix expected(6, 6, 0.0);
    const double a = E * A / L;
    expected(1, 1) = expected(4, 4) = a;
    expected(1, 4) = expected(4, 1) = -a;
    const double bending[4][4] = {{12, 6 * L, -12, 6 * L},
                                  {6 * L, 4 * L * L, -6 * L, 2 * L * L},
                                  {-12, -6 * L, 12, -6 * L},
                                  {6 * L, 2 * L * L, -6 * L, 4 * L * L}};
    place_symmetric(expected, {2, 3, 5, 6}, bending, E * I / (L * L * L));

    Vector f(1, 7.0);
    expect_matrix_near(beam->stiffness_matrix(f), expected, 1e-13);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f(1), 7.0);
}

// Consistent mass in local axes: rho A L / 6 [2 1; 1 2] on the axial pair and
// rho A L / 420 [156, 22L, 54, -13L; 22L, 4L^2, 13L, -3L^2; ...] in bending. Lumped:
// half the mass on each translation and rho A L^3 / 78 on each rotation.
TEST(LinBeam2d, ConsistentAndLumpedMassAgainstHandValues)
{
    const double rho = 2.0, A = 0.5, L = 3.0, m = rho * A * L;
    Elastic_type material(1);
    set_elastic(material, 100.0, rho);
    KelVane::Geometry geometry(1);
    set_section(geometry, A, 0.1);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 0.0, -L);
    LinBeam2d* beam = model.add_element<LinBeam2d>(1, model.node_array({n1, n2}), &material, &geometry);

    Matrix consistent(6, 6, 0.0);
    consistent(1, 1) = consistent(4, 4) = m / 3.0;
    consistent(1, 4) = consistent(4, 1) = m / 6.0;
    const double bending[4][4] = {{156, 22 * L, 54, -13 * L},
                                  {22 * L, 4 * L * L, 13 * L, -3 * L * L},
                                  {54, 13 * L, 156, -22 * L},
                                  {-13 * L, -3 * L * L, -22 * L, 4 * L * L}};
    place_symmetric(consistent, {2, 3, 5, 6}, bending, m / 420.0);
    expect_matrix_near(beam->mass_matrix(false), consistent, 1e-13);

    Matrix lumped(6, 6, 0.0);
    lumped(1, 1) = lumped(2, 2) = lumped(4, 4) = lumped(5, 5) = m / 2.0;
    lumped(3, 3) = lumped(6, 6) = rho * A * L * L * L / 78.0;
    expect_matrix_near(beam->mass_matrix(true), lumped, 1e-13);
}

// A cantilever of four elements, inclined at 30 degrees and clamped in global x, y
// and rotation at its root, under a tip load P along the beam normal: the tip
// deflects P L^3 / (3 E I) and turns P L^2 / (2 E I); an axial load Q stretches it
// by Q L / (E A). The root carries Sy = P and Mz = P L, the tip Mz = 0.
TEST(LinBeam2d, CantileverTipDeflectionThroughTheSparseMatrix)
{
    const double E = 210.0, A = 2.0, I = 0.5, L = 4.0, P = 3.0, Q = 5.0;
    const double c = std::cos(M_PI / 6.0), s = std::sin(M_PI / 6.0);
    const int elements = 4;
    Elastic_type material(1);
    set_elastic(material, E);
    KelVane::Geometry geometry(1);
    set_section(geometry, A, I);
    TestModel model;
    std::vector<MyNode*> nodes;
    for (int k = 0; k <= elements; ++k)
        nodes.push_back(model.add_node(k + 1, 1.0 + c * L * k / elements, -2.0 + s * L * k / elements));
    TestModel::fix(nodes[0], KelVane::displacement_type, Direction(1, 0, 0));
    TestModel::fix(nodes[0], KelVane::displacement_type, Direction(0, 1, 0));
    TestModel::fix(nodes[0], KelVane::rotation_type, Direction(0, 0, 1));
    std::vector<LinBeam2d*> beams;
    for (int k = 0; k < elements; ++k)
        beams.push_back(model.add_element<LinBeam2d>(
            k + 1, model.node_array({nodes[k], nodes[k + 1]}), &material, &geometry));
    model.setup();
    ASSERT_EQ(model.n_free, 3u * elements);

    KelVane::SystemVector loads = model.system_vector();
    MyNode* tip = nodes.back();
    tip->add_load(KelVane::Dof::force, Direction(-s, c, 0.0), P, loads);
    tip->add_load(KelVane::Dof::force, Direction(c, s, 0.0), Q, loads);
    model.solve_step(loads);

    double x, y, z;
    tip->displacement().get(x, y, z);
    const double deflection = -s * x + c * y;
    const double stretch = c * x + s * y;
    EXPECT_NEAR(deflection, P * L * L * L / (3.0 * E * I), 1e-12);
    EXPECT_NEAR(stretch, Q * L / (E * A), 1e-12);
    const Vector tip_values = beams.back()->get_dof_values();
    EXPECT_NEAR(tip_values(6), P * L * L / (2.0 * E * I), 1e-12);

    const Vector root = beams.front()->section_forces(0.0, beams.front()->get_dof_values());
    EXPECT_NEAR(root(1), Q, 1e-10);
    EXPECT_NEAR(root(2), P, 1e-10);
    EXPECT_NEAR(root(3), P * L, 1e-10);
    const Vector end = beams.back()->section_forces(1.0, tip_values);
    EXPECT_NEAR(end(3), 0.0, 1e-10);

    // The end forces kept by the elements balance the loads at the free dofs.
    const KelVane::SystemVector internal = model.internal_forces();
    for (unsigned i = 1; i <= model.n_free; ++i)
        EXPECT_NEAR(internal.free_part()(i), loads.free_part()(i), 1e-10) << "equation " << i;

    // A second, equal step doubles the end forces of the accepted first one.
    model.commit();
    const Vector first = beams.front()->internal_forces();
    model.solve_step(loads);
    const Vector second = beams.front()->internal_forces();
    for (unsigned i = 1; i <= 6; ++i) EXPECT_NEAR(second(i), 2.0 * first(i), 1e-10);
}

// With u = (0, 0, 0, 0.5, 1, 1.5), E = A = I = L = 1: Nx = 0.5, Sy = 12 - 9 = 3,
// Mz = 6 - 3 = 3 at node 1 and -6 + 6 = 0 at node 2.
TEST(LinBeam2d, ListingRowsShowSectionForcesAtBothEnds)
{
    Elastic_type material(1);
    set_elastic(material, 1.0);
    KelVane::Geometry geometry(1);
    set_section(geometry, 1.0, 1.0);
    TestModel model;
    MyNode* n1 = model.add_node(11, 0.0, 0.0);
    MyNode* n2 = model.add_node(12, 1.0, 0.0);
    LinBeam2d* beam = model.add_element<LinBeam2d>(5, model.node_array({n1, n2}), &material, &geometry);
    model.setup();
    ASSERT_EQ(model.n_free, 6u);
    Vector du(6, 0.0);
    du(4) = 0.5;
    du(5) = 1.0;
    du(6) = 1.5;
    n2->add_increment(du);

    std::ostringstream listing;
    beam->print_nodal_header(listing);
    beam->print_nodal_results(listing);
    EXPECT_EQ(listing.str(),
              "\n                 Nx          Sy          Mz \n"
              "element 5\n"
              " node   11    5.000e-01   3.000e+00   3.000e+00\n"
              "        12    5.000e-01   3.000e+00   0.000e+00\n\n");

    std::ostringstream results;
    beam->print_result_header(results);
    beam->print_results(results);
    EXPECT_EQ(results.str(), listing.str());
}

TEST(LinBeam2d, LocalDofsFollowTheAxisInThePlane)
{
    Elastic_type material(1);
    set_elastic(material, 1.0);
    KelVane::Geometry geometry(1);
    set_section(geometry, 1.0, 1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 1.0, 1.0, 2.0);
    MyNode* n2 = model.add_node(2, 4.0, 5.0, 2.0);
    LinBeam2d* beam = model.add_element<LinBeam2d>(1, model.node_array({n1, n2}), &material, &geometry);

    const double expected[3][3] = {{0.6, 0.8, 0.0}, {-0.8, 0.6, 0.0}, {0.0, 0.0, 1.0}};
    const KelVane::dof_type types[3] = {KelVane::displacement_type, KelVane::displacement_type,
                                        KelVane::rotation_type};
    LocalDof* local = beam->GetLocalDofs();
    for (std::uint32_t k = 0; k < 6; ++k) {
        double x, y, z;
        local[k].direction.get(x, y, z);
        EXPECT_EQ(local[k].node, k / 3 + 1);
        EXPECT_EQ(local[k].type, types[k % 3]);
        EXPECT_NEAR(x, expected[k % 3][0], 1e-15);
        EXPECT_NEAR(y, expected[k % 3][1], 1e-15);
        EXPECT_NEAR(z, expected[k % 3][2], 1e-15);
    }
    delete[] local;

    MyNode* lifted = model.add_node(3, 4.0, 5.0, 2.001);
    LinBeam2d* tilted =
        model.add_element<LinBeam2d>(2, model.node_array({n1, lifted}), &material, &geometry);
    try {
        delete[] tilted->GetLocalDofs();
        FAIL() << "a beam out of the x-y plane gave local dofs";
    } catch (const kelvaned_error& e) {
        EXPECT_STREQ(e.what(), "2D beam element should be parallel to the x-y plane");
    }
}

// The input check counts missing references, a section that is not positive (one
// error for both properties) and a material without an elastic part.
TEST(LinBeam2d, InputCheckCountsEveryError)
{
    Elastic_type linear(1);
    Elastic_type_xp expanded(2);
    ThermoElastic_type thermoelastic(3);
    NonlinearElastic_type nonlinear(4);
    LinearThermal_type thermal(5);
    KelVane::Mass_type mass(6, 1.0);
    KelVane::Geometry good(1), no_area(2), no_inertia(3), nothing(4);
    set_section(good, 1.0, 1.0);
    set_section(no_area, 0.0, 1.0);
    set_section(no_inertia, 1.0, -1.0);
    const std::string kind =
        "beam2d element needs an elastic material (linearelastic, xplinearelastic or "
        "thermoelastic)\n";
    const std::string section = "cross section or moment of inertia <= 0; this is not allowed\n";
    kv_test::expect_input_checks(LinBeam2d::check_input, {
        {nullptr, nullptr, 2,
         "no material group specified\nyou must specify a material reference\n"
         "no geometry group specified\nyou must specify a geometry reference\n"},
        {&linear, &good, 0, ""},
        {&expanded, &good, 0, ""},
        {&thermoelastic, &good, 0, ""},
        {&linear, &no_area, 1, section},
        {&linear, &no_inertia, 1, section},
        {&linear, &nothing, 1, section},
        {&nonlinear, &good, 1, kind},
        {&thermal, &good, 1, kind},
        {&mass, &nothing, 2, kind + section},
    });
}

TEST(LinBeam2d, ConstructorRefusesAMaterialWithoutElasticPart)
{
    NonlinearElastic_type nonlinear(4);
    KelVane::Mass_type mass(6, 1.0);
    KelVane::Geometry geometry(1);
    set_section(geometry, 1.0, 1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 1.0, 0.0);
    for (KelVane::Material_type* material : {static_cast<KelVane::Material_type*>(&nonlinear),
                                             static_cast<KelVane::Material_type*>(&mass)}) {
        EXPECT_THROW(LinBeam2d(1, model.node_array({n1, n2}), material, &geometry), kelvaned_error);
    }
}

TEST(LinBeam2d, RestartRecordRestoresTheEndForces)
{
    Elastic_type material(1);
    set_elastic(material, 1.0);
    ThermoElastic_type thermoelastic(2);
    thermoelastic.set_young(1.0);
    KelVane::Geometry geometry(1);
    set_section(geometry, 1.0, 1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 1.0, 0.0);
    LinBeam2d* written = model.add_element<LinBeam2d>(3, model.node_array({n1, n2}), &material, &geometry);
    model.setup();
    Vector du(6, 0.0);
    du(5) = 1.0;
    n2->add_increment(du);
    written->update_state();
    written->accept();
    EXPECT_TRUE(written->symmetric());

    std::stringstream record;
    written->write_restart_data(record);
    EXPECT_EQ(record.str().rfind("E3\n6\n", 0), 0u) << record.str();

    LinBeam2d read(3, model.node_array({n1, n2}), &thermoelastic, &geometry);
    EXPECT_FALSE(read.symmetric());
    read.read_restart_data(record);
    const Vector expected = written->internal_forces();
    const Vector restored = read.internal_forces();
    EXPECT_NEAR(expected(2), -12.0, 1e-14);
    for (unsigned i = 1; i <= 6; ++i) EXPECT_DOUBLE_EQ(restored(i), expected(i));

    // Only a record of exactly six end forces fits.
    for (const char* text : {"E3\n7\n1 \n2 \n3 \n4 \n5 \n6 \n7 \n\n", "E3\n5\n1 \n2 \n3 \n4 \n5 \n\n"}) {
        std::istringstream wrong(text);
        EXPECT_THROW(read.read_restart_data(wrong), KelVane::file_error) << text;
    }
}

// The deflected curve in 8 segments: a beam from (0, 0) to (8, 0) whose end moves
// by 1 across, drawn at scale 2, passes through (4, 1) at mid-length
// (3 xi^2 - 2 xi^3 = 1/2), where the number stands. Before the element has dofs
// the curve is the straight beam.
TEST(LinBeam2d, DrawsTheDeflectedCurveInEightSegments)
{
    Elastic_type material(1);
    set_elastic(material, 1.0);
    KelVane::Geometry geometry(1);
    set_section(geometry, 1.0, 1.0);
    TestModel model;
    MyNode* n1 = model.add_node(1, 0.0, 0.0);
    MyNode* n2 = model.add_node(2, 8.0, 0.0);
    LinBeam2d* beam = model.add_element<LinBeam2d>(9, model.node_array({n1, n2}), &material, &geometry);
    DeviceMap map;
    map.set_scale(10.0f);

    kv_test::RecordingDC straight;
    beam->draw_deformed(straight, map, true, 1.0f);
    ASSERT_EQ(straight.record().lines.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(straight.record().lines[i].x2, static_cast<int>(10 * (i + 1)));
        EXPECT_EQ(straight.record().lines[i].y2, 0);
    }

    model.setup();
    Vector du(6, 0.0);
    du(5) = 1.0;
    n2->add_increment(du);
    kv_test::RecordingDC deflected;
    beam->draw_deformed(deflected, map, true, 2.0f);
    const auto& lines = deflected.record().lines;
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].x1, 0);
    EXPECT_EQ(lines[0].y1, 0);
    EXPECT_EQ(lines[3].x2, 40);
    EXPECT_EQ(lines[3].y2, -10);
    EXPECT_EQ(lines[7].x2, 80);
    EXPECT_EQ(lines[7].y2, -20);
    for (std::size_t i = 1; i < 8; ++i) {
        EXPECT_EQ(lines[i].x1, lines[i - 1].x2);
        EXPECT_EQ(lines[i].y1, lines[i - 1].y2);
        EXPECT_LE(lines[i].y2, lines[i - 1].y2);
    }
    ASSERT_EQ(deflected.record().texts.size(), 1u);
    EXPECT_EQ(deflected.record().texts[0].text, "9");
    EXPECT_EQ(deflected.record().texts[0].x, 40);
    EXPECT_EQ(deflected.record().texts[0].y, -10);

    // A beam of zero length has no axis; it is drawn, not refused.
    LinBeam2d* point_like = model.add_element<LinBeam2d>(10, model.node_array({n1, n1}), &material, &geometry);
    kv_test::RecordingDC degenerate;
    EXPECT_NO_THROW(point_like->draw_deformed(degenerate, map, false, 1.0f));
    EXPECT_EQ(degenerate.record().lines.size(), 8u);
}
