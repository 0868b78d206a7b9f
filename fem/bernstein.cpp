#include "bernstein.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "kv_assert.h"

namespace KelVane {

namespace {

// (n + 1)^d: the number of coefficients.
std::size_t coefficient_count(int dimension, int degree)
{
    std::size_t count = 1;
    for (int a = 0; a < dimension; ++a) count *= static_cast<std::size_t>(degree + 1);
    return count;
}

// Distance between neighbours along axis a in the coefficient array.
std::size_t stride(int axis, int degree)
{
    return coefficient_count(axis, degree);
}

// The first index of every line along `axis`.
std::vector<std::size_t> line_starts(int dimension, int degree, int axis)
{
    const std::size_t along = stride(axis, degree);
    const std::size_t total = coefficient_count(dimension, degree);
    const std::size_t span = along * static_cast<std::size_t>(degree + 1);
    std::vector<std::size_t> starts;
    for (std::size_t block = 0; block < total; block += span)
        for (std::size_t k = 0; k < along; ++k) starts.push_back(block + k);
    return starts;
}

// The Bernstein coefficients of the polynomial of degree n in one parameter
// that takes the values f[j] at t = j / n: the solution of sum_k
// C(n, k) t_j^k (1 - t_j)^(n - k) b_k = f_j, by elimination with row exchanges.
std::vector<double> coefficients_from_values(int n, std::vector<double> f)
{
    const int size = n + 1;
    std::vector<std::vector<double>> A(size, std::vector<double>(size));
    for (int j = 0; j < size; ++j) {
        const double t = static_cast<double>(j) / n;
        double binomial = 1.0;
        for (int k = 0; k < size; ++k) {
            A[j][k] = binomial * std::pow(t, k) * std::pow(1.0 - t, n - k);
            binomial = binomial * (n - k) / (k + 1);
        }
    }
    for (int c = 0; c < size; ++c) {
        int pivot = c;
        for (int r = c + 1; r < size; ++r)
            if (std::fabs(A[r][c]) > std::fabs(A[pivot][c])) pivot = r;
        std::swap(A[c], A[pivot]);
        std::swap(f[c], f[pivot]);
        for (int r = c + 1; r < size; ++r) {
            const double factor = A[r][c] / A[c][c];
            for (int k = c; k < size; ++k) A[r][k] -= factor * A[c][k];
            f[r] -= factor * f[c];
        }
    }
    std::vector<double> b(size);
    for (int r = size - 1; r >= 0; --r) {
        double sum = f[r];
        for (int k = r + 1; k < size; ++k) sum -= A[r][k] * b[k];
        b[r] = sum / A[r][r];
    }
    return b;
}

}  // namespace

BernsteinPolynomial::BernsteinPolynomial(int dimension, int degree,
                                         const std::vector<double>& values)
    : dimension_(dimension), degree_(degree), coefficients_(values)
{
    KV_ASSERT(dimension >= 1 && degree >= 1);
    KV_ASSERT(values.size() == coefficient_count(dimension, degree));
    const std::size_t size = static_cast<std::size_t>(degree + 1);
    for (int axis = 0; axis < dimension; ++axis) {
        const std::size_t along = stride(axis, degree);
        for (std::size_t start : line_starts(dimension, degree, axis)) {
            std::vector<double> line(size);
            for (std::size_t k = 0; k < size; ++k) line[k] = coefficients_[start + k * along];
            line = coefficients_from_values(degree, line);
            for (std::size_t k = 0; k < size; ++k) coefficients_[start + k * along] = line[k];
        }
    }
}

double BernsteinPolynomial::least_coefficient() const
{
    return *std::min_element(coefficients_.begin(), coefficients_.end());
}

double BernsteinPolynomial::corner_value(unsigned corner) const
{
    std::size_t index = 0;
    for (int axis = 0; axis < dimension_; ++axis)
        if (corner & (1u << axis)) index += stride(axis, degree_) * static_cast<std::size_t>(degree_);
    return coefficients_[index];
}

std::vector<BernsteinPolynomial> BernsteinPolynomial::halves() const
{
    std::vector<BernsteinPolynomial> pieces = {*this};
    const std::size_t size = static_cast<std::size_t>(degree_ + 1);
    for (int axis = 0; axis < dimension_; ++axis) {
        const std::size_t along = stride(axis, degree_);
        const std::vector<std::size_t> starts = line_starts(dimension_, degree_, axis);
        std::vector<BernsteinPolynomial> cut;
        for (const BernsteinPolynomial& piece : pieces) {
            BernsteinPolynomial lower = piece;
            BernsteinPolynomial upper = piece;
            for (std::size_t start : starts) {
                // de Casteljau at 1/2: the lower half takes the first value of
                // every round of averages, the upper half the last.
                std::vector<double> line(size);
                for (std::size_t k = 0; k < size; ++k)
                    line[k] = piece.coefficients_[start + k * along];
                for (std::size_t round = 0; round < size; ++round) {
                    lower.coefficients_[start + round * along] = line[0];
                    upper.coefficients_[start + (size - 1 - round) * along] =
                        line[size - 1 - round];
                    for (std::size_t k = 0; k + 1 + round < size; ++k)
                        line[k] = 0.5 * (line[k] + line[k + 1]);
                }
            }
            cut.push_back(std::move(lower));
            cut.push_back(std::move(upper));
        }
        pieces = std::move(cut);
    }
    // Cut axis by axis, the pieces stand with the last axis's half in the lowest
    // bit of their position: reorder them so that bit a is axis a's half.
    std::vector<BernsteinPolynomial> ordered;
    const unsigned count = 1u << dimension_;
    for (unsigned index = 0; index < count; ++index) {
        unsigned position = 0;
        for (int axis = 0; axis < dimension_; ++axis)
            if (index & (1u << axis)) position |= 1u << (dimension_ - 1 - axis);
        ordered.push_back(pieces[position]);
    }
    return ordered;
}

std::vector<double> place_falling_short(
    const BernsteinPolynomial& p, double tolerance,
    const std::function<double(const std::vector<double>& place)>& shortfall, int depth,
    std::size_t pieces)
{
    struct Piece {
        BernsteinPolynomial polynomial;
        std::vector<double> origin;
        double width;
    };
    const int d = p.dimension();
    std::vector<Piece> level = {{p, std::vector<double>(static_cast<std::size_t>(d), 0.0), 1.0}};
    for (int round = 0; round <= depth && !level.empty(); ++round) {
        std::vector<double> worst_place;
        double worst = 0.0;
        std::vector<Piece> next;
        for (const Piece& piece : level) {
            if (!(piece.polynomial.least_coefficient() < -tolerance)) continue;
            for (unsigned corner = 0; corner < (1u << d); ++corner) {
                if (!(piece.polynomial.corner_value(corner) < -tolerance)) continue;
                std::vector<double> place = piece.origin;
                for (int axis = 0; axis < d; ++axis)
                    if (corner & (1u << axis)) place[axis] += piece.width;
                const double short_by = shortfall(place);
                if (short_by > worst) {
                    worst = short_by;
                    worst_place = place;
                }
            }
            if (round == depth || next.size() >= pieces) continue;
            const std::vector<BernsteinPolynomial> halves = piece.polynomial.halves();
            for (unsigned h = 0; h < halves.size(); ++h) {
                std::vector<double> origin = piece.origin;
                for (int axis = 0; axis < d; ++axis)
                    if (h & (1u << axis)) origin[axis] += 0.5 * piece.width;
                next.push_back({halves[h], origin, 0.5 * piece.width});
            }
        }
        if (!worst_place.empty()) return worst_place;
        level = std::move(next);
    }
    return {};
}

}  // namespace KelVane
