#include "domain.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "errors.h"
#include "loads.h"
#include "node.h"
#include "probe_element.h"
#include "sysmat.h"

using KelVane::displacement_type;
using KelVane::fixed_status;
using KelVane::free_status;

namespace {

MyNode* add_node(MyDomain& model, std::uint32_t number, double x, double y, double z)
{
    MyNode* node = new MyNode(number, x, y, z);
    model.nodes.push_back(node);
    return node;
}

ProbeElement* add_probe(MyDomain& model, std::uint32_t number, MyNode* node,
                        const Direction& direction, double k, ProbeLog* log)
{
    ProbeElement* element = new ProbeElement(number, node, direction, k, log);
    model.add_element(element);
    return element;
}

const Direction x_axis(1.0, 0.0, 0.0);
const Direction y_axis(0.0, 1.0, 0.0);

}  // namespace

TEST(Domain, BoundingBoxOfNodesWithAndWithoutScale)
{
    MyDomain model;
    double box[6] = {-7.0, -7.0, -7.0, 7.0, 7.0, 7.0};
    model.bounding_box(box[0], box[1], box[2], box[3], box[4], box[5], 0.0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(box[i], -7.0);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(box[i], 7.0);

    MyNode* a = add_node(model, 1, 1.0, -2.0, 3.0);
    add_node(model, 2, -4.0, 5.0, 0.5);
    add_node(model, 3, 2.0, 0.0, -1.0);
    model.bounding_box(box[0], box[1], box[2], box[3], box[4], box[5], 0.0);
    const double expected[6] = {-4.0, -2.0, -1.0, 2.0, 5.0, 3.0};
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(box[i], expected[i]) << i;

    // Node 1 moves by (3, -1) at scale 1; at scale 10 it leaves the others behind.
    a->add_dof(free_status, displacement_type, x_axis);
    a->add_dof(free_status, displacement_type, y_axis);
    a->get_dof(0).set_value(3.0);
    a->get_dof(1).set_increment(-1.0);
    model.bounding_box(box[0], box[1], box[2], box[3], box[4], box[5], 0.0);
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(box[i], expected[i]) << i;
    model.bounding_box(box[0], box[1], box[2], box[3], box[4], box[5], 10.0);
    const double scaled[6] = {-4.0, -12.0, -1.0, 31.0, 5.0, 3.0};
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(box[i], scaled[i]) << i;
}

TEST(Domain, SetupNumbersEveryStatusAndRepeatsTheSameWay)
{
    MyDomain model;
    ProbeLog log;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    MyNode* b = add_node(model, 2, 1, 0, 0);
    MyNode* c = add_node(model, 3, 2, 0, 0);
    // Node 1 fixed in x before the elements ask for it; node 3 prescribed in y.
    a->add_dof(fixed_status, displacement_type, x_axis);
    c->add_dof(KelVane::prescribed_status, displacement_type, y_axis);
    add_probe(model, 1, a, x_axis, 1.0, &log);
    add_probe(model, 2, a, y_axis, 1.0, &log);
    add_probe(model, 3, b, x_axis, 1.0, &log);
    add_probe(model, 4, c, y_axis, 1.0, &log);
    add_probe(model, 5, c, x_axis, 1.0, &log);

    model.setup_dofs();
    EXPECT_EQ(model.n_free, 3u);
    EXPECT_EQ(model.n_fixed, 1u);
    EXPECT_EQ(model.n_prescribed, 1u);
    // Free dofs are numbered node by node in list order.
    EXPECT_EQ(a->get_dof(1).get_global_nr(), 1u);
    EXPECT_EQ(b->get_dof(0).get_global_nr(), 2u);
    EXPECT_EQ(c->get_dof(1).get_global_nr(), 3u);
    EXPECT_EQ(a->get_dof(0).get_global_nr(), 1u);
    EXPECT_EQ(c->get_dof(0).get_global_nr(), 1u);

    model.setup_dofs();
    EXPECT_EQ(model.n_free, 3u);
    EXPECT_EQ(model.n_fixed, 1u);
    EXPECT_EQ(model.n_prescribed, 1u);
    EXPECT_EQ(c->get_dof(1).get_global_nr(), 3u);
}

TEST(Domain, EverythingSuppressedLeavesNoFreeEquations)
{
    MyDomain model;
    ProbeLog log;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    a->add_dof(fixed_status, displacement_type, x_axis);
    add_probe(model, 1, a, x_axis, 1.0, &log);
    model.setup_dofs();
    EXPECT_EQ(model.n_free, 0u);
    EXPECT_EQ(model.n_fixed, 1u);
    KelVane::SystemVector f;
    model.external_forces(f);
    EXPECT_EQ(f.free_part().size(), 0u);
    EXPECT_EQ(f.fixed_part().size(), 1u);
    KelVane::Vector du(5, 1.0);
    model.get_increments(du);
    EXPECT_EQ(du.size(), 0u);
}

TEST(Domain, EmptyModelHasNoEquations)
{
    MyDomain model;
    model.setup_dofs();
    EXPECT_EQ(model.n_free + model.n_fixed + model.n_prescribed, 0u);
    EXPECT_TRUE(model.symmetric);
    EXPECT_TRUE(model.title.empty());
}

TEST(Domain, ExternalForcesAddEverySetAtItsOwnFactor)
{
    MyDomain model;
    ProbeLog log;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    MyNode* b = add_node(model, 2, 1, 0, 0);
    add_probe(model, 1, a, x_axis, 1.0, &log);
    add_probe(model, 2, b, x_axis, 1.0, &log);
    add_probe(model, 3, b, y_axis, 1.0, &log);
    model.setup_dofs();

    auto make_set = [&](std::uint32_t number, MyNode* node, const Direction& d, double value) {
        auto* set = new KelVane::LoadSet(number);
        auto* loads = new KelVane::Nodal_Loads;
        loads->add_load(KelVane::Dof::force, d, value);
        loads->add_node(node);
        set->add(loads);
        model.load_sets.push_back(set);
    };
    make_set(1, a, x_axis, 10.0);
    make_set(2, b, y_axis, -4.0);
    make_set(3, b, x_axis, 100.0);  // never activated: factor 0
    make_set(4, a, x_axis, 1.0);

    model.apply_load(1, 0.5);
    model.apply_load(2, 2.0);
    model.apply_load(4, 1.0);
    model.apply_load(4, 2.0);

    KelVane::SystemVector f;
    model.external_forces(f);
    ASSERT_EQ(f.free_part().size(), 3u);
    EXPECT_DOUBLE_EQ(f.free_part()(1), 10.0 * 0.5 + 1.0 * 3.0);
    EXPECT_DOUBLE_EQ(f.free_part()(2), 0.0);
    EXPECT_DOUBLE_EQ(f.free_part()(3), -8.0);

    // Calling it again gives the same, not twice as much.
    model.external_forces(f);
    EXPECT_DOUBLE_EQ(f.free_part()(3), -8.0);

    try {
        model.apply_load(9, 1.0);
        FAIL() << "no exception";
    } catch (const KelVane::not_found& e) {
        EXPECT_STREQ(e.what(), "unknown load set number 9: *loadef defines no set 9");
    }
    EXPECT_THROW(model.apply_load(-1, 1.0), KelVane::not_found);
}

TEST(Domain, CommitAcceptsNodeIncrementsBeforeElementStates)
{
    MyDomain model;
    ProbeLog log;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    add_probe(model, 7, a, x_axis, 1.0, &log);
    model.setup_dofs();

    KelVane::Vector du(1, 0.25);
    model.add_increment(du);
    model.add_increment(du);
    model.update_elements();
    KelVane::Vector back;
    model.get_increments(back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_DOUBLE_EQ(back(1), 0.5);

    model.commit();
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0], "update 7");
    EXPECT_EQ(log.events[1], "accept 7 value 0.500000 increment 0.000000");
    EXPECT_DOUBLE_EQ(a->get_dof(0).converged_value(), 0.5);

    model.add_increment(du);
    model.clear_increments();
    EXPECT_DOUBLE_EQ(a->get_dof(0).value(), 0.5);
}

