// The main frame: start-up, menus, log window, command dispatch, the shell's
// handlers and closing.
#include <clocale>
#include <cstdio>
#include <functional>
#include <iostream>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>
#include <wx/clipbrd.h>
#include <wx/colordlg.h>
#include <wx/dataobj.h>
#include <wx/fontdlg.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "app.h"
#include "canvas.h"
#include "control_dialog.h"
#include "draw_prop_dialog.h"
#include "frame.h"
#include "graphics_frame.h"
#include "gui_test_support.h"
#include "log_stream.h"
#include "runner.h"

using namespace gui_test;

namespace {

struct MenuEntry {
    int id;  // wxID_SEPARATOR for a separator
    const char* label;
    const char* help;
};

void expect_menu(const wxMenu* menu, const std::vector<MenuEntry>& expected)
{
    ASSERT_GE(menu->GetMenuItemCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const wxMenuItem* item = menu->FindItemByPosition(i);
        SCOPED_TRACE(testing::Message() << "menu position " << i);
        if (expected[i].id == wxID_SEPARATOR) {
            EXPECT_TRUE(item->IsSeparator());
            continue;
        }
        EXPECT_EQ(item->GetId(), expected[i].id);
        EXPECT_EQ(item->GetItemLabel(), wxString(expected[i].label));
        EXPECT_EQ(item->GetHelp(), wxString(expected[i].help));
    }
}

// Records close requests of the main frame and refuses them, so that a test can
// ask the frame to close without ending the program.
class CloseRecorder {
public:
    CloseRecorder() { main_frame().Bind(wxEVT_CLOSE_WINDOW, &CloseRecorder::OnClose, this); }
    ~CloseRecorder() { main_frame().Unbind(wxEVT_CLOSE_WINDOW, &CloseRecorder::OnClose, this); }
    int requests = 0;
    bool could_veto = false;

private:
    void OnClose(wxCloseEvent& event)
    {
        ++requests;
        could_veto = event.CanVeto();
        event.Veto();
    }
};

}  // namespace

