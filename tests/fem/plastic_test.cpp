#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "common/matrix_helpers.h"
#include "errors.h"
#include "fem/test_helpers.h"
#include "plastic.h"

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

// E = 1000, nu = 0.25: G = 400, K = 2000/3. Nadai law 20 (eps0 + eps_p)^0.5
// with an initial yield stress of 10, so eps0 = 0.25.
const double E = 1000.0;
const double nu = 0.25;
const double G = 400.0;
const double K = 2000.0 / 3.0;

void set_parameters(VonMises_type& material, double C, double n, double sigma_y0)
{
    EXPECT_EQ(0, material.set_young(E));
    EXPECT_EQ(0, material.set_poisson(nu));
    EXPECT_EQ(0, material.set_multiplier(C));
    EXPECT_EQ(0, material.set_exponent(n));
    EXPECT_EQ(0, material.set_yield_stress(sigma_y0));
}

struct Steel {
    Steel(double C = 20.0, double n = 0.5, double sigma_y0 = 10.0) : material(1)
    {
        set_parameters(material, C, n, sigma_y0);
    }
    VonMises_type material;
};

// A strain of the stress state's size with distinct components of both signs.
Vector sample_strain(int state, double scale)
{
    const double pattern[6] = {1.0, -0.4, 0.25, 0.7, -0.3, 0.5};
    Vector strain(StressSize(state));
    for (unsigned int i = 1; i <= strain.size(); ++i)
        strain(i) = scale * pattern[i - 1];
    return strain;
}

// Full strain of the expanded size for the states that have no condensed
// component (plane strain puts 0 out of plane).
Vector expanded_strain(int state, const Vector& strain)
{
    if (state != 1)
        return strain;
    return make_vector({strain(1), strain(2), 0.0, strain(3)});
}

// Deviator and von Mises equivalent of an expanded stress (tensor shear).
Vector deviator(const Vector& stress)
{
    Vector s = stress;
    const double mean = (stress(1) + stress(2) + stress(3)) / 3.0;
    for (unsigned int i = 1; i <= 3; ++i)
        s(i) -= mean;
    return s;
}

double von_mises(const Vector& stress)
{
    const Vector s = deviator(stress);
    double sum = 0.0;
    for (unsigned int i = 1; i <= s.size(); ++i)
        sum += (i <= 3 ? 1.0 : 2.0) * s(i) * s(i);
    return std::sqrt(1.5 * sum);
}

// Elastic trial stress of an expanded strain: 2G dev(e) with tensor shear,
// plus K tr(e) on the normal components.
Vector trial_stress(const Vector& strain)
{
    const double trace = strain(1) + strain(2) + strain(3);
    Vector stress(strain.size());
    for (unsigned int i = 1; i <= strain.size(); ++i)
        stress(i) = i <= 3 ? 2.0 * G * (strain(i) - trace / 3.0) + K * trace : G * strain(i);
    return stress;
}

// A new point with the converged state of another, through its restart record.
std::unique_ptr<VonMises_Point> clone(const VonMises_Point& point, const VonMises_type& material,
                                      int state)
{
    CollectArray record;
    point.collect(record);
    auto copy = std::make_unique<VonMises_Point>(material, state);
    copy->distribute(record);
    EXPECT_EQ(record.size(), record.cursor());
    return copy;
}

// Plane stress finds its thickness strain by one Newton step per call; the
// same increment handed over often enough drives the thickness stress to zero.
void add_plane_stress_increment(VonMises_Point& point, const Vector& increment)
{
    for (int call = 0; call < 40; ++call)
        point.add_strain_increment(increment);
}

// One strain increment, converged through the thickness for plane stress.
void load(VonMises_Point& point, int state, const Vector& increment)
{
    if (state == 2)
        add_plane_stress_increment(point, increment);
    else
        point.add_strain_increment(increment);
}

double equivalent_plastic_strain(const Structural_Point& point)
{
    bool has = false;
    const double value = point.get_eq_plastic_strain(has);
    EXPECT_TRUE(has);
    return value;
}

} // namespace

