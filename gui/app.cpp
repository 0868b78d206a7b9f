#include "app.h"

#include <clocale>
#include <locale>

#include <wx/cmndata.h>
#include <wx/font.h>
#include <wx/image.h>

#include "control_dialog.h"
#include "frame.h"
#include "ui_seam.h"

namespace {

MyFrame* main_frame = nullptr;
// Created at start-up and kept until the process ends.
wxFont* log_font = nullptr;
wxPrintData* print_data = nullptr;

void yield_to_event_loop() { wxYield(); }

LoadBar* current_load_bar()
{
    MyFrame* frame = GetMainFrame();
    if (!frame || !frame->GetControlDialog()) return nullptr;
    return frame->GetControlDialog()->GetLoadBar();
}

void set_load_bar_tolerance(float tolerance)
{
    if (LoadBar* bar = current_load_bar()) bar->SetTolerance(tolerance);
}

void add_load_bar_value(float value, bool new_increment)
{
    if (LoadBar* bar = current_load_bar()) bar->AddValue(value, new_increment);
}

}  // namespace

MyFrame* GetMainFrame() { return main_frame; }

void SetMainFrame(MyFrame* frame) { main_frame = frame; }

const wxFont& GetLogFont()
{
    if (!log_font)
        log_font = new wxFont(wxFontInfo(12).Family(wxFONTFAMILY_MODERN));
    return *log_font;
}

wxPrintData& GetPrintData()
{
    if (!print_data) print_data = new wxPrintData;
    return *print_data;
}

bool MyApp::OnInit()
{
    // Numbers in every file use a decimal point, whatever the user's settings.
    std::setlocale(LC_NUMERIC, "C");
    std::locale::global(std::locale::classic());

    GetLogFont();
    GetPrintData();
    // Bitmap copies reach the clipboard as PNG.
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);

    UiHooks hooks;
    hooks.yield = yield_to_event_loop;
    hooks.set_tolerance = set_load_bar_tolerance;
    hooks.add_value = add_load_bar_value;
    install_ui_hooks(hooks);

    MyFrame* frame = new MyFrame(nullptr, "KelVaneD", wxPoint(1, 1), wxSize(550, 250));
    SetTopWindow(frame);
    return true;
}

int MyApp::OnExit()
{
    return 1;
}
