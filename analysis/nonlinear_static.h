#ifndef KELVANED_NONLINEAR_STATIC_H
#define KELVANED_NONLINEAR_STATIC_H

#include <iosfwd>
#include <memory>

#include "incremental_iterative_control.h"

namespace KelVane {
class SparseSysMat;
}

// Nonlinear statics: every load increment is followed by full or modified Newton
// iterations until the unbalance is small enough. An increment that does not get
// there takes its load and node increments back before it fails, so a retry
// starts from the last committed state.
class NonLinearStaticControl : public MyIncrementalIterativeControl {
public:
    NonLinearStaticControl();
    ~NonLinearStaticControl() override;

    // Numbers the dofs, prepares the increments and creates the tangent matrix.
    void init(MyDomain& model, std::ostream& listing) override;
    void increment(MyDomain& model, std::ostream& listing, int load_set, double size) override;

    // Null until init.
    const KelVane::SparseSysMat* tangent_matrix() const { return tangent.get(); }

private:
    std::unique_ptr<KelVane::SparseSysMat> tangent;
};

#endif
