// Newmark and explicit dynamics: a spring-mass oscillator (a bar and a point mass)
// under a step load against the closed form and against the exact solutions of
// the two difference schemes, energy conservation, Rayleigh damping, the lumped
// and consistent masses, the iteration reports and yields, failed Newmark steps
// and their retries, and whole model files: restarts of both schemes and an
// unstable explicit run (the example model runs with the others in
// examples_test.cpp).

#include "explicit.h"
#include "newmark.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "elastic.h"
#include "errors.h"
#include "eigen.h"
#include "example_harness.h"
#include "geometry.h"
#include "iteration_test_support.h"
#include "loads.h"
#include "material.h"
#include "model_loader.h"
#include "node.h"
#include "point_mass.h"
#include "run_model.h"
#include "sysmat.h"
#include "truss.h"
#include "ui_seam.h"

using namespace control_test;

namespace {

// A bar of length 1 along x from the held node 1 to node 2, which carries a point
// mass m and the force F in x (load set 1); node 2 moves in x only. With a linear
// material k = EA, omega = sqrt(k / M) and u_s = F / k, where M is m plus the share
// of the bar's own mass that the mass matrix gives node 2.
struct Oscillator {
    Oscillator(MyDomain& model, double m, double F, double E = 1.0e5, double A = 0.01,
               double density = 0.0, bool nonlinear = false)
    {
        KelVane::Material_type* material;
        if (nonlinear) {
            NonlinearElastic_type* law = new NonlinearElastic_type(1);
            law->set_young(E);
            material = law;
        } else {
            Elastic_type* law = new Elastic_type(1);
            law->set_young(E);
            law->set_poisson(0.0);
            material = law;
        }
        material->set_density(density);
        model.materials.push_back(material);
        KelVane::Geometry* geometry = new KelVane::Geometry(1);
        geometry->set_crosse(A);
        model.geometries.push_back(geometry);
        KelVane::Mass_type* point_mass = new KelVane::Mass_type(2, m);
        model.materials.push_back(point_mass);

        MyNode* held = add_node(model, 1, 0.0, 0.0);
        end = add_node(model, 2, 1.0, 0.0);
        fix_xy(held);
        end->add_dof(KelVane::fixed_status, KelVane::displacement_type, y_axis);
        bar = new Truss(1, new KelVane::Node*[2]{held, end}, material, geometry);
        model.add_element(bar);
        model.add_element(new Mass2D(2, new KelVane::Node*[1]{end}, point_mass, nullptr));

        load_set = add_x_load(model, end, F);
    }

    double u() const { return x_of(end->displacement()); }

    MyNode* end;
    Truss* bar;
    KelVane::LoadSet* load_set;
};

// A dense bar of length 1 and mass m_bar along y, from the oscillator's end to a
// held node at (1, 1): the end moves across it in x, and the bar's own mass moves
// with it, m_bar/3 in the consistent mass, m_bar/2 in the lumped one. Its axis is
// the end's held y.
void add_crossing_bar(MyDomain& model, const Oscillator& oscillator, double m_bar)
{
    Elastic_type* material = new Elastic_type(3);
    material->set_young(1.0e5);
    material->set_density(m_bar / 0.01);
    model.materials.push_back(material);
    KelVane::Geometry* geometry = new KelVane::Geometry(2);
    geometry->set_crosse(0.01);
    model.geometries.push_back(geometry);
    MyNode* held = add_node(model, 3, 1.0, 1.0);
    fix_xy(held);
    model.add_element(
        new Truss(3, new KelVane::Node*[2]{oscillator.end, held}, material, geometry));
}

// The load switched on in the first step and kept for the remaining ones.
void step_load(KelVane::IncrementalControl<MyDomain>& control, double dt, int steps)
{
    control.set_timestep(dt);
    control.add_load_block(1, 1.0, 1);
    control.add_load_block(1, 0.0, steps - 1);
}

// The displacement after every step.
std::vector<double> run_steps(KelVane::IncrementalControl<MyDomain>& control, MyDomain& model,
                              const Oscillator& oscillator)
{
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    std::vector<double> history;
    bool more = true;
    while (more) {
        more = control.run(model, listing, result, 1);
        history.push_back(oscillator.u());
    }
    return history;
}

// Step response of m u'' + c u' + k u = F from rest: u_s (1 - e^(-zeta w t)
// (cos(w_d t) + zeta / sqrt(1 - zeta^2) sin(w_d t))).
double closed_form(double us, double omega, double zeta, double t)
{
    const double root = std::sqrt(1.0 - zeta * zeta);
    const double wd = omega * root;
    return us * (1.0 - std::exp(-zeta * omega * t) *
                           (std::cos(wd * t) + zeta / root * std::sin(wd * t)));
}

}  // namespace

// Average-acceleration Newmark, started at rest with zero acceleration, gives the
// step response u_n = u_s (1 - cos(w dt/2) cos(w (t_n - dt/2))) with
// tan(w dt/2) = omega dt/2: no amplitude error, a period longer by about
// (omega dt)^2 / 12, and half a step of delay because the load enters over the
// first step. The velocity is u_s omega cos(w dt/2) sin(w (t_n - dt/2)).
TEST(NewmarkDynamics, UndampedOscillatorPeriodAndAmplitude)
{
    const double m = 10.0, F = 10.0, k = 1000.0, omega = 10.0, us = F / k;
    for (double omega_dt : {0.01, 0.1, 0.5}) {
        MyDomain model;
        Oscillator oscillator(model, m, F);
        NonLinearNewmarkControl control;
        const double dt = omega_dt / omega;
        const int steps = static_cast<int>(4.0 * M_PI / omega_dt);  // two periods
        step_load(control, dt, steps);
        const std::vector<double> u = run_steps(control, model, oscillator);
        ASSERT_EQ(u.size(), static_cast<std::size_t>(steps));

        const double w = 2.0 / dt * std::atan(omega_dt / 2.0);
        for (int n = 1; n <= steps; ++n) {
            const double t = n * dt;
            const double exact = us * (1.0 - std::cos(w * dt / 2) * std::cos(w * (t - dt / 2)));
            ASSERT_NEAR(u[n - 1], exact, 1e-12 * us) << omega_dt << " step " << n;
            // Against the continuous solution: the delay, the period and the
            // amplitude factor bound the difference.
            const double bound = us * (omega_dt / 2 + omega * t * omega_dt * omega_dt / 12 +
                                       omega_dt * omega_dt / 8) * 1.01;
            ASSERT_NEAR(u[n - 1], closed_form(us, omega, 0.0, t), bound) << omega_dt << " " << n;
        }
        const double t_end = steps * dt;
        ASSERT_EQ(control.get_velocity().size(), 1u);
        EXPECT_NEAR(control.get_velocity()(1),
                    us * omega * std::cos(w * dt / 2) * std::sin(w * (t_end - dt / 2)),
                    1e-10 * us * omega);
        // A linear system converges in the first iteration of every step.
        EXPECT_EQ(control.get_iteration(), 1);
        EXPECT_NEAR(control.get_time(), t_end, 1e-9 * t_end);
    }
}

TEST(NewmarkDynamics, EnergyOfALinearChainIsConservedByAverageAcceleration)
{
    // Node 1 held, nodes 2 and 3 at x = 1 and 2 with point masses, bars with their
    // own consistent mass; the step load F acts on node 3. With the load constant
    // from the first step on, T + V - F u3 stays what it was after step 1 when
    // gamma = 1/2, and decreases step by step when gamma > 1/2 adds numerical
    // damping.
    const double E = 1.0e5, A = 0.01, density = 500.0, F = 10.0;
    struct Case {
        double beta, gamma;
        bool conserves;
    };
    for (const Case& c : {Case{0.25, 0.5, true}, Case{0.3025, 0.6, false}}) {
        MyDomain model;
        Elastic_type* material = new Elastic_type(1);
        material->set_young(E);
        material->set_poisson(0.0);
        material->set_density(density);
        model.materials.push_back(material);
        KelVane::Geometry* geometry = new KelVane::Geometry(1);
        geometry->set_crosse(A);
        model.geometries.push_back(geometry);
        KelVane::Mass_type* point_mass = new KelVane::Mass_type(2, 3.0);
        model.materials.push_back(point_mass);
        MyNode* nodes[3];
        for (int i = 0; i < 3; ++i) {
            nodes[i] = add_node(model, i + 1, i, 0.0);
            if (i == 0) fix_xy(nodes[i]);
            else nodes[i]->add_dof(KelVane::fixed_status, KelVane::displacement_type, y_axis);
        }
        std::vector<Truss*> bars;
        for (int i = 0; i < 2; ++i) {
            bars.push_back(new Truss(i + 1, new KelVane::Node*[2]{nodes[i], nodes[i + 1]},
                                     material, geometry));
            model.add_element(bars.back());
            model.add_element(
                new Mass2D(i + 3, new KelVane::Node*[1]{nodes[i + 1]}, point_mass, nullptr));
        }
        add_x_load(model, nodes[2], F);

        NonLinearNewmarkControl control;
        control.set_parameters(c.beta, c.gamma);
        step_load(control, 2e-3, 300);
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);
        // The bars' consistent mass couples the two free dofs.
        const KelVane::SparseSysMat& M = *control.get_mass();
        // Node 2 (free dof 1) lies between the bars, node 3 (free dof 2) ends one.
        EXPECT_NEAR(M[0](0), 3.0 + 2.0 * density * A / 3.0, 1e-12);
        EXPECT_NEAR(M[0](1), density * A / 6.0, 1e-12);
        EXPECT_NEAR(M[1](1), 3.0 + density * A / 3.0, 1e-12);

        std::vector<double> energy;
        double largest_kinetic = 0.0;
        bool more = true;
        while (more) {
            more = control.run(model, listing, result, 1);
            const KelVane::Vector& v = control.get_velocity();
            double potential = 0.0;
            for (const Truss* bar : bars) {
                const double N = A * bar->get_point().get_stress()(1);
                potential += 0.5 * N * N / (E * A);
            }
            const double kinetic = 0.5 * KelVane::dot(v, M * v);
            largest_kinetic = std::max(largest_kinetic, kinetic);
            energy.push_back(kinetic + potential - F * x_of(nodes[2]->displacement()));
        }
        // The motion is not small: the chain's stiffness is EA / 2, the work of the
        // load of order F^2 / (EA / 2).
        EXPECT_GT(largest_kinetic, 0.2 * F * F / (E * A));
        for (std::size_t n = 1; n < energy.size(); ++n) {
            if (c.conserves)
                ASSERT_NEAR(energy[n], energy.front(), 1e-12 * largest_kinetic) << n;
            else
                ASSERT_LT(energy[n], energy[n - 1]) << n;
        }
    }
}

