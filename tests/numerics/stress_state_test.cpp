#include <gtest/gtest.h>

#include <string>

#include "errors.h"
#include "stress_state.h"

namespace {

struct StateSizes {
    int state;
    int stress_size;
    int expanded_size;
    int nodal_dimension;
};

// three-dimensional, plane strain, plane stress, axisymmetric, uniaxial
const StateSizes expected_sizes[] = {
    {0, 6, 6, 3}, {1, 3, 4, 2}, {2, 3, 4, 2}, {3, 4, 4, 2}, {4, 1, 3, 1},
};

TEST(StressState, SizesOfEveryState)
{
    for (const StateSizes& row : expected_sizes) {
        SCOPED_TRACE(row.state);
        EXPECT_EQ(StressSize(row.state), row.stress_size);
        EXPECT_EQ(ExpandedStressSize(row.state), row.expanded_size);
        EXPECT_EQ(get_nodal_dimension(row.state), row.nodal_dimension);
    }
}

template <typename F>
std::string program_error_message(F size_function, int state)
{
    try {
        size_function(state);
    } catch (const KelVane::program_error& e) {
        return e.what();
    }
    return "no exception";
}

TEST(StressState, UndefinedStateThrowsProgramErrorNamingTheFunction)
{
    for (const int state : {-1, 5, 100}) {
        SCOPED_TRACE(state);
        EXPECT_EQ(program_error_message(StressSize, state),
                  "undefined stress state in StressSize()");
        EXPECT_EQ(program_error_message(ExpandedStressSize, state),
                  "undefined stress state in ExpandedStressSize()");
        EXPECT_EQ(program_error_message(get_nodal_dimension, state),
                  "undefined stress state in get_nodal_dimension()");
    }
    EXPECT_THROW(StressSize(5), KelVane::kelvane_error);
}

}  // namespace
