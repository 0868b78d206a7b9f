#include "element_catalogue.h"

#include "draw_shape.h"
#include "shape.h"

namespace {

std::uint32_t count(int n)
{
    return static_cast<std::uint32_t>(n);
}

}  // namespace

Tri::Tri(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
         std::uint32_t dof_count, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry_group, int stress_state, int n_int)
    : NumInt2D(number, node_list, node_count, dof_count, material_group, geometry_group,
               stress_state, n_int)
{
}

Tri::~Tri() = default;

Tri3::Tri3(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry_group, int stress_state, int n_int)
    : Tri(number, node_list, 3, 6, material_group, geometry_group, stress_state, n_int)
{
    shape = new KelVane::Tri_lin(count(n_int));
    draw_shape = new DrawTri_lin();
}

Tri3::~Tri3() = default;

Tri6::Tri6(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry_group, int stress_state, int n_int, bool alt)
    : Tri(number, node_list, 6, 12, material_group, geometry_group, stress_state, n_int)
{
    if (alt) {
        shape = new KelVane::Tri_quad_alt(count(n_int));
        draw_shape = new DrawTri_quad_alt();
    } else {
        shape = new KelVane::Tri_quad(count(n_int));
        draw_shape = new DrawTri_quad();
    }
}

Tri6::~Tri6() = default;

Quad::Quad(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
           std::uint32_t dof_count, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta)
    : NumInt2D(number, node_list, node_count, dof_count, material_group, geometry_group,
               stress_state, n_xi * n_eta)
{
}

Quad::~Quad() = default;

Quad4::Quad4(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
             int stress_state, int n_xi, int n_eta)
    : Quad(number, node_list, 4, 8, material_group, geometry_group, stress_state, n_xi, n_eta)
{
    shape = new KelVane::Quad_lin(count(n_xi), count(n_eta));
    draw_shape = new DrawQuad_lin();
}

Quad4::~Quad4() = default;

Quad8::Quad8(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
             int stress_state, int n_xi, int n_eta, bool alt)
    : Quad(number, node_list, 8, 16, material_group, geometry_group, stress_state, n_xi, n_eta)
{
    if (alt) {
        shape = new KelVane::Quad_quad_alt(count(n_xi), count(n_eta));
        draw_shape = new DrawQuad_quad_alt();
    } else {
        shape = new KelVane::Quad_quad(count(n_xi), count(n_eta));
        draw_shape = new DrawQuad_quad();
    }
}

Quad8::~Quad8() = default;

Hex::Hex(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
         std::uint32_t dof_count, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry_group, int n_xi, int n_eta, int n_zeta)
    : NumInt3D(number, node_list, node_count, dof_count, material_group, geometry_group,
               n_xi * n_eta * n_zeta)
{
}

Hex::~Hex() = default;

Tri3psn::Tri3psn(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : Tri3(number, node_list, material_group, geometry_group, 1, 1)
{
}

Tri3psn::~Tri3psn() = default;

Tri3pss::Tri3pss(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : Tri3(number, node_list, material_group, geometry_group, 2, 1)
{
}

Tri3pss::~Tri3pss() = default;

Tri3axi::Tri3axi(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : Tri3(number, node_list, material_group, geometry_group, 3, 1)
{
}

Tri3axi::~Tri3axi() = default;

Tri6psn::Tri6psn(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                 bool alt)
    : Tri6(number, node_list, material_group, geometry_group, 1, 3, alt)
{
}

Tri6psn::~Tri6psn() = default;

Tri6pss::Tri6pss(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                 bool alt)
    : Tri6(number, node_list, material_group, geometry_group, 2, 3, alt)
{
}

Tri6pss::~Tri6pss() = default;

Tri6axi::Tri6axi(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                 bool alt)
    : Tri6(number, node_list, material_group, geometry_group, 3, 3, alt)
{
}

Tri6axi::~Tri6axi() = default;

Quad4psn::Quad4psn(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : Quad4(number, node_list, material_group, geometry_group, 1, 2, 2)
{
}

Quad4psn::~Quad4psn() = default;

Quad4pss::Quad4pss(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : Quad4(number, node_list, material_group, geometry_group, 2, 2, 2)
{
}

Quad4pss::~Quad4pss() = default;

Quad4axi::Quad4axi(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group)
    : Quad4(number, node_list, material_group, geometry_group, 3, 2, 2)
{
}

Quad4axi::~Quad4axi() = default;

Quad8psn::Quad8psn(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                   bool alt)
    : Quad8(number, node_list, material_group, geometry_group, 1, 2, 2, alt)
{
}

Quad8psn::~Quad8psn() = default;

Quad8pss::Quad8pss(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                   bool alt)
    : Quad8(number, node_list, material_group, geometry_group, 2, 2, 2, alt)
{
}

Quad8pss::~Quad8pss() = default;

Quad8axi::Quad8axi(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                   bool alt)
    : Quad8(number, node_list, material_group, geometry_group, 3, 2, 2, alt)
{
}

Quad8axi::~Quad8axi() = default;

Hex8::Hex8(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry_group)
    : Hex(number, node_list, 8, 24, material_group, geometry_group, 2, 2, 2)
{
    shape = new KelVane::Hex_lin(2, 2, 2);
    draw_shape = new DrawHex_lin();
}

Hex8::~Hex8() = default;
