// Real incremental analyses under the front end: the nonlinear bar of
// examples/nonlinear_truss.dat (four load increments, each with full Newton
// iterations) runs step by step inside the event loop. Its iterations feed the
// convergence bar graph, its increments the gauge; Halt, Start and Cancel act
// between increments; the result and restart files land where they belong.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/utils.h>

#include "canvas.h"
#include "control_dialog.h"
#include "device_map.h"
#include "domain.h"
#include "frame.h"
#include "graphics_frame.h"
#include "gui_test_support.h"
#include "nonlinear_static.h"
#include "runner.h"

using namespace gui_test;
namespace fs = std::filesystem;

namespace {

constexpr int increments = 4;

// Closed form of the bar: after increment k of 4 each 1 m element is strained
// by eps = (1 + 0.025 k)^2 - 1; node 2 moves by eps, node 3 by 2 eps.
double strain_after(int k) { return std::pow(1.0 + 0.025 * k, 2) - 1.0; }

ControlDialog& dialog() { return *main_frame().GetControlDialog(); }

void press(int button)
{
    wxCommandEvent event(wxEVT_BUTTON, button);
    event.SetEventObject(&dialog());
    dialog().ProcessWindowEvent(event);
}

bool load(const std::string& path)
{
    main_frame().GetHistory().AddFileToHistory(wxString::FromUTF8(path));
    main_frame().IssueCommand(CMD_RECENT_FIRST);
    return loaded;
}

NonLinearStaticControl* analysis()
{
    return dynamic_cast<NonLinearStaticControl*>(control);
}

int current_increment() { return analysis() ? analysis()->get_increment_number() : -1; }

const LoadBar& bar() { return *dialog().GetLoadBar(); }

int gauge() { return dialog().GetGauge()->GetValue(); }

std::string replace_once(std::string text, const std::string& what, const std::string& by)
{
    const std::size_t at = text.find(what);
    if (at == std::string::npos) {
        ADD_FAILURE() << "the example no longer holds '" << what << "'";
        return text;
    }
    return text.replace(at, what.size(), by);
}

// A copy of the example in a fresh directory, with `control_lines` added to its
// "*nonlinear" section and `sections` (e.g. a "*post" section) before "*end".
std::string copy_truss(const std::string& control_lines = "", const std::string& sections = "")
{
    const std::string path = copy_example("nonlinear_truss.dat");
    std::string text = read_file(path);
    text = replace_once(text, "maxiter 20\n", "maxiter 20\n" + control_lines);
    text = replace_once(text, "*end", sections + "*end");
    std::ofstream(path, std::ios::trunc) << text;
    return path;
}

std::string sibling(const std::string& model_path, const std::string& extension)
{
    const fs::path path(model_path);
    return (path.parent_path() / (path.stem().string() + extension)).string();
}

// Seconds reported after `prefix` in the log's last such line.
double reported_seconds(const wxString& prefix)
{
    const wxString text = log_text();
    const int at = text.rfind(prefix);
    if (at == wxNOT_FOUND) return -1.0;
    return std::strtod(text.Mid(at + prefix.length()).utf8_string().c_str(), nullptr);
}

int count_of(const wxString& text, const wxString& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != wxString::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The iteration ratios of the listing, increment by increment.
std::vector<std::vector<double>> listed_ratios(const std::string& listing)
{
    std::vector<std::vector<double>> ratios;
    std::istringstream lines(listing);
    std::string line;
    int iteration_lines = 0;
    int ratio_lines = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("increment ", 0) == 0) {
            ratios.emplace_back();
        } else if (line.rfind("iteration ", 0) == 0) {
            ++iteration_lines;
        } else if (const std::size_t at = line.find("ratio:"); at != std::string::npos) {
            ++ratio_lines;
            if (ratios.empty()) ADD_FAILURE() << "iteration before the first increment";
            else ratios.back().push_back(std::strtod(line.c_str() + at + 6, nullptr));
        }
    }
    EXPECT_EQ(iteration_lines, ratio_lines);
    return ratios;
}

// The listing up to the start of increment `k` (the whole listing when there is none).
std::string listing_before_increment(const std::string& listing, int k)
{
    std::ostringstream header;
    header << "increment " << (k < 10 ? "  " : k < 100 ? " " : "") << k << '\n';
    const std::size_t at = listing.find(header.str());
    return at == std::string::npos ? listing : listing.substr(0, at);
}

