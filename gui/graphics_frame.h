#ifndef KELVANED_GUI_GRAPHICS_FRAME_H
#define KELVANED_GUI_GRAPHICS_FRAME_H

#include <wx/frame.h>

// The second top-level window, holding the drawing canvas. It belongs to the main
// frame and cannot be closed on its own.
class GraphicsFrame : public wxFrame {
public:
    GraphicsFrame(wxFrame* parent, const wxString& title, const wxPoint& pos,
                  const wxSize& size);
    ~GraphicsFrame() override;

    void OnCloseWindow(wxCloseEvent& event);

private:
    wxDECLARE_EVENT_TABLE();
};

#endif
