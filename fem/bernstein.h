#ifndef KELVANED_BERNSTEIN_H
#define KELVANED_BERNSTEIN_H

#include <functional>
#include <vector>

namespace KelVane {

// A polynomial over the unit square or cube [0, 1]^d in Bernstein form: of degree
// n in each parameter, the sum of coefficient (i_1, ..., i_d) times the product
// over the axes of C(n, i_a) t_a^i_a (1 - t_a)^(n - i_a). Its values lie between
// its least and its largest coefficient, and a coefficient at a corner of the
// lattice is its value at that corner of the box.
class BernsteinPolynomial {
public:
    // The polynomial that takes `values` at the lattice points t_a = j / n,
    // the first parameter counting fastest ((n + 1)^d values).
    BernsteinPolynomial(int dimension, int degree, const std::vector<double>& values);

    int dimension() const { return dimension_; }
    int degree() const { return degree_; }
    double least_coefficient() const;
    // The value at corner `corner` of the box: bit a of it set puts parameter a
    // at 1, cleared at 0.
    double corner_value(unsigned corner) const;
    // The same polynomial over each half of the box cut across every axis at
    // t_a = 1/2, each half's parameters stretched back to [0, 1]: 2^d
    // polynomials, bit a of a half's index set for the upper half along axis a.
    std::vector<BernsteinPolynomial> halves() const;

private:
    int dimension_;
    int degree_;
    std::vector<double> coefficients_;
};

// Searches [0, 1]^d for a place where the polynomial p falls short of what it
// may be there. The box is cut into halves level by level; a piece whose
// coefficients are all at least -tolerance holds no such place and is dropped.
// At each level `shortfall` is asked about the corners of the pieces left whose
// value is below -tolerance (it returns by how much the polynomial falls short
// there, 0 or less where it does not), and the place of the largest shortfall
// of the first level that has one is returned, empty when there is none. The
// pieces left after `depth` levels, or beyond `pieces` pieces on one level, have
// no corner that falls short and are taken as they are.
std::vector<double> place_falling_short(
    const BernsteinPolynomial& p, double tolerance,
    const std::function<double(const std::vector<double>& place)>& shortfall, int depth = 10,
    std::size_t pieces = 1024);

}  // namespace KelVane

#endif
