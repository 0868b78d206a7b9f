#include "control.h"

#include <iostream>
#include <ostream>
#include <sstream>
#include <utility>
#include <vector>

#include "domain.h"
#include "errors.h"
#include "incremental_control.h"
#include "incremental_iterative_control.h"
#include "kvmatrix.h"
#include "output_file.h"
#include "process_values.h"
#include "sysmat.h"

void reset_published_values()
{
    reset_process_values();
    load_bar_increment = 0;
}

void require_heat_time_step(const MyDomain& model, double time_step)
{
    if (time_step > 0.0 || !model.conducts_heat()) return;
    throw KelVane::kelvane_error(
        "heat conduction needs a positive timestep: analyse the model under "
        "\"*nonlinear static\" with a \"timestep\" line");
}

namespace {

bool names_a_block(const KelVane::PostProc& selection)
{
    return selection.displacement || selection.incr_displa || selection.temperature ||
           selection.temp_increment || selection.stress || selection.equivalent;
}

bool names_increments(const KelVane::PostProc& selection)
{
    return selection.all || selection.last || !selection.steps.empty();
}

}  // namespace

bool writes_result_file(const KelVane::Control<MyDomain>& control)
{
    const KelVane::PostProc& selection = control.post_selection();
    return dynamic_cast<const KelVane::IncrementalControl<MyDomain>*>(&control) != nullptr &&
           names_a_block(selection) && names_increments(selection);
}

void report_unwritten_results(const KelVane::Control<MyDomain>& control, std::ostream& listing)
{
    const KelVane::PostProc& selection = control.post_selection();
    if (!names_a_block(selection) && !names_increments(selection)) return;
    std::vector<std::string> notes;
    const auto* incremental = dynamic_cast<const KelVane::IncrementalControl<MyDomain>*>(&control);
    if (incremental == nullptr) {
        notes.push_back("*post: only an incremental analysis (*nonlinear) writes a result file; "
                        "this one writes none");
    } else if (!names_increments(selection)) {
        notes.push_back("*post names no increment (step, all or last): no result file is written");
    } else if (!names_a_block(selection)) {
        notes.push_back("*post names no block (displacement, temperature, stress or equivalent): "
                        "no result file is written");
    } else {
        // A restarted analysis goes on after the increment its restart file holds.
        const int first = incremental->get_increment_number() + 1;
        const int last = incremental->get_total_increments();
        for (const int step : selection.steps) {
            if (step >= first && step <= last) continue;
            std::ostringstream note;
            note << "*post step " << step << " is not written: the analysis runs increments "
                 << first << " to " << last;
            notes.push_back(note.str());
        }
    }
    for (const std::string& note : notes) {
        std::cout << note << std::endl;
        listing << note << '\n';
    }
}

std::string open_analysis_files(KelVane::Control<MyDomain>& control, OutputFile& listing,
                                const std::string& listing_name, OutputFile& result,
                                const std::string& result_name)
{
    const bool with_results = writes_result_file(control);
    control.set_output_files(listing_name, with_results ? result_name : std::string());
    std::vector<RunFile> files = control.files_in_use();
    if (const auto* incremental = dynamic_cast<const KelVane::IncrementalControl<MyDomain>*>(&control))
        for (const std::string& name : incremental->restart_files_to_write())
            files.push_back({"restart file", name, true});
    const std::string clash = run_file_clash(files);
    if (!clash.empty()) return clash;
    std::vector<std::pair<OutputFile*, std::string>> opened{{&listing, listing_name}};
    if (with_results) opened.emplace_back(&result, result_name);
    return OutputFile::open_together(opened);
}

void start_analysis(KelVane::Control<MyDomain>& control, MyDomain& model, std::ostream& listing)
{
    const auto report_notes = [&]() {
        model.report_shape_notes(listing);
        model.report_joined_directions(listing);
        model.report_dropped_loads(listing);
    };
    try {
        control.init(model, listing);
    } catch (...) {
        report_notes();
        throw;
    }
    report_notes();
    report_unwritten_results(control, listing);
}

namespace {

[[noreturn]] void refuse_non_finite_results()
{
    throw KelVane::kelvane_error(
        "the linear solution gives displacements, stresses or reactions that are not "
        "finite numbers");
}

}  // namespace

LinearControl::~LinearControl() = default;

void LinearControl::init(MyDomain& model, std::ostream&)
{
    reset_published_values();
    // A linear analysis has no time step.
    require_heat_time_step(model, 0.0);
    model.refuse_nonlinear_parts();
    // Every load acts on the undeformed model: the reactions, formed after the
    // solution has moved the nodes, balance the same pressures as the solution.
    model.pressure_face = KelVane::PressureFace::undeformed;
    model.setup_dofs();
    model.check_applied_loads({1});
}

bool LinearControl::run(MyDomain& model, std::ostream& listing, std::ostream&, int)
{
    KelVane::Vector rhs(model.n_free, 0.0);
    // An unknown load set 1 fails here, before any matrix is built.
    model.apply_load(1, 1.0);

    KelVane::SparseSysMat K(model.n_free, model.symmetric);
    model.set_profile(K);
    // rhs starts at zero and takes the coupling to prescribed values.
    model.assemble_stiffness(K, rhs);

    KelVane::SystemVector fext;
    model.external_forces(fext);
    rhs += fext.free_part();

    KelVane::Vector solution;
    K.solve(rhs, solution);
    // The listing is read long after the screen is gone: a singular (a mechanism)
    // or nearly singular model says so beside its numbers.
    if (K.zero_pivots() > 0)
        listing << "there are " << K.zero_pivots() << " (almost) zero pivots found!" << '\n';
    if (!KelVane::all_finite(solution)) refuse_non_finite_results();
    // A matrix that is merely ill-conditioned still gives a solution that meets its
    // equations to about the rounding times the condition number. A singular one
    // (a mechanism) was solved with rounding noise or a stand-in in place of its
    // zero pivots: the loads on the mechanism then drive displacements without
    // bound, and the solution misses its equations by the order of the loads.
    if (K.zero_pivots() > 0) {
        KelVane::Vector residual = K * solution;
        residual -= rhs;
        if (!(KelVane::norm(residual) <= 1e-2 * KelVane::norm(rhs)))
            throw KelVane::kelvane_error(
                "the stiffness matrix is singular: the model is a mechanism (a support or "
                "a connection is missing)");
    }
    model.add_increment(solution);
    model.update_elements();

    // A stress that is not finite makes the internal forces of its element, and so
    // the reactions, not finite as well.
    KelVane::SystemVector reactions;
    model.reactions(reactions);
    if (!KelVane::all_finite(reactions.free_part()) ||
        !KelVane::all_finite(reactions.prescribed_part()) ||
        !KelVane::all_finite(reactions.fixed_part()))
        refuse_non_finite_results();

    model.write_output(listing);
    done = true;
    return false;
}
