#ifndef KELVANED_EXPLICIT_H
#define KELVANED_EXPLICIT_H

#include <iosfwd>
#include <memory>
#include <string>

#include "incremental_control.h"
#include "kvmatrix.h"

class LumpedMass;

namespace KelVane {
class DiagonalSysMat;
}

// Explicit dynamics: central differences with the lumped mass (LumpedMass) and
// optional mass-proportional damping. Each increment is one time step with one
// solve with the lumped mass and no iterations. Before the first step, init refuses a time
// step above the stability limit 2 / omega_max of a model without heat conduction
// (omega_max the model's largest frequency where the bound of its elements does
// not pass the step, see stability_frequency). A step beyond the limit that slips
// past it shows in the
// motion: a state that is no longer finite, or (in a model without heat
// conduction) a kinetic energy far above all the energy the model was given, stops
// the analysis with a KelVane::kelvane_error naming the increment. Restart files
// carry the previous increment and its time step; a restart with another step
// carries the velocity over to it, so that the motion goes on as in one run. An
// analysis at rest starts with the method's own first step, half of
// dt^2 M^-1 (fext - fint).
class ExplicitControl : public KelVane::IncrementalControl<MyDomain> {
public:
    ExplicitControl();
    ~ExplicitControl() override;

    // Numbers the dofs, prepares the increments, starts at rest and assembles the
    // lumped mass. A time step above the stability limit by more than rounding
    // throws KelVane::kelvane_error naming the step and the limit. Damping with a
    // non-zero Rayleigh beta cannot be taken by the diagonal scheme: the listing
    // says why and init throws KelVane::kelvane_error.
    void init(MyDomain& model, std::ostream& listing) override;
    void increment(MyDomain& model, std::ostream& listing, int load_set, double size) override;
    // Every 100th increment only, and to standard output only.
    void print_increment(std::ostream& listing) override;

    // The diagonal of the lumped mass; null until init.
    const KelVane::DiagonalSysMat* get_mass() const;
    // Displacement increment of the last step, over the free equations.
    const KelVane::Vector& get_previous_increment() const { return previous_increment; }

protected:
    // The "previous_increment" and "timestep" lines after the model records (files
    // without the "timestep" line are read too).
    void write_motion(std::ostream& os) override;
    void read_motion(const std::string& first, std::istream& is) override;

private:
    // omega_unstrained: the frequency of the model before a restart file was read (its
    // yielded points unload elastically, stiffer than their tangent), else -1.
    void check_stability_limit(MyDomain& model, double omega_unstrained) const;
    // After a restart with another time step than that of the file: the previous
    // increment scaled to the new step and restart_half_gap set.
    void carry_motion_to_timestep();
    [[noreturn]] void stop_not_finite() const;
    [[noreturn]] void stop_unstable() const;
    // Kinetic energy of a step's displacement increment: 1/2 du' M du / dt^2.
    double kinetic_energy(const KelVane::Vector& du) const;

    std::unique_ptr<LumpedMass> mass;
    KelVane::Vector previous_increment;
    // Until the first step of an analysis that starts at rest (without a restart
    // file, or from that of a static analysis): that step takes the previous
    // increment that a velocity of zero implies.
    bool starts_at_rest = false;
    // The step of the restart file's previous increment (0: none read), and half the
    // old step less half the new, over which the first step after the restart
    // still accelerates the motion.
    double restart_timestep = 0.0;
    double restart_half_gap = 0.0;
    // The energy the model holds at the start and every step's work of the loads
    // and prescribed changes, each taken positive: no stable motion has more
    // kinetic energy than that. Negative where no such bound is kept (heat
    // conduction, whose flows are no work).
    double energy_given = -1.0;
};

#endif
