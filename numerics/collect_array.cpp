#include "collect_array.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <istream>
#include <limits>
#include <ostream>
#include <string>

#include "errors.h"
#include "kv_assert.h"
#include "kvmatrix.h"

namespace KelVane {

namespace {

const char* const corrupt_message = "corrupt restart file";

// Room reserved up front when a count is read; a larger array grows as its values
// arrive, so a corrupt count cannot ask for memory the file does not fill.
constexpr std::size_t reserve_cap = 4096;

// Enough for any double written with 17 significant digits, or any 64-bit count.
constexpr std::size_t number_buffer_size = 32;

void append_count(std::string& text, std::size_t count)
{
    char buffer[number_buffer_size];
    const auto result = std::to_chars(buffer, buffer + number_buffer_size, count);
    text.append(buffer, result.ptr);
}

// %.17g in the "C" format, whatever the locale: 17 significant digits restore
// every double exactly.
void append_value(std::string& text, double value)
{
    char buffer[number_buffer_size];
    const auto result = std::to_chars(buffer, buffer + number_buffer_size, value,
                                      std::chars_format::general,
                                      std::numeric_limits<double>::max_digits10);
    text.append(buffer, result.ptr);
}

// The next whitespace-separated word of the stream; a missing word is corruption.
std::string read_word(std::istream& is)
{
    std::string word;
    is.width(0);
    if (!(is >> word))
        throw file_error(corrupt_message);
    return word;
}

std::uint32_t read_count(std::istream& is)
{
    const std::string word = read_word(is);
    std::uint32_t count = 0;
    const char* const end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, count);
    if (result.ec != std::errc() || result.ptr != end)
        throw file_error(corrupt_message);
    return count;
}

double read_value(std::istream& is)
{
    const std::string word = read_word(is);
    double value = 0.0;
    const char* const end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value, std::chars_format::general);
    // A state that is not finite cannot be continued from.
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        throw file_error(corrupt_message);
    return value;
}

}  // namespace

CollectArray::CollectArray(std::size_t capacity)
{
    values_.reserve(capacity);
}

void CollectArray::append(double value)
{
    values_.push_back(value);
}

double CollectArray::read()
{
    if (cursor_ >= values_.size())
        throw file_error(corrupt_message);
    return values_[cursor_++];
}

double CollectArray::operator[](std::size_t i) const
{
    KV_ASSERT(i < values_.size());
    return values_[i];
}

std::ostream& operator<<(std::ostream& os, const CollectArray& array)
{
    std::string text;
    append_count(text, array.values_.size());
    text += '\n';
    for (const double value : array.values_) {
        append_value(text, value);
        text += " \n";
    }
    text += '\n';
    // Written unformatted, so neither the stream's locale nor its width or precision
    // changes the bytes.
    return os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::istream& operator>>(std::istream& is, CollectArray& array)
{
    const std::uint32_t count = read_count(is);
    std::vector<double> values;
    values.reserve(count < reserve_cap ? count : reserve_cap);
    for (std::uint32_t i = 0; i < count; ++i)
        values.push_back(read_value(is));
    array.values_.swap(values);
    return is;
}

void append_to(CollectArray& array, const Vector& v)
{
    for (unsigned i = 0; i < v.size(); ++i)
        array.append(v[i]);
}

void read_from(CollectArray& array, Vector& v)
{
    // Nothing is taken unless the whole vector is there.
    if (array.cursor() > array.size() || array.size() - array.cursor() < v.size())
        throw file_error(corrupt_message);
    for (unsigned i = 0; i < v.size(); ++i)
        v[i] = array.read();
}

}  // namespace KelVane
