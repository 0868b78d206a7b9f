// The drawing-properties dialog: its fields show the main frame's drawing
// properties, OK and Apply store valid edits and redraw, the validators refuse
// what is not a number, and Cancel leaves everything as it was.
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "canvas.h"
#include "device_map.h"
#include "draw_prop_dialog.h"
#include "frame.h"
#include "graphics_frame.h"
#include "gui_test_support.h"
#include "runner.h"

using namespace gui_test;

namespace {

DrawPropDialog& dialog() { return *main_frame().GetDrawPropDialog(); }

DrawProperties& properties() { return main_frame().GetDrawProperties(); }

wxCheckBox& check_box(int id)
{
    auto* box = dynamic_cast<wxCheckBox*>(dialog().FindWindow(id));
    if (!box) ADD_FAILURE() << "no check box " << id;
    return *box;
}

wxTextCtrl& field(int id)
{
    auto* text = dynamic_cast<wxTextCtrl*>(dialog().FindWindow(id));
    if (!text) ADD_FAILURE() << "no text field " << id;
    return *text;
}

void press(int id)
{
    wxWindow* button = dialog().FindWindow(id);
    ASSERT_NE(button, nullptr);
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->ProcessWindowEvent(event);
}

// The properties the dialog edits, for comparing before and after.
struct Edited {
    bool element_numbers, node_numbers, plot_deformed, plot_undeformed;
    double scaling, wait_seconds;
    int every_nth;

    bool operator==(const Edited& o) const
    {
        return element_numbers == o.element_numbers && node_numbers == o.node_numbers &&
               plot_deformed == o.plot_deformed && plot_undeformed == o.plot_undeformed &&
               scaling == o.scaling && wait_seconds == o.wait_seconds &&
               every_nth == o.every_nth;
    }
};

Edited edited()
{
    const DrawProperties& p = properties();
    return {p.element_numbers, p.node_numbers, p.plot_deformed, p.plot_undeformed,
            p.scaling,         p.wait_seconds, p.every_nth};
}

// What the canvas window shows now, read back from the screen.
wxImage read_canvas()
{
    MyCanvas& canvas = *main_frame().GetCanvas();
    main_frame().GetGraphicsFrame()->Raise();
    pump_events(3);
    return read_window(canvas);
}

int red_pixels(const wxImage& image)
{
    int count = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (image.GetRed(x, y) > 180 && image.GetGreen(x, y) < 100 &&
                image.GetBlue(x, y) < 100)
                ++count;
    return count;
}

int dark_pixels(const wxImage& image, const wxRect& area)
{
    int count = 0;
    for (int y = area.y; y < area.GetBottom(); ++y)
        for (int x = area.x; x < area.GetRight(); ++x)
            if (image.GetRed(x, y) < 100 && image.GetGreen(x, y) < 100 &&
                image.GetBlue(x, y) < 100)
                ++count;
    return count;
}

class DrawPropDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        properties().SetDefaults();
        ASSERT_NE(main_frame().GetDrawPropDialog(), nullptr);
        ASSERT_FALSE(dialog().IsShown());
    }
    void TearDown() override
    {
        dialog().Hide();
        properties().SetDefaults();
        main_frame().IssueCommand(CMD_REFRESH);
    }

    void open() { main_frame().IssueCommand(CMD_DRAW_PROPERTIES); }

    DialogHook hook;
};

}  // namespace

