// Runs every model of examples/ from start to end and compares the numbers of
// its listing with the closed-form answers of examples/<name>.expected.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/stream_capture.h"
#include "control.h"
#include "domain.h"
#include "eigen_control.h"
#include "example_harness.h"
#include "explicit.h"
#include "incremental_iterative_control.h"
#include "model_loader.h"
#include "newmark.h"
#include "nonlinear_static.h"
#include "process_values.h"
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
    {"inclined_bars", 1},
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

// The model text with every line whose first word is `word` replaced by the
// text `replacement` (dropped when it is empty); replaced counts them.
std::string with_lines_replaced(const std::string& model, const std::string& word,
                                const std::string& replacement, int& replaced)
{
    std::istringstream in(model);
    std::ostringstream out;
    std::string line;
    replaced = 0;
    while (std::getline(in, line)) {
        const std::vector<std::string> tokens = split(line);
        if (!tokens.empty() && tokens[0] == word) {
            ++replaced;
            if (replacement.empty()) continue;
            line = replacement;
        }
        out << line << '\n';
    }
    return out.str();
}

// The model text with its "timestep" option line replaced.
std::string with_timestep(const std::string& model, const std::string& value)
{
    int replaced = 0;
    const std::string text = with_lines_replaced(model, "timestep", "timestep " + value, replaced);
    EXPECT_EQ(replaced, 1);
    return text;
}

std::string example_text(const std::string& name)
{
    const std::string text = read_text_file(std::string(KV_EXAMPLES_DIR) + "/" + name + ".dat");
    EXPECT_FALSE(text.empty()) << name;
    return text;
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
    EXPECT_EQ(run.error, "unknown load set number 1: *loadef defines no set 1");
    EXPECT_EQ(run.listing_path, scratch + "unloaded.v2.out");
    EXPECT_EQ(read_text_file(run.listing_path),
              "\nTITLE\nno loads\n\nERROR: unknown load set number 1: *loadef defines no set 1\n");
}

