#include "frame.h"

#include <iostream>

#include <wx/accel.h>
#include <wx/colordlg.h>
#include <wx/dcclient.h>
#include <wx/fontdlg.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>

#include "app.h"
#include "canvas.h"
#include "control_dialog.h"
#include "draw_prop_dialog.h"
#include "graphics_frame.h"
#include "log_stream.h"
#include "runner.h"
#include "toplevel_show.h"

#include "kelvaned.xpm"

wxMenu* file_menu = nullptr;

namespace {

// A close that could not be refused arrived while an analysis was running.
bool close_deferred = false;

}  // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(MyFrame, wxFrame)
    EVT_MENU(CMD_LOAD_FILE, MyFrame::OnLoadFile)
    EVT_MENU(CMD_PRINT, MyFrame::OnPrint)
    EVT_MENU(CMD_PRINT_SETUP, MyFrame::OnPrintSetup)
    EVT_MENU(CMD_PRINT_PREVIEW, MyFrame::OnPrintPreview)
    EVT_MENU(CMD_QUIT, MyFrame::OnQuit)
    EVT_MENU_RANGE(CMD_RECENT_FIRST, CMD_RECENT_LAST, MyFrame::OnRecentFile)
    EVT_MENU(CMD_COPY_METAFILE, MyFrame::OnCopyMetafile)
    EVT_MENU(CMD_COPY_BITMAP, MyFrame::OnCopyBitmap)
    EVT_MENU(CMD_CLEAR, MyFrame::OnClear)
    EVT_MENU(CMD_DRAW_PROPERTIES, MyFrame::OnDrawProperties)
    EVT_MENU(CMD_FONT, MyFrame::OnFont)
    EVT_MENU(CMD_ELEMENT_FONT, MyFrame::OnElementFont)
    EVT_MENU(CMD_NODE_FONT, MyFrame::OnNodeFont)
    EVT_MENU(CMD_ZOOM_IN, MyFrame::OnZoomIn)
    EVT_MENU(CMD_ZOOM_OUT, MyFrame::OnZoomOut)
    EVT_MENU(CMD_FIT, MyFrame::OnFit)
    EVT_MENU(CMD_REFRESH, MyFrame::OnRefresh)
    EVT_MENU(CMD_ABOUT, MyFrame::OnAbout)
    EVT_MENU(CMD_RUN, MyFrame::OnRunAnalysis)
    EVT_MENU(CMD_CONTINUE, MyFrame::OnContinueAnalysis)
    EVT_MENU(CMD_END, MyFrame::OnAnalysisEnd)
    EVT_CLOSE(MyFrame::OnCloseWindow)
wxEND_EVENT_TABLE()
// clang-format on

