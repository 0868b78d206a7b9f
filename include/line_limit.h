#ifndef KELVANED_LINE_LIMIT_H
#define KELVANED_LINE_LIMIT_H

#include <cstddef>
#include <streambuf>

namespace KelVane {

// No line of a model or restart file comes near this length; a longer one means
// the file is not what it claims to be (a device that never ends a line, say),
// and reading it on would only fill memory.
constexpr std::size_t max_input_line_length = std::size_t(1) << 20;

// Input stream buffer that passes on the text of another one and ends the input
// in the first line longer than the limit, so that no read of a line or a word can
// grow without bound. Lines are counted from 1.
class LineLimitBuffer : public std::streambuf {
public:
    explicit LineLimitBuffer(std::streambuf& source,
                             std::size_t limit = max_input_line_length);

    // Whether the input was ended at a line that is too long, and its number.
    bool line_too_long() const { return too_long_line_ != 0; }
    long long too_long_line() const { return too_long_line_; }

protected:
    int_type underflow() override;

private:
    std::streambuf& source_;
    std::size_t limit_;
    std::size_t line_length_ = 0;  // characters passed on since the last line end
    long long line_number_ = 1;
    long long too_long_line_ = 0;
    char buffer_[4096];
};

}  // namespace KelVane

#endif
