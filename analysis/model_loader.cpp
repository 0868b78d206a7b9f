#include "model_loader.h"

#include <chrono>
#include <iostream>

#include <sys/stat.h>

#include "control.h"
#include "domain.h"
#include "errors.h"
#include "kvparser.h"

namespace {

// A file that defines no nodes or no elements is no model (an empty file, a text
// in another encoding, bytes without a keyword line): it is refused rather than
// offered to run. Returns the errors counted.
int check_model_defined(const MyDomain& domain)
{
    int errors = 0;
    if (domain.nodes.empty()) {
        std::cerr << "the input file defines no nodes" << std::endl;
        ++errors;
    }
    if (domain.elements.empty()) {
        std::cerr << "the input file defines no elements" << std::endl;
        ++errors;
    }
    return errors;
}

// A linear analysis of a law that is not linear is refused with the model, before
// it can be started (LinearControl::init refuses it too, for a control made in code).
int check_linear_laws(const MyDomain& domain, const KelVane::Control<MyDomain>* control)
{
    if (dynamic_cast<const LinearControl*>(control) == nullptr) return 0;
    try {
        domain.refuse_nonlinear_parts();
    } catch (const KelVane::kelvane_error& error) {
        std::cerr << error.what() << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

int read_model(const std::string& file_name, MyDomain*& domain,
               KelVane::Control<MyDomain>*& control)
{
    delete domain;
    domain = nullptr;
    delete control;
    control = nullptr;
    reset_published_values();

    domain = new MyDomain;
    int errors = 0;
    {
        input_data reader;
        reader.set_file_name(file_name);
        while (!reader.end_of_input()) {
            if (reader.is_keyword_line())
                reader.read_data(*domain, control);
            else
                reader.skip_line();
        }
        if (control == nullptr) control = new LinearControl;
        control->set_base_name(model_base_name(file_name));
        control->set_model_file(file_name);
        if (!reader.input_cut_short()) {
            reader.check_load_sets(*domain);
            reader.check_stress_layouts(*domain, control);
        }
        errors = reader.error_count();
        if (!reader.input_cut_short()) errors += check_model_defined(*domain);
        // Asked of a model that is sound otherwise.
        if (errors == 0) errors += check_linear_laws(*domain, control);
    }
    return errors;
}

namespace {

// Only '/' separates directories: a backslash and ':' are characters of a file name, and
// a model a:b.dat keeps them in its outputs' names (a:b004.bin), apart from b.dat's.
const char path_separator = '/';

}  // namespace

std::string model_base_name(const std::string& path)
{
    std::string::size_type separator = path.rfind(path_separator);
    std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    // Only the extension goes: bridge.case1.dat and bridge.case2.dat keep apart.
    return name.substr(0, name.rfind('.'));
}

std::string directory_part(const std::string& path)
{
    std::string::size_type separator = path.rfind(path_separator);
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool same_file(const std::string& first, const std::string& second)
{
    struct stat first_status {};
    struct stat second_status {};
    if (::stat(first.c_str(), &first_status) != 0 || ::stat(second.c_str(), &second_status) != 0)
        return false;
    return first_status.st_dev == second_status.st_dev &&
           first_status.st_ino == second_status.st_ino;
}

std::string model_file_clash(const std::string& kind, const std::string& name,
                             const std::string& model_file)
{
    if (model_file.empty() || !same_file(name, model_file)) return std::string();
    return "the " + kind + " " + name + " is the model file " + model_file +
           " itself: it is not written";
}

StopWatch::StopWatch(bool start_now)
{
    if (start_now) start();
}

void StopWatch::read_clock(std::time_t& seconds_now, std::uint16_t& milliseconds_now) const
{
    using namespace std::chrono;
    const auto since_epoch =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    seconds_now = static_cast<std::time_t>(since_epoch / 1000);
    milliseconds_now = static_cast<std::uint16_t>(since_epoch % 1000);
}

void StopWatch::start()
{
    if (running) return;
    read_clock(reference_seconds, reference_milliseconds);
    running = true;
}

void StopWatch::stop()
{
    if (!running) return;
    accumulate();
    running = false;
}

void StopWatch::reset()
{
    accumulated_seconds = 0;
    accumulated_milliseconds = 0;
    if (running) read_clock(reference_seconds, reference_milliseconds);
}

double StopWatch::seconds()
{
    accumulate();
    return accumulated_seconds + accumulated_milliseconds * 0.001;
}

void StopWatch::accumulate()
{
    if (!running) return;
    std::time_t seconds_now = 0;
    std::uint16_t milliseconds_now = 0;
    read_clock(seconds_now, milliseconds_now);
    accumulated_seconds += static_cast<int>(seconds_now - reference_seconds);
    accumulated_milliseconds += int(milliseconds_now) - int(reference_milliseconds);
    reference_seconds = seconds_now;
    reference_milliseconds = milliseconds_now;
}
