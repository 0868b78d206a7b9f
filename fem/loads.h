#ifndef KELVANED_LOADS_H
#define KELVANED_LOADS_H

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "dof.h"
#include "element_base.h"
#include "vector3.h"

class FiniteElement;

namespace KelVane {

class Node;
class SystemVector;

// Nodal loads (forces, moments, heat fluxes) of a load set: every load of the group
// acts on every node of the group. The nodes belong to the model.
// The model-file word of a degree of freedom: "ux", "rz", "t"; a direction off the
// axes is written with its components ("u along (0.6, 0.8, 0)").
std::string dof_word(dof_type type, const Direction& direction);

class Nodal_Loads {
public:
    struct Load_dir {
        Dof::Load type;
        Direction direction;
        double value;
    };

    void add_load(Dof::Load type, const Direction& direction, double value);
    // A heat flux, which has no direction; a force or moment throws program_error.
    void add_load(Dof::Load type, double value);
    void add_node(Node* node);
    // Adds the unscaled loads to the entries of the nodes' dofs (free or not).
    void apply(SystemVector& forces) const;
    const std::vector<Load_dir>& loads() const { return loads_; }
    const std::vector<Node*>& nodes() const { return nodes_; }

private:
    std::vector<Load_dir> loads_;
    std::vector<Node*> nodes_;
};

// Prescribed values (displacements, rotations, temperatures) of a load set: every
// value of the group acts on every node of the group.
class Nodal_Prescribed {
public:
    struct Prescr_dir {
        dof_type type;
        Direction direction;
        double value;
    };

    void add_load(dof_type type, const Direction& direction, double value);
    // A temperature, which has no direction; a displacement or rotation throws
    // program_error.
    void add_load(dof_type type, double value);
    // Adds the node and creates its prescribed dofs for the values added so far.
    void add_node(Node* node);
    // Adds value * dfactor to the increments of the matching prescribed dofs.
    void apply_increment(double dfactor) const;
    const std::vector<Prescr_dir>& values() const { return values_; }
    const std::vector<Node*>& nodes() const { return nodes_; }

private:
    std::vector<Prescr_dir> values_;
    std::vector<Node*> nodes_;
};

// Pressures on element faces, scaled by the group's own running load factor.
class Pressure_Loads {
public:
    struct PresLod {
        FiniteElement* element;
        int face;
        double pressure;
    };

    void add_load(FiniteElement* element, int face, double pressure);
    // Adds the scaled pressure loads, on the faces that geometry names, to the
    // entries of the element dofs, whatever their status.
    void apply(SystemVector& forces, PressureFace geometry) const;

    double get_factor() const { return factor_; }
    void set_factor(double factor) { factor_ = factor; }
    void add_factor(double dfactor) { factor_ += dfactor; }

private:
    double factor_ = 0.0;
    std::vector<PresLod> pressures_;
};

// Numbered group of nodal loads, prescribed values and pressure loads that an
// analysis activates with a load factor. The set owns its groups.
class LoadSet {
public:
    explicit LoadSet(std::uint32_t number);
    LoadSet(const LoadSet&) = delete;
    LoadSet& operator=(const LoadSet&) = delete;
    ~LoadSet();

    std::uint32_t number() const { return number_; }
    double get_factor() const { return factor_; }

    // Ownership of the group passes to the set.
    void add(Nodal_Loads* loads);
    void add(Nodal_Prescribed* prescribed);
    void add(Pressure_Loads* pressures);

    // External forces at the current factor, the pressures on the faces that
    // geometry names; the vector is already sized to the model's three equation
    // counts and is overwritten.
    void assemble(SystemVector& forces, PressureFace geometry) const;
    // Advances the factor by dfactor, with the pressure groups' factors and the
    // prescribed changes.
    void increment(double dfactor);
    void apply_prescribed_increment(double dfactor) const;
    // Judges what the set's groups put on each node together, kind by kind (a node
    // named twice in a group takes its values twice): the parts of the loads that
    // the node's dofs do not take, and the parts of the prescribed values along a
    // direction that a support holds at 0 (Node::holds), must cancel among them, as
    // the parts across an inclined bar of a load given by its x and y components
    // do; else they would be lost. Throws kelvane_error naming the node, and the
    // first load that the node's dofs do not take on its own, or the held dof.
    // Returns a note for every node and kind of load where a part of the loads
    // larger than rounding is dropped all the same (within the cancelling, or a
    // load a hair off the node's dofs): the node, the loads and the part.
    std::vector<std::string> check_carried() const;

    // Restart record: "L", the set number, a blank, the factor.
    void write_restart(std::ostream& os) const;
    // Restores the factor, and the pressure groups' factors with it; a record of
    // another set or a malformed one throws file_error("corrupt restart file").
    void read_restart(std::istream& is);

private:
    std::uint32_t number_;
    double factor_ = 0.0;
    std::vector<std::unique_ptr<Nodal_Loads>> nodal_loads_;
    std::vector<std::unique_ptr<Nodal_Prescribed>> prescribed_;
    std::vector<std::unique_ptr<Pressure_Loads>> pressures_;
};

}  // namespace KelVane

#endif
