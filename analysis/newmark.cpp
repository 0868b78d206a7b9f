#include "newmark.h"

#include <algorithm>
#include <cmath>

#include <iomanip>
#include <iostream>
#include <locale>
#include <sstream>
#include <vector>

#include "domain.h"
#include "errors.h"
#include "kv_assert.h"
#include "mass_rank.h"
#include "stability_limit.h"
#include "sysmat.h"
#include "transmat.h"
#include "ui_seam.h"

NonLinearNewmarkControl::NonLinearNewmarkControl()
{
    method = full_newton;
}

NonLinearNewmarkControl::~NonLinearNewmarkControl() = default;

void NonLinearNewmarkControl::init(MyDomain& model, std::ostream&)
{
    // A new analysis starts a new convergence history.
    load_bar_increment = 0;
    // The constants a0 ... a7 divide by dt and beta; without a positive value of
    // both every step would produce numbers that are not numbers.
    if (!(dt > 0.0)) throw KelVane::kelvane_error("Newmark analysis needs a positive timestep");
    if (!(beta > 0.0)) throw KelVane::kelvane_error("Newmark analysis needs a positive beta");

    model.setup_dofs();
    // With temperatures too: the check takes the motion, which they drive.
    const bool bounded = beta < 0.5 * gamma;
    const double omega_unstrained =
        bounded && restarts() ? stability_frequency(model, false, allowed_frequency()) : -1.0;
    // The motion starts at rest, or where the restart file leaves it; the initial
    // acceleration is not computed from the loads at the start.
    velocity.resize(model.n_free);
    velocity.set_zero();
    acceleration.resize(model.n_free);
    acceleration.set_zero();
    prescribed_velocity.resize(model.n_prescribed);
    prescribed_velocity.set_zero();
    prescribed_acceleration.resize(model.n_prescribed);
    prescribed_acceleration.set_zero();
    prepare(model);

    stiffness = std::make_unique<KelVane::SparseSysMat>(model.n_free, model.symmetric);
    model.set_profile(*stiffness);
    mass = std::make_unique<KelVane::SparseSysMat>(model.n_free, true);
    model.assemble_mass(*mass, false);
    if (bounded) check_stability_limit(model, omega_unstrained);
    // Its entries come from the mass and the stiffness when it is formed.
    if (damping)
        damping_matrix = std::make_unique<KelVane::SparseSysMat>(model.n_free, model.symmetric);
}

void NonLinearNewmarkControl::check_stability_limit(MyDomain& model,
                                                    double omega_unstrained) const
{
    // The bound of the elements passes most steps at once; a step beyond it is
    // judged by the model's own largest frequency.
    const double omega =
        std::max(stability_frequency(model, false, allowed_frequency()), omega_unstrained);
    const double limit = 1.0 / (omega * std::sqrt(0.5 * gamma - beta));
    if (!(omega > 0.0) || dt <= limit * (1.0 + stability_rounding)) return;
    std::ostringstream message;
    message.imbue(std::locale::classic());
    // The acceleration of a motion without mass grows at every step, whatever the
    // step, until it is no number.
    if (std::isinf(omega)) {
        KelVane::SparseSysMat K(model.n_free, model.symmetric);
        KelVane::Vector unused(model.n_free, 0.0);
        model.assemble_tangent(K, unused);
        std::vector<unsigned char> kinds, prescribed_kinds, fixed_kinds;
        model.equation_kinds(kinds, prescribed_kinds, fixed_kinds);
        message << "Newmark analysis: with beta " << beta << " below gamma / 2 (gamma " << gamma
                << ") no timestep is stable: "
                << massless_motion(model, equation_without_mass(K, *mass, &kinds))
                << "; give the model mass there, or take beta of at least gamma / 2";
        throw KelVane::kelvane_error(message.str());
    }
    message << "Newmark analysis: with beta " << beta << " below gamma / 2 (gamma " << gamma
            << ") the timestep " << dt << " is above the stability limit " << limit
            << " (1 / (omega sqrt(gamma / 2 - beta)), omega = " << omega
            << " rad/s, the largest frequency of the model with its masses); take a "
               "smaller timestep, or beta of at least gamma / 2";
    throw KelVane::kelvane_error(message.str());
}

double NonLinearNewmarkControl::allowed_frequency() const
{
    return 1.0 / (dt * std::sqrt(0.5 * gamma - beta));
}

