// Nonlinear statics: Newton iterations on bars of the nonlinear elastic material
// against the closed-form load-displacement curve, the convergence test and its
// edge cases, the undo of a failed increment, the iteration reports to the
// listing, standard output and the convergence bar, and whole model files with a
// restart.

#include "nonlinear_static.h"

#include <unistd.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "elastic.h"
#include "errors.h"
#include "geometry.h"
#include "loads.h"
#include "node.h"
#include "run_model.h"
#include "sysmat.h"
#include "truss.h"
#include "ui_seam.h"

using namespace control_test;

namespace {

double x_of(const Vector3& v)
{
    double x, y, z;
    v.get(x, y, z);
    return x;
}

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
        load_set = new KelVane::LoadSet(1);
        KelVane::Nodal_Loads* loads = new KelVane::Nodal_Loads;
        loads->add_load(KelVane::Dof::force, x_axis, force);
        loads->add_node(end);
        load_set->add(loads);
        model.load_sets.push_back(load_set);
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

// A spring from one node to the ground along x with stiffness k and an internal
// force that the test chooses as a function of the total displacement and of the
// number of state updates so far.
class LawSpring : public FiniteElement {
public:
    using Law = std::function<double(double displacement, int updates)>;

    LawSpring(KelVane::Node* node, double k, Law law)
        : FiniteElement(1, new KelVane::Node*[1]{node}, 1, 1), k_(k), law_(std::move(law))
    {
    }

    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override
    {
        f = KelVane::Vector(1, 0.0);
        return KelVane::Matrix(1, 1, k_);
    }
    KelVane::Vector internal_forces() override { return KelVane::Vector(1, force); }
    LocalDof* GetLocalDofs() override
    {
        LocalDof* local = new LocalDof[1];
        local[0].node = 1;
        local[0].direction = x_axis;
        local[0].type = KelVane::displacement_type;
        return local;
    }
    void write_restart(std::ostream&) override {}
    void read_restart(std::istream&) override {}
    void update_state() override { force = law_(get_dof_values()(1), ++updates); }
    void accept() override {}
    bool symmetric() override { return true; }
    void draw(wxDC&, DeviceMap&, bool) override {}

