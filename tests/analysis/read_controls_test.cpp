// Reading of the analysis sections: the control created, the increment options it
// receives, and the errors counted for every kind of section.

#include <cstdio>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control.h"
#include "domain.h"
#include "eigen_control.h"
#include "errors.h"
#include "explicit.h"
#include "incremental_control.h"
#include "kvparser.h"
#include "model_text.h"
#include "newmark.h"
#include "nonlinear_static.h"

namespace {

using AnyControl = KelVane::Control<MyDomain>;

// An incremental control that only keeps its settings.
class SettingsOnly : public KelVane::IncrementalControl<MyDomain> {
public:
    void init(MyDomain&, std::ostream&) override {}
    void increment(MyDomain&, std::ostream&, int, double) override {}
};

struct Reading {
    int errors;
    std::string messages;       // the error stream while reading
    std::vector<bool> options;  // per line: read_increment_option took the word
};

// Every line of the text is given to read_increment_option with its first word.
Reading read_options(const std::string& text, KelVane::IncrementalControl<MyDomain>& control)
{
    const std::string path = kv_test::write_test_model(text);
    input_data input;
    input.set_file_name(path);
    Reading reading{0, "", {}};
    testing::internal::CaptureStderr();
    try {
        while (!input.end_of_input()) {
            std::string word;
            input.get_string(1, word);
            reading.options.push_back(input.read_increment_option(word, control));
            input.skip_line();
        }
    } catch (...) {
        testing::internal::GetCapturedStderr();
        std::remove(path.c_str());
        throw;
    }
    reading.messages = testing::internal::GetCapturedStderr();
    reading.errors = input.error_count();
    std::remove(path.c_str());
    return reading;
}

// Reads the sections of the text the way the loading driver does.
Reading read_sections(const std::string& text, AnyControl*& control)
{
    MyDomain model;
    const kv_test::SectionReading reading = kv_test::read_model_text(text, model, control);
    return Reading{reading.errors, reading.messages, {}};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Reads the sections twice, once closed by "*end" and once ending with the file:
// both must count the same errors and write the message; check then looks at
// the control that was created (it is deleted afterwards).
template <class Check>
void expect_either_ending(const std::string& text, int errors, const std::string& message,
                          Check check)
{
    for (const char* end : {"*end\n", ""}) {
        AnyControl* control = nullptr;
        const Reading reading = read_sections(text + end, control);
        EXPECT_EQ(reading.errors, errors) << text << end << '\n' << reading.messages;
        EXPECT_TRUE(contains(reading.messages, message))
            << text << end << '\n' << reading.messages;
        check(control);
        delete control;
    }
}

}  // namespace

TEST(ReadIncrementOptions, EveryOptionReachesItsSetting)
{
    SettingsOnly control;
    const Reading reading = read_options("increments 4\n"
                                         "INCREMENT LOAD 2 SIZE 0.1 STEPS 10\n"
                                         "increments 0\n"
                                         "timestep 0.01\n"
                                         "maxresize 3\n"
                                         "save step 5 10\n"
                                         "Restart MyRun007.BIN\n",
                                         control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_EQ(reading.options, std::vector<bool>(7, true));

    const auto& blocks = control.get_load_blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].load_set, 1);
    EXPECT_DOUBLE_EQ(blocks[0].size, 0.25);
    EXPECT_EQ(blocks[0].steps, 4);
    EXPECT_EQ(blocks[1].load_set, 2);
    EXPECT_DOUBLE_EQ(blocks[1].size, 0.1);
    EXPECT_EQ(blocks[1].steps, 10);
    EXPECT_EQ(blocks[2].steps, 0);

    EXPECT_DOUBLE_EQ(control.get_timestep(), 0.01);
    EXPECT_EQ(control.get_maxresize(), 3);
    EXPECT_EQ(control.save_selection().steps, (std::set<int>{5, 10}));
    EXPECT_FALSE(control.save_selection().all);
    EXPECT_FALSE(control.save_selection().last);
    EXPECT_TRUE(control.restarts());
    EXPECT_EQ(control.get_restart_file(), "MyRun007.BIN");
    EXPECT_FALSE(control.has_damping());
}

