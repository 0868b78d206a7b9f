// The analysis runner: loads a model file and drives its analysis one step at a
// time inside the event loop, under the control dialog.
#include "runner.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>
#include <locale>
#include <sstream>
#include <utility>
#include <vector>

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "control.h"
#include "control_dialog.h"
#include "domain.h"
#include "eigen_control.h"
#include "frame.h"
#include "incremental_control.h"

MyDomain* domain = nullptr;
KelVane::Control<MyDomain>* control = nullptr;
bool loaded = false;
bool running = false;
bool can_continue = false;
bool started = false;
std::string out_file_name;
std::string post_file_name;
OutputFile out_stream;
OutputFile post_stream;
StopWatch analysis_timer;

namespace {

void enable_load_items(bool enable)
{
    if (!file_menu) return;
    file_menu->Enable(CMD_LOAD_FILE, enable);
    for (int id = CMD_RECENT_FIRST; id <= CMD_RECENT_LAST; ++id)
        if (file_menu->FindItem(id)) file_menu->Enable(id, enable);
}

// Closes the files of an analysis that is discarded.
void close_analysis_files()
{
    out_stream.close();
    post_stream.close();
}

// Hands what the analysis has written so far to the files on disk; throws
// KelVane::file_error when a write to either failed.
void flush_analysis_files()
{
    out_stream.flush_checked();
    post_stream.flush_checked();
}

// An analysis error goes to standard error and, when given, to the listing.
void report_error(const char* message, std::ostream* listing)
{
    std::cerr << '\n' << "ERROR: " << message << std::endl;
    if (listing) *listing << '\n' << "ERROR: " << message << std::endl;
}

// Closes the files of an analysis that has ended. What was lost on the way is
// reported: the result file's loss also in the listing, closed after it.
void close_finished_analysis_files()
{
    for (OutputFile* file : {&post_stream, &out_stream}) {
        try {
            file->close_checked();
        } catch (const std::exception& error) {
            report_error(error.what(), out_stream.is_open() ? &out_stream : nullptr);
        }
    }
}

// Whole seconds of the configured wait, in milliseconds; fractions do not count.
double wait_target_ms(const DrawProperties& properties)
{
    const double seconds = std::trunc(properties.wait_seconds);
    return seconds > 0.0 ? seconds * 1000.0 : 0.0;
}

// The last line of the listing of a run that was cancelled before its end, as
// the ERROR line ends that of a run an error ended: which step it was cancelled
// after, so that the listing is not taken for one a crash cut short.
std::string cancelled_line(const KelVane::Control<MyDomain>& procedure)
{
    int steps = 0;
    const char* step = nullptr;
    if (const auto* incremental =
            dynamic_cast<const KelVane::IncrementalControl<MyDomain>*>(&procedure)) {
        steps = incremental->get_increment_number();
        step = "increment";
    } else if (const auto* eigen = dynamic_cast<const EigenControl*>(&procedure)) {
        steps = static_cast<int>(eigen->get_current_mode());
        step = "mode";
    }
    if (!step) return "CANCELLED";
    if (steps <= 0) return std::string("CANCELLED before the first ") + step;
    return std::string("CANCELLED after ") + step + " " + std::to_string(steps);
}

// The analysis time in the default floating format, whatever the analysis left
// set on standard output.
std::string analysis_seconds()
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << analysis_timer.seconds();
    return text.str();
}

}  // namespace

void DisableFileMenu()
{
    running = true;
    enable_load_items(false);
}

void EnableFileMenu()
{
    running = false;
    enable_load_items(true);
}

