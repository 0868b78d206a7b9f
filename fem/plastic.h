#ifndef KELVANED_PLASTIC_H
#define KELVANED_PLASTIC_H

#include "heat_conduction.h"
#include "material.h"

// Small-strain von Mises plasticity with isotropic power-law (Nadai) hardening
// sigma_y = C (eps0 + eps_p)^n. Plane strain and plane stress points keep the
// out-of-plane strain as part of their state (expanded formulation).
class VonMises_type : public KelVane::Structural_type {
public:
    explicit VonMises_type(unsigned int number);
    ~VonMises_type() override;

    bool is_xp(int stress_state) const override;
    // Not the uniaxial state: its expanded form has no elasticity matrix.
    bool supports(int stress_state) const override;
    KelVane::Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    int set_young(double E);
    int set_poisson(double nu);
    int set_multiplier(double C);
    int set_exponent(double n);
    // Converts the initial yield stress into the strain offset eps0 with the
    // multiplier and exponent, which must be set first.
    int set_yield_stress(double sigma_y0);

    double young() const { return E_; }
    double poisson() const { return nu_; }
    double eps0() const { return eps0_; }
    double multiplier() const { return C_; }
    double exponent() const { return n_; }

    // Yield stress C (eps0 + eps_p)^n and its slope n C (eps0 + eps_p)^(n-1).
    double yield_stress(double eq_plastic_strain) const;
    double hardening_modulus(double eq_plastic_strain) const;

private:
    double E_;
    double nu_;
    double eps0_;
    double C_;
    double n_;
};

// Von Mises plasticity with a free thermal expansion and the parameters of
// linear heat conduction.
class ThermoPlastic_type : public VonMises_type, public LinearThermal_type {
public:
    explicit ThermoPlastic_type(unsigned int number);
    ~ThermoPlastic_type() override;

    KelVane::Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    int set_expansion(double alpha);
    double expansion() const { return alpha_; }

private:
    double alpha_;
};

// ---------------------------------------------------------------------------

// State of von Mises plasticity at one integration point: the deviatoric
// elastic strain (expanded size, engineering shear), the equivalent plastic
// strain and the pressure (positive in compression), each converged and
// current. Strain updates are a radial return with a local Newton iteration.
class VonMises_Point : public KelVane::Structural_Point {
public:
    VonMises_Point(const VonMises_type& material, int stress_state);
    ~VonMises_Point() override;

    KelVane::Matrix get_tangent_xp() const override;
    KelVane::Matrix get_tangent() const override;
    void add_strain_increment(const KelVane::Vector& strain_increment) override;
    KelVane::Vector get_stress() const override;
    KelVane::Vector get_stress_xp() const override;
    double get_eq_plastic_strain(bool& has) const override;
    // Plane stress: the thickness stress against the in-plane stresses, or the
    // yield stress when these are smaller.
    bool condensed_stress_negligible(double tolerance) const override;

    void accept() override;
    void collect(KelVane::CollectArray& buffer) const override;
    void distribute(KelVane::CollectArray& buffer) override;
    void revert() override;

    // Whether the last strain update yielded (kept over accept).
    bool plastic() const { return plastic_flag; }

private:
    // Deviatoric stress of the current elastic strain, tensor shear components.
    KelVane::Vector deviatoric_stress() const;
    // sqrt(1.5 e:e) of the converged elastic strain.
    double converged_equivalent_elastic_strain() const;
    // Stops with a message when Poisson's ratio makes the bulk modulus infinite.
    void check_compressible() const;

    KelVane::Vector condensed;
    const VonMises_type* material;
    KelVane::Vector converged_elastic_strain;
    KelVane::Vector current_elastic_strain;
    KelVane::Vector previous_increment;
    double converged_eq_plastic_strain;
    double current_eq_plastic_strain;
    double equivalent_elastic_strain;
    double converged_pressure;
    double current_pressure;
    bool plastic_flag;
    // The plastic flag as the last accept left it.
    bool converged_plastic_flag;
};

// Thermo-plastic point: a von Mises point joined with a heat conduction point.
// The strains handed to the von Mises part are mechanical (total minus free
// thermal strain).
class ThermoPlastic_Point : public VonMises_Point, public LinearThermal_Point {
public:
    ThermoPlastic_Point(const ThermoPlastic_type& material, int stress_state);
    ~ThermoPlastic_Point() override;

    void expand_strain_increment(KelVane::Vector& increment, const KelVane::Vector& change,
                                 KelVane::Vector& condensed) const override;
    void add_strain_increment(const KelVane::Vector& strain_increment) override;
    double get_expansion() const override;

    void accept() override;
    void collect(KelVane::CollectArray& buffer) const override;
    void distribute(KelVane::CollectArray& buffer) override;
    void revert() override;
    // Reached through the structural and the thermal interface alike.
    void set_temperature_increment(double temperature_increment) override;

private:
    const ThermoPlastic_type* thermo_material;
    double thermal_strain;
    double thermal_strain_increment;
};

#endif
