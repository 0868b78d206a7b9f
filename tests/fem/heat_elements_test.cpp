// The heat conduction layer and its triangle: matrices against the closed form
// of the linear triangle, the time-step scaling, state updates, steady
// conduction through a wall, listing rows and refusals.

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "elastic.h"
#include "errors.h"
#include "fem/test_model.h"
#include "heat_conduction.h"
#include "heat_elements.h"
#include "process_values.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::TestModel;

namespace {

// Sets the published time step for one test and restores it afterwards.
class HeatElement : public ::testing::Test {
protected:
    HeatElement() : saved_(current_time_step) {}
    ~HeatElement() override { current_time_step = saved_; }

    static KelVane::Node** nodes(std::initializer_list<MyNode*> list)
    {
        KelVane::Node** array = new KelVane::Node*[list.size()];
        std::size_t k = 0;
        for (MyNode* node : list) array[k++] = node;
        return array;
    }

private:
    double saved_;
};

// Conduction lambda = 2; capacity rho c = 3 * 5 = 15.
struct Materials {
    Materials()
    {
        wall.set_conduction(2.0);
        wall.set_capacity(5.0);
        wall.set_density(3.0);
    }
    LinearThermal_type wall{1};
};

// The triangle (0,0), (4,0), (1,3): area A = 6 and the closed-form conduction
// matrix lambda / (4A) (b_i b_j + c_i c_j) with b_i = y_j - y_k, c_i = x_k - x_j.
const double tri_x[3] = {0.0, 4.0, 1.0};
const double tri_y[3] = {0.0, 0.0, 3.0};
const double area = 6.0;

double conduction(int i, int j, double lambda)
{
    const double b[3] = {tri_y[1] - tri_y[2], tri_y[2] - tri_y[0], tri_y[0] - tri_y[1]};
    const double c[3] = {tri_x[2] - tri_x[1], tri_x[0] - tri_x[2], tri_x[1] - tri_x[0]};
    return lambda / (4.0 * area) * (b[i] * b[j] + c[i] * c[j]);
}

}  // namespace

// The increment matrix is capacity + dt * conduction: with dt = 0 the capacity
// alone, c A / 9 in every entry for the one-point rule; every dt adds the
// closed-form conduction matrix times dt.
TEST_F(HeatElement, TriangleMatrixIsCapacityPlusTimeStepTimesConduction)
{
    Materials m;
    TestModel model;
    MyNode* n1 = model.add_node(1, tri_x[0], tri_y[0]);
    MyNode* n2 = model.add_node(2, tri_x[1], tri_y[1]);
    MyNode* n3 = model.add_node(3, tri_x[2], tri_y[2]);
    Tri3therm* element = model.add_element<Tri3therm>(1, nodes({n1, n2, n3}), &m.wall, nullptr);

    for (double dt : {0.0, 0.5, 1.0}) {
        SCOPED_TRACE("dt " + std::to_string(dt));
        current_time_step = dt;
        Vector untouched(2, 7.0);
        const Matrix K = element->stiffness_matrix(untouched);
        ASSERT_EQ(K.size1(), 3u);
        ASSERT_EQ(K.size2(), 3u);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(K[i][j], 15.0 * area / 9.0 + dt * conduction(i, j, 2.0), 1e-12);
        EXPECT_EQ(untouched.size(), 2u);
        EXPECT_EQ(untouched(1), 7.0);
    }
}

// A linear temperature increment T = 10 + 3x - 2y gives the gradient (3, -2)
// and the centroid temperature at the point; the flux is lambda times the
// gradient; the internal heat vector of that state is K dT, and doubling dt
// doubles only its conduction part.
TEST_F(HeatElement, LinearTemperatureIncrementUpdatesTheStateAndHeatVector)
{
    Materials m;
    TestModel model;
    MyNode* n1 = model.add_node(1, tri_x[0], tri_y[0]);
    MyNode* n2 = model.add_node(2, tri_x[1], tri_y[1]);
    MyNode* n3 = model.add_node(3, tri_x[2], tri_y[2]);
    Tri3therm* element = model.add_element<Tri3therm>(1, nodes({n1, n2, n3}), &m.wall, nullptr);
    model.setup();
    for (MyNode* node : {n1, n2, n3}) {
        double x, y, z;
        node->get_coordinates(x, y, z);
        ASSERT_EQ(node->number_of_dofs(), 1u);
        EXPECT_EQ(node->get_dof(0).get_type(), KelVane::temperature_type);
        node->get_dof(0).set_increment(10.0 + 3.0 * x - 2.0 * y);
    }
    element->update_state();

    const Vector flux = dynamic_cast<KelVane::Thermal_Point&>(element->get_point(1)).get_flux();
    ASSERT_EQ(flux.size(), 2u);
    EXPECT_NEAR(flux(1), 2.0 * 3.0, 1e-12);
    EXPECT_NEAR(flux(2), 2.0 * -2.0, 1e-12);
    // Centroid (5/3, 1): T = 10 + 5 - 2 = 13.
    EXPECT_NEAR(dynamic_cast<KelVane::Thermal_Point&>(element->get_point(1)).get_heat_increment(),
                15.0 * 13.0, 1e-10);

    const Vector dT = element->get_dof_increments();
    current_time_step = 0.5;
    Vector unused;
    const Vector f_half = element->internal_forces();
    const Vector K_dT = element->stiffness_matrix(unused) * dT;
    for (unsigned i = 1; i <= 3; ++i) EXPECT_NEAR(f_half(i), K_dT(i), 1e-10);
    current_time_step = 1.0;
    const Vector f_one = element->internal_forces();
    current_time_step = 0.0;
    const Vector f_capacity = element->internal_forces();
    for (unsigned i = 1; i <= 3; ++i) {
        double conducted = 0.0;
        for (int j = 0; j < 3; ++j)
            conducted += conduction(static_cast<int>(i) - 1, j, 2.0) * dT[j];
        EXPECT_NEAR(f_half(i) - f_capacity(i), 0.5 * conducted, 1e-10);
        EXPECT_NEAR(f_one(i) - f_capacity(i), conducted, 1e-10);
        EXPECT_NEAR(f_capacity(i), 15.0 * 13.0 * area / 3.0, 1e-10);
    }
}

