#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "errors.h"
#include "fem/test_helpers.h"
#include "integration.h"

using KelVane::IntLocs;
using KelVane::Vector;
using KelVane::gauss_point;
using KelVane::triangle_point;
using kv_test::expect_program_error;

namespace {

double factorial(int n) { return n <= 1 ? 1.0 : n * factorial(n - 1); }

// Exact integral of x^k over [-1, 1].
double line_monomial(int k) { return k % 2 == 1 ? 0.0 : 2.0 / (k + 1); }

// Exact integral of L1^a L2^b L3^c over the reference triangle of area 1/2.
double triangle_monomial(int a, int b, int c)
{
    return factorial(a) * factorial(b) * factorial(c) / factorial(a + b + c + 2);
}

}  // namespace

TEST(GaussRule, IntegratesPolynomialsUpToDegreeTwoNMinusOneExactly)
{
    for (int n = 1; n <= 6; ++n) {
        for (int k = 0; k <= 2 * n; ++k) {
            double sum = 0.0;
            for (int i = 1; i <= n; ++i) {
                double xi = 0.0, w = 0.0;
                gauss_point(i, n, xi, w);
                EXPECT_GT(w, 0.0);
                EXPECT_LT(std::fabs(xi), 1.0);
                sum += w * std::pow(xi, k);
            }
            if (k < 2 * n)
                EXPECT_NEAR(line_monomial(k), sum, 2e-15) << "n=" << n << " degree " << k;
            else
                EXPECT_GT(std::fabs(line_monomial(k) - sum), 1e-5)
                    << "n=" << n << " is exact beyond 2n-1";
        }
    }
}

TEST(GaussRule, NumbersNegativePointsFirstAndMirrorsThemForFiveAndSixPoints)
{
    for (int n = 1; n <= 4; ++n) {
        double previous = -2.0;
        for (int i = 1; i <= n; ++i) {
            double xi = 0.0, w = 0.0;
            gauss_point(i, n, xi, w);
            EXPECT_GT(xi, previous) << "n=" << n << " point " << i;
            previous = xi;
        }
    }
    // Point k + 3 is the mirror of point k, with the same weight.
    for (int n = 5; n <= 6; ++n) {
        for (int k = 1; k + 3 <= n && k <= 3; ++k) {
            double xi = 0.0, w = 0.0, mirror_xi = 0.0, mirror_w = 0.0;
            gauss_point(k, n, xi, w);
            gauss_point(k + 3, n, mirror_xi, mirror_w);
            EXPECT_LT(xi, 0.0);
            EXPECT_EQ(-xi, mirror_xi) << "n=" << n << " point " << k;
            EXPECT_EQ(w, mirror_w);
        }
    }
    double xi = 1.0, w = 0.0;
    gauss_point(3, 5, xi, w);
    EXPECT_EQ(0.0, xi);
    EXPECT_NEAR(128.0 / 225.0, w, 1e-15);

    gauss_point(2, 5, xi, w);
    EXPECT_NEAR(-std::sqrt(5.0 - 2.0 * std::sqrt(10.0 / 7.0)) / 3.0, xi, 1e-15);
    EXPECT_NEAR((322.0 + 13.0 * std::sqrt(70.0)) / 900.0, w, 1e-15);
    gauss_point(4, 5, xi, w);
    EXPECT_NEAR(std::sqrt(5.0 + 2.0 * std::sqrt(10.0 / 7.0)) / 3.0, xi, 1e-15);
    EXPECT_NEAR((322.0 - 13.0 * std::sqrt(70.0)) / 900.0, w, 1e-15);

    const double expected_weights[3] = {5.0 / 9.0, 8.0 / 9.0, 5.0 / 9.0};
    for (int i = 1; i <= 3; ++i) {
        gauss_point(i, 3, xi, w);
        EXPECT_NEAR(expected_weights[i - 1], w, 1e-15);
        EXPECT_NEAR((i - 2) * std::sqrt(0.6), xi, 1e-15);
    }
}

TEST(GaussRule, RejectsPointNumberBeforeCount)
{
    double xi = 0.0, w = 0.0;
    expect_program_error([&] { gauss_point(3, 2, xi, w); },
                         "wrong integration point number:3 of 2 available");
    expect_program_error([&] { gauss_point(0, 3, xi, w); },
                         "wrong integration point number:0 of 3 available");
    expect_program_error([&] { gauss_point(0, 9, xi, w); },
                         "wrong integration point number:0 of 9 available");
    expect_program_error([&] { gauss_point(1, 7, xi, w); }, "wrong nr of integration points: 7");
    expect_program_error([&] { gauss_point(1, 0, xi, w); },
                         "wrong integration point number:1 of 0 available");
}

