#include "continuum.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "errors.h"
#include "geometry.h"
#include "integration.h"
#include "kv_assert.h"
#include "material.h"
#include "node.h"
#include "process_values.h"
#include "shape.h"
#include "stress_state.h"

using KelVane::IntLocs;
using KelVane::Matrix;
using KelVane::Vector;

namespace {

constexpr double two_pi = 6.28318530718;

// Radii below this fraction of the element's outermost nodal radius make the hoop
// strain N/r of an axisymmetric point meaningless, in whatever unit of length.
constexpr double min_radius_ratio = 1e-20;

// Follows the element name.
const char* const needs_structural =
    " element needs a linearelastic, xplinearelastic, vonmises, thermoelastic or thermoplastic"
    " material";

const char* const columns_plane = "             Sxx         Syy         Sxy";
const char* const columns_expanded = "             Sxx         Syy         Szz         Sxy";

std::string element_needs_structural(std::uint32_t number)
{
    return "element " + std::to_string(number) + " needs a structural material";
}

// Radius (x coordinate) of the point whose shape functions are N.
double point_radius(const Matrix& N, const Matrix& X)
{
    return (N * X)(1, 1);
}

}  // namespace

void check_point_radius(double r, const Matrix& X, std::uint32_t element)
{
    double outer = 0.0;
    for (unsigned k = 1; k <= X.size1(); ++k)
        outer = std::max(outer, X(k, 1));
    // Written so that a radius that is not a number is refused as well.
    if (!(r > 0.0 && r >= min_radius_ratio * outer)) {
        std::ostringstream message;
        message << "radius " << r << " of an integration point of element " << element
                << " is not positive in NumIntStructElement::get_B_mat()";
        throw kelvaned_error(message.str());
    }
}

namespace {

// Temporaries of the computation of one element, kept from one element to the next
// so that the equilibrium iterations do not allocate them again. One set per
// thread; each computation gives them the sizes of the element at hand.
struct Workspace {
    Matrix X;       // node coordinates
    Matrix J;       // Jacobian at a point
    Matrix J_inv;
    Matrix dN;      // derivatives of the shape functions by x, y (and z)
    Matrix B;
    Matrix D;       // tangent at a point
    Vector sigma;   // stress correction at a point (condensed formulation)
    Matrix DB;      // weighted D B of a stiffness term
    Vector du;      // dof increments of the element
    Vector strain;  // strain increment at a point
};

Workspace& workspace()
{
    thread_local Workspace scratch;
    return scratch;
}

// The element's integration points with the shape functions and their natural
// derivatives there; one entry per point state.
const KelVane::ShapeRule& point_rule(const NumIntElement& element)
{
    const KelVane::ShapeRule& rule = element.get_shape().rule();
    KV_ASSERT(rule.locations.size() == static_cast<std::uint32_t>(element.nr_points()));
    return rule;
}

}  // namespace

NumIntStructElement::NumIntStructElement(std::uint32_t number, KelVane::Node** node_list,
                                         std::uint32_t node_count, std::uint32_t structural_count,
                                         std::uint32_t element_dofs,
                                         KelVane::Material_type* material_group,
                                         KelVane::Geometry* geometry_group, int state,
                                         int point_count)
    : structural_dofs(structural_count), stress_state(static_cast<std::uint32_t>(state))
{
    init_numint(number, node_list, node_count, element_dofs, material_group, geometry_group,
                state, point_count);
    // Refused here rather than at the first computation: every operation of the
    // layer works on structural points.
    if (dynamic_cast<const KelVane::Structural_type*>(material) == nullptr)
        throw kelvaned_error(element_needs_structural(number));
    for (int k = 1; k <= point_count; ++k)
        if (dynamic_cast<KelVane::Structural_Point*>(&get_point(k)) == nullptr)
            throw kelvaned_error(element_needs_structural(number));
}

NumIntStructElement::NumIntStructElement(std::uint32_t structural_count, int state)
    : structural_dofs(structural_count), stress_state(static_cast<std::uint32_t>(state))
{
}

NumIntStructElement::~NumIntStructElement() = default;

