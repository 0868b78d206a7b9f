#ifndef KELVANED_ELASTIC_H
#define KELVANED_ELASTIC_H

#include "heat_conduction.h"
#include "material.h"

// Linear isotropic elasticity.
class Elastic_type : public KelVane::Structural_type {
public:
    explicit Elastic_type(unsigned int number);
    ~Elastic_type() override;

    KelVane::Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    int set_young(double E);
    int set_poisson(double nu);
    double young() const { return E_; }
    double poisson() const { return nu_; }

private:
    double E_;
    double nu_;
};

// Linear elasticity whose points keep the expanded strain, so that plane
// stress finds its out-of-plane strain iteratively like a nonlinear material.
class Elastic_type_xp : public Elastic_type {
public:
    explicit Elastic_type_xp(unsigned int number);
    ~Elastic_type_xp() override;

    bool is_xp(int stress_state) const override;
    // Not the uniaxial state: its expanded form has no elasticity matrix.
    bool supports(int stress_state) const override;
    KelVane::Material_Point* create_point(int stress_state) const override;
};

// Linear thermo-elasticity: the elastic law with a free thermal expansion and
// the parameters of linear heat conduction.
class ThermoElastic_type : public Elastic_type, public LinearThermal_type {
public:
    explicit ThermoElastic_type(unsigned int number);
    ~ThermoElastic_type() override;

    KelVane::Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    int set_expansion(double alpha);
    double expansion() const { return alpha_; }

private:
    double alpha_;
};

// Uniaxial nonlinear elasticity sigma = sign(eps) 2E (sqrt(1 + |eps|) - 1) for bars.
class NonlinearElastic_type : public KelVane::Structural_type {
public:
    explicit NonlinearElastic_type(unsigned int number);
    ~NonlinearElastic_type() override;

    // The uniaxial state only: the law has no contraction.
    bool supports(int stress_state) const override;
    KelVane::Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    int set_young(double E);
    double young() const { return E_; }

private:
    double E_;
};

// ---------------------------------------------------------------------------

// State of linear elasticity: the strain of the stress state's size.
class Elastic_Point : public KelVane::Structural_Point {
public:
    Elastic_Point(const Elastic_type& material, int stress_state);
    ~Elastic_Point() override;

    KelVane::Matrix get_tangent_xp() const override;
    KelVane::Matrix get_tangent() const override;
    void add_strain_increment(const KelVane::Vector& strain_increment) override;
    KelVane::Vector get_stress() const override;
    KelVane::Vector get_stress_xp() const override;

    void accept() override;
    void collect(KelVane::CollectArray& buffer) const override;
    void distribute(KelVane::CollectArray& buffer) override;

protected:
    // Strain vectors of the given size (the expanded point keeps more components).
    Elastic_Point(const Elastic_type& material, int stress_state, unsigned int strain_size);

    const Elastic_type* material;
    KelVane::Vector converged_strain;
    KelVane::Vector current_strain;
};

// Linear elasticity in the expanded formulation: the strains hold the
// components the stress state leaves out.
class Elastic_Point_xp : public Elastic_Point {
public:
    Elastic_Point_xp(const Elastic_type& material, int stress_state);
    ~Elastic_Point_xp() override;

    KelVane::Matrix get_tangent() const override;
    void add_strain_increment(const KelVane::Vector& strain_increment) override;
    KelVane::Vector get_stress() const override;
    KelVane::Vector get_stress_xp() const override;

    // Also clears the running out-of-plane estimate; collect and distribute
    // are Elastic_Point's (the estimate is zero after every accept).
    void accept() override;
    void revert() override;

private:
    KelVane::Vector condensed;
    KelVane::Vector previous_increment;
};

// Thermo-elastic point: an elastic point joined with a heat conduction point.
// The stored strains are mechanical strains (total minus free thermal strain).
class ThermoElastic_Point : public Elastic_Point, public LinearThermal_Point {
public:
    ThermoElastic_Point(const ThermoElastic_type& material, int stress_state);
    ~ThermoElastic_Point() override;

    void add_strain_increment(const KelVane::Vector& strain_increment) override;
    KelVane::Vector get_stress() const override;
    KelVane::Vector get_stress_xp() const override;
    double get_expansion() const override;

    void accept() override;
    void collect(KelVane::CollectArray& buffer) const override;
    void distribute(KelVane::CollectArray& buffer) override;
    // Reached through the structural and the thermal interface alike.
    void set_temperature_increment(double temperature_increment) override;

private:
    const ThermoElastic_type* thermo_material;
    double thermal_strain;
    double thermal_strain_increment;
};

// State of the uniaxial nonlinear elasticity: the one strain component.
class NonlinearElastic_Point : public KelVane::Structural_Point {
public:
    NonlinearElastic_Point(const NonlinearElastic_type& material, int stress_state);
    ~NonlinearElastic_Point() override;

    KelVane::Matrix get_tangent_xp() const override;
    KelVane::Matrix get_tangent() const override;
    void add_strain_increment(const KelVane::Vector& strain_increment) override;
    KelVane::Vector get_stress() const override;

    void accept() override;
    void collect(KelVane::CollectArray& buffer) const override;
    void distribute(KelVane::CollectArray& buffer) override;

private:
    const NonlinearElastic_type* material;
    KelVane::Vector converged_strain;
    KelVane::Vector current_strain;
};

#endif