TEST(TriangleRule, IntegratesPolynomialsOfItsDegreeExactly)
{
    struct rule {
        int points;
        int degree;
    };
    const rule rules[] = {{1, 1}, {3, 2}, {4, 3}, {7, 5}};
    for (const rule& r : rules) {
        for (int degree = 0; degree <= r.degree + 1; ++degree) {
            double worst_error = 0.0;
            for (int a = 0; a <= degree; ++a) {
                for (int b = 0; a + b <= degree; ++b) {
                    const int c = degree - a - b;
                    double sum = 0.0;
                    for (int i = 1; i <= r.points; ++i) {
                        double L1 = 0.0, L2 = 0.0, L3 = 0.0, w = 0.0;
                        triangle_point(i, r.points, L1, L2, L3, w);
                        EXPECT_NEAR(1.0, L1 + L2 + L3, 1e-12);
                        sum += w * std::pow(L1, a) * std::pow(L2, b) * std::pow(L3, c);
                    }
                    worst_error =
                        std::max(worst_error, std::fabs(sum - triangle_monomial(a, b, c)));
                }
            }
            if (degree <= r.degree)
                EXPECT_LT(worst_error, 1e-12) << r.points << " points, degree " << degree;
            else
                EXPECT_GT(worst_error, 1e-5)
                    << r.points << " points exact beyond degree " << r.degree;
        }
    }
}

TEST(TriangleRule, KeepsItsPublishedPointsAndChecksNumbers)
{
    double L1 = 0.0, L2 = 0.0, L3 = 0.0, w = 0.0;
    triangle_point(1, 4, L1, L2, L3, w);
    EXPECT_NEAR(1.0 / 3.0, L1, 1e-15);
    EXPECT_NEAR(1.0 / 3.0, L2, 1e-15);
    EXPECT_NEAR(1.0 / 3.0, L3, 1e-15);
    EXPECT_DOUBLE_EQ(-27.0 / 96.0, w);

    triangle_point(2, 3, L1, L2, L3, w);
    EXPECT_NEAR(2.0 / 3.0, L1, 1e-15);
    EXPECT_NEAR(1.0 / 6.0, L2, 1e-15);
    EXPECT_NEAR(1.0 / 6.0, w, 1e-15);

    const double a = (6.0 - std::sqrt(15.0)) / 21.0;
    triangle_point(2, 7, L1, L2, L3, w);
    EXPECT_NEAR(1.0 - 2.0 * a, L1, 1e-13);
    EXPECT_NEAR(a, L2, 1e-13);
    EXPECT_NEAR((155.0 - std::sqrt(15.0)) / 2400.0, w, 1e-13);

    expect_program_error([&] { triangle_point(1, 2, L1, L2, L3, w); },
                         "wrong nr of integration points: 2");
    expect_program_error([&] { triangle_point(8, 7, L1, L2, L3, w); },
                         "wrong integration point number:8 of 7 available");
    expect_program_error([&] { triangle_point(0, 2, L1, L2, L3, w); },
                         "wrong integration point number:0 of 2 available");
}

TEST(IntLocs, StoresPointsAndCopiesThemDeeply)
{
    Vector first(2);
    first(1) = -0.5;
    first(2) = 0.25;
    Vector second(2);
    second(1) = 0.75;
    second(2) = -1.0;

    IntLocs* original = new IntLocs(2);
    EXPECT_EQ(2u, original->size());
    EXPECT_EQ(0u, original->coordinates(1).size());
    EXPECT_EQ(0.0, original->weight(1));
    original->set(1, first, 1.5);
    original->set(2, second, 0.5);

    IntLocs copy(*original);
    IntLocs assigned(1);
    assigned = *original;
    original->set(1, second, 9.0);
    delete original;

    for (const IntLocs* locations : {&copy, &assigned}) {
        ASSERT_EQ(2u, locations->size());
        EXPECT_EQ(-0.5, locations->coordinates(1)(1));
        EXPECT_EQ(0.25, locations->coordinates(1)(2));
        EXPECT_EQ(1.5, locations->weight(1));
        EXPECT_EQ(0.75, locations->coordinates(2)(1));
        EXPECT_EQ(0.5, locations->weight(2));
    }

    expect_program_error([&] { copy.set(3, first, 1.0); },
                         "wrong integration point number: 3\nshould be between 1 and 2");
    expect_program_error([&] { copy.set(0, first, 1.0); },
                         "wrong integration point number: 0\nshould be between 1 and 2");
}

TEST(IntLocsDeathTest, ReadingOutsideThePointsIsAnInternalFault)
{
    IntLocs locations(2);
    EXPECT_DEATH(locations.coordinates(3), "Assertion failed");
    EXPECT_DEATH(locations.weight(0), "Assertion failed");
}
