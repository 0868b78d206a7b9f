// Printing, print preview, print setup and the clipboard copies of the picture.
// Nothing reaches a printer: the printout draws on memory contexts, and the
// print and page-setup dialogs are answered by the dialog hook.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/clipbrd.h>
#include <wx/cmndata.h>
#include <wx/dataobj.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/printdlg.h>
#include <wx/textctrl.h>

#include "app.h"
#include "canvas.h"
#include "device_map.h"
#include "domain.h"
#include "frame.h"
#include "graphics_frame.h"
#include "gui_test_support.h"
#include "printout.h"
#include "runner.h"

using namespace gui_test;

namespace {

bool load(const std::string& path)
{
    main_frame().GetHistory().AddFileToHistory(wxString::FromUTF8(path));
    main_frame().IssueCommand(CMD_RECENT_FIRST);
    return loaded;
}

MyCanvas& canvas() { return *main_frame().GetCanvas(); }

bool is_white(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) > 240 && image.GetGreen(x, y) > 240 && image.GetBlue(x, y) > 240;
}

// Non-white pixels in the rectangle [x1, x2) x [y1, y2), clipped to the image.
int ink_in(const wxImage& image, int x1, int y1, int x2, int y2)
{
    int count = 0;
    for (int y = std::max(y1, 0); y < std::min(y2, image.GetHeight()); ++y)
        for (int x = std::max(x1, 0); x < std::min(x2, image.GetWidth()); ++x)
            if (!is_white(image, x, y)) ++count;
    return count;
}

int ink_near(const wxImage& image, const wxPoint& p, int radius)
{
    return ink_in(image, p.x - radius, p.y - radius, p.x + radius + 1, p.y + radius + 1);
}

struct PageDrawing {
    wxImage image;
    double scale_x = 0.0;
    double scale_y = 0.0;
    wxPoint origin;
};

// Draws the printout on a white page of `width` x `height` device units, either
// the bare picture or the whole page (picture and label).
PageDrawing draw_page(int width, int height, bool whole_page)
{
    PageDrawing result;
    wxBitmap page(width, height, 24);
    {
        wxMemoryDC dc(page);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        FEAPrintout printout("KelVaneD printout");
        if (whole_page) {
            printout.SetDC(&dc);
            EXPECT_TRUE(printout.OnPrintPage(1));
            printout.SetDC(nullptr);
        } else {
            printout.DrawPicture(dc);
        }
        dc.GetUserScale(&result.scale_x, &result.scale_y);
        result.origin = dc.GetDeviceOrigin();
    }
    result.image = page.ConvertToImage();
    return result;
}

// Reads the clipboard's data in `format` as raw bytes; empty when there is none.
std::string clipboard_bytes(const wxDataFormat& format)
{
    std::string bytes;
    if (!wxTheClipboard->Open()) {
        ADD_FAILURE() << "cannot open the clipboard";
        return bytes;
    }
    if (wxTheClipboard->IsSupported(format)) {
        wxCustomDataObject data(format);
        if (wxTheClipboard->GetData(data))
            bytes.assign(static_cast<const char*>(data.GetData()), data.GetSize());
    }
    wxTheClipboard->Close();
    return bytes;
}

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The canvas's full window size is set to 400 x 300 for the page arithmetic.
class PrintingTest : public testing::Test {
protected:
    void SetUp() override
    {
        main_frame().GetDrawProperties().SetDefaults();
        ASSERT_TRUE(load(copy_example("two_bar_truss.dat")));
        saved_size = canvas().GetSize();
        canvas().SetSize(400, 300);
        ASSERT_EQ(canvas().GetSize(), wxSize(400, 300));
        main_frame().FitToWindow();
    }
    void TearDown() override
    {
        canvas().SetSize(saved_size);
        main_frame().GetDrawProperties().SetDefaults();
        main_frame().FitToWindow();
    }

    // Where the picture puts the truss apex (4, 3) on the canvas.
    wxPoint apex() const { return device_map.to_device(4.0f, 3.0f); }

    wxSize saved_size;
    DialogHook hook;
};

}  // namespace