// A uniform temperature increment: no gradient, the same temperature at every
// point; accepted, it stays in the converged state.
TEST_F(HeatElement, UniformIncrementGivesNoGradient)
{
    Materials m;
    TestModel model;
    MyNode* n1 = model.add_node(1, 0, 0);
    MyNode* n2 = model.add_node(2, 2, 0);
    MyNode* n3 = model.add_node(3, 0, 1);
    Tri3therm* element = model.add_element<Tri3therm>(4, nodes({n1, n2, n3}), &m.wall, nullptr);
    model.setup();
    for (MyNode* node : {n1, n2, n3}) node->get_dof(0).set_increment(25.0);
    element->update_state();
    auto& point = dynamic_cast<KelVane::Thermal_Point&>(element->get_point(1));
    EXPECT_NEAR(norm(point.get_flux()), 0.0, 1e-12);
    EXPECT_NEAR(point.get_heat_increment(), 15.0 * 25.0, 1e-10);
    model.commit();
    element->update_state();  // no increment left: nothing changes from the converged state
    EXPECT_NEAR(point.get_heat_increment(), 0.0, 1e-12);
}

// Steady conduction through a wall 0 <= x <= 4 of height 1 between 100 and 20
// degrees: with no capacity the temperature is linear, T = 100 - 20 x, the flux
// is lambda dT/dx = -40 in every element, and the heat entering at one face
// leaves at the other: dt * lambda * 20 * height.
TEST_F(HeatElement, SteadyConductionThroughAWallIsLinear)
{
    LinearThermal_type wall(1);
    wall.set_conduction(2.0);
    wall.set_capacity(1.0);  // density 0: no heat capacity
    current_time_step = 1.5;
    TestModel model;
    std::vector<MyNode*> bottom, top;
    // Unevenly spaced columns.
    const double xs[5] = {0.0, 0.7, 2.0, 2.6, 4.0};
    for (int i = 0; i < 5; ++i) {
        bottom.push_back(model.add_node(static_cast<std::uint32_t>(2 * i + 1), xs[i], 0.0));
        top.push_back(model.add_node(static_cast<std::uint32_t>(2 * i + 2), xs[i] + 0.1 * (i % 2),
                                     1.0));
    }
    std::vector<FiniteElement*> elements;
    for (int i = 0; i < 4; ++i) {
        elements.push_back(model.add_element<Tri3therm>(
            static_cast<std::uint32_t>(2 * i + 1), nodes({bottom[i], bottom[i + 1], top[i + 1]}),
            &wall, nullptr));
        elements.push_back(model.add_element<Tri3therm>(
            static_cast<std::uint32_t>(2 * i + 2), nodes({bottom[i], top[i + 1], top[i]}), &wall,
            nullptr));
    }
    for (int i : {0, 4}) {
        for (MyNode* node : {bottom[i], top[i]}) {
            node->add_dof(KelVane::prescribed_status, KelVane::temperature_type, Direction());
            node->add_prescribed(KelVane::temperature_type, Direction(), i == 0 ? 100.0 : 20.0);
        }
    }
    model.setup();
    EXPECT_EQ(model.n_free, 6u);
    EXPECT_EQ(model.n_prescribed, 4u);
    model.solve_step(model.system_vector());

    for (std::size_t i = 0; i < bottom.size(); ++i) {
        for (MyNode* node : {bottom[i], top[i]}) {
            double x, y, z;
            node->get_coordinates(x, y, z);
            EXPECT_NEAR(node->temperature(), 100.0 - 20.0 * x, 1e-9) << "node " << node->number();
        }
    }
    for (FiniteElement* element : elements) {
        const auto* numint = dynamic_cast<NumIntElement*>(element);
        const Vector flux = dynamic_cast<KelVane::Thermal_Point&>(numint->get_point(1)).get_flux();
        EXPECT_NEAR(flux(1), -40.0, 1e-9);
        EXPECT_NEAR(flux(2), 0.0, 1e-9);
    }
    KelVane::SystemVector heat = model.internal_forces();
    for (std::uint32_t i = 1; i <= model.n_free; ++i) EXPECT_NEAR(heat.free_part()(i), 0.0, 1e-9);
    double entering = 0.0, leaving = 0.0;
    for (MyNode* node : {bottom[0], top[0]}) entering += heat(node->get_dof(0));
    for (MyNode* node : {bottom[4], top[4]}) leaving += heat(node->get_dof(0));
    EXPECT_NEAR(entering, 1.5 * 2.0 * 20.0, 1e-9);
    EXPECT_NEAR(leaving, -1.5 * 2.0 * 20.0, 1e-9);
}

