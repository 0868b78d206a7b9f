#ifndef KELVANED_ELEMENT_BASE_H
#define KELVANED_ELEMENT_BASE_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "dof.h"
#include "kvmatrix.h"
#include "transmat.h"
#include "vector3.h"

class wxDC;
class DeviceMap;

namespace KelVane {
class Geometry;
class Material_type;
class Node;
class SystemMat;
class SystemVector;
}  // namespace KelVane

// One of an element's own degrees of freedom: the element node it sits on
// (counted from 1), its direction (ignored for temperatures) and its kind. A dof
// the element does not create is one it acts in without asking its node to move
// that way (a bar's mass across its axis): it is expressed exactly on whatever
// dofs of its kind the node has, and on none when the node has none.
struct LocalDof {
    std::uint32_t node = 0;
    Direction direction;
    KelVane::dof_type type = 0;
    bool created = true;
};

namespace KelVane {

// The face a pressure acts on: as the model was drawn (a linear analysis applies
// every load to the undeformed model) or as the nodes have moved it (a follower
// load, in the incremental analyses).
enum class PressureFace { undeformed, displaced };

// What every element shares: its number, its nodes, its own (local) dofs and the
// transformation T from the node dofs they touch (one column each) to the local
// dofs. All assembly into system matrices and vectors happens here, in node-dof
// space (T^T K T and T^T f); element formulations only supply matrices and
// vectors in local order.
class ElementBase {
public:
    // Takes over the node array (allocated with new[]).
    ElementBase(std::uint32_t number, Node** nodes, std::uint32_t number_of_nodes,
                std::uint32_t number_of_local_dofs);
    ElementBase();
    ElementBase(const ElementBase&) = delete;
    ElementBase& operator=(const ElementBase&) = delete;

    // Virtual operations, in slot order.
    virtual bool is_xp();                                 // element adds a force vector to the rhs
    virtual Matrix stiffness_matrix(Vector& f) = 0;       // local order; may fill f
    virtual Matrix mass_matrix(bool lumped);              // default: zero matrix
    virtual Vector internal_forces() = 0;                 // local order
    virtual LocalDof* GetLocalDofs() = 0;                 // new[] array, one per local dof; caller frees
    virtual Vector pressure_load(int face, double pressure,
                                 PressureFace geometry);  // default: not implemented
    // Faces that take a pressure are numbered from 1 to this; 0: none does.
    virtual int pressure_faces() const { return 0; }
    virtual void write_restart(std::ostream& os) = 0;
    virtual void read_restart(std::istream& is) = 0;
    virtual ~ElementBase();
    virtual void update_state() = 0;                      // state from the current dof increments
    virtual void accept() = 0;                            // commit the step
    virtual void add_nodal_average();                     // default: nothing
    virtual bool symmetric() = 0;
    // Takes back an attempted step whose dof increments are cleared: the state
    // is again the committed one. Default: update_state.
    virtual void revert();
    // Whether the stresses that vanish by assumption (plane stress through the
    // thickness) are at every point at most the fraction `tolerance` of the
    // others. Default: true.
    virtual bool condensed_stresses_negligible(double tolerance);
    // Refuses (throws) an element whose nodes make no sound shape of its kind
    // (numbered clockwise, folded); called when the analysis starts. Returns a
    // note on a shape that runs but that whoever reads the results should know
    // of (a corner folded between the integration points), empty when there is
    // none. Default: nothing to refuse or note.
    virtual std::string check_shape() const;
    // The material whose law gives the element's stresses; null for an element
    // whose law is its own (beams, point masses). Default: null.
    virtual const KelVane::Material_type* stress_law() const { return nullptr; }

    // Creates the element's free dofs on its nodes (those of its local dofs that
    // it creates).
    void create_dofs();
    // Collects the node dofs that express the local dofs and builds T; a node dof
    // that expresses several local dofs is one column.
    void init_transformation();

