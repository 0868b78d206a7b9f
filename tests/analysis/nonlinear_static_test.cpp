// Nonlinear statics: Newton iterations on bars of the nonlinear elastic material
// against the closed-form load-displacement curve, the convergence test and its
// edge cases, the undo of a failed increment, the iteration reports to the
// listing, standard output and the convergence bar, and a whole model file with
// a restart (the example model runs with the others in examples_test.cpp).

#include "nonlinear_static.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "elastic.h"
#include "errors.h"
#include "example_harness.h"
#include "geometry.h"
#include "iteration_test_support.h"
#include "loads.h"
#include "node.h"
#include "run_model.h"
#include "sysmat.h"
#include "truss.h"
#include "ui_seam.h"

using namespace control_test;

namespace {

// A truss that counts how often its stiffness is formed.
class CountingTruss : public Truss {
public:
    using Truss::Truss;
    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override
    {
        ++stiffness_count;
        return Truss::stiffness_matrix(f);
    }
    int stiffness_count = 0;
};

// Two bars of 1 m along x, node 1 held, pulled at node 3 by F in x (load set 1).
// The material sigma = 2E (sqrt(1 + eps) - 1) with EA = 1e6 gives both bars the
// strain eps(F) = (1 + F / (2 EA))^2 - 1, so node 2 moves eps and node 3 2 eps.
struct NonlinearBar {
    static constexpr double E = 1.0e8;
    static constexpr double A = 0.01;
    static constexpr double EA = E * A;

    static double strain(double force)
    {
        const double root = 1.0 + force / (2.0 * EA);
        return root * root - 1.0;
    }

    NonlinearBar(MyDomain& model, double force) : model(model)
    {
        NonlinearElastic_type* material = new NonlinearElastic_type(1);
        material->set_young(E);
        model.materials.push_back(material);
        KelVane::Geometry* geometry = new KelVane::Geometry(1);
        geometry->set_crosse(A);
        model.geometries.push_back(geometry);

        MyNode* held = add_node(model, 1, 0.0, 0.0);
        middle = add_node(model, 2, 1.0, 0.0);
        end = add_node(model, 3, 2.0, 0.0);
        fix_xy(held);
        for (MyNode* from : {held, middle}) {
            MyNode* to = from == held ? middle : end;
            CountingTruss* bar = new CountingTruss(static_cast<std::uint32_t>(bars.size() + 1),
                                                   new KelVane::Node*[2]{from, to}, material,
                                                   geometry);
            model.add_element(bar);
            bars.push_back(bar);
        }
        load_set = add_x_load(model, end, force);
    }

    double end_displacement() const { return x_of(end->displacement()); }
    double middle_displacement() const { return x_of(middle->displacement()); }
    double stress(int bar) const { return bars.at(bar)->get_point().get_stress()(1); }
    int stiffness_count() const
    {
        int count = 0;
        for (const CountingTruss* bar : bars) count += bar->stiffness_count;
        return count;
    }

    MyDomain& model;
    MyNode* middle;
    MyNode* end;
    std::vector<CountingTruss*> bars;
    KelVane::LoadSet* load_set;
};

std::string scientific(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%11.4e", value);
    return text;
}

std::string norms_line(int iteration, double unbalance, double load, double ratio)
{
    return "\niteration " + std::to_string(iteration) + "\n  unbalance norm: " +
           scientific(unbalance) + "  load norm: " + scientific(load) + "  ratio: " +
           scientific(ratio) + "\n";
}

}  // namespace

TEST(NonLinearStatic, FullNewtonFollowsTheClosedFormCurve)
{
    MyDomain model;
    NonlinearBar bar(model, 2.0e5);
    NonLinearStaticControl control;
    control.add_load_block(1, 0.25, 4);
    control.set_tolerance(1e-10);
    std::ostringstream listing, result;
    CaptureStdout out;
    RecordBar bar_graph;

    control.init(model, listing);
    ASSERT_NE(control.tangent_matrix(), nullptr);
    for (int k = 1; k <= 4; ++k) {
        const int formed_before = bar.stiffness_count();
        EXPECT_EQ(control.run(model, listing, result, 1), k < 4);
        const double eps = NonlinearBar::strain(0.25 * k * 2.0e5);
        EXPECT_NEAR(bar.middle_displacement(), eps, 1e-12) << k;
        EXPECT_NEAR(bar.end_displacement(), 2.0 * eps, 1e-12) << k;
        EXPECT_NEAR(bar.stress(0), 0.25 * k * 2.0e5 / NonlinearBar::A, 1e-3) << k;
        EXPECT_NEAR(bar.stress(1), bar.stress(0), 1e-6) << k;
        EXPECT_DOUBLE_EQ(bar.load_set->get_factor(), 0.25 * k);
        // The converged state of the last increment leaves the load step as unbalance.
        EXPECT_NEAR(control.get_load_norm(), 5.0e4, 1e-3) << k;
        // Quadratic convergence: a few iterations, each forming the tangent once.
        EXPECT_GE(control.get_iteration(), 2) << k;
        EXPECT_LE(control.get_iteration(), 4) << k;
        EXPECT_EQ(bar.stiffness_count() - formed_before, 2 * control.get_iteration()) << k;
        EXPECT_LE(control.get_unbalance_norm(), 1e-10 * control.get_load_norm()) << k;
    }
    // Committed: the increments are back to zero.
    EXPECT_EQ(x_of(bar.end->displacement_increment()), 0.0);
    EXPECT_DOUBLE_EQ(control.progress(0), 1.0);
    EXPECT_EQ(bar_graph.record.yields, static_cast<int>(bar_graph.record.values.size()));
}