// Runs `action` once, in the first idle pass of the event loop during increment
// `number` of the loaded analysis. The analysis yields after every iteration, so
// that is inside the increment, before it ends.
class DuringIncrement {
public:
    DuringIncrement(int number, std::function<void()> action)
        : number(number), action(std::move(action))
    {
        wxTheApp->Bind(wxEVT_IDLE, &DuringIncrement::OnIdle, this);
    }
    ~DuringIncrement() { wxTheApp->Unbind(wxEVT_IDLE, &DuringIncrement::OnIdle, this); }
    DuringIncrement(const DuringIncrement&) = delete;
    DuringIncrement& operator=(const DuringIncrement&) = delete;

    bool done = false;
    int bar_values = 0;  // bar values shown when the action ran

private:
    void OnIdle(wxIdleEvent& event)
    {
        event.Skip();
        if (done || !running || current_increment() != number) return;
        done = true;
        bar_values = static_cast<int>(bar().GetValues().size());
        action();
    }

    int number;
    std::function<void()> action;
};

// What the canvas window shows now, read back from the screen.
wxImage read_canvas() { return read_window(*main_frame().GetCanvas()); }

bool is_ink(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) < 200 || image.GetGreen(x, y) < 200 || image.GetBlue(x, y) < 200;
}

// The rightmost inked column within `rows` pixels of device row y, -1 for none.
int rightmost_ink(const wxImage& image, int y, int rows = 2)
{
    for (int x = image.GetWidth() - 1; x >= 0; --x)
        for (int dy = -rows; dy <= rows; ++dy)
            if (y + dy >= 0 && y + dy < image.GetHeight() && is_ink(image, x, y + dy)) return x;
    return -1;
}

double node_x_displacement(int number)
{
    for (const MyNode* node : domain->nodes)
        if (node->number() == static_cast<unsigned>(number)) {
            double x = 0.0, y = 0.0, z = 0.0;
            node->displacement().get(x, y, z);
            return x;
        }
    ADD_FAILURE() << "no node " << number;
    return 0.0;
}

// Lets each refresh command repaint the canvas and records, at that moment, the
// gauge, the repaints it caused, what the window shows and where node 3 is.
class RefreshRecorder {
public:
    struct Shot {
        int gauge;
        int paints;
        wxImage image;
        double end_displacement;
    };

    RefreshRecorder()
    {
        main_frame().Bind(wxEVT_MENU, &RefreshRecorder::OnRefresh, this, CMD_REFRESH);
        main_frame().GetCanvas()->Bind(wxEVT_PAINT, &RefreshRecorder::OnPaint, this);
    }
    ~RefreshRecorder()
    {
        main_frame().Unbind(wxEVT_MENU, &RefreshRecorder::OnRefresh, this, CMD_REFRESH);
        main_frame().GetCanvas()->Unbind(wxEVT_PAINT, &RefreshRecorder::OnPaint, this);
    }
    RefreshRecorder(const RefreshRecorder&) = delete;
    RefreshRecorder& operator=(const RefreshRecorder&) = delete;

    std::vector<Shot> shots;

private:
    void OnRefresh(wxCommandEvent& event)
    {
        const int paints_before = paints;
        main_frame().OnRefresh(event);
        shots.push_back({gauge(), paints - paints_before, read_canvas(), node_x_displacement(3)});
    }
    void OnPaint(wxPaintEvent& event)
    {
        ++paints;
        event.Skip();
    }

    int paints = 0;
};

// Sets the working directory for its lifetime.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& directory) : previous(fs::current_path())
    {
        fs::current_path(directory);
    }
    ~WorkingDirectory()
    {
        std::error_code ignored;
        fs::current_path(previous, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    fs::path previous;
};

std::set<std::string> files_in(const fs::path& directory, const std::string& extension)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().extension() == extension) names.insert(entry.path().filename().string());
    return names;
}

class IncrementalRunTest : public testing::Test {
protected:
    void SetUp() override
    {
        main_frame().GetDrawProperties().SetDefaults();
        main_frame().GetDrawProperties().plot_deformed = false;
        ASSERT_FALSE(running);
    }
    void TearDown() override { main_frame().GetDrawProperties().SetDefaults(); }

