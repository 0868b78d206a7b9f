#ifndef KELVANED_DOMAIN_H
#define KELVANED_DOMAIN_H

#include <cstdint>
#include <iosfwd>
#include <list>
#include <string>
#include <utility>
#include <vector>

#include "element_base.h"
#include "geometry.h"
#include "kvmatrix.h"
#include "loads.h"
#include "material.h"
#include "node.h"
#include "process_values.h"

class wxDC;
class DeviceMap;
class DrawProperties;

namespace KelVane {

class SystemMat;
class SystemVector;
class PostProc;

// The model: every node, element, load set, material and geometry the model file
// defines, the title, and the equation counts once the dofs are numbered. The
// container owns all objects in its lists.
template <class Element, class NodeType>
class Domain {
public:
    Domain() = default;
    Domain(const Domain&) = delete;
    Domain& operator=(const Domain&) = delete;

    // Every node numbers its dofs; each dof takes the next number of the count of
    // its status. The counts are not reset here.
    virtual void number_equations()
    {
        for (NodeType* node : nodes) node->number_dofs(n_free, n_fixed, n_prescribed);
    }

    // Elements go before the nodes they point to.
    virtual ~Domain()
    {
        for (Element* element : elements) delete element;
        for (NodeType* node : nodes) delete node;
        for (Material_type* material : materials) delete material;
        for (Geometry* geometry : geometries) delete geometry;
        for (LoadSet* load_set : load_sets) delete load_set;
    }

    virtual void write_output(std::ostream&) {}

    // Appends the element (which the container then owns). The model stays
    // symmetric only while every element is; once it is not, no element is asked.
    void add_element(Element* element)
    {
        elements.push_back(element);
        if (symmetric) symmetric = element->symmetric();
    }

    std::list<NodeType*> nodes;          // in the order the reader added them
    std::list<Element*> elements;        // in reading order
    std::string title;
    std::list<LoadSet*> load_sets;
    std::list<Material_type*> materials;
    std::list<Geometry*> geometries;
    std::uint32_t n_free = 0;
    std::uint32_t n_fixed = 0;
    std::uint32_t n_prescribed = 0;
    // Cleared by the reader when it adds an element that is not symmetric; every
    // system matrix of the analysis is created with it.
    bool symmetric = true;
};

// The model of the incremental analyses; adds nothing.
template <class Element, class NodeType>
class IncDomain : public Domain<Element, NodeType> {
public:
    IncDomain() = default;
};

}  // namespace KelVane

// The model container of this program: the loops over nodes and elements that the
// analysis procedures use, the listing and result-file writers, the bounding box
// and the drawing of the mesh.
class MyDomain : public KelVane::IncDomain<FiniteElement, MyNode> {
public:
    MyDomain() = default;

    // Every element's shape is checked (a folded one stops the analysis), then the
    // element dofs, the element transformations, the dofs without an element go,
    // then the numbering. The counts start again from 0, so a repeated set-up
    // numbers the same way.
    void setup_dofs();
    // After setup_dofs: the load sets that the analysis applies (by number) must
    // be carried as given (LoadSet::check_carried; the first fault throws). The
    // other sets never act: a fault of theirs is only noted on the error stream,
    // one line per set. The notes on load parts that the applied sets drop are
    // kept for report_dropped_loads.
    void check_applied_loads(const std::vector<int>& applied);
    void create_element_dofs();
    void init_transformations();
    // A suppression or a prescribed value of a kind that the node's elements do not
    // have (t, a rotation, uz on plane elements) acts on nothing: such a dof is
    // removed with a message naming the node and the dof, so that it is neither
    // numbered nor listed (no column, no reaction); so is a hold of *suppress of
    // such a kind (Node::holds). Only after
    // init_transformations, which tells which dofs the elements use (a dof that an
    // element only acts in, as a bar's mass across its axis, is not given by it).
    // Returns whether a dof was removed: the transformations must then be built
    // again.
    bool remove_dofs_without_element();
    // A node takes directions that differ by up to 0.0573 degrees as one (Node::
    // add_dof): writes a note line for every node where directions that are not
    // parallel to rounding were joined so, naming the node and the largest angle,
    // to the listing and the screen. Only after setup_dofs.
    void report_joined_directions(std::ostream& listing) const;
    // Writes the notes of the last check_applied_loads, one line for every node and
    // kind of load where an applied set drops a part of its loads larger than
    // rounding, to the listing and the error stream.
    void report_dropped_loads(std::ostream& listing) const;
    // Writes the notes of the shape check on elements that run (a corner folded
    // between the integration points), one line each by element number, to the
    // listing and the screen. After setup_dofs, or after it threw: the notes of
    // the elements checked before.
    void report_shape_notes(std::ostream& listing) const;
    // True when an element conducts heat (its conduction scales with the time step).
    bool conducts_heat() const;
    // A linear analysis solves once with the stiffness at zero strain. A material
    // whose law is not linear (nonlinear elastic, von Mises, even while it stays
    // elastic) or an element that follows large displacements (total Lagrange)
    // would give stresses that do not balance the loads: throws an error naming
    // the first such material, else the first such element, and *nonlinear static.
    void refuse_nonlinear_parts() const;

