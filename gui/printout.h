#ifndef KELVANED_GUI_PRINTOUT_H
#define KELVANED_GUI_PRINTOUT_H

#include <wx/print.h>

class wxDC;

// One printed page of the model picture: the canvas's view, centred and scaled
// to the page, with a page label in the corner. Used for printing and preview.
class FEAPrintout : public wxPrintout {
public:
    explicit FEAPrintout(const wxString& title);

    bool OnBeginDocument(int start_page, int end_page) override;
    bool HasPage(int page) override;
    bool OnPrintPage(int page) override;
    void GetPageInfo(int* min_page, int* max_page, int* first_selected,
                     int* last_selected) override;

    // Draws the main frame's picture on `dc`, centred and fitted, with the
    // canvas's size plus a margin of 50 on each side, to the context's size.
    void DrawPicture(wxDC& dc);
};

#endif
