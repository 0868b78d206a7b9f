#include "eigen_control.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/stream_capture.h"
#include "control_test_model.h"
#include "iteration_test_support.h"
#include "domain.h"
#include "elastic.h"
#include "errors.h"
#include "material.h"
#include "model_loader.h"
#include "model_text.h"
#include "node.h"
#include "point_mass.h"
#include "run_model.h"
#include "truss.h"

using control_test::CaptureStdout;
using control_test::x_axis;
using control_test::y_axis;

namespace {

const double pi = 3.14159265358979323846;

// Equal masses m on a line along x, joined by massless bars of stiffness
// k = E A / L = 1000 (unit length), so sqrt(k / m) = 20. Every node is held in y;
// with `wall` the chain hangs from a fixed node 0 on the left, otherwise it floats.
struct SpringMassChain {
    static constexpr double k = 1000.0;
    static constexpr double m = 2.5;

    SpringMassChain(MyDomain& model, unsigned count, bool wall)
    {
        Elastic_type* steel = new Elastic_type(1);
        steel->set_young(k);
        steel->set_poisson(0.0);
        model.materials.push_back(steel);
        KelVane::Mass_type* mass = new KelVane::Mass_type(2, m);
        model.materials.push_back(mass);
        KelVane::Geometry* section = new KelVane::Geometry(1);
        section->set_crosse(1.0);
        model.geometries.push_back(section);

        MyNode* previous = nullptr;
        if (wall) {
            previous = new MyNode(100, 0.0, 0.0, 0.0);
            previous->add_dof(KelVane::fixed_status, KelVane::displacement_type, x_axis);
            previous->add_dof(KelVane::fixed_status, KelVane::displacement_type, y_axis);
            model.nodes.push_back(previous);
        }
        for (unsigned i = 1; i <= count; ++i) {
            MyNode* node = new MyNode(i, double(i), 0.0, 0.0);
            node->add_dof(KelVane::fixed_status, KelVane::displacement_type, y_axis);
            model.nodes.push_back(node);
            masses.push_back(node);
            model.add_element(new Mass2D(i, new KelVane::Node*[1]{node}, mass, nullptr));
            if (previous != nullptr)
                model.add_element(
                    new Truss(100 + i, new KelVane::Node*[2]{previous, node}, steel, section));
            previous = node;
        }
    }

    // x displacement increments of the masses, in chain order.
    std::vector<double> shape() const
    {
        std::vector<double> u;
        for (const MyNode* node : masses) {
            double ux, uy, uz;
            node->displacement_increment().get(ux, uy, uz);
            u.push_back(ux);
        }
        return u;
    }

    std::vector<MyNode*> masses;
};

// Fixed-free chain of N masses: phi_i = sin(i theta_j), theta_j = (2j - 1) pi / (2N + 1),
// omega_j = 2 sqrt(k/m) sin(theta_j / 2).
double wall_chain_hz(unsigned N, unsigned j)
{
    const double theta = (2.0 * j - 1.0) * pi / (2.0 * N + 1.0);
    return 2.0 * std::sqrt(SpringMassChain::k / SpringMassChain::m) * std::sin(theta / 2.0) /
           (2.0 * pi);
}

// Free-floating chain of N masses: theta_j = j pi / N, j = 0 ... N - 1 (j = 0 the
// rigid-body motion).
double free_chain_hz(unsigned N, unsigned j)
{
    return 2.0 * std::sqrt(SpringMassChain::k / SpringMassChain::m) * std::sin(j * pi / (2.0 * N)) /
           (2.0 * pi);
}

double hz(const Mode& mode) { return std::sqrt(mode.eigenvalue) / (2.0 * pi); }

// Frequencies from the lines "f(<i>) = <f> Hz"; the mode numbers must count 1, 2, ...
std::vector<double> listed_frequencies(const std::string& text)
{
    std::vector<double> found;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, 2, "f(") != 0) continue;
        unsigned number = 0;
        double value = 0.0;
        char close = 0, equals = 0;
        std::string unit;
        std::istringstream fields(line.substr(2));
        fields >> number >> close >> equals >> value >> unit;
        EXPECT_EQ(number, found.size() + 1) << line;
        EXPECT_EQ(close, ')');
        EXPECT_EQ(equals, '=');
        EXPECT_EQ(unit, "Hz");
        found.push_back(value);
    }
    return found;
}

}  // namespace

TEST(EigenControl, DefaultsAreFiveFrequenciesWithoutShift)
{
    EigenControl control;
    EXPECT_EQ(control.get_frequencies(), 5);
    EXPECT_EQ(control.get_shift(), 0.0);
    EXPECT_TRUE(control.get_modes().empty());
    MyDomain model;
    std::ostringstream listing, result;
    // No modes before init: nothing to report.
    EXPECT_FALSE(control.run(model, listing, result, 1));
    EXPECT_TRUE(listing.str().empty());
}

