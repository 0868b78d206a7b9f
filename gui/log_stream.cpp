#include "log_stream.h"

#include <wx/strconv.h>
#include <wx/textctrl.h>

namespace {

// Length of the incomplete UTF-8 sequence at the end of `s` (0 when the last
// sequence is complete or the tail is not UTF-8 at all).
std::size_t incomplete_utf8_tail(const std::string& s)
{
    const std::size_t n = s.size();
    // A sequence is at most 4 bytes: look back over at most 3 continuation bytes.
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const unsigned char c = static_cast<unsigned char>(s[n - back]);
        if ((c & 0xC0) == 0x80) continue;  // continuation byte
        std::size_t expected = 1;
        if ((c & 0xE0) == 0xC0)
            expected = 2;
        else if ((c & 0xF0) == 0xE0)
            expected = 3;
        else if ((c & 0xF8) == 0xF0)
            expected = 4;
        return expected > back ? back : 0;
    }
    return 0;
}

wxString decode(const std::string& bytes)
{
    wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
    if (text.empty() && !bytes.empty()) text = wxString(bytes.data(), wxConvISO8859_1, bytes.size());
    return text;
}

}  // namespace

LogStreamBuf::LogStreamBuf(wxTextCtrl* text) : text(text) {}

LogStreamBuf::~LogStreamBuf() { emit(true); }

LogStreamBuf::int_type LogStreamBuf::overflow(int_type ch)
{
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    pending.push_back(traits_type::to_char_type(ch));
    if (ch == '\n') emit(false);
    return ch;
}

std::streamsize LogStreamBuf::xsputn(const char* s, std::streamsize n)
{
    pending.append(s, static_cast<std::size_t>(n));
    if (pending.find('\n') != std::string::npos) emit(false);
    return n;
}

int LogStreamBuf::sync()
{
    emit(true);
    return 0;
}

void LogStreamBuf::emit(bool everything)
{
    std::size_t end;
    if (everything) {
        end = pending.size() - incomplete_utf8_tail(pending);
    } else {
        const std::size_t last_newline = pending.rfind('\n');
        if (last_newline == std::string::npos) return;
        end = last_newline + 1;
    }
    if (end == 0) return;
    const std::string out = pending.substr(0, end);
    pending.erase(0, end);
    if (text) text->AppendText(decode(out));
}

LogRedirector::LogRedirector(std::ostream& stream, wxTextCtrl* text)
    : stream(stream), buffer(text), saved(stream.rdbuf(&buffer))
{
}

LogRedirector::~LogRedirector()
{
    stream.flush();
    stream.rdbuf(saved);
}