TEST_F(DrawPropDialogTest, IsBuiltHiddenWithItsControls)
{
    EXPECT_EQ(dialog().GetParent(), &main_frame());
    EXPECT_EQ(dialog().GetTitle(), "drawing properties");
    EXPECT_FALSE(dialog().IsModal());
    const struct {
        int id;
        const char* label;
    } boxes[] = {{ID_ELEMENT_NUMBERS, "Element numbers"},
                 {ID_NODE_NUMBERS, "Node numbers"},
                 {ID_PLOT_UNDEFORMED, "Plot undeformed"},
                 {ID_PLOT_DEFORMED, "Plot deformed"}};
    for (const auto& box : boxes) EXPECT_EQ(check_box(box.id).GetLabel(), box.label);
    const struct {
        int id;
        const char* label;
    } buttons[] = {{wxID_OK, "OK"}, {wxID_APPLY, "Apply"}, {wxID_CANCEL, "Cancel"}};
    for (const auto& button : buttons) {
        auto* found = dynamic_cast<wxButton*>(dialog().FindWindow(button.id));
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->GetLabel(), button.label);
    }
    for (int id : {ID_SCALING, ID_EVERY_NTH, ID_WAIT_SECONDS})
        EXPECT_NE(field(id).GetValidator(), nullptr);
    // Check boxes fill the first grid row by row: numbers on the left.
    EXPECT_LT(check_box(ID_ELEMENT_NUMBERS).GetPosition().x,
              check_box(ID_PLOT_UNDEFORMED).GetPosition().x);
    EXPECT_LT(check_box(ID_ELEMENT_NUMBERS).GetPosition().y,
              check_box(ID_NODE_NUMBERS).GetPosition().y);
}

TEST_F(DrawPropDialogTest, OpensOnTheDefaults)
{
    open();
    EXPECT_TRUE(dialog().IsShown());
    EXPECT_FALSE(check_box(ID_ELEMENT_NUMBERS).GetValue());
    EXPECT_FALSE(check_box(ID_NODE_NUMBERS).GetValue());
    EXPECT_TRUE(check_box(ID_PLOT_UNDEFORMED).GetValue());
    EXPECT_FALSE(check_box(ID_PLOT_DEFORMED).GetValue());
    EXPECT_EQ(field(ID_SCALING).GetValue(), "1");
    EXPECT_EQ(field(ID_EVERY_NTH).GetValue(), "1");
    EXPECT_EQ(field(ID_WAIT_SECONDS).GetValue(), "0");
    EXPECT_TRUE(hook.dialogs.empty());
}

TEST_F(DrawPropDialogTest, FieldsShowTheCurrentPropertiesEachTimeItOpens)
{
    DrawProperties& p = properties();
    p.element_numbers = true;
    p.node_numbers = true;
    p.plot_undeformed = false;
    p.plot_deformed = true;
    p.scaling = 250.0;
    p.every_nth = -3;
    p.wait_seconds = 1.5;
    open();
    EXPECT_TRUE(check_box(ID_ELEMENT_NUMBERS).GetValue());
    EXPECT_TRUE(check_box(ID_NODE_NUMBERS).GetValue());
    EXPECT_FALSE(check_box(ID_PLOT_UNDEFORMED).GetValue());
    EXPECT_TRUE(check_box(ID_PLOT_DEFORMED).GetValue());
    EXPECT_EQ(field(ID_SCALING).GetValue(), "250");
    EXPECT_EQ(field(ID_EVERY_NTH).GetValue(), "-3");
    EXPECT_EQ(field(ID_WAIT_SECONDS).GetValue(), "1.5");

    // Changed behind the dialog's back: the next opening shows the new values.
    dialog().Hide();
    p.scaling = 1e-7;
    open();
    EXPECT_EQ(field(ID_SCALING).GetValue(), "1e-07");
}

TEST_F(DrawPropDialogTest, ApplyStoresValidEditsRedrawsAndStaysOpen)
{
    open();
    check_box(ID_NODE_NUMBERS).SetValue(true);
    check_box(ID_PLOT_UNDEFORMED).SetValue(false);
    field(ID_SCALING).ChangeValue("2.5e2");
    field(ID_EVERY_NTH).ChangeValue("3");
    field(ID_WAIT_SECONDS).ChangeValue("0.5");
    {
        CommandProbe refresh(CMD_REFRESH);
        press(wxID_APPLY);
        EXPECT_EQ(refresh.count, 1);
    }
    EXPECT_TRUE(dialog().IsShown());
    EXPECT_TRUE(hook.dialogs.empty());
    const DrawProperties& p = properties();
    EXPECT_FALSE(p.element_numbers);
    EXPECT_TRUE(p.node_numbers);
    EXPECT_FALSE(p.plot_undeformed);
    EXPECT_FALSE(p.plot_deformed);
    EXPECT_EQ(p.scaling, 250.0);
    EXPECT_EQ(p.every_nth, 3);
    EXPECT_EQ(p.wait_seconds, 0.5);
}

