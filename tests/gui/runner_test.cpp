// The analysis runner: loading models from the recent-files list, running them
// step by step under the control dialog, halting, continuing, cancelling, and
// what a failed load, an unwritable listing or an analysis error leave behind.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include "app.h"
#include "control.h"
#include "control_dialog.h"
#include "domain.h"
#include "draw_prop_dialog.h"
#include "eigen_control.h"
#include "errors.h"
#include "frame.h"
#include "graphics_frame.h"
#include "gui_test_support.h"
#include "incremental_control.h"
#include "model_loader.h"
#include "output_file.h"
#include "runner.h"

using namespace gui_test;
namespace fs = std::filesystem;

namespace {

// An incremental analysis whose steps only count themselves: it lets the tests
// halt, continue and fail at a chosen step without depending on a nonlinear model.
class CountingControl : public KelVane::IncrementalControl<MyDomain> {
public:
    explicit CountingControl(int steps) { add_load_block(1, 1.0 / steps, steps); }

    void init(MyDomain& model, std::ostream&) override
    {
        if (fail_in_init) throw KelVane::matrix_error("no stiffness to factorise");
        model.setup_dofs();
        prepare(model);
    }

    void increment(MyDomain&, std::ostream& listing, int, double) override
    {
        started_ms.push_back(wxGetLocalTimeMillis().GetValue());
        if (step_ms > 0) wxMilliSleep(step_ms);
        ++performed;
        if (increment_nr == halt_at) press_halt();
        if (increment_nr == fail_at) throw KelVane::matrix_error("singular test matrix");
        listing << "counted step " << increment_nr << '\n';
    }

