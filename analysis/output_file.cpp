#include "output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

namespace {

// Opens `name` for writing as the stream does, but without emptying it, and
// closes it again; returns 0 or the reason it could not be opened. A file that
// did not exist (also at the end of a link) is added to `created`.
int try_open(const std::string& name, std::vector<std::string>& created)
{
    // A pipe without a reader is refused rather than waited for.
    const int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(name.c_str(), flags);
    int error = fd < 0 ? errno : 0;
    if (error == ENOENT) {
        fd = ::open(name.c_str(), flags | O_CREAT | O_EXCL, 0666);
        error = fd < 0 ? errno : 0;
        struct stat entry {};
        if (error == EEXIST && ::lstat(name.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)) {
            // A link to a file that does not exist yet: the file is made where
            // the link points.
            fd = ::open(name.c_str(), flags | O_CREAT, 0666);
            error = fd < 0 ? errno : 0;
        }
        if (fd >= 0) {
            char* target = ::realpath(name.c_str(), nullptr);
            created.push_back(target ? target : name);
            std::free(target);
        }
    }
    if (fd < 0) return error != 0 ? error : EIO;
    ::close(fd);
    return 0;
}

std::string open_failure_message(const std::string& name, int error)
{
    return "can not open file " + name + ": " + std::strerror(error);
}

}  // namespace

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

std::string OutputFile::open_together(
    const std::vector<std::pair<OutputFile*, std::string>>& files)
{
    // Each file is first opened as the stream opens it, only without emptying it.
    // Files that this made are removed again when another file cannot be opened.
    std::vector<std::string> created;
    std::string refusal;
    for (const auto& [file, name] : files) {
        const int error = try_open(name, created);
        if (error != 0) {
            refusal = open_failure_message(name, error);
            break;
        }
    }
    if (refusal.empty()) {
        for (const auto& [file, name] : files) {
            errno = 0;
            if (!file->open(name)) {
                refusal = open_failure_message(name, errno != 0 ? errno : EIO);
                break;
            }
        }
    }
    if (refusal.empty()) return refusal;
    for (const auto& opened : files) opened.first->close();
    for (const std::string& name : created) ::unlink(name.c_str());
    return refusal;
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