TEST(MainFrame, StartsWithMenusStatusBarAndBothWindows)
{
    MyFrame& frame = main_frame();
    EXPECT_EQ(frame.GetTitle(), "KelVaneD");
    EXPECT_TRUE(frame.IsShown());
    EXPECT_EQ(wxTheApp->GetTopWindow(), &frame);
    EXPECT_TRUE(frame.GetIcon().IsOk());
    ASSERT_NE(frame.GetStatusBar(), nullptr);
    EXPECT_EQ(frame.GetStatusBar()->GetFieldsCount(), 2);

    wxMenuBar* bar = frame.GetMenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->GetMenuCount(), 4u);
    EXPECT_EQ(bar->GetMenuLabel(0), "&File");
    EXPECT_EQ(bar->GetMenuLabel(1), "&Edit");
    EXPECT_EQ(bar->GetMenuLabel(2), "&View");
    EXPECT_EQ(bar->GetMenuLabel(3), "&Help");
    EXPECT_EQ(bar->GetMenu(0), file_menu);

    expect_menu(bar->GetMenu(0), {{10, "&Load file ...\tCtrl+L", "Load a data file"},
                                  {wxID_SEPARATOR, "", ""},
                                  {11, "&Print graphics", "Print graphics to printer"},
                                  {12, "Print &setup", "Setup printer properties"},
                                  {13, "Print pre&view", "Preview graphics to print"},
                                  {wxID_SEPARATOR, "", ""},
                                  {15, "&Quit", "Quit program"}});
    expect_menu(bar->GetMenu(1),
                {{16, "Copy picture (&mf)", "Copy metafile to clipboard"},
                 {18, "Copy picture (&bmp)\tCtrl+C", "Copy bitmap to clipboard"},
                 {19, "&Clear", "Clear screen"}});
    expect_menu(bar->GetMenu(2),
                {{20, "&Draw prop...", "Select drawing properties"},
                 {21, "Select &font ...", "Select font and size for graphics"},
                 {22, "Select &element font ...", "Select font and size for element numbers"},
                 {23, "Select &node font ...", "Select font and size for node numbers"},
                 {24, "Zoom &In", "Zoom in, graphics screen"},
                 {25, "Zoom &Out", "Zoom out, graphics screen"},
                 {wxID_SEPARATOR, "", ""},
                 {26, "&Fit", "Fit model to screen"},
                 {27, "&Refresh", "Refresh graphics screen"}});
    expect_menu(bar->GetMenu(3), {{28, "&About", "About KelVaneD"}});
    EXPECT_EQ(bar->GetMenu(3)->GetMenuItemCount(), 1u);

    EXPECT_EQ(frame.GetHistory().GetBaseId(), 5050);
    EXPECT_EQ(frame.GetHistory().GetMaxFiles(), 9u);

    wxTextCtrl* log = frame.GetLog();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->IsMultiLine());
    EXPECT_EQ(log->GetSize(), frame.GetClientSize()) << "the log fills the client area";
    EXPECT_FALSE(log->IsEditable());
    EXPECT_TRUE(log->GetFont().IsFixedWidth());
    EXPECT_EQ(log->GetFont().GetPointSize(), 12);

    GraphicsFrame* graphics = frame.GetGraphicsFrame();
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(graphics->GetTitle(), "KelVaneD graphics");
    EXPECT_EQ(graphics->GetParent(), &frame);
    EXPECT_TRUE(graphics->IsShown());
    EXPECT_TRUE(graphics->GetIcon().IsOk());
    EXPECT_FALSE(graphics->HasFlag(wxCLOSE_BOX));
    EXPECT_FALSE(graphics->HasFlag(wxSYSTEM_MENU));
    EXPECT_TRUE(graphics->HasFlag(wxRESIZE_BORDER));

    MyCanvas* canvas = frame.GetCanvas();
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(canvas->GetParent(), graphics);
    EXPECT_EQ(canvas->GetBackgroundColour(), *wxWHITE);

    ASSERT_NE(frame.GetControlDialog(), nullptr);
    EXPECT_EQ(frame.GetControlDialog()->GetParent(), &frame);
    // Created hidden; nothing is loaded at start.
    if (!loaded) {
        EXPECT_FALSE(frame.GetControlDialog()->IsShown());
    }
    ASSERT_NE(frame.GetDrawPropDialog(), nullptr);
    EXPECT_EQ(frame.GetDrawPropDialog()->GetParent(), &frame);
    EXPECT_FALSE(frame.GetDrawPropDialog()->IsShown());

    // The windows had their sizes before they appeared: GTK laid nothing out at
    // 1 pixel while the program started ("Negative content height", failed
    // allocation assertions).
    EXPECT_EQ(complaints_between_tests(), std::vector<std::string>());
}

TEST(MainFrame, NumbersUseTheCLocale)
{
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    char text[32];
    std::snprintf(text, sizeof text, "%g", 2.5);
    EXPECT_STREQ(text, "2.5");
    std::ostringstream stream;
    stream << 1234.5;
    EXPECT_EQ(stream.str(), "1234.5");
}

TEST(MainFrame, LogShowsStandardOutputAndErrorByLine)
{
    wxTextCtrl* log = main_frame().GetLog();
    log->Clear();

    std::cout << "line without end";
    EXPECT_EQ(log->GetValue(), "") << "output waits for the line end";
    std::cout << ", continued\n";
    EXPECT_EQ(log->GetValue(), "line without end, continued\n");

    std::cerr << "to standard error" << std::endl;
    EXPECT_TRUE(log_contains("to standard error\n"));

    // UTF-8 is decoded, also when a flush falls inside a character.
    std::cout << "Gr\xC3\xBC\xC3\x9F" "e \xC3" << std::flush;
    std::cout << "\xA9t\xC3\xA9 3.5 m\xC2\xB2" << std::endl;
    EXPECT_TRUE(log_contains(wxString::FromUTF8("Grüße été 3.5 m²\n")));

    // Bytes that are not UTF-8 still show, as Latin-1.
    std::cout << "caf\xE9\n" << std::flush;
    EXPECT_TRUE(log_contains(wxString::FromUTF8("café\n")));

    // Many lines arrive complete and in order.
    log->Clear();
    for (int i = 0; i < 200; ++i) std::cout << "row " << i << '\n';
    std::cout.flush();
    wxString expected;
    for (int i = 0; i < 200; ++i) expected << "row " << i << '\n';
    EXPECT_EQ(log->GetValue(), expected);
    log->Clear();
}