TEST(VonMisesType, SettersStoreCheckAndCount)
{
    VonMises_type material(7);
    EXPECT_EQ(7u, material.number());
    EXPECT_EQ(0.0, material.young());
    EXPECT_EQ(0.0, material.eps0());

    testing::internal::CaptureStderr();
    EXPECT_EQ(0, material.set_young(210000.0));
    EXPECT_EQ(0, material.set_poisson(0.0));
    EXPECT_EQ(0, material.set_poisson(0.5));
    EXPECT_EQ(0, material.set_multiplier(500.0));
    EXPECT_EQ(0, material.set_exponent(0.0));
    EXPECT_EQ(0, material.set_exponent(1.0));
    EXPECT_EQ(0, material.set_exponent(0.25));
    EXPECT_EQ(0, material.set_yield_stress(200.0));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    // 500 eps0^0.25 = 200
    EXPECT_NEAR(0.0256, material.eps0(), 1e-15);
    EXPECT_NEAR(200.0, material.yield_stress(0.0), 1e-12);

    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_young(0.0));
    EXPECT_EQ(1, material.set_poisson(0.51));
    EXPECT_EQ(0.51, material.poisson());
    EXPECT_EQ(1, material.set_poisson(-0.01));
    EXPECT_EQ(1, material.set_exponent(1.01));
    EXPECT_EQ(1.01, material.exponent());
    EXPECT_EQ(1, material.set_exponent(-0.1));
    EXPECT_EQ(1, material.set_multiplier(0.0));
    EXPECT_EQ(0.0, material.multiplier());
    EXPECT_EQ("Youngs modulus <= 0; this is not allowed\n"
              "Poisson's ratio must be between 0 and 0.5; input error\n"
              "Poisson's ratio must be between 0 and 0.5; input error\n"
              "The exponent n must be between 0 and 1; input error\n"
              "The exponent n must be between 0 and 1; input error\n"
              "The multiplier C must be greater than 0; input error\n",
              testing::internal::GetCapturedStderr());

    // A rejected yield stress, or one that cannot be converted (C or n zero),
    // leaves eps0 as it was.
    material.set_multiplier(500.0);
    material.set_exponent(0.25);
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_yield_stress(0.0));
    EXPECT_EQ(1, material.set_yield_stress(-5.0));
    EXPECT_EQ("The initial yield stress must be greater than 0; input error\n"
              "The initial yield stress must be greater than 0; input error\n",
              testing::internal::GetCapturedStderr());
    material.set_exponent(0.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_yield_stress(300.0));
    material.set_exponent(0.5);
    material.set_multiplier(0.0);
    EXPECT_EQ(1, material.set_yield_stress(300.0));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, messages.find("input error\n"));
    EXPECT_NEAR(0.0256, material.eps0(), 1e-15);

    ThermoPlastic_type thermo(3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, thermo.set_expansion(1.2e-5));
    EXPECT_EQ(1, thermo.set_expansion(0.0));
    EXPECT_EQ(0.0, thermo.expansion());
    EXPECT_EQ("expansion coefficient <= 0; this is not allowed\n",
              testing::internal::GetCapturedStderr());
}

TEST(VonMisesType, ExpandedFormulationAndPointsForEveryState)
{
    Steel steel;
    EXPECT_TRUE(steel.material.symmetric());
    for (int state = 0; state <= 4; ++state) {
        EXPECT_EQ(state == 1 || state == 2, steel.material.is_xp(state)) << state;
        auto point = make_point<VonMises_Point>(steel.material, state);
        EXPECT_EQ(nullptr, dynamic_cast<Thermal_Point*>(point.get()));
        bool has = false;
        EXPECT_EQ(0.0, point->get_eq_plastic_strain(has));
        EXPECT_TRUE(has);
    }

    // One material number and one density, reached through either branch.
    ThermoPlastic_type thermo(5);
    EXPECT_FALSE(thermo.symmetric());
    EXPECT_TRUE(thermo.is_xp(1));
    EXPECT_FALSE(thermo.is_xp(3));
    thermo.set_density(2.5);
    const VonMises_type& as_plastic = thermo;
    const LinearThermal_type& as_thermal = thermo;
    EXPECT_EQ(2.5, as_plastic.density());
    EXPECT_EQ(2.5, as_thermal.density());
    EXPECT_EQ(5u, as_thermal.number());
    auto point = make_point<ThermoPlastic_Point>(thermo, 1);
    EXPECT_NE(nullptr, dynamic_cast<Structural_Point*>(point.get()));
    EXPECT_NE(nullptr, dynamic_cast<Thermal_Point*>(point.get()));
}

