#include "draw_prop_dialog.h"

#include <cfloat>
#include <climits>
#include <cmath>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/frame.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/valgen.h>

#include "draw_properties.h"
#include "frame.h"

namespace {

// The whole text must be a number; numbers are always read in the "C" format.
bool convert(const wxString& text, double& result) { return text.ToCDouble(&result); }

bool convert(const wxString& text, int& result)
{
    long number = 0;
    if (!text.ToLong(&number, 10) || number < INT_MIN || number > INT_MAX) return false;
    result = static_cast<int>(number);
    return true;
}

wxString format(double value) { return wxString::Format("%g", value); }

wxString format(int value) { return wxString::Format("%d", value); }

// The text of the field a validator is attached to; empty when there is none.
wxString field_text(wxValidator& validator)
{
    auto* field = dynamic_cast<wxTextCtrl*>(validator.GetWindow());
    return field ? field->GetValue() : wxString();
}

// A text of numeric characters that is still no number of the kind a field takes
// (1..2, 1e, an empty field) is named with its field, and the field gets the
// focus, as the toolkit's own check does for other characters.
void report_unreadable(wxValidator& validator, wxWindow* parent, const wxString& kind)
{
    wxWindow* field = validator.GetWindow();
    if (!field) return;
    field->SetFocus();
    wxMessageBox(wxString::Format("%s: \"%s\" is not %s", field->GetName(),
                                  field_text(validator), kind),
                 "Validation conflict", wxOK | wxICON_EXCLAMATION, parent);
}

}  // namespace

DoubleTextValidator::DoubleTextValidator(double* value, double largest)
    : wxTextValidator(wxFILTER_NUMERIC), value(value), largest(largest), buffer(format(*value))
{
    m_stringValue = &buffer;
}

DoubleTextValidator::DoubleTextValidator(const DoubleTextValidator& other)
    : wxTextValidator(other),
      value(other.value),
      largest(other.largest),
      buffer(format(*other.value))
{
    m_stringValue = &buffer;
}

wxObject* DoubleTextValidator::Clone() const { return new DoubleTextValidator(*this); }

bool DoubleTextValidator::convert(const wxString& text, double& number) const
{
    return ::convert(text, number) && std::fabs(number) <= largest;
}

bool DoubleTextValidator::Validate(wxWindow* parent)
{
    if (!wxTextValidator::Validate(parent)) return false;
    double number = 0.0;
    if (convert(field_text(*this), number)) return true;
    report_unreadable(*this, parent,
                      std::isfinite(largest)
                          ? wxString::Format("a number from %g to %g", -largest, largest)
                          : wxString("a number"));
    return false;
}

bool DoubleTextValidator::TransferToWindow()
{
    buffer = format(*value);
    return wxTextValidator::TransferToWindow();
}

bool DoubleTextValidator::TransferFromWindow()
{
    if (!wxTextValidator::TransferFromWindow()) return false;
    double number = 0.0;
    if (!convert(buffer, number)) return false;
    *value = number;
    return true;
}

IntTextValidator::IntTextValidator(int* value)
    : wxTextValidator(wxFILTER_NUMERIC), value(value), buffer(format(*value))
{
    m_stringValue = &buffer;
}

IntTextValidator::IntTextValidator(const IntTextValidator& other)
    : wxTextValidator(other), value(other.value), buffer(format(*other.value))
{
    m_stringValue = &buffer;
}

wxObject* IntTextValidator::Clone() const { return new IntTextValidator(*this); }

bool IntTextValidator::Validate(wxWindow* parent)
{
    if (!wxTextValidator::Validate(parent)) return false;
    int number = 0;
    if (convert(field_text(*this), number)) return true;
    report_unreadable(*this, parent,
                      wxString::Format("a whole number from %d to %d", INT_MIN, INT_MAX));
    return false;
}

bool IntTextValidator::TransferToWindow()
{
    buffer = format(*value);
    return wxTextValidator::TransferToWindow();
}

bool IntTextValidator::TransferFromWindow()
{
    if (!wxTextValidator::TransferFromWindow()) return false;
    int number = 0;
    if (!convert(buffer, number)) return false;
    *value = number;
    return true;
}