TEST_F(DrawPropDialogTest, OkStoresValidEditsHidesAndRedraws)
{
    open();
    check_box(ID_ELEMENT_NUMBERS).SetValue(true);
    field(ID_EVERY_NTH).ChangeValue("0");
    field(ID_WAIT_SECONDS).ChangeValue("-1");
    CommandProbe refresh(CMD_REFRESH);
    press(wxID_OK);
    EXPECT_EQ(refresh.count, 1);
    EXPECT_FALSE(dialog().IsShown());
    EXPECT_TRUE(properties().element_numbers);
    EXPECT_EQ(properties().every_nth, 0);
    EXPECT_EQ(properties().wait_seconds, -1.0);
}

TEST_F(DrawPropDialogTest, TextsThatAreNotNumbersChangeNothing)
{
    // Letters are refused by the toolkit's numeric check with its own message;
    // numeric characters that still do not convert are refused with a message
    // that names the field. A scaling beyond what the drawing holds in single
    // precision is refused with the limit.
    const struct {
        int field;
        const char* text;
        const char* field_named;  // null: the toolkit's message
        const char* limit_named;  // null: no limit to name
    } cases[] = {
        {ID_SCALING, "abc", nullptr, nullptr},
        {ID_WAIT_SECONDS, "1,5x", nullptr, nullptr},
        {ID_SCALING, "1e", "displacement scaling", nullptr},
        {ID_SCALING, "1..2", "displacement scaling", nullptr},
        {ID_WAIT_SECONDS, "--2", "wait seconds per plot", nullptr},
        {ID_SCALING, "", "displacement scaling", nullptr},
        {ID_EVERY_NTH, "2.5", "plot every n-th step", nullptr},
        {ID_EVERY_NTH, "1e3", "plot every n-th step", nullptr},
        {ID_EVERY_NTH, "99999999999", "plot every n-th step", nullptr},
        {ID_SCALING, "1e300", "displacement scaling", "from -3.40282e+38 to 3.40282e+38"},
        {ID_SCALING, "-3.5e38", "displacement scaling", "from -3.40282e+38 to 3.40282e+38"},
        {ID_SCALING, "1e400", "displacement scaling", "from -3.40282e+38 to 3.40282e+38"},
    };
    for (const auto& c : cases) {
        for (int button : {wxID_APPLY, wxID_OK}) {
            SCOPED_TRACE(testing::Message() << "field " << c.field << " \"" << c.text
                                            << "\" button " << button);
            properties().SetDefaults();
            const Edited before = edited();
            open();
            // A valid edit elsewhere must not slip through either.
            check_box(ID_PLOT_DEFORMED).SetValue(true);
            field(c.field).ChangeValue(c.text);
            hook.dialogs.clear();
            CommandProbe refresh(CMD_REFRESH);
            press(button);

            EXPECT_TRUE(edited() == before);
            EXPECT_TRUE(dialog().IsShown());
            EXPECT_EQ(refresh.count, 1);  // redrawn whatever the outcome
            ASSERT_EQ(hook.dialogs.size(), 1u);
            EXPECT_NE(hook.dialogs[0].message.Find(c.text), wxNOT_FOUND)
                << hook.dialogs[0].message;
            if (c.field_named) {
                EXPECT_TRUE(hook.dialogs[0].message.StartsWith(c.field_named))
                    << hook.dialogs[0].message;
            }
            if (c.limit_named) {
                EXPECT_NE(hook.dialogs[0].message.Find(c.limit_named), wxNOT_FOUND)
                    << hook.dialogs[0].message;
            }
            dialog().Hide();
        }
    }
}

