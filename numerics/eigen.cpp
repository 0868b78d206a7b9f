#include "eigen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "kv_assert.h"
#include "sysmat.h"
#include "triangular.h"

namespace KelVane {

namespace {

// Passes of the QR iteration allowed on one active block without a deflation at its
// end before the solver gives up; Wilkinson shifts normally deflate within three.
const unsigned max_passes_without_deflation = 10;

double largest_magnitude(const Matrix& A)
{
    double largest = 0.0;
    for (unsigned i = 0; i < A.size1(); ++i)
        for (unsigned j = 0; j < A.size2(); ++j)
            largest = std::max(largest, std::fabs(A[i][j]));
    return largest;
}

// T <- G^T T G for the rotation (c, s) in the plane (k, k+1) of the symmetric
// tridiagonal block [p, q) carrying a bulge at (k+1, k-1): the bulge is annihilated
// and reappears at (k+2, k). Both triangles receive the same values.
void rotate_tridiagonal(Matrix& T, unsigned k, unsigned p, unsigned q, double c, double s)
{
    if (k > p) {
        const double previous = T[k][k - 1];
        const double bulge = T[k + 1][k - 1];
        const double reduced = c * previous - s * bulge;
        T[k][k - 1] = T[k - 1][k] = reduced;
        T[k + 1][k - 1] = T[k - 1][k + 1] = 0.0;
    }
    const double a = T[k][k];
    const double b = T[k + 1][k];
    const double d = T[k + 1][k + 1];
    const double cc = c * c;
    const double ss = s * s;
    const double cs = c * s;
    T[k][k] = cc * a - 2.0 * cs * b + ss * d;
    T[k + 1][k + 1] = ss * a + 2.0 * cs * b + cc * d;
    T[k + 1][k] = T[k][k + 1] = cs * (a - d) + (cc - ss) * b;
    if (k + 2 < q) {
        const double f = T[k + 2][k + 1];
        T[k + 2][k] = T[k][k + 2] = -s * f;
        T[k + 2][k + 1] = T[k + 1][k + 2] = c * f;
    }
}

// Solves K x = lambda M x over the range of a singular M. Its null space (elements
// whose mass is integrated at fewer points than they have nodes) carries no inertia:
// like the equations without mass it is condensed out, here in the basis of M's
// eigenvectors, and the problem is solved over the eigenvectors of M with mass. V
// receives the M-orthonormal shapes, one column per value of lambda. Both matrices
// are first scaled to the unit diagonal of M, so that the units of the degrees of
// freedom (displacements beside rotations) do not count; an eigenvalue of the scaled
// M below 1e-12 of the largest is then taken as zero (rounding leaves some 1e-15 of
// it there). False, with nothing changed, when M is regular.
bool solve_over_mass_range(const Matrix& Kin, const Matrix& Min, Vector& lambda, Matrix& V)
{
    const unsigned m = Min.size1();
    std::vector<double> scale(m);
    for (unsigned i = 0; i < m; ++i)
        scale[i] = 1.0 / std::sqrt(Min[i][i]);
    Matrix K(m, m, 0.0);
    Matrix D(m, m, 0.0);
    for (unsigned i = 0; i < m; ++i) {
        for (unsigned j = 0; j < m; ++j) {
            K[i][j] = scale[i] * Kin[i][j] * scale[j];
            D[i][j] = scale[i] * Min[i][j] * scale[j];
        }
    }
    Matrix W;
    eigen_symmetric(D, &W);
    double largest = 0.0;
    for (unsigned i = 0; i < m; ++i)
        largest = std::max(largest, D[i][i]);
    std::vector<unsigned> range;
    std::vector<unsigned> null;
    for (unsigned i = 0; i < m; ++i)
        (D[i][i] > 1e-12 * largest ? range : null).push_back(i);
    if (null.empty())
        return false;
    const unsigned r = static_cast<unsigned>(range.size());
    const unsigned z = static_cast<unsigned>(null.size());

    // K in the basis of M's eigenvectors, split into the parts without mass (0) and
    // with mass (r).
    const Matrix KW = K * W;
    auto projected = [&](unsigned a, unsigned b) {
        double sum = 0.0;
        for (unsigned i = 0; i < m; ++i)
            sum += W[i][a] * KW[i][b];
        return sum;
    };
    Matrix K00(z, z, 0.0);
    Matrix K0r(z, r, 0.0);
    Matrix Krr(r, r, 0.0);
    for (unsigned a = 0; a < z; ++a) {
        for (unsigned b = 0; b < z; ++b)
            K00[a][b] = projected(null[a], null[b]);
        for (unsigned b = 0; b < r; ++b)
            K0r[a][b] = projected(null[a], range[b]);
    }
    for (unsigned a = 0; a < r; ++a)
        for (unsigned b = 0; b < r; ++b)
            Krr[a][b] = projected(range[a], range[b]);

    // Krr - K0r^T K00^-1 K0r with K00 = L L^T, scaled by D^-1/2 on both sides.
    cholesky(K00);
    Linv_A(K00, K0r);
    std::vector<double> root(r);
    for (unsigned a = 0; a < r; ++a)
        root[a] = std::sqrt(D[range[a]][range[a]]);
    Matrix A(r, r, 0.0);
    for (unsigned a = 0; a < r; ++a) {
        for (unsigned b = 0; b <= a; ++b) {
            double sum = Krr[a][b];
            for (unsigned k = 0; k < z; ++k)
                sum -= K0r[k][a] * K0r[k][b];
            A[a][b] = A[b][a] = sum / (root[a] * root[b]);
        }
    }
    Matrix Y;
    eigen_symmetric(A, &Y);
    lambda.resize(r);
    for (unsigned j = 0; j < r; ++j)
        lambda[j] = A[j][j];
    // Components along M's range, then those along its null space:
    // b = -K00^-1 K0r a = -L^-T (L^-1 K0r) a.
    for (unsigned a = 0; a < r; ++a)
        for (unsigned j = 0; j < r; ++j)
            Y[a][j] /= root[a];
    Matrix B = K0r * Y;
    LinvT_A(K00, B);
    V.resize(m, r);
    for (unsigned i = 0; i < m; ++i) {
        for (unsigned j = 0; j < r; ++j) {
            double sum = 0.0;
            for (unsigned a = 0; a < r; ++a)
                sum += W[i][range[a]] * Y[a][j];
            for (unsigned b = 0; b < z; ++b)
                sum -= W[i][null[b]] * B[b][j];
            V[i][j] = scale[i] * sum;
        }
    }
    return true;
}

}  // namespace

bool symmetric(const Matrix& A)
{
    const unsigned n = A.size1();
    if (A.size2() != n)
        return false;
    for (unsigned i = 1; i < n; ++i) {
        for (unsigned j = 0; j < i; ++j) {
            const double difference = std::fabs(A[i][j] - A[j][i]);
            const double diagonal = std::fabs(A[i][i]) + std::fabs(A[j][j]);
            if (diagonal == 0.0) {
                if (difference != 0.0)
                    return false;
            } else if (difference / diagonal > 1e-8) {
                return false;
            }
        }
    }
    return true;
}

// A b that is negligible beside a needs no rotation. The test is relative so that the
// solvers behave the same on a matrix and on any multiple of it.
void eigen_givens(double a, double b, double& c, double& s)
{
    if (b == 0.0 || std::fabs(b) < 1e-15 * std::fabs(a)) {
        c = 1.0;
        s = 0.0;
    } else if (std::fabs(a) >= std::fabs(b)) {
        const double tau = -b / a;
        c = 1.0 / std::sqrt(1.0 + tau * tau);
        s = c * tau;
    } else {
        const double tau = -a / b;
        s = 1.0 / std::sqrt(1.0 + tau * tau);
        c = s * tau;
    }
}

void eigen_householder(Matrix& A, Matrix* Vp)
{
    const Matrix* Ap = &A;
    KV_ASSERT(symmetric( *Ap ));
    const unsigned n = A.size1();
    KV_ASSERT(A.size2()==n);
    if (Vp)
        KV_ASSERT(Vp->size1()==n && Vp->size2()==n);
    if (n < 3)
        return;

    // A column whose part below the subdiagonal is within rounding of the whole
    // matrix is left as it is.
    const double negligible = 1e-15 * largest_magnitude(A);
    Vector v(n);
    Vector w(n);
    for (unsigned k = 0; k + 2 < n; ++k) {
        const unsigned first = k + 1;
        double alpha = 0.0;
        for (unsigned i = first; i < n; ++i)
            alpha += A[i][k] * A[i][k];
        alpha = std::sqrt(alpha);
        if (!(alpha > negligible))
            continue;
        const double x0 = A[first][k];
        if (x0 < 0.0)
            alpha = -alpha;
        // v = x / (x0 + alpha) with v0 = 1; H = I - beta v v^T maps x onto -alpha e1.
        const double scale = 1.0 / (x0 + alpha);
        v[first] = 1.0;
        double vtv = 1.0;
        for (unsigned i = first + 1; i < n; ++i) {
            v[i] = A[i][k] * scale;
            vtv += v[i] * v[i];
        }
        const double beta = 2.0 / vtv;

        // Trailing block B <- H B H = B - v w^T - w v^T with p = beta B v and
        // w = p - (beta v^T p / 2) v.
        double vtp = 0.0;
        for (unsigned i = first; i < n; ++i) {
            double sum = 0.0;
            for (unsigned j = first; j < n; ++j)
                sum += A[i][j] * v[j];
            w[i] = beta * sum;
            vtp += v[i] * w[i];
        }
        const double half = 0.5 * beta * vtp;
        for (unsigned i = first; i < n; ++i)
            w[i] -= half * v[i];
        for (unsigned i = first; i < n; ++i)
            for (unsigned j = first; j < n; ++j)
                A[i][j] -= v[i] * w[j] + w[i] * v[j];

        A[first][k] = -alpha;
        A[k][first] = -alpha;
        for (unsigned i = first + 1; i < n; ++i) {
            A[i][k] = 0.0;
            A[k][i] = 0.0;
        }

        if (Vp) {
            Matrix& V = *Vp;
            for (unsigned r = 0; r < n; ++r) {
                double* vr = V[r];
                double sum = 0.0;
                for (unsigned j = first; j < n; ++j)
                    sum += vr[j] * v[j];
                sum *= beta;
                for (unsigned j = first; j < n; ++j)
                    vr[j] -= sum * v[j];
            }
        }
    }
}

void eigen_tridiagonal_QR_step(Matrix& T, unsigned p, unsigned q, Matrix* Vp)
{
    const unsigned n = T.size1();
    KV_ASSERT(T.size2()==n);
    KV_ASSERT(q<=n);
    if (Vp)
        KV_ASSERT(Vp->size1()==n && Vp->size2()==n);
    if (q < p + 2)
        return;

    // Wilkinson shift: the eigenvalue of the trailing 2 x 2 block closer to its last
    // diagonal entry.
    const double d = 0.5 * (T[q - 2][q - 2] - T[q - 1][q - 1]);
    const double e = T[q - 1][q - 2];
    const double root = std::sqrt(d * d + e * e);
    const double denominator = d <= 0.0 ? d - root : d + root;
    const double mu = denominator == 0.0 ? T[q - 1][q - 1] : T[q - 1][q - 1] - e * e / denominator;

    double x = T[p][p] - mu;
    double z = T[p + 1][p];
    for (unsigned k = p; k + 1 < q; ++k) {
        double c;
        double s;
        eigen_givens(x, z, c, s);
        rotate_tridiagonal(T, k, p, q, c, s);
        if (Vp) {
            Matrix& V = *Vp;
            for (unsigned r = 0; r < n; ++r) {
                double* vr = V[r];
                const double a = vr[k];
                const double b = vr[k + 1];
                vr[k] = c * a - s * b;
                vr[k + 1] = s * a + c * b;
            }
        }
        if (k + 2 < q) {
            x = T[k + 1][k];
            z = T[k + 2][k];
        }
    }
}

void eigen_symmetric(Matrix& A, Matrix* Vp)
{
    const unsigned n = A.size1();
    if (Vp) {
        Vp->resize(n, n);
        Vp->set_zero();
        for (unsigned i = 0; i < n; ++i)
            (*Vp)[i][i] = 1.0;
    }
    if (n < 2)
        return;
    eigen_householder(A, Vp);

    unsigned m = n;
    unsigned block_end = n;
    unsigned passes = 0;
    for (;;) {
        for (unsigned i = 0; i + 1 < m; ++i) {
            if (std::fabs(A[i][i + 1]) < 1e-15 * (std::fabs(A[i][i]) + std::fabs(A[i + 1][i + 1]))) {
                A[i][i + 1] = 0.0;
                A[i + 1][i] = 0.0;
            }
        }
        while (m >= 2 && A[m - 1][m - 2] == 0.0)
            --m;
        if (m < 2)
            break;
        // Every active block gets a bounded number of passes to deflate its last
        // eigenvalue; after that the diagonal keeps its current approximations.
        if (m == block_end) {
            ++passes;
        } else {
            block_end = m;
            passes = 0;
        }
        if (passes >= max_passes_without_deflation)
            break;
        unsigned start = m - 2;
        while (start > 0 && A[start][start - 1] != 0.0)
            --start;
        eigen_tridiagonal_QR_step(A, start, m, Vp);
    }
}

void eigen_generalized(Matrix& A, const Matrix& B, Vector& lambda, Matrix* Vp)
{
    KV_ASSERT(symmetric( A ));
    KV_ASSERT(symmetric( B ));
    Matrix L(B);
    cholesky(L);
    A_LinvT(A, L);
    Linv_A(L, A);
    // L^-1 A L^-T is symmetric up to the rounding of the two substitutions; the
    // standard solver gets its exactly symmetric part.
    const unsigned n = A.size1();
    for (unsigned i = 1; i < n; ++i) {
        for (unsigned j = 0; j < i; ++j) {
            const double mean = 0.5 * (A[i][j] + A[j][i]);
            A[i][j] = mean;
            A[j][i] = mean;
        }
    }
    eigen_symmetric(A, Vp);
    lambda.resize(n);
    for (unsigned i = 0; i < n; ++i)
        lambda[i] = A[i][i];
    if (Vp)
        LinvT_A(L, *Vp);
}

void dense_eigenpairs(const SparseSysMat& K, const SparseSysMat& M, Vector& lambda, Matrix& X)
{
    const std::uint32_t n = K.num_rows();
    KV_ASSERT(n==M.num_rows());
    // Position of every equation within its own set: with mass, or without.
    std::vector<bool> has_mass(n);
    std::vector<unsigned> position(n);
    std::vector<std::uint32_t> with_mass;
    std::vector<std::uint32_t> without_mass;
    for (std::uint32_t i = 0; i < n; ++i) {
        has_mass[i] = M[i](i) > 0.0;
        std::vector<std::uint32_t>& set = has_mass[i] ? with_mass : without_mass;
        position[i] = static_cast<unsigned>(set.size());
        set.push_back(i);
    }
    const unsigned m = static_cast<unsigned>(with_mass.size());
    const unsigned s = static_cast<unsigned>(without_mass.size());

    Matrix Kmm(m, m, 0.0);
    Matrix Mmm(m, m, 0.0);
    Matrix Kss(s, s, 0.0);
    Matrix Ksm(s, m, 0.0);
    for (std::uint32_t r = 0; r < n; ++r) {
        for (const ai& entry : K[r].entries()) {
            const std::uint32_t c = entry.index;
            if (has_mass[r] && has_mass[c])
                Kmm[position[r]][position[c]] = entry.value;
            else if (!has_mass[r] && !has_mass[c])
                Kss[position[r]][position[c]] = entry.value;
            else if (!has_mass[r])
                Ksm[position[r]][position[c]] = entry.value;
        }
        if (has_mass[r])
            for (const ai& entry : M[r].entries())
                if (has_mass[entry.index])
                    Mmm[position[r]][position[entry.index]] = entry.value;
    }

    // K_mm - K_ms K_ss^-1 K_sm = K_mm - W^T W with W = L^-1 K_sm and K_ss = L L^T.
    if (s > 0) {
        cholesky(Kss);
        Linv_A(Kss, Ksm);
        for (unsigned i = 0; i < m; ++i) {
            for (unsigned j = 0; j <= i; ++j) {
                double sum = 0.0;
                for (unsigned k = 0; k < s; ++k)
                    sum += Ksm[k][i] * Ksm[k][j];
                Kmm[i][j] -= sum;
                if (j < i)
                    Kmm[j][i] = Kmm[i][j];
            }
        }
    }

    Matrix V;
    if (!solve_over_mass_range(Kmm, Mmm, lambda, V))
        eigen_generalized(Kmm, Mmm, lambda, &V);
    const unsigned modes = V.size2();
    X.resize(n, modes);
    for (unsigned a = 0; a < m; ++a)
        for (unsigned j = 0; j < modes; ++j)
            X[with_mass[a]][j] = V[a][j];
    // x_s = -K_ss^-1 K_sm x_m = -L^-T W x_m.
    if (s > 0) {
        Matrix Y = Ksm * V;
        LinvT_A(Kss, Y);
        for (unsigned b = 0; b < s; ++b)
            for (unsigned j = 0; j < modes; ++j)
                X[without_mass[b]][j] = -Y[b][j];
    }
}

}  // namespace KelVane
