#ifndef KELVANED_SHAPE_H
#define KELVANED_SHAPE_H

#include <cstdint>
#include <vector>

#include "integration.h"
#include "kvmatrix.h"
#include "shape_check.h"

namespace KelVane {

// An element integration rule with the shape functions and their natural
// derivatives at its points, k-1 holding point k.
struct ShapeRule {
    IntLocs locations;
    std::vector<Matrix> N;
    std::vector<Matrix> dNdxi;
};

// Geometry family and node layout of a numerically integrated element: shape
// functions and their natural derivatives, integration points over the element and
// along its faces, and the face tangents in natural coordinates.
class Shape {
public:
    virtual ~Shape() = default;

    // 1 x (number of nodes).
    virtual Matrix get_N(const Vector& coordinates) const = 0;
    // (natural dimension) x (number of nodes); row k derives by natural coordinate k.
    virtual Matrix get_dNdxi(const Vector& coordinates) const = 0;
    virtual IntLocs get_int_locs() const = 0;
    virtual int nr_int_locs() const = 0;
    // Points along a face, in the element's natural coordinates, with 1-D weights on
    // [-1, 1]; the face's own length or area enters through dVdA.
    virtual IntLocs get_int_locs_face(int face) const = 0;
    // Derivatives of the element's natural coordinates by the face's own coordinates.
    virtual Matrix dVdA(int face) const = 0;
    // Faces are numbered from 1 to this.
    virtual int nr_faces() const = 0;
    // Natural coordinates of the centre, then of a regular lattice over the
    // element that holds every place where a node of the family may sit (corners,
    // mid-sides): where a mis-numbered or distorted element folds although its
    // integration points do not show it.
    virtual std::vector<Vector> fold_check_points() const = 0;
    // True for the families whose shape functions are linear along every natural
    // coordinate (3-node triangle, 4-node quadrilateral, 8-node hexahedron): their
    // Jacobian is judged where the stiffness is integrated and at the centre, as a
    // sound but strongly distorted one may have a slightly re-entrant corner.
    virtual bool linear() const { return false; }
    // The element's natural domain as the image of the unit square or cube: the
    // natural coordinates of the place with the parameters t (t_a in [0, 1], as
    // many as the natural dimension), and the degree in each parameter of the
    // Jacobian determinant there, a polynomial whatever the nodes: its sign over
    // the whole element follows from its Bernstein form.
    virtual Vector natural_place(const std::vector<double>& t) const = 0;
    virtual int determinant_degree() const = 0;
    // Where the nodes at X (one node a row, in the element's order) cross, for the
    // families whose nodes can be ordered into a bow tie that stays positive where
    // the Jacobian is judged (the 4-node quadrilateral and the 8-node hexahedron).
    virtual Crossing crossing(const Matrix&) const { return {}; }

    // The rule of get_int_locs with get_N and get_dNdxi at its points: made once for
    // each shape class and rule, and shared by every shape of that class and rule.
    const ShapeRule& rule() const;

protected:
    // Tells apart the element rules of one shape family.
    virtual std::uint32_t rule_code() const = 0;
};

// Triangles in area coordinates (L1, L2, L3); edge 1 runs from L1 = 1 to L2 = 1,
// edge 2 from L2 = 1 to L3 = 1, edge 3 from L3 = 1 to L1 = 1.
class Triangular : public Shape {
public:
    explicit Triangular(std::uint32_t n_int) : n_int(n_int) {}

    IntLocs get_int_locs() const override;
    int nr_int_locs() const override;
    IntLocs get_int_locs_face(int face) const override;
    Matrix dVdA(int face) const override;
    int nr_faces() const override { return 3; }
    std::vector<Vector> fold_check_points() const override;
    // (L1, L2, L3) = (t1, (1 - t1) t2, (1 - t1)(1 - t2)): the square folded onto the
    // triangle along its side t1 = 1, which goes to the corner L1 = 1. A
    // polynomial of total degree n in L1 and L2 is one of degree n in t1 and t2.
    Vector natural_place(const std::vector<double>& t) const override;

protected:
    std::uint32_t rule_code() const override { return n_int; }

private:
    std::uint32_t n_int;
};

// Quadrilaterals on (xi, eta) in [-1, 1]^2; faces 1 to 4 are the edges eta = -1,
// xi = 1, eta = 1 and xi = -1, walked counter-clockwise.
class Quadrilateral : public Shape {
public:
    Quadrilateral(std::uint32_t n_xi, std::uint32_t n_eta) : n_xi(n_xi), n_eta(n_eta) {}

