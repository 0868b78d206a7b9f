#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/matrix_helpers.h"
#include "elastic.h"
#include "errors.h"
#include "material.h"

using KelVane::CollectArray;
using KelVane::Matrix;
using KelVane::Structural_Point;
using KelVane::Vector;
using kv_test::expect_matrix_near;
using kv_test::expect_vector_near;
using kv_test::make_matrix;
using kv_test::make_vector;

namespace {

// A structural point whose expanded tangent and stress are set by the test, to
// exercise the shared operations of the base on their own.
class ProbePoint : public Structural_Point {
public:
    ProbePoint(int state, const Matrix& tangent_xp, const Vector& stress_xp)
        : Structural_Point(state), tangent_xp_(tangent_xp), stress_xp_(stress_xp)
    {
    }
    Matrix get_tangent_xp() const override { return tangent_xp_; }
    Matrix get_tangent() const override { return condense_matrix(tangent_xp_); }
    void add_strain_increment(const Vector&) override {}
    Vector get_stress() const override { return condense_vector(stress_xp_); }
    Vector get_stress_xp() const override { return stress_xp_; }
    void accept() override {}
    void collect(CollectArray&) const override {}
    void distribute(CollectArray&) override {}

private:
    Matrix tangent_xp_;
    Vector stress_xp_;
};

const double E = 210.0;
const double nu = 0.3;

} // namespace

TEST(IsoLinElasDMat, MatchesHandValuesForEverySize)
{
    // Uniaxial.
    expect_matrix_near(make_matrix(1, 1, {E}), iso_lin_elas_D_mat(E, nu, 1, 4), 1e-12);

    // Plane stress: E/(1-nu^2) [1 nu 0; nu 1 0; 0 0 (1-nu)/2].
    const double s = E / 0.91;
    expect_matrix_near(make_matrix(3, 3, {s, 0.3 * s, 0, 0.3 * s, s, 0, 0, 0, 0.35 * s}),
                       iso_lin_elas_D_mat(E, nu, 3, 2), 1e-10);

    // Plane strain: E/((1+nu)(1-2nu)) [1-nu nu 0; nu 1-nu 0; 0 0 (1-2nu)/2].
    const double c = E / (1.3 * 0.4);
    expect_matrix_near(
        make_matrix(3, 3, {0.7 * c, 0.3 * c, 0, 0.3 * c, 0.7 * c, 0, 0, 0, 0.2 * c}),
        iso_lin_elas_D_mat(E, nu, 3, 1), 1e-10);

    // Axisymmetric (and the expanded plane states).
    for (int state : {1, 2, 3}) {
        expect_matrix_near(make_matrix(4, 4,
                                       {0.7 * c, 0.3 * c, 0.3 * c, 0,      //
                                        0.3 * c, 0.7 * c, 0.3 * c, 0,      //
                                        0.3 * c, 0.3 * c, 0.7 * c, 0,      //
                                        0, 0, 0, 0.2 * c}),
                           iso_lin_elas_D_mat(E, nu, 4, state), 1e-10);
    }

    // Three-dimensional.
    Matrix D6(6, 6, 0.0);
    for (unsigned int i = 1; i <= 3; ++i)
        for (unsigned int j = 1; j <= 3; ++j)
            D6(i, j) = (i == j ? 0.7 : 0.3) * c;
    for (unsigned int i = 4; i <= 6; ++i)
        D6(i, i) = 0.2 * c;
    expect_matrix_near(D6, iso_lin_elas_D_mat(E, nu, 6, 0), 1e-10);
}

TEST(IsoLinElasDMat, RejectsSizesAndStatesItDoesNotKnow)
{
    for (int state : {0, 3, 4, 5}) {
        try {
            iso_lin_elas_D_mat(E, nu, 3, state);
            FAIL() << "state " << state;
        } catch (const KelVane::program_error& error) {
            EXPECT_STREQ("wrong stress type in iso_lin_elas_D_mat()", error.what());
        }
    }
    for (int n : {0, 2, 5, 7}) {
        try {
            iso_lin_elas_D_mat(E, nu, n, 0);
            FAIL() << "n " << n;
        } catch (const KelVane::program_error& error) {
            EXPECT_STREQ("wrong number of stresses in iso_lin_elas_D_mat()", error.what());
        }
    }
}

