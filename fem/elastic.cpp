#include "elastic.h"

#include <cmath>

#include "errors.h"

using KelVane::CollectArray;
using KelVane::Material_Point;
using KelVane::Matrix;
using KelVane::Vector;

// ---------------------------------------------------------------------------
// Material types

Elastic_type::Elastic_type(unsigned int number)
    : KelVane::Material_type(number), E_(0.0), nu_(0.0)
{
}

Elastic_type::~Elastic_type() = default;

Material_Point* Elastic_type::create_point(int stress_state) const
{
    return new Elastic_Point(*this, stress_state);
}

bool Elastic_type::symmetric() const
{
    return true;
}

int Elastic_type::set_young(double E)
{
    E_ = E;
    return check_young(E);
}

int Elastic_type::set_poisson(double nu)
{
    nu_ = nu;
    return check_poisson(nu);
}

Elastic_type_xp::Elastic_type_xp(unsigned int number)
    : KelVane::Material_type(number), Elastic_type(number)
{
}

Elastic_type_xp::~Elastic_type_xp() = default;

bool Elastic_type_xp::is_xp(int) const
{
    return true;
}

bool Elastic_type_xp::supports(int stress_state) const
{
    return stress_state != 4;
}

Material_Point* Elastic_type_xp::create_point(int stress_state) const
{
    return new Elastic_Point_xp(*this, stress_state);
}

ThermoElastic_type::ThermoElastic_type(unsigned int number)
    : KelVane::Material_type(number), Elastic_type(number), LinearThermal_type(number),
      alpha_(0.0)
{
}

ThermoElastic_type::~ThermoElastic_type() = default;

Material_Point* ThermoElastic_type::create_point(int stress_state) const
{
    return new ThermoElastic_Point(*this, stress_state);
}

// The coupling terms of a thermo-mechanical element make its matrix nonsymmetric.
bool ThermoElastic_type::symmetric() const
{
    return false;
}

int ThermoElastic_type::set_expansion(double alpha)
{
    alpha_ = alpha;
    return check_expansion(alpha);
}

NonlinearElastic_type::NonlinearElastic_type(unsigned int number)
    : KelVane::Material_type(number), E_(0.0)
{
}

NonlinearElastic_type::~NonlinearElastic_type() = default;

bool NonlinearElastic_type::supports(int stress_state) const
{
    return stress_state == 4;
}

Material_Point* NonlinearElastic_type::create_point(int stress_state) const
{
    return new NonlinearElastic_Point(*this, stress_state);
}

bool NonlinearElastic_type::symmetric() const
{
    return true;
}

int NonlinearElastic_type::set_young(double E)
{
    E_ = E;
    return check_young(E);
}

// ---------------------------------------------------------------------------
// Elastic_Point

Elastic_Point::Elastic_Point(const Elastic_type& material_type, int stress_state_code)
    : Elastic_Point(material_type, stress_state_code, StressSize(stress_state_code))
{
}

Elastic_Point::Elastic_Point(const Elastic_type& material_type, int stress_state_code,
                             unsigned int strain_size)
    : KelVane::Structural_Point(stress_state_code),
      material(&material_type),
      converged_strain(strain_size, 0.0),
      current_strain(strain_size, 0.0)
{
}

Elastic_Point::~Elastic_Point() = default;

Matrix Elastic_Point::get_tangent_xp() const
{
    const int state = static_cast<int>(stress_state);
    return iso_lin_elas_D_mat(material->young(), material->poisson(), ExpandedStressSize(state),
                              state);
}

Matrix Elastic_Point::get_tangent() const
{
    const int state = static_cast<int>(stress_state);
    return iso_lin_elas_D_mat(material->young(), material->poisson(), StressSize(state), state);
}

void Elastic_Point::add_strain_increment(const Vector& strain_increment)
{
    current_strain = converged_strain + strain_increment;
}

Vector Elastic_Point::get_stress() const
{
    return get_tangent() * current_strain;
}

// The plane-strain out-of-plane stress follows from the expanded law with a
// zero 33 strain; plane stress and the bar have none.
Vector Elastic_Point::get_stress_xp() const
{
    if (stress_state == 2 || stress_state == 4)
        return expand(get_stress());
    return get_tangent_xp() * expand(current_strain);
}

void Elastic_Point::accept()
{
    converged_strain = current_strain;
}

void Elastic_Point::collect(CollectArray& buffer) const
{
    KelVane::append_to(buffer, converged_strain);
}

void Elastic_Point::distribute(CollectArray& buffer)
{
    KelVane::read_from(buffer, converged_strain);
    current_strain = converged_strain;
}

// ---------------------------------------------------------------------------
// Elastic_Point_xp

Elastic_Point_xp::Elastic_Point_xp(const Elastic_type& material_type, int stress_state_code)
    : Elastic_Point(material_type, stress_state_code, ExpandedStressSize(stress_state_code)),
      condensed(nr_condensed(), 0.0),
      previous_increment(StressSize(stress_state_code), 0.0)
{
}

Elastic_Point_xp::~Elastic_Point_xp() = default;

