#include "incremental_control.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <iomanip>
#include <iostream>

#include "control_test_model.h"
#include "domain.h"
#include "errors.h"
#include "line_limit.h"
#include "sysmat.h"

using namespace control_test;

namespace {

// An incremental control for the tests. Each increment advances the load set and
// solves the linear problem for the load change; failures queued in `failures`
// are thrown instead (after taking the load change back, as a real increment
// does). It records every attempt.
class ScriptedControl : public KelVane::IncrementalControl<MyDomain> {
public:
    enum Failure { converge, not_converged, diverge, matrix_failure };

    struct Attempt {
        int increment;
        int load_set;
        double size;
        double time;
        double published_dt;
    };

    void init(MyDomain& model, std::ostream&) override
    {
        model.setup_dofs();
        prepare(model);
    }

    void increment(MyDomain& model, std::ostream&, int load_set, double size) override
    {
        attempts.push_back(Attempt{increment_nr, load_set, size, time, current_time_step});
        model.apply_load(load_set, size);
        const Failure failure = failures.empty() ? converge : failures.front();
        if (!failures.empty()) failures.pop_front();
        switch (failure) {
        case converge:
            break;
        case not_converged:
            model.apply_load(load_set, -size);
            throw KelVane::not_converged_error("solution not converged");
        case diverge:
            model.apply_load(load_set, -size);
            throw KelVane::divergence_error("divergence occured");
        case matrix_failure:
            throw KelVane::matrix_error("singular");
        }
        if (!solve) return;

        KelVane::SparseSysMat K(model.n_free, model.symmetric);
        model.set_profile(K);
        model.assemble_stiffness(K, rhs);
        KelVane::SystemVector fint, fext;
        model.internal_forces(fint);
        model.external_forces(fext);
        rhs += fext.free_part();
        rhs -= fint.free_part();
        KelVane::Vector du;
        K.solve(rhs, du);
        model.add_increment(du);
        model.update_elements();
    }

    std::deque<Failure> failures;
    std::vector<Attempt> attempts;
    bool solve = true;  // false: no model work at all (an empty model will do)
};

// Each test that writes restart files runs in a fresh directory of its own.
class IncrementalControlFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kv_restart_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
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

    static bool exists(const std::string& name) { return std::ifstream(name).good(); }

    std::string scratch;
    std::string previous;
};

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

double apex_deflection(const TwoBarTruss& truss)
{
    double ux, uy, uz;
    truss.apex->displacement().get(ux, uy, uz);
    return uy;
}

}  // namespace

TEST(IncrementalControl, IncrementsSumToTheLinearSolutionAndCommit)
{
    MyDomain model;
    TwoBarTruss truss(model);
    ScriptedControl control;
    control.add_load_block(1, 0.25, 4);
    control.set_timestep(0.5);
    std::ostringstream listing, result;
    CaptureStdout out;

    control.init(model, listing);
    EXPECT_EQ(control.get_total_increments(), 4);
    EXPECT_EQ(control.progress(0), 0.0);

    const double expected_progress[] = {0.25, 0.5, 0.75, 1.0};
    for (int call = 0; call < 4; ++call) {
        const std::size_t listing_before = listing.str().size();
        EXPECT_EQ(control.run(model, listing, result, 1), call < 3) << call;
        EXPECT_EQ(control.get_increment_number(), call + 1);
        EXPECT_DOUBLE_EQ(control.progress(0), expected_progress[call]);
        EXPECT_EQ(control.progress(1), 0.0);
        EXPECT_DOUBLE_EQ(control.get_time(), 0.5 * (call + 1));
        // Each step is committed; the deflection grows linearly.
        EXPECT_NEAR(apex_deflection(truss), 0.25 * (call + 1) * TwoBarTruss::deflection, 1e-14);
        double dx, dy, dz;
        truss.apex->displacement_increment().get(dx, dy, dz);
        EXPECT_EQ(dy, 0.0);
        // The listing output of the model comes with the final increment only.
        const std::string written = listing.str().substr(listing_before);
        EXPECT_EQ(written.find("nodal solution") != std::string::npos, call == 3) << call;
    }
    EXPECT_TRUE(control.is_done());
    EXPECT_NEAR(truss.left_bar->get_point().get_stress()(1), TwoBarTruss::bar_stress, 1e-12);
    EXPECT_EQ(count_of(listing.str(), "increment "), 4);
    EXPECT_NE(listing.str().find("increment   3\n"), std::string::npos);
    EXPECT_NE(out.text().find("increment   4\n"), std::string::npos);
    EXPECT_TRUE(result.str().empty());  // nothing selected
}

