#include "total_lagrange.h"

#include <iostream>
#include <istream>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>

#include "collect_array.h"
#include "draw_shape.h"
#include "errors.h"
#include "integration.h"
#include "kv_assert.h"
#include "material.h"
#include "shape.h"
#include "stress_state.h"

using KelVane::IntLocs;
using KelVane::Matrix;
using KelVane::Vector;

namespace {

constexpr double two_pi = 6.28318530718;

[[noreturn]] void refuse_stress_state(const char* message)
{
    std::cerr << message << std::endl;
    throw kelvaned_error(message);
}

// Places the symmetric block b (size d x d) on the diagonal of S at every offset
// of d up to `copies` blocks.
void put_diagonal_blocks(Matrix& S, const double (&b)[3][3], unsigned d, unsigned copies)
{
    for (unsigned c = 0; c < copies; ++c)
        for (unsigned i = 1; i <= d; ++i)
            for (unsigned j = 1; j <= d; ++j) S(c * d + i, c * d + j) = b[i - 1][j - 1];
}

}  // namespace

// ---------------------------------------------------------------------------
// TLNumIntStructElement

TLNumIntStructElement::TLNumIntStructElement(std::uint32_t number, KelVane::Node** node_list,
                                             std::uint32_t node_count, std::uint32_t element_dofs,
                                             std::uint32_t structural_count,
                                             KelVane::Material_type* material_group,
                                             KelVane::Geometry* geometry_group, int state,
                                             int point_count)
    : NumIntStructElement(number, node_list, node_count, structural_count, element_dofs,
                          material_group, geometry_group, state, point_count),
      gradient_count(point_count),
      committed_F(nullptr),
      current_F(nullptr)
{
    committed_F = new Tensor2Gen[point_count];
    try {
        current_F = new Tensor2Gen[point_count];
    } catch (...) {
        delete[] committed_F;
        throw;
    }
    const Tensor2Gen identity(1);
    for (int k = 0; k < point_count; ++k) {
        committed_F[k] = identity;
        current_F[k] = identity;
    }
}

TLNumIntStructElement::~TLNumIntStructElement()
{
    delete[] committed_F;
    delete[] current_F;
}

const Tensor2Gen& TLNumIntStructElement::committed_gradient(int k) const
{
    KV_ASSERT(k >= 1 && k <= gradient_count);
    return committed_F[k - 1];
}

const Tensor2Gen& TLNumIntStructElement::current_gradient(int k) const
{
    KV_ASSERT(k >= 1 && k <= gradient_count);
    return current_F[k - 1];
}

Matrix TLNumIntStructElement::get_dNdX(const Vector& location, const Matrix& X,
                                       double& det_J) const
{
    const Matrix dNdxi = get_shape().get_dNdxi(location);
    const Matrix J = dNdxi * X;
    det_J = determinant(J);
    check_orientation(det_J);
    return J.inv() * dNdxi;
}

double TLNumIntStructElement::volume_factor(const Vector& location, const Matrix& X,
                                            double det_J) const
{
    switch (stress_state) {
    case 2:
        return det_J * thickness();
    case 3: {
        // Radius of the point in the initial configuration.
        const double r = (get_shape().get_N(location) * X)(1, 1);
        return r * two_pi * det_J;
    }
    default:
        // Three-dimensional, and plane strain of unit thickness.
        return det_J;
    }
}