TEST(Domain, AssemblyStartsFromZero)
{
    MyDomain model;
    ProbeLog log;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    MyNode* b = add_node(model, 2, 0, 0, 0);
    add_probe(model, 1, a, x_axis, 3.0, &log);
    add_probe(model, 2, a, x_axis, 4.0, &log);
    // Node 2 is prescribed; its spring couples it to nothing free.
    b->add_dof(KelVane::prescribed_status, displacement_type, x_axis);
    add_probe(model, 3, b, x_axis, 5.0, &log);
    model.setup_dofs();
    ASSERT_EQ(model.n_free, 1u);

    KelVane::SparseSysMat K(model.n_free, model.symmetric);
    model.set_profile(K);
    KelVane::Vector rhs(1, 99.0);
    for (int pass = 0; pass < 2; ++pass) {
        model.assemble_stiffness(K, rhs);
        EXPECT_DOUBLE_EQ(K[0](0), 7.0) << pass;
        EXPECT_DOUBLE_EQ(rhs(1), 0.0) << pass;
    }
    rhs(1) = 2.0;
    model.assemble_tangent(K, rhs);
    EXPECT_DOUBLE_EQ(K[0](0), 7.0);
    EXPECT_DOUBLE_EQ(rhs(1), 2.0);  // the tangent leaves the vector alone

    KelVane::SystemVector fint;
    static_cast<ProbeElement*>(model.elements.back())->force = 6.0;
    model.internal_forces(fint);
    model.internal_forces(fint);
    EXPECT_DOUBLE_EQ(fint.prescribed_part()(1), 6.0);
    EXPECT_DOUBLE_EQ(fint.free_part()(1), 0.0);
}

