#include "material.h"

#include <iostream>

#include "errors.h"
#include "kv_assert.h"

using KelVane::Matrix;
using KelVane::Vector;

namespace KelVane {

Material_Point::~Material_Point() = default;

void Material_Point::revert() {}

// ---------------------------------------------------------------------------
// Structural_Point

Structural_Point::Structural_Point(int stress_state_code)
    : stress_state(static_cast<unsigned int>(stress_state_code))
{
}

Structural_Point::~Structural_Point() = default;

void Structural_Point::expand_strain_increment(Vector& increment, const Vector& change,
                                               Vector& condensed) const
{
    switch (stress_state) {
    case 1:
    case 4:
        increment = expand(increment);
        break;
    case 2: {
        // One Newton step on the out-of-plane strain increment: the correction
        // that makes the current 33 stress vanish to first order.
        KV_ASSERT(condensed.size() == 1);
        KV_ASSERT(change.size() == 3);
        const Matrix D = get_tangent_xp();
        const Vector sigma = get_stress_xp();
        condensed(1) -= (sigma(3) + D(3, 1) * change(1) + D(3, 2) * change(2) +
                         D(3, 4) * change(3)) /
                        D(3, 3);
        Vector expanded(4);
        expanded(1) = increment(1);
        expanded(2) = increment(2);
        expanded(3) = condensed(1);
        expanded(4) = increment(3);
        increment = expanded;
        break;
    }
    default:
        break;
    }
}

Vector Structural_Point::get_stress_xp() const
{
    return expand(get_stress());
}

double Structural_Point::get_eq_plastic_strain(bool& has) const
{
    has = false;
    return 0.0;
}

double Structural_Point::get_expansion() const
{
    return 0.0;
}

bool Structural_Point::condensed_stress_negligible(double) const
{
    return true;
}

Vector Structural_Point::expand(const Vector& v) const
{
    switch (stress_state) {
    case 0:
    case 3:
        return v;
    case 1:
    case 2: {
        KV_ASSERT(v.size() == 3);
        Vector result(4, 0.0);
        result(1) = v(1);
        result(2) = v(2);
        result(4) = v(3);
        return result;
    }
    case 4: {
        KV_ASSERT(v.size() == 1);
        Vector result(3, 0.0);
        result(1) = v(1);
        return result;
    }
    default:
        throw program_error("undefined stress state in Structural_Point::expand(.)");
    }
}

Vector Structural_Point::condense_vector(const Vector& v) const
{
    switch (stress_state) {
    case 0:
    case 3:
        return v;
    case 1:
    case 2: {
        KV_ASSERT(v.size() == 4);
        Vector result(3);
        result(1) = v(1);
        result(2) = v(2);
        result(3) = v(4);
        return result;
    }
    case 4:
        KV_ASSERT(v.size() == 3);
        return Vector(1, v(1));
    default:
        throw program_error("undefined stress state in Structural_Point::condense_vector(.)");
    }
}

Matrix Structural_Point::condense_matrix(const Matrix& D) const
{
    switch (stress_state) {
    case 1:
        KV_ASSERT(D.size1() == 4 && D.size2() == 4);
        return D.leave_out(3);
    case 2: {
        // Static condensation of the vanishing 33 stress:
        // D_rr - D_r3 D_3r / D_33 with r = 1, 2, 4.
        KV_ASSERT(D.size1() == 4 && D.size2() == 4);
        const unsigned int r[3] = {1, 2, 4};
        Matrix result(3, 3);
        for (unsigned int i = 0; i < 3; ++i)
            for (unsigned int j = 0; j < 3; ++j)
                result(i + 1, j + 1) = D(r[i], r[j]) - D(r[i], 3) * D(3, r[j]) / D(3, 3);
        return result;
    }
    case 4: {
        // Static condensation of the vanishing 22 and 33 stresses:
        // D_11 - D_1c inv(D_cc) D_c1 with c = 2, 3.
        KV_ASSERT(D.size1() == 3 && D.size2() == 3);
        Matrix Dcc(2, 2);
        for (unsigned int i = 1; i <= 2; ++i)
            for (unsigned int j = 1; j <= 2; ++j)
                Dcc(i, j) = D(i + 1, j + 1);
        const Matrix Dcc_inv = Dcc.inv();
        double correction = 0.0;
        for (unsigned int i = 1; i <= 2; ++i)
            for (unsigned int j = 1; j <= 2; ++j)
                correction += D(1, i + 1) * Dcc_inv(i, j) * D(j + 1, 1);
        return Matrix(1, 1, D(1, 1) - correction);
    }
    default:
        return D;
    }
}

void Structural_Point::condensed_tangent(Matrix& D, Vector& f) const
{
    const Matrix Dxp = get_tangent_xp();
    D = condense_matrix(Dxp);
    switch (stress_state) {
    case 2: {
        const Vector sigma = get_stress_xp();
        const double factor = -sigma(3) / Dxp(3, 3);
        f.resize(3);
        f(1) = factor * Dxp(1, 3);
        f(2) = factor * Dxp(2, 3);
        f(3) = factor * Dxp(4, 3);
        break;
    }
    case 4:
        f = Vector(1, 0.0);
        break;
    default:
        f = Vector(StressSize(static_cast<int>(stress_state)), 0.0);
        break;
    }
}

Vector Structural_Point::stress_of_normal_strain(double e) const
{
    if (stress_state == 2 || stress_state == 4) {
        Vector strain(StressSize(static_cast<int>(stress_state)), 0.0);
        strain(1) = e;
        if (stress_state == 2)
            strain(2) = e;
        return get_tangent() * strain;
    }
    Vector strain(ExpandedStressSize(static_cast<int>(stress_state)), 0.0);
    for (unsigned int i = 1; i <= 3; ++i)
        strain(i) = e;
    return condense_vector(get_tangent_xp() * strain);
}

Vector Structural_Point::without_normal_strain(const Vector& strain, double e) const
{
    Vector mechanical = strain;
    mechanical(1) -= e;
    if (stress_state <= 3)
        mechanical(2) -= e;
    if (stress_state == 0 || stress_state == 3)
        mechanical(3) -= e;
    return mechanical;
}

unsigned int Structural_Point::nr_condensed() const
{
    switch (stress_state) {
    case 2:
        return 1;
    case 4:
        return 2;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Thermal_Point

Thermal_Point::Thermal_Point(int stress_state_code)
    : stress_state(static_cast<unsigned int>(stress_state_code))
{
}

Thermal_Point::~Thermal_Point() = default;

// ---------------------------------------------------------------------------
// Material types

Material_type::Material_type(unsigned int number) : density_(0.0), number_(number) {}

Material_type::~Material_type() = default;

int Material_type::set_density(double rho)
{
    density_ = rho;
    return check_parameter(rho >= 0.0, "Density  < 0; this is not allowed");
}

Structural_type::~Structural_type() = default;

bool Structural_type::is_xp(int) const
{
    return false;
}

bool Structural_type::supports(int) const
{
    return true;
}

Thermal_type::~Thermal_type() = default;

Mass_type::Mass_type(unsigned int number, double mass) : Material_type(number), mass_(mass) {}

Mass_type::~Mass_type() = default;

Material_Point* Mass_type::create_point(int) const
{
    return nullptr;
}

bool Mass_type::symmetric() const
{
    return true;
}

} // namespace KelVane

// ---------------------------------------------------------------------------

namespace {

// The factor E / ((1 + nu)(1 - 2 nu)) of the states that do not let the
// material contract freely; nu = 0.5 (incompressible) makes it infinite.
double constrained_factor(double E, double nu)
{
    if (1.0 - 2.0 * nu == 0.0)
        throw kelvaned_error(
            "Poisson's ratio 0.5 makes the elasticity matrix of this stress state infinite");
    return E / ((1.0 + nu) * (1.0 - 2.0 * nu));
}

} // namespace

Matrix iso_lin_elas_D_mat(double E, double nu, int n, int stress_state)
{
    switch (n) {
    case 1:
        return Matrix(1, 1, E);
    case 3: {
        Matrix D(3, 3, 0.0);
        if (stress_state == 1) {
            const double f = constrained_factor(E, nu);
            D(1, 1) = D(2, 2) = f * (1.0 - nu);
            D(1, 2) = D(2, 1) = f * nu;
            D(3, 3) = f * (1.0 - 2.0 * nu) / 2.0;
        } else if (stress_state == 2) {
            const double f = E / (1.0 - nu * nu);
            D(1, 1) = D(2, 2) = f;
            D(1, 2) = D(2, 1) = f * nu;
            D(3, 3) = f * (1.0 - nu) / 2.0;
        } else {
            throw KelVane::program_error("wrong stress type in iso_lin_elas_D_mat()");
        }
        return D;
    }
    case 4:
    case 6: {
        const double f = constrained_factor(E, nu);
        Matrix D(n, n, 0.0);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j)
                D(i, j) = f * (i == j ? 1.0 - nu : nu);
        for (int i = 4; i <= n; ++i)
            D(i, i) = f * (1.0 - 2.0 * nu) / 2.0;
        return D;
    }
    default:
        throw KelVane::program_error("wrong number of stresses in iso_lin_elas_D_mat()");
    }
}

int check_parameter(bool accepted, const char* message)
{
    if (accepted) return 0;
    std::cerr << message << '\n';
    return 1;
}

int check_young(double E)
{
    return check_parameter(E > 0.0, "Youngs modulus <= 0; this is not allowed");
}

int check_poisson(double nu)
{
    return check_parameter(nu >= 0.0 && nu <= 0.5,
                           "Poisson's ratio must be between 0 and 0.5; input error");
}

int check_expansion(double alpha)
{
    return check_parameter(alpha > 0.0, "expansion coefficient <= 0; this is not allowed");
}
