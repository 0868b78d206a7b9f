#include "skyline.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <utility>

#include "kv_assert.h"

namespace KelVane {

namespace {

// An element of a diagonal matrix below this fraction of its largest is zero.
constexpr double vanishing_ratio = 1e-12;

} // namespace

DiagonalSysMat::DiagonalSysMat(std::uint32_t n_) : n(n_), diagonal(n_, 0.0) {}

DiagonalSysMat::~DiagonalSysMat() = default;

void DiagonalSysMat::geometry(unsigned i, unsigned j)
{
    if (i != j || i < 1 || i > n) {
        std::ostringstream message;
        message << "matrix element (" << i << "," << j
                << ") does not fit in diagonal matrix of size " << n;
        throw dimension_error(message.str());
    }
}

void DiagonalSysMat::zero()
{
    std::fill(diagonal.begin(), diagonal.end(), 0.0);
    inverted = false;
}

void DiagonalSysMat::add(unsigned i, unsigned j, double value)
{
    if (inverted)
        throw program_error("can not add matrix component to an inverted matrix");
    geometry(i, j);
    diagonal[i - 1] += value;
}

void DiagonalSysMat::print(const std::string& title)
{
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    if (inverted)
        std::cout << "Inverted ";
    std::cout << title << "\n\n" << std::scientific << std::setprecision(3);
    const std::uint32_t shown = std::min<std::uint32_t>(n, 10);
    for (std::uint32_t i = 0; i < shown; ++i) {
        for (std::uint32_t j = 0; j < i; ++j)
            std::cout << std::setw(10) << 0.0;
        std::cout << std::setw(10) << diagonal[i] << '\n';
    }
    std::cout.flush();
    std::cout.flags(flags);
    std::cout.precision(precision);
}

void DiagonalSysMat::set_groups(std::vector<unsigned char> group_of)
{
    KV_ASSERT(group_of.size() == n);
    group = std::move(group_of);
}

// An element vanishes beside the largest finite one of its group (a mass is not
// zero because its unit is small, nor a mass beside the rotary inertia of a long
// beam, whose unit is a length squared larger); when that is zero, every element
// of the group vanishes. An element that is not a number vanishes as well.
std::vector<std::uint32_t> DiagonalSysMat::vanishing_elements() const
{
    std::vector<std::uint32_t> vanishing;
    if (inverted) return vanishing;
    const auto group_of = [this](std::uint32_t i) { return group.empty() ? 0u : group[i]; };
    std::vector<double> largest(1, 0.0);
    for (std::uint32_t i = 0; i < n; ++i) {
        const unsigned g = group_of(i);
        if (g >= largest.size()) largest.resize(g + 1, 0.0);
        const double d = diagonal[i];
        if (std::fabs(d) > largest[g] && std::isfinite(d))
            largest[g] = std::fabs(d);
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        const double d = diagonal[i];
        if (!(std::fabs(d) >= vanishing_ratio * largest[group_of(i)]) || !(std::fabs(d) > 0.0))
            vanishing.push_back(i + 1);
    }
    return vanishing;
}

// The elements are all checked before any is inverted, so a matrix with vanishing
// elements is left as it was assembled.
void DiagonalSysMat::solve(const Vector& b, Vector& x)
{
    KV_ASSERT(b.size() == n);
    if (!inverted) {
        const std::size_t vanishing = vanishing_elements().size();
        if (vanishing != 0) {
            std::ostringstream message;
            message << "there are " << vanishing << " (almost) zero pivots found!";
            throw matrix_error(message.str());
        }
        for (double& d : diagonal)
            d = 1.0 / d;
        inverted = true;
    }
    x.resize(n);
    for (std::uint32_t i = 0; i < n; ++i)
        x[i] = b[i] * diagonal[i];
}

} // namespace KelVane