    double force = 0.0;
    int updates = 0;

private:
    double k_;
    Law law_;
};

// One spring on node 1, loaded by P in x.
struct SpringModel {
    SpringModel(MyDomain& model, double P, double k, LawSpring::Law law)
    {
        node = add_node(model, 1, 0.0, 0.0);
        spring = new LawSpring(node, k, std::move(law));
        model.add_element(spring);
        load_set = new KelVane::LoadSet(1);
        KelVane::Nodal_Loads* loads = new KelVane::Nodal_Loads;
        loads->add_load(KelVane::Dof::force, x_axis, P);
        loads->add_node(node);
        load_set->add(loads);
        model.load_sets.push_back(load_set);
    }
    MyNode* node;
    LawSpring* spring;
    KelVane::LoadSet* load_set;
};

// Records what the analysis sends to the convergence bar while it lives.
struct BarRecord {
    std::vector<float> tolerances;
    std::vector<std::pair<float, bool>> values;
    int yields = 0;
};
BarRecord* recording = nullptr;

class RecordBar {
public:
    RecordBar()
    {
        recording = &record;
        load_bar_increment = 0;
        UiHooks hooks;
        hooks.yield = [] { ++recording->yields; };
        hooks.set_tolerance = [](float tolerance) { recording->tolerances.push_back(tolerance); };
        hooks.add_value = [](float value, bool new_increment) {
            recording->values.emplace_back(value, new_increment);
        };
        install_ui_hooks(hooks);
    }
    ~RecordBar()
    {
        install_ui_hooks(UiHooks{});
        recording = nullptr;
    }
    BarRecord record;
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

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
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
    EXPECT_EQ(count_of(text, "\niteration "), control.get_iteration());
    EXPECT_EQ(count_of(text, "  ratio: "), control.get_iteration());
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

TEST(NonLinearStatic, ResizedIncrementStartsFromTheCommittedState)
{
    // Full Newton with two iterations at most: the whole load in one step leaves
    // a ratio of about 9.4e-5 after the second iteration, half the load 1.4e-5.
    MyDomain model;
    NonlinearBar bar(model, 2.0e5);
    NonLinearStaticControl control;
    control.add_load_block(1, 1.0, 1);
    control.set_maxiter(2);
    control.set_tolerance(5e-5);
    control.set_maxresize(1);
    std::ostringstream listing, result;
    CaptureStdout out;
    RecordBar bar_graph;
    control.init(model, listing);
    EXPECT_FALSE(control.run(model, listing, result, 1));

    EXPECT_EQ(out.text(),
              "increment   1\niteration    1   2\nResized because solution not converged, "
              "factor 0.5\niteration    1   2\n");
    EXPECT_DOUBLE_EQ(bar.load_set->get_factor(), 0.5);
    // Within what the unbalance of about 1.4 N leaves (2 R / EA_t = 3e-6).
    EXPECT_NEAR(bar.end_displacement(), 2.0 * NonlinearBar::strain(1.0e5), 1e-5);
    // Four iterations, all of increment 1: only the very first bar opens a group.
    const std::vector<std::pair<float, bool>>& values = bar_graph.record.values;
    ASSERT_EQ(values.size(), 4u);
    EXPECT_TRUE(values[0].second);
    EXPECT_FALSE(values[1].second);
    EXPECT_FALSE(values[2].second);
    EXPECT_FALSE(values[3].second);
    EXPECT_GT(values[1].first, 5e-5f);
    EXPECT_LE(values[3].first, 5e-5f);
    EXPECT_EQ(bar_graph.record.tolerances, (std::vector<float>{5e-5f, 5e-5f}));
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
    EXPECT_NE(listing.str().find(norms_line(1, 1e12 - 1.0, 1.0, 1e12 - 1.0)), std::string::npos);
    ASSERT_EQ(bar_graph.record.values.size(), 1u);
    EXPECT_FLOAT_EQ(bar_graph.record.values[0].first, 1e12f);

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
        double tolerance;
        LawSpring::Law law;
        bool converges;  // within maxiter 3
        int iterations;
        double printed_ratio;
    };
    const Case cases[] = {
        // No load and nothing moves: converged at once, ratio 0.
        {"no load, no unbalance", 0.0, 1e-4, [](double, int) { return 0.0; }, true, 1, 0.0},
        // No load, a creeping force of 5e-11 per update stays below 1e-10 once.
        {"no load, tiny unbalance", 0.0, 1e-4, [](double, int n) { return 5e-11 * n; }, true, 1,
         1.0},
        // ... but 1e-9 never does: no ratio is formed, the report shows 1.
        {"no load, unbalance", 0.0, 1e-4, [](double, int n) { return 1e-9 * n; }, false, 3, 1.0},
        // Load 1, stiffness 1: u = 1 and a force of 0.75 leave a ratio of 0.25 exactly.
        {"ratio at the tolerance", 1.0, 0.25,
         [](double u, int) { return u == 0.0 ? 0.0 : u - 0.25; }, true, 1, 0.25},
        {"ratio above the tolerance", 1.0, 0.2499,
         [](double u, int) { return u == 1.0 ? 0.75 : u; }, false, 3, 0.25},
    };
    for (const Case& c : cases) {
        MyDomain model;
        SpringModel springs(model, c.load, 1.0, c.law);
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

// Each end-to-end test runs in a scratch directory of its own, which is also the
// working directory (restart files are written there).
class NonLinearStaticFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kv_nonlinear_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = std::string(pattern) + "/";
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        previous = here;
        ASSERT_EQ(chdir(scratch.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(previous.c_str()), 0);
        std::filesystem::remove_all(scratch);
    }

    std::string write_model(const std::string& name, const std::string& text) const
    {
        std::ofstream(scratch + name) << text;
        return scratch + name;
    }

    std::string scratch;
    std::string previous;
};

std::vector<std::string> split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> tokens;
    std::string token;
    while (in >> token) tokens.push_back(token);
    return tokens;
}

// The final listing block (everything from the last nodal solution on).
std::string final_block(const std::string& listing)
{
    const std::size_t at = listing.rfind("nodal solution in global coordinates");
    return at == std::string::npos ? std::string() : listing.substr(at);
}

// Numbers of the final listing block: node rows, the first stress row of every
// element, and the reactions with their direction.
struct FinalValues {
    std::map<int, std::vector<double>> nodes;
    std::map<int, double> stress;
    std::vector<std::vector<double>> reactions;  // node, value, direction
};

FinalValues parse_final_block(const std::string& block)
{
    FinalValues values;
    std::istringstream in(block);
    std::string line;
    std::string section;
    int element = -1;
    while (std::getline(in, line)) {
        const std::vector<std::string> tokens = split(line);
        if (line == "element stresses" || line == "reactions") {
            section = line;
            continue;
        }
        if (tokens.empty() || !(std::isdigit(static_cast<unsigned char>(tokens[0][0])) ||
                                tokens[0][0] == '-' || tokens[0] == "element"))
            continue;
        if (tokens[0] == "element") {
            element = std::stoi(tokens.at(1));
        } else if (section.empty()) {
            std::vector<double>& row = values.nodes[std::stoi(tokens[0])];
            for (std::size_t i = 1; i < tokens.size(); ++i) row.push_back(std::stod(tokens[i]));
        } else if (section == "element stresses") {
            if (element >= 0 && !values.stress.count(element))
                values.stress[element] = std::stod(tokens[0]);
        } else if (tokens.size() == 6) {
            values.reactions.push_back({std::stod(tokens[0]), std::stod(tokens[2]),
                                        std::stod(tokens[3]), std::stod(tokens[4]),
                                        std::stod(tokens[5])});
        }
    }
    return values;
}

}  // namespace

