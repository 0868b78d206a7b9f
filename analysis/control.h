#ifndef KELVANED_CONTROL_H
#define KELVANED_CONTROL_H

#include <iosfwd>
#include <string>
#include <vector>

#include "model_loader.h"
#include "post_selection.h"

class MyDomain;
class OutputFile;

namespace KelVane {

// An analysis procedure. The front end calls `init` once when the analysis starts,
// then `run` with a limit of one step until it returns false.
template <class DomainType>
class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    // The whole analysis at once: init, then run without a step limit.
    virtual bool analyse(DomainType& model, std::ostream& listing, std::ostream& result)
    {
        init(model, listing);
        return run(model, listing, result, -1);
    }
    virtual void init(DomainType& model, std::ostream& listing) = 0;
    // Performs at most `max` steps (no limit when max < 0); true while work remains.
    virtual bool run(DomainType& model, std::ostream& listing, std::ostream& result,
                     int max) = 0;

    // Set once a step has been performed.
    bool is_done() const { return done; }

    // Which result-file blocks are written, and for which steps.
    PostProc& post_selection() { return post; }
    const PostProc& post_selection() const { return post; }

    // Base of the restart file names (the bare model name).
    const std::string& get_base_name() const { return base_name; }
    void set_base_name(const std::string& name) { base_name = name; }
    // The model file the analysis was read from: no file that the analysis
    // writes may be it. Empty when unknown.
    const std::string& get_model_file() const { return model_file; }
    void set_model_file(const std::string& name) { model_file = name; }
    // The listing and the result file of the run (empty when none is written):
    // no file that the analysis writes later may be either.
    void set_output_files(const std::string& listing, const std::string& result)
    {
        listing_file = listing;
        result_file = result;
    }

    // The files of the run that are known, those it reads first: the model file,
    // then the listing and the result file. Unknown ones are left out.
    virtual std::vector<RunFile> files_in_use() const
    {
        std::vector<RunFile> files;
        if (!model_file.empty()) files.push_back({"model file", model_file, false});
        if (!listing_file.empty()) files.push_back({"listing", listing_file, true});
        if (!result_file.empty()) files.push_back({"result file", result_file, true});
        return files;
    }

protected:
    bool done = false;
    PostProc post;
    std::string base_name;
    std::string model_file;
    std::string listing_file;
    std::string result_file;
};

}  // namespace KelVane

// Every value the analysis publishes to the whole process (the time step, the
// result mode, the point counter, the last increment shown on the convergence
// bar) back at its default: each model load and each analysis start begins from
// them, so nothing of one run reaches the next.
void reset_published_values();

// Heat conduction elements scale their conduction by the time step of the
// increment; without a positive one every free temperature is lost. Throws a
// KelVane::kelvane_error that says what to add when the model conducts heat and
// time_step is not positive.
void require_heat_time_step(const MyDomain& model, double time_step);

// Whether the analysis writes a result file: only an incremental analysis does,
// and only when its *post selection names a block and some increments. Otherwise
// the result file is not opened, and one an earlier run wrote stays as it is.
bool writes_result_file(const KelVane::Control<MyDomain>& control);

// Says in the log and in the listing what the *post selection asks for that the
// analysis does not write: a selection under an analysis that writes no result
// file, blocks without increments, increments without blocks, and step numbers
// beyond the last increment. Called once the analysis has been initialised.
void report_unwritten_results(const KelVane::Control<MyDomain>& control, std::ostream& listing);

// Opens the listing `listing_name` and, when the analysis writes one
// (writes_result_file), the result file `result_name` of a run of `control`, and
// tells the control both names. Refused before anything is opened when two files
// of the run are one file (run_file_clash): the model file, a restart file it
// reads, the listing, the result file and every restart file the run will save.
// Both files are opened before either is emptied (OutputFile::open_together), so
// that a refused start changes no file. Returns the refusal; empty when the files
// are open.
std::string open_analysis_files(KelVane::Control<MyDomain>& control, OutputFile& listing,
                                const std::string& listing_name, OutputFile& result,
                                const std::string& result_name);

// Starts an analysis: the control's init, then report_unwritten_results. The
// notes of the shape check (MyDomain::report_shape_notes), on directions the nodes
// joined (MyDomain::report_joined_directions) and on load parts dropped
// (MyDomain::report_dropped_loads) come after init, and before
// its error when init throws, which then goes on.
void start_analysis(KelVane::Control<MyDomain>& control, MyDomain& model, std::ostream& listing);

// Linear statics: load set 1 at factor 1, one solve, the listing. The solution
// stays in the nodes' current increments (nothing is committed).
class LinearControl : public KelVane::Control<MyDomain> {
public:
    LinearControl() = default;
    ~LinearControl() override;

    void init(MyDomain& model, std::ostream& listing) override;
    // Does the whole analysis whatever max is; always returns false.
    bool run(MyDomain& model, std::ostream& listing, std::ostream& result, int max) override;
};

#endif
