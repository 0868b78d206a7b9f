#include "skyline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <limits>

#include "kv_assert.h"
#include "pivot_watch.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__AVX__) && defined(__FMA__)
#include <immintrin.h>
#endif

namespace KelVane {

namespace {

// Zeroed storage for a profile of the given number of entries, released with
// std::free. A large profile is placed on 2 MB boundaries and the system is asked
// to back it with pages of that size: a factorisation that walks a profile far
// larger than the cache otherwise spends a good part of its time on page-table
// lookups of 4 kB pages.
double* allocate_profile(std::size_t entries)
{
    constexpr std::size_t large_page = std::size_t(2) << 20;
    if (entries > (std::numeric_limits<std::size_t>::max() - large_page) / sizeof(double))
        throw std::bad_alloc();
    const std::size_t bytes = std::max<std::size_t>(entries * sizeof(double), 64);
    const std::size_t alignment = bytes >= 4 * large_page ? large_page : 64;
    const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    void* memory = std::aligned_alloc(alignment, rounded);
    if (memory == nullptr)
        throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (alignment == large_page)
        madvise(memory, rounded, MADV_HUGEPAGE); // only a wish: 4 kB pages serve as well
#endif
    double* entries_begin = static_cast<double*>(memory);
    std::fill(entries_begin, entries_begin + entries, 0.0);
    return entries_begin;
}

// Four doubles that the compiler keeps in one vector register where it has them.
typedef double Lanes __attribute__((vector_size(4 * sizeof(double))));

// Passed by reference: without vector registers in the target a vector value
// would change the calling convention.
inline void load_lanes(Lanes& v, const double* x)
{
    std::memcpy(&v, x, sizeof v);
}

// Keeps v in a register: the compiler would rather load a run again for each of
// its uses, and then loads, not multiplications, would set the pace.
inline void hold_in_register(Lanes& v)
{
#if defined(__AVX__)
    __asm__("" : "+x"(v));
#else
    (void)v;
#endif
}

// sum += a * b and v -= a * b lane by lane, each lane rounded once where the target
// has fused multiply-adds (see multiply_add).
inline void add_product(Lanes& sum, const Lanes& a, const Lanes& b)
{
#if defined(__AVX__) && defined(__FMA__)
    sum = (Lanes)_mm256_fmadd_pd((__m256d)a, (__m256d)b, (__m256d)sum);
#else
    sum += a * b;
#endif
}

inline void subtract_product(Lanes& v, const Lanes& a, const Lanes& b)
{
#if defined(__AVX__) && defined(__FMA__)
    v = (Lanes)_mm256_fnmadd_pd((__m256d)a, (__m256d)b, (__m256d)v);
#else
    v -= a * b;
#endif
}

inline double lane_sum(const Lanes& v)
{
    return (v[0] + v[2]) + (v[1] + v[3]);
}

// sums[r][c] = sum over k < length of w[r][k] * l[c][k], for RT rows of the block
// and JT rows of L, with RT * JT independent vector sums: each loaded run of
// doubles serves several products.
template <int RT, int JT>
void block_products(const double* const* w, const double* const* l, std::size_t length,
                    double sums[RT][JT])
{
    // Fully unrolled, so that the sums stay in registers.
    Lanes acc[RT][JT];
#pragma GCC unroll 4
    for (int r = 0; r < RT; ++r)
#pragma GCC unroll 4
        for (int c = 0; c < JT; ++c)
            acc[r][c] = Lanes{0.0, 0.0, 0.0, 0.0};
    const double* wr[RT];
#pragma GCC unroll 4
    for (int r = 0; r < RT; ++r)
        wr[r] = w[r];
    const double* lc[JT];
#pragma GCC unroll 4
    for (int c = 0; c < JT; ++c)
        lc[c] = l[c];
    std::size_t k = 0;
    for (; k + 4 <= length; k += 4) {
        Lanes lv[JT];
#pragma GCC unroll 4
        for (int c = 0; c < JT; ++c)
            load_lanes(lv[c], lc[c] + k);
#pragma GCC unroll 4
        for (int r = 0; r < RT; ++r) {
            Lanes wv;
            load_lanes(wv, wr[r] + k);
#pragma GCC unroll 4
            for (int c = 0; c < JT; ++c)
                add_product(acc[r][c], wv, lv[c]);
        }
    }
    // Unrolled as well: with every index fixed the sums are plain values that stay
    // in registers through the loop above, not an array stored at each step.
#pragma GCC unroll 4
    for (int r = 0; r < RT; ++r) {
#pragma GCC unroll 4
        for (int c = 0; c < JT; ++c) {
            double sum = lane_sum(acc[r][c]);
            for (std::size_t t = k; t < length; ++t)
                sum = multiply_add(w[r][t], l[c][t], sum);
            sums[r][c] = sum;
        }
    }
}

// sum[c] += (the run of the panel at w) * run c of L, the run of the panel held in
// a register for its three products.
inline void add_products(const double* w, const Lanes& a, const Lanes& b, const Lanes& c,
                         Lanes sum[3])
{
    Lanes x;
    load_lanes(x, w);
    hold_in_register(x);
    add_product(sum[0], x, a);
    add_product(sum[1], x, b);
    add_product(sum[2], x, c);
}

// The full four-by-three case written out: the twelve sums, the three runs of L
// and one run of the panel fill the sixteen vector registers of the machine, each
// run loaded once per step.
template <>
void block_products<4, 3>(const double* const* w, const double* const* l, std::size_t length,
                          double sums[4][3])
{
    const double* w0 = w[0];
    const double* w1 = w[1];
    const double* w2 = w[2];
    const double* w3 = w[3];
    const double* l0 = l[0];
    const double* l1 = l[1];
    const double* l2 = l[2];
    Lanes s[4][3] = {};
    std::size_t k = 0;
    for (; k + 4 <= length; k += 4) {
        Lanes a, b, c;
        load_lanes(a, l0 + k);
        load_lanes(b, l1 + k);
        load_lanes(c, l2 + k);
        hold_in_register(a);
        hold_in_register(b);
        hold_in_register(c);
        add_products(w0 + k, a, b, c, s[0]);
        add_products(w1 + k, a, b, c, s[1]);
        add_products(w2 + k, a, b, c, s[2]);
        add_products(w3 + k, a, b, c, s[3]);
    }
    // Unrolled, so that the sums stay in registers (see above).
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) {
#pragma GCC unroll 4
        for (int j = 0; j < 3; ++j) {
            double sum = lane_sum(s[r][j]);
            for (std::size_t t = k; t < length; ++t)
                sum = multiply_add(w[r][t], l[j][t], sum);
            sums[r][j] = sum;
        }
    }
}

// block_products for up to four rows of the panel and JT rows of L, into sums[r][c].
template <int JT>
void block_products_rows(int rows, const double* const* w, const double* const* l,
                         std::size_t length, double sums[4][3])
{
    double part[4][JT];
    switch (rows) {
    case 4:
        block_products<4, JT>(w, l, length, part);
        break;
    case 3:
        block_products<3, JT>(w, l, length, part);
        break;
    case 2:
        block_products<2, JT>(w, l, length, part);
        break;
    default:
        block_products<1, JT>(w, l, length, part);
        break;
    }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < JT; ++c)
            sums[r][c] = part[r][c];
}

} // namespace

