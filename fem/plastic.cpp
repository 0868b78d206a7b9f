#include "plastic.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "errors.h"

using KelVane::CollectArray;
using KelVane::Material_Point;
using KelVane::Matrix;
using KelVane::Vector;

namespace {

// The local Newton iteration on the plastic multiplier stops once the yield
// function is within this fraction of the yield stress, or after this many
// corrections, whichever comes first. Both are ratios of stresses, so a model
// answers alike in every unit of force and length. The fraction lies far below
// what equilibrium iterations ask of the stresses, so that the tangent stays
// consistent with the return down to the tightest unbalance, and well above the
// rounding of the yield function at trial stresses up to a thousand times the
// yield stress.
const double yield_tolerance = 1e-12;
const int max_return_corrections = 10;

// A point yields when its trial stress exceeds the yield stress by more than this
// fraction of it; below, the trial state counts as lying on the yield surface and
// the point answers elastically. A yielded point starts an increment with its
// elastoplastic tangent, which is softer than the elastic one by up to E over the
// hardening modulus: an increment that adds no load (a hold) meets the rounding
// left by the previous increment's large strains (some 1e-13 of the forces) with
// corrections that move the trial stresses by up to some 1e-11 of the yield
// stress, up or down as the rounding falls. The band keeps that from making
// points yield and unload by turns, from unit to unit and build to build, while
// an elastic point left above the yield surface by less than the band stays far
// below any digit shown.
const double yield_band = 1e-10;

double shear_modulus(double E, double nu)
{
    return E / (2.0 * (1.0 + nu));
}

double bulk_modulus(double E, double nu)
{
    return E / (3.0 * (1.0 - 2.0 * nu));
}

// sqrt(1.5 s:s) of a deviatoric stress vector with tensor shear components.
double von_mises_stress(const Vector& s)
{
    double sum = 0.0;
    for (unsigned int i = 1; i <= 3; ++i)
        sum += s(i) * s(i);
    for (unsigned int i = 4; i <= s.size(); ++i)
        sum += 2.0 * s(i) * s(i);
    return std::sqrt(1.5 * sum);
}

} // namespace

// ---------------------------------------------------------------------------
// Material types

VonMises_type::VonMises_type(unsigned int number)
    : KelVane::Material_type(number), E_(0.0), nu_(0.0), eps0_(0.0), C_(0.0), n_(0.0)
{
}

VonMises_type::~VonMises_type() = default;

bool VonMises_type::is_xp(int stress_state) const
{
    return stress_state == 1 || stress_state == 2;
}

bool VonMises_type::supports(int stress_state) const
{
    return stress_state != 4;
}

Material_Point* VonMises_type::create_point(int stress_state) const
{
    return new VonMises_Point(*this, stress_state);
}

bool VonMises_type::symmetric() const
{
    return true;
}

int VonMises_type::set_young(double E)
{
    E_ = E;
    return check_young(E);
}

int VonMises_type::set_poisson(double nu)
{
    nu_ = nu;
    return check_poisson(nu);
}

int VonMises_type::set_multiplier(double C)
{
    C_ = C;
    return check_parameter(C > 0.0, "The multiplier C must be greater than 0; input error");
}

int VonMises_type::set_exponent(double n)
{
    n_ = n;
    return check_parameter(n >= 0.0 && n <= 1.0,
                           "The exponent n must be between 0 and 1; input error");
}

// eps0 = (sigma_y0 / C)^(1/n) makes the hardening law give sigma_y0 at eps_p = 0.
int VonMises_type::set_yield_stress(double sigma_y0)
{
    if (!(sigma_y0 > 0.0)) {
        std::cerr << "The initial yield stress must be greater than 0; input error" << '\n';
        return 1;
    }
    if (!(C_ > 0.0) || n_ == 0.0) {
        std::cerr << "The initial yield stress needs a multiplier C and an exponent n "
                     "greater than 0; input error"
                  << '\n';
        return 1;
    }
    eps0_ = std::pow(sigma_y0 / C_, 1.0 / n_);
    return 0;
}

