#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "common/matrix_helpers.h"
#include "elastic.h"
#include "errors.h"
#include "fem/test_helpers.h"

using KelVane::CollectArray;
using KelVane::Material_Point;
using KelVane::Matrix;
using KelVane::Structural_Point;
using KelVane::Thermal_Point;
using KelVane::Vector;
using kv_test::expect_vector_near;
using kv_test::make_point;
using kv_test::make_vector;

namespace {

// A strain of the stress state's size with distinct non-zero components.
Vector sample_strain(int state, double scale)
{
    Vector strain(StressSize(state));
    for (unsigned int i = 1; i <= strain.size(); ++i)
        strain(i) = scale * (i % 2 == 1 ? 1.0 : -0.5) * i;
    return strain;
}

Elastic_type make_elastic(double E, double nu)
{
    Elastic_type material(1);
    material.set_young(E);
    material.set_poisson(nu);
    return material;
}

} // namespace

TEST(ElasticType, SettersStoreCheckAndCount)
{
    Elastic_type material(2);
    EXPECT_EQ(0.0, material.young());
    EXPECT_EQ(0.0, material.poisson());

    testing::internal::CaptureStderr();
    EXPECT_EQ(0, material.set_young(1e5));
    EXPECT_EQ(0, material.set_poisson(0.0));
    EXPECT_EQ(0, material.set_poisson(0.5));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_young(0.0));
    EXPECT_EQ(0.0, material.young());
    EXPECT_EQ(1, material.set_young(-3.0));
    EXPECT_EQ(-3.0, material.young());
    EXPECT_EQ(1, material.set_poisson(0.51));
    EXPECT_EQ(0.51, material.poisson());
    EXPECT_EQ(1, material.set_poisson(-0.1));
    EXPECT_EQ(1, material.set_young(std::nan("")));
    EXPECT_EQ("Youngs modulus <= 0; this is not allowed\n"
              "Youngs modulus <= 0; this is not allowed\n"
              "Poisson's ratio must be between 0 and 0.5; input error\n"
              "Poisson's ratio must be between 0 and 0.5; input error\n"
              "Youngs modulus <= 0; this is not allowed\n",
              testing::internal::GetCapturedStderr());

    NonlinearElastic_type nonlinear(3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, nonlinear.set_young(2.0));
    EXPECT_EQ(1, nonlinear.set_young(0.0));
    EXPECT_EQ("Youngs modulus <= 0; this is not allowed\n",
              testing::internal::GetCapturedStderr());

    ThermoElastic_type thermo(4);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, thermo.set_expansion(1.2e-5));
    EXPECT_EQ(1.2e-5, thermo.expansion());
    EXPECT_EQ(1, thermo.set_expansion(0.0));
    EXPECT_EQ("expansion coefficient <= 0; this is not allowed\n",
              testing::internal::GetCapturedStderr());
}

TEST(ElasticType, ThermoElasticJoinsBothBranchesOverOneMaterial)
{
    ThermoElastic_type thermo(3);
    EXPECT_FALSE(thermo.symmetric());
    auto point = make_point<ThermoElastic_Point>(thermo, 1);
    EXPECT_NE(nullptr, dynamic_cast<Structural_Point*>(point.get()));
    EXPECT_NE(nullptr, dynamic_cast<Thermal_Point*>(point.get()));

    // One material number and one density, reached through either branch.
    thermo.set_density(2.0);
    const Elastic_type& as_elastic = thermo;
    const LinearThermal_type& as_thermal = thermo;
    EXPECT_EQ(2.0, as_elastic.density());
    EXPECT_EQ(2.0, as_thermal.density());
    EXPECT_EQ(3u, as_thermal.number());

    Elastic_type_xp expanded(2);
    EXPECT_TRUE(expanded.is_xp(2));
    make_point<Elastic_Point_xp>(expanded, 2);
}

TEST(ElasticPoint, PlaneStrainStressAndOutOfPlaneStress)
{
    const Elastic_type material = make_elastic(1.0, 0.25);
    Elastic_Point point(material, 1);
    point.add_strain_increment(make_vector({1.0, 0.0, 0.0}));
    expect_vector_near(make_vector({1.2, 0.4, 0.0}), point.get_stress(), 1e-12);
    expect_vector_near(make_vector({1.2, 0.4, 0.4, 0.0}), point.get_stress_xp(), 1e-12);
}

