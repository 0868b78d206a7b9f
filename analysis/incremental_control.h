#ifndef KELVANED_INCREMENTAL_CONTROL_H
#define KELVANED_INCREMENTAL_CONTROL_H

#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include "control.h"
#include "kvmatrix.h"
#include "post_selection.h"
#include "process_values.h"


namespace KelVane {

// The restart file of increment `increment` of the model whose bare name is
// `base`: the base, the increment in three digits or more, and ".bin" (beam007.bin,
// beam1234.bin). After a base that ends in a digit or an underscore an underscore
// stands before the increment (w1_023.bin, w1__023.bin), so that no two bases or
// increments give one name.
std::string restart_file_name(const std::string& base, int increment);
// The increment that a restart file name says: the digits just before its ".bin",
// without leading zeros ("23" for w1_023.bin, "1023" for w1023.bin); empty when
// the name does not end in digits and ".bin".
std::string restart_file_increment(const std::string& name);

// Base of the analyses that advance in load or time increments. It runs the queue
// of load blocks one increment at a time, retries an increment that does not
// converge with half the step (at most maxresize times, never below
// smallest_resize_factor of the increment) and completes a resized increment by
// further sub-steps, writes result-file blocks and restart files for the selected
// increments, and reads a restart file. The derived class computes one step.
//
// The member functions are instantiated for MyDomain in incremental_control.cpp.
template <class DomainType>
class IncrementalControl : public Control<DomainType> {
public:
    // `steps` increments of load set `load_set`, each advancing its factor by `size`.
    struct LoadBlock {
        int load_set;
        double size;
        int steps;
    };

    IncrementalControl();
    ~IncrementalControl() override;

    // Runs increments until the queue is empty or `max` increments were done in this
    // call (no limit when max < 0); true while blocks remain.
    bool run(DomainType& model, std::ostream& listing, std::ostream& result,
             int max) override;

    // One step: advance load set `load_set` by `size` (and the time by dt) and reach
    // the new state. Throws not_converged_error (or divergence_error) when it cannot,
    // after taking back what it did; the step is then retried with half the size
    // and half dt while resizes are left.
    virtual void increment(DomainType& model, std::ostream& listing, int load_set,
                           double size) = 0;
    // "increment " and the number to standard output, and to the listing when that
    // is another stream.
    virtual void print_increment(std::ostream& listing);
    // Writes the restart file of the current increment, named after the base name,
    // in the current working directory.
    virtual void write_restart(DomainType& model);
    // Reads the restart file named in the input; throws file_error on a bad file.
    virtual void read_restart(DomainType& model);

    // Those of Control::files_in_use, with the restart file that the run reads
    // (named with its folder) after the model file.
    std::vector<RunFile> files_in_use() const override;
    // The restart files, named with their folder, that a run started now will save,
    // in the order of their increments: those the save selection chooses among the
    // increments after the one the restart file read holds (as far as its first
    // lines tell).
    std::vector<std::string> restart_files_to_write() const;

    // Called by the derived init after the dofs are numbered: sizes the right-hand
    // side, reads the restart file when asked to, judges the loads of the sets that
    // the increments apply (MyDomain::check_applied_loads) and counts the
    // increments to do.
    void prepare(DomainType& model);
    // Fraction of the increments done; 0 when flag is non-zero or nothing is to do.
    double progress(int flag) const;

    // Settings from the input.
    void set_timestep(double timestep) { dt = timestep; }
    void set_Rayleigh(double alpha, double beta)
    {
        rayleigh_alpha = alpha;
        rayleigh_beta = beta;
        damping = true;
    }
    void set_maxresize(int n) { maxresize = n; }
    void add_load_block(int load_set, double size, int steps)
    {
        load_blocks.push_back(LoadBlock{load_set, size, steps});
    }
    void set_save_selection(const StepSelect& selection) { save = selection; }
    void set_restart(const std::string& file_name)
    {
        restart = true;
        restart_file = file_name;
    }

    bool restarts() const { return restart; }
    const std::string& get_restart_file() const { return restart_file; }
    int get_total_increments() const { return total_increments; }
    int get_increment_number() const { return increment_nr; }
    double get_timestep() const { return dt; }
    double get_time() const { return time; }
    double get_previous_time() const { return previous_time; }
    double get_rayleigh_alpha() const { return rayleigh_alpha; }
    double get_rayleigh_beta() const { return rayleigh_beta; }
    bool has_damping() const { return damping; }
    int get_maxresize() const { return maxresize; }
    StepSelect& save_selection() { return save; }
    const StepSelect& save_selection() const { return save; }
    const std::deque<LoadBlock>& get_load_blocks() const { return load_blocks; }

    // A resize that would take the step below this part of its increment ends the
    // increment instead: a load step of almost nothing "converges" on the
    // tolerance for no load at all and carries no load, and since the sub-steps
    // that complete an increment keep the size that worked, it also bounds their
    // number (at most 1024).
    static constexpr double smallest_resize_factor = 1.0 / 1024;

protected:
    // The state of the motion that a restart file carries after the model records:
    // nothing here. `first` is the word that follows the model records when it is
    // not the end line; a reader that does not find its own records there throws
    // file_error("corrupt restart file").
    virtual void write_motion(std::ostream&) {}
    virtual void read_motion(const std::string& first, std::istream& is);
    // One restart line: the name, the entry count and every entry. The reader takes
    // the rest of the line whose first word `word` it was given: the word must be
    // the name, followed by exactly v.size() entries, all finite numbers.
    static void write_vector_record(std::ostream& os, const char* name, const Vector& v);
    static void read_vector_record(std::istream& is, const std::string& word, const char* name,
                                   Vector& v);
    // Throws file_error naming the analysis that wrote the restart file when
    // `first`, the record after the model records, is the first one of another
    // analysis than `reader` ("an explicit analysis"); returns otherwise.
    static void refuse_other_analysis(const std::string& first, const char* reader);

    bool restart = false;
    int total_increments = 1;
    int increment_nr = 0;          // increments performed, counted from 1
    double dt = 0.0;
    double previous_time = 0.0;    // time at the start of the current increment
    double time = 0.0;             // time at the end of the current increment
    Vector rhs;                    // over the free equations
    double rayleigh_alpha = 0.0;   // mass factor of the damping
    double rayleigh_beta = 0.0;    // stiffness factor of the damping
    bool damping = false;
    StepSelect save;               // increments after which a restart file is written
    int maxresize = 0;
    std::string restart_file;
    std::deque<LoadBlock> load_blocks;

private:
    // Applies `size` of load set `load_set` over dt in as many sub-steps as
    // resizing makes it take, committing each but the last; dt is the same after.
    void complete_increment(DomainType& model, std::ostream& listing, int load_set,
                            double size);
};

}  // namespace KelVane

#endif
