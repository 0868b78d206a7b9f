#include "point_mass.h"

#include <iostream>

#include <wx/dc.h>
#include <wx/string.h>

#include "device_map.h"
#include "errors.h"
#include "kv_assert.h"
#include "material.h"
#include "node.h"

using KelVane::Matrix;
using KelVane::Vector;

namespace {

const char* const needs_mass = "mass element needs a mass material";

const KelVane::Mass_type* as_mass(const KelVane::Material_type* material)
{
    return dynamic_cast<const KelVane::Mass_type*>(material);
}

}  // namespace

Mass::Mass(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
           KelVane::Geometry* /*geometry*/, std::uint32_t number_of_dofs)
    : FiniteElement(number, node_list, 1, number_of_dofs), material(as_mass(material_group))
{
    if (material == nullptr) throw kelvaned_error(needs_mass);
}

Mass::~Mass() = default;

int Mass::check_input(const KelVane::Material_type* material, const KelVane::Geometry* geometry)
{
    int errors = check_references(material, geometry, true, false);
    if (material != nullptr) {
        const KelVane::Mass_type* mass = as_mass(material);
        if (mass == nullptr) {
            std::cerr << needs_mass << std::endl;
            ++errors;
        } else if (!(mass->mass() > 0.0)) {  // a mass that is not a number is refused too
            std::cerr << "mass <= 0; this is not allowed" << std::endl;
            ++errors;
        }
    }
    if (geometry != nullptr) {
        std::cerr << "geometry definition is not allowed for mass element" << std::endl;
        ++errors;
    }
    return errors;
}

Matrix Mass::stiffness_matrix(Vector& f)
{
    f = Vector(number_of_local_dofs, 0.0);
    return Matrix(number_of_local_dofs, number_of_local_dofs, 0.0);
}

// The same diagonal for the lumped and the consistent form.
Matrix Mass::mass_matrix(bool /*lumped*/)
{
    Matrix M(number_of_local_dofs, number_of_local_dofs, 0.0);
    for (unsigned i = 1; i <= number_of_local_dofs; ++i) M(i, i) = material->mass();
    return M;
}

Vector Mass::internal_forces()
{
    return Vector(number_of_local_dofs, 0.0);
}

void Mass::write_restart(std::ostream& /*os*/) {}

void Mass::read_restart(std::istream& /*is*/) {}

void Mass::update_state() {}

void Mass::accept() {}

bool Mass::symmetric()
{
    return true;
}

LocalDof* Mass::axis_dofs() const
{
    static const Direction axes[3] = {Direction(1.0, 0.0, 0.0), Direction(0.0, 1.0, 0.0),
                                      Direction(0.0, 0.0, 1.0)};
    KV_ASSERT(number_of_local_dofs <= 3);
    LocalDof* local = new LocalDof[number_of_local_dofs];
    for (std::uint32_t k = 0; k < number_of_local_dofs; ++k)
        local[k] = LocalDof{1, axes[k], KelVane::displacement_type};
    return local;
}

// A dot of 4 pixels, with the element number one text line above it.
void Mass::draw_dot(wxDC& dc, const DeviceMap& map, bool numbers, double x, double y) const
{
    const int px = map.dev_x(static_cast<float>(x));
    const int py = map.dev_y(static_cast<float>(y));
    dc.DrawEllipse(px - 2, py - 2, 4, 4);
    if (numbers)
        dc.DrawText(wxString::Format("%d", static_cast<int>(number())), px,
                    py - dc.GetCharHeight());
}

void Mass::draw(wxDC& dc, DeviceMap& map, bool numbers)
{
    double x, y, z;
    nodes[0]->get_coordinates(x, y, z);
    draw_dot(dc, map, numbers, x, y);
}

void Mass::draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale)
{
    double x, y, z;
    nodes[0]->get_scaled_coordinates(x, y, z, scale);
    draw_dot(dc, map, numbers, x, y);
}

Mass2D::Mass2D(std::uint32_t number, KelVane::Node** node_list,
               KelVane::Material_type* material_group, KelVane::Geometry* geometry)
    : Mass(number, node_list, material_group, geometry, 2)
{
}

LocalDof* Mass2D::GetLocalDofs()
{
    return axis_dofs();
}

Mass3D::Mass3D(std::uint32_t number, KelVane::Node** node_list,
               KelVane::Material_type* material_group, KelVane::Geometry* geometry)
    : Mass(number, node_list, material_group, geometry, 3)
{
}

LocalDof* Mass3D::GetLocalDofs()
{
    return axis_dofs();
}