// Rayleigh damping D = alpha M + beta_R K gives the oscillator the damping ratio
// zeta = alpha / (2 omega) + beta_R omega / 2, and the envelope exp(-zeta omega t).
TEST(NewmarkDynamics, RayleighDampingDecaysAsTheClosedForm)
{
    const double m = 10.0, F = 10.0, omega = 10.0, us = 0.01, dt = 1e-3;
    const int steps = 3000;  // almost five periods
    std::vector<double> undamped;
    {
        MyDomain model;
        Oscillator oscillator(model, m, F);
        NonLinearNewmarkControl control;
        step_load(control, dt, steps);
        undamped = run_steps(control, model, oscillator);
    }
    struct Case {
        double alpha, beta;
    };
    for (const Case& c : {Case{1.0, 0.0}, Case{0.0, 0.004}, Case{0.6, 0.006}, Case{0.0, 0.0}}) {
        MyDomain model;
        Oscillator oscillator(model, m, F);
        NonLinearNewmarkControl control;
        control.set_Rayleigh(c.alpha, c.beta);
        step_load(control, dt, steps);
        const std::vector<double> u = run_steps(control, model, oscillator);
        ASSERT_NE(control.get_damping_matrix(), nullptr);
        const double zeta = c.alpha / (2.0 * omega) + c.beta * omega / 2.0;
        if (zeta == 0.0) {
            // Damping flagged with both coefficients 0: exactly the undamped run.
            EXPECT_EQ(u, undamped);
            continue;
        }
        // Half a step of delay as in the undamped case, and (omega dt)^2 terms; the
        // envelope has decayed to exp(-zeta omega t) = 0.17 to 0.55 at the end.
        for (int n = 1; n <= steps; ++n)
            ASSERT_NEAR(u[n - 1], closed_form(us, omega, zeta, n * dt), 0.6 * us * omega * dt)
                << c.alpha << " " << c.beta << " step " << n;
    }
}

// For any beta and gamma, every step of a linear damped oscillator satisfies the
// Newmark relations
//   u1 = u0 + dt v0 + dt^2 ((1/2 - beta) a0 + beta a1),  v1 = v0 + dt ((1 - gamma) a0 + gamma a1)
// and the equation of motion m a + c v + k u = F at its end, with c = alpha m +
// beta_R k; the predictor is then exact, so one iteration suffices.
TEST(NewmarkDynamics, NewmarkRelationsAndEquilibriumHoldEveryStep)
{
    const double m = 10.0, F = 10.0, k = 1000.0, dt = 5e-3, alpha = 0.6, beta_R = 0.006;
    const double c = alpha * m + beta_R * k;
    struct Case {
        double beta, gamma;
    };
    for (const Case& p : {Case{0.25, 0.5}, Case{0.3025, 0.6}, Case{1.0 / 6.0, 0.5}}) {
        MyDomain model;
        Oscillator oscillator(model, m, F);
        NonLinearNewmarkControl control;
        control.set_parameters(p.beta, p.gamma);
        control.set_Rayleigh(alpha, beta_R);
        control.set_tolerance(1e-9);
        step_load(control, dt, 200);
        std::ostringstream listing, result;
        CaptureStdout out;
        control.init(model, listing);
        double u0 = 0.0, v0 = 0.0, a0 = 0.0;
        bool more = true;
        for (int n = 1; more; ++n) {
            more = control.run(model, listing, result, 1);
            const double u1 = oscillator.u();
            const double v1 = control.get_velocity()(1);
            const double a1 = control.get_acceleration()(1);
            ASSERT_EQ(control.get_iteration(), 1) << p.gamma << " step " << n;
            ASSERT_NEAR(u1, u0 + dt * v0 + dt * dt * ((0.5 - p.beta) * a0 + p.beta * a1), 1e-15)
                << p.gamma << " step " << n;
            ASSERT_NEAR(v1, v0 + dt * ((1.0 - p.gamma) * a0 + p.gamma * a1), 1e-12)
                << p.gamma << " step " << n;
            ASSERT_NEAR(m * a1 + c * v1 + k * u1, F, 1e-9 * F) << p.gamma << " step " << n;
            u0 = u1;
            v0 = v1;
            a0 = a1;
        }
        EXPECT_GT(u0, 0.5 * F / k);
    }
}

TEST(NewmarkDynamics, ModelAtRestStaysAtRest)
{
    MyDomain model;
    Oscillator oscillator(model, 10.0, 0.0);
    NonLinearNewmarkControl control;
    control.set_Rayleigh(1.0, 0.01);
    step_load(control, 1e-2, 5);
    const std::vector<double> u = run_steps(control, model, oscillator);
    EXPECT_EQ(u, std::vector<double>(5, 0.0));
    EXPECT_EQ(control.get_load_norm(), 0.0);
    EXPECT_EQ(control.get_iteration(), 1);
    EXPECT_EQ(control.get_velocity()(1), 0.0);
}

TEST(NewmarkDynamics, InitNeedsAPositiveTimestepAndBeta)
{
    for (int which = 0; which < 3; ++which) {
        MyDomain model;
        Oscillator oscillator(model, 10.0, 10.0);
        NonLinearNewmarkControl control;
        control.set_timestep(which == 0 ? 0.0 : which == 1 ? -1e-3 : 1e-3);
        if (which == 2) control.set_parameters(0.0, 0.5);
        std::ostringstream listing;
        try {
            control.init(model, listing);
            ADD_FAILURE() << which;
        } catch (const KelVane::kelvane_error& error) {
            EXPECT_STREQ(error.what(), which == 2 ? "Newmark analysis needs a positive beta"
                                                  : "Newmark analysis needs a positive timestep");
        }
    }
}

TEST(NewmarkDynamics, YieldsOnlyWhenTheEffectiveStiffnessIsReformed)
{
    // A bar of the nonlinear elastic material needs several iterations a step.
    for (int method : {1, 2}) {
        MyDomain model;
        Oscillator oscillator(model, 10.0, 2.0e5, 1.0e8, 0.01, 0.0, true);
        NonLinearNewmarkControl control;
        control.set_method(method);
        control.set_tolerance(1e-10);
        control.set_maxiter(50);
        step_load(control, 1e-2, 3);
        std::ostringstream listing, result;
        CaptureStdout out;
        RecordBar ui;
        control.init(model, listing);
        int iterations = 0, reforms = 0;
        bool more = true;
        while (more) {
            more = control.run(model, listing, result, 1);
            iterations += control.get_iteration();
            reforms += control.get_iteration() - 1;
            EXPECT_LE(control.get_unbalance_norm(), 1e-10 * control.get_load_norm());
        }
        EXPECT_GT(reforms, 2) << method;
        EXPECT_EQ(ui.record.yields, method == 1 ? reforms : 0) << method;
        EXPECT_EQ(static_cast<int>(ui.record.values.size()), iterations) << method;
        if (method == 1) {
            const std::string text = out.text();
            EXPECT_EQ(text.rfind("increment   1\niteration    1   2", 0), 0u) << text;
            char last[8];
            std::snprintf(last, sizeof last, " %3d\n", control.get_iteration());
            EXPECT_EQ(text.substr(text.size() - 5), last) << text;
        }
    }
}

