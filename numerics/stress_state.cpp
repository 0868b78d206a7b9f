#include "stress_state.h"

#include "errors.h"

namespace {

// One row per stress-state code.
struct StressStateSizes {
    int stress_size;
    int expanded_size;
    int nodal_dimension;
};

constexpr StressStateSizes sizes_table[] = {
    {6, 6, 3},  // three-dimensional
    {3, 4, 2},  // plane strain
    {3, 4, 2},  // plane stress
    {4, 4, 2},  // axisymmetric
    {1, 3, 1},  // uniaxial
};

constexpr int number_of_states = sizeof(sizes_table) / sizeof(sizes_table[0]);

const StressStateSizes& sizes_of(int stress_state, const char* message)
{
    if (stress_state < 0 || stress_state >= number_of_states)
        throw KelVane::program_error(message);
    return sizes_table[stress_state];
}

}  // namespace

int StressSize(int stress_state)
{
    return sizes_of(stress_state, "undefined stress state in StressSize()").stress_size;
}

int ExpandedStressSize(int stress_state)
{
    return sizes_of(stress_state, "undefined stress state in ExpandedStressSize()").expanded_size;
}

int get_nodal_dimension(int stress_state)
{
    return sizes_of(stress_state, "undefined stress state in get_nodal_dimension()")
        .nodal_dimension;
}
