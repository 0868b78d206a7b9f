#ifndef KELVANED_NEWMARK_H
#define KELVANED_NEWMARK_H

#include <iosfwd>
#include <memory>
#include <string>

#include "incremental_iterative_control.h"
#include "kvmatrix.h"

namespace KelVane {
class SparseSysMat;
}

// Implicit dynamics: Newmark time integration with equilibrium iterations on the
// effective stiffness K + a1 D + a0 M (consistent mass M, Rayleigh damping
// D = alpha M + beta_R K when damping is on). Each increment is one time step.
// A step that diverges or does not converge within maxiter iterations takes back
// its load and node increments and fails, so a resized retry starts from the
// state at the step's start. Restart files carry the velocity and acceleration.
// Prescribed dofs that move drive the free ones through the mass and damping
// matrices as well as the stiffness.
class NonLinearNewmarkControl : public MyIncrementalIterativeControl {
public:
    NonLinearNewmarkControl();
    ~NonLinearNewmarkControl() override;

    // The Newmark beta and gamma (0.25 and 0.5 by default: average acceleration).
    void set_parameters(double new_beta, double new_gamma)
    {
        beta = new_beta;
        gamma = new_gamma;
    }
    double get_beta() const { return beta; }
    double get_gamma() const { return gamma; }

    // Numbers the dofs, prepares the increments, starts at rest (zero velocity and
    // acceleration) and builds the stiffness, the consistent mass and, with
    // damping, the damping matrix. Throws KelVane::kelvane_error when the time step
    // or beta is not positive, since the integration constants divide by both, and
    // when beta < gamma / 2 (stable only for omega_max dt <= 1 / sqrt(gamma / 2 -
    // beta)) with a time step above that limit by more than rounding, omega_max
    // judged as in stability_frequency, or with a motion without mass (of no
    // finite frequency) at any step.
    void init(MyDomain& model, std::ostream& listing) override;
    void increment(MyDomain& model, std::ostream& listing, int load_set, double size) override;

    // Over the free equations, at the end of the last accepted step.
    const KelVane::Vector& get_velocity() const { return velocity; }
    const KelVane::Vector& get_acceleration() const { return acceleration; }
    // Null until init; the damping matrix stays null without damping.
    const KelVane::SparseSysMat* get_stiffness() const { return stiffness.get(); }
    const KelVane::SparseSysMat* get_mass() const { return mass.get(); }
    const KelVane::SparseSysMat* get_damping_matrix() const { return damping_matrix.get(); }

protected:
    // "velocity" and "acceleration" lines after the model records, and where
    // supports move "prescribed_velocity" and "prescribed_acceleration".
    void write_motion(std::ostream& os) override;
    void read_motion(const std::string& first, std::istream& is) override;

private:
    // omega_unstrained as for the explicit analysis.
    void check_stability_limit(MyDomain& model, double omega_unstrained) const;
    // The largest frequency a step of beta below gamma / 2 integrates stably:
    // 1 / (dt sqrt(gamma / 2 - beta)).
    double allowed_frequency() const;
    // a0 ... a7 of the current time step.
    void compute_constants();
    // Turns the tangent just assembled into the effective stiffness: the damping
    // matrix is rebuilt from that tangent, then a1 D and a0 M are added.
    void form_effective_stiffness();
    // With prescribed dofs that move (or moved): their velocity and acceleration at
    // the end of the step as the Newmark update gives them, and the forces their
    // motion exerts on the free equations through the mass and damping matrices,
    // M_fp a_p + C_fp v_p (support_forces); false when nothing moves.
    bool prescribed_motion(MyDomain& model);

    double beta = 0.25;
    double gamma = 0.5;
    KelVane::Vector velocity;
    KelVane::Vector acceleration;
    // Over the prescribed equations: at the end of the last accepted step, and
    // those of the step being taken.
    KelVane::Vector prescribed_velocity;
    KelVane::Vector prescribed_acceleration;
    KelVane::Vector step_prescribed_velocity;
    KelVane::Vector step_prescribed_acceleration;
    KelVane::Vector support_forces;
    std::unique_ptr<KelVane::SparseSysMat> stiffness;
    std::unique_ptr<KelVane::SparseSysMat> mass;
    std::unique_ptr<KelVane::SparseSysMat> damping_matrix;
    double a[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};

#endif