// Local dofs, mass, pressure and the listing of the flux.
TEST_F(HeatElement, DofsMassPressureAndListing)
{
    Materials m;
    TestModel model;
    MyNode* n1 = model.add_node(1, 0, 0);
    MyNode* n2 = model.add_node(2, 2, 0);
    MyNode* n3 = model.add_node(3, 0, 1);
    Tri3therm* element = model.add_element<Tri3therm>(7, nodes({n1, n2, n3}), &m.wall, nullptr);
    EXPECT_EQ(element->get_nr_local_dofs(), 3u);
    EXPECT_EQ(element->nr_points(), 1);
    EXPECT_FALSE(element->is_xp());
    EXPECT_TRUE(element->symmetric());

    LocalDof* dofs = element->GetLocalDofs();
    for (std::uint32_t j = 0; j < 3; ++j) {
        EXPECT_EQ(dofs[j].node, j + 1);
        EXPECT_EQ(dofs[j].type, KelVane::temperature_type);
    }
    delete[] dofs;

    for (bool lumped : {false, true}) {
        const Matrix M = element->mass_matrix(lumped);
        ASSERT_EQ(M.size1(), 3u);
        ASSERT_EQ(M.size2(), 3u);
        for (unsigned i = 1; i <= 3; ++i)
            for (unsigned j = 1; j <= 3; ++j) EXPECT_EQ(M(i, j), 0.0);
    }
    EXPECT_THROW(element->pressure_load(1, 1.0, KelVane::PressureFace::displaced),
                 KelVane::not_implemented_error);

    // T = -20 x: gradient (-20, 0), flux (-40, 0).
    model.setup();
    n2->get_dof(0).set_increment(-40.0);
    element->update_state();
    std::ostringstream listing;
    element->print_nodal_header(listing);
    element->print_nodal_results(listing);
    EXPECT_EQ(listing.str(),
              "\n             q_x         q_y\n"
              "element 7\n"
              "      1  -4.000e+01   0.000e+00\n\n");
    std::ostringstream results;
    element->print_result_header(results);
    element->print_results(results);
    EXPECT_EQ(results.str(), listing.str());
}

// A heat conduction element needs a heat conduction material: the input check
// counts a missing or structural material, the constructor refuses it.
TEST_F(HeatElement, MaterialChecksAndRefusals)
{
    Materials m;
    Elastic_type steel(2);
    ThermoElastic_type thermo(3);
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(Tri3therm::check_input(&m.wall, nullptr), 0);
        EXPECT_EQ(Tri3therm::check_input(&thermo, nullptr), 0);
        EXPECT_EQ(err.text(), "");
    }
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(Tri3therm::check_input(nullptr, nullptr), 1);
        EXPECT_EQ(err.text(),
                  "no material group specified\nyou must specify a material reference\n");
    }
    {
        kv_test::CerrCapture err;
        EXPECT_EQ(Tri3therm::check_input(&steel, nullptr), 1);
        EXPECT_EQ(err.text(), "heat conduction element needs a heat conduction material\n");
    }
    TestModel model;
    MyNode* n1 = model.add_node(1, 0, 0);
    MyNode* n2 = model.add_node(2, 2, 0);
    MyNode* n3 = model.add_node(3, 0, 1);
    try {
        Tri3therm refused(9, nodes({n1, n2, n3}), &steel, nullptr);
        ADD_FAILURE() << "a structural material was accepted";
    } catch (const kelvaned_error& e) {
        EXPECT_EQ(std::string(e.what()), "element 9 needs a heat conduction material");
    }
    // Nodes running clockwise would make capacity and conduction negative.
    Tri3therm clockwise(10, nodes({n1, n3, n2}), &m.wall, nullptr);
    Vector unused;
    EXPECT_THROW(clockwise.stiffness_matrix(unused), kelvaned_error);
    EXPECT_THROW(clockwise.internal_forces(), kelvaned_error);
}