MyFrame::MyFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size)
    : wxFrame(parent, wxID_ANY, title, pos, size, wxDEFAULT_FRAME_STYLE),
      history(9, CMD_RECENT_FIRST)
{
    SetMainFrame(this);
    CreateStatusBar(2);

    const wxIcon icon(kelvaned_xpm);
    SetIcon(icon);

    file_menu = new wxMenu;
    file_menu->Append(CMD_LOAD_FILE, "&Load file ...\tCtrl+L", "Load a data file");
    file_menu->AppendSeparator();
    file_menu->Append(CMD_PRINT, "&Print graphics", "Print graphics to printer");
    file_menu->Append(CMD_PRINT_SETUP, "Print &setup", "Setup printer properties");
    file_menu->Append(CMD_PRINT_PREVIEW, "Print pre&view", "Preview graphics to print");
    file_menu->AppendSeparator();
    file_menu->Append(CMD_QUIT, "&Quit", "Quit program");
    // The history puts its own separator before the first recent file.
    history.UseMenu(file_menu);

    wxMenu* edit_menu = new wxMenu;
    edit_menu->Append(CMD_COPY_METAFILE, "Copy picture (&mf)", "Copy metafile to clipboard");
    edit_menu->Append(CMD_COPY_BITMAP, "Copy picture (&bmp)\tCtrl+C", "Copy bitmap to clipboard");
    edit_menu->Append(CMD_CLEAR, "&Clear", "Clear screen");

    wxMenu* view_menu = new wxMenu;
    view_menu->Append(CMD_DRAW_PROPERTIES, "&Draw prop...", "Select drawing properties");
    view_menu->Append(CMD_FONT, "Select &font ...", "Select font and size for graphics");
    view_menu->Append(CMD_ELEMENT_FONT, "Select &element font ...",
                      "Select font and size for element numbers");
    view_menu->Append(CMD_NODE_FONT, "Select &node font ...",
                      "Select font and size for node numbers");
    view_menu->Append(CMD_ZOOM_IN, "Zoom &In", "Zoom in, graphics screen");
    view_menu->Append(CMD_ZOOM_OUT, "Zoom &Out", "Zoom out, graphics screen");
    view_menu->AppendSeparator();
    view_menu->Append(CMD_FIT, "&Fit", "Fit model to screen");
    view_menu->Append(CMD_REFRESH, "&Refresh", "Refresh graphics screen");

    wxMenu* help_menu = new wxMenu;
    help_menu->Append(CMD_ABOUT, "&About", "About KelVaneD");

    menu_bar = new wxMenuBar;
    menu_bar->Append(file_menu, "&File");
    menu_bar->Append(edit_menu, "&Edit");
    menu_bar->Append(view_menu, "&View");
    menu_bar->Append(help_menu, "&Help");
    SetMenuBar(menu_bar);

    wxAcceleratorEntry quit_key(wxACCEL_NORMAL, 'q', CMD_QUIT);
    SetAcceleratorTable(wxAcceleratorTable(1, &quit_key));

    control_dialog = new ControlDialog(this);
    draw_prop_dialog = new DrawPropDialog(this, &draw_properties, "drawing properties");

    // Long messages wrap at the window's width, so that their end (a limit, what
    // to do about it) is never out of sight.
    log = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                         wxTE_MULTILINE | wxTE_READONLY | wxTE_BESTWRAP);
    log->SetFont(GetLogFont());

    stdout_redirector = std::make_unique<LogRedirector>(std::cout, log);
    stderr_redirector = std::make_unique<LogRedirector>(std::cerr, log);

    graphics_frame =
        new GraphicsFrame(this, "KelVaneD graphics", wxPoint(300, 300), wxSize(400, 300));
    canvas = new MyCanvas(graphics_frame, wxPoint(0, 0), graphics_frame->GetClientSize(), 0);
    canvas->SetBackgroundColour(wxColour("WHITE"));

    // The shortcut that the Edit menu shows copies the picture from either frame:
    // the log would take it as its own, the graphics frame has no menu.
    Bind(wxEVT_CHAR_HOOK, &MyFrame::OnCopyKey, this);
    graphics_frame->Bind(wxEVT_CHAR_HOOK, &MyFrame::OnCopyKey, this);

    graphics_frame->SetIcon(icon);
    // Every window is laid out at its own size before any of them appears.
    prepare_to_show(*this);
    prepare_to_show(*graphics_frame);
    prepare_to_show(*control_dialog);
    prepare_to_show(*draw_prop_dialog);
    Show(true);
    graphics_frame->Show(true);
}

MyFrame::~MyFrame()
{
    // A frame destroyed without its close handler must not leave the standard
    // streams writing into a deleted log window.
    RestoreStandardStreams();
    file_menu = nullptr;
    if (GetMainFrame() == this) SetMainFrame(nullptr);
}

bool MyFrame::IssueCommand(int id)
{
    if (menu_bar) {
        const wxMenuItem* item = menu_bar->FindItem(id);
        if (item && !item->IsEnabled()) return true;
    }
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(this);
    return ProcessWindowEvent(event);
}

void MyFrame::RestoreStandardStreams()
{
    stdout_redirector.reset();
    stderr_redirector.reset();
}

void MyFrame::OnQuit(wxCommandEvent&) { Close(false); }

void MyFrame::OnClear(wxCommandEvent&)
{
    log->Clear();
    SetStatusText(wxEmptyString, 1);
    // The picture comes back at the next repaint.
    wxClientDC dc(canvas);
    dc.SetBackground(wxBrush(canvas->GetBackgroundColour()));
    dc.Clear();
}

