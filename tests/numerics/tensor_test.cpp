#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collect_array.h"
#include "errors.h"
#include "kvmatrix.h"
#include "stress_state.h"
#include "tensor.h"

namespace {

// [[1 2 3] [0 4 5] [1 0 6]]: trace 11, principal minors 4 + 24 + 3 = 31,
// determinant 1*(24 - 0) - 0*(12 - 0) + 1*(10 - 12) = 22.
Tensor2Gen general_tensor()
{
    const double rows[3][3] = {{1, 2, 3}, {0, 4, 5}, {1, 0, 6}};
    Tensor2Gen A;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            A(i, j) = rows[i - 1][j - 1];
    return A;
}

// [[2 1 0] [1 3 1] [0 1 4]]: trace 9, principal minors 5 + 11 + 8 = 24,
// determinant 2*(12 - 1) - 1*(4 - 0) = 18.
Tensor2Sym symmetric_tensor()
{
    Tensor2Sym S(0);
    S(1, 1) = 2;
    S(2, 2) = 3;
    S(3, 3) = 4;
    S(1, 2) = 1;
    S(2, 3) = 1;
    return S;
}

Tensor2Gen as_general(const Tensor2& A)
{
    Tensor2Gen G;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            G(i, j) = A(i, j);
    return G;
}

void expect_tensor_near(const Tensor2& actual, const Tensor2& expected, double tolerance)
{
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(actual(i, j), expected(i, j), tolerance) << "(" << i << "," << j << ")";
}

TEST(Tensor2, ZeroAndIdentity)
{
    const Tensor2Sym S0(0), S1(1);
    const Tensor2Gen G0(0), G1(1);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            const double delta = i == j ? 1.0 : 0.0;
            EXPECT_EQ(S0(i, j), 0.0);
            EXPECT_EQ(G0(i, j), 0.0);
            EXPECT_EQ(S1(i, j), delta);
            EXPECT_EQ(G1(i, j), delta);
        }
    for (const Tensor2* identity : {static_cast<const Tensor2*>(&S1), static_cast<const Tensor2*>(&G1)}) {
        double I1 = 0, I2 = 0, I3 = 0;
        identity->invariants(&I1, &I2, &I3);
        EXPECT_EQ(I1, 3.0);
        EXPECT_EQ(I2, 3.0);
        EXPECT_EQ(I3, 1.0);
        EXPECT_EQ(det(*identity), 1.0);
    }
}

TEST(Tensor2, InvariantsOfKnownTensors)
{
    const Tensor2Gen A = general_tensor();
    EXPECT_DOUBLE_EQ(trace(A), 11.0);
    EXPECT_DOUBLE_EQ(det(A), 22.0);
    double I1 = 0, I2 = 0, I3 = 0;
    A.invariants(&I1, &I2, &I3);
    EXPECT_DOUBLE_EQ(I1, 11.0);
    EXPECT_DOUBLE_EQ(I2, 31.0);
    EXPECT_DOUBLE_EQ(I3, 22.0);

    // The symmetric override and the general version agree on the same tensor.
    const Tensor2Sym S = symmetric_tensor();
    const Tensor2Gen G = as_general(S);
    double s1 = 0, s2 = 0, s3 = 0, g1 = 0, g2 = 0, g3 = 0;
    S.invariants(&s1, &s2, &s3);
    G.invariants(&g1, &g2, &g3);
    EXPECT_DOUBLE_EQ(s1, 9.0);
    EXPECT_DOUBLE_EQ(s2, 24.0);
    EXPECT_DOUBLE_EQ(s3, 18.0);
    EXPECT_EQ(s1, g1);
    EXPECT_EQ(s2, g2);
    EXPECT_EQ(s3, g3);
    EXPECT_DOUBLE_EQ(det(S), 18.0);

    // Only the requested invariants are written.
    double only_second = -1.0, untouched = -1.0;
    S.invariants(nullptr, &only_second, nullptr);
    G.invariants(&untouched, nullptr, nullptr);
    EXPECT_DOUBLE_EQ(only_second, 24.0);
    EXPECT_DOUBLE_EQ(untouched, 9.0);
}