TEST(VonMisesPoint, ElasticBelowYieldForEveryState)
{
    Steel steel;
    for (int state : {0, 1, 3}) {
        VonMises_Point point(steel.material, state);
        const Vector strain = sample_strain(state, 1e-3);
        point.add_strain_increment(strain);
        EXPECT_FALSE(point.plastic());
        const Vector expected = trial_stress(expanded_strain(state, strain));
        expect_vector_near(expected, point.get_stress_xp(), 1e-12);
        expect_vector_near(point.condense_vector(expected), point.get_stress(), 1e-12);
        EXPECT_EQ(0.0, equivalent_plastic_strain(point));
    }

    // Plane stress: an elastic point has no thickness stress after the first call.
    VonMises_Point plate(steel.material, 2);
    plate.add_strain_increment(make_vector({1e-3, -4e-4, 7e-4}));
    EXPECT_NEAR(0.0, plate.get_stress_xp()(3), 1e-12);
    const Vector plane_stress = iso_lin_elas_D_mat(E, nu, 3, 2) * make_vector({1e-3, -4e-4, 7e-4});
    expect_vector_near(plane_stress, plate.get_stress(), 1e-12);
}

TEST(VonMisesPoint, TrialStateOnTheYieldSurfaceIsElastic)
{
    // The deviatoric strain (e, -e/2, -e/2) gives q = 3G e; with e = 2^-7 all
    // values are exact: q = 9.375. n = 1 and sigma_y0 = 9.375 put the trial
    // state exactly on the yield surface, which is elastic (strictly less than).
    const double e = 0.0078125;
    Steel linear(200.0, 1.0, 9.375);
    VonMises_Point point(linear.material, 0);
    point.add_strain_increment(make_vector({e, -e / 2, -e / 2, 0, 0, 0}));
    EXPECT_FALSE(point.plastic());
    EXPECT_EQ(2.0 * G * e, point.get_stress()(1));
    point.add_strain_increment(make_vector({1.001 * e, -e / 2, -e / 2, 0, 0, 0}));
    EXPECT_TRUE(point.plastic());
}

TEST(VonMisesPoint, LinearHardeningMatchesTheClosedForm)
{
    // n = 1: sigma_y = C eps0 + C eps_p, H' = C. Pure shear gamma: trial
    // q = sqrt(3) G gamma, eps_p = (q - sigma_y0) / (3G + C), tau = sigma_y / sqrt(3).
    const double C = 200.0, sigma_y0 = 10.0, gamma = 0.1;
    Steel linear(C, 1.0, sigma_y0);
    EXPECT_DOUBLE_EQ(0.05, linear.material.eps0());
    VonMises_Point point(linear.material, 0);
    point.add_strain_increment(make_vector({0, 0, 0, gamma, 0, 0}));
    ASSERT_TRUE(point.plastic());
    const double eps_p = (std::sqrt(3.0) * G * gamma - sigma_y0) / (3.0 * G + C);
    EXPECT_NEAR(eps_p, equivalent_plastic_strain(point), 1e-14);
    const double tau = (sigma_y0 + C * eps_p) / std::sqrt(3.0);
    expect_vector_near(make_vector({0, 0, 0, tau, 0, 0}), point.get_stress_xp(), 1e-11);

    // Uniaxial stress: tension eps with lateral strains of the elastic-plastic
    // bar. A strain (eps, -eps/2, -eps/2) is purely deviatoric and gives
    // q = 3G eps; then sigma_11 - sigma_22 = sigma_y.
    VonMises_Point bar_like(linear.material, 0);
    const double eps = 0.05;
    bar_like.add_strain_increment(make_vector({eps, -eps / 2, -eps / 2, 0, 0, 0}));
    const double eps_p_bar = (3.0 * G * eps - sigma_y0) / (3.0 * G + C);
    EXPECT_NEAR(eps_p_bar, equivalent_plastic_strain(bar_like), 1e-14);
    const Vector stress = bar_like.get_stress_xp();
    EXPECT_NEAR(sigma_y0 + C * eps_p_bar, stress(1) - stress(2), 1e-11);
    EXPECT_NEAR(0.0, stress(1) + stress(2) + stress(3), 1e-11);
}

