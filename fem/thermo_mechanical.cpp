#include "thermo_mechanical.h"

#include <iostream>
#include <ostream>
#include <string>

#include "draw_shape.h"
#include "errors.h"
#include "integration.h"
#include "material.h"
#include "shape.h"

using KelVane::IntLocs;
using KelVane::Matrix;
using KelVane::Vector;

namespace {

bool is_thermo_mechanical(const KelVane::Material_type* material)
{
    return dynamic_cast<const KelVane::Structural_type*>(material) != nullptr &&
           dynamic_cast<const KelVane::Thermal_type*>(material) != nullptr;
}

// Entries first .. first + size - 1 (counted from 1) of v.
Vector part_of(const Vector& v, unsigned first, unsigned size)
{
    Vector part(size);
    for (unsigned i = 0; i < size; ++i) part[i] = v[first - 1 + i];
    return part;
}

}  // namespace

NumIntThermoMechanicalElement::NumIntThermoMechanicalElement(
    std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
    std::uint32_t structural_count, std::uint32_t thermal_count,
    KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, int state,
    int point_count)
    : NumIntStructElement(structural_count, state), NumIntThermalElement(thermal_count, state)
{
    init_numint(number, node_list, node_count, structural_count + thermal_count, material_group,
                geometry_group, state, point_count);
    // Both halves work on the same points: they must be structural and thermal.
    const std::string message = "element " + std::to_string(number) +
                                " needs a thermo-elastic or thermo-plastic material";
    if (!is_thermo_mechanical(material)) throw kelvaned_error(message);
    for (int k = 1; k <= point_count; ++k) {
        KelVane::Material_Point* point = &get_point(k);
        if (dynamic_cast<KelVane::Structural_Point*>(point) == nullptr ||
            dynamic_cast<KelVane::Thermal_Point*>(point) == nullptr)
            throw kelvaned_error(message);
    }
}

NumIntThermoMechanicalElement::~NumIntThermoMechanicalElement() = default;

LocalDof* NumIntThermoMechanicalElement::GetLocalDofs()
{
    if (number_of_local_dofs != structural_dofs + thermal_dofs)
        throw kelvaned_error("error in NumIntThermoMechanicalElement::GetLocalDofs()");
    LocalDof* structural = NumIntStructElement::GetLocalDofs();
    LocalDof* thermal = nullptr;
    try {
        thermal = NumIntThermalElement::GetLocalDofs();
    } catch (...) {
        delete[] structural;
        throw;
    }
    LocalDof* local = new LocalDof[number_of_local_dofs];
    for (std::uint32_t i = 0; i < structural_dofs; ++i) local[i] = structural[i];
    for (std::uint32_t i = 0; i < thermal_dofs; ++i) local[structural_dofs + i] = thermal[i];
    delete[] structural;
    delete[] thermal;
    return local;
}

Matrix NumIntThermoMechanicalElement::coupling_matrix() const
{
    Matrix KuT(structural_dofs, thermal_dofs, 0.0);
    Matrix X;
    getCoordinateMatrix(*this, X, nodal_dimension());
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        const Vector location = locations.coordinates(k);
        double factor = 0.0;
        const Matrix B = get_B_mat(location, X, factor);
        const Matrix N = get_shape().get_N(location);
        const KelVane::Structural_Point& point = structural_point(k);
        // Stress of a unit temperature rise held at zero total strain, already
        // weighted: D m alpha w f_p (the plane strain and axisymmetric states
        // take the out-of-plane normal strain through the expanded tangent).
        const Vector c =
            point.stress_of_normal_strain(point.get_expansion() * locations.weight(k) * factor);
        KuT -= transpose_times(B, Matrix(c)) * N;
    }
    return KuT;
}

Matrix NumIntThermoMechanicalElement::stiffness_matrix(Vector& f)
{
    const bool xp = is_xp();
    const std::uint32_t n = number_of_local_dofs;
    Matrix K(n, n, 0.0);
    if (xp) {
        f.resize(n);
        f.set_zero();
    }
    Vector structural_f;
    const Matrix Kuu = NumIntStructElement::stiffness_matrix(structural_f);
    if (xp && structural_f.size() > 0) KelVane::add_SubVec(f, 1, structural_f);
    Vector unused;
    const Matrix KTT = NumIntThermalElement::stiffness_matrix(unused);

    KelVane::add_SubMat(K, 1, 1, Kuu);
    KelVane::add_SubMat(K, structural_dofs + 1, structural_dofs + 1, KTT);
    KelVane::add_SubMat(K, 1, structural_dofs + 1, coupling_matrix());
    return K;
}

Vector NumIntThermoMechanicalElement::internal_forces()
{
    Vector f(number_of_local_dofs, 0.0);
    KelVane::add_SubVec(f, 1, NumIntStructElement::internal_forces());
    KelVane::add_SubVec(f, structural_dofs + 1, NumIntThermalElement::internal_forces());
    return f;
}

