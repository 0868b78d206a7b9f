#ifndef KELVANED_TRIANGULAR_H
#define KELVANED_TRIANGULAR_H

#include "kvmatrix.h"

namespace KelVane {

// Cholesky factorisation in place: the lower triangle and diagonal of A become L with
// A = L L^T; the strict upper triangle keeps its old values. No pivot is tested: a
// matrix that is not positive definite gives infinite or not-a-number factors.
void cholesky(Matrix& A);

// The triangular solves below read only the diagonal and strict lower triangle of L.

// A <- A L^-T (forward substitution row by row).
void A_LinvT(Matrix& A, const Matrix& L);
// A <- L^-1 A (forward substitution column by column).
void Linv_A(const Matrix& L, Matrix& A);
// A <- L^-T A (backward substitution column by column).
void LinvT_A(const Matrix& L, Matrix& A);

}  // namespace KelVane

#endif
