#ifndef KELVANED_SKYLINE_H
#define KELVANED_SKYLINE_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sysmat.h"

#if defined(__AVX__) && defined(__FMA__)
#include <immintrin.h>
#endif

namespace KelVane {

// Symmetric profile (skyline) matrix factorised as L D L^T. Only the lower triangle
// is kept, row by row: row k holds the columns from its first coupled column p[k]
// up to the diagonal, contiguously.
class SkySymMat : public SystemMat {
public:
    explicit SkySymMat(std::uint32_t n);
    ~SkySymMat() override;
    SkySymMat(const SkySymMat&) = delete;
    SkySymMat& operator=(const SkySymMat&) = delete;

    void geometry(unsigned i, unsigned j) override;
    void zero() override;
    // Entries above the diagonal are ignored.
    void add(unsigned i, unsigned j, double value) override;
    void print(const std::string& title) override;
    // Tiny pivots are reported on standard output; the solve goes on.
    void solve(const Vector& b, Vector& x) override;
    // The count of that report; 0 until a factorisation found tiny pivots.
    unsigned zero_pivots() const override { return tiny_pivot_count; }
    // Negative pivots of the factorisation (0 before it): by Sylvester's law of
    // inertia the number of negative eigenvalues of the matrix.
    unsigned negative_pivots() const;

    // Factorises in place (Crout form); returns the number of tiny pivots (below
    // 1e-20 of their equation's diagonal, replaced by that), at least 1 when a pivot
    // is below 1e-10 of its diagonal. Blocks of rows at a time, or
    // row by row when solver_choice() asks for the reference kernel.
    unsigned LDLt_factor();
    unsigned LDLt_factor_blocked();
    unsigned LDLt_factor_rows();
    // Forward substitution, diagonal scaling and back substitution on x.
    void LDLt_solve(Vector& x) const;
    // The same for every column of X at once (n rows).
    void LDLt_solve(Matrix& X) const;
    // Floating-point operations of LDLt_factor for this profile; stored entries.
    double factor_flops() const;
    std::size_t profile_entries() const { return n == 0 || a == nullptr ? 0 : diag[n - 1] + 1; }

private:
    void allocate();
    double element(std::uint32_t i, std::uint32_t j) const;

    std::vector<std::uint32_t> p;
    std::uint32_t n;
    bool decomposed = false;
    unsigned tiny_pivot_count = 0;
    // Row k occupies a[diag[k] - (k - p[k])] ... a[diag[k]], the diagonal last.
    double* a = nullptr;
    std::vector<std::size_t> diag;
};

// Nonsymmetric profile matrix factorised as L U without pivoting. Rows of the
// strict lower part and columns of the upper part share one profile p.
class SkyNonSymMat : public SystemMat {
public:
    explicit SkyNonSymMat(std::uint32_t n);
    ~SkyNonSymMat() override;

    void geometry(unsigned i, unsigned j) override;
    void zero() override;
    void add(unsigned i, unsigned j, double value) override;
    void print(const std::string& title) override;
    // Tiny pivots are reported on standard output; the solve goes on.
    void solve(const Vector& b, Vector& x) override;
    // The count of that report; 0 until a factorisation found tiny pivots.
    unsigned zero_pivots() const override { return tiny_pivot_count; }

    // Doolittle factorisation in place; returns the number of tiny pivots, each
    // judged against the diagonal of its own equation and a vanishing one replaced
    // by a stand-in, as LDLt_factor does.
    unsigned LU_factor();
    // Substitutions on x in place; false when the matrix is not factorised.
    bool LU_Solve(Vector& x) const;
    // Floating-point operations of LU_factor for this profile; stored entries.
    double factor_flops() const;
    std::size_t profile_entries() const { return lower.size() + upper.size(); }

private:
    void allocate();
    double element(std::uint32_t i, std::uint32_t j) const;