    void set_profile(SystemMat& K);
    void assemble_stiffness(SystemMat& K, Vector& rhs);
    void assemble_tangent(SystemMat& K, Vector& rhs);
    void assemble_mass(SystemMat& M, bool lumped);
    // The entries off the diagonal of the lumped mass on the node dofs, where they
    // are not zero (assemble_mass adds its diagonal only). A mass lumped along
    // directions other than those of the node's dofs (a beam's mass in its plane at
    // a node whose dofs a 3-D bar turned) couples the dofs of that node; it never
    // couples two nodes.
    void assemble_lumped_couplings(SystemMat& M);
    // kind_squares, where given: each entry's square is added to that of its
    // dof's kind (dof_kind), dof_kinds of them.
    void assemble_internal_forces(SystemVector& F, double* kind_squares = nullptr);
    void add_pressure_load(int face, double pressure, PressureFace geometry, SystemVector& f);

    // Local-order values: T times the node dofs' values (value + increment) or increments.
    // Only after init_transformation.
    Vector get_dof_values() const;
    Vector get_dof_increments() const;
    // The same into the caller's vector (a new array only when its size changes).
    void get_dof_increments(Vector& increments) const;

    // The element's restart record: "E<number>" and its own state.
    void write_restart_data(std::ostream& os);
    void read_restart_data(std::istream& is);

    std::uint32_t number() const { return element_number; }
    std::uint32_t get_nr_nodes() const { return number_of_nodes; }
    std::uint32_t get_nr_local_dofs() const { return number_of_local_dofs; }
    // 0 until init_transformation.
    std::uint32_t get_nr_node_dofs() const { return number_of_node_dofs; }
    // Node of the element's node list, counted from 0.
    Node* get_node(std::uint32_t index) const;
    // Collected node dof, counted from 0 (one per column of T; no dof twice).
    Dof* get_dof(std::uint32_t index) const;
    // Whether collected node dof `index` expresses a local dof that the element
    // creates, not only one it acts in without creating it.
    bool moves_dof(std::uint32_t index) const;
    const TransformationMatrix& get_transformation() const { return T; }

protected:
    // For an element of two nodes, whose axis runs from the first to the second:
    // throws kelvaned_error "element 3 has zero length: its nodes 4 and 5 are at one
    // place" when they give it no axis.
    void refuse_zero_length() const;

    std::uint32_t number_of_nodes;
    std::uint32_t element_number;
    std::uint32_t number_of_node_dofs;
    std::uint32_t number_of_local_dofs;
    Dof** dofs;    // owned array; the dofs belong to the nodes
    Node** nodes;  // owned array; the nodes belong to the model
    TransformationMatrix T;  // rows: local dofs, columns: collected node dofs
    std::vector<bool> moved;  // per column: it expresses a created local dof

private:
    void assemble_free_rows(SystemMat& K, Vector& rhs, bool couple_prescribed);
    // The rows of the free dofs of Kt = T^T Ke T and, when xp, of g = T^T f.
    void add_free_rows(SystemMat& K, Vector& rhs, bool couple_prescribed, const Matrix& Kt,
                       bool xp, const Vector& g) const;
    void scatter(const Vector& local, SystemVector& F, double* kind_squares = nullptr) const;
};

}  // namespace KelVane

// The element interface seen by the analysis procedures, the listing and result
// writers and the drawing.
class FiniteElement : public KelVane::ElementBase {
public:
    using KelVane::ElementBase::ElementBase;

    virtual void print_results(std::ostream& os);
    virtual void print_result_header(std::ostream& os);
    virtual void print_nodal_results(std::ostream& os);
    virtual void print_nodal_header(std::ostream& os);
    virtual void write_res_values(std::ostream& os);
    virtual void write_res_header(std::ostream& os, int step);
    // Element number and node numbers, each right-aligned in 8 characters.
    virtual void print_connectivity(std::ostream& os);
    virtual void draw(wxDC& dc, DeviceMap& map, bool numbers) = 0;
    virtual void draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale);
};

// Common input check of all element classes: counts (and reports on the error
// stream) every required material or geometry reference that is missing.
int check_references(const KelVane::Material_type* material, const KelVane::Geometry* geometry,
                     bool need_material, bool need_geometry);

#endif