    // Advances load set `load_set` by the factor increment; throws
    // KelVane::not_found("unknown load set number N: ...") when there is no such set.
    void apply_load(int load_set, double dfactor);

    void set_profile(KelVane::SystemMat& K);
    // Zeroes K and rhs, then adds every element's stiffness (with the coupling to
    // prescribed changes in rhs).
    void assemble_stiffness(KelVane::SystemMat& K, KelVane::Vector& rhs);
    // Zeroes K only: rhs keeps what the caller put in it.
    void assemble_tangent(KelVane::SystemMat& K, KelVane::Vector& rhs);
    void assemble_mass(KelVane::SystemMat& M, bool lumped);
    // Adds (without zeroing M) the lumped masses' entries that couple two free dofs
    // of one node (ElementBase::assemble_lumped_couplings).
    void assemble_lumped_couplings(KelVane::SystemMat& M);
    // Sum of every load set's forces at its current factor, in all three parts, the
    // face pressures on the faces that pressure_face names. The
    // heat flows enter multiplied by current_time_step, as the heat elements form
    // an implicit-Euler step multiplied through by the time step (C dT + dt K T =
    // dt q): the steady temperatures then do not depend on the step.
    void external_forces(KelVane::SystemVector& forces);
    // kind_squares: see ElementBase::assemble_internal_forces.
    void internal_forces(KelVane::SystemVector& forces, double* kind_squares = nullptr);
    // The kind (dof_kind) of every equation, by part.
    void equation_kinds(std::vector<unsigned char>& free, std::vector<unsigned char>& prescribed,
                        std::vector<unsigned char>& fixed) const;
    // Multiplies the entries of every temperature dof, in all three parts, by factor.
    void scale_temperature_entries(KelVane::SystemVector& forces, double factor) const;

    void add_increment(const KelVane::Vector& du);
    void update_elements();
    // After clear_increments: the elements take back the attempted step.
    void revert_elements();
    // Whether every element's stresses that vanish by assumption (plane stress
    // through the thickness) are at most the fraction `tolerance` of the others.
    bool condensed_stresses_negligible(double tolerance) const;
    // Node values accept their increments first, then the elements accept their
    // states (which may read the updated node values).
    void commit();
    void nodes_accept_increment();
    void clear_increments();
    // Resizes du to n_free when needed (without clearing it) and fills the free entries.
    void get_increments(KelVane::Vector& du);
    // Sum over the prescribed dofs of forces times the dof's running increment: the
    // work the prescribed changes of a step do against those forces.
    double prescribed_increment_work(KelVane::SystemVector& forces) const;
    // Whether a prescribed dof has a running increment other than 0.
    bool has_prescribed_increments() const;
    // Sum over every dof of forces times the dof's value (increment included).
    double value_work(KelVane::SystemVector& forces) const;

    // Nodes, elements and load sets, in this order.
    void write_restart_state(std::ostream& os);
    void read_restart_state(std::istream& is);

    // Extent of the node positions (displaced by scale times the displacement when
    // scale is not 0). With no nodes the outputs keep the caller's values.
    void bounding_box(double& x_min, double& y_min, double& z_min, double& x_max,
                      double& y_max, double& z_max, double scale) const;

    void draw_elements(wxDC& dc, DeviceMap& map, bool numbers);
    void draw_nodes(wxDC& dc, DeviceMap& map, bool numbers);
    void draw_nodes_deformed(wxDC& dc, DeviceMap& map, const DrawProperties& properties);

    // Listing: a line break, "TITLE", the title and an empty line.
    void write_title(std::ostream& os) const;
    // Nodal solution, element stresses and reactions.
    void write_output(std::ostream& os) override;
    void write_nodal_solution(std::ostream& os) const;
    void write_node_row(std::ostream& os, const MyNode& node) const;
    void write_element_stresses(std::ostream& os);
    void write_reactions(std::ostream& os);
    // Internal minus external forces in all three parts; the heat entries as heat
    // flows (divided by the time step when there is one).
    void reactions(KelVane::SystemVector& forces);
    void write_reaction_rows(std::ostream& os, const MyNode& node,
                             const KelVane::SystemVector& reactions) const;

    // Result-file blocks of one step for every quantity the selection asks for.
    // Numbers that are not finite stop the analysis with an error before anything
    // of the step is written.
    void write_step_results(std::ostream& os, int step, const KelVane::PostProc& selection);
    void write_step_blocks(std::ostream& os, int step, const KelVane::PostProc& selection);

    // The faces the pressures act on: as the nodes move them (follower loads) unless
    // an analysis of the undeformed model (the linear one) says otherwise, which its
    // reactions then balance as well.
    KelVane::PressureFace pressure_face = KelVane::PressureFace::displaced;

private:
    std::vector<std::string> dropped_load_notes;
    // The notes of the last shape check, with the element numbers.
    std::vector<std::pair<std::uint32_t, std::string>> shape_notes_;
};

#endif