double VonMises_type::yield_stress(double eq_plastic_strain) const
{
    return C_ * std::pow(eps0_ + eq_plastic_strain, n_);
}

double VonMises_type::hardening_modulus(double eq_plastic_strain) const
{
    return n_ * C_ * std::pow(eps0_ + eq_plastic_strain, n_ - 1.0);
}

ThermoPlastic_type::ThermoPlastic_type(unsigned int number)
    : KelVane::Material_type(number), VonMises_type(number), LinearThermal_type(number),
      alpha_(0.0)
{
}

ThermoPlastic_type::~ThermoPlastic_type() = default;

Material_Point* ThermoPlastic_type::create_point(int stress_state) const
{
    return new ThermoPlastic_Point(*this, stress_state);
}

// The coupling terms of a thermo-mechanical element make its matrix nonsymmetric.
bool ThermoPlastic_type::symmetric() const
{
    return false;
}

int ThermoPlastic_type::set_expansion(double alpha)
{
    alpha_ = alpha;
    return check_expansion(alpha);
}

// ---------------------------------------------------------------------------
// VonMises_Point

VonMises_Point::VonMises_Point(const VonMises_type& material_type, int stress_state_code)
    : KelVane::Structural_Point(stress_state_code),
      condensed(nr_condensed(), 0.0),
      material(&material_type),
      converged_elastic_strain(ExpandedStressSize(stress_state_code), 0.0),
      current_elastic_strain(ExpandedStressSize(stress_state_code), 0.0),
      previous_increment(StressSize(stress_state_code), 0.0),
      converged_eq_plastic_strain(0.0),
      current_eq_plastic_strain(0.0),
      equivalent_elastic_strain(0.0),
      converged_pressure(0.0),
      current_pressure(0.0),
      plastic_flag(false),
      converged_plastic_flag(false)
{
}

VonMises_Point::~VonMises_Point() = default;

void VonMises_Point::check_compressible() const
{
    if (material->poisson() == 0.5) {
        std::cerr << "nu = 0.5, going to divide by 0; error" << '\n';
        throw kelvaned_error("nu = 0.5, going to divide by 0; error");
    }
}

Vector VonMises_Point::deviatoric_stress() const
{
    const double two_G = 2.0 * shear_modulus(material->young(), material->poisson());
    Vector s = two_G * current_elastic_strain;
    for (unsigned int i = 4; i <= s.size(); ++i)
        s(i) *= 0.5;
    return s;
}

double VonMises_Point::converged_equivalent_elastic_strain() const
{
    const Vector& e = converged_elastic_strain;
    double sum = 0.0;
    for (unsigned int i = 1; i <= 3; ++i)
        sum += e(i) * e(i);
    for (unsigned int i = 4; i <= e.size(); ++i)
        sum += 0.5 * e(i) * e(i);
    return std::sqrt(1.5 * sum);
}

