#include "integration.h"

#include <sstream>

#include "errors.h"
#include "kv_assert.h"

namespace KelVane {

namespace {

// Abscissa and weight of one stored point of a rule.
struct rule_point {
    double location;
    double weight;
};

// The n-point Gauss-Legendre rules in their point numbering; row n-1 holds rule n.
const rule_point gauss_rules[6][6] = {
    {{0.0, 2.0}},
    {{-0.577350269189626, 1.0}, {0.577350269189626, 1.0}},
    {{-0.774596669241483, 0.555555555555556},
     {0.0, 0.888888888888889},
     {0.774596669241483, 0.555555555555556}},
    {{-0.861136311594053, 0.347854845137454},
     {-0.339981043584856, 0.652145154862546},
     {0.339981043584856, 0.652145154862546},
     {0.861136311594053, 0.347854845137454}},
    {{-0.906179845938664, 0.236926885056189},
     {-0.538469310105683, 0.478628670499366},
     {0.0, 0.568888888888889},
     {0.906179845938664, 0.236926885056189},
     {0.538469310105683, 0.478628670499366}},
    {{-0.932469514203152, 0.171324492379170},
     {-0.661209386466265, 0.360761573048139},
     {-0.238619186083197, 0.467913934572691},
     {0.932469514203152, 0.171324492379170},
     {0.661209386466265, 0.360761573048139},
     {0.238619186083197, 0.467913934572691}},
};

struct triangle_rule_point {
    double L1, L2, L3;
    double weight;
};

constexpr double third = 0.333333333333333;
constexpr double sixth = 0.166666666666667;
constexpr double two_thirds = 0.666666666666667;

const triangle_rule_point triangle_1[] = {{third, third, third, 0.5}};

const triangle_rule_point triangle_3[] = {
    {sixth, sixth, two_thirds, sixth},
    {two_thirds, sixth, sixth, sixth},
    {sixth, two_thirds, sixth, sixth},
};

// Degree 3 with a negative centroid weight.
const triangle_rule_point triangle_4[] = {
    {third, third, third, -27.0 / 96.0},
    {0.6, 0.2, 0.2, 25.0 / 96.0},
    {0.2, 0.6, 0.2, 25.0 / 96.0},
    {0.2, 0.2, 0.6, 25.0 / 96.0},
};

// Degree 5: a = (6 - sqrt 15)/21, b = 1 - 2a, c = (6 + sqrt 15)/21, d = 1 - 2c,
// w1 = (155 - sqrt 15)/2400, w2 = (155 + sqrt 15)/2400.
constexpr double seven_a = 0.1012865073235;
constexpr double seven_b = 0.7974269853531;
constexpr double seven_c = 0.4701420641051;
constexpr double seven_d = 0.0597158717898;
constexpr double seven_w1 = 0.0629695902724;
constexpr double seven_w2 = 0.0661970763943;

const triangle_rule_point triangle_7[] = {
    {seven_a, seven_a, seven_b, seven_w1},
    {seven_b, seven_a, seven_a, seven_w1},
    {seven_a, seven_b, seven_a, seven_w1},
    {seven_c, seven_d, seven_c, seven_w2},
    {seven_c, seven_c, seven_d, seven_w2},
    {seven_d, seven_c, seven_c, seven_w2},
    {third, third, third, 9.0 / 80.0},
};

void check_point_number(int i, int n)
{
    if (i < 1 || i > n) {
        std::ostringstream message;
        message << "wrong integration point number:" << i << " of " << n << " available";
        throw program_error(message.str());
    }
}

[[noreturn]] void throw_wrong_count(int n)
{
    std::ostringstream message;
    message << "wrong nr of integration points: " << n;
    throw program_error(message.str());
}

}  // namespace

IntLocs::IntLocs(std::uint32_t n) : points(n) {}

void IntLocs::set(int i, const Vector& coordinates, double weight)
{
    if (i < 1 || static_cast<std::uint32_t>(i) > size()) {
        std::ostringstream message;
        message << "wrong integration point number: " << i << '\n'
                << "should be between 1 and " << size();
        throw program_error(message.str());
    }
    points[i - 1].coordinates = coordinates;
    points[i - 1].weight = weight;
}

const Vector& IntLocs::coordinates(int i) const
{
    KV_ASSERT(i>=1 && static_cast<std::uint32_t>(i)<=size());
    return points[i - 1].coordinates;
}

double IntLocs::weight(int i) const
{
    KV_ASSERT(i>=1 && static_cast<std::uint32_t>(i)<=size());
    return points[i - 1].weight;
}

void gauss_point(int i, int n, double& xi, double& w)
{
    check_point_number(i, n);
    if (n > 6) throw_wrong_count(n);
    const rule_point& point = gauss_rules[n - 1][i - 1];
    xi = point.location;
    w = point.weight;
}

void triangle_point(int i, int n, double& L1, double& L2, double& L3, double& w)
{
    check_point_number(i, n);
    const triangle_rule_point* rule = nullptr;
    switch (n) {
    case 1: rule = triangle_1; break;
    case 3: rule = triangle_3; break;
    case 4: rule = triangle_4; break;
    case 7: rule = triangle_7; break;
    default: throw_wrong_count(n);
    }
    const triangle_rule_point& point = rule[i - 1];
    L1 = point.L1;
    L2 = point.L2;
    L3 = point.L3;
    w = point.weight;
}

}  // namespace KelVane
