#include "heat_elements.h"

#include <iostream>
#include <ostream>
#include <string>

#include "draw_shape.h"
#include "errors.h"
#include "geometry.h"
#include "integration.h"
#include "material.h"
#include "process_values.h"
#include "shape.h"
#include "stress_state.h"

using KelVane::IntLocs;
using KelVane::Matrix;
using KelVane::Vector;

namespace {

constexpr double two_pi = 6.28318530718;

std::string element_needs_thermal(std::uint32_t number)
{
    return "element " + std::to_string(number) + " needs a heat conduction material";
}

}  // namespace

NumIntThermalElement::NumIntThermalElement(std::uint32_t number, KelVane::Node** node_list,
                                           std::uint32_t node_count, std::uint32_t dof_count,
                                           std::uint32_t element_dofs,
                                           KelVane::Material_type* material_group,
                                           KelVane::Geometry* geometry_group, int state,
                                           int point_count)
    : thermal_dofs(dof_count), thermal_state(static_cast<std::uint32_t>(state))
{
    init_numint(number, node_list, node_count, element_dofs, material_group, geometry_group,
                state, point_count);
    check_thermal_points(point_count);
}

NumIntThermalElement::NumIntThermalElement(std::uint32_t dof_count, int state)
    : thermal_dofs(dof_count), thermal_state(static_cast<std::uint32_t>(state))
{
}

NumIntThermalElement::~NumIntThermalElement() = default;

void NumIntThermalElement::check_thermal_points(int point_count) const
{
    // Refused here rather than at the first computation: every operation of the
    // layer works on heat conduction points.
    if (dynamic_cast<const KelVane::Thermal_type*>(material) == nullptr)
        throw kelvaned_error(element_needs_thermal(number()));
    for (int k = 1; k <= point_count; ++k)
        if (dynamic_cast<KelVane::Thermal_Point*>(&get_point(k)) == nullptr)
            throw kelvaned_error(element_needs_thermal(number()));
}

KelVane::Thermal_Point& NumIntThermalElement::thermal_point(int k) const
{
    auto* point = dynamic_cast<KelVane::Thermal_Point*>(&get_point(k));
    if (point == nullptr) throw kelvaned_error(element_needs_thermal(number()));
    return *point;
}

int NumIntThermalElement::thermal_dimension() const
{
    return get_nodal_dimension(static_cast<int>(thermal_state));
}

LocalDof* NumIntThermalElement::GetLocalDofs()
{
    if (number_of_nodes != thermal_dofs)
        throw kelvaned_error("error in NumIntThermal::GetLocalDofs()");
    LocalDof* local = new LocalDof[number_of_nodes];
    for (std::uint32_t j = 0; j < number_of_nodes; ++j) {
        local[j].node = j + 1;
        local[j].direction = Direction();
        local[j].type = KelVane::temperature_type;
    }
    return local;
}

Matrix NumIntThermalElement::get_dNdX(const Vector& location, const Matrix& X,
                                      double& factor) const
{
    const Matrix G = get_shape().get_dNdxi(location);
    const Matrix J = G * X;
    const double det_J = determinant(J);
    switch (thermal_state) {
    case 1:
        factor = det_J;
        break;
    case 2:
        if (geometry == nullptr)
            throw kelvaned_error("element " + std::to_string(number()) +
                                 " needs a geometry with its thickness");
        factor = det_J * geometry->get_thick();
        break;
    case 3:
        factor = det_J * two_pi * (get_shape().get_N(location) * X)(1, 1);
        break;
    default:
        throw kelvaned_error("wrong stress type in NumIntThermalElement::get_dNdX()");
    }
    check_orientation(det_J);
    return J.inv() * G;
}

Matrix NumIntThermalElement::stiffness_matrix(Vector&)
{
    const double dt = current_time_step;
    Matrix K(thermal_dofs, thermal_dofs, 0.0);
    Matrix X;
    getCoordinateMatrix(*this, X, thermal_dimension());
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        const Vector location = locations.coordinates(k);
        double factor = 0.0;
        const Matrix dN = get_dNdX(location, X, factor);
        const double wf = locations.weight(k) * factor;
        const KelVane::Thermal_Point& point = thermal_point(k);
        // Conduction over the time step, then capacity.
        KelVane::add_AtBA(K, dt * wf, dN, point.get_conductivity());
        const Matrix N = get_shape().get_N(location);
        K += transpose_times(N, N) * (point.get_capacity() * wf);
    }
    return K;
}

Vector NumIntThermalElement::internal_forces()
{
    const double dt = current_time_step;
    Vector f(thermal_dofs, 0.0);
    Matrix X;
    getCoordinateMatrix(*this, X, thermal_dimension());
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) {
        const Vector location = locations.coordinates(k);
        double factor = 0.0;
        const Matrix dN = get_dNdX(location, X, factor);
        const double wf = locations.weight(k) * factor;
        const KelVane::Thermal_Point& point = thermal_point(k);
        const Vector flux = point.get_flux();
        const Matrix N = get_shape().get_N(location);
        const double heat = point.get_heat_increment() * wf;
        for (unsigned j = 0; j < thermal_dofs; ++j) {
            double conducted = 0.0;
            for (unsigned i = 0; i < dN.size1(); ++i) conducted += dN[i][j] * flux[i];
            f[j] += conducted * dt * wf + N[0][j] * heat;
        }
    }
    return f;
}

void NumIntThermalElement::update_point(const Vector& location, const Vector& dT,
                                        KelVane::Thermal_Point& point) const
{
    Matrix X;
    getCoordinateMatrix(*this, X, thermal_dimension());
    double factor = 0.0;
    const Matrix dN = get_dNdX(location, X, factor);
    point.set_gradient_increment(dN * dT);
    point.set_temperature_increment((get_shape().get_N(location) * dT)(1));
}

void NumIntThermalElement::update_state()
{
    const Vector dT = get_dof_increments();
    const IntLocs locations = get_shape().get_int_locs();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) update_point(locations.coordinates(k), dT, thermal_point(k));
}

void NumIntThermalElement::print_results(std::ostream& os)
{
    os << "element " << number() << '\n';
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) print_point_row(os, k, thermal_point(k).get_flux());
    os << '\n';
}

void NumIntThermalElement::print_nodal_results(std::ostream& os)
{
    NumIntThermalElement::print_results(os);
}

void NumIntThermalElement::print_result_header(std::ostream& os)
{
    switch (thermal_dimension()) {
    case 1: os << '\n' << "             q_x" << '\n'; break;
    case 2: os << '\n' << "             q_x         q_y" << '\n'; break;
    case 3: os << '\n' << "             q_x         q_y         q_z" << '\n'; break;
    default: break;
    }
}

void NumIntThermalElement::print_nodal_header(std::ostream& os)
{
    NumIntThermalElement::print_result_header(os);
}

Tri3therm::Tri3therm(std::uint32_t number, KelVane::Node** node_list,
                     KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : NumIntThermalElement(number, node_list, 3, 3, 3, material_group, geometry_group, 1, 1)
{
    shape = new KelVane::Tri_lin(1);
    draw_shape = new DrawTri_lin();
}

Tri3therm::~Tri3therm() = default;

int Tri3therm::check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry)
{
    int errors = check_references(material, geometry, true, false);
    if (material != nullptr && dynamic_cast<const KelVane::Thermal_type*>(material) == nullptr) {
        std::cerr << "heat conduction element needs a heat conduction material" << std::endl;
        ++errors;
    }
    return errors;
}