SkySymMat::SkySymMat(std::uint32_t n_) : p(n_), n(n_)
{
    for (std::uint32_t k = 0; k < n; ++k)
        p[k] = k;
}

SkySymMat::~SkySymMat()
{
    std::free(a);
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
    a = allocate_profile(total);
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
unsigned SkySymMat::LDLt_factor_rows()
{
    PivotWatch pivots(n, [this](std::uint32_t i) { return a[diag[i]]; });
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
            d = multiply_add(-l, t, d);
        }
        a[diag[i]] = pivots.accept(i, d);
    }
    return pivots.count();
}

unsigned SkySymMat::negative_pivots() const
{
    if (!decomposed)
        return 0;
    unsigned count = 0;
    for (std::uint32_t i = 0; i < n; ++i)
        if (a[diag[i]] < 0.0)
            ++count;
    return count;
}

unsigned SkySymMat::LDLt_factor()
{
    return solver_choice().blocked_kernel ? LDLt_factor_blocked() : LDLt_factor_rows();
}

// The same Crout form on blocks of up to 36 consecutive rows whose skylines start
// close together. A block is copied into a dense panel whose columns run from the
// earliest first column of its rows, zero outside each row's skyline (zeros that
// change no sum). Every final row j above the block is then loaded once for all
// rows of the panel: three such rows against four panel rows at a time, in
// twelve independent vector sums (block_products), the few columns that not all
// three rows share by plain inner products, and the coupling among the three rows
// last. A row of L far beyond the cache is thus read from memory once for 36
// rows, and the panel (36 rows of up to a few thousand columns) stays in the
// second-level cache. The rows inside the block are then finished one after the
// other as in the row-by-row form, and the panel is copied back.
unsigned SkySymMat::LDLt_factor_blocked()
{
    constexpr std::uint32_t max_rows = 36;
    PivotWatch pivots(n, [this](std::uint32_t i) { return a[diag[i]]; });
    std::vector<double> panel;
    std::vector<double> pivot_of(n); // d(k) of every finished row
    std::vector<double> unscaled;
    std::uint32_t i0 = 0;
    while (i0 < n) {
        // A row joins while the spread of first columns stays within an eighth of
        // the panel's width: the zeros it brings cost no more than that.
        std::uint32_t s = p[i0];
        std::uint32_t latest = p[i0];
        std::uint32_t i1 = i0 + 1;
        while (i1 < n && i1 - i0 < max_rows) {
            const std::uint32_t earliest = std::min(s, p[i1]);
            const std::uint32_t later = std::max(latest, p[i1]);
            if (std::size_t(later - earliest) * 8 > std::size_t(i1 + 1 - earliest))
                break;
            s = earliest;
            latest = later;
            ++i1;
        }
        const std::uint32_t rows = i1 - i0;
        const std::size_t stride = i1 - s; // panel(r, c - s) = a(i0 + r, c)
        panel.assign(rows * stride, 0.0);
        double* W = panel.data();
        double* w[max_rows];
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t i = i0 + r;
            w[r] = W + r * stride;
            std::copy(a + (diag[i] - (i - p[i])), a + diag[i] + 1, w[r] + (p[i] - s));
        }

        // The final rows above the block, three at a time.
        for (std::uint32_t j0 = s; j0 < i0; j0 += 3) {
            const int columns = static_cast<int>(std::min<std::uint32_t>(3, i0 - j0));
            const double* row_j[3];
            std::uint32_t shared = s; // first column that all rows j store
            for (int c = 0; c < columns; ++c) {
                const std::uint32_t j = j0 + c;
                row_j[c] = a + (diag[j] - (j - p[j])); // row_j[c][k - p[j]] = L(j, k)
                shared = std::max(shared, p[j]);
            }
            shared = std::min(shared, j0);
            const std::size_t length = j0 - shared;
            const double* l[3];
            for (int c = 0; c < columns; ++c)
                l[c] = row_j[c] + (shared - p[j0 + c]);
            for (std::uint32_t r0 = 0; r0 < rows; r0 += 4) {
                const int group = static_cast<int>(std::min<std::uint32_t>(4, rows - r0));
                const double* panel_rows[4];
                for (int r = 0; r < group; ++r)
                    panel_rows[r] = w[r0 + r] + (shared - s);
                double sums[4][3];
                switch (columns) {
                case 3:
                    block_products_rows<3>(group, panel_rows, l, length, sums);
                    break;
                case 2:
                    block_products_rows<2>(group, panel_rows, l, length, sums);
                    break;
                default:
                    block_products_rows<1>(group, panel_rows, l, length, sums);
                    break;
                }
                for (int r = 0; r < group; ++r) {
                    double* row = w[r0 + r];
                    for (int c = 0; c < columns; ++c) {
                        const std::uint32_t j = j0 + c;
                        const std::uint32_t first = std::max(s, p[j]);
                        double sum = sums[r][c];
                        if (first < shared)
                            sum += profile_dot(row_j[c] + (first - p[j]), row + (first - s),
                                               shared - first);
                        for (std::uint32_t k = std::max(first, j0); k < j; ++k)
                            sum = multiply_add(row_j[c][k - p[j]], row[k - s], sum);
                        row[j - s] -= sum;
                    }
                }
            }
        }

        // The rows of the block among themselves, then their scaling and pivots.
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t i = i0 + r;
            double* row = w[r];
            for (std::uint32_t j = std::max(i0, p[i]); j < i; ++j) {
                const std::uint32_t first = std::max(p[i], p[j]);
                row[j - s] -= profile_dot(w[j - i0] + (first - s), row + (first - s), j - first);
            }
            // One division per entry in a loop of its own, so that it vectorises.
            const std::size_t length = i - p[i];
            double* t = row + (p[i] - s);
            unscaled.assign(t, t + length);
            const double* pivot = pivot_of.data() + p[i];
            for (std::size_t k = 0; k < length; ++k)
                t[k] /= pivot[k];
            // The pivot summed term after term as the row-by-row form sums it: a
            // matrix of one block gets the very pivots of that form, and a singular
            // one the same count of tiny pivots.
            double d = row[i - s];
            for (std::size_t k = 0; k < length; ++k)
                d = multiply_add(-t[k], unscaled[k], d);
            row[i - s] = pivots.accept(i, d);
            pivot_of[i] = row[i - s];
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t i = i0 + r;
            std::copy(w[r] + (p[i] - s), w[r] + (i - s) + 1, a + (diag[i] - (i - p[i])));
        }
        i0 = i1;
    }
    return pivots.count();
}

