#include "loads.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>
#include <unordered_map>

#include "element_base.h"
#include "errors.h"
#include "node.h"
#include "sysmat.h"

namespace KelVane {

void Nodal_Loads::add_load(Dof::Load type, const Direction& direction, double value)
{
    loads_.push_back(Load_dir{type, direction, value});
}

void Nodal_Loads::add_load(Dof::Load type, double value)
{
    if (is_structural_load(type))
        throw program_error("force or moment should have a direction\n"
                            "error in Nodal_Loads::add_load( Dof::Load )");
    loads_.push_back(Load_dir{type, Direction(), value});
}

void Nodal_Loads::add_node(Node* node)
{
    nodes_.push_back(node);
}

void Nodal_Loads::apply(SystemVector& forces) const
{
    for (const Load_dir& load : loads_)
        for (const Node* node : nodes_)
            node->add_load(load.type, load.direction, load.value, forces);
}

namespace {

// The name with the axis of the direction ("fx"), or with its components.
std::string direction_word(const std::string& name, const Direction& direction)
{
    double x = 0.0, y = 0.0, z = 0.0;
    direction.get(x, y, z);
    if (x == 1.0 && y == 0.0 && z == 0.0) return name + 'x';
    if (x == 0.0 && y == 1.0 && z == 0.0) return name + 'y';
    if (x == 0.0 && y == 0.0 && z == 1.0) return name + 'z';
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << name << " along (" << x << ", " << y << ", " << z << ")";
    return text.str();
}

// The model-file word of a nodal load: "fx", "mz", "q"; a direction off the axes
// is written with its components.
std::string load_word(Dof::Load type, const Direction& direction)
{
    if (!is_structural_load(type)) return "q";
    return direction_word(type == Dof::moment ? "m" : "f", direction);
}

}  // namespace

std::string dof_word(dof_type type, const Direction& direction)
{
    if (!is_structural_type(type)) return "t";
    return direction_word(type == rotation_type ? "r" : "u", direction);
}

void Nodal_Prescribed::add_load(dof_type type, const Direction& direction, double value)
{
    values_.push_back(Prescr_dir{type, direction, value});
}

void Nodal_Prescribed::add_load(dof_type type, double value)
{
    if (is_structural_type(type))
        throw program_error("displacement or rotation should have a direction\n"
                            "error in Nodal_Prescribed::add_load( dof_type )");
    values_.push_back(Prescr_dir{type, Direction(), value});
}

void Nodal_Prescribed::add_node(Node* node)
{
    nodes_.push_back(node);
    for (const Prescr_dir& value : values_)
        node->add_dof(prescribed_status, value.type, value.direction);
}

void Nodal_Prescribed::apply_increment(double dfactor) const
{
    for (const Prescr_dir& value : values_)
        for (Node* node : nodes_)
            node->add_prescribed(value.type, value.direction, value.value * dfactor);
}

void Pressure_Loads::add_load(FiniteElement* element, int face, double pressure)
{
    pressures_.push_back(PresLod{element, face, pressure});
}

void Pressure_Loads::apply(SystemVector& forces, PressureFace geometry) const
{
    for (const PresLod& load : pressures_)
        load.element->add_pressure_load(load.face, load.pressure * factor_, geometry, forces);
}

LoadSet::LoadSet(std::uint32_t number) : number_(number) {}

LoadSet::~LoadSet() = default;

void LoadSet::add(Nodal_Loads* loads)
{
    nodal_loads_.emplace_back(loads);
}

void LoadSet::add(Nodal_Prescribed* prescribed)
{
    prescribed_.emplace_back(prescribed);
}

void LoadSet::add(Pressure_Loads* pressures)
{
    pressures_.emplace_back(pressures);
}

void LoadSet::assemble(SystemVector& forces, PressureFace geometry) const
{
    forces.set_zero();
    for (const auto& loads : nodal_loads_)
        loads->apply(forces);
    forces.free_part() *= factor_;
    forces.prescribed_part() *= factor_;
    forces.fixed_part() *= factor_;
    // Pressure groups scale by their own factors.
    for (const auto& pressures : pressures_)
        pressures->apply(forces, geometry);
}

namespace {

// The parts of the values at a node that its dofs do not take (or that a support
// holds) may cancel, as the parts across an inclined bar of a load given by its x
// and y components do; what is left of them beyond this fraction of their sizes
// is lost.
constexpr double uncancelled = 1e-3;

// What the dofs leave of loads that lie along them is rounding: some 1e-16 of the
// loads along the axes, up to some 1e-7 for components written to six digits
// along a dof off the axes, or for dofs of bars far from the origin beside their
// length. A part above this fraction of the loads is a load, or a part of one,
// that the model does not feel.
constexpr double dropped = 1e-6;

// The note on loads of one kind at a node whose resultant part that no dof takes,
// `lost`, is dropped: the loads that have such a part, and its size.
std::string dropped_load_note(std::uint32_t set, const Node& node,
                              const std::vector<const Nodal_Loads::Load_dir*>& loads,
                              double lost)
{
    std::ostringstream note;
    note.imbue(std::locale::classic());
    note << "note: load set " << set << ", node " << node.number() << ": a part of "
         << std::setprecision(4) << lost << " of the load";
    if (loads.size() > 1) note << "s";
    note << std::setprecision(6);
    for (std::size_t i = 0; i < loads.size(); ++i)
        note << (i == 0 ? " " : ", ") << load_word(loads[i]->type, loads[i]->direction) << ' '
             << loads[i]->value;
    note << " lies along no degree of freedom of the node and is dropped: the reactions do not "
            "balance it";
    return note.str();
}

// The values that a load set's groups (records(group) gives a group's values) put
// on each node: nodes in the order they first appear, values in reading order. A
// node named twice in a group takes the group's values twice, as it applies them.
template <class Record, class Group, class Records>
std::vector<std::pair<const Node*, std::vector<const Record*>>> values_at_nodes(
    const std::vector<std::unique_ptr<Group>>& groups, Records records)
{
    std::vector<std::pair<const Node*, std::vector<const Record*>>> found;
    std::unordered_map<const Node*, std::size_t> index;
    for (const auto& group : groups) {
        for (const Node* node : group->nodes()) {
            const auto at = index.emplace(node, found.size()).first->second;
            if (at == found.size()) found.emplace_back(node, std::vector<const Record*>());
            for (const Record& record : records(*group))
                if (record.value != 0.0) found[at].second.push_back(&record);
        }
    }
    return found;
}

}  // namespace

std::vector<std::string> LoadSet::check_carried() const
{
    std::vector<std::string> notes;
    using Load = Nodal_Loads::Load_dir;
    const auto loads = values_at_nodes<Load>(
        nodal_loads_, [](const Nodal_Loads& group) -> const auto& { return group.loads(); });
    for (const auto& [node, node_loads] : loads) {
        for (auto kind = node_loads.begin(); kind != node_loads.end(); ++kind) {
            // Each kind once, at its first load.
            const Load* first = *kind;
            if (std::any_of(node_loads.begin(), kind,
                            [&](const Load* load) { return load->type == first->type; }))
                continue;
            // The sums are taken in units of the largest load, so that loads near
            // the largest double do not overflow them.
            double scale = 0.0;
            for (const Load* load : node_loads)
                if (load->type == first->type) scale = std::max(scale, std::fabs(load->value));
            // Loads of nothing leave nothing.
            if (!(scale > 0.0)) continue;
            Vector3 lost(0.0, 0.0, 0.0);
            double size = 0.0;
            double loads_size = 0.0;
            const Load* named = nullptr;  // the first load not taken whole on its own
            std::vector<const Load*> with_lost_part;
            for (const Load* load : node_loads) {
                if (load->type != first->type) continue;
                const Vector3 part = node->load_part_not_taken(load->type, load->direction);
                lost += part * (load->value / scale);
                size += std::fabs(load->value / scale) * part.norm();
                loads_size += std::fabs(load->value / scale);
                if (part.norm() > dropped) with_lost_part.push_back(load);
                if (named == nullptr && !node->carries_load(load->type, load->direction))
                    named = load;
            }
            if (named != nullptr && lost.norm() > uncancelled * size)
                throw kelvane_error(
                    "no degree of freedom of node " + std::to_string(node->number()) +
                    " takes its load " + load_word(named->type, named->direction) +
                    " (or a part of it): the model is a mechanism for that load");
            if (lost.norm() > dropped * loads_size)
                notes.push_back(
                    dropped_load_note(number_, *node, with_lost_part, lost.norm() * scale));
        }
    }

    using Value = Nodal_Prescribed::Prescr_dir;
    const auto values = values_at_nodes<Value>(
        prescribed_, [](const Nodal_Prescribed& group) -> const auto& { return group.values(); });
    for (const auto& entry : values) {
        // A lambda may not capture a structured binding in C++17.
        const Node* node = entry.first;
        const auto& node_values = entry.second;
        if (std::none_of(node_values.begin(), node_values.end(), [&](const Value* value) {
                return node->prescribed_on_support(value->type, value->direction);
            }))
            continue;
        for (const Node::Hold& hold : node->holds()) {
            double held = 0.0;
            double size = 0.0;
            for (const Value* value : node_values) {
                const double part = value->value * hold.part_of(value->type, value->direction);
                held += part;
                size += std::fabs(part);
            }
            if (size == 0.0 || std::fabs(held) <= uncancelled * size) continue;
            throw kelvane_error("node " + std::to_string(node->number()) +
                                " is held by *suppress in " + dof_word(hold.type, hold.direction) +
                                ", where a value other than 0 is prescribed: a suppressed degree "
                                "of freedom stays at 0");
        }
    }
    return notes;
}

void LoadSet::increment(double dfactor)
{
    for (const auto& pressures : pressures_)
        pressures->add_factor(dfactor);
    apply_prescribed_increment(dfactor);
    factor_ += dfactor;
}

void LoadSet::apply_prescribed_increment(double dfactor) const
{
    for (const auto& prescribed : prescribed_)
        prescribed->apply_increment(dfactor);
}

void LoadSet::write_restart(std::ostream& os) const
{
    write_restart_tag(os, 'L', number_);
    os << ' ';
    write_restart_value(os, factor_);
    os << '\n';
}

void LoadSet::read_restart(std::istream& is)
{
    static const char* const message = "corrupt restart file";
    const std::vector<double> values = read_restart_record(is, 'L', number_, message);
    if (values.size() != 1)
        throw file_error(message);
    factor_ = values[0];
    // The pressure groups advance with the set, so they share its restored factor.
    for (const auto& pressures : pressures_)
        pressures->set_factor(factor_);
}

}  // namespace KelVane
