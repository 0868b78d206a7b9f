#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

#include "errors.h"
#include "node.h"
#include "sysmat.h"

using namespace KelVane;

namespace {

const Direction x_axis(1, 0, 0);
const Direction y_axis(0, 1, 0);
const Direction z_axis(0, 0, 1);
const Direction none;

// Component of dof i's direction along v.
double along(const Node& node, std::uint32_t i, const Vector3& v)
{
    double x, y, z;
    node.get_dof(i).get_direction().get(x, y, z);
    return dot(Vector3(x, y, z), v);
}

void expect_near(const Vector3& v, double x, double y, double z)
{
    double a, b, c;
    v.get(a, b, c);
    EXPECT_NEAR(a, x, 1e-13);
    EXPECT_NEAR(b, y, 1e-13);
    EXPECT_NEAR(c, z, 1e-13);
}

void number(Node& node, std::uint32_t n_free = 0)
{
    std::uint32_t n_fixed = 0, n_prescribed = 0;
    node.number_dofs(n_free, n_fixed, n_prescribed);
}

}  // namespace

TEST(Node, RequestsCreateDofsForTheUnspannedRemainderOnly)
{
    MyNode node(1, 0, 0, 0);
    EXPECT_EQ(node.add_dof(free_status, displacement_type, x_axis), 0);
    EXPECT_EQ(node.add_dof(free_status, displacement_type, Direction(1, 1, 0)), 0);
    EXPECT_NEAR(along(node, 1, Vector3(0, 1, 0)), 1.0, 1e-15);
    EXPECT_EQ(node.add_dof(free_status, displacement_type, Direction(1, 1, 0)), 1);
    EXPECT_EQ(node.add_dof(free_status, displacement_type, Direction(1, 5e-4, 0)), 1);  // |r|^2 2.5e-7
    EXPECT_EQ(node.add_dof(free_status, displacement_type, none), 1);
    EXPECT_EQ(node.add_dof(free_status, rotation_type, z_axis), 0);  // kinds count apart
    EXPECT_EQ(node.number_of_dofs(), 3u);

    // Within the tolerance of x: (1, 5e-4, 0) leaves |r|^2 of about 2.5e-7 and is
    // joined, and the node keeps the largest angle it joined so; requests parallel
    // to rounding are joined as well, but leave no angle.
    MyNode other(2, 0, 0, 0);
    other.add_dof(free_status, displacement_type, x_axis);
    EXPECT_EQ(other.add_dof(free_status, displacement_type, Direction(1, 1e-12, 0)), 1);
    EXPECT_EQ(other.joined_angle(), 0.0);
    EXPECT_EQ(other.add_dof(free_status, displacement_type, Direction(1, 5e-4, 0)), 1);
    EXPECT_NEAR(other.joined_angle(), std::atan(5e-4), 1e-12);
    EXPECT_EQ(other.add_dof(free_status, displacement_type, Direction(-1, 1e-4, 0)), 1);
    EXPECT_NEAR(other.joined_angle(), std::atan(5e-4), 1e-12);
    EXPECT_EQ(other.number_of_dofs(), 1u);
    // Just beyond the tolerance: (1, 2e-3, 0) leaves |r|^2 of about 4e-6.
    EXPECT_EQ(other.add_dof(free_status, displacement_type, Direction(1, 2e-3, 0)), 0);

    // Three skewed requests give three orthonormal dofs.
    MyNode skewed(3, 0, 0, 0);
    const Vector3 requests[] = {Vector3(1, 2, 0), Vector3(0, 1, 3), Vector3(2, -1, 1)};
    for (const Vector3& r : requests)
        EXPECT_EQ(skewed.add_dof(free_status, displacement_type, Direction(r)), 0);
    for (std::uint32_t i = 0; i < 3; ++i) {
        double x, y, z;
        skewed.get_dof(i).get_direction().get(x, y, z);
        for (std::uint32_t j = 0; j < 3; ++j)
            EXPECT_NEAR(along(skewed, j, Vector3(x, y, z)), i == j ? 1.0 : 0.0, 1e-14);
    }
}

TEST(Node, FirstRequestDecidesTheStatus)
{
    MyNode node(1, 0, 0, 0);
    EXPECT_EQ(node.add_dof(fixed_status, displacement_type, x_axis), 0);
    EXPECT_EQ(node.add_dof(free_status, displacement_type, x_axis), 1);
    EXPECT_EQ(node.add_dof(prescribed_status, temperature_type, none), 0);
    EXPECT_EQ(node.add_dof(free_status, temperature_type, none), 1);
    EXPECT_EQ(node.add_dof(fixed_status, temperature_type, none), 1);
    ASSERT_EQ(node.number_of_dofs(), 2u);
    EXPECT_TRUE(node.get_dof(0).is_fixed());
    EXPECT_TRUE(node.get_dof(1).is_prescribed());
}

