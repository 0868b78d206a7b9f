#include "beam.h"

#include <cmath>
#include <iomanip>
#include <iostream>

#include <wx/dc.h>
#include <wx/string.h>

#include "collect_array.h"
#include "device_map.h"
#include "elastic.h"
#include "errors.h"
#include "geometry.h"
#include "node.h"

using KelVane::Matrix;
using KelVane::Vector;

namespace {

const char* const needs_elastic =
    "beam2d element needs an elastic material (linearelastic, xplinearelastic or thermoelastic)";

// Young's modulus of a beam comes from the elastic part of its material.
const Elastic_type* as_elastic(const KelVane::Material_type* material)
{
    return dynamic_cast<const Elastic_type*>(material);
}

}  // namespace

LinBeam2d::LinBeam2d(std::uint32_t number, KelVane::Node** node_list,
                     KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : FiniteElement(number, node_list, 2, 6),
      converged_end_forces(6, 0.0),
      current_end_forces(6, 0.0),
      material(as_elastic(material_group)),
      geometry(geometry_group)
{
    if (material == nullptr) throw kelvaned_error(needs_elastic);
    if (geometry == nullptr) throw kelvaned_error("beam2d element needs a geometry");
}

LinBeam2d::~LinBeam2d() = default;

int LinBeam2d::check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry)
{
    int errors = check_references(material, geometry, true, true);
    if (material != nullptr && as_elastic(material) == nullptr) {
        std::cerr << needs_elastic << std::endl;
        ++errors;
    }
    // Written so that values that are not numbers are refused as well.
    if (geometry != nullptr && !(geometry->get_crosse() > 0.0 && geometry->get_iz() > 0.0)) {
        std::cerr << "cross section or moment of inertia <= 0; this is not allowed" << std::endl;
        ++errors;
    }
    return errors;
}

double LinBeam2d::length() const
{
    return (nodes[1]->get_position() - nodes[0]->get_position()).norm();
}

double LinBeam2d::young() const
{
    return material->young();
}

Matrix LinBeam2d::stiffness_matrix(Vector& /*f*/)
{
    const double L = length();
    const double a = young() * geometry->get_crosse() / L;
    const double b = young() * geometry->get_iz() / (L * L * L);
    Matrix K(6, 6, 0.0);
    K(1, 1) = K(4, 4) = a;
    K(1, 4) = K(4, 1) = -a;
    K(2, 2) = K(5, 5) = 12.0 * b;
    K(2, 5) = K(5, 2) = -12.0 * b;
    K(2, 3) = K(3, 2) = K(2, 6) = K(6, 2) = 6.0 * b * L;
    K(3, 5) = K(5, 3) = K(5, 6) = K(6, 5) = -6.0 * b * L;
    K(3, 3) = K(6, 6) = 4.0 * b * L * L;
    K(3, 6) = K(6, 3) = 2.0 * b * L * L;
    return K;
}

// The cubic-Hermite consistent mass written with the half length h; lumped: half
// the mass on each translation and rho A L^3 / 78 on each rotation.
Matrix LinBeam2d::mass_matrix(bool lumped)
{
    const double L = length();
    const double h = L / 2.0;
    const double m_h = material->density() * geometry->get_crosse() * h;
    Matrix M(6, 6, 0.0);
    if (lumped) {
        M(1, 1) = M(2, 2) = M(4, 4) = M(5, 5) = m_h;
        M(3, 3) = M(6, 6) = m_h * L * L / 39.0;
        return M;
    }
    const double a = m_h / 3.0;
    const double c = m_h / 105.0;
    M(1, 1) = M(4, 4) = 2.0 * a;
    M(1, 4) = a;
    M(2, 2) = M(5, 5) = 78.0 * c;
    M(2, 3) = 22.0 * c * h;
    M(2, 5) = 27.0 * c;
    M(2, 6) = -13.0 * c * h;
    M(3, 3) = M(6, 6) = 8.0 * c * h * h;
    M(3, 5) = 13.0 * c * h;
    M(3, 6) = -6.0 * c * h * h;
    M(5, 6) = -22.0 * c * h;
    for (unsigned i = 1; i <= 6; ++i)
        for (unsigned j = 1; j < i; ++j) M(i, j) = M(j, i);
    return M;
}

Vector LinBeam2d::internal_forces()
{
    return current_end_forces;
}

std::string LinBeam2d::check_shape() const
{
    refuse_zero_length();
    return {};
}

// Per node: displacement along the axis d, displacement along n = ez x d and the
// rotation about z.
LocalDof* LinBeam2d::GetLocalDofs()
{
    const Direction d(nodes[1]->get_position() - nodes[0]->get_position());
    double dx, dy, dz;
    d.get(dx, dy, dz);
    if (std::fabs(dz) > 1e-15)
        throw kelvaned_error("2D beam element should be parallel to the x-y plane");
    const Direction n(cross(Vector3(0.0, 0.0, 1.0), Vector3(dx, dy, dz)));
    const Direction ez(0.0, 0.0, 1.0);

    const std::uint32_t count = 6;
    if (count != number_of_local_dofs) throw kelvaned_error("error in LinBeam2d::GetLocalDofs()");
    LocalDof* local = new LocalDof[count];
    for (std::uint32_t node = 1; node <= 2; ++node) {
        LocalDof* at = local + 3 * (node - 1);
        at[0] = LocalDof{node, d, KelVane::displacement_type};
        at[1] = LocalDof{node, n, KelVane::displacement_type};
        at[2] = LocalDof{node, ez, KelVane::rotation_type};
    }
    return local;
}

