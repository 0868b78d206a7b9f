// The canvas and the model drawing: fit, zoom out, pan, the rubber-band zoom,
// the keys and context menu of the graphics window, and what the picture shows.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/uiaction.h>

#include "canvas.h"
#include "control_dialog.h"
#include "device_map.h"
#include "domain.h"
#include "frame.h"
#include "graphics_frame.h"
#include "gui_test_support.h"
#include "runner.h"

using namespace gui_test;
namespace fs = std::filesystem;

namespace {

MyCanvas& canvas() { return *main_frame().GetCanvas(); }

wxSize client_size()
{
    int w = 0;
    int h = 0;
    canvas().GetClientSize(&w, &h);
    return wxSize(w, h);
}

bool load(const std::string& path)
{
    main_frame().GetHistory().AddFileToHistory(wxString::FromUTF8(path));
    main_frame().IssueCommand(CMD_RECENT_FIRST);
    return loaded;
}

std::string write_model(const std::string& name, const std::string& text)
{
    const std::string path = (fs::path(make_temp_dir()) / name).string();
    std::ofstream(path) << text;
    return path;
}

struct MapValues {
    float x0, y0, scale;
};

MapValues map_values()
{
    return {device_map.get_x0(), device_map.get_y0(), device_map.get_scale()};
}

void expect_same_map(const MapValues& a, const MapValues& b)
{
    EXPECT_EQ(a.x0, b.x0);
    EXPECT_EQ(a.y0, b.y0);
    EXPECT_EQ(a.scale, b.scale);
}

void send_key(int key)
{
    wxKeyEvent event(wxEVT_CHAR);
    event.m_keyCode = key;
    event.SetEventObject(&canvas());
    canvas().ProcessWindowEvent(event);
}

void send_mouse(wxEventType type, int x, int y, bool left_down)
{
    wxMouseEvent event(type);
    event.m_x = x;
    event.m_y = y;
    event.m_leftDown = left_down;
    event.SetEventObject(&canvas());
    canvas().ProcessWindowEvent(event);
}

// Zoom In, then a rubber band from (x1, y1) to (x2, y2) through one drag motion.
void drag_rectangle(int x1, int y1, int x2, int y2)
{
    main_frame().IssueCommand(CMD_ZOOM_IN);
    send_mouse(wxEVT_LEFT_DOWN, x1, y1, true);
    send_mouse(wxEVT_MOTION, (x1 + x2) / 2, (y1 + y2) / 2, true);
    send_mouse(wxEVT_MOTION, x2, y2, true);
    send_mouse(wxEVT_LEFT_UP, x2, y2, false);
}

// The picture as DrawModel draws it on a white bitmap of the canvas size.
wxImage draw_to_image()
{
    const wxSize size = client_size();
    wxBitmap bitmap(size.x, size.y, 24);
    {
        wxMemoryDC dc(bitmap);
        main_frame().DrawModel(dc);
    }
    return bitmap.ConvertToImage();
}

// What the canvas window shows now, read back from the screen.
wxImage read_canvas() { return read_window(canvas()); }

// Reads the screen, so the graphics window is brought in front of the others first.
wxImage capture_canvas()
{
    main_frame().GetGraphicsFrame()->Raise();
    pump_events(3);
    main_frame().IssueCommand(CMD_REFRESH);
    pump_events(3);
    return read_canvas();
}

bool is_white(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) > 240 && image.GetGreen(x, y) > 240 && image.GetBlue(x, y) > 240;
}

bool is_red(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) > 180 && image.GetGreen(x, y) < 100 && image.GetBlue(x, y) < 100;
}

// Non-white pixels within `radius` of a device point.
int ink_near(const wxImage& image, const wxPoint& p, int radius = 2)
{
    int count = 0;
    for (int y = p.y - radius; y <= p.y + radius; ++y)
        for (int x = p.x - radius; x <= p.x + radius; ++x)
            if (x >= 0 && y >= 0 && x < image.GetWidth() && y < image.GetHeight() &&
                !is_white(image, x, y))
                ++count;
    return count;
}

