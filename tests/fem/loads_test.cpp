#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "element_base.h"
#include "errors.h"
#include "geometry.h"
#include "loads.h"
#include "node.h"
#include "sysmat.h"

using namespace KelVane;

namespace {

const Direction x_axis(1, 0, 0);
const Direction y_axis(0, 1, 0);

// Two-node element with one local dof along x per node whose face pressure p on
// face k gives the local load vector (k p, 2 p). It has no other behaviour.
class PressedBar : public FiniteElement {
public:
    PressedBar(std::uint32_t number, Node* a, Node* b)
        : FiniteElement(number, new Node* [2] { a, b }, 2, 2)
    {
    }
    Matrix stiffness_matrix(Vector&) override { return Matrix(2, 2, 0.0); }
    Vector internal_forces() override { return Vector(2, 0.0); }
    LocalDof* GetLocalDofs() override
    {
        LocalDof* local = new LocalDof[2];
        local[0] = LocalDof{1, x_axis, displacement_type};
        local[1] = LocalDof{2, x_axis, displacement_type};
        return local;
    }
    Vector pressure_load(int face, double pressure, KelVane::PressureFace) override
    {
        Vector f(2);
        f(1) = face * pressure;
        f(2) = 2.0 * pressure;
        return f;
    }
    void write_restart(std::ostream&) override {}
    void read_restart(std::istream&) override {}
    void update_state() override {}
    void accept() override {}
    bool symmetric() override { return true; }
    void draw(wxDC&, DeviceMap&, bool) override {}
};

// A bar from node 1 (its x dof skewed at 45 degrees, so the pressure splits onto
// two node dofs) to node 2 (x dof prescribed), with a nodal force along x at node 1.
struct SmallModel {
    MyNode first{1, 0, 0, 0};
    MyNode second{2, 1, 0, 0};
    PressedBar bar{7, &first, &second};
    LoadSet set{3};
    std::uint32_t n_free = 0, n_fixed = 0, n_prescribed = 0;

    SmallModel()
    {
        first.add_dof(free_status, displacement_type, Direction(1, 1, 0));
        second.add_dof(prescribed_status, displacement_type, x_axis);
        bar.create_dofs();
        first.number_dofs(n_free, n_fixed, n_prescribed);
        second.number_dofs(n_free, n_fixed, n_prescribed);
        bar.init_transformation();

        auto* loads = new Nodal_Loads;
        loads->add_load(Dof::force, x_axis, 100.0);
        loads->add_node(&first);
        set.add(loads);
        auto* pressures = new Pressure_Loads;
        pressures->add_load(&bar, 3, 10.0);
        set.add(pressures);
    }
    SystemVector forces() const
    {
        SystemVector f(n_free, n_prescribed, n_fixed);
        set.assemble(f, KelVane::PressureFace::displaced);
        return f;
    }
};

void expect_same(const SystemVector& a, const SystemVector& b)
{
    const Vector* parts_a[] = {&a.free_part(), &a.prescribed_part(), &a.fixed_part()};
    const Vector* parts_b[] = {&b.free_part(), &b.prescribed_part(), &b.fixed_part()};
    for (int p = 0; p < 3; ++p) {
        ASSERT_EQ(parts_a[p]->size(), parts_b[p]->size());
        for (unsigned i = 0; i < parts_a[p]->size(); ++i)
            EXPECT_EQ((*parts_a[p])[i], (*parts_b[p])[i]) << "part " << p << " entry " << i;
    }
}

}  // namespace

TEST(Geometry, NewGeometryHasNoProperties)
{
    const Geometry g(4);
    EXPECT_EQ(g.get_thick(), 0.0);
    EXPECT_EQ(g.get_crosse(), 0.0);
}