TEST(VonMisesPoint, ReturnMappingEndsOnTheHardenedYieldSurfaceForEveryState)
{
    Steel steel;
    for (int state : {0, 1, 3}) {
        for (double scale : {0.02, 0.1, 1.0}) {
            VonMises_Point point(steel.material, state);
            const Vector strain = sample_strain(state, scale);
            point.add_strain_increment(strain);
            ASSERT_TRUE(point.plastic()) << state;

            // The stress lies on the surface sigma_y = C (eps0 + eps_p)^n, ...
            const double eps_p = equivalent_plastic_strain(point);
            const Vector stress = point.get_stress_xp();
            const double q = von_mises(stress);
            EXPECT_NEAR(20.0 * std::sqrt(0.25 + eps_p), q, 1e-5) << state << " " << scale;

            // ... radially inward from the trial stress, q = q_trial - 3G eps_p
            // (both within the tolerance of the local iteration), with the
            // pressure of the elastic volume change.
            const Vector trial = trial_stress(expanded_strain(state, strain));
            const double q_trial = von_mises(trial);
            EXPECT_NEAR(q_trial - 3.0 * G * eps_p, q, 2e-5);
            const Vector expected = deviator(trial) * (q / q_trial);
            const double mean = (trial(1) + trial(2) + trial(3)) / 3.0;
            const Vector actual = deviator(stress);
            expect_vector_near(expected, actual, 1e-9 * q_trial);
            EXPECT_NEAR(mean, (stress(1) + stress(2) + stress(3)) / 3.0, 1e-9 * q_trial);
        }
    }

    // Plane stress: the thickness strain is found over the calls; the stress
    // then has no thickness component and lies on the yield surface.
    for (double scale : {0.02, 0.1}) {
        VonMises_Point plate(steel.material, 2);
        add_plane_stress_increment(plate, sample_strain(2, scale));
        ASSERT_TRUE(plate.plastic());
        const Vector stress = plate.get_stress_xp();
        EXPECT_NEAR(0.0, stress(3), 1e-9);
        const double eps_p = equivalent_plastic_strain(plate);
        EXPECT_GT(eps_p, 0.0);
        EXPECT_NEAR(20.0 * std::sqrt(0.25 + eps_p), von_mises(stress), 1e-5);
    }
}

TEST(VonMisesPoint, PlasticStrainIsAcceptedOnlyOnAccept)
{
    Steel steel;
    VonMises_Point point(steel.material, 0);
    const Vector strain = sample_strain(0, 0.05);
    point.add_strain_increment(strain);
    const double eps_p = equivalent_plastic_strain(point);
    const Vector stress = point.get_stress();
    EXPECT_GT(eps_p, 0.0);

    // A later call replaces the first: back to the elastic converged state.
    point.add_strain_increment(Vector(6, 0.0));
    EXPECT_EQ(0.0, equivalent_plastic_strain(point));
    expect_vector_near(Vector(6, 0.0), point.get_stress(), 1e-12);

    point.add_strain_increment(strain);
    point.accept();
    EXPECT_EQ(eps_p, equivalent_plastic_strain(point));
    point.add_strain_increment(Vector(6, 0.0));
    EXPECT_EQ(eps_p, equivalent_plastic_strain(point));
    expect_vector_near(stress, point.get_stress(), 1e-12);
}

TEST(VonMisesPoint, ElasticUnloadingAndVolumetricStrainFromAYieldedState)
{
    Steel steel;
    for (int state : {0, 1, 3}) {
        VonMises_Point point(steel.material, state);
        point.add_strain_increment(sample_strain(state, 0.05));
        point.accept();
        ASSERT_TRUE(point.plastic());
        const double eps_p = equivalent_plastic_strain(point);
        const Vector loaded = point.get_stress_xp();

        // Unloading by a fraction of the strain is elastic.
        const Vector back = sample_strain(state, -0.01);
        point.add_strain_increment(back);
        EXPECT_FALSE(point.plastic());
        EXPECT_EQ(eps_p, equivalent_plastic_strain(point));
        const Matrix D = iso_lin_elas_D_mat(E, nu, ExpandedStressSize(state), state);
        expect_vector_near(loaded + D * expanded_strain(state, back), point.get_stress_xp(),
                           1e-10);

        // A purely volumetric increment changes only the pressure (plane
        // strain has no such increment in-plane).
        if (state == 1)
            continue;
        Vector volumetric(StressSize(state), 0.0);
        for (unsigned int i = 1; i <= 3; ++i)
            volumetric(i) = 0.004;
        point.add_strain_increment(volumetric);
        EXPECT_EQ(eps_p, equivalent_plastic_strain(point));
        Vector expected = loaded;
        for (unsigned int i = 1; i <= 3; ++i)
            expected(i) += 3.0 * K * 0.004;
        expect_vector_near(expected, point.get_stress_xp(), 1e-10);
    }
}

