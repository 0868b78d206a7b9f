#include "triangular.h"

#include <cmath>

#include "kv_assert.h"

namespace KelVane {

// Outer-product form: column k is scaled by its pivot, then the trailing lower
// triangle loses the rank-one contribution of column k.
void cholesky(Matrix& A)
{
    const unsigned n = A.size1();
    KV_ASSERT(A.size2()==n);
    for (unsigned k = 0; k < n; ++k) {
        const double pivot = std::sqrt(A[k][k]);
        A[k][k] = pivot;
        for (unsigned i = k + 1; i < n; ++i)
            A[i][k] /= pivot;
        for (unsigned j = k + 1; j < n; ++j) {
            const double ljk = A[j][k];
            for (unsigned i = j; i < n; ++i)
                A[i][j] -= A[i][k] * ljk;
        }
    }
}

// Each row a of A is replaced by x with L x^T = a^T.
void A_LinvT(Matrix& A, const Matrix& L)
{
    const unsigned n = L.size1();
    KV_ASSERT(L.size2()==n && A.size2()==n);
    for (unsigned r = 0; r < A.size1(); ++r) {
        double* x = A[r];
        for (unsigned j = 0; j < n; ++j) {
            const double* lj = L[j];
            double sum = x[j];
            for (unsigned k = 0; k < j; ++k)
                sum -= lj[k] * x[k];
            x[j] = sum / lj[j];
        }
    }
}

// Row i of the result is (row i of A - sum over k < i of L(i,k) row k) / L(i,i); this
// runs the forward substitution of every column at once.
void Linv_A(const Matrix& L, Matrix& A)
{
    const unsigned n = L.size1();
    KV_ASSERT(L.size2()==n && A.size1()==n);
    const unsigned columns = A.size2();
    for (unsigned i = 0; i < n; ++i) {
        const double* li = L[i];
        double* xi = A[i];
        for (unsigned k = 0; k < i; ++k) {
            const double lik = li[k];
            const double* xk = A[k];
            for (unsigned c = 0; c < columns; ++c)
                xi[c] -= lik * xk[c];
        }
        for (unsigned c = 0; c < columns; ++c)
            xi[c] /= li[i];
    }
}

// Backward substitution with L^T: row i of the result needs the rows below it, and
// L^T(i,k) = L(k,i).
void LinvT_A(const Matrix& L, Matrix& A)
{
    const unsigned n = L.size1();
    KV_ASSERT(L.size2()==n && A.size1()==n);
    const unsigned columns = A.size2();
    for (unsigned i = n; i-- > 0;) {
        double* xi = A[i];
        for (unsigned k = i + 1; k < n; ++k) {
            const double lki = L[k][i];
            const double* xk = A[k];
            for (unsigned c = 0; c < columns; ++c)
                xi[c] -= lki * xk[c];
        }
        const double lii = L[i][i];
        for (unsigned c = 0; c < columns; ++c)
            xi[c] /= lii;
    }
}

}  // namespace KelVane
