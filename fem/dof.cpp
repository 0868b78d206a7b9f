#include "dof.h"

#include <algorithm>
#include <ostream>

#include "kv_assert.h"

namespace KelVane {

Dof::Dof(dof_fixed status, dof_type type, const Direction& direction)
    : type_(type), status_(status), direction_(direction)
{
}

bool Dof::is_directional() const
{
    return is_structural_type(type_);
}

void itincDof::accept_increment()
{
    value_ += increment_;
    increment_ = 0.0;
}

bool is_structural_type(dof_type type)
{
    return type == displacement_type || type == rotation_type;
}

bool is_thermal_type(dof_type type)
{
    return !is_structural_type(type);
}

bool is_structural_load(Dof::Load load)
{
    return load == Dof::force || load == Dof::moment;
}

dof_type load_to_dof_type(Dof::Load load)
{
    switch (load) {
    case Dof::moment:
        return rotation_type;
    case Dof::heat_flux:
        return temperature_type;
    default:
        return displacement_type;
    }
}

void print_dof_type(dof_type type, std::ostream& os)
{
    switch (type) {
    case displacement_type:
        os << "u";
        break;
    case rotation_type:
        os << "r";
        break;
    case temperature_type:
        os << "T";
        break;
    default:
        os << "?";
        break;
    }
}

void dof_sets::add(Dof* dof, double coefficient)
{
    std::unique_ptr<entry[]> grown(new entry[count_ + 1]);
    std::copy(entries_.get(), entries_.get() + count_, grown.get());
    grown[count_] = entry{dof, coefficient};
    entries_ = std::move(grown);
    ++count_;
}

const dof_sets::entry& dof_sets::operator[](std::uint32_t i) const
{
    KV_ASSERT(i < count_);
    return entries_[i];
}

}  // namespace KelVane
