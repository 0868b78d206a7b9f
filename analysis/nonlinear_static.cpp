#include "nonlinear_static.h"

#include <iomanip>
#include <iostream>

#include "domain.h"
#include "errors.h"
#include "kv_assert.h"
#include "sysmat.h"
#include "ui_seam.h"

NonLinearStaticControl::NonLinearStaticControl()
{
    method = full_newton;
}

NonLinearStaticControl::~NonLinearStaticControl() = default;

void NonLinearStaticControl::init(MyDomain& model, std::ostream&)
{
    // A new analysis starts a new convergence history: its first increment is
    // always marked as new, whatever number the previous analysis ended on.
    load_bar_increment = 0;
    require_heat_time_step(model, dt);
    model.setup_dofs();
    prepare(model);
    tangent = std::make_unique<KelVane::SparseSysMat>(model.n_free, model.symmetric);
    model.set_profile(*tangent);
}

void NonLinearStaticControl::increment(MyDomain& model, std::ostream& listing, int load_set,
                                       double size)
{
    KV_ASSERT(tangent != nullptr);
    KelVane::SystemVector fint;
    KelVane::SystemVector fext;

    iteration = 0;
    classify_equations(model);
    model.apply_load(load_set, size);
    // rhs starts with the coupling to the prescribed changes of this increment.
    model.assemble_stiffness(*tangent, rhs);
    internal_forces(model, fint);
    model.external_forces(fext);
    rhs += fext.free_part();
    rhs -= fint.free_part();
    start_iterations(fint, fext);

    std::cout << "iteration ";
    try {
        bool converged = false;
        do {
            ++iteration;
            if (iteration > 1 && (iteration - 1) % 10 == 0) std::cout << '\n' << "          ";
            std::cout << " " << std::setw(3) << iteration << std::flush;

            // Modified Newton keeps the matrix of the increment's start and with it
            // its factorisation.
            if (iteration > 1 && method == full_newton) model.assemble_tangent(*tangent, rhs);
            solve_update(*tangent, model);

            internal_forces(model, fint);
            model.external_forces(fext);
            rhs = fext.free_part();
            rhs -= fint.free_part();
            note_forces(fint, fext);
            compute_unbalance_norm();

            listing << std::scientific << std::setprecision(4);
            listing << '\n' << "iteration " << iteration << '\n';
            print_norms(listing);

            analysis_yield();
            converged = increment_converged(model);
        } while (!converged && iteration < maxiter);
    } catch (const KelVane::divergence_error&) {
        undo_increment(model, load_set, size);
        throw;
    }

    if (increment_converged(model)) {
        std::cout << std::endl;
        return;
    }
    undo_increment(model, load_set, size);
    throw KelVane::not_converged_error("solution not converged");
}