const KelVane::Structural_type& NumIntStructElement::structural_material() const
{
    const auto* structural = dynamic_cast<const KelVane::Structural_type*>(material);
    if (structural == nullptr) throw kelvaned_error(element_needs_structural(number()));
    return *structural;
}

KelVane::Structural_Point& NumIntStructElement::structural_point(int k) const
{
    auto* point = dynamic_cast<KelVane::Structural_Point*>(&get_point(k));
    if (point == nullptr) throw kelvaned_error(element_needs_structural(number()));
    return *point;
}

int NumIntStructElement::nodal_dimension() const
{
    return get_nodal_dimension(static_cast<int>(stress_state));
}

double NumIntStructElement::thickness() const
{
    if (geometry == nullptr)
        throw kelvaned_error("element " + std::to_string(number()) +
                             " needs a geometry with its thickness");
    return geometry->get_thick();
}

void NumIntStructElement::add_Bt_vector(Vector& f, const Matrix& B, const Vector& s,
                                        double factor)
{
    KV_ASSERT(B.size1() == s.size());
    KV_ASSERT(B.size2() == f.size());
    for (unsigned i = 0; i < B.size1(); ++i) {
        const double scaled = s[i] * factor;
        const double* row = B[i];
        for (unsigned j = 0; j < B.size2(); ++j) f[j] += row[j] * scaled;
    }
}

void NumIntStructElement::point_tangent(int k, bool xp, const Matrix& B, double wf, Vector& f,
                                        Matrix& D) const
{
    const KelVane::Structural_Point& point = structural_point(k);
    if (!xp) {
        D = point.get_tangent();
        return;
    }
    Vector& sigma = workspace().sigma;
    point.condensed_tangent(D, sigma);
    add_Bt_vector(f, B, sigma, -wf);
}

void NumIntStructElement::print_plane_result_header(std::ostream& os) const
{
    os << '\n' << (stress_state == 3 ? columns_expanded : columns_plane) << '\n';
}

void NumIntStructElement::print_plane_nodal_header(std::ostream& os)
{
    os << '\n' << columns_expanded << '\n';
}

bool NumIntStructElement::is_xp()
{
    return structural_material().is_xp(static_cast<int>(stress_state));
}

LocalDof* NumIntStructElement::GetLocalDofs()
{
    const std::uint32_t d = static_cast<std::uint32_t>(nodal_dimension());
    const std::uint32_t count = number_of_nodes * d;
    if (count != structural_dofs) throw kelvaned_error("error in NumInt2D::GetLocalDofs()");
    const Direction axes[3] = {Direction(1.0, 0.0, 0.0), Direction(0.0, 1.0, 0.0),
                               Direction(0.0, 0.0, 1.0)};
    LocalDof* local = new LocalDof[count];
    for (std::uint32_t j = 0; j < number_of_nodes; ++j) {
        for (std::uint32_t k = 0; k < d; ++k) {
            LocalDof& dof = local[j * d + k];
            dof.node = j + 1;
            dof.direction = axes[k];
            dof.type = KelVane::displacement_type;
        }
    }
    return local;
}

Matrix NumIntStructElement::get_N_mat(const Vector& location) const
{
    const Matrix N = get_shape().get_N(location);
    const unsigned d = static_cast<unsigned>(nodal_dimension());
    const unsigned n = N.size2();
    Matrix NN(d, n * d, 0.0);
    for (unsigned j = 1; j <= n; ++j)
        for (unsigned k = 1; k <= d; ++k) NN(k, d * (j - 1) + k) = N(1, j);
    return NN;
}

Matrix NumIntStructElement::get_B_mat(const Vector& location, const Matrix& X,
                                      double& factor) const
{
    const KelVane::Shape& element_shape = get_shape();
    const Matrix N = stress_state == 3 ? element_shape.get_N(location) : Matrix();
    Matrix B;
    fill_B_mat(element_shape.get_dNdxi(location), N, X, factor, B);
    return B;
}

