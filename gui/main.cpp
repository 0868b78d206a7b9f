#include <cstdlib>

#include <wx/app.h>

#include "app.h"

wxIMPLEMENT_APP_NO_MAIN(MyApp);

int main(int argc, char** argv)
{
    // Drawing on client contexts needs X11; keep a backend the user chose.
    setenv("GDK_BACKEND", "x11", 0);
    return wxEntry(argc, argv);
}