void LinBeam2d::write_restart(std::ostream& os)
{
    KelVane::CollectArray buffer;
    KelVane::append_to(buffer, converged_end_forces);
    os << buffer;
}

void LinBeam2d::read_restart(std::istream& is)
{
    KelVane::CollectArray buffer;
    is >> buffer;
    KelVane::read_from(buffer, converged_end_forces);
    // A record of another length belongs to another kind of element.
    if (buffer.cursor() != buffer.size()) throw KelVane::file_error("corrupt restart file");
    current_end_forces = converged_end_forces;
}

void LinBeam2d::update_state()
{
    Vector scratch(1, 0.0);
    const Matrix K = stiffness_matrix(scratch);
    current_end_forces = converged_end_forces + K * get_dof_increments();
}

void LinBeam2d::accept()
{
    converged_end_forces = current_end_forces;
}

bool LinBeam2d::symmetric()
{
    return material->symmetric();
}

Vector LinBeam2d::total_displacements() const
{
    if (get_nr_node_dofs() == 0) return Vector(6, 0.0);
    return get_dof_values();
}

Vector LinBeam2d::section_forces(double xi, const Vector& u) const
{
    const double r = 1.0 / length();
    const double EA = young() * geometry->get_crosse();
    const double EI = young() * geometry->get_iz();
    const double w1 = u(2), theta1 = u(3), w2 = u(5), theta2 = u(6);
    Vector forces(3);
    forces(1) = EA * r * (u(4) - u(1));
    forces(2) = EI * (-12.0 * r * r * r * (w1 - w2) - 6.0 * r * r * (theta1 + theta2));
    forces(3) = EI * (r * r * ((12.0 * xi - 6.0) * w1 + (6.0 - 12.0 * xi) * w2) +
                      r * ((6.0 * xi - 4.0) * theta1 + (6.0 * xi - 2.0) * theta2));
    return forces;
}

Matrix LinBeam2d::shape_functions(double xi) const
{
    const double L = length();
    const double xi2 = xi * xi, xi3 = xi2 * xi;
    Matrix N(2, 6, 0.0);
    N(1, 1) = 1.0 - xi;
    N(1, 4) = xi;
    N(2, 2) = 1.0 - 3.0 * xi2 + 2.0 * xi3;
    N(2, 3) = (xi - 2.0 * xi2 + xi3) * L;
    N(2, 5) = 3.0 * xi2 - 2.0 * xi3;
    N(2, 6) = (xi3 - xi2) * L;
    return N;
}

void LinBeam2d::print_results(std::ostream& os)
{
    print_nodal_results(os);
}

void LinBeam2d::print_result_header(std::ostream& os)
{
    print_nodal_header(os);
}

// Section forces at both ends, computed from the total displacements.
void LinBeam2d::print_nodal_results(std::ostream& os)
{
    const Vector u = total_displacements();
    os << std::scientific << std::setprecision(3);
    os << "element " << number() << '\n';
    os << " node " << std::setw(4) << nodes[0]->number() << "  " << std::setw(11);
    section_forces(0.0, u).print(os);
    os << '\n';
    os << "      " << std::setw(4) << nodes[1]->number() << "  " << std::setw(11);
    section_forces(1.0, u).print(os);
    os << "\n\n";
}

void LinBeam2d::print_nodal_header(std::ostream& os)
{
    os << '\n' << "                 Nx          Sy          Mz " << '\n';
}

void LinBeam2d::draw(wxDC& dc, DeviceMap& map, bool numbers)
{
    double x1, y1, x2, y2, z;
    nodes[0]->get_coordinates(x1, y1, z);
    nodes[1]->get_coordinates(x2, y2, z);
    const wxPoint p1 = map.to_device(static_cast<float>(x1), static_cast<float>(y1));
    const wxPoint p2 = map.to_device(static_cast<float>(x2), static_cast<float>(y2));
    dc.DrawLine(p1, p2);
    if (numbers)
        dc.DrawText(wxString::Format("%d", static_cast<int>(number())), (p1.x + p2.x) / 2,
                    (p1.y + p2.y) / 2);
}

// The deflected curve in 8 segments: each point of the axis moves by the
// interpolated axial and transverse displacement. A beam of zero length has no
// axis; it is drawn without a displacement rather than stopping the drawing.
void LinBeam2d::draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale)
{
    const Vector3 x1 = nodes[0]->get_position();
    const Vector3 x2 = nodes[1]->get_position();
    const double L = (x2 - x1).norm();
    const Vector3 d = L > 0.0 ? (x2 - x1) * (1.0 / L) : Vector3(0.0, 0.0, 0.0);
    const Vector3 n = cross(Vector3(0.0, 0.0, 1.0), d);
    const Vector u = L > 0.0 ? total_displacements() : Vector(6, 0.0);

    double x, y, z;
    nodes[0]->get_scaled_coordinates(x, y, z, scale);
    wxPoint previous = map.to_device(static_cast<float>(x), static_cast<float>(y));
    const int segments = 8;
    for (int i = 1; i <= segments; ++i) {
        const double xi = static_cast<double>(i) / segments;
        Vector delta(2, 0.0);
        if (L > 0.0) delta = shape_functions(xi) * u * static_cast<double>(scale);
        const Vector3 at = x2 * xi + x1 * (1.0 - xi) + d * delta(1) + n * delta(2);
        at.get(x, y, z);
        const wxPoint next = map.to_device(static_cast<float>(x), static_cast<float>(y));
        dc.DrawLine(previous, next);
        if (numbers && i == segments / 2)
            dc.DrawText(wxString::Format("%d", static_cast<int>(number())), next);
        previous = next;
    }
}
