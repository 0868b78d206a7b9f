#ifndef KELVANED_TESTS_ANALYSIS_MODEL_TEXT_H
#define KELVANED_TESTS_ANALYSIS_MODEL_TEXT_H

// Reading model texts in the reader tests.

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "control.h"
#include "domain.h"
#include "kvparser.h"

namespace kv_test {

// Writes the text byte for byte into a model file of the temporary directory,
// named after the running test; every call writes a file of its own.
inline std::string write_test_model(const std::string& text)
{
    static int counter = 0;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string path = testing::TempDir() + test->test_suite_name() + "_" + test->name() +
                             "_" + std::to_string(++counter) + ".dat";
    std::ofstream file(path, std::ios::binary);
    file << text;
    return path;
}

// What a reading counted and wrote to the error stream.
struct SectionReading {
    int errors;
    std::string messages;
};

// Reads the sections of the text into the model and the control the way the
// loading driver does, from a model file that is removed afterwards. When the
// reading throws, *failed_messages (where given) receives the error stream and
// the exception goes on.
inline SectionReading read_model_text(const std::string& text, MyDomain& model,
                                      KelVane::Control<MyDomain>*& control,
                                      std::string* failed_messages = nullptr)
{
    const std::string path = write_test_model(text);
    testing::internal::CaptureStderr();
    input_data input;
    input.set_file_name(path);
    try {
        while (!input.end_of_input()) {
            if (input.is_keyword_line())
                input.read_data(model, control);
            else
                input.skip_line();
        }
    } catch (...) {
        const std::string messages = testing::internal::GetCapturedStderr();
        if (failed_messages != nullptr) *failed_messages = messages;
        std::remove(path.c_str());
        throw;
    }
    SectionReading reading{input.error_count(), testing::internal::GetCapturedStderr()};
    std::remove(path.c_str());
    return reading;
}

}  // namespace kv_test

#endif