namespace {

// How the first attempt at the first step fails: by divergence (an internal force
// of 1e20 u leaves a ratio far above 1e10) or by not meeting the tolerance within
// maxiter 2 (an extra force of 1 N, then 2 N, on the states of the attempt, which
// leaves an unbalance of 1 N after the second iteration).
struct FailedStep {
    const char* message;
    LawSpring::Law law;
};

const FailedStep failed_steps[] = {
    {"divergence occured",
     [](double u, int updates) { return updates == 1 ? 1e20 * u : 500.0 * u; }},
    {"solution not converged",
     [](double u, int updates) { return updates <= 2 ? 500.0 * u + updates : 500.0 * u; }},
};

// The oscillator with a spring of 500 N/m beside its bar whose internal force
// follows `law`, under the step load, Newmark with maxiter 2.
struct SpringedOscillator {
    SpringedOscillator(const LawSpring::Law& law, double dt, double size, int steps)
        : oscillator(model, 10.0, 10.0)
    {
        spring = new LawSpring(oscillator.end, 500.0, law);
        model.add_element(spring);
        control.set_maxiter(2);
        control.set_tolerance(1e-8);
        control.set_timestep(dt);
        control.add_load_block(1, size, steps);
    }

    MyDomain model;
    Oscillator oscillator;
    LawSpring* spring;
    NonLinearNewmarkControl control;
};

}  // namespace

// A step that diverges or does not converge is taken back whole: load increment,
// node increments and motion are those of the step's start. Without resizes the
// increment is aborted; with one, the retry from the start and the sub-step that
// completes it reach the state of a run given half the step from the start.
TEST(NewmarkDynamics, FailedStepIsTakenBackAndRetriedFromItsStart)
{
    const double dt = 1e-2;
    for (const FailedStep& failure : failed_steps) {
        SpringedOscillator aborted(failure.law, dt, 1.0, 1);
        std::ostringstream listing, result;
        CaptureStdout out;
        aborted.control.init(aborted.model, listing);
        try {
            aborted.control.run(aborted.model, listing, result, 1);
            ADD_FAILURE() << failure.message << ": step accepted";
        } catch (const KelVane::kelvane_error& error) {
            EXPECT_STREQ(error.what(), "aborted increment") << failure.message;
        }
        EXPECT_NE(out.text().find(std::string("\nERROR: ") + failure.message + "\n"),
                  std::string::npos)
            << failure.message;
        EXPECT_EQ(aborted.oscillator.load_set->get_factor(), 0.0) << failure.message;
        EXPECT_EQ(aborted.oscillator.u(), 0.0) << failure.message;
        EXPECT_EQ(x_of(aborted.oscillator.end->displacement_increment()), 0.0) << failure.message;
        EXPECT_EQ(aborted.spring->force, 0.0) << failure.message;
        EXPECT_EQ(aborted.control.get_velocity()(1), 0.0) << failure.message;
        EXPECT_EQ(aborted.control.get_acceleration()(1), 0.0) << failure.message;

        SpringedOscillator resized(failure.law, dt, 1.0, 1);
        resized.control.set_maxresize(1);
        SpringedOscillator halved([](double u, int) { return 500.0 * u; }, dt / 2, 0.5, 2);
        resized.control.init(resized.model, listing);
        halved.control.init(halved.model, listing);
        EXPECT_FALSE(resized.control.run(resized.model, listing, result, 1)) << failure.message;
        EXPECT_FALSE(halved.control.run(halved.model, listing, result, -1)) << failure.message;
        EXPECT_NE(out.text().find(std::string("Resized because ") + failure.message +
                                  ", factor 0.5\n"),
                  std::string::npos)
            << failure.message;
        EXPECT_EQ(resized.control.get_timestep(), dt) << failure.message;
        EXPECT_DOUBLE_EQ(resized.control.get_time(), halved.control.get_time())
            << failure.message;
        EXPECT_EQ(resized.oscillator.load_set->get_factor(), 1.0) << failure.message;
        EXPECT_GT(halved.oscillator.u(), 0.0) << failure.message;
        EXPECT_DOUBLE_EQ(resized.oscillator.u(), halved.oscillator.u()) << failure.message;
        EXPECT_DOUBLE_EQ(resized.control.get_velocity()(1), halved.control.get_velocity()(1))
            << failure.message;
        EXPECT_DOUBLE_EQ(resized.control.get_acceleration()(1),
                         halved.control.get_acceleration()(1))
            << failure.message;
    }
}

// The oscillator's end also carries the mass of a bar across it (add_crossing_bar):
// average acceleration follows the step response above with the mass m + m_bar/3
// of the consistent mass, central differences the one below with m + m_bar/2 of
// the lumped mass.
TEST(NewmarkDynamics, ABarsMassMovesWithItsNodeAcrossTheBar)
{
    const double m = 10.0, m_bar = 30.0, F = 10.0, k = 1000.0, us = F / k;
    for (const bool central : {false, true}) {
        const double omega = std::sqrt(k / (m + (central ? m_bar / 2.0 : m_bar / 3.0)));
        const double dt = 0.5 / omega;
        const int steps = 40;
        MyDomain model;
        Oscillator oscillator(model, m, F);
        add_crossing_bar(model, oscillator, m_bar);
        NonLinearNewmarkControl newmark;
        ExplicitControl central_differences;
        KelVane::IncrementalControl<MyDomain>& control =
            central ? static_cast<KelVane::IncrementalControl<MyDomain>&>(central_differences)
                    : newmark;
        step_load(control, dt, steps);
        const std::vector<double> u = run_steps(control, model, oscillator);
        ASSERT_EQ(u.size(), static_cast<std::size_t>(steps));
        const double w = central ? std::acos(1.0 - 0.125) / dt : 2.0 / dt * std::atan(0.25);
        for (int n = 1; n <= steps; ++n) {
            const double t = n * dt;
            const double exact =
                central ? us * (1.0 - std::cos(w * t))
                        : us * (1.0 - std::cos(w * dt / 2) * std::cos(w * (t - dt / 2)));
            ASSERT_NEAR(u[n - 1], exact, 1e-10 * us) << central << " step " << n;
        }
    }
}

// Central differences started from rest (the central velocity (u(1) - u(-1)) / 2 dt
// is zero, so u(-1) = u(1) and the first step is dt^2 F / 2M) give the step
// response u_n = u_s (1 - cos(w t_n)) with cos(w dt) = 1 - (omega dt)^2 / 2,
// stable while omega dt < 2: it peaks at 2 u_s, as the exact one does, at every
// stable step. The bar's own mass counts with half of it (lumped).
TEST(ExplicitDynamics, CentralDifferencesOnTheOscillatorWithLumpedMass)
{
    const double m = 10.0, F = 10.0, k = 1000.0, density = 3000.0, A = 0.01;
    const double lumped = m + density * A / 2.0;  // 25; consistent would be 20
    const double omega = std::sqrt(k / lumped), us = F / k;
    for (double omega_dt : {0.01, 0.5, 1.5, 1.9}) {
        MyDomain model;
        Oscillator oscillator(model, m, F, 1.0e5, A, density);
        ExplicitControl control;
        const double dt = omega_dt / omega;
        const int steps = 250;
        step_load(control, dt, steps);
        const std::vector<double> u = run_steps(control, model, oscillator);
        EXPECT_NEAR(u[0], F * dt * dt / (2.0 * lumped), 1e-12 * us) << omega_dt;
        const double w = std::acos(1.0 - omega_dt * omega_dt / 2.0) / dt;
        for (int n = 1; n <= steps; ++n) {
            const double t = n * dt;
            const double exact = us * (1.0 - std::cos(w * t));
            ASSERT_NEAR(u[n - 1], exact, 1e-10 * us) << omega_dt << " step " << n;
        }
        const double peak = *std::max_element(u.begin(), u.end());
        EXPECT_LE(peak, 2.0 * us * (1.0 + 1e-10)) << omega_dt;
        // 250 steps reach the crest of the first swing, or come within 1e-3 of it.
        if (w * steps * dt > std::acos(-1.0)) {
            EXPECT_GT(peak, 1.999 * us) << omega_dt;
        }
        if (omega_dt == 0.01) {
            // Close to the continuous solution for a small step.
            for (int n = 1; n <= steps; ++n)
                ASSERT_NEAR(u[n - 1], closed_form(us, omega, 0.0, n * dt), 1e-4 * us)
                    << "step " << n;
        }
        EXPECT_NEAR(control.get_previous_increment()(1), u[steps - 1] - u[steps - 2], 1e-15);
    }

    // Beyond the critical step 2 / omega the response grows without bound: the
    // analysis stops once the motion holds far more energy than the load gave it.
    MyDomain model;
    Oscillator oscillator(model, m, F, 1.0e5, A, density);
    ExplicitControl control;
    step_load(control, 2.2 / omega, 100);
    try {
        run_steps(control, model, oscillator);
        ADD_FAILURE() << "an unstable step ran to its end";
    } catch (const KelVane::kelvane_error& error) {
        EXPECT_NE(std::string(error.what()).find("is above the stability limit"), std::string::npos)
            << error.what();
    }
    EXPECT_LT(control.get_increment_number(), 100);
}

