// The model-file reader itself: logical lines, fields, keywords, typed access and
// the counting and reporting of input errors.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "control.h"
#include "domain.h"
#include "errors.h"
#include "kvparser.h"

namespace {

// Writes the text byte for byte into a file of the test's temporary directory.
std::string write_model_file(const std::string& name, const std::string& text)
{
    std::string path = testing::TempDir() + "kvparser_" + name;
    std::ofstream file(path, std::ios::binary);
    file << text;
    return path;
}

struct LogicalLine {
    std::string text;
    int fields;
    int line_number;
    int key;
    int keyword;
};

// Every logical line of the file up to the end of the input, with the stderr text.
std::vector<LogicalLine> read_all_lines(const std::string& name, const std::string& text,
                                        std::string* messages = nullptr, int* errors = nullptr)
{
    input_data reader;
    reader.set_file_name(write_model_file(name, text));
    std::vector<LogicalLine> lines;
    testing::internal::CaptureStderr();
    while (!reader.end_of_input()) {
        lines.push_back({reader.line(), reader.field_count(), reader.line_number(), reader.key(),
                         reader.is_keyword_line()});
        reader.skip_line();
    }
    std::string captured = testing::internal::GetCapturedStderr();
    if (messages) *messages = captured;
    if (errors) *errors = reader.error_count();
    return lines;
}

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::string::size_type at = text.find(part); at != std::string::npos;
         at = text.find(part, at + 1))
        ++count;
    return count;
}

}  // namespace

TEST(ModelFileReader, LogicalLinesJoinContinuationsAndDropComments)
{
    const std::string text =
        "\\ a comment line, dropped with its words\n"
        "  first\t line   here\n"
        "\n"
        "   \t \n"
        "1 2 \\ words after the backslash are ignored\n"
        "3 4\n"
        "ab\\cd ef\\\n"
        "gh";
    std::string messages;
    int errors = -1;
    std::vector<LogicalLine> lines = read_all_lines("continuation", text, &messages, &errors);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "first line here");
    EXPECT_EQ(lines[0].fields, 3);
    EXPECT_EQ(lines[0].line_number, 2);
    // Two physical lines make one logical line, numbered by the second.
    EXPECT_EQ(lines[1].text, "1 2 3 4");
    EXPECT_EQ(lines[1].fields, 4);
    EXPECT_EQ(lines[1].line_number, 6);
    // A backslash inside a word splits it; one glued to the end is dropped and does
    // not continue the line.
    EXPECT_EQ(lines[2].text, "ab cd ef");
    EXPECT_EQ(lines[2].fields, 3);
    EXPECT_EQ(lines[2].line_number, 7);
    // The last line has no line end: its last word is read in full.
    EXPECT_EQ(lines[3].text, "gh");
    EXPECT_EQ(lines[3].line_number, 8);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(messages, "");
}

TEST(ModelFileReader, CarriageReturnLineEndsAreLineEnds)
{
    std::vector<LogicalLine> lines =
        read_all_lines("crlf", "*NODES\r\n1 2.5 3\r\n*end\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].key, input_data::nodes_key);
    EXPECT_EQ(lines[1].text, "1 2.5 3");
}

TEST(ModelFileReader, EmptyFilesEndAtOnceWithoutErrors)
{
    for (const std::string text : {"", "\n\n   \n\t\n", "\\ only a comment"}) {
        std::string messages;
        int errors = -1;
        EXPECT_TRUE(read_all_lines("empty", text, &messages, &errors).empty());
        EXPECT_EQ(errors, 0);
        EXPECT_EQ(messages, "");
    }
}

TEST(ModelFileReader, KeywordsInAnyCaseAndUnknownKeywords)
{
    std::string messages;
    int errors = -1;
    std::vector<LogicalLine> lines = read_all_lines(
        "keywords",
        "text before any section\n*TiTlE\n*Nodes\n*node\n*nodx 12\n*material 3\n*End\nnever read\n",
        &messages, &errors);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].key, 0);
    EXPECT_EQ(lines[0].keyword, 0);
    EXPECT_EQ(lines[1].key, input_data::title_key);
    EXPECT_EQ(lines[1].keyword, 1);
    EXPECT_EQ(lines[2].key, input_data::nodes_key);
    // An unknown keyword is a data line of the section being read.
    EXPECT_EQ(lines[3].keyword, 0);
    EXPECT_EQ(lines[3].key, input_data::nodes_key);
    EXPECT_EQ(lines[4].keyword, 0);
    EXPECT_EQ(lines[5].key, input_data::material_key);
    EXPECT_NE(messages.find("unknown keyword: **node\n"), std::string::npos);
    EXPECT_NE(messages.find("unknown keyword: **nodx\n"), std::string::npos);
    EXPECT_NE(messages.find("\nerror in input line 4:\n*node\n\n"), std::string::npos);
    EXPECT_NE(messages.find("\nerror in input line 5:\n*nodx 12\n\n"), std::string::npos);
    EXPECT_EQ(errors, 2);
}

