// Fuzz target of the model-file reader and the analyses: the input is a model
// file. It is loaded the way the front end loads it and, when it loads without
// errors, its analysis runs for a bounded number of steps (fuzz_checks.h says
// what every run is held to).
//
// Restart files that a model saves are written into the working directory, as
// the program does: run the target from a scratch directory (tools/fuzz.sh does).

#include <cstddef>
#include <cstdint>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string model_file = kv_fuzz::scratch_directory() + "model.dat";
    kv_fuzz::write_file(model_file, data, size);
    kv_fuzz::checked_run(model_file);
    return 0;
}