TEST(FEAPrintout, HasExactlyOnePage)
{
    FEAPrintout printout("KelVaneD printout");
    EXPECT_EQ(printout.GetTitle(), "KelVaneD printout");
    int min_page = -1, max_page = -1, first = -1, last = -1;
    printout.GetPageInfo(&min_page, &max_page, &first, &last);
    // Page numbers start at 1: with 0 the preview offered a page 0 and the
    // platform's printing counts the pages to print from the minimum.
    EXPECT_EQ(min_page, 1);
    EXPECT_EQ(max_page, 1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 1);
    EXPECT_FALSE(printout.HasPage(0));
    EXPECT_TRUE(printout.HasPage(1));
    EXPECT_FALSE(printout.HasPage(2));
    // Without a drawing context there is nothing to print on.
    EXPECT_FALSE(printout.OnPrintPage(1));
}

// s = min(w / (400 + 100), h / (300 + 100)); the origin centres 400 s x 300 s.
TEST_F(PrintingTest, PictureIsScaledAndCentredOnThePage)
{
    const struct {
        int width, height;
        double scale;
        wxPoint origin;
    } pages[] = {
        {4000, 6000, 8.0, wxPoint(400, 1800)},  // width decides
        {2000, 500, 1.25, wxPoint(750, 62)},     // height decides; 62.5 truncated
        {1000, 1500, 2.0, wxPoint(100, 450)},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(testing::Message() << page.width << " x " << page.height);
        const PageDrawing drawn = draw_page(page.width, page.height, false);
        EXPECT_FLOAT_EQ(drawn.scale_x, page.scale);
        EXPECT_FLOAT_EQ(drawn.scale_y, page.scale);
        EXPECT_EQ(drawn.origin, page.origin);

        // The apex lands where the canvas shows it, scaled and shifted.
        const wxPoint at(page.origin.x + static_cast<int>(apex().x * page.scale),
                         page.origin.y + static_cast<int>(apex().y * page.scale));
        EXPECT_GT(ink_near(drawn.image, at, 2 + static_cast<int>(page.scale)), 0);
        // The margin outside the canvas area stays white.
        EXPECT_EQ(ink_in(drawn.image, 0, 0, page.origin.x, page.height), 0);
    }
}

TEST_F(PrintingTest, PageCarriesItsLabelInUnscaledDeviceUnits)
{
    const PageDrawing picture = draw_page(1000, 1500, false);
    const PageDrawing page = draw_page(1000, 1500, true);
    // The label "PAGE 1" starts at (10, 10), where the picture alone is white.
    EXPECT_EQ(ink_in(picture.image, 0, 0, 100, 60), 0);
    EXPECT_GT(ink_in(page.image, 10, 10, 100, 60), 10);
    EXPECT_EQ(ink_in(page.image, 0, 0, 9, 60), 0);
    // The page's context is left unscaled at the origin.
    EXPECT_EQ(page.scale_x, 1.0);
    EXPECT_EQ(page.scale_y, 1.0);
    EXPECT_EQ(page.origin, wxPoint(0, 0));
    // The picture itself is the same with or without the label.
    const wxPoint at(100 + apex().x * 2, 450 + apex().y * 2);
    EXPECT_GT(ink_near(page.image, at, 4), 0);
}

TEST_F(PrintingTest, WithoutAModelThePageIsWhiteButLabelled)
{
    MyDomain* held = domain;
    domain = nullptr;
    const PageDrawing page = draw_page(1000, 1500, true);
    domain = held;
    EXPECT_GT(ink_in(page.image, 10, 10, 100, 60), 10);
    EXPECT_EQ(ink_in(page.image, 0, 60, 1000, 1500), 0);
}

TEST_F(PrintingTest, LabelIsDrawnWhateverFontTheDrawingLeft)
{
    // Numbers on: the drawing sets and resets fonts of its own on the context.
    main_frame().GetDrawProperties().node_numbers = true;
    main_frame().GetDrawProperties().element_numbers = true;
    const PageDrawing page = draw_page(1000, 1500, true);
    EXPECT_GT(ink_in(page.image, 10, 10, 100, 60), 10);
}