void NonLinearNewmarkControl::compute_constants()
{
    a[0] = 1.0 / (beta * dt * dt);
    a[1] = gamma / (beta * dt);
    a[2] = 1.0 / (beta * dt);
    a[3] = 1.0 / (2.0 * beta) - 1.0;
    a[4] = gamma / beta - 1.0;
    a[5] = (gamma / beta - 2.0) * dt / 2.0;
    a[6] = (1.0 - gamma) * dt;
    a[7] = gamma * dt;
}

void NonLinearNewmarkControl::form_effective_stiffness()
{
    if (damping) {
        KV_ASSERT(damping_matrix != nullptr);
        damping_matrix->zero();
        if (rayleigh_alpha != 0.0) damping_matrix->add(*mass, rayleigh_alpha);
        if (rayleigh_beta != 0.0) damping_matrix->add(*stiffness, rayleigh_beta);
        stiffness->add(*damping_matrix, a[1]);
    }
    stiffness->add(*mass, a[0]);
}

void NonLinearNewmarkControl::increment(MyDomain& model, std::ostream& listing, int load_set,
                                        double size)
{
    KV_ASSERT(stiffness != nullptr && mass != nullptr);
    KelVane::SystemVector fint;
    KelVane::SystemVector fext;

    iteration = 0;
    classify_equations(model);
    compute_constants();
    model.apply_load(load_set, size);
    model.external_forces(fext);
    // rhs starts with the coupling to the prescribed changes of this step.
    model.assemble_stiffness(*stiffness, rhs);
    form_effective_stiffness();

    // Unbalance of the predictor Delta u = 0: the forces of the step plus the
    // inertia (and damping) of the motion so far.
    const bool supports_move = prescribed_motion(model);
    internal_forces(model, fint);
    rhs += fext.free_part();
    rhs -= fint.free_part();
    if (supports_move) rhs -= support_forces;
    rhs += (*mass) * (a[2] * velocity + a[3] * acceleration);
    if (damping) rhs += (*damping_matrix) * (a[4] * velocity + a[5] * acceleration);
    start_iterations(fint, fext);

    std::cout << "iteration ";
    KelVane::Vector du;
    bool converged = false;
    try {
        do {
            ++iteration;
            // Modified Newton keeps the effective stiffness of the step's start and its
            // factorisation; re-forming it is the one place that yields to the event loop.
            if (iteration > 1 && method == full_newton) {
                model.assemble_tangent(*stiffness, rhs);
                form_effective_stiffness();
                analysis_yield();
            }
            solve_update(*stiffness, model);

            model.get_increments(du);
            internal_forces(model, fint);
            model.external_forces(fext);
            const KelVane::Vector new_acceleration =
                a[0] * du - a[2] * velocity - a[3] * acceleration;
            // The inertia and damping forces of the iterate are forces the unbalance
            // is a difference of, like the internal forces.
            const KelVane::Vector inertia = (*mass) * new_acceleration;
            rhs = fext.free_part();
            rhs -= fint.free_part();
            rhs -= inertia;
            if (supports_move) rhs -= support_forces;
            if (damping) {
                const KelVane::Vector new_velocity =
                    a[1] * du - a[4] * velocity - a[5] * acceleration;
                const KelVane::Vector damping_forces = (*damping_matrix) * new_velocity;
                rhs -= damping_forces;
                note_forces(fint, fext, &inertia, &damping_forces);
            } else {
                note_forces(fint, fext, &inertia);
            }
            compute_unbalance_norm();

            if (iteration > 1 && (iteration - 1) % 10 == 0) std::cout << '\n' << "          ";
            std::cout << " " << std::setw(3) << iteration << std::flush;

            listing << std::scientific << std::setprecision(4);
            listing << '\n' << "iteration " << iteration << '\n';
            print_norms(listing);
            converged = increment_converged(model);
        } while (!converged && iteration < maxiter);
    } catch (const KelVane::divergence_error&) {
        undo_increment(model, load_set, size);
        throw;
    }
    // A step that did not reach equilibrium is not a state of the motion: it is
    // taken back (the velocity and acceleration are still those of its start).
    if (!converged) {
        undo_increment(model, load_set, size);
        throw KelVane::not_converged_error("solution not converged");
    }

    const KelVane::Vector old_acceleration = acceleration;
    acceleration = a[0] * du - a[2] * velocity - a[3] * old_acceleration;
    velocity += a[6] * old_acceleration + a[7] * acceleration;
    if (supports_move) {
        prescribed_acceleration = step_prescribed_acceleration;
        prescribed_velocity = step_prescribed_velocity;
    }
    std::cout << std::endl;
}