void MyFrame::OnDrawProperties(wxCommandEvent&)
{
    // Centred once shown: a hidden window that the user had moved comes back
    // where it was left, whatever position it was given while hidden.
    draw_prop_dialog->Show(true);
    draw_prop_dialog->Centre(wxBOTH);
}

bool MyFrame::ChooseFont(wxFont& font, wxColour& colour)
{
    wxFontData data;
    data.SetInitialFont(font);
    data.SetChosenFont(font);
    data.SetColour(colour);
    wxFontDialog font_dialog(this, data);
    if (font_dialog.ShowModal() != wxID_OK) return false;

    const wxFontData& chosen = font_dialog.GetFontData();
    if (chosen.GetChosenFont().IsOk()) font = chosen.GetChosenFont();

    // The platform's font dialog cannot pick a colour: ask for it separately.
    wxColourData colour_data;
    colour_data.SetColour(chosen.GetColour().IsOk() ? chosen.GetColour() : colour);
    wxColourDialog colour_dialog(this, &colour_data);
    if (colour_dialog.ShowModal() == wxID_OK && colour_dialog.GetColourData().GetColour().IsOk())
        colour = colour_dialog.GetColourData().GetColour();
    return true;
}

void MyFrame::OnFont(wxCommandEvent&)
{
    if (ChooseFont(draw_properties.graphics_font, draw_properties.graphics_colour))
        IssueCommand(CMD_REFRESH);
}

void MyFrame::OnElementFont(wxCommandEvent&)
{
    if (ChooseFont(draw_properties.element_font, draw_properties.element_colour))
        IssueCommand(CMD_REFRESH);
}

void MyFrame::OnNodeFont(wxCommandEvent&)
{
    if (ChooseFont(draw_properties.node_font, draw_properties.node_colour))
        IssueCommand(CMD_REFRESH);
}

void MyFrame::OnZoomIn(wxCommandEvent&)
{
    SetStatusText("click corner and drag to opposite", 0);
    zoom_mode = true;
    canvas->SetCursor(wxCursor(wxCURSOR_CROSS));
}

void MyFrame::OnFit(wxCommandEvent&)
{
    FitToWindow();
    IssueCommand(CMD_REFRESH);
}

void MyFrame::OnRefresh(wxCommandEvent&)
{
    // Update paints at once, so the picture shows before the next analysis step.
    canvas->Refresh(true);
    canvas->Update();
}

void MyFrame::OnAbout(wxCommandEvent&)
{
    wxMessageBox("KelVaneD 0.5\nA finite-element program for small structural and thermal "
                 "models, by the KelVaneD developers",
                 "About KelVaneD", wxOK | wxICON_INFORMATION | wxCENTRE, this);
}

void MyFrame::OnCopyKey(wxKeyEvent& event)
{
    const bool copy_key = event.GetKeyCode() == 'C' && event.GetModifiers() == wxMOD_CONTROL;
    // Text selected in the log is copied as text.
    if (!copy_key || (wxWindow::FindFocus() == log && log->CanCopy())) {
        event.Skip();
        return;
    }
    IssueCommand(CMD_COPY_BITMAP);
}

void MyFrame::OnCloseWindow(wxCloseEvent& event)
{
    if (running) {
        if (event.CanVeto()) {
            event.Veto();
            wxMessageBox("Stop the running analysis first!", wxMessageBoxCaptionStr,
                         wxOK | wxCENTRE, this);
            return;
        }
        // A close that cannot be refused waits until the running steps have
        // unwound: destroying the dialog now would pull it from under the runner.
        // It is retried when the event loop is idle; a call posted again from the
        // analysis's own yields would be run again by the same yield, for ever.
        control_dialog->SetHalted(true);
        control_dialog->SetCancelled(true);
        if (!close_deferred) {
            close_deferred = true;
            Bind(wxEVT_IDLE, [this](wxIdleEvent& idle) {
                idle.Skip();
                if (running || !close_deferred) return;
                close_deferred = false;
                Close(true);
            });
        }
        return;
    }
    if (!control_dialog) return;  // already closing
    control_dialog->Destroy();
    control_dialog = nullptr;
    draw_prop_dialog->Destroy();
    draw_prop_dialog = nullptr;
    RestoreStandardStreams();
    Hide();
    Destroy();
}
