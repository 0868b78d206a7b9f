#include "truss.h"

#include <iomanip>
#include <iostream>

#include <wx/dc.h>
#include <wx/string.h>

#include "collect_array.h"
#include "device_map.h"
#include "errors.h"
#include "geometry.h"
#include "material.h"
#include "node.h"

using KelVane::Matrix;
using KelVane::Vector;

namespace {

constexpr int uniaxial = 4;

// Local dofs: the axial displacements of nodes 1 and 2, then x, y, z at node 1
// and x, y, z at node 2.
constexpr std::uint32_t axial_dofs = 2;
constexpr std::uint32_t local_dofs = axial_dofs + 6;

const char* const needs_structural =
    "truss element needs a linearelastic, nonlinearelastic or thermoelastic material";

// The material of a truss as the structural type it must be, one whose points work
// in the uniaxial state; null for any other material.
const KelVane::Structural_type* as_structural(const KelVane::Material_type* material)
{
    const auto* structural = dynamic_cast<const KelVane::Structural_type*>(material);
    return structural != nullptr && structural->supports(uniaxial) ? structural : nullptr;
}

}  // namespace

Truss::Truss(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
             KelVane::Geometry* geometry_group)
    : FiniteElement(number, node_list, 2, local_dofs),
      point(nullptr),
      material(as_structural(material_group)),
      geometry(geometry_group)
{
    if (material == nullptr) throw kelvaned_error(needs_structural);
    if (geometry == nullptr) throw kelvaned_error("truss element needs a geometry");
    KelVane::Material_Point* created = material->create_point(uniaxial);
    point = dynamic_cast<KelVane::Structural_Point*>(created);
    if (point == nullptr) {
        delete created;
        throw kelvaned_error(needs_structural);
    }
}

Truss::~Truss()
{
    delete point;
}

int Truss::check_input(const KelVane::Material_type* material, const KelVane::Geometry* geometry)
{
    int errors = check_references(material, geometry, true, true);
    if (material != nullptr && as_structural(material) == nullptr) {
        std::cerr << needs_structural << std::endl;
        ++errors;
    }
    // Written so that a cross section that is not a number is refused as well.
    if (geometry != nullptr && !(geometry->get_crosse() > 0.0)) {
        std::cerr << "cross section <= 0; this is not allowed" << std::endl;
        ++errors;
    }
    return errors;
}

double Truss::length() const
{
    return (nodes[1]->get_position() - nodes[0]->get_position()).norm();
}

double Truss::cross_section() const
{
    return geometry->get_crosse();
}

const KelVane::Material_type* Truss::stress_law() const
{
    return material;
}

bool Truss::is_xp()
{
    return material->is_xp(uniaxial);
}

// k = A E_t / L along the bar axis.
Matrix Truss::stiffness_matrix(Vector& f)
{
    f = Vector(local_dofs, 0.0);
    const double k = cross_section() * point->get_tangent()(1, 1) / length();
    Matrix K(local_dofs, local_dofs, 0.0);
    K(1, 1) = k;
    K(1, 2) = -k;
    K(2, 1) = -k;
    K(2, 2) = k;
    return K;
}

// The same in x, y and z: lumped diag(m/2, m/2), consistent (m/3, m/6; m/6, m/3).
Matrix Truss::mass_matrix(bool lumped)
{
    const double m = material->density() * cross_section() * length();
    const double own = lumped ? m / 2.0 : 2.0 * ((1.0 / 3.0) * (m / 2.0));
    const double coupled = lumped ? 0.0 : (1.0 / 3.0) * (m / 2.0);
    Matrix M(local_dofs, local_dofs, 0.0);
    for (std::uint32_t i = axial_dofs + 1; i <= axial_dofs + 3; ++i) {
        M(i, i) = own;
        M(i + 3, i + 3) = own;
        M(i, i + 3) = coupled;
        M(i + 3, i) = coupled;
    }
    return M;
}