TEST(EigenControl, WallChainMatchesClosedFormFrequenciesAndShapes)
{
    // 10 free equations, 5 frequencies: the block is all 10 vectors; the five of
    // smallest magnitude stay, in ascending order. Fewer frequencies use a smaller
    // block (q = 2 for one frequency, 6 for three) and must find the same lowest modes;
    // all ten come from one dense solution.
    const unsigned N = 10;
    for (int wanted : {1, 3, 5, 10}) {
        MyDomain model;
        SpringMassChain chain(model, N, true);
        EigenControl control;
        control.set_frequencies(wanted);
        std::ostringstream listing;
        CaptureStdout quiet;
        control.init(model, listing);
        ASSERT_EQ(model.n_free, N);
        EXPECT_TRUE(control.is_done());
        EXPECT_TRUE(listing.str().empty());

        const auto& modes = control.get_modes();
        ASSERT_EQ(modes.size(), unsigned(wanted));
        for (unsigned j = 1; j <= modes.size(); ++j) {
            const Mode& mode = *modes[j - 1];
            EXPECT_NEAR(hz(mode), wall_chain_hz(N, j), 1e-8 * wall_chain_hz(N, j))
                << "frequencies " << wanted << " mode " << j;

            // M-normalised (M = m I) and proportional to sin(i theta_j). The shapes
            // converge only as the square root of the eigenvalues do.
            double mass_norm = 0.0;
            for (unsigned i = 0; i < N; ++i) mass_norm += SpringMassChain::m * mode.shape[i] * mode.shape[i];
            EXPECT_NEAR(mass_norm, 1.0, 1e-10);
            const double theta = (2.0 * j - 1.0) * pi / (2.0 * N + 1.0);
            const double amplitude = mode.shape[N - 1] / std::sin(N * theta);
            for (unsigned i = 1; i <= N; ++i)
                EXPECT_NEAR(mode.shape[i - 1], amplitude * std::sin(i * theta), 1e-6) << i;
        }
        // Different modes are M-orthogonal.
        for (unsigned a = 0; a < modes.size(); ++a)
            for (unsigned b = 0; b < a; ++b) {
                double product = 0.0;
                for (unsigned i = 0; i < N; ++i)
                    product += SpringMassChain::m * modes[a]->shape[i] * modes[b]->shape[i];
                EXPECT_NEAR(product, 0.0, 1e-9);
            }
    }
}

// The window stays responsive while the modes are iterated: every pass of the
// iteration yields to the event loop through the analysis seam.
TEST(EigenControl, SubspaceIterationYieldsOncePerPass)
{
    MyDomain model;
    SpringMassChain chain(model, 10, true);
    EigenControl control;
    control.set_frequencies(3);
    std::ostringstream listing;
    CaptureStdout console;
    control_test::RecordBar bar;
    control.init(model, listing);
    int passes = 0;
    ASSERT_EQ(std::sscanf(console.text().c_str(), "subspace iteration converged in %d", &passes), 1)
        << console.text();
    EXPECT_GE(passes, 1);
    // A pass that finds the block converged ends before it counts.
    EXPECT_GE(bar.record.yields, passes);
    EXPECT_LE(bar.record.yields, passes + 1);
}

// A stiffness that pulls instead of holding (negative bars) gives negative
// eigenvalues: no frequency, and the listing says so instead of "nan Hz".
TEST(EigenControl, ModesWithoutAFrequencyAreReportedAsNotFound)
{
    MyDomain model;
    SpringMassChain chain(model, 2, true);
    dynamic_cast<Elastic_type*>(model.materials.front())->set_young(-SpringMassChain::k);
    EigenControl control;
    control.set_frequencies(2);
    std::ostringstream listing, result;
    CaptureStdout console;
    control.init(model, listing);
    ASSERT_EQ(control.get_modes().size(), 2u);
    EXPECT_LT(control.get_modes()[1]->eigenvalue, 0.0);
    EXPECT_FALSE(control.run(model, listing, result, -1));
    EXPECT_EQ(listing.str(), "f(1) = not found\nf(2) = not found\n");
    EXPECT_NE(console.text().find("f(2) = not found\n"), std::string::npos);
}

TEST(EigenControl, RunReportsOneModePerCallAndPutsItsShapeOnTheNodes)
{
    const unsigned N = 4;
    MyDomain model;
    SpringMassChain chain(model, N, true);
    EigenControl control;
    control.set_frequencies(3);
    std::ostringstream listing, result;
    CaptureStdout console;
    control.init(model, listing);
    ASSERT_EQ(control.get_modes().size(), 3u);

    for (unsigned call = 1; call <= 3; ++call) {
        EXPECT_EQ(control.run(model, listing, result, 1), call < 3) << call;
        EXPECT_EQ(control.get_current_mode(), call);
        // The node increments are the mode shape (replacing the previous one).
        const std::vector<double> u = chain.shape();
        const Mode& mode = *control.get_modes()[call - 1];
        for (unsigned i = 0; i < N; ++i) EXPECT_DOUBLE_EQ(u[i], mode.shape[i]) << call;
        // Nothing is committed.
        double ux, uy, uz;
        chain.masses.back()->displacement().get(ux, uy, uz);
        EXPECT_DOUBLE_EQ(ux, mode.shape[N - 1]);
        const std::vector<double> listed = listed_frequencies(listing.str());
        ASSERT_EQ(listed.size(), call);
        EXPECT_NEAR(listed.back(), wall_chain_hz(N, call), 1e-5 * wall_chain_hz(N, call));
    }
    // The same lines went to standard output, after the solver's own line.
    EXPECT_EQ(listed_frequencies(console.text()), listed_frequencies(listing.str()));
    EXPECT_NE(console.text().find("subspace iteration converged in "), std::string::npos);
    EXPECT_TRUE(result.str().empty());
}

