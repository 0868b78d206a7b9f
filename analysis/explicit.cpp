#include "explicit.h"

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
#include "lumped_mass.h"
#include "mass_rank.h"
#include "skyline.h"
#include "stability_limit.h"
#include "sysmat.h"

namespace {

// The kind (dof_kind) of every free equation.
std::vector<unsigned char> free_dof_kinds(const MyDomain& model)
{
    std::vector<unsigned char> free, prescribed, fixed;
    model.equation_kinds(free, prescribed, fixed);
    return free;
}

}  // namespace

ExplicitControl::ExplicitControl() = default;

ExplicitControl::~ExplicitControl() = default;

const KelVane::DiagonalSysMat* ExplicitControl::get_mass() const
{
    return mass ? &mass->diagonal() : nullptr;
}

void ExplicitControl::init(MyDomain& model, std::ostream& listing)
{
    // Without a positive step the model would never move, and the analysis would
    // report a motion of zeros.
    if (!(dt > 0.0)) throw KelVane::kelvane_error("explicit analysis needs a positive timestep");
    // Conduction has no mass to lump: the temperatures have no explicit step.
    if (model.conducts_heat())
        throw KelVane::kelvane_error(
            "heat conduction needs an implicit analysis: analyse the model under "
            "\"*nonlinear static\", or under \"*nonlinear dynamic\" with \"newmark\", with a "
            "\"timestep\" line");
    model.setup_dofs();
    const double omega_unstrained =
        restarts() && !model.conducts_heat() ? stability_frequency(model, true, 2.0 / dt) : -1.0;
    // At rest, or where the restart file leaves the motion.
    previous_increment.resize(model.n_free);
    previous_increment.set_zero();
    // Also from the restart file of a static analysis, which holds no motion.
    starts_at_rest = true;
    restart_timestep = 0.0;
    restart_half_gap = 0.0;
    prepare(model);
    carry_motion_to_timestep();

    // A mass is judged against the masses of its own kind of motion: a rotary
    // inertia is a mass times a length squared.
    mass = std::make_unique<LumpedMass>(model, free_dof_kinds(model));
    // The step divides by the lumped mass: a motion without one has no explicit step.
    const std::vector<std::uint32_t> massless = mass->vanishing();
    if (!massless.empty())
        throw KelVane::kelvane_error(
            "explicit analysis: " + massless_motion(model, mass->massless_motion(massless.front())) +
            ", which no explicit step can follow; give the model mass there, or analyse it "
            "with newmark and beta of at least gamma / 2");
    if (!model.conducts_heat()) check_stability_limit(model, omega_unstrained);

    energy_given = -1.0;
    if (!model.conducts_heat()) {
        // What the state holds at the start: its motion, and no more strain energy
        // than its forces times its displacements.
        KelVane::SystemVector fint;
        model.internal_forces(fint);
        energy_given = kinetic_energy(previous_increment) + std::fabs(model.value_work(fint));
    }

    if (damping && rayleigh_beta != 0.0) {
        listing << "In explicit analysis, damping can only be proportional to" << '\n'
                << "the mass matrix, set Rayleigh coefficient Beta to zero" << '\n';
        std::cerr << "error, see output file" << std::endl;
        throw KelVane::kelvane_error("explicit analysis with stiffness-proportional damping");
    }
}

void ExplicitControl::carry_motion_to_timestep()
{
    if (!(restart_timestep > 0.0)) return;
    const double old_step = restart_timestep;
    restart_timestep = 0.0;
    if (std::fabs(old_step - dt) <= 1e-10 * dt) return;
    // The same velocity over the new step.
    previous_increment *= dt / old_step;
    restart_half_gap = 0.5 * (old_step - dt);
}

void ExplicitControl::check_stability_limit(MyDomain& model, double omega_unstrained) const
{
    // Central differences stay stable while dt omega_max <= 2, with mass damping too.
    // The bound of the elements passes most steps at once; a step beyond it is
    // judged by the model's own largest frequency.
    const double omega = std::max(stability_frequency(model, true, 2.0 / dt), omega_unstrained);
    if (!(omega > 0.0) || dt * omega <= 2.0 * (1.0 + stability_rounding)) return;
    std::ostringstream message;
    message.imbue(std::locale::classic());
    message << "explicit analysis: the timestep " << dt << " is above the stability limit "
            << 2.0 / omega << " (2 / " << omega
            << " rad/s, the largest frequency of the model with its lumped masses); "
               "take a smaller timestep";
    throw KelVane::kelvane_error(message.str());
}

void ExplicitControl::print_increment(std::ostream&)
{
    if (increment_nr % 100 == 0)
        std::cout << "increment " << std::setw(6) << increment_nr << std::endl;
}

