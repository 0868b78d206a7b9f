#ifndef KELVANED_GUI_LOG_STREAM_H
#define KELVANED_GUI_LOG_STREAM_H

#include <ostream>
#include <streambuf>
#include <string>

class wxTextCtrl;

// A stream buffer that collects output up to the line end (or an explicit
// flush) and appends it to a text control in one piece, decoding it as UTF-8.
// An incomplete UTF-8 sequence at a flush waits for the rest of its bytes; bytes
// that are not UTF-8 are shown as Latin-1 rather than dropped.
class LogStreamBuf : public std::streambuf {
public:
    explicit LogStreamBuf(wxTextCtrl* text);
    ~LogStreamBuf() override;

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    // Appends the complete lines collected so far; with `everything` also the
    // unfinished last line (up to an incomplete UTF-8 sequence).
    void emit(bool everything);

    wxTextCtrl* text;
    std::string pending;
};

// Sends one standard stream into a text control until destroyed, then puts the
// stream's previous buffer back.
class LogRedirector {
public:
    LogRedirector(std::ostream& stream, wxTextCtrl* text);
    ~LogRedirector();
    LogRedirector(const LogRedirector&) = delete;
    LogRedirector& operator=(const LogRedirector&) = delete;

private:
    std::ostream& stream;
    LogStreamBuf buffer;
    std::streambuf* saved;
};

#endif
