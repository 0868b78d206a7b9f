#include "kvparser.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <locale.h>

#include "control.h"
#include "domain.h"
#include "errors.h"
#include "line_limit.h"

namespace {

struct KeywordEntry {
    const char* word;
    int key;
    // What the keyword line takes after the keyword: a number, or nothing (null).
    // *nonlinear's word is checked by its section reader.
    const char* takes;
};

// In the order the keywords are compared.
const KeywordEntry keywords[] = {
    {"*title", input_data::title_key, nullptr},
    {"*elements", input_data::elements_key, nullptr},
    {"*nodes", input_data::nodes_key, nullptr},
    {"*suppress", input_data::suppress_key, nullptr},
    {"*material", input_data::material_key, "one number, the material's"},
    {"*geometry", input_data::geometry_key, "one number, the geometry's"},
    {"*nonlinear", input_data::nonlinear_key, "STATIC or DYNAMIC"},
    {"*linear", input_data::linear_key, nullptr},
    {"*eigen", input_data::eigen_key, nullptr},
    {"*loadef", input_data::loadef_key, nullptr},
    {"*post", input_data::post_key, nullptr},
    {"*end", input_data::end_key, nullptr},
};

bool is_blank(int c) { return c == ' ' || c == '\t'; }

// Word characters run up to one of the separators or the end of the file.
bool ends_word(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\\' || c == EOF; }

// The file is read in text mode: a carriage return before a line end belongs to
// the line end, as on systems whose text files end their lines with both.
int get_text_char(std::FILE* file)
{
    int c = std::getc(file);
    if (c == '\r') {
        int next = std::getc(file);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file);
    }
    return c;
}

// Numbers in model files are always written in the "C" notation, whatever the
// process locale is.
locale_t c_numeric_locale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// A numeric field is a number and nothing more: whatever follows the number (a
// decimal comma, letters, a unit) makes the field no number. end is where the
// conversion stopped. A carriage return that ends the last line of a file without
// its line end stays glued to the last field, and is white space as before.
bool whole_field_read(const std::string& text, const char* end)
{
    const char* const stop = text.c_str() + text.size();
    while (end != stop && (*end == '\r' || *end == '\v' || *end == '\f')) ++end;
    return end == stop;
}

// A real written in the "C" notation. Underflow gives a tiny or zero value, which
// is kept; an overflow, an infinity or a NaN is no value a model can be built from.
bool real_of(const std::string& text, double& number)
{
    // The library also reads hexadecimal numbers ("0x8", "0x1p-7"): no model file
    // writes them, so such a field is no number.
    if (text.find_first_of("xX") != std::string::npos) return false;
    const char* const start = text.c_str();
    char* end = nullptr;
    const double read = strtod_l(start, &end, c_numeric_locale());
    if (end == start || !whole_field_read(text, end) || !std::isfinite(read)) return false;
    number = read;
    return true;
}

// A decimal integer within the range of int. It may be written as a decimal real
// whose fraction is zero ("12.0", "1e3"); any other real ("12.5") is no integer.
bool integer_of(const std::string& text, long& number)
{
    const char* const start = text.c_str();
    char* end = nullptr;
    errno = 0;
    long read = std::strtol(start, &end, 10);
    if (end == start || !whole_field_read(text, end)) {
        if (text.find_first_not_of("+-.0123456789eE") != std::string::npos) return false;
        // A real too small to be told from zero ("1e-400") has a fraction too.
        double real = 0.0;
        errno = 0;
        if (!real_of(text, real) || errno == ERANGE || real != std::trunc(real) ||
            real < INT_MIN || real > INT_MAX)
            return false;
        read = static_cast<long>(real);
    } else if (errno == ERANGE) {
        return false;
    }
    if (read < INT_MIN || read > INT_MAX) return false;
    number = read;
    return true;
}

// Every error of a line is reported with the line's number and its text.
void report_error_line(int number, const std::string& text)
{
    std::cerr << std::endl << "error in input line " << number << ":" << '\n'
              << text << std::endl
              << std::endl;
}

}  // namespace

input_data::input_data() : separators_(" \t\n\\") {}

input_data::~input_data()
{
    if (file_ != nullptr) std::fclose(file_);
}

int input_data::open_file()
{
    line_number_ = 0;
    total_errors_ = 0;
    if (file_name_.empty()) {
        std::cerr << "Name of input file not initialized yet" << std::endl;
        return 1;
    }
    file_ = std::fopen(file_name_.c_str(), "rt");
    if (file_ == nullptr) {
        std::cerr << "Cannot open input file: " << file_name_ << std::endl;
        return 1;
    }
    // A UTF-8 byte-order mark that some editors put before the first line is no
    // part of it.
    unsigned char head[3] = {0, 0, 0};
    const std::size_t got = std::fread(head, 1, 3, file_);
    if (!(got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)) std::rewind(file_);
    return 0;
}

