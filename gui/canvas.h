#ifndef KELVANED_GUI_CANVAS_H
#define KELVANED_GUI_CANVAS_H

#include <wx/overlay.h>
#include <wx/scrolwin.h>

class GraphicsFrame;
class wxMenu;

// Rubber-band zoom state, shared by the canvas and the main frame's Zoom In.
// zoom_mode is switched on by Zoom In and off by the left button's release; the
// corners are device points of the canvas.
extern bool zoom_mode;
extern wxPoint first_corner;
extern wxPoint second_corner;
extern bool rectangle_shown;

// The drawing area of the graphics frame. It paints the model through the main
// frame's DrawModel, draws the rubber band of the zoom, and turns the mouse and
// keys of the graphics window into the main frame's view commands.
class MyCanvas : public wxScrolledWindow {
public:
    MyCanvas(GraphicsFrame* parent, const wxPoint& pos, const wxSize& size, long style);

    void OnPaint(wxPaintEvent& event);
    void OnRightDown(wxMouseEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnChar(wxKeyEvent& event);

    GraphicsFrame* GetGraphicsFrame() const { return graphics_frame; }

    // The context menu of the right button; its commands go to the main frame.
    static wxMenu* BuildPopupMenu();

private:
    // Removes the rubber band from the window.
    void EraseRubberBand();

    GraphicsFrame* graphics_frame;
    // The rubber band is drawn on an overlay: inverted pixels do not show on
    // every kind of drawing context.
    wxOverlay overlay;

    wxDECLARE_EVENT_TABLE();
};

#endif
