// The control dialog's buttons and flags, and the convergence bar graph's scale,
// scrolling and drawing.
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include "control_dialog.h"
#include "frame.h"
#include "gui_test_support.h"
#include "runner.h"
#include "ui_seam.h"

using namespace gui_test;

namespace {

ControlDialog& dialog() { return *main_frame().GetControlDialog(); }

void press(int button)
{
    wxCommandEvent click(wxEVT_BUTTON, button);
    click.SetEventObject(dialog().FindWindow(button));
    dialog().ProcessWindowEvent(click);
}

// Puts the dialog in a chosen state and restores the freshly reset one afterwards.
class DialogState {
public:
    DialogState(bool halted, bool cancelled, bool paused)
    {
        dialog().Reset();
        dialog().SetHalted(halted);
        dialog().SetCancelled(cancelled);
        dialog().SetPaused(paused);
    }
    ~DialogState() { dialog().Reset(); }
};

// A bar graph of its own, in a hidden frame, `width` x `height` pixels.
class OwnBar {
public:
    OwnBar(int width, int height, bool logarithmic = true)
    {
        frame = new wxFrame(nullptr, wxID_ANY, "bar graph test");
        bar = new LoadBar(frame, wxPoint(0, 0), wxSize(width, height), 0);
        bar->SetLogarithmic(logarithmic);
    }
    ~OwnBar() { frame->Destroy(); }
    LoadBar* operator->() { return bar; }
    LoadBar* bar;

private:
    wxFrame* frame;
};

}  // namespace

TEST(ControlDialog, HasItsButtonsGaugeAndLogarithmicBarGraph)
{
    ControlDialog& d = dialog();
    EXPECT_EQ(d.GetTitle(), "KelVane control dialog");
    EXPECT_TRUE(d.HasFlag(wxCLOSE_BOX));

    const char* labels[] = {"Start", "Halt", "Cancel"};
    std::vector<wxRect> rects;
    for (int id = 1; id <= 3; ++id) {
        auto* button = dynamic_cast<wxButton*>(d.FindWindow(id));
        ASSERT_NE(button, nullptr) << "button " << id;
        EXPECT_EQ(button->GetLabel(), labels[id - 1]);
        rects.push_back(button->GetRect());
    }
    // One row: Start, Halt, a 70-pixel gap, Cancel.
    EXPECT_EQ(rects[0].y, rects[1].y);
    EXPECT_EQ(rects[1].y, rects[2].y);
    EXPECT_LT(rects[0].x, rects[1].x);
    EXPECT_GE(rects[2].x - rects[1].GetRight(), 70);

    std::vector<wxString> texts;
    for (wxWindow* child : d.GetChildren())
        if (auto* label = dynamic_cast<wxStaticText*>(child)) texts.push_back(label->GetLabel());
    EXPECT_EQ(texts, (std::vector<wxString>{"increment counter", "convergence in force norm"}));

    ASSERT_NE(d.GetGauge(), nullptr);
    EXPECT_EQ(d.GetGauge()->GetRange(), 100);
    ASSERT_NE(d.GetLoadBar(), nullptr);
    EXPECT_TRUE(d.GetLoadBar()->IsLogarithmic());
    EXPECT_EQ(d.GetLoadBar()->GetBarWidth(), 5);
    EXPECT_EQ(d.GetLoadBar()->GetCapacity(), 50) << "250 pixels hold 50 bars of 5";
    EXPECT_TRUE(d.GetLoadBar()->HasFlag(wxFULL_REPAINT_ON_RESIZE));
    EXPECT_GT(d.GetLoadBar()->GetRect().y, d.GetGauge()->GetRect().y);

    // The bar graph is known to the toolkit's dynamic class information.
    const wxClassInfo* info = wxClassInfo::FindClass("LoadBar");
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->IsKindOf(wxCLASSINFO(wxWindow)));
    wxObject* made = info->CreateObject();
    ASSERT_NE(made, nullptr);
    EXPECT_NE(dynamic_cast<LoadBar*>(made), nullptr);
    delete made;
}

TEST(ControlDialog, ResetClearsFlagsGaugeAndBarGraph)
{
    ControlDialog& d = dialog();
    d.SetHalted(false);
    d.SetCancelled(true);
    d.SetPaused(true);
    d.SetProgress(37);
    EXPECT_EQ(d.GetGauge()->GetValue(), 37);
    d.GetLoadBar()->AddValue(1e-4f, true);

    d.Reset();

    EXPECT_TRUE(d.IsHalted());
    EXPECT_FALSE(d.IsCancelled());
    EXPECT_FALSE(d.IsPaused());
    EXPECT_EQ(d.GetGauge()->GetValue(), 0);
    EXPECT_TRUE(d.GetLoadBar()->GetValues().empty());
    EXPECT_EQ(d.GetLoadBar()->GetUpper(), 1.0f);
    EXPECT_EQ(d.GetLoadBar()->GetLower(), 0.0f);
}