TEST(Node, DofSetExpressesADirectionOnTheNodeDofs)
{
    MyNode node(1, 0, 0, 0);
    node.add_dof(free_status, displacement_type, x_axis);
    node.add_dof(free_status, rotation_type, z_axis);
    node.add_dof(fixed_status, displacement_type, y_axis);
    node.add_dof(free_status, temperature_type, none);

    dof_sets skew, axis, heat, orthogonal;
    node.get_dof_set(displacement_type, Direction(0.6, 0.8, 0), skew);
    ASSERT_EQ(skew.count(), 2u);
    EXPECT_EQ(skew[0].dof, &node.get_dof(0));
    EXPECT_NEAR(skew[0].coefficient, 0.6, 1e-15);
    EXPECT_EQ(skew[1].dof, &node.get_dof(2));  // whatever its status
    EXPECT_NEAR(skew[1].coefficient, 0.8, 1e-15);
    node.get_dof_set(displacement_type, x_axis, axis);
    EXPECT_EQ(axis.count(), 1u);
    node.get_dof_set(temperature_type, none, heat);
    ASSERT_EQ(heat.count(), 1u);
    EXPECT_EQ(heat[0].coefficient, 1.0);
    node.get_dof_set(rotation_type, x_axis, orthogonal);
    EXPECT_EQ(orthogonal.count(), 0u);

    // A direction within the tolerance of the x dof keeps its small part along y,
    // on both sides of the tolerance: a member a hair off x still pulls on the
    // support across it. Only a part of rounding size is dropped.
    for (const double across : {2e-4, 1.2e-3, 1e-9}) {
        SCOPED_TRACE(across);
        const Direction near_x(1, across, 0);
        dof_sets expressed, projected;
        node.get_dof_set(displacement_type, near_x, expressed);
        node.get_dof_projection(displacement_type, near_x, projected);
        ASSERT_EQ(expressed.count(), 2u);
        ASSERT_EQ(projected.count(), 2u);
        EXPECT_EQ(expressed[1].dof, &node.get_dof(2));
        EXPECT_NEAR(expressed[1].coefficient, across / std::sqrt(1 + across * across), 1e-15);
        EXPECT_EQ(expressed[1].coefficient, projected[1].coefficient);
    }
    dof_sets rounding;
    node.get_dof_set(displacement_type, Direction(1, 1e-14, 0), rounding);
    EXPECT_EQ(rounding.count(), 1u);
}

TEST(Node, NumberingCountsEachStatusSeparatelyFromOne)
{
    MyNode first(1, 0, 0, 0), second(2, 1, 0, 0);
    first.add_dof(free_status, displacement_type, x_axis);
    first.add_dof(fixed_status, displacement_type, y_axis);
    first.add_dof(free_status, displacement_type, z_axis);
    second.add_dof(prescribed_status, displacement_type, x_axis);
    second.add_dof(free_status, displacement_type, y_axis);
    std::uint32_t n_free = 0, n_fixed = 0, n_prescribed = 0;
    first.number_dofs(n_free, n_fixed, n_prescribed);
    second.number_dofs(n_free, n_fixed, n_prescribed);
    EXPECT_EQ(n_free, 3u);
    EXPECT_EQ(n_fixed, 1u);
    EXPECT_EQ(n_prescribed, 1u);
    const std::uint32_t expected[] = {1, 1, 2, 1, 3};
    for (std::uint32_t i = 0; i < 5; ++i) {
        const Node& node = i < 3 ? first : second;
        EXPECT_EQ(node.get_dof(i < 3 ? i : i - 3).get_global_nr(), expected[i]) << i;
    }
}

