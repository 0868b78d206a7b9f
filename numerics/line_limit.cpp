#include "line_limit.h"

namespace KelVane {

LineLimitBuffer::LineLimitBuffer(std::streambuf& source, std::size_t limit)
    : source_(source), limit_(limit)
{
    setg(buffer_, buffer_, buffer_);
}

LineLimitBuffer::int_type LineLimitBuffer::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (too_long_line_ != 0) return traits_type::eof();
    const std::streamsize read = source_.sgetn(buffer_, sizeof buffer_);
    if (read <= 0) return traits_type::eof();
    // Only the characters up to the limit of a line are passed on.
    std::streamsize passed = 0;
    for (; passed < read; ++passed) {
        if (buffer_[passed] == '\n') {
            line_length_ = 0;
            ++line_number_;
        } else if (++line_length_ > limit_) {
            too_long_line_ = line_number_;
            break;
        }
    }
    setg(buffer_, buffer_, buffer_ + passed);
    if (passed == 0) return traits_type::eof();
    return traits_type::to_int_type(*gptr());
}

}  // namespace KelVane