TEST_F(NonLinearStaticFiles, ExampleModelMatchesItsClosedForm)
{
    const std::string source = std::string(KV_EXAMPLES_DIR) + "/nonlinear_truss";
    const std::string model = write_model("nonlinear_truss.dat", read_text_file(source + ".dat"));
    CaptureStdout out;
    const ModelRun run = run_model(model);
    ASSERT_EQ(run.input_errors, 0);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.steps, 4);  // one increment per call of run
    const std::string listing = read_text_file(run.listing_path);
    EXPECT_EQ(count_of(listing, "nodal solution in global coordinates"), 1);
    for (const char* line : {"increment   1\n", "increment   4\n"})
        EXPECT_NE(listing.find(line), std::string::npos) << line;
    const FinalValues values = parse_final_block(final_block(listing));

    std::ifstream expected(source + ".expected");
    ASSERT_TRUE(expected.good());
    double relative = 1e-6, absolute = 1e-12;
    const auto close = [&](double actual, double wanted) {
        return std::fabs(actual - wanted) <= absolute + relative * std::fabs(wanted);
    };
    int checks = 0;
    std::string line;
    while (std::getline(expected, line)) {
        std::vector<std::string> t = split(line);
        if (t.empty() || t[0][0] == '#') continue;
        if (t[0] == "tolerance") {
            relative = std::stod(t.at(1));
            absolute = std::stod(t.at(2));
            continue;
        }
        ++checks;
        if (t[0] == "displacement") {
            const auto node = values.nodes.find(std::stoi(t.at(1)));
            ASSERT_NE(node, values.nodes.end()) << line;
            ASSERT_GE(node->second.size(), 3u) << line;
            for (int i = 0; i < 3; ++i)
                EXPECT_PRED2(close, node->second[i], std::stod(t.at(2 + i))) << line;
        } else if (t[0] == "truss_stress") {
            ASSERT_TRUE(values.stress.count(std::stoi(t.at(1)))) << line;
            EXPECT_PRED2(close, values.stress.at(std::stoi(t.at(1))), std::stod(t.at(2))) << line;
        } else if (t[0] == "reaction" || t[0] == "balance") {
            // reaction <node> u <direction> <value>; balance u <direction> <sum of loads>
            const bool single = t[0] == "reaction";
            const int node = single ? std::stoi(t.at(1)) : 0;
            const std::size_t d = single ? 3 : 2;
            double sum = 0.0;
            int found = 0;
            for (const std::vector<double>& r : values.reactions) {
                if ((single && static_cast<int>(r[0]) != node) ||
                    std::fabs(r[2] - std::stod(t.at(d))) > 1e-3 ||
                    std::fabs(r[3] - std::stod(t.at(d + 1))) > 1e-3 ||
                    std::fabs(r[4] - std::stod(t.at(d + 2))) > 1e-3)
                    continue;
                sum += r[1];
                ++found;
            }
            if (single) {
                EXPECT_EQ(found, 1) << line;
                EXPECT_PRED2(close, sum, std::stod(t.at(d + 3))) << line;
            } else {
                EXPECT_PRED2(close, sum + std::stod(t.at(d + 3)), 0.0) << line;
            }
        } else {
            ADD_FAILURE() << "unknown check " << line;
        }
    }
    EXPECT_GE(checks, 6);
}

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
    const std::string final_state = final_block(first_listing);
    ASSERT_FALSE(final_state.empty());
    EXPECT_EQ(final_block(second_listing), final_state);

    // And both are the closed-form state: eps(2e5) = 1.1^2 - 1.
    const FinalValues values = parse_final_block(final_state);
    ASSERT_TRUE(values.nodes.count(3));
    EXPECT_NEAR(values.nodes.at(3).at(0), 0.42, 1e-4);
}
