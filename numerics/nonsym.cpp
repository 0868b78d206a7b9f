#include "skyline.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>

#include "kv_assert.h"
#include "pivot_watch.h"

namespace KelVane {

namespace {

// Doolittle factorisation on the shared profile, in place on the given arrays.
// Row i of L is the run lower[start[i]] ... (L(i,k) at offset k - p[i]); column j
// of U the run upper[start[j] + j] ... (U(k,j) at offset k - p[j]). Every pivot is
// judged as soon as it is known, before anything divides by it; a vanishing one
// is replaced by its stand-in. Returns the count of tiny pivots (PivotWatch).
unsigned factorise(const std::vector<std::uint32_t>& p, const std::vector<std::size_t>& start,
                   std::vector<double>& lower, std::vector<double>& upper)
{
    const std::uint32_t n = static_cast<std::uint32_t>(p.size());
    if (n == 0)
        return 0;
    double* L = lower.data();
    double* U = upper.data();
    PivotWatch pivots(n, [&](std::uint32_t i) { return U[start[i] + i + (i - p[i])]; });
    U[0] = pivots.accept(0, U[0]);
    for (std::uint32_t i = 1; i < n; ++i) {
        const std::uint32_t first_i = p[i];
        double* row_i = L + start[i];
        double* column_i = U + start[i] + i;
        for (std::uint32_t j = first_i; j < i; ++j) {
            const std::uint32_t first_j = p[j];
            const std::uint32_t m = std::max(first_i, first_j);
            const double* row_j = L + start[j];
            const double* column_j = U + start[j] + j;
            const double l = row_i[j - first_i]
                - profile_dot(row_i + (m - first_i), column_j + (m - first_j), j - m);
            const double u = column_i[j - first_i]
                - profile_dot(row_j + (m - first_j), column_i + (m - first_i), j - m);
            row_i[j - first_i] = l / column_j[j - first_j];
            column_i[j - first_i] = u;
        }
        const double d = column_i[i - first_i] - profile_dot(column_i, row_i, i - first_i);
        column_i[i - first_i] = pivots.accept(i, d);
    }
    return pivots.count();
}

} // namespace

SkyNonSymMat::SkyNonSymMat(std::uint32_t n_) : p(n_), n(n_)
{
    for (std::uint32_t k = 0; k < n; ++k)
        p[k] = k;
}

SkyNonSymMat::~SkyNonSymMat() = default;

void SkyNonSymMat::geometry(unsigned i, unsigned j)
{
    if (allocated)
        throw program_error("matrix geometry can not be updated after creation");
    if (i < 1 || i > n || j < 1 || j > n)
        throw dimension_error(does_not_fit(i, j, n));
    const std::uint32_t inner = std::min(i, j) - 1;
    std::uint32_t& first = p[std::max(i, j) - 1];
    if (inner < first)
        first = inner;
}

// The profile is fixed from here on.
void SkyNonSymMat::allocate()
{
    start.resize(n + 1);
    std::size_t total = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        start[k] = total;
        total += k - p[k];
    }
    start[n] = total;
    lower.assign(total, 0.0);
    upper.assign(total + n, 0.0);
    allocated = true;
}

double SkyNonSymMat::factor_flops() const
{
    double flops = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        for (std::uint32_t j = p[i]; j < i; ++j)
            flops += 4.0 * (j - std::max(p[i], p[j])) + 3.0;
        flops += 2.0 * (i - p[i]);
    }
    return flops;
}

double SkyNonSymMat::element(std::uint32_t i, std::uint32_t j) const
{
    if (!allocated)
        return 0.0;
    if (j < i)
        return j >= p[i] ? lower[start[i] + (j - p[i])] : 0.0;
    return i >= p[j] ? upper[start[j] + j + (i - p[j])] : 0.0;
}

void SkyNonSymMat::zero()
{
    if (!allocated)
        allocate();
    std::fill(lower.begin(), lower.end(), 0.0);
    std::fill(upper.begin(), upper.end(), 0.0);
    decomposed = false;
    tiny_pivot_count = 0;
}

void SkyNonSymMat::add(unsigned i, unsigned j, double value)
{
    if (!allocated)
        allocate();
    if (decomposed)
        throw program_error("can not add matrix component to a decomposed matrix");
    if (i < 1 || i > n || j < 1 || j > n)
        throw dimension_error(does_not_fit(i, j, n));
    const std::uint32_t r = i - 1;
    const std::uint32_t c = j - 1;
    if (c < r) {
        KV_ASSERT(c >= p[r]);
        lower[start[r] + (c - p[r])] += value;
    } else {
        KV_ASSERT(r >= p[c]);
        upper[start[c] + c + (r - p[c])] += value;
    }
}

void SkyNonSymMat::print(const std::string& title)
{
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    if (decomposed)
        std::cout << "Decomposed ";
    std::cout << title << "\n\n" << std::scientific << std::setprecision(3);
    std::cout << "size =" << n << '\n';
    if (n > 10)
        std::cout << "(only left upper 10x10 part)" << '\n';
    const std::uint32_t shown = std::min<std::uint32_t>(n, 10);
    for (std::uint32_t i = 0; i < shown; ++i) {
        for (std::uint32_t j = 0; j < shown; ++j)
            std::cout << ' ' << std::setw(10) << element(i, j);
        std::cout << '\n';
    }
    std::cout.flush();
    std::cout.flags(flags);
    std::cout.precision(precision);
}

unsigned SkyNonSymMat::LU_factor()
{
    KV_ASSERT(allocated || n == 0);
    return factorise(p, start, lower, upper);
}

bool SkyNonSymMat::LU_Solve(Vector& x) const
{
    if (!decomposed)
        return false;
    if (n == 0)
        return true;
    KV_ASSERT(x.size() == n);
    double* xv = &x[0];
    const double* L = lower.data();
    const double* U = upper.data();
    for (std::uint32_t i = 1; i < n; ++i)
        xv[i] -= profile_dot(xv + p[i], L + start[i], i - p[i]);
    for (std::uint32_t i = n - 1; i >= 1; --i) {
        const double* column = U + start[i] + i;
        xv[i] /= column[i - p[i]];
        const double xi = xv[i];
        for (std::uint32_t k = p[i]; k < i; ++k)
            xv[k] -= xi * column[k - p[i]];
    }
    xv[0] /= U[0];
    return true;
}

void SkyNonSymMat::solve(const Vector& b, Vector& x)
{
    KV_ASSERT(b.size() == n);
    if (!decomposed) {
        tiny_pivot_count = LU_factor();
        if (tiny_pivot_count > 0)
            std::cout << "there are " << tiny_pivot_count << " (almost) zero pivots found!" << std::endl;
        decomposed = true;
    }
    x = b;
    if (!LU_Solve(x))
        throw matrix_error("LU_Solve() failed.");
}

} // namespace KelVane