    int performed = 0;
    std::vector<long long> started_ms;  // when each step began
    int fail_at = 0;
    int halt_at = 0;                    // step during which Halt is pressed
    std::function<void()> press_halt;
    int step_ms = 0;
    bool fail_in_init = false;
};

ControlDialog& dialog() { return *main_frame().GetControlDialog(); }

void press(int button)
{
    wxCommandEvent event(wxEVT_BUTTON, button);
    event.SetEventObject(&dialog());
    dialog().ProcessWindowEvent(event);
}

// A real mouse click on a button of the control dialog; returns once the
// button's command has run.
void click(int button)
{
    ControlDialog& d = dialog();
    d.Raise();
    pump_events(10);
    wxWindow* target = d.FindWindow(button);
    wxUIActionSimulator mouse;
    mouse.MouseMove(target->GetScreenRect().GetPosition() + target->GetSize() / 2);
    pump_events();
    mouse.MouseClick();
    pump_events(20);
}

// Loads through the recent-files list, as the user's second route does; returns
// whether the load reported success (the control dialog is then shown).
bool load(const std::string& path)
{
    MyFrame& frame = main_frame();
    frame.GetHistory().AddFileToHistory(wxString::FromUTF8(path));
    frame.IssueCommand(CMD_RECENT_FIRST);
    return loaded;
}

// Replaces the loaded model's control by a counting one (the runner owns it).
CountingControl* install_counting_control(int steps)
{
    auto* counting = new CountingControl(steps);
    delete control;
    control = counting;
    return counting;
}

std::string write_model(const std::string& name, const std::string& text)
{
    const std::string path = (fs::path(make_temp_dir()) / name).string();
    std::ofstream(path) << text;
    return path;
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

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string listing_of(const std::string& model_path)
{
    const fs::path path(model_path);
    return (path.parent_path() / (path.stem().string() + ".out")).string();
}

const char* const truss_with_bad_group =
    "*title\nbad group\n*nodes\n1 0 0 0\n2 4 0 0\n3 2 3 0\n"
    "*material 1\nlinearelastic\nyoung 1e10\n*geometry 1\ncrosse 0.01\n"
    "*elements\ntruss 1 1\n1 1 3\n2 2 3\nbrick99 1 1\n3 1 2\n"
    "*suppress\nux uy 1 2\n*loadef\nset 1\nloads\nfy -1 3\n*end\n";

// Keeps a file from being written other than at its end (the file system's
// append-only flag) while it exists, or until cleared.
class AppendOnly {
public:
    AppendOnly() = default;
    AppendOnly(const AppendOnly&) = delete;
    AppendOnly& operator=(const AppendOnly&) = delete;
    ~AppendOnly() { clear(); }

    // False when the flag cannot be set (no such flag, or no right to set it).
    bool set(const std::string& file)
    {
        if (!change(file, true)) return false;
        path = file;
        return true;
    }
    void clear()
    {
        if (!path.empty()) change(path, false);
        path.clear();
    }

private:
    static bool change(const std::string& file, bool on)
    {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_APPEND_FL) : (flags & ~FS_APPEND_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    std::string path;
};

class RunnerTest : public testing::Test {
protected:
    void SetUp() override
    {
        main_frame().GetDrawProperties().SetDefaults();
        // Counts of end reports must not see those of earlier tests.
        main_frame().GetLog()->Clear();
        ASSERT_FALSE(running);
    }
    void TearDown() override { main_frame().GetDrawProperties().SetDefaults(); }

    DialogHook hook;
};

}  // namespace

TEST_F(RunnerTest, ExampleModelsRunToAFinishedListingBesideTheModel)
{
    struct Case {
        const char* example;
        const char* directory;  // sub-directory of the copy, "" for none
    };
    // The last case puts the model under a directory name that is not ASCII.
    const Case cases[] = {{"two_bar_truss.dat", ""},
                          {"cantilever_beam.dat", ""},
                          {"portal_frame.dat", ""},
                          {"two_bar_truss.dat", "pr\xC3\xBC" "fung"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.example) + " in '" + c.directory + "'");
        std::string path = copy_example(c.example);
        if (*c.directory) {
            const fs::path moved = fs::path(path).parent_path() / c.directory / c.example;
            fs::create_directory(moved.parent_path());
            fs::rename(path, moved);
            path = moved.string();
        }

        ASSERT_TRUE(load(path));
        EXPECT_TRUE(log_contains("Starting " + wxString::FromUTF8(path)));
        EXPECT_EQ(main_frame().GetStatusBar()->GetStatusText(1), wxString(c.example));
        EXPECT_TRUE(dialog().IsShown());
        EXPECT_TRUE(dialog().IsPaused());
        EXPECT_TRUE(dialog().IsHalted());
        EXPECT_FALSE(started);
        EXPECT_EQ(out_file_name, listing_of(path));

        const int finished_before = count_of(log_text(), "finished (analysis time: ");
        press(ControlDialog::ID_START);

        EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before + 1);
        EXPECT_FALSE(loaded);
        EXPECT_FALSE(running);
        EXPECT_FALSE(dialog().IsShown());
        EXPECT_FALSE(out_stream.is_open());
        // A linear analysis is one step: the gauge is never set.
        EXPECT_EQ(dialog().GetGauge()->GetValue(), 0);
        EXPECT_TRUE(file_menu->IsEnabled(CMD_LOAD_FILE));

        const std::string listing = read_file(listing_of(path));
        const std::string model = read_file(path);
        const std::string title = model.substr(model.find("*title\n") + 7);
        EXPECT_NE(listing.find("TITLE\n" + title.substr(0, title.find('\n'))), std::string::npos);
        EXPECT_NE(listing.find("nodal solution in global coordinates"), std::string::npos);
        EXPECT_NE(listing.find("reactions"), std::string::npos);
        // No result was selected: no result file.
        EXPECT_FALSE(fs::exists(fs::path(path).replace_extension(".flavia.res")));
    }
}

// The listing and the result file of `model_file` run from start to end without
// the window: read, files opened, title, start, one step at a time, files closed.
std::pair<std::string, std::string> files_of_a_run_without_the_window(
    const std::string& model_file)
{
    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* procedure = nullptr;
    const int errors = read_model(model_file, model, procedure);
    std::unique_ptr<MyDomain> model_owner(model);
    std::unique_ptr<KelVane::Control<MyDomain>> procedure_owner(procedure);
    if (errors != 0 || !model || !procedure) {
        ADD_FAILURE() << "input errors: " << errors;
        return {};
    }
    const std::string base = directory_part(model_file) + model_base_name(model_file);
    OutputFile listing;
    OutputFile result;
    const std::string refusal =
        open_analysis_files(*procedure, listing, base + ".out", result, base + ".flavia.res");
    EXPECT_EQ(refusal, "");
    if (!refusal.empty()) return {};
    model->write_title(listing);
    try {
        start_analysis(*procedure, *model, listing);
        while (procedure->run(*model, listing, result, 1)) {
        }
    } catch (const std::exception& error) {
        listing << '\n' << "ERROR: " << error.what() << std::endl;
    }
    result.close_checked();
    listing.close_checked();
    return {read_file(base + ".out"), read_file(base + ".flavia.res")};
}

