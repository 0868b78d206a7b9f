#ifndef KELVANED_TESTS_RUN_MODEL_H
#define KELVANED_TESTS_RUN_MODEL_H

#include <string>

// Test helper: runs a model file from start to end the way the front end does,
// writing the listing and the result file next to the model file.
struct ModelRun {
    int input_errors = 0;     // what read_model counted
    bool ran = false;         // the analysis was started (no input errors)
    bool finished = false;    // the control said no work remains, without an exception
    std::string error;        // message of an exception from reading or running
    int steps = 0;            // calls of the control's run
    std::string listing_path; // <dir><base>.out
    std::string result_path;  // <dir><base>.flavia.res
};

// Where a run may stop before the analysis has finished, as an engineer halting
// it would: after max_steps calls of run (none when negative), or before the next
// call once max_seconds have passed since the start (none when negative).
struct StepLimits {
    int max_steps = -1;
    double max_seconds = -1.0;
};

// Reads the model; when it has no errors, opens the listing and writes the title,
// opens the result file when the analysis writes one (writes_result_file), calls
// init, reports what *post asks for that is not written, and then calls
// run with a limit of one step until it returns false or a limit is reached, and
// closes the files. An exception ends the analysis with "ERROR: " and its message
// in the listing, as in the front end; so does a write to either file that failed
// (they are checked after init, after every step and when closed). A run two of
// whose files are one file (open_analysis_files), or whose listing or result file
// cannot be opened, is refused before either file is emptied (`ran` stays false,
// `error` says why).
ModelRun run_model(const std::string& model_file, const StepLimits& limits = StepLimits());

// The whole content of a text file; empty when it cannot be read.
std::string read_text_file(const std::string& path);

#endif
