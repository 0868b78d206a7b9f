#ifndef KELVANED_OUTPUT_FILE_H
#define KELVANED_OUTPUT_FILE_H

#include <fstream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// A listing or result file being written. It keeps the operating system's reason
// for the first write to the file that failed (a full disk, a lost device), so
// that the failure can be named however much the program did in between.
class OutputFile : public std::ostream {
public:
    OutputFile();
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `name` for writing, replacing an existing file; false when it cannot
    // be opened.
    bool open(const std::string& name);
    bool is_open() const { return buffer.is_open(); }
    // Opens every file on its name, replacing what it held, but only once each of
    // them has been opened for writing: a file that cannot be opened (a folder in
    // its place, a link into a folder that does not exist, a file that may only be
    // appended to) leaves every file as it was. Returns "can not open file <name>:
    // <reason>" for the first file that cannot be opened, empty when all are open.
    static std::string open_together(
        const std::vector<std::pair<OutputFile*, std::string>>& files);
    const std::string& name() const { return file_name; }

    // Hands what was written to the file. Throws KelVane::file_error "can not
    // write file <name>: <reason>" when this or any earlier write failed; a
    // failure is told once.
    void flush_checked();
    // Closes the file, and throws as flush_checked does when anything written to
    // it was lost and not yet told; closed either way. Nothing when the file is
    // not open.
    void close_checked();
    // Closes the file without looking at what was lost (an analysis discarded).
    void close();

private:
    class Buffer : public std::filebuf {
    public:
        // Keeps errno as the reason, unless an earlier failure was kept.
        void note_failure();

        int error = 0;  // errno of the first failed write; 0 while none failed

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;
        int sync() override;
    };

    // "can not write file <name>: " and the system's text of `error`.
    std::string failure_message(int error) const;

    Buffer buffer;
    std::string file_name;
    bool failure_told = false;  // a failure of this file has been thrown
};

#endif