// Every model of examples/ opens from the load command and runs to its end in the
// program, and writes the listing and result file that a run without the window
// writes. They run in name order in one working directory, so a model that
// restarts from another's restart file finds it.
TEST_F(RunnerTest, EveryExampleLoadsAndRunsToFinished)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(KV_EXAMPLES_DIR))
        if (entry.path().extension() == ".dat") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_GE(names.size(), 18u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const int finished_before = count_of(log_text(), "finished (analysis time: ");
        const int errors_before = count_of(log_text(), "ERROR");
        const std::string path = copy_example(name);
        ASSERT_TRUE(load(path));
        press(ControlDialog::ID_START);
        EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before + 1);
        EXPECT_EQ(count_of(log_text(), "ERROR"), errors_before);
        EXPECT_FALSE(running);

        const fs::path result_path = fs::path(path).replace_extension(".flavia.res");
        const std::string listing = read_file(listing_of(path));
        const std::string results = read_file(result_path.string());
        fs::remove(listing_of(path));
        fs::remove(result_path);
        const auto without_window = files_of_a_run_without_the_window(path);
        EXPECT_NE(listing.find("TITLE"), std::string::npos);
        EXPECT_EQ(listing, without_window.first);
        EXPECT_EQ(results, without_window.second);
    }
}

TEST_F(RunnerTest, HaltedAnalysisContinuesWithTheNextStepAndTheTimesAddUp)
{
    const std::string path = copy_example("two_bar_truss.dat");
    ASSERT_TRUE(load(path));
    CountingControl* counting = install_counting_control(4);
    counting->step_ms = 30;

    // Halt is answered while the first step yields to the event loop.
    const int finished_before = count_of(log_text(), "finished (analysis time: ");
    hook.Answer(wxID_YES);
    wxTheApp->CallAfter([] { press(ControlDialog::ID_HALT); });
    press(ControlDialog::ID_START);

    ASSERT_EQ(hook.messages().size(), 1u);
    EXPECT_EQ(hook.messages()[0], "stop after this increment?\n(analysis can be continued later)");
    EXPECT_EQ(counting->performed, 1);
    EXPECT_TRUE(log_contains("stopped (analysis time: "));
    EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before);
    const double halted_after = reported_seconds("stopped (analysis time: ");
    EXPECT_GE(halted_after, 0.029);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(started);
    EXPECT_TRUE(out_stream.is_open());
    EXPECT_TRUE(dialog().IsShown());
    EXPECT_TRUE(dialog().IsPaused());
    EXPECT_EQ(dialog().GetGauge()->GetValue(), 25);
    EXPECT_FALSE(running);

    press(ControlDialog::ID_START);

    EXPECT_EQ(counting->performed, 4);
    const double total = reported_seconds("finished (analysis time: ");
    EXPECT_GE(total, halted_after + 0.089);
    EXPECT_EQ(dialog().GetGauge()->GetValue(), 100);
    EXPECT_FALSE(out_stream.is_open());

    // One listing, continued: one title and the four steps in order.
    const std::string listing = read_file(listing_of(path));
    EXPECT_EQ(count_of(wxString(listing), "TITLE"), 1);
    std::size_t at = 0;
    for (int step = 1; step <= 4; ++step) {
        at = listing.find("counted step " + std::to_string(step), at);
        EXPECT_NE(at, std::string::npos) << "step " << step;
    }
}

TEST_F(RunnerTest, CancelEndsAPausedOrHaltedAnalysisAtOnce)
{
    // Cancelled right after the load: nothing ran, no listing is written.
    const std::string first = copy_example("two_bar_truss.dat");
    ASSERT_TRUE(load(first));
    hook.Answer(wxID_YES);
    press(ControlDialog::ID_CANCEL);
    EXPECT_EQ(hook.messages().back(), "stop this analysis as soon as possible?");
    EXPECT_TRUE(log_contains("cancelled (analysis time: 0 s)"));
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(dialog().IsShown());
    EXPECT_FALSE(fs::exists(listing_of(first)));

    // A second Cancel does not end it again, and Start does not bring it back.
    hook.Answer(wxID_YES);
    press(ControlDialog::ID_CANCEL);
    press(ControlDialog::ID_START);
    EXPECT_EQ(count_of(log_text(), "cancelled (analysis time: "), 1);
    EXPECT_FALSE(fs::exists(listing_of(first)));

    // Cancelled while halted after two steps: the listing holds those two.
    const std::string second = copy_example("cantilever_beam.dat");
    ASSERT_TRUE(load(second));
    CountingControl* counting = install_counting_control(5);
    hook.Answer(wxID_YES);
    wxTheApp->CallAfter([] { wxTheApp->CallAfter([] { press(ControlDialog::ID_HALT); }); });
    press(ControlDialog::ID_START);
    ASSERT_TRUE(out_stream.is_open());
    const int halted_at = counting->performed;
    EXPECT_GE(halted_at, 1);
    EXPECT_LT(halted_at, 5);

    hook.Answer(wxID_YES);
    press(ControlDialog::ID_CANCEL);
    EXPECT_EQ(count_of(log_text(), "cancelled (analysis time: "), 2);
    EXPECT_EQ(counting->performed, halted_at);
    EXPECT_FALSE(out_stream.is_open());
    EXPECT_FALSE(loaded);
    const std::string listing = read_file(listing_of(second));
    EXPECT_NE(listing.find("counted step " + std::to_string(halted_at)), std::string::npos);
    EXPECT_EQ(listing.find("counted step " + std::to_string(halted_at + 1)), std::string::npos);
    const std::string last_line = "\nCANCELLED after increment " + std::to_string(halted_at) + "\n";
    EXPECT_TRUE(ends_with(listing, last_line)) << listing;
}