namespace {

// An example with some of its lines replaced (by the first word of the line; an
// empty replacement drops the line), and how its run must end: with the error
// given (none when empty) in the listing and nothing listed after it, with the
// lines given in the listing and without the absent ones, and with the warnings
// given on the error stream. No run lists a number that is not finite.
struct EdgeRun {
    const char* label;
    const char* example;
    std::vector<std::pair<std::string, std::string>> edits;
    std::string error;
    std::vector<std::string> reports = {};
    std::vector<std::string> absent = {};
    std::vector<std::string> warnings = {};
};

const char* const heat_needs_a_time_step =
    "heat conduction needs a positive timestep: analyse the model under "
    "\"*nonlinear static\" with a \"timestep\" line";
const char* const not_finite =
    "the linear solution gives displacements, stresses or reactions that are not finite "
    "numbers";
const char* const not_finite_state =
    "the analysis gives displacements, stresses or reactions that are not finite numbers";
const char* const no_mass =
    "the model has no mass: eigenfrequencies need a density or point masses";

// Conduction scales with the time step: without one the free temperatures of the
// wall came out as 0. A load of 1e308 overflows the stresses and reactions; so
// does a bar end moved 1e305 in a nonlinear analysis with no free equation left,
// whose equilibrium check has nothing to find. A truss without supports is a
// mechanism; a point mass on a node of its own adds two equations without
// stiffness and without load, whose solution is an exact 0.
// The cantilever has 20 equations with mass; a shift of 1e150 Hz leaves nothing of
// its stiffness; unsupported, it has three rigid-body modes, whose rounding noise
// may be negative.
const EdgeRun edge_runs[] = {
    {"heat_wall_linear",
     "heat_wall",
     {{"*nonlinear", "*linear"}, {"increments", ""}, {"timestep", ""}, {"unbalance", ""},
      {"maxiter", ""}},
     heat_needs_a_time_step},
    {"heat_wall_without_timestep", "heat_wall", {{"timestep", ""}}, heat_needs_a_time_step},
    {"heat_wall_timestep_0", "heat_wall", {{"timestep", "timestep 0"}}, heat_needs_a_time_step},
    {"two_bar_truss_load_1e308", "two_bar_truss", {{"fy", "fy -1e308   3"}}, not_finite},
    {"nonlinear_truss_prescribed_1e305",
     "nonlinear_truss",
     {{"nonlinearelastic", "linearelastic"},
      {"ux", "ux uy   1 2\nuy   3"},
      {"loads", "prescribed"},
      {"fx", "ux 1e305   3"}},
     not_finite_state},
    {"two_bar_truss_unsupported",
     "two_bar_truss",
     {{"ux", ""}},
     "the stiffness matrix is singular: the model is a mechanism (a support or a connection is "
     "missing)",
     {"there are 1 (almost) zero pivots found!\n"}},
    {"two_bar_truss_loose_mass",
     "two_bar_truss",
     {{"3", "3   4.0  3.0  0.0\n4   9.0  9.0  0.0"},
      {"*loadef", "*material 2\nmass 5\n*elements\nmass2d 2\n3 4\n*loadef"}},
     "",
     {"there are 2 (almost) zero pivots found!\n", "      4   0.000e+00   0.000e+00"}},
    {"cantilever_eigen_without_density", "cantilever_eigen", {{"density", ""}}, no_mass},
    {"cantilever_eigen_every_mode",
     "cantilever_eigen",
     {{"frequencies", "frequencies 1000000000"}},
     "",
     {"only 20 frequencies will be computed: the model has 20 equations with mass\n",
      "f(1) = 63.1592 Hz\n", "f(20) = 107560 Hz\n"}},
    {"cantilever_eigen_shift_1e150",
     "cantilever_eigen",
     {{"frequencies", "frequencies 3\nshift 1e150"}},
     "the shift is too large: the stiffness of the model is lost beside it"},
    {"cantilever_eigen_unsupported", "cantilever_eigen", {{"ux", ""}}, "", {"f(3) = "}},
    {"cantilever_eigen_unsupported_shift",
     "cantilever_eigen",
     {{"ux", ""}, {"frequencies", "frequencies 3\nshift 5"}},
     "",
     {"f(1) = 0 Hz\n", "f(3) = "}},
    // Conduction has no explicit step: the lumped matrix had four zero pivots.
    {"heat_wall_explicit",
     "heat_wall",
     {{"*nonlinear", "*nonlinear dynamic\nexplicit"}, {"increments", "increment load 1 size 1 steps 1"},
      {"unbalance", ""}, {"maxiter", ""}},
     "heat conduction needs an implicit analysis: analyse the model under \"*nonlinear static\", "
     "or under \"*nonlinear dynamic\" with \"newmark\", with a \"timestep\" line"},
    // Nothing can move: the listing said nothing at all.
    {"cantilever_eigen_every_dof_held",
     "cantilever_eigen",
     {{"ux", ""}, {"*eigen", "ux uy rz   1 2 3 4 5 6 7 8 9 10 11\n*eigen"}},
     "",
     {"the model has no free degree of freedom: it has no eigenfrequency\n"}},
    // A *post selection that writes nothing, or not all it names, says so.
    {"two_bar_truss_post_under_linear",
     "two_bar_truss",
     {{"*end", "*post\nlast\ndisplacement\n*end"}},
     "",
     {"*post: only an incremental analysis (*nonlinear) writes a result file; this one writes "
      "none\n"}},
    {"nonlinear_truss_post_without_increments",
     "nonlinear_truss",
     {{"*end", "*post\ndisplacement\n*end"}},
     "",
     {"*post names no increment (step, all or last): no result file is written\n"}},
    {"nonlinear_truss_post_without_blocks",
     "nonlinear_truss",
     {{"*end", "*post\nlast\n*end"}},
     "",
     {"*post names no block (displacement, temperature, stress or equivalent): no result file "
      "is written\n"}},
    {"nonlinear_truss_post_step_beyond_the_last",
     "nonlinear_truss",
     {{"*end", "*post\nstep 2 99\ndisplacement\n*end"}},
     "",
     {"*post step 99 is not written: the analysis runs increments 1 to 4\n"},
     {"*post step 2 "}},
    // The plastic bar and the wave in a force unit of 1e-9, 1e-6, 1e-3 and 1e-12 of
    // their own: the same motions after the same iterations, stresses as converted.
    {"plastic_bar_force_unit_nano",
     "plastic_bar",
     {{"young", "young 2.0e-4"}, {"nadai", "nadai 8.0e-7 0.1 4.0e-7"}, {"fx", "fx 5.0e-7 5 6"}},
     "",
     {"      3   1.778e-01", "      1   4.000e-07"},
     {"iteration 6\n"}},
    {"plastic_bar_force_unit_micro",
     "plastic_bar",
     {{"young", "young 2.0e-1"}, {"nadai", "nadai 8.0e-4 0.1 4.0e-4"}, {"fx", "fx 5.0e-4 5 6"}},
     "",
     {"      3   1.778e-01", "      1   4.000e-04"},
     {"iteration 6\n"}},
    {"plastic_bar_force_unit_milli",
     "plastic_bar",
     {{"young", "young 2.0e2"}, {"nadai", "nadai 0.8 0.1 0.4"}, {"fx", "fx 0.5 5 6"}},
     "",
     {"      3   1.778e-01", "      1   4.000e-01"},
     {"iteration 6\n"}},
    {"explicit_wave_force_unit_pico",
     "explicit_wave",
     {{"young", "young 1.0e-6"},
      {"density", "density 1.0e-12"},
      {"mass", "mass 5.0e-15"},
      {"fx", "fx 1.0e-12 11"}},
     "",
     {"     11   1.450e-03   0.000e+00   0.000e+00\n", "element 10\n          1.000e-10"}},
    // A material with thermal expansion makes the stiffness matrix nonsymmetric;
    // without its supports the loaded plate is a mechanism all the same.
    {"plate_with_quads_thermoelastic_unsupported",
     "plate_with_quads",
     {{"linearelastic", "thermoelastic\nalpha 1e-5\nlambda 50\ncapacity 1"},
      {"ux", ""},
      {"uy", ""}},
     "the stiffness matrix is singular: the model is a mechanism (a support or a connection is "
     "missing)"},
    // A rotation prescribed on a node of quadrilaterals acts on nothing, as a
    // moment there would: it is neither an unknown nor a reaction of the listing.
    {"plate_with_quads_rotation_prescribed",
     "plate_with_quads",
     {{"*linear", "prescribed\nrz 0.1   15\n*linear"}},
     "",
     {"     15   2.000e-05  -1.500e-06   0.000e+00\n"},
     {"      15  r "},
     {"prescribed value lost; no element gives node 15 the degree of freedom rz\n"}},
    // So is a suppressed temperature, rotation or z displacement on nodes of
    // plane bars: no column, no reaction row.
    {"two_bar_truss_t_rz_uz_suppressed",
     "two_bar_truss",
     {{"ux", "ux uy uz t rz   1 2"}},
     "",
     {"       2  u   6.0000e+03      0    1    0\n"},
     {"       1  T ", "       2  r ", "      0    0    1\n"},
     {"suppression lost; no element gives node 1 the degree of freedom t\n",
      "suppression lost; no element gives node 2 the degree of freedom rz\n",
      "suppression lost; no element gives node 2 the degree of freedom uz\n"}},
    // Bars that meet at 0.0458 degrees (a shallow V) share one dof at the apex:
    // the listing says so, whether the load can be carried or not. Each bar still
    // pulls on its support along its own direction, 0.0229 degrees off x: 500 N
    // along the bar is 0.2 N across x.
    {"two_bar_truss_shallow_v",
     "two_bar_truss",
     {{"3", "3   4.0  -0.0016  0.0"}, {"fy", "fx 1000   3"}},
     "",
     {"note: node 3: directions that differ by 0.0458 degrees are taken as one degree of "
      "freedom (tolerance 0.0573 degrees)\n",
      "       1  u   2.0000e-01      0    1    0\n", "       2  u  -2.0000e-01      0    1    0\n"}},
    {"two_bar_truss_shallow_v_load_across",
     "two_bar_truss",
     {{"3", "3   4.0  -0.0016  0.0"}},
     "no degree of freedom of node 3 takes its load fy (or a part of it): the model is a "
     "mechanism for that load",
     {"note: node 3: directions that differ by 0.0458 degrees are taken as one degree of "
      "freedom (tolerance 0.0573 degrees)\n"}},
    // A load that no dof of its node takes (across the line of two bars; out of
    // the plane of the truss) makes a mechanism for that load; a load on a support
    // goes into the support's reaction: (8000, 6000) of the bar less (500, 700).
    {"nonlinear_truss_load_across",
     "nonlinear_truss",
     {{"fx", "fy 5.0   2"}},
     "no degree of freedom of node 2 takes its load fy (or a part of it): the model is a "
     "mechanism for that load"},
    {"two_bar_truss_load_out_of_plane",
     "two_bar_truss",
     {{"fy", "fy -12000   3\nfz 5   3"}},
     "no degree of freedom of node 3 takes its load fz (or a part of it): the model is a "
     "mechanism for that load"},
    {"two_bar_truss_load_on_support",
     "two_bar_truss",
     {{"fy", "fy -12000   3\nfx 500  fy 700   1"}},
     "",
     {"       1  u   7.5000e+03      1    0    0\n",
      "       1  u   5.3000e+03      0    1    0\n"}},
    // What a set puts on a node is judged as its resultant: the middle node of
    // the inclined bars takes (100, 100) along the bars, given on one line or two,
    // but not a load with a part across them (named by its first such load).
    {"inclined_bars_load_on_two_lines",
     "inclined_bars",
     {{"fx", "fx 100.0   2\nfy 100.0   2"}},
     "",
     {"      2   3.536e-07   3.536e-07   0.000e+00\n"}},
    {"inclined_bars_load_partly_across",
     "inclined_bars",
     {{"fx", "fy 100.0  fx 50.0   2"}},
     "no degree of freedom of node 2 takes its load fy (or a part of it): the model is a "
     "mechanism for that load"},
    // Only the sets that the analysis applies are judged: linear statics applies
    // set 1, eigenfrequencies no set, nonlinear statics the sets of its increment
    // lines. What would refuse another set is only noted.
    {"two_bar_truss_moment_in_set_1",
     "two_bar_truss",
     {{"fy", "fy -12000   3\nmz 5.0   3"}},
     "no degree of freedom of node 3 takes its load mz (or a part of it): the model is a "
     "mechanism for that load"},
    {"two_bar_truss_moment_in_set_2",
     "two_bar_truss",
     {{"*linear", "set 2\nloads\nmz 5.0   3\n*linear"}},
     "",
     {"      3  -1.626e-19  -8.333e-04   0.000e+00\n"},
     {},
     {"load set 2 is not applied by this analysis; were it applied: no degree of freedom of "
      "node 3 takes its load mz (or a part of it): the model is a mechanism for that load\n"}},
    {"two_bar_truss_moment_under_eigen",
     "two_bar_truss",
     {{"poisson", "poisson 0.3\ndensity 7850"},
      {"*linear", "*eigen\nfrequencies 2"},
      {"fy", "fy -12000   3\nmz 5.0   3"}},
     "",
     {"f(2) = "},
     {},
     {"load set 1 is not applied by this analysis; were it applied: no degree of freedom of "
      "node 3 takes its load mz (or a part of it): the model is a mechanism for that load\n"}},
    {"nonlinear_truss_moment_in_set_2",
     "nonlinear_truss",
     {{"*nonlinear", "set 2\nloads\nmz 5.0   3\n*nonlinear static"}},
     "",
     {"increment   4\n"},
     {},
     {"load set 2 is not applied by this analysis; were it applied: "}},
    {"nonlinear_truss_moment_in_set_2_applied",
     "nonlinear_truss",
     {{"*nonlinear", "set 2\nloads\nmz 5.0   3\n*nonlinear static"},
      {"increments", "increments 4\nincrement load 2 size 1.0 steps 1"}},
     "no degree of freedom of node 3 takes its load mz (or a part of it): the model is a "
     "mechanism for that load"},
    // A value prescribed where *suppress holds the node was dropped at every
    // increment with a note on the screen; a prescribed 0 there agrees with it.
    {"two_bar_truss_prescribed_on_support",
     "two_bar_truss",
     {{"fy", "fy -12000   3\nprescribed\nux 0.01   1"}},
     "node 1 is held by *suppress in ux, where a value other than 0 is prescribed: a suppressed "
     "degree of freedom stays at 0"},
    {"two_bar_truss_prescribed_zero_on_support",
     "two_bar_truss",
     {{"fy", "fy -12000   3\nprescribed\nux 0   1"}},
     "",
     {"       1  u   8.0000e+03      1    0    0\n"}},
    // The same with *loadef before *suppress: the support holds all the same. In a
    // set that the analysis does not apply the value is only noted.
    {"two_bar_truss_prescribed_on_support_read_first",
     "two_bar_truss",
     {{"*suppress", ""},
      {"ux", ""},
      {"*linear", "*suppress\nux uy   1 2\n*linear"},
      {"fy", "fy -12000   3\nprescribed\nuy 0.001   1"}},
     "node 1 is held by *suppress in uy, where a value other than 0 is prescribed: a suppressed "
     "degree of freedom stays at 0"},
    {"two_bar_truss_prescribed_on_support_in_set_2",
     "two_bar_truss",
     {{"*linear", "set 2\nprescribed\nux 0.01   1\n*linear"}},
     "",
     {"       1  u   8.0000e+03      1    0    0\n"},
     {},
     {"load set 2 is not applied by this analysis; were it applied: node 1 is held by *suppress "
      "in ux, where a value other than 0 is prescribed: a suppressed degree of freedom stays at "
      "0\n"}},
    // Compressed to -0.5 times its length, a block would be turned inside out; the
    // increment fails and, with no resizing allowed, the analysis stops.
    {"tl_stretch_turned_inside_out",
     "tl_stretch",
     {{"ux", ""},
      {"uy", "ux uy   1 7\nux   4 13 14"},
      {"prescribed", "prescribed\nux -1.5   3 6 9 10 11"},
      {"increments", "increments 1"}},
     "aborted increment",
     {"is turned inside out: its deformation gradient has determinant "}},
    // An element given corners first under the perimeter-order name: its
    // Jacobian is positive at its integration points, not at its centre and nodes.
    {"thick_cylinder_corners_first",
     "thick_cylinder",
     {{"quad8axi", "quad8axi 1\n9   1 3 17 15 2 11 16 10\nquad8axi 1"}},
     "element 9 is numbered clockwise or folded: Jacobian determinant 0 at its centre"},
    // Two nodes at one place leave a bar or a beam without an axis: the message
    // named neither the element nor its nodes ("illegal direction, length = 0").
    {"two_bar_truss_zero_length_bar",
     "two_bar_truss",
     {{"3", "3   0.0  0.0  0.0"}},
     "element 1 has zero length: its nodes 1 and 3 are at one place"},
    {"cantilever_beam_zero_length_beam",
     "cantilever_beam",
     {{"5", "5  1.5  0.0  0.0"}},
     "element 4 has zero length: its nodes 4 and 5 are at one place"},
    // Beams without density carry the point masses: their rotations have stiffness
    // and no mass, which the explicit step divides by ("there are 2 (almost) zero
    // pivots found!" at the first step).
    {"portal_frame_explicit_without_density",
     "portal_frame",
     {{"density", ""}, {"*linear", "*nonlinear dynamic\nexplicit\ntimestep 1e-5\nincrements 10"}},
     "explicit analysis: the model has a motion with stiffness but no mass (the degree of "
     "freedom rz of node 2), of no finite frequency, which no explicit step can follow; give the "
     "model mass there, or analyse it with newmark and beta of at least gamma / 2"},
    {"thick_cylinder_tri6_corners_first",
     "thick_cylinder_tri6",
     {{"tri6psn", "tri6psn 1\n99   11 1 13 6 7 12\ntri6psn 1"}},
     "element 99 is numbered clockwise or folded: Jacobian determinant -6.26105e-05 away "
     "from its integration points"},
    // A trapezoid whose short side is a quarter of the long one, its top nodes
    // swapped into a bow tie: positive at its integration points and centre, but
    // its sides 13-8 and 11-1 cross.
    {"plate_with_quads_bow_tie",
     "plate_with_quads",
     {{"quad4pss", "quad4pss 1 1\n9   1 13 8 11\nquad4pss 1 1"}},
     "element 9 is crossed: its sides 13-8 and 11-1 cross"},
    // A frustum under the block, 5 x 5 at its base and 1 x 1 at its top (the
    // bottom face of element 1), with its top face walked clockwise seen from
    // above: positive at its integration points and centre.
    {"hex_block_frustum_top_face_clockwise",
     "hex_block",
     {{"*nodes",
       "*nodes\n13  -2.0 -2.0 -1.0\n14  3.0 -2.0 -1.0\n15  3.0 3.0 -1.0\n16  -2.0 3.0 -1.0"},
      {"hex8", "hex8 1\n3   13 14 15 16  1 4 5 2\nhex8 1"}},
     "element 3 is crossed: its face 1-4-5-2 faces inward"},
};

// Whether the word stands in the text on its own ("-nan", not "determinant").
bool holds_word(const std::string& text, const std::string& word)
{
    const auto is_letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const auto end = at + word.size();
        if ((at == 0 || !is_letter(text[at - 1])) && (end == text.size() || !is_letter(text[end])))
            return true;
    }
    return false;
}

