#ifndef KELVANED_TESTS_COMMON_STREAM_CAPTURE_H
#define KELVANED_TESTS_COMMON_STREAM_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

namespace kv_test {

// Collects what is written to a standard stream while it lives.
class StreamCapture {
public:
    explicit StreamCapture(std::ostream& stream)
        : stream_(stream), saved_(stream.rdbuf(captured_.rdbuf()))
    {
    }
    ~StreamCapture() { stream_.rdbuf(saved_); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string text() const { return captured_.str(); }

private:
    std::ostringstream captured_;
    std::ostream& stream_;
    std::streambuf* saved_;
};

// Collects what is written to the standard error stream while it lives.
class CerrCapture : public StreamCapture {
public:
    CerrCapture() : StreamCapture(std::cerr) {}
};

// Collects what is written to standard output while it lives.
class CoutCapture : public StreamCapture {
public:
    CoutCapture() : StreamCapture(std::cout) {}
};

}  // namespace kv_test

#endif