TEST(IncrementalControl, WithoutLoadBlocksNothingHappens)
{
    MyDomain model;
    ScriptedControl control;
    std::ostringstream listing, result;
    control.init(model, listing);
    EXPECT_EQ(control.get_total_increments(), 0);
    EXPECT_EQ(control.progress(0), 0.0);  // no 0/0
    EXPECT_FALSE(control.run(model, listing, result, 1));
    EXPECT_FALSE(control.is_done());
    EXPECT_TRUE(control.attempts.empty());
    EXPECT_TRUE(listing.str().empty());

    // A count of increments beyond the range of their numbers is refused, not
    // wrapped round.
    ScriptedControl huge;
    huge.add_load_block(1, 1e-9, 2000000000);
    huge.add_load_block(1, 1e-9, 2000000000);
    EXPECT_THROW(
        {
            try {
                huge.init(model, listing);
            } catch (const KelVane::kelvane_error& e) {
                EXPECT_STREQ(e.what(), "too many increments");
                throw;
            }
        },
        KelVane::kelvane_error);
}

TEST(IncrementalControl, LoadBlocksRunInOrderAndEmptyBlocksGo)
{
    MyDomain model;
    ScriptedControl control;
    control.solve = false;
    for (int set = 1; set <= 3; ++set) model.load_sets.push_back(new KelVane::LoadSet(set));
    control.add_load_block(1, 0.1, 2);
    control.add_load_block(2, 0.5, 0);
    control.add_load_block(3, 0.25, 1);
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    EXPECT_EQ(control.get_total_increments(), 3);

    EXPECT_TRUE(control.run(model, listing, result, 1));
    EXPECT_TRUE(control.run(model, listing, result, 1));
    EXPECT_EQ(control.get_load_blocks().size(), 2u);  // the spent first block went
    EXPECT_FALSE(control.run(model, listing, result, 1));
    EXPECT_TRUE(control.get_load_blocks().empty());

    ASSERT_EQ(control.attempts.size(), 3u);
    const int sets[] = {1, 1, 3};
    const double sizes[] = {0.1, 0.1, 0.25};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(control.attempts[i].increment, i + 1);
        EXPECT_EQ(control.attempts[i].load_set, sets[i]);
        EXPECT_EQ(control.attempts[i].size, sizes[i]);
    }
    const double factors[] = {0.2, 0.0, 0.25};
    int i = 0;
    for (const KelVane::LoadSet* set : model.load_sets) EXPECT_NEAR(set->get_factor(), factors[i++], 1e-15);

    // Without a limit the whole queue runs in one call.
    ScriptedControl unlimited;
    unlimited.solve = false;
    unlimited.add_load_block(2, 1.0, 3);
    unlimited.init(model, listing);
    EXPECT_FALSE(unlimited.analyse(model, listing, result));
    EXPECT_EQ(unlimited.attempts.size(), 3u);
}