TEST(MainFrame, RedirectorPutsThePreviousBufferBack)
{
    wxTextCtrl* text = new wxTextCtrl(&main_frame(), wxID_ANY, wxEmptyString, wxDefaultPosition,
                                      wxDefaultSize, wxTE_MULTILINE);
    std::ostringstream stream;
    std::streambuf* original = stream.rdbuf();
    {
        LogRedirector redirector(stream, text);
        stream << "into the window" << std::endl;
        stream << "unfinished";
        EXPECT_NE(static_cast<std::ostream&>(stream).rdbuf(), original);
    }
    EXPECT_EQ(static_cast<std::ostream&>(stream).rdbuf(), original);
    stream << "back home";
    EXPECT_EQ(text->GetValue(), "into the window\nunfinished");
    EXPECT_EQ(stream.str(), "back home");
    text->Destroy();
}

TEST(MainFrame, IssuedCommandsHonourDisabledMenuItems)
{
    MyFrame& frame = main_frame();
    {
        CommandProbe clear(CMD_CLEAR);
        frame.GetMenuBar()->Enable(CMD_CLEAR, false);
        EXPECT_TRUE(frame.IssueCommand(CMD_CLEAR));
        EXPECT_EQ(clear.count, 0) << "a disabled menu item swallows its command";
        frame.GetMenuBar()->Enable(CMD_CLEAR, true);
        EXPECT_TRUE(frame.IssueCommand(CMD_CLEAR));
        EXPECT_EQ(clear.count, 1);
    }
    // Run, continue and end have no menu item and still arrive, synchronously.
    for (int id : {CMD_RUN, CMD_CONTINUE, CMD_END}) {
        CommandProbe probe(id);
        EXPECT_TRUE(frame.IssueCommand(id));
        EXPECT_EQ(probe.count, 1) << "command " << id;
    }
}

TEST(MainFrame, ClearEmptiesLogAndModelNameButKeepsTheModel)
{
    MyFrame& frame = main_frame();
    std::cout << "something to clear" << std::endl;
    frame.SetStatusText("model.dat", 1);
    frame.SetStatusText("status", 0);
    MyDomain* model_before = domain;

    frame.IssueCommand(CMD_CLEAR);

    EXPECT_EQ(frame.GetLog()->GetValue(), "");
    EXPECT_EQ(frame.GetStatusBar()->GetStatusText(1), "");
    EXPECT_EQ(frame.GetStatusBar()->GetStatusText(0), "status");
    EXPECT_EQ(domain, model_before);
    frame.SetStatusText("", 0);
}

TEST(MainFrame, AboutBoxNamesProgramAndVersion)
{
    DialogHook hook;
    main_frame().IssueCommand(CMD_ABOUT);
    ASSERT_EQ(hook.dialogs.size(), 1u);
    EXPECT_EQ(hook.dialogs[0].caption, "About KelVaneD");
    EXPECT_TRUE(hook.dialogs[0].message.StartsWith("KelVaneD 0.5\n"));
    EXPECT_GT(hook.dialogs[0].message.length(), wxString("KelVaneD 0.5\n").length());
    EXPECT_TRUE(hook.dialogs[0].style & wxICON_INFORMATION);
    EXPECT_TRUE(hook.dialogs[0].style & wxOK);
}