void PrintTo(const EdgeRun& edge, std::ostream* os)
{
    *os << edge.label;
}

class EdgeRuns : public ScratchFiles, public ::testing::WithParamInterface<EdgeRun> {};

}  // namespace

TEST_P(EdgeRuns, EndSoundlyOrWithAClearError)
{
    const EdgeRun& edge = GetParam();
    std::string model = example_text(edge.example);
    for (const auto& edit : edge.edits) {
        int replaced = 0;
        model = with_lines_replaced(model, edit.first, edit.second, replaced);
        ASSERT_GE(replaced, 1) << edit.first;
    }
    CoutCapture out;
    CerrCapture warnings;
    const ModelRun run = run_model(write_model(std::string(edge.label) + ".dat", model));
    ASSERT_EQ(run.input_errors, 0) << model;
    EXPECT_EQ(run.error, edge.error);
    for (const std::string& warning : edge.warnings)
        EXPECT_NE(warnings.text().find(warning), std::string::npos) << warnings.text();

    const std::string text = read_text_file(run.listing_path);
    EXPECT_FALSE(holds_word(text, "nan")) << text;
    EXPECT_FALSE(holds_word(text, "inf")) << text;
    for (const std::string& report : edge.reports)
        EXPECT_NE(text.find(report), std::string::npos) << report << '\n' << text;
    for (const std::string& line : edge.absent)
        EXPECT_EQ(text.find(line), std::string::npos) << line << '\n' << text;
    if (!edge.error.empty()) {
        const std::string last_line = "ERROR: " + edge.error + "\n";
        ASSERT_GE(text.size(), last_line.size()) << text;
        EXPECT_EQ(text.substr(text.size() - last_line.size()), last_line) << text;
        EXPECT_EQ(text.find("nodal solution"), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, EdgeRuns, ::testing::ValuesIn(edge_runs),
                         [](const ::testing::TestParamInfo<EdgeRun>& info) {
                             return std::string(info.param.label);
                         });

// An analysis that writes no result file leaves the result file of an earlier run
// as it is (a linear or eigen analysis with *post, a selection without blocks);
// a start refused because the result file cannot be opened (a directory in its
// place) leaves the listing of the earlier run as it is.
TEST_F(EndToEnd, RunThatWritesNoResultFileOrIsRefusedChangesNoFile)
{
    struct Case {
        const char* example;
        const char* post;
    };
    const Case cases[] = {
        {"two_bar_truss", "*post\nlast\ndisplacement\n*end"},
        {"cantilever_eigen", "*post\nall\ndisplacement\n*end"},
        {"nonlinear_truss", "*post\nlast\n*end"},
    };
    CoutCapture out;
    CerrCapture errors;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.example);
        int replaced = 0;
        const std::string model = write_model(
            std::string(c.example) + "_post.dat",
            with_lines_replaced(example_text(c.example), "*end", c.post, replaced));
        const std::string result_path = scratch + c.example + "_post.flavia.res";
        std::ofstream(result_path) << "an earlier run's results\n";
        const ModelRun run = run_model(model);
        EXPECT_TRUE(run.finished) << run.error;
        EXPECT_EQ(read_text_file(result_path), "an earlier run's results\n");
    }

    int replaced = 0;
    const std::string model = write_model(
        "refused.dat", with_lines_replaced(example_text("nonlinear_truss"), "*end",
                                           "*post\nlast\ndisplacement\n*end", replaced));
    const ModelRun first = run_model(model);
    ASSERT_TRUE(first.finished) << first.error;
    const std::string listing = read_text_file(first.listing_path);
    ASSERT_GT(listing.size(), 1000u);
    std::filesystem::remove(first.result_path);
    std::filesystem::create_directory(first.result_path);
    const ModelRun refused = run_model(model);
    EXPECT_FALSE(refused.ran);
    EXPECT_EQ(refused.error, "can not open file " + first.result_path + ": Is a directory");
    EXPECT_EQ(read_text_file(first.listing_path), listing);
}

