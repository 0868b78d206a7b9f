#ifndef KELVANED_GUI_DRAW_PROP_DIALOG_H
#define KELVANED_GUI_DRAW_PROP_DIALOG_H

#include <cmath>

#include <wx/dialog.h>
#include <wx/valtext.h>

class wxFrame;
class DrawProperties;

// Binds a text field to a double. The field admits numeric characters only, and
// its text reaches the double only when it converts as a whole to a number no
// larger in magnitude than `largest`; Validate says which field (by the field's
// window name) holds a text that does not, and names the limit when there is one.
class DoubleTextValidator : public wxTextValidator {
public:
    explicit DoubleTextValidator(double* value, double largest = HUGE_VAL);
    // The copy binds the same number and owns a fresh buffer filled from it.
    DoubleTextValidator(const DoubleTextValidator& other);

    wxObject* Clone() const override;
    bool Validate(wxWindow* parent) override;
    bool TransferToWindow() override;
    bool TransferFromWindow() override;

private:
    // Whether `text` converts as a whole to a number within the limit.
    bool convert(const wxString& text, double& number) const;

    double* value;
    double largest;   // the largest magnitude taken; HUGE_VAL for no limit
    wxString buffer;  // the text the base validator moves to and from the field
};

// Binds a text field to an int, as DoubleTextValidator does for a double.
class IntTextValidator : public wxTextValidator {
public:
    explicit IntTextValidator(int* value);
    IntTextValidator(const IntTextValidator& other);

    wxObject* Clone() const override;
    bool Validate(wxWindow* parent) override;
    bool TransferToWindow() override;
    bool TransferFromWindow() override;

private:
    int* value;
    wxString buffer;
};

// Control identifiers of the drawing-properties dialog.
enum DrawPropControl : int {
    ID_ELEMENT_NUMBERS = 180,
    ID_NODE_NUMBERS = 181,
    ID_PLOT_UNDEFORMED = 182,
    ID_PLOT_DEFORMED = 183,
    ID_SCALING = 184,
    ID_EVERY_NTH = 185,
    ID_WAIT_SECONDS = 186
};

// Modeless editor of the main frame's drawing properties: what the picture
// shows, the displacement scaling, and how often and how slowly the analysis
// redraws. Its fields are loaded from the properties each time it is shown.
class DrawPropDialog : public wxDialog {
public:
    DrawPropDialog(wxFrame* parent, DrawProperties* properties, const wxString& title,
                   const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize,
                   long style = wxDEFAULT_DIALOG_STYLE);

    void OnOK(wxCommandEvent& event);
    void OnApply(wxCommandEvent& event);

private:
    // What the dialog edits; the validators bind the controls to its fields.
    DrawProperties* properties;
    wxFrame* main_frame;

    wxDECLARE_EVENT_TABLE();
};

#endif