TEST(IncrementalControl, ResizesHalveTheStepThenAbort)
{
    MyDomain model;
    TwoBarTruss truss(model);
    ScriptedControl control;
    control.add_load_block(1, 0.5, 2);
    control.set_timestep(0.1);
    control.set_maxresize(2);
    control.failures = {ScriptedControl::not_converged, ScriptedControl::diverge,
                        ScriptedControl::not_converged};
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    current_time_step = -1.0;
    // Iteration lines leave both streams in scientific notation; the factor is
    // still written plainly.
    listing << std::scientific << std::setprecision(4);
    const std::ios::fmtflags cout_flags = std::cout.flags();
    const std::streamsize cout_precision = std::cout.precision(4);
    std::cout << std::scientific;

    try {
        control.run(model, listing, result, 1);
        FAIL() << "no exception";
    } catch (const KelVane::not_converged_error&) {
        FAIL() << "the failure itself escaped";
    } catch (const KelVane::kelvane_error& error) {
        EXPECT_STREQ(error.what(), "aborted increment");
    }

    const std::string expected =
        "increment   1\n"
        "\nResized because solution not converged, factor 0.5\n"
        "\nResized because divergence occured, factor 0.25\n"
        "\nERROR: solution not converged\n";
    std::cout.flags(cout_flags);
    std::cout.precision(cout_precision);
    EXPECT_EQ(listing.str(), expected);
    EXPECT_EQ(out.text(), expected);

    ASSERT_EQ(control.attempts.size(), 3u);
    const double sizes[] = {0.5, 0.25, 0.125};
    const double times[] = {0.1, 0.05, 0.025};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(control.attempts[i].increment, 1);
        EXPECT_EQ(control.attempts[i].size, sizes[i]);
        EXPECT_DOUBLE_EQ(control.attempts[i].time, times[i]);
        EXPECT_DOUBLE_EQ(control.attempts[i].published_dt, times[i]);
    }
    EXPECT_EQ(model.load_sets.front()->get_factor(), 0.0);
    EXPECT_EQ(apex_deflection(truss), 0.0);
    EXPECT_EQ(control.get_timestep(), 0.1);

    // However many resizes the input allows, a step is never cut below the
    // smallest factor: a load of almost nothing would pass the test for no load.
    ScriptedControl many;
    many.set_maxresize(100);
    many.add_load_block(1, 1.0, 1);
    many.failures.assign(100, ScriptedControl::not_converged);
    std::ostringstream many_listing;
    many.init(model, many_listing);
    EXPECT_THROW(many.run(model, many_listing, result, 1), KelVane::kelvane_error);
    ASSERT_EQ(many.attempts.size(), 11u);
    EXPECT_EQ(many.attempts.back().size, 1.0 / 1024);
    EXPECT_EQ(many.attempts.back().size, ScriptedControl::smallest_resize_factor);
    EXPECT_EQ(count_of(many_listing.str(), "Resized because"), 10);
    EXPECT_NE(many_listing.str().find("factor 0.000976562\n\nERROR: solution not converged\n"),
              std::string::npos);
}

TEST(IncrementalControl, WithoutResizesTheFirstFailureAborts)
{
    MyDomain model;
    ScriptedControl control;
    control.solve = false;
    model.load_sets.push_back(new KelVane::LoadSet(1));
    control.add_load_block(1, 1.0, 1);
    control.failures = {ScriptedControl::diverge};
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    EXPECT_THROW(control.run(model, listing, result, 1), KelVane::kelvane_error);
    EXPECT_EQ(listing.str(), "increment   1\n\nERROR: divergence occured\n");
    EXPECT_FALSE(control.is_done());
}

TEST(IncrementalControl, OtherFailuresPassUnchanged)
{
    MyDomain model;
    ScriptedControl control;
    control.solve = false;
    model.load_sets.push_back(new KelVane::LoadSet(1));
    control.add_load_block(1, 1.0, 1);
    control.set_maxresize(3);
    control.failures = {ScriptedControl::matrix_failure};
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    EXPECT_THROW(control.run(model, listing, result, 1), KelVane::matrix_error);
    EXPECT_EQ(control.attempts.size(), 1u);
    EXPECT_EQ(listing.str().find("Resized"), std::string::npos);
}