namespace {

// Every entry of the folder with what it holds (a link: where it points), to tell
// that a refused start changed no file.
std::map<std::string, std::string> folder_contents(const std::string& folder)
{
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::filesystem::path& path = entry.path();
        contents[path.filename().string()] =
            std::filesystem::is_symlink(std::filesystem::symlink_status(path))
                ? "-> " + std::filesystem::read_symlink(path).string()
                : read_text_file(path.string());
    }
    return contents;
}

}  // namespace

// No two files of a run may be one file: a result or restart file that is a link
// (symbolic or hard) to the listing, a listing that links to where a restart file
// is read or will be written, a restart file that is the model file. The run is
// refused before anything is written, naming both files (a restart file with its
// folder), and every file stays as it was: the listing held the restart data, or
// the result blocks, or the restart file read was emptied. The von Mises bar saves
// plastic_bar004.bin after its last increment, which its restart reads.
TEST_F(EndToEnd, RunWhoseFilesAreOneFileIsRefusedAndChangesNoFile)
{
    // dangling: a symbolic link to a file that does not exist yet.
    enum class Link { symbolic, dangling, hard };
    struct Case {
        const char* what;
        const char* example;
        const char* link;    // the file made a link
        const char* target;  // the file it links to
        Link kind;
        const char* message;  // {} stands for the folder
    };
    const Case cases[] = {
        {"result file linked to the listing", "plastic_bar", "plastic_bar.flavia.res",
         "plastic_bar.out", Link::symbolic,
         "the result file {}plastic_bar.flavia.res is the listing {}plastic_bar.out itself: it "
         "is not written"},
        {"result file hard-linked to the listing", "plastic_bar", "plastic_bar.flavia.res",
         "plastic_bar.out", Link::hard,
         "the result file {}plastic_bar.flavia.res is the listing {}plastic_bar.out itself: it "
         "is not written"},
        {"restart file linked to the listing", "plastic_bar", "plastic_bar004.bin",
         "plastic_bar.out", Link::symbolic,
         "the restart file {}plastic_bar004.bin is the listing {}plastic_bar.out itself: it is "
         "not written"},
        {"restart file hard-linked to the listing", "plastic_bar", "plastic_bar004.bin",
         "plastic_bar.out", Link::hard,
         "the restart file {}plastic_bar004.bin is the listing {}plastic_bar.out itself: it is "
         "not written"},
        {"restart file linked to the model file", "plastic_bar", "plastic_bar004.bin",
         "plastic_bar.dat", Link::symbolic,
         "the restart file {}plastic_bar004.bin is the model file {}plastic_bar.dat itself: it "
         "is not written"},
        {"listing linked to the restart file to be written", "plastic_bar", "plastic_bar.out",
         "plastic_bar004.bin", Link::dangling,
         "the restart file {}plastic_bar004.bin is the listing {}plastic_bar.out itself: it is "
         "not written"},
        {"listing linked to the restart file read", "plastic_bar_restart",
         "plastic_bar_restart.out", "plastic_bar004.bin", Link::symbolic,
         "the listing {}plastic_bar_restart.out is the restart file {}plastic_bar004.bin itself: "
         "it is not written"},
    };
    int replaced = 0;
    const std::string bar = with_lines_replaced(example_text("plastic_bar"), "*end",
                                                "*post\nlast\ndisplacement\n*end", replaced);
    CoutCapture out;
    CerrCapture errors;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : std::filesystem::directory_iterator(scratch))
            std::filesystem::remove(entry.path());
        // The files of a run before: a listing, a result file and a restart file.
        const std::string first_model = write_model("plastic_bar.dat", bar);
        const ModelRun first = run_model(first_model);
        ASSERT_TRUE(first.finished) << first.error;
        const std::string model =
            c.example == std::string("plastic_bar")
                ? first_model
                : write_model(std::string(c.example) + ".dat", example_text(c.example));
        std::filesystem::remove(scratch + c.link);
        if (c.kind == Link::hard) {
            std::filesystem::create_hard_link(scratch + c.target, scratch + c.link);
        } else {
            // Writing through a link to a file that does not exist makes it there.
            if (c.kind == Link::dangling) std::filesystem::remove(scratch + c.target);
            std::filesystem::create_symlink(c.target, scratch + c.link);
        }
        const std::map<std::string, std::string> before = folder_contents(scratch);

        const ModelRun refused = run_model(model);
        std::string message = c.message;
        for (std::size_t at = message.find("{}"); at != std::string::npos; at = message.find("{}"))
            message.replace(at, 2, scratch);
        EXPECT_FALSE(refused.ran);
        EXPECT_EQ(refused.error, message);
        EXPECT_EQ(folder_contents(scratch), before);
    }
}

