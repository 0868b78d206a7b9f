#ifndef KELVANED_EIGEN_CONTROL_H
#define KELVANED_EIGEN_CONTROL_H

#include <iosfwd>
#include <memory>
#include <vector>

#include "control.h"
#include "eigen.h"

// Eigenfrequency analysis: the lowest natural frequencies and mode shapes of
// K x = lambda M x (consistent mass, lambda = omega^2) by subspace iteration, or by
// one dense solution when every equation with mass is asked for. `init` computes
// every mode; each call of `run` then reports one of them ("not found" for a mode
// without a real frequency) and puts its shape into the node increments, where the
// drawing finds it.
class EigenControl : public KelVane::Control<MyDomain> {
public:
    EigenControl() = default;
    ~EigenControl() override;

    // Numbers the dofs, assembles K and M and solves. A model that is not symmetric
    // is refused with a KelVane::kelvane_error before any matrix is built, a model
    // without mass and a shift that leaves nothing of the stiffness after assembly.
    // A request for more modes than the mass matrix has rank (at most the equations
    // with mass) is cut to that number, with a line to the listing and the screen.
    void init(MyDomain& model, std::ostream& listing) override;
    // Reports at most `max` modes (all that remain when max < 0); false once the
    // last mode has been reported.
    bool run(MyDomain& model, std::ostream& listing, std::ostream& result, int max) override;

    // Number of modes wanted.
    void set_frequencies(int number) { frequencies = number; }
    int get_frequencies() const { return frequencies; }
    // A frequency in hertz; the stiffness is shifted by (2 pi shift)^2, signed, times M.
    // The reader takes none below 0: a negative shift would list the modes nearest to
    // its magnitude as if they were the lowest.
    void set_shift(double frequency) { shift = frequency; }
    double get_shift() const { return shift; }

    // The modes found by `init`, in ascending order of eigenvalue.
    const std::vector<std::unique_ptr<Mode>>& get_modes() const { return modes; }
    // Index of the next mode `run` reports.
    unsigned get_current_mode() const { return current_mode; }

private:
    int frequencies = 5;
    std::vector<std::unique_ptr<Mode>> modes;
    unsigned current_mode = 0;
    double shift = 0.0;
};

#endif