TEST(ElasticPoint, StressIsTangentTimesStrainForEveryState)
{
    const double E = 200.0, nu = 0.3;
    const Elastic_type material = make_elastic(E, nu);
    for (int state = 0; state <= 4; ++state) {
        Elastic_Point point(material, state);
        const Vector strain = sample_strain(state, 1e-3);
        point.add_strain_increment(strain);
        const Matrix D = iso_lin_elas_D_mat(E, nu, StressSize(state), state);
        expect_vector_near(D * strain, point.get_stress(), 1e-12);

        // 3-D and axisymmetric points have nothing to expand.
        if (state == 0 || state == 3)
            expect_vector_near(point.get_stress(), point.get_stress_xp(), 1e-12);
        if (state == 2 || state == 4)
            expect_vector_near(point.expand(point.get_stress()), point.get_stress_xp(), 0.0);
    }
}

TEST(ElasticPoint, IncrementsAreMeasuredFromTheConvergedState)
{
    const double E = 100.0, nu = 0.2;
    const Elastic_type material = make_elastic(E, nu);
    for (int state = 0; state <= 4; ++state) {
        Elastic_Point point(material, state);
        const Matrix D = iso_lin_elas_D_mat(E, nu, StressSize(state), state);
        const Vector first = sample_strain(state, 1e-3);
        const Vector second = sample_strain(state, 4e-3);

        point.add_strain_increment(first);
        point.add_strain_increment(second); // replaces the first
        expect_vector_near(D * second, point.get_stress(), 1e-12);

        point.accept();
        expect_vector_near(D * second, point.get_stress(), 1e-12);
        point.add_strain_increment(first);
        expect_vector_near(D * (first + second), point.get_stress(), 1e-12);
        point.add_strain_increment(Vector(StressSize(state), 0.0));
        expect_vector_near(D * second, point.get_stress(), 1e-12);
    }
}

TEST(ElasticPoint, BarHasNoExpandedTangent)
{
    const Elastic_type material = make_elastic(100.0, 0.2);
    Elastic_Point bar(material, 4);
    bar.add_strain_increment(Vector(1, 0.01));
    expect_vector_near(make_vector({1.0, 0.0, 0.0}), bar.get_stress_xp(), 1e-12);
    try {
        bar.get_tangent_xp();
        FAIL();
    } catch (const KelVane::program_error& error) {
        EXPECT_STREQ("wrong stress type in iso_lin_elas_D_mat()", error.what());
    }
}

TEST(ElasticPoint, IncompressibleMaterialStopsWhereItsMatrixWouldBeInfinite)
{
    Elastic_type material(1);
    material.set_young(10.0);
    EXPECT_EQ(0, material.set_poisson(0.5));

    Elastic_Point plane_strain(material, 1);
    plane_strain.add_strain_increment(sample_strain(1, 1e-3));
    EXPECT_THROW(plane_strain.get_stress(), kelvaned_error);
    // Plane stress remains finite.
    Elastic_Point plane_stress(material, 2);
    plane_stress.add_strain_increment(make_vector({1e-3, 0.0, 0.0}));
    EXPECT_NEAR(10.0 / 0.75 * 1e-3, plane_stress.get_stress()(1), 1e-12);
}

TEST(ElasticPointXp, PlaneStressFindsItsThicknessStrain)
{
    const double E = 70.0, nu = 0.25;
    Elastic_type_xp material(1);
    material.set_young(E);
    material.set_poisson(nu);
    Elastic_Point_xp point(material, 2);

    const Vector increment = make_vector({2e-3, -5e-4, 1e-3});
    point.add_strain_increment(increment);
    const Vector stress_xp = point.get_stress_xp();
    EXPECT_NEAR(0.0, stress_xp(3), 1e-12);
    // sigma33 = 0 gives eps33 = -nu/(1-nu) (eps11 + eps22).
    const double eps33 = -nu / (1.0 - nu) * (2e-3 - 5e-4);
    const double expected_stress_11 = E / (1 - nu * nu) * (2e-3 + nu * -5e-4);
    EXPECT_NEAR(expected_stress_11, stress_xp(1), 1e-12);
    const Vector plane = iso_lin_elas_D_mat(E, nu, 3, 2) * increment;
    expect_vector_near(plane, point.get_stress(), 1e-12);

    // The same increment again has nothing left to correct.
    point.add_strain_increment(increment);
    expect_vector_near(stress_xp, point.get_stress_xp(), 1e-14);

    // After accept the thickness strain is converged state: a zero increment keeps it.
    point.accept();
    point.add_strain_increment(Vector(3, 0.0));
    expect_vector_near(stress_xp, point.get_stress_xp(), 1e-14);

    CollectArray buffer;
    point.collect(buffer);
    ASSERT_EQ(4u, buffer.size());
    EXPECT_NEAR(eps33, buffer[2], 1e-15);
    Elastic_Point_xp read(material, 2);
    read.distribute(buffer);
    expect_vector_near(stress_xp, read.get_stress_xp(), 0.0);
}

