#include <cstdlib>

#include <wx/app.h>

#include "app.h"

wxIMPLEMENT_APP_NO_MAIN(MyApp);

int main(int argc, char** argv)
{
    // Drawing on client contexts needs X11; keep a backend the user chose.
    setenv("GDK_BACKEND", "x11", 0);
    // The log's scroll bar stays in sight, not only under the mouse; again unless
    // the user chose otherwise.
    setenv("GTK_OVERLAY_SCROLLING", "0", 0);
    return wxEntry(argc, argv);
}