Vector Truss::internal_forces()
{
    const double N = cross_section() * point->get_stress()(1);
    Vector f(local_dofs, 0.0);
    f(1) = -N;
    f(2) = N;
    return f;
}

std::string Truss::check_shape() const
{
    refuse_zero_length();
    return {};
}

// One displacement along the bar axis at each node, the only dofs the bar
// creates, then the coordinate directions at each node; a bar of zero length has
// no axis and fails here (check_shape names it first when the analysis starts).
LocalDof* Truss::GetLocalDofs()
{
    const Direction axis(nodes[1]->get_position() - nodes[0]->get_position());
    if (local_dofs != number_of_local_dofs) throw kelvaned_error("error in Truss::GetLocalDofs()");
    static const Direction coordinates[3] = {Direction(1.0, 0.0, 0.0), Direction(0.0, 1.0, 0.0),
                                             Direction(0.0, 0.0, 1.0)};
    LocalDof* local = new LocalDof[local_dofs];
    for (std::uint32_t k = 0; k < axial_dofs; ++k)
        local[k] = LocalDof{k + 1, axis, KelVane::displacement_type, true};
    for (std::uint32_t k = 0; k < 6; ++k)
        local[axial_dofs + k] =
            LocalDof{k / 3 + 1, coordinates[k % 3], KelVane::displacement_type, false};
    return local;
}

void Truss::write_restart(std::ostream& os)
{
    KelVane::CollectArray buffer(128);
    point->collect(buffer);
    os << buffer;
}

void Truss::read_restart(std::istream& is)
{
    KelVane::CollectArray buffer;
    is >> buffer;
    point->distribute(buffer);
    // Values left over belong to the point of another material: the file does not
    // match the model.
    if (buffer.cursor() != buffer.size()) throw KelVane::file_error("corrupt restart file");
}

void Truss::update_state()
{
    const Vector du = get_dof_increments();
    point->add_strain_increment(Vector(1, (du(2) - du(1)) / length()));
}

void Truss::accept()
{
    point->accept();
}

bool Truss::symmetric()
{
    return material->symmetric();
}

void Truss::print_stress_row(std::ostream& os, const Vector& stress) const
{
    os << std::scientific << std::setprecision(3);
    os << "element " << number() << '\n';
    os << "        " << std::setw(11);
    stress.print(os);
    os << "\n\n";
}

void Truss::print_results(std::ostream& os)
{
    print_stress_row(os, point->get_stress());
}

void Truss::print_result_header(std::ostream& os)
{
    os << '\n' << "             Sxx" << '\n';
}

void Truss::print_nodal_results(std::ostream& os)
{
    print_stress_row(os, point->get_stress_xp());
}

void Truss::print_nodal_header(std::ostream& os)
{
    os << '\n' << "             Sxx         Syy         Szz" << '\n';
}

namespace {

void draw_bar(wxDC& dc, const DeviceMap& map, const double (&x)[2], const double (&y)[2],
              bool numbers, std::uint32_t number)
{
    const wxPoint p1 = map.to_device(static_cast<float>(x[0]), static_cast<float>(y[0]));
    const wxPoint p2 = map.to_device(static_cast<float>(x[1]), static_cast<float>(y[1]));
    dc.DrawLine(p1, p2);
    if (numbers)
        dc.DrawText(wxString::Format("%d", static_cast<int>(number)), (p1.x + p2.x) / 2,
                    (p1.y + p2.y) / 2);
}

}  // namespace

void Truss::draw(wxDC& dc, DeviceMap& map, bool numbers)
{
    double x[2], y[2], z;
    for (int k = 0; k < 2; ++k) nodes[k]->get_coordinates(x[k], y[k], z);
    draw_bar(dc, map, x, y, numbers, number());
}

void Truss::draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale)
{
    double x[2], y[2], z;
    for (int k = 0; k < 2; ++k) nodes[k]->get_scaled_coordinates(x[k], y[k], z, scale);
    draw_bar(dc, map, x, y, numbers, number());
}
