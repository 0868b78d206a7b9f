#include "plane_solid.h"

#include <iomanip>
#include <ostream>

#include "kv_assert.h"
#include "process_values.h"

namespace {

const char* const columns_3d =
    "             Sxx         Syy         Szz         Sxy         Syz         Szx";

// First line of a result-file block: the title padded to 13 characters, then the
// step and the block's layout numbers.
void write_block_line(std::ostream& os, const char* title, int step, int components)
{
    os << title << ' ' << std::setw(7) << 1 << ' ' << std::setw(11) << step << ' '
       << std::setw(7) << components << ' ' << std::setw(7) << 1 << ' ' << std::setw(7) << 1
       << '\n';
}

// The stress block of a result file names its components one per line.
void write_res_header_with(std::ostream& os, int step, const char* const* names, int count)
{
    if (result_mode == 1) {
        write_block_line(os, "stresses     ", step, 3);
        for (int i = 0; i < count; ++i) os << names[i] << '\n';
    } else if (result_mode == 2) {
        write_block_line(os, "Eq_Pl_strain ", step, 1);
        os << "Epeq" << '\n';
    }
    gauss_point_counter = 0;
}

}  // namespace

NumInt2D::NumInt2D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
                   std::uint32_t dof_count, KelVane::Material_type* material_group,
                   KelVane::Geometry* geometry_group, int stress_state, int point_count)
    : NumIntStructElement(number, node_list, node_count, dof_count, dof_count, material_group,
                          geometry_group, stress_state, point_count)
{
    KV_ASSERT(stress_state >= 1 && stress_state <= 3);
}

NumInt2D::~NumInt2D() = default;

void NumInt2D::write_res_header(std::ostream& os, int step)
{
    // The node averages of 2-D models are written Sxx, Syy, Sxy, Szz.
    static const char* const names[] = {"Sxx", "Syy", "Sxy", "Szz"};
    write_res_header_with(os, step, names, 4);
}

void NumInt2D::print_result_header(std::ostream& os)
{
    print_plane_result_header(os);
}

void NumInt2D::print_nodal_header(std::ostream& os)
{
    print_plane_nodal_header(os);
}

NumInt3D::NumInt3D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
                   std::uint32_t dof_count, KelVane::Material_type* material_group,
                   KelVane::Geometry* geometry_group, int point_count)
    : NumIntStructElement(number, node_list, node_count, dof_count, dof_count, material_group,
                          geometry_group, 0, point_count)
{
}

NumInt3D::~NumInt3D() = default;

void NumInt3D::write_res_header(std::ostream& os, int step)
{
    static const char* const names[] = {"Sxx", "Syy", "Szz", "Sxy", "Syz", "Szx"};
    write_res_header_with(os, step, names, 6);
}

void NumInt3D::print_result_header(std::ostream& os)
{
    os << '\n' << columns_3d << '\n';
}

void NumInt3D::print_nodal_header(std::ostream& os)
{
    os << '\n' << columns_3d << '\n';
}
