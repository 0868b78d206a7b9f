#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "collect_array.h"
#include "element_base.h"
#include "errors.h"
#include "geometry.h"
#include "material.h"
#include "node.h"
#include "sysmat.h"

using KelVane::Matrix;
using KelVane::Node;
using KelVane::Vector;

namespace {

Matrix matrix2(double a11, double a12, double a21, double a22)
{
    Matrix m(2, 2);
    m(1, 1) = a11;
    m(1, 2) = a12;
    m(2, 1) = a21;
    m(2, 2) = a22;
    return m;
}

Vector vector2(double a, double b)
{
    Vector v(2);
    v(1) = a;
    v(2) = b;
    return v;
}

LocalDof displacement_at(std::uint32_t node, double x, double y)
{
    LocalDof dof;
    dof.node = node;
    dof.direction = Direction(x, y, 0.0);
    dof.type = KelVane::displacement_type;
    return dof;
}

// An element whose matrices and vectors are set by the test, in local order.
class FakeElement : public FiniteElement {
public:
    FakeElement(std::uint32_t number, const std::vector<Node*>& element_nodes,
                std::vector<LocalDof> local)
        : FiniteElement(number, copy_nodes(element_nodes),
                        static_cast<std::uint32_t>(element_nodes.size()),
                        static_cast<std::uint32_t>(local.size())),
          local_dofs(std::move(local))
    {
    }

    bool is_xp() override { return xp; }
    Matrix stiffness_matrix(Vector& f) override
    {
        if (xp) f = xp_force;
        return stiffness;
    }
    Matrix mass_matrix(bool lumped) override
    {
        lumped_asked = lumped;
        return mass;
    }
    Vector internal_forces() override { return forces; }
    LocalDof* GetLocalDofs() override
    {
        LocalDof* array = new LocalDof[local_dofs.size()];
        for (std::size_t k = 0; k < local_dofs.size(); ++k) array[k] = local_dofs[k];
        return array;
    }
    Vector pressure_load(int face, double pressure, KelVane::PressureFace geometry) override
    {
        if (face == 0) return ElementBase::pressure_load(face, pressure, geometry);
        return pressure_shape * pressure;
    }
    void write_restart(std::ostream& os) override
    {
        KelVane::CollectArray array;
        append_to(array, state);
        os << array;
    }
    void read_restart(std::istream& is) override
    {
        KelVane::CollectArray array;
        is >> array;
        read_from(array, state);
    }
    void update_state() override {}
    void accept() override {}
    bool symmetric() override { return true; }
    void draw(wxDC&, DeviceMap&, bool) override {}

    std::vector<LocalDof> local_dofs;
    Matrix stiffness;
    Matrix mass;
    Vector forces;
    Vector pressure_shape;
    Vector xp_force;
    Vector state;
    bool xp = false;
    bool lumped_asked = false;

private:
    static Node** copy_nodes(const std::vector<Node*>& element_nodes)
    {
        Node** array = new Node*[element_nodes.size()];
        for (std::size_t i = 0; i < element_nodes.size(); ++i) array[i] = element_nodes[i];
        return array;
    }
};

// Records what the element declares and adds, as a dense map over global numbers.
class RecordingMat : public KelVane::SystemMat {
public:
    void geometry(unsigned i, unsigned j) override { declared.emplace_back(i, j); }
    void zero() override { values.clear(); }
    void add(unsigned i, unsigned j, double value) override { values[{i, j}] += value; }
    void print(const std::string&) override {}
    void solve(const Vector&, Vector&) override {}

    std::vector<std::pair<unsigned, unsigned>> declared;
    std::map<std::pair<unsigned, unsigned>, double> values;
};

// A spring of stiffness 1000 from (0,0,0) to (1,1,0) whose local dofs point along
// (0.6, 0.8, 0). Node 1 has a suppressed x dof, node 2 a prescribed x dof; the
// element adds free y dofs. Numbering: free 1 = node 1 y, free 2 = node 2 y,
// fixed 1 = node 1 x, prescribed 1 = node 2 x.
class SkewedSpringTest : public ::testing::Test {
protected:
    SkewedSpringTest()
        : node1(1, 0.0, 0.0, 0.0),
          node2(2, 1.0, 1.0, 0.0),
          element(5, {&node1, &node2}, {displacement_at(1, 0.6, 0.8), displacement_at(2, 0.6, 0.8)})
    {
        node1.add_dof(KelVane::fixed_status, KelVane::displacement_type, Direction(1, 0, 0));
        node2.add_dof(KelVane::prescribed_status, KelVane::displacement_type, Direction(1, 0, 0));
        element.create_dofs();
        std::uint32_t free = 0, fixed = 0, prescribed = 0;
        node1.number_dofs(free, fixed, prescribed);
        node2.number_dofs(free, fixed, prescribed);
        element.init_transformation();
        element.stiffness = matrix2(k, -k, -k, k);
    }