    // Loads a copy and runs it to its end with no interruption; returns the listing.
    std::string run_uninterrupted(const std::string& path)
    {
        EXPECT_TRUE(load(path));
        press(ControlDialog::ID_START);
        EXPECT_FALSE(loaded);
        return read_file(sibling(path, ".out"));
    }

    DialogHook hook;
};

}  // namespace

TEST_F(IncrementalRunTest, EveryIterationReachesTheEventLoopAndTheBarGraph)
{
    const std::string path = copy_truss();
    ASSERT_TRUE(load(path));
    ASSERT_NE(analysis(), nullptr) << "the *nonlinear section no longer makes a nonlinear control";
    EXPECT_TRUE(bar().GetValues().empty());

    // Posted before Start: it can run only when the analysis itself yields, and
    // the first such yield follows the first iteration of increment 1.
    int seen_increment = 0, seen_iteration = 0, seen_values = -1, seen_gauge = -1;
    wxTheApp->CallAfter([&] {
        seen_increment = current_increment();
        seen_iteration = analysis()->get_iteration();
        seen_values = static_cast<int>(bar().GetValues().size());
        seen_gauge = gauge();
    });
    press(ControlDialog::ID_START);
    pump_events(1);  // had the analysis never yielded, the call would run only now

    EXPECT_EQ(seen_increment, 1);
    EXPECT_EQ(seen_iteration, 1);
    EXPECT_EQ(seen_values, 1);
    EXPECT_EQ(seen_gauge, 0);
    EXPECT_TRUE(log_contains("finished (analysis time: "));
    EXPECT_EQ(gauge(), 100);

    // One bar per iteration of the listing, the first of each increment red, and
    // each bar the listed ratio on the decade scale.
    const std::string listing = read_file(sibling(path, ".out"));
    const auto ratios = listed_ratios(listing);
    ASSERT_EQ(ratios.size(), static_cast<std::size_t>(increments));
    std::size_t total = 0;
    for (const auto& increment : ratios) total += increment.size();
    const std::vector<LoadBar::Value>& values = bar().GetValues();
    ASSERT_EQ(values.size(), total);
    ASSERT_LE(static_cast<int>(total), bar().GetCapacity()) << "the bars would have scrolled";
    std::size_t k = 0;
    for (std::size_t inc = 0; inc < ratios.size(); ++inc) {
        ASSERT_GE(ratios[inc].size(), 2u) << "a Newton increment of this bar needs iterations";
        for (std::size_t it = 0; it < ratios[inc].size(); ++it, ++k) {
            SCOPED_TRACE(testing::Message() << "increment " << inc + 1 << ", iteration " << it + 1);
            EXPECT_EQ(values[k].new_increment, it == 0);
            EXPECT_NEAR(values[k].value, std::log10(std::max(ratios[inc][it], 1e-15)), 1e-3);
            // Only the last iteration of an increment is below the tolerance line.
            EXPECT_EQ(ratios[inc][it] <= 1e-10, it + 1 == ratios[inc].size());
        }
    }
    EXPECT_TRUE(bar().IsToleranceSet());
    EXPECT_FLOAT_EQ(bar().GetTolerance(), -10.0f);
    EXPECT_LE(bar().GetLower(), -10.0f);
    EXPECT_GE(bar().GetUpper(), 1.0f);

    // The end load is fully on: node 3 has moved by 0.42 m.
    EXPECT_NEAR(node_x_displacement(3), 2.0 * strain_after(increments), 1e-9);
}

