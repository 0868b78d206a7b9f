#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <wx/dcclient.h>
#include <wx/menu.h>

#include "app.h"
#include "device_map.h"
#include "frame.h"
#include "graphics_frame.h"

bool zoom_mode = false;
wxPoint first_corner(0, 0);
wxPoint second_corner(0, 0);
bool rectangle_shown = false;

// clang-format off
wxBEGIN_EVENT_TABLE(MyCanvas, wxScrolledWindow)
    EVT_PAINT(MyCanvas::OnPaint)
    EVT_RIGHT_DOWN(MyCanvas::OnRightDown)
    EVT_LEFT_DOWN(MyCanvas::OnLeftDown)
    EVT_MOTION(MyCanvas::OnMotion)
    EVT_LEFT_UP(MyCanvas::OnLeftUp)
    EVT_CHAR(MyCanvas::OnChar)
wxEND_EVENT_TABLE()
// clang-format on

MyCanvas::MyCanvas(GraphicsFrame* parent, const wxPoint& pos, const wxSize& size, long style)
    : wxScrolledWindow(parent, wxID_ANY, pos, size, style), graphics_frame(parent)
{
}

void MyCanvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    PrepareDC(dc);
    // The repaint covers whatever the rubber band had saved.
    overlay.Reset();
    rectangle_shown = false;
    if (MyFrame* frame = GetMainFrame()) frame->DrawModel(dc);
}

wxMenu* MyCanvas::BuildPopupMenu()
{
    wxMenu* menu = new wxMenu;
    menu->Append(CMD_DRAW_PROPERTIES, "&Draw prop...", "Select drawing properties");
    menu->Append(CMD_FONT, "Select &font ...", "Select font and size");
    menu->Append(CMD_ELEMENT_FONT, "Select &element font ...",
                 "Select font and size for element numbers");
    menu->Append(CMD_NODE_FONT, "Select &node font ...", "Select font and size for node numbers");
    menu->Append(CMD_ZOOM_IN, "Zoom &In", "Zoom in, graphics screen");
    menu->Append(CMD_ZOOM_OUT, "Zoom &Out", "Zoom out, graphics screen");
    menu->AppendSeparator();
    menu->Append(CMD_FIT, "&Fit", "Fit model to screen");
    menu->Append(CMD_REFRESH, "&Refresh", "Refresh graphics screen");
    menu->AppendSeparator();
    menu->Append(CMD_COPY_BITMAP, "Copy picture (&bmp)", "Copy bitmap to clipboard");
    return menu;
}

void MyCanvas::OnRightDown(wxMouseEvent& event)
{
    // The menu's commands travel up through the graphics frame to the main frame.
    std::unique_ptr<wxMenu> menu(BuildPopupMenu());
    PopupMenu(menu.get(), event.GetPosition());
}

void MyCanvas::EraseRubberBand()
{
    if (rectangle_shown) {
        wxClientDC dc(this);
        wxDCOverlay overlay_dc(overlay, &dc);
        overlay_dc.Clear();
    }
    overlay.Reset();
    rectangle_shown = false;
}

void MyCanvas::OnLeftDown(wxMouseEvent& event)
{
    event.Skip();
    if (!zoom_mode) return;
    EraseRubberBand();
    first_corner = event.GetPosition();
    // A click without a drag spans nothing and so leaves the view as it is.
    second_corner = first_corner;
    if (MyFrame* frame = GetMainFrame()) frame->SetStatusText("drag to oposite corner", 0);
}

void MyCanvas::OnMotion(wxMouseEvent& event)
{
    if (!zoom_mode || !event.Dragging() || !event.LeftIsDown()) {
        event.Skip();
        return;
    }
    wxClientDC dc(this);
    wxDCOverlay overlay_dc(overlay, &dc);
    // Clearing the overlay restores the picture under the previous rectangle.
    overlay_dc.Clear();
    second_corner = event.GetPosition();
    dc.SetPen(*wxBLACK_PEN);
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(std::min(first_corner.x, second_corner.x),
                     std::min(first_corner.y, second_corner.y),
                     std::abs(second_corner.x - first_corner.x),
                     std::abs(second_corner.y - first_corner.y));
    rectangle_shown = true;
}

void MyCanvas::OnLeftUp(wxMouseEvent& event)
{
    if (!zoom_mode) {
        event.Skip();
        return;
    }
    const float wx1 = device_map.world_x(static_cast<float>(first_corner.x));
    const float wy1 = device_map.world_y(static_cast<float>(first_corner.y));
    const float wx2 = device_map.world_x(static_cast<float>(second_corner.x));
    const float wy2 = device_map.world_y(static_cast<float>(second_corner.y));

    int w = 0;
    int h = 0;
    GetClientSize(&w, &h);
    if (w != 0 && h != 0) {
        wxClientDC dc(this);
        const float lw = static_cast<float>(dc.DeviceToLogicalXRel(w));
        const float lh = static_cast<float>(dc.DeviceToLogicalYRel(h));
        // The rectangle fills the window in its tighter direction, centred.
        const float s = std::max(std::fabs(wy1 - wy2) / lh, std::fabs(wx2 - wx1) / lw);
        if (s > 1e-9f) {
            const float scale = 1.0f / s;
            const float x0 = ((wx1 + wx2) * scale - lw) * 0.5f;
            const float y0 = ((wy1 + wy2) * scale + lh) * 0.5f;
            device_map.set_origin(x0, y0);
            device_map.set_scale(scale);
        }
    }

    EraseRubberBand();
    zoom_mode = false;
    SetCursor(wxNullCursor);
    MyFrame* frame = GetMainFrame();
    if (!frame) return;
    frame->SetStatusText(wxEmptyString, 0);
    {
        wxClientDC dc(this);
        dc.SetBackground(wxBrush(GetBackgroundColour()));
        dc.Clear();
    }
    frame->IssueCommand(CMD_REFRESH);
}

void MyCanvas::OnChar(wxKeyEvent& event)
{
    MyFrame* frame = GetMainFrame();
    if (!frame) {
        event.Skip();
        return;
    }
    switch (event.GetKeyCode()) {
    case WXK_LEFT:
        frame->Pan(1.0f, 0.0f);
        break;
    case WXK_UP:
        frame->Pan(0.0f, 1.0f);
        break;
    case WXK_RIGHT:
        frame->Pan(-1.0f, 0.0f);
        break;
    case WXK_DOWN:
        frame->Pan(0.0f, -1.0f);
        break;
    case '-':
        frame->IssueCommand(CMD_ZOOM_OUT);
        break;
    case 'q':
        frame->IssueCommand(CMD_QUIT);
        break;
    case WXK_HOME:
        frame->IssueCommand(CMD_FIT);
        break;
    default:
        event.Skip();
        break;
    }
}