void NumIntStructElement::fill_B_mat(const Matrix& G, const Matrix& N, const Matrix& X,
                                     double& factor, Matrix& B) const
{
    Workspace& scratch = workspace();
    KelVane::multiply(G, X, scratch.J);
    factor = determinant(scratch.J);
    check_orientation(factor);
    // Derivatives by x, y (and z): row 1 dN/dx, row 2 dN/dy, row 3 dN/dz.
    scratch.J.inv(scratch.J_inv);
    KelVane::multiply(scratch.J_inv, G, scratch.dN);
    const Matrix& dN = scratch.dN;
    const unsigned n = dN.size2();

    switch (stress_state) {
    case 1:
    case 2: {
        if (stress_state == 2) factor *= thickness();
        B.resize(3, 2 * n);
        B.set_zero();
        for (unsigned j = 1; j <= n; ++j) {
            const unsigned u = 2 * j - 1;
            const unsigned v = 2 * j;
            B(1, u) = dN(1, j);
            B(2, v) = dN(2, j);
            B(3, u) = dN(2, j);
            B(3, v) = dN(1, j);
        }
        return;
    }
    case 3: {
        const double r = point_radius(N, X);
        check_point_radius(r, X, number());
        factor *= r * two_pi;
        B.resize(4, 2 * n);
        B.set_zero();
        for (unsigned j = 1; j <= n; ++j) {
            const unsigned u = 2 * j - 1;
            const unsigned v = 2 * j;
            B(1, u) = dN(1, j);
            B(2, v) = dN(2, j);
            B(3, u) = N(1, j) / r;
            B(4, u) = dN(2, j);
            B(4, v) = dN(1, j);
        }
        return;
    }
    case 0: {
        B.resize(6, 3 * n);
        B.set_zero();
        for (unsigned j = 1; j <= n; ++j) {
            const unsigned u = 3 * j - 2;
            const unsigned v = 3 * j - 1;
            const unsigned w = 3 * j;
            B(1, u) = dN(1, j);
            B(2, v) = dN(2, j);
            B(3, w) = dN(3, j);
            B(4, u) = dN(2, j);
            B(4, v) = dN(1, j);
            B(5, v) = dN(3, j);
            B(5, w) = dN(2, j);
            B(6, u) = dN(3, j);
            B(6, w) = dN(1, j);
        }
        return;
    }
    default:
        throw kelvaned_error("wrong stress type in NumIntStructElement::get_B_mat()");
    }
}

Matrix NumIntStructElement::stiffness_matrix(Vector& f)
{
    const bool xp = is_xp();
    Matrix K(structural_dofs, structural_dofs, 0.0);
    if (xp) {
        f.resize(structural_dofs);
        f.set_zero();
    }
    Workspace& scratch = workspace();
    getCoordinateMatrix(*this, scratch.X, nodal_dimension());
    const KelVane::ShapeRule& rule = point_rule(*this);
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        double factor = 0.0;
        fill_B_mat(rule.dNdxi[k - 1], rule.N[k - 1], scratch.X, factor, scratch.B);
        const double wf = rule.locations.weight(k) * factor;
        point_tangent(k, xp, scratch.B, wf, f, scratch.D);
        KelVane::add_AtBA(K, wf, scratch.B, scratch.D, scratch.DB);
    }
    return K;
}

Vector NumIntStructElement::internal_forces()
{
    Vector f(structural_dofs, 0.0);
    Workspace& scratch = workspace();
    getCoordinateMatrix(*this, scratch.X, nodal_dimension());
    const KelVane::ShapeRule& rule = point_rule(*this);
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        double factor = 0.0;
        fill_B_mat(rule.dNdxi[k - 1], rule.N[k - 1], scratch.X, factor, scratch.B);
        add_Bt_vector(f, scratch.B, structural_point(k).get_stress(),
                      rule.locations.weight(k) * factor);
    }
    return f;
}