// At rest the damping force vanishes with the velocity: the first step is
// dt^2 F / 2m with damping as without, and the damped response follows the
// closed form to the method's second order in omega dt.
TEST(ExplicitDynamics, MassProportionalDampingDecaysAsTheClosedForm)
{
    const double m = 10.0, F = 10.0, omega = 10.0, us = 0.01, dt = 1e-3;
    for (double alpha : {0.0, 1.0, 2.0}) {
        MyDomain model;
        Oscillator oscillator(model, m, F);
        ExplicitControl control;
        control.set_Rayleigh(alpha, 0.0);
        step_load(control, dt, 2000);
        const std::vector<double> u = run_steps(control, model, oscillator);
        const double zeta = alpha / (2.0 * omega);
        EXPECT_NEAR(u[0], F * dt * dt / (2.0 * m), 1e-12 * us) << alpha;
        for (std::size_t n = 1; n <= u.size(); ++n)
            ASSERT_NEAR(u[n - 1], closed_form(us, omega, zeta, n * dt), 0.02 * us * omega * dt)
                << alpha << " step " << n;
    }
}

TEST(ExplicitDynamics, ReportsEveryHundredthIncrementAndNeverYields)
{
    MyDomain model;
    Oscillator oscillator(model, 10.0, 10.0);
    ExplicitControl control;
    step_load(control, 1e-3, 250);
    std::ostringstream listing, result;
    CaptureStdout out;
    RecordBar ui;
    control.init(model, listing);
    while (control.run(model, listing, result, 1)) {
    }
    EXPECT_EQ(out.text(), "increment    100\nincrement    200\n");
    EXPECT_EQ(ui.record.yields, 0);
    EXPECT_TRUE(ui.record.values.empty());
    // The final increment writes the listing block and nothing else.
    EXPECT_EQ(listing.str().find("increment"), std::string::npos);
    EXPECT_NE(listing.str().find("nodal solution in global coordinates"), std::string::npos);
}

// A missing or non-positive timestep would leave the model at rest for every
// step; init refuses it like the Newmark control does.
TEST(ExplicitDynamics, InitNeedsAPositiveTimestep)
{
    for (double dt : {0.0, -1e-3}) {
        MyDomain model;
        Oscillator oscillator(model, 10.0, 10.0);
        ExplicitControl control;
        step_load(control, dt, 3);
        std::ostringstream listing;
        try {
            control.init(model, listing);
            ADD_FAILURE() << dt;
        } catch (const KelVane::kelvane_error& error) {
            EXPECT_STREQ(error.what(), "explicit analysis needs a positive timestep");
        }
    }
}