TEST(ElasticPointXp, AgreesWithTheLinearPointWhereNothingIsCondensed)
{
    const double E = 70.0, nu = 0.25;
    Elastic_type_xp material(1);
    material.set_young(E);
    material.set_poisson(nu);
    for (int state : {0, 1, 3}) {
        Elastic_Point_xp xp(material, state);
        Elastic_Point linear(material, state);
        const Vector strain = sample_strain(state, 1e-3);
        xp.add_strain_increment(strain);
        linear.add_strain_increment(strain);
        expect_vector_near(linear.get_stress(), xp.get_stress(), 1e-12);
        expect_vector_near(linear.get_stress_xp(), xp.get_stress_xp(), 1e-12);
        expect_vector_near(Vector(StressSize(state), 0.0), [&] {
            Matrix D;
            Vector f;
            xp.condensed_tangent(D, f);
            return f;
        }(), 0.0);
    }
    Elastic_Point_xp bar(material, 4);
    EXPECT_THROW(bar.get_tangent(), KelVane::program_error);
}

TEST(NonlinearElasticPoint, FollowsItsLawAndTangent)
{
    NonlinearElastic_type material(1);
    material.set_young(1.0);
    NonlinearElastic_Point point(material, 4);
    EXPECT_DOUBLE_EQ(1.0, point.get_tangent()(1, 1));

    point.add_strain_increment(Vector(1, -3.0));
    EXPECT_DOUBLE_EQ(-2.0, point.get_stress()(1));
    EXPECT_DOUBLE_EQ(0.5, point.get_tangent()(1, 1));

    point.add_strain_increment(Vector(1, 0.44)); // sqrt(1.44) = 1.2
    EXPECT_NEAR(0.4, point.get_stress()(1), 1e-14);
    EXPECT_NEAR(1.0 / 1.2, point.get_tangent()(1, 1), 1e-14);
    expect_vector_near(make_vector({0.4, 0.0, 0.0}), point.get_stress_xp(), 1e-14);

    point.accept();
    point.add_strain_increment(Vector(1, 2.56)); // total 3 -> sqrt(4) = 2
    EXPECT_NEAR(2.0, point.get_stress()(1), 1e-14);

    CollectArray buffer;
    point.collect(buffer);
    NonlinearElastic_Point read(material, 4);
    read.distribute(buffer);
    EXPECT_NEAR(0.4, read.get_stress()(1), 1e-14);

    try {
        point.get_tangent_xp();
        FAIL();
    } catch (const kelvaned_error& error) {
        EXPECT_STREQ("no contraction data available for nonlinear elasticity", error.what());
    }
}

TEST(NonlinearElasticPoint, OnlyTheUniaxialStateIsAllowed)
{
    NonlinearElastic_type material(1);
    for (int state = 0; state <= 3; ++state) {
        try {
            std::unique_ptr<Material_Point> point(material.create_point(state));
            FAIL() << state;
        } catch (const kelvaned_error& error) {
            EXPECT_STREQ("only uniaxial nonlinear elasticity is allowed", error.what());
        }
    }
}

namespace {

ThermoElastic_type make_thermoelastic(double E, double nu, double alpha)
{
    ThermoElastic_type material(1);
    material.set_young(E);
    material.set_poisson(nu);
    material.set_expansion(alpha);
    material.set_conduction(2.0);
    material.set_capacity(3.0);
    material.set_density(5.0);
    return material;
}

} // namespace

