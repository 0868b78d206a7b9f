#ifndef KELVANED_TESTS_GUI_TEST_SUPPORT_H
#define KELVANED_TESTS_GUI_TEST_SUPPORT_H

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <wx/event.h>
#include <wx/gdicmn.h>
#include <wx/image.h>
#include <wx/modalhook.h>
#include <wx/string.h>

class MyFrame;
class wxWindow;

namespace gui_test {

// One modal dialog that the hook answered instead of showing it.
struct RecordedDialog {
    wxString message;  // the text of a message box, empty for other dialogs
    wxString caption;  // message box caption or dialog title
    long style = 0;    // message box style (wxYES_NO, wxOK, ...)
    int answer = 0;    // the identifier returned from ShowModal
};

// Answers every modal dialog of the program while it exists, so that no test
// ever waits for a user, and records what was asked. Answers queued with
// Answer() are used first, in order; after them message boxes with Yes/No get
// No, other message boxes OK, and every other dialog Cancel. `on_dialog` may
// prepare a dialog (fill in a font or colour) before its answer is taken.
class DialogHook : public wxModalDialogHook {
public:
    DialogHook();
    ~DialogHook() override;

    // Queues the answer (wxID_YES, wxID_NO, wxID_OK, wxID_CANCEL) for the next dialog.
    void Answer(int id) { answers.push_back(id); }

    std::function<void(wxDialog*)> on_dialog;
    std::vector<RecordedDialog> dialogs;

    // Texts of the recorded message boxes, in order.
    std::vector<wxString> messages() const;

protected:
    int Enter(wxDialog* dialog) override;

private:
    std::deque<int> answers;
};

// Counts the commands of one identifier that reach the main frame and keeps them
// from its own handler while the probe exists.
class CommandProbe {
public:
    explicit CommandProbe(int id);
    ~CommandProbe();
    CommandProbe(const CommandProbe&) = delete;
    CommandProbe& operator=(const CommandProbe&) = delete;

    int count = 0;

private:
    void OnCommand(wxCommandEvent& event);
    int id;
};

MyFrame& main_frame();

// Records GTK's warnings and failed assertions (its log messages of the "Gtk"
// and "Gdk" domains) from the call on, and still prints them. One that arrives
// while a test runs fails that test; the others are kept for
// complaints_between_tests. Call once, before the main frame is built.
void record_toolkit_complaints();
// What GTK complained about while no test was running: at start-up, or between tests.
std::vector<std::string> complaints_between_tests();

// Runs pending events (one yield) and sleeps a little, `rounds` times.
void pump_events(int rounds = 3);
// Yields until `condition` holds or `timeout_ms` has passed; returns the condition.
bool wait_until(const std::function<bool()>& condition, int timeout_ms = 3000);

// What `window` shows on screen now, read back from its client area; an
// invalid image when the window has no area.
wxImage read_window(wxWindow& window);

// What the screen shows in `area` (screen coordinates), read from the X server:
// the windows over one another as the user sees them. An invalid image when it
// cannot be read.
wxImage read_screen(const wxRect& area);

// What the screen shows of a modal dialog that `open` brings up, `settle_ms`
// after the dialog first appeared. The first `skip` modal dialogs are cancelled
// unseen; the next is shown for real and then closed with the GTK response
// `response` (-5 OK, -9 No), and any later one is cancelled. An invalid image
// when that dialog did not appear within `timeout_ms`. A dialog that painted
// nothing fails the test.
wxImage shoot_modal_dialog(const std::function<void()>& open, int response, int skip = 0,
                           int settle_ms = 500, int timeout_ms = 5000);
// Whether all pixels of `image` have one colour.
bool is_uniform(const wxImage& image);
// Whether a window whose screen area shows `shot` painted nothing: it is one flat
// colour (as on a display that blanks new windows), or the screen there is as it
// was `before` the window appeared (as on one that leaves their area as it was).
bool painted_nothing(const wxImage& shot, const wxImage& before);

// The log window's text, and whether it contains `text`.
wxString log_text();
bool log_contains(const wxString& text);

// Copies examples/<name> into a fresh temporary directory (so the listing lands
// there) and returns the copy's path. The directory lives until the test program ends.
std::string copy_example(const std::string& name);
// A fresh temporary directory, removed when the test program ends.
std::string make_temp_dir();
void remove_temp_dirs();

std::string read_file(const std::string& path);

}  // namespace gui_test

#endif
