#ifndef KELVANED_EIGEN_H
#define KELVANED_EIGEN_H

#include <cstdint>
#include <functional>

#include "kvmatrix.h"

// A row index with a value, ordered by value; used to pick the start vectors of the
// subspace iteration at the rows with the smallest stiffness-to-mass ratios.
struct SizeDoublePair {
    std::uint32_t index = 0;
    double value = 0.0;

    SizeDoublePair() = default;
    SizeDoublePair(std::uint32_t i, double v) : index(i), value(v) {}
    bool operator<(const SizeDoublePair& other) const { return value < other.value; }
};

// One eigenpair of the eigenfrequency analysis: eigenvalue (omega squared) and mode
// shape over the free equations.
struct Mode {
    double eigenvalue = 0.0;
    KelVane::Vector shape;

    Mode() = default;
    Mode(double lambda, const KelVane::Vector& mode_shape) : eigenvalue(lambda), shape(mode_shape) {}
};

namespace KelVane {

class SparseSysMat;

// True when A is square and every pair i > j satisfies
// |A(i,j) - A(j,i)| / (|A(i,i)| + |A(j,j)|) <= 1e-8; a pair with equal off-diagonal
// entries over two zero diagonal entries counts as symmetric.
bool symmetric(const Matrix& A);

// The plane rotation (c, s) with s*a + c*b = 0, that is [c -s; s c] [a; b] = [r; 0].
void eigen_givens(double a, double b, double& c, double& s);

// Reduces the symmetric A in place to tridiagonal form by Householder reflections;
// V, when given (n x n), is multiplied from the right by the reflections.
void eigen_householder(Matrix& A, Matrix* Vp = nullptr);

// One implicit QR step with Wilkinson shift on the unreduced block [p, q) of the
// symmetric tridiagonal T; the rotations are also applied to the columns of V.
void eigen_tridiagonal_QR_step(Matrix& T, unsigned p, unsigned q, Matrix* Vp = nullptr);

// Diagonalises the symmetric A in place (eigenvalues on the diagonal, unordered);
// V, when given, becomes n x n and receives the eigenvectors as columns.
void eigen_symmetric(Matrix& A, Matrix* Vp = nullptr);

// Solves A x = lambda B x for symmetric A and symmetric positive definite B. lambda
// holds the eigenvalues (unordered); V, when given, the B-orthonormal eigenvectors as
// columns. A is overwritten; B is not changed.
void eigen_generalized(Matrix& A, const Matrix& B, Vector& lambda, Matrix* Vp = nullptr);

// Lowest eigenpairs of K x = lambda M x by subspace iteration. X is n x p: its p
// columns are the iteration block. When make_start is set the block is made here:
// the diagonal of M, unit vectors at the rows of the smallest ratios K(i,i) / M(i,i),
// and `requested` mixed vectors (the diagonal of M scaled by a fixed pseudo-random
// sequence) that reach dofs the unit vectors do not couple with; otherwise X is
// taken as given. Every pass solves K Z = M X, makes Z M-orthonormal and solves the
// projected problem densely. On return lambda (p values, unordered) and the columns
// of X (M-orthonormal) hold the approximations of the last projected solution. The
// passes end when the projected stiffness is diagonal with its Ritz values settled,
// when the `requested` eigenvalues of smallest magnitude (all p when 0) have settled
// (changed by less than 1e-10 relative from one pass to the next, at a rate that
// leaves less than that still to come), or after max_passes passes. The number of
// passes goes to standard output with "converged", or with "not converged" when the
// pass limit ended the loop or a requested pair leaves a residual
// ||K x - lambda M x|| above 1e-2 ||K x||; the result says the same (true when
// converged). A block wider than the rank of M (elements whose mass is integrated
// at fewer points than they have nodes) keeps only as many columns as M sees
// independent motions; the others come back with an infinite eigenvalue and a zero
// column. each_pass, when given, is called at the start of every pass (the
// caller's event loop runs there).
bool subspace_iteration(SparseSysMat& K, SparseSysMat& M, Vector& lambda, Matrix& X,
                        bool make_start, unsigned requested = 0, unsigned max_passes = 100,
                        const std::function<void()>& each_pass = nullptr);

// Every eigenpair of K x = lambda M x of finite lambda, by a dense solution. The
// equations without mass (an empty row of the positive semi-definite M) carry no
// inertia: their equations K_sm x_m + K_ss x_s = 0 hold in every mode, so they are
// condensed out of K and the generalized problem of the equations with mass is
// solved densely. Motions of those equations that the mass matrix does not see (a
// singular M) are condensed out in the same way. lambda receives one value per
// independent motion with mass, the rank of M (unordered), and X (rows of K x that
// count, one column per value) the M-orthonormal mode shapes.
void dense_eigenpairs(const SparseSysMat& K, const SparseSysMat& M, Vector& lambda, Matrix& X);

}  // namespace KelVane

#endif
