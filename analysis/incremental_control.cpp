#include "incremental_control.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <limits>
#include <locale>
#include <sstream>
#include <system_error>
#include <vector>

#include "domain.h"
#include "errors.h"
#include "line_limit.h"
#include "model_loader.h"


namespace KelVane {

namespace {

const char* const restart_header = "kelvane0.1restart";
const char* const restart_trailer = "end_restart_file";

const char* const restart_extension = ".bin";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A restart file that cannot be opened, named as it was looked for: a relative
// name is looked for in the working directory, which the message then names.
std::string cannot_open_message(const std::string& name)
{
    std::string message = "cannot open restart file " + name;
    if (std::filesystem::path(name).is_absolute()) return message;
    std::error_code failure;
    const std::filesystem::path directory = std::filesystem::current_path(failure);
    message += " (restart files are read from the working directory";
    if (!failure) message += " " + directory.string();
    return message + ")";
}

// A file written in the working directory, named with its folder: a user of the
// window does not see the working directory.
std::string with_folder(const std::string& name)
{
    std::error_code failure;
    const std::filesystem::path path = std::filesystem::absolute(name, failure);
    return failure ? name : path.string();
}

// The increment that the restart file `name` holds, as its first lines say; 0
// when they do not say it (reading it refuses the file then).
int saved_increment(const std::string& name)
{
    std::ifstream file(name);
    file.imbue(std::locale::classic());
    std::string word;
    int increment = 0;
    if (!(file >> word >> increment) || word != restart_header || increment < 0) return 0;
    return increment;
}

// 0.5, 0.25: shortest form in the "C" locale.
std::string plain_number(double value)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
}

}  // namespace

std::string restart_file_name(const std::string& base, int increment)
{
    std::ostringstream name;
    name << base;
    // The increment's digits must not run on from digits of the base: w1 at 23
    // and w at 1023 would both give w1023.bin. An underscore after a base that
    // ends in an underscore keeps w1_ at 23 (w1__023.bin) from w1 at 23.
    if (!base.empty() && (is_digit(base.back()) || base.back() == '_')) name << '_';
    name << std::setfill('0') << std::setw(3) << increment << restart_extension;
    return name.str();
}