// Presses Halt in the first idle pass of the event loop once the running
// analysis has begun its first increment or reported its first mode.
class HaltOnceStarted {
public:
    HaltOnceStarted() { wxTheApp->Bind(wxEVT_IDLE, &HaltOnceStarted::OnIdle, this); }
    ~HaltOnceStarted() { wxTheApp->Unbind(wxEVT_IDLE, &HaltOnceStarted::OnIdle, this); }
    HaltOnceStarted(const HaltOnceStarted&) = delete;
    HaltOnceStarted& operator=(const HaltOnceStarted&) = delete;

    bool pressed = false;

private:
    void OnIdle(wxIdleEvent& event)
    {
        event.Skip();
        if (pressed || !running) return;
        const auto* incremental = dynamic_cast<KelVane::IncrementalControl<MyDomain>*>(control);
        const auto* eigen = dynamic_cast<EigenControl*>(control);
        const int steps = incremental ? incremental->get_increment_number()
                          : eigen     ? static_cast<int>(eigen->get_current_mode())
                                      : 0;
        if (steps < 1) return;
        pressed = true;
        press(ControlDialog::ID_HALT);
    }
};

// The listing of a cancelled run ends on a line that says so and after which
// step, whatever analysis it was.
TEST_F(RunnerTest, CancelledRunEndsItsListingWithTheStepItWasCancelledAfter)
{
    struct Case {
        const char* example;
        const char* last_line;
    };
    const Case cases[] = {{"explicit_wave.dat", "\nCANCELLED after increment 1\n"},
                          {"oscillator_newmark.dat", "\nCANCELLED after increment 1\n"},
                          {"cantilever_eigen.dat", "\nCANCELLED after mode 1\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.example);
        const std::string path = copy_example(c.example);
        ASSERT_TRUE(load(path));
        // Halt is answered once the first step has begun (an increment) or
        // ended (a mode): the run stops after that step.
        hook.Answer(wxID_YES);
        HaltOnceStarted halt;
        press(ControlDialog::ID_START);
        ASSERT_TRUE(halt.pressed);
        ASSERT_TRUE(out_stream.is_open()) << "not halted";
        const std::string halted = read_file(listing_of(path));
        EXPECT_EQ(halted.find("CANCELLED"), std::string::npos);

        hook.Answer(wxID_YES);
        press(ControlDialog::ID_CANCEL);
        EXPECT_TRUE(log_contains("cancelled (analysis time: "));
        EXPECT_EQ(read_file(listing_of(path)), halted + c.last_line);
        EXPECT_FALSE(loaded);
        EXPECT_FALSE(out_stream.is_open());
    }
}

TEST_F(RunnerTest, LoadingAndClosingAreRefusedWhileRunning)
{
    const std::string other = copy_example("portal_frame.dat");
    const std::string path = copy_example("two_bar_truss.dat");
    ASSERT_TRUE(load(other));
    ASSERT_TRUE(load(path));  // the other model is now the second recent file
    install_counting_control(3);
    MyDomain* model = domain;

    bool load_enabled = true;
    bool recent_enabled = true;
    bool was_running = false;
    bool frame_alive = false;
    wxTheApp->CallAfter([&] {
        MyFrame& frame = main_frame();
        was_running = running;
        load_enabled = file_menu->IsEnabled(CMD_LOAD_FILE);
        recent_enabled = file_menu->IsEnabled(CMD_RECENT_FIRST + 1);
        frame.IssueCommand(CMD_LOAD_FILE);
        frame.IssueCommand(CMD_RECENT_FIRST + 1);
        // Even called directly, a load must not pull the model from under the steps.
        MyDomain* held_domain = domain;
        KelVane::Control<MyDomain>* held_control = control;
        EXPECT_FALSE(frame.OpenModel(wxString::FromUTF8(other), held_domain, held_control));
        frame.Close(false);
        frame_alive = GetMainFrame() == &frame;
    });
    press(ControlDialog::ID_START);

    EXPECT_TRUE(was_running);
    EXPECT_FALSE(load_enabled);
    EXPECT_FALSE(recent_enabled);
    EXPECT_TRUE(frame_alive);
    EXPECT_EQ(domain, model);
    EXPECT_TRUE(log_contains("finished (analysis time: "));
    ASSERT_EQ(hook.dialogs.size(), 1u);  // no file dialog, one message box
    EXPECT_EQ(hook.dialogs[0].message, "Stop the running analysis first!");
    EXPECT_TRUE(file_menu->IsEnabled(CMD_LOAD_FILE));
    EXPECT_TRUE(file_menu->IsEnabled(CMD_RECENT_FIRST + 1));
}

// Every message box paints its text and buttons as it appears, also those that
// come up while the steps of an analysis run: what the screen shows of it is not
// one flat colour.
TEST(MessageBoxes, ShowTheirTextAndButtonsWhenTheyAppear)
{
    enum class When { paused, running };
    const int ok = -5;
    const int no = -9;
    const struct {
        const char* name;
        When when;
        std::function<void()> open;
        int response;
        int skip;  // dialogs before it, cancelled unseen
    } cases[] = {
        // Boxes of one text follow one another only with another box between: one
        // that painted nothing would show the earlier one's picture left behind.
        {"Halt while paused", When::paused, [] { press(ControlDialog::ID_HALT); }, no, 0},
        {"Halt clicked while paused", When::paused, [] { click(ControlDialog::ID_HALT); }, no, 0},
        {"Cancel clicked during the steps", When::running,
         [] { click(ControlDialog::ID_CANCEL); }, no, 0},
        {"Cancel during the steps", When::running, [] { press(ControlDialog::ID_CANCEL); }, no,
         0},
        {"Halt during the steps", When::running, [] { press(ControlDialog::ID_HALT); }, no, 0},
        {"closing during the steps", When::running, [] { main_frame().Close(false); }, ok, 0},
        {"about box", When::paused, [] { main_frame().IssueCommand(CMD_ABOUT); }, ok, 0},
        {"cancelled printing", When::paused, [] { main_frame().IssueCommand(CMD_PRINT); }, ok,
         1},
        {"closing the graphics window", When::paused,
         [] { main_frame().GetGraphicsFrame()->Close(false); }, ok, 0},
        {"number that cannot be read", When::paused,
         [] {
             main_frame().IssueCommand(CMD_DRAW_PROPERTIES);
             DrawPropDialog& properties = *main_frame().GetDrawPropDialog();
             auto* scaling = dynamic_cast<wxTextCtrl*>(properties.FindWindow(ID_SCALING));
             ASSERT_NE(scaling, nullptr);
             scaling->ChangeValue("1..2");
             wxCommandEvent ok_click(wxEVT_BUTTON, wxID_OK);
             ok_click.SetEventObject(properties.FindWindow(wxID_OK));
             properties.ProcessWindowEvent(ok_click);
             properties.Hide();
         },
         ok, 0},
    };
    main_frame().GetDrawProperties().SetDefaults();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(load(copy_example("two_bar_truss.dat")));
        CountingControl* counting = install_counting_control(1000);
        wxImage shot;
        if (c.when == When::paused) {
            shot = shoot_modal_dialog(c.open, c.response, c.skip);
        } else {
            counting->step_ms = 5;
            wxTheApp->CallAfter([&] {
                shot = shoot_modal_dialog(c.open, c.response, c.skip);
                dialog().SetCancelled(true);
                dialog().SetHalted(true);
            });
            press(ControlDialog::ID_START);
            EXPECT_FALSE(running);
        }
        // The analysis of the row ends here.
        dialog().SetCancelled(true);
        main_frame().IssueCommand(CMD_END);
        ASSERT_TRUE(shot.IsOk()) << "the message box did not appear";
        EXPECT_GT(shot.GetWidth(), 50);
        EXPECT_GT(shot.GetHeight(), 30);
        // The windows under the box repaint before the next one comes.
        pump_events(10);
    }
    main_frame().GetLog()->Clear();
}

