#include "gui_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <dlfcn.h>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/msgdlg.h>
#include <wx/stopwatch.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/utils.h>

#include "app.h"
#include "frame.h"

namespace gui_test {

namespace {

std::vector<std::string>& temp_dirs()
{
    static std::vector<std::string> dirs;
    return dirs;
}

// GLib's structured log interface, reached in the libraries the toolkit has
// loaded: the build has no GLib headers. Levels are GLib's GLogLevelFlags bits;
// every message, also one logged the older way, reaches the writer.
struct LogField {
    const char* key;
    const void* value;
    long length;  // -1: value is a nul-terminated string
};
using log_writer = int (*)(int level, const LogField* fields, std::size_t n_fields, void* data);
using set_writer_function = void (*)(log_writer writer, void* data, void (*free_data)(void*));
constexpr int log_level_critical = 1 << 3;
constexpr int log_level_warning = 1 << 4;

log_writer default_log_writer = nullptr;
std::vector<std::string> complaints_outside_tests;

std::string field_text(const LogField* fields, std::size_t n_fields, const char* key)
{
    for (std::size_t i = 0; i < n_fields; ++i) {
        if (std::strcmp(fields[i].key, key) != 0 || !fields[i].value) continue;
        const char* value = static_cast<const char*>(fields[i].value);
        if (fields[i].length < 0) return std::string(value);
        return std::string(value, static_cast<std::size_t>(fields[i].length));
    }
    return std::string();
}

int record_complaint(int level, const LogField* fields, std::size_t n_fields, void* data)
{
    const std::string domain = field_text(fields, n_fields, "GLIB_DOMAIN");
    const bool complaint = level & (log_level_critical | log_level_warning);
    if (complaint && (domain == "Gtk" || domain == "Gdk")) {
        const std::string text = domain +
                                 ((level & log_level_critical) ? "-CRITICAL: " : "-WARNING: ") +
                                 field_text(fields, n_fields, "MESSAGE");
        if (testing::UnitTest::GetInstance()->current_test_info())
            ADD_FAILURE() << "the toolkit complained: " << text;
        else
            complaints_outside_tests.push_back(text);
    }
    return default_log_writer ? default_log_writer(level, fields, n_fields, data) : 1;
}

// GTK and GDK functions reached in the libraries the toolkit has loaded: the
// build has no GTK headers.
template <class Function>
Function gtk_function(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
}

// Lets one modal dialog show for real and reads it from the screen once it has
// been on show for a while, then closes it.
class DialogShooter : public wxModalDialogHook {
public:
    DialogShooter(int response, int skip, int settle_ms, int timeout_ms)
        : response(response), skip(skip), settle_ms(settle_ms), timeout_ms(timeout_ms)
    {
        Register();
        screen_before = read_screen(wxRect(wxGetDisplaySize()));
    }
    ~DialogShooter() override { Unregister(); }