TEST(ReadIncrementOptions, EachSaveLineReplacesTheSelection)
{
    struct Case {
        const char* lines;
        std::set<int> steps;
        bool all;
        bool last;
    };
    const Case cases[] = {
        {"save step 5\nsave all\n", {}, true, false},
        {"save all\nsave last\n", {}, false, true},
        {"save last\nsave step 3 1\n", {1, 3}, false, false},
        {"SAVE ALL\n", {}, true, false},
    };
    for (const Case& c : cases) {
        SettingsOnly control;
        const Reading reading = read_options(c.lines, control);
        EXPECT_EQ(reading.errors, 0) << c.lines << reading.messages;
        EXPECT_EQ(control.save_selection().steps, c.steps) << c.lines;
        EXPECT_EQ(control.save_selection().all, c.all) << c.lines;
        EXPECT_EQ(control.save_selection().last, c.last) << c.lines;
    }
}

TEST(ReadIncrementOptions, BadLinesAreCountedAndChangeNothing)
{
    struct Case {
        const char* line;
        const char* message;
        int errors;
    };
    const Case cases[] = {
        {"increment load 2 size 0.1",
         "Wrong increment load line\nShould be: increment load i size d steps n\n", 1},
        {"increment load 2 size 0.1 steps 10 more",
         "Wrong increment load line\nShould be: increment load i size d steps n\n", 1},
        {"increment lood 2 size 0.1 steps 10", "Wrong loading type\n", 1},
        {"increment load 2 size 0.1 step 10", "Wrong loading type\n", 1},
        {"increments -1", "number of increments must not be negative\n", 1},
        {"increment load 1 size 0.5 steps -3", "number of steps must not be negative\n", 1},
        {"increments many", "wrong type in field 2\n", 1},
        {"increment load x size 0.5 steps 3", "wrong type in field 3\n", 1},
        {"increment load 1 size big steps z", "wrong type in field 5\nwrong type in field 7\n",
         2},
        {"timestep fast", "wrong type in field 2\n", 1},
        {"maxresize often", "wrong type in field 2\n", 1},
        // Values outside their range, and a save line that names nothing to save.
        {"timestep -0.01", "timestep must not be negative (0 or more)\n", 1},
        {"maxresize -1", "maxresize must not be negative (0 or more)\n", 1},
        {"save lst", "save must be followed by step, all or last; found lst\n", 1},
        {"save step", "save step needs the numbers of the increments\n", 1},
        {"save step 0 2", "save step: increments are numbered from 1\n", 1},
        {"save last 5", "save last takes nothing after it\n", 1},
    };
    for (const Case& c : cases) {
        SettingsOnly control;
        control.set_timestep(0.5);
        control.set_maxresize(2);
        control.save_selection().all = true;
        const Reading reading = read_options(std::string(c.line) + "\n", control);
        EXPECT_EQ(reading.errors, c.errors) << c.line << '\n' << reading.messages;
        EXPECT_TRUE(contains(reading.messages, c.message)) << c.line << '\n' << reading.messages;
        EXPECT_EQ(reading.options, std::vector<bool>{true}) << c.line;
        EXPECT_TRUE(control.get_load_blocks().empty()) << c.line;
        EXPECT_DOUBLE_EQ(control.get_timestep(), 0.5) << c.line;
        EXPECT_EQ(control.get_maxresize(), 2) << c.line;
        EXPECT_TRUE(control.save_selection().all) << c.line;
        EXPECT_TRUE(control.save_selection().steps.empty()) << c.line;
    }
}

TEST(ReadIncrementOptions, OtherWordsAreNotIncrementOptions)
{
    SettingsOnly control;
    const Reading reading = read_options("full\nrayleigh 0.1 0.2\nfrequencies 3\n", control);
    EXPECT_EQ(reading.errors, 0);
    EXPECT_EQ(reading.options, std::vector<bool>(3, false));
    EXPECT_FALSE(control.has_damping());
}

