#ifndef KELVANED_EXPLICIT_H
#define KELVANED_EXPLICIT_H

#include <iosfwd>
#include <memory>

#include "incremental_control.h"
#include "kvmatrix.h"

namespace KelVane {
class DiagonalSysMat;
}

// Explicit dynamics: central differences with the lumped (diagonal) mass and
// optional mass-proportional damping. Each increment is one time step with one
// diagonal solve and no iterations; the time step is not checked for stability.
class ExplicitControl : public KelVane::IncrementalControl<MyDomain> {
public:
    ExplicitControl();
    ~ExplicitControl() override;

    // Numbers the dofs, prepares the increments, starts at rest and assembles the
    // lumped mass. Damping with a non-zero Rayleigh beta cannot be taken by the
    // diagonal scheme: the listing says why and init throws KelVane::kelvane_error.
    void init(MyDomain& model, std::ostream& listing) override;
    void increment(MyDomain& model, std::ostream& listing, int load_set, double size) override;
    // Every 100th increment only, and to standard output only.
    void print_increment(std::ostream& listing) override;

    // Null until init.
    const KelVane::DiagonalSysMat* get_mass() const { return mass.get(); }
    // Displacement increment of the last step, over the free equations.
    const KelVane::Vector& get_previous_increment() const { return previous_increment; }

private:
    std::unique_ptr<KelVane::DiagonalSysMat> mass;
    KelVane::Vector previous_increment;
};

#endif