    wxImage shot;
    wxImage before;  // the screen where the dialog appeared, before it did
    bool entered = false;

protected:
    int Enter(wxDialog* dialog) override
    {
        if (skip > 0) {
            --skip;
            return wxID_CANCEL;
        }
        if (entered) return wxID_CANCEL;  // only one dialog is shown
        entered = true;
        shown = dialog;
        watch.Start();
        timer.Bind(wxEVT_TIMER, &DialogShooter::OnTimer, this);
        timer.Start(20);
        return wxID_NONE;
    }
    void Exit(wxDialog*) override { timer.Stop(); }

private:
    void OnTimer(wxTimerEvent&)
    {
        using widget_window_function = void* (*)(void*);
        using viewable_function = int (*)(void*);
        using origin_function = int (*)(void*, int*, int*);
        using extent_function = int (*)(void*);
        using response_function = void (*)(void*, int);
        static const auto widget_window =
            gtk_function<widget_window_function>("gtk_widget_get_window");
        static const auto viewable = gtk_function<viewable_function>("gdk_window_is_viewable");
        static const auto origin = gtk_function<origin_function>("gdk_window_get_origin");
        static const auto width = gtk_function<extent_function>("gdk_window_get_width");
        static const auto height = gtk_function<extent_function>("gdk_window_get_height");
        static const auto respond = gtk_function<response_function>("gtk_dialog_response");
        if (!widget_window || !viewable || !origin || !width || !height || !respond) {
            ADD_FAILURE() << "GTK's functions cannot be reached";
            timer.Stop();
            return;
        }
        void* widget = shown->GetHandle();
        void* window = widget ? widget_window(widget) : nullptr;
        const bool on_show = window && viewable(window);
        if (on_show && appeared_ms < 0) appeared_ms = watch.Time();
        const bool settled = appeared_ms >= 0 && watch.Time() - appeared_ms >= settle_ms;
        if (!settled && watch.Time() < timeout_ms) return;
        timer.Stop();
        if (settled) {
            int x = 0, y = 0;
            origin(window, &x, &y);
            const int w = width(window), h = height(window);
            shot = read_screen(wxRect(x, y, w, h));
            // What was there before the dialog appeared.
            const wxRect seen = wxRect(x, y, w, h).Intersect(wxRect(screen_before.GetSize()));
            if (screen_before.IsOk() && seen == wxRect(x, y, w, h))
                before = screen_before.GetSubImage(seen);
        }
        // A native message box ends with a response; another dialog ends its modal loop.
        if (dynamic_cast<wxMessageDialogBase*>(shown)) {
            if (widget) respond(widget, response);
        } else {
            shown->EndModal(response == -5 ? wxID_OK : wxID_CANCEL);
        }
    }

    int response;
    int skip;
    int settle_ms;
    int timeout_ms;
    wxDialog* shown = nullptr;
    wxImage screen_before;
    wxTimer timer;
    wxStopWatch watch;
    long appeared_ms = -1;
};

}  // namespace

wxImage read_screen(const wxRect& area)
{
    using root_function = void* (*)();
    using pixbuf_function = void* (*)(void*, int, int, int, int);
    using pixels_function = unsigned char* (*)(void*);
    using int_function = int (*)(void*);
    using unref_function = void (*)(void*);
    static const auto root = gtk_function<root_function>("gdk_get_default_root_window");
    static const auto from_window = gtk_function<pixbuf_function>("gdk_pixbuf_get_from_window");
    static const auto pixels = gtk_function<pixels_function>("gdk_pixbuf_get_pixels");
    static const auto rowstride = gtk_function<int_function>("gdk_pixbuf_get_rowstride");
    static const auto channels = gtk_function<int_function>("gdk_pixbuf_get_n_channels");
    static const auto unref = gtk_function<unref_function>("g_object_unref");
    if (!root || !from_window || !pixels || !rowstride || !channels || !unref) return wxImage();
    if (area.width <= 0 || area.height <= 0) return wxImage();
    void* pixbuf = from_window(root(), area.x, area.y, area.width, area.height);
    if (!pixbuf) return wxImage();
    wxImage image(area.width, area.height, false);
    const unsigned char* data = pixels(pixbuf);
    const int stride = rowstride(pixbuf);
    const int n = channels(pixbuf);
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x) {
            const unsigned char* pixel = data + y * stride + x * n;
            image.SetRGB(x, y, pixel[0], pixel[1], pixel[2]);
        }
    unref(pixbuf);
    return image;
}

wxImage shoot_modal_dialog(const std::function<void()>& open, int response, int skip,
                           int settle_ms, int timeout_ms)
{
    DialogShooter shooter(response, skip, settle_ms, timeout_ms);
    open();
    if (!shooter.entered) ADD_FAILURE() << "no modal dialog was opened";
    if (painted_nothing(shooter.shot, shooter.before)) {
        ADD_FAILURE() << "the dialog painted nothing: the screen shows "
                      << (is_uniform(shooter.shot) ? "one flat colour" : "what was there before")
                      << " where it is";
    }
    return shooter.shot;
}

bool is_uniform(const wxImage& image)
{
    if (!image.IsOk()) return true;
    const unsigned char* data = image.GetData();
    const long size = static_cast<long>(image.GetWidth()) * image.GetHeight() * 3;
    for (long i = 3; i < size; ++i)
        if (data[i] != data[i % 3]) return false;
    return true;
}