void MyFrame::OnLoadFile(wxCommandEvent&)
{
    if (running) return;
    wxFileDialog dialog(this, "Load model data", last_directory, wxEmptyString,
                        "Model files (*.dat)|*.dat| All files (*.*)|*.*",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    last_directory = dialog.GetDirectory();
    const wxString path = dialog.GetPath();
    if (path.empty()) return;
    if (OpenModel(path, domain, control)) {
        control_dialog->Show();
        history.AddFileToHistory(path);
    }
}

void MyFrame::OnRecentFile(wxCommandEvent& event)
{
    if (running) return;
    const int entry = event.GetId() - CMD_RECENT_FIRST;
    if (entry < 0 || entry >= static_cast<int>(history.GetCount())) return;
    const wxString path = history.GetHistoryFile(entry);
    last_directory = wxString::FromUTF8(directory_part(path.utf8_string()));
    if (OpenModel(path, domain, control)) control_dialog->Show();
}

bool MyFrame::OpenModel(const wxString& file_name, MyDomain*& model,
                        KelVane::Control<MyDomain>*& procedure)
{
    // The running steps still use the model and its control.
    if (running) return false;

    // Whatever was loaded before is discarded, a halted analysis with its open
    // listing and result files included; until the new model has been read
    // without errors nothing can be started. The listing of a halted analysis
    // ends as that of a cancelled one does.
    if (started && can_continue && procedure && out_stream.is_open())
        out_stream << '\n' << cancelled_line(*procedure) << '\n';
    delete model;
    model = nullptr;
    delete procedure;
    procedure = nullptr;
    close_analysis_files();
    loaded = false;
    started = false;
    can_continue = false;
    out_file_name.clear();
    post_file_name.clear();
    control_dialog->Hide();

    const std::string name = file_name.utf8_string();
    std::cout << "Starting " << name << std::endl;
    // The status bar names the file tried, also when its load fails.
    SetStatusText(wxFileName(file_name).GetFullName(), 1);

    int errors = 0;
    try {
        errors = read_model(name, model, procedure);
    } catch (const std::exception& error) {
        // An error that ends the reading closes like any other failed load.
        report_error(error.what(), nullptr);
        std::cerr << "there are errors in the input file" << std::endl;
        // The part that was read is still drawn.
        IssueCommand(CMD_REFRESH);
        return false;
    }
    if (errors != 0) {
        std::cerr << errors << (errors == 1 ? " input error" : " input errors") << std::endl;
        std::cerr << "there are errors in the input file" << std::endl;
        IssueCommand(CMD_REFRESH);
        return false;
    }

    const std::string base_path = directory_part(name) + model_base_name(name);
    out_file_name = base_path + ".out";
    post_file_name = base_path + ".flavia.res";

    FitToWindow();
    IssueCommand(CMD_REFRESH);

    loaded = true;
    can_continue = true;
    started = false;
    analysis_timer.reset();
    control_dialog->Reset();
    control_dialog->SetPaused(true);
    return true;
}

void MyFrame::OnRunAnalysis(wxCommandEvent&)
{
    // An analysis that has ended for good is not taken up again: only a new
    // load starts a fresh one.
    if (!loaded) return;
    if (started) {
        IssueCommand(CMD_CONTINUE);
        return;
    }
    if (out_file_name.empty() || !domain || !control) return;

    DisableFileMenu();
    control_dialog->Show();
    control_dialog->SetPaused(false);

    // An analysis whose listing or result file cannot be written does not start;
    // it can be started again once the file can be opened. No two files of the
    // run may be one file (a model named like its listing, a link to the model or
    // to the listing in the place of another output): the model is then refused
    // before anything is opened for writing. Both files are opened before either
    // is emptied, so that a refused start changes no file.
    close_analysis_files();
    const std::string refusal =
        open_analysis_files(*control, out_stream, out_file_name, post_stream, post_file_name);
    if (!refusal.empty()) {
        close_analysis_files();
        std::cerr << "ERROR: " << refusal << std::endl;
        EnableFileMenu();
        control_dialog->SetHalted(true);
        control_dialog->SetPaused(true);
        return;
    }
    domain->write_title(out_stream);

    try {
        start_analysis(*control, *domain, out_stream);
        flush_analysis_files();
        started = true;
        IssueCommand(CMD_CONTINUE);
        EnableFileMenu();
    } catch (const std::exception& error) {
        EnableFileMenu();
        can_continue = false;
        report_error(error.what(), &out_stream);
        IssueCommand(CMD_END);
    }
}

void MyFrame::OnContinueAnalysis(wxCommandEvent&)
{
    if (!domain || !control || !started) return;
    if (!can_continue || !loaded) {
        std::cout << "Can not continue stopped analysis" << std::endl;
        return;
    }

    auto* incremental = dynamic_cast<KelVane::IncrementalControl<MyDomain>*>(control);
    DisableFileMenu();
    control_dialog->SetPaused(false);
    int redraw_counter = 0;
    wxStopWatch step_watch;
    analysis_timer.start();

    const auto stop_requested = [this] {
        return control_dialog->IsHalted() || control_dialog->IsCancelled();
    };
    const auto show_progress = [this, incremental] {
        if (incremental)
            control_dialog->SetProgress(static_cast<int>(incremental->progress(0) * 100.0));
    };

    try {
        while (!stop_requested()) {
            const bool more = control->run(*domain, out_stream, post_stream, 1);
            // Each step reaches the files when it ends: a halted, cancelled or
            // killed program loses at most the step that was running, and a
            // write that failed stops the analysis at once.
            flush_analysis_files();
            // An analysis that has done its last step is ended, whatever Halt
            // was answered during it.
            if (!more) {
                can_continue = false;
                break;
            }
            show_progress();
            wxYield();

            bool drawn = false;
            if (draw_properties.plot_deformed && draw_properties.every_nth > 0) {
                ++redraw_counter;
                if (redraw_counter >= draw_properties.every_nth) {
                    IssueCommand(CMD_REFRESH);
                    redraw_counter = 0;
                    drawn = true;
                }
            }

            // The wait is one per plot: a step that is drawn is padded to it,
            // counted from the step's start; the others go on at once. The target
            // is read again so that a change takes effect at once.
            double target = drawn ? wait_target_ms(draw_properties) : 0.0;
            double elapsed = static_cast<double>(step_watch.Time());
            while (elapsed < target && !stop_requested()) {
                wxMilliSleep(static_cast<unsigned long>(std::min(target - elapsed, 250.0)));
                elapsed = static_cast<double>(step_watch.Time());
                target = wait_target_ms(draw_properties);
                wxYield();
            }
            step_watch.Start();
        }
    } catch (const std::exception& error) {
        can_continue = false;
        report_error(error.what(), &out_stream);
    }

    analysis_timer.stop();
    show_progress();
    IssueCommand(CMD_REFRESH);
    EnableFileMenu();
    control_dialog->SetPaused(true);
    IssueCommand(CMD_END);
}

void MyFrame::OnAnalysisEnd(wxCommandEvent&)
{
    if (!loaded || running) return;

    const bool cancelled = control_dialog->IsCancelled();
    // An analysis that an error ended is ended, whatever Halt was answered.
    const bool halted = control_dialog->IsHalted() && can_continue;
    if (cancelled || !halted) {
        loaded = false;
        control_dialog->Hide();
        // A run that still had steps to do says in its listing that it was
        // cancelled; one cancelled before its start has no listing of its own.
        if (cancelled && can_continue && started && control && out_stream.is_open())
            out_stream << '\n' << cancelled_line(*control) << '\n';
        close_finished_analysis_files();
        std::cout << (cancelled ? "cancelled (analysis time: " : "finished (analysis time: ")
                  << analysis_seconds() << " s)" << std::endl;
    } else {
        std::cout << "stopped (analysis time: " << analysis_seconds() << " s)" << std::endl;
    }
}