    IntLocs get_int_locs() const override;
    int nr_int_locs() const override;
    IntLocs get_int_locs_face(int face) const override;
    Matrix dVdA(int face) const override;
    int nr_faces() const override { return 4; }
    std::vector<Vector> fold_check_points() const override;
    // (xi, eta) = (2 t1 - 1, 2 t2 - 1).
    Vector natural_place(const std::vector<double>& t) const override;

protected:
    // Rules of more than 6 points a direction are refused before a code is needed.
    std::uint32_t rule_code() const override { return n_xi * 100 + n_eta; }

private:
    std::uint32_t n_xi;
    std::uint32_t n_eta;
};

// Hexahedra on (xi, eta, zeta) in [-1, 1]^3; faces 1 to 6 are eta = -1, eta = 1,
// zeta = -1, xi = 1, zeta = 1 and xi = -1.
class Hexagonal : public Shape {
public:
    Hexagonal(std::uint32_t n_xi, std::uint32_t n_eta, std::uint32_t n_zeta)
        : n_xi(n_xi), n_eta(n_eta), n_zeta(n_zeta)
    {
    }

    IntLocs get_int_locs() const override;
    int nr_int_locs() const override;
    IntLocs get_int_locs_face(int face) const override;
    Matrix dVdA(int face) const override;
    int nr_faces() const override { return 6; }
    std::vector<Vector> fold_check_points() const override;
    // (xi, eta, zeta) = (2 t1 - 1, 2 t2 - 1, 2 t3 - 1).
    Vector natural_place(const std::vector<double>& t) const override;

protected:
    std::uint32_t rule_code() const override { return (n_xi * 100 + n_eta) * 100 + n_zeta; }

private:
    std::uint32_t n_xi;
    std::uint32_t n_eta;
    std::uint32_t n_zeta;
};

// Linear 3-node triangle; node k sits where Lk = 1.
class Tri_lin : public Triangular {
public:
    explicit Tri_lin(std::uint32_t n_int) : Triangular(n_int) {}
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    // Constant, a polynomial of any degree.
    int determinant_degree() const override { return 1; }
    bool linear() const override { return true; }
};

// Quadratic 6-node triangle in perimeter order: corners 1, 3, 5, mid-sides 2, 4, 6.
class Tri_quad : public Triangular {
public:
    explicit Tri_quad(std::uint32_t n_int) : Triangular(n_int) {}
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    // The derivatives are linear in L1 and L2, their products quadratic.
    int determinant_degree() const override { return 2; }
};

// Quadratic 6-node triangle, corners 1, 2, 3 first, then the mid-sides of 1-2, 2-3, 3-1.
class Tri_quad_alt : public Triangular {
public:
    explicit Tri_quad_alt(std::uint32_t n_int) : Triangular(n_int) {}
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    int determinant_degree() const override { return 2; }
};

// Bilinear 4-node quadrilateral, corners counter-clockwise from (-1, -1).
class Quad_lin : public Quadrilateral {
public:
    Quad_lin(std::uint32_t n_xi, std::uint32_t n_eta) : Quadrilateral(n_xi, n_eta) {}
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    // x_xi is linear in eta, x_eta in xi: a + b xi + c eta.
    int determinant_degree() const override { return 1; }
    bool linear() const override { return true; }
    Crossing crossing(const Matrix& X) const override { return quadrilateral_crossing(X); }
};

// 8-node serendipity quadrilateral in perimeter order, counter-clockwise from (-1, -1).
class Quad_quad : public Quadrilateral {
public:
    Quad_quad(std::uint32_t n_xi, std::uint32_t n_eta) : Quadrilateral(n_xi, n_eta) {}
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    // x_xi is of degree 1 in xi and 2 in eta, x_eta the other way round.
    int determinant_degree() const override { return 3; }
};

// 8-node serendipity quadrilateral, the four corners first, then the mid-sides.
class Quad_quad_alt : public Quadrilateral {
public:
    Quad_quad_alt(std::uint32_t n_xi, std::uint32_t n_eta) : Quadrilateral(n_xi, n_eta) {}
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    int determinant_degree() const override { return 3; }
};

// Trilinear 8-node hexahedron: the face zeta = -1 counter-clockwise, then zeta = 1.
class Hex_lin : public Hexagonal {
public:
    Hex_lin(std::uint32_t n_xi, std::uint32_t n_eta, std::uint32_t n_zeta)
        : Hexagonal(n_xi, n_eta, n_zeta)
    {
    }
    Matrix get_N(const Vector& coordinates) const override;
    Matrix get_dNdxi(const Vector& coordinates) const override;
    // Row k of J is bilinear in the two coordinates other than k: each term of
    // the determinant takes one row, so its degree is 2 in every coordinate.
    int determinant_degree() const override { return 2; }
    bool linear() const override { return true; }
    Crossing crossing(const Matrix& X) const override { return hexahedron_crossing(X); }
};

}  // namespace KelVane

#endif