int count_pixels(const wxImage& image, const wxRect& area,
                 bool (*property)(const wxImage&, int, int))
{
    int count = 0;
    for (int y = area.y; y < area.GetBottom() && y < image.GetHeight(); ++y)
        for (int x = area.x; x < area.GetRight() && x < image.GetWidth(); ++x)
            if (property(image, x, y)) ++count;
    return count;
}

bool not_white(const wxImage& image, int x, int y) { return !is_white(image, x, y); }

class CanvasTest : public testing::Test {
protected:
    void SetUp() override
    {
        main_frame().GetDrawProperties().SetDefaults();
        zoom_mode = false;
        ASSERT_TRUE(load(copy_example("two_bar_truss.dat")));
        size = client_size();
        ASSERT_GT(size.x, 50);
        ASSERT_GT(size.y, 50);
    }
    void TearDown() override
    {
        main_frame().GetDrawProperties().SetDefaults();
        zoom_mode = false;
    }

    wxSize size;
    DialogHook hook;
};

}  // namespace

// The truss spans x 0..8 and y 0..3: with the 1.2 margin the box is 9.61 by 3.61.
TEST_F(CanvasTest, FitCentresTheBoxWithATenthOfItAsMargin)
{
    const double lw = size.x + 1.0;
    const double lh = size.y + 1.0;
    EXPECT_NEAR(device_map.get_scale(), std::min(lw / 9.61, lh / 3.61), 1e-4);
    // The box centre (4, 1.5) lands on the window centre.
    EXPECT_NEAR(device_map.dev_x(4.0f), lw / 2, 1.0);
    EXPECT_NEAR(device_map.dev_y(1.5f), lh / 2, 1.0);
    // Fitting again changes nothing.
    const MapValues fitted = map_values();
    main_frame().IssueCommand(CMD_FIT);
    expect_same_map(map_values(), fitted);
}

TEST_F(CanvasTest, FitOfNodesOnOneVerticalLineTakesTheScaleFromTheHeight)
{
    ASSERT_TRUE(load(write_model("column.dat", "*nodes\n1 2 0 0\n2 2 2 0\n3 2 5 0\n"
                                                "*material 1\nmass 1\n*elements\nmass2d 1\n1 2\n"
                                                "*end\n")));
    EXPECT_NEAR(device_map.get_scale(), (size.y + 1.0) / 6.01, 1e-4);
    EXPECT_NEAR(device_map.dev_x(2.0f), (size.x + 1.0) / 2, 1.0);
    EXPECT_NEAR(device_map.dev_y(2.5f), (size.y + 1.0) / 2, 1.0);
}

TEST_F(CanvasTest, FitOfAModelWithoutNodesKeepsTheView)
{
    device_map.set_origin(-12.0f, 34.0f);
    device_map.set_scale(5.0f);
    const MapValues before = map_values();
    // A file without nodes is no model: it is refused, and what it defines is drawn.
    ASSERT_FALSE(load(write_model("empty.dat", "*title\nnothing to draw\n*end\n")));
    expect_same_map(map_values(), before);
    main_frame().IssueCommand(CMD_FIT);
    expect_same_map(map_values(), before);
    // Drawing an empty model gives a white picture.
    const wxImage image = draw_to_image();
    EXPECT_EQ(count_pixels(image, wxRect(size), not_white), 0);
}