    const double k = 1000.0;
    Node node1;
    Node node2;
    FakeElement element;
};

TEST_F(SkewedSpringTest, EachLocalDofCollectsTheDofsOfItsNode)
{
    // The element adds only the unspanned y dofs; each local dof then collects the
    // x and y dof of its node with coefficients 0.6 and 0.8.
    ASSERT_EQ(node1.number_of_dofs(), 2u);
    ASSERT_EQ(element.get_nr_node_dofs(), 4u);
    EXPECT_EQ(element.get_dof(0), &node1.get_dof(0));
    EXPECT_EQ(element.get_dof(3), &node2.get_dof(1));
    EXPECT_EQ(element.get_transformation().get_kind(), KelVane::TransformationMatrix::general);
    Vector node_values(4);
    for (unsigned m = 1; m <= 4; ++m) node_values(m) = std::pow(10.0, m - 1);
    const Vector local = element.get_transformation() * node_values;
    EXPECT_NEAR(local(1), 0.6 + 8.0, 1e-12);
    EXPECT_NEAR(local(2), 60.0 + 800.0, 1e-12);
}

TEST_F(SkewedSpringTest, StiffnessGoesToFreeRowsAndPrescribedChangesToTheRightHandSide)
{
    node2.add_prescribed(KelVane::displacement_type, Direction(1, 0, 0), 0.01);

    KelVane::SparseSysMat K(2, true);
    K.zero();
    Vector rhs(2, 0.0);
    element.assemble_stiffness(K, rhs);

    // Kt = k [c c^T, -c c^T; -c c^T, c c^T] with c = (0.6, 0.8): the yy terms are 640.
    EXPECT_NEAR(K[0](0), 640.0, 1e-9);
    EXPECT_NEAR(K[0](1), -640.0, 1e-9);
    EXPECT_NEAR(K[1](0), -640.0, 1e-9);
    EXPECT_NEAR(K[1](1), 640.0, 1e-9);
    EXPECT_EQ(K[0].entries().size(), 2u);
    EXPECT_EQ(K[1].entries().size(), 2u);
    // rhs(i) -= Kt(i, node 2 x) * 0.01 with Kt(1y, 2x) = -480 and Kt(2y, 2x) = 480.
    EXPECT_NEAR(rhs(1), 4.8, 1e-12);
    EXPECT_NEAR(rhs(2), -4.8, 1e-12);

    // The tangent has the same free-free block and leaves the prescribed term out.
    RecordingMat tangent;
    Vector tangent_rhs(2, 0.0);
    element.assemble_tangent(tangent, tangent_rhs);
    EXPECT_EQ(tangent.values.size(), 4u);
    EXPECT_NEAR((tangent.values[{1, 2}]), -640.0, 1e-9);
    EXPECT_EQ(tangent_rhs(1), 0.0);
    EXPECT_EQ(tangent_rhs(2), 0.0);
}

TEST_F(SkewedSpringTest, ElementForceVectorIsAddedToFreeRowsWhenXp)
{
    element.xp = true;
    element.xp_force = vector2(10.0, -20.0);
    for (bool tangent : {false, true}) {
        RecordingMat K;
        Vector rhs(2, 1.0);
        if (tangent)
            element.assemble_tangent(K, rhs);
        else
            element.assemble_stiffness(K, rhs);
        // g = T^T f: the y dofs receive 0.8 f; no prescribed change is pending.
        EXPECT_NEAR(rhs(1), 1.0 + 8.0, 1e-12) << tangent;
        EXPECT_NEAR(rhs(2), 1.0 - 16.0, 1e-12) << tangent;
    }
}

TEST_F(SkewedSpringTest, ProfileDeclaresEveryFreePairInElementOrder)
{
    RecordingMat K;
    element.set_profile(K);
    const std::vector<std::pair<unsigned, unsigned>> expected{{1, 1}, {1, 2}, {2, 1}, {2, 2}};
    EXPECT_EQ(K.declared, expected);
    EXPECT_TRUE(K.values.empty());
}

TEST_F(SkewedSpringTest, MassIsCarriedOverFullOrOnlyOnTheDiagonal)
{
    element.mass = matrix2(2.0, 1.0, 1.0, 2.0);

    RecordingMat consistent;
    element.assemble_mass(consistent, false);
    EXPECT_FALSE(element.lumped_asked);
    EXPECT_EQ(consistent.values.size(), 4u);
    EXPECT_NEAR((consistent.values[{1, 1}]), 2.0 * 0.64, 1e-12);
    EXPECT_NEAR((consistent.values[{1, 2}]), 1.0 * 0.64, 1e-12);
    EXPECT_NEAR((consistent.values[{2, 1}]), 1.0 * 0.64, 1e-12);
    EXPECT_NEAR((consistent.values[{2, 2}]), 2.0 * 0.64, 1e-12);

    RecordingMat lumped;
    element.assemble_mass(lumped, true);
    EXPECT_TRUE(element.lumped_asked);
    EXPECT_EQ(lumped.values.size(), 2u);
    EXPECT_NEAR((lumped.values[{1, 1}]), 2.0 * 0.64, 1e-12);
    EXPECT_NEAR((lumped.values[{2, 2}]), 2.0 * 0.64, 1e-12);

    // Elements without a mass give a zero matrix of their own size.
    const Matrix none = element.ElementBase::mass_matrix(false);
    ASSERT_EQ(none.size1(), 2u);
    ASSERT_EQ(none.size2(), 2u);
    for (unsigned i = 1; i <= 2; ++i)
        for (unsigned j = 1; j <= 2; ++j) EXPECT_EQ(none(i, j), 0.0);
}

TEST_F(SkewedSpringTest, InternalForcesAndPressuresReachEveryStatus)
{
    element.forces = vector2(-3.0, 3.0);
    KelVane::SystemVector F(2, 1, 1);
    F.free_part()(1) = 1.0;
    element.assemble_internal_forces(F);
    EXPECT_NEAR(F.free_part()(1), 1.0 - 2.4, 1e-12);
    EXPECT_NEAR(F.free_part()(2), 2.4, 1e-12);
    EXPECT_NEAR(F.fixed_part()(1), -1.8, 1e-12);
    EXPECT_NEAR(F.prescribed_part()(1), 1.8, 1e-12);

    element.pressure_shape = vector2(1.0, 2.0);
    KelVane::SystemVector f(2, 1, 1);
    element.add_pressure_load(3, 5.0, KelVane::PressureFace::displaced, f);
    EXPECT_NEAR(f.free_part()(1), 4.0, 1e-12);
    EXPECT_NEAR(f.fixed_part()(1), 3.0, 1e-12);
    EXPECT_NEAR(f.prescribed_part()(1), 6.0, 1e-12);
    EXPECT_NEAR(f.free_part()(2), 8.0, 1e-12);
}

TEST_F(SkewedSpringTest, DofValuesAndIncrementsInLocalOrder)
{
    // node 1 y: converged 0.5, running 0.25; node 2 y: running 0.1; node 2 x: prescribed 0.01.
    node1.add_increment(vector2(0.5, 0.0));
    node1.accept_increment();
    node1.add_increment(vector2(0.25, 0.0));
    node2.add_increment(vector2(0.0, 0.1));
    node2.add_prescribed(KelVane::displacement_type, Direction(1, 0, 0), 0.01);

    const Vector increments = element.get_dof_increments();
    ASSERT_EQ(increments.size(), 2u);
    EXPECT_NEAR(increments(1), 0.8 * 0.25, 1e-12);
    EXPECT_NEAR(increments(2), 0.6 * 0.01 + 0.8 * 0.1, 1e-12);

    const Vector values = element.get_dof_values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_NEAR(values(1), 0.8 * 0.75, 1e-12);
    EXPECT_NEAR(values(2), 0.6 * 0.01 + 0.8 * 0.1, 1e-12);
}

TEST(ElementTransformationTest, MatchingDofsGiveAnIdentity)
{
    Node a(1, 0.0, 0.0, 0.0), b(2, 2.0, 0.0, 0.0);
    FakeElement element(1, {&a, &b}, {displacement_at(1, 1, 0), displacement_at(2, 1, 0)});
    EXPECT_EQ(element.get_nr_node_dofs(), 0u);
    element.create_dofs();
    element.create_dofs();  // a second request is covered by the existing dofs
    EXPECT_EQ(a.number_of_dofs(), 1u);
    EXPECT_EQ(b.number_of_dofs(), 1u);
    element.init_transformation();
    EXPECT_EQ(element.get_nr_node_dofs(), 2u);
    EXPECT_EQ(element.get_transformation().get_kind(), KelVane::TransformationMatrix::identity);

    // A second set-up replaces the first one.
    element.init_transformation();
    EXPECT_EQ(element.get_nr_node_dofs(), 2u);
    EXPECT_EQ(element.get_dof(1), &b.get_dof(0));
}

TEST(ElementTransformationTest, ANodeDofSharedByTwoLocalDofsIsOneColumn)
{
    // Two local dofs at one node, along x and along (0.6, 0.8): the x dof expresses
    // both, yet it is one column of T, beside the y dof. The assembled matrix is
    // A^T K A with A the map from the node's (x, y) to the local dofs.
    Node a(1, 0.0, 0.0, 0.0);
    FakeElement element(1, {&a}, {displacement_at(1, 1, 0), displacement_at(1, 0.6, 0.8)});
    element.create_dofs();
    std::uint32_t free = 0, fixed = 0, prescribed = 0;
    a.number_dofs(free, fixed, prescribed);
    element.init_transformation();
    ASSERT_EQ(element.get_nr_node_dofs(), 2u);
    EXPECT_EQ(element.get_dof(0), &a.get_dof(0));
    EXPECT_EQ(element.get_dof(1), &a.get_dof(1));

    element.stiffness = matrix2(4.0, 1.0, 1.0, 3.0);
    RecordingMat K;
    Vector rhs(2, 0.0);
    element.assemble_stiffness(K, rhs);

    const double A[2][2] = {{1.0, 0.0}, {0.6, 0.8}};
    for (unsigned i = 0; i < 2; ++i) {
        for (unsigned j = 0; j < 2; ++j) {
            double expected = 0.0;
            for (unsigned r = 0; r < 2; ++r)
                for (unsigned c = 0; c < 2; ++c)
                    expected += A[r][i] * element.stiffness(r + 1, c + 1) * A[c][j];
            EXPECT_NEAR((K.values[{i + 1, j + 1}]), expected, 1e-12) << i << j;
        }
    }
}

TEST(ElementInterfaceTest, PressureLoadWithoutImplementationNamesTheElement)
{
    Node a(1, 0.0, 0.0, 0.0);
    FakeElement element(7, {&a}, {displacement_at(1, 1, 0)});
    try {
        element.pressure_load(0, 1.0, KelVane::PressureFace::displaced);
        FAIL() << "no exception";
    } catch (const KelVane::not_implemented_error& error) {
        EXPECT_STREQ(error.what(), "Pressure load on element 7 is not implemented");
    }
    KelVane::SystemVector f(1, 0, 0);
    EXPECT_THROW(element.add_pressure_load(0, 1.0, KelVane::PressureFace::displaced, f),
                 KelVane::program_error);
}

TEST(ElementInterfaceTest, ConnectivityRowHasWidthEightFields)
{
    Node a(3, 0.0, 0.0, 0.0), b(45, 1.0, 0.0, 0.0);
    FakeElement element(12, {&a, &b}, {displacement_at(1, 1, 0), displacement_at(2, 1, 0)});
    std::ostringstream os;
    element.print_connectivity(os);
    EXPECT_EQ(os.str(), "      12        3       45\n");
}

// Every element class checks its references with the same counts and messages:
// one error per required reference that is missing, none for an optional one.
TEST(ElementInterfaceTest, CheckReferencesCountsEveryMissingRequiredReference)
{
    const std::string no_material =
        "no material group specified\nyou must specify a material reference\n";
    const std::string no_geometry =
        "no geometry group specified\nyou must specify a geometry reference\n";
    KelVane::Mass_type material(1, 2.0);
    KelVane::Geometry geometry(1);
    struct Case {
        const KelVane::Material_type* material;
        const KelVane::Geometry* geometry;
        bool need_material;
        bool need_geometry;
        int errors;
        std::string messages;
    };
    const Case cases[] = {
        {nullptr, nullptr, true, true, 2, no_material + no_geometry},
        {nullptr, nullptr, true, false, 1, no_material},
        {nullptr, nullptr, false, true, 1, no_geometry},
        {nullptr, nullptr, false, false, 0, ""},
        {&material, nullptr, true, true, 1, no_geometry},
        {nullptr, &geometry, true, true, 1, no_material},
        {&material, &geometry, true, true, 0, ""},
    };
    for (const Case& c : cases) {
        std::ostringstream captured;
        std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
        const int errors = check_references(c.material, c.geometry, c.need_material, c.need_geometry);
        std::cerr.rdbuf(previous);
        EXPECT_EQ(errors, c.errors) << c.messages;
        EXPECT_EQ(captured.str(), c.messages);
    }
}

class ElementRestartTest : public ::testing::Test {
protected:
    ElementRestartTest() : node(1, 0.0, 0.0, 0.0), element(12, {&node}, {displacement_at(1, 1, 0)}) {}

