// Heat-flux loads against the time step: the heat equations are an implicit-Euler
// step multiplied through by dt (C dT + dt K T = dt q), so the container hands the
// heat flows to them multiplied by the published time step, and the steady state
// of a wall does not depend on the step.

#include <cmath>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "control_test_model.h"
#include "domain.h"
#include "elastic.h"
#include "geometry.h"
#include "loads.h"
#include "node.h"
#include "nonlinear_static.h"
#include "process_values.h"
#include "sysmat.h"
#include "thermo_mechanical.h"

using namespace control_test;

namespace {

// Keeps the process-wide time step of the test process as it was.
class SavedTimeStep {
public:
    SavedTimeStep() : saved_(current_time_step) {}
    ~SavedTimeStep() { current_time_step = saved_; }

private:
    double saved_;
};

double x_of(const Vector3& v)
{
    double x, y, z;
    v.get(x, y, z);
    return x;
}

}  // namespace

TEST(HeatFluxTimeStep, ExternalForcesCarryHeatFlowsOverTheTimeStep)
{
    SavedTimeStep saved;
    // Node 1 has a free x displacement and a free temperature, node 2 a fixed
    // displacement and a prescribed temperature; the set pulls node 1 by 100 in x
    // and heats it by 8.
    MyDomain model;
    MyNode* loaded = add_node(model, 1, 0.0, 0.0);
    loaded->add_dof(KelVane::free_status, KelVane::displacement_type, x_axis);
    loaded->add_dof(KelVane::free_status, KelVane::temperature_type, Direction());
    MyNode* held = add_node(model, 2, 1.0, 0.0);
    held->add_dof(KelVane::fixed_status, KelVane::displacement_type, x_axis);
    held->add_dof(KelVane::prescribed_status, KelVane::temperature_type, Direction());
    KelVane::LoadSet* set = new KelVane::LoadSet(1);
    KelVane::Nodal_Loads* loads = new KelVane::Nodal_Loads;
    loads->add_load(KelVane::Dof::force, x_axis, 100.0);
    loads->add_load(KelVane::Dof::heat_flux, 8.0);
    loads->add_node(loaded);
    set->add(loads);
    model.load_sets.push_back(set);
    model.number_equations();  // no element: every dof is numbered as it is
    ASSERT_EQ(model.n_free, 2u);
    model.apply_load(1, 0.5);

    const KelVane::itincDof& force_dof = loaded->get_dof(0);
    const KelVane::itincDof& heat_dof = loaded->get_dof(1);
    for (const double dt : {0.0, 0.5, 1.0, 3.0}) {
        current_time_step = dt;
        KelVane::SystemVector fext;
        model.external_forces(fext);
        // The force is the structural load at the set's factor whatever the step.
        EXPECT_EQ(fext.free_part()(force_dof.get_global_nr()), 50.0) << dt;
        EXPECT_DOUBLE_EQ(fext.free_part()(heat_dof.get_global_nr()), 4.0 * dt) << dt;
        EXPECT_EQ(fext.prescribed_part()(1), 0.0) << dt;
        EXPECT_EQ(fext.fixed_part()(1), 0.0) << dt;
    }

    // The scaling reaches the temperature entries of all three parts and nothing else.
    KelVane::SystemVector v(model.n_free, model.n_prescribed, model.n_fixed);
    v.free_part()(force_dof.get_global_nr()) = 1.0;
    v.free_part()(heat_dof.get_global_nr()) = 2.0;
    v.prescribed_part()(1) = 3.0;
    v.fixed_part()(1) = 4.0;
    model.scale_temperature_entries(v, 10.0);
    EXPECT_EQ(v.free_part()(force_dof.get_global_nr()), 1.0);
    EXPECT_EQ(v.free_part()(heat_dof.get_global_nr()), 20.0);
    EXPECT_EQ(v.prescribed_part()(1), 30.0);
    EXPECT_EQ(v.fixed_part()(1), 4.0);
}

namespace {

// A thermo-mechanical wall: one plane-strain quadrilateral of length L along x and
// height h, unit depth. The face x = 0 (nodes 1, 4) is held at T0 and in x (node 1
// also in y); the face x = L (nodes 2, 3) takes the heat flow Q, half at each node.
// With no density nothing is stored, so every step is steady:
//   Q = k A dT/dx with A = h, hence T(x) = T0 + Q x / (k h),
// which the bilinear element represents exactly.
struct ThermoMechanicalWall {
    static constexpr double L = 2.0, h = 0.5, k = 4.0, T0 = 10.0, Q = 6.0;
    static double temperature(double x) { return T0 + Q * x / (k * h); }