// A resized increment is completed by further sub-steps of the size that worked,
// each committed and each resized again while resizes are left, so the increment
// applies its whole load over its whole dt; the next increment starts again from
// the block's size and dt. Each step sees its own dt published.
TEST(IncrementalControl, ResizedIncrementIsCompletedBySubSteps)
{
    struct Case {
        const char* what;
        int maxresize;
        std::deque<ScriptedControl::Failure> failures;
        std::vector<double> sizes, times, published;  // of every attempt
        const char* listing;                          // of increment 1
    };
    using F = ScriptedControl::Failure;
    const Case cases[] = {
        {"one resize", 1, {F::not_converged},
         {0.5, 0.25, 0.25, 0.5}, {0.2, 0.1, 0.2, 0.4}, {0.2, 0.1, 0.1, 0.2},
         "increment   1\n"
         "\nResized because solution not converged, factor 0.5\n"
         "\nSub-step 2 of increment 1, factor 0.5\n"},
        {"second sub-step resized again", 2,
         {F::not_converged, F::converge, F::diverge},
         {0.5, 0.25, 0.25, 0.125, 0.125, 0.5}, {0.2, 0.1, 0.2, 0.15, 0.2, 0.4},
         {0.2, 0.1, 0.1, 0.05, 0.05, 0.2},
         "increment   1\n"
         "\nResized because solution not converged, factor 0.5\n"
         "\nSub-step 2 of increment 1, factor 0.5\n"
         "\nResized because divergence occured, factor 0.25\n"
         "\nSub-step 3 of increment 1, factor 0.25\n"},
    };
    for (const Case& c : cases) {
        MyDomain model;
        TwoBarTruss truss(model);
        ScriptedControl control;
        control.add_load_block(1, 0.5, 2);
        control.set_timestep(0.2);
        control.set_maxresize(c.maxresize);
        control.failures = c.failures;
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);

        EXPECT_TRUE(control.run(model, listing, result, 1)) << c.what;
        EXPECT_EQ(listing.str(), c.listing) << c.what;
        EXPECT_EQ(control.get_increment_number(), 1) << c.what;
        EXPECT_DOUBLE_EQ(control.progress(0), 0.5) << c.what;
        EXPECT_EQ(control.get_timestep(), 0.2) << c.what;
        EXPECT_DOUBLE_EQ(control.get_time(), 0.2) << c.what;
        // The whole first load step is on, and committed.
        EXPECT_EQ(model.load_sets.front()->get_factor(), 0.5) << c.what;
        EXPECT_NEAR(apex_deflection(truss), 0.5 * TwoBarTruss::deflection, 1e-14) << c.what;

        EXPECT_FALSE(control.run(model, listing, result, 1)) << c.what;
        EXPECT_EQ(count_of(listing.str(), "increment "), 2 + count_of(c.listing, "Sub-step"))
            << c.what;
        EXPECT_NEAR(apex_deflection(truss), TwoBarTruss::deflection, 1e-14) << c.what;
        EXPECT_DOUBLE_EQ(control.get_time(), 0.4) << c.what;
        ASSERT_EQ(control.attempts.size(), c.sizes.size()) << c.what;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            EXPECT_EQ(control.attempts[i].increment, i + 1 < c.sizes.size() ? 1 : 2) << c.what;
            EXPECT_EQ(control.attempts[i].size, c.sizes[i]) << c.what << ' ' << i;
            EXPECT_DOUBLE_EQ(control.attempts[i].time, c.times[i]) << c.what << ' ' << i;
            EXPECT_DOUBLE_EQ(control.attempts[i].published_dt, c.published[i])
                << c.what << ' ' << i;
        }
    }
}

TEST(IncrementalControl, ResultBlocksForTheSelectedIncrementsOnly)
{
    MyDomain model;
    TwoBarTruss truss(model);
    ScriptedControl control;
    control.add_load_block(1, 0.25, 4);
    control.post_selection().displacement = true;
    control.post_selection().steps = {2};
    control.post_selection().last = true;
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    for (int step = 1; step <= 4; ++step) {
        const std::size_t before = result.str().size();
        control.run(model, listing, result, 1);
        EXPECT_EQ(result.str().size() > before, step == 2 || step == 4) << step;
    }
}