TEST(NonLinearStatic, ModifiedNewtonKeepsOneFactorisationPerIncrement)
{
    int full_iterations = 0;
    for (int method : {1, 2}) {
        MyDomain model;
        NonlinearBar bar(model, 2.0e5);
        NonLinearStaticControl control;
        control.add_load_block(1, 0.5, 2);
        control.set_method(method);
        control.set_tolerance(1e-10);
        control.set_maxiter(40);
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);

        int iterations = 0;
        for (int k = 1; k <= 2; ++k) {
            const int formed_before = bar.stiffness_count();
            control.run(model, listing, result, 1);
            iterations += control.get_iteration();
            // Modified Newton forms the tangent only at the increment's start.
            const int tangents = method == 1 ? control.get_iteration() : 1;
            EXPECT_EQ(bar.stiffness_count() - formed_before, 2 * tangents) << method;
            EXPECT_NEAR(bar.end_displacement(), 2.0 * NonlinearBar::strain(k * 1.0e5), 1e-10)
                << method;
        }
        if (method == 1) {
            full_iterations = iterations;
        } else {
            // Linear convergence needs clearly more iterations than quadratic.
            EXPECT_GT(iterations, full_iterations + 4);
        }
    }
}

TEST(NonLinearStatic, IterationReportsInTheListingAndOnStandardOutput)
{
    MyDomain model;
    NonlinearBar bar(model, 2.0e5);
    NonLinearStaticControl control;
    control.add_load_block(1, 0.25, 1);
    control.set_tolerance(1e-10);
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    control.run(model, listing, result, 1);

    // First iteration by hand: the initial tangent EA/L moves node 3 by 2 dF/EA,
    // the bars take eps = dF/EA = 0.05 and carry N = 2 EA (sqrt(1.05) - 1), so the
    // unbalance at node 3 is dF - N (and 0 at node 2).
    const double dF = 5.0e4;
    const double unbalance = dF - 2.0 * NonlinearBar::EA * (std::sqrt(1.05) - 1.0);
    const std::string text = listing.str();
    EXPECT_EQ(text.rfind("increment   1\n" + norms_line(1, unbalance, dF, unbalance / dF), 0), 0u)
        << text;
    EXPECT_EQ(kv_test::count_of(text, "\niteration "), control.get_iteration());
    EXPECT_EQ(kv_test::count_of(text, "  ratio: "), control.get_iteration());
    EXPECT_EQ(out.text(), "increment   1\niteration    1   2   3\n");
    // The last increment writes the nodal solution.
    EXPECT_NE(text.find("nodal solution in global coordinates"), std::string::npos);
}

TEST(NonLinearStatic, FailedIncrementIsTakenBackAndReportsWithoutLineEnd)
{
    // Modified Newton on the whole load in one step converges too slowly for 12
    // iterations with a tolerance no iteration can meet.
    MyDomain model;
    NonlinearBar bar(model, 2.0e5);
    NonLinearStaticControl control;
    control.set_method(2);
    control.set_tolerance(0.0);
    control.set_maxiter(12);
    std::ostringstream listing;
    CaptureStdout out;
    control.init(model, listing);
    try {
        control.increment(model, listing, 1, 1.0);
        FAIL() << "increment converged";
    } catch (const KelVane::divergence_error&) {
        FAIL() << "divergence reported";
    } catch (const KelVane::not_converged_error& failure) {
        EXPECT_STREQ(failure.what(), "solution not converged");
    }
    EXPECT_EQ(control.get_iteration(), 12);
    // Ten numbers to a line; the next line is indented under the first number.
    EXPECT_EQ(out.text(), "iteration    1   2   3   4   5   6   7   8   9  10\n" +
                              std::string(10, ' ') + "  11  12");
    // Back at the committed state: no load, no increments, unstrained bars.
    EXPECT_EQ(bar.load_set->get_factor(), 0.0);
    EXPECT_EQ(x_of(bar.end->displacement()), 0.0);
    EXPECT_EQ(x_of(bar.middle->displacement()), 0.0);
    EXPECT_EQ(bar.stress(0), 0.0);
    EXPECT_EQ(bar.stress(1), 0.0);

    // The same increment can then be done again from there.
    control.set_method(1);
    control.set_tolerance(1e-10);
    control.increment(model, listing, 1, 1.0);
    EXPECT_NEAR(bar.end_displacement(), 0.42, 1e-12);
}

TEST(NonLinearStatic, MaxiterOneFailsUnlessTheFirstIterationMeetsTheTolerance)
{
    // The first iteration of a quarter load step leaves a ratio of about 1.22e-2.
    for (double tolerance : {1e-2, 1.3e-2}) {
        MyDomain model;
        NonlinearBar bar(model, 2.0e5);
        NonLinearStaticControl control;
        control.set_maxiter(1);
        control.set_tolerance(tolerance);
        std::ostringstream listing;
        CaptureStdout out;
        control.init(model, listing);
        if (tolerance < 1.22e-2) {
            EXPECT_THROW(control.increment(model, listing, 1, 0.25), KelVane::not_converged_error);
            EXPECT_EQ(bar.load_set->get_factor(), 0.0);
        } else {
            EXPECT_NO_THROW(control.increment(model, listing, 1, 0.25));
            EXPECT_EQ(bar.load_set->get_factor(), 0.25);
            // One step with the initial tangent: node 3 moves 2 dF / EA.
            EXPECT_NEAR(bar.end_displacement(), 0.1, 1e-12);
        }
        EXPECT_EQ(control.get_iteration(), 1);
    }
}

