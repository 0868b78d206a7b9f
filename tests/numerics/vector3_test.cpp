#include "vector3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "errors.h"

namespace {

void expect_components(double x, double y, double z, const Vector3& v, double tolerance = 0.0)
{
    double vx, vy, vz;
    v.get(vx, vy, vz);
    EXPECT_NEAR(x, vx, tolerance);
    EXPECT_NEAR(y, vy, tolerance);
    EXPECT_NEAR(z, vz, tolerance);
}

void expect_components(double x, double y, double z, const Direction& d, double tolerance = 0.0)
{
    double dx, dy, dz;
    d.get(dx, dy, dz);
    EXPECT_NEAR(x, dx, tolerance);
    EXPECT_NEAR(y, dy, tolerance);
    EXPECT_NEAR(z, dz, tolerance);
}

double length2(const Direction& d)
{
    double x, y, z;
    d.get(x, y, z);
    return x * x + y * y + z * z;
}

} // namespace

TEST(Vector3, ArithmeticAgainstHandResults)
{
    const Vector3 a(1.0, -2.0, 3.0);
    const Vector3 b(4.0, 0.5, -1.0);
    expect_components(5.0, -1.5, 2.0, a + b);
    expect_components(-3.0, -2.5, 4.0, a - b);
    expect_components(2.0, -4.0, 6.0, a * 2.0);

    Vector3 c(a);
    c += b;
    expect_components(5.0, -1.5, 2.0, c);
    c -= b;
    c -= b;
    expect_components(-3.0, -2.5, 4.0, c);
    c *= -2.0;
    expect_components(6.0, 5.0, -8.0, c);

    EXPECT_EQ(4.0 - 1.0 - 3.0, dot(a, b));
    EXPECT_EQ(14.0, a.norm2());
    EXPECT_DOUBLE_EQ(std::sqrt(14.0), a.norm());
    EXPECT_EQ(5.0, Vector3(3.0, 0.0, 4.0).norm());
}

TEST(Vector3, CrossProduct)
{
    expect_components(0.0, 0.0, 1.0, cross(Vector3(1, 0, 0), Vector3(0, 1, 0)));
    expect_components(1.0, 0.0, 0.0, cross(Vector3(0, 1, 0), Vector3(0, 0, 1)));
    expect_components(0.0, 1.0, 0.0, cross(Vector3(0, 0, 1), Vector3(1, 0, 0)));

    // a x b is orthogonal to both, changes sign with the order, and |a x b|^2 = |a|^2|b|^2 - (a.b)^2.
    const std::vector<Vector3> samples = {Vector3(1, 2, 3), Vector3(-4, 0.5, 2), Vector3(0, -1, 7),
                                          Vector3(2.5, 2.5, -1)};
    for (const Vector3& a : samples)
        for (const Vector3& b : samples) {
            const Vector3 c = cross(a, b);
            EXPECT_NEAR(0.0, dot(c, a), 1e-12);
            EXPECT_NEAR(0.0, dot(c, b), 1e-12);
            expect_components(0.0, 0.0, 0.0, c + cross(b, a), 1e-12);
            EXPECT_NEAR(a.norm2() * b.norm2() - dot(a, b) * dot(a, b), c.norm2(), 1e-10);
        }
}

TEST(Vector3, StreamInsertionUsesTheWidthForEachComponent)
{
    std::ostringstream os;
    os.width(5);
    os << Vector3(1, 2, 3);
    EXPECT_EQ("    1     2     3", os.str());
    EXPECT_EQ(0, os.width());
    os << 7;
    EXPECT_EQ("    1     2     37", os.str()) << "nothing follows z";

    std::ostringstream scientific;
    scientific << std::scientific;
    scientific.precision(3);
    scientific << std::setw(11) << Vector3(0.5, -1.0, 0.0);
    EXPECT_EQ("  5.000e-01  -1.000e+00   0.000e+00", scientific.str());

    std::ostringstream plain;
    plain << Vector3(1.5, -2, 0);
    EXPECT_EQ("1.5 -2 0", plain.str());
}

TEST(Direction, IsNormalisedWhateverItIsMadeFrom)
{
    expect_components(0.0, 0.0, 0.0, Direction());

    expect_components(0.0, 0.0, 1.0, Direction(0, 0, 2));
    expect_components(0.0, 0.0, 1.0, Direction(Vector3(0, 0, 2)));
    expect_components(0.6, 0.0, 0.8, Direction(3, 0, 4), 1e-15);
    expect_components(0.6, 0.0, 0.8, Direction(Vector3(3, 0, 4)), 1e-15);
    expect_components(-std::sqrt(0.5), std::sqrt(0.5), 0.0, Direction(-1, 1, 0), 1e-15);

    // A unit vector is kept bit for bit.
    double x, y, z;
    Direction(1, 0, 0).get(x, y, z);
    EXPECT_EQ(1.0, x);
    EXPECT_EQ(0.0, y);
    EXPECT_EQ(0.0, z);

    const std::vector<Vector3> samples = {Vector3(1e-8, 2e-8, 0), Vector3(-3, 7, 11), Vector3(0, -5, 0),
                                          Vector3(1e150, 1e150, 0), Vector3(1e200, 0, -1e200)};
    for (const Vector3& v : samples) {
        const Direction from_vector(v);
        double vx, vy, vz;
        v.get(vx, vy, vz);
        const Direction from_components(vx, vy, vz);
        EXPECT_NEAR(1.0, length2(from_vector), 1e-15);
        EXPECT_NEAR(1.0, length2(from_components), 1e-15);
        // Same orientation as the vector: the direction has no component across it.
        double dx, dy, dz;
        from_vector.get(dx, dy, dz);
        const double largest = std::fmax(std::fabs(vx), std::fmax(std::fabs(vy), std::fabs(vz)));
        const Vector3 scaled(vx / largest, vy / largest, vz / largest);
        EXPECT_NEAR(0.0, cross(scaled, Vector3(dx, dy, dz)).norm(), 1e-15);
        EXPECT_GT(dot(scaled, Vector3(dx, dy, dz)), 0.0);
    }
}

TEST(Direction, RefusesVectorsWithoutLength)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Vector3> refused = {Vector3(0, 0, 0), Vector3(nan, 0, 0), Vector3(0, nan, 1),
                                          Vector3(inf, 0, 0), Vector3(1, -inf, 0)};
    for (const Vector3& v : refused) {
        double x, y, z;
        v.get(x, y, z);
        try {
            Direction d(v);
            ADD_FAILURE() << "a direction was made of " << v;
        } catch (const KelVane::program_error& e) {
            EXPECT_EQ(std::string("illegal direction, length = 0"), e.what());
        }
        try {
            Direction d(x, y, z);
            ADD_FAILURE() << "a direction was made of " << x << " " << y << " " << z;
        } catch (const KelVane::program_error& e) {
            EXPECT_EQ(std::string("illegal direction, length = 0"), e.what());
        }
    }
}