TEST(ControlDialog, StartRunsOnlyAHaltedPausedAnalysis)
{
    struct Case {
        bool halted, cancelled, paused;
        int runs;
        bool halted_after;
    };
    const Case cases[] = {
        {true, true, true, 1, false},     // loaded or halted: starts, cancel forgotten
        {true, false, false, 0, true},    // steps running
        {false, false, true, 0, false},   // Halt answered No while paused
        {false, true, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "halted " << c.halted << " paused " << c.paused);
        DialogState state(c.halted, c.cancelled, c.paused);
        CommandProbe run(CMD_RUN);
        press(ControlDialog::ID_START);
        EXPECT_EQ(run.count, c.runs);
        EXPECT_FALSE(dialog().IsCancelled());
        EXPECT_EQ(dialog().IsHalted(), c.halted_after);
    }
}

TEST(ControlDialog, HaltTakesTheAnswer)
{
    DialogState state(false, false, false);
    DialogHook hook;
    hook.Answer(wxID_YES);
    press(ControlDialog::ID_HALT);
    EXPECT_TRUE(dialog().IsHalted());
    hook.Answer(wxID_NO);
    press(ControlDialog::ID_HALT);
    EXPECT_FALSE(dialog().IsHalted());

    ASSERT_EQ(hook.dialogs.size(), 2u);
    for (const RecordedDialog& asked : hook.dialogs) {
        EXPECT_EQ(asked.message, "stop after this increment?\n(analysis can be continued later)");
        EXPECT_EQ(asked.caption, "control");
        EXPECT_TRUE(asked.style & wxYES_NO);
    }
    EXPECT_FALSE(dialog().IsCancelled());
}

TEST(ControlDialog, CancelEndsAPausedAnalysisOnce)
{
    DialogState state(true, false, true);
    DialogHook hook;
    CommandProbe end(CMD_END);

    hook.Answer(wxID_NO);
    press(ControlDialog::ID_CANCEL);
    EXPECT_FALSE(dialog().IsCancelled());
    EXPECT_EQ(end.count, 0);

    hook.Answer(wxID_YES);
    press(ControlDialog::ID_CANCEL);
    EXPECT_TRUE(dialog().IsHalted());
    EXPECT_TRUE(dialog().IsCancelled());
    EXPECT_EQ(end.count, 1);

    hook.Answer(wxID_YES);
    press(ControlDialog::ID_CANCEL);
    EXPECT_EQ(end.count, 1) << "a second Cancel does not end the analysis again";

    ASSERT_EQ(hook.dialogs.size(), 3u);
    EXPECT_EQ(hook.dialogs[0].message, "stop this analysis as soon as possible?");
    EXPECT_EQ(hook.dialogs[0].caption, "control");
    EXPECT_TRUE(hook.dialogs[0].style & wxYES_NO);
}

TEST(ControlDialog, CancelWhileStepsRunOnlySetsTheFlags)
{
    DialogState state(false, false, false);
    DialogHook hook;
    CommandProbe end(CMD_END);
    hook.Answer(wxID_YES);
    press(ControlDialog::ID_CANCEL);
    EXPECT_TRUE(dialog().IsHalted());
    EXPECT_TRUE(dialog().IsCancelled());
    EXPECT_EQ(end.count, 0) << "the runner ends the analysis when it sees the flags";
}

TEST(ControlDialog, RealClickOnHaltAsks)
{
    DialogState state(false, false, false);
    ControlDialog& d = dialog();
    const bool was_shown = d.IsShown();
    d.Show();
    d.Raise();
    pump_events(20);
    DialogHook hook;
    hook.Answer(wxID_YES);

    wxWindow* halt = d.FindWindow(ControlDialog::ID_HALT);
    wxUIActionSimulator mouse;
    mouse.MouseMove(halt->GetScreenRect().GetPosition() + halt->GetSize() / 2);
    pump_events();
    mouse.MouseClick();
    const bool asked = wait_until([&] { return !hook.dialogs.empty(); }, 2000);
    if (!was_shown) d.Hide();

    ASSERT_TRUE(asked);
    EXPECT_EQ(hook.dialogs[0].caption, "control");
    EXPECT_TRUE(d.IsHalted());
}