    std::vector<std::uint32_t> p;
    std::uint32_t n;
    bool decomposed = false;
    bool allocated = false;
    unsigned tiny_pivot_count = 0;
    // Row k of L (columns p[k] ... k-1) starts at lower[start[k]]; column k of U
    // (rows p[k] ... k, the diagonal last) starts at upper[start[k] + k].
    std::vector<double> lower;
    std::vector<double> upper;
    std::vector<std::size_t> start;
};

// Diagonal (lumped) matrix, inverted in place on its first solve.
class DiagonalSysMat : public SystemMat {
public:
    explicit DiagonalSysMat(std::uint32_t n);
    ~DiagonalSysMat() override;

    void geometry(unsigned i, unsigned j) override;
    void zero() override;
    void add(unsigned i, unsigned j, double value) override;
    void print(const std::string& title) override;
    // Sorts the equations into groups (kinds of unknown: displacements, rotations,
    // ...), group_of[i - 1] the group of equation i; until then they are one group.
    void set_groups(std::vector<unsigned char> group_of);
    // Throws matrix_error, leaving the matrix as it was, when an element is below
    // 1e-12 of the largest one of its group in magnitude (or the elements of a
    // group are all zero).
    void solve(const Vector& b, Vector& x) override;
    // The elements that solve takes for zero, by number counted from 1, in order:
    // below 1e-12 of the largest one of their group in magnitude, or not a number.
    // Empty once the matrix is inverted.
    std::vector<std::uint32_t> vanishing_elements() const;
    // Element (i, i), counted from 1, also after a solve has inverted the storage.
    double entry(unsigned i) const { return inverted ? 1.0 / diagonal[i - 1] : diagonal[i - 1]; }

private:
    std::uint32_t n;
    bool inverted = false;
    std::vector<double> diagonal;
    std::vector<unsigned char> group;
};

// a * b + c: rounded once where the target has fused multiply-adds, twice where it
// has not. The compiler does not contract on its own (-ffp-contract=off), so the
// result is the same whatever the optimisation level, inlining or vectorisation.
inline double multiply_add(double a, double b, double c)
{
#if defined(__FMA__)
    return std::fma(a, b, c);
#else
    return a * b + c;
#endif
}

// Inner product of two contiguous runs of doubles, in eight independent sums so
// that the loop pipelines and vectorises: sum t takes the terms k = t (mod 8) of
// the runs' first multiple of eight, sum 0 the rest, and the eight are added
// pairwise. With fused multiply-adds the sums are written as two vectors of four,
// which gives the very same result as eight scalar sums.
inline double profile_dot(const double* x, const double* y, std::size_t len)
{
    std::size_t k = 0;
#if defined(__AVX__) && defined(__FMA__)
    __m256d low = _mm256_setzero_pd();
    __m256d high = _mm256_setzero_pd();
    for (; k + 8 <= len; k += 8) {
        low = _mm256_fmadd_pd(_mm256_loadu_pd(x + k), _mm256_loadu_pd(y + k), low);
        high = _mm256_fmadd_pd(_mm256_loadu_pd(x + k + 4), _mm256_loadu_pd(y + k + 4), high);
    }
    double s[8];
    _mm256_storeu_pd(s, low);
    _mm256_storeu_pd(s + 4, high);
    double& s0 = s[0];
    const double s1 = s[1], s2 = s[2], s3 = s[3], s4 = s[4], s5 = s[5], s6 = s[6], s7 = s[7];
#else
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    double s4 = 0.0, s5 = 0.0, s6 = 0.0, s7 = 0.0;
    for (; k + 8 <= len; k += 8) {
        s0 = multiply_add(x[k], y[k], s0);
        s1 = multiply_add(x[k + 1], y[k + 1], s1);
        s2 = multiply_add(x[k + 2], y[k + 2], s2);
        s3 = multiply_add(x[k + 3], y[k + 3], s3);
        s4 = multiply_add(x[k + 4], y[k + 4], s4);
        s5 = multiply_add(x[k + 5], y[k + 5], s5);
        s6 = multiply_add(x[k + 6], y[k + 6], s6);
        s7 = multiply_add(x[k + 7], y[k + 7], s7);
    }
#endif
    for (; k < len; ++k)
        s0 = multiply_add(x[k], y[k], s0);
    return ((s0 + s4) + (s1 + s5)) + ((s2 + s6) + (s3 + s7));
}

} // namespace KelVane

#endif