TEST_F(IncrementalRunTest, HaltStopsAfterTheCurrentIncrementAndStartContinuesWithTheNext)
{
    const std::string reference = run_uninterrupted(copy_truss());
    const auto reference_ratios = listed_ratios(reference);
    ASSERT_EQ(reference_ratios.size(), static_cast<std::size_t>(increments));

    // Halt is asked for inside increment 1; the step also takes 60 ms there, which
    // the analysis time must include.
    const std::string path = copy_truss();
    ASSERT_TRUE(load(path));
    hook.Answer(wxID_YES);
    DuringIncrement halt(1, [] {
        press(ControlDialog::ID_HALT);
        wxMilliSleep(60);
    });
    press(ControlDialog::ID_START);

    ASSERT_TRUE(halt.done);
    ASSERT_EQ(hook.messages().size(), 1u);
    EXPECT_EQ(hook.messages()[0], "stop after this increment?\n(analysis can be continued later)");
    EXPECT_EQ(current_increment(), 1);
    EXPECT_EQ(bar().GetValues().size(), reference_ratios[0].size());
    EXPECT_EQ(gauge(), 25);
    const double stopped_after = reported_seconds("stopped (analysis time: ");
    EXPECT_GE(stopped_after, 0.06);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(started);
    EXPECT_FALSE(running);
    EXPECT_TRUE(out_stream.is_open());
    EXPECT_TRUE(dialog().IsShown());
    EXPECT_TRUE(dialog().IsPaused());
    EXPECT_TRUE(dialog().IsHalted());

    // Start goes on with increment 2, and that step's 60 ms add to the first.
    DuringIncrement slow(2, [] { wxMilliSleep(60); });
    const int finished_before = count_of(log_text(), "finished (analysis time: ");
    press(ControlDialog::ID_START);

    ASSERT_TRUE(slow.done);
    EXPECT_EQ(slow.bar_values, static_cast<int>(reference_ratios[0].size()) + 1);
    EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before + 1);
    const double total = reported_seconds("finished (analysis time: ");
    EXPECT_GE(total, stopped_after + 0.06);
    EXPECT_EQ(current_increment(), increments);
    EXPECT_EQ(gauge(), 100);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(out_stream.is_open());

    // A halted and continued analysis writes exactly what an uninterrupted one does.
    EXPECT_EQ(read_file(sibling(path, ".out")), reference);
    std::size_t iterations = 0;
    for (const auto& increment : reference_ratios) iterations += increment.size();
    EXPECT_EQ(bar().GetValues().size(), iterations);
    std::size_t k = 0;
    for (const auto& increment : reference_ratios)
        for (std::size_t it = 0; it < increment.size(); ++it, ++k)
            EXPECT_EQ(bar().GetValues()[k].new_increment, it == 0) << "bar " << k;
}

TEST_F(IncrementalRunTest, CancelEndsTheAnalysisWithItsFilesCompleteToTheLastIncrement)
{
    const std::string post = "*post\nall\ndisplacement\n";
    const std::string reference_path = copy_truss("", post);
    const std::string reference = run_uninterrupted(reference_path);
    const std::string reference_results = read_file(sibling(reference_path, ".flavia.res"));
    std::ostringstream block_3;
    block_3 << "displacements " << std::setw(7) << 1 << ' ' << std::setw(11) << 3;
    const std::string results_to_2 =
        reference_results.substr(0, reference_results.find(block_3.str()));
    ASSERT_LT(results_to_2.size(), reference_results.size());

    for (const bool while_halted : {true, false}) {
        SCOPED_TRACE(while_halted ? "cancel while halted after increment 2"
                                  : "cancel while increment 2 runs");
        const std::string path = copy_truss("", post);
        ASSERT_TRUE(load(path));
        const int cancelled_before = count_of(log_text(), "cancelled (analysis time: ");
        const int stopped_before = count_of(log_text(), "stopped (analysis time: ");
        hook.Answer(wxID_YES);
        DuringIncrement request(2, [while_halted] {
            press(while_halted ? ControlDialog::ID_HALT : ControlDialog::ID_CANCEL);
        });
        press(ControlDialog::ID_START);
        ASSERT_TRUE(request.done);
        EXPECT_EQ(current_increment(), 2);

        EXPECT_EQ(count_of(log_text(), "stopped (analysis time: "),
                  stopped_before + (while_halted ? 1 : 0));
        if (while_halted) {
            EXPECT_TRUE(out_stream.is_open());
            EXPECT_TRUE(dialog().IsPaused());
            // Halted, the files on disk already hold both increments: a program
            // killed now would lose nothing of them.
            EXPECT_EQ(read_file(sibling(path, ".out")), listing_before_increment(reference, 3));
            EXPECT_EQ(read_file(sibling(path, ".flavia.res")), results_to_2);
            hook.Answer(wxID_YES);
            press(ControlDialog::ID_CANCEL);
            // Nothing ran while halted: the time is the one reported at the halt.
            EXPECT_EQ(reported_seconds("cancelled (analysis time: "),
                      reported_seconds("stopped (analysis time: "));
        }
        EXPECT_EQ(hook.messages().back(), "stop this analysis as soon as possible?");
        EXPECT_EQ(count_of(log_text(), "cancelled (analysis time: "), cancelled_before + 1);
        EXPECT_FALSE(loaded);
        EXPECT_FALSE(running);
        EXPECT_FALSE(out_stream.is_open());
        EXPECT_FALSE(post_stream.is_open());
        EXPECT_FALSE(dialog().IsShown());
        EXPECT_EQ(gauge(), 50);

        // Both files hold increments 1 and 2 in full, nothing of increment 3; the
        // listing then says that the run was cancelled, and after which increment.
        const std::string cancelled_listing =
            listing_before_increment(reference, 3) + "\nCANCELLED after increment 2\n";
        EXPECT_EQ(read_file(sibling(path, ".out")), cancelled_listing);
        EXPECT_EQ(read_file(sibling(path, ".flavia.res")), results_to_2);

        // Start does not take a cancelled analysis up again.
        press(ControlDialog::ID_START);
        EXPECT_EQ(current_increment(), 2);
        EXPECT_EQ(read_file(sibling(path, ".out")), cancelled_listing);
        hook.dialogs.clear();
    }
}

