#ifndef KELVANED_TOTAL_LAGRANGE_H
#define KELVANED_TOTAL_LAGRANGE_H

#include <cstdint>
#include <iosfwd>

#include "continuum.h"
#include "kvmatrix.h"
#include "tensor.h"

// Large-deformation layer on the structural continuum element: all kinematics
// refer to the initial configuration. Every integration point keeps its
// deformation gradient F (F(i, j) = dx_i/dX_j); the material point receives
// Green-Lagrange strain increments and its stress is read as second
// Piola-Kirchhoff stress. The tangent is the material part BL^T D BL plus the
// initial-stress part BNL^T S BNL. Mass, local dofs, pressure loads, result-file
// output and nodal averaging come unchanged from the continuum layer.
class TLNumIntStructElement : public NumIntStructElement {
public:
    // Creates one material point per integration point and sets both gradient
    // arrays to the identity.
    TLNumIntStructElement(std::uint32_t number, KelVane::Node** node_list,
                          std::uint32_t node_count, std::uint32_t element_dofs,
                          std::uint32_t structural_dofs, KelVane::Material_type* material_group,
                          KelVane::Geometry* geometry_group, int stress_state, int point_count);
    ~TLNumIntStructElement() override;

    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override;
    KelVane::Vector internal_forces() override;
    void update_state() override;
    void print_nodal_results(std::ostream& os) override;
    void write_restart(std::ostream& os) override;
    void read_restart(std::istream& is) override;
    void accept() override;

    // Shape-function derivatives on the initial configuration (ndim x nnodes) at
    // the natural coordinates `location`; X holds the initial node positions
    // (nnodes x ndim). det_J receives the determinant of the Jacobian.
    KelVane::Matrix get_dNdX(const KelVane::Vector& location, const KelVane::Matrix& X,
                             double& det_J) const;
    // Derivative of the Green-Lagrange strain vector by the element dofs at the
    // gradient F (stress size x structural dofs); factor receives the volume
    // factor of the point.
    KelVane::Matrix get_BL_mat(const KelVane::Vector& location, const KelVane::Matrix& X,
                               const Tensor2Gen& F, double& factor) const;
    // BL as above together with BNL, which maps the element dofs onto the
    // displacement gradient (du_x/dX1, du_x/dX2, du_y/dX1, du_y/dX2, and u_x/r for
    // axisymmetry). Plane and axisymmetric states only.
    void get_TL_B_mats(const KelVane::Vector& location, const KelVane::Matrix& X,
                       const Tensor2Gen& F, KelVane::Matrix& BL, KelVane::Matrix& BNL,
                       double& factor) const;

    // Deformation gradients of integration point k (from 1): at the last
    // accepted state and of the state being iterated.
    const Tensor2Gen& committed_gradient(int k) const;
    const Tensor2Gen& current_gradient(int k) const;

private:
    double volume_factor(const KelVane::Vector& location, const KelVane::Matrix& X,
                         double det_J) const;
    // Stress of point k arranged for the initial-stress stiffness.
    KelVane::Matrix stress_matrix(int k) const;
    // A deformation gradient whose determinant is not positive turns the material
    // inside out: the step that leads there fails as one that does not converge,
    // so that a smaller step can be tried.
    void refuse_inverted_gradient(int k) const;

    int gradient_count;
    Tensor2Gen* committed_F;  // owned, one per integration point
    Tensor2Gen* current_F;    // owned, one per integration point
};

// Two-dimensional total-Lagrange elements: the listing column headers.
class TLNumInt2D : public TLNumIntStructElement {
public:
    TLNumInt2D(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
               std::uint32_t dof_count, KelVane::Material_type* material_group,
               KelVane::Geometry* geometry_group, int stress_state, int point_count);
    ~TLNumInt2D() override;

    void print_result_header(std::ostream& os) override;
    void print_nodal_header(std::ostream& os) override;
};

// Quadrilaterals with n_xi x n_eta Gauss points.
class TLQuad : public TLNumInt2D {
public:
    TLQuad(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
           std::uint32_t dof_count, KelVane::Material_type* material_group,
           KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta);
    ~TLQuad() override;
};

// Bilinear 4-node quadrilateral.
class TLQuad4 : public TLQuad {
public:
    TLQuad4(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
            KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta);
    ~TLQuad4() override;
};

// 8-node serendipity quadrilateral, nodes in perimeter order.
class TLQuad8 : public TLQuad {
public:
    TLQuad8(std::uint32_t number, KelVane::Node** node_list, KelVane::Material_type* material_group,
            KelVane::Geometry* geometry_group, int stress_state, int n_xi, int n_eta);
    ~TLQuad8() override;
};

// Plane-strain 4-node quadrilateral with 2 x 2 points.
class TLQuad4psn : public TLQuad4 {
public:
    TLQuad4psn(std::uint32_t number, KelVane::Node** node_list,
               KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~TLQuad4psn() override;
};

// Plane-strain 8-node quadrilateral with 2 x 2 points.
class TLQuad8psn : public TLQuad8 {
public:
    TLQuad8psn(std::uint32_t number, KelVane::Node** node_list,
               KelVane::Material_type* material_group, KelVane::Geometry* geometry_group);
    ~TLQuad8psn() override;
};

#endif