TEST_F(IncrementalControlFiles, RestartFileNamesFollowTheIncrement)
{
    struct Case {
        const char* base;
        std::set<int> saved;
        std::set<std::string> files;
    };
    // A base that ends in a digit or an underscore is kept apart from the
    // increment by an underscore: w1 at 23 and w at 1023 no longer share w1023.bin.
    const Case cases[] = {
        {"base", {7, 999, 1000}, {"base007.bin", "base999.bin", "base1000.bin"}},
        {"w", {1023}, {"w1023.bin"}},
        {"w1", {23}, {"w1_023.bin"}},
        {"w1_", {23}, {"w1__023.bin"}},
        {"plastic_bar", {4}, {"plastic_bar004.bin"}},
        {"bridge.case1", {4, 1004}, {"bridge.case1_004.bin", "bridge.case1_1004.bin"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        MyDomain model;
        model.load_sets.push_back(new KelVane::LoadSet(1));
        ScriptedControl control;
        control.solve = false;
        EXPECT_EQ(control.get_base_name(), "restart");
        control.set_base_name(c.base);
        const int last = *c.saved.rbegin();
        control.add_load_block(1, 1.0 / last, last);
        KelVane::StepSelect save;
        save.steps = c.saved;
        control.set_save_selection(save);
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);
        EXPECT_FALSE(control.run(model, listing, result, -1));
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            files.insert(entry.path().filename().string());
        EXPECT_EQ(files, c.files);
        for (const std::string& name : files) std::filesystem::remove(name);
    }

    MyDomain model;
    model.load_sets.push_back(new KelVane::LoadSet(1));
    ScriptedControl control;
    control.solve = false;
    control.set_base_name("base");
    control.add_load_block(1, 0.125, 8);
    control.save_selection().steps = {7};
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    control.run(model, listing, result, -1);
    // The log names the file with its folder: it lands in the working directory.
    EXPECT_NE(out.text().find("restart file " + scratch + "/base007.bin written\n"),
              std::string::npos)
        << out.text();
    std::ifstream file("base007.bin");
    std::string header, trailer, load_record;
    int increment = 0;
    double time = 1.0;
    file >> header >> increment >> time >> load_record >> trailer >> trailer;
    EXPECT_EQ(header, "kelvane0.1restart");
    EXPECT_EQ(increment, 7);
    EXPECT_EQ(time, 0.0);
    EXPECT_EQ(load_record, "L1");
    EXPECT_EQ(trailer, "end_restart_file");
}

// A restart file whose write fails (a full disk, here a file size limit) is
// removed: a file cut short would be read as a state to restart from. One that
// cannot be opened (a folder in its place) is named with its folder and the
// reason, as the log names a file written.
TEST_F(IncrementalControlFiles, RestartFileWhoseWriteFailsIsRemoved)
{
    struct Case {
        const char* name;
        bool folder_in_place;
        const char* message;  // after the folder of the file
    };
    const Case cases[] = {
        {"write cut short", false, "can not write restart file {}/full001.bin"},
        {"folder in the file's place", true,
         "can not open restart file {}/full001.bin: Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MyDomain model;
        model.load_sets.push_back(new KelVane::LoadSet(1));
        ScriptedControl control;
        control.solve = false;
        control.set_base_name("full");
        control.add_load_block(1, 0.5, 2);
        control.save_selection().all = true;
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);
        if (c.folder_in_place) std::filesystem::create_directory("full001.bin");
        rlimit previous_limit {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous_limit), 0);
        rlimit small_limit = previous_limit;
        small_limit.rlim_cur = 8;
        const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
        if (!c.folder_in_place) {
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small_limit), 0);
        }
        std::string message;
        try {
            control.run(model, listing, result, 1);
        } catch (const KelVane::file_error& error) {
            message = error.what();
        }
        setrlimit(RLIMIT_FSIZE, &previous_limit);
        std::signal(SIGXFSZ, previous_handler);
        std::string expected = c.message;
        expected.replace(expected.find("{}"), 2, scratch);
        EXPECT_EQ(message, expected);
        if (c.folder_in_place) {
            EXPECT_TRUE(std::filesystem::is_directory("full001.bin"));
            std::filesystem::remove("full001.bin");
        }
        EXPECT_FALSE(exists("full001.bin"));
    }
}

// No two bases or increments give one restart file name, and every name says its
// own increment back.
TEST(RestartFileName, NamesAreDistinctAndSayTheirIncrement)
{
    const char* const bases[] = {"", "w", "w1", "w10", "w1_", "w_", "w_1", "w__", "1", "_",
                                 "10", "a.b", "a.1"};
    const int increments[] = {0, 1, 2, 10, 23, 99, 100, 102, 123, 999, 1000, 1023, 10230, 123456};
    std::map<std::string, std::string> made_by;
    for (const char* base : bases) {
        for (const int increment : increments) {
            const std::string name = KelVane::restart_file_name(base, increment);
            const std::string by = std::string("'") + base + "' at " + std::to_string(increment);
            const auto made = made_by.emplace(name, by);
            EXPECT_TRUE(made.second) << name << " from " << by << " and " << made.first->second;
            EXPECT_EQ(KelVane::restart_file_increment(name), std::to_string(increment)) << name;
        }
    }
    EXPECT_EQ(KelVane::restart_file_increment("dir9/w1_023.bin"), "23");
    EXPECT_EQ(KelVane::restart_file_increment("w000.bin"), "0");
    EXPECT_EQ(KelVane::restart_file_increment("state.bin"), "");
    EXPECT_EQ(KelVane::restart_file_increment("w1023"), "");
    EXPECT_EQ(KelVane::restart_file_increment(".bin"), "");
}