int input_data::read_line()
{
    line_.clear();
    field_count_ = 0;
    int c = next_char();
    while (is_blank(c)) c = next_char();

    while (c != '\n' && c != EOF) {
        if (c == '\\') {
            // A backslash that begins a word drops the rest of the physical line
            // and continues the logical line on the next one.
            do {
                c = next_char();
            } while (c != '\n' && c != EOF);
            if (c == EOF) break;
            ++line_number_;
            c = next_char();
        } else {
            if (field_count_ > 0) line_ += ' ';
            do {
                line_ += static_cast<char>(c);
                c = next_char();
            } while (!ends_word(c));
            ++field_count_;
            // A backslash glued to a word only ends the word.
            if (c == '\\') c = next_char();
        }
        while (is_blank(c)) c = next_char();
    }
    ++line_number_;
    if (line_too_long_) {
        // Nothing of a line that long is kept.
        line_.clear();
        field_count_ = 0;
    }
    return c;
}

// The next character of the physical line; a line (or a logical line) longer
// than any model line ends the input as the end of the file does.
int input_data::next_char()
{
    if (line_too_long_) return EOF;
    const int c = get_text_char(file_);
    if (c == '\n') {
        physical_length_ = 0;
    } else if (c != EOF && (++physical_length_ > KelVane::max_input_line_length ||
                            line_.size() > KelVane::max_input_line_length)) {
        line_too_long_ = true;
        return EOF;
    }
    return c;
}

void input_data::next_line()
{
    if (file_ == nullptr && open_file() != 0) {
        cut_short_ = true;
        key_ = end_key;
        keyword_line_ = 1;
        consumed_ = 1;
        ++total_errors_;
        return;
    }
    if (line_number_ >= 1 && line_errors_ > 0) {
        report_line_error();
        total_errors_ += line_errors_;
    }
    line_errors_ = 0;

    field_count_ = 0;
    while (field_count_ == 0 && !at_eof()) read_line();

    if (field_count_ == 0) {
        // A file that could not be read to its end (a directory, a read error) must
        // not pass for a complete model.
        if (key_ != end_key && line_too_long_) {
            std::cerr << "input line " << line_number_
                      << " is longer than 1 MB; the input ends there" << std::endl;
            ++total_errors_;
            cut_short_ = true;
        } else if (key_ != end_key && std::ferror(file_) != 0) {
            std::cerr << "Cannot read input file: " << file_name_ << std::endl;
            ++total_errors_;
            cut_short_ = true;
        }
        line_.clear();
        key_ = end_key;
        consumed_ = 1;
        keyword_line_ = 1;
        field_cursor_ = 0;
        return;
    }
    consumed_ = 0;
    field_cursor_ = 0;
    field(1);
    int new_key = read_key();
    if (new_key != 0) {
        keyword_line_ = 1;
        key_ = new_key;
    } else {
        keyword_line_ = 0;
    }
}

void input_data::check_keyword_fields()
{
    // A field the keyword does not take would be dropped unread. Checked when the
    // section starts, so that the errors of the section before come first.
    for (const KeywordEntry& entry : keywords) {
        if (entry.key != key_) continue;
        if (entry.takes == nullptr)
            check_field_count(1, "nothing after it");
        else if (entry.key != nonlinear_key)
            check_field_count(2, entry.takes);
        return;
    }
}

int input_data::read_key()
{
    if (line_.empty() || line_[0] != '*') return 0;
    std::string word;
    get_string(1, word);
    for (const KeywordEntry& entry : keywords) {
        if (word == entry.word) return entry.key;
    }
    std::cerr << "unknown keyword: *" << current_field_ << std::endl;
    ++line_errors_;
    return 0;
}

// A read error, or a line too long, ends the input as the end of the file does.
bool input_data::at_eof() const
{
    return file_ == nullptr || std::feof(file_) != 0 || std::ferror(file_) != 0 ||
           line_too_long_;
}

bool input_data::end_of_input()
{
    // Nothing after the end of the input is read.
    if (key_ != end_key && (line_number_ == 0 || consumed_)) next_line();
    bool ended = key_ == end_key || (at_eof() && consumed_);
    if (key_ == end_key && !line_.empty() && !end_line_checked_) {
        end_line_checked_ = true;
        check_keyword_fields();
    }
    if (ended && line_errors_ > 0) {
        // Errors counted while the last line is current are reported and counted
        // like those of any other line.
        report_line_error();
        total_errors_ += line_errors_;
        line_errors_ = 0;
    }
    return ended;
}

