#ifndef KELVANED_FUZZ_FUZZ_CHECKS_H
#define KELVANED_FUZZ_FUZZ_CHECKS_H

// What both fuzz targets hold every run to beyond surviving it. A run that breaks
// a rule stops the process with abort, so the fuzzer reports it like a crash and
// keeps the input.

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/run_model.h"

namespace kv_fuzz {

// Steps one input may run: enough for the seed models to finish, few enough that
// an input asking for a billion increments costs no more than a fraction of a
// second. Only a single step that does not end is a hang.
StepLimits input_limits();

// Runs the model file the way the front end does, within input_limits, with
// standard output and error collected instead of shown, and aborts when
//  - a load that failed wrote no message,
//  - an analysis ended with an error that has no message,
//  - a finished analysis left a number that is not finite in its listing,
//  - a result file holds a number that is not finite.
ModelRun checked_run(const std::string& model_file);

// The listing after its title, which is the model file's own text.
std::string listing_body(const std::string& listing);

// The first word (a run of letters) that a stream writes for a number that is not
// finite: "nan" or "inf" in any case, also "infinity"; empty when there is none.
std::string non_finite_word(const std::string& text);

// The first line that begins with "ERROR:" and has nothing after it; npos when
// there is none.
std::string::size_type bare_error_line(const std::string& listing);

// A directory of this process for the files of the runs, removed at exit.
const std::string& scratch_directory();

// Writes the bytes to the file, replacing it.
void write_file(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace kv_fuzz

#endif