// The tangent is the derivative of the stress update with respect to the
// strain increment; checked by central differences from a yielded converged
// state, for a plastic and an elastic continuation.
TEST(VonMisesPoint, TangentIsConsistentWithTheStressUpdateForEveryState)
{
    for (double exponent : {1.0, 0.5, 0.2}) {
        Steel steel(20.0, exponent, 10.0);
        for (int state = 0; state <= 3; ++state) {
            VonMises_Point base(steel.material, state);
            load(base, state, sample_strain(state, 0.04));
            base.accept();
            ASSERT_TRUE(base.plastic());

            for (double direction : {1.0, -0.1}) {
                const Vector increment = sample_strain(state, 0.01 * direction);
                auto update = [&](const Vector& strain) {
                    auto point = clone(base, steel.material, state);
                    load(*point, state, strain);
                    return point;
                };
                auto point = update(increment);
                EXPECT_EQ(direction > 0.0, point->plastic());
                const Matrix tangent = point->get_tangent();
                const unsigned int n = increment.size();
                const double h = 1e-6;
                for (unsigned int j = 1; j <= n; ++j) {
                    Vector plus = increment, minus = increment;
                    plus(j) += h;
                    minus(j) -= h;
                    const Vector column =
                        (update(plus)->get_stress() - update(minus)->get_stress()) * (0.5 / h);
                    for (unsigned int i = 1; i <= n; ++i)
                        EXPECT_NEAR(column(i), tangent(i, j), 2e-3)
                            << "n " << exponent << " state " << state << " (" << i << ","
                            << j << ") direction " << direction;
                }
            }
        }
    }
}

TEST(VonMisesPoint, ConvergedYieldedTangentIsTheContinuumTangent)
{
    // After accept a yielded point keeps its flag; in pure shear the shear
    // stiffness is then G H' / (3G + H') (elastic and plastic shear in series).
    Steel steel;
    VonMises_Point point(steel.material, 0);
    point.add_strain_increment(make_vector({0, 0, 0, 0.05, 0, 0}));
    point.accept();
    ASSERT_TRUE(point.plastic());
    const double H = steel.material.hardening_modulus(equivalent_plastic_strain(point));
    const Matrix D = point.get_tangent_xp();
    EXPECT_NEAR(G * H / (3.0 * G + H), D(4, 4), 1e-9);
    EXPECT_NEAR(G, D(5, 5), 1e-9);
    EXPECT_NEAR(K + 4.0 * G / 3.0, D(1, 1), 1e-9);
    for (unsigned int i = 1; i <= 6; ++i)
        for (unsigned int j = 1; j <= 6; ++j)
            EXPECT_DOUBLE_EQ(D(i, j), D(j, i));
}

TEST(VonMisesPoint, PlaneStressDrivesTheThicknessStressToZero)
{
    Steel steel;
    VonMises_Point plate(steel.material, 2);
    const Vector increment = make_vector({0.05, 0.01, 0.02});
    double previous = 1e300;
    for (int call = 0; call < 6; ++call) {
        plate.add_strain_increment(increment);
        const double thickness_stress = std::fabs(plate.get_stress_xp()(3));
        EXPECT_LE(thickness_stress, previous);
        previous = thickness_stress;
    }
    EXPECT_LT(previous, 1e-8);
    EXPECT_TRUE(plate.plastic());
}