TEST(Tensor2, SymmetricStorageSharesTheOffDiagonalPair)
{
    Tensor2Sym S(0);
    S(1, 2) = 0.5;
    S(3, 2) = -2.0;
    S(1, 3) = 7.0;
    EXPECT_EQ(S(2, 1), 0.5);
    EXPECT_EQ(S(2, 3), -2.0);
    EXPECT_EQ(S(3, 1), 7.0);
    EXPECT_EQ(S.elem(2, 1), 0.5);
    EXPECT_EQ(S.elem(3, 2), -2.0);
    EXPECT_EQ(S.elem(3, 1), 7.0);
    EXPECT_EQ(S(1, 1), 0.0);

    KelVane::CollectArray array;
    S.collect(array);
    ASSERT_EQ(array.size(), 9u);
    EXPECT_EQ(array[1], 0.5);  // (1,2)
    EXPECT_EQ(array[3], 0.5);  // (2,1)
    EXPECT_EQ(array[2], 7.0);  // (1,3)
    EXPECT_EQ(array[6], 7.0);  // (3,1)
}

TEST(Tensor2, ProductsAndSums)
{
    const Tensor2Gen A = general_tensor();
    const Tensor2Sym S = symmetric_tensor();

    // A S computed by hand: row 1 of A times S is (1*2+2*1, 1*1+2*3+3*1, 2*1+3*4).
    const Tensor2Gen AS = A * S;
    EXPECT_DOUBLE_EQ(AS(1, 1), 4.0);
    EXPECT_DOUBLE_EQ(AS(1, 2), 10.0);
    EXPECT_DOUBLE_EQ(AS(1, 3), 14.0);
    EXPECT_DOUBLE_EQ(AS(3, 3), 24.0);
    EXPECT_DOUBLE_EQ(det(AS), det(A) * det(S));

    const Tensor2Gen At = transpose(A);
    EXPECT_EQ(At(1, 3), A(3, 1));
    EXPECT_EQ(At(3, 1), A(1, 3));
    EXPECT_EQ(At(2, 3), A(3, 2));

    expect_tensor_near(AtA(A), At * A, 1e-12);
    expect_tensor_near(ABAt(A, S), A * S * At, 1e-12);
    const Tensor2Sym half_sum = symmetric_part(A);
    expect_tensor_near(half_sum, 0.5 * symmetric_part(A + At), 1e-12);
    EXPECT_DOUBLE_EQ(half_sum(1, 3), 2.0);
    EXPECT_DOUBLE_EQ(half_sum(3, 1), 2.0);
    EXPECT_DOUBLE_EQ(half_sum(2, 3), 2.5);

    Tensor2Gen sum = A;
    sum += Tensor2Gen(1);
    EXPECT_EQ(sum(2, 2), 5.0);
    EXPECT_EQ(sum(2, 3), 5.0);

    Tensor2Sym scaled = S + Tensor2Sym(1);
    scaled *= 2.0;
    EXPECT_EQ(scaled(1, 1), 6.0);
    EXPECT_EQ(scaled(2, 1), 2.0);
    EXPECT_EQ((3.0 * S)(3, 2), 3.0);
}