// A resized increment starts from the committed state and is completed by a
// further sub-step, so the whole load is on at its end; a tolerance that no step
// meets ends at the smallest step with "aborted increment" instead of accepting a
// step that carries almost no load.
TEST(NonLinearStatic, ResizedIncrementIsCompletedOrAborted)
{
    struct Case {
        const char* what;
        double tolerance;
        int maxresize;
        bool completes;
        int bar_values;
    };
    // Full Newton with two iterations at most: the whole load in one step leaves
    // a ratio of about 9.4e-5 after the second iteration, each half 1.4e-5 or less.
    const Case cases[] = {
        {"one resize", 5e-5, 1, true, 6},
        {"tolerance never met", 0.0, 100, false, 2 * 11},
    };
    for (const Case& c : cases) {
        MyDomain model;
        NonlinearBar bar(model, 2.0e5);
        NonLinearStaticControl control;
        control.add_load_block(1, 1.0, 1);
        control.set_maxiter(2);
        control.set_tolerance(c.tolerance);
        control.set_maxresize(c.maxresize);
        std::ostringstream listing, result;
        CaptureStdout out;
        RecordBar bar_graph;
        control.init(model, listing);
        if (c.completes) {
            EXPECT_FALSE(control.run(model, listing, result, 1)) << c.what;
            EXPECT_EQ(out.text(),
                      "increment   1\niteration    1   2\nResized because solution not converged, "
                      "factor 0.5\niteration    1   2\nSub-step 2 of increment 1, factor 0.5\n"
                      "iteration    1   2\n");
            EXPECT_DOUBLE_EQ(bar.load_set->get_factor(), 1.0);
            // Within what the unbalance of about 1.4 N leaves (2 R / EA_t = 3e-6).
            EXPECT_NEAR(bar.end_displacement(), 2.0 * NonlinearBar::strain(2.0e5), 1e-5);
            EXPECT_NEAR(bar.middle_displacement(), NonlinearBar::strain(2.0e5), 1e-5);
        } else {
            EXPECT_THROW(control.run(model, listing, result, 1), KelVane::kelvane_error)
                << c.what;
            EXPECT_EQ(kv_test::count_of(out.text(), "Resized because"), 10) << c.what;
            EXPECT_NE(out.text().find("factor 0.000976562\n"), std::string::npos) << c.what;
            EXPECT_EQ(bar.load_set->get_factor(), 0.0) << c.what;
            EXPECT_EQ(bar.end_displacement(), 0.0) << c.what;
        }
        // Every iteration belongs to increment 1: only the very first bar opens a group.
        const std::vector<std::pair<float, bool>>& values = bar_graph.record.values;
        ASSERT_EQ(static_cast<int>(values.size()), c.bar_values) << c.what;
        for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i].second, i == 0);
        if (c.completes) {
            EXPECT_GT(values[1].first, 5e-5f);
            EXPECT_LE(values[3].first, 5e-5f);
            EXPECT_LE(values[5].first, 5e-5f);
        }
    }
}

TEST(NonLinearStatic, BarGraphGetsOneValuePerIterationAndTheToleranceAtTheFirst)
{
    MyDomain model;
    NonlinearBar bar(model, 2.0e5);
    NonLinearStaticControl control;
    control.add_load_block(1, 0.5, 2);
    control.set_tolerance(1e-8);
    std::ostringstream listing, result;
    CaptureStdout out;
    RecordBar bar_graph;
    control.init(model, listing);
    std::vector<int> iterations;
    while (control.run(model, listing, result, 1)) iterations.push_back(control.get_iteration());
    iterations.push_back(control.get_iteration());

    const BarRecord& record = bar_graph.record;
    ASSERT_EQ(record.values.size(), static_cast<std::size_t>(iterations[0] + iterations[1]));
    EXPECT_EQ(record.yields, static_cast<int>(record.values.size()));
    EXPECT_EQ(record.tolerances, (std::vector<float>{1e-8f, 1e-8f}));
    for (std::size_t i = 0; i < record.values.size(); ++i) {
        const bool first = i == 0 || i == static_cast<std::size_t>(iterations[0]);
        EXPECT_EQ(record.values[i].second, first) << i;
    }
    // Each bar is the ratio of its listing line; the first of the half-load step
    // by hand as in the listing test, with dF = 1e5 and eps = 0.1.
    const double first_ratio = (1.0e5 - 2.0 * NonlinearBar::EA * (std::sqrt(1.1) - 1.0)) / 1.0e5;
    EXPECT_FLOAT_EQ(record.values[0].first, static_cast<float>(first_ratio));
    EXPECT_LE(record.values[iterations[0] - 1].first, 1e-8f);
}

TEST(NonLinearStatic, DivergenceIsTakenBackAndThrown)
{
    // Stiffness 1 but an internal force of 1e12 u: the first iteration leaves a
    // ratio of about 1e12.
    MyDomain model;
    SpringModel springs(model, 1.0, 1.0, [](double u, int) { return 1e12 * u; });
    NonLinearStaticControl control;
    std::ostringstream listing;
    CaptureStdout out;
    RecordBar bar_graph;
    control.init(model, listing);
    try {
        control.increment(model, listing, 1, 1.0);
        FAIL() << "no divergence";
    } catch (const KelVane::divergence_error& failure) {
        EXPECT_STREQ(failure.what(), "divergence occured");
    }
    EXPECT_EQ(control.get_iteration(), 1);
    EXPECT_NEAR(control.get_unbalance_norm(), 1e12 - 1.0, 1.0);
    EXPECT_EQ(springs.load_set->get_factor(), 0.0);
    EXPECT_EQ(x_of(springs.node->displacement()), 0.0);
    EXPECT_EQ(springs.spring->force, 0.0);  // the state recomputed from no increment
    // The ratio is judged against the spring's force of 1e12 at rounding level
    // (1e-14 / 1e-4 of it: 100), the divergence against the load of 1.
    const double ratio = (1e12 - 1.0) / 100.0;
    EXPECT_NE(listing.str().find(norms_line(1, 1e12 - 1.0, 1.0, ratio)), std::string::npos);
    ASSERT_EQ(bar_graph.record.values.size(), 1u);
    EXPECT_FLOAT_EQ(bar_graph.record.values[0].first, static_cast<float>(ratio));

    // Through the framework the divergence is a non-convergence like any other.
    control.add_load_block(1, 1.0, 1);
    std::ostringstream result;
    EXPECT_THROW(control.run(model, listing, result, 1), KelVane::kelvane_error);
    EXPECT_NE(out.text().find("\nERROR: divergence occured\n"), std::string::npos);
}