Matrix TLNumIntStructElement::get_BL_mat(const Vector& location, const Matrix& X,
                                         const Tensor2Gen& F, double& factor) const
{
    double det_J = 0.0;
    const Matrix dNdX = get_dNdX(location, X, det_J);
    const unsigned n = dNdX.size2();

    switch (stress_state) {
    case 1:
    case 2:
    case 3: {
        factor = volume_factor(location, X, det_J);
        const bool axisymmetric = stress_state == 3;
        Matrix BL(axisymmetric ? 4 : 3, structural_dofs, 0.0);
        const unsigned shear_row = axisymmetric ? 4 : 3;
        Matrix N;
        double r = 0.0;
        if (axisymmetric) {
            N = get_shape().get_N(location);
            r = (N * X)(1, 1);
            check_point_radius(r, X, number());
        }
        for (unsigned k = 1; k <= n; ++k) {
            const double a = dNdX(1, k);
            const double b = dNdX(2, k);
            const unsigned x = 2 * k - 1;
            const unsigned y = 2 * k;
            BL(1, x) = a * F(1, 1);
            BL(1, y) = a * F(2, 1);
            BL(2, x) = b * F(1, 2);
            BL(2, y) = b * F(2, 2);
            BL(shear_row, x) = a * F(1, 2) + b * F(1, 1);
            BL(shear_row, y) = a * F(2, 2) + b * F(2, 1);
            if (axisymmetric) BL(3, x) = F(3, 3) * N(1, k) / r;
        }
        return BL;
    }
    case 0: {
        factor = volume_factor(location, X, det_J);
        Matrix BL(6, structural_dofs, 0.0);
        for (unsigned k = 1; k <= n; ++k) {
            const double a = dNdX(1, k);
            const double b = dNdX(2, k);
            const double c = dNdX(3, k);
            for (int m = 1; m <= 3; ++m) {
                const unsigned column = 3 * (k - 1) + static_cast<unsigned>(m);
                BL(1, column) = a * F(m, 1);
                BL(2, column) = b * F(m, 2);
                BL(3, column) = c * F(m, 3);
                BL(4, column) = a * F(m, 2) + b * F(m, 1);
                BL(5, column) = b * F(m, 3) + c * F(m, 2);
                BL(6, column) = a * F(m, 3) + c * F(m, 1);
            }
        }
        return BL;
    }
    default:
        refuse_stress_state("wrong stress type in TLNumIntStructElement::get_BL_mat()");
    }
}

void TLNumIntStructElement::get_TL_B_mats(const Vector& location, const Matrix& X,
                                          const Tensor2Gen& F, Matrix& BL, Matrix& BNL,
                                          double& factor) const
{
    if (stress_state < 1 || stress_state > 3)
        refuse_stress_state("wrong stress type in TLNumInt2D::get_TL_B_mats()");
    BL = get_BL_mat(location, X, F, factor);

    double det_J = 0.0;
    const Matrix dNdX = get_dNdX(location, X, det_J);
    const unsigned n = dNdX.size2();
    const bool axisymmetric = stress_state == 3;
    BNL.resize(axisymmetric ? 5 : 4, structural_dofs);
    BNL.set_zero();
    Matrix N;
    double r = 0.0;
    if (axisymmetric) {
        N = get_shape().get_N(location);
        r = (N * X)(1, 1);
    }
    for (unsigned k = 1; k <= n; ++k) {
        const double a = dNdX(1, k);
        const double b = dNdX(2, k);
        BNL(1, 2 * k - 1) = a;
        BNL(2, 2 * k - 1) = b;
        BNL(3, 2 * k) = a;
        BNL(4, 2 * k) = b;
        if (axisymmetric) BNL(5, 2 * k - 1) = N(1, k) / r;
    }
}

Matrix TLNumIntStructElement::stress_matrix(int k) const
{
    const int ndim = nodal_dimension();
    KV_ASSERT(ndim>=1 && ndim <=3);
    const Vector s = structural_point(k).get_stress();
    Matrix S;
    switch (ndim) {
    case 1:
        S.resize(1, 1);
        S(1, 1) = s(1);
        break;
    case 2: {
        // The in-plane stress once for each displacement component; the
        // axisymmetric hoop stress acts on u_x / r.
        const bool axisymmetric = stress_state == 3;
        const double shear = axisymmetric ? s(4) : s(3);
        const double b[3][3] = {{s(1), shear, 0.0}, {shear, s(2), 0.0}, {0.0, 0.0, 0.0}};
        S.resize(axisymmetric ? 5 : 4, axisymmetric ? 5 : 4);
        S.set_zero();
        put_diagonal_blocks(S, b, 2, 2);
        if (axisymmetric) S(5, 5) = s(3);
        break;
    }
    default: {
        const double b[3][3] = {{s(1), s(4), s(6)}, {s(4), s(2), s(5)}, {s(6), s(5), s(3)}};
        S.resize(9, 9);
        S.set_zero();
        put_diagonal_blocks(S, b, 3, 3);
        break;
    }
    }
    return S;
}