TEST_F(RunnerTest, CloseThatCannotBeRefusedWaitsUntilTheStepsHaveEnded)
{
    const std::string path = copy_example("two_bar_truss.dat");
    ASSERT_TRUE(load(path));
    install_counting_control(3);
    wxTheApp->CallAfter([] { main_frame().Close(true); });
    press(ControlDialog::ID_START);
    EXPECT_FALSE(running);
    EXPECT_TRUE(log_contains("cancelled (analysis time: "));

    // The close comes back once the event loop is idle; it is taken here so
    // that the test program keeps its frame.
    int requests = 0;
    bool could_veto = true;
    const auto take_close = [&](wxCloseEvent& event) {
        ++requests;
        could_veto = event.CanVeto();
    };
    main_frame().Bind(wxEVT_CLOSE_WINDOW, take_close);
    pump_events();
    main_frame().Unbind(wxEVT_CLOSE_WINDOW, take_close);
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(could_veto);
}

TEST_F(RunnerTest, ModelWithInputErrorsIsDrawnButCannotRun)
{
    // A halted analysis is discarded by the failed load: its listing is closed,
    // ending as a cancelled run's does, and nothing of it can be started or
    // continued.
    const std::string good = copy_example("two_bar_truss.dat");
    ASSERT_TRUE(load(good));
    CountingControl* counting = install_counting_control(3);
    hook.Answer(wxID_YES);
    wxTheApp->CallAfter([] { press(ControlDialog::ID_HALT); });
    press(ControlDialog::ID_START);
    ASSERT_TRUE(out_stream.is_open());
    ASSERT_EQ(counting->performed, 1);

    const std::string bad = write_model("bad.dat", truss_with_bad_group);
    EXPECT_FALSE(load(bad));
    // The count of input errors is reported, as the reference says.
    EXPECT_TRUE(log_contains("\n1 input error\nthere are errors in the input file\n"));
    // The status bar names the file that was tried, not the discarded one.
    EXPECT_EQ(main_frame().GetStatusBar()->GetStatusText(1), "bad.dat");
    EXPECT_FALSE(out_stream.is_open());
    EXPECT_TRUE(ends_with(read_file(listing_of(good)),
                          "counted step 1\n\nCANCELLED after increment 1\n"));
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(started);
    EXPECT_FALSE(can_continue);
    EXPECT_FALSE(dialog().IsShown());
    // The model read so far is kept, to be drawn.
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(domain->nodes.size(), 3u);
    EXPECT_EQ(domain->elements.size(), 2u);

    const wxString log_before = log_text();
    press(ControlDialog::ID_START);
    main_frame().IssueCommand(CMD_RUN);
    main_frame().IssueCommand(CMD_CONTINUE);
    main_frame().IssueCommand(CMD_END);
    EXPECT_EQ(log_text(), log_before);
    EXPECT_FALSE(fs::exists(listing_of(bad)));
}

