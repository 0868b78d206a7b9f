#include "graphics_frame.h"

#include <wx/msgdlg.h>

wxBEGIN_EVENT_TABLE(GraphicsFrame, wxFrame)
    EVT_CLOSE(GraphicsFrame::OnCloseWindow)
wxEND_EVENT_TABLE()

// A caption, minimise and maximise boxes and a resize border: no system menu and
// no close box, since the window lives as long as the main frame.
GraphicsFrame::GraphicsFrame(wxFrame* parent, const wxString& title, const wxPoint& pos,
                             const wxSize& size)
    : wxFrame(parent, wxID_ANY, title, pos, size,
              wxCAPTION | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxRESIZE_BORDER)
{
}

GraphicsFrame::~GraphicsFrame() = default;

void GraphicsFrame::OnCloseWindow(wxCloseEvent& event)
{
    if (event.CanVeto()) {
        event.Veto();
        wxMessageBox("The graphics window can not be deleted separately",
                     "Graphics frame deletion message", wxOK | wxCENTRE, this);
        return;
    }
    Hide();
    Destroy();
}
