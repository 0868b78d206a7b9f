#ifndef KELVANED_HEAT_CONDUCTION_H
#define KELVANED_HEAT_CONDUCTION_H

#include "material.h"

class LinearThermal_Point;

// Linear isotropic heat conduction: conduction coefficient and heat capacity
// per unit mass of a material group.
class LinearThermal_type : public KelVane::Thermal_type {
public:
    explicit LinearThermal_type(unsigned int number);
    ~LinearThermal_type() override;

    KelVane::Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    int set_conduction(double lambda);
    int set_capacity(double c);
    double conduction() const { return conduction_; }
    double capacity() const { return capacity_; }

private:
    double conduction_;
    double capacity_;
};

// Temperature gradient and temperature at one integration point of a heat
// conduction element. The temperature is the sum of the accepted increments.
class LinearThermal_Point : public KelVane::Thermal_Point {
public:
    LinearThermal_Point(const LinearThermal_type& material, int stress_state);
    ~LinearThermal_Point() override;

    KelVane::Matrix get_conductivity() const override;
    void set_gradient_increment(const KelVane::Vector& gradient_increment) override;
    void set_temperature_increment(double temperature_increment) override;
    double get_capacity() const override;
    double get_heat_increment() const override;
    KelVane::Vector get_flux() const override;

    void accept() override;
    void collect(KelVane::CollectArray& buffer) const override;
    void distribute(KelVane::CollectArray& buffer) override;

private:
    const LinearThermal_type* material;
    KelVane::Vector converged_gradient;
    KelVane::Vector current_gradient;
    double converged_temperature;
    double current_temperature;
};

#endif
