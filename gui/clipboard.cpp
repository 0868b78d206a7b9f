// Copies of the model picture on the clipboard: a vector drawing (SVG) and a
// bitmap (offered as PNG).
#include <fstream>
#include <iterator>
#include <string>

#include <wx/bitmap.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dcmemory.h>
#include <wx/dcsvg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "canvas.h"
#include "frame.h"

namespace {

// Media type under which the vector copy is offered.
const char* const svg_format = "image/svg+xml";

// Draws the main frame's picture into an SVG file of the canvas size and returns
// the file's text; empty when no drawing context could be made.
std::string draw_svg(MyFrame& frame, int width, int height)
{
    const wxString file_name = wxFileName::CreateTempFileName("kelvaned-copy");
    if (file_name.empty()) return std::string();
    {
        wxSVGFileDC dc(file_name, width, height);
        if (!dc.IsOk()) {
            wxRemoveFile(file_name);
            return std::string();
        }
        frame.DrawModel(dc);
    }  // the drawing is complete once the context is gone
    std::ifstream in(file_name.utf8_string(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    wxRemoveFile(file_name);
    return text;
}

}  // namespace

void MyFrame::OnCopyMetafile(wxCommandEvent&)
{
    // This platform has no metafiles: the vector picture travels as SVG. Like a
    // metafile copy, one that cannot be made reports nothing.
    int width = 0;
    int height = 0;
    canvas->GetClientSize(&width, &height);
    const std::string svg = draw_svg(*this, width, height);
    if (svg.empty()) return;

    if (!wxTheClipboard->Open()) return;
    auto* data = new wxCustomDataObject(wxDataFormat(svg_format));
    data->SetData(svg.size(), svg.data());
    wxTheClipboard->SetData(data);
    wxTheClipboard->Close();
}

void MyFrame::OnCopyBitmap(wxCommandEvent&)
{
    int width = 0;
    int height = 0;
    canvas->GetClientSize(&width, &height);
    wxBitmap bitmap;
    if (width <= 0 || height <= 0 || !bitmap.Create(width, height, wxBITMAP_SCREEN_DEPTH)) {
        wxMessageBox("Could not create bitmap.", "KelVaneD Graphics", wxOK, this);
        return;
    }

    {
        wxMemoryDC dc;
        dc.SelectObject(bitmap);
        dc.Clear();
        DrawModel(dc);
        dc.SelectObject(wxNullBitmap);
    }

    if (!wxTheClipboard->Open()) {
        wxMessageBox("Could not open clipboard.", "KelVaneD Graphics", wxOK, this);
        return;
    }
    if (!wxTheClipboard->SetData(new wxBitmapDataObject(bitmap)))
        wxMessageBox("Could not copy bitmap to clipboard.", "KelVaneD Graphics", wxOK, this);
    wxTheClipboard->Close();
}