TEST(ReadIncrementOptions, OptionWithoutItsValueEndsTheReading)
{
    for (const char* line : {"timestep\n", "restart\n", "save\n", "increments\n"}) {
        SettingsOnly control;
        EXPECT_THROW(read_options(line, control), syntax_error) << line;
    }
}

TEST(ReadLinear, CreatesALinearControlAndSkipsDataLines)
{
    AnyControl* control = nullptr;
    const Reading reading = read_sections("*linear\nsolver skyline\n*end\n", control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    delete control;
}

TEST(ReadLinear, LaterSectionReplacesTheControlWithItsSettings)
{
    AnyControl* control = nullptr;
    Reading reading = read_sections("*linear\n*post\nall\n*linear\n*end\n", control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    ASSERT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    EXPECT_FALSE(control->post_selection().all);
    delete control;

    // The dynamic controls replace and are replaced in the same way.
    control = nullptr;
    reading = read_sections("*linear\n*nonlinear dynamic\nnewmark\nincrements 1\n*end\n", control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_NE(dynamic_cast<NonLinearNewmarkControl*>(control), nullptr);
    reading = read_sections("*nonlinear dynamic\nexplicit\nincrements 1\n*linear\n*end\n",
                            control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    delete control;

    // An eigenfrequency control is replaced like any other.
    control = nullptr;
    reading = read_sections("*eigen\nfrequencies 2\n*linear\n*end\n", control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    delete control;
}

// Every option line of the dynamic sections is read and checked; the control of
// the section's method is created all the same.
TEST(ReadAnalysisSections, OptionLinesAreCheckedCompletely)
{
    struct Case {
        std::string text;
        std::string message;
        int errors;
        bool is_explicit;
    };
    const Case cases[] = {
        {"*nonlinear DYNAMIC\nnewmark 0.3 0.6\nrayleigh 0.1 0.01\nfull\nincrements 5\n"
         "timestep 0.01\nmaxiter 7\n",
         "", 0, false},
        {"*nonlinear dynamic\nNewmark\nmodified\nincrements 1\n", "", 0, false},
        // The line after the keyword line must name the method; another line is
        // read as what it is.
        {"*nonlinear dynamic\nincrements 10\n",
         "*NONLINEAR DYNAMIC must be followed by its method line, newmark [beta gamma] or "
         "explicit; found increments\n",
         1, false},
        {"*nonlinear dynamic\ntimestep 0.01\nincrements 10\n", "explicit; found timestep\n", 1,
         false},
        {"*nonlinear dynamic\ncentraldifference\nincrements 10\n",
         "explicit; found centraldifference\n", 1, false},
        // Nothing after the keyword line: no method and no increments.
        {"*nonlinear dynamic\n", "the analysis has no increments", 2, false},
        {"*nonlinear dynamic newmark\nincrements 1\n",
         "*NONLINEAR takes one word after it, STATIC or DYNAMIC\n", 2, false},
        {"*nonlinear dynamic\nnewmark 0.25 0.5 0.1\nincrements 1\n",
         "newmark takes both beta and gamma or neither: newmark [beta gamma]\n", 1, false},
        {"*nonlinear dynamic\nnewmark 0.3\nincrements 1\n",
         "newmark takes both beta and gamma or neither: newmark [beta gamma]\n", 1, false},
        {"*nonlinear dynamic\nexplicit 0.1\nincrements 1\n", "explicit takes nothing after it\n",
         1, true},
        {"*nonlinear dynamic\nnewmark\nexplicit\nincrements 1\n",
         "the method is given once, on the line after *NONLINEAR DYNAMIC\n", 1, false},
        // Parameters that make the motion grow, or that the integration divides by.
        {"*nonlinear dynamic\nnewmark 0.25 0.3\nincrements 1\n",
         "Newmark gamma must be at least 0.5\n", 1, false},
        {"*nonlinear dynamic\nnewmark -0.1 0.5\nincrements 1\n",
         "Newmark beta must be greater than 0\n", 1, false},
        {"*nonlinear dynamic\nnewmark\nrayleigh -5 0\nincrements 1\n",
         "Rayleigh coefficients must not be negative (0 or more)\n", 1, false},
        {"*nonlinear dynamic\nexplicit\nrayleigh 0 -1e-3\nincrements 1\n",
         "Rayleigh coefficients must not be negative (0 or more)\n", 1, true},
        {"*nonlinear dynamic\nnewmark\nmaxiter 0\nincrements 1\n",
         "maxiter must be at least 1\n", 1, false},
        {"*nonlinear dynamic\nexplicit\nincrements 0\n", "the analysis has no increments", 1,
         true},
        {"*nonlinear dynamic\nnewmark x 0.5\nincrements 1\n", "wrong type in field 2\n", 1,
         false},
        {"*nonlinear dynamic\nnewmark\nrayleigh x 0.1\nincrements 1\n",
         "wrong type in field 2\n", 1, false},
        {"*nonlinear dynamic\nnewmark\nbogus\nsave all\nincrements 1\n", "", 1, false},
        {"*nonlinear dynamic\nexplicit\nrayleigh 0.1 0\nincrements 10\ntimestep 1e-3\n"
         "save all\n",
         "", 0, true},
        {"*nonlinear dynamic\nEXPLICIT\nfull\nunbalance 1e-3\nincrements 1\n", "", 2, true},
        {"*nonlinear dynamic\nnewmark\nunbalance 0\nincrements 1\n",
         "unbalance tolerance must be positive\n", 1, false},
        // The only block is refused: the analysis has no increments either.
        {"*nonlinear dynamic\nexplicit\nincrements -1\n",
         "number of increments must not be negative\n", 2, true},
    };
    for (const Case& c : cases)
        expect_either_ending(c.text, c.errors, c.message, [&](AnyControl* control) {
            auto* newmark = dynamic_cast<NonLinearNewmarkControl*>(control);
            if (c.is_explicit)
                EXPECT_NE(dynamic_cast<ExplicitControl*>(control), nullptr) << c.text;
            else
                ASSERT_NE(newmark, nullptr) << c.text;
            if (c.errors == 0) return;
            // A line in error sets nothing.
            EXPECT_FALSE(dynamic_cast<KelVane::IncrementalControl<MyDomain>&>(*control)
                             .has_damping())
                << c.text;
            if (newmark == nullptr) return;
            EXPECT_DOUBLE_EQ(newmark->get_beta(), 0.25) << c.text;
            EXPECT_DOUBLE_EQ(newmark->get_gamma(), 0.5) << c.text;
            EXPECT_EQ(newmark->get_maxiter(), 10) << c.text;
        });
}

TEST(ReadAnalysisSections, KeywordLineAfterDynamicIsNotTakenAway)
{
    // The section lacks its method line and its increments, both counted against
    // its keyword line.
    AnyControl* control = nullptr;
    const Reading reading = read_sections("*nonlinear dynamic\n*linear\n*end\n", control);
    EXPECT_EQ(reading.errors, 2) << reading.messages;
    EXPECT_TRUE(contains(reading.messages, "explicit; found *linear\n\nerror in input line 1:\n"
                                           "*nonlinear dynamic\n"))
        << reading.messages;
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    delete control;
}

TEST(ReadNonlinearDynamic, NewmarkSectionSetsEveryOption)
{
    AnyControl* control = nullptr;
    Reading reading = read_sections(
        "*nonlinear dynamic\nnewmark 0.3025 0.6\nrayleigh 0.1 0.01\nmodified\n"
        "unbalance 1e-6\nmaxiter 20\ntimestep 0.01\nmaxresize 2\nsave last\n"
        "increment load 2 size 0.5 steps 4\n*end\n",
        control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    auto* newmark = dynamic_cast<NonLinearNewmarkControl*>(control);
    ASSERT_NE(newmark, nullptr);
    EXPECT_DOUBLE_EQ(newmark->get_beta(), 0.3025);
    EXPECT_DOUBLE_EQ(newmark->get_gamma(), 0.6);
    EXPECT_TRUE(newmark->has_damping());
    EXPECT_DOUBLE_EQ(newmark->get_rayleigh_alpha(), 0.1);
    EXPECT_DOUBLE_EQ(newmark->get_rayleigh_beta(), 0.01);
    EXPECT_EQ(newmark->get_method(), 2);
    EXPECT_DOUBLE_EQ(newmark->get_tolerance(), 1e-6);
    EXPECT_EQ(newmark->get_maxiter(), 20);
    EXPECT_DOUBLE_EQ(newmark->get_timestep(), 0.01);
    EXPECT_EQ(newmark->get_maxresize(), 2);
    EXPECT_TRUE(newmark->save_selection().last);
    ASSERT_EQ(newmark->get_load_blocks().size(), 1u);
    EXPECT_EQ(newmark->get_load_blocks()[0].load_set, 2);
    EXPECT_DOUBLE_EQ(newmark->get_load_blocks()[0].size, 0.5);
    EXPECT_EQ(newmark->get_load_blocks()[0].steps, 4);
    delete control;

    // Without parameters, or when the method line is something else (an error,
    // and the line is then read as the option line it is), the defaults hold; a
    // later section starts again from them.
    struct Case {
        const char* text;
        int errors;
        int maxiter;
        int steps;  // of the one load block
    };
    const Case cases[] = {
        {"*nonlinear dynamic\nnewmark\nincrements 1\n*end\n", 0, 10, 1},
        {"*nonlinear dynamic\nincrements 5\nmaxiter 3\n*end\n", 1, 3, 5},
        {"*nonlinear dynamic\nnewmark 0.3 0.7\nfull\nrayleigh 1 1\nincrements 1\n"
         "*nonlinear dynamic\nnewmark\nincrements 2\n*end\n",
         0, 10, 2},
    };
    for (const Case& c : cases) {
        control = nullptr;
        reading = read_sections(c.text, control);
        EXPECT_EQ(reading.errors, c.errors) << c.text << reading.messages;
        newmark = dynamic_cast<NonLinearNewmarkControl*>(control);
        ASSERT_NE(newmark, nullptr) << c.text;
        EXPECT_DOUBLE_EQ(newmark->get_beta(), 0.25) << c.text;
        EXPECT_DOUBLE_EQ(newmark->get_gamma(), 0.5) << c.text;
        EXPECT_EQ(newmark->get_method(), 1) << c.text;
        EXPECT_EQ(newmark->get_maxiter(), c.maxiter) << c.text;
        ASSERT_EQ(newmark->get_load_blocks().size(), 1u) << c.text;
        EXPECT_EQ(newmark->get_load_blocks()[0].steps, c.steps) << c.text;
        EXPECT_FALSE(newmark->has_damping()) << c.text;
        delete control;
    }
}

TEST(ReadNonlinearDynamic, ExplicitSectionSetsItsOptions)
{
    AnyControl* control = nullptr;
    const Reading reading = read_sections(
        "*nonlinear dynamic\nexplicit\nRayleigh 0.5 0\ntimestep 1e-4\nincrements 100\n"
        "save step 50\nrestart Run010.bin\n*end\n",
        control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    auto* explicit_control = dynamic_cast<ExplicitControl*>(control);
    ASSERT_NE(explicit_control, nullptr);
    EXPECT_TRUE(explicit_control->has_damping());
    EXPECT_DOUBLE_EQ(explicit_control->get_rayleigh_alpha(), 0.5);
    EXPECT_EQ(explicit_control->get_rayleigh_beta(), 0.0);
    EXPECT_DOUBLE_EQ(explicit_control->get_timestep(), 1e-4);
    ASSERT_EQ(explicit_control->get_load_blocks().size(), 1u);
    EXPECT_DOUBLE_EQ(explicit_control->get_load_blocks()[0].size, 0.01);
    EXPECT_EQ(explicit_control->get_load_blocks()[0].steps, 100);
    EXPECT_EQ(explicit_control->save_selection().steps, (std::set<int>{50}));
    EXPECT_EQ(explicit_control->get_restart_file(), "Run010.bin");
    delete control;
}

TEST(ReadAnalysisSections, OptionLineWithoutItsValueEndsTheReading)
{
    for (const char* text :
         {"*nonlinear\nunbalance\n", "*nonlinear dynamic\nnewmark\nrayleigh 0.1\n",
          "*eigen\nfrequencies\n", "*nonlinear\nmaxresize\n"}) {
        AnyControl* control = nullptr;
        EXPECT_THROW(read_sections(text, control), syntax_error) << text;
        delete control;
    }
}

TEST(ReadNonlinearStatic, SectionCreatesTheStaticControlWithEveryOption)
{
    AnyControl* control = nullptr;
    Reading reading = read_sections(
        "*NONLINEAR STATIC\n"
        "increments 10\nFull\nmodified\nunbalance 1e-6\nmaxiter 20\ntimestep 0.1\n"
        "maxresize 2\nsave last\nrestart Beam005.bin\nincrement load 2 size 0.05 steps 4\n"
        "*end\n",
        control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    auto* nonlinear = dynamic_cast<NonLinearStaticControl*>(control);
    ASSERT_NE(nonlinear, nullptr);
    EXPECT_EQ(nonlinear->get_method(), 2);
    EXPECT_DOUBLE_EQ(nonlinear->get_tolerance(), 1e-6);
    EXPECT_EQ(nonlinear->get_maxiter(), 20);
    EXPECT_DOUBLE_EQ(nonlinear->get_timestep(), 0.1);
    EXPECT_EQ(nonlinear->get_maxresize(), 2);
    EXPECT_TRUE(nonlinear->save_selection().last);
    EXPECT_TRUE(nonlinear->restarts());
    EXPECT_EQ(nonlinear->get_restart_file(), "Beam005.bin");
    const auto& blocks = nonlinear->get_load_blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].load_set, 1);
    EXPECT_DOUBLE_EQ(blocks[0].size, 0.1);
    EXPECT_EQ(blocks[0].steps, 10);
    EXPECT_EQ(blocks[1].load_set, 2);
    EXPECT_DOUBLE_EQ(blocks[1].size, 0.05);
    EXPECT_EQ(blocks[1].steps, 4);
    EXPECT_FALSE(nonlinear->has_damping());
    delete control;

    // A later section starts again from the defaults of the control.
    control = nullptr;
    reading = read_sections("*nonlinear\nmodified\nmaxiter 3\nincrements 1\n*nonlinear\n"
                            "increments 2\n",
                            control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    nonlinear = dynamic_cast<NonLinearStaticControl*>(control);
    ASSERT_NE(nonlinear, nullptr);
    EXPECT_EQ(nonlinear->get_method(), 1);
    EXPECT_EQ(nonlinear->get_maxiter(), 10);
    EXPECT_DOUBLE_EQ(nonlinear->get_tolerance(), 1e-4);
    ASSERT_EQ(nonlinear->get_load_blocks().size(), 1u);
    EXPECT_EQ(nonlinear->get_load_blocks()[0].steps, 2);
    EXPECT_FALSE(nonlinear->restarts());
    delete control;
}

TEST(ReadNonlinearStatic, BadLinesAreCountedAndTheControlIsStillCreated)
{
    struct Case {
        std::string text;
        std::string message;
        int errors;
    };
    const Case cases[] = {
        // An analysis without a step to run, counted against its keyword line.
        {"*nonlinear\n",
         "line with at least one step\n\nerror in input line 1:\n*nonlinear\n", 1},
        {"*nonlinear\nincrements 0\nincrement load 2 size 0.5 steps 0\n",
         "the analysis has no increments", 1},
        {"*nonlinear\nrestart run003.bin\n",
         "the analysis has no increments: give an \"increments n\" or \"increment load i size d "
         "steps n\" line with at least one step (a restart runs only the load blocks given with "
         "it)\n",
         1},
        {"*NONLINEAR STATIC\nincrements 1\nrayleigh 0.1 0.2\n", "", 1},
        {"*nonlinear\nincrements 1\nbogus 1\n", "", 1},
        {"*nonlinear quasi\nincrements 2\n",
         "*NONLINEAR can only be supplemented by STATIC or DYNAMIC\n", 1},
        {"*nonlinear static extra\nincrements 2\n",
         "*NONLINEAR takes one word after it, STATIC or DYNAMIC\n", 1},
        {"*nonlinear\nincrements -2\nincrement load 1 size 0.1 steps -1\nincrements 1\n",
         "number of steps must not be negative\n", 2},
        {"*nonlinear\nincrements 1\nunbalance tight\nmaxiter x\n", "wrong type in field 2\n",
         2},
        // A tolerance the unbalance ratio can never meet.
        {"*nonlinear\nincrements 1\nunbalance 0\n", "unbalance tolerance must be positive\n", 1},
        {"*nonlinear static\nincrements 1\nunbalance -1e-3\n",
         "unbalance tolerance must be positive\n", 1},
        {"*nonlinear\nincrements 1\nmaxiter 0\n", "maxiter must be at least 1\n", 1},
        {"*nonlinear\nincrements 1\nmaxiter -3\n", "maxiter must be at least 1\n", 1},
        {"*nonlinear\nincrements 1\nsave lst\n",
         "save must be followed by step, all or last; found lst\n", 1},
    };
    for (const Case& c : cases)
        expect_either_ending(c.text, c.errors, c.message, [&](AnyControl* control) {
            auto* nonlinear = dynamic_cast<NonLinearStaticControl*>(control);
            ASSERT_NE(nonlinear, nullptr) << c.text;
            // Lines in error leave the defaults.
            EXPECT_EQ(nonlinear->get_maxiter(), 10) << c.text;
            EXPECT_DOUBLE_EQ(nonlinear->get_tolerance(), 1e-4) << c.text;
            EXPECT_FALSE(nonlinear->has_damping()) << c.text;
        });
}

TEST(ReadEigen, SectionCreatesTheEigenControlWithItsOptions)
{
    struct Case {
        std::string text;
        int frequencies;
        double shift;
    };
    const Case cases[] = {
        {"*eigen\n", 5, 0.0},
        {"*EIGEN\nFrequencies 3\nSHIFT 0.5\n", 3, 0.5},
        {"*eigen\nshift 2\nfrequencies 1\nfrequencies 12\n", 12, 2.0},
    };
    for (const Case& c : cases)
        expect_either_ending(c.text, 0, "", [&](AnyControl* control) {
            auto* eigen = dynamic_cast<EigenControl*>(control);
            ASSERT_NE(eigen, nullptr) << c.text;
            EXPECT_EQ(eigen->get_frequencies(), c.frequencies) << c.text;
            EXPECT_DOUBLE_EQ(eigen->get_shift(), c.shift) << c.text;
        });
}

TEST(ReadEigen, BadLinesAreCountedAndKeepTheDefaults)
{
    struct Case {
        std::string text;
        std::string message;
        int errors;
    };
    const Case cases[] = {
        {"*eigen\nfrequencies 0\n", "number of frequencies must be at least 1\n", 1},
        {"*eigen\nfrequencies -4\n", "number of frequencies must be at least 1\n", 1},
        {"*eigen\nfrequencies many\n", "wrong type in field 2\n", 1},
        {"*eigen\nmodes 3\n", "", 1},
        {"*eigen\nshift low\nfrequencies 0\n", "wrong type in field 2\n", 2},
        {"*eigen\nshift -2000\n", "the shift is a frequency and cannot be negative\n", 1},
    };
    for (const Case& c : cases)
        expect_either_ending(c.text, c.errors, c.message, [&](AnyControl* control) {
            auto* eigen = dynamic_cast<EigenControl*>(control);
            ASSERT_NE(eigen, nullptr) << c.text;
            EXPECT_EQ(eigen->get_frequencies(), 5) << c.text;
            EXPECT_EQ(eigen->get_shift(), 0.0) << c.text;
        });
}