// Elastic trial state, then a radial return onto the hardened yield surface;
// the volumetric part is linear elastic and only changes the pressure.
void VonMises_Point::add_strain_increment(const Vector& strain_increment)
{
    // Checked before any state changes: the bulk modulus would be infinite.
    check_compressible();
    const double G = shear_modulus(material->young(), material->poisson());
    const double K = bulk_modulus(material->young(), material->poisson());

    const Vector change = strain_increment - previous_increment;
    previous_increment = strain_increment;
    Vector e = strain_increment;
    expand_strain_increment(e, change, condensed);

    // e becomes its deviator; the trial state is built in place.
    const double trace = e(1) + e(2) + e(3);
    for (unsigned int i = 1; i <= 3; ++i)
        e(i) -= trace / 3.0;
    current_elastic_strain = converged_elastic_strain;
    current_elastic_strain += e;

    Vector s = deviatoric_stress();
    const double q = von_mises_stress(s);
    equivalent_elastic_strain = q / (2.0 * G);

    double delta_gamma = 0.0;
    current_eq_plastic_strain = converged_eq_plastic_strain;
    double sigma_y = material->yield_stress(converged_eq_plastic_strain);
    plastic_flag = q - sigma_y > yield_band * sigma_y;
    if (plastic_flag) {
        // Newton iteration on f(dgamma) = q - 3G dgamma - sigma_y(eps_p + dgamma).
        for (int corrections = 0;; ++corrections) {
            const double f = q - 3.0 * G * delta_gamma - sigma_y;
            if (std::fabs(f) <= yield_tolerance * sigma_y ||
                corrections >= max_return_corrections)
                break;
            const double H = material->hardening_modulus(current_eq_plastic_strain);
            delta_gamma += f / (3.0 * G + H);
            current_eq_plastic_strain = converged_eq_plastic_strain + delta_gamma;
            sigma_y = material->yield_stress(current_eq_plastic_strain);
        }
        s *= 1.0 / (1.0 + 3.0 * G * delta_gamma / sigma_y);
        // The plastic strain flows along the returned deviator; shear components
        // are engineering strains, hence twice the tensor flow.
        const double flow = 1.5 * delta_gamma / sigma_y;
        for (unsigned int i = 1; i <= 3; ++i)
            current_elastic_strain(i) -= flow * s(i);
        for (unsigned int i = 4; i <= s.size(); ++i)
            current_elastic_strain(i) -= 2.0 * flow * s(i);
    }
    current_pressure = converged_pressure - K * trace;
}

Vector VonMises_Point::get_stress_xp() const
{
    Vector stress = deviatoric_stress();
    for (unsigned int i = 1; i <= 3; ++i)
        stress(i) -= current_pressure;
    return stress;
}

Vector VonMises_Point::get_stress() const
{
    return condense_vector(get_stress_xp());
}

// Elastic points have the isotropic elasticity matrix; yielded points the
// tangent consistent with the radial return,
//   D = K 1(x)1 + 2G* I_dev - beta s(x)s,  2G* = 2G sigma_y / q_trial.
Matrix VonMises_Point::get_tangent_xp() const
{
    check_compressible();
    const double E = material->young();
    const double nu = material->poisson();
    const int state = static_cast<int>(stress_state);
    const unsigned int n = ExpandedStressSize(state);
    if (!plastic_flag)
        return iso_lin_elas_D_mat(E, nu, static_cast<int>(n), state);

    const double G = shear_modulus(E, nu);
    const double K = bulk_modulus(E, nu);
    const Vector s = deviatoric_stress();
    const double q = von_mises_stress(s);
    const double H = material->hardening_modulus(current_eq_plastic_strain);
    const double delta_gamma = current_eq_plastic_strain - converged_eq_plastic_strain;
    const double two_G_star = q / equivalent_elastic_strain;
    const double beta = 1.5 * (1.0 - delta_gamma * H / q) /
                        ((1.0 + H / (3.0 * G)) * q * equivalent_elastic_strain);

    Matrix D(n, n);
    for (unsigned int i = 1; i <= n; ++i)
        for (unsigned int j = 1; j <= n; ++j)
            D(i, j) = -beta * s(i) * s(j);
    for (unsigned int i = 1; i <= 3; ++i) {
        D(i, i) += two_G_star;
        for (unsigned int j = 1; j <= 3; ++j)
            D(i, j) += K - two_G_star / 3.0;
    }
    for (unsigned int i = 4; i <= n; ++i)
        D(i, i) += two_G_star / 2.0;
    return D;
}

Matrix VonMises_Point::get_tangent() const
{
    return condense_matrix(get_tangent_xp());
}

double VonMises_Point::get_eq_plastic_strain(bool& has) const
{
    has = true;
    return current_eq_plastic_strain;
}

// The thickness strain moves by one Newton step per update, so the thickness
// stress vanishes only over the equilibrium iterations, as the unbalance does.
// A stress that is not a number is never negligible.
bool VonMises_Point::condensed_stress_negligible(double tolerance) const
{
    if (stress_state != 2)
        return true;
    const Vector stress = get_stress_xp();
    double scale = material->yield_stress(current_eq_plastic_strain);
    for (unsigned int i : {1u, 2u, 4u})
        scale = std::max(scale, std::fabs(stress(i)));
    return std::fabs(stress(3)) <= tolerance * scale;
}

