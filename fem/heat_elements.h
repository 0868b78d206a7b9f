#ifndef KELVANED_HEAT_ELEMENTS_H
#define KELVANED_HEAT_ELEMENTS_H

#include <cstdint>
#include <iosfwd>

#include "kvmatrix.h"
#include "numint_element.h"

namespace KelVane {
class Thermal_Point;
}  // namespace KelVane

// Layer of the numerically integrated elements with one temperature dof per
// node. It integrates conduction and heat capacity over the integration points
// for a time-stepping analysis: the conduction terms are scaled by the time
// step of the running increment (current_time_step), the capacity terms are
// not, so the element matrix is capacity + dt * conductivity.
// Geometric settings: 1 plane (unit thickness), 2 plane with the geometry's
// thickness, 3 axisymmetric.
class NumIntThermalElement : public virtual NumIntElement {
public:
    // Builds the shared element part as well: takes over the node array and
    // creates one point state per integration point. The material's points
    // must be heat conduction points (kelvaned_error otherwise).
    NumIntThermalElement(std::uint32_t number, KelVane::Node** node_list,
                         std::uint32_t node_count, std::uint32_t dof_count,
                         std::uint32_t element_dofs, KelVane::Material_type* material_group,
                         KelVane::Geometry* geometry_group, int stress_state, int point_count);
    ~NumIntThermalElement() override;

    LocalDof* GetLocalDofs() override;
    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Vector internal_forces() override;
    void update_state() override;
    void print_results(std::ostream& os) override;
    void print_nodal_results(std::ostream& os) override;
    void print_result_header(std::ostream& os) override;
    void print_nodal_header(std::ostream& os) override;

    // Derivatives of the shape functions by x, y (nodal dimension x nodes) at
    // the point of natural coordinates `location` on the node coordinates X;
    // factor receives the point's volume factor.
    KelVane::Matrix get_dNdX(const KelVane::Vector& location, const KelVane::Matrix& X,
                             double& factor) const;
    // Hands the point the gradient increment and the temperature increment
    // that the nodal temperature increments dT give at the location.
    void update_point(const KelVane::Vector& location, const KelVane::Vector& dT,
                      KelVane::Thermal_Point& point) const;

    std::uint32_t get_nr_thermal_dofs() const { return thermal_dofs; }
    std::uint32_t get_thermal_state() const { return thermal_state; }

protected:
    // For a layer that builds the shared element part itself (an element that
    // joins this layer with a structural one): sets this layer's own fields only.
    NumIntThermalElement(std::uint32_t dof_count, int stress_state);

    // State of integration point k (from 1) as a heat conduction point.
    KelVane::Thermal_Point& thermal_point(int k) const;
    int thermal_dimension() const;
    // Refuses a material whose first point_count points are not heat
    // conduction points.
    void check_thermal_points(int point_count) const;

    std::uint32_t thermal_dofs;
    std::uint32_t thermal_state;
};

// Linear 3-node triangle for plane heat conduction (one integration point).
class Tri3therm : public NumIntThermalElement {
public:
    Tri3therm(std::uint32_t number, KelVane::Node** node_list,
              KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Tri3therm() override;

    // Input check of an element group: a material is required, a geometry is
    // not; the material must be a heat conduction material. Returns the number
    // of errors, each reported on the error stream.
    static int check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry);
};

#endif
