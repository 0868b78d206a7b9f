#ifndef KELVANED_PIVOT_WATCH_H
#define KELVANED_PIVOT_WATCH_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace KelVane {

// Tiny pivots of a factorisation without pivoting. A pivot is judged against the
// diagonal entry of its own equation as assembled: a change of unit scales an
// equation's pivot and its diagonal alike, so their ratio is the same in every
// consistent set of units, while the equations of one matrix (forces and moments,
// forces and heat flows) may differ by any factor among themselves.
//  - A pivot below 1e-20 of its diagonal (or not a number) is zero: it is replaced
//    by 1e-20 of the diagonal, positive, and counted.
//  - A pivot below 1e-10 of its diagonal lost ten digits or more to cancellation
//    (rounding noise in place of a zero pivot): the count is then at least 1.
// An equation with a zero diagonal is judged against the largest diagonal of the
// matrix (or against 1 when every diagonal is zero).
class PivotWatch {
public:
    template <class Diagonal>
    PivotWatch(std::uint32_t n, Diagonal diagonal) : scale(n)
    {
        double largest = 0.0;
        for (std::uint32_t i = 0; i < n; ++i) {
            scale[i] = std::fabs(diagonal(i));
            if (scale[i] > largest)
                largest = scale[i];
        }
        // Not a number or infinite: the pivots are judged against 1.
        if (!(largest > 0.0) || !(largest <= std::numeric_limits<double>::max()))
            largest = 1.0;
        for (double& s : scale)
            if (!(s > 0.0) || !(s <= std::numeric_limits<double>::max()))
                s = largest;
    }

    // The pivot to store for equation i (from 0) whose pivot came out as d.
    double accept(std::uint32_t i, double d)
    {
        const double s = scale[i];
        const double magnitude = std::fabs(d);
        if (!(magnitude >= noise_ratio * s))
            noisy = true;
        if (!(magnitude >= zero_ratio * s)) {
            ++tiny;
            return zero_ratio * s;
        }
        return d;
    }

    unsigned count() const { return noisy ? std::max(tiny, 1u) : tiny; }

private:
    static constexpr double zero_ratio = 1e-20;
    static constexpr double noise_ratio = 1e-10;
    std::vector<double> scale;
    unsigned tiny = 0;
    bool noisy = false;
};

} // namespace KelVane

#endif
