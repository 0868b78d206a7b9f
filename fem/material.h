#ifndef KELVANED_MATERIAL_H
#define KELVANED_MATERIAL_H

#include "collect_array.h"
#include "kvmatrix.h"
#include "stress_state.h"

// Materials come in two halves: a material type holds the parameters of one
// material group and is shared by all elements of the group; a material point
// holds the state at one integration point and does the constitutive work there.
//
// Stress-state codes: 0 three-dimensional, 1 plane strain, 2 plane stress,
// 3 axisymmetric, 4 uniaxial (sizes in stress_state.h).

namespace KelVane {

// State of a material at one integration point: a converged state and a current
// one. Every increment handed to a point is measured from the converged state,
// so repeated calls within one increment replace each other; accept commits.
class Material_Point {
public:
    virtual ~Material_Point();
    virtual void accept() = 0;
    // Appends the converged state to a restart buffer.
    virtual void collect(CollectArray& buffer) const = 0;
    // Reads the state written by collect at the buffer's cursor and makes it
    // both converged and current.
    virtual void distribute(CollectArray& buffer) = 0;
    // Takes back an attempt that is given up: the point is again as the last
    // accept (or distribute) left it, running estimates included. The element
    // calls it after an update with zero increments, which is all that points
    // keeping nothing besides their converged state need.
    virtual void revert();
};

// Material point of a structural element. Strain vectors carry engineering
// shear strains; the expanded form adds the normal components that the stress
// state leaves out (the 33 component of the plane states, 22 and 33 of the bar).
class Structural_Point : public virtual Material_Point {
public:
    explicit Structural_Point(int stress_state);
    ~Structural_Point() override;

    // Tangent of the expanded size.
    virtual Matrix get_tangent_xp() const = 0;
    // Turns a strain increment of the stress state's size into the expanded
    // size. change is the increment minus the one of the previous call since the
    // last accept; condensed is the running estimate of the strain increments
    // in the components whose stress vanishes by assumption.
    virtual void expand_strain_increment(Vector& increment, const Vector& change,
                                         Vector& condensed) const;
    virtual Matrix get_tangent() const = 0;
    // Current state := converged state + strain increment (stress-state size).
    virtual void add_strain_increment(const Vector& strain_increment) = 0;
    virtual Vector get_stress() const = 0;
    virtual Vector get_stress_xp() const;
    virtual double get_eq_plastic_strain(bool& has) const;
    // Thermal expansion coefficient; 0 for purely mechanical points.
    virtual double get_expansion() const;
    // Whether the stresses of the components that vanish by assumption (the
    // thickness stress of plane stress) are at most the fraction `tolerance` of
    // the others. Points whose thickness strain one update finds exactly (linear
    // ones) always are.
    virtual bool condensed_stress_negligible(double tolerance) const;

    Vector expand(const Vector& v) const;
    Vector condense_vector(const Vector& v) const;
    Matrix condense_matrix(const Matrix& D) const;
    // Tangent of the stress state's size with the stress change f that relaxes
    // the remaining out-of-plane stress (plane stress); used by elements whose
    // material works in the expanded formulation.
    void condensed_tangent(Matrix& D, Vector& f) const;
    // Stress caused by a strain e in every normal component.
    Vector stress_of_normal_strain(double e) const;
    // Number of expanded components whose stress is zero by assumption.
    unsigned int nr_condensed() const;

protected:
    // The strain of the stress state's size less e on each of its normal
    // components: the mechanical part of a strain with a free expansion e.
    Vector without_normal_strain(const Vector& strain, double e) const;

    unsigned int stress_state;
};

// Material point of a heat-conduction element: temperature gradient (length
// get_nodal_dimension of the stress state) and temperature.
class Thermal_Point : public virtual Material_Point {
public:
    explicit Thermal_Point(int stress_state);
    ~Thermal_Point() override;

    virtual Matrix get_conductivity() const = 0;
    virtual void set_gradient_increment(const Vector& gradient_increment) = 0;
    virtual void set_temperature_increment(double temperature_increment) = 0;
    virtual double get_capacity() const = 0;
    virtual double get_heat_increment() const = 0;
    virtual Vector get_flux() const = 0;

protected:
    unsigned int stress_state;
};

// Parameters of one material group of the model.
class Material_type {
public:
    explicit Material_type(unsigned int number = 0);
    virtual ~Material_type();
    // A new point for one integration point; the caller owns it. May be null
    // for materials without integration points.
    virtual Material_Point* create_point(int stress_state) const = 0;
    // Whether the tangent matrices of the material's points are symmetric.
    virtual bool symmetric() const = 0;

    // Stores rho; a negative density is an input error (returns the count).
    int set_density(double rho);
    double density() const { return density_; }
    unsigned int number() const { return number_; }

private:
    double density_;
    unsigned int number_;
};

class Structural_type : public virtual Material_type {
public:
    ~Structural_type() override;
    // True when the points work in the expanded formulation for this stress
    // state: their elements then take the tangent with a stress correction
    // from condensed_tangent.
    virtual bool is_xp(int stress_state) const;
    // Whether the type's points work in the stress state; a structural element
    // whose state the material does not support cannot use it. True by default.
    virtual bool supports(int stress_state) const;
};

class Thermal_type : public virtual Material_type {
public:
    ~Thermal_type() override;
};

// Concentrated mass of the point-mass elements; has no integration points.
class Mass_type : public Material_type {
public:
    explicit Mass_type(unsigned int number, double mass = 0.0);
    ~Mass_type() override;
    Material_Point* create_point(int stress_state) const override;
    bool symmetric() const override;

    void set_mass(double mass) { mass_ = mass; }
    double mass() const { return mass_; }

private:
    double mass_;
};

} // namespace KelVane

// Isotropic linear elasticity matrix with n components for a stress state:
// n = 1 uniaxial, n = 3 plane strain or plane stress, n = 4 axisymmetric (also
// the expanded plane states), n = 6 three-dimensional.
KelVane::Matrix iso_lin_elas_D_mat(double E, double nu, int n, int stress_state);

// Check of a material parameter that a setter has just stored: when the value
// is not accepted, the message goes to the error stream and the setter counts one
// input error. Returns that count (0 or 1). The conditions are written so that a
// value that is not a number is refused as well.
int check_parameter(bool accepted, const char* message);
// The checks shared by the materials with Young's modulus, Poisson's ratio and a
// thermal expansion coefficient.
int check_young(double E);
int check_poisson(double nu);
int check_expansion(double alpha);

#endif