// Opened and closed again and again under the window manager, the preview comes
// up at its full size with the page on show every time, never as a strip of
// unlabelled buttons without the page.
TEST_F(PrintingTest, PreviewOpensOnePageFrameAtItsSizeEveryTime)
{
    for (int opening = 1; opening <= 6; ++opening) {
        SCOPED_TRACE(testing::Message() << "opening " << opening);
        main_frame().IssueCommand(CMD_PRINT_PREVIEW);
        EXPECT_TRUE(hook.messages().empty());

        wxPreviewFrame* preview_frame = nullptr;
        for (wxWindow* window : wxTopLevelWindows)
            if (auto* frame = dynamic_cast<wxPreviewFrame*>(window)) preview_frame = frame;
        ASSERT_NE(preview_frame, nullptr);
        // The frame goes, and the program is usable again, whatever is found below.
        struct Closer {
            wxPreviewFrame* frame;
            ~Closer()
            {
                frame->Close(true);
                EXPECT_TRUE(wait_until([this] {
                    return std::find(wxTopLevelWindows.begin(), wxTopLevelWindows.end(),
                                     frame) == wxTopLevelWindows.end();
                }));
                EXPECT_TRUE(main_frame().IsEnabled());
            }
        } closer{preview_frame};
        EXPECT_EQ(preview_frame->GetTitle(), "KelVaneD Print Preview");
        EXPECT_EQ(preview_frame->GetParent(), &main_frame());
        EXPECT_TRUE(preview_frame->IsShown());

        wxPreviewControlBar* bar = nullptr;
        for (wxWindow* child : preview_frame->GetChildren())
            if (auto* found = dynamic_cast<wxPreviewControlBar*>(child)) bar = found;
        ASSERT_NE(bar, nullptr);
        wxPrintPreviewBase* preview = bar->GetPrintPreview();
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(preview->IsOk());
        EXPECT_EQ(preview->GetMinPage(), 1);
        EXPECT_EQ(preview->GetMaxPage(), 1);
        EXPECT_EQ(preview->GetCurrentPage(), 1);
        ASSERT_NE(preview->GetPrintout(), nullptr);
        ASSERT_NE(preview->GetPrintoutForPrinting(), nullptr);
        EXPECT_EQ(preview->GetPrintout()->GetTitle(), "FEA printout");
        EXPECT_EQ(preview->GetPrintoutForPrinting()->GetTitle(), "FEA printout");

        // The page shows on screen: white paper with the truss and the label on it.
        wxWindow* page_canvas = preview->GetCanvas();
        ASSERT_NE(page_canvas, nullptr);
        wxImage shown;
        int paper = 0;
        int ink = 0;
        const bool page_shown = wait_until([&] {
            shown = read_window(*page_canvas);
            if (!shown.IsOk()) return false;
            paper = 0;
            for (int y = 0; y < shown.GetHeight(); ++y)
                for (int x = 0; x < shown.GetWidth(); ++x)
                    if (is_white(shown, x, y)) ++paper;
            ink = shown.GetWidth() * shown.GetHeight() - paper;
            return paper > 100000 && ink > 200;
        });
        EXPECT_TRUE(page_shown) << "paper " << paper << ", ink " << ink;

        // At least the size asked for (600 x 650), wider when the control bar
        // needs it, and the page canvas takes what the control bar leaves.
        const wxSize size = preview_frame->GetSize();
        EXPECT_GE(size.x, 600);
        EXPECT_GE(size.y, 650);
        EXPECT_GE(size.x, preview_frame->GetMinSize().x);
        EXPECT_GT(page_canvas->GetClientSize().y, 500);
        EXPECT_GE(page_canvas->GetClientSize().x, 600);

        // The control bar's page field shows the one page there is.
        wxTextCtrl* page_field = nullptr;
        for (wxWindow* child : bar->GetChildren())
            if (auto* found = dynamic_cast<wxTextCtrl*>(child)) page_field = found;
        ASSERT_NE(page_field, nullptr);
        EXPECT_TRUE(wait_until([&] { return page_field->GetValue() == "1"; }))
            << page_field->GetValue();
        // The preview keeps the rest of the program waiting until it is closed.
        EXPECT_FALSE(main_frame().IsEnabled());
    }
}

TEST_F(PrintingTest, CancelledPrintIsReported)
{
    hook.Answer(wxID_CANCEL);
    main_frame().IssueCommand(CMD_PRINT);
    ASSERT_EQ(hook.dialogs.size(), 2u);
    EXPECT_TRUE(hook.dialogs[0].message.empty());  // the print dialog
    EXPECT_EQ(hook.dialogs[1].message, "You canceled printing");
    EXPECT_EQ(hook.dialogs[1].caption, "Printing");
    EXPECT_TRUE(hook.dialogs[1].style & wxOK);
}