TEST_F(IncrementalRunTest, IncrementThatDoesNotConvergeEndsTheAnalysisAsFinished)
{
    // Each increment of the bar needs three iterations; two are allowed here.
    const std::string path = copy_truss("maxiter 2\n");
    ASSERT_TRUE(load(path));
    const int finished_before = count_of(log_text(), "finished (analysis time: ");
    press(ControlDialog::ID_START);

    EXPECT_TRUE(log_contains("\nERROR: aborted increment\n"));
    EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before + 1);
    const std::string listing = read_file(sibling(path, ".out"));
    EXPECT_NE(listing.find("\nERROR: solution not converged\n"), std::string::npos);
    const std::string last_words = "\nERROR: aborted increment\n";
    EXPECT_TRUE(listing.size() >= last_words.size() &&
                listing.compare(listing.size() - last_words.size(), last_words.size(),
                                last_words) == 0)
        << listing;
    EXPECT_EQ(listed_ratios(listing).size(), 1u);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(can_continue);
    EXPECT_FALSE(out_stream.is_open());
    EXPECT_FALSE(dialog().IsShown());

    // The two iterations of the failed increment are on the bar graph.
    ASSERT_EQ(bar().GetValues().size(), 2u);
    EXPECT_TRUE(bar().GetValues()[0].new_increment);
    EXPECT_FALSE(bar().GetValues()[1].new_increment);
    EXPECT_GT(bar().GetValues()[1].value, -10.0f);

    // Nothing takes it up again.
    main_frame().IssueCommand(CMD_CONTINUE);
    EXPECT_TRUE(log_text().EndsWith("Can not continue stopped analysis\n"));
    press(ControlDialog::ID_START);
    EXPECT_EQ(read_file(sibling(path, ".out")), listing);
    EXPECT_EQ(current_increment(), 1);
}

TEST_F(IncrementalRunTest, FinishedRunWritesCompleteResultBlocksForTheSelectedSteps)
{
    struct Case {
        const char* post;  // "" for a model without a "*post" section
        std::vector<int> steps;
    };
    const Case cases[] = {{"*post\nall\ndisplacement\n", {1, 2, 3, 4}},
                          {"*post\nlast\ndisplacement\n", {4}},
                          {"*post\nstep 2 3\ndisplacement\n", {2, 3}},
                          {"", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.post);
        const std::string path = copy_truss("", c.post);
        run_uninterrupted(path);
        EXPECT_FALSE(post_stream.is_open());
        const std::string result_path = sibling(path, ".flavia.res");
        if (c.steps.empty()) {
            EXPECT_FALSE(fs::exists(result_path));
            continue;
        }

        // Each block: its header, the three component names and one row per node
        // with the displacements of that step.
        std::istringstream lines(read_file(result_path));
        std::string line;
        for (const int step : c.steps) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            ASSERT_TRUE(std::getline(lines, line));
            std::istringstream header(line);
            std::string name;
            int one = 0, number = 0, type = 0, one_b = 0, one_c = 0;
            header >> name >> one >> number >> type >> one_b >> one_c;
            EXPECT_EQ(name, "displacements");
            EXPECT_EQ(number, step);
            EXPECT_EQ(type, 2);
            EXPECT_EQ(one + one_b + one_c, 3);
            for (const char* component : {"UX", "UY", "UZ"}) {
                ASSERT_TRUE(std::getline(lines, line));
                EXPECT_EQ(line, component);
            }
            for (int node = 1; node <= 3; ++node) {
                ASSERT_TRUE(std::getline(lines, line));
                std::istringstream row(line);
                int row_node = 0;
                double ux = -1.0, uy = -1.0, uz = -1.0;
                ASSERT_TRUE(row >> row_node >> ux >> uy >> uz) << line;
                EXPECT_EQ(row_node, node);
                const double expected = (node - 1) * strain_after(step);
                EXPECT_NEAR(ux, expected, 5e-4 * expected);
                EXPECT_EQ(uy, 0.0);
                EXPECT_EQ(uz, 0.0);
            }
        }
        EXPECT_FALSE(std::getline(lines, line)) << "more than the selected blocks: " << line;
    }
}