TEST(Tensor2, CollectAndDistributeRowByRow)
{
    Tensor2Gen A;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            A(i, j) = 10.0 * i + j;
    KelVane::CollectArray array;
    A.collect(array);
    const std::vector<double> rows = {11, 12, 13, 21, 22, 23, 31, 32, 33};
    ASSERT_EQ(array.size(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k)
        EXPECT_EQ(array[k], rows[k]);

    A.collect(array);
    Tensor2Gen first(0), second(0);
    distribute(array, first);
    distribute(array, second);
    EXPECT_EQ(array.cursor(), 18u);
    expect_tensor_near(first, A, 0.0);
    expect_tensor_near(second, A, 0.0);
    EXPECT_THROW(distribute(array, first), KelVane::file_error);
}

// A symmetric tensor whose every component is distinct and non-zero.
Tensor2Sym full_tensor()
{
    Tensor2Sym T(0);
    T(1, 1) = 1.0;
    T(2, 2) = 2.0;
    T(3, 3) = 3.0;
    T(1, 2) = 0.01;
    T(2, 3) = 0.02;
    T(3, 1) = 0.03;
    return T;
}

struct VectorLayout {
    int state;
    bool expanded;
    std::vector<std::pair<int, int>> components;
};

const std::vector<VectorLayout> layouts = {
    {0, false, {{1, 1}, {2, 2}, {3, 3}, {1, 2}, {2, 3}, {3, 1}}},
    {0, true, {{1, 1}, {2, 2}, {3, 3}, {1, 2}, {2, 3}, {3, 1}}},
    {1, false, {{1, 1}, {2, 2}, {1, 2}}},
    {1, true, {{1, 1}, {2, 2}, {3, 3}, {1, 2}}},
    {2, false, {{1, 1}, {2, 2}, {1, 2}}},
    {2, true, {{1, 1}, {2, 2}, {3, 3}, {1, 2}}},
    {3, false, {{1, 1}, {2, 2}, {3, 3}, {1, 2}}},
    {3, true, {{1, 1}, {2, 2}, {3, 3}, {1, 2}}},
    {4, false, {{1, 1}}},
    {4, true, {{1, 1}, {2, 2}, {3, 3}}},
};

TEST(StressStrainVectors, EveryStateFollowsItsLayout)
{
    const Tensor2Sym T = full_tensor();
    for (const VectorLayout& layout : layouts) {
        SCOPED_TRACE(testing::Message() << "state " << layout.state << " expanded " << layout.expanded);
        const KelVane::Vector stress = Tensor2StressVector(T, layout.expanded, layout.state);
        const KelVane::Vector strain = Tensor2StrainVector(T, layout.expanded, layout.state);
        const int size = layout.expanded ? ExpandedStressSize(layout.state) : StressSize(layout.state);
        ASSERT_EQ(stress.size(), static_cast<unsigned>(size));
        ASSERT_EQ(strain.size(), layout.components.size());
        for (unsigned k = 1; k <= stress.size(); ++k) {
            const auto [i, j] = layout.components[k - 1];
            EXPECT_EQ(stress(k), T(i, j));
            EXPECT_EQ(strain(k), i == j ? T(i, j) : 2.0 * T(i, j));
        }

        // Back to a tensor: the named components return, all others are zero.
        const Tensor2Sym back = StressVector2Tensor(stress, layout.expanded, layout.state);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                bool named = false;
                for (const auto& c : layout.components)
                    named = named || (c.first == i && c.second == j) || (c.first == j && c.second == i);
                EXPECT_EQ(back(i, j), named ? T(i, j) : 0.0) << "(" << i << "," << j << ")";
            }
    }
}

template <typename F>
std::string conversion_error(F conversion)
{
    try {
        conversion();
    } catch (const kelvaned_error& e) {
        return e.what();
    }
    return "no exception";
}

TEST(StressStrainVectors, UndefinedStateThrowsNamingTheFunction)
{
    const Tensor2Sym T = full_tensor();
    const KelVane::Vector v(6, 1.0);
    for (const int state : {-1, 5}) {
        for (const bool expanded : {false, true}) {
            SCOPED_TRACE(testing::Message() << "state " << state << " expanded " << expanded);
            EXPECT_EQ(conversion_error([&] { Tensor2StrainVector(T, expanded, state); }),
                      "undefined stress type in Tensor2StrainVector");
            EXPECT_EQ(conversion_error([&] { Tensor2StressVector(T, expanded, state); }),
                      "undefined stress type in Tensor2StressVector");
            EXPECT_EQ(conversion_error([&] { StressVector2Tensor(v, expanded, state); }),
                      "undefined stress type in StressVector2Tensor");
        }
    }
}

TEST(Tensor2DeathTest, IndexAndConstructorChecks)
{
    EXPECT_DEATH(Tensor2Sym(2), "index==0 \\|\\| index==1");
    EXPECT_DEATH(Tensor2Gen(-1), "index==0 \\|\\| index==1");
    Tensor2Sym S(0);
    Tensor2Gen G(0);
    EXPECT_DEATH(S(0, 1), "i>0 && i<4");
    EXPECT_DEATH(S(1, 4), "j>0 && j<4");
    EXPECT_DEATH(S.elem(1, 2), "j>0 && j<=i");
    EXPECT_DEATH(G(4, 1), "i>0 && i<4");
    EXPECT_DEATH(G(1, 0), "j>0 && j<4");
}

}  // namespace
