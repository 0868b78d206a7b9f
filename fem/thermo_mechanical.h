#ifndef KELVANED_THERMO_MECHANICAL_H
#define KELVANED_THERMO_MECHANICAL_H

#include <cstdint>
#include <iosfwd>

#include "continuum.h"
#include "heat_elements.h"
#include "kvmatrix.h"

// Element that couples small-strain structural behaviour with heat conduction:
// every node carries displacements and a temperature, and the temperatures
// cause thermal strain at the integration points. The structural and the
// thermal layer share one node list, one shape and one array of points, whose
// states are structural and thermal at once (thermo-elastic or thermo-plastic).
// Element dofs: all displacements first (node by node), then all temperatures.
// The tangent has a coupling block K_uT (forces by temperatures) and none the
// other way round, so it is not symmetric.
class NumIntThermoMechanicalElement : public NumIntStructElement, public NumIntThermalElement {
public:
    // structural_dofs = nodes x nodal dimension, thermal_dofs = nodes.
    NumIntThermoMechanicalElement(std::uint32_t number, KelVane::Node** node_list,
                                  std::uint32_t node_count, std::uint32_t structural_dofs,
                                  std::uint32_t thermal_dofs,
                                  KelVane::Material_type* material_group,
                                  KelVane::Geometry* geometry_group, int stress_state,
                                  int point_count);
    ~NumIntThermoMechanicalElement() override;

    LocalDof* GetLocalDofs() override;
    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Vector internal_forces() override;
    void update_state() override;
    KelVane::Vector pressure_load(int face, double p, KelVane::PressureFace geometry) override;
    // The listing shows the structural stresses only.
    void print_results(std::ostream& os) override;
    void print_nodal_results(std::ostream& os) override;

    // Input check of an element group: the references and thickness of the
    // structural layer for the stress state, and a material that is structural
    // and thermal at once (one error for any other material).
    static int check_input(const KelVane::Material_type* material,
                           const KelVane::Geometry* geometry, int stress_state);

protected:
    // The coupling block K_uT = -sum_p B^T D m alpha N w f_p (structural dofs x
    // temperature dofs): the change of the structural internal forces with the
    // nodal temperatures.
    KelVane::Matrix coupling_matrix() const;
};

// The plane thermo-mechanical elements: column headers of their listing rows.
class NumIntThermMech2D : public NumIntThermoMechanicalElement {
public:
    NumIntThermMech2D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
                      std::uint32_t structural_dofs, std::uint32_t thermal_dofs,
                      KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                      int stress_state, int point_count);
    ~NumIntThermMech2D() override;

    void print_result_header(std::ostream& os) override;
    void print_nodal_header(std::ostream& os) override;
};

// Linear 3-node triangle with n_int integration points.
class Tri3ThermMech : public NumIntThermMech2D {
public:
    Tri3ThermMech(std::uint32_t number, KelVane::Node** node_list,
                  KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                  int stress_state, int n_int);
    ~Tri3ThermMech() override;
};

// Bilinear 4-node quadrilateral with n_xi x n_eta Gauss points.
class Quad4ThermMech : public NumIntThermMech2D {
public:
    Quad4ThermMech(std::uint32_t number, KelVane::Node** node_list,
                   KelVane::Material_type* material_group, KelVane::Geometry* geometry_group,
                   int stress_state, int n_xi, int n_eta);
    ~Quad4ThermMech() override;
};

// Plane strain triangle, one integration point ("tri3psntherm").
class Tri3psnTherm : public Tri3ThermMech {
public:
    Tri3psnTherm(std::uint32_t number, KelVane::Node** node_list,
                 KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Tri3psnTherm() override;
};

// Plane strain quadrilateral, 2 x 2 points ("quad4psntherm").
class Quad4psnTherm : public Quad4ThermMech {
public:
    Quad4psnTherm(std::uint32_t number, KelVane::Node** node_list,
                  KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Quad4psnTherm() override;
};

// Plane stress quadrilateral, 2 x 2 points ("quad4psstherm"); needs a thickness.
class Quad4pssTherm : public Quad4ThermMech {
public:
    Quad4pssTherm(std::uint32_t number, KelVane::Node** node_list,
                  KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~Quad4pssTherm() override;
};

#endif
