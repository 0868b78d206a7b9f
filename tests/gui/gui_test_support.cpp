#include "gui_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <dlfcn.h>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "app.h"
#include "frame.h"

namespace gui_test {

namespace {

std::vector<std::string>& temp_dirs()
{
    static std::vector<std::string> dirs;
    return dirs;
}

// GLib's structured log interface, reached in the libraries the toolkit has
// loaded: the build has no GLib headers. Levels are GLib's GLogLevelFlags bits;
// every message, also one logged the older way, reaches the writer.
struct LogField {
    const char* key;
    const void* value;
    long length;  // -1: value is a nul-terminated string
};
using log_writer = int (*)(int level, const LogField* fields, std::size_t n_fields, void* data);
using set_writer_function = void (*)(log_writer writer, void* data, void (*free_data)(void*));
constexpr int log_level_critical = 1 << 3;
constexpr int log_level_warning = 1 << 4;

log_writer default_log_writer = nullptr;
std::vector<std::string> complaints_outside_tests;

std::string field_text(const LogField* fields, std::size_t n_fields, const char* key)
{
    for (std::size_t i = 0; i < n_fields; ++i) {
        if (std::strcmp(fields[i].key, key) != 0 || !fields[i].value) continue;
        const char* value = static_cast<const char*>(fields[i].value);
        if (fields[i].length < 0) return std::string(value);
        return std::string(value, static_cast<std::size_t>(fields[i].length));
    }
    return std::string();
}

int record_complaint(int level, const LogField* fields, std::size_t n_fields, void* data)
{
    const std::string domain = field_text(fields, n_fields, "GLIB_DOMAIN");
    const bool complaint = level & (log_level_critical | log_level_warning);
    if (complaint && (domain == "Gtk" || domain == "Gdk")) {
        const std::string text = domain +
                                 ((level & log_level_critical) ? "-CRITICAL: " : "-WARNING: ") +
                                 field_text(fields, n_fields, "MESSAGE");
        if (testing::UnitTest::GetInstance()->current_test_info())
            ADD_FAILURE() << "the toolkit complained: " << text;
        else
            complaints_outside_tests.push_back(text);
    }
    return default_log_writer ? default_log_writer(level, fields, n_fields, data) : 1;
}

}  // namespace

DialogHook::DialogHook() { Register(); }

DialogHook::~DialogHook() { Unregister(); }

std::vector<wxString> DialogHook::messages() const
{
    std::vector<wxString> texts;
    for (const RecordedDialog& d : dialogs)
        if (!d.message.empty()) texts.push_back(d.message);
    return texts;
}

int DialogHook::Enter(wxDialog* dialog)
{
    RecordedDialog record;
    record.caption = dialog->GetTitle();
    auto* message_box = dynamic_cast<wxMessageDialogBase*>(dialog);
    if (message_box) {
        record.message = message_box->GetMessage();
        record.caption = message_box->GetCaption();
        record.style = message_box->GetMessageDialogStyle();
    }
    if (on_dialog) on_dialog(dialog);

    if (!answers.empty()) {
        record.answer = answers.front();
        answers.pop_front();
    } else if (message_box) {
        record.answer = (record.style & wxYES_NO) ? wxID_NO : wxID_OK;
    } else {
        record.answer = wxID_CANCEL;
    }
    dialogs.push_back(record);
    return record.answer;
}

CommandProbe::CommandProbe(int id) : id(id)
{
    main_frame().Bind(wxEVT_MENU, &CommandProbe::OnCommand, this, id);
}

CommandProbe::~CommandProbe()
{
    if (GetMainFrame()) main_frame().Unbind(wxEVT_MENU, &CommandProbe::OnCommand, this, id);
}

void CommandProbe::OnCommand(wxCommandEvent&) { ++count; }

void record_toolkit_complaints()
{
    const auto set_writer =
        reinterpret_cast<set_writer_function>(dlsym(RTLD_DEFAULT, "g_log_set_writer_func"));
    default_log_writer = reinterpret_cast<log_writer>(dlsym(RTLD_DEFAULT, "g_log_writer_default"));
    if (!set_writer || !default_log_writer) {
        std::fprintf(stderr, "GTK's log messages cannot be recorded\n");
        return;
    }
    set_writer(record_complaint, nullptr, nullptr);
}

std::vector<std::string> complaints_between_tests() { return complaints_outside_tests; }

MyFrame& main_frame()
{
    MyFrame* frame = GetMainFrame();
    if (!frame) {
        ADD_FAILURE() << "no main frame";
        std::abort();
    }
    return *frame;
}

void pump_events(int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        wxYield();
        wxMilliSleep(5);
    }
    wxYield();
}

bool wait_until(const std::function<bool()>& condition, int timeout_ms)
{
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (condition()) return true;
        wxYield();
        wxMilliSleep(10);
    }
    return condition();
}

wxImage read_window(wxWindow& window)
{
    const wxSize size = window.GetClientSize();
    if (size.x <= 0 || size.y <= 0) return wxImage();
    wxBitmap bitmap(size.x, size.y, 24);
    {
        wxMemoryDC memory(bitmap);
        wxClientDC screen(&window);
        memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
    }
    return bitmap.ConvertToImage();
}

wxString log_text() { return main_frame().GetLog()->GetValue(); }

bool log_contains(const wxString& text) { return log_text().Find(text) != wxNOT_FOUND; }

std::string make_temp_dir()
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "kelvaned-gui-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot create a temporary directory";
        return fs::temp_directory_path().string();
    }
    temp_dirs().push_back(pattern);
    return pattern;
}

std::string copy_example(const std::string& name)
{
    namespace fs = std::filesystem;
    const fs::path target = fs::path(make_temp_dir()) / name;
    fs::copy_file(fs::path(KV_EXAMPLES_DIR) / name, target);
    return target.string();
}

void remove_temp_dirs()
{
    std::error_code ignored;
    for (const std::string& dir : temp_dirs()) std::filesystem::remove_all(dir, ignored);
    temp_dirs().clear();
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace gui_test