// Cancel hides the dialog without storing; the next opening shows the stored
// values again, centred on the main frame although the user had moved the
// dialog away.
TEST_F(DrawPropDialogTest, CancelHidesWithoutStoringAndTheNextOpeningIsCentred)
{
    properties().scaling = 4.0;
    open();
    pump_events(10);
    const wxRect centred = dialog().GetRect();
    const wxRect frame = main_frame().GetRect();
    EXPECT_NEAR(centred.x + centred.width / 2, frame.x + frame.width / 2, 2);

    // The user drags the dialog by its title bar, through the window manager.
    const wxPoint title = dialog().ClientToScreen(wxPoint(40, -10));
    wxUIActionSimulator mouse;
    mouse.MouseMove(title);
    pump_events(3);
    mouse.MouseDown();
    pump_events(3);
    for (int step = 1; step <= 10; ++step) {
        mouse.MouseMove(title + wxPoint(20 * step, 15 * step));
        pump_events(1);
    }
    mouse.MouseUp();
    pump_events(10);
    ASSERT_NE(dialog().GetRect().GetPosition(), centred.GetPosition())
        << "the window manager did not move the dialog";

    field(ID_SCALING).ChangeValue("8");
    check_box(ID_ELEMENT_NUMBERS).SetValue(true);
    press(wxID_CANCEL);
    EXPECT_FALSE(dialog().IsShown());
    EXPECT_EQ(properties().scaling, 4.0);
    EXPECT_FALSE(properties().element_numbers);
    pump_events(10);

    open();
    EXPECT_EQ(field(ID_SCALING).GetValue(), "4");
    EXPECT_FALSE(check_box(ID_ELEMENT_NUMBERS).GetValue());
    pump_events(20);
    EXPECT_EQ(dialog().GetRect().GetPosition(), centred.GetPosition());
}

TEST_F(DrawPropDialogTest, ApplyingPlotDeformedRedrawsWithTheUndeformedMeshInRed)
{
    main_frame().GetHistory().AddFileToHistory(
        wxString::FromUTF8(copy_example("two_bar_truss.dat")));
    main_frame().IssueCommand(CMD_RECENT_FIRST);
    ASSERT_TRUE(loaded);
    const wxImage before = read_canvas();
    EXPECT_EQ(red_pixels(before), 0);
    // The caption "deformation scaling: ..." at (1, 1) belongs to the deformed plot only.
    const wxRect caption(1, 1, 60, 10);
    EXPECT_EQ(dark_pixels(before, caption), 0);

    open();
    check_box(ID_PLOT_DEFORMED).SetValue(true);
    press(wxID_APPLY);
    ASSERT_TRUE(properties().plot_deformed);
    const wxImage after = read_canvas();
    EXPECT_GT(red_pixels(after), 20);
    EXPECT_GT(dark_pixels(after, caption), 5);
}

TEST(DoubleTextValidator, CopyBindsTheSameNumberWithItsOwnText)
{
    double number = 2.0;
    DoubleTextValidator original(&number);
    number = 3.25;
    std::unique_ptr<wxObject> copy(original.Clone());
    auto* clone = dynamic_cast<DoubleTextValidator*>(copy.get());
    ASSERT_NE(clone, nullptr);

    wxDialog host(&main_frame(), wxID_ANY, "validator host");
    auto* text = new wxTextCtrl(&host, wxID_ANY);
    text->SetValidator(*clone);  // the window takes a further copy
    ASSERT_TRUE(host.TransferDataToWindow());
    EXPECT_EQ(text->GetValue(), "3.25");
    text->ChangeValue("-0.125");
    ASSERT_TRUE(host.Validate());
    ASSERT_TRUE(host.TransferDataFromWindow());
    EXPECT_EQ(number, -0.125);
}

TEST(IntTextValidator, CopyBindsTheSameNumberWithItsOwnText)
{
    int number = 7;
    IntTextValidator original(&number);
    wxDialog host(&main_frame(), wxID_ANY, "validator host");
    auto* text = new wxTextCtrl(&host, wxID_ANY);
    text->SetValidator(original);
    number = 12;
    ASSERT_TRUE(host.TransferDataToWindow());
    EXPECT_EQ(text->GetValue(), "12");
    text->ChangeValue("-40");
    ASSERT_TRUE(host.Validate());
    ASSERT_TRUE(host.TransferDataFromWindow());
    EXPECT_EQ(number, -40);
    text->ChangeValue("4.0");
    DialogHook hook;
    EXPECT_FALSE(host.Validate());
    EXPECT_EQ(hook.dialogs.size(), 1u);
    EXPECT_FALSE(host.TransferDataFromWindow());
    EXPECT_EQ(number, -40);
}
