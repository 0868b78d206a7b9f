#include "incremental_control.h"

#include <fstream>
#include <iomanip>
#include <iostream>
#include <limits>
#include <locale>
#include <sstream>

#include "domain.h"
#include "errors.h"


namespace KelVane {

namespace {

const char* const restart_header = "kelvane0.1restart";
const char* const restart_trailer = "end_restart_file";

// base007.bin below increment 1000, base1234.bin from there on.
std::string restart_file_name(const std::string& base, int increment)
{
    std::ostringstream name;
    name << base << std::setfill('0') << std::setw(3) << increment << ".bin";
    return name.str();
}

}  // namespace

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
            double step_size = block.size;
            double resize_factor = 1.0;
            int resizes = 0;
            ++increment_nr;
            ++count;
            --block.steps;
            previous_time = time;
            print_increment(listing);

            // The increment itself takes back what it did before it fails, so a
            // retry starts from the last committed state. A halved dt stays halved.
            for (;;) {
                time = previous_time + dt;
                try {
                    increment(model, listing, block.load_set, step_size);
                    break;
                } catch (const not_converged_error& failure) {
                    if (resizes < maxresize) {
                        step_size *= 0.5;
                        dt *= 0.5;
                        resize_factor *= 0.5;
                        ++resizes;
                        // The factor in plain notation (0.5, 0.25), whatever format the
                        // iteration lines left the listing in.
                        std::ostringstream factor;
                        factor.imbue(std::locale::classic());
                        factor << resize_factor;
                        listing << '\n' << "Resized because " << failure.what() << ", factor "
                                << factor.str() << '\n';
                        std::cout << '\n' << "Resized because " << failure.what() << ", factor "
                                  << factor.str() << std::endl;
                    } else {
                        listing << '\n' << "ERROR: " << failure.what() << '\n';
                        std::cout << '\n' << "ERROR: " << failure.what() << std::endl;
                        throw kelvane_error("aborted increment");
                    }
                }
            }

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
void IncrementalControl<DomainType>::write_restart(DomainType& model)
{
    const std::string name = restart_file_name(this->base_name, increment_nr);
    std::ofstream file(name, std::ios::out | std::ios::trunc);
    if (!file) throw file_error("can not open restart file " + name);
    file.imbue(std::locale::classic());
    // Every double must come back exactly when the file is read.
    file << std::setprecision(std::numeric_limits<double>::max_digits10);
    file << restart_header << '\n' << increment_nr << '\n' << time << '\n';
    model.write_restart_state(file);
    file << restart_trailer << '\n';
    file.close();
    if (!file) throw file_error("can not write restart file " + name);
}

template <class DomainType>
void IncrementalControl<DomainType>::read_restart(DomainType& model)
{
    std::ifstream file(restart_file);
    file.imbue(std::locale::classic());
    std::string word;
    if (!(file >> word) || word != restart_header) throw file_error("incorrect restart file");
    int restored_increment = 0;
    double restored_time = 0.0;
    if (!(file >> restored_increment >> restored_time))
        throw file_error("incorrect restart file");
    increment_nr = restored_increment;
    time = restored_time;
    model.read_restart_state(file);
    word.clear();
    if (!(file >> word) || word != restart_trailer)
        throw file_error("incorrect end of restart file");
    this->done = true;
}

template class IncrementalControl<MyDomain>;

}  // namespace KelVane
