#ifndef KELVANED_NODE_H
#define KELVANED_NODE_H

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

#include "dof.h"
#include "kvmatrix.h"
#include "vector3.h"

namespace KelVane {

class SystemVector;

// A numbered point of the model with its own degrees of freedom. Every request for
// a dof of some kind and direction either finds the direction already spanned by
// the node's dofs of that kind or creates one dof for the part not spanned, so the
// dofs of one directional kind have mutually orthogonal unit directions and a node
// has at most one temperature dof. The node owns its dofs. It also keeps every
// request of a support (fixed status) as a hold at 0, whatever dof the request found.
class Node {
public:
    // A kind and direction (none for a temperature) that a support holds at 0.
    struct Hold {
        dof_type type;
        Direction direction;

        // The part of a unit value of the kind along `direction` that the hold keeps
        // at 0: its component along the hold (1 for a temperature), 0 for another
        // kind or a component within rounding of 0.
        double part_of(dof_type value_type, const Direction& value_direction) const;
    };

    Node(std::uint32_t number, double x, double y, double z);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    virtual ~Node();

    // Restart record: "N", the node number, a blank, then the current value of
    // every dof in creation order, each followed by a blank.
    virtual void write_restart(std::ostream& os) const;
    // Reads the record written by write_restart into the dofs' converged values;
    // a record of another node, with the wrong number of values or with a value
    // that is not finite throws file_error("corrupted restart file") and leaves
    // the node unchanged.
    virtual void read_restart(std::istream& is);

    std::uint32_t number() const { return number_; }

    // Returns 0 when a new dof was created, 1 when the request was already covered.
    // A directional request is covered when the part the node's dofs do not span
    // has a squared length of at most 1e-6 (an angle of up to 0.0573 degrees): a
    // chain of bars whose coordinates are written to a few digits keeps one dof
    // along it. The first request that creates a dof decides its status for good;
    // a request of fixed status is kept as a hold all the same (see
    // prescribed_on_support).
    int add_dof(dof_fixed status, dof_type type, const Direction& direction);
    // Takes over the dof; the array grows by one pointer.
    void append_dof(itincDof* dof);
    // Deletes dof i (counted from 0); the dofs after it move up by one.
    void remove_dof(std::uint32_t i);
    // Appends the dofs of the kind that express the direction, with their coefficients.
    void get_dof_set(dof_type type, const Direction& direction, dof_sets& set) const;
    // Appends every dof of the kind with the component of the direction along it,
    // however small: the direction's exact projection onto the node's dofs, for an
    // element that acts in a direction without asking the node to move in it.
    void get_dof_projection(dof_type type, const Direction& direction, dof_sets& set) const;
    // The largest angle (radians) by which a direction that add_dof took as
    // already spanned misses the node's dofs as they are now, counting only angles
    // above rounding: a dof that came later (a post across two bars that meet at a
    // hair's angle) may take the rest of it. 0 when no direction is joined so.
    double joined_angle() const;
    // Each dof takes the next number of the counter of its status.
    void number_dofs(std::uint32_t& free_counter, std::uint32_t& fixed_counter,
                     std::uint32_t& prescribed_counter);

    std::uint32_t number_of_dofs() const { return static_cast<std::uint32_t>(dofs_.size()); }
    // Dof i in creation order, counted from 0.
    itincDof& get_dof(std::uint32_t i);
    const itincDof& get_dof(std::uint32_t i) const;

    // Adds a nodal load to the entries of the node's dofs of its kind, free or
    // not: a load on a support or a prescribed dof goes into its reaction. A part
    // that no dof takes is dropped; carries_load tells beforehand.
    void add_load(Dof::Load load, const Direction& direction, double value,
                  SystemVector& forces) const;
    // The part of a unit load along `direction` that the node's dofs of its kind
    // do not take; for a heat flux (1, 0, 0) without a temperature dof, else 0.
    Vector3 load_part_not_taken(Dof::Load load, const Direction& direction) const;
    // Whether the node's dofs of the load's kind take the whole load.
    bool carries_load(Dof::Load load, const Direction& direction) const;
    // Adds a prescribed change to the increments of the prescribed dofs; a part
    // that no prescribed dof takes is dropped; takes_prescribed tells beforehand.
    void add_prescribed(dof_type type, const Direction& direction, double value);
    // Whether a support holds the node at 0 in a direction in which a prescribed
    // value along `direction` has a part (Hold::part_of), whichever of the two was
    // requested first.
    bool prescribed_on_support(dof_type type, const Direction& direction) const;
    const std::vector<Hold>& holds() const { return holds_; }
    // Drops hold i (counted from 0): a support of a kind that the node's elements
    // do not have holds nothing.
    void remove_hold(std::uint32_t i);

    // Each free dof adds the entry of the solution increment at its global number.
    void add_increment(const Vector& du);
    // Each free dof writes its increment into the entry at its global number.
    void get_increment(Vector& du) const;
    void accept_increment();
    void clear_increment();

    Vector3 get_position() const { return position_; }
    void get_coordinates(double& x, double& y, double& z) const;
    Vector3 displacement() const;
    Vector3 displacement_increment() const;
    double temperature() const;
    double temperature_increment() const;
    void get_current_coordinates(double& x, double& y, double& z) const;
    void get_scaled_coordinates(double& x, double& y, double& z, double scale) const;

    // Accumulator of the element results averaged onto the node for the result file.
    // reset_average makes it a single zero with count 0; add_to_average overwrites
    // the sum while the count is 0, adds to it otherwise, and counts one more.
    void reset_average();
    void add_to_average(const Vector& value);
    Vector& average_sum() { return average_sum_; }
    const Vector& average_sum() const { return average_sum_; }
    std::uint32_t average_count() const { return average_count_; }

private:
    const itincDof* first_dof_of(dof_type type) const;
    // Appends every dof of the kind with the component of the direction along it
    // (the first scalar dof of the kind with 1), leaving out components of at most
    // `negligible` in size.
    void project(dof_type type, const Direction& direction, double negligible,
                 dof_sets& set) const;
    // The part of a unit value along `direction` that the node's dofs of the type
    // do not take; `scalar` is set where a scalar dof of the type takes it all.
    Vector3 part_not_taken(dof_type type, const Direction& direction, bool& scalar) const;

    std::uint32_t number_;
    Vector3 position_;
    std::vector<std::unique_ptr<itincDof>> dofs_;
    // The requests add_dof joined with a remainder above rounding.
    struct Request {
        dof_type type;
        Direction direction;
    };
    std::vector<Request> joined_;
    std::vector<Hold> holds_;
    Vector average_sum_;
    std::uint32_t average_count_ = 0;
};

// Restart records of nodes and load sets are text lines: a letter glued to the
// entity's number, then blank-separated values. Values are written with 17
// significant digits in the "C" format, so reading restores every double exactly.
// Writes the letter and the number that open a record.
void write_restart_tag(std::ostream& os, char letter, std::uint32_t number);
void write_restart_value(std::ostream& os, double value);
// Reads the next record line, checks its letter and number and returns the values
// that follow. A missing line, another letter or number, or a value that is not a
// finite number throws file_error(message).
std::vector<double> read_restart_record(std::istream& is, char letter, std::uint32_t number,
                                        const char* message);

// The node of the incremental analyses; adds nothing.
class IncNode : public Node {
public:
    using Node::Node;
};

}  // namespace KelVane

// The node type of the model container.
class MyNode : public KelVane::IncNode {
public:
    using KelVane::IncNode::IncNode;
};

#endif