Matrix NumIntStructElement::mass_matrix(bool lumped)
{
    const double rho = material->density();
    Matrix M(number_of_local_dofs, number_of_local_dofs, 0.0);
    KV_ASSERT(structural_dofs <= number_of_local_dofs);
    Matrix X;
    getCoordinateMatrix(*this, X, nodal_dimension());
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    // The structural block: the leading rows and columns.
    Matrix block(structural_dofs, structural_dofs, 0.0);
    for (int k = 1; k <= count; ++k) {
        const Vector location = locations.coordinates(k);
        const Matrix G = get_shape().get_dNdxi(location);
        double v = determinant(G * X);
        check_orientation(v);
        if (stress_state == 2) v *= thickness();
        if (stress_state == 3) v *= two_pi * point_radius(get_shape().get_N(location), X);
        const Matrix NN = get_N_mat(location);
        block += transpose_times(NN, NN) * (rho * locations.weight(k) * v);
    }
    if (lumped) {
        // Row-sum lumping. The quadratic elements have corner rows that sum to zero
        // (6-node triangle) or below (8-node quadrilateral), which would give their
        // corners no mass or a negative one; they take their consistent diagonal
        // instead, scaled so that it carries the element's whole mass.
        const unsigned n = structural_dofs;
        std::vector<double> row_sums(n, 0.0);
        double total = 0.0;
        double trace = 0.0;
        for (unsigned i = 1; i <= n; ++i) {
            for (unsigned j = 1; j <= n; ++j) row_sums[i - 1] += block(i, j);
            total += row_sums[i - 1];
            trace += block(i, i);
        }
        bool rows_positive = true;
        for (double sum : row_sums)
            if (!(sum > 1e-12 * total)) rows_positive = false;
        const bool scale_diagonal = !rows_positive && total > 0.0 && trace > 0.0;
        for (unsigned i = 1; i <= n; ++i) {
            const double lumped_mass =
                scale_diagonal ? block(i, i) * (total / trace) : row_sums[i - 1];
            for (unsigned j = 1; j <= n; ++j) block(i, j) = 0.0;
            block(i, i) = lumped_mass;
        }
    }
    KelVane::add_SubMat(M, 1, 1, block);
    return M;
}

void NumIntStructElement::update_point(const Vector& location, const Vector& du,
                                       KelVane::Structural_Point& point) const
{
    Matrix X;
    getCoordinateMatrix(*this, X, nodal_dimension());
    double factor = 0.0;
    const Matrix B = get_B_mat(location, X, factor);
    point.add_strain_increment(B * du);
}

void NumIntStructElement::update_state()
{
    Workspace& scratch = workspace();
    get_dof_increments(scratch.du);
    getCoordinateMatrix(*this, scratch.X, nodal_dimension());
    const KelVane::ShapeRule& rule = point_rule(*this);
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        double factor = 0.0;
        fill_B_mat(rule.dNdxi[k - 1], rule.N[k - 1], scratch.X, factor, scratch.B);
        KelVane::multiply(scratch.B, scratch.du, scratch.strain);
        structural_point(k).add_strain_increment(scratch.strain);
    }
}

bool NumIntStructElement::condensed_stresses_negligible(double tolerance)
{
    const int count = nr_points();
    for (int k = 1; k <= count; ++k)
        if (!structural_point(k).condensed_stress_negligible(tolerance)) return false;
    return true;
}

int NumIntStructElement::pressure_faces() const
{
    return get_shape().nr_faces();
}

Vector NumIntStructElement::pressure_load(int face, double p, KelVane::PressureFace geometry)
{
    const int d = nodal_dimension();
    Vector f(structural_dofs, 0.0);
    Matrix X;
    if (geometry == KelVane::PressureFace::displaced)
        getCurrentCoordinateMatrix(*this, X, d);
    else
        getCoordinateMatrix(*this, X, d);
    const KelVane::Shape& element_shape = get_shape();
    const IntLocs locations = element_shape.get_int_locs_face(face);
    const Matrix T = element_shape.dVdA(face);
    for (std::uint32_t q = 1; q <= locations.size(); ++q) {
        const Vector location = locations.coordinates(static_cast<int>(q));
        const Matrix J = element_shape.get_dNdxi(location) * X;
        // Tangents of the face in space, one per column.
        const Matrix t = transpose_times(J, T);
        // Outward normal scaled by the face's length or area measure: in 2-D the
        // tangent turned clockwise (outward for a face walked counter-clockwise),
        // in 3-D the cross product of the two tangents.
        double a[3] = {0.0, 0.0, 0.0};
        if (d == 2) {
            a[0] = t(2, 1);
            a[1] = -t(1, 1);
        } else {
            a[0] = t(2, 1) * t(3, 2) - t(3, 1) * t(2, 2);
            a[1] = t(3, 1) * t(1, 2) - t(1, 1) * t(3, 2);
            a[2] = t(1, 1) * t(2, 2) - t(2, 1) * t(1, 2);
        }
        const Matrix N = element_shape.get_N(location);
        double c = locations.weight(static_cast<int>(q));
        if (stress_state == 2) c *= thickness();
        if (stress_state == 3) c *= two_pi * point_radius(N, X);
        // A positive pressure pushes against the normal, into the element.
        for (unsigned j = 1; j <= N.size2(); ++j)
            for (int k = 1; k <= d; ++k)
                f(static_cast<unsigned>(d) * (j - 1) + static_cast<unsigned>(k)) -=
                    a[k - 1] * N(1, j) * p * c;
    }
    return f;
}