// A model run before leaves nothing behind that the next one reads: each example,
// and the heat wall under "*linear" (which once gave the right temperatures after
// a run with a time step and zeros alone), writes the same listing and result file
// after every other example as alone.
TEST_F(EndToEnd, ARunBeforeChangesNothingInTheFiles)
{
    std::vector<std::string> models;
    for (const ExampleCase& example : example_cases) {
        const std::string path = scratch + example.name + ".dat";
        if (std::find(models.begin(), models.end(), path) == models.end())
            models.push_back(write_model(std::string(example.name) + ".dat",
                                         example_text(example.name)));
    }
    // *linear takes no option lines: those of the static section go with it.
    std::string heat_wall_linear = example_text("heat_wall");
    for (const auto& edit : {std::make_pair("*nonlinear", "*linear"), std::make_pair("increments", ""),
                             std::make_pair("timestep", ""), std::make_pair("unbalance", ""),
                             std::make_pair("maxiter", "")}) {
        int replaced = 0;
        heat_wall_linear = with_lines_replaced(heat_wall_linear, edit.first, edit.second, replaced);
    }
    models.push_back(write_model("heat_wall_linear.dat", heat_wall_linear));

    CoutCapture out;
    CerrCapture errors;
    const auto files_of = [](const std::string& model) {
        const ModelRun run = run_model(model);
        return read_text_file(run.listing_path) + read_text_file(run.result_path);
    };
    std::vector<std::string> alone;
    for (const std::string& model : models) {
        alone.push_back(files_of(model));
        EXPECT_NE(alone.back().find("\nTITLE\n"), std::string::npos) << model;
    }
    ASSERT_GE(models.size(), 10u);
    for (const std::string& before : models) {
        for (std::size_t i = 0; i < models.size(); ++i) {
            run_model(before);
            EXPECT_EQ(files_of(models[i]), alone[i]) << before << " before " << models[i];
        }
    }

    // Whatever a run left, a load and every analysis start from the defaults.
    const auto leave_values = [] {
        current_time_step = 0.5;
        result_mode = 2;
        gauss_point_counter = 17;
        load_bar_increment = 9;
    };
    const auto expect_defaults = [](const char* when) {
        EXPECT_EQ(current_time_step, 0.0) << when;
        EXPECT_EQ(result_mode, 1) << when;
        EXPECT_EQ(gauss_point_counter, 0) << when;
        EXPECT_EQ(load_bar_increment, 0) << when;
    };
    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    leave_values();
    ASSERT_EQ(read_model(models.front(), model, control), 0);
    expect_defaults("load");
    delete control;
    delete model;
    std::ostringstream listing;
    auto newmark = std::make_unique<NonLinearNewmarkControl>();
    newmark->set_timestep(0.1);
    auto explicit_dynamics = std::make_unique<ExplicitControl>();
    explicit_dynamics->set_timestep(0.1);
    std::vector<std::unique_ptr<KelVane::Control<MyDomain>>> controls;
    controls.push_back(std::make_unique<LinearControl>());
    controls.push_back(std::make_unique<EigenControl>());
    controls.push_back(std::make_unique<NonLinearStaticControl>());
    controls.push_back(std::move(newmark));
    controls.push_back(std::move(explicit_dynamics));
    for (const auto& started : controls) {
        MyDomain empty;
        leave_values();
        started->init(empty, listing);
        const KelVane::Control<MyDomain>& control = *started;
        expect_defaults(typeid(control).name());
    }
}