TEST_F(IncrementalControlFiles, SaveSelectionLastOrAll)
{
    for (bool all : {false, true}) {
        MyDomain model;
        model.load_sets.push_back(new KelVane::LoadSet(1));
        ScriptedControl control;
        control.solve = false;
        control.set_base_name(all ? "all" : "last");
        control.add_load_block(1, 0.5, 3);
        control.save_selection().all = all;
        control.save_selection().last = !all;
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);
        control.run(model, listing, result, -1);
        for (int step = 1; step <= 3; ++step) {
            const std::string name = (all ? "all00" : "last00") + std::to_string(step) + ".bin";
            EXPECT_EQ(exists(name), all || step == 3) << name;
        }
    }
}

TEST_F(IncrementalControlFiles, RestartedRunReachesTheSameState)
{
    // Straight through: five steps of 0.2 with dt 0.1, saving after the third.
    MyDomain first_model;
    TwoBarTruss first_truss(first_model);
    ScriptedControl first;
    first.set_base_name("truss");
    first.set_timestep(0.1);
    first.add_load_block(1, 0.2, 5);
    first.save_selection().steps = {3};
    std::ostringstream listing, result;
    CaptureStdout out;
    first.init(first_model, listing);
    for (int i = 0; i < 3; ++i) first.run(first_model, listing, result, 1);
    const double time_at_save = first.get_time();  // 0.30000000000000004
    EXPECT_NE(time_at_save, 0.3);
    const double factor_at_save = first_model.load_sets.front()->get_factor();
    first.run(first_model, listing, result, -1);

    // From the restart file, with the two steps that remain.
    MyDomain second_model;
    TwoBarTruss second_truss(second_model);
    ScriptedControl second;
    second.set_restart("truss003.bin");
    second.set_timestep(0.1);
    second.add_load_block(1, 0.2, 2);
    second.init(second_model, listing);
    EXPECT_TRUE(second.is_done());
    EXPECT_EQ(second.get_increment_number(), 3);
    EXPECT_EQ(second.get_time(), time_at_save);  // every digit comes back
    EXPECT_EQ(second.get_total_increments(), 5);
    EXPECT_DOUBLE_EQ(second.progress(0), 0.6);
    EXPECT_EQ(second_model.load_sets.front()->get_factor(), factor_at_save);
    EXPECT_TRUE(second.run(second_model, listing, result, 1));
    EXPECT_EQ(second.get_increment_number(), 4);
    EXPECT_FALSE(second.run(second_model, listing, result, 1));

    EXPECT_EQ(second.get_time(), first.get_time());
    EXPECT_EQ(apex_deflection(second_truss), apex_deflection(first_truss));
    EXPECT_EQ(second_truss.left_bar->get_point().get_stress()(1),
              first_truss.left_bar->get_point().get_stress()(1));
    EXPECT_NEAR(apex_deflection(second_truss), TwoBarTruss::deflection, 1e-14);
}

// Set 1 puts a force on a node without a dof, and the increments advance set 2
// only: set 1 never acts and is only noted, unless a restart file leaves it at a
// factor other than 0, where its force is applied with every increment.
TEST_F(IncrementalControlFiles, OnlyTheSetsThatActAreJudged)
{
    const std::string lost =
        "no degree of freedom of node 1 takes its load fx (or a part of it): the model is a "
        "mechanism for that load";
    std::ofstream("loaded_003.bin") << "kelvane0.1restart\n3\n0.3\nN1 \nL1 1\nL2 0\n"
                                       "end_restart_file\n";
    for (const bool restart : {false, true}) {
        MyDomain model;
        auto* node = new MyNode(1, 0.0, 0.0, 0.0);
        model.nodes.push_back(node);
        auto* loads = new KelVane::Nodal_Loads;
        loads->add_load(KelVane::Dof::force, Direction(1, 0, 0), 5.0);
        loads->add_node(node);
        model.load_sets.push_back(new KelVane::LoadSet(1));
        model.load_sets.back()->add(loads);
        model.load_sets.push_back(new KelVane::LoadSet(2));
        ScriptedControl control;
        control.solve = false;
        control.add_load_block(2, 1.0, 1);
        if (restart) control.set_restart("loaded_003.bin");
        std::ostringstream listing;
        kv_test::CerrCapture notes;
        std::string error;
        try {
            control.init(model, listing);
        } catch (const KelVane::kelvane_error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, restart ? lost : "") << restart;
        EXPECT_EQ(notes.text(), restart ? "" : "load set 1 is not applied by this analysis; were "
                                               "it applied: " + lost + "\n")
            << restart;
    }
}