TEST_F(CanvasTest, FitWithTheDeformedShapeUsesTheDeformedBox)
{
    wxCommandEvent start(wxEVT_BUTTON, 1);
    main_frame().GetControlDialog()->ProcessWindowEvent(start);
    ASSERT_TRUE(log_contains("finished (analysis time: "));

    DrawProperties& properties = main_frame().GetDrawProperties();
    properties.plot_deformed = true;
    properties.scaling = 100.0;
    main_frame().IssueCommand(CMD_FIT);

    // Under 12 kN each bar (EA = 1e8 N, 5 m long, at 0.6 to the load) shortens
    // 0.5 mm and the apex sinks 0.5 mm / 0.6; scaled 100 times the box is 3 - 0.0833
    // high, its width unchanged.
    const double height = (3.0 - 100 * 5e-4 / 0.6) * 1.2 + 0.01;
    const double lw = size.x + 1.0;
    const double lh = size.y + 1.0;
    EXPECT_NEAR(device_map.get_scale(), std::min(lw / 9.61, lh / height), 1e-3);
    EXPECT_NEAR(device_map.dev_y(static_cast<float>((3.0 - 100 * 5e-4 / 0.6) / 2)), lh / 2, 1.0);
}

TEST_F(CanvasTest, ZoomOutShrinksAboutTheWindowCentreAndFitRestores)
{
    const MapValues fitted = map_values();
    const float cx = device_map.world_x(size.x * 0.5f);
    const float cy = device_map.world_y(size.y * 0.5f);

    main_frame().IssueCommand(CMD_ZOOM_OUT);
    EXPECT_FLOAT_EQ(device_map.get_scale(), fitted.scale * 0.7f);
    // The centre stays, up to the truncation of the two shifts to whole pixels.
    EXPECT_NEAR(device_map.dev_x(cx), size.x * 0.5, 1.5);
    EXPECT_NEAR(device_map.dev_y(cy), size.y * 0.5, 1.5);

    send_key('-');
    EXPECT_FLOAT_EQ(device_map.get_scale(), fitted.scale * 0.7f * 0.7f);
    send_key(WXK_HOME);
    expect_same_map(map_values(), fitted);
}

