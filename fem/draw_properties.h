#ifndef KELVANED_DRAW_PROPERTIES_H
#define KELVANED_DRAW_PROPERTIES_H

#include <wx/colour.h>
#include <wx/font.h>

// What the picture shows, with which fonts and colours, and how often the
// analysis runner redraws it. Holds toolkit fonts and colours: construct it only
// once the toolkit runs.
class DrawProperties {
public:
    DrawProperties();
    void SetDefaults();

    bool element_numbers;
    bool node_numbers;
    bool plot_deformed;
    bool plot_undeformed;  // alone, or red and dashed over the deformed shape
    double scaling;        // displacement scaling of the deformed shape
    double wait_seconds;   // wait per plotted step; whole seconds count
    int every_nth;         // redraw every n-th step; 0 or less: never
    wxFont element_font;
    wxColour element_colour;
    wxFont node_font;
    wxColour node_colour;
    wxFont graphics_font;    // the picture's caption
    wxColour graphics_colour;
};

#endif
