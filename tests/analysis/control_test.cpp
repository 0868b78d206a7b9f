#include "control.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "errors.h"
#include "post_selection.h"

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
