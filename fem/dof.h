#ifndef KELVANED_DOF_H
#define KELVANED_DOF_H

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "vector3.h"

namespace KelVane {

// Kind of a degree of freedom: 0 displacement, 1 rotation, 2 temperature. Other
// codes count as scalar and have no listing letter.
using dof_type = std::uint32_t;
constexpr dof_type displacement_type = 0;
constexpr dof_type rotation_type = 1;
constexpr dof_type temperature_type = 2;

// Kinds of equation, whose forces have units of their own (forces, moments, heat
// flows): a kind for each dof type above, and one for every other type.
constexpr int dof_kinds = 4;
inline int dof_kind(dof_type type)
{
    return type < static_cast<dof_type>(dof_kinds) ? static_cast<int>(type) : dof_kinds - 1;
}

// Status of a degree of freedom: 0 prescribed, 1 fixed (suppressed), 2 free. Each
// status is numbered on its own from 1.
using dof_fixed = std::uint32_t;
constexpr dof_fixed prescribed_status = 0;
constexpr dof_fixed fixed_status = 1;
constexpr dof_fixed free_status = 2;

// One variable of the model's equations, owned by a node: a displacement or rotation
// along a unit direction, or a temperature. The global number is 0 until the model
// is numbered, then the 1-based position among all dofs of the same status.
class Dof {
public:
    // Kind of a nodal load: 0 force, 1 moment, 2 heat flux; a load acts on the dof
    // kind with the same code.
    using Load = std::uint32_t;
    static constexpr Load force = 0;
    static constexpr Load moment = 1;
    static constexpr Load heat_flux = 2;

    Dof(dof_fixed status, dof_type type, const Direction& direction = Direction());

    void set_type(dof_type type) { type_ = type; }
    dof_type get_type() const { return type_; }
    void set_status(dof_fixed status) { status_ = status; }
    dof_fixed get_status() const { return status_; }
    void set_direction(const Direction& direction) { direction_ = direction; }
    Direction get_direction() const { return direction_; }
    void set_global_nr(std::uint32_t nr) { global_nr_ = nr; }
    std::uint32_t get_global_nr() const { return global_nr_; }

    bool is_free() const { return status_ == free_status; }
    bool is_fixed() const { return status_ == fixed_status; }
    bool is_prescribed() const { return status_ == prescribed_status; }
    bool is_directional() const;
    bool is_scalar() const { return !is_directional(); }

private:
    dof_type type_;
    dof_fixed status_;
    Direction direction_;
    std::uint32_t global_nr_ = 0;
};

// A dof with its converged total value.
class incDof : public Dof {
public:
    using Dof::Dof;

    // The current value of the dof.
    virtual double value() const { return value_; }

    // The converged total, whatever the running step holds.
    double converged_value() const { return value_; }
    void set_value(double value) { value_ = value; }

protected:
    double value_ = 0.0;
};

// A dof with its converged value and the not yet accepted change of the running
// step (all equilibrium iterations included). Nodes create only dofs of this kind.
class itincDof final : public incDof {
public:
    using incDof::incDof;

    double value() const override { return value_ + increment_; }

    double get_increment() const { return increment_; }
    void set_increment(double increment) { increment_ = increment; }
    void add_increment(double change) { increment_ += change; }
    // Commits the running step: value += increment, increment := 0.
    void accept_increment();
    // Drops the running step; the converged value stays.
    void clear_increment() { increment_ = 0.0; }

private:
    double increment_ = 0.0;
};

bool is_structural_type(dof_type type);
bool is_thermal_type(dof_type type);
bool is_structural_load(Dof::Load load);
// Force to displacement, moment to rotation, heat flux to temperature; any other
// load code acts on displacements.
dof_type load_to_dof_type(Dof::Load load);
// Writes the listing letter of a dof kind: "u", "r", "T", or "?" for an unknown code.
void print_dof_type(dof_type type, std::ostream& os);

// Expresses one local direction (or one scalar kind) of an element as a weighted
// combination of node dofs. The dofs belong to their nodes; the set owns its array.
class dof_sets {
public:
    struct entry {
        Dof* dof;
        double coefficient;
    };

    dof_sets() = default;
    dof_sets(const dof_sets&) = delete;
    dof_sets& operator=(const dof_sets&) = delete;

    // Appends one entry; the array grows by exactly one entry per call.
    void add(Dof* dof, double coefficient);

    std::uint32_t count() const { return count_; }
    // Entry i, counted from 0.
    const entry& operator[](std::uint32_t i) const;

private:
    std::uint32_t count_ = 0;
    std::unique_ptr<entry[]> entries_;
};

}  // namespace KelVane

#endif
