#include "model_loader.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <system_error>
#include <tuple>

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

namespace {

// What tells one file from another: the device and inode of a file that exists,
// the path it will be made at of one that does not.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;

    bool operator<(const FileIdentity& other) const
    {
        return std::tie(exists, device, inode, path) <
               std::tie(other.exists, other.device, other.inode, other.path);
    }
    bool operator==(const FileIdentity& other) const
    {
        return !(*this < other) && !(other < *this);
    }
};

// The path at which writing `name` makes its file: every link followed, also one
// to a file that does not exist yet, and the folders resolved.
std::string path_to_be_made(const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code failure;
    fs::path path = fs::absolute(name, failure);
    if (failure) path = name;
    // As many links as the system follows in one name.
    for (int links = 0; links < 40; ++links) {
        if (!fs::is_symlink(fs::symlink_status(path, failure))) break;
        const fs::path target = fs::read_symlink(path, failure);
        if (failure) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(path, failure);
    return (failure ? path.lexically_normal() : resolved).string();
}

FileIdentity identify(const std::string& name)
{
    FileIdentity identity;
    struct stat status {};
    if (::stat(name.c_str(), &status) == 0) {
        identity.exists = true;
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
    } else {
        identity.path = path_to_be_made(name);
    }
    return identity;
}

}  // namespace

bool same_file(const std::string& first, const std::string& second)
{
    return identify(first) == identify(second);
}

std::string run_file_clash(const std::vector<RunFile>& files)
{
    // Each file is looked at once: a run may save a restart file at every increment.
    std::map<FileIdentity, std::size_t> first_of;
    for (std::size_t later = 0; later < files.size(); ++later) {
        const RunFile& file = files[later];
        const auto [known, added] = first_of.emplace(identify(file.name), later);
        if (added) continue;
        const RunFile& earlier = files[known->second];
        if (!file.written && !earlier.written) continue;
        return "the " + file.kind + " " + file.name + " is the " + earlier.kind + " " +
               earlier.name + " itself: it is not written";
    }
    return std::string();
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