TEST(NonLinearStatic, ConvergenceTestEdgeCases)
{
    struct Case {
        const char* what;
        double load;
        double stiffness;
        double tolerance;
        LawSpring::Law law;
        bool converges;  // within maxiter 3
        int iterations;
        double printed_ratio;
    };
    const Case cases[] = {
        // No load and nothing moves: converged at once, ratio 0.
        {"no load, no unbalance", 0.0, 1.0, 1e-4, [](double, int) { return 0.0; }, true, 1, 0.0},
        // No load and no force at the start, then a force of 5e-11 from nothing:
        // however small, it is all the force there is, so it is no rounding; it is
        // judged against itself at rounding level (ratio 1e-4 / 1e-14) and, beside
        // nothing at all at the start, it is a divergence at once.
        {"no load, a force from nothing", 0.0, 1.0, 1e-4, [](double, int n) { return 5e-11 * n; },
         false, 1, 1e10},
        // A load of 1e-13 and a spring of stiffness 1e-13 with a force of
        // 0.75e-13 at u = 1: the ratio 0.25 of any units, not an absolute test.
        {"load of 1e-13, ratio above the tolerance", 1e-13, 1e-13, 0.2499,
         [](double u, int) { return u == 1.0 ? 0.75e-13 : 1e-13 * u; }, false, 3, 0.25},
        // Load 1, stiffness 1: u = 1 and a force of 0.75 leave a ratio of 0.25 exactly.
        {"ratio at the tolerance", 1.0, 1.0, 0.25,
         [](double u, int) { return u == 0.0 ? 0.0 : u - 0.25; }, true, 1, 0.25},
        {"ratio above the tolerance", 1.0, 1.0, 0.2499,
         [](double u, int) { return u == 1.0 ? 0.75 : u; }, false, 3, 0.25},
    };
    for (const Case& c : cases) {
        MyDomain model;
        SpringModel springs(model, c.load, c.stiffness, c.law);
        NonLinearStaticControl control;
        control.set_tolerance(c.tolerance);
        control.set_maxiter(3);
        control.set_method(2);
        std::ostringstream listing;
        CaptureStdout out;
        RecordBar bar_graph;
        control.init(model, listing);
        bool converged = true;
        try {
            control.increment(model, listing, 1, 1.0);
        } catch (const KelVane::not_converged_error&) {
            converged = false;
        }
        EXPECT_EQ(converged, c.converges) << c.what;
        EXPECT_EQ(control.get_iteration(), c.iterations) << c.what;
        ASSERT_FALSE(bar_graph.record.values.empty()) << c.what;
        EXPECT_FLOAT_EQ(bar_graph.record.values[0].first, static_cast<float>(c.printed_ratio))
            << c.what;
        EXPECT_NE(listing.str().find("  ratio: " + scientific(c.printed_ratio) + "\n"),
                  std::string::npos)
            << c.what << '\n'
            << listing.str();
    }
}

namespace {

// The whole-model tests write their listings and restart files into a scratch
// directory of their own.
class NonLinearStaticFiles : public kv_test::ScratchFiles {};

// A plate on the unit square meshed with 2 x 2 elements of one kind, its edge
// nodes all given the homogeneous stretch u = 3e-3 x + 2e-3 y, v = -0.5e-3 y
// (strains 3e-3, -0.5e-3 and shear 2e-3) by load set 1; material 1 and
// geometry 1 are the caller's, and so is the analysis.
std::string stretched_plate(const std::string& element, const std::string& material,
                            const std::string& analysis)
{
    const bool serendipity = element == "quad8pss";
    const int n = serendipity ? 5 : 3;  // nodes along a side
    const bool triangles = element == "tri3pss";
    std::map<std::pair<int, int>, int> id;
    std::ostringstream nodes, prescribed, elements;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (serendipity && i % 2 == 1 && j % 2 == 1) continue;
            const int number = static_cast<int>(id.size()) + 1;
            id[{i, j}] = number;
            const double x = static_cast<double>(i) / (n - 1);
            const double y = static_cast<double>(j) / (n - 1);
            nodes << number << ' ' << x << ' ' << y << " 0\n";
            if (i == 0 || j == 0 || i == n - 1 || j == n - 1)
                prescribed << "ux " << 3e-3 * x + 2e-3 * y << " uy " << -0.5e-3 * y << ' '
                           << number << '\n';
        }
    int count = 0;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            auto at = [&](int di, int dj) {
                const int step = serendipity ? 2 : 1;
                return id.at({step * i + di, step * j + dj});
            };
            if (triangles) {
                elements << ++count << ' ' << at(0, 0) << ' ' << at(1, 0) << ' ' << at(1, 1)
                         << '\n';
                elements << ++count << ' ' << at(0, 0) << ' ' << at(1, 1) << ' ' << at(0, 1)
                         << '\n';
            } else if (serendipity) {
                elements << ++count << ' ' << at(0, 0) << ' ' << at(1, 0) << ' ' << at(2, 0)
                         << ' ' << at(2, 1) << ' ' << at(2, 2) << ' ' << at(1, 2) << ' '
                         << at(0, 2) << ' ' << at(0, 1) << '\n';
            } else {
                elements << ++count << ' ' << at(0, 0) << ' ' << at(1, 0) << ' ' << at(1, 1)
                         << ' ' << at(0, 1) << '\n';
            }
        }
    return "*title\nstretched plate\n*nodes\n" + nodes.str() + "*material 1\n" + material +
           "*geometry 1\nthick 1\n*elements\n" + element + " 1 1\n" + elements.str() +
           "*loadef\nset 1\nprescribed\n" + prescribed.str() + analysis + "*end\n";
}

// The bar of the plastic example (two quad4pss, 100 MPa per unit of load set 1,
// yield at 400 MPa), analysed as the caller says.
std::string plastic_bar(const std::string& analysis)
{
    return "*title\nplastic bar\n*nodes\n1 0 0 0\n2 0 10 0\n3 50 0 0\n4 50 10 0\n"
           "5 100 0 0\n6 100 10 0\n*material 1\nvonmises\nyoung 2e5\npoisson 0.3\n"
           "nadai 800 0.1 400\n*geometry 1\nthick 1\n*elements\nquad4pss 1 1\n"
           "1 1 3 4 2\n2 3 5 6 4\n*suppress\nux 1 2\nuy 1\n*loadef\nset 1\nloads\n"
           "fx 500 5 6\n" +
           analysis + "*end\n";
}

}  // namespace

