#ifndef KELVANED_ELEMENT_CATALOGUE_H
#define KELVANED_ELEMENT_CATALOGUE_H

// The concrete plane, axisymmetric and solid elements. Each class only fixes,
// in its constructor, the node count, the dof count, the stress state, the
// shape with its integration order and the outline; all operations come from
// the layers below. The "alt" flag of the 6- and 8-node families selects the
// node order that lists the corner nodes first, then the mid-side nodes.

#include <cstdint>

#include "plane_solid.h"

// Shape family of the triangles.
class Tri : public NumInt2D {
public:
    Tri(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
        std::uint32_t dof_count, KelVane::Material_type* material_group,
        KelVane::Geometry* geometry_group, int stress_state, int n_int);
    ~Tri() override;
};

// Linear 3-node triangle.
class Tri3 : public Tri {
public:
    Tri3(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry_group, int stress_state, int n_int);
    ~Tri3() override;
};

// Quadratic 6-node triangle.
class Tri6 : public Tri {
public:
    Tri6(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry_group, int stress_state, int n_int, bool alt);
    ~Tri6() override;
};

// Shape family of the quadrilaterals.
class Quad : public NumInt2D {
public:
    Quad(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
         std::uint32_t dof_count, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta);
    ~Quad() override;
};

// Bilinear 4-node quadrilateral.
class Quad4 : public Quad {
public:
    Quad4(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
          KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta);
    ~Quad4() override;
};

// 8-node serendipity quadrilateral.
class Quad8 : public Quad {
public:
    Quad8(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
          KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta, bool alt);
    ~Quad8() override;
};

// Shape family of the hexahedra (three-dimensional stress state).
class Hex : public NumInt3D {
public:
    Hex(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
        std::uint32_t dof_count, KelVane::Material_type* material_group,
        KelVane::Geometry* geometry_group, int n_xi, int n_eta, int n_zeta);
    ~Hex() override;
};

// Leaf classes: one integration point for the linear triangles, the 3-point
// rule for the quadratic ones, 2 x 2 points for both quadrilaterals (reduced
// integration for the 8-node one) and 2 x 2 x 2 for the hexahedron. The plane
// stress classes need a geometry with the thickness.

class Tri3psn : public Tri3 {
public:
    Tri3psn(std::uint32_t number, KelVane::Node** node_list,
            KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Tri3psn() override;
};

class Tri3pss : public Tri3 {
public:
    Tri3pss(std::uint32_t number, KelVane::Node** node_list,
            KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Tri3pss() override;
};

class Tri3axi : public Tri3 {
public:
    Tri3axi(std::uint32_t number, KelVane::Node** node_list,
            KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Tri3axi() override;
};

class Tri6psn : public Tri6 {
public:
    Tri6psn(std::uint32_t number, KelVane::Node** node_list,
            KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, bool alt);
    ~Tri6psn() override;
};

class Tri6pss : public Tri6 {
public:
    Tri6pss(std::uint32_t number, KelVane::Node** node_list,
            KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, bool alt);
    ~Tri6pss() override;
};

class Tri6axi : public Tri6 {
public:
    Tri6axi(std::uint32_t number, KelVane::Node** node_list,
            KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, bool alt);
    ~Tri6axi() override;
};

class Quad4psn : public Quad4 {
public:
    Quad4psn(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Quad4psn() override;
};

class Quad4pss : public Quad4 {
public:
    Quad4pss(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Quad4pss() override;
};

class Quad4axi : public Quad4 {
public:
    Quad4axi(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Quad4axi() override;
};

class Quad8psn : public Quad8 {
public:
    Quad8psn(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, bool alt);
    ~Quad8psn() override;
};

class Quad8pss : public Quad8 {
public:
    Quad8pss(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, bool alt);
    ~Quad8pss() override;
};

class Quad8axi : public Quad8 {
public:
    Quad8axi(std::uint32_t number, KelVane::Node** node_list,
             KelVane::Material_type* material_group, KelVane::Geometry* geometry_group, bool alt);
    ~Quad8axi() override;
};

// Trilinear 8-node hexahedron; not drawn (its outline is empty).
class Hex8 : public Hex {
public:
    Hex8(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry_group);
    ~Hex8() override;
};

#endif