TEST(IsoLinElasDMat, IncompressibleMaterialIsAnErrorWhereTheMatrixWouldBeInfinite)
{
    const std::string message =
        "Poisson's ratio 0.5 makes the elasticity matrix of this stress state infinite";
    const int sizes[][2] = {{3, 1}, {4, 1}, {4, 2}, {4, 3}, {6, 0}};
    for (const auto& size_state : sizes) {
        try {
            iso_lin_elas_D_mat(E, 0.5, size_state[0], size_state[1]);
            FAIL() << "n " << size_state[0] << " state " << size_state[1];
        } catch (const kelvaned_error& error) {
            EXPECT_EQ(message, error.what());
        }
    }
    // Plane stress and the bar stay finite at nu = 0.5.
    const Matrix plane_stress = iso_lin_elas_D_mat(E, 0.5, 3, 2);
    EXPECT_NEAR(E / 0.75, plane_stress(1, 1), 1e-10);
    EXPECT_NEAR(E / 0.75 * 0.25, plane_stress(3, 3), 1e-10);
    EXPECT_DOUBLE_EQ(E, iso_lin_elas_D_mat(E, 0.5, 1, 4)(1, 1));
}

TEST(StructuralPoint, CondensedExpandedTangentIsTheReducedClosedForm)
{
    Elastic_type material(1);
    material.set_young(E);
    material.set_poisson(nu);
    const Matrix D4 = iso_lin_elas_D_mat(E, nu, 4, 1);

    Elastic_Point plane_strain(material, 1);
    expect_matrix_near(iso_lin_elas_D_mat(E, nu, 3, 1), plane_strain.condense_matrix(D4), 1e-10);

    Elastic_Point plane_stress(material, 2);
    expect_matrix_near(iso_lin_elas_D_mat(E, nu, 3, 2), plane_stress.condense_matrix(D4), 1e-10);

    // Uniaxial: the normal block of the 3-D law with both lateral stresses
    // condensed out leaves Young's modulus.
    Elastic_Point bar(material, 4);
    const Matrix D6 = iso_lin_elas_D_mat(E, nu, 6, 0);
    Matrix normal_block(3, 3);
    for (unsigned int i = 1; i <= 3; ++i)
        for (unsigned int j = 1; j <= 3; ++j)
            normal_block(i, j) = D6(i, j);
    expect_matrix_near(make_matrix(1, 1, {E}), bar.condense_matrix(normal_block), 1e-10);

    for (int state : {0, 3}) {
        Elastic_Point point(material, state);
        const Matrix D = iso_lin_elas_D_mat(E, nu, ExpandedStressSize(state), state);
        expect_matrix_near(D, point.condense_matrix(D), 0.0);
    }
}

TEST(StructuralPoint, ExpandAndCondenseVectorAreInverseForEveryState)
{
    Elastic_type material(1);
    const Vector expanded_expected[] = {
        make_vector({1, 2, 3, 4, 5, 6}), make_vector({1, 2, 0, 3}), make_vector({1, 2, 0, 3}),
        make_vector({1, 2, 3, 4}), make_vector({1, 0, 0})};
    for (int state = 0; state <= 4; ++state) {
        Elastic_Point point(material, state);
        Vector v(StressSize(state));
        for (unsigned int i = 1; i <= v.size(); ++i)
            v(i) = i;
        const Vector expanded = point.expand(v);
        expect_vector_near(expanded_expected[state], expanded, 0.0);
        expect_vector_near(v, point.condense_vector(expanded), 0.0);
    }
}

TEST(StructuralPoint, UndefinedStressStateIsRejected)
{
    const ProbePoint point(5, Matrix(1, 1, 1.0), Vector(1, 0.0));
    try {
        point.expand(Vector(1, 0.0));
        FAIL();
    } catch (const KelVane::program_error& error) {
        EXPECT_STREQ("undefined stress state in Structural_Point::expand(.)", error.what());
    }
    try {
        point.condense_vector(Vector(1, 0.0));
        FAIL();
    } catch (const KelVane::program_error& error) {
        EXPECT_STREQ("undefined stress state in Structural_Point::condense_vector(.)",
                     error.what());
    }
    EXPECT_EQ(0u, point.nr_condensed());
}