TEST_F(NonLinearStaticFiles, RestartedRunReachesTheSameFinalState)
{
    const std::string model_part =
        "*title\nrestart of a nonlinear bar\n*nodes\n1 0 0 0\n2 1 0 0\n3 2 0 0\n"
        "*material 1\nnonlinearelastic\nyoung 1e8\n*geometry 1\ncrosse 0.01\n"
        "*elements\ntruss 1 1\n1 1 2\n2 2 3\n*suppress\nux uy 1\n"
        "*loadef\nset 1\nloads\nfx 2e5 3\n";
    const std::string whole =
        write_model("bar.dat", model_part +
                                   "*nonlinear static\nincrements 4\nunbalance 1e-10\n"
                                   "save step 2\n*end\n");
    // The second run restores increment 2 and does the remaining two increments.
    const std::string restarted = write_model(
        "bar_restart.dat", model_part +
                               "*nonlinear\nincrement load 1 size 0.25 steps 2\n"
                               "unbalance 1e-10\nrestart bar002.bin\n*end\n");
    CaptureStdout out;

    const ModelRun first = run_model(whole);
    ASSERT_EQ(first.input_errors, 0);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.steps, 4);
    EXPECT_TRUE(std::ifstream(scratch + "bar002.bin").good());
    EXPECT_FALSE(std::ifstream(scratch + "bar004.bin").good());

    const ModelRun second = run_model(restarted);
    ASSERT_EQ(second.input_errors, 0);
    ASSERT_EQ(second.error, "");
    EXPECT_EQ(second.steps, 2);

    const std::string first_listing = read_text_file(first.listing_path);
    const std::string second_listing = read_text_file(second.listing_path);
    EXPECT_EQ(second_listing.find("increment   2\n"), std::string::npos);
    EXPECT_NE(second_listing.find("increment   3\n"), std::string::npos);
    EXPECT_NE(second_listing.find("increment   4\n"), std::string::npos);
    const std::string final_state = kv_test::final_block(first_listing);
    ASSERT_FALSE(final_state.empty());
    EXPECT_EQ(kv_test::final_block(second_listing), final_state);

    // And both are the closed-form state: eps(2e5) = 1.1^2 - 1.
    const kv_test::Listing values = kv_test::parse_listing(final_state);
    ASSERT_TRUE(values.nodal.count(3));
    EXPECT_NEAR(values.nodal.at(3).at(0), 0.42, 1e-4);
}

// A prescribed end displacement of 0.004 in one increment that needs one resize
// (one iteration each: the whole step leaves a ratio of 1.1e-4, each half about
// 5.5e-5) reaches 0.004, not half of it, and the listing shows both sub-steps.
TEST_F(NonLinearStaticFiles, ResizedPrescribedIncrementReachesItsValue)
{
    const std::string model = write_model(
        "prescribed.dat",
        "*title\nprescribed end of two nonlinear bars\n*nodes\n1 0 0 0\n2 1 0 0\n3 2 0 0\n"
        "*material 1\nnonlinearelastic\nyoung 1e8\n*geometry 1\ncrosse 0.01\n"
        "*geometry 2\ncrosse 0.02\n*elements\ntruss 1 1\n1 1 2\ntruss 1 2\n2 2 3\n"
        "*suppress\nux uy 1\nuy 2 3\n*loadef\nset 1\nprescribed\nux 0.004 3\n"
        "*nonlinear static\nincrements 1\nmaxiter 1\nunbalance 7e-5\nmaxresize 1\n*end\n");
    CaptureStdout out;
    const ModelRun run = run_model(model);
    ASSERT_EQ(run.error, "");
    const std::string listing = read_text_file(run.listing_path);
    const std::size_t resized =
        listing.find("\nResized because solution not converged, factor 0.5\n\niteration 1\n");
    const std::size_t sub_step =
        listing.find("\nSub-step 2 of increment 1, factor 0.5\n\niteration 1\n");
    ASSERT_NE(resized, std::string::npos) << listing;
    ASSERT_NE(sub_step, std::string::npos) << listing;
    EXPECT_LT(resized, sub_step);
    EXPECT_LT(sub_step, listing.find("nodal solution"));

    const kv_test::Listing values = kv_test::parse_listing(kv_test::final_block(listing));
    ASSERT_TRUE(values.nodal.count(3));
    EXPECT_EQ(values.nodal.at(3).at(0), 0.004);
    // The thin bar carries the same force as the thick one, at twice its stress.
    const double thin = values.element_rows.at(1).at(0).at(0);
    const double thick = values.element_rows.at(2).at(0).at(0);
    EXPECT_NEAR(thin, 2.0 * thick, 1e-3 * thin);
}

namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A portal frame of steel beams (columns and girder 4 m, pinned feet) braced by
// a diagonal bar of the nonlinear-elastic material, pushed along x at the top
// left corner by 1e6 N and turned at the top right by `moment` N m, written
// with the length unit 1/L m (L = 1000: mm), forces in N. With `density` (kg
// per m^3) the beams and the bar carry mass.
std::string braced_frame(double L, double moment, double density, const std::string& analysis)
{
    const std::string mass = density > 0.0 ? "density " + number(density / (L * L * L * L)) + "\n" : "";
    return "*title\nbraced frame\n*nodes\n1 0 0 0\n2 0 " + number(4 * L) + " 0\n3 " +
           number(4 * L) + ' ' + number(4 * L) + " 0\n4 " + number(4 * L) +
           " 0 0\n*material 1\nlinearelastic\nyoung " + number(2e11 / (L * L)) +
           "\npoisson 0.3\n" + mass + "*material 2\nnonlinearelastic\nyoung " +
           number(1e10 / (L * L)) + "\n" + mass + "*geometry 1\ncrosse " + number(1e-2 * L * L) +
           "\niz " + number(1e-5 * L * L * L * L) + "\n*geometry 2\ncrosse " +
           number(1e-3 * L * L) +
           "\n*elements\nbeam2d 1 1\n1 1 2\n2 2 3\n3 4 3\ntruss 2 2\n4 1 3\n*suppress\n"
           "ux uy 1 4\n*loadef\nset 1\nloads\nfx 1e6 2\nmz " +
           number(moment * L) + " 3\n" + analysis + "*end\n";
}

