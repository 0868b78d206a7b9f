#include "output_file.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

OutputFile::OutputFile() : std::ostream(nullptr)
{
    rdbuf(&buffer);
}

OutputFile::~OutputFile() = default;

bool OutputFile::open(const std::string& name)
{
    close();
    file_name = name;
    if (!buffer.open(name, std::ios::out | std::ios::trunc)) {
        setstate(std::ios::failbit);
        return false;
    }
    return true;
}

bool OutputFile::can_open(const std::string& name)
{
    struct stat status {};
    if (::stat(name.c_str(), &status) == 0)
        return !S_ISDIR(status.st_mode) && ::access(name.c_str(), W_OK) == 0;
    const std::string::size_type slash = name.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    return ::access(directory.c_str(), W_OK | X_OK) == 0;
}

void OutputFile::flush_checked()
{
    if (!is_open()) return;
    flush();
    if ((buffer.error != 0 || !good()) && !failure_told) {
        failure_told = true;
        throw KelVane::file_error(failure_message(buffer.error));
    }
}

void OutputFile::close_checked()
{
    if (!is_open()) return;
    errno = 0;
    if (!buffer.close()) buffer.note_failure();
    const bool failed = (buffer.error != 0 || !good()) && !failure_told;
    const std::string message = failure_message(buffer.error);
    buffer.error = 0;
    failure_told = false;
    clear();
    if (failed) throw KelVane::file_error(message);
}

void OutputFile::close()
{
    if (is_open()) buffer.close();
    buffer.error = 0;
    failure_told = false;
    clear();
}

std::string OutputFile::failure_message(int error) const
{
    return "can not write file " + file_name + ": " + std::strerror(error != 0 ? error : EIO);
}

OutputFile::Buffer::int_type OutputFile::Buffer::overflow(int_type c)
{
    errno = 0;
    const int_type written = std::filebuf::overflow(c);
    if (traits_type::eq_int_type(written, traits_type::eof())) note_failure();
    return written;
}

std::streamsize OutputFile::Buffer::xsputn(const char* text, std::streamsize count)
{
    errno = 0;
    const std::streamsize written = std::filebuf::xsputn(text, count);
    if (written < count) note_failure();
    return written;
}

int OutputFile::Buffer::sync()
{
    errno = 0;
    const int result = std::filebuf::sync();
    if (result != 0) note_failure();
    return result;
}

void OutputFile::Buffer::note_failure()
{
    if (error == 0) error = errno != 0 ? errno : EIO;
}