TEST_F(IncrementalControlFiles, BadRestartFilesStopInit)
{
    const std::string over_long = "kelvane0.1restart\n3\n0.3\nL1 0" +
                                  std::string(KelVane::max_input_line_length, ' ') +
                                  "\nend_restart_file\n";
    const std::string no_line_end(2 * KelVane::max_input_line_length, 'k');
    struct Case {
        const char* content;  // nullptr: no file at all
        std::string message;
        const char* name = nullptr;  // nullptr: a name of increment 3
    };
    const Case cases[] = {
        // Named as it was looked for, and where.
        {nullptr, "cannot open restart file case1_003.bin (restart files are read from the working "
                  "directory " + scratch + ")"},
        {"", "incorrect restart file"},
        {"kelvane0.2restart\n3\n0.3\nL1 0\nend_restart_file\n", "incorrect restart file"},
        {"kelvane0.1restart\n3\n0.3\nL1 0\nend_of_file\n", "incorrect end of restart file"},
        {"kelvane0.1restart\n3\n0.3\nL1 0\n", "incorrect end of restart file"},
        // A static analysis keeps no motion: a stray word before the end line.
        {"kelvane0.1restart\n3\n0.3\nL1 0\nstray\nend_restart_file\n",
         "incorrect end of restart file"},
        // The file of a dynamic analysis says which one wrote it.
        {"kelvane0.1restart\n3\n0.3\nL1 0\nprevious_increment 1 0\nend_restart_file\n",
         "the restart file holds the state of an explicit analysis: it can not restart a static "
         "analysis"},
        {"kelvane0.1restart\n3\n0.3\nL1 0\nvelocity 1 0\nacceleration 1 0\nend_restart_file\n",
         "the restart file holds the state of a Newmark analysis: it can not restart a static "
         "analysis"},
        {"kelvane0.1restart\n3\n0.3\nL2 0\nend_restart_file\n", "corrupt restart file"},
        // Values that no run that went on can have written.
        {"kelvane0.1restart\n-7\n0.3\nL1 0\nend_restart_file\n", "corrupt restart file"},
        {"kelvane0.1restart\n3\n0.3\nL1 nan\nend_restart_file\n", "corrupt restart file"},
        {"kelvane0.1restart\n3\n0.3\nL1 -inf\nend_restart_file\n", "corrupt restart file"},
        // A line too long for any restart file ends the reading, named by its number.
        {over_long.c_str(), "restart file line 4 is longer than 1 MB"},
        {no_line_end.c_str(), "restart file line 1 is longer than 1 MB"},
        // The file of another increment under the name asked for (as model w at
        // 1023 once wrote over w1 at 23) is not taken for the one its name says.
        {"kelvane0.1restart\n23\n0.3\nL1 0\nend_restart_file\n",
         "restart file w1023.bin holds increment 23, not increment 1023 as its name says",
         "w1023.bin"},
        {"kelvane0.1restart\n1023\n0.3\nL1 0\nend_restart_file\n",
         "restart file w1_023.bin holds increment 1023, not increment 23 as its name says",
         "w1_023.bin"},
    };
    int n = 0;
    for (const Case& c : cases) {
        // The name says the increment the file holds, or says none.
        const std::string name = c.name ? c.name : "case" + std::to_string(++n) + "_003.bin";
        if (c.content) std::ofstream(name) << c.content;
        MyDomain model;
        model.load_sets.push_back(new KelVane::LoadSet(1));
        ScriptedControl control;
        control.set_restart(name);
        std::ostringstream listing;
        try {
            control.init(model, listing);
            ADD_FAILURE() << name << ": no exception";
        } catch (const KelVane::file_error& error) {
            EXPECT_EQ(error.what(), c.message) << name;
        }
        EXPECT_FALSE(control.is_done()) << name;
    }
}
