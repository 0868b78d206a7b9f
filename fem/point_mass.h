#ifndef KELVANED_POINT_MASS_H
#define KELVANED_POINT_MASS_H

#include <cstdint>
#include <iosfwd>

#include "element_base.h"

namespace KelVane {
class Geometry;
class Mass_type;
class Material_type;
class Node;
}  // namespace KelVane

// A concentrated mass on the translations of one node: no stiffness, no internal
// force, no state. The leaf classes name the translations it acts on.
class Mass : public FiniteElement {
public:
    // Takes over the node array (one node). The material must be a mass material
    // (check_input makes sure of it before the reader creates the element); the
    // geometry is not kept.
    Mass(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
         KelVane::Geometry* geometry, std::uint32_t number_of_dofs);
    ~Mass() override;

    // Input check of an element group before any element is created; returns the
    // number of errors, each reported on the error stream.
    static int check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry);

    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Matrix mass_matrix(bool lumped) override;
    KelVane::Vector internal_forces() override;
    void write_restart(std::ostream& os) override;
    void read_restart(std::istream& is) override;
    void update_state() override;
    void accept() override;
    bool symmetric() override;

    void draw(wxDC& dc, DeviceMap& map, bool numbers) override;
    void draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale) override;

protected:
    // One translation per dof of the element, along the coordinate axes x, y, z
    // in turn.
    LocalDof* axis_dofs() const;

private:
    void draw_dot(wxDC& dc, const DeviceMap& map, bool numbers, double x, double y) const;

    const KelVane::Mass_type* material;  // not owned
};

// Point mass on the x and y translations.
class Mass2D : public Mass {
public:
    Mass2D(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry);
    LocalDof* GetLocalDofs() override;
};

// Point mass on the x, y and z translations.
class Mass3D : public Mass {
public:
    Mass3D(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry);
    LocalDof* GetLocalDofs() override;
};

#endif