// A plane-strain plate of thermo-plastic steel, 0.1 m by 0.05 m in two
// quad4psntherm, held along x and at 0 degrees on its left edge, pulled along
// x on its right edge by `force` N per m of thickness at each node and heated
// there by `heat` W per m at each node; with `density` (kg per m^3) it stores
// heat. Written with the length unit 1/L m: the slice is then 1/L m thick, so
// the nodal forces per thickness scale by 1/L, while heat flows per thickness
// (W/m = N/s) stay.
std::string thermoplastic_plate(double L, double force, double heat, double density,
                                const std::string& analysis)
{
    const double L2 = L * L;
    std::string nodes;
    const double corners[6][2] = {{0, 0}, {0.05, 0}, {0.1, 0}, {0, 0.05}, {0.05, 0.05}, {0.1, 0.05}};
    for (int i = 0; i < 6; ++i)
        nodes += std::to_string(i + 1) + ' ' + number(corners[i][0] * L) + ' ' +
                 number(corners[i][1] * L) + " 0\n";
    return "*title\nthermo-plastic plate\n*nodes\n" + nodes +
           "*material 1\nthermoplastic\nyoung " + number(2e11 / L2) + "\npoisson 0.3\nnadai " +
           number(1e9 / L2) + " 0.2 " + number(250e6 / L2) +
           "\nalpha 1.2e-5\nlambda 5e4\ncapacity " + number(460 * L2) + "\n" +
           (density > 0.0 ? "density " + number(density / (L2 * L2)) + "\n" : "") +
           "*elements\nquad4psntherm 1\n1 1 2 5 4\n2 2 3 6 5\n*suppress\nux 1 4\nuy 1\nt 1 4\n"
           "*loadef\nset 1\nloads\n" +
           (force != 0.0 ? "fx " + number(force / L) + " 3 6\n" : "") + "q " + number(heat) +
           " 3 6\n" + analysis + "*end\n";
}

}  // namespace

// The equilibrium test is judged against the forces of the model, not fixed
// limits: a change of units gives the same iterations and displacements, and an
// increment whose load is rounding beside the forces of the model (a hold, a
// heated plate whose thermal load all goes into its supports) converges.
// Forces, moments and heat flows are each judged in their own units: a model
// that has more than one kind gives the same answers after the same iterations
// whichever units make one kind's numbers larger than another's.
TEST_F(NonLinearStaticFiles, ConvergenceDoesNotDependOnUnitsOrRoundingSizedLoads)
{
    // A nonlinear-elastic bar of EA = 2 under 1: sigma = 2 E (sqrt(1 + eps) - 1)
    // gives eps = 1.25^2 - 1 = 0.5625; the first iteration alone gives 0.5.
    const auto bar = [](double units) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "*title\nnonlinear bar\n*nodes\n1 0 0 0\n2 1 0 0\n*material 1\n"
                      "nonlinearelastic\nyoung %.17g\n*geometry 1\ncrosse 1\n*elements\n"
                      "truss 1 1\n1 1 2\n*suppress\nux uy 1\nuy 2\n*loadef\nset 1\nloads\n"
                      "fx %.17g 2\n*nonlinear static\nincrements 1\nmaxiter 20\n*end\n",
                      2.0 * units, units);
        return std::string(text);
    };
    // The free expansion example (steel plates heated by 100 degrees, held
    // against rigid motion only) heated in two increments and then held for two.
    std::string held_free =
        read_text_file(std::string(KV_EXAMPLES_DIR) + "/thermal_expansion.dat");
    const std::size_t blocks = held_free.find("increments 1\n");
    ASSERT_NE(blocks, std::string::npos);
    held_free.replace(blocks, 13,
                      "increment load 1 size 0.5 steps 2\nincrement load 1 size 0 steps 2\n");
    // A plate of the same steel held at every edge node, heated by 100 degrees.
    const std::string restrained =
        "*title\nrestrained plate heated\n*nodes\n1 0 0 0\n2 0.1 0 0\n3 0.2 0 0\n4 0 0.1 0\n"
        "5 0.1 0.1 0\n6 0.2 0.1 0\n7 0 0.2 0\n8 0.1 0.2 0\n9 0.2 0.2 0\n*material 1\n"
        "thermoelastic\nyoung 2.0e11\npoisson 0.3\nalpha 1.2e-5\nlambda 50.0\ncapacity 460.0\n"
        "*geometry 1\nthick 0.01\n*elements\nquad4psstherm 1 1\n1 1 2 5 4\n2 2 3 6 5\n"
        "3 4 5 8 7\n4 5 6 9 8\n*suppress\nux uy 1 2 3 4 6 7 8 9\n*loadef\nset 1\n"
        "prescribed\nt 100.0 1 2 3 4 5 6 7 8 9\n*nonlinear static\nincrements 1\n"
        "timestep 1.0\n*end\n";
    // A frame and a plate in two length units, under load steps, holds and
    // Newmark steps: in millimetres a moment or a heat flow is 1000 times the
    // number it is in metres, beside forces of the same number.
    const std::string frame_static =
        "*nonlinear static\nincrements 1\nmodified\nunbalance 1e-3\nmaxiter 20\n";
    const std::string frame_newmark =
        "*nonlinear dynamic\nnewmark\nincrement load 1 size 1 steps 1\n"
        "increment load 1 size 0 steps 9\ntimestep 0.1\nmodified\nunbalance 1e-3\nmaxiter 20\n";
    const std::string plate_static =
        "*nonlinear static\nincrements 1\ntimestep 1\nfull\nunbalance 1e-3\nmaxiter 20\n";
    const std::string plate_heated =
        "*nonlinear static\nincrements 2\ntimestep 1\nmodified\nunbalance 1e-3\nmaxiter 30\n";
    const std::string plate_newmark =
        "*nonlinear dynamic\nnewmark\nincrement load 1 size 0.5 steps 2\n"
        "increment load 1 size 0 steps 3\ntimestep 0.01\nfull\nunbalance 1e-3\nmaxiter 20\n";
    struct Case {
        const char* what;
        std::string model;
        int node;
        int component;        // of the node's row: 0 u_x, 1 u_y (then the rotations, T)
        double displacement;  // closed form, or the answer at an unbalance of 1e-12
        double stress;        // Sxx of element 1, point 1, when not 0
        const char* group;    // rows that take the same iterations
        double x_load;        // in a static model, what its x reactions balance; 0: not checked
    };
    const double free_strain = 1.2e-5 * 100.0;
    const Case cases[] = {
        {"bar in N and Pa", bar(1.0), 2, 0, 0.5625, 0.0, "bar", 1.0},
        {"bar in units of 1e-13", bar(1e-13), 2, 0, 0.5625, 0.0, "bar", 1e-13},
        {"bar in units of 1e+13", bar(1e13), 2, 0, 0.5625, 0.0, "bar", 1e13},
        {"free plate held after its loaded increments", held_free, 3, 0, 0.2 * free_strain, 0.0,
         "", 0.0},
        {"restrained plate, all load into the supports", restrained, 5, 0, 0.0,
         -2.0e11 * free_strain / 0.7, "", 0.0},
        // Rotation of the right foot.
        {"braced frame in m", braced_frame(1.0, 2e5, 0.0, frame_static), 4, 5, -0.3651, 0.0,
         "frame", 1e6},
        {"braced frame in mm", braced_frame(1e3, 2e5, 0.0, frame_static), 4, 5, -0.3651, 0.0,
         "frame", 1e6},
        {"braced frame under Newmark, in m", braced_frame(1.0, 5e5, 7850.0, frame_newmark), 3, 0,
         1.200, 0.0, "frame under Newmark", 0.0},
        {"braced frame under Newmark, in mm", braced_frame(1e3, 5e5, 7850.0, frame_newmark), 3, 0,
         1200.0, 0.0, "frame under Newmark", 0.0},
        {"thermo-plastic plate under load and heat flow, in m",
         thermoplastic_plate(1.0, 7e6, 2e6, 0.0, plate_static), 3, 0, 3.367e-4, 0.0, "plate",
         1.4e7},
        {"thermo-plastic plate under load and heat flow, in mm",
         thermoplastic_plate(1e3, 7e6, 2e6, 0.0, plate_static), 3, 0, 3.367e-1, 0.0, "plate",
         1.4e4},
        {"thermo-plastic plate under heat flow only, in m",
         thermoplastic_plate(1.0, 0.0, 6e6, 0.0, plate_heated), 3, 0, 3.898e-4, 0.0,
         "heated plate", 0.0},
        {"thermo-plastic plate under heat flow only, in mm",
         thermoplastic_plate(1e3, 0.0, 6e6, 0.0, plate_heated), 3, 0, 3.898e-1, 0.0,
         "heated plate", 0.0},
        {"thermo-plastic plate under Newmark, in m",
         thermoplastic_plate(1.0, 7e6, 2e7, 7800.0, plate_newmark), 3, 0, 4.579e-4, 0.0,
         "plate under Newmark", 0.0},
        {"thermo-plastic plate under Newmark, in mm",
         thermoplastic_plate(1e3, 7e6, 2e7, 7800.0, plate_newmark), 3, 0, 4.579e-1, 0.0,
         "plate under Newmark", 0.0},
    };
    std::map<std::string, std::vector<int>> iterations;
    for (const Case& c : cases) {
        const std::string path = write_model("model.dat", c.model);
        CaptureStdout out;
        const ModelRun run = run_model(path);
        ASSERT_EQ(run.input_errors, 0) << c.what;
        EXPECT_EQ(run.error, "") << c.what;
        EXPECT_TRUE(run.finished) << c.what;
        const std::string listing = read_text_file(run.listing_path);
        const kv_test::Listing values = kv_test::parse_listing(kv_test::final_block(listing));
        ASSERT_TRUE(values.nodal.count(c.node)) << c.what;
        EXPECT_NEAR(values.nodal.at(c.node).at(c.component), c.displacement,
                    1e-3 * std::abs(c.displacement) + 1e-12)
            << c.what;
        if (c.stress != 0.0) {
            ASSERT_TRUE(values.element_rows.count(1)) << c.what;
            EXPECT_NEAR(values.element_rows.at(1).at(0).at(1), c.stress, 1e-3 * std::abs(c.stress))
                << c.what;
        }
        if (c.x_load != 0.0) {
            // Out of balance by no more than the unbalance tolerance allows.
            double reactions = 0.0;
            for (const kv_test::Reaction& r : values.reactions)
                if (r.letter == "u" && r.direction == std::vector<double>{1.0, 0.0, 0.0})
                    reactions += r.value;
            EXPECT_NEAR(reactions, -c.x_load, 1e-3 * c.x_load) << c.what;
        }
        if (c.group[0] != '\0')
            iterations[c.group].push_back(kv_test::count_of(listing, "\niteration "));
    }
    // The same iterations in every unit.
    for (const auto& group : iterations) {
        ASSERT_EQ(group.second.size(), group.first == "bar" ? 3u : 2u) << group.first;
        EXPECT_GT(group.second[0], 2) << group.first;
        for (int count : group.second) EXPECT_EQ(count, group.second[0]) << group.first;
    }
}