TEST(EigenControl, ListingLinesHaveTheirExactFormat)
{
    // sqrt(k / m) = 20 for a single mass on a spring: f = 20 / (2 pi) = 3.1831 Hz.
    MyDomain model;
    SpringMassChain chain(model, 1, true);
    EigenControl control;
    control.set_frequencies(1);
    std::ostringstream listing, result;
    listing << std::scientific;  // the line does not depend on what the stream was left with
    CaptureStdout console;
    control.init(model, listing);
    ASSERT_EQ(control.get_modes().size(), 1u);
    EXPECT_FALSE(control.run(model, listing, result, 1));
    EXPECT_EQ(listing.str(), "f(1) = 3.1831 Hz\n");
    EXPECT_NE(console.text().find("f(1) = 3.1831 Hz\n"), std::string::npos);
}

TEST(EigenControl, UnlimitedRunReportsEveryModeAndLaterCallsRepeatTheLast)
{
    MyDomain model;
    SpringMassChain chain(model, 6, true);
    EigenControl control;
    control.set_frequencies(4);
    std::ostringstream listing, result;
    CaptureStdout quiet;
    control.init(model, listing);
    EXPECT_FALSE(control.run(model, listing, result, -1));
    const std::vector<double> listed = listed_frequencies(listing.str());
    ASSERT_EQ(listed.size(), 4u);
    for (unsigned j = 1; j <= 4; ++j) EXPECT_NEAR(listed[j - 1], wall_chain_hz(6, j), 1e-5 * listed[j - 1]);

    // A limit of 0 reports nothing; after the end the last mode is reported again.
    std::ostringstream more;
    EXPECT_FALSE(control.run(model, more, result, 0));
    EXPECT_TRUE(more.str().empty());
    EXPECT_FALSE(control.run(model, more, result, 1));
    EXPECT_EQ(more.str().substr(0, 5), "f(4) ");

    // analyse does init and the unlimited run in one.
    MyDomain again;
    SpringMassChain second(again, 6, true);
    EigenControl whole;
    whole.set_frequencies(2);
    std::ostringstream all;
    EXPECT_FALSE(whole.analyse(again, all, result));
    EXPECT_EQ(listed_frequencies(all.str()).size(), 2u);
}

TEST(EigenControl, FewerFreeEquationsThanTheBlockClampTheModes)
{
    // 3 free equations, 5 frequencies wanted: three modes, and the listing says so.
    // A request too large to double in an int is clamped the same way.
    for (int wanted : {5, INT_MAX}) {
        MyDomain model;
        SpringMassChain chain(model, 3, true);
        EigenControl control;
        control.set_frequencies(wanted);
        std::ostringstream listing, result;
        CaptureStdout quiet;
        control.init(model, listing);
        ASSERT_EQ(control.get_modes().size(), 3u) << wanted;
        for (unsigned j = 1; j <= 3; ++j)
            EXPECT_NEAR(hz(*control.get_modes()[j - 1]), wall_chain_hz(3, j), 1e-8);
        EXPECT_EQ(listing.str(),
                  "only 3 frequencies will be computed: the model has 3 equations with mass\n");
        EXPECT_FALSE(control.run(model, listing, result, -1));
        EXPECT_EQ(listed_frequencies(listing.str()).size(), 3u);
    }

    // No free equation at all: no mode, and the listing says why.
    MyDomain fixed;
    MyNode* node = new MyNode(1, 0.0, 0.0, 0.0);
    node->add_dof(KelVane::fixed_status, KelVane::displacement_type, x_axis);
    fixed.nodes.push_back(node);
    EigenControl control;
    std::ostringstream listing, result;
    CaptureStdout quiet;
    control.init(fixed, listing);
    EXPECT_TRUE(control.get_modes().empty());
    EXPECT_FALSE(control.run(fixed, listing, result, 1));
    EXPECT_EQ(listing.str(), "the model has no free degree of freedom: it has no eigenfrequency\n");
}

