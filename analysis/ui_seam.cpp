#include "ui_seam.h"

namespace {
UiHooks installed_hooks;
}

void install_ui_hooks(const UiHooks& hooks) { installed_hooks = hooks; }

void analysis_yield()
{
    if (installed_hooks.yield) installed_hooks.yield();
}

void SetLoadBarTolerance(float tolerance)
{
    if (installed_hooks.set_tolerance) installed_hooks.set_tolerance(tolerance);
}

void AddLoadBarValue(float value, bool new_increment)
{
    if (installed_hooks.add_value) installed_hooks.add_value(value, new_increment);
}