bool painted_nothing(const wxImage& shot, const wxImage& before)
{
    if (!shot.IsOk() || is_uniform(shot)) return true;
    if (!before.IsOk() || before.GetSize() != shot.GetSize()) return false;
    const long size = static_cast<long>(shot.GetWidth()) * shot.GetHeight() * 3;
    return std::memcmp(shot.GetData(), before.GetData(), static_cast<std::size_t>(size)) == 0;
}

DialogHook::DialogHook() { Register(); }

DialogHook::~DialogHook() { Unregister(); }

std::vector<wxString> DialogHook::messages() const
{
    std::vector<wxString> texts;
    for (const RecordedDialog& d : dialogs)
        if (!d.message.empty()) texts.push_back(d.message);
    return texts;
}

int DialogHook::Enter(wxDialog* dialog)
{
    RecordedDialog record;
    record.caption = dialog->GetTitle();
    auto* message_box = dynamic_cast<wxMessageDialogBase*>(dialog);
    if (message_box) {
        record.message = message_box->GetMessage();
        record.caption = message_box->GetCaption();
        record.style = message_box->GetMessageDialogStyle();
    }
    if (on_dialog) on_dialog(dialog);

    if (!answers.empty()) {
        record.answer = answers.front();
        answers.pop_front();
    } else if (message_box) {
        record.answer = (record.style & wxYES_NO) ? wxID_NO : wxID_OK;
    } else {
        record.answer = wxID_CANCEL;
    }
    dialogs.push_back(record);
    return record.answer;
}

CommandProbe::CommandProbe(int id) : id(id)
{
    main_frame().Bind(wxEVT_MENU, &CommandProbe::OnCommand, this, id);
}

CommandProbe::~CommandProbe()
{
    if (GetMainFrame()) main_frame().Unbind(wxEVT_MENU, &CommandProbe::OnCommand, this, id);
}

void CommandProbe::OnCommand(wxCommandEvent&) { ++count; }

void record_toolkit_complaints()
{
    const auto set_writer =
        reinterpret_cast<set_writer_function>(dlsym(RTLD_DEFAULT, "g_log_set_writer_func"));
    default_log_writer = reinterpret_cast<log_writer>(dlsym(RTLD_DEFAULT, "g_log_writer_default"));
    if (!set_writer || !default_log_writer) {
        std::fprintf(stderr, "GTK's log messages cannot be recorded\n");
        return;
    }
    set_writer(record_complaint, nullptr, nullptr);
}

std::vector<std::string> complaints_between_tests() { return complaints_outside_tests; }

MyFrame& main_frame()
{
    MyFrame* frame = GetMainFrame();
    if (!frame) {
        ADD_FAILURE() << "no main frame";
        std::abort();
    }
    return *frame;
}

void pump_events(int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        wxYield();
        wxMilliSleep(5);
    }
    wxYield();
}

bool wait_until(const std::function<bool()>& condition, int timeout_ms)
{
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (condition()) return true;
        wxYield();
        wxMilliSleep(10);
    }
    return condition();
}

wxImage read_window(wxWindow& window)
{
    const wxSize size = window.GetClientSize();
    if (size.x <= 0 || size.y <= 0) return wxImage();
    wxBitmap bitmap(size.x, size.y, 24);
    {
        wxMemoryDC memory(bitmap);
        wxClientDC screen(&window);
        memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
    }
    return bitmap.ConvertToImage();
}

wxString log_text() { return main_frame().GetLog()->GetValue(); }

bool log_contains(const wxString& text) { return log_text().Find(text) != wxNOT_FOUND; }

std::string make_temp_dir()
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "kelvaned-gui-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot create a temporary directory";
        return fs::temp_directory_path().string();
    }
    temp_dirs().push_back(pattern);
    return pattern;
}

std::string copy_example(const std::string& name)
{
    namespace fs = std::filesystem;
    const fs::path target = fs::path(make_temp_dir()) / name;
    fs::copy_file(fs::path(KV_EXAMPLES_DIR) / name, target);
    return target.string();
}

void remove_temp_dirs()
{
    std::error_code ignored;
    for (const std::string& dir : temp_dirs()) std::filesystem::remove_all(dir, ignored);
    temp_dirs().clear();
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace gui_test