void NumIntThermoMechanicalElement::update_state()
{
    const Vector increments = get_dof_increments();
    const Vector du = part_of(increments, 1, structural_dofs);
    const Vector dT = part_of(increments, structural_dofs + 1, thermal_dofs);
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        const Vector location = locations.coordinates(k);
        // Temperature first: the point takes the thermal strain of the
        // temperature increment off the strain increment that follows.
        NumIntThermalElement::update_point(location, dT, thermal_point(k));
        NumIntStructElement::update_point(location, du, structural_point(k));
    }
}

Vector NumIntThermoMechanicalElement::pressure_load(int face, double p,
                                                     KelVane::PressureFace geometry)
{
    Vector f(number_of_local_dofs, 0.0);
    KelVane::add_SubVec(f, 1, NumIntStructElement::pressure_load(face, p, geometry));
    return f;
}

void NumIntThermoMechanicalElement::print_results(std::ostream& os)
{
    NumIntStructElement::print_results(os);
}

void NumIntThermoMechanicalElement::print_nodal_results(std::ostream& os)
{
    NumIntStructElement::print_nodal_results(os);
}

int NumIntThermoMechanicalElement::check_input(const KelVane::Material_type* material,
                                               const KelVane::Geometry* geometry, int state)
{
    int errors = NumIntStructElement::check_group(material, geometry, state);
    // Any other material, structural or not, is one error.
    if (material != nullptr && !is_thermo_mechanical(material)) {
        std::cerr << "thermo-mechanical element needs a thermo-elastic or thermo-plastic material"
                  << std::endl;
        ++errors;
    }
    return errors;
}

NumIntThermMech2D::NumIntThermMech2D(std::uint32_t number, KelVane::Node** node_list,
                                     std::uint32_t node_count, std::uint32_t structural_count,
                                     std::uint32_t thermal_count,
                                     KelVane::Material_type* material_group,
                                     KelVane::Geometry* geometry_group, int state,
                                     int point_count)
    : NumIntThermoMechanicalElement(number, node_list, node_count, structural_count,
                                    thermal_count, material_group, geometry_group, state,
                                    point_count)
{
}

NumIntThermMech2D::~NumIntThermMech2D() = default;

void NumIntThermMech2D::print_result_header(std::ostream& os)
{
    print_plane_result_header(os);
}

void NumIntThermMech2D::print_nodal_header(std::ostream& os)
{
    print_plane_nodal_header(os);
}

Tri3ThermMech::Tri3ThermMech(std::uint32_t number, KelVane::Node** node_list,
                             KelVane::Material_type* material_group,
                             KelVane::Geometry* geometry_group, int state, int n_int)
    : NumIntThermMech2D(number, node_list, 3, 6, 3, material_group, geometry_group, state, n_int)
{
    shape = new KelVane::Tri_lin(static_cast<std::uint32_t>(n_int));
    draw_shape = new DrawTri_lin();
}

Tri3ThermMech::~Tri3ThermMech() = default;

Quad4ThermMech::Quad4ThermMech(std::uint32_t number, KelVane::Node** node_list,
                               KelVane::Material_type* material_group,
                               KelVane::Geometry* geometry_group, int state, int n_xi, int n_eta)
    : NumIntThermMech2D(number, node_list, 4, 8, 4, material_group, geometry_group, state,
                        n_xi * n_eta)
{
    shape = new KelVane::Quad_lin(static_cast<std::uint32_t>(n_xi),
                                  static_cast<std::uint32_t>(n_eta));
    draw_shape = new DrawQuad_lin();
}

Quad4ThermMech::~Quad4ThermMech() = default;

Tri3psnTherm::Tri3psnTherm(std::uint32_t number, KelVane::Node** node_list,
                           KelVane::Material_type* material_group,
                           KelVane::Geometry* geometry_group)
    : Tri3ThermMech(number, node_list, material_group, geometry_group, 1, 1)
{
}

Tri3psnTherm::~Tri3psnTherm() = default;

Quad4psnTherm::Quad4psnTherm(std::uint32_t number, KelVane::Node** node_list,
                             KelVane::Material_type* material_group,
                             KelVane::Geometry* geometry_group)
    : Quad4ThermMech(number, node_list, material_group, geometry_group, 1, 2, 2)
{
}

Quad4psnTherm::~Quad4psnTherm() = default;

Quad4pssTherm::Quad4pssTherm(std::uint32_t number, KelVane::Node** node_list,
                             KelVane::Material_type* material_group,
                             KelVane::Geometry* geometry_group)
    : Quad4ThermMech(number, node_list, material_group, geometry_group, 2, 2, 2)
{
}

Quad4pssTherm::~Quad4pssTherm() = default;
