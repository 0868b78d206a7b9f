#ifndef KELVANED_LUMPED_MASS_H
#define KELVANED_LUMPED_MASS_H

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "kvmatrix.h"

class MyDomain;

namespace KelVane {
class DiagonalSysMat;
}

// The lumped mass of the model on its free equations, as it is on the node dofs.
// Each element lumps its mass along its own directions (a beam and a plane element
// in x and y, a point mass on the dofs it names, a bar alike in x, y and z). Where
// a node's dofs lie along those directions, as they do unless a 3-D bar turned
// them, the mass is a diagonal. At a node whose dofs are turned, a mass that is
// not the same in every direction (a beam's, none in z) couples the node's dofs: a
// small symmetric block over them, which the diagonal alone would lose, so that
// the answers would depend on which element asked for the node's directions first.
class LumpedMass {
public:
    // Assembles the lumped mass of the model (MyDomain::assemble_mass and
    // MyDomain::assemble_lumped_couplings). kinds: the kind (dof_kind) of every
    // free equation; a mass is judged against the masses of its own kind.
    LumpedMass(MyDomain& model, const std::vector<unsigned char>& kinds);
    ~LumpedMass();
    LumpedMass(const LumpedMass&) = delete;
    LumpedMass& operator=(const LumpedMass&) = delete;

    // The free equations (from 1, in order) at which the mass vanishes: an element
    // of the diagonal that DiagonalSysMat::vanishing_elements takes for zero, or a
    // pivot of a block below 1e-12 of the largest diagonal element of its kind (a
    // node whose dofs are turned out of the plane of its only mass). Empty once the
    // mass has been solved with.
    std::vector<std::uint32_t> vanishing() const;
    // A motion without mass through free equation `equation`, one of those that
    // vanishing gives: the equations (from 1) it moves and how much, the equation
    // itself by 1. Only that equation on the diagonal; on a block, the motion of
    // the block's dofs that its mass does not see.
    std::vector<std::pair<std::uint32_t, double>> massless_motion(std::uint32_t equation) const;
    // x = M^-1 b. The first call inverts the diagonal and the blocks.
    void solve(const KelVane::Vector& b, KelVane::Vector& x);
    // v' M v.
    double product(const KelVane::Vector& v) const;
    // A diagonal D (over the free equations) no larger than M: M - D is positive
    // semi-definite, so that frequencies with D are never below those with M. The
    // diagonal of M where no block couples it; on a block B, c diag(B) with c the
    // smallest eigenvalue of B scaled to a unit diagonal (from below); 0 on a block
    // that is not positive definite.
    KelVane::Vector diagonal_below() const;
    // The diagonal part.
    const KelVane::DiagonalSysMat& diagonal() const { return *diagonal_mass; }
    bool has_blocks() const { return !blocks.empty(); }

private:
    // The equations (from 1) of a group of dofs that the mass couples, and the
    // mass over them, row by row; once solved with, its inverse.
    struct Block {
        std::vector<std::uint32_t> equations;
        std::vector<double> mass;
        KelVane::Matrix inverse;
    };
    // Rows `rows` and columns `columns` of a block's mass (counted from 0).
    static KelVane::Matrix part(const Block& block, const std::vector<std::size_t>& rows,
                                const std::vector<std::size_t>& columns);
    // Entry (i, j) of a block, counted from 0.
    static double& at(Block& block, std::size_t i, std::size_t j);
    static double at(const Block& block, std::size_t i, std::size_t j);

    std::unique_ptr<KelVane::DiagonalSysMat> diagonal_mass;
    std::vector<unsigned char> kinds;
    std::vector<Block> blocks;
    bool inverted = false;
};

#endif