TEST(ExplicitDynamics, StiffnessProportionalDampingStopsInit)
{
    for (double beta : {0.01, 0.0}) {
        MyDomain model;
        Oscillator oscillator(model, 10.0, 10.0);
        ExplicitControl control;
        control.set_Rayleigh(0.5, beta);
        step_load(control, 1e-3, 3);
        std::ostringstream listing;
        testing::internal::CaptureStderr();
        bool refused = false;
        try {
            control.init(model, listing);
        } catch (const KelVane::kelvane_error&) {
            refused = true;
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(refused, beta != 0.0);
        if (beta != 0.0) {
            EXPECT_EQ(listing.str(),
                      "In explicit analysis, damping can only be proportional to\n"
                      "the mass matrix, set Rayleigh coefficient Beta to zero\n");
            EXPECT_EQ(errors, "error, see output file\n");
        } else {
            EXPECT_EQ(listing.str(), "");
            EXPECT_NE(control.get_mass(), nullptr);
        }
    }
}

namespace {

// The whole-model tests write their listings into a scratch directory of their own.
class DynamicsFiles : public kv_test::ScratchFiles {};

}  // namespace

TEST_F(DynamicsFiles, ExplicitModelWithStiffnessDampingIsStoppedBeforeAnyStep)
{
    const std::string model = write_model(
        "damped.dat",
        "*title\nexplicit with stiffness damping\n*nodes\n1 0 0 0\n2 1 0 0\n"
        "*material 1\nlinearelastic\nyoung 1e5\n*material 2\nmass 10\n*geometry 1\ncrosse 0.01\n"
        "*elements\ntruss 1 1\n1 1 2\nmass2d 2\n2 2\n*suppress\nux uy 1\nuy 2\n"
        "*loadef\nset 1\nloads\nfx 10 2\n"
        "*nonlinear dynamic\nexplicit\nrayleigh 0.5 0.01\ntimestep 1e-3\nincrements 10\n*end\n");
    CaptureStdout out;
    testing::internal::CaptureStderr();
    const ModelRun run = run_model(model);
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_EQ(run.input_errors, 0);
    EXPECT_TRUE(run.ran);
    EXPECT_FALSE(run.error.empty());
    EXPECT_EQ(run.steps, 0);
    EXPECT_EQ(errors.rfind("error, see output file\nERROR: ", 0), 0u) << errors;
    EXPECT_NE(read_text_file(run.listing_path)
                  .find("\nIn explicit analysis, damping can only be proportional to\n"
                        "the mass matrix, set Rayleigh coefficient Beta to zero\nERROR: "),
              std::string::npos);
}

namespace {

// The oscillator of the example (k = 1000 N/m, m = 10 kg, F = 10 N) in steps of
// 10 ms (omega dt = 0.1); `analysis` is the analysis section.
std::string oscillator_model(const std::string& analysis)
{
    return "*title\noscillator restarted\n*nodes\n1 0 0 0\n2 1 0 0\n"
           "*material 1\nlinearelastic\nyoung 1e5\n*material 2\nmass 10\n"
           "*geometry 1\ncrosse 0.01\n*elements\ntruss 1 1\n1 1 2\nmass2d 2\n2 2\n"
           "*suppress\nux uy 1\nuy 2\n*loadef\nset 1\nloads\nfx 10 2\n" +
           analysis + "*end\n";
}

}  // namespace

// Restarted at increment 16, at full speed, a run ends with the listing of the
// uninterrupted run, byte for byte: the restart file carries the motion after the
// model records. A motion record that is short, of the wrong size, of another
// scheme or not a number is a corrupt file; a file without one (as a static
// analysis writes) starts the motion at rest.
TEST_F(DynamicsFiles, RestartFilesCarryTheMotion)
{
    struct Scheme {
        const char* name;
        const char* method;
        std::vector<std::string> records;  // the motion lines, in order
    };
    const Scheme schemes[] = {
        {"newmark", "newmark 0.25 0.5", {"velocity 1 ", "acceleration 1 "}},
        {"explicit", "explicit", {"previous_increment 1 "}},
    };
    for (const Scheme& scheme : schemes) {
        const std::string name = scheme.name;
        const std::string control =
            std::string("*nonlinear dynamic\n") + scheme.method + "\ntimestep 0.01\n";
        const std::string whole = write_model(
            name + ".dat", oscillator_model(control +
                                            "increment load 1 size 1.0 steps 1\n"
                                            "increment load 1 size 0.0 steps 39\n"
                                            "save step 16\n"));
        const auto restarted_from = [&](const std::string& file) {
            return run_model(write_model(name + "_restart.dat",
                                         oscillator_model(control +
                                                          "increment load 1 size 0.0 steps 24\n"
                                                          "restart " + file + "\n")));
        };
        CaptureStdout out;
        kv_test::CerrCapture errors;  // the front end's lines on the damaged files
        const ModelRun first = run_model(whole);
        ASSERT_EQ(first.error, "") << name;
        const std::string saved = read_text_file(scratch + name + "016.bin");
        // The motion lines come after the model records, one line each.
        for (const std::string& record : scheme.records) {
            const std::size_t at = saved.find("\n" + record);
            ASSERT_NE(at, std::string::npos) << name << '\n' << saved;
            EXPECT_GT(at, saved.find("\nL1")) << name;
        }
        EXPECT_EQ(saved.substr(saved.size() - 18), "\nend_restart_file\n") << name;

        const ModelRun second = restarted_from(name + "016.bin");
        ASSERT_EQ(second.error, "") << name;
        EXPECT_EQ(second.steps, 24) << name;
        const std::string first_listing = read_text_file(first.listing_path);
        const std::string second_listing = read_text_file(second.listing_path);
        const std::string final_state = kv_test::final_block(first_listing);
        ASSERT_FALSE(final_state.empty()) << name;
        EXPECT_EQ(kv_test::final_block(second_listing), final_state) << name;
        if (name == "newmark") {
            // Every iteration after the restart as well.
            const std::size_t from = first_listing.find("increment  17\n");
            ASSERT_NE(from, std::string::npos);
            EXPECT_EQ(second_listing.substr(second_listing.find("increment  17\n")),
                      first_listing.substr(from));
        }

        // Damaged motion records.
        std::string motion_lines;
        for (const std::string& record : scheme.records) {
            const std::size_t at = saved.find("\n" + record) + 1;
            motion_lines += saved.substr(at, saved.find('\n', at) + 1 - at);
        }
        const std::string model_part = saved.substr(0, saved.find(motion_lines));
        const std::string end = "end_restart_file\n";
        if (name == "explicit") {
            // Restarted with half the step, the motion goes on as in one run, to the
            // integration error (the runs in one go at 0.01 and 0.005 end at 1.614e-2
            // and 1.634e-2, the exact step response 1.654e-2); so from a file without
            // the step's record, as the files written before it, whose step is its
            // time over its increments. Before, the old step's increment was taken
            // for the new step's: the velocity doubled.
            const std::string files[] = {name + "016.bin", name + "_no_step_016.bin"};
            std::ofstream(scratch + files[1]) << model_part + motion_lines + end;
            const double one_go = kv_test::parse_listing(first_listing).nodal.at(2).at(0);
            for (const std::string& file : files) {
                const ModelRun halved = run_model(write_model(
                    name + "_halved.dat",
                    oscillator_model("*nonlinear dynamic\nexplicit\ntimestep 0.005\n"
                                     "increment load 1 size 0.0 steps 48\nrestart " +
                                     file + "\n")));
                ASSERT_EQ(halved.error, "") << file;
                const double u =
                    kv_test::parse_listing(read_text_file(halved.listing_path)).nodal.at(2).at(0);
                EXPECT_NEAR(u, one_go, 1e-5) << file;
            }
        }
        const std::string other = name == "newmark" ? "previous_increment 1 0\n"
                                                    : "velocity 1 0\nacceleration 1 0\n";
        const std::string first_record = scheme.records[0];
        const std::string bad[] = {
            model_part + first_record + "\n" + end,                       // no value
            model_part + first_record.substr(0, first_record.size() - 2) + "2 0 0\n" +
                motion_lines.substr(motion_lines.find('\n') + 1) + end,  // two values
            model_part + first_record + "nan\n" +
                motion_lines.substr(motion_lines.find('\n') + 1) + end,  // not a number
            model_part + other + end,                                    // another scheme
            model_part + motion_lines.substr(0, motion_lines.find('\n') + 1) +
                (name == "newmark" ? "" : "velocity 1 0\n") + end,        // short or extra
        };
        int n = 0;
        for (const std::string& content : bad) {
            // Named as the file of increment 16, which each holds.
            const std::string file = name + "_bad" + std::to_string(++n) + "_016.bin";
            std::ofstream(scratch + file) << content;
            const ModelRun broken = restarted_from(file);
            // The file of the other scheme says which analysis wrote it.
            const std::string expected =
                n == 4   ? std::string("the restart file holds the state of ") +
                               (name == "newmark" ? "an explicit analysis" : "a Newmark analysis") +
                               ": it can not restart " +
                               (name == "newmark" ? "a Newmark analysis" : "an explicit analysis")
                : name == "explicit" && n == 5 ? "incorrect end of restart file"
                                               : "corrupt restart file";
            EXPECT_EQ(broken.error, expected) << name << ' ' << n << '\n' << content;
            EXPECT_EQ(broken.steps, 0) << name << ' ' << n;
        }
        // The model records alone: at rest where the restart file leaves the model.
        std::ofstream(scratch + name + "_static.bin") << model_part + end;
        const ModelRun at_rest = restarted_from(name + "_static.bin");
        EXPECT_EQ(at_rest.error, "") << name;
        EXPECT_NE(kv_test::final_block(read_text_file(at_rest.listing_path)), final_state)
            << name;
        if (name == "explicit") {
            // Central differences from rest at u16 = u_s (1 - cos 16 w dt), the state
            // of the file: u = u_s - (u_s - u16) cos(n w dt) after n more steps, with
            // cos(w dt) = 1 - (omega dt)^2 / 2: 9.780e-3 (before: 9.383e-3, the
            // first steps of the run and of the restart twice those from rest).
            const double us = 0.01, w_dt = std::acos(1.0 - 0.1 * 0.1 / 2.0);
            const double u16 = us * (1.0 - std::cos(16.0 * w_dt));
            const double u =
                kv_test::parse_listing(read_text_file(at_rest.listing_path)).nodal.at(2).at(0);
            EXPECT_NEAR(u, us - (us - u16) * std::cos(24.0 * w_dt), 1e-6);
        }
    }
}

namespace {

// A unit square of one element of material 1 (E 2e5, nu 0.3, density 1e-9;
// `plastic`: von Mises yielding at 200), its side x = 0 held, under `load`.
std::string square_model(const std::string& element, bool plastic, const std::string& load,
                         const std::string& analysis)
{
    std::string text = "*title\none " + element + "\n*nodes\n";
    if (element == "hex8")
        text += "1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 1\n";
    else
        text += "1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";
    text += std::string("*material 1\n") + (plastic ? "vonmises" : "linearelastic") +
            "\nyoung 2e5\npoisson 0.3\ndensity 1e-9\n" + (plastic ? "nadai 1000 0.2 200\n" : "");
    if (element == "quad4pss") text += "*geometry 1\nthick 1\n";
    text += "*elements\n" + element + (element == "quad4pss" ? " 1 1\n" : " 1\n");
    if (element == "hex8")
        text += "1 1 2 3 4 5 6 7 8\n*suppress\nux 1 4 5 8\nuy 1 2 5 6\nuz 1 2 3 4\n";
    else
        text += "1 1 2 3 4\n*suppress\nux 1 4\nuy 1\n";
    return text + "*loadef\nset 1\n" + load + analysis + "*end\n";
}

// A mesh of n x n elements of a unit square of `element` (quad4pss, quad4psn,
// quad8pss, quad4psstherm, quad4psntherm, or tri3pss, tri3psn, tri3psntherm:
// each square cut along its diagonal from the lower left), or of a unit cube of
// n x n x n hex8, of material 1 (E 2e5, nu 0.3, density 1e-9; thermoelastic with
// lambda 1, capacity 1 and alpha 1e-5 for the thermo-mechanical elements, their
// temperatures free), its side x = 0 held and its side x = 1 pushed in x, in 20
// increments (`plastic`: von Mises yielding at 200, the side x = 1 moved by
// 0.01, and the increments those of `analysis`).
std::string mesh_model(const std::string& element, int n, const std::string& analysis,
                       bool plastic = false)
{
    const bool cube = element == "hex8";
    const bool quadratic = element == "quad8pss";
    // Node numbers of a grid of (m + 1) points along each side.
    const int m = quadratic ? 2 * n : n;
    const auto id = [&](int i, int j, int k) { return 1 + i + (m + 1) * (j + (m + 1) * k); };
    std::string nodes, held, pushed;
    for (int k = 0; k <= (cube ? m : 0); ++k)
        for (int j = 0; j <= m; ++j)
            for (int i = 0; i <= m; ++i) {
                // The middle of a square of eight-node elements is no node.
                if (quadratic && i % 2 == 1 && j % 2 == 1) continue;
                char line[96];
                std::snprintf(line, sizeof line, "%d %.17g %.17g %.17g\n", id(i, j, k),
                              double(i) / m, double(j) / m, double(k) / m);
                nodes += line;
                if (i == 0) held += " " + std::to_string(id(i, j, k));
                if (i == m) pushed += " " + std::to_string(id(i, j, k));
            }
    std::string elements;
    int number = 0;
    const auto add = [&](std::initializer_list<int> corners) {
        elements += std::to_string(++number);
        for (int node : corners) elements += " " + std::to_string(node);
        elements += "\n";
    };
    const int step = quadratic ? 2 : 1;
    for (int k = 0; k < (cube ? n : 1); ++k)
        for (int j = 0; j < m; j += step)
            for (int i = 0; i < m; i += step) {
                if (cube)
                    add({id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k),
                         id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1),
                         id(i, j + 1, k + 1)});
                else if (quadratic)
                    add({id(i, j, 0), id(i + 1, j, 0), id(i + 2, j, 0), id(i + 2, j + 1, 0),
                         id(i + 2, j + 2, 0), id(i + 1, j + 2, 0), id(i, j + 2, 0),
                         id(i, j + 1, 0)});
                else if (element.rfind("tri3", 0) == 0) {
                    add({id(i, j, 0), id(i + 1, j, 0), id(i + 1, j + 1, 0)});
                    add({id(i, j, 0), id(i + 1, j + 1, 0), id(i, j + 1, 0)});
                } else {
                    add({id(i, j, 0), id(i + 1, j, 0), id(i + 1, j + 1, 0), id(i, j + 1, 0)});
                }
            }
    const bool plane_stress = element.find("pss") != std::string::npos;
    const bool thermal = element.find("therm") != std::string::npos;
    return "*title\n" + element + " mesh\n*nodes\n" + nodes + "*material 1\n" +
           (plastic ? "vonmises" : (thermal ? "thermoelastic" : "linearelastic")) +
           "\nyoung 2e5\npoisson 0.3\ndensity 1e-9\n" + (plastic ? "nadai 1000 0.2 200\n" : "") +
           (thermal ? "lambda 1\ncapacity 1\nalpha 1e-5\n" : "") +
           (plane_stress ? "*geometry 1\nthick 1\n" : "") + "*elements\n" + element +
           (plane_stress ? " 1 1\n" : " 1\n") + elements + "*suppress\nux uy" +
           (cube ? " uz" : "") + held + "\n*loadef\nset 1\n" +
           (plastic ? "prescribed\nux 0.01" : "loads\nfx 1") + pushed + "\n*nonlinear dynamic\n" +
           analysis + (plastic ? "" : "increments 20\n") + "*end\n";
}

