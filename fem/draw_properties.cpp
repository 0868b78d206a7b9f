#include "draw_properties.h"

DrawProperties::DrawProperties()
{
    SetDefaults();
}

void DrawProperties::SetDefaults()
{
    element_numbers = false;
    node_numbers = false;
    plot_deformed = false;
    plot_undeformed = true;
    scaling = 1.0;
    wait_seconds = 0.0;
    every_nth = 1;
    element_font = wxFont(11, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD);
    element_colour = wxColour("RED");
    node_font = wxFont(11, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    node_colour = wxColour("BLUE");
    graphics_font = wxFont(11, wxFONTFAMILY_ROMAN, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL);
    graphics_colour = wxColour("BLACK");
}
