#include "control.h"

#include "domain.h"
#include "kvmatrix.h"
#include "sysmat.h"

LinearControl::~LinearControl() = default;

void LinearControl::init(MyDomain& model, std::ostream&)
{
    model.setup_dofs();
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
    model.add_increment(solution);
    model.update_elements();

    model.write_output(listing);
    done = true;
    return false;
}