// A portal frame (columns and beam 4 m, EI = 2e6, EA = 2e11, each member in two
// massless beam elements) with a point mass of 500 kg on each top corner: of its
// 15 free equations only the 4 translations of the corners carry mass, so only 4
// modes have a finite frequency. A larger iteration block made the projected mass
// matrix singular. Closed forms: the sway of both masses on the frame's lateral
// stiffness 16.8 EI / h^3 (slope deflection with rigid members in their axis),
// 3.6467 Hz; the vertical motion of each mass on its column, EA / h, 1591.55 Hz,
// twice (the beam couples the two only by its bending, some 1e-6 of it).
TEST(EigenControl, MasslessEquationsLimitTheModesToThoseWithMass)
{
    const std::string text =
        "*nodes\n1 0 0 0\n2 0 4 0\n3 4 4 0\n4 4 0 0\n5 0 2 0\n6 2 4 0\n7 4 2 0\n"
        "*material 1\nlinearelastic\nyoung 2.0e11\npoisson 0.3\n"
        "*material 2\nmass 500\n"
        "*geometry 1\ncrosse 1.0\niz 1.0e-5\n"
        "*elements\nbeam2d 1 1\n1 1 5\n2 5 2\n3 2 6\n4 6 3\n5 4 7\n6 7 3\n"
        "mass2d 2\n7 2\n8 3\n"
        "*suppress\nux uy rz 1 4\n*eigen\n";
    const double sway = std::sqrt(16.8 * 2.0e6 / 64.0 / 1000.0) / (2.0 * pi);
    const double vertical = std::sqrt(2.0e11 / 4.0 / 500.0) / (2.0 * pi);
    for (int wanted : {3, 6}) {
        MyDomain model;
        KelVane::Control<MyDomain>* control = nullptr;
        ASSERT_EQ(kv_test::read_model_text(text, model, control).errors, 0);
        std::unique_ptr<KelVane::Control<MyDomain>> owner(control);
        auto* eigen = dynamic_cast<EigenControl*>(control);
        ASSERT_NE(eigen, nullptr);
        eigen->set_frequencies(wanted);
        std::ostringstream listing;
        CaptureStdout console;
        eigen->init(model, listing);
        // Asked for more, the model gets all four at once in a dense solution.
        EXPECT_EQ(console.text().rfind(wanted > 4 ? "only 4 frequencies will be computed: the "
                                                    "model has 4 equations with mass\n"
                                                  : "subspace iteration converged in ",
                                       0),
                  0u)
            << console.text();
        const auto& modes = eigen->get_modes();
        ASSERT_EQ(modes.size(), std::min(wanted, 4)) << wanted;
        EXPECT_NEAR(hz(*modes[0]), sway, 1e-5 * sway) << wanted;
        EXPECT_NEAR(hz(*modes[1]), vertical, 1e-5 * vertical) << wanted;
        EXPECT_NEAR(hz(*modes[2]), vertical, 1e-5 * vertical) << wanted;
    }
}

TEST(EigenControl, PositiveShiftFindsTheRigidBodyModeOfAFloatingChain)
{
    // Without the wall K is singular; the shift of 1 Hz makes it regular, and the
    // rigid-body mode comes out as exactly 0 Hz.
    const unsigned N = 5;
    MyDomain model;
    SpringMassChain chain(model, N, false);
    EigenControl control;
    control.set_shift(1.0);
    control.set_frequencies(3);
    std::ostringstream listing, result;
    CaptureStdout quiet;
    control.init(model, listing);
    const auto& modes = control.get_modes();
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[0]->eigenvalue, 0.0);
    for (unsigned j = 1; j < 3; ++j)
        EXPECT_NEAR(hz(*modes[j]), free_chain_hz(N, j), 1e-8 * free_chain_hz(N, j)) << j;
    // The rigid-body shape moves every mass alike, M-normalised: m N u^2 = 1.
    for (unsigned i = 0; i < N; ++i)
        EXPECT_NEAR(std::fabs(modes[0]->shape[i]), 1.0 / std::sqrt(SpringMassChain::m * N), 1e-8);

    EXPECT_TRUE(control.run(model, listing, result, 1));
    EXPECT_EQ(listing.str(), "f(1) = 0 Hz\n");
}

TEST(EigenControl, NegativeShiftKeepsTheModesNearestToIt)
{
    // A shift of -f moves the origin to f: the modes of smallest |lambda - (2 pi f)^2|
    // are kept, and reported with their true frequencies. The third mode of the
    // 10-mass chain sits at about 1.165 Hz.
    const unsigned N = 10;
    const double target = wall_chain_hz(N, 3);
    MyDomain model;
    SpringMassChain chain(model, N, true);
    EigenControl control;
    control.set_shift(-target * 1.01);
    control.set_frequencies(1);
    std::ostringstream listing;
    CaptureStdout quiet;
    control.init(model, listing);
    ASSERT_EQ(control.get_modes().size(), 1u);
    EXPECT_NEAR(hz(*control.get_modes()[0]), target, 1e-8 * target);
}

