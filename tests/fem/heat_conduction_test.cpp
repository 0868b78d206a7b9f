#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "heat_conduction.h"

using KelVane::CollectArray;
using KelVane::Material_Point;
using KelVane::Matrix;
using KelVane::Thermal_Point;
using KelVane::Vector;

namespace {

LinearThermal_type make_thermal(double lambda, double c, double rho)
{
    LinearThermal_type material(1);
    material.set_conduction(lambda);
    material.set_capacity(c);
    material.set_density(rho);
    return material;
}

Vector gradient_of(unsigned int n, double scale)
{
    Vector g(n);
    for (unsigned int i = 1; i <= n; ++i)
        g(i) = scale * (i == 2 ? -1.0 : static_cast<double>(i));
    return g;
}

} // namespace

TEST(LinearThermalType, SettersStoreCheckAndCount)
{
    LinearThermal_type material(7);
    EXPECT_EQ(7u, material.number());
    EXPECT_EQ(0.0, material.conduction());
    EXPECT_EQ(0.0, material.capacity());
    EXPECT_TRUE(material.symmetric());

    testing::internal::CaptureStderr();
    EXPECT_EQ(0, material.set_conduction(45.0));
    EXPECT_EQ(0, material.set_capacity(460.0));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_conduction(0.0));
    EXPECT_EQ(1, material.set_capacity(-2.0));
    EXPECT_EQ("conduction <= 0; this is not allowed\n"
              "capacity <= 0; this is not allowed\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(0.0, material.conduction());
    EXPECT_EQ(-2.0, material.capacity());

    // The model file can spell "nan": such a parameter would poison every result.
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, material.set_conduction(std::nan("")));
    EXPECT_EQ(1, material.set_capacity(std::nan("")));
    EXPECT_EQ("conduction <= 0; this is not allowed\n"
              "capacity <= 0; this is not allowed\n",
              testing::internal::GetCapturedStderr());
}

TEST(LinearThermalPoint, ConductivityAndFluxForEveryState)
{
    const double lambda = 2.5;
    const LinearThermal_type material = make_thermal(lambda, 1.0, 1.0);
    const unsigned int dimension[] = {3, 2, 2, 2, 1};
    for (int state = 0; state <= 4; ++state) {
        std::unique_ptr<Material_Point> created(material.create_point(state));
        auto* point = dynamic_cast<Thermal_Point*>(created.get());
        ASSERT_NE(nullptr, point);

        const unsigned int n = dimension[state];
        const Matrix k = point->get_conductivity();
        ASSERT_EQ(n, k.size1());
        ASSERT_EQ(n, k.size2());
        for (unsigned int i = 1; i <= n; ++i)
            for (unsigned int j = 1; j <= n; ++j)
                EXPECT_EQ(i == j ? lambda : 0.0, k(i, j));

        // The flux is the conductivity times the gradient, with no sign change.
        const Vector g = gradient_of(n, 4.0);
        point->set_gradient_increment(g);
        const Vector flux = point->get_flux();
        ASSERT_EQ(n, flux.size());
        for (unsigned int i = 1; i <= n; ++i)
            EXPECT_DOUBLE_EQ(lambda * g(i), flux(i));
    }
}

TEST(LinearThermalPoint, IncrementsAreMeasuredFromTheConvergedState)
{
    const LinearThermal_type material = make_thermal(2.0, 3.0, 5.0);
    LinearThermal_Point point(material, 1);
    EXPECT_EQ(15.0, point.get_capacity());

    point.set_temperature_increment(3.0);
    point.set_temperature_increment(5.0); // replaces the 3
    EXPECT_DOUBLE_EQ(15.0 * 5.0, point.get_heat_increment());
    point.set_gradient_increment(gradient_of(2, 1.0));
    point.set_gradient_increment(gradient_of(2, 2.0));
    EXPECT_DOUBLE_EQ(2.0 * 2.0, point.get_flux()(1));

    point.accept();
    EXPECT_EQ(0.0, point.get_heat_increment());
    point.set_temperature_increment(-1.0);
    EXPECT_DOUBLE_EQ(-15.0, point.get_heat_increment());
    point.set_gradient_increment(gradient_of(2, 1.0));
    EXPECT_DOUBLE_EQ(2.0 * 3.0, point.get_flux()(1));
    EXPECT_DOUBLE_EQ(2.0 * -3.0, point.get_flux()(2));
}

TEST(LinearThermalPoint, NoDensityStoresNoHeat)
{
    LinearThermal_type material(1);
    material.set_capacity(460.0);
    LinearThermal_Point point(material, 2);
    point.set_temperature_increment(100.0);
    EXPECT_EQ(0.0, point.get_capacity());
    EXPECT_EQ(0.0, point.get_heat_increment());
}

TEST(LinearThermalPoint, RestartRecordIsTemperatureThenGradient)
{
    const LinearThermal_type material = make_thermal(2.0, 3.0, 5.0);
    for (int state = 0; state <= 4; ++state) {
        LinearThermal_Point written(material, state);
        const unsigned int n = static_cast<unsigned int>(get_nodal_dimension(state));
        written.set_temperature_increment(0.1);
        written.set_gradient_increment(gradient_of(n, 0.3));
        written.accept();
        written.set_temperature_increment(7.0); // not converged: not written

        CollectArray buffer;
        written.collect(buffer);
        ASSERT_EQ(1u + n, buffer.size());
        EXPECT_EQ(0.1, buffer[0]);
        for (unsigned int i = 1; i <= n; ++i)
            EXPECT_EQ(gradient_of(n, 0.3)(i), buffer[i]);

        LinearThermal_Point read(material, state);
        read.distribute(buffer);
        EXPECT_EQ(buffer.size(), buffer.cursor());
        const Vector flux = read.get_flux();
        for (unsigned int i = 1; i <= n; ++i)
            EXPECT_EQ(2.0 * buffer[i], flux(i));
        EXPECT_EQ(0.0, read.get_heat_increment());
        read.set_temperature_increment(1.0);
        EXPECT_DOUBLE_EQ(15.0, read.get_heat_increment());
        // Converged temperature restored: a further record equals the first.
        CollectArray again;
        read.accept();
        read.collect(again);
        EXPECT_DOUBLE_EQ(1.1, again[0]);
    }
}
