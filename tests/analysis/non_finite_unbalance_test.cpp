// Iterations whose unbalance or load is not a finite number: the nonlinear static
// and the Newmark procedures must stop them as a divergence at once, not iterate
// up to maxiter and (Newmark) accept the state.

#include "newmark.h"
#include "nonlinear_static.h"

#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "errors.h"
#include "iteration_test_support.h"

using namespace control_test;

namespace {

const double not_a_number = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

struct Case {
    const char* what;
    double load;
    LawSpring::Law law;
};

// Every way a norm can stop being a number: a NaN or infinite internal force with
// a load, a NaN force without a load (no ratio is formed then), and a NaN load.
const Case cases[] = {
    {"NaN unbalance", 1.0, [](double, int) { return not_a_number; }},
    {"infinite unbalance", 1.0, [](double, int) { return infinity; }},
    {"NaN unbalance, no load", 0.0, [](double, int) { return not_a_number; }},
    {"NaN load", not_a_number, [](double u, int) { return u; }},
};

// Runs one increment of the control on a fresh spring model; returns the message
// of the divergence_error it throws, or "" when it throws none.
template <class Control>
std::string divergence_of(Control& control, MyDomain& model, std::ostringstream& listing,
                          int maxiter = 5)
{
    control.set_maxiter(maxiter);
    control.init(model, listing);
    try {
        control.increment(model, listing, 1, 1.0);
    } catch (const KelVane::divergence_error& failure) {
        return failure.what();
    } catch (const KelVane::not_converged_error& failure) {
        return std::string("not converged: ") + failure.what();
    }
    return "";
}

}  // namespace

TEST(NonFiniteUnbalance, NonLinearStaticDivergesAtOnceAndTakesTheIncrementBack)
{
    for (const Case& c : cases) {
        MyDomain model;
        const SpringModel spring(model, c.load, 1.0, c.law);  // stiffness 1
        NonLinearStaticControl control;
        std::ostringstream listing;
        CaptureStdout out;
        EXPECT_EQ(divergence_of(control, model, listing), "divergence occured") << c.what;
        EXPECT_EQ(control.get_iteration(), 1) << c.what;
        EXPECT_EQ(spring.load_set->get_factor(), 0.0) << c.what;
        EXPECT_EQ(spring.u(), 0.0) << c.what;
    }
}

TEST(NonFiniteUnbalance, NewmarkDivergesAtOnceInsteadOfAcceptingTheState)
{
    for (const Case& c : cases) {
        MyDomain model;
        const SpringModel spring(model, c.load, 1.0, c.law);  // stiffness 1
        NonLinearNewmarkControl control;
        control.set_timestep(0.1);
        std::ostringstream listing;
        CaptureStdout out;
        EXPECT_EQ(divergence_of(control, model, listing), "divergence occured") << c.what;
        EXPECT_EQ(control.get_iteration(), 1) << c.what;
        // The motion of the step is not taken over.
        EXPECT_EQ(control.get_velocity()(1), 0.0) << c.what;
        EXPECT_EQ(control.get_acceleration()(1), 0.0) << c.what;
    }

    // Through the increment loop the step is aborted and nothing is committed.
    for (const Case& c : cases) {
        MyDomain model;
        const SpringModel spring(model, c.load, 1.0, c.law);  // stiffness 1
        NonLinearNewmarkControl control;
        control.set_timestep(0.1);
        control.set_maxiter(5);
        control.add_load_block(1, 1.0, 1);
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);
        try {
            control.run(model, listing, result, 1);
            ADD_FAILURE() << "step accepted: " << c.what;
        } catch (const KelVane::kelvane_error& failure) {
            EXPECT_STREQ(failure.what(), "aborted increment") << c.what;
        }
        EXPECT_NE(out.text().find("\nERROR: divergence occured\n"), std::string::npos) << c.what;
        EXPECT_EQ(control.get_velocity()(1), 0.0) << c.what;
        EXPECT_EQ(control.get_acceleration()(1), 0.0) << c.what;
    }
}

TEST(NonFiniteUnbalance, FiniteNormsKeepTheRatioTest)
{
    // The guard leaves finite norms alone: a ratio just under 1e10 is a
    // non-convergence, one above it a divergence.
    for (const double factor : {0.9e10, 1.1e10}) {
        MyDomain model;
        SpringModel spring(model, 1.0, 1.0, [factor](double u, int) { return factor * u; });
        NonLinearStaticControl control;
        std::ostringstream listing;
        CaptureStdout out;
        const std::string outcome = divergence_of(control, model, listing, 1);
        if (factor < 1e10)
            EXPECT_EQ(outcome, "not converged: solution not converged");
        else
            EXPECT_EQ(outcome, "divergence occured");
    }
}
