#ifndef KELVANED_GUI_APP_H
#define KELVANED_GUI_APP_H

#include <wx/app.h>

class wxFont;
class wxPrintData;
class MyFrame;

// The application: sets the "C" numeric locale, creates the log font, the print
// data and the main frame, and installs the analysis's event-loop and
// convergence-bar hooks.
class MyApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;
};

// The one main frame; null before it is built and after it is destroyed.
MyFrame* GetMainFrame();
// Registered by the main frame itself while it exists.
void SetMainFrame(MyFrame* frame);

// The log window's 12-point fixed-pitch font and the print settings carried from
// one print job to the next; both live until the process ends.
const wxFont& GetLogFont();
wxPrintData& GetPrintData();

#endif
