#include "gui_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <wx/app.h>
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
