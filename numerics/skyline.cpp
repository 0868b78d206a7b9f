#include "skyline.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>

#include "kv_assert.h"

namespace KelVane {

SkySymMat::SkySymMat(std::uint32_t n_) : p(n_), n(n_)
{
    for (std::uint32_t k = 0; k < n; ++k)
        p[k] = k;
}

SkySymMat::~SkySymMat()
{
    delete[] a;
}

void SkySymMat::geometry(unsigned i, unsigned j)
{
    if (a != NULL)
        throw program_error("matrix geometry can not be updated after creation");
    if (i < 1 || i > n || j < 1 || j > n)
        throw dimension_error(does_not_fit(i, j, n) + "\n");
    if (j < i && j - 1 < p[i - 1])
        p[i - 1] = j - 1;
}

// The profile is fixed from here on: row k gets k - p[k] + 1 doubles.
void SkySymMat::allocate()
{
    diag.resize(n);
    std::size_t total = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        total += k - p[k] + 1;
        diag[k] = total - 1;
    }
    a = new double[total]();
}

double SkySymMat::element(std::uint32_t i, std::uint32_t j) const
{
    if (j > i)
        std::swap(i, j);
    if (a == NULL || j < p[i])
        return 0.0;
    return a[diag[i] - (i - j)];
}

void SkySymMat::zero()
{
    if (a == NULL)
        allocate();
    std::fill(a, a + (n == 0 ? 0 : diag[n - 1] + 1), 0.0);
    decomposed = false;
    tiny_pivot_count = 0;
}

void SkySymMat::add(unsigned i, unsigned j, double value)
{
    if (a == NULL)
        allocate();
    if (decomposed)
        throw program_error("can not add matrix component to a decomposed matrix");
    if (i < 1 || i > n || j < 1 || j > n)
        throw dimension_error(does_not_fit(i, j, n));
    if (j > i)
        return;
    KV_ASSERT(j - 1 >= p[i - 1]);
    a[diag[i - 1] - (i - j)] += value;
}

void SkySymMat::print(const std::string& title)
{
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    if (decomposed)
        std::cout << "Decomposed ";
    std::cout << title << "\n\n" << std::scientific << std::setprecision(3);
    const std::uint32_t shown = std::min<std::uint32_t>(n, 10);
    for (std::uint32_t i = 0; i < shown; ++i) {
        for (std::uint32_t j = 0; j <= i; ++j)
            std::cout << std::setw(10) << element(i, j);
        std::cout << '\n';
    }
    std::cout.flush();
    std::cout.flags(flags);
    std::cout.precision(precision);
}

// Crout form, row by row. While row i is worked on, its entries left of column j
// still hold L(i,k) * d(k); row j above is final (L(j,k) with its pivot on the
// diagonal). Each update is an inner product of two contiguous row segments that
// start at the later of the two rows' first columns.
unsigned SkySymMat::LDLt_factor()
{
    unsigned tiny_pivots = 0;
    double smallest = 0.0;
    double largest = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t first_i = p[i];
        double* row_i = a + (diag[i] - (i - first_i)); // row_i[c - first_i] = a(i, c)
        for (std::uint32_t j = first_i; j < i; ++j) {
            const std::uint32_t first_j = p[j];
            const std::uint32_t m = std::max(first_i, first_j);
            const double* row_j = a + (diag[j] - (j - first_j));
            row_i[j - first_i] -= profile_dot(row_j + (m - first_j), row_i + (m - first_i), j - m);
        }

        double d = row_i[i - first_i];
        for (std::uint32_t k = first_i; k < i; ++k) {
            const double t = row_i[k - first_i];
            const double l = t / a[diag[k]];
            row_i[k - first_i] = l;
            d -= l * t;
        }

        const double magnitude = std::fabs(d);
        if (i == 0) {
            smallest = magnitude;
            largest = magnitude;
        } else if (magnitude > largest) {
            largest = magnitude;
        } else if (magnitude < smallest) {
            smallest = magnitude;
        }
        if (!(magnitude >= 1e-20)) {
            d = 1e-20;
            ++tiny_pivots;
        }
        a[diag[i]] = d;
    }
    if (n > 0 && !(smallest / largest >= 1e-10))
        tiny_pivots = std::max(tiny_pivots, 1u);
    return tiny_pivots;
}

void SkySymMat::LDLt_solve(Vector& x) const
{
    if (n == 0)
        return;
    KV_ASSERT(x.size() == n);
    double* xv = &x[0];
    for (std::uint32_t i = 1; i < n; ++i) {
        const std::uint32_t first = p[i];
        const double* row = a + (diag[i] - (i - first));
        xv[i] -= profile_dot(row, xv + first, i - first);
    }
    for (std::uint32_t i = 0; i < n; ++i)
        xv[i] /= a[diag[i]];
    for (std::uint32_t i = n - 1; i >= 1; --i) {
        const std::uint32_t first = p[i];
        const double* row = a + (diag[i] - (i - first));
        const double xi = xv[i];
        for (std::uint32_t k = first; k < i; ++k)
            xv[k] -= row[k - first] * xi;
    }
}

void SkySymMat::solve(const Vector& b, Vector& x)
{
    if (n == 0) {
        x.resize(0);
        return;
    }
    KV_ASSERT(a != NULL);
    KV_ASSERT(b.size() == n);
    if (!decomposed) {
        tiny_pivot_count = LDLt_factor();
        if (tiny_pivot_count > 0)
            std::cout << "there are " << tiny_pivot_count << " (almost) zero pivots found!" << std::endl;
        decomposed = true;
    }
    x = b;
    LDLt_solve(x);
}

} // namespace KelVane