// A cantilever along x of n beam2d elements of length 0.25 (steel, crosse 0.01,
// iz 8.33e-6; `density` 7800, or 0 with a point mass of 10 at the tip), held at
// node 1 and pushed in y at its tip.
std::string beams_model(int n, bool massless, const std::string& analysis)
{
    std::string nodes, elements;
    for (int i = 0; i <= n; ++i) {
        nodes += std::to_string(i + 1) + " " + std::to_string(0.25 * i) + " 0 0\n";
        if (i > 0)
            elements += std::to_string(i) + " " + std::to_string(i) + " " +
                        std::to_string(i + 1) + "\n";
    }
    const std::string tip = std::to_string(n + 1);
    return "*title\ncantilever\n*nodes\n" + nodes +
           "*material 1\nlinearelastic\nyoung 2e11\ndensity " + (massless ? "0" : "7800") +
           "\n" + (massless ? "*material 2\nmass 10\n" : "") +
           "*geometry 1\ncrosse 0.01\niz 8.33e-6\n*elements\nbeam2d 1 1\n" + elements +
           (massless ? "mass2d 2\n" + std::to_string(n + 1) + " " + tip + "\n" : "") +
           "*suppress\nux uy rz 1\n*loadef\nset 1\nloads\nfy 1000 " + tip +
           "\n*nonlinear dynamic\n" + analysis + "increments 20\n*end\n";
}

// The stability limit of a model from the largest eigenvalue of its assembled
// stiffness and mass, solved densely (the motions without mass condensed out):
// 2 / omega with the lumped masses, 1 / (omega sqrt(gamma / 2 - beta)) with the
// consistent ones for Newmark 0.01 0.5.
double dense_limit(const std::string& path, bool lumped)
{
    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    EXPECT_EQ(read_model(path, model, control), 0) << path;
    model->setup_dofs();
    const std::uint32_t n = model->n_free;
    KelVane::SparseSysMat K(n, true);
    KelVane::SparseSysMat M(n, true);
    KelVane::Vector rhs(n, 0.0);
    model->assemble_tangent(K, rhs);
    model->assemble_mass(M, lumped);
    KelVane::Vector lambda;
    KelVane::Matrix X;
    KelVane::dense_eigenpairs(K, M, lambda, X);
    double largest = 0.0;
    for (unsigned i = 1; i <= lambda.size(); ++i) largest = std::max(largest, lambda(i));
    delete control;
    delete model;
    const double omega = std::sqrt(largest);
    return lumped ? 2.0 / omega : 1.0 / (omega * std::sqrt(0.24));
}

}  // namespace