TEST(VonMisesPoint, RestartRecordRestoresTheConvergedState)
{
    Steel steel;
    for (int state = 0; state <= 3; ++state) {
        VonMises_Point point(steel.material, state);
        load(point, state, sample_strain(state, 0.05));
        point.accept();
        const Vector converged_stress = point.get_stress_xp();
        const double eps_p = equivalent_plastic_strain(point);
        // A running increment is not part of the record, not even the elastic
        // state of one that unloads.
        point.add_strain_increment(sample_strain(state, -0.005));
        ASSERT_FALSE(point.plastic()) << state;

        CollectArray record;
        point.collect(record);
        EXPECT_EQ(ExpandedStressSize(state) + 3u, record.size());
        EXPECT_EQ(1.0, record[record.size() - 1]) << state;

        VonMises_Point restored(steel.material, state);
        restored.distribute(record);
        expect_vector_near(converged_stress, restored.get_stress_xp(), 1e-14);
        EXPECT_EQ(eps_p, equivalent_plastic_strain(restored));
        EXPECT_TRUE(restored.plastic());

        // Taking the running increment back leaves the point as accept did,
        // with its elastic-plastic tangent and no running thickness strain.
        point.revert();
        EXPECT_TRUE(point.plastic()) << state;
        expect_vector_near(restored.get_stress_xp(), point.get_stress_xp(), 0.0);
        kv_test::expect_matrix_near(restored.get_tangent_xp(), point.get_tangent_xp(), 0.0);

        // Both go on exactly alike from the converged state.
        const Vector next = sample_strain(state, 0.02);
        for (int call = 0; call < 3; ++call) {
            point.add_strain_increment(next);
            restored.add_strain_increment(next);
            expect_vector_near(restored.get_stress_xp(), point.get_stress_xp(), 0.0);
        }
        EXPECT_EQ(equivalent_plastic_strain(point), equivalent_plastic_strain(restored));
    }

    // The tangent of a restored yielded point is that of the point after accept.
    VonMises_Point point(steel.material, 0);
    point.add_strain_increment(sample_strain(0, 0.05));
    point.accept();
    auto restored = clone(point, steel.material, 0);
    const Matrix expected = point.get_tangent_xp();
    const Matrix actual = restored->get_tangent_xp();
    for (unsigned int i = 1; i <= 6; ++i)
        for (unsigned int j = 1; j <= 6; ++j)
            EXPECT_NEAR(expected(i, j), actual(i, j), 1e-12);

    // A flag written as 0 restores an elastic point.
    VonMises_Point elastic(steel.material, 3);
    elastic.add_strain_increment(sample_strain(3, 1e-4));
    elastic.accept();
    auto copy = clone(elastic, steel.material, 3);
    EXPECT_FALSE(copy->plastic());
    expect_vector_near(elastic.get_stress(), copy->get_stress(), 1e-14);
}

TEST(VonMisesPoint, FailuresOfIncompressibleMaterialAndBars)
{
    VonMises_type material(1);
    material.set_young(E);
    material.set_poisson(0.5);
    material.set_multiplier(20.0);
    material.set_exponent(0.5);
    material.set_yield_stress(10.0);
    for (int state = 0; state <= 3; ++state) {
        VonMises_Point point(material, state);
        testing::internal::CaptureStderr();
        EXPECT_THROW(point.add_strain_increment(sample_strain(state, 1e-3)), kelvaned_error);
        EXPECT_EQ("nu = 0.5, going to divide by 0; error\n", testing::internal::GetCapturedStderr());
        // Nothing changed.
        expect_vector_near(Vector(StressSize(state), 0.0), point.get_stress(), 0.0);
    }

    Steel steel;
    VonMises_Point bar(steel.material, 4);
    try {
        bar.get_tangent();
        FAIL();
    } catch (const KelVane::program_error& error) {
        EXPECT_STREQ("wrong stress type in iso_lin_elas_D_mat()", error.what());
    }
}