// The plastic flag stays: a yielded point's next tangent is the elastoplastic
// one of the converged state.
void VonMises_Point::accept()
{
    converged_elastic_strain = current_elastic_strain;
    converged_eq_plastic_strain = current_eq_plastic_strain;
    converged_pressure = current_pressure;
    converged_plastic_flag = plastic_flag;
    VonMises_Point::revert();
}

// Everything an update changes goes back to the converged state, so that a
// retry of the increment meets the point as a first attempt does.
void VonMises_Point::revert()
{
    current_elastic_strain = converged_elastic_strain;
    current_eq_plastic_strain = converged_eq_plastic_strain;
    current_pressure = converged_pressure;
    equivalent_elastic_strain = converged_equivalent_elastic_strain();
    plastic_flag = converged_plastic_flag;
    condensed.set_zero();
    previous_increment.set_zero();
}

void VonMises_Point::collect(CollectArray& buffer) const
{
    KelVane::append_to(buffer, converged_elastic_strain);
    buffer.append(converged_eq_plastic_strain);
    buffer.append(converged_pressure);
    buffer.append(converged_plastic_flag ? 1.0 : 0.0);
}

void VonMises_Point::distribute(CollectArray& buffer)
{
    KelVane::read_from(buffer, converged_elastic_strain);
    converged_eq_plastic_strain = buffer.read();
    converged_pressure = buffer.read();
    const double flag = buffer.read();
    converged_plastic_flag = flag >= 0.99 && flag < 1.01;
    VonMises_Point::revert();
}

// ---------------------------------------------------------------------------
// ThermoPlastic_Point

ThermoPlastic_Point::ThermoPlastic_Point(const ThermoPlastic_type& material_type,
                                         int stress_state_code)
    : VonMises_Point(material_type, stress_state_code),
      LinearThermal_Point(material_type, stress_state_code),
      thermo_material(&material_type),
      thermal_strain(0.0),
      thermal_strain_increment(0.0)
{
}

ThermoPlastic_Point::~ThermoPlastic_Point() = default;

void ThermoPlastic_Point::set_temperature_increment(double temperature_increment)
{
    thermal_strain_increment = get_expansion() * temperature_increment;
    LinearThermal_Point::set_temperature_increment(temperature_increment);
}

// A plane-strain slice cannot expand through its thickness: its out-of-plane
// mechanical strain increment is minus the free thermal one.
void ThermoPlastic_Point::expand_strain_increment(Vector& increment, const Vector& change,
                                                  Vector& condensed_increment) const
{
    Structural_Point::expand_strain_increment(increment, change, condensed_increment);
    if (Structural_Point::stress_state == 1)
        increment(3) -= thermal_strain_increment;
}

// The von Mises part works on mechanical strains.
void ThermoPlastic_Point::add_strain_increment(const Vector& strain_increment)
{
    VonMises_Point::add_strain_increment(
        without_normal_strain(strain_increment, thermal_strain_increment));
}

double ThermoPlastic_Point::get_expansion() const
{
    return thermo_material->expansion();
}

void ThermoPlastic_Point::accept()
{
    thermal_strain += thermal_strain_increment;
    thermal_strain_increment = 0.0;
    VonMises_Point::accept();
    LinearThermal_Point::accept();
}

void ThermoPlastic_Point::revert()
{
    thermal_strain_increment = 0.0;
    VonMises_Point::revert();
}

void ThermoPlastic_Point::collect(CollectArray& buffer) const
{
    VonMises_Point::collect(buffer);
    LinearThermal_Point::collect(buffer);
    buffer.append(thermal_strain);
}

void ThermoPlastic_Point::distribute(CollectArray& buffer)
{
    VonMises_Point::distribute(buffer);
    LinearThermal_Point::distribute(buffer);
    thermal_strain = buffer.read();
    thermal_strain_increment = 0.0;
}
