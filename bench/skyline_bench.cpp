// Skyline L D L^T factorisation and substitution on a banded symmetric positive
// definite matrix, the kind of profile a numbered structural mesh gives.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "skyline.h"

namespace {

using KelVane::SkySymMat;
using KelVane::Vector;

// Entry (i, j), j <= i <= j + half_band, of a diagonally dominant band matrix.
double band_entry(std::uint32_t i, std::uint32_t j)
{
    if (i == j)
        return 12.0 + 0.001 * (i % 7);
    return -1.0 / (1.0 + (i - j)) + 0.0001 * ((i + 3 * j) % 5);
}

void assemble(SkySymMat& A, std::uint32_t n, std::uint32_t half_band, bool declare)
{
    if (declare)
        for (std::uint32_t i = 0; i < n; ++i)
            if (i > 0)
                A.geometry(i + 1, (i > half_band ? i - half_band : 0) + 1);
    A.zero();
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = (i > half_band ? i - half_band : 0); j <= i; ++j)
            A.add(i + 1, j + 1, band_entry(i, j));
}

Vector right_hand_side(std::uint32_t n)
{
    Vector b(n);
    for (std::uint32_t i = 0; i < n; ++i)
        b[i] = std::sin(0.001 * i) + 1.0;
    return b;
}

// The same factorisation and substitutions written plainly on band storage with one
// running sum per entry: the reference the optimised profile code must agree with.
std::vector<double> reference_solution(std::uint32_t n, std::uint32_t half_band)
{
    const std::size_t width = half_band + 1;
    std::vector<double> band(n * width, 0.0);
    auto at = [&](std::uint32_t i, std::uint32_t j) -> double& {
        return band[i * width + (j + half_band - i)];
    };
    auto first = [&](std::uint32_t i) { return i > half_band ? i - half_band : 0u; };
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = first(i); j <= i; ++j)
            at(i, j) = band_entry(i, j);

    for (std::uint32_t i = 0; i < n; ++i) {
        for (std::uint32_t j = first(i); j < i; ++j) {
            double sum = at(i, j);
            for (std::uint32_t k = std::max(first(i), first(j)); k < j; ++k)
                sum -= at(j, k) * at(i, k);
            at(i, j) = sum;
        }
        double d = at(i, i);
        for (std::uint32_t k = first(i); k < i; ++k) {
            const double t = at(i, k);
            at(i, k) = t / at(k, k);
            d -= at(i, k) * t;
        }
        at(i, i) = d;
    }

    const Vector b = right_hand_side(n);
    std::vector<double> x(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        double sum = b[i];
        for (std::uint32_t k = first(i); k < i; ++k)
            sum -= at(i, k) * x[k];
        x[i] = sum;
    }
    for (std::uint32_t i = 0; i < n; ++i)
        x[i] /= at(i, i);
    for (std::uint32_t i = n; i-- > 1;)
        for (std::uint32_t k = first(i); k < i; ++k)
            x[k] -= at(i, k) * x[i];
    return x;
}

double max_relative_difference(const Vector& x, const std::vector<double>& reference)
{
    double difference = 0.0;
    double size = 0.0;
    for (std::uint32_t i = 0; i < x.size(); ++i) {
        difference = std::max(difference, std::fabs(x[i] - reference[i]));
        size = std::max(size, std::fabs(reference[i]));
    }
    return difference / size;
}

void BM_SkylineLDLtFactor(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const auto half_band = static_cast<std::uint32_t>(state.range(1));
    SkySymMat A(n);
    assemble(A, n, half_band, true);

    // Once: the solution must match the plain reference to rounding.
    Vector x;
    A.solve(right_hand_side(n), x);
    const double difference = max_relative_difference(x, reference_solution(n, half_band));
    if (!(difference < 1e-12)) {
        state.SkipWithError("skyline solution differs from the reference");
        return;
    }

    for (auto _ : state) {
        state.PauseTiming();
        assemble(A, n, half_band, false);
        state.ResumeTiming();
        benchmark::DoNotOptimize(A.LDLt_factor());
    }
    const double flops = static_cast<double>(n) * half_band * half_band;
    state.counters["GFLOP/s"] =
        benchmark::Counter(flops * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["rel_diff_to_reference"] = difference;
}

void BM_SkylineLDLtSolve(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const auto half_band = static_cast<std::uint32_t>(state.range(1));
    SkySymMat A(n);
    assemble(A, n, half_band, true);
    const Vector b = right_hand_side(n);
    Vector x;
    A.solve(b, x); // factorises; the loop below only substitutes
    for (auto _ : state) {
        A.solve(b, x);
        benchmark::DoNotOptimize(x[0]);
    }
    // Forward and backward substitution: two multiply-adds per stored entry.
    const double flops = 4.0 * n * half_band;
    state.counters["GFLOP/s"] =
        benchmark::Counter(flops * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_SkylineLDLtFactor)->Args({40000, 200})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkylineLDLtSolve)->Args({40000, 200})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