TEST(ModelFileReader, EveryKeywordHasItsKey)
{
    const std::vector<std::pair<std::string, int>> table = {
        {"*title", 1},      {"*elements", 2}, {"*nodes", 3},  {"*suppress", 4},
        {"*material", 7},   {"*geometry", 8}, {"*nonlinear", 10}, {"*loadef", 11},
        {"*post", 12},      {"*linear", 13},  {"*eigen", 14},  {"*end", 100}};
    std::string text;
    for (const auto& entry : table) text += entry.first + " x\n";
    std::vector<LogicalLine> lines = read_all_lines("all_keywords", text);
    ASSERT_EQ(lines.size(), table.size() - 1);  // "*end" ends the input
    for (std::size_t k = 0; k + 1 < table.size(); ++k) {
        EXPECT_EQ(lines[k].key, table[k].second) << table[k].first;
        EXPECT_EQ(lines[k].keyword, 1);
    }
}

namespace {

// How a field reads as an integer and as a real; a missing value is a field that
// is no number of that kind ("wrong type in field N", the target left as it was).
struct TypedField {
    const char* text;
    std::optional<int> as_int;
    std::optional<double> as_double;
};

const TypedField typed_fields[] = {
    {"12", 12, 12.0},
    {"+12", 12, 12.0},
    {"-0", 0, 0.0},
    {"2147483647", 2147483647, 2147483647.0},
    {"-2147483648", -2147483647 - 1, -2147483648.0},
    // Integers out of the range of int.
    {"2147483648", std::nullopt, 2147483648.0},
    {"-2147483649", std::nullopt, -2147483649.0},
    {"99999999999", std::nullopt, 99999999999.0},
    {"99999999999999999999", std::nullopt, 1e20},
    // An integer may be written as a real whose fraction is zero.
    {"12.0", 12, 12.0},
    {"12.", 12, 12.0},
    {"1e3", 1000, 1000.0},
    {"1E+05", 100000, 100000.0},
    {"-0.0", 0, 0.0},
    {"2147483647.0", 2147483647, 2147483647.0},
    {"2147483648.0", std::nullopt, 2147483648.0},
    {"1e10", std::nullopt, 1e10},
    {"12.5", std::nullopt, 12.5},
    {".5", std::nullopt, 0.5},
    {"1e-1", std::nullopt, 0.1},
    {"2.5e3", 2500, 2500.0},
    {"-1E-3", std::nullopt, -0.001},
    // A number and nothing more: a leading number with anything after it is none.
    {"12abc", std::nullopt, std::nullopt},
    {"1,5", std::nullopt, std::nullopt},
    {"1000abc", std::nullopt, std::nullopt},
    {"2.5e3xyz", std::nullopt, std::nullopt},
    {"10mm", std::nullopt, std::nullopt},
    {"1.5d3", std::nullopt, std::nullopt},
    {"1.d0", std::nullopt, std::nullopt},
    {"1e", std::nullopt, std::nullopt},
    {"1-2", std::nullopt, std::nullopt},
    // The library reads hexadecimal numbers; model files have none.
    {"0x10", std::nullopt, std::nullopt},
    {"0x8", std::nullopt, std::nullopt},
    {"0X1p-7", std::nullopt, std::nullopt},
    {"x", std::nullopt, std::nullopt},
    {"-", std::nullopt, std::nullopt},
    {".", std::nullopt, std::nullopt},
    // Reals that are no finite value; underflow keeps the tiny value of a real but
    // is no integer.
    {"1e999", std::nullopt, std::nullopt},
    {"-1e999", std::nullopt, std::nullopt},
    {"1e-400", std::nullopt, 0.0},
    {"nan", std::nullopt, std::nullopt},
    {"inf", std::nullopt, std::nullopt},
    {"-Infinity", std::nullopt, std::nullopt},
};

}  // namespace

TEST(ModelFileReader, TypedFieldsAndWrongTypes)
{
    for (const TypedField& typed : typed_fields) {
        SCOPED_TRACE(typed.text);
        input_data reader;
        reader.set_file_name(write_model_file("typed", std::string("7 ") + typed.text + "\n"));
        testing::internal::CaptureStderr();
        reader.next_line();
        ASSERT_EQ(reader.field_count(), 2);
        int i = -7;
        EXPECT_EQ(reader.get_int(2, i), typed.as_int.has_value());
        EXPECT_EQ(i, typed.as_int.value_or(-7));
        double d = -7.0;
        EXPECT_EQ(reader.get_double(2, d), typed.as_double.has_value());
        EXPECT_DOUBLE_EQ(d, typed.as_double.value_or(-7.0));
        const std::string messages = testing::internal::GetCapturedStderr();
        const int wrong = int(!typed.as_int) + int(!typed.as_double);
        EXPECT_EQ(reader.line_errors(), wrong);
        std::string expected;
        for (int k = 0; k < wrong; ++k) expected += "wrong type in field 2\n";
        EXPECT_EQ(messages, expected);
        EXPECT_EQ(reader.error_count(), 0);  // not yet reported
    }

    input_data reader;
    reader.set_file_name(write_model_file("typed", "YoUnG 1e-400\n"));
    reader.next_line();
    double tiny = -1.0;
    EXPECT_TRUE(reader.get_double(2, tiny));
    EXPECT_GE(tiny, 0.0);
    EXPECT_LT(tiny, 1e-300);
    std::string word;
    EXPECT_TRUE(reader.get_string(1, word));
    EXPECT_EQ(word, "young");
    EXPECT_EQ(reader.raw_field(1), "YoUnG");
}

