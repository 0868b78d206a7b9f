#include <gtest/gtest.h>

#include <cmath>
#include <climits>
#include <limits>

#include "device_map.h"

namespace {

TEST(DeviceMapTest, StartValuesTruncateTowardZeroWithYPointingDown)
{
    DeviceMap map;
    EXPECT_EQ(map.to_device(3.7f, 2.2f), wxPoint(3, -2));
    EXPECT_EQ(map.to_device(-3.7f, -2.2f), wxPoint(-3, 2));
    EXPECT_EQ(map.dev_length(-2.9f), -2);
}

TEST(DeviceMapTest, OriginScaleAndInverseAgree)
{
    DeviceMap map;
    map.set_origin(-100.0f, 400.0f);
    map.set_scale(50.0f);
    // device x = 2 * 50 + 100, device y = 400 - 3 * 50
    EXPECT_EQ(map.dev_x(2.0f), 200);
    EXPECT_EQ(map.dev_y(3.0f), 250);
    EXPECT_FLOAT_EQ(map.world_x(200.0f), 2.0f);
    EXPECT_FLOAT_EQ(map.world_y(250.0f), 3.0f);
    EXPECT_EQ(map.dev_length(1.5f), 75);

    // Panning moves the picture by the shift in device units.
    map.shift_x(10.0f);
    map.shift_y(20.0f);
    EXPECT_EQ(map.dev_x(2.0f), 190);
    EXPECT_EQ(map.dev_y(3.0f), 230);
    EXPECT_FLOAT_EQ(map.world_x(190.0f), 2.0f);
    EXPECT_FLOAT_EQ(map.world_y(230.0f), 3.0f);

    map.zoom(0.5f);
    EXPECT_FLOAT_EQ(map.get_scale(), 25.0f);
    EXPECT_EQ(map.dev_x(2.0f), 2 * 25 + 90);
}

TEST(DeviceMapTest, CoordinatesClampAtTenThousandWithoutOverflow)
{
    DeviceMap map;
    const float inf = std::numeric_limits<float>::infinity();
    for (float x : {1e4f, 10000.5f, 1e6f, 3e9f, 1e30f, std::numeric_limits<float>::max(), inf}) {
        EXPECT_EQ(map.dev_x(x), 10000) << x;
        EXPECT_EQ(map.dev_x(-x), -10000) << x;
        EXPECT_EQ(map.dev_y(-x), 10000) << x;
        EXPECT_EQ(map.dev_y(x), -10000) << x;
    }
    EXPECT_EQ(map.dev_x(9999.9f), 9999);

    // A huge scale times a huge coordinate overflows to infinity in float.
    map.set_scale(1e30f);
    EXPECT_EQ(map.dev_x(1e30f), 10000);
    EXPECT_EQ(map.dev_y(1e30f), -10000);
}

TEST(DeviceMapTest, NanCoordinatesMapToZero)
{
    DeviceMap map;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(map.dev_x(nan), 0);
    EXPECT_EQ(map.dev_y(nan), 0);
    EXPECT_EQ(map.dev_length(nan), 0);
    EXPECT_EQ(map.to_device(nan, 5.0f), wxPoint(0, -5));
}

TEST(DeviceMapTest, LengthIsNotClampedToTheWindowButStaysAnInt)
{
    DeviceMap map;
    EXPECT_EQ(map.dev_length(123456.0f), 123456);
    EXPECT_EQ(map.dev_length(-123456.0f), -123456);
    EXPECT_EQ(map.dev_length(1e20f), INT_MAX);
    EXPECT_EQ(map.dev_length(-1e20f), INT_MIN);
}

TEST(DeviceMapTest, ScaleNeverFallsBelowTheMinimum)
{
    DeviceMap map;
    for (float s : {0.0f, -1.0f, 1e-12f, std::numeric_limits<float>::quiet_NaN()}) {
        map.set_scale(s);
        EXPECT_FLOAT_EQ(map.get_scale(), 1e-10f) << s;
    }
    map.set_scale(2e-10f);
    EXPECT_FLOAT_EQ(map.get_scale(), 2e-10f);

    // Repeated zoom-out stops at the minimum, so the inverse map stays finite.
    map.set_scale(1.0f);
    for (int i = 0; i < 200; ++i) map.zoom(0.7f);
    EXPECT_FLOAT_EQ(map.get_scale(), 1e-10f);
    EXPECT_TRUE(std::isfinite(map.world_x(100.0f)));
    EXPECT_TRUE(std::isfinite(map.world_y(100.0f)));
    map.zoom(0.0f);
    EXPECT_FLOAT_EQ(map.get_scale(), 1e-10f);
    map.zoom(1e10f);
    EXPECT_NEAR(map.get_scale(), 1.0f, 1e-6f);
}

TEST(DeviceMapTest, ProcessWideMapStartsAtIdentity)
{
    EXPECT_EQ(device_map.get_x0(), 0.0f);
    EXPECT_EQ(device_map.get_y0(), 0.0f);
    EXPECT_EQ(device_map.get_scale(), 1.0f);
}

}  // namespace