Matrix Elastic_Point_xp::get_tangent() const
{
    return condense_matrix(get_tangent_xp());
}

void Elastic_Point_xp::add_strain_increment(const Vector& strain_increment)
{
    const Vector change = strain_increment - previous_increment;
    previous_increment = strain_increment;
    Vector increment = strain_increment;
    expand_strain_increment(increment, change, condensed);
    current_strain = converged_strain + increment;
}

Vector Elastic_Point_xp::get_stress() const
{
    return get_tangent() * condense_vector(current_strain);
}

Vector Elastic_Point_xp::get_stress_xp() const
{
    return get_tangent_xp() * current_strain;
}

void Elastic_Point_xp::accept()
{
    Elastic_Point::accept();
    condensed.set_zero();
    previous_increment.set_zero();
}

void Elastic_Point_xp::revert()
{
    current_strain = converged_strain;
    condensed.set_zero();
    previous_increment.set_zero();
}

// ---------------------------------------------------------------------------
// ThermoElastic_Point

ThermoElastic_Point::ThermoElastic_Point(const ThermoElastic_type& material_type,
                                         int stress_state_code)
    : Elastic_Point(material_type, stress_state_code),
      LinearThermal_Point(material_type, stress_state_code),
      thermo_material(&material_type),
      thermal_strain(0.0),
      thermal_strain_increment(0.0)
{
}

ThermoElastic_Point::~ThermoElastic_Point() = default;

void ThermoElastic_Point::set_temperature_increment(double temperature_increment)
{
    thermal_strain_increment = get_expansion() * temperature_increment;
    LinearThermal_Point::set_temperature_increment(temperature_increment);
}

// The stored strains are mechanical.
void ThermoElastic_Point::add_strain_increment(const Vector& strain_increment)
{
    Elastic_Point::add_strain_increment(
        without_normal_strain(strain_increment, thermal_strain_increment));
}

// A plane-strain slice cannot expand through its thickness: its out-of-plane
// mechanical strain is minus the whole thermal strain.
Vector ThermoElastic_Point::get_stress_xp() const
{
    const unsigned int state = Structural_Point::stress_state;
    if (state == 2 || state == 4)
        return expand(Elastic_Point::get_stress());
    Vector strain = expand(current_strain);
    if (state == 1)
        strain(3) -= thermal_strain + thermal_strain_increment;
    return get_tangent_xp() * strain;
}

Vector ThermoElastic_Point::get_stress() const
{
    if (Structural_Point::stress_state == 1)
        return condense_vector(get_stress_xp());
    return Elastic_Point::get_stress();
}

double ThermoElastic_Point::get_expansion() const
{
    return thermo_material->expansion();
}

void ThermoElastic_Point::accept()
{
    thermal_strain += thermal_strain_increment;
    thermal_strain_increment = 0.0;
    Elastic_Point::accept();
    LinearThermal_Point::accept();
}

void ThermoElastic_Point::collect(CollectArray& buffer) const
{
    Elastic_Point::collect(buffer);
    LinearThermal_Point::collect(buffer);
    buffer.append(thermal_strain);
}

void ThermoElastic_Point::distribute(CollectArray& buffer)
{
    Elastic_Point::distribute(buffer);
    LinearThermal_Point::distribute(buffer);
    thermal_strain = buffer.read();
    thermal_strain_increment = 0.0;
}

// ---------------------------------------------------------------------------
// NonlinearElastic_Point

NonlinearElastic_Point::NonlinearElastic_Point(const NonlinearElastic_type& material_type,
                                               int stress_state_code)
    : KelVane::Structural_Point(stress_state_code),
      material(&material_type),
      converged_strain(1, 0.0),
      current_strain(1, 0.0)
{
    if (stress_state_code != 4)
        throw kelvaned_error("only uniaxial nonlinear elasticity is allowed");
}

NonlinearElastic_Point::~NonlinearElastic_Point() = default;

Matrix NonlinearElastic_Point::get_tangent_xp() const
{
    throw kelvaned_error("no contraction data available for nonlinear elasticity");
}

Matrix NonlinearElastic_Point::get_tangent() const
{
    const double strain = current_strain(1);
    return Matrix(1, 1, material->young() / std::sqrt(1.0 + std::fabs(strain)));
}

void NonlinearElastic_Point::add_strain_increment(const Vector& strain_increment)
{
    current_strain = converged_strain + strain_increment;
}

Vector NonlinearElastic_Point::get_stress() const
{
    const double strain = current_strain(1);
    const double stress = 2.0 * material->young() * (std::sqrt(1.0 + std::fabs(strain)) - 1.0);
    return Vector(1, strain < 0.0 ? -stress : stress);
}

void NonlinearElastic_Point::accept()
{
    converged_strain = current_strain;
}

void NonlinearElastic_Point::collect(CollectArray& buffer) const
{
    KelVane::append_to(buffer, converged_strain);
}

void NonlinearElastic_Point::distribute(CollectArray& buffer)
{
    KelVane::read_from(buffer, converged_strain);
    current_strain = converged_strain;
}
