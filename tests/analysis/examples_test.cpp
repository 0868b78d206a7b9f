// Runs every model of examples/ from start to end and compares the numbers of
// its listing with the closed-form answers of examples/<name>.expected.

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/stream_capture.h"
#include "example_harness.h"
#include "run_model.h"

using namespace kv_test;

namespace {

struct ExampleCase {
    const char* name;
    int steps;       // calls of the control's run until it reports nothing left
    int checks = 6;  // lines of the expected file, at least
    std::vector<std::string> reports = {};  // lines the listing holds
    int blocks = 1;  // nodal solutions in the listing: one, after the last step
    // When set, the run replaces the model's "timestep" line by "timestep <value>"
    // and the test carries the label; results must not depend on the step.
    const char* timestep = nullptr;
    const char* label = nullptr;
    // When set, the example of this name runs first in the same directory and
    // leaves the restart file that this one starts from.
    const char* restarts_from = nullptr;
};

// Linear analyses do everything in their first run. The heat analyses and the
// nonlinear models run one increment per run, the oscillator and the explicit
// wave one time step, and the eigen analyses one mode; they list frequencies and
// no nodal solution. The heated wall also runs with two other time steps: its
// steady temperatures and heat flows stay the same. The restarted von Mises bar
// goes on from the restart file that the first one writes, with the increment
// numbers after it.
const ExampleCase example_cases[] = {
    {"two_bar_truss", 1},
    {"cantilever_beam", 1},
    {"portal_frame", 1},
    {"plate_with_quads", 1},
    {"heat_wall", 1},
    {"heat_flux_wall", 2},
    {"heat_flux_wall", 2, 6, {}, 1, "1.0", "heat_flux_wall_timestep_1"},
    {"heat_flux_wall", 2, 6, {}, 1, "0.5", "heat_flux_wall_timestep_0_5"},
    {"nonlinear_truss", 4, 6, {"increment   1\n", "increment   4\n"}},
    {"oscillator_newmark", 1000, 4, {"increment 1000\n"}},
    {"cantilever_eigen", 3, 3, {}, 0},
    {"hex_block", 1},
    {"thick_cylinder", 1},
    {"thick_cylinder_tri6", 1},
    {"plastic_bar", 4, 6, {"increment   4\n"}},
    {"plastic_bar_restart", 1, 6,
     {"increment   5\n", "Resized because solution not converged, factor 0.5\n"}, 1, nullptr,
     nullptr, "plastic_bar"},
    {"thermal_expansion", 1},
    {"tl_stretch", 5, 6, {"increment   5\n"}},
    {"explicit_wave", 15},
    {"bar_eigen", 3, 3, {}, 0},
};

std::string label_of(const ExampleCase& example)
{
    return example.label ? example.label : example.name;
}

// The model text with its "timestep" option line replaced.
std::string with_timestep(const std::string& model, const std::string& value)
{
    std::istringstream in(model);
    std::ostringstream out;
    std::string line;
    int replaced = 0;
    while (std::getline(in, line)) {
        const std::vector<std::string> tokens = split(line);
        if (!tokens.empty() && tokens[0] == "timestep") {
            line = "timestep " + value;
            ++replaced;
        }
        out << line << '\n';
    }
    EXPECT_EQ(replaced, 1);
    return out.str();
}

class Example : public ScratchFiles, public ::testing::WithParamInterface<ExampleCase> {};

class EndToEnd : public ScratchFiles {};

}  // namespace

TEST_P(Example, ListingMatchesClosedForm)
{
    const ExampleCase& example = GetParam();
    const std::string name = label_of(example);
    const std::string source = std::string(KV_EXAMPLES_DIR) + "/" + example.name;
    const std::string model = read_text_file(source + ".dat");
    ASSERT_FALSE(model.empty()) << source;
    if (example.restarts_from) {
        const std::string first = std::string(example.restarts_from) + ".dat";
        CoutCapture out;
        const ModelRun run = run_model(
            write_model(first, read_text_file(std::string(KV_EXAMPLES_DIR) + "/" + first)));
        ASSERT_TRUE(run.ran) << first;
        ASSERT_EQ(run.error, "") << first;
    }
    const std::string model_file =
        write_model(name + ".dat", example.timestep ? with_timestep(model, example.timestep) : model);

    CoutCapture out;
    const ModelRun run = run_model(model_file);
    ASSERT_EQ(run.input_errors, 0) << run.error;
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.steps, example.steps);
    EXPECT_EQ(run.listing_path, scratch + name + ".out");

    const std::string text = read_text_file(run.listing_path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find("0x"), std::string::npos) << "hexadecimal numbers in the listing";
    EXPECT_EQ(count_of(text, "nodal solution in global coordinates"), example.blocks);
    for (const std::string& report : example.reports)
        EXPECT_NE(text.find(report), std::string::npos) << report;
    const Listing listing = parse_listing(text);
    EXPECT_FALSE(listing.title.empty());
    EXPECT_GE(compare_with_expected(listing, source + ".expected"), example.checks);
}

INSTANTIATE_TEST_SUITE_P(Examples, Example, ::testing::ValuesIn(example_cases),
                         [](const ::testing::TestParamInfo<ExampleCase>& info) {
                             return label_of(info.param);
                         });

// A model with closed-form answers beside it is one of the cases above.
TEST(Examples, EveryExpectedFileIsRun)
{
    int expected_files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KV_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".expected") continue;
        ++expected_files;
        const std::string name = entry.path().stem().string();
        EXPECT_TRUE(std::any_of(std::begin(example_cases), std::end(example_cases),
                                [&](const ExampleCase& c) { return name == c.name; }))
            << name;
    }
    EXPECT_GT(expected_files, 0);
}

TEST_F(EndToEnd, ModelWithInputErrorsIsNotRun)
{
    const std::string model = write_model("broken.dat",
                                          "*nodes\n1 0 0 0\n2 x 0 0\n*elements\n"
                                          "truss 7 1\n1 1 2\n*end\n");
    const ModelRun run = run_model(model);
    EXPECT_GE(run.input_errors, 2);  // the bad coordinate and the undefined material
    EXPECT_FALSE(run.ran);
    EXPECT_EQ(read_text_file(scratch + "broken.out"), "");
}

TEST_F(EndToEnd, MissingLoadSetEndsTheAnalysisWithAnErrorInTheListing)
{
    const std::string model = write_model(
        "unloaded.v2.dat",
        "*title\nno loads\n*nodes\n1 0 0 0\n2 1 0 0\n*material\nlinearelastic\nyoung 1\n"
        "*geometry\ncrosse 1\n*elements\ntruss 1 1\n1 1 2\n*suppress\nux uy 1 2\n*end\n");
    const ModelRun run = run_model(model);
    EXPECT_EQ(run.input_errors, 0);
    EXPECT_TRUE(run.ran);
    EXPECT_EQ(run.error, "unknown load set number");
    EXPECT_EQ(run.listing_path, scratch + "unloaded.out");
    EXPECT_EQ(read_text_file(run.listing_path),
              "\nTITLE\nno loads\n\nERROR: unknown load set number\n");
}