TEST_F(RunnerTest, ExceptionOutOfTheReaderIsReportedAsAFailedLoad)
{
    ASSERT_TRUE(load(copy_example("two_bar_truss.dat")));
    // A parameter line without its value stops the reader with an exception.
    const std::string path = write_model("broken.dat", "*material 1\nlinearelastic\nyoung\n");
    EXPECT_FALSE(load(path));
    // The error carries its text, and the load closes as any failed load does.
    EXPECT_TRUE(log_contains("\nERROR: input line 3 has no field 2\n"
                             "there are errors in the input file\n"))
        << "the reader no longer throws here";
    EXPECT_EQ(main_frame().GetStatusBar()->GetStatusText(1), "broken.dat");
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(dialog().IsShown());
    EXPECT_TRUE(out_file_name.empty());
    main_frame().IssueCommand(CMD_RUN);
    EXPECT_FALSE(fs::exists(listing_of(path)));
}

TEST_F(RunnerTest, UnwritableListingOrResultFileKeepsTheAnalysisFromStarting)
{
    enum class Blocker { folder, link_into_missing_folder, append_only_file, read_only_file };
    struct Case {
        const char* name;
        Blocker blocker;
        const char* reason;
    };
    const Case cases[] = {
        // A folder in the file's place cannot be opened for writing, even by root.
        {"folder", Blocker::folder, "Is a directory"},
        // Results linked to a drive that is not mounted.
        {"link into a missing folder", Blocker::link_into_missing_folder,
         "No such file or directory"},
        {"file that may only be appended to", Blocker::append_only_file,
         "Operation not permitted"},
        {"read-only file", Blocker::read_only_file, "Permission denied"},
    };
    for (const Case& c : cases) {
        for (const char* extension : {".out", ".flavia.res"}) {
            SCOPED_TRACE(testing::Message() << c.name << " as " << extension);
            const std::string path = copy_example("two_bar_truss.dat");
            const fs::path folder = fs::path(path).parent_path();
            const fs::path blocker = folder / (std::string("two_bar_truss") + extension);
            const std::string result_path = (folder / "two_bar_truss.flavia.res").string();
            // The files of an earlier run.
            const std::string earlier_listing = "the listing of an earlier run\n";
            const std::string earlier_results = "the results of an earlier run\n";
            std::ofstream(listing_of(path)) << earlier_listing;
            std::ofstream(result_path) << earlier_results;
            const std::string earlier = read_file(blocker.string());
            const fs::path missing_target = folder / "unmounted" / "results" / "x";
            AppendOnly append_only;
            switch (c.blocker) {
            case Blocker::folder:
                fs::remove(blocker);
                fs::create_directory(blocker);
                break;
            case Blocker::link_into_missing_folder:
                fs::remove(blocker);
                fs::create_symlink(missing_target, blocker);
                break;
            case Blocker::append_only_file:
                // Not every file system keeps the flag.
                if (!append_only.set(blocker.string())) continue;
                break;
            case Blocker::read_only_file:
                // Root may write a read-only file.
                if (geteuid() == 0) continue;
                fs::permissions(blocker, fs::perms::owner_read);
                break;
            }

            ASSERT_TRUE(load(path));
            CountingControl* counting = install_counting_control(2);
            counting->post_selection().last = true;
            counting->post_selection().displacement = true;
            hook.dialogs.clear();
            press(ControlDialog::ID_START);

            // Both files are opened before either is emptied: a refused start
            // changes no file.
            if (c.blocker == Blocker::folder || c.blocker == Blocker::link_into_missing_folder) {
                EXPECT_FALSE(fs::exists(missing_target.parent_path()));
            } else {
                EXPECT_EQ(read_file(blocker.string()), earlier);
            }
            if (blocker != fs::path(listing_of(path))) {
                EXPECT_EQ(read_file(listing_of(path)), earlier_listing);
            }
            if (blocker != fs::path(result_path)) {
                EXPECT_EQ(read_file(result_path), earlier_results);
            }
            // The message names the file and why it cannot be opened.
            EXPECT_TRUE(log_contains("ERROR: can not open file " +
                                     wxString::FromUTF8(blocker.string()) + ": " + c.reason))
                << log_text();
            EXPECT_EQ(counting->performed, 0);
            EXPECT_FALSE(started);
            EXPECT_FALSE(running);
            EXPECT_FALSE(out_stream.is_open());
            EXPECT_FALSE(post_stream.is_open());
            EXPECT_TRUE(loaded);
            EXPECT_TRUE(dialog().IsShown());
            EXPECT_TRUE(dialog().IsPaused());
            EXPECT_TRUE(file_menu->IsEnabled(CMD_LOAD_FILE));

            // Once the file can be written, Start runs the analysis.
            append_only.clear();
            fs::remove(blocker);
            press(ControlDialog::ID_START);
            EXPECT_EQ(counting->performed, 2);
            EXPECT_FALSE(loaded);
            EXPECT_TRUE(fs::is_regular_file(listing_of(path)));
            EXPECT_TRUE(fs::is_regular_file(result_path));
            EXPECT_NE(read_file(result_path), earlier_results);
        }
    }
}

