#ifndef KELVANED_MODEL_LOADER_H
#define KELVANED_MODEL_LOADER_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class MyDomain;

namespace KelVane {
template <class DomainType>
class Control;
}  // namespace KelVane

// Loads one model file. The model container and the analysis control held by the
// caller are destroyed and replaced by new ones built from the file (a linear
// control when the file names no analysis). Returns the number of input errors;
// 0 means the model may run. A file read to its end that defines no nodes or no
// elements counts an error for each. A syntax_error (a line without a required
// field) leaves with the container built so far and the control read so far, if any.
int read_model(const std::string& file_name, MyDomain*& domain,
               KelVane::Control<MyDomain>*& control);

// The bare model name: the part after the last '/', cut before its last '.'
// (bridge.case1.dat gives bridge.case1, a:b.dat gives a:b).
std::string model_base_name(const std::string& path);
// The path up to and including its last '/'; empty when it has none.
std::string directory_part(const std::string& path);
// Whether the two paths name one file. Two files that exist are one when they
// have one device and one inode (a hard or a symbolic link to the file counts);
// two that do not exist yet are one when every link is followed and every folder
// resolved gives one path (a link to a file not made yet is the file that writing
// it makes). A file that exists is never one that does not.
bool same_file(const std::string& first, const std::string& second);

// A file that a run reads or writes, named for messages by what it is ("model
// file", "listing", "result file", "restart file").
struct RunFile {
    std::string kind;
    std::string name;
    bool written = true;  // false for a file the run only reads
};
// The message that refuses a run two of whose files are one file (same_file),
// "the <kind> <name> is the <kind> <name> itself: it is not written", naming the
// later of the two first; two files that are only read do not clash. Empty when
// every file the run writes is a file of its own.
std::string run_file_clash(const std::vector<RunFile>& files);

// Accumulated elapsed time on the time-of-day clock, in seconds and milliseconds.
class StopWatch {
public:
    explicit StopWatch(bool start_now = false);

    void start();
    void stop();
    // Zero time; a running watch keeps running from now.
    void reset();
    // Accumulated time so far; does not stop the watch.
    double seconds();
    bool is_running() const { return running; }

private:
    // Adds the time since the reference to the accumulators and moves the
    // reference to now.
    void accumulate();
    void read_clock(std::time_t& seconds_now, std::uint16_t& milliseconds_now) const;

    std::time_t reference_seconds = 0;
    std::uint16_t reference_milliseconds = 0;
    int accumulated_seconds = 0;
    // May be negative or exceed 999: only differences are added.
    int accumulated_milliseconds = 0;
    bool running = false;
};

#endif
