#include "control.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "errors.h"
#include "model_text.h"
#include "post_selection.h"
#include "sysmat.h"

using namespace control_test;

TEST(StepSelect, SelectsListedStepsAllOrTheFinalOne)
{
    KelVane::StepSelect none;
    KelVane::StepSelect listed;
    listed.steps = {2, 5};
    KelVane::StepSelect all;
    all.all = true;
    KelVane::StepSelect last;
    last.last = true;
    for (int step = 1; step <= 6; ++step) {
        EXPECT_FALSE(none.selects(step, 6));
        EXPECT_EQ(listed.selects(step, 6), step == 2 || step == 5) << step;
        EXPECT_TRUE(all.selects(step, 6));
        EXPECT_EQ(last.selects(step, 6), step == 6) << step;
    }

    KelVane::PostProc post;
    EXPECT_FALSE(post.displacement || post.incr_displa || post.temperature ||
                 post.temp_increment || post.stress || post.equivalent);
    post.steps.insert(3);
    post.last = true;
    post.clear();
    EXPECT_FALSE(post.selects(3, 3));
}

TEST(LinearControl, TwoBarTrussMatchesClosedForm)
{
    MyDomain model;
    TwoBarTruss truss(model);
    LinearControl control;
    std::ostringstream listing, result;

    control.init(model, listing);
    EXPECT_FALSE(control.is_done());
    EXPECT_TRUE(listing.str().empty());  // init writes nothing
    // The step limit does not matter: the whole analysis runs in one call.
    EXPECT_FALSE(control.run(model, listing, result, 0));
    EXPECT_TRUE(control.is_done());

    double ux, uy, uz;
    truss.apex->displacement().get(ux, uy, uz);
    EXPECT_NEAR(ux, 0.0, 1e-14);
    EXPECT_NEAR(uy, TwoBarTruss::deflection, 1e-14);
    EXPECT_NEAR(truss.left_bar->get_point().get_stress()(1), TwoBarTruss::bar_stress, 1e-12);
    EXPECT_NEAR(truss.right_bar->get_point().get_stress()(1), TwoBarTruss::bar_stress, 1e-12);

    // Nothing is committed: the solution is still the nodes' running increment.
    double dx, dy, dz;
    truss.apex->displacement_increment().get(dx, dy, dz);
    EXPECT_NEAR(dy, TwoBarTruss::deflection, 1e-14);

    EXPECT_NE(listing.str().find("nodal solution"), std::string::npos);
    EXPECT_TRUE(result.str().empty());
}

TEST(LinearControl, PrescribedDisplacementDrivesTheFreeNode)
{
    // Two equal bars in a row, the left end fixed and the right end moved by 0.02:
    // the middle node goes half way, each bar carries E A 0.01 / 1.
    MyDomain model;
    add_bar_properties(model, 500.0, 3.0);
    MyNode* left = add_node(model, 1, 0.0, 0.0);
    MyNode* middle = add_node(model, 2, 1.0, 0.0);
    MyNode* right = add_node(model, 3, 2.0, 0.0);
    left->add_dof(KelVane::fixed_status, KelVane::displacement_type, x_axis);
    Truss* bar = add_bar(model, 1, left, middle);
    add_bar(model, 2, middle, right);
    KelVane::LoadSet* set = new KelVane::LoadSet(1);
    KelVane::Nodal_Prescribed* prescribed = new KelVane::Nodal_Prescribed;
    prescribed->add_load(KelVane::displacement_type, x_axis, 0.02);
    prescribed->add_node(right);
    set->add(prescribed);
    model.load_sets.push_back(set);

    LinearControl control;
    std::ostringstream listing, result;
    EXPECT_FALSE(control.analyse(model, listing, result));
    EXPECT_EQ(model.n_free, 1u);
    EXPECT_EQ(model.n_prescribed, 1u);
    double ux, uy, uz;
    middle->displacement().get(ux, uy, uz);
    EXPECT_NEAR(ux, 0.01, 1e-15);
    right->displacement().get(ux, uy, uz);
    EXPECT_NEAR(ux, 0.02, 1e-15);
    EXPECT_NEAR(bar->get_point().get_stress()(1), 500.0 * 0.01, 1e-10);
}

TEST(LinearControl, MissingLoadSetOneIsReported)
{
    MyDomain model;
    TwoBarTruss truss(model, 2);
    LinearControl control;
    std::ostringstream listing, result;
    control.init(model, listing);
    try {
        control.run(model, listing, result, 1);
        FAIL() << "no exception";
    } catch (const KelVane::not_found& error) {
        EXPECT_STREQ(error.what(), "unknown load set number 1: *loadef defines no set 1");
    }
    EXPECT_FALSE(control.is_done());
    EXPECT_TRUE(listing.str().empty());
}

namespace {

// Sums of the reactions of the supported dofs along x, y and z, and the largest
// reaction of any one of them.
struct SupportForces {
    double sums[3] = {0.0, 0.0, 0.0};
    double largest = 0.0;
};

SupportForces support_forces(MyDomain& model)
{
    KelVane::SystemVector reactions;
    model.reactions(reactions);
    SupportForces forces;
    for (const MyNode* node : model.nodes) {
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            const KelVane::itincDof& dof = node->get_dof(i);
            if (dof.is_free()) continue;
            const double r = (dof.is_fixed() ? reactions.fixed_part()
                                             : reactions.prescribed_part())(dof.get_global_nr());
            double d[3] = {0.0, 0.0, 0.0};
            dof.get_direction().get(d[0], d[1], d[2]);
            for (int k = 0; k < 3; ++k) forces.sums[k] += r * d[k];
            forces.largest = std::max(forces.largest, std::fabs(r));
        }
    }
    return forces;
}