void ExplicitControl::increment(MyDomain& model, std::ostream&, int load_set, double size)
{
    KV_ASSERT(mass != nullptr);
    KelVane::SystemVector fint;
    KelVane::SystemVector fext;

    model.apply_load(load_set, size);
    model.internal_forces(fint);
    model.external_forces(fext);
    // The prescribed changes of the step work against the forces they meet, which
    // lie between those of the step's start and of its end.
    double prescribed_work =
        energy_given >= 0.0 ? std::fabs(model.prescribed_increment_work(fint)) : 0.0;
    const bool prescribed_change = energy_given >= 0.0 && model.has_prescribed_increments();
    KelVane::Vector step = fext.free_part();
    step -= fint.free_part();
    step *= dt * dt;

    // Delta u(n+1) = [dt^2 M^-1 (fext - fint) + (1 - dt alpha / 2) Delta u(n)]
    //                / (1 + dt alpha / 2)
    KelVane::Vector du;
    mass->solve(step, du);
    if (starts_at_rest) {
        // At rest the central velocity (u(1) - u(-1)) / 2 dt is zero: u(-1) = u(1),
        // and the step u(1) = 2 u(0) - u(-1) + dt^2 a(0) becomes
        // u(1) - u(0) = dt^2 a(0) / 2, half a step of the motion at a(0). The
        // previous increment u(0) - u(-1) that gives it is -dt^2 a(0) / 2, with
        // mass damping too, whose force vanishes with the velocity.
        previous_increment = du;
        previous_increment *= -0.5;
        starts_at_rest = false;
    }
    if (restart_half_gap != 0.0) {
        // The velocity of the restart file's last step is that of half the old step
        // before the restart, the new step's that of half the new step after it: it
        // changes over the difference of the two halves as well (du is dt^2 a).
        KelVane::Vector change = du;
        change *= restart_half_gap / dt;
        if (damping) {
            KelVane::Vector damped = previous_increment;
            damped *= rayleigh_alpha * restart_half_gap;
            change -= damped;
        }
        previous_increment += change;
        restart_half_gap = 0.0;
    }
    if (damping) previous_increment *= 1.0 - 0.5 * dt * rayleigh_alpha;
    du += previous_increment;
    if (damping) du *= 1.0 / (1.0 + 0.5 * dt * rayleigh_alpha);
    // Beyond the stability limit the motion grows until it is no number at all;
    // the forces at the start of the step show a state that overflowed in its
    // stresses first.
    if (!KelVane::all_finite(step) || !KelVane::all_finite(du)) stop_not_finite();

    previous_increment = du;
    model.add_increment(du);
    model.update_elements();
    if (energy_given >= 0.0) {
        if (prescribed_change) {
            KelVane::SystemVector end_forces;
            model.internal_forces(end_forces);
            prescribed_work = std::max(prescribed_work,
                                       std::fabs(model.prescribed_increment_work(end_forces)));
        }
        // Beyond the stability limit the highest mode grows from rounding by a
        // fixed factor every step: long before the numbers overflow, the motion
        // holds far more energy than the loads ever gave it.
        energy_given += prescribed_work + std::fabs(KelVane::dot(fext.free_part(), du));
        if (kinetic_energy(du) > 1e3 * energy_given) stop_unstable();
    }
    // The increments that write results must not write numbers that are none.
    if (this->post.selects(increment_nr, total_increments) || increment_nr == total_increments) {
        model.internal_forces(fint);
        if (!KelVane::all_finite(fint.free_part())) stop_not_finite();
    }
}

void ExplicitControl::stop_not_finite() const
{
    std::ostringstream message;
    message.imbue(std::locale::classic());
    message << "explicit analysis: the state at increment " << increment_nr << " (time " << time
            << ") is not finite; a smaller timestep may cure this";
    throw KelVane::kelvane_error(message.str());
}

void ExplicitControl::stop_unstable() const
{
    std::ostringstream message;
    message.imbue(std::locale::classic());
    message << "explicit analysis: the motion at increment " << increment_nr << " (time " << time
            << ") holds more than 1000 times the energy the loads gave the model: the "
               "timestep "
            << dt
            << " is above the stability limit (for a bar of elements of length L: "
               "L / sqrt(E / density)); take a smaller timestep";
    throw KelVane::kelvane_error(message.str());
}

double ExplicitControl::kinetic_energy(const KelVane::Vector& du) const
{
    return 0.5 * mass->product(du) / (dt * dt);
}

void ExplicitControl::write_motion(std::ostream& os)
{
    write_vector_record(os, "previous_increment", previous_increment);
    KelVane::Vector step(1);
    step(1) = dt;
    write_vector_record(os, "timestep", step);
}

void ExplicitControl::read_motion(const std::string& first, std::istream& is)
{
    read_vector_record(is, first, "previous_increment", previous_increment);
    starts_at_rest = false;
    // The step of that increment. Files without it were written by runs at one
    // step from the start, whose step is their time over their increments.
    restart_timestep = increment_nr > 0 ? time / increment_nr : 0.0;
    is >> std::ws;
    if (is.peek() == 't') {
        std::string word;
        is >> word;
        KelVane::Vector step(1);
        read_vector_record(is, word, "timestep", step);
        if (!(step(1) > 0.0)) throw KelVane::file_error("corrupt restart file");
        restart_timestep = step(1);
    }
}