Matrix TLNumIntStructElement::stiffness_matrix(Vector& f)
{
    const bool xp = is_xp();
    Matrix K(structural_dofs, structural_dofs, 0.0);
    if (xp) {
        f.resize(structural_dofs);
        f.set_zero();
    }
    const IntLocs locations = get_shape().get_int_locs();
    Matrix X;
    getCoordinateMatrix(*this, X, nodal_dimension());
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        Matrix BL, BNL;
        double factor = 0.0;
        get_TL_B_mats(locations.coordinates(k), X, current_F[k - 1], BL, BNL, factor);
        const double wf = locations.weight(k) * factor;
        const Matrix S = stress_matrix(k);
        // Material part, then the initial-stress part.
        Matrix D;
        point_tangent(k, xp, BL, wf, f, D);
        KelVane::add_AtBA(K, wf, BL, D);
        KelVane::add_AtBA(K, wf, BNL, S);
    }
    return K;
}

Vector TLNumIntStructElement::internal_forces()
{
    Vector f(structural_dofs, 0.0);
    Matrix X;
    getCoordinateMatrix(*this, X, nodal_dimension());
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        double factor = 0.0;
        const Matrix BL = get_BL_mat(locations.coordinates(k), X, current_F[k - 1], factor);
        add_Bt_vector(f, BL, structural_point(k).get_stress(), locations.weight(k) * factor);
    }
    return f;
}

void TLNumIntStructElement::update_state()
{
    const unsigned ndim = static_cast<unsigned>(nodal_dimension());
    const Vector du = get_dof_increments();
    KV_ASSERT(du.size() >= ndim * number_of_nodes);

    Matrix X;
    getCoordinateMatrix(*this, X, static_cast<int>(ndim));
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        double det_J = 0.0;
        const Matrix dNdX = get_dNdX(locations.coordinates(k), X, det_J);

        // Gradient of the step's displacement increment: H(i, j) = d(du_i)/dX_j.
        Tensor2Gen H(0);
        for (unsigned i = 1; i <= ndim; ++i)
            for (unsigned j = 1; j <= ndim; ++j) {
                double sum = 0.0;
                for (unsigned node = 1; node <= number_of_nodes; ++node)
                    sum += dNdX(j, node) * du(ndim * (node - 1) + i);
                H(static_cast<int>(i), static_cast<int>(j)) = sum;
            }

        // Every call starts again from the committed gradient. The strain
        // increment sym(Fc^T H) + H^T H / 2 is exactly E(Fc + H) - E(Fc).
        const Tensor2Gen& Fc = committed_F[k - 1];
        current_F[k - 1] = Fc + H;
        refuse_inverted_gradient(k);
        const Tensor2Sym dE = symmetric_part(transpose(Fc) * H) + 0.5 * AtA(H);
        structural_point(k).add_strain_increment(
            Tensor2StrainVector(dE, false, static_cast<int>(stress_state)));
    }
}

void TLNumIntStructElement::refuse_inverted_gradient(int k) const
{
    // Written so that a determinant that is not a number fails as well.
    const double J = det(current_F[k - 1]);
    if (J > 0.0) return;
    std::ostringstream message;
    message.imbue(std::locale::classic());
    message << "element " << number() << " is turned inside out: its deformation gradient "
            << "has determinant " << J << " at integration point " << k;
    throw KelVane::divergence_error(message.str());
}