// A time step beyond the stability limit (explicit; Newmark with beta < gamma / 2)
// is refused before the first step, naming the step and the model's limit: the
// largest frequency of the elements, each with its share of the mass, bounds the
// model's from above and passes a step below it at once; a step beyond it is
// judged by the model's own largest frequency. Before, a yielding
// material hid the growth from the energy guard (plane stress listed Sxx -358
// under a stretch), and a conditionally stable Newmark run listed 1.2e122. A step
// at the limit (the steel bar at 0.99 of L / c, the oscillator at omega dt 2 with
// central differences) and unconditionally stable Newmark parameters run.
TEST_F(DynamicsFiles, TimestepsBeyondTheStabilityLimitAreRefusedBeforeTheFirstStep)
{
    std::string bar_nodes, bar_elements, bar_held;
    for (int i = 0; i <= 10; ++i) {
        bar_nodes += std::to_string(i + 1) + " " + std::to_string(0.1 * i) + " 0 0\n";
        if (i > 0) {
            bar_elements += std::to_string(i) + " " + std::to_string(i) + " " +
                            std::to_string(i + 1) + "\n";
            bar_held += " " + std::to_string(i + 1);
        }
    }
    const auto steel_bar = [&](const std::string& timestep) {
        return "*title\nsteel bar\n*nodes\n" + bar_nodes +
               "*material 1\nlinearelastic\nyoung 2e11\ndensity 7800\n*geometry 1\n"
               "crosse 0.01\n*elements\ntruss 1 1\n" + bar_elements + "*suppress\nux uy 1\nuy" +
               bar_held + "\n*loadef\nset 1\nloads\nfx 1000 11\n*nonlinear dynamic\nexplicit\n"
               "timestep " + timestep + "\nincrement load 1 size 1 steps 1\n"
               "increment load 1 size 0 steps 1999\n*end\n";
    };
    const auto thermal_quad = [](const std::string& timestep) {
        return "*title\none thermo-elastic quadrilateral\n*nodes\n1 0.0 0.0 0.0\n2 1.0 0.0 0.0\n"
               "3 1.0 1.0 0.0\n4 0.0 1.0 0.0\n*material 1\nthermoelastic\nyoung 1000.0\n"
               "poisson 0.25\ndensity 1.0\nlambda 1.0\ncapacity 1.0\nalpha 1e-5\n*elements\n"
               "quad4psntherm 1\n1 1 2 3 4\n*suppress\nux uy 1 4\n*loadef\nset 1\nloads\n"
               "fy 1.0 3\n*nonlinear dynamic\nnewmark 0.01 0.5\ntimestep " +
               timestep +
               "\nincrement load 1 size 1 steps 1\nincrement load 1 size 0 steps 199\n*end\n";
    };
    const std::string pulled = "prescribed\nux 0.01 2 3\n";
    const std::string explicit_steps =
        "*nonlinear dynamic\nexplicit\ntimestep 1e-7\nincrements 2000\n";
    const std::string sudden =
        "increment load 1 size 1 steps 1\nincrement load 1 size 0 steps 99\n";
    struct Case {
        std::string what;
        std::string text;
        std::string refusal;  // the start of the message; empty: the model runs
        double limit = 0.0;   // when not 0: the limit the message names, to its digits
        std::string listed = {};  // when not empty: a line the listing holds
    };
    std::vector<Case> cases = {
        // omega = sqrt(k / m) = sqrt(2e9 / 1): limit 2 / omega = 4.47214e-5.
        {"stiff bar, point mass, timestep 1",
         "*title\nstiff bar, point mass, timestep 1\n*nodes\n1 0 0 0\n2 1 0 0\n"
         "*material 1\nlinearelastic\nyoung 2e11\n*material 2\nmass 1\n*geometry 1\n"
         "crosse 0.01\n*elements\ntruss 1 1\n1 1 2\nmass2d 2\n2 2\n*suppress\nux uy 1\n"
         "uy 2\n*loadef\nset 1\nloads\nfx 1000 2\n"
         "*nonlinear dynamic\nexplicit\ntimestep 1\nincrements 100\n*end\n",
         "explicit analysis: the timestep 1 is above the stability limit 4.47214e-05 "},
        // L / c = 0.1 / sqrt(2e11 / 7800) = 1.97484e-5.
        // The bar's own limit: L / c / sin(19 pi / 40) with its half mass at the free end.
        {"steel bar at 1.007 times its limit", steel_bar("1.99459e-05"),
         "explicit analysis: the timestep 1.99459e-05 is above the stability limit 1.98095e-05 "},
        {"steel bar at 0.99 times its limit", steel_bar("1.95509e-05"), ""},
        {"plane stress, yielding, 1.35 times the limit",
         square_model("quad4pss", true, pulled, explicit_steps),
         "explicit analysis: the timestep 1e-07 is above the stability limit 7.40049e-08 "},
        {"plane stress, yielding, at 0.999 times the limit",
         square_model("quad4pss", true, pulled,
                      "*nonlinear dynamic\nexplicit\ntimestep 7.393e-8\nincrements 2000\n"),
         ""},
        // Restarted from a yielded state (the first row saves it as unstable1000.bin),
        // the bound took the yielded tangent, softer than the elastic unloading, and
        // let 7.47e-8 pass (limit 7.54764e-08).
        {"plane stress, yielded and saved",
         square_model("quad4pss", true, pulled,
                      "*nonlinear dynamic\nexplicit\ntimestep 5e-8\n"
                      "increment load 1 size 0.001 steps 1000\nsave last\n"),
         ""},
        {"plane stress, restarted yielded at 1.01 times the limit",
         square_model("quad4pss", true, pulled,
                      "*nonlinear dynamic\nexplicit\ntimestep 7.47e-8\nrestart unstable1000.bin\n"
                      "increment load 1 size 0 steps 50\n"),
         "explicit analysis: the timestep 7.47e-08 is above the stability limit 7.40049e-08 "},
        {"plane strain, yielding, 1.49 times the limit",
         square_model("quad4psn", true, pulled, explicit_steps),
         "explicit analysis: the timestep 1e-07 is above the stability limit 6.72157e-08 "},
        {"hexahedron, 1.58 times the limit",
         square_model("hex8", false, "loads\nfx 10 2 3 6 7\n", explicit_steps),
         "explicit analysis: the timestep 1e-07 is above the stability limit 6.32456e-08 "},
        {"cantilever of beams",
         "*title\ncantilever\n*nodes\n1 0 0 0\n2 0.25 0 0\n3 0.5 0 0\n4 0.75 0 0\n5 1 0 0\n"
         "*material 1\nlinearelastic\nyoung 2e11\ndensity 7800\n*geometry 1\ncrosse 0.01\n"
         "iz 8.33e-6\n*elements\nbeam2d 1 1\n1 1 2\n2 2 3\n3 3 4\n4 4 5\n*suppress\nux uy rz 1\n"
         "*loadef\nset 1\nloads\nfy 1000 5\n*nonlinear dynamic\nexplicit\ntimestep 1e-4\n" +
             sudden + "*end\n",
         "explicit analysis: the timestep 0.0001 is above the stability limit 3.94355e-05 "},
        // The oscillator (omega 10): central differences at omega dt = 2 exactly.
        {"oscillator, explicit at its limit",
         oscillator_model("*nonlinear dynamic\nexplicit\ntimestep 0.2\n" + sudden), ""},
        // 1 / (omega sqrt(gamma / 2 - beta)) = 1 / (10 sqrt(0.24)) = 0.204124.
        {"oscillator, Newmark beta 0.01",
         oscillator_model("*nonlinear dynamic\nnewmark 0.01 0.5\ntimestep 0.5\n" + sudden),
         "Newmark analysis: with beta 0.01 below gamma / 2 (gamma 0.5) the timestep 0.5 is "
         "above the stability limit 0.204124 "},
        {"oscillator, Newmark beta 0.01 within its limit",
         oscillator_model("*nonlinear dynamic\nnewmark 0.01 0.5\ntimestep 0.2\n" + sudden), ""},
        {"oscillator, Newmark average acceleration",
         oscillator_model("*nonlinear dynamic\nnewmark 0.25 0.5\ntimestep 0.5\n" + sudden), ""},
        // With temperatures the motion decides (omega 126.293 with the consistent
        // mass, as without them); the temperatures, without mass, are no motion of
        // infinite frequency. Before, a model that conducts heat was not checked:
        // at 1.02 of the limit node 3 listed (1.577e+30, 1.623e+31).
        {"thermo-elastic quadrilateral, Newmark beta 0.01 at 1.02 times its limit",
         thermal_quad("0.01649"),
         "Newmark analysis: with beta 0.01 below gamma / 2 (gamma 0.5) the timestep 0.01649 is "
         "above the stability limit ",
         0.0161628},
        {"thermo-elastic quadrilateral, Newmark beta 0.01 at 0.97 times its limit",
         thermal_quad("0.01568"), "", 0.0, "      3  -2.490e-03   8.634e-03   0.000e+00"},
    };
    // Meshes at 0.97 and 1.02 times the limit of the model itself (its largest
    // frequency), with central differences and with Newmark 0.01 0.5. The bound
    // of the elements lies below it, and refused them all: 0.87 of it for quad4pss
    // 2 x 2, 0.84 to 0.90 for the 10 x 10 meshes, 0.78 for the hexahedra, 0.65
    // for Newmark on the beams. The single quad8pss, the triangles (the consistent
    // mass of an element of fewer points than nodes has motions it does not see)
    // and the beams without mass beside a tip mass had no bound at all, and ran
    // any step: the plate listed 1.989e+10 at 0.001 s.
    // `limit_text`, when given, is the model whose limit is taken.
    using ModelText = std::function<std::string(const std::string&)>;
    const auto at_limit = [&](const std::string& what, const std::string& model, bool newmark,
                              const ModelText& text, std::initializer_list<double> factors,
                              const std::string& always_refused = "",
                              const ModelText& limit_text = nullptr) {
        const std::string method =
            newmark ? std::string("newmark 0.01 0.5\n") : std::string("explicit\n");
        const double limit = dense_limit(
            write_model("limit.dat", (limit_text ? limit_text : text)(method + "timestep 1\n")),
            !newmark);
        for (double factor : factors) {
            char dt[32];
            std::snprintf(dt, sizeof dt, "%.6g", factor * limit);
            Case c{what + (newmark ? ", Newmark" : ", explicit") + " at " +
                       std::to_string(factor) + " times " + model,
                   text(method + "timestep " + dt + "\n"), "", 0.0};
            if (!always_refused.empty()) {
                c.refusal = always_refused;
            } else if (factor > 1.0) {
                c.refusal = (newmark ? std::string("Newmark analysis: with beta 0.01 below gamma / "
                                                   "2 (gamma 0.5) the timestep ")
                                     : std::string("explicit analysis: the timestep ")) +
                            dt + " is above the stability limit ";
                c.limit = limit;
            }
            cases.push_back(c);
        }
    };
    // A motion with stiffness but no mass (the plate's mass of four points over
    // eight nodes, the beams') has no finite frequency. With beta below gamma / 2
    // its acceleration grows by a factor of 98 every step at any step: the plate
    // at 0.97 of the limit of its motions with mass stopped at increment 8, the
    // beams at 1e-5 s (1 / 100 of it) went to NaN at increment 164.
    const std::string without_mass =
        "Newmark analysis: with beta 0.01 below gamma / 2 (gamma 0.5) no timestep is stable: "
        "the model has a motion with stiffness but no mass ";
    for (bool newmark : {false, true}) {
        const auto mesh = [&](const std::string& element, int n) {
            return [=](const std::string& analysis) { return mesh_model(element, n, analysis); };
        };
        at_limit("quad4pss 2 x 2", "its limit", newmark, mesh("quad4pss", 2), {0.97, 1.02});
        at_limit("quad4pss 4 x 4", "its limit", newmark, mesh("quad4pss", 4), {0.97, 1.02});
        at_limit("quad4pss 10 x 10", "its limit", newmark, mesh("quad4pss", 10), {0.97, 1.02});
        at_limit("quad4psn 10 x 10", "its limit", newmark, mesh("quad4psn", 10), {0.97, 1.02});
        at_limit("tri3pss 10 x 10", "its limit", newmark, mesh("tri3pss", 10), {0.97, 1.02});
        at_limit("hex8 3 x 3 x 3", "its limit", newmark, mesh("hex8", 3), {0.97, 1.02});
        at_limit("one quad8pss", "its limit", newmark, mesh("quad8pss", 1), {0.97, 1.02},
                 newmark ? without_mass : "");
        at_limit("tri3pss 4 x 2 (16 elements)", "its limit", newmark,
                 [](const std::string& analysis) {
                     return mesh_model("tri3pss", 4, analysis);
                 },
                 {0.97, 10.0});
        // With temperatures, the limit of the same mesh without them.
        if (newmark) {
            at_limit("quad4psntherm 4 x 4", "the limit of its quad4psn twin", newmark,
                     mesh("quad4psntherm", 4), {0.97, 1.02}, "", mesh("quad4psn", 4));
            at_limit("quad4psstherm 4 x 4", "the limit of its quad4pss twin", newmark,
                     mesh("quad4psstherm", 4), {0.97, 1.02}, "", mesh("quad4pss", 4));
            at_limit("tri3psntherm 4 x 4", "the limit of its tri3psn twin", newmark,
                     mesh("tri3psntherm", 4), {0.97, 1.02}, "", mesh("tri3psn", 4));
        }
    }
    // Restarted from a yielded state, a step is judged by the model before the
    // file's state is read as well: 0.97 of its elastic limit runs, 1.02 is refused.
    const auto yielded = [](const std::string& analysis) {
        return mesh_model("quad4pss", 2, analysis, true);
    };
    cases.push_back({"quad4pss 2 x 2, yielding, saved",
                     yielded("explicit\ntimestep 5e-9\nincrement load 1 size 0.001 steps 1000\n"
                             "save last\n"),
                     ""});
    at_limit("quad4pss 2 x 2, restarted yielded", "its elastic limit", false,
             [&](const std::string& analysis) {
                 return yielded(analysis + "restart unstable1000.bin\n"
                                           "increment load 1 size 0 steps 50\n");
             },
             {0.97, 1.02});
    const auto beams = [](int n, bool massless) {
        return [=](const std::string& analysis) { return beams_model(n, massless, analysis); };
    };
    at_limit("cantilever of four beams", "its limit", true, beams(4, false), {0.97, 1.02});
    at_limit("cantilever of four beams", "its limit", false, beams(4, false), {0.97, 1.02});
    at_limit("two beams without mass, tip mass", "its limit", true, beams(2, true),
             {0.001, 0.97, 22.0},
             without_mass + "(the degree of freedom ux of node 2), of no finite frequency; give "
                            "the model mass there, or take beta of at least gamma / 2");
    // Under central differences the motions without mass (node 2 carries none at
    // all) have no step at all: the first one stopped with "there are 4 (almost)
    // zero pivots found!".
    cases.push_back({"two beams without mass, tip mass, explicit",
                     beams_model(2, true, "explicit\ntimestep 1e-6\n"),
                     "explicit analysis: the model has a motion with stiffness but no mass (the "
                     "degree of freedom ux of node 2), of no finite frequency, which no explicit "
                     "step can follow; give the model mass there, or analyse it with newmark and "
                     "beta of at least gamma / 2"});
    for (const Case& c : cases) {
        const std::string model = write_model("unstable.dat", c.text);
        CaptureStdout out;
        kv_test::CerrCapture errors;
        const ModelRun run = run_model(model);
        ASSERT_EQ(run.input_errors, 0) << c.what;
        const std::string listing = read_text_file(run.listing_path);
        if (c.refusal.empty()) {
            EXPECT_EQ(run.error, "") << c.what;
            EXPECT_TRUE(run.finished) << c.what;
            if (!c.listed.empty()) {
                EXPECT_NE(listing.find(c.listed), std::string::npos) << c.what << "\n" << listing;
            }
            continue;
        }
        EXPECT_EQ(run.steps, 0) << c.what;
        EXPECT_EQ(run.error.rfind(c.refusal, 0), 0u) << c.what << ": " << run.error;
        if (c.limit > 0.0 && run.error.rfind(c.refusal, 0) == 0) {
            EXPECT_NEAR(std::stod(run.error.substr(c.refusal.size())), c.limit, 1e-5 * c.limit)
                << c.what << ": " << run.error;
        }
        EXPECT_NE(listing.find("ERROR: " + run.error), std::string::npos) << listing;
        EXPECT_EQ(listing.find("nodal solution"), std::string::npos) << listing;
    }
}