TEST(EigenControl, NonsymmetricModelStopsInInitWithAnAnalysisError)
{
    MyDomain model;
    SpringMassChain chain(model, 3, true);
    model.symmetric = false;
    EigenControl control;
    std::ostringstream listing, result;
    kv_test::CerrCapture errors;
    CaptureStdout quiet;
    EXPECT_THROW(control.init(model, listing), KelVane::kelvane_error);
    EXPECT_EQ(listing.str(),
              "Error: eigenfrequencies can only be determined for models with\n"
              "a symmetric stiffness matrix\n");
    EXPECT_EQ(errors.text(), "Error: Cannot determine eigenfrequencies for a nonsymmetric matrix\n");
    // Nothing was solved: no subspace iteration, no mode, nothing to run.
    EXPECT_EQ(quiet.text(), "");
    EXPECT_TRUE(control.get_modes().empty());
    EXPECT_FALSE(control.run(model, listing, result, 1));
}

namespace {

// The example's expected file: "tolerance <relative>" applies to the lines after
// it; "frequency <mode> <hertz>".
struct ExpectedFrequency {
    unsigned mode;
    double hertz;
    double tolerance;
};

std::vector<ExpectedFrequency> read_expected(const std::string& path)
{
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << path;
    std::vector<ExpectedFrequency> expected;
    double tolerance = 0.0;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string key;
        if (!(fields >> key) || key[0] == '#') continue;
        if (key == "tolerance") {
            fields >> tolerance;
        } else if (key == "frequency") {
            ExpectedFrequency value{0, 0.0, tolerance};
            fields >> value.mode >> value.hertz;
            expected.push_back(value);
        } else {
            ADD_FAILURE() << "unknown line " << line;
        }
    }
    return expected;
}

}  // namespace

TEST(EigenControl, CantileverExampleMatchesBeamTheory)
{
    // Run as the front end runs it: one mode per call of run, into the listing
    // next to the model file.
    const std::string model_file = testing::TempDir() + "cantilever_eigen.dat";
    std::ofstream(model_file) << read_text_file(std::string(KV_EXAMPLES_DIR) + "/cantilever_eigen.dat");
    CaptureStdout console;
    const ModelRun run = run_model(model_file);
    ASSERT_EQ(run.input_errors, 0) << run.error;
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.error, "");
    const std::vector<double> listed = listed_frequencies(read_text_file(run.listing_path));
    EXPECT_EQ(listed.size(), 3u);
    EXPECT_EQ(run.steps, 3);

    const std::vector<ExpectedFrequency> expected =
        read_expected(std::string(KV_EXAMPLES_DIR) + "/cantilever_eigen.expected");
    ASSERT_FALSE(expected.empty());
    for (const ExpectedFrequency& value : expected) {
        ASSERT_LE(value.mode, listed.size());
        EXPECT_NEAR(listed[value.mode - 1], value.hertz, value.tolerance * value.hertz)
            << "mode " << value.mode;
    }
    std::remove(model_file.c_str());
    std::remove(run.listing_path.c_str());
    std::remove(run.result_path.c_str());
}

// The same beam with its axial motion free: the axial and the bending dofs do not
// couple, and the smallest stiffness-to-mass ratios all lie on axial dofs. Start
// vectors placed by those ratios alone would carry bending in one direction only:
// the second bending mode (395.8 Hz) would be missed in favour of the axial one
// (631 Hz), and with six frequencies the iteration would stop on wrong shapes.
TEST(EigenControl, DecoupledAxialAndBendingModesAreAllFound)
{
    std::ifstream example(std::string(KV_EXAMPLES_DIR) + "/cantilever_eigen.dat");
    std::ostringstream text;
    std::string line;
    while (std::getline(example, line))
        if (line.compare(0, 5, "ux   ") != 0) text << line << '\n';
    const std::string path = testing::TempDir() + "cantilever_axial_free.dat";
    std::ofstream(path) << text.str();

    // Bending: beam theory as in cantilever_eigen.expected, f_i = (beta_i L)^2
    // 112.8665 / (2 pi), within 0.5%. Axial: the ten bar elements with consistent mass
    // (h = 0.2) exactly, omega^2 = (E / rho) 6 (1 - cos t) / (h^2 (2 + cos t)) with
    // t = (2j - 1) pi / 20, since the free end is the middle of a fixed-fixed bar
    // of twenty elements.
    struct Expected {
        double hertz;
        double tolerance;
    };
    std::vector<Expected> expected;
    for (double beta_L : {1.875104068711961, 4.694091132974175, 7.854757438237613, 10.99554073487547})
        expected.push_back({beta_L * beta_L * 112.8665 / (2.0 * pi), 5e-3});
    for (unsigned j = 1; j <= 2; ++j) {
        const double t = (2.0 * j - 1.0) * pi / 20.0;
        const double omega2 = 2.0e11 / 7850.0 * 6.0 * (1.0 - std::cos(t)) / (0.04 * (2.0 + std::cos(t)));
        expected.push_back({std::sqrt(omega2) / (2.0 * pi), 1e-5});
    }
    std::sort(expected.begin(), expected.end(),
              [](const Expected& a, const Expected& b) { return a.hertz < b.hertz; });

    for (int wanted : {2, 6}) {
        MyDomain* model = nullptr;
        KelVane::Control<MyDomain>* control = nullptr;
        CaptureStdout console;
        ASSERT_EQ(read_model(path, model, control), 0);
        auto* eigen = dynamic_cast<EigenControl*>(control);
        ASSERT_NE(eigen, nullptr);
        eigen->set_frequencies(wanted);
        std::ostringstream listing, result;
        EXPECT_FALSE(eigen->analyse(*model, listing, result));
        EXPECT_EQ(console.text().rfind("subspace iteration converged in ", 0), 0u) << console.text();
        const std::vector<double> listed = listed_frequencies(listing.str());
        ASSERT_EQ(listed.size(), unsigned(wanted));
        for (unsigned i = 0; i < listed.size(); ++i)
            EXPECT_NEAR(listed[i], expected[i].hertz, expected[i].tolerance * expected[i].hertz)
                << wanted << " frequencies, mode " << i + 1;
        delete control;
        delete model;
    }
    std::remove(path.c_str());
}

