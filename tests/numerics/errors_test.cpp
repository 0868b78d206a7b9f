#include "errors.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <type_traits>

using namespace KelVane;

namespace {

// Which handlers catch an error: a bit per handler, tried in the order of the list.
struct Caught {
    bool not_converged = false;
    bool program = false;
    bool kelvane = false;
    bool kelvaned = false;
    bool standard = false;
};

template <class Error>
Caught catch_in_every_handler(const Error& error)
{
    Caught caught;
    try { throw error; } catch (const not_converged_error&) { caught.not_converged = true; } catch (...) {}
    try { throw error; } catch (const program_error&) { caught.program = true; } catch (...) {}
    try { throw error; } catch (const kelvane_error&) { caught.kelvane = true; } catch (...) {}
    try { throw error; } catch (const kelvaned_error&) { caught.kelvaned = true; } catch (...) {}
    try { throw error; } catch (const std::exception& e) {
        caught.standard = true;
        EXPECT_EQ(std::string(error.what()), e.what());
    } catch (...) {}
    return caught;
}

template <class Error>
void expect_handlers(const char* message, bool not_converged, bool program, bool kelvane, bool kelvaned)
{
    const Error error(message);
    EXPECT_EQ(std::string(message), error.what());
    const Error copy(error);
    EXPECT_EQ(std::string(message), copy.what()) << "a copy keeps the message";

    const Caught caught = catch_in_every_handler(error);
    EXPECT_EQ(not_converged, caught.not_converged) << message;
    EXPECT_EQ(program, caught.program) << message;
    EXPECT_EQ(kelvane, caught.kelvane) << message;
    EXPECT_EQ(kelvaned, caught.kelvaned) << message;
    EXPECT_TRUE(caught.standard) << message;
}

} // namespace

TEST(Errors, EveryClassIsCaughtByItsBasesOnly)
{
    //                                   message                   not_conv program kelvane kelvaned
    expect_handlers<kelvane_error>("aborted increment", false, false, true, false);
    expect_handlers<program_error>("illegal direction, length = 0", false, true, true, false);
    expect_handlers<dimension_error>("inv: error", false, true, true, false);
    expect_handlers<not_implemented_error>("determinant: error", false, true, true, false);
    expect_handlers<matrix_error>("determinant zero", false, false, true, false);
    expect_handlers<not_found>("unknown load set number", false, false, true, false);
    expect_handlers<file_error>("corrupt restart file", false, false, true, false);
    expect_handlers<not_converged_error>("solution not converged", true, false, true, false);
    expect_handlers<divergence_error>("divergence occured", true, false, true, false);
    expect_handlers<kelvaned_error>("undefined stress type", false, false, false, true);
    expect_handlers<syntax_error>("", false, false, false, true);
}

TEST(Errors, TheTwoFamiliesAreIndependent)
{
    static_assert(std::is_base_of<std::exception, kelvane_error>::value, "");
    static_assert(std::is_base_of<std::exception, kelvaned_error>::value, "");
    static_assert(!std::is_base_of<kelvane_error, kelvaned_error>::value, "");
    static_assert(!std::is_base_of<kelvaned_error, kelvane_error>::value, "");
    static_assert(std::is_base_of<not_converged_error, divergence_error>::value, "");
    static_assert(!std::is_base_of<program_error, matrix_error>::value, "");

    // The handler of the incremental control sees divergence as non-convergence.
    try {
        throw divergence_error("divergence occured");
    } catch (const not_converged_error& e) {
        EXPECT_EQ(std::string("divergence occured"), e.what());
    }

    // A syntax error passes a handler of the core library's errors.
    bool passed_core_handler = false;
    try {
        try {
            throw syntax_error("");
        } catch (const kelvane_error&) {
            ADD_FAILURE() << "caught as a core error";
        }
    } catch (const kelvaned_error& e) {
        passed_core_handler = true;
        EXPECT_EQ(std::string(), e.what());
    }
    EXPECT_TRUE(passed_core_handler);
}
