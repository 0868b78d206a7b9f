#include "heat_conduction.h"


using KelVane::CollectArray;
using KelVane::Matrix;
using KelVane::Vector;

LinearThermal_type::LinearThermal_type(unsigned int number)
    : KelVane::Material_type(number), conduction_(0.0), capacity_(0.0)
{
}

LinearThermal_type::~LinearThermal_type() = default;

KelVane::Material_Point* LinearThermal_type::create_point(int stress_state) const
{
    return new LinearThermal_Point(*this, stress_state);
}

bool LinearThermal_type::symmetric() const
{
    return true;
}

int LinearThermal_type::set_conduction(double lambda)
{
    conduction_ = lambda;
    return check_parameter(lambda > 0.0, "conduction <= 0; this is not allowed");
}

int LinearThermal_type::set_capacity(double c)
{
    capacity_ = c;
    return check_parameter(c > 0.0, "capacity <= 0; this is not allowed");
}

// ---------------------------------------------------------------------------

LinearThermal_Point::LinearThermal_Point(const LinearThermal_type& material_type,
                                         int stress_state_code)
    : KelVane::Thermal_Point(stress_state_code),
      material(&material_type),
      converged_gradient(get_nodal_dimension(stress_state_code), 0.0),
      current_gradient(get_nodal_dimension(stress_state_code), 0.0),
      converged_temperature(0.0),
      current_temperature(0.0)
{
}

LinearThermal_Point::~LinearThermal_Point() = default;

Matrix LinearThermal_Point::get_conductivity() const
{
    const unsigned int n = current_gradient.size();
    Matrix k(n, n, 0.0);
    for (unsigned int i = 1; i <= n; ++i)
        k(i, i) = material->conduction();
    return k;
}

void LinearThermal_Point::set_gradient_increment(const Vector& gradient_increment)
{
    current_gradient = converged_gradient + gradient_increment;
}

void LinearThermal_Point::set_temperature_increment(double temperature_increment)
{
    current_temperature = converged_temperature + temperature_increment;
}

double LinearThermal_Point::get_capacity() const
{
    return material->density() * material->capacity();
}

double LinearThermal_Point::get_heat_increment() const
{
    return material->density() * material->capacity() *
           (current_temperature - converged_temperature);
}

// Conductivity times the gradient, without the sign of Fourier's law: the
// conduction elements use it like a stress, as their internal heat flow.
Vector LinearThermal_Point::get_flux() const
{
    return get_conductivity() * current_gradient;
}

void LinearThermal_Point::accept()
{
    converged_gradient = current_gradient;
    converged_temperature = current_temperature;
}

void LinearThermal_Point::collect(CollectArray& buffer) const
{
    buffer.append(converged_temperature);
    KelVane::append_to(buffer, converged_gradient);
}

void LinearThermal_Point::distribute(CollectArray& buffer)
{
    converged_temperature = buffer.read();
    KelVane::read_from(buffer, converged_gradient);
    current_temperature = converged_temperature;
    current_gradient = converged_gradient;
}
