#include "node.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>

#include "errors.h"
#include "kv_assert.h"
#include "sysmat.h"

namespace KelVane {

namespace {

// A remainder or coefficient of at most this size counts as zero.
constexpr double tolerance = 1e-6;
// A squared remainder of at most this size is rounding of directions that are
// parallel: an angle of 1e-9 radians, far above what the rounding of coordinates
// to doubles gives a bar that is not a millionth of their size.
constexpr double rounding = 1e-18;
// A component of a unit direction along a dof of at most this size is rounding of
// directions that are orthogonal (their products leave some 1e-16): dropping it
// keeps the coupling of a member to a dof it does not load out of the equations.
constexpr double rounding_part = 1e-12;

Vector3 as_vector(const Direction& direction)
{
    double x, y, z;
    direction.get(x, y, z);
    return Vector3(x, y, z);
}

}  // namespace

Node::Node(std::uint32_t number, double x, double y, double z)
    : number_(number), position_(x, y, z)
{
}

Node::~Node() = default;

Vector3 Node::part_not_taken(dof_type type, const Direction& direction, bool& scalar) const
{
    scalar = false;
    Vector3 remainder = as_vector(direction);
    for (const auto& dof : dofs_) {
        if (dof->get_type() != type)
            continue;
        if (dof->is_scalar()) {
            scalar = true;
            return remainder;
        }
        const Vector3 d = as_vector(dof->get_direction());
        remainder -= d * dot(remainder, d);
    }
    return remainder;
}

int Node::add_dof(dof_fixed status, dof_type type, const Direction& direction)
{
    if (status == fixed_status) holds_.push_back(Hold{type, direction});
    const bool directional = is_structural_type(type);
    bool scalar = false;
    const Vector3 remainder = part_not_taken(type, direction, scalar);
    if (scalar)
        return 1;
    if (directional && remainder.norm2() <= tolerance) {
        if (remainder.norm2() > rounding) joined_.push_back(Request{type, direction});
        return 1;
    }
    append_dof(directional ? new itincDof(status, type, Direction(remainder))
                           : new itincDof(status, type));
    return 0;
}

void Node::append_dof(itincDof* dof)
{
    dofs_.emplace_back(dof);
}

void Node::remove_dof(std::uint32_t i)
{
    KV_ASSERT(i < dofs_.size());
    dofs_.erase(dofs_.begin() + i);
}

void Node::project(dof_type type, const Direction& direction, double negligible,
                   dof_sets& set) const
{
    Vector3 remainder = as_vector(direction);
    for (const auto& dof : dofs_) {
        if (dof->get_type() != type)
            continue;
        if (dof->is_scalar()) {
            set.add(dof.get(), 1.0);
            return;
        }
        const Vector3 d = as_vector(dof->get_direction());
        const double coefficient = dot(remainder, d);
        remainder -= d * coefficient;
        if (std::fabs(coefficient) > negligible)
            set.add(dof.get(), coefficient);
    }
}

void Node::get_dof_set(dof_type type, const Direction& direction, dof_sets& set) const
{
    // Every dof that takes a part of the direction gets it, however close the
    // direction is to an earlier dof: a member a hair off a node's first direction
    // still pulls on the support or the member across it. Only rounding is dropped.
    project(type, direction, rounding_part, set);
}

void Node::get_dof_projection(dof_type type, const Direction& direction, dof_sets& set) const
{
    project(type, direction, 0.0, set);
}

double Node::joined_angle() const
{
    double largest = 0.0;
    for (const Request& request : joined_) {
        bool scalar = false;
        const double remainder2 = part_not_taken(request.type, request.direction, scalar).norm2();
        if (remainder2 > rounding) largest = std::max(largest, remainder2);
    }
    return std::asin(std::min(1.0, std::sqrt(largest)));
}

void Node::number_dofs(std::uint32_t& free_counter, std::uint32_t& fixed_counter,
                       std::uint32_t& prescribed_counter)
{
    for (auto& dof : dofs_) {
        if (dof->is_free())
            dof->set_global_nr(++free_counter);
        else if (dof->is_prescribed())
            dof->set_global_nr(++prescribed_counter);
        else if (dof->is_fixed())
            dof->set_global_nr(++fixed_counter);
    }
}

itincDof& Node::get_dof(std::uint32_t i)
{
    KV_ASSERT(i < dofs_.size());
    return *dofs_[i];
}

const itincDof& Node::get_dof(std::uint32_t i) const
{
    KV_ASSERT(i < dofs_.size());
    return *dofs_[i];
}

void Node::add_load(Dof::Load load, const Direction& direction, double value,
                    SystemVector& forces) const
{
    const dof_type type = load_to_dof_type(load);
    Vector3 remainder = as_vector(direction);
    for (const auto& dof : dofs_) {
        if (dof->get_type() != type)
            continue;
        if (dof->is_scalar()) {
            forces(*dof) += value;
            return;
        }
        const Vector3 d = as_vector(dof->get_direction());
        const double coefficient = dot(remainder, d);
        remainder -= d * coefficient;
        forces(*dof) += value * coefficient;
    }
}

Vector3 Node::load_part_not_taken(Dof::Load load, const Direction& direction) const
{
    const dof_type type = load_to_dof_type(load);
    bool scalar = false;
    const Vector3 remainder = part_not_taken(type, direction, scalar);
    if (scalar) return Vector3(0.0, 0.0, 0.0);
    return is_structural_type(type) ? remainder : Vector3(1.0, 0.0, 0.0);
}

bool Node::carries_load(Dof::Load load, const Direction& direction) const
{
    return load_part_not_taken(load, direction).norm2() <= tolerance;
}

void Node::add_prescribed(dof_type type, const Direction& direction, double value)
{
    Vector3 remainder = as_vector(direction);
    for (auto& dof : dofs_) {
        if (dof->get_type() != type || !dof->is_prescribed())
            continue;
        if (dof->is_scalar()) {
            dof->add_increment(value);
            return;
        }
        const Vector3 d = as_vector(dof->get_direction());
        const double coefficient = dot(remainder, d);
        remainder -= d * coefficient;
        dof->add_increment(value * coefficient);
    }
}

double Node::Hold::part_of(dof_type value_type, const Direction& value_direction) const
{
    if (value_type != type) return 0.0;
    if (!is_structural_type(type)) return 1.0;
    const double part = dot(as_vector(value_direction), as_vector(direction));
    return std::fabs(part) > tolerance ? part : 0.0;
}

bool Node::prescribed_on_support(dof_type type, const Direction& direction) const
{
    for (const Hold& hold : holds_)
        if (hold.part_of(type, direction) != 0.0) return true;
    return false;
}

void Node::remove_hold(std::uint32_t i)
{
    KV_ASSERT(i < holds_.size());
    holds_.erase(holds_.begin() + i);
}

void Node::add_increment(const Vector& du)
{
    for (auto& dof : dofs_)
        if (dof->is_free())
            dof->add_increment(du(dof->get_global_nr()));
}

void Node::get_increment(Vector& du) const
{
    for (const auto& dof : dofs_)
        if (dof->is_free())
            du(dof->get_global_nr()) = dof->get_increment();
}

void Node::accept_increment()
{
    for (auto& dof : dofs_)
        dof->accept_increment();
}

void Node::clear_increment()
{
    for (auto& dof : dofs_)
        dof->clear_increment();
}

void Node::get_coordinates(double& x, double& y, double& z) const
{
    position_.get(x, y, z);
}

Vector3 Node::displacement() const
{
    Vector3 sum(0.0, 0.0, 0.0);
    for (const auto& dof : dofs_)
        if (dof->get_type() == displacement_type)
            sum += as_vector(dof->get_direction()) * dof->value();
    return sum;
}

Vector3 Node::displacement_increment() const
{
    Vector3 sum(0.0, 0.0, 0.0);
    for (const auto& dof : dofs_)
        if (dof->get_type() == displacement_type)
            sum += as_vector(dof->get_direction()) * dof->get_increment();
    return sum;
}

const itincDof* Node::first_dof_of(dof_type type) const
{
    for (const auto& dof : dofs_)
        if (dof->get_type() == type)
            return dof.get();
    return nullptr;
}

double Node::temperature() const
{
    const itincDof* dof = first_dof_of(temperature_type);
    return dof ? dof->value() : 0.0;
}

double Node::temperature_increment() const
{
    const itincDof* dof = first_dof_of(temperature_type);
    return dof ? dof->get_increment() : 0.0;
}

void Node::get_current_coordinates(double& x, double& y, double& z) const
{
    (position_ + displacement()).get(x, y, z);
}

void Node::get_scaled_coordinates(double& x, double& y, double& z, double scale) const
{
    (position_ + displacement() * scale).get(x, y, z);
}

void Node::reset_average()
{
    average_sum_ = Vector(1, 0.0);
    average_count_ = 0;
}

void Node::add_to_average(const Vector& value)
{
    if (average_count_ == 0)
        average_sum_ = value;
    else
        average_sum_ += value;
    ++average_count_;
}

void Node::write_restart(std::ostream& os) const
{
    write_restart_tag(os, 'N', number_);
    os << ' ';
    for (const auto& dof : dofs_) {
        write_restart_value(os, dof->value());
        os << ' ';
    }
    os << '\n';
}

void Node::read_restart(std::istream& is)
{
    static const char* const message = "corrupted restart file";
    const std::vector<double> values = read_restart_record(is, 'N', number_, message);
    // The record must hold one value per dof; nothing changes unless it does.
    if (values.size() != dofs_.size())
        throw file_error(message);
    for (std::size_t i = 0; i < dofs_.size(); ++i)
        dofs_[i]->set_value(values[i]);
}

void write_restart_tag(std::ostream& os, char letter, std::uint32_t number)
{
    char text[16];
    text[0] = letter;
    const std::to_chars_result result = std::to_chars(text + 1, text + sizeof text, number);
    KV_ASSERT(result.ec == std::errc());
    os.write(text, result.ptr - text);
}

void write_restart_value(std::ostream& os, double value)
{
    char text[32];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    KV_ASSERT(result.ec == std::errc());
    os.write(text, result.ptr - text);
}

std::vector<double> read_restart_record(std::istream& is, char letter, std::uint32_t number,
                                        const char* message)
{
    std::string line;
    if (!(is >> std::ws) || !std::getline(is, line))
        throw file_error(message);

    // The record opens with the letter glued to an unsigned decimal number.
    std::istringstream fields(line);
    std::string field;
    fields >> field;
    if (field.empty() || field[0] != letter)
        throw file_error(message);
    const char* const end = field.data() + field.size();
    std::uint32_t found = 0;
    const std::from_chars_result tag = std::from_chars(field.data() + 1, end, found);
    if (tag.ec != std::errc() || tag.ptr != end || found != number)
        throw file_error(message);

    std::vector<double> values;
    while (fields >> field) {
        double value = 0.0;
        const std::from_chars_result parsed =
            std::from_chars(field.data(), field.data() + field.size(), value);
        // A value that is not finite was never written by a run that went on.
        if (parsed.ec != std::errc() || parsed.ptr != field.data() + field.size() ||
            !std::isfinite(value))
            throw file_error(message);
        values.push_back(value);
    }
    return values;
}

}  // namespace KelVane