TEST(Loads, DirectionalKindsNeedADirection)
{
    auto message_of = [](auto&& add) -> std::string {
        try {
            add();
        } catch (const program_error& e) {
            return e.what();
        }
        return "accepted";
    };
    Nodal_Loads loads;
    Nodal_Prescribed prescribed;
    const std::string load_message =
        "force or moment should have a direction\nerror in Nodal_Loads::add_load( Dof::Load )";
    const std::string prescribed_message =
        "displacement or rotation should have a direction\n"
        "error in Nodal_Prescribed::add_load( dof_type )";
    EXPECT_EQ(message_of([&] { loads.add_load(Dof::force, 1.0); }), load_message);
    EXPECT_EQ(message_of([&] { loads.add_load(Dof::moment, 1.0); }), load_message);
    EXPECT_EQ(message_of([&] { prescribed.add_load(displacement_type, 1.0); }), prescribed_message);
    EXPECT_EQ(message_of([&] { prescribed.add_load(rotation_type, 1.0); }), prescribed_message);
    EXPECT_EQ(message_of([&] { loads.add_load(Dof::heat_flux, 1.0); }), "accepted");
    EXPECT_EQ(message_of([&] { prescribed.add_load(temperature_type, 1.0); }), "accepted");
}

TEST(LoadSet, AssembleScalesNodalLoadsByTheSetFactor)
{
    MyNode node(3, 0, 0, 0);
    node.add_dof(free_status, displacement_type, x_axis);
    node.add_dof(free_status, temperature_type, Direction());
    node.add_dof(fixed_status, displacement_type, y_axis);
    std::uint32_t n_free = 0, n_fixed = 0, n_prescribed = 0;
    node.number_dofs(n_free, n_fixed, n_prescribed);

    LoadSet set(1);
    auto* loads = new Nodal_Loads;
    loads->add_load(Dof::force, x_axis, 100.0);
    loads->add_load(Dof::heat_flux, 8.0);
    loads->add_node(&node);
    set.add(loads);

    SystemVector forces(n_free, n_prescribed, n_fixed);
    forces.free_part()(1) = 5.0;  // stale values are overwritten
    forces.fixed_part()(1) = 5.0;
    set.assemble(forces, KelVane::PressureFace::displaced);
    EXPECT_EQ(forces.free_part()(1), 0.0);  // a set never activated gives nothing

    set.increment(0.25);
    EXPECT_EQ(set.get_factor(), 0.25);
    set.assemble(forces, KelVane::PressureFace::displaced);
    EXPECT_EQ(forces.free_part()(1), 25.0);
    EXPECT_EQ(forces.free_part()(2), 2.0);
    EXPECT_EQ(forces.fixed_part()(1), 0.0);
}

TEST(LoadSet, IncrementsPushPrescribedChangesIntoTheDofs)
{
    MyNode a(1, 0, 0, 0), b(2, 1, 0, 0);
    LoadSet set(2);
    auto* prescribed = new Nodal_Prescribed;
    prescribed->add_load(displacement_type, y_axis, 0.02);
    prescribed->add_load(temperature_type, 40.0);
    prescribed->add_node(&a);
    prescribed->add_node(&b);
    set.add(prescribed);

    for (const MyNode* node : {&a, &b}) {
        ASSERT_EQ(node->number_of_dofs(), 2u);
        EXPECT_TRUE(node->get_dof(0).is_prescribed());
        EXPECT_TRUE(node->get_dof(1).is_prescribed());
    }

    set.increment(0.5);
    EXPECT_DOUBLE_EQ(a.get_dof(0).get_increment(), 0.01);
    EXPECT_DOUBLE_EQ(b.get_dof(1).get_increment(), 20.0);
    a.accept_increment();
    b.accept_increment();
    set.increment(0.5);
    EXPECT_DOUBLE_EQ(a.get_dof(0).get_increment(), 0.01);
    EXPECT_DOUBLE_EQ(a.get_dof(0).value(), 0.02);
    EXPECT_DOUBLE_EQ(b.temperature(), 40.0);
    EXPECT_EQ(set.get_factor(), 1.0);

    // apply_prescribed_increment pushes changes without moving the factor.
    set.apply_prescribed_increment(0.5);
    EXPECT_DOUBLE_EQ(a.get_dof(0).get_increment(), 0.02);
    EXPECT_EQ(set.get_factor(), 1.0);
}