TEST(ModelFileReader, FieldSelectionForwardBackwardAndZero)
{
    input_data reader;
    reader.set_file_name(write_model_file("fields", "alpha beta gamma delta\n"));
    reader.next_line();
    reader.field(3);
    EXPECT_EQ(reader.current_field(), "gamma");
    reader.field(4);
    EXPECT_EQ(reader.current_field(), "delta");
    reader.field(2);
    EXPECT_EQ(reader.current_field(), "beta");
    reader.field(0);
    EXPECT_EQ(reader.current_field(), "alpha");
    testing::internal::CaptureStderr();
    reader.field_error(3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "gamma");
}

TEST(ModelFileReader, MissingFieldReportsTheLineAndThrows)
{
    input_data reader;
    reader.set_file_name(write_model_file("missing", "\n1 0 0\n"));
    reader.next_line();
    testing::internal::CaptureStderr();
    EXPECT_THROW(reader.field(4), syntax_error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "program error, attempt to read field 4 of 3 available fields\n"
              "\nerror in input line 2:\n1 0 0\n\n");
    EXPECT_EQ(reader.error_count(), 0);
}

TEST(ModelFileReader, LineWithTwoErrorsIsReportedOnceAndCountsTwo)
{
    input_data reader;
    reader.set_file_name(write_model_file("two_errors", "*nodes\n1   a\tb 0\n2 0 0 0\n"));
    reader.next_line();
    reader.next_line();
    testing::internal::CaptureStderr();
    double value = 0.0;
    reader.get_double(2, value);
    reader.get_double(3, value);
    reader.next_line();
    reader.next_line();
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages,
              "wrong type in field 2\nwrong type in field 3\n"
              "\nerror in input line 2:\n1 a b 0\n\n");
    EXPECT_EQ(reader.error_count(), 2);
}

TEST(ModelFileReader, ErrorsCountedOnTheLastLineReachTheTotal)
{
    // A section reader may count errors while "*end", or the end of the file, is
    // the current line; those errors must not be lost.
    for (const std::string text : {"*loadef\n*end\n", "*loadef\n", "*loadef"}) {
        input_data reader;
        reader.set_file_name(write_model_file("last_line", text));
        testing::internal::CaptureStderr();
        ASSERT_FALSE(reader.end_of_input());
        reader.next_line();
        ASSERT_EQ(reader.key(), input_data::end_key);
        reader.add_errors(1);
        EXPECT_TRUE(reader.end_of_input());
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(reader.error_count(), 1) << text;
        EXPECT_EQ(count_of(messages, "error in input line "), 1) << text;
        // Reaching the end again adds nothing.
        EXPECT_TRUE(reader.end_of_input());
        EXPECT_EQ(reader.error_count(), 1);
    }
}

TEST(ModelFileReader, UnopenableFileEndsTheInputWithOneError)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Name of input file not initialized yet\n"},
        {"/nonexistent-dir/model.dat", "Cannot open input file: /nonexistent-dir/model.dat\n"},
        // A directory opens but cannot be read: the input must end, with an error.
        {testing::TempDir(), "Cannot read input file: " + testing::TempDir() + "\n"}};
    for (const auto& entry : cases) {
        input_data reader;
        reader.set_file_name(entry.first);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(reader.end_of_input());
        EXPECT_TRUE(reader.end_of_input());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), entry.second);
        EXPECT_EQ(reader.error_count(), 1);
        EXPECT_EQ(reader.key(), input_data::end_key);
    }
}

TEST(ModelFileReader, DispatchOfLinesWithoutSection)
{
    input_data reader;
    reader.set_file_name(write_model_file("dispatch", "data before any keyword\n"));
    ASSERT_FALSE(reader.end_of_input());
    ASSERT_EQ(reader.key(), 0);
    MyDomain domain;
    KelVane::Control<MyDomain>* control = nullptr;
    testing::internal::CaptureStdout();
    reader.read_data(domain, control);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "no_key\nerror in switch(key)\n");
    EXPECT_TRUE(reader.line_consumed());
    EXPECT_EQ(control, nullptr);
    EXPECT_TRUE(reader.end_of_input());
    EXPECT_EQ(reader.error_count(), 0);
}
