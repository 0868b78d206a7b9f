#include "control_dialog.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <exception>
#include <iostream>

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app.h"
#include "frame.h"

namespace {

// Ratios at or below this count as this (a log10 of -15).
constexpr float smallest_ratio = 1e-15f;

}  // namespace

wxIMPLEMENT_DYNAMIC_CLASS(LoadBar, wxWindow);

wxBEGIN_EVENT_TABLE(LoadBar, wxWindow)
    EVT_PAINT(LoadBar::OnPaint)
wxEND_EVENT_TABLE()

LoadBar::LoadBar(wxWindow* parent, const wxPoint& pos, const wxSize& size, long style,
                 const wxString& name)
{
    Create(parent, wxID_ANY, pos, size, style, name);
    GetClientSize(&width, &height);
    // A window narrower than one bar still keeps the newest value.
    capacity = std::max(1, width / bar_width);
    values.reserve(static_cast<std::size_t>(capacity));
    SetBackgroundColour(*wxWHITE);
    Clear();
}

void LoadBar::Clear()
{
    upper = 1.0f;
    lower = 0.0f;
    values.clear();
    pixels_per_unit = static_cast<float>(height) / (upper - lower);
}

void LoadBar::SetTolerance(float new_tolerance)
{
    tolerance_set = true;
    if (!logarithmic) {
        tolerance = new_tolerance;
    } else if (std::isfinite(new_tolerance) && new_tolerance >= smallest_ratio) {
        tolerance = std::log10(new_tolerance);
    }
}

int LoadBar::BarX(int k) const
{
    return static_cast<int>((static_cast<float>(k) + 0.5f) * static_cast<float>(bar_width));
}

int LoadBar::BarTop(float value) const
{
    return height - static_cast<int>((value - lower) * pixels_per_unit);
}

void LoadBar::AddValue(float value, bool new_increment)
{
    const bool scrolled = static_cast<int>(values.size()) >= capacity;
    if (scrolled) values.erase(values.begin());

    if (logarithmic) {
        // A diverged iteration (infinite or undefined ratio) shows as the tallest bar.
        if (!(value <= FLT_MAX)) value = FLT_MAX;
        value = std::log10(std::max(value, smallest_ratio));
    }
    values.push_back({value, new_increment});

    float hi = values.front().value;
    float lo = values.front().value;
    for (const Value& v : values) {
        hi = std::max(hi, v.value);
        lo = std::min(lo, v.value);
    }
    if (tolerance_set) {
        hi = std::max(hi, tolerance);
        lo = std::min(std::max(lo, tolerance - 2.0f), tolerance);
    }
    const float new_upper = std::ceil(std::max(hi, 1.0f));
    const float new_lower = std::floor(std::min(lo, 0.0f));
    const bool limits_changed = new_upper != upper || new_lower != lower;
    upper = new_upper;
    lower = new_lower;
    pixels_per_unit = static_cast<float>(height) / (upper - lower);

    if (scrolled) ScrollWindow(-bar_width, 0);
    wxClientDC dc(this);
    if (limits_changed) Refresh(true);
    const int k = static_cast<int>(values.size()) - 1;
    dc.SetPen(wxPen(wxColour(new_increment ? "RED" : "BLACK"), bar_width, wxPENSTYLE_SOLID));
    dc.DrawLine(BarX(k), height, BarX(k), BarTop(value));
    DrawScaleLines(dc);
}

void LoadBar::Draw(wxDC& dc)
{
    GetClientSize(&width, &height);

    wxPen red_pen(wxColour("RED"), bar_width, wxPENSTYLE_SOLID);
    red_pen.SetCap(wxCAP_BUTT);
    wxPen black_pen(wxColour("BLACK"), bar_width, wxPENSTYLE_SOLID);
    black_pen.SetCap(wxCAP_BUTT);
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();

    for (std::size_t k = 0; k < values.size(); ++k) {
        dc.SetPen(values[k].new_increment ? red_pen : black_pen);
        const int x = BarX(static_cast<int>(k));
        dc.DrawLine(x, height, x, BarTop(values[k].value));
    }
    DrawScaleLines(dc);
}