namespace {

// N point masses m = 2.5 in y, each on a bar of its own to a fixed node: bar i has
// E = 1000, length 1 and the section 1 + spread i / N, so f_i = sqrt(1000 (1 + spread
// i / N) / 2.5) / (2 pi), all within `spread` of each other.
std::string oscillators_model(unsigned count, double spread, int frequencies)
{
    std::ostringstream text;
    text.precision(17);
    text << "*title\n" << count << " nearly equal oscillators\n*nodes\n";
    for (unsigned i = 1; i <= count; ++i)
        text << i << ' ' << i << " 0 0\n" << 10000 + i << ' ' << i << " 1 0\n";
    text << "*material 1\nlinearelastic\nyoung 1000\npoisson 0\n*material 2\nmass 2.5\n";
    for (unsigned i = 1; i <= count; ++i)
        text << "*geometry " << i << "\ncrosse " << 1.0 + spread * i / count << '\n';
    text << "*elements\n";
    for (unsigned i = 1; i <= count; ++i) text << "truss 1 " << i << '\n' << i << ' ' << i << ' ' << 10000 + i << '\n';
    text << "mass2d 2\n";
    for (unsigned i = 1; i <= count; ++i) text << 20000 + i << ' ' << i << '\n';
    text << "*suppress\n";
    for (unsigned i = 1; i <= count; ++i) text << "ux uy " << 10000 + i << "\nux " << i << '\n';
    text << "*eigen\nfrequencies " << frequencies << "\n*end\n";
    return text.str();
}

// A bar 1 long and 0.1 high of ten quad8pss (E 1000, density 1, Poisson's ratio 0),
// held along x at its left end and along y everywhere: the lengthwise modes of a
// fixed-free bar, f_j = (2 j - 1) sqrt(1000) / 4 for the lowest. Its 50 equations
// have mass, but the 2 x 2 points of each element see only four motions along x:
// the mass matrix has rank 40.
std::string quad8_bar_model(int frequencies)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "*title\nten quad8pss\n*nodes\n";
    for (int k = 0; k <= 20; ++k) text << 1 + k << ' ' << 0.05 * k << " 0 0\n" << 101 + k << ' ' << 0.05 * k << " 0.1 0\n";
    for (int j = 0; j <= 10; ++j) text << 201 + j << ' ' << 0.1 * j << " 0.05 0\n";
    text << "*material 1\nlinearelastic\nyoung 1000\npoisson 0\ndensity 1\n*geometry 1\nthick 1\n"
            "*elements\nquad8pss 1 1\n";
    for (int e = 0; e < 10; ++e)
        text << e + 1 << ' ' << 1 + 2 * e << ' ' << 2 + 2 * e << ' ' << 3 + 2 * e << ' ' << 202 + e << ' '
             << 103 + 2 * e << ' ' << 102 + 2 * e << ' ' << 101 + 2 * e << ' ' << 201 + e << '\n';
    text << "*suppress\nux 1 101 201\n";
    for (int k = 0; k <= 20; ++k) text << "uy " << 1 + k << ' ' << 101 + k << (k <= 10 ? " " + std::to_string(201 + k) : "") << '\n';
    text << "*eigen\nfrequencies " << frequencies << "\n*end\n";
    return text.str();
}

double oscillator_hz(unsigned count, double spread, unsigned i)
{
    return std::sqrt(1000.0 * (1.0 + spread * i / count) / 2.5) / (2.0 * pi);
}

// The frequency as the listing writes it: six significant digits.
std::string as_listed(double hertz)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << hertz;
    return text.str();
}

std::vector<std::string> listed_words(const std::string& listing)
{
    std::vector<std::string> words;
    for (double value : listed_frequencies(listing)) words.push_back(as_listed(value));
    return words;
}

}  // namespace