// Plane-stress plasticity under a prescribed homogeneous stretch: equilibrium
// holds from the first iteration on (the free interior nodes feel no
// unbalance), while the thickness stress of the points still has to vanish.
// The stresses are those of the exact plane-stress return map (E 200e3,
// nu 0.3, Nadai 1000 (eps0 + eps_p)^0.2 from a yield stress of 250), applied
// once for one increment and ten times for ten, at every point.
TEST_F(NonLinearStaticFiles, PlaneStressPlasticityEndsWithoutThicknessStress)
{
    // The materials with every force-bearing number times a unit factor.
    auto von_mises_in = [](double unit) {
        std::ostringstream text;
        text << "vonmises\nyoung " << 200e3 * unit << "\npoisson 0.3\nnadai " << 1000 * unit
             << " 0.2 " << 250 * unit << '\n';
        return text.str();
    };
    auto thermo_plastic_in = [](double unit) {
        std::ostringstream text;
        text << "thermoplastic\nyoung " << 200e3 * unit << "\npoisson 0.3\nnadai "
             << 1000 * unit << " 0.2 " << 250 * unit << "\nalpha 1e-5\nlambda " << 50 * unit
             << "\ncapacity " << unit << '\n';
        return text.str();
    };
    const std::string von_mises = von_mises_in(1.0);
    const std::string thermo_plastic = thermo_plastic_in(1.0);
    const std::string von_mises_micro = von_mises_in(1e-6);
    const std::string thermo_plastic_pico = thermo_plastic_in(1e-12);
    const std::string thermo_plastic_tera = thermo_plastic_in(1e12);
    struct Case {
        const char* what;
        const char* element;
        const std::string& material;
        const char* analysis;
        double sxx, syy, sxy;
        double unit = 1.0;  // of the force in the material; stresses scale with it
    };
    const Case cases[] = {
        {"quad4pss, one increment", "quad4pss", von_mises, "*nonlinear static\nincrements 1\n",
         315.2260, 80.8723, 66.9582},
        {"quad4pss, ten increments", "quad4pss", von_mises,
         "*nonlinear static\nincrements 10\n", 317.9067, 87.9864, 65.6915},
        {"quad8pss, one increment", "quad8pss", von_mises, "*nonlinear static\nincrements 1\n",
         315.2260, 80.8723, 66.9582},
        {"quad8pss, ten increments", "quad8pss", von_mises,
         "*nonlinear static\nincrements 10\n", 317.9067, 87.9864, 65.6915},
        {"tri3pss, one increment", "tri3pss", von_mises, "*nonlinear static\nincrements 1\n",
         315.2260, 80.8723, 66.9582},
        {"tri3pss, ten increments", "tri3pss", von_mises,
         "*nonlinear static\nincrements 10\n", 317.9067, 87.9864, 65.6915},
        {"tri3pss, modified Newton", "tri3pss", von_mises,
         "*nonlinear static\nincrements 1\nmodified\n", 315.2260, 80.8723, 66.9582},
        {"quad4psstherm, no heating", "quad4psstherm", thermo_plastic,
         "*nonlinear static\nincrements 1\ntimestep 1\n", 315.2260, 80.8723, 66.9582},
        {"quad4pss, massless Newmark step", "quad4pss", von_mises,
         "*nonlinear dynamic\nnewmark\nincrements 1\ntimestep 1\n", 315.2260, 80.8723,
         66.9582},
        // The temperatures of the thermo-plastic plate are fixed nowhere and it stores
        // no heat: its temperature block is singular in every unit.
        {"quad4pss, forces times 1e-6", "quad4pss", von_mises_micro,
         "*nonlinear static\nincrements 10\n", 317.9067, 87.9864, 65.6915, 1e-6},
        {"quad4psstherm, no heating, forces times 1e-12", "quad4psstherm", thermo_plastic_pico,
         "*nonlinear static\nincrements 1\ntimestep 1\n", 315.2260, 80.8723, 66.9582, 1e-12},
        {"quad4psstherm, no heating, forces times 1e12", "quad4psstherm", thermo_plastic_tera,
         "*nonlinear static\nincrements 1\ntimestep 1\n", 315.2260, 80.8723, 66.9582, 1e12},
    };
    for (const Case& c : cases) {
        const std::string model =
            write_model("plate.dat", stretched_plate(c.element, c.material, c.analysis));
        CaptureStdout out;
        const ModelRun run = run_model(model);
        ASSERT_EQ(run.error, "") << c.what;
        const kv_test::Listing values =
            kv_test::parse_listing(kv_test::final_block(read_text_file(run.listing_path)));
        ASSERT_EQ(values.element_rows.size(), c.element[0] == 't' ? 8u : 4u) << c.what;
        for (const auto& element : values.element_rows) {
            ASSERT_FALSE(element.second.empty()) << c.what;
            for (const std::vector<double>& row : element.second) {
                // Point number, Sxx, Syy, Szz, Sxy, printed to four digits.
                ASSERT_EQ(row.size(), 5u) << c.what;
                EXPECT_NEAR(row[1], c.unit * c.sxx, c.unit * 0.06) << c.what;
                EXPECT_NEAR(row[2], c.unit * c.syy, c.unit * 0.006) << c.what;
                EXPECT_NEAR(row[4], c.unit * c.sxy, c.unit * 0.006) << c.what;
                // Negligible at the unbalance tolerance (1e-4) of the in-plane stresses.
                EXPECT_LE(std::fabs(row[3]), 1e-4 * c.unit * c.sxx) << c.what;
            }
        }
    }
}