TEST_F(RunnerTest, ErrorInAStepEndsTheAnalysisAsFinished)
{
    struct Case {
        const char* what;
        bool in_init;
        int fail_at;  // 0: no step fails
        int halt_at;  // step during which Halt is answered Yes; 0: none
    };
    const Case cases[] = {
        {"error in step 4", false, 4, 0},
        {"error in init", true, 4, 0},
        // An analysis that an error or its last step ended is ended, whatever
        // Halt was answered: it was reported "stopped" and offered to be continued.
        {"error in step 4 after halt", false, 4, 4},
        {"last step after halt", false, 0, 10},
    };
    for (const Case& c : cases) {
        const bool in_init = c.in_init;
        SCOPED_TRACE(c.what);
        const std::string path = copy_example("two_bar_truss.dat");
        ASSERT_TRUE(load(path));
        CountingControl* counting = install_counting_control(10);
        counting->fail_at = c.fail_at;
        counting->fail_in_init = in_init;
        counting->halt_at = c.halt_at;
        counting->press_halt = [] { press(ControlDialog::ID_HALT); };
        if (c.halt_at > 0) hook.Answer(wxID_YES);
        const int stopped_before = count_of(log_text(), "stopped (analysis time: ");
        const char* message = in_init ? "no stiffness to factorise" : "singular test matrix";
        const int finished_before = count_of(log_text(), "finished (analysis time: ");

        press(ControlDialog::ID_START);
        const int performed = in_init ? 0 : c.fail_at > 0 ? c.fail_at : 10;
        EXPECT_EQ(counting->performed, performed);
        if (c.fail_at > 0) {
            EXPECT_TRUE(log_contains(wxString("\nERROR: ") + message + "\n"));
            EXPECT_NE(read_file(listing_of(path)).find(std::string("\nERROR: ") + message + "\n"),
                      std::string::npos);
        }
        EXPECT_EQ(count_of(log_text(), "finished (analysis time: "), finished_before + 1);
        EXPECT_EQ(count_of(log_text(), "stopped (analysis time: "), stopped_before);
        EXPECT_FALSE(out_stream.is_open());
        EXPECT_FALSE(dialog().IsShown());
        EXPECT_FALSE(can_continue);
        EXPECT_FALSE(running);
        EXPECT_FALSE(loaded);

        if (!in_init) {
            main_frame().IssueCommand(CMD_CONTINUE);
            EXPECT_TRUE(log_text().EndsWith("Can not continue stopped analysis\n"));
            EXPECT_EQ(counting->performed, performed);
        }
    }
}