TEST_F(IncrementalRunTest, DeformedShapeIsRedrawnEveryNthStep)
{
    struct Case {
        bool plot_deformed;
        int every_nth;
        std::vector<int> gauges;  // at each refresh: in the loop, then the one after it
    };
    // The fourth step's run reports that nothing remains: the loop follows steps 1 to 3.
    const Case cases[] = {{true, 2, {50, 100}}, {true, 1, {25, 50, 75, 100}}, {false, 2, {100}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "deformed " << c.plot_deformed << ", every "
                                        << c.every_nth);
        ASSERT_TRUE(load(copy_truss()));
        DrawProperties& properties = main_frame().GetDrawProperties();
        properties.plot_deformed = c.plot_deformed;
        properties.every_nth = c.every_nth;
        // The fit leaves a tenth of the bar's length beside it: at this scaling
        // the displaced end stays in the window, 7 pixels further each step.
        properties.scaling = 0.4;
        // The screen is read back: nothing may cover the picture.
        main_frame().GetGraphicsFrame()->Raise();
        pump_events(3);
        main_frame().IssueCommand(CMD_REFRESH);
        const wxImage undeformed = read_canvas();
        const int axis_y = device_map.dev_y(0.0f);

        RefreshRecorder recorder;
        press(ControlDialog::ID_START);
        ASSERT_TRUE(log_text().EndsWith("s)\n"));
        EXPECT_TRUE(log_contains("finished (analysis time: "));

        ASSERT_EQ(recorder.shots.size(), c.gauges.size());
        for (std::size_t i = 0; i < c.gauges.size(); ++i) {
            const RefreshRecorder::Shot& shot = recorder.shots[i];
            SCOPED_TRACE(testing::Message() << "refresh " << i + 1);
            const int step = c.gauges[i] / 25;
            EXPECT_EQ(shot.gauge, c.gauges[i]);
            EXPECT_GE(shot.paints, 1) << "the refresh did not repaint at once";
            EXPECT_NEAR(shot.end_displacement, 2.0 * strain_after(step), 1e-9);

            // The bar ends at the displaced end node, or at the undeformed one.
            const double end_x = 2.0 + (c.plot_deformed ? 0.4 * shot.end_displacement : 0.0);
            const int expected = device_map.dev_x(static_cast<float>(end_x));
            ASSERT_LT(expected, shot.image.GetWidth() - 3);
            EXPECT_NEAR(rightmost_ink(shot.image, axis_y), expected, 2);
            if (i > 0) {
                EXPECT_NE(rightmost_ink(shot.image, axis_y),
                          rightmost_ink(recorder.shots[i - 1].image, axis_y));
            }
        }
        if (!c.plot_deformed) {
            EXPECT_EQ(rightmost_ink(recorder.shots.back().image, axis_y),
                      rightmost_ink(undeformed, axis_y));
        }
    }
}