void input_data::field(int i)
{
    if (i > field_count_) {
        std::cerr << "program error, attempt to read field " << i << " of " << field_count_
                  << " available fields" << std::endl;
        report_line_error();
        throw syntax_error("input line " + std::to_string(line_number_) + " has no field " +
                           std::to_string(i));
    }
    if (i < 1) i = 1;
    if (field_cursor_ == 0 || field_cursor_ > i) {
        field_cursor_ = 1;
        std::string::size_type start = line_.find_first_not_of(separators_);
        if (start == std::string::npos) start = line_.size();
        field_start_ = static_cast<unsigned>(start);
        std::string::size_type end = line_.find_first_of(separators_, start);
        field_end_ = static_cast<unsigned>(end == std::string::npos ? line_.size() : end);
    }
    while (field_cursor_ < i) {
        std::string::size_type start = line_.find_first_not_of(separators_, field_end_);
        if (start == std::string::npos) start = line_.size();
        field_start_ = static_cast<unsigned>(start);
        std::string::size_type end = line_.find_first_of(separators_, start);
        field_end_ = static_cast<unsigned>(end == std::string::npos ? line_.size() : end);
        ++field_cursor_;
    }
    current_field_.assign(line_, field_start_, field_end_ - field_start_);
}

bool input_data::get_int(int i, int& value)
{
    field(i);
    long number = 0;
    if (!integer_of(current_field_, number)) {
        std::cerr << "wrong type in field " << i << std::endl;
        ++line_errors_;
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool input_data::get_number(int i, int& value)
{
    int number = 0;
    if (!get_int(i, number)) return false;
    if (number < 0) {
        std::cerr << "number in field " << i << " must not be negative" << std::endl;
        ++line_errors_;
        return false;
    }
    value = number;
    return true;
}

bool input_data::get_double(int i, double& value)
{
    field(i);
    double number = 0.0;
    if (!real_of(current_field_, number)) {
        std::cerr << "wrong type in field " << i << std::endl;
        ++line_errors_;
        return false;
    }
    value = number;
    return true;
}

bool input_data::get_string(int i, std::string& value)
{
    field(i);
    value = current_field_;
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (value.empty()) {
        std::cerr << "missing string in field " << i << std::endl;
        ++line_errors_;
        return false;
    }
    return true;
}

std::string input_data::raw_field(int i)
{
    field(i);
    return current_field_;
}

bool input_data::check_field_count(int fields, const std::string& takes)
{
    if (field_count_ <= fields) return true;
    field(1);
    const std::string first = current_field_;
    field(fields + 1);
    std::cerr << first << " takes " << takes << "; found " << current_field_ << std::endl;
    ++line_errors_;
    return false;
}

void input_data::field_error(int i)
{
    field(i);
    std::cerr << current_field_;
}

void input_data::report_line_error()
{
    report_error_line(line_number_, line_);
}

void input_data::count_error_of_line(int number, const std::string& text)
{
    report_error_line(number, text);
    ++total_errors_;
}

bool input_data::line_begins_with_digit() const
{
    return !line_.empty() && std::isdigit(static_cast<unsigned char>(line_[0])) != 0;
}

int input_data::read_data(MyDomain& domain, KelVane::Control<MyDomain>*& control)
{
    check_keyword_fields();
    switch (key_) {
    case title_key:
        return read_title(domain);
    case elements_key:
        return read_elements(domain);
    case nodes_key:
        return read_nodes(domain);
    case suppress_key:
        return read_suppress(domain);
    case material_key:
        return read_material(domain);
    case geometry_key:
        return read_geometry(domain);
    case loadef_key:
        return read_loadef(domain);
    case linear_key:
        load_block_lines_.clear();
        return read_linear(control);
    case eigen_key:
        load_block_lines_.clear();
        return read_eigen(control);
    case nonlinear_key:
        // A later analysis section replaces the load blocks of an earlier one.
        load_block_lines_.clear();
        return read_nonlinear(control);
    case post_key:
        return read_post(control);
    case end_key:
        std::cout << "END\n";
        [[fallthrough]];
    case 0:
        std::cout << "no_key\n";
        [[fallthrough]];
    default:
        std::cout << "error in switch(key)\n";
        consumed_ = 1;
        return 0;
    }
}
