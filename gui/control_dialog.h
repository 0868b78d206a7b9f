#ifndef KELVANED_GUI_CONTROL_DIALOG_H
#define KELVANED_GUI_CONTROL_DIALOG_H

#include <vector>

#include <wx/dialog.h>
#include <wx/window.h>

class wxDC;
class wxGauge;

// Bar graph of the convergence of the equilibrium iterations: one bar per
// iteration (red for the first of an increment), the ratio of unbalance norm to
// load norm on a logarithmic scale, with decade lines, the ratio-1 line and the
// tolerance line. When the window is full it scrolls one bar per new value.
class LoadBar : public wxWindow {
public:
    struct Value {
        float value;  // already in log10 when the graph is logarithmic
        bool new_increment;
    };

    LoadBar() = default;
    LoadBar(wxWindow* parent, const wxPoint& pos, const wxSize& size, long style,
            const wxString& name = "loadbar");

    void Clear();
    void SetTolerance(float tolerance);
    void AddValue(float value, bool new_increment);

    void SetLogarithmic(bool on) { logarithmic = on; }
    bool IsLogarithmic() const { return logarithmic; }
    const std::vector<Value>& GetValues() const { return values; }
    // The number of bars that fit the window width at construction (at least one).
    int GetCapacity() const { return capacity; }
    int GetBarWidth() const { return bar_width; }
    float GetUpper() const { return upper; }
    float GetLower() const { return lower; }
    float GetTolerance() const { return tolerance; }
    bool IsToleranceSet() const { return tolerance_set; }
    float GetPixelsPerUnit() const { return pixels_per_unit; }

    // Pixel column of bar k and the top end of a bar of `value` (device units).
    int BarX(int k) const;
    int BarTop(float value) const;

    // Draws the whole graph (bars and scale lines) on `dc`; the paint handler
    // uses it on the window, tests on a memory bitmap.
    void Draw(wxDC& dc);

    void OnPaint(wxPaintEvent& event);

private:
    void DrawScaleLines(wxDC& dc);

    bool logarithmic = false;
    std::vector<Value> values;
    int bar_width = 5;
    float upper = 1.0f;
    float lower = 0.0f;
    float tolerance = 0.0f;
    bool tolerance_set = false;
    int height = 0;
    int width = 0;
    float pixels_per_unit = 0.0f;
    int capacity = 1;

    wxDECLARE_DYNAMIC_CLASS(LoadBar);
    wxDECLARE_EVENT_TABLE();
};

// The modeless dialog through which the user starts, halts (resumably) and
// cancels the analysis; it shows the progress of the increments in a gauge and
// the convergence of every iteration in the bar graph. While the dialog is shown
// its window cannot be closed: it is the only way to halt or cancel.
class ControlDialog : public wxDialog {
public:
    enum ButtonId { ID_START = 1, ID_HALT = 2, ID_CANCEL = 3 };

    explicit ControlDialog(wxFrame* parent);

    // Gauge to 0; halted, not cancelled, not paused; an empty bar graph.
    void Reset();
    void SetProgress(int percent);

    bool IsHalted() const { return halted; }
    void SetHalted(bool on) { halted = on; }
    bool IsCancelled() const { return cancelled; }
    void SetCancelled(bool on) { cancelled = on; }
    // True while no step runs and the runner waits for Start.
    bool IsPaused() const { return paused; }
    void SetPaused(bool on) { paused = on; }

    wxGauge* GetGauge() const { return gauge; }
    LoadBar* GetLoadBar() const { return loadbar; }

    void OnButton(wxCommandEvent& event);
    void OnCloseWindow(wxCloseEvent& event);

private:
    wxGauge* gauge = nullptr;
    LoadBar* loadbar = nullptr;
    bool halted = true;
    bool cancelled = false;
    bool paused = false;

    wxDECLARE_EVENT_TABLE();
};

#endif