TEST_F(IncrementalRunTest, RestartFilesAreSavedInTheWorkingDirectory)
{
    struct Case {
        const char* save;
        std::set<std::string> files;
    };
    const Case cases[] = {
        {"save step 2 4\n", {"nonlinear_truss002.bin", "nonlinear_truss004.bin"}},
        {"save last\n", {"nonlinear_truss004.bin"}},
        {"save all\n",
         {"nonlinear_truss001.bin", "nonlinear_truss002.bin", "nonlinear_truss003.bin",
          "nonlinear_truss004.bin"}},
        {"", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.save);
        const std::string path = copy_truss(c.save);
        const fs::path working = make_temp_dir();
        {
            WorkingDirectory in(working);
            run_uninterrupted(path);
        }
        EXPECT_TRUE(log_contains("finished (analysis time: "));
        EXPECT_EQ(files_in(working, ".bin"), c.files);
        EXPECT_TRUE(files_in(fs::path(path).parent_path(), ".bin").empty());

        // Each file holds the state after its own increment, complete to its trailer.
        for (const std::string& name : c.files) {
            SCOPED_TRACE(name);
            std::istringstream file(read_file((working / name).string()));
            std::string header, last, line;
            int increment = 0;
            file >> header >> increment;
            while (std::getline(file, line))
                if (!line.empty()) last = line;
            EXPECT_EQ(header, "kelvane0.1restart");
            EXPECT_EQ(increment, std::stoi(name.substr(name.size() - 7, 3)));
            EXPECT_EQ(last, "end_restart_file");
        }
    }
}

// Every entry of the folders with what it holds (a link: where it points), to tell
// that a refused start changed no file.
std::map<std::string, std::string> folder_contents(const std::vector<fs::path>& folders)
{
    std::map<std::string, std::string> contents;
    for (const fs::path& folder : folders) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const fs::path& path = entry.path();
            contents[path.string()] = fs::is_symlink(fs::symlink_status(path))
                                          ? "-> " + fs::read_symlink(path).string()
                                          : read_file(path.string());
        }
    }
    return contents;
}