void TLNumIntStructElement::accept()
{
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        committed_F[k - 1] = current_F[k - 1];
        get_point(k).accept();
    }
}

void TLNumIntStructElement::write_restart(std::ostream& os)
{
    NumIntElement::write_restart(os);
    KelVane::CollectArray gradients(128);
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) committed_F[k - 1].collect(gradients);
    os << gradients;
}

void TLNumIntStructElement::read_restart(std::istream& is)
{
    NumIntElement::read_restart(is);
    KelVane::CollectArray gradients;
    is >> gradients;
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        distribute(gradients, committed_F[k - 1]);
        current_F[k - 1] = committed_F[k - 1];
    }
    // Values left over belong to an element with more points: the file does not
    // belong to this model.
    if (gradients.cursor() != gradients.size()) throw KelVane::file_error("corrupt restart file");
}

void TLNumIntStructElement::print_nodal_results(std::ostream& os)
{
    const int state = static_cast<int>(stress_state);
    os << "element " << number() << '\n';
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        // Cauchy stress sigma = F S F^T / det F from the second Piola-Kirchhoff
        // stress S of the point.
        const Tensor2Gen& F = current_F[k - 1];
        const Tensor2Sym S = StressVector2Tensor(structural_point(k).get_stress_xp(), true, state);
        const Tensor2Sym sigma = (1.0 / det(F)) * ABAt(F, S);
        print_point_row(os, k, Tensor2StressVector(sigma, true, state));
    }
    os << '\n';
}

// ---------------------------------------------------------------------------
// Two-dimensional layer and quadrilaterals

TLNumInt2D::TLNumInt2D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
                       std::uint32_t dof_count, KelVane::Material_type* material_group,
                       KelVane::Geometry* geometry_group, int state, int point_count)
    : TLNumIntStructElement(number, node_list, node_count, dof_count, dof_count, material_group,
                            geometry_group, state, point_count)
{
}

TLNumInt2D::~TLNumInt2D() = default;

void TLNumInt2D::print_result_header(std::ostream& os)
{
    print_plane_result_header(os);
}

void TLNumInt2D::print_nodal_header(std::ostream& os)
{
    print_plane_nodal_header(os);
}

TLQuad::TLQuad(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
               std::uint32_t dof_count, KelVane::Material_type* material_group,
               KelVane::Geometry* geometry_group, int state, int n_xi, int n_eta)
    : TLNumInt2D(number, node_list, node_count, dof_count, material_group, geometry_group, state,
                 n_xi * n_eta)
{
}

TLQuad::~TLQuad() = default;

TLQuad4::TLQuad4(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                 int state, int n_xi, int n_eta)
    : TLQuad(number, node_list, 4, 8, material_group, geometry_group, state, n_xi, n_eta)
{
    shape = new KelVane::Quad_lin(static_cast<std::uint32_t>(n_xi),
                                  static_cast<std::uint32_t>(n_eta));
    draw_shape = new DrawQuad_lin;
}

TLQuad4::~TLQuad4() = default;

TLQuad8::TLQuad8(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                 int state, int n_xi, int n_eta)
    : TLQuad(number, node_list, 8, 16, material_group, geometry_group, state, n_xi, n_eta)
{
    shape = new KelVane::Quad_quad(static_cast<std::uint32_t>(n_xi),
                                   static_cast<std::uint32_t>(n_eta));
    draw_shape = new DrawQuad_quad;
}

TLQuad8::~TLQuad8() = default;

TLQuad4psn::TLQuad4psn(std::uint32_t number, KelVane::Node** node_list,
                       KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : TLQuad4(number, node_list, material_group, geometry_group, 1, 2, 2)
{
}

TLQuad4psn::~TLQuad4psn() = default;

TLQuad8psn::TLQuad8psn(std::uint32_t number, KelVane::Node** node_list,
                       KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : TLQuad8(number, node_list, material_group, geometry_group, 1, 2, 2)
{
}

TLQuad8psn::~TLQuad8psn() = default;
