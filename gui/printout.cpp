// Printing, print setup and print preview of the model picture.
#include "printout.h"

#include <algorithm>

#include <wx/cmndata.h>
#include <wx/dc.h>
#include <wx/msgdlg.h>
#include <wx/printdlg.h>

#include "app.h"
#include "canvas.h"
#include "frame.h"
#include "toplevel_show.h"

namespace {

// Keeps the context's font across drawing that may leave another (or none) on it.
class FontKeeper {
public:
    explicit FontKeeper(wxDC& dc) : dc(dc), font(dc.GetFont()) {}
    ~FontKeeper()
    {
        if (font.IsOk()) dc.SetFont(font);
    }
    FontKeeper(const FontKeeper&) = delete;
    FontKeeper& operator=(const FontKeeper&) = delete;

private:
    wxDC& dc;
    wxFont font;
};

}  // namespace

FEAPrintout::FEAPrintout(const wxString& title) : wxPrintout(title) {}

bool FEAPrintout::OnBeginDocument(int start_page, int end_page)
{
    return wxPrintout::OnBeginDocument(start_page, end_page);
}

bool FEAPrintout::HasPage(int page) { return page == 1; }

void FEAPrintout::GetPageInfo(int* min_page, int* max_page, int* first_selected,
                              int* last_selected)
{
    // Pages count from 1: the toolkit's preview and printing start from the
    // minimum page, and a page 0 would be offered (or printed) blank.
    *min_page = 1;
    *max_page = 1;
    *first_selected = 1;
    *last_selected = 1;
}

void FEAPrintout::DrawPicture(wxDC& dc)
{
    MyFrame* frame = GetMainFrame();
    if (!frame || !frame->GetCanvas()) return;

    // The canvas with a margin of 50 on each side, scaled to fit the page.
    int canvas_width = 0;
    int canvas_height = 0;
    frame->GetCanvas()->GetSize(&canvas_width, &canvas_height);
    const float cw = static_cast<float>(canvas_width);
    const float ch = static_cast<float>(canvas_height);
    const float max_x = cw + 2.0f * 50.0f;
    const float max_y = ch + 2.0f * 50.0f;

    int page_width = 0;
    int page_height = 0;
    dc.GetSize(&page_width, &page_height);
    const float w = static_cast<float>(page_width);
    const float h = static_cast<float>(page_height);

    const float scale = std::min(w / max_x, h / max_y);
    dc.SetUserScale(scale, scale);
    // Centre the picture on the page.
    dc.SetDeviceOrigin(static_cast<wxCoord>((w - cw * scale) * 0.5f),
                       static_cast<wxCoord>((h - ch * scale) * 0.5f));

    frame->DrawModel(dc);
}

bool FEAPrintout::OnPrintPage(int page)
{
    wxDC* dc = GetDC();
    if (!dc) return false;

    DrawPicture(*dc);
    dc->SetDeviceOrigin(0, 0);
    dc->SetUserScale(1.0, 1.0);

    // A context that came without a font cannot draw the label.
    FontKeeper keep_font(*dc);
    if (!dc->GetFont().IsOk()) dc->SetFont(*wxNORMAL_FONT);
    dc->DrawText(wxString::Format("PAGE %d", page), 10, 10);
    return true;
}

void MyFrame::OnPrint(wxCommandEvent&)
{
    wxPrintDialogData dialog_data(GetPrintData());
    wxPrinter printer(&dialog_data);
    FEAPrintout printout("KelVaneD printout");
    if (printer.Print(this, &printout, true)) {
        GetPrintData() = printer.GetPrintDialogData().GetPrintData();
    } else if (wxPrinter::GetLastError() == wxPRINTER_ERROR) {
        wxMessageBox("There was a problem printing.\nPerhaps your current printer is not set "
                     "correctly?",
                     "Printing", wxOK, this);
    } else {
        wxMessageBox("You canceled printing", "Printing", wxOK, this);
    }
}

void MyFrame::OnPrintSetup(wxCommandEvent&)
{
    // The printer itself is chosen in the print dialog; setup edits the paper
    // and its orientation.
    wxPageSetupDialogData setup_data(GetPrintData());
    wxPageSetupDialog dialog(this, &setup_data);
    dialog.ShowModal();
    GetPrintData() = dialog.GetPageSetupData().GetPrintData();
}

void MyFrame::OnPrintPreview(wxCommandEvent&)
{
    wxPrintDialogData dialog_data(GetPrintData());
    auto* preview = new wxPrintPreview(new FEAPrintout("FEA printout"),
                                       new FEAPrintout("FEA printout"), &dialog_data);
    if (!preview->IsOk()) {
        delete preview;
        wxMessageBox("There was a problem previewing.\nPerhaps your current printer is not set "
                     "correctly?",
                     "Previewing", wxOK, this);
        return;
    }
    // The preview frame owns the preview and both printouts from here on.
    auto* preview_frame = new wxPreviewFrame(preview, this, "KelVaneD Print Preview",
                                             wxPoint(100, 100), wxSize(600, 650));
    preview_frame->Initialize();
    // Its control bar can be wider than the frame was asked to be; a frame shown
    // below its minimum size comes up squashed to a strip without the page.
    wxSize size = preview_frame->GetSize();
    size.IncTo(preview_frame->GetMinSize());
    preview_frame->SetSize(size);
    preview_frame->Centre(wxBOTH);
    prepare_to_show(*preview_frame);
    preview_frame->Show(true);
}
