#ifndef KELVANED_TRUSS_H
#define KELVANED_TRUSS_H

#include <cstdint>
#include <iosfwd>

#include "element_base.h"

namespace KelVane {
class Geometry;
class Material_type;
class Node;
class Structural_Point;
class Structural_type;
}  // namespace KelVane

// Two-node bar with one axial displacement per node. Its axial strain drives a
// uniaxial material point, so any structural material that supports the uniaxial
// state serves, elastic or not: linearelastic, nonlinearelastic, thermoelastic.
// The bar creates only its axial dofs, but its mass moves with its nodes in every
// direction they move: its local dofs are the two axial displacements, which
// carry its stiffness and forces, followed by x, y and z at node 1 and at node 2,
// which carry its mass and which the transformation projects onto whatever
// displacement dofs the nodes have (on a node that moves only along the bar this
// is its axial mass).
class Truss : public FiniteElement {
public:
    // Takes over the node array (two nodes). The material must be structural and
    // support the uniaxial state (check_input makes sure of it before the reader
    // creates the element).
    Truss(std::uint32_t number, KelVane::Node** nodes, KelVane::Material_type* material,
          KelVane::Geometry* geometry);
    ~Truss() override;

    // Input check of an element group before any element is created; returns the
    // number of errors, each reported on the error stream.
    static int check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry);

    const KelVane::Material_type* stress_law() const override;
    bool is_xp() override;
    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Matrix mass_matrix(bool lumped) override;
    KelVane::Vector internal_forces() override;
    LocalDof* GetLocalDofs() override;
    // Refuses a bar whose two nodes are at one place.
    std::string check_shape() const override;
    void write_restart(std::ostream& os) override;
    void read_restart(std::istream& is) override;
    void update_state() override;
    void accept() override;
    bool symmetric() override;

    void print_results(std::ostream& os) override;
    void print_result_header(std::ostream& os) override;
    void print_nodal_results(std::ostream& os) override;
    void print_nodal_header(std::ostream& os) override;
    void draw(wxDC& dc, DeviceMap& map, bool numbers) override;
    void draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale) override;

    const KelVane::Structural_Point& get_point() const { return *point; }

private:
    double length() const;
    double cross_section() const;
    void print_stress_row(std::ostream& os, const KelVane::Vector& stress) const;

    KelVane::Structural_Point* point;          // owned
    const KelVane::Structural_type* material;  // not owned
    const KelVane::Geometry* geometry;         // not owned
};

#endif