double SkySymMat::factor_flops() const
{
    double flops = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        for (std::uint32_t j = p[i]; j < i; ++j)
            flops += 2.0 * (j - std::max(p[i], p[j]));
        flops += 3.0 * (i - p[i]);
    }
    return flops;
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
            xv[k] = multiply_add(-row[k - first], xi, xv[k]);
    }
}

namespace {

// x -= sum over k < length of l[k] * (row first + k of X), for the columns
// [c0, c0 + 4 * G) of X: G vector sums held in registers over the whole run.
template <int G>
void subtract_row_products(const double* l, std::size_t length, const Matrix& X,
                           std::uint32_t first, unsigned c0, double* x)
{
    Lanes sum[G];
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g)
        sum[g] = Lanes{0.0, 0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < length; ++k) {
        const double* xk = X[static_cast<unsigned>(first + k)] + c0;
        const Lanes lk = Lanes{l[k], l[k], l[k], l[k]};
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            Lanes v;
            load_lanes(v, xk + 4 * g);
            add_product(sum[g], lk, v);
        }
    }
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g)
        for (int t = 0; t < 4; ++t)
            x[c0 + 4 * g + t] -= sum[g][t];
}

// Rows first ... first + length - 1 of X -= l[k] * y, for the columns [c0, c0 + 4 G).
template <int G>
void subtract_scaled_row(const double* l, std::size_t length, Matrix& X, std::uint32_t first,
                         unsigned c0, const double* y)
{
    Lanes yv[G];
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g)
        load_lanes(yv[g], y + c0 + 4 * g);
    for (std::size_t k = 0; k < length; ++k) {
        double* xk = X[static_cast<unsigned>(first + k)] + c0;
        const Lanes lk = Lanes{l[k], l[k], l[k], l[k]};
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            Lanes v;
            load_lanes(v, xk + 4 * g);
            subtract_product(v, lk, yv[g]);
            std::memcpy(xk + 4 * g, &v, sizeof v);
        }
    }
}

} // namespace