// While shown, the dialog is the only way to halt or cancel: its window stays.
TEST(ControlDialog, CloseBoxDoesNotTakeTheControlsAway)
{
    ControlDialog& d = dialog();
    const bool was_shown = d.IsShown();
    d.Show();
    pump_events();
    EXPECT_FALSE(d.Close(false));
    pump_events();
    EXPECT_TRUE(d.IsShown());
    EXPECT_EQ(main_frame().GetControlDialog(), &d);
    if (!was_shown) d.Hide();
}

TEST(ControlDialog, IterationHooksReachTheBarGraph)
{
    DialogState state(true, false, false);
    LoadBar* bar = dialog().GetLoadBar();
    SetLoadBarTolerance(1e-3f);
    AddLoadBarValue(0.1f, true);
    AddLoadBarValue(1e-4f, false);
    EXPECT_TRUE(bar->IsToleranceSet());
    EXPECT_NEAR(bar->GetTolerance(), -3.0f, 1e-5f);
    ASSERT_EQ(bar->GetValues().size(), 2u);
    EXPECT_NEAR(bar->GetValues()[0].value, -1.0f, 1e-5f);
    EXPECT_TRUE(bar->GetValues()[0].new_increment);
    EXPECT_NEAR(bar->GetValues()[1].value, -4.0f, 1e-5f);
    EXPECT_FALSE(bar->GetValues()[1].new_increment);
    EXPECT_EQ(bar->GetLower(), -4.0f);
    EXPECT_EQ(bar->GetUpper(), 1.0f);
}

TEST(LoadBar, ScaleFollowsValuesAndTolerance)
{
    {
        OwnBar bar(250, 80);
        EXPECT_FALSE(bar->IsToleranceSet());
        bar->AddValue(1e-20f, true);  // counts as 1e-15
        EXPECT_FLOAT_EQ(bar->GetValues()[0].value, -15.0f);
        EXPECT_EQ(bar->GetLower(), -15.0f);
        EXPECT_EQ(bar->GetUpper(), 1.0f);
        EXPECT_FLOAT_EQ(bar->GetPixelsPerUnit(), 80.0f / 16.0f);
        bar->AddValue(250.0f, false);  // log 2.4: upper rounds up to 3
        EXPECT_EQ(bar->GetUpper(), 3.0f);
        EXPECT_FLOAT_EQ(bar->GetPixelsPerUnit(), 80.0f / 18.0f);
    }
    {
        // At most two decades below the tolerance line are shown.
        OwnBar bar(250, 80);
        bar->SetTolerance(1e-6f);
        EXPECT_NEAR(bar->GetTolerance(), -6.0f, 1e-5f);
        bar->AddValue(1e-12f, true);
        EXPECT_EQ(bar->GetLower(), -8.0f);
        EXPECT_EQ(bar->GetUpper(), 1.0f);
        // The tolerance line is always in range.
        bar->Clear();
        bar->AddValue(0.5f, true);
        EXPECT_EQ(bar->GetLower(), -6.0f);
    }
    {
        // A tolerance too small for the logarithm leaves the stored one.
        OwnBar bar(250, 80);
        bar->SetTolerance(0.0f);
        EXPECT_TRUE(bar->IsToleranceSet());
        EXPECT_EQ(bar->GetTolerance(), 0.0f);
        bar->SetTolerance(1e-2f);
        bar->SetTolerance(1e-16f);
        EXPECT_NEAR(bar->GetTolerance(), -2.0f, 1e-5f);
    }
    {
        // Linear scale: values and tolerance as given.
        OwnBar bar(250, 80, false);
        bar->SetTolerance(0.5f);
        EXPECT_EQ(bar->GetTolerance(), 0.5f);
        bar->AddValue(3.2f, true);
        bar->AddValue(-1.5f, false);
        EXPECT_EQ(bar->GetValues()[0].value, 3.2f);
        EXPECT_EQ(bar->GetUpper(), 4.0f);
        EXPECT_EQ(bar->GetLower(), -2.0f);
    }
}

