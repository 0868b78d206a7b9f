#ifndef KELVANED_GUI_RUNNER_H
#define KELVANED_GUI_RUNNER_H

#include <string>

#include "model_loader.h"
#include "output_file.h"

class MyDomain;
namespace KelVane {
template <class DomainType>
class Control;
}

// Process-wide state of the analysis runner (the MyFrame members in runner.cpp).

// The loaded model and its analysis procedure, owned here; deleted by the next load.
extern MyDomain* domain;
extern KelVane::Control<MyDomain>* control;

// A model was loaded without errors and its analysis has not ended for good.
extern bool loaded;
// A run or continue command is executing (set by DisableFileMenu, cleared by
// EnableFileMenu): loading is disabled and the main window cannot be closed.
extern bool running;
// The analysis may be continued; cleared when an exception ended it.
extern bool can_continue;
// The control's init has been called for the loaded model.
extern bool started;

// The listing and result files of the model loaded: model directory + bare model
// name + ".out" and ".flavia.res".
extern std::string out_file_name;
extern std::string post_file_name;
extern OutputFile out_stream;
extern OutputFile post_stream;

// Time spent in continue commands since the load.
extern StopWatch analysis_timer;

// Set or clear `running` and disable or enable the File menu's load and
// recent-file items.
void DisableFileMenu();
void EnableFileMenu();

#endif