TEST_F(PrintingTest, PrintSetupKeepsWhatTheDialogHoldsEvenWhenCancelled)
{
    GetPrintData().SetOrientation(wxPORTRAIT);
    wxPrintOrientation shown = wxLANDSCAPE;
    hook.on_dialog = [&](wxDialog* dialog) {
        auto* setup = dynamic_cast<wxPageSetupDialogBase*>(dialog);
        ASSERT_NE(setup, nullptr);
        wxPrintData& data = setup->GetPageSetupDialogData().GetPrintData();
        shown = data.GetOrientation();
        data.SetOrientation(wxLANDSCAPE);
    };
    hook.Answer(wxID_CANCEL);
    main_frame().IssueCommand(CMD_PRINT_SETUP);
    ASSERT_EQ(hook.dialogs.size(), 1u);
    EXPECT_EQ(shown, wxPORTRAIT);  // the dialog opened on the shared settings
    EXPECT_EQ(GetPrintData().GetOrientation(), wxLANDSCAPE);
    GetPrintData().SetOrientation(wxPORTRAIT);
}

TEST_F(PrintingTest, BitmapCopyPutsThePictureOnTheClipboardAsPng)
{
    main_frame().IssueCommand(CMD_COPY_BITMAP);
    EXPECT_TRUE(hook.dialogs.empty());

    const std::string png = clipboard_bytes(wxDataFormat("image/png"));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

    wxMemoryInputStream stream(png.data(), png.size());
    wxImage image(stream, wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(image.IsOk());
    const wxSize client = canvas().GetClientSize();
    EXPECT_EQ(image.GetWidth(), client.x);
    EXPECT_EQ(image.GetHeight(), client.y);
    // The bars end at the apex; the corners of the fitted view are empty.
    EXPECT_GT(ink_near(image, apex(), 3), 0);
    EXPECT_GT(ink_near(image, device_map.to_device(2.0f, 1.5f), 2), 0);  // mid-bar
    EXPECT_EQ(ink_in(image, 0, 0, 10, 10), 0);
}

TEST_F(PrintingTest, VectorCopyPutsSvgWithTheBarsOnTheClipboard)
{
    main_frame().GetDrawProperties().node_numbers = true;
    main_frame().GetDrawProperties().element_numbers = true;
    main_frame().IssueCommand(CMD_COPY_METAFILE);
    EXPECT_TRUE(hook.dialogs.empty());

    const std::string svg = clipboard_bytes(wxDataFormat("image/svg+xml"));
    ASSERT_FALSE(svg.empty());
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    const wxSize client = canvas().GetClientSize();
    EXPECT_NE(svg.find("width=\"" + std::to_string(client.x)), std::string::npos) << svg;
    EXPECT_NE(svg.find("height=\"" + std::to_string(client.y)), std::string::npos);

    // Each bar is one line from its support to the apex.
    const wxPoint top = apex();
    for (const wxPoint support : {device_map.to_device(0.0f, 0.0f),
                                  device_map.to_device(8.0f, 0.0f)}) {
        const std::string line = "M" + std::to_string(support.x) + " " +
                                 std::to_string(support.y) + " L" + std::to_string(top.x) +
                                 " " + std::to_string(top.y);
        EXPECT_EQ(count_of(svg, line), 1) << line << "\n" << svg;
    }
    // Three node numbers and two element numbers.
    EXPECT_EQ(count_of(svg, "<text"), 5) << svg;
}

TEST_F(PrintingTest, ZeroSizedCanvasCannotBeCopiedAsBitmap)
{
    canvas().SetSize(0, 0);
    if (canvas().GetClientSize().x > 0 && canvas().GetClientSize().y > 0)
        GTEST_SKIP() << "the toolkit keeps the canvas from shrinking to nothing";
    main_frame().IssueCommand(CMD_COPY_BITMAP);
    ASSERT_EQ(hook.dialogs.size(), 1u);
    EXPECT_EQ(hook.dialogs[0].message, "Could not create bitmap.");
    EXPECT_EQ(hook.dialogs[0].caption, "KelVaneD Graphics");
}