// A yielded plane-stress bar unloaded by 1 (100 MPa, elastic) takes more than
// five full Newton iterations from its elastic-plastic tangent; half the step
// takes two. The retry of the half starts from the committed state of every
// point, so it is the same computation as that half step taken directly: the
// listings agree line for line from there, and so do the final states.
TEST_F(NonLinearStaticFiles, ResizedPlaneStressIncrementStartsFromTheCommittedState)
{
    const std::string loading =
        "*nonlinear static\nincrement load 1 size 3.9 steps 1\n"
        "increment load 1 size 0.1 steps 5\n";
    const std::string options = "full\nmaxiter 5\nmaxresize 3\n";
    const std::string resized = write_model(
        "resized.dat", plastic_bar(loading + "increment load 1 size -1 steps 1\n" + options));
    const std::string halves = write_model(
        "halves.dat", plastic_bar(loading + "increment load 1 size -0.5 steps 2\n" + options));
    CaptureStdout out;
    const ModelRun resized_run = run_model(resized);
    const ModelRun halves_run = run_model(halves);
    ASSERT_EQ(halves_run.error, "");
    ASSERT_EQ(resized_run.error, "");

    const std::string resized_listing = read_text_file(resized_run.listing_path);
    const std::string halves_listing = read_text_file(halves_run.listing_path);
    const std::string resize = "\nResized because solution not converged, factor 0.5\n";
    const std::string sub_step = "\nSub-step 2 of increment 7, factor 0.5\n";
    const std::size_t retry = resized_listing.find(resize);
    const std::size_t second = resized_listing.find(sub_step);
    ASSERT_NE(retry, std::string::npos) << resized_listing;
    ASSERT_NE(second, std::string::npos) << resized_listing;
    EXPECT_EQ(kv_test::count_of(resized_listing, "Resized because"), 1);
    const std::string retried = resized_listing.substr(retry + resize.size(),
                                                       second - retry - resize.size());
    // The first half, as the direct run has it after its increment line.
    const std::size_t direct = halves_listing.find("increment   7\n");
    const std::size_t next = halves_listing.find("increment   8\n");
    ASSERT_NE(direct, std::string::npos);
    ASSERT_NE(next, std::string::npos);
    const std::size_t first_half = direct + std::string("increment   7\n").size();
    EXPECT_EQ(retried, halves_listing.substr(first_half, next - first_half));
    EXPECT_NE(retried.find("load norm:  3.5355e+02"), std::string::npos) << retried;

    const std::string final_state = kv_test::final_block(halves_listing);
    ASSERT_FALSE(final_state.empty());
    EXPECT_EQ(kv_test::final_block(resized_listing), final_state);
}
