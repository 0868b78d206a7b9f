#ifndef KELVANED_GUI_FRAME_H
#define KELVANED_GUI_FRAME_H

#include <memory>

#include <wx/filehistory.h>
#include <wx/frame.h>
#include <wx/string.h>

#include "draw_properties.h"

class wxDC;
class wxMenu;
class wxMenuBar;
class wxTextCtrl;
class MyDomain;
class MyCanvas;
class GraphicsFrame;
class ControlDialog;
class DrawPropDialog;
class LogRedirector;
namespace KelVane {
template <class DomainType>
class Control;
}

// Command identifiers of the main frame. Run, continue and end have no menu item:
// the control dialog and the runner issue them through MyFrame::IssueCommand.
enum FrameCommand : int {
    CMD_LOAD_FILE = 10,
    CMD_PRINT = 11,
    CMD_PRINT_SETUP = 12,
    CMD_PRINT_PREVIEW = 13,
    CMD_QUIT = 15,
    CMD_COPY_METAFILE = 16,
    CMD_COPY_BITMAP = 18,
    CMD_CLEAR = 19,
    CMD_DRAW_PROPERTIES = 20,
    CMD_FONT = 21,
    CMD_ELEMENT_FONT = 22,
    CMD_NODE_FONT = 23,
    CMD_ZOOM_IN = 24,
    CMD_ZOOM_OUT = 25,
    CMD_FIT = 26,
    CMD_REFRESH = 27,
    CMD_ABOUT = 28,
    CMD_RUN = 29,
    CMD_CONTINUE = 30,
    CMD_END = 31,
    CMD_RECENT_FIRST = 5050,  // recent files: entry = id - CMD_RECENT_FIRST
    CMD_RECENT_LAST = 5058
};

// The File menu, kept process-wide so that DisableFileMenu and EnableFileMenu
// reach its load and recent-file items. Null while no main frame exists.
extern wxMenu* file_menu;

// The main frame: menus, status bar, the read-only log window that shows standard
// output and standard error, and the owner of the graphics frame, the control
// dialog and the drawing properties. The analysis runner and the model drawing
// are members of this frame as well.
class MyFrame : public wxFrame {
public:
    MyFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size);
    ~MyFrame() override;

    // Sends the menu command `id` to this frame synchronously, so that run,
    // continue and end nest on one stack. A disabled menu item with that id
    // swallows the command (true is returned, nothing runs); ids without a menu
    // item are delivered. Returns whether a handler took the command.
    bool IssueCommand(int id);

    // Menu handlers of the shell (frame.cpp).
    void OnQuit(wxCommandEvent& event);
    void OnClear(wxCommandEvent& event);
    void OnDrawProperties(wxCommandEvent& event);
    void OnFont(wxCommandEvent& event);
    void OnElementFont(wxCommandEvent& event);
    void OnNodeFont(wxCommandEvent& event);
    void OnZoomIn(wxCommandEvent& event);
    void OnFit(wxCommandEvent& event);
    void OnRefresh(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnCloseWindow(wxCloseEvent& event);
    // Ctrl+C, in the main frame and the graphics frame: copies the picture.
    void OnCopyKey(wxKeyEvent& event);

    // Printing, preview (printout.cpp) and clipboard copies (clipboard.cpp).
    void OnPrint(wxCommandEvent& event);
    void OnPrintSetup(wxCommandEvent& event);
    void OnPrintPreview(wxCommandEvent& event);
    void OnCopyMetafile(wxCommandEvent& event);
    void OnCopyBitmap(wxCommandEvent& event);

    // The analysis runner (runner.cpp).
    void OnLoadFile(wxCommandEvent& event);
    void OnRecentFile(wxCommandEvent& event);
    // Reads `file_name` into a new model container and control (the old ones are
    // deleted first); true when the model was read without errors.
    bool OpenModel(const wxString& file_name, MyDomain*& domain,
                   KelVane::Control<MyDomain>*& control);
    void OnRunAnalysis(wxCommandEvent& event);
    void OnContinueAnalysis(wxCommandEvent& event);
    void OnAnalysisEnd(wxCommandEvent& event);

    // Model drawing, fit, zoom and pan (frame_drawing.cpp).
    void DrawModel(wxDC& dc);
    void FitToWindow();
    void OnZoomOut(wxCommandEvent& event);
    void Pan(float fx, float fy);

    wxTextCtrl* GetLog() const { return log; }
    MyCanvas* GetCanvas() const { return canvas; }
    GraphicsFrame* GetGraphicsFrame() const { return graphics_frame; }
    ControlDialog* GetControlDialog() const { return control_dialog; }
    DrawPropDialog* GetDrawPropDialog() const { return draw_prop_dialog; }
    DrawProperties& GetDrawProperties() { return draw_properties; }
    wxFileHistory& GetHistory() { return history; }
    const wxString& GetLastDirectory() const { return last_directory; }

private:
    // Asks for a font and then its colour (the platform's font dialog has no
    // colour control); true when the font dialog was confirmed.
    bool ChooseFont(wxFont& font, wxColour& colour);
    // Puts standard output and standard error back on their own buffers.
    void RestoreStandardStreams();

    wxTextCtrl* log = nullptr;
    MyCanvas* canvas = nullptr;
    GraphicsFrame* graphics_frame = nullptr;
    ControlDialog* control_dialog = nullptr;
    std::unique_ptr<LogRedirector> stdout_redirector;
    std::unique_ptr<LogRedirector> stderr_redirector;
    wxFileHistory history;
    wxString last_directory;  // start directory of the load dialog
    DrawProperties draw_properties;
    DrawPropDialog* draw_prop_dialog = nullptr;
    wxMenuBar* menu_bar = nullptr;

    wxDECLARE_EVENT_TABLE();
};

#endif
