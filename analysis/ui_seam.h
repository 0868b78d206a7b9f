#ifndef KELVANED_UI_SEAM_H
#define KELVANED_UI_SEAM_H

// The analysis runs inside the front end's event loop. It reaches that loop and
// the convergence bar graph only through these hooks, which do nothing until the
// front end installs its own at start-up; the analysis library therefore needs
// no display.
struct UiHooks {
    void (*yield)() = nullptr;                          // run pending events once
    void (*set_tolerance)(float tolerance) = nullptr;   // convergence bar tolerance
    void (*add_value)(float value, bool new_increment) = nullptr;  // one iteration's ratio
};

// Installs the front end's hooks; a default UiHooks{} removes them again.
void install_ui_hooks(const UiHooks& hooks);

// Gives the event loop a chance to run (the front end's wxYield).
void analysis_yield();

// Forward to the convergence bar of the control dialog.
void SetLoadBarTolerance(float tolerance);
void AddLoadBarValue(float value, bool new_increment);

#endif