// No two files of a run may be one file: a model named like its listing, a link
// (symbolic or hard) to the model or to the listing in the place of another output,
// a listing that links to where a restart file will be written. The start is
// refused with both names (a restart file's with its folder) before anything is
// opened for writing, and every file stays as it was. A link made while the run
// goes on is found when the restart file is about to be written: the run stops
// there with the same message, and the listing keeps what the run wrote.
TEST_F(IncrementalRunTest, RunWhoseFilesAreOneFileIsRefusedAndEveryFileIsKept)
{
    // during_run: a symbolic link made while increment 1 runs.
    enum class Link { named_like_it, hard, symbolic, during_run };
    struct Case {
        const char* what;
        const char* link;    // the file put in place: ".out", ".flavia.res", ".bin"
        const char* target;  // the file it is: ".dat" (the model), ".out", ".bin"
        Link kind;
        int increments_run;  // before the refusal
    };
    const Case cases[] = {
        {"model named like its listing", ".out", ".dat", Link::named_like_it, 0},
        {"listing hard-linked to the model", ".out", ".dat", Link::hard, 0},
        {"listing linked to the model", ".out", ".dat", Link::symbolic, 0},
        {"result file linked to the model", ".flavia.res", ".dat", Link::symbolic, 0},
        {"restart file linked to the model", ".bin", ".dat", Link::symbolic, 0},
        {"result file linked to the listing", ".flavia.res", ".out", Link::symbolic, 0},
        {"result file hard-linked to the listing", ".flavia.res", ".out", Link::hard, 0},
        {"restart file linked to the listing", ".bin", ".out", Link::symbolic, 0},
        {"restart file hard-linked to the listing", ".bin", ".out", Link::hard, 0},
        {"listing linked to the restart file to be written", ".out", ".bin", Link::symbolic, 0},
        {"restart file linked to the listing during the run", ".bin", ".out", Link::during_run, 2},
    };
    // In the order the run names them: the later one first.
    const std::vector<std::string> order = {".dat", ".out", ".flavia.res", ".bin"};
    const std::map<std::string, std::string> kinds = {{".dat", "model file"},
                                                      {".out", "listing"},
                                                      {".flavia.res", "result file"},
                                                      {".bin", "restart file"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = copy_truss("save step 2\n", "*post\nall\ndisplacement\n");
        const fs::path working = make_temp_dir();
        WorkingDirectory in(working);
        const std::map<std::string, std::string> names = {
            {".dat", path},
            {".out", sibling(path, ".out")},
            {".flavia.res", sibling(path, ".flavia.res")},
            {".bin", (fs::current_path() / "nonlinear_truss002.bin").string()}};
        const std::string link = names.at(c.link);
        const std::string target = names.at(c.target);
        // The listing of a run before.
        if (std::string(c.target) == ".out") std::ofstream(target) << "an earlier listing\n";
        if (c.kind == Link::named_like_it) {
            fs::rename(path, link);
            path = link;
        } else if (c.kind == Link::hard) {
            fs::create_hard_link(target, link);
        } else if (c.kind == Link::symbolic) {
            fs::create_symlink(target, link);
        }
        const std::string model_text = read_file(path);
        const auto before = folder_contents({fs::path(path).parent_path(), working});
        std::string later = c.link, earlier = c.target;
        if (std::find(order.begin(), order.end(), later) <
            std::find(order.begin(), order.end(), earlier))
            std::swap(later, earlier);
        const std::string message = "the " + kinds.at(later) + " " + names.at(later) + " is the " +
                                    kinds.at(earlier) + " " +
                                    (c.kind == Link::named_like_it ? path : names.at(earlier)) +
                                    " itself: it is not written";

        ASSERT_TRUE(load(path));
        DuringIncrement make_link(1, [&] {
            if (c.kind == Link::during_run) fs::create_symlink(target, link);
        });
        press(ControlDialog::ID_START);
        EXPECT_TRUE(log_contains("ERROR: " + wxString::FromUTF8(message) + "\n")) << message;
        EXPECT_EQ(current_increment(), c.increments_run);
        EXPECT_EQ(read_file(path), model_text);
        EXPECT_FALSE(running);
        if (c.increments_run == 0) {
            // Refused before anything was opened: no file was begun or changed.
            EXPECT_FALSE(started);
            EXPECT_FALSE(out_stream.is_open());
            EXPECT_EQ(folder_contents({fs::path(path).parent_path(), working}), before);
            hook.Answer(wxID_YES);
            press(ControlDialog::ID_CANCEL);
        } else {
            // The listing holds the run up to the refusal, not the restart data.
            EXPECT_FALSE(can_continue);
            const std::string listing = read_file(names.at(".out"));
            EXPECT_EQ(listing.rfind("\nTITLE\n", 0), 0u) << listing;
            EXPECT_NE(listing.find("increment   2\n"), std::string::npos) << listing;
            EXPECT_NE(listing.find("ERROR: " + message + "\n"), std::string::npos) << listing;
            EXPECT_EQ(listing.find("kelvane0.1restart"), std::string::npos) << listing;
        }
        EXPECT_FALSE(loaded);
    }
}

// A listing or result file that cannot be written (here on the always-full
// device) stops the analysis with the file's name and the system's reason, after
// the step that wrote to it, also when that step is the last.
TEST_F(IncrementalRunTest, WriteFailureOfTheListingOrResultFileStopsTheAnalysis)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    struct Case {
        const char* output;
        const char* post;
        int increments_run;
    };
    const Case cases[] = {{".out", "", 0},
                          {".flavia.res", "*post\nall\ndisplacement\n", 1},
                          {".flavia.res", "*post\nlast\ndisplacement\n", 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.output) + " " + c.post);
        const std::string path = copy_truss("", c.post);
        const std::string output = sibling(path, c.output);
        fs::create_symlink("/dev/full", output);
        ASSERT_TRUE(load(path));
        const int finished_before = count_of(log_text(), "finished (analysis time: ");
        const int errors_before = count_of(log_text(), "ERROR: can not write file");
        press(ControlDialog::ID_START);

        EXPECT_TRUE(log_contains("\nERROR: can not write file " + wxString::FromUTF8(output) +
                                 ": No space left on device\n"));
        // Told once, not again when the file is closed.
        EXPECT_EQ(count_of(log_text(), "ERROR: can not write file"), errors_before + 1);
        EXPECT_EQ(current_increment(), c.increments_run);
        EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before + 1);
        EXPECT_FALSE(loaded);
        EXPECT_FALSE(can_continue);
        EXPECT_FALSE(running);
        EXPECT_FALSE(out_stream.is_open());
        EXPECT_FALSE(post_stream.is_open());
        if (std::string(c.output) == ".flavia.res") {
            EXPECT_NE(read_file(sibling(path, ".out")).find("\nERROR: can not write file "),
                      std::string::npos);
        }
    }
}