// Modes that the subspace iteration does not separate in its passes (frequencies
// within 1e-4 of each other, or a shift far above them all that makes the shifted
// eigenvalues nearly equal) are never listed as results: a small model is solved
// densely and lists its frequencies right to the printed digits. A mass matrix of
// lower rank than the stiffness (elements whose mass is integrated at fewer points
// than they have nodes) has as many modes as its rank: those are listed right, the
// dense solution agreeing with the iteration, and the listing says why no more are.
TEST(EigenControl, SmallModelsListTheirTrueFrequencies)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> expected;
        // Modes listed when more than the expected ones, which come first.
        std::size_t listed = 0;
        // A line the listing holds.
        std::string note = "";
    };
    std::vector<Case> cases;
    {
        // The subspace iteration's 30 lowest modes of the bar; its mass has rank 40.
        const std::string path = kv_test::write_test_model(quad8_bar_model(30));
        CaptureStdout quiet;
        const ModelRun run = run_model(path);
        ASSERT_TRUE(run.finished);
        EXPECT_NE(quiet.text().find("subspace iteration converged in "), std::string::npos);
        const std::vector<std::string> lowest = listed_words(read_text_file(run.listing_path));
        ASSERT_EQ(lowest.size(), 30u);
        EXPECT_EQ(lowest[0], "7.9057");
        std::remove(path.c_str());
        std::remove(run.listing_path.c_str());
        std::remove(run.result_path.c_str());
        cases.push_back({"ten quad8pss, as many modes as the mass has rank", quad8_bar_model(40), lowest, 40});
        cases.push_back({"ten quad8pss, more modes than the mass has rank", quad8_bar_model(45), lowest, 40,
                         "only 40 frequencies will be computed: the model has 50 equations with "
                         "mass, but its mass matrix has rank 40"});
    }
    // A hand solution of the element's K and M (serendipity shapes, 2 x 2 points):
    // four modes along x, the fifth motion without mass.
    const std::string one_quad8 =
        "*nodes\n1 0 0 0\n2 0.5 0 0\n3 1 0 0\n4 1 0.5 0\n5 1 1 0\n6 0.5 1 0\n7 0 1 0\n8 0 0.5 0\n"
        "*material 1\nlinearelastic\nyoung 1000\npoisson 0\ndensity 1\n*geometry 1\nthick 1\n"
        "*elements\nquad8pss 1 1\n1 1 2 3 4 5 6 7 8\n*suppress\nux 1 7 8\nuy 1 2 3 4 5 6 7 8\n"
        "*eigen\nfrequencies 3\n";
    cases.push_back({"one quad8pss held at one end", one_quad8 + "*end\n", {"7.96498", "14.6773", "38.1625"}});
    cases.push_back({"one quad8pss held at one end, shift 1", one_quad8 + "shift 1\n*end\n",
                     {"7.96498", "14.6773", "38.1625"}});
    // Its three rigid-body modes lie within rounding of the shift: 0 Hz, not some 1e-7.
    cases.push_back({"one free quad4pss, shift 1",
                     "*nodes\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n*material 1\nlinearelastic\n"
                     "young 1000\npoisson 0.3\ndensity 1\n*geometry 1\nthick 1\n*elements\n"
                     "quad4pss 1 1\n1 1 2 3 4\n*eigen\nfrequencies 3\nshift 1\n*end\n",
                     {"0", "0", "0"}});
    // One-point mass: rank 1 in each direction.
    cases.push_back({"one held tri3psn",
                     "*nodes\n1 0 0 0\n2 1 0 0\n3 0 1 0\n*material 1\nlinearelastic\nyoung 1000\n"
                     "poisson 0.3\ndensity 1\n*elements\ntri3psn 1\n1 1 2 3\n*suppress\nux uy 1\nuy 2\n"
                     "*eigen\nfrequencies 3\n*end\n",
                     {"7.9942", "16.3504"}, 0,
                     "only 2 frequencies will be computed: the model has 3 equations with mass, "
                     "but its mass matrix has rank 2"});
    cases.push_back({"tri3axi ring held axially",
                     "*nodes\n1 1 0 0\n2 2 0 0\n3 1 1 0\n*material 1\nlinearelastic\nyoung 1000\n"
                     "poisson 0.3\ndensity 1\n*elements\ntri3axi 1\n1 1 2 3\n*suppress\nuy 1 2 3\n"
                     "*eigen\n*end\n",
                     {"3.95695"}, 0, "only 1 frequency will be computed"});
    // A bar's mass moves with its nodes across the bar as well as along it. The
    // two-bar truss of steel: its apex has 2m/3 in x and in y, under the
    // stiffness EA/L (1.28, 0.72). A dense bar pinned at one end and held across
    // at the other by a massless bar of a hundredth of its stiffness swings about
    // its pin at omega^2 = 3k/m, a tenth of its axial frequency; in space, held
    // in y and in z, it swings in both.
    {
        std::string two_bar = read_text_file(std::string(KV_EXAMPLES_DIR) + "/two_bar_truss.dat");
        for (const auto& edit : {std::make_pair(std::string("poisson  0.3\n"),
                                                std::string("poisson  0.3\ndensity  7850\n")),
                                 std::make_pair(std::string("*linear\n"),
                                                std::string("*eigen\nfrequencies 2\n"))}) {
            const std::string::size_type at = two_bar.find(edit.first);
            ASSERT_NE(at, std::string::npos) << edit.first;
            two_bar.replace(at, edit.first.size(), edit.second);
        }
        cases.push_back({"two-bar truss of steel", two_bar, {"37.3359", "49.7813"}});
    }
    const std::string swinging_bar =
        "*nodes\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 1 0 1\n*material 1\nlinearelastic\nyoung 2e11\n"
        "density 7850\n*material 2\nlinearelastic\nyoung 2e11\n*geometry 1\ncrosse 1e-4\n"
        "*geometry 2\ncrosse 1e-6\n*elements\ntruss 1 1\n1 1 2\ntruss 2 2\n2 2 3\n";
    cases.push_back({"dense bar pinned, held across by a massless bar",
                     swinging_bar + "*suppress\nux uy 1 3\n*eigen\nfrequencies 2\n*end\n",
                     {"139.143", "1391.43"}});
    cases.push_back({"dense bar pinned, held across in y and z by massless bars",
                     swinging_bar + "3 2 4\n*suppress\nux uy uz 1 3 4\n*eigen\nfrequencies 3\n*end\n",
                     {"139.143", "139.143", "1391.43"}});
    {
        Case twelve{"twelve oscillators within 1e-4", oscillators_model(12, 1e-4, 5), {}};
        for (unsigned i = 1; i <= 5; ++i) twelve.expected.push_back(as_listed(oscillator_hz(12, 1e-4, i)));
        cases.push_back(twelve);
    }
    {
        // The cantilever example with the shift 100000 Hz: the same frequencies as
        // without a shift (which converge in a few passes).
        const std::string example = read_text_file(std::string(KV_EXAMPLES_DIR) + "/cantilever_eigen.dat");
        const std::string::size_type at = example.find("frequencies 3\n");
        ASSERT_NE(at, std::string::npos);
        std::string shifted = example;
        shifted.insert(at, "shift 100000\n");
        MyDomain* model = nullptr;
        KelVane::Control<MyDomain>* control = nullptr;
        const std::string path = kv_test::write_test_model(example);
        CaptureStdout quiet;
        ASSERT_EQ(read_model(path, model, control), 0);
        std::ostringstream listing, result;
        control->analyse(*model, listing, result);
        EXPECT_EQ(quiet.text().rfind("subspace iteration converged in ", 0), 0u) << quiet.text();
        cases.push_back({"cantilever with a shift far above", shifted, listed_words(listing.str())});
        ASSERT_EQ(cases.back().expected.size(), 3u);
        delete control;
        delete model;
        std::remove(path.c_str());
    }
    for (const Case& c : cases) {
        const std::string path = kv_test::write_test_model(c.text);
        CaptureStdout console;
        const ModelRun run = run_model(path);
        EXPECT_EQ(run.error, "") << c.name;
        EXPECT_TRUE(run.finished) << c.name;
        const std::string listing = read_text_file(run.listing_path);
        std::vector<std::string> listed = listed_words(listing);
        EXPECT_EQ(listed.size(), std::max(c.listed, c.expected.size())) << c.name;
        listed.resize(std::min(listed.size(), c.expected.size()));
        EXPECT_EQ(listed, c.expected) << c.name;
        EXPECT_NE(listing.find(c.note), std::string::npos) << c.name << '\n' << listing;
        std::remove(path.c_str());
        std::remove(run.listing_path.c_str());
        std::remove(run.result_path.c_str());
    }
}

// A model too large for a dense solution whose iteration does not converge stops
// with an error that says what to change, and lists no frequency.
TEST(EigenControl, UnconvergedLargeModelStopsWithAnErrorAndListsNoFrequency)
{
    const std::string path = kv_test::write_test_model(oscillators_model(600, 1e-4, 5));
    CaptureStdout console;
    kv_test::CerrCapture errors;
    const ModelRun run = run_model(path);
    ASSERT_TRUE(run.ran);
    EXPECT_FALSE(run.finished);
    EXPECT_NE(console.text().find("subspace iteration not converged in 100 iterations"), std::string::npos);
    EXPECT_NE(run.error.find("did not converge in 100 iterations, so no frequency is listed"),
              std::string::npos)
        << run.error;
    EXPECT_NE(run.error.find("ask for more frequencies, or give a shift"), std::string::npos) << run.error;
    const std::string listing = read_text_file(run.listing_path);
    EXPECT_EQ(listing.find("f("), std::string::npos) << listing;
    EXPECT_NE(listing.find("ERROR: the subspace iteration did not converge"), std::string::npos);
    std::remove(path.c_str());
    std::remove(run.listing_path.c_str());
    std::remove(run.result_path.c_str());
}