bool NonLinearNewmarkControl::prescribed_motion(MyDomain& model)
{
    if (model.n_prescribed == 0) return false;
    KelVane::Vector change(model.n_prescribed);
    change.set_zero();
    for (const MyNode* node : model.nodes)
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            const KelVane::itincDof& dof = node->get_dof(i);
            if (dof.is_prescribed()) change(dof.get_global_nr()) = dof.get_increment();
        }
    if (KelVane::norm(change) == 0.0 && KelVane::norm(prescribed_velocity) == 0.0 &&
        KelVane::norm(prescribed_acceleration) == 0.0)
        return false;
    // The Newmark update of the prescribed dofs, as of the free ones.
    step_prescribed_acceleration =
        a[0] * change - a[2] * prescribed_velocity - a[3] * prescribed_acceleration;
    step_prescribed_velocity =
        a[1] * change - a[4] * prescribed_velocity - a[5] * prescribed_acceleration;

    // M_fp a_p + C_fp v_p with C = alpha M + beta K, element by element over the
    // elements that have prescribed dofs.
    support_forces.resize(model.n_free);
    support_forces.set_zero();
    const bool stiffness_damping = damping && rayleigh_beta != 0.0;
    for (FiniteElement* element : model.elements) {
        const std::uint32_t dofs = element->get_nr_node_dofs();
        bool prescribed = false;
        for (std::uint32_t i = 0; i < dofs; ++i)
            prescribed = prescribed || element->get_dof(i)->is_prescribed();
        if (!prescribed) continue;
        const KelVane::TransformationMatrix& T = element->get_transformation();
        const bool identity = T.get_kind() == KelVane::TransformationMatrix::identity;
        const KelVane::Matrix element_mass = element->mass_matrix(false);
        const KelVane::Matrix M = identity ? element_mass : congruence(T, element_mass);
        KelVane::Matrix K;
        if (stiffness_damping) {
            KelVane::Vector unused;
            const KelVane::Matrix element_stiffness = element->stiffness_matrix(unused);
            K = identity ? element_stiffness : congruence(T, element_stiffness);
        }
        for (std::uint32_t i = 0; i < dofs; ++i) {
            const KelVane::Dof& row = *element->get_dof(i);
            if (!row.is_free()) continue;
            double force = 0.0;
            for (std::uint32_t j = 0; j < dofs; ++j) {
                const KelVane::Dof& column = *element->get_dof(j);
                if (!column.is_prescribed()) continue;
                const std::uint32_t p = column.get_global_nr();
                double inertia = step_prescribed_acceleration(p);
                if (damping) inertia += rayleigh_alpha * step_prescribed_velocity(p);
                force += M(i + 1, j + 1) * inertia;
                if (stiffness_damping)
                    force += rayleigh_beta * K(i + 1, j + 1) * step_prescribed_velocity(p);
            }
            support_forces(row.get_global_nr()) += force;
        }
    }
    return true;
}

void NonLinearNewmarkControl::write_motion(std::ostream& os)
{
    write_vector_record(os, "velocity", velocity);
    write_vector_record(os, "acceleration", acceleration);
    // Supports that move carry their motion on too; a file without these lines
    // leaves them at rest.
    if (KelVane::norm(prescribed_velocity) != 0.0 ||
        KelVane::norm(prescribed_acceleration) != 0.0) {
        write_vector_record(os, "prescribed_velocity", prescribed_velocity);
        write_vector_record(os, "prescribed_acceleration", prescribed_acceleration);
    }
}

void NonLinearNewmarkControl::read_motion(const std::string& first, std::istream& is)
{
    read_vector_record(is, first, "velocity", velocity);
    std::string word;
    is >> word;
    read_vector_record(is, word, "acceleration", acceleration);
    is >> std::ws;
    if (is.peek() == 'p') {
        is >> word;
        read_vector_record(is, word, "prescribed_velocity", prescribed_velocity);
        is >> word;
        read_vector_record(is, word, "prescribed_acceleration", prescribed_acceleration);
    }
}