// Row i of X holds the i-th entry of every column: each entry of L is loaded once
// for up to sixteen columns, whose sums stay in registers.
void SkySymMat::LDLt_solve(Matrix& X) const
{
    if (n == 0)
        return;
    KV_ASSERT(X.size1() == n);
    const unsigned columns = X.size2();
    const unsigned grouped = columns - columns % 4;
    std::vector<double> y(columns);
    for (std::uint32_t i = 1; i < n; ++i) {
        const std::uint32_t first = p[i];
        const double* row = a + (diag[i] - (i - first));
        const std::size_t length = i - first;
        double* xi = X[i];
        unsigned c0 = 0;
        for (; c0 + 16 <= grouped; c0 += 16)
            subtract_row_products<4>(row, length, X, first, c0, xi);
        switch ((grouped - c0) / 4) {
        case 3:
            subtract_row_products<3>(row, length, X, first, c0, xi);
            break;
        case 2:
            subtract_row_products<2>(row, length, X, first, c0, xi);
            break;
        case 1:
            subtract_row_products<1>(row, length, X, first, c0, xi);
            break;
        default:
            break;
        }
        for (unsigned c = grouped; c < columns; ++c) {
            double sum = 0.0;
            for (std::size_t k = 0; k < length; ++k)
                sum = multiply_add(row[k], X[static_cast<unsigned>(first + k)][c], sum);
            xi[c] -= sum;
        }
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        double* xi = X[i];
        const double d = a[diag[i]];
        for (unsigned c = 0; c < columns; ++c)
            xi[c] /= d;
    }
    for (std::uint32_t i = n - 1; i >= 1; --i) {
        const std::uint32_t first = p[i];
        const double* row = a + (diag[i] - (i - first));
        const std::size_t length = i - first;
        std::copy(X[i], X[i] + columns, y.begin());
        unsigned c0 = 0;
        for (; c0 + 16 <= grouped; c0 += 16)
            subtract_scaled_row<4>(row, length, X, first, c0, y.data());
        switch ((grouped - c0) / 4) {
        case 3:
            subtract_scaled_row<3>(row, length, X, first, c0, y.data());
            break;
        case 2:
            subtract_scaled_row<2>(row, length, X, first, c0, y.data());
            break;
        case 1:
            subtract_scaled_row<1>(row, length, X, first, c0, y.data());
            break;
        default:
            break;
        }
        for (unsigned c = grouped; c < columns; ++c)
            for (std::size_t k = 0; k < length; ++k)
                X[static_cast<unsigned>(first + k)][c] =
                    multiply_add(-row[k], y[c], X[static_cast<unsigned>(first + k)][c]);
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
