#ifndef KELVANED_BEAM_H
#define KELVANED_BEAM_H

#include <cstdint>
#include <iosfwd>

#include "element_base.h"

class Elastic_type;

namespace KelVane {
class Geometry;
class Material_type;
class Node;
}  // namespace KelVane

// Linear Euler-Bernoulli beam in the x-y plane with two nodes, each carrying an
// axial and a transverse displacement and a rotation about z. It takes Young's
// modulus from a linear elastic material and keeps its end forces itself.
class LinBeam2d : public FiniteElement {
public:
    // Takes over the node array (two nodes). The material must have an elastic
    // part (check_input makes sure of it before the reader creates the element).
    LinBeam2d(std::uint32_t number, KelVane::Node** node_list,
              KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~LinBeam2d() override;

    // Input check of an element group before any element is created; returns the
    // number of errors, each reported on the error stream.
    static int check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry);

    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Matrix mass_matrix(bool lumped) override;
    KelVane::Vector internal_forces() override;
    LocalDof* GetLocalDofs() override;
    // Refuses a beam whose two nodes are at one place.
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

    // Normal force Nx, shear force Sy and bending moment Mz at the fraction xi of
    // the length (0 at node 1, 1 at node 2), from the total local displacements u.
    KelVane::Vector section_forces(double xi, const KelVane::Vector& u) const;
    // The 2 x 6 interpolation of the axial and transverse displacement at xi.
    KelVane::Matrix shape_functions(double xi) const;

    const KelVane::Vector& get_end_forces() const { return current_end_forces; }

private:
    double length() const;
    double young() const;
    // Local order: T times the node dof values, or zeros before the dofs exist.
    KelVane::Vector total_displacements() const;

    KelVane::Vector converged_end_forces;
    KelVane::Vector current_end_forces;
    const Elastic_type* material;        // not owned
    const KelVane::Geometry* geometry;   // not owned
};

#endif