TEST(Domain, OneNonsymmetricElementMakesTheModelNonsymmetric)
{
    MyDomain model;
    ProbeLog log;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    auto* first = new ProbeElement(1, a, x_axis, 1.0, &log);
    auto* second = new ProbeElement(2, a, x_axis, 1.0, &log);
    auto* third = new ProbeElement(3, a, x_axis, 1.0, &log);
    second->is_symmetric = false;
    model.add_element(first);
    EXPECT_TRUE(model.symmetric);
    model.add_element(second);
    EXPECT_FALSE(model.symmetric);
    model.add_element(third);
    EXPECT_FALSE(model.symmetric);
    EXPECT_EQ(log.symmetric_queries, 2);
    EXPECT_EQ(model.elements.size(), 3u);
}

TEST(Domain, RestartStateRoundTrip)
{
    std::string saved;
    {
        MyDomain model;
        MyNode* a = add_node(model, 1, 0, 0, 0);
        ProbeElement* e = add_probe(model, 4, a, x_axis, 1.0, nullptr);
        auto* set = new KelVane::LoadSet(2);
        model.load_sets.push_back(set);
        model.setup_dofs();
        model.add_increment(KelVane::Vector(1, 0.125));
        model.commit();
        e->state = 2.5;
        model.apply_load(2, 0.75);
        std::ostringstream os;
        model.write_restart_state(os);
        saved = os.str();
    }
    MyDomain model;
    MyNode* a = add_node(model, 1, 0, 0, 0);
    ProbeElement* e = add_probe(model, 4, a, x_axis, 1.0, nullptr);
    auto* set = new KelVane::LoadSet(2);
    model.load_sets.push_back(set);
    model.setup_dofs();
    std::istringstream is(saved);
    model.read_restart_state(is);
    EXPECT_DOUBLE_EQ(a->get_dof(0).converged_value(), 0.125);
    EXPECT_DOUBLE_EQ(e->state, 2.5);
    EXPECT_DOUBLE_EQ(set->get_factor(), 0.75);

    // A record of another element number stops the reading.
    MyDomain other;
    MyNode* b = add_node(other, 1, 0, 0, 0);
    add_probe(other, 5, b, x_axis, 1.0, nullptr);
    other.load_sets.push_back(new KelVane::LoadSet(2));
    other.setup_dofs();
    std::istringstream again(saved);
    EXPECT_THROW(other.read_restart_state(again), KelVane::file_error);
}

TEST(Domain, DestructionDeletesEveryElement)
{
    ProbeLog log;
    {
        MyDomain model;
        MyNode* a = add_node(model, 1, 0, 0, 0);
        add_probe(model, 1, a, x_axis, 1.0, &log);
        add_probe(model, 2, a, y_axis, 1.0, &log);
        model.load_sets.push_back(new KelVane::LoadSet(1));
        model.geometries.push_back(new KelVane::Geometry(1));
    }
    EXPECT_EQ(log.destroyed, 2);
}