    void expect_corrupt(const std::string& record)
    {
        element.state = Vector(3, 0.0);
        std::istringstream is(record);
        try {
            element.read_restart_data(is);
            ADD_FAILURE() << "accepted: " << record;
        } catch (const KelVane::file_error& error) {
            EXPECT_STREQ(error.what(), "corrupt restart file") << record;
        }
    }

    Node node;
    FakeElement element;
};

TEST_F(ElementRestartTest, RecordRoundTrip)
{
    element.state = Vector(3);
    element.state(1) = 1.5;
    element.state(2) = -2.25e-7;
    element.state(3) = 1.0 / 3.0;
    std::ostringstream os;
    element.write_restart_data(os);
    EXPECT_EQ(os.str().substr(0, 4), "E12\n");

    Node other_node(1, 0.0, 0.0, 0.0);
    FakeElement copy(12, {&other_node}, {displacement_at(1, 1, 0)});
    copy.state = Vector(3, 0.0);
    std::istringstream is(os.str() + "E13\n");
    copy.read_restart_data(is);
    EXPECT_EQ(copy.state(1), 1.5);
    EXPECT_EQ(copy.state(2), -2.25e-7);
    EXPECT_EQ(copy.state(3), 1.0 / 3.0);
    // The next record starts right after this one.
    std::string next;
    is >> next;
    EXPECT_EQ(next, "E13");
}

TEST_F(ElementRestartTest, MismatchedOrTruncatedRecordsAreRejected)
{
    const std::string payload = "\n3\n1 \n2 \n3 \n\n";
    expect_corrupt("N12" + payload);
    expect_corrupt("E13" + payload);
    expect_corrupt("E-12" + payload);
    expect_corrupt("E4294967308" + payload);  // 12 + 2^32
    expect_corrupt("E99999999999999999999999" + payload);
    expect_corrupt("");
    expect_corrupt("E");
    expect_corrupt("E12");
    expect_corrupt("E12\n3\n1 \n2 \n");
}

// An element that reads its state with plain stream extraction.
class RawStateElement : public FakeElement {
public:
    using FakeElement::FakeElement;
    void read_restart(std::istream& is) override { is >> first >> second; }
    double first = 0.0;
    double second = 0.0;
};

TEST(ElementRestartRawTest, FailedReadOfTheElementStateIsReported)
{
    Node node(1, 0.0, 0.0, 0.0);
    RawStateElement element(4, {&node}, {displacement_at(1, 1, 0)});
    std::istringstream complete("E4\n1.5 2.5\n");
    element.read_restart_data(complete);
    EXPECT_EQ(element.first, 1.5);
    EXPECT_EQ(element.second, 2.5);

    std::istringstream truncated("E4\n1.5\n");
    EXPECT_THROW(element.read_restart_data(truncated), KelVane::file_error);
}

}  // namespace
