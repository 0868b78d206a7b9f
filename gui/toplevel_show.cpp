#include "toplevel_show.h"

#include <wx/toplevel.h>

#ifdef __WXGTK__
#include <dlfcn.h>
#endif

void prepare_to_show(wxTopLevelWindow& window)
{
#ifdef __WXGTK__
    // The toolkit's own GTK library is loaded with wxWidgets; its realize
    // function is looked up there, so the build needs no GTK headers. Realizing
    // a window that has its native window already does nothing.
    using realize_function = void (*)(GtkWidget*);
    static const auto realize =
        reinterpret_cast<realize_function>(dlsym(RTLD_DEFAULT, "gtk_widget_realize"));
    if (realize && window.GetHandle()) realize(window.GetHandle());
#else
    (void)window;
#endif
}