// clang-format off
wxBEGIN_EVENT_TABLE(DrawPropDialog, wxDialog)
    EVT_BUTTON(wxID_OK, DrawPropDialog::OnOK)
    EVT_BUTTON(wxID_APPLY, DrawPropDialog::OnApply)
wxEND_EVENT_TABLE()
// clang-format on

DrawPropDialog::DrawPropDialog(wxFrame* parent, DrawProperties* edited,
                               const wxString& title, const wxPoint& pos, const wxSize& size,
                               long style)
    : wxDialog(parent, wxID_ANY, title, pos, size, style),
      properties(edited),
      main_frame(parent)
{
    auto* top = new wxBoxSizer(wxVERTICAL);

    auto* switches = new wxGridSizer(2, 2, 5, 10);
    const struct {
        int id;
        const char* label;
        bool* flag;
    } boxes[] = {
        {ID_ELEMENT_NUMBERS, "Element numbers", &properties->element_numbers},
        {ID_PLOT_UNDEFORMED, "Plot undeformed", &properties->plot_undeformed},
        {ID_NODE_NUMBERS, "Node numbers", &properties->node_numbers},
        {ID_PLOT_DEFORMED, "Plot deformed", &properties->plot_deformed},
    };
    for (const auto& box : boxes)
        switches->Add(new wxCheckBox(this, box.id, box.label, wxDefaultPosition,
                                     wxDefaultSize, 0, wxGenericValidator(box.flag)));
    top->Add(switches, 0, wxALIGN_CENTER | wxALL, 10);

    auto* numbers = new wxFlexGridSizer(3, 2, 5, 5);
    const int label_flags = wxALIGN_RIGHT | wxALIGN_CENTER_VERTICAL;
    numbers->Add(new wxStaticText(this, wxID_ANY, "displacement scaling"), 0, label_flags);
    // Each field is named for the messages about a text it cannot take.
    // The drawing works in single precision: a larger scaling has no value there.
    numbers->Add(new wxTextCtrl(this, ID_SCALING, wxEmptyString, wxDefaultPosition,
                                wxDefaultSize, 0,
                                DoubleTextValidator(&properties->scaling, FLT_MAX),
                                "displacement scaling"));
    numbers->Add(new wxStaticText(this, wxID_ANY, "plot every n-th step: n="), 0, label_flags);
    numbers->Add(new wxTextCtrl(this, ID_EVERY_NTH, wxEmptyString, wxDefaultPosition,
                                wxDefaultSize, 0, IntTextValidator(&properties->every_nth),
                                "plot every n-th step"));
    numbers->Add(new wxStaticText(this, wxID_ANY, "wait 'x' seconds per plot: x="), 0,
                 label_flags);
    numbers->Add(new wxTextCtrl(this, ID_WAIT_SECONDS, wxEmptyString, wxDefaultPosition,
                                wxDefaultSize, 0,
                                DoubleTextValidator(&properties->wait_seconds),
                                "wait seconds per plot"));
    top->Add(numbers, 0, wxALIGN_CENTER | wxALL, 10);

    top->Add(new wxStaticLine(this, wxID_ANY), 0, wxEXPAND | wxALL, 5);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* ok = new wxButton(this, wxID_OK, "OK");
    buttons->Add(ok, 0, wxALL, 7);
    buttons->Add(new wxButton(this, wxID_APPLY, "Apply"), 0, wxALL, 7);
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"), 0, wxALL, 7);
    top->Add(buttons, 0, wxALIGN_CENTER | wxALL, 10);

    SetAutoLayout(true);
    SetSizer(top);
    top->Fit(this);
    top->SetSizeHints(this);

    ok->SetFocus();
    ok->SetDefault();
}

void DrawPropDialog::OnApply(wxCommandEvent&)
{
    if (Validate()) TransferDataFromWindow();
    if (auto* frame = dynamic_cast<MyFrame*>(main_frame)) frame->IssueCommand(CMD_REFRESH);
}

void DrawPropDialog::OnOK(wxCommandEvent&)
{
    if (Validate() && TransferDataFromWindow()) {
        if (IsModal())
            EndModal(wxID_OK);
        else
            Hide();
    }
    if (auto* frame = dynamic_cast<MyFrame*>(main_frame)) frame->IssueCommand(CMD_REFRESH);
}