// Each font command edits its own font and colour; a confirmed font dialog is
// followed by a colour dialog, and only a confirmed font dialog refreshes.
TEST(MainFrame, FontCommandsChangeFontAndColourOnlyWhenConfirmed)
{
    MyFrame& frame = main_frame();
    DrawProperties& properties = frame.GetDrawProperties();
    struct Case {
        int command;
        wxFont* font;
        wxColour* colour;
    };
    const std::vector<Case> cases = {
        {CMD_FONT, &properties.graphics_font, &properties.graphics_colour},
        {CMD_ELEMENT_FONT, &properties.element_font, &properties.element_colour},
        {CMD_NODE_FONT, &properties.node_font, &properties.node_colour}};

    const wxFont chosen_font(wxFontInfo(17).Family(wxFONTFAMILY_TELETYPE));
    const wxColour chosen_colour(10, 20, 30);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << c.command);
        properties.SetDefaults();
        const wxFont old_font = *c.font;
        const wxColour old_colour = *c.colour;
        CommandProbe refresh(CMD_REFRESH);
        DialogHook hook;
        wxFont initial_font;
        wxColour initial_colour;
        std::vector<std::string> asked;
        // The user picks a font; the colour dialog that follows starts from the
        // font dialog's colour, so an OK there takes the colour set here.
        hook.on_dialog = [&](wxDialog* dialog) {
            if (auto* fonts = dynamic_cast<wxFontDialog*>(dialog)) {
                asked.push_back("font");
                initial_font = fonts->GetFontData().GetInitialFont();
                initial_colour = fonts->GetFontData().GetColour();
                fonts->GetFontData().SetChosenFont(chosen_font);
                fonts->GetFontData().SetColour(chosen_colour);
            } else if (dynamic_cast<wxColourDialog*>(dialog)) {
                asked.push_back("colour");
            }
        };

        // Cancelled: nothing changes, no refresh.
        hook.Answer(wxID_CANCEL);
        frame.IssueCommand(c.command);
        EXPECT_EQ(hook.dialogs.size(), 1u);
        EXPECT_TRUE(initial_font == old_font);
        EXPECT_EQ(initial_colour, old_colour);
        EXPECT_TRUE(*c.font == old_font);
        EXPECT_EQ(*c.colour, old_colour);
        EXPECT_EQ(refresh.count, 0);

        // Font confirmed, colour cancelled: the font changes, the colour stays.
        hook.Answer(wxID_OK);
        hook.Answer(wxID_CANCEL);
        frame.IssueCommand(c.command);
        EXPECT_EQ(asked, (std::vector<std::string>{"font", "font", "colour"}));
        EXPECT_EQ(c.font->GetPointSize(), 17);
        EXPECT_EQ(*c.colour, old_colour);
        EXPECT_EQ(refresh.count, 1);

        // Both confirmed.
        *c.font = old_font;
        hook.Answer(wxID_OK);
        hook.Answer(wxID_OK);
        frame.IssueCommand(c.command);
        EXPECT_EQ(c.font->GetPointSize(), 17);
        EXPECT_EQ(*c.colour, chosen_colour);
        EXPECT_EQ(refresh.count, 2);
    }
    properties.SetDefaults();
}

TEST(MainFrame, ZoomInAsksForTheRectangle)
{
    MyFrame& frame = main_frame();
    zoom_mode = false;
    frame.IssueCommand(CMD_ZOOM_IN);
    EXPECT_EQ(frame.GetStatusBar()->GetStatusText(0), "click corner and drag to opposite");
    EXPECT_TRUE(zoom_mode);
    EXPECT_TRUE(frame.GetCanvas()->GetCursor().IsOk());
    zoom_mode = false;
    frame.GetCanvas()->SetCursor(wxNullCursor);
    frame.SetStatusText("", 0);
}

TEST(MainFrame, FitIssuesARefresh)
{
    CommandProbe refresh(CMD_REFRESH);
    main_frame().IssueCommand(CMD_FIT);
    EXPECT_EQ(refresh.count, 1);
}

TEST(MainFrame, QuitAsksTheFrameToClose)
{
    CloseRecorder closes;
    main_frame().IssueCommand(CMD_QUIT);
    EXPECT_EQ(closes.requests, 1);
    EXPECT_TRUE(closes.could_veto) << "quit is an ordinary, refusable close request";
}

