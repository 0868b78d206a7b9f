// The front-end test program: the real application starts, and GoogleTest runs
// inside its event loop once the main frame is up. Run it through
// tools/gui-test.sh (virtual X server and a window manager).
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <gtest/gtest.h>
#include <wx/app.h>

#include "app.h"
#include "frame.h"
#include "gui_test_support.h"

namespace {

int test_result = 1;

// Toolkit assertions become test failures instead of modal dialogs; GTK's own
// complaints are recorded by gui_test::record_toolkit_complaints.
void report_toolkit_assertion(const wxString& file, int line, const wxString& func,
                              const wxString& cond, const wxString& msg)
{
    const std::string text = "toolkit assertion " + cond.utf8_string() + " in " +
                             func.utf8_string() + " (" + file.utf8_string() + ":" +
                             std::to_string(line) + "): " + msg.utf8_string();
    if (testing::UnitTest::GetInstance()->current_test_info())
        ADD_FAILURE() << text;
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

class TestApp : public MyApp {
public:
    bool OnInit() override
    {
        wxSetAssertHandler(report_toolkit_assertion);
        gui_test::record_toolkit_complaints();
        if (!MyApp::OnInit()) return false;
        CallAfter(&TestApp::RunTests);
        return true;
    }

private:
    void RunTests()
    {
        // Let the windows appear before the first test.
        gui_test::pump_events(10);
        test_result = RUN_ALL_TESTS();
        gui_test::remove_temp_dirs();
        if (MyFrame* frame = GetMainFrame()) frame->Close(true);
        ExitMainLoop();
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(TestApp);

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    setenv("GDK_BACKEND", "x11", 0);
    if (wxEntry(argc, argv) != 0 && test_result == 0) return 1;
    return test_result;
}
