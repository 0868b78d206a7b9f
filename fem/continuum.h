#ifndef KELVANED_CONTINUUM_H
#define KELVANED_CONTINUUM_H

#include <cstdint>
#include <iosfwd>
#include <string>

#include "kvmatrix.h"
#include "numint_element.h"

namespace KelVane {
class Structural_Point;
class Structural_type;
}  // namespace KelVane

// Refuses (kelvaned_error) the radius r of an axisymmetric integration point that
// is not positive, or so small beside the element's outermost nodal radius (the
// largest x of the node coordinates X) that its hoop strain means nothing.
void check_point_radius(double r, const KelVane::Matrix& X, std::uint32_t element);

// Layer of the numerically integrated elements with displacement dofs: small
// displacements on the reference geometry, for the three-dimensional (0), plane
// strain (1), plane stress (2) and axisymmetric (3) stress states. It turns the
// shape functions and the material states at the integration points into
// stiffness, mass, internal forces, face pressures, state updates and stress
// output. Element dofs run node by node, and within a node by axis.
class NumIntStructElement : public virtual NumIntElement {
public:
    // Builds the shared element part as well: takes over the node array and
    // creates one point state per integration point. The material must be a
    // structural one (kelvaned_error otherwise).
    NumIntStructElement(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
                        std::uint32_t structural_dofs, std::uint32_t element_dofs,
                        KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                        int stress_state, int point_count);
    ~NumIntStructElement() override;

    bool is_xp() override;
    LocalDof* GetLocalDofs() override;
    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Vector internal_forces() override;
    KelVane::Matrix mass_matrix(bool lumped) override;
    void update_state() override;
    bool condensed_stresses_negligible(double tolerance) override;
    KelVane::Vector pressure_load(int face, double p, KelVane::PressureFace geometry) override;
    int pressure_faces() const override;
    void print_results(std::ostream& os) override;
    void print_nodal_results(std::ostream& os) override;
    void write_res_header(std::ostream& os, int step) override;
    void write_res_values(std::ostream& os) override;
    void add_nodal_average() override;

    // Strain-displacement matrix (stress size x structural dofs) at a point of
    // natural coordinates `location` on the node coordinates X; factor receives
    // the point's volume factor (det J, times the thickness for plane stress,
    // times 2 pi r for axisymmetry).
    KelVane::Matrix get_B_mat(const KelVane::Vector& location, const KelVane::Matrix& X,
                              double& factor) const;
    // get_B_mat from the natural derivatives G of the shape functions at the point
    // and, for axisymmetry, the shape functions N there, into B's own storage.
    void fill_B_mat(const KelVane::Matrix& G, const KelVane::Matrix& N, const KelVane::Matrix& X,
                    double& factor, KelVane::Matrix& B) const;
    // Interpolation matrix: nodal dimension x structural dofs.
    KelVane::Matrix get_N_mat(const KelVane::Vector& location) const;
    // Hands the point the strain increment B du at the location.
    void update_point(const KelVane::Vector& location, const KelVane::Vector& du,
                      KelVane::Structural_Point& point) const;

    // Input check of an element group before the reader creates its elements;
    // returns the number of errors, each reported on the error stream. The
    // material must be structural and support the stress state; a material the
    // element cannot use is one error, named with the element's name.
    static int check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry, int stress_state,
                           const std::string& name);
    // The part of the check that does not look at the material's kind: the
    // references the group needs and the thickness of plane stress.
    static int check_group(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry, int stress_state);

    std::uint32_t get_stress_state() const { return stress_state; }
    std::uint32_t get_nr_structural_dofs() const { return structural_dofs; }

protected:
    // For a layer that builds the shared element part itself (an element that
    // joins this layer with a thermal one): sets this layer's own fields only.
    NumIntStructElement(std::uint32_t structural_dofs, int stress_state);

    const KelVane::Structural_type& structural_material() const;
    // State of integration point k (from 1) as a structural point.
    KelVane::Structural_Point& structural_point(int k) const;
    int nodal_dimension() const;
    // Thickness of the element's geometry; kelvaned_error when it has none.
    double thickness() const;

    // f += factor * B^T s
    static void add_Bt_vector(KelVane::Vector& f, const KelVane::Matrix& B,
                              const KelVane::Vector& s, double factor);
    // Tangent D of point k for a stiffness term wf B^T D B. In the condensed
    // formulation (xp) the tangent comes with the stress change s that the
    // formulation still owes; -wf B^T s is added to the right-hand side f.
    void point_tangent(int k, bool xp, const KelVane::Matrix& B, double wf, KelVane::Vector& f,
                       KelVane::Matrix& D) const;

    // Column headers of the listing of the plane and axisymmetric states: the
    // element rows, and the node rows, which carry the expanded stress.
    void print_plane_result_header(std::ostream& os) const;
    static void print_plane_nodal_header(std::ostream& os);

    std::uint32_t structural_dofs;
    std::uint32_t stress_state;

private:
    void print_point_rows(std::ostream& os, bool expanded) const;
};

#endif
