// The main frame's drawing of the model and its view commands: fit, zoom out
// and pan all change only the world-to-screen map; the picture follows at the
// next repaint.
#include <algorithm>

#include <wx/dc.h>
#include <wx/dcclient.h>
#include <wx/pen.h>

#include "canvas.h"
#include "device_map.h"
#include "domain.h"
#include "frame.h"
#include "runner.h"

namespace {

// Client size of the canvas in the logical units of a client context on it.
void logical_client_size(wxWindow* canvas, float& lw, float& lh)
{
    int w = 0;
    int h = 0;
    canvas->GetClientSize(&w, &h);
    wxClientDC dc(canvas);
    lw = static_cast<float>(dc.DeviceToLogicalXRel(w));
    lh = static_cast<float>(dc.DeviceToLogicalYRel(h));
}

}  // namespace

void MyFrame::DrawModel(wxDC& dc)
{
    // A context without a font of its own cannot draw text after a null font is
    // selected, so the font it came with is put back instead.
    const wxFont saved_font = dc.GetFont();

    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetBackgroundMode(wxTRANSPARENT);
    dc.SetPen(*wxBLACK_PEN);

    if (domain) {
        const DrawProperties& properties = draw_properties;
        dc.SetBrush(*wxCYAN_BRUSH);  // element faces
        if (!properties.plot_deformed) {
            if (properties.plot_undeformed) {
                dc.SetFont(properties.element_font);
                dc.SetTextForeground(properties.element_colour);
                domain->draw_elements(dc, device_map, properties.element_numbers);
                dc.SetBrush(*wxBLACK_BRUSH);
                dc.SetFont(properties.node_font);
                dc.SetTextForeground(properties.node_colour);
                domain->draw_nodes(dc, device_map, properties.node_numbers);
            }
        } else {
            domain->draw_nodes_deformed(dc, device_map, properties);
            dc.SetFont(properties.graphics_font);
            dc.SetTextForeground(properties.graphics_colour);
            dc.DrawText(wxString::Format("deformation scaling: %8.3e", properties.scaling), 1,
                        1);
            if (properties.plot_undeformed) {
                const wxPen red_pen(wxColour("RED"), 1, wxPENSTYLE_SHORT_DASH);
                dc.SetPen(red_pen);
                dc.SetBrush(*wxTRANSPARENT_BRUSH);
                domain->draw_elements(dc, device_map, false);
                dc.SetPen(wxNullPen);
            }
        }
    }

    if (saved_font.IsOk()) dc.SetFont(saved_font);
}

void MyFrame::FitToWindow()
{
    // With no nodes there is no box to fit: the view stays as it is.
    if (!domain || domain->nodes.empty() || !canvas) return;

    double x_min = 0.0, y_min = 0.0, z_min = 0.0;
    double x_max = 0.0, y_max = 0.0, z_max = 0.0;
    const double box_scale = draw_properties.plot_deformed ? draw_properties.scaling : 0.0;
    domain->bounding_box(x_min, y_min, z_min, x_max, y_max, z_max, box_scale);

    // A margin of a tenth of the box on each side, and never a zero extent.
    const double width = (x_max - x_min) * 1.2 + 0.01;
    const double height = (y_max - y_min) * 1.2 + 0.01;

    float logical_width = 0.0f;
    float logical_height = 0.0f;
    logical_client_size(canvas, logical_width, logical_height);
    const double lw = logical_width + 1.0;
    const double lh = logical_height + 1.0;

    const double scale = std::min(lw / width, lh / height);
    const double x0 = ((x_min + x_max) * scale - lw) * 0.5;
    const double y0 = ((y_min + y_max) * scale + lh) * 0.5;
    device_map.set_origin(static_cast<float>(x0), static_cast<float>(y0));
    device_map.set_scale(static_cast<float>(scale));
}

void MyFrame::OnZoomOut(wxCommandEvent&)
{
    if (!canvas) return;
    float lw = 0.0f;
    float lh = 0.0f;
    logical_client_size(canvas, lw, lh);

    // Shrink to 0.7 about the world point at the window centre.
    const float cx = device_map.world_x(lw * 0.5f);
    const float cy = device_map.world_y(lh * 0.5f);
    device_map.shift_x(static_cast<float>(device_map.dev_length(-cx * 0.3f)));
    device_map.shift_y(static_cast<float>(device_map.dev_length(cy * 0.3f)));
    device_map.zoom(0.7f);
    IssueCommand(CMD_REFRESH);
}

void MyFrame::Pan(float fx, float fy)
{
    if (!canvas) return;
    float lw = 0.0f;
    float lh = 0.0f;
    logical_client_size(canvas, lw, lh);
    device_map.shift_x(lw * fx * 0.2f);
    device_map.shift_y(lh * fy * 0.2f);
    IssueCommand(CMD_REFRESH);
}