// The wait is one per plot: only a step that is drawn is padded to it.
TEST_F(RunnerTest, PictureIsRefreshedEveryNthStepWhenTheDeformedShapeIsPlotted)
{
    struct Case {
        bool plot_deformed;
        int every_nth;
        int refreshes;  // in-loop refreshes plus the one after the loop
        double wait_seconds;
        std::vector<int> padded;  // the steps padded to the wait
    };
    // Of the 7 steps, the last one's run reports that nothing remains: the loop
    // body follows steps 1 to 6 only.
    const Case cases[] = {{true, 3, 3, 0.0, {}},   {true, 1, 7, 0.0, {}},
                          {true, 4, 2, 0.0, {}},   {true, 0, 1, 0.0, {}},
                          {true, -2, 1, 0.0, {}},  {false, 3, 1, 0.0, {}},
                          {true, 3, 3, 1.0, {3, 6}}, {false, 1, 1, 1.0, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "deformed " << c.plot_deformed << ", n " << c.every_nth
                                        << ", wait " << c.wait_seconds);
        ASSERT_TRUE(load(copy_example("two_bar_truss.dat")));
        CountingControl* counting = install_counting_control(7);
        DrawProperties& properties = main_frame().GetDrawProperties();
        properties.plot_deformed = c.plot_deformed;
        properties.every_nth = c.every_nth;
        properties.wait_seconds = c.wait_seconds;

        CommandProbe refreshes(CMD_REFRESH);
        press(ControlDialog::ID_START);
        EXPECT_EQ(refreshes.count, c.refreshes);

        // A padded step lasts the whole second; the others take next to nothing.
        ASSERT_EQ(counting->started_ms.size(), 7u);
        for (int step = 1; step <= 6; ++step) {
            const long long lasted = counting->started_ms[step] - counting->started_ms[step - 1];
            if (std::count(c.padded.begin(), c.padded.end(), step) != 0)
                EXPECT_GE(lasted, 995) << "step " << step;
            else
                EXPECT_LT(lasted, 500) << "step " << step;
        }
    }
}

TEST_F(RunnerTest, LoadCommandAsksForAModelFileInTheLastDirectory)
{
    // The platform's file chooser cannot be filled in from a test: this checks
    // the question and that a cancelled dialog leaves the loaded model alone.
    const std::string path = copy_example("cantilever_beam.dat");
    ASSERT_TRUE(load(path));
    MyDomain* model = domain;
    wxString wildcard, directory;
    hook.on_dialog = [&](wxDialog* dialog) {
        auto* files = dynamic_cast<wxFileDialog*>(dialog);
        if (!files) return;
        wildcard = files->GetWildcard();
        directory = files->GetDirectory();
    };
    main_frame().IssueCommand(CMD_LOAD_FILE);
    ASSERT_EQ(hook.dialogs.size(), 1u);
    EXPECT_EQ(wildcard, "Model files (*.dat)|*.dat| All files (*.*)|*.*");
    EXPECT_EQ(directory, main_frame().GetLastDirectory());
    EXPECT_EQ(main_frame().GetLastDirectory(),
              wxString::FromUTF8(fs::path(path).parent_path().string() + "/"));
    EXPECT_TRUE(loaded);
    EXPECT_EQ(domain, model);
    EXPECT_TRUE(dialog().IsShown());
}