    explicit ThermoMechanicalWall(MyDomain& model)
    {
        ThermoElastic_type* material = new ThermoElastic_type(1);
        material->set_young(1000.0);
        material->set_poisson(0.25);
        material->set_expansion(1e-3);
        material->set_conduction(k);
        material->set_capacity(460.0);
        model.materials.push_back(material);

        inner_bottom = add_node(model, 1, 0.0, 0.0);
        outer_bottom = add_node(model, 2, L, 0.0);
        outer_top = add_node(model, 3, L, h);
        inner_top = add_node(model, 4, 0.0, h);
        fix_xy(inner_bottom);
        inner_top->add_dof(KelVane::fixed_status, KelVane::displacement_type, x_axis);

        KelVane::LoadSet* set = new KelVane::LoadSet(1);
        KelVane::Nodal_Prescribed* held = new KelVane::Nodal_Prescribed;
        held->add_load(KelVane::temperature_type, T0);
        held->add_node(inner_bottom);
        held->add_node(inner_top);
        set->add(held);
        KelVane::Nodal_Loads* heated = new KelVane::Nodal_Loads;
        heated->add_load(KelVane::Dof::heat_flux, Q / 2.0);
        heated->add_node(outer_bottom);
        heated->add_node(outer_top);
        set->add(heated);
        model.load_sets.push_back(set);

        model.add_element(new Quad4psnTherm(
            1, new KelVane::Node*[4]{inner_bottom, outer_bottom, outer_top, inner_top}, material,
            nullptr));
    }

    MyNode* inner_bottom;
    MyNode* outer_bottom;
    MyNode* outer_top;
    MyNode* inner_top;
};

struct WallRun {
    double outer_temperature = 0.0;
    double outer_x = 0.0;
    std::string listing;
};

WallRun run_wall(double dt, int increments)
{
    MyDomain model;
    ThermoMechanicalWall wall(model);
    NonLinearStaticControl control;
    control.set_timestep(dt);
    control.set_tolerance(1e-10);
    control.add_load_block(1, 1.0 / increments, increments);
    std::ostringstream listing, result;
    CaptureStdout out;
    control.init(model, listing);
    EXPECT_FALSE(control.run(model, listing, result, -1));
    WallRun run;
    EXPECT_DOUBLE_EQ(wall.outer_top->temperature(), wall.outer_bottom->temperature());
    run.outer_temperature = wall.outer_bottom->temperature();
    run.outer_x = x_of(wall.outer_bottom->displacement());
    run.listing = listing.str();
    return run;
}

// The reaction row of the prescribed temperature of node `node` in a listing.
double temperature_reaction(const std::string& listing, int node)
{
    std::istringstream in(listing.substr(listing.rfind("\nreactions\n")));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        int number = 0;
        std::string letter;
        double value = 0.0;
        if (row >> number >> letter >> value && number == node && letter == "T") return value;
    }
    ADD_FAILURE() << "no temperature reaction at node " << node;
    return 0.0;
}

}  // namespace

TEST(HeatFluxTimeStep, ThermoMechanicalWallReachesTheSameSteadyStateForEveryStep)
{
    SavedTimeStep saved;
    using Wall = ThermoMechanicalWall;
    const double outer = Wall::temperature(Wall::L);  // 10 + 6 * 2 / 2 = 16
    ASSERT_DOUBLE_EQ(outer, 16.0);

    const WallRun reference = run_wall(1.0, 1);
    EXPECT_NEAR(reference.outer_temperature, outer, 1e-9);
    // The wall warms and expands away from its held face.
    EXPECT_GT(reference.outer_x, 0.0);
    for (const double dt : {0.25, 2.0, 8.0}) {
        for (const int increments : {1, 3}) {
            const WallRun run = run_wall(dt, increments);
            EXPECT_NEAR(run.outer_temperature, outer, 1e-9) << dt << ' ' << increments;
            EXPECT_NEAR(run.outer_x, reference.outer_x, 1e-12) << dt << ' ' << increments;
            // The held face gives off the heat flow put in at the other one, half
            // at each node, whatever the step.
            EXPECT_NEAR(temperature_reaction(run.listing, 1), -Wall::Q / 2.0, 1e-3)
                << dt << ' ' << increments << '\n'
                << run.listing;
            EXPECT_NEAR(temperature_reaction(run.listing, 4), -Wall::Q / 2.0, 1e-3)
                << dt << ' ' << increments;
        }
    }
}