std::string restart_file_increment(const std::string& name)
{
    const std::string extension = restart_extension;
    if (name.size() <= extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return std::string();
    const std::string::size_type end = name.size() - extension.size();
    std::string::size_type first = end;
    while (first > 0 && is_digit(name[first - 1])) --first;
    if (first == end) return std::string();
    while (first + 1 < end && name[first] == '0') ++first;
    return name.substr(first, end - first);
}

template <class DomainType>
IncrementalControl<DomainType>::IncrementalControl()
{
    this->base_name = "restart";
}

template <class DomainType>
IncrementalControl<DomainType>::~IncrementalControl() = default;

template <class DomainType>
void IncrementalControl<DomainType>::prepare(DomainType& model)
{
    reset_published_values();
    increment_nr = 0;
    rhs.resize(model.n_free);
    rhs.set_zero();
    if (restart) read_restart(model);
    // The sets that the blocks advance act, and so does a set that a restart file
    // left at a factor other than 0.
    std::vector<int> applied;
    for (const LoadBlock& block : load_blocks)
        if (block.steps > 0) applied.push_back(block.load_set);
    for (const LoadSet* set : model.load_sets)
        if (set->get_factor() != 0.0) applied.push_back(static_cast<int>(set->number()));
    model.check_applied_loads(applied);
    // A restarted analysis continues its numbering and runs every block again.
    long long total = increment_nr;
    for (const LoadBlock& block : load_blocks)
        if (block.steps > 0) total += block.steps;
    // Increment numbers are ints: a count beyond their range cannot be run.
    if (total > std::numeric_limits<int>::max())
        throw kelvane_error("too many increments");
    total_increments = static_cast<int>(total);
}

template <class DomainType>
double IncrementalControl<DomainType>::progress(int flag) const
{
    if (flag != 0 || total_increments <= 0) return 0.0;
    return static_cast<double>(increment_nr) / total_increments;
}

template <class DomainType>
void IncrementalControl<DomainType>::print_increment(std::ostream& listing)
{
    std::cout << "increment " << std::setw(3) << increment_nr << std::endl;
    if (&listing != &std::cout) listing << "increment " << std::setw(3) << increment_nr << '\n';
}

template <class DomainType>
bool IncrementalControl<DomainType>::run(DomainType& model, std::ostream& listing,
                                         std::ostream& result, int max)
{
    int count = 0;  // increments done in this call
    for (;;) {
        if (load_blocks.empty() || (max >= 0 && count >= max)) return !load_blocks.empty();

        LoadBlock& block = load_blocks.front();
        current_time_step = dt;

        while ((max < 0 || count < max) && block.steps >= 1) {
            ++increment_nr;
            ++count;
            --block.steps;
            print_increment(listing);
            complete_increment(model, listing, block.load_set, block.size);

            if (this->post.selects(increment_nr, total_increments))
                model.write_step_results(result, increment_nr, this->post);
            if (increment_nr == total_increments) model.write_output(listing);
            model.commit();
            if (save.selects(increment_nr, total_increments)) write_restart(model);
            this->done = true;
        }
        // A block without steps left goes; one given a negative count would
        // otherwise stay at the front for ever.
        if (block.steps <= 0) load_blocks.pop_front();
    }
}

template <class DomainType>
void IncrementalControl<DomainType>::complete_increment(DomainType& model, std::ostream& listing,
                                                        int load_set, double size)
{
    const double increment_dt = dt;
    double factor = 1.0;     // part of the increment that one step takes
    double remaining = 1.0;  // part of the increment still to do
    int resizes = 0;
    int sub_step = 1;
    // The factors are powers of one half, so the parts add up to the whole exactly.
    while (remaining > 0.0) {
        const double part = factor < remaining ? factor : remaining;
        dt = increment_dt * part;
        // The elements that integrate in time see the step they are taking.
        current_time_step = dt;
        previous_time = time;
        time = previous_time + dt;
        try {
            // The step takes back what it did before it fails, so a retry starts
            // from the state at the start of the step.
            increment(model, listing, load_set, size * part);
        } catch (const not_converged_error& failure) {
            time = previous_time;
            if (resizes < maxresize && factor * 0.5 >= smallest_resize_factor) {
                factor *= 0.5;
                ++resizes;
                // The factor in plain notation (0.5, 0.25), whatever format the
                // iteration lines left the listing in.
                const std::string text = std::string("Resized because ") + failure.what() +
                                         ", factor " + plain_number(factor);
                listing << '\n' << text << '\n';
                std::cout << '\n' << text << std::endl;
                continue;
            }
            dt = increment_dt;
            listing << '\n' << "ERROR: " << failure.what() << '\n';
            std::cout << '\n' << "ERROR: " << failure.what() << std::endl;
            throw kelvane_error("aborted increment");
        }
        remaining -= part;
        if (remaining > 0.0) {
            // The next sub-step starts from this one's state.
            model.commit();
            ++sub_step;
            const std::string text = "Sub-step " + std::to_string(sub_step) + " of increment " +
                                     std::to_string(increment_nr) + ", factor " +
                                     plain_number(factor);
            listing << '\n' << text << '\n';
            std::cout << text << std::endl;
        }
    }
    dt = increment_dt;
}

template <class DomainType>
std::vector<RunFile> IncrementalControl<DomainType>::files_in_use() const
{
    std::vector<RunFile> files = Control<DomainType>::files_in_use();
    if (restart) {
        const auto after_inputs = std::find_if(files.begin(), files.end(),
                                               [](const RunFile& file) { return file.written; });
        files.insert(after_inputs, RunFile{"restart file", with_folder(restart_file), false});
    }
    return files;
}

template <class DomainType>
std::vector<std::string> IncrementalControl<DomainType>::restart_files_to_write() const
{
    // Numbered as prepare numbers the increments.
    const long long first = (restart ? saved_increment(restart_file) : 0) + 1LL;
    long long last = first - 1;
    for (const LoadBlock& block : load_blocks)
        if (block.steps > 0) last += block.steps;
    std::vector<std::string> names;
    // A count beyond the range of increment numbers is refused by init.
    if (last > std::numeric_limits<int>::max()) return names;
    const auto add = [&](long long increment) {
        names.push_back(with_folder(restart_file_name(this->base_name, static_cast<int>(increment))));
    };
    if (save.all) {
        for (long long increment = first; increment <= last; ++increment) add(increment);
        return names;
    }
    for (const int step : save.steps)
        if (step >= first && step <= last && !(save.last && step == last)) add(step);
    if (save.last && last >= first) add(last);
    return names;
}

template <class DomainType>
void IncrementalControl<DomainType>::write_restart(DomainType& model)
{
    const std::string name = restart_file_name(this->base_name, increment_nr);
    // Checked at the start with the others; a link made since is found here, before
    // the file it stands for is emptied.
    std::vector<RunFile> files = files_in_use();
    files.push_back({"restart file", with_folder(name), true});
    const std::string clash = run_file_clash(files);
    if (!clash.empty()) throw file_error(clash);
    errno = 0;
    std::ofstream file(name, std::ios::out | std::ios::trunc);
    if (!file)
        throw file_error("can not open restart file " + with_folder(name) + ": " +
                         std::strerror(errno != 0 ? errno : EIO));
    file.imbue(std::locale::classic());
    // Every double must come back exactly when the file is read.
    file << std::setprecision(std::numeric_limits<double>::max_digits10);
    file << restart_header << '\n' << increment_nr << '\n' << time << '\n';
    model.write_restart_state(file);
    write_motion(file);
    file << restart_trailer << '\n';
    file.close();
    if (!file) {
        // A file cut short would be taken for a state to restart from.
        std::remove(name.c_str());
        throw file_error("can not write restart file " + with_folder(name));
    }
    std::cout << "restart file " << with_folder(name) << " written" << std::endl;
}

template <class DomainType>
void IncrementalControl<DomainType>::read_restart(DomainType& model)
{
    std::ifstream source(restart_file);
    if (!source) throw file_error(cannot_open_message(restart_file));
    // A line too long for any restart file ends the input there and is named.
    LineLimitBuffer limited(*source.rdbuf());
    std::istream file(&limited);
    file.imbue(std::locale::classic());
    try {
        std::string word;
        if (!(file >> word) || word != restart_header)
            throw file_error("incorrect restart file");
        int restored_increment = 0;
        double restored_time = 0.0;
        if (!(file >> restored_increment >> restored_time))
            throw file_error("incorrect restart file");
        if (restored_increment < 0 || !std::isfinite(restored_time))
            throw file_error("corrupt restart file");
        // A file of another model or increment under the name asked for (as the
        // names of w1 at 23 and of w at 1023 once were) is not taken for this one.
        const std::string named = restart_file_increment(restart_file);
        if (!named.empty() && named != std::to_string(restored_increment))
            throw file_error("restart file " + restart_file + " holds increment " +
                             std::to_string(restored_increment) + ", not increment " + named +
                             " as its name says");
        increment_nr = restored_increment;
        time = restored_time;
        model.read_restart_state(file);
        word.clear();
        // A restart file of a static analysis ends after the model records: a motion
        // started from it starts at rest.
        if (file >> word && word != restart_trailer) {
            read_motion(word, file);
            word.clear();
            file >> word;
        }
        if (!file || word != restart_trailer) throw file_error("incorrect end of restart file");
    } catch (const file_error&) {
        if (limited.line_too_long())
            throw file_error("restart file line " + std::to_string(limited.too_long_line()) +
                             " is longer than 1 MB");
        throw;
    }
    this->done = true;
}

template <class DomainType>
void IncrementalControl<DomainType>::read_motion(const std::string& first, std::istream&)
{
    // A static analysis keeps no motion: whatever stands before the end line is wrong.
    refuse_other_analysis(first, "a static analysis");
    throw file_error("incorrect end of restart file");
}

template <class DomainType>
void IncrementalControl<DomainType>::refuse_other_analysis(const std::string& first,
                                                           const char* reader)
{
    // The first record after the model records tells the analysis that wrote it.
    const char* writer = nullptr;
    if (first == "previous_increment") writer = "an explicit analysis";
    else if (first == "velocity") writer = "a Newmark analysis";
    if (writer == nullptr) return;
    throw file_error(std::string("the restart file holds the state of ") + writer +
                     ": it can not restart " + reader);
}

template <class DomainType>
void IncrementalControl<DomainType>::write_vector_record(std::ostream& os, const char* name,
                                                         const Vector& v)
{
    os << name << ' ' << v.size();
    for (unsigned i = 1; i <= v.size(); ++i) os << ' ' << v(i);
    os << '\n';
}

template <class DomainType>
void IncrementalControl<DomainType>::read_vector_record(std::istream& is, const std::string& word,
                                                        const char* name, Vector& v)
{
    unsigned size = 0;
    if (word != name) {
        if (std::string(name) == "previous_increment")
            refuse_other_analysis(word, "an explicit analysis");
        else if (std::string(name) == "velocity")
            refuse_other_analysis(word, "a Newmark analysis");
        throw file_error("corrupt restart file");
    }
    if (!(is >> size) || size != v.size()) throw file_error("corrupt restart file");
    for (unsigned i = 1; i <= size; ++i) {
        double value = 0.0;
        if (!(is >> value) || !std::isfinite(value)) throw file_error("corrupt restart file");
        v(i) = value;
    }
}

template class IncrementalControl<MyDomain>;

}  // namespace KelVane