void NumIntStructElement::print_point_rows(std::ostream& os, bool expanded) const
{
    os << "element " << number() << '\n';
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        const KelVane::Structural_Point& point = structural_point(k);
        print_point_row(os, k, expanded ? point.get_stress_xp() : point.get_stress());
    }
    os << '\n';
}

void NumIntStructElement::print_results(std::ostream& os)
{
    print_point_rows(os, false);
}

void NumIntStructElement::print_nodal_results(std::ostream& os)
{
    print_point_rows(os, true);
}

void NumIntStructElement::write_res_header(std::ostream& os, int step)
{
    if (result_mode == 1)
        os << "Stresses   1   " << std::setw(7) << step << " 3   1   0" << '\n';
    else if (result_mode == 2)
        os << "Eq_Pl_strain   1   " << std::setw(7) << step << " 1   1   0" << '\n';
    gauss_point_counter = 0;
}

void NumIntStructElement::write_res_values(std::ostream& os)
{
    if (result_mode != 1 && result_mode != 2) return;
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        const KelVane::Structural_Point& point = structural_point(k);
        ++gauss_point_counter;
        bool has = false;
        print_point_row(os, gauss_point_counter,
                        result_mode == 1 ? point.get_stress_xp()
                                         : Vector(1, point.get_eq_plastic_strain(has)));
    }
}

void NumIntStructElement::add_nodal_average()
{
    const int count = nr_points();
    if (count == 0) return;
    const double mean = 1.0 / count;
    if (result_mode == 1) {
        Vector s = structural_point(1).get_stress_xp();
        for (int k = 2; k <= count; ++k) s += structural_point(k).get_stress_xp();
        s *= mean;
        for (std::uint32_t i = 0; i < number_of_nodes; ++i) nodes[i]->add_to_average(s);
    } else if (result_mode == 2) {
        bool has = false;
        double e = structural_point(1).get_eq_plastic_strain(has);
        // A material without plastic strain has nothing to average.
        if (!has) return;
        for (int k = 2; k <= count; ++k) e += structural_point(k).get_eq_plastic_strain(has);
        e *= mean;
        for (std::uint32_t i = 0; i < number_of_nodes; ++i)
            nodes[i]->add_to_average(Vector(1, e));
    }
}

int NumIntStructElement::check_input(const KelVane::Material_type* material,
                                     const KelVane::Geometry* geometry, int state,
                                     const std::string& name)
{
    if (state < 0 || state > 4) return 0;
    int errors = check_group(material, geometry, state);
    const auto* structural = dynamic_cast<const KelVane::Structural_type*>(material);
    if (material != nullptr && (structural == nullptr || !structural->supports(state))) {
        std::cerr << name << needs_structural << std::endl;
        ++errors;
    }
    return errors;
}

int NumIntStructElement::check_group(const KelVane::Material_type* material,
                                     const KelVane::Geometry* geometry, int state)
{
    int errors = 0;
    switch (state) {
    case 0:
    case 1:
    case 3:
        errors = check_references(material, geometry, true, false);
        break;
    case 2:
    case 4:
        errors = check_references(material, geometry, true, true);
        // Written so that a thickness that is not a number is refused as well.
        if (geometry != nullptr && !(geometry->get_thick() > 0.0)) {
            std::cerr << "thickness <= 0; this is not allowed" << std::endl;
            ++errors;
        }
        break;
    default:
        break;
    }
    return errors;
}