TEST(LoadBar, FullWindowScrollsOneBarPerValue)
{
    OwnBar bar(250, 60);
    ASSERT_EQ(bar->GetCapacity(), 50);
    for (int k = 0; k < 50; ++k) bar->AddValue(std::pow(10.0f, -(k % 7)), k % 7 == 0);
    ASSERT_EQ(bar->GetValues().size(), 50u);
    EXPECT_EQ(bar->GetLower(), -6.0f);

    bar->AddValue(0.5f, true);
    ASSERT_EQ(bar->GetValues().size(), 50u);
    EXPECT_FLOAT_EQ(bar->GetValues().front().value, -1.0f) << "the first value was dropped";
    EXPECT_NEAR(bar->GetValues().back().value, std::log10(0.5f), 1e-6f);

    // Dropping old values can narrow the range again.
    for (int k = 0; k < 50; ++k) bar->AddValue(0.5f, false);
    EXPECT_EQ(bar->GetLower(), -1.0f);
    EXPECT_EQ(bar->GetUpper(), 1.0f);
}

TEST(LoadBar, NarrowerThanOneBarKeepsTheNewestValue)
{
    OwnBar bar(3, 40);
    EXPECT_EQ(bar->GetCapacity(), 1);
    bar->SetTolerance(1e-3f);
    bar->AddValue(1e-9f, true);
    bar->AddValue(1e-2f, false);
    bar->AddValue(0.2f, false);
    ASSERT_EQ(bar->GetValues().size(), 1u);
    EXPECT_NEAR(bar->GetValues()[0].value, std::log10(0.2f), 1e-6f);
    EXPECT_EQ(bar->GetLower(), -3.0f);
    bar->Update();
}

TEST(LoadBar, DivergedIterationShowsAsTallestBar)
{
    OwnBar bar(250, 60);
    bar->AddValue(std::numeric_limits<float>::infinity(), true);
    bar->AddValue(std::nanf(""), false);
    bar->AddValue(-std::numeric_limits<float>::infinity(), false);
    ASSERT_EQ(bar->GetValues().size(), 3u);
    for (const LoadBar::Value& v : bar->GetValues()) EXPECT_TRUE(std::isfinite(v.value));
    EXPECT_NEAR(bar->GetValues()[0].value, std::log10(FLT_MAX), 1e-4f);
    EXPECT_EQ(bar->GetValues()[2].value, -15.0f);
    EXPECT_EQ(bar->GetUpper(), 39.0f);
    EXPECT_EQ(bar->GetLower(), -15.0f);
}

// The picture, drawn into a bitmap: bars in their colours from the bottom edge,
// decade lines blue, the ratio-1 line cyan, the tolerance line green.
TEST(LoadBar, DrawsBarsAndScaleLines)
{
    OwnBar bar(250, 100);
    bar->SetTolerance(1e-2f);                       // -2
    bar->AddValue(0.1f, true);                      // -1, red
    bar->AddValue(std::pow(10.0f, -2.5f), false);   // -2.5, black
    ASSERT_EQ(bar->GetLower(), -3.0f);
    ASSERT_EQ(bar->GetUpper(), 1.0f);
    ASSERT_FLOAT_EQ(bar->GetPixelsPerUnit(), 25.0f);
    EXPECT_EQ(bar->BarX(0), 2);
    EXPECT_EQ(bar->BarX(1), 7);
    EXPECT_EQ(bar->BarTop(-1.0f), 50);
    EXPECT_EQ(bar->BarTop(-2.5f), 88);

    wxBitmap picture(250, 100, 24);
    {
        wxMemoryDC dc(picture);
        bar->Draw(dc);
    }
    const wxImage image = picture.ConvertToImage();
    auto colour_at = [&](int x, int y) {
        return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
    };
    // Horizontal lines are one pixel wide; look at the row and its neighbours.
    auto line_at = [&](int y, const wxColour& expected) {
        for (int row = y - 1; row <= y + 1; ++row)
            if (colour_at(100, row) == expected) return true;
        return false;
    };

    EXPECT_EQ(colour_at(2, 90), wxColour(255, 0, 0));
    EXPECT_EQ(colour_at(2, 55), wxColour(255, 0, 0));
    EXPECT_EQ(colour_at(2, 40), *wxWHITE);
    EXPECT_EQ(colour_at(7, 95), wxColour(0, 0, 0));
    EXPECT_EQ(colour_at(7, 80), *wxWHITE);
    EXPECT_EQ(colour_at(12, 95), *wxWHITE) << "no third bar";

    EXPECT_TRUE(line_at(50, wxColour(0, 0, 255))) << "decade line of 0.1";
    EXPECT_TRUE(line_at(75, wxColour(0, 255, 0))) << "tolerance line over the decade line";
    EXPECT_TRUE(line_at(25, wxColour(0, 255, 255))) << "ratio 1";
    EXPECT_EQ(colour_at(100, 60), *wxWHITE);
    EXPECT_EQ(colour_at(100, 10), *wxWHITE);
}