TEST(Node, LoadsAreProjectedOnTheDofsOfTheirKindAndUncarriedPartsTold)
{
    const double s = 1.0 / std::sqrt(2.0);
    MyNode node(1, 0, 0, 0);
    node.add_dof(free_status, displacement_type, Direction(1, 1, 0));
    node.add_dof(free_status, displacement_type, Direction(-1, 1, 0));
    node.add_dof(fixed_status, displacement_type, z_axis);
    node.add_dof(free_status, rotation_type, z_axis);
    node.add_dof(free_status, temperature_type, none);
    number(node);
    SystemVector f(4, 0, 1);

    testing::internal::CaptureStderr();
    node.add_load(Dof::force, x_axis, 10.0, f);
    node.add_load(Dof::force, Direction(0.6, 0.8, 0), 10.0, f);
    node.add_load(Dof::moment, z_axis, 3.0, f);
    node.add_load(Dof::heat_flux, none, 7.0, f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NEAR(f.free_part()(1), 10.0 * s + 14.0 * s, 1e-13);
    EXPECT_NEAR(f.free_part()(2), -10.0 * s + 2.0 * s, 1e-13);
    EXPECT_EQ(f.free_part()(3), 3.0);
    EXPECT_EQ(f.free_part()(4), 7.0);

    // Along the fixed z dof: the load goes into the support's entry, its reaction.
    EXPECT_TRUE(node.carries_load(Dof::force, z_axis));
    node.add_load(Dof::force, z_axis, 10.0, f);
    EXPECT_EQ(f.fixed_part()(1), 10.0);
    EXPECT_FALSE(node.carries_load(Dof::moment, x_axis));
    EXPECT_FALSE(node.carries_load(Dof::moment, Direction(0, 0.6, 0.8)));

    // A heat flux on a node without a temperature dof finds nothing to take it; a
    // prescribed value falls on a support only where a fixed dof takes a part of it.
    MyNode cold(2, 0, 0, 0);
    cold.add_dof(fixed_status, displacement_type, x_axis);
    number(cold);
    EXPECT_FALSE(cold.carries_load(Dof::heat_flux, none));
    EXPECT_TRUE(cold.carries_load(Dof::force, x_axis));
    EXPECT_FALSE(cold.carries_load(Dof::force, Direction(0.6, 0.8, 0)));
    EXPECT_FALSE(cold.prescribed_on_support(temperature_type, none));
    EXPECT_TRUE(cold.prescribed_on_support(displacement_type, x_axis));
    EXPECT_TRUE(cold.prescribed_on_support(displacement_type, Direction(0.6, 0.8, 0)));
    EXPECT_FALSE(cold.prescribed_on_support(displacement_type, y_axis));
    MyNode warm(3, 0, 0, 0);
    warm.add_dof(fixed_status, temperature_type, none);
    warm.add_dof(prescribed_status, displacement_type, x_axis);
    EXPECT_TRUE(warm.prescribed_on_support(temperature_type, none));
    EXPECT_FALSE(warm.prescribed_on_support(displacement_type, x_axis));
    // A support read after the prescribed value holds the node all the same.
    MyNode late(4, 0, 0, 0);
    late.add_dof(prescribed_status, displacement_type, x_axis);
    late.add_dof(fixed_status, displacement_type, x_axis);
    EXPECT_TRUE(late.prescribed_on_support(displacement_type, x_axis));
    EXPECT_FALSE(late.prescribed_on_support(displacement_type, y_axis));
}

TEST(Node, IncrementsAcceptAndDropWithTheDerivedQuantities)
{
    MyNode node(4, 1.0, 2.0, 3.0);
    node.add_dof(free_status, displacement_type, Direction(1, 1, 0));
    node.add_dof(free_status, rotation_type, z_axis);
    node.add_dof(prescribed_status, displacement_type, Direction(-1, 1, 0));
    node.add_dof(free_status, temperature_type, none);
    number(node, 5);  // other nodes came first: free numbers 6, 7, 8
    EXPECT_EQ(node.temperature(), 0.0);

    Vector du(8, 0.0);
    du(6) = std::sqrt(2.0);  // along (1,1,0)/sqrt2: one unit in x and in y
    du(7) = 0.3;             // rotation: never part of the displacement
    du(8) = 15.0;
    node.add_increment(du);
    node.add_prescribed(displacement_type, Direction(-1, 1, 0), std::sqrt(2.0));
    node.add_prescribed(displacement_type, z_axis, 1.0);  // no prescribed dof along z

    expect_near(node.displacement(), 0.0, 2.0, 0.0);  // (1,1,0) + (-1,1,0)
    expect_near(node.displacement_increment(), 0.0, 2.0, 0.0);
    EXPECT_EQ(node.temperature_increment(), 15.0);
    Vector collected(8, -1.0);
    node.get_increment(collected);
    EXPECT_EQ(collected(5), -1.0);
    EXPECT_EQ(collected(7) + collected(8), 15.3);

    node.accept_increment();
    expect_near(node.displacement(), 0.0, 2.0, 0.0);
    expect_near(node.displacement_increment(), 0.0, 0.0, 0.0);
    node.add_increment(du);
    node.clear_increment();
    EXPECT_EQ(node.temperature(), 15.0);
    EXPECT_EQ(node.temperature_increment(), 0.0);

    double x, y, z;
    node.get_current_coordinates(x, y, z);
    expect_near(Vector3(x, y, z), 1.0, 4.0, 3.0);
    node.get_scaled_coordinates(x, y, z, 10.0);
    expect_near(Vector3(x, y, z), 1.0, 22.0, 3.0);

    EXPECT_DEATH(node.add_increment(Vector(7, 0.0)), "Assertion failed");
}

TEST(Node, AverageBufferOverwritesFirstThenSums)
{
    MyNode node(1, 0, 0, 0);
    node.reset_average();
    EXPECT_EQ(node.average_sum().size(), 1u);
    EXPECT_EQ(node.average_count(), 0u);
    node.add_to_average(Vector(3, 1.0));
    node.add_to_average(Vector(3, 2.0));
    EXPECT_EQ(node.average_count(), 2u);
    EXPECT_EQ(node.average_sum()(3), 3.0);
}

namespace {

void fill(Node& node, double a, double b)
{
    node.add_dof(free_status, displacement_type, x_axis);
    node.add_dof(prescribed_status, temperature_type, none);
    node.get_dof(0).set_value(a);
    node.get_dof(1).set_value(b);
}

// A numeric format with a decimal comma and thousands grouping.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(NodeRestart, RecordFormatInTheCFormatWhateverTheStream)
{
    MyNode node(12345, 0, 0, 0);
    fill(node, 1234.5, -2.0);
    node.get_dof(1).add_increment(0.25);  // the record holds value + increment
    std::ostringstream os;
    os.imbue(std::locale(std::locale::classic(), new CommaNumbers));
    os.precision(3);
    node.write_restart(os);
    EXPECT_EQ(os.str(), "N12345 1234.5 -1.75 \n");
}

TEST(NodeRestart, RecordsReadBackBitForBit)
{
    const double values[][2] = {{0.1, 1.0 / 3.0}, {1e-300, -1.2345678901234567e17},
                                {std::nextafter(1.0, 2.0), 5e-324}};
    std::stringstream file;
    for (std::uint32_t n = 0; n < 3; ++n) {
        MyNode node(n + 1, 0, 0, 0);
        fill(node, values[n][0], values[n][1]);
        node.write_restart(file);
        file << "\n";  // records may be separated by blank lines
    }
    for (std::uint32_t n = 0; n < 3; ++n) {
        MyNode node(n + 1, 0, 0, 0);
        fill(node, 9.0, 9.0);
        node.get_dof(0).set_increment(0.5);
        node.read_restart(file);
        for (std::uint32_t i = 0; i < 2; ++i) {
            const double read = node.get_dof(i).converged_value();
            EXPECT_EQ(std::memcmp(&read, &values[n][i], sizeof read), 0) << n << ' ' << i;
        }
        EXPECT_EQ(node.get_dof(0).get_increment(), 0.5);  // left as it was
    }
}

TEST(NodeRestart, CorruptedRecordsAreRejectedAndChangeNothing)
{
    const char* const records[] = {
        "",                        // no record at all
        "N13 1 2 \n",              // another node
        "E12 1 2 \n",              // another kind of record
        "N 12 1 2 \n",             // the number follows the letter directly
        "N12x 1 2 \n",             // junk after the number
        "N-12 1 2 \n",             // not an unsigned number
        "N4294967308 1 2 \n",      // 12 modulo 2^32 must not pass
        "N12 1 \nN13 4 5 \n",      // too few values: the next record is not data
        "N12 1 2 3 \n",            // too many values
        "N12 1 2x \n",             // not a number
        "N12 1 1e999 \n",          // out of range
        "N12 nan 2 \n",            // not finite
        "N12 1 -inf \n",
    };
    for (const char* record : records) {
        MyNode node(12, 0, 0, 0);
        fill(node, 7.0, 8.0);
        std::istringstream is(record);
        try {
            node.read_restart(is);
            ADD_FAILURE() << "accepted: \"" << record << '"';
        } catch (const file_error& e) {
            EXPECT_STREQ(e.what(), "corrupted restart file") << record;
        }
        EXPECT_EQ(node.get_dof(0).converged_value() + node.get_dof(1).converged_value(), 15.0)
            << record;
    }
}