void LoadBar::DrawScaleLines(wxDC& dc)
{
    // Whole units (decades when logarithmic), then ratio 1, then the tolerance.
    dc.SetPen(wxPen(wxColour("BLUE"), 1, wxPENSTYLE_SOLID));
    const int first = static_cast<int>(lower);
    const int last = static_cast<int>(upper);
    for (int i = first; i < last; ++i) {
        if (i == 0) continue;
        const int y = BarTop(static_cast<float>(i));
        dc.DrawLine(0, y, width, y);
    }
    dc.SetPen(*wxCYAN_PEN);
    const int y_zero = BarTop(0.0f);
    dc.DrawLine(0, y_zero, width, y_zero);
    if (tolerance_set) {
        dc.SetPen(*wxGREEN_PEN);
        const int y_tolerance = BarTop(tolerance);
        dc.DrawLine(0, y_tolerance, width, y_tolerance);
    }
}

void LoadBar::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    Draw(dc);
}

wxBEGIN_EVENT_TABLE(ControlDialog, wxDialog)
    EVT_BUTTON(ControlDialog::ID_START, ControlDialog::OnButton)
    EVT_BUTTON(ControlDialog::ID_HALT, ControlDialog::OnButton)
    EVT_BUTTON(ControlDialog::ID_CANCEL, ControlDialog::OnButton)
    EVT_CLOSE(ControlDialog::OnCloseWindow)
wxEND_EVENT_TABLE()

ControlDialog::ControlDialog(wxFrame* parent)
    : wxDialog(parent, wxID_ANY, "KelVane control dialog", wxPoint(100, 100), wxSize(350, 250),
               wxDEFAULT_DIALOG_STYLE)
{
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);

    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, ID_START, "Start"), 0, wxALL, 7);
    buttons->Add(new wxButton(this, ID_HALT, "Halt"), 0, wxALL, 7);
    buttons->Add(70, 70);
    buttons->Add(new wxButton(this, ID_CANCEL, "Cancel"), 0, wxALL, 7);
    column->Add(buttons, 0, wxALL, 7);

    column->Add(new wxStaticText(this, wxID_ANY, "increment counter"), 0,
                wxLEFT | wxRIGHT | wxTOP, 14);
    column->Add(3, 3);
    gauge = new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, wxSize(250, 20),
                        wxGA_HORIZONTAL);
    column->Add(gauge, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 14);

    column->Add(new wxStaticText(this, wxID_ANY, "convergence in force norm"), 0,
                wxLEFT | wxRIGHT | wxTOP, 14);
    column->Add(3, 3);
    loadbar = new LoadBar(this, wxDefaultPosition, wxSize(250, 50), wxFULL_REPAINT_ON_RESIZE);
    column->Add(loadbar, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 14);

    loadbar->SetLogarithmic(true);
    Reset();
    SetSizer(column);
    column->Fit(this);
}

void ControlDialog::Reset()
{
    gauge->SetValue(0);
    halted = true;
    cancelled = false;
    paused = false;
    loadbar->Clear();
}

void ControlDialog::SetProgress(int percent) { gauge->SetValue(percent); }

void ControlDialog::OnButton(wxCommandEvent& event)
{
    MyFrame* frame = GetMainFrame();
    // The run and end commands report analysis errors themselves; anything else
    // must not escape into the event loop.
    try {
        switch (event.GetId()) {
        case ID_START:
            cancelled = false;
            if (halted && paused) {
                halted = false;
                if (frame) frame->IssueCommand(CMD_RUN);
            }
            break;
        case ID_HALT:
            halted = wxMessageBox("stop after this increment?\n(analysis can be continued later)",
                                  "control", wxYES_NO, this) == wxYES;
            break;
        case ID_CANCEL:
            if (wxMessageBox("stop this analysis as soon as possible?", "control", wxYES_NO,
                             this) == wxYES) {
                const bool cancelled_before = cancelled;
                halted = true;
                cancelled = true;
                // While steps run, the runner ends the analysis when it sees the flags.
                if (paused && !cancelled_before && frame) frame->IssueCommand(CMD_END);
            }
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        std::cerr << "\nERROR: " << e.what() << std::endl;
    }
}

void ControlDialog::OnCloseWindow(wxCloseEvent& event)
{
    // The runner hides the dialog when the analysis has ended for good; until then
    // it is the only way to halt or cancel, so its window stays.
    if (event.CanVeto() && IsShown()) {
        event.Veto();
        return;
    }
    Hide();
}