TEST(LoadSet, ValueAddedAfterItsNodeCreatesNoDofThere)
{
    MyNode node(1, 0, 0, 0);
    LoadSet set(1);
    auto* prescribed = new Nodal_Prescribed;
    prescribed->add_node(&node);
    prescribed->add_load(displacement_type, y_axis, 0.02);
    set.add(prescribed);
    EXPECT_EQ(node.number_of_dofs(), 0u);

    // No support holds the node there either: nothing to refuse, and nothing moves.
    EXPECT_NO_THROW(set.check_carried());
    set.increment(1.0);
    EXPECT_EQ(node.number_of_dofs(), 0u);
}

TEST(LoadSet, PressuresUseTheirOwnFactorAndReachEveryStatus)
{
    SmallModel model;
    ASSERT_EQ(model.n_free, 2u);
    ASSERT_EQ(model.n_prescribed, 1u);

    model.set.increment(0.5);
    model.set.increment(0.25);
    const SystemVector f = model.forces();

    // Local pressure vector (3 p, 2 p) with p = 10 x 0.75. Node 1's dofs lie along
    // (1,1,0)/sqrt2 and (1,-1,0)/sqrt2, so its x load and pressure split evenly.
    const double s = 1.0 / std::sqrt(2.0);
    const double p = 7.5;
    EXPECT_NEAR(f.free_part()(1), 0.75 * 100.0 * s + 3.0 * p * s, 1e-12);
    EXPECT_NEAR(f.free_part()(2), 0.75 * 100.0 * s + 3.0 * p * s, 1e-12);
    EXPECT_NEAR(f.prescribed_part()(1), 2.0 * p, 1e-12);
}

TEST(LoadSetRestart, RecordFormatAndExactFactor)
{
    LoadSet set(7);
    set.increment(0.1);
    set.increment(0.2);
    std::ostringstream os;
    os.precision(3);
    set.write_restart(os);
    EXPECT_EQ(os.str(), "L7 0.30000000000000004\n");

    LoadSet restored(7);
    std::istringstream is(os.str());
    restored.read_restart(is);
    EXPECT_EQ(restored.get_factor(), 0.1 + 0.2);
}

TEST(LoadSetRestart, RestartedSetAssemblesTheSameForcesAsTheOriginal)
{
    SmallModel original;
    original.set.increment(0.4);
    original.set.increment(0.35);
    std::stringstream file;
    original.set.write_restart(file);

    // The model is read again from its file: a fresh set whose groups start at 0.
    SmallModel restarted;
    restarted.set.read_restart(file);
    EXPECT_EQ(restarted.set.get_factor(), original.set.get_factor());
    expect_same(restarted.forces(), original.forces());

    // And both go on alike.
    original.set.increment(0.25);
    restarted.set.increment(0.25);
    expect_same(restarted.forces(), original.forces());
}

TEST(LoadSetRestart, CorruptRecordsAreRejectedAndChangeNothing)
{
    const char* const records[] = {
        "",                 // no record
        "L7 0.5\n",         // another set
        "N7 0.5\n",         // a node record
        "L3\n",             // factor missing
        "L3 0.5 0.6\n",     // one value too many
        "L3 half\n",        // not a number
        "L3 nan\n",         // not finite
        "L3 inf\n",
        "L3x 0.5\n",        // junk after the number
        "L 3 0.5\n",        // number not glued to the letter
    };
    for (const char* record : records) {
        SmallModel model;
        model.set.increment(0.125);
        std::istringstream is(record);
        try {
            model.set.read_restart(is);
            ADD_FAILURE() << "accepted: \"" << record << '"';
        } catch (const file_error& e) {
            EXPECT_STREQ(e.what(), "corrupt restart file") << record;
        }
        EXPECT_EQ(model.set.get_factor(), 0.125) << record;
        // The pressure group still has its own factor: p = 10 x 0.125 on face 3.
        EXPECT_NEAR(model.forces().prescribed_part()(1), 2.0 * 1.25, 1e-14) << record;
    }
}