TEST(StructuralPoint, PlaneStressExpansionTakesOneNewtonStepOnTheThicknessStrain)
{
    const Matrix D = iso_lin_elas_D_mat(E, nu, 4, 2);
    const double sigma33 = 7.0;
    const ProbePoint point(2, D, make_vector({1.0, 2.0, sigma33, 0.5}));

    Vector increment = make_vector({1e-3, -2e-3, 4e-4});
    const Vector change = make_vector({1e-3, 3e-3, 4e-4});
    Vector condensed(1, 1e-4);
    point.expand_strain_increment(increment, change, condensed);

    const double expected33 =
        1e-4 - (sigma33 + D(3, 1) * 1e-3 + D(3, 2) * 3e-3 + D(3, 4) * 4e-4) / D(3, 3);
    EXPECT_NEAR(expected33, condensed(1), 1e-15);
    expect_vector_near(make_vector({1e-3, -2e-3, expected33, 4e-4}), increment, 1e-15);

    // Plane strain and the bar add zeros; 3-D and axisymmetry keep the vector.
    const ProbePoint plane_strain(1, D, Vector(4, 0.0));
    Vector in_plane = make_vector({1, 2, 3});
    Vector none;
    plane_strain.expand_strain_increment(in_plane, in_plane, none);
    expect_vector_near(make_vector({1, 2, 0, 3}), in_plane, 0.0);

    const ProbePoint axisymmetric(3, D, Vector(4, 0.0));
    Vector full = make_vector({1, 2, 3, 4});
    axisymmetric.expand_strain_increment(full, full, none);
    expect_vector_near(make_vector({1, 2, 3, 4}), full, 0.0);
}

TEST(StructuralPoint, CondensedTangentRelaxesTheRemainingThicknessStress)
{
    Matrix D = iso_lin_elas_D_mat(E, nu, 4, 2);
    D(4, 3) = D(3, 4) = 5.0; // a coupling of shear and thickness stress
    const double sigma33 = 3.0;
    const ProbePoint plane_stress(2, D, make_vector({1.0, 2.0, sigma33, 0.5}));

    Matrix tangent;
    Vector f;
    plane_stress.condensed_tangent(tangent, f);
    expect_matrix_near(plane_stress.condense_matrix(D), tangent, 0.0);
    const double factor = -sigma33 / D(3, 3);
    expect_vector_near(make_vector({factor * D(1, 3), factor * D(2, 3), factor * 5.0}), f, 1e-12);

    const Matrix D6 = iso_lin_elas_D_mat(E, nu, 6, 0);
    const ProbePoint solid(0, D6, Vector(6, 1.0));
    solid.condensed_tangent(tangent, f);
    expect_matrix_near(D6, tangent, 0.0);
    expect_vector_near(Vector(6, 0.0), f, 0.0);
}

TEST(StructuralPoint, StressOfNormalStrainForEveryState)
{
    Elastic_type material(1);
    material.set_young(E);
    material.set_poisson(nu);
    const double e = 2e-3;
    const double restrained = E * e / (1.0 - 2.0 * nu); // no direction free to expand
    const double in_plane = E * e / (1.0 - nu);          // free through the thickness
    const Vector expected[] = {
        make_vector({restrained, restrained, restrained, 0, 0, 0}),
        make_vector({restrained, restrained, 0}),
        make_vector({in_plane, in_plane, 0}),
        make_vector({restrained, restrained, restrained, 0}),
        make_vector({E * e})};
    for (int state = 0; state <= 4; ++state) {
        Elastic_Point point(material, state);
        expect_vector_near(expected[state], point.stress_of_normal_strain(e), 1e-10);
    }
}

TEST(MaterialType, DensityIsStoredAndANegativeOneCounted)
{
    Elastic_type material(3);
    EXPECT_EQ(3u, material.number());
    EXPECT_EQ(0.0, material.density());

    testing::internal::CaptureStderr();
    EXPECT_EQ(0, material.set_density(0.0));
    EXPECT_EQ(0, material.set_density(7850.0));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(7850.0, material.density());

    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_density(-1.0));
    EXPECT_EQ("Density  < 0; this is not allowed\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(-1.0, material.density());

    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_density(std::nan("")));
    EXPECT_EQ("Density  < 0; this is not allowed\n", testing::internal::GetCapturedStderr());
}

TEST(MaterialType, MassTypeHasNoPoints)
{
    KelVane::Mass_type mass(4, 2.5);
    EXPECT_EQ(4u, mass.number());
    EXPECT_EQ(2.5, mass.mass());
    EXPECT_TRUE(mass.symmetric());
    for (int state = 0; state <= 4; ++state)
        EXPECT_EQ(nullptr, mass.create_point(state));
}
