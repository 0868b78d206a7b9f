#ifndef KELVANED_TESTS_FEM_TEST_HELPERS_H
#define KELVANED_TESTS_FEM_TEST_HELPERS_H

// Helpers of the element and material tests that need no model.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/stream_capture.h"

#include "errors.h"
#include "geometry.h"
#include "material.h"

namespace kv_test {

// A new point of the material for the stress state, as the point class the test
// expects; null (and a failure) when the material creates another kind.
template <class Point>
std::unique_ptr<Point> make_point(const KelVane::Material_type& material, int state)
{
    KelVane::Material_Point* point = material.create_point(state);
    Point* typed = dynamic_cast<Point*>(point);
    EXPECT_NE(nullptr, typed);
    if (typed == nullptr)
        delete point;
    return std::unique_ptr<Point>(typed);
}

// The call throws program_error with exactly this message.
inline void expect_program_error(const std::function<void()>& call, const std::string& message)
{
    try {
        call();
        ADD_FAILURE() << "no program_error, expected: " << message;
    } catch (const KelVane::program_error& error) {
        EXPECT_EQ(message, error.what());
    }
}

// One row of an element's input-check table: the group's material and geometry
// (either may be none), the errors the check counts and its messages.
struct InputCheckCase {
    const KelVane::Material_type* material;
    const KelVane::Geometry* geometry;
    int errors;
    std::string messages;
};

// Runs the element's input check on every row and compares the count and the
// error stream.
template <class Check>
void expect_input_checks(Check check, const std::vector<InputCheckCase>& cases)
{
    for (const InputCheckCase& c : cases) {
        CerrCapture capture;
        EXPECT_EQ(check(c.material, c.geometry), c.errors) << c.messages;
        EXPECT_EQ(capture.text(), c.messages);
    }
}

}  // namespace kv_test

#endif
