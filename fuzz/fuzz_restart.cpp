// Fuzz target of the restart reader: the input is the restart file of a small
// fixed model that mixes element families (truss, plastic quadrilateral,
// total-Lagrange quadrilateral, beam). The model restarts from it under each
// incremental analysis in turn, within the same bounds and held to the same
// rules as the model target (fuzz_checks.h).
//
// The seeds in corpus/restart are the files these models write at their last
// increment when their "restart" line is replaced by "save last".

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_checks.h"

namespace {

// Units N, mm, MPa, t, s. The truss hangs on node 1; the plastic quadrilateral
// shares its right edge with the total-Lagrange one; the beam is a cantilever.
const char* const fixed_model =
    "*title\n"
    "Restart of truss, plastic and total-Lagrange quadrilaterals, beam\n"
    "*nodes\n"
    "1  0 0 0\n"
    "2  100 0 0\n"
    "3  200 0 0\n"
    "4  300 0 0\n"
    "5  300 100 0\n"
    "6  200 100 0\n"
    "7  400 0 0\n"
    "8  400 100 0\n"
    "9  500 0 0\n"
    "10 600 0 0\n"
    "*material 1\n"
    "linearelastic\n"
    "young 210000\n"
    "poisson 0.3\n"
    "density 7.85e-9\n"
    "*material 2\n"
    "vonmises\n"
    "young 210000\n"
    "poisson 0.3\n"
    "density 7.85e-9\n"
    "nadai 500 0.25 200\n"
    "*geometry 1\n"
    "crosse 100\n"
    "iz 1000\n"
    "*elements\n"
    "truss 1 1\n"
    "1  1 2\n"
    "quad4psn 2\n"
    "2  3 4 5 6\n"
    "tlquad4psn 1\n"
    "3  4 7 8 5\n"
    "beam2d 1 1\n"
    "4  9 10\n"
    "*suppress\n"
    "ux uy  1 3 9\n"
    "uy  2\n"
    "ux  6\n"
    "rz  9\n"
    "*loadef\n"
    "set 1\n"
    "loads\n"
    "fx 1000  2\n"
    "fx 15000  7 8\n"
    "fy -50  10\n";

// The analysis sections the fixed model restarts under.
const char* const analyses[] = {
    "*nonlinear static\n"
    "increments 2\n"
    "full\n"
    "unbalance 1e-8\n"
    "maxiter 20\n",
    "*nonlinear dynamic\n"
    "newmark 0.25 0.5\n"
    "timestep 1e-4\n"
    "increments 2\n",
    "*nonlinear dynamic\n"
    "explicit\n"
    "timestep 1e-7\n"
    "increments 2\n",
};

const std::size_t analysis_count = sizeof analyses / sizeof analyses[0];

std::string restart_file() { return kv_fuzz::scratch_directory() + "input.bin"; }

std::string model_file(std::size_t kind)
{
    return kv_fuzz::scratch_directory() + "restart" + std::to_string(kind) + ".dat";
}

void write_text(const std::string& path, const std::string& text)
{
    kv_fuzz::write_file(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    for (std::size_t kind = 0; kind < analysis_count; ++kind)
        write_text(model_file(kind), std::string(fixed_model) + analyses[kind] + "restart " +
                                         restart_file() + "\n*end\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    kv_fuzz::write_file(restart_file(), data, size);
    for (std::size_t kind = 0; kind < analysis_count; ++kind) kv_fuzz::checked_run(model_file(kind));
    return 0;
}