TEST(ThermoElasticPoint, RestrainedPlaneStrainHeatingGivesHydrostaticCompression)
{
    const double E = 100.0, nu = 0.25, alpha = 1e-3, dT = 20.0;
    const ThermoElastic_type material = make_thermoelastic(E, nu, alpha);
    ThermoElastic_Point point(material, 1);
    EXPECT_EQ(alpha, point.get_expansion());

    // The temperature reaches the point through its thermal interface.
    Thermal_Point& thermal = point;
    thermal.set_temperature_increment(dT);
    point.add_strain_increment(Vector(3, 0.0));

    const double sigma = -E * alpha * dT / (1.0 - 2.0 * nu);
    expect_vector_near(make_vector({sigma, sigma, sigma, 0.0}), point.get_stress_xp(), 1e-12);
    expect_vector_near(make_vector({sigma, sigma, 0.0}), point.get_stress(), 1e-12);

    Material_Point& base = point;
    base.accept();
    point.add_strain_increment(Vector(3, 0.0));
    thermal.set_temperature_increment(0.0);
    expect_vector_near(make_vector({sigma, sigma, sigma, 0.0}), point.get_stress_xp(), 1e-12);
    // The thermal part was accepted as well: its temperature is converged.
    CollectArray buffer;
    point.collect(buffer);
    ASSERT_EQ(7u, buffer.size());
    EXPECT_EQ(dT, buffer[3]);
}

TEST(ThermoElasticPoint, FreeExpansionIsStressFree)
{
    const double E = 100.0, nu = 0.3, alpha = 2e-3, dT = 5.0;
    const ThermoElastic_type material = make_thermoelastic(E, nu, alpha);
    const double free = alpha * dT;
    const Vector free_strain[] = {make_vector({free, free, free, 0, 0, 0}),
                                  make_vector({free, free, 0}), make_vector({free, free, 0}),
                                  make_vector({free, free, free, 0}), make_vector({free})};
    for (int state = 0; state <= 4; ++state) {
        if (state == 1)
            continue; // a plane-strain slice is restrained through its thickness
        ThermoElastic_Point point(material, state);
        point.set_temperature_increment(dT);
        point.add_strain_increment(free_strain[state]);
        SCOPED_TRACE(state);
        expect_vector_near(Vector(StressSize(state), 0.0), point.get_stress(), 1e-12);
        expect_vector_near(Vector(ExpandedStressSize(state), 0.0), point.get_stress_xp(), 1e-12);
    }

    // A restrained bar: sigma = -E alpha dT.
    ThermoElastic_Point bar(material, 4);
    bar.set_temperature_increment(dT);
    bar.add_strain_increment(Vector(1, 0.0));
    EXPECT_NEAR(-E * free, bar.get_stress()(1), 1e-12);
    // The temperature increment is measured from the converged state too.
    bar.set_temperature_increment(2.0 * dT);
    bar.add_strain_increment(Vector(1, 0.0));
    EXPECT_NEAR(-2.0 * E * free, bar.get_stress()(1), 1e-12);
}

TEST(ThermoElasticPoint, RestartRecordHoldsStrainThermalPartAndThermalStrain)
{
    const double E = 100.0, nu = 0.25, alpha = 1e-3;
    const ThermoElastic_type material = make_thermoelastic(E, nu, alpha);
    ThermoElastic_Point written(material, 1);
    written.set_temperature_increment(10.0);
    written.set_gradient_increment(make_vector({1.5, -0.5}));
    written.add_strain_increment(make_vector({1e-3, 2e-3, 3e-3}));
    written.accept();

    CollectArray buffer;
    static_cast<const Material_Point&>(written).collect(buffer);
    // strain (3), temperature, gradient (2), thermal strain
    ASSERT_EQ(7u, buffer.size());
    EXPECT_NEAR(1e-3 - 1e-2, buffer[0], 1e-15);
    EXPECT_EQ(10.0, buffer[3]);
    EXPECT_EQ(1.5, buffer[4]);
    EXPECT_EQ(-0.5, buffer[5]);
    EXPECT_NEAR(1e-2, buffer[6], 1e-15);

    ThermoElastic_Point read(material, 1);
    static_cast<Material_Point&>(read).distribute(buffer);
    expect_vector_near(written.get_stress_xp(), read.get_stress_xp(), 0.0);
    expect_vector_near(written.get_flux(), read.get_flux(), 0.0);
}
