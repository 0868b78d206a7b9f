#include <string>

#include <gtest/gtest.h>

#include "device_map.h"
#include "elastic.h"
#include "test_helpers.h"
#include "errors.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "material.h"
#include "point_mass.h"
#include "truss.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::CerrCapture;
using kv_test::TestModel;

// A point mass of 2 gives diag(2, ...) whatever the lumped flag, a zero stiffness
// with a zero force vector, and zero internal forces, for both leaf classes.
TEST(Mass, MatricesOfBothLeafClasses)
{
    KelVane::Mass_type material(1, 2.0);
    TestModel model;
    MyNode* node = model.add_node(1, 0.5, 0.5, 0.5);
    Mass* masses[] = {
        model.add_element<Mass2D>(1, model.node_array({node}), &material, nullptr),
        model.add_element<Mass3D>(2, model.node_array({node}), &material, nullptr),
    };
    for (Mass* mass : masses) {
        const unsigned n = mass->get_nr_local_dofs();
        for (bool lumped : {false, true}) {
            const Matrix M = mass->mass_matrix(lumped);
            ASSERT_EQ(M.size1(), n);
            ASSERT_EQ(M.size2(), n);
            for (unsigned i = 1; i <= n; ++i)
                for (unsigned j = 1; j <= n; ++j) EXPECT_EQ(M(i, j), i == j ? 2.0 : 0.0);
        }
        Vector f(1, 5.0);
        const Matrix K = mass->stiffness_matrix(f);
        ASSERT_EQ(K.size1(), n);
        ASSERT_EQ(K.size2(), n);
        ASSERT_EQ(f.size(), n);
        for (unsigned i = 1; i <= n; ++i) {
            EXPECT_EQ(f(i), 0.0);
            for (unsigned j = 1; j <= n; ++j) EXPECT_EQ(K(i, j), 0.0);
        }
        const Vector fint = mass->internal_forces();
        ASSERT_EQ(fint.size(), n);
        for (unsigned i = 1; i <= n; ++i) EXPECT_EQ(fint(i), 0.0);
        EXPECT_TRUE(mass->symmetric());
    }
    EXPECT_EQ(masses[0]->get_nr_local_dofs(), 2u);
    EXPECT_EQ(masses[1]->get_nr_local_dofs(), 3u);
}

// A spring of stiffness k = EA/L = 8 along x holds a point mass of 3 at its free
// end: the assembled stiffness has k on the x equation only (the y translation of
// the mass has none), the lumped mass has 3 on both translations.
TEST(Mass, AssembledWithABarOnTheSameNode)
{
    Elastic_type spring(1);
    spring.set_young(16.0);
    KelVane::Geometry geometry(1);
    geometry.set_crosse(1.0);
    KelVane::Mass_type material(2, 3.0);
    TestModel model;
    MyNode* support = model.add_node(1, 0.0, 0.0);
    MyNode* end = model.add_node(2, 2.0, 0.0);
    TestModel::fix(support, KelVane::displacement_type, Direction(1, 0, 0));
    model.add_element<Truss>(1, model.node_array({support, end}), &spring, &geometry);
    model.add_element<Mass2D>(2, model.node_array({end}), &material, nullptr);
    model.setup();
    ASSERT_EQ(model.n_free, 2u);

    const Matrix K = model.dense_stiffness();
    EXPECT_NEAR(K(1, 1), 8.0, 1e-14);
    EXPECT_EQ(K(1, 2), 0.0);
    EXPECT_EQ(K(2, 2), 0.0);
    const Matrix M = model.dense_mass(true);
    EXPECT_EQ(M(1, 1), 3.0);
    EXPECT_EQ(M(2, 2), 3.0);
    EXPECT_EQ(M(1, 2), 0.0);
}

// The input check wants a mass material with a positive mass and no geometry.
TEST(Mass, InputCheckCountsEveryError)
{
    KelVane::Mass_type good(1, 2.0);
    KelVane::Mass_type zero(2, 0.0);
    Elastic_type elastic(3);
    KelVane::Geometry geometry(1);
    const std::string kind = "mass element needs a mass material\n";
    const std::string no_mass = "mass <= 0; this is not allowed\n";
    const std::string no_geometry = "geometry definition is not allowed for mass element\n";
    kv_test::expect_input_checks(Mass::check_input, {
        {&good, nullptr, 0, ""},
        {nullptr, nullptr, 1, "no material group specified\nyou must specify a material reference\n"},
        {&zero, nullptr, 1, no_mass},
        {&zero, &geometry, 2, no_mass + no_geometry},
        {&good, &geometry, 1, no_geometry},
        {&elastic, nullptr, 1, kind},
    });
}

TEST(Mass, ConstructorRefusesAnotherMaterialKind)
{
    Elastic_type elastic(3);
    TestModel model;
    MyNode* node = model.add_node(1, 0.0, 0.0);
    try {
        Mass2D mass(1, model.node_array({node}), &elastic, nullptr);
        FAIL() << "a point mass was made with an elastic material";
    } catch (const kelvaned_error& e) {
        EXPECT_STREQ(e.what(), "mass element needs a mass material");
    }
}

// A dot of 4 pixels around the node's screen point, the number one text line above.
TEST(Mass, DrawsADotWithItsNumberAbove)
{
    KelVane::Mass_type material(1, 2.0);
    TestModel model;
    MyNode* node = model.add_node(1, 3.0, 4.0);
    Mass2D* mass = model.add_element<Mass2D>(5, model.node_array({node}), &material, nullptr);
    DeviceMap map;
    kv_test::RecordingDC dc;
    mass->draw(dc, map, true);
    ASSERT_EQ(dc.record().ellipses.size(), 1u);
    const auto& dot = dc.record().ellipses[0];
    EXPECT_EQ(dot.x, 1);
    EXPECT_EQ(dot.y, -6);
    EXPECT_EQ(dot.width, 4);
    EXPECT_EQ(dot.height, 4);
    ASSERT_EQ(dc.record().texts.size(), 1u);
    EXPECT_EQ(dc.record().texts[0].text, "5");
    EXPECT_EQ(dc.record().texts[0].x, 3);
    EXPECT_EQ(dc.record().texts[0].y, -4 - 10);

    model.setup();
    Vector du(2, 0.0);
    du(1) = 1.0;
    du(2) = -2.0;
    node->add_increment(du);
    kv_test::RecordingDC deformed;
    mass->draw_deformed(deformed, map, false, 3.0f);
    ASSERT_EQ(deformed.record().ellipses.size(), 1u);
    EXPECT_EQ(deformed.record().ellipses[0].x, 3 + 3 - 2);
    EXPECT_EQ(deformed.record().ellipses[0].y, -(4 - 6) - 2);
    EXPECT_TRUE(deformed.record().texts.empty());
}
