#ifndef KELVANED_EXPLICIT_H
#define KELVANED_EXPLICIT_H

#include <iosfwd>
#include <memory>
#include <string>

#include "incremental_control.h"
#include "kvmatrix.h"

namespace KelVane {
class DiagonalSysMat;
}

// Explicit dynamics: central differences with the lumped (diagonal) mass and
// optional mass-proportional damping. Each increment is one time step with one
// diagonal solve and no iterations. The time step is not checked for stability
// beforehand, but a state that is no longer finite stops the analysis with a
// KelVane::kelvane_error naming the increment. Restart files carry the previous
// increment.
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

protected:
    // The "previous_increment" line after the model records.
    void write_motion(std::ostream& os) override;
    void read_motion(const std::string& first, std::istream& is) override;

private:
    [[noreturn]] void stop_not_finite() const;

    std::unique_ptr<KelVane::DiagonalSysMat> mass;
    KelVane::Vector previous_increment;
};

#endif