TEST(MainFrame, CloseIsRefusedWhileAnAnalysisRuns)
{
    MyFrame& frame = main_frame();
    DialogHook hook;
    DisableFileMenu();
    EXPECT_FALSE(frame.Close(false));
    EnableFileMenu();

    ASSERT_EQ(hook.dialogs.size(), 1u);
    EXPECT_EQ(hook.dialogs[0].message, "Stop the running analysis first!");
    EXPECT_EQ(hook.dialogs[0].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(GetMainFrame(), &frame);
    EXPECT_TRUE(frame.IsShown());
    EXPECT_NE(frame.GetControlDialog(), nullptr);
    // The log still receives standard output.
    frame.GetLog()->Clear();
    std::cout << "still redirected" << std::endl;
    EXPECT_TRUE(log_contains("still redirected"));
    frame.GetLog()->Clear();
}

TEST(MainFrame, PlainKeyQRequestsTheClose)
{
    MyFrame& frame = main_frame();
    DialogHook hook;
    frame.Raise();
    frame.GetLog()->SetFocus();
    pump_events(10);

    DisableFileMenu();  // the close is then refused with a message
    wxUIActionSimulator keys;
    keys.Char('q');
    const bool refused = wait_until([&] { return !hook.dialogs.empty(); }, 2000);
    EnableFileMenu();

    ASSERT_TRUE(refused) << "the key 'q' did not reach the frame's accelerator";
    EXPECT_EQ(hook.dialogs[0].message, "Stop the running analysis first!");
    EXPECT_EQ(frame.GetLog()->GetValue().Find('q'), wxNOT_FOUND);
}

// Ctrl+C, which the Edit menu shows for the picture copy, copies the picture from
// the graphics window and from the main window, unless text of the log is
// selected: that is copied as text.
TEST(MainFrame, CopyKeyCopiesThePictureUnlessLogTextIsSelected)
{
    enum class Focus { canvas, log, log_with_selection };
    const struct {
        const char* name;
        Focus focus;
        int picture_copies;
    } cases[] = {
        {"graphics window", Focus::canvas, 1},
        {"main window", Focus::log, 1},
        {"main window with log text selected", Focus::log_with_selection, 0},
    };
    MyFrame& frame = main_frame();
    wxTextCtrl& log = *frame.GetLog();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        std::cout << "selected words" << std::endl;
        wxWindow* target = &log;
        if (c.focus == Focus::canvas) {
            frame.GetGraphicsFrame()->Raise();
            target = frame.GetCanvas();
        } else {
            frame.Raise();
        }
        target->SetFocus();
        ASSERT_TRUE(wait_until([&] { return wxWindow::FindFocus() == target; }, 2000));
        if (c.focus == Focus::log_with_selection) log.SetSelection(0, 8);
        pump_events(5);

        CommandProbe copy(CMD_COPY_BITMAP);
        wxUIActionSimulator keys;
        keys.Char('c', wxMOD_CONTROL);
        pump_events(20);
        EXPECT_EQ(copy.count, c.picture_copies);
        if (c.focus == Focus::log_with_selection && wxTheClipboard->Open()) {
            wxTextDataObject text;
            EXPECT_TRUE(wxTheClipboard->GetData(text));
            wxTheClipboard->Close();
            EXPECT_EQ(text.GetText(), "selected");
        }
    }
    log.Clear();
}

// The dialogs that stay open beside the frames (made hidden at start-up) paint
// their controls as they appear.
TEST(MainFrame, ModelessDialogsShowTheirControlsWhenTheyAppear)
{
    MyFrame& frame = main_frame();
    const struct {
        const char* name;
        wxDialog* dialog;
        std::function<void()> open;
    } cases[] = {
        {"control dialog", frame.GetControlDialog(), [&] { frame.GetControlDialog()->Show(); }},
        {"drawing properties", frame.GetDrawPropDialog(),
         [&] { frame.IssueCommand(CMD_DRAW_PROPERTIES); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool was_shown = c.dialog->IsShown();
        c.dialog->Hide();
        pump_events(20);
        const wxImage before = read_screen(wxRect(wxGetDisplaySize()));
        c.open();
        ASSERT_TRUE(wait_until([&] { return c.dialog->IsShownOnScreen(); }, 2000));
        pump_events(40);
        const wxRect area(c.dialog->ClientToScreen(wxPoint(0, 0)), c.dialog->GetClientSize());
        const wxImage shot = read_screen(area);
        ASSERT_TRUE(shot.IsOk());
        ASSERT_TRUE(before.IsOk());
        ASSERT_TRUE(wxRect(before.GetSize()).Contains(area));
        EXPECT_FALSE(painted_nothing(shot, before.GetSubImage(area)));
        if (!was_shown) c.dialog->Hide();
        pump_events();
    }
}

TEST(GraphicsFrame, CannotBeClosedOnItsOwn)
{
    GraphicsFrame* graphics = main_frame().GetGraphicsFrame();
    DialogHook hook;
    EXPECT_FALSE(graphics->Close(false));
    ASSERT_EQ(hook.dialogs.size(), 1u);
    EXPECT_EQ(hook.dialogs[0].message, "The graphics window can not be deleted separately");
    EXPECT_EQ(hook.dialogs[0].caption, "Graphics frame deletion message");
    pump_events();
    EXPECT_EQ(main_frame().GetGraphicsFrame(), graphics);
    EXPECT_TRUE(graphics->IsShown());
}