// A unit square (E 1000, nu 0.25, thickness 1) of the given elements with the
// given supports and pressure lines; nodes 5 to 8 are the mid-side nodes.
std::string square_model(const std::string& elements, const std::string& supports,
                         const std::string& pressures, const std::string& analysis)
{
    return "*title\nsquare under pressure\n*nodes\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"
           "5 0.5 0 0\n6 1 0.5 0\n7 0.5 1 0\n8 0 0.5 0\n"
           "*material 1\nlinearelastic\nyoung 1000\npoisson 0.25\n*geometry 1\nthick 1\n"
           "*elements\n" +
           elements + "*suppress\n" + supports + "*loadef\nset 1\npressure\n" + pressures +
           analysis + "*end\n";
}

}  // namespace

// A linear analysis applies every load to the undeformed model, the reactions
// too, which it forms after the solution has moved the nodes: they balance the
// pressures to rounding. Pressures of 10 on the top and bottom of a square (or a
// cube, or a ring) cancel, leaving no reaction (before: -1.25e-2 per node of the
// square, the bottom pressure taken on the edge stretched by nu 10 / E); a
// pressure on the top alone goes whole into the supports, along the pressure
// only, also where the top is held across it and turns (before: 6.25e-2
// along x on the square held along its left side). The nonlinear analysis keeps
// its follower pressure: the top edge, stretched by nu sigma / E = 0.25 10 L /
// 1000 under the pressure on its length L, carries 10 L, L = 1 / (1 - 2.5e-3).
TEST(LinearControl, ReactionsBalanceThePressuresOnTheUndeformedModel)
{
    const std::string linear = "*linear\n";
    const std::string quad4 = "quad4pss 1 1\n1 1 2 3 4\n";
    const std::string bottom_held = "ux 1\nuy 1 2\n";
    const std::string cube =
        "*title\ncube under pressure\n*nodes\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"
        "5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 1\n*material 1\nlinearelastic\nyoung 1000\n"
        "poisson 0.25\n*elements\nhex8 1\n1 1 2 3 4 5 6 7 8\n"
        "*suppress\nux 1 4\nuy 1 2\nuz 1 2 3 4\n*loadef\nset 1\npressure\n";
    // The ring r = 1 to 2, z = 0 to 1, held in z along its bottom.
    const std::string ring =
        "*title\nring under pressure\n*nodes\n1 1 0 0\n2 2 0 0\n3 2 1 0\n4 1 1 0\n"
        "*material 1\nlinearelastic\nyoung 1000\npoisson 0.25\n*elements\nquad4axi 1\n"
        "1 1 2 3 4\n*suppress\nuy 1 2\n*loadef\nset 1\npressure\n";
    const double ring_area = std::acos(-1.0) * (2.0 * 2.0 - 1.0);
    const struct {
        const char* what;
        std::string model;
        int axis;      // of the pressure's resultant
        double total;  // the reactions' sum along the axis; 0: every reaction 0
    } cases[] = {
        {"quad4pss, top and bottom",
         square_model(quad4, bottom_held, "1 1 10\n1 3 10\n", linear), 1, 0.0},
        {"quad4pss, top only", square_model(quad4, bottom_held, "1 3 10\n", linear), 1, 10.0},
        {"quad4pss, top only, left side held",
         square_model(quad4, "ux 1 4\nuy 1\n", "1 3 10\n", linear), 1, 10.0},
        {"tri3pss, top and bottom",
         square_model("tri3pss 1 1\n1 1 2 3\n2 1 3 4\n", bottom_held, "1 1 10\n2 2 10\n",
                      linear),
         1, 0.0},
        {"quad8pss, top and bottom",
         square_model("quad8pss 1 1\n1 1 5 2 6 3 7 4 8\n", "ux 1\nuy 1 2 5\n",
                      "1 1 10\n1 3 10\n", linear),
         1, 0.0},
        {"hex8, top and bottom", cube + "1 3 10\n1 5 10\n" + linear, 2, 0.0},
        {"hex8, top only", cube + "1 5 10\n" + linear, 2, 10.0},
        {"quad4axi, top and bottom", ring + "1 1 10\n1 3 10\n" + linear, 1, 0.0},
        {"quad4axi, top only", ring + "1 3 10\n" + linear, 1, 10.0 * ring_area},
        {"quad4pss, top only, nonlinear",
         square_model(quad4, bottom_held, "1 3 10\n",
                      "*nonlinear static\nincrements 1\nunbalance 1e-10\n"),
         1, 10.0 / (1.0 - 2.5e-3)},
    };
    for (const auto& c : cases) {
        MyDomain model;
        KelVane::Control<MyDomain>* control = nullptr;
        ASSERT_EQ(kv_test::read_model_text(c.model, model, control).errors, 0) << c.what;
        std::unique_ptr<KelVane::Control<MyDomain>> owner(control);
        std::ostringstream listing, result;
        CaptureStdout out;
        control->analyse(model, listing, result);
        const SupportForces forces = support_forces(model);
        if (c.total == 0.0) {
            EXPECT_LT(forces.largest, 1e-12) << c.what;
            continue;
        }
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(forces.sums[k], k == c.axis ? c.total : 0.0, 1e-9 * c.total)
                << c.what << ", direction " << k + 1;
    }
}