// The energy guard stays behind the check at the start: a time step raised
// beyond the limit after init (stiff bar and point mass, limit 4.47e-5) stops the
// motion within a few steps, naming the increment and the step.
TEST(ExplicitDynamics, MotionBeyondTheStabilityLimitStopsTheAnalysis)
{
    MyDomain model;
    Oscillator oscillator(model, 1.0, 1000.0, 2.0e11);
    ExplicitControl control;
    step_load(control, 1.0e-5, 100);
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    control.set_timestep(1.0);
    try {
        control.run(model, listing, result, -1);
        ADD_FAILURE() << "the unstable motion ran to its end";
    } catch (const KelVane::kelvane_error& stop) {
        const std::string message = stop.what();
        EXPECT_LT(control.get_increment_number(), 10);
        EXPECT_EQ(message.rfind("explicit analysis: the motion at increment " +
                                    std::to_string(control.get_increment_number()) + " (time ",
                                0),
                  0u)
            << message;
        EXPECT_NE(message.find("the timestep 1 is above the stability limit"), std::string::npos)
            << message;
    }
}

namespace {

// A block of one quad4pss (E 1000, nu 0, density 1, 1 x 1 x 1), held in y; its
// side x = 0 (nodes 1 and 4) is driven in x by load set 1 (`drive`) in the given
// increments. With `twin`, the side is free and carries point masses of 1e8 that
// the loads push.
std::string block_model(const std::string& drive, bool twin, const std::string& analysis)
{
    return std::string("*title\nblock driven at one side\n*nodes\n1 0 0 0\n2 1 0 0\n3 1 1 0\n"
                       "4 0 1 0\n*material 1\nlinearelastic\nyoung 1000\npoisson 0\ndensity 1\n") +
           (twin ? "*material 2\nmass 1e8\n" : "") +
           "*geometry 1\nthick 1\n*elements\nquad4pss 1 1\n1 1 2 3 4\n" +
           (twin ? "mass2d 2\n2 1\n3 4\n" : "") + "*suppress\nuy 1 2 3 4\n*loadef\nset 1\n" +
           drive + "*nonlinear dynamic\n" + analysis + "*post\nlast\nstress\n*end\n";
}

// The Sxx of every point of element 1 in the last listing block.
std::vector<double> block_sxx(const std::string& listing_path)
{
    const kv_test::Listing listing = kv_test::parse_listing(read_text_file(listing_path));
    std::vector<double> sxx;
    const auto rows = listing.element_rows.find(1);
    if (rows == listing.element_rows.end()) return sxx;
    for (const std::vector<double>& row : rows->second) sxx.push_back(row.at(1));
    return sxx;
}

}  // namespace

// A support that moves drives the model through the mass and damping as well as
// the stiffness: Newmark carries the forces of the prescribed motion's
// acceleration and velocity (as its own update gives them from the prescribed
// displacements) into the free equations. A side moved at constant speed 0.1 with
// stiffness damping moves the block rigidly, free of stress (before: Sxx -1.000
// everywhere, the damping of the free nodes' velocity alone). A side moved as
// u = t^2 gives the stresses of the same block whose side is free and pushed by
// heavy masses along the same path (before: Sxx -3.938e-3 against -5.907e-3 of
// the twin; with mass and stiffness damping -5.329 against -1.997); so does the
// explicit method, whose lumped mass couples nothing. Restarted half way, the
// side's motion goes on from the restart file.
TEST_F(DynamicsFiles, MovingSupportsDriveTheModelThroughItsMassAndDamping)
{
    const double dt = 0.01;
    const int steps = 200;
    std::string accelerated;  // u = t^2 at the end of every step
    for (int k = 1; k <= steps; ++k)
        accelerated += "increment load 1 size " + std::to_string(dt * dt * (2 * k - 1)) +
                       " steps 1\n";
    // Sizes of the load increments that push masses of 1e8 along u = t^2 (Newmark:
    // the force at each step's end is the mass times the acceleration, plus alpha
    // times the velocity, that its update gives for that path).
    const auto pushed = [&](double beta, double gamma, double alpha) {
        double u = 0.0, v = 0.0, a = 0.0, force = 0.0;
        std::string blocks;
        char text[64];
        for (int k = 1; k <= steps; ++k) {
            const double u1 = dt * dt * k * k;
            const double a1 = (u1 - u - dt * v) / (beta * dt * dt) - (0.5 / beta - 1.0) * a;
            const double v1 = v + dt * ((1.0 - gamma) * a + gamma * a1);
            std::snprintf(text, sizeof text, "%.17g", a1 + alpha * v1 - force);
            blocks += std::string("increment load 1 size ") + text + " steps 1\n";
            force = a1 + alpha * v1;
            u = u1;
            v = v1;
            a = a1;
        }
        return blocks;
    };
    const std::string side = "prescribed\nux 1 1 4\n";
    const std::string masses = "loads\nfx 1e8 1 4\n";
    const std::string newmark = "newmark 0.25 0.5\ntimestep 0.01\n";
    const std::string damped = "newmark 0.3025 0.6\nrayleigh 0.5 0.001\ntimestep 0.01\n";
    const std::string central = "explicit\ntimestep 0.01\n";
    const struct {
        const char* what;
        std::string model;
        std::string twin;  // empty: Sxx 0 everywhere
    } cases[] = {
        {"constant speed, stiffness damping",
         block_model("prescribed\nux 0.2 1 4\n", false,
                     newmark + "rayleigh 0.0 0.01\nincrements 200\n"),
         ""},
        {"accelerated side", block_model(side, false, newmark + accelerated),
         block_model(masses, true, newmark + pushed(0.25, 0.5, 0.0))},
        {"accelerated side, damped", block_model(side, false, damped + accelerated),
         block_model(masses, true, damped + pushed(0.3025, 0.6, 0.5))},
        // Central differences from rest: the force F moves the masses by
        // dt^2 F / 2m in the first step and by dt^2 F / m more in every step than
        // in the step before, so F = 2m from the start gives u = t^2 (m u'' = 2 m).
        {"accelerated side, explicit", block_model(side, false, central + accelerated),
         block_model(masses, true,
                     central + "increment load 1 size 2 steps 1\nincrement load 1 size 0 "
                               "steps 199\n")},
    };
    for (const auto& c : cases) {
        CaptureStdout out;
        const ModelRun run = run_model(write_model("driven.dat", c.model));
        ASSERT_EQ(run.error, "") << c.what;
        const std::vector<double> sxx = block_sxx(run.listing_path);
        ASSERT_EQ(sxx.size(), 4u) << c.what;
        std::vector<double> expected(4, 0.0);
        if (!c.twin.empty()) {
            const ModelRun twin = run_model(write_model("twin.dat", c.twin));
            ASSERT_EQ(twin.error, "") << c.what;
            expected = block_sxx(twin.listing_path);
            ASSERT_EQ(expected.size(), 4u) << c.what;
        }
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(sxx[i], expected[i], 1e-3 * std::fabs(expected[i]) + 1e-9)
                << c.what << " point " << i + 1;
    }
    // Restarted half way: the listing ends as the run in one go.
    std::string first_half, second_half;
    for (int k = 1; k <= steps; ++k)
        (k <= steps / 2 ? first_half : second_half) +=
            "increment load 1 size " + std::to_string(dt * dt * (2 * k - 1)) + " steps 1\n";
    CaptureStdout out;
    const ModelRun whole =
        run_model(write_model("whole.dat", block_model(side, false, newmark + accelerated)));
    const ModelRun half = run_model(
        write_model("half.dat", block_model(side, false, newmark + first_half + "save last\n")));
    const ModelRun rest = run_model(write_model(
        "rest.dat", block_model(side, false, newmark + second_half + "restart half100.bin\n")));
    ASSERT_EQ(whole.error + half.error + rest.error, "");
    EXPECT_NE(read_text_file(scratch + "half100.bin").find("\nprescribed_velocity 2 "),
              std::string::npos);
    EXPECT_EQ(kv_test::final_block(read_text_file(rest.listing_path)),
              kv_test::final_block(read_text_file(whole.listing_path)));
}