TEST_F(CanvasTest, ArrowKeysMoveThePictureByAFifthOfTheWindow)
{
    struct Case {
        int key;
        int dx, dy;  // picture movement in fifths of the window
    };
    const Case cases[] = {{WXK_LEFT, -1, 0}, {WXK_UP, 0, -1}, {WXK_RIGHT, 1, 0}, {WXK_DOWN, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const wxPoint before = device_map.to_device(4.0f, 3.0f);
        send_key(c.key);
        const wxPoint after = device_map.to_device(4.0f, 3.0f);
        EXPECT_NEAR(after.x - before.x, c.dx * size.x * 0.2, 1.0);
        EXPECT_NEAR(after.y - before.y, c.dy * size.y * 0.2, 1.0);
    }
    // Other keys pass unhandled; 'q' asks the frame to quit.
    const MapValues before = map_values();
    send_key('x');
    expect_same_map(map_values(), before);
    CommandProbe quit(CMD_QUIT);
    send_key('q');
    EXPECT_EQ(quit.count, 1);
}

TEST_F(CanvasTest, RealKeyPressReachesTheCanvas)
{
    wxWindow* window = main_frame().GetGraphicsFrame();
    window->Raise();
    canvas().SetFocus();
    ASSERT_TRUE(wait_until([] { return wxWindow::FindFocus() == &canvas(); }, 2000));
    const int before = device_map.dev_x(4.0f);
    wxUIActionSimulator simulator;
    simulator.Char(WXK_LEFT);
    EXPECT_TRUE(wait_until([&] { return device_map.dev_x(4.0f) < before; }, 2000));
    EXPECT_NEAR(device_map.dev_x(4.0f) - before, -size.x * 0.2, 1.0);
}

TEST_F(CanvasTest, RubberBandFitsTheRectangleIntoTheWindow)
{
    const MapValues fitted = map_values();
    const int x1 = size.x / 4, y1 = size.y / 4, x2 = x1 + 100, y2 = y1 + 40;
    const float centre_x = device_map.world_x((x1 + x2) * 0.5f);
    const float centre_y = device_map.world_y((y1 + y2) * 0.5f);

    drag_rectangle(x1, y1, x2, y2);
    EXPECT_EQ(main_frame().GetStatusBar()->GetStatusText(0), "");
    EXPECT_FALSE(zoom_mode);
    EXPECT_FALSE(rectangle_shown);
    // The tighter direction of the 100 x 40 rectangle fills the window.
    const float magnification = std::min(size.x / 100.0f, size.y / 40.0f);
    EXPECT_NEAR(device_map.get_scale() / fitted.scale, magnification, 1e-3 * magnification);
    EXPECT_NEAR(device_map.dev_x(centre_x), size.x * 0.5, 1.0);
    EXPECT_NEAR(device_map.dev_y(centre_y), size.y * 0.5, 1.0);
    const MapValues zoomed = map_values();

    // Dragged the other way round, the same rectangle gives the same view.
    for (const wxRect corners : {wxRect(x2, y2, x1, y1), wxRect(x2, y1, x1, y2)}) {
        device_map.set_origin(fitted.x0, fitted.y0);
        device_map.set_scale(fitted.scale);
        drag_rectangle(corners.x, corners.y, corners.width, corners.height);
        expect_same_map(map_values(), zoomed);
    }
}

TEST_F(CanvasTest, RubberBandFollowsTheDragAndLeavesNoTrace)
{
    // A rectangle in the empty band above the truss.
    const wxPoint corner(10, 6);
    const wxImage before = capture_canvas();
    ASSERT_EQ(count_pixels(before, wxRect(0, 0, size.x, 30), not_white), 0);

    main_frame().IssueCommand(CMD_ZOOM_IN);
    send_mouse(wxEVT_LEFT_DOWN, corner.x, corner.y, true);
    send_mouse(wxEVT_MOTION, 200, 26, true);
    EXPECT_TRUE(rectangle_shown);
    wxImage shown = read_canvas();
    EXPECT_GT(ink_near(shown, wxPoint(100, 26), 1), 0);  // lower edge
    EXPECT_GT(ink_near(shown, wxPoint(200, 16), 1), 0);  // right edge

    // A smaller rectangle replaces the first one.
    send_mouse(wxEVT_MOTION, 120, 20, true);
    shown = read_canvas();
    EXPECT_EQ(ink_near(shown, wxPoint(160, 26), 1), 0);
    EXPECT_EQ(ink_near(shown, wxPoint(200, 16), 1), 0);
    EXPECT_GT(ink_near(shown, wxPoint(60, 20), 1), 0);

    send_mouse(wxEVT_LEFT_UP, 120, 20, false);
    EXPECT_FALSE(rectangle_shown);
    const wxImage after = capture_canvas();
    EXPECT_EQ(count_pixels(after, wxRect(0, 0, size.x, 30), not_white), 0);
}

TEST_F(CanvasTest, ZoomClickWithoutADragKeepsTheView)
{
    // An earlier rubber band leaves its corners behind; a plain click must not reuse them.
    drag_rectangle(10, 10, 120, 90);
    main_frame().IssueCommand(CMD_FIT);
    const MapValues fitted = map_values();

    main_frame().IssueCommand(CMD_ZOOM_IN);
    send_mouse(wxEVT_LEFT_DOWN, 60, 50, true);
    EXPECT_EQ(main_frame().GetStatusBar()->GetStatusText(0), "drag to oposite corner");
    send_mouse(wxEVT_LEFT_UP, 60, 50, false);
    expect_same_map(map_values(), fitted);
    EXPECT_FALSE(zoom_mode);
    EXPECT_EQ(main_frame().GetStatusBar()->GetStatusText(0), "");

    // Outside zoom mode the mouse does not change the view.
    send_mouse(wxEVT_LEFT_DOWN, 10, 10, true);
    send_mouse(wxEVT_MOTION, 200, 150, true);
    send_mouse(wxEVT_LEFT_UP, 200, 150, false);
    expect_same_map(map_values(), fitted);
}

TEST_F(CanvasTest, CanvasShowsTheMesh)
{
    const wxImage image = capture_canvas();
    // Ink on the middle of both bars and on the three nodes, none in the corners.
    EXPECT_GT(ink_near(image, device_map.to_device(2.0f, 1.5f)), 0);
    EXPECT_GT(ink_near(image, device_map.to_device(6.0f, 1.5f)), 0);
    EXPECT_GT(ink_near(image, device_map.to_device(0.0f, 0.0f)), 0);
    EXPECT_GT(ink_near(image, device_map.to_device(8.0f, 0.0f)), 0);
    EXPECT_GT(ink_near(image, device_map.to_device(4.0f, 3.0f)), 0);
    EXPECT_EQ(ink_near(image, wxPoint(3, size.y - 4)), 0);
    EXPECT_EQ(ink_near(image, device_map.to_device(4.0f, 0.5f)), 0);
}

TEST_F(CanvasTest, PictureFollowsThePlotSettings)
{
    DrawProperties& properties = main_frame().GetDrawProperties();
    const wxRect caption(0, 0, size.x, 14);
    const wxRect whole(size);

    // Undeformed only: black mesh, no caption, nothing red.
    wxImage image = draw_to_image();
    EXPECT_GT(count_pixels(image, whole, not_white), 0);
    EXPECT_EQ(count_pixels(image, caption, not_white), 0);
    EXPECT_EQ(count_pixels(image, whole, is_red), 0);

    // Neither shape: a white picture although the model is loaded.
    properties.plot_undeformed = false;
    image = draw_to_image();
    EXPECT_EQ(count_pixels(image, whole, not_white), 0);

    // Deformed only: the caption at the top, still nothing red.
    properties.plot_deformed = true;
    image = draw_to_image();
    EXPECT_GT(count_pixels(image, caption, not_white), 0);
    EXPECT_EQ(count_pixels(image, whole, is_red), 0);

    // Both: the undeformed mesh in red dashes over the deformed shape.
    properties.plot_undeformed = true;
    image = draw_to_image();
    EXPECT_GT(count_pixels(image, whole, is_red), 0);
    EXPECT_GT(count_pixels(image, caption, not_white), 0);
}

TEST_F(CanvasTest, ContextMenuOffersTheViewCommandsOfTheMainFrame)
{
    const int expected[] = {CMD_DRAW_PROPERTIES, CMD_FONT, CMD_ELEMENT_FONT, CMD_NODE_FONT,
                            CMD_ZOOM_IN,         CMD_ZOOM_OUT, wxID_SEPARATOR, CMD_FIT,
                            CMD_REFRESH,         wxID_SEPARATOR, CMD_COPY_BITMAP};
    std::unique_ptr<wxMenu> menu(MyCanvas::BuildPopupMenu());
    ASSERT_EQ(menu->GetMenuItemCount(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const wxMenuItem* item = menu->FindItemByPosition(i);
        if (expected[i] == wxID_SEPARATOR)
            EXPECT_TRUE(item->IsSeparator()) << i;
        else
            EXPECT_EQ(item->GetId(), expected[i]) << i;
    }
    EXPECT_EQ(menu->FindItem(CMD_FONT)->GetHelp(), "Select font and size");
    EXPECT_EQ(menu->FindItem(CMD_COPY_BITMAP)->GetItemLabel(), "Copy picture (&bmp)");

    // A command chosen in the canvas reaches the main frame's handler.
    CommandProbe fit(CMD_FIT);
    wxCommandEvent command(wxEVT_MENU, CMD_FIT);
    command.SetEventObject(&canvas());
    canvas().ProcessWindowEvent(command);
    EXPECT_EQ(fit.count, 1);
}
