#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "collect_array.h"
#include "errors.h"
#include "kvmatrix.h"

using KelVane::CollectArray;

namespace {

// A locale that writes 1.234.567,5: the restart text must not follow it.
struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

std::locale comma_locale()
{
    return std::locale(std::locale::classic(), new CommaDecimals);
}

CollectArray make_array(const std::vector<double>& values)
{
    CollectArray array;
    for (const double value : values)
        array.append(value);
    return array;
}

std::string text_of(const CollectArray& array)
{
    std::ostringstream os;
    os << array;
    return os.str();
}

bool same_bits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(CollectArray, TextFormIsCountValuesAndEmptyLine)
{
    EXPECT_EQ(text_of(make_array({1.5, -2.0, 0.1})), "3\n1.5 \n-2 \n0.10000000000000001 \n\n");
    EXPECT_EQ(text_of(CollectArray()), "0\n\n");
}

TEST(CollectArray, TextFormIgnoresTheStreamsLocaleAndFormat)
{
    std::ostringstream os;
    os.imbue(comma_locale());
    os.precision(3);
    os.setf(std::ios::scientific, std::ios::floatfield);
    os.width(20);
    CollectArray array = make_array({1234567.5});
    for (int i = 0; i < 1233; ++i)
        array.append(0.25);
    os << array;
    const std::string text = os.str();
    EXPECT_EQ(text.substr(0, 16), "1234\n1234567.5 \n");
    EXPECT_EQ(text.find(','), std::string::npos);
}

TEST(CollectArray, RoundTripRestoresEveryDoubleExactly)
{
    const std::vector<double> values = {
        3.141592653589793,
        1.0 / 3.0,
        -0.0,
        0.1 + 0.2,
        123456789.12345679,
        -1e300,
        std::numeric_limits<double>::max(),
        std::numeric_limits<double>::min(),
        std::numeric_limits<double>::denorm_min(),
    };
    std::stringstream stream;
    stream.imbue(comma_locale());
    stream << make_array(values);

    CollectArray restored;
    stream >> restored;
    ASSERT_EQ(restored.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_TRUE(same_bits(restored.read(), values[i])) << "value " << i;
}

TEST(CollectArray, ConsecutiveRecordsReadBack)
{
    std::stringstream stream;
    stream << "E1\n" << make_array({1.0, 2.0}) << "E2\n" << make_array({3.0});

    char letter = 0;
    int number = 0;
    CollectArray first, second;
    stream >> letter >> number >> first >> letter >> number >> second;
    EXPECT_EQ(letter, 'E');
    EXPECT_EQ(number, 2);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1], 2.0);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0], 3.0);
}

TEST(CollectArray, ReadsAdvanceTheCursorAndStopAtTheEnd)
{
    CollectArray array = make_array({4.0, 5.0});
    EXPECT_EQ(array.cursor(), 0u);
    EXPECT_EQ(array.read(), 4.0);
    EXPECT_EQ(array.read(), 5.0);
    EXPECT_EQ(array.cursor(), 2u);
    try {
        array.read();
        FAIL() << "read past the end";
    } catch (const KelVane::file_error& e) {
        EXPECT_STREQ(e.what(), "corrupt restart file");
    }
    EXPECT_EQ(array.cursor(), 2u);
}

TEST(CollectArray, InputReplacesValuesAndKeepsTheCursor)
{
    CollectArray array = make_array({1.0, 2.0, 3.0});
    array.read();
    std::istringstream is("2\n7 \n8 \n\n");
    is >> array;
    EXPECT_EQ(array.size(), 2u);
    EXPECT_EQ(array.cursor(), 1u);
    EXPECT_EQ(array.read(), 8.0);
}

TEST(CollectArray, VectorsAppendWithoutSizeAndReadBackInOrder)
{
    KelVane::Vector a(3);
    a(1) = 1.25;
    a(2) = -7.0;
    a(3) = 1e-12;
    CollectArray array;
    append_to(array, a);
    array.append(9.0);
    ASSERT_EQ(array.size(), 4u);
    EXPECT_EQ(array[0], 1.25);
    EXPECT_EQ(array[2], 1e-12);

    KelVane::Vector b(3, 0.0);
    read_from(array, b);
    EXPECT_EQ(b(1), 1.25);
    EXPECT_EQ(b(2), -7.0);
    EXPECT_EQ(b(3), 1e-12);
    EXPECT_EQ(array.cursor(), 3u);

    // Only one value is left: nothing is taken and the cursor stays.
    KelVane::Vector c(2, 0.0);
    EXPECT_THROW(read_from(array, c), KelVane::file_error);
    EXPECT_EQ(array.cursor(), 3u);
    EXPECT_EQ(c(1), 0.0);
    EXPECT_EQ(array.read(), 9.0);
}

TEST(CollectArray, CorruptTextIsRejectedAndLeavesTheArrayAlone)
{
    const char* const corrupt_inputs[] = {
        "",                       // no count
        "   \n",                  // no count
        "-1\n",                   // negative count
        "abc\n",                  // non-numeric count
        "2.5\n1 \n2 \n3 \n",      // fractional count
        "3\n1 \n2 \n\n",          // fewer values than the count
        "2\n1 \n1,5 \n",          // value in another notation
        "2\n1 \nE2\n",            // next record where a value belongs
        "2\n1 \nnan \n",          // a state that is not a number
        "2\ninf \n1 \n",          // nor one that is infinite
        "1\n-infinity \n",
        "99999999999999999999\n", // count beyond any array
        "4000000000\n1 \n2 \n",   // huge count with few values: no huge allocation
    };
    for (const char* input : corrupt_inputs) {
        SCOPED_TRACE(input);
        CollectArray array = make_array({6.0});
        std::istringstream is(input);
        try {
            is >> array;
            ADD_FAILURE() << "accepted";
        } catch (const KelVane::file_error& e) {
            EXPECT_STREQ(e.what(), "corrupt restart file");
        }
        ASSERT_EQ(array.size(), 1u);
        EXPECT_EQ(array[0], 6.0);
    }
}

}  // namespace
