#ifndef KELVANED_PLANE_SOLID_H
#define KELVANED_PLANE_SOLID_H

#include <cstdint>
#include <iosfwd>

#include "continuum.h"

// Layer of the plane strain, plane stress and axisymmetric elements: two
// displacements (x, y) per node. It owns the column headers of their listing
// rows and the header of their result-file stress blocks.
class NumInt2D : public NumIntStructElement {
public:
    // stress_state 1, 2 or 3; the dof count is both the structural and the
    // element dof count.
    NumInt2D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
             std::uint32_t dof_count, KelVane::Material_type* material_group,
             KelVane::Geometry* geometry_group, int stress_state, int point_count);
    ~NumInt2D() override;

    void write_res_header(std::ostream& os, int step) override;
    void print_result_header(std::ostream& os) override;
    void print_nodal_header(std::ostream& os) override;
};

// Layer of the solid elements: three displacements (x, y, z) per node.
class NumInt3D : public NumIntStructElement {
public:
    NumInt3D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
             std::uint32_t dof_count, KelVane::Material_type* material_group,
             KelVane::Geometry* geometry_group, int point_count);
    ~NumInt3D() override;

    void write_res_header(std::ostream& os, int step) override;
    void print_result_header(std::ostream& os) override;
    void print_nodal_header(std::ostream& os) override;
};

#endif