TEST(ThermoPlasticPoint, FreeAndRestrainedThermalExpansion)
{
    ThermoPlastic_type thermo(1);
    set_parameters(thermo, 20.0, 0.5, 10.0);
    thermo.set_expansion(1e-3);
    const double alpha = 1e-3;

    // A free expansion causes no stress in any state.
    for (int state = 0; state <= 3; ++state) {
        ThermoPlastic_Point point(thermo, state);
        Vector strain(StressSize(state), 0.0);
        for (unsigned int i = 1; i <= (state == 0 || state == 3 ? 3u : 2u); ++i)
            strain(i) = alpha * 5.0;
        point.set_temperature_increment(5.0);
        load(point, state, strain);
        if (state == 1) {
            // Plane strain restrains the thickness: the mechanical strain is
            // -alpha dT through it, still elastic.
            expect_vector_near(trial_stress(make_vector({0.0, 0.0, -alpha * 5.0, 0.0})),
                               point.get_stress_xp(), 1e-9);
        } else {
            expect_vector_near(Vector(ExpandedStressSize(state), 0.0), point.get_stress_xp(),
                               1e-9);
        }
        EXPECT_FALSE(point.plastic());
    }

    // Plane strain held in-plane: hydrostatic stress -E alpha dT / (1 - 2 nu),
    // no yield however large, kept after accept.
    ThermoPlastic_Point held(thermo, 1);
    Thermal_Point& as_thermal = held;
    as_thermal.set_temperature_increment(20.0);
    held.add_strain_increment(Vector(3, 0.0));
    const double hydrostatic = -E * alpha * 20.0 / (1.0 - 2.0 * nu);
    expect_vector_near(make_vector({hydrostatic, hydrostatic, hydrostatic, 0.0}),
                       held.get_stress_xp(), 1e-9);
    EXPECT_FALSE(held.plastic());
    Material_Point& as_material = held;
    as_material.accept();
    held.set_temperature_increment(0.0);
    held.add_strain_increment(Vector(3, 0.0));
    expect_vector_near(make_vector({hydrostatic, hydrostatic, 0.0}), held.get_stress(), 1e-9);

    // Plane stress held in-plane yields in equi-biaxial compression:
    // sigma_11 = sigma_22 = -sigma_y(eps_p).
    ThermoPlastic_Point plate(thermo, 2);
    plate.set_temperature_increment(30.0);
    add_plane_stress_increment(plate, Vector(3, 0.0));
    ASSERT_TRUE(plate.plastic());
    const double eps_p = equivalent_plastic_strain(plate);
    const double sigma_y = 20.0 * std::sqrt(0.25 + eps_p);
    expect_vector_near(make_vector({-sigma_y, -sigma_y, 0.0}), plate.get_stress(), 2e-5);

    // Taking that heating back leaves no thermal strain to be restrained.
    static_cast<Material_Point&>(plate).revert();
    EXPECT_FALSE(plate.plastic());
    plate.add_strain_increment(Vector(3, 0.0));
    expect_vector_near(Vector(3, 0.0), plate.get_stress(), 0.0);
    EXPECT_FALSE(plate.plastic());
}

TEST(ThermoPlasticPoint, ThermalPartAndRestartRecord)
{
    ThermoPlastic_type thermo(1);
    set_parameters(thermo, 20.0, 0.5, 10.0);
    thermo.set_expansion(1e-3);
    thermo.set_density(2.0);
    thermo.set_capacity(3.0);
    thermo.set_conduction(4.0);

    ThermoPlastic_Point point(thermo, 3);
    Thermal_Point& thermal = point;
    thermal.set_temperature_increment(7.0);
    thermal.set_gradient_increment(make_vector({1.0, -2.0}));
    EXPECT_DOUBLE_EQ(2.0 * 3.0 * 7.0, thermal.get_heat_increment());
    expect_vector_near(make_vector({4.0, -8.0}), thermal.get_flux(), 1e-14);
    point.add_strain_increment(sample_strain(3, 0.05));
    ASSERT_TRUE(point.plastic());
    Material_Point& as_material = point;
    as_material.accept();
    EXPECT_DOUBLE_EQ(0.0, thermal.get_heat_increment());

    CollectArray record;
    as_material.collect(record);
    // Von Mises record (4 + 3), temperature, gradient (2), thermal strain.
    ASSERT_EQ(4u + 3u + 1u + 2u + 1u, record.size());
    EXPECT_DOUBLE_EQ(7.0, record[7]);
    EXPECT_DOUBLE_EQ(7e-3, record[10]);

    ThermoPlastic_Point restored(thermo, 3);
    static_cast<Material_Point&>(restored).distribute(record);
    EXPECT_EQ(record.size(), record.cursor());
    point.add_strain_increment(Vector(4, 0.0));
    expect_vector_near(point.get_stress_xp(), restored.get_stress_xp(), 1e-14);
    expect_vector_near(thermal.get_flux(), restored.get_flux(), 0.0);

    // The same further heating and strain on both.
    for (ThermoPlastic_Point* p : {&point, &restored}) {
        p->set_temperature_increment(3.0);
        p->add_strain_increment(sample_strain(3, 0.01));
    }
    expect_vector_near(point.get_stress_xp(), restored.get_stress_xp(), 1e-12);
    EXPECT_DOUBLE_EQ(1e-3, restored.get_expansion());
}
