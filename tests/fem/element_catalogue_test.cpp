// The concrete plane, axisymmetric and solid elements, swept over the whole
// catalogue: what each constructor fixes, and the patch and rigid-body tests on
// meshes of each class (quadratic families with their mid-side nodes, in both
// node orders).

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "device_map.h"
#include "common/solid_patch.h"
#include "elastic.h"
#include "element_catalogue.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "material.h"
#include "shape.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::TestModel;
using kv_test::impose;

namespace {

enum class Family { tri3, tri6, tri6_alt, quad4, quad8, quad8_alt, hex8 };

using Maker = std::function<FiniteElement*(TestModel&, std::uint32_t, KelVane::Node**,
                                           KelVane::Material_type*, KelVane::Geometry*)>;

// One class of the catalogue with what its constructor must fix.
struct Kind {
    std::string name;
    Family family;
    std::uint32_t nodes;
    int state;
    int points;
    Maker make;
};

// A node array as the reader hands it to an element (the element takes it over).
KelVane::Node** node_array(const std::vector<MyNode*>& nodes)
{
    KelVane::Node** array = new KelVane::Node*[nodes.size()];
    std::copy(nodes.begin(), nodes.end(), array);
    return array;
}

template <class Element>
Maker maker()
{
    return [](TestModel& model, std::uint32_t number, KelVane::Node** nodes,
              KelVane::Material_type* material, KelVane::Geometry* geometry) {
        return model.add_element<Element>(number, nodes, material, geometry);
    };
}

template <class Element>
Maker maker(bool alt)
{
    return [alt](TestModel& model, std::uint32_t number, KelVane::Node** nodes,
                 KelVane::Material_type* material, KelVane::Geometry* geometry) {
        return model.add_element<Element>(number, nodes, material, geometry, alt);
    };
}

const std::vector<Kind>& catalogue()
{
    static const std::vector<Kind> kinds = {
        {"Tri3psn", Family::tri3, 3, 1, 1, maker<Tri3psn>()},
        {"Tri3pss", Family::tri3, 3, 2, 1, maker<Tri3pss>()},
        {"Tri3axi", Family::tri3, 3, 3, 1, maker<Tri3axi>()},
        {"Tri6psn", Family::tri6, 6, 1, 3, maker<Tri6psn>(false)},
        {"Tri6pss", Family::tri6, 6, 2, 3, maker<Tri6pss>(false)},
        {"Tri6axi", Family::tri6, 6, 3, 3, maker<Tri6axi>(false)},
        {"Tri6psn alt", Family::tri6_alt, 6, 1, 3, maker<Tri6psn>(true)},
        {"Tri6pss alt", Family::tri6_alt, 6, 2, 3, maker<Tri6pss>(true)},
        {"Tri6axi alt", Family::tri6_alt, 6, 3, 3, maker<Tri6axi>(true)},
        {"Quad4psn", Family::quad4, 4, 1, 4, maker<Quad4psn>()},
        {"Quad4pss", Family::quad4, 4, 2, 4, maker<Quad4pss>()},
        {"Quad4axi", Family::quad4, 4, 3, 4, maker<Quad4axi>()},
        {"Quad8psn", Family::quad8, 8, 1, 4, maker<Quad8psn>(false)},
        {"Quad8pss", Family::quad8, 8, 2, 4, maker<Quad8pss>(false)},
        {"Quad8axi", Family::quad8, 8, 3, 4, maker<Quad8axi>(false)},
        {"Quad8psn alt", Family::quad8_alt, 8, 1, 4, maker<Quad8psn>(true)},
        {"Quad8pss alt", Family::quad8_alt, 8, 2, 4, maker<Quad8pss>(true)},
        {"Quad8axi alt", Family::quad8_alt, 8, 3, 4, maker<Quad8axi>(true)},
        {"Hex8", Family::hex8, 8, 0, 8, maker<Hex8>()},
    };
    return kinds;
}

int dimension(Family family)
{
    return family == Family::hex8 ? 3 : 2;
}

// Where a model is put: its coordinates times `scale`, then moved by `offset`.
struct Placement {
    const char* name;
    double scale;
    std::array<double, 3> offset;

    std::array<double, 3> operator()(double x, double y, double z) const
    {
        return {offset[0] + scale * x, offset[1] + scale * y, offset[2] + scale * z};
    }
};

// At the origin, at survey coordinates (elements of 1 and of 10 there), and
// scaled down and up: an element is refused at one place exactly when it is
// refused at all of them.
const std::vector<Placement>& placements()
{
    static const std::vector<Placement> all = {
        {"at the origin", 1.0, {0.0, 0.0, 0.0}},
        {"at survey coordinates", 1.0, {500000.0, 5600000.0, 300.0}},
        {"ten times larger at survey coordinates", 10.0, {512345.6, 5609876.5, 432.1}},
        {"a million times smaller", 1e-6, {0.0, 0.0, 0.0}},
        {"ten thousand times larger", 1e4, {0.0, 0.0, 0.0}},
    };
    return all;
}

// A patch of 2 x 2 (x 2) distorted cells at x >= 1 (so that axisymmetric
// elements lie off the axis): quadrilateral cells, two triangles per cell for
// the triangle families, one hexahedron per cell in 3-D. Quadratic families get
// a node in the middle of every straight edge, shared by the elements on it.
// Nodes on the patch boundary are marked.
class Patch {
public:
    Patch(TestModel& model, const Kind& kind, KelVane::Material_type* material,
          KelVane::Geometry* geometry, const Placement& placement = placements().front())
        : model_(model), material_(material), geometry_(geometry),
          three_d_(dimension(kind.family) == 3), placement_(placement)
    {
        const int layers = three_d_ ? 3 : 1;
        for (int k = 0; k < layers; ++k)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) corner({i, j, k});

        const int cells_k = three_d_ ? 2 : 1;
        for (int k = 0; k < cells_k; ++k) {
            for (int j = 0; j < 2; ++j) {
                for (int i = 0; i < 2; ++i) {
                    const Id a{i, j, k}, b{i + 1, j, k}, c{i + 1, j + 1, k}, d{i, j + 1, k};
                    switch (kind.family) {
                    case Family::tri3:
                        add(kind, {corner(a), corner(b), corner(c)});
                        add(kind, {corner(a), corner(c), corner(d)});
                        break;
                    case Family::tri6:
                        add(kind,
                            {corner(a), mid(a, b), corner(b), mid(b, c), corner(c), mid(c, a)});
                        add(kind,
                            {corner(a), mid(a, c), corner(c), mid(c, d), corner(d), mid(d, a)});
                        break;
                    case Family::tri6_alt:
                        add(kind,
                            {corner(a), corner(b), corner(c), mid(a, b), mid(b, c), mid(c, a)});
                        add(kind,
                            {corner(a), corner(c), corner(d), mid(a, c), mid(c, d), mid(d, a)});
                        break;
                    case Family::quad4:
                        add(kind, {corner(a), corner(b), corner(c), corner(d)});
                        break;
                    case Family::quad8:
                        add(kind,
                            {corner(a), mid(a, b), corner(b), mid(b, c), corner(c), mid(c, d),
                             corner(d), mid(d, a)});
                        break;
                    case Family::quad8_alt:
                        add(kind,
                            {corner(a), corner(b), corner(c), corner(d), mid(a, b), mid(b, c),
                             mid(c, d), mid(d, a)});
                        break;
                    case Family::hex8: {
                        const Id e{i, j, k + 1}, f{i + 1, j, k + 1}, g{i + 1, j + 1, k + 1},
                            h{i, j + 1, k + 1};
                        add(kind,
                            {corner(a), corner(b), corner(c), corner(d), corner(e), corner(f),
                             corner(g), corner(h)});
                        break;
                    }
                    }
                }
            }
        }
    }

    const std::vector<MyNode*>& nodes() const { return nodes_; }
    const std::vector<FiniteElement*>& elements() const { return elements_; }
    bool on_boundary(const MyNode* node) const { return boundary_.at(node); }

private:
    struct Id {
        int i, j, k;
        bool operator<(const Id& o) const
        {
            return std::make_pair(i, std::make_pair(j, k)) <
                   std::make_pair(o.i, std::make_pair(o.j, o.k));
        }
    };

    bool boundary_coordinate(int index, bool used) const
    {
        return used && (index == 0 || index == 2);
    }

    MyNode* corner(const Id& id)
    {
        auto found = corners_.find(id);
        if (found != corners_.end()) return found->second;
        // A regular grid with its centre node and one outer corner moved, so
        // that no element is a parallelogram.
        double x = 1.0 + id.i, y = 0.5 + id.j, z = 0.0 + id.k;
        const bool centre = id.i == 1 && id.j == 1 && (!three_d_ || id.k == 1);
        if (centre) x += 0.23, y -= 0.17, z += three_d_ ? 0.12 : 0.0;
        if (id.i == 2 && id.j == 2) x += 0.3, y += 0.2;
        const std::array<double, 3> placed = placement_(x, y, z);
        MyNode* node = new_node(placed[0], placed[1], placed[2]);
        boundary_[node] = boundary_coordinate(id.i, true) || boundary_coordinate(id.j, true) ||
                          boundary_coordinate(id.k, three_d_);
        corners_[id] = node;
        return node;
    }

    MyNode* mid(const Id& p, const Id& q)
    {
        const std::pair<Id, Id> key = q < p ? std::make_pair(q, p) : std::make_pair(p, q);
        auto found = mids_.find(key);
        if (found != mids_.end()) return found->second;
        double x1, y1, z1, x2, y2, z2;
        corner(p)->get_coordinates(x1, y1, z1);
        corner(q)->get_coordinates(x2, y2, z2);
        MyNode* node = new_node(0.5 * (x1 + x2), 0.5 * (y1 + y2), 0.5 * (z1 + z2));
        // On the boundary when both ends lie on the same boundary line.
        boundary_[node] = (p.i == q.i && boundary_coordinate(p.i, true)) ||
                          (p.j == q.j && boundary_coordinate(p.j, true));
        mids_[key] = node;
        return node;
    }

    MyNode* new_node(double x, double y, double z)
    {
        MyNode* node = model_.add_node(static_cast<std::uint32_t>(nodes_.size() + 1), x, y, z);
        nodes_.push_back(node);
        return node;
    }

    void add(const Kind& kind, const std::vector<MyNode*>& nodes)
    {
        elements_.push_back(kind.make(model_, static_cast<std::uint32_t>(elements_.size() + 1),
                                      node_array(nodes), material_, geometry_));
    }

    TestModel& model_;
    KelVane::Material_type* material_;
    KelVane::Geometry* geometry_;
    bool three_d_;
    Placement placement_;
    std::map<Id, MyNode*> corners_;
    std::map<std::pair<Id, Id>, MyNode*> mids_;
    std::map<const MyNode*, bool> boundary_;
    std::vector<MyNode*> nodes_;
    std::vector<FiniteElement*> elements_;
};

Vector stress_at(FiniteElement* element, int k)
{
    auto* numint = dynamic_cast<NumIntElement*>(element);
    return dynamic_cast<KelVane::Structural_Point&>(numint->get_point(k)).get_stress();
}

struct Materials {
    Materials()
    {
        steel.set_young(1000.0);
        steel.set_poisson(0.3);
        plate.set_thick(0.5);
    }
    Elastic_type steel{1};
    KelVane::Geometry plate{1};
};

// A linear field with constant strain, and that strain in the stress state's
// order. The axisymmetric field u_r = a r, u_z = c z has equal radial and hoop
// strain; a shear there would not be in equilibrium under constant stress.
std::function<Vector3(double, double, double)> linear_field(int state, Vector& strain)
{
    const double A[3][3] = {{1e-3, 2e-4, -3e-4}, {5e-4, -2e-3, 1e-4}, {-4e-4, 6e-4, 1.5e-3}};
    switch (state) {
    case 0:
        strain = Vector(6);
        strain(1) = A[0][0], strain(2) = A[1][1], strain(3) = A[2][2];
        strain(4) = A[0][1] + A[1][0];
        strain(5) = A[1][2] + A[2][1];
        strain(6) = A[2][0] + A[0][2];
        return [A](double x, double y, double z) {
            return Vector3(0.1 + A[0][0] * x + A[0][1] * y + A[0][2] * z,
                           -0.2 + A[1][0] * x + A[1][1] * y + A[1][2] * z,
                           0.3 + A[2][0] * x + A[2][1] * y + A[2][2] * z);
        };
    case 3:
        strain = Vector(4);
        strain(1) = A[0][0], strain(2) = A[1][1], strain(3) = A[0][0], strain(4) = 0.0;
        return [A](double x, double y, double) {
            return Vector3(A[0][0] * x, 0.4 + A[1][1] * y, 0.0);
        };
    default:
        strain = Vector(3);
        strain(1) = A[0][0], strain(2) = A[1][1], strain(3) = A[0][1] + A[1][0];
        return [A](double x, double y, double) {
            return Vector3(0.1 + A[0][0] * x + A[0][1] * y, -0.2 + A[1][0] * x + A[1][1] * y,
                           0.0);
        };
    }
}

double max_abs(const Vector& v)
{
    double m = 0.0;
    for (unsigned i = 0; i < v.size(); ++i) m = std::max(m, std::fabs(v[i]));
    return m;
}

}  // namespace

// Node count, dofs and their order, stress state and number of integration
// points of every class; the hexahedron is the one class that is not drawn.
TEST(ElementCatalogue, ConstructorsFixNodesDofsStateAndIntegrationOrder)
{
    for (const Kind& kind : catalogue()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        Patch patch(model, kind, &m.steel, &m.plate);
        FiniteElement* element = patch.elements().front();
        const int d = dimension(kind.family);

        EXPECT_EQ(element->get_nr_nodes(), kind.nodes);
        EXPECT_EQ(element->get_nr_local_dofs(), kind.nodes * d);
        auto* structural = dynamic_cast<NumIntStructElement*>(element);
        ASSERT_NE(structural, nullptr);
        EXPECT_EQ(structural->get_stress_state(), std::uint32_t(kind.state));
        EXPECT_EQ(structural->get_nr_structural_dofs(), kind.nodes * d);
        EXPECT_EQ(structural->nr_points(), kind.points);
        EXPECT_EQ(structural->get_shape().nr_int_locs(), kind.points);
        EXPECT_EQ(dynamic_cast<NumInt3D*>(element) != nullptr, d == 3);
        EXPECT_EQ(dynamic_cast<NumInt2D*>(element) != nullptr, d == 2);

        LocalDof* dofs = element->GetLocalDofs();
        for (std::uint32_t j = 0; j < kind.nodes; ++j) {
            for (int axis = 0; axis < d; ++axis) {
                const LocalDof& dof = dofs[j * d + axis];
                double x, y, z;
                dof.direction.get(x, y, z);
                EXPECT_EQ(dof.node, j + 1);
                EXPECT_EQ(dof.type, KelVane::displacement_type);
                EXPECT_EQ(x, axis == 0 ? 1.0 : 0.0);
                EXPECT_EQ(y, axis == 1 ? 1.0 : 0.0);
                EXPECT_EQ(z, axis == 2 ? 1.0 : 0.0);
            }
        }
        delete[] dofs;

        // Only an outlined element draws its number.
        DeviceMap map;
        kv_test::RecordingDC dc;
        element->draw(dc, map, true);
        EXPECT_EQ(dc.record().texts.size(), kind.family == Family::hex8 ? 0u : 1u);
    }
}

// Patch test: a distorted mesh of each class under a linear displacement field
// has that field's strain, hence the stress D eps, at every integration point;
// the internal forces at the interior nodes cancel and the element forces are
// K u. The quadratic meshes include interior mid-side nodes, and their alt
// variants would fail if the node order were not the corners-first one.
TEST(ElementCatalogue, PatchTestGivesConstantStressAndBalancedInteriorNodes)
{
    for (const Kind& kind : catalogue()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        Patch patch(model, kind, &m.steel, &m.plate);
        model.setup();
        Vector strain;
        impose(patch.nodes(), linear_field(kind.state, strain));

        const Matrix D = iso_lin_elas_D_mat(1000.0, 0.3, static_cast<int>(strain.size()),
                                            kind.state);
        const Vector expected = D * strain;
        for (FiniteElement* element : patch.elements()) {
            element->update_state();
            for (int k = 1; k <= kind.points; ++k) {
                const Vector stress = stress_at(element, k);
                ASSERT_EQ(stress.size(), expected.size());
                for (unsigned i = 1; i <= expected.size(); ++i)
                    EXPECT_NEAR(stress(i), expected(i), 1e-10) << "element " << element->number()
                                                               << " point " << k;
            }
            // Linear elasticity: the forces of the state are the stiffness times
            // the displacements that led to it.
            Vector unused;
            const Vector f = element->internal_forces();
            const Vector Ku = element->stiffness_matrix(unused) * element->get_dof_increments();
            ASSERT_GT(max_abs(f), 1e-6);
            for (unsigned i = 0; i < f.size(); ++i) EXPECT_NEAR(f[i], Ku[i], 1e-10 * max_abs(f));
        }

        KelVane::SystemVector forces = model.internal_forces();
        const double scale = max_abs(forces.free_part());
        ASSERT_GT(scale, 1e-6);
        int interior = 0;
        for (MyNode* node : patch.nodes()) {
            if (patch.on_boundary(node)) continue;
            ++interior;
            for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i)
                EXPECT_NEAR(forces(node->get_dof(i)), 0.0, 1e-11 * scale)
                    << "node " << node->number() << " dof " << i;
        }
        EXPECT_GT(interior, 0);
    }
}

// A rigid-body motion strains nothing: zero stress, zero element forces, and
// the stiffness maps it to zero. The plane and solid meshes translate and turn
// (infinitesimally); an axisymmetric body can only move along its axis.
TEST(ElementCatalogue, RigidBodyMotionGivesZeroForces)
{
    for (const Kind& kind : catalogue()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        Patch patch(model, kind, &m.steel, &m.plate);
        model.setup();
        const double t = 1e-3;
        switch (kind.state) {
        case 0:
            impose(patch.nodes(), [t](double x, double y, double z) {
                // Translation plus the turn by (1, -2, 0.5) t.
                return Vector3(0.3 + t * (-2.0 * z - 0.5 * y), -0.1 + t * (0.5 * x - z),
                               0.2 + t * (y + 2.0 * x));
            });
            break;
        case 3:
            impose(patch.nodes(), [](double, double, double) { return Vector3(0.0, 0.7, 0.0); });
            break;
        default:
            impose(patch.nodes(), [t](double x, double y, double) {
                return Vector3(0.3 - t * y, -0.1 + t * x, 0.0);
            });
            break;
        }
        for (FiniteElement* element : patch.elements()) {
            element->update_state();
            Vector unused;
            const Matrix K = element->stiffness_matrix(unused);
            const Vector u = element->get_dof_increments();
            ASSERT_GT(max_abs(u), 1e-2);
            double k_scale = 0.0;
            for (unsigned i = 1; i <= K.size1(); ++i) k_scale = std::max(k_scale, K(i, i));
            EXPECT_LT(max_abs(K * u), 1e-12 * k_scale * max_abs(u));
            EXPECT_LT(max_abs(element->internal_forces()), 1e-12 * k_scale * max_abs(u));
            for (int k = 1; k <= kind.points; ++k)
                EXPECT_LT(max_abs(stress_at(element, k)), 1e-12 * 1000.0);
        }
    }
}

// Lumped masses for the explicit analysis: every node of every class gets a
// positive mass, the masses along each axis add up to the element's mass (the sum
// of that axis' block of the consistent matrix), and the linear families keep the
// row sums of the consistent matrix. The corner rows of the quadratic families
// sum to zero (triangles) or below (quadrilaterals), so these take their
// consistent diagonal scaled to the element's mass.
TEST(ElementCatalogue, LumpedMassesArePositiveAndCarryTheElementMass)
{
    for (const Kind& kind : catalogue()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        m.steel.set_density(3.0);
        TestModel model;
        Patch patch(model, kind, &m.steel, &m.plate);
        const int d = dimension(kind.family);
        const bool linear = kind.family == Family::tri3 || kind.family == Family::quad4 ||
                            kind.family == Family::hex8;
        for (FiniteElement* element : patch.elements()) {
            const Matrix M = element->mass_matrix(false);
            const Matrix L = element->mass_matrix(true);
            const unsigned n = M.size1();
            std::vector<double> axis_mass(d, 0.0), axis_lumped(d, 0.0);
            double smallest_row_sum = 1e300;
            for (unsigned i = 1; i <= n; ++i) {
                double row_sum = 0.0;
                for (unsigned j = 1; j <= n; ++j) {
                    row_sum += M(i, j);
                    if (i != j) {
                        EXPECT_EQ(L(i, j), 0.0);
                    }
                }
                smallest_row_sum = std::min(smallest_row_sum, row_sum);
                axis_mass[(i - 1) % d] += row_sum;
                axis_lumped[(i - 1) % d] += L(i, i);
                EXPECT_GT(L(i, i), 0.0) << "row " << i;
                if (linear) {
                    EXPECT_NEAR(L(i, i), row_sum, 1e-12 * M(1, 1));
                }
            }
            if (!linear) {
                EXPECT_LT(smallest_row_sum, 1e-12 * M(1, 1));
            }
            for (int axis = 0; axis < d; ++axis) {
                EXPECT_GT(axis_mass[axis], 0.0);
                EXPECT_NEAR(axis_lumped[axis], axis_mass[axis], 1e-12 * axis_mass[axis]);
            }
        }
    }
}

// Every element of the distorted patches is a sound shape. The same nodes given
// in an order that the element's name does not say (the quadratic families read
// in their other order or with their list turned by one place, so that a node
// stands where the name wants another kind of node; a linear quadrilateral or
// hexahedron with two nodes swapped, a triangle clockwise) fold it: the analysis
// refuses it when it starts, although some of these keep a positive Jacobian at
// every integration point.
// Where the patch lies and how large it is does not change the verdict.
TEST(ElementCatalogue, NodeOrdersThatFoldTheElementAreRefused)
{
    const std::map<Family, std::vector<std::vector<std::uint32_t>>> folding_orders = {
        {Family::tri3, {{0, 2, 1}}},
        {Family::tri6, {{0, 2, 4, 1, 3, 5}, {1, 2, 3, 4, 5, 0}}},
        {Family::tri6_alt, {{0, 3, 1, 4, 2, 5}, {1, 2, 3, 4, 5, 0}}},
        {Family::quad4, {{0, 1, 3, 2}}},
        {Family::quad8, {{0, 2, 4, 6, 1, 3, 5, 7}, {1, 2, 3, 4, 5, 6, 7, 0}}},
        {Family::quad8_alt, {{0, 4, 1, 5, 2, 6, 3, 7}, {1, 2, 3, 4, 5, 6, 7, 0}}},
        {Family::hex8, {{0, 1, 3, 2, 4, 5, 7, 6}}},
    };
    for (const Placement& placement : placements()) {
        for (const Kind& kind : catalogue()) {
            SCOPED_TRACE(kind.name + " " + placement.name);
            Materials m;
            TestModel model;
            Patch patch(model, kind, &m.steel, &m.plate, placement);
            for (FiniteElement* element : patch.elements())
                EXPECT_NO_THROW(element->check_shape());

            const FiniteElement* sound = patch.elements().front();
            for (const std::vector<std::uint32_t>& order : folding_orders.at(kind.family)) {
                std::vector<MyNode*> nodes;
                for (std::uint32_t i : order)
                    nodes.push_back(dynamic_cast<MyNode*>(sound->get_node(i)));
                FiniteElement* folded =
                    kind.make(model, 99, node_array(nodes), &m.steel, &m.plate);
                try {
                    folded->check_shape();
                    ADD_FAILURE() << "folded element accepted, order "
                                  << ::testing::PrintToString(order);
                } catch (const kelvaned_error& error) {
                    const std::string message = error.what();
                    EXPECT_EQ(message.rfind("element 99 is numbered clockwise or folded: ", 0), 0u)
                        << message;
                }
            }
        }
    }
}

namespace {

// Order of an element's nodes: place i of the element takes node order[i].
using Order = std::vector<std::uint32_t>;

// The corners of the natural square or cube, in the node order of the 4-node
// quadrilateral or the 8-node hexahedron.
std::vector<std::array<int, 3>> natural_corners(int d)
{
    if (d == 2) return {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    return {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
            {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
}

// The orders that the turns and mirrors of the natural square or cube make of
// its corners (every signed permutation of the axes, R c_i for corner i), each
// with whether it is a turn: a turn gives the same element, a mirror the element
// walked clockwise.
std::vector<std::pair<Order, bool>> symmetries(int d)
{
    const std::vector<std::array<int, 3>> corners = natural_corners(d);
    std::vector<std::pair<Order, bool>> all;
    std::vector<int> axes(d);
    for (int i = 0; i < d; ++i) axes[i] = i;
    do {
        int parity = 1;
        for (int i = 0; i < d; ++i)
            for (int j = i + 1; j < d; ++j)
                if (axes[i] > axes[j]) parity = -parity;
        for (int signs = 0; signs < (1 << d); ++signs) {
            int det = parity;
            for (int i = 0; i < d; ++i)
                if (signs & (1 << i)) det = -det;
            Order order;
            for (const auto& c : corners) {
                std::array<int, 3> image = {0, 0, 0};
                for (int i = 0; i < d; ++i) image[i] = (signs & (1 << i) ? -1 : 1) * c[axes[i]];
                order.push_back(static_cast<std::uint32_t>(
                    std::find(corners.begin(), corners.end(), image) - corners.begin()));
            }
            all.push_back({order, det > 0});
        }
    } while (std::next_permutation(axes.begin(), axes.end()));
    return all;
}

// The orders to try: every order of a quadrilateral's four nodes; for a
// hexahedron its symmetries, every swap of two nodes and every face walked the
// other way (the face mirrored about each of its diagonals and mid-lines, the
// other nodes kept). Each with whether it is one of the element's own turns.
std::map<Order, bool> orders_to_try(int d)
{
    std::map<Order, bool> orders;
    for (const auto& symmetry : symmetries(d)) orders[symmetry.first] = symmetry.second;
    const std::uint32_t n = d == 2 ? 4 : 8;
    Order identity(n);
    for (std::uint32_t i = 0; i < n; ++i) identity[i] = i;
    if (d == 2) {
        Order order = identity;
        do {
            orders.insert({order, false});
        } while (std::next_permutation(order.begin(), order.end()));
        return orders;
    }
    for (std::uint32_t a = 0; a < n; ++a)
        for (std::uint32_t b = a + 1; b < n; ++b) {
            Order order = identity;
            std::swap(order[a], order[b]);
            orders.insert({order, false});
        }
    const std::uint32_t faces[6][4] = {{0, 1, 5, 4}, {3, 2, 6, 7}, {0, 1, 2, 3},
                                       {1, 2, 6, 5}, {4, 5, 6, 7}, {0, 3, 7, 4}};
    for (const auto& face : faces)
        for (int s = 0; s < 4; ++s) {
            Order order = identity;
            for (int j = 0; j < 4; ++j) order[face[j]] = face[(s - j + 4) % 4];
            orders.insert({order, false});
        }
    return orders;
}

using Corners = std::vector<std::array<double, 3>>;

// Nodes 1, 2, ... of the model at the corners, placed.
std::vector<MyNode*> placed_nodes(TestModel& model, const Corners& corners,
                                  const Placement& placement)
{
    std::vector<MyNode*> nodes;
    for (const auto& c : corners) {
        const std::array<double, 3> p = placement(c[0], c[1], c[2]);
        nodes.push_back(
            model.add_node(static_cast<std::uint32_t>(nodes.size() + 1), p[0], p[1], p[2]));
    }
    return nodes;
}

// Sound elements of the 4-node quadrilateral (d = 2) and the 8-node hexahedron
// (d = 3), by name: the unit square and cube, trapezoids and frustums whose short
// side is 0.05 to 0.6 of the long one (centred, and flush with one side), and
// the seven elements of the distorted solid patch of the sound models, whose
// element 4 has a slightly re-entrant corner.
std::vector<std::pair<std::string, Corners>> sound_elements(int d)
{
    std::vector<std::pair<std::string, Corners>> elements;
    const double ratios[] = {0.05, 0.1, 0.2, 0.27, 0.4, 0.6};
    if (d == 2) {
        elements.push_back({"unit square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}});
        for (double r : ratios) {
            const std::string ratio = std::to_string(r);
            const double a = 0.5 - r / 2, b = 0.5 + r / 2;
            elements.push_back(
                {"trapezoid " + ratio, {{0, 0, 0}, {1, 0, 0}, {b, 0.5, 0}, {a, 0.5, 0}}});
            elements.push_back(
                {"right trapezoid " + ratio, {{0, 0, 0}, {1, 0, 0}, {r, 0.5, 0}, {0, 0.5, 0}}});
        }
        return elements;
    }
    elements.push_back({"unit cube",
                        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                         {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}});
    for (double r : ratios) {
        const std::string ratio = std::to_string(r);
        const double a = 0.5 - r / 2, b = 0.5 + r / 2;
        elements.push_back({"frustum " + ratio,
                            {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                             {a, a, 0.5}, {b, a, 0.5}, {b, b, 0.5}, {a, b, 0.5}}});
        elements.push_back({"frustum flush with a corner " + ratio,
                            {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                             {0, 0, 0.5}, {r, 0, 0.5}, {r, r, 0.5}, {0, r, 0.5}}});
        elements.push_back({"trapezoidal prism " + ratio,
                            {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                             {a, 0, 0.5}, {b, 0, 0.5}, {b, 1, 0.5}, {a, 1, 0.5}}});
    }
    for (std::size_t e = 0; e < kv_test::SolidPatch::elements.size(); ++e) {
        Corners corners;
        for (int node : kv_test::SolidPatch::elements[e])
            corners.push_back(kv_test::SolidPatch::nodes[node - 1]);
        elements.push_back({"solid patch element " + std::to_string(e + 1), corners});
    }
    return elements;
}

// Whether the Jacobian determinant of the hexahedron with the corners c is at
// least `least` at every point of a grid of n + 1 points along each natural
// coordinate.
bool hexahedron_determinant_at_least(const Corners& c, double least, int n)
{
    const std::vector<std::array<int, 3>> natural = natural_corners(3);
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
            for (int k = 0; k <= n; ++k) {
                const double xi[3] = {-1.0 + 2.0 * i / n, -1.0 + 2.0 * j / n, -1.0 + 2.0 * k / n};
                double J[3][3] = {};
                for (int node = 0; node < 8; ++node) {
                    const std::array<int, 3>& s = natural[node];
                    const double f[3] = {1.0 + s[0] * xi[0], 1.0 + s[1] * xi[1],
                                         1.0 + s[2] * xi[2]};
                    const double d[3] = {s[0] * f[1] * f[2] / 8, s[1] * f[0] * f[2] / 8,
                                         s[2] * f[0] * f[1] / 8};
                    for (int a = 0; a < 3; ++a)
                        for (int b = 0; b < 3; ++b) J[a][b] += d[a] * c[node][b];
                }
                const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                                   J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                                   J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
                if (!(det >= least)) return false;
            }
    return true;
}

// Hexahedra made of the unit cube by moving every corner by 0.6 to 1.2 of a
// side in a direction drawn at random (to two decimals, from a fixed seed),
// kept when clearly sound: their determinant on a fine grid at least 0.01 (the
// cube's is 0.125). Faces bent so far may look crossed.
std::vector<Corners> bent_hexahedra(std::size_t count)
{
    std::mt19937 draw(2026);
    const auto uniform = [&draw](double low, double high) {
        return low + (high - low) * (static_cast<double>(draw()) / 4294967296.0);
    };
    std::vector<Corners> sound;
    const std::vector<std::array<int, 3>> natural = natural_corners(3);
    while (sound.size() < count) {
        Corners corners;
        for (const auto& corner : natural) {
            double v[3], length;
            do {
                for (double& component : v) component = uniform(-1.0, 1.0);
                length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            } while (length > 1.0 || length < 0.1);
            const double move = uniform(0.6, 1.2) / length;
            std::array<double, 3> moved;
            for (int a = 0; a < 3; ++a)
                moved[a] = (corner[a] + 1) / 2 + std::round(move * v[a] * 100.0) / 100.0;
            corners.push_back(moved);
        }
        if (hexahedron_determinant_at_least(corners, 0.01, 10)) sound.push_back(corners);
    }
    return sound;
}

const Kind& kind_named(const std::string& name)
{
    for (const Kind& kind : catalogue())
        if (kind.name == name) return kind;
    throw std::logic_error("no element class " + name);
}

}  // namespace

// Every order of a sound element's nodes that is not one of the element's own
// turns is refused: clockwise, folded, or crossed (two sides of a quadrilateral
// that cross, a face of a hexahedron that crosses itself or is walked clockwise
// seen from outside), although many of these stay positive at every integration
// point and at the centre. The turns give the element itself and are accepted,
// whatever their corners look like, wherever the element is and however large.
// Corners collapsed onto one another touch but do not cross: a quadrilateral
// made a triangle, a hexahedron made a wedge (a face collapsed onto an edge) or a
// pyramid (its top face onto a point) is accepted as given. So is a hexahedron
// whose faces are bent so far that one looks like a bow tie seen along its mean
// normal, its determinant positive everywhere; none of these has a note.
TEST(ElementCatalogue, EveryNodeOrderButTheElementsOwnTurnsIsRefused)
{
    for (const char* name : {"Quad4pss", "Hex8"}) {
        const Kind& kind = kind_named(name);
        const int d = dimension(kind.family);
        const std::map<Order, bool> orders = orders_to_try(d);
        for (const auto& element : sound_elements(d)) {
            for (const Placement& placement : placements()) {
                SCOPED_TRACE(element.first + " " + placement.name);
                Materials m;
                TestModel model;
                // A slightly re-entrant corner is named on the screen.
                kv_test::CerrCapture notes;
                const std::vector<MyNode*> corners = placed_nodes(model, element.second, placement);
                int refused = 0;
                for (const auto& tried : orders) {
                    std::vector<MyNode*> nodes;
                    for (std::uint32_t i : tried.first) nodes.push_back(corners[i]);
                    FiniteElement* ordered =
                        kind.make(model, 99, node_array(nodes), &m.steel, &m.plate);
                    std::string message;
                    try {
                        ordered->check_shape();
                    } catch (const kelvaned_error& error) {
                        message = error.what();
                        ++refused;
                    }
                    EXPECT_EQ(message.empty(), tried.second)
                        << ::testing::PrintToString(tried.first) << ": " << message;
                    if (!message.empty()) {
                        EXPECT_TRUE(
                            message.rfind("element 99 is numbered clockwise or folded: ", 0) == 0 ||
                            message.rfind("element 99 is crossed: ", 0) == 0)
                            << message;
                    }
                }
                EXPECT_EQ(refused, d == 2 ? 20 : static_cast<int>(orders.size()) - 24);
            }
        }
    }
    std::vector<std::pair<const char*, Corners>> accepted = {
        {"Quad4pss", {{0, 0, 0}, {1, 0, 0}, {0.5, 0.8, 0}, {0.5, 0.8, 0}}},
        {"Hex8",
         {{0, 0, 0}, {1, 0, 0}, {0.5, 1, 0}, {0.5, 1, 0},
          {0, 0, 1}, {1, 0, 1}, {0.5, 1, 1}, {0.5, 1, 1}}},
        {"Hex8",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
          {0.4, 0.6, 0.7}, {0.4, 0.6, 0.7}, {0.4, 0.6, 0.7}, {0.4, 0.6, 0.7}}},
        {"Hex8",
         {{0, 0, 0}, {0.8, 0.2, -0.7}, {1.3, 0.4, -0.3}, {0, 1, 0},
          {0, 0, 1}, {1.5, 0.1, 1.6}, {0.4, 0.9, 1.1}, {0, 1, 1}}},
        {"Hex8",
         {{-0.36, -0.47, -0.27}, {0.41, -0.20, -0.92}, {1.03, 0.86, -0.95}, {-0.57, 0.73, -0.66},
          {0.47, -0.40, 0.48}, {1.60, 0.73, 1.19}, {1.10, 0.58, 1.84}, {0.11, -0.07, 0.92}}},
    };
#ifdef NDEBUG
    const std::size_t bent_count = 400;
#else
    // The first of them in a build without optimisation (the sanitizer build).
    const std::size_t bent_count = 60;
#endif
    for (const Corners& bent : bent_hexahedra(bent_count)) accepted.push_back({"Hex8", bent});
    for (const auto& element : accepted) {
        for (const Placement& placement : placements()) {
            SCOPED_TRACE(std::string("accepted ") + element.first + " " + placement.name);
            Materials m;
            TestModel model;
            const std::vector<MyNode*> nodes = placed_nodes(model, element.second, placement);
            FiniteElement* made =
                kind_named(element.first).make(model, 99, node_array(nodes), &m.steel, &m.plate);
            std::string note;
            EXPECT_NO_THROW(note = made->check_shape());
            EXPECT_EQ(note, "");
        }
    }
}

namespace {

// The least Jacobian determinant of a plane element over `grid`, the natural
// derivatives at a set of places; X holds the nodes (x, y), one a row. The search
// stops at the first place below -stop.
double least_on_grid(const std::vector<Matrix>& grid, const Matrix& X, double stop)
{
    double least = 1e300;
    for (const Matrix& G : grid) {
        double J[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
        for (unsigned k = 1; k <= G.size2(); ++k)
            for (unsigned i = 0; i < 2; ++i)
                for (unsigned j = 0; j < 2; ++j) J[i][j] += G(i + 1, k) * X(k, j + 1);
        least = std::min(least, J[0][0] * J[1][1] - J[0][1] * J[1][0]);
        if (least < -stop) break;
    }
    return least;
}

// Natural places of a fine grid over the square (steps of 1/30) or the
// triangle (steps of 1/60), those of the lattice of steps of 1/3 or 1/6 first.
std::vector<Vector> fine_grid(bool triangle)
{
    const int n = 60;
    std::vector<Vector> coarse, fine;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n - (triangle ? i : 0); ++j) {
            Vector place(triangle ? 3 : 2);
            if (triangle) {
                place(1) = static_cast<double>(i) / n;
                place(2) = static_cast<double>(j) / n;
                place(3) = 1.0 - place(1) - place(2);
            } else {
                place(1) = -1.0 + 2.0 * i / n;
                place(2) = -1.0 + 2.0 * j / n;
            }
            (i % 10 == 0 && j % 10 == 0 ? coarse : fine).push_back(place);
        }
    coarse.insert(coarse.end(), fine.begin(), fine.end());
    return coarse;
}

}  // namespace

// Every order of the nodes of a unit square of 8-node quadrilaterals and of a
// 6-node triangle with curved sides is refused exactly when it folds the element
// somewhere, wherever the element lies and however large it is. Whether an order
// folds is told here by a fine search of the determinant, which is either
// clearly negative somewhere or clearly positive everywhere for every order of
// these two. Among the folded orders are some whose determinant is positive at
// every integration point and at every point of the lattice of the nodes'
// places (64 orders of the square, 9 of the triangle) and negative between
// them. A build without optimisation (the sanitizer build) tries every 29th
// order and every order that the coarse points of the search leave in doubt.
TEST(ElementCatalogue, EveryOrderOfAQuadraticElementIsRefusedExactlyWhereItFolds)
{
#ifdef NDEBUG
    const std::size_t every = 1;
#else
    const std::size_t every = 29;
#endif
    const struct {
        bool quadrilateral;
        Corners nodes;
        int sound;
        int between;
    } elements[] = {
        {true,
         {{0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}, {1, 0.5, 0}, {1, 1, 0}, {0.5, 1, 0}, {0, 1, 0},
          {0, 0.5, 0}},
         4, 64},
        {false,
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.4, 0, 0}, {0.65, 0.35, 0}, {0.05, 0.65, 0}},
         3, 9},
    };
    for (const auto& element : elements) {
        SCOPED_TRACE(element.quadrilateral ? "8-node square" : "6-node triangle");
        Materials m;
        // The perimeter-order quadrilateral, the corners-first triangle.
        const auto make = [&](const std::vector<MyNode*>& nodes) -> std::unique_ptr<FiniteElement> {
            if (element.quadrilateral)
                return std::make_unique<Quad8pss>(99, node_array(nodes), &m.steel, &m.plate, false);
            return std::make_unique<Tri6pss>(99, node_array(nodes), &m.steel, &m.plate, true);
        };
        TestModel reference;
        const std::vector<MyNode*> nodes = placed_nodes(reference, element.nodes, placements().front());
        const std::unique_ptr<FiniteElement> sound = make(nodes);
        const KelVane::Shape& shape = dynamic_cast<const NumIntElement&>(*sound).get_shape();
        std::vector<Matrix> grid, coarse = shape.rule().dNdxi;
        for (const Vector& place : fine_grid(!element.quadrilateral))
            grid.push_back(shape.get_dNdxi(place));
        for (const Vector& place : shape.fold_check_points())
            coarse.push_back(shape.get_dNdxi(place));

        // Which orders fold the element, on its nodes at the origin.
        const std::size_t n = element.nodes.size();
        const auto coordinates = [&](const Order& order) {
            Matrix X(static_cast<unsigned>(n), 2);
            for (std::size_t k = 0; k < n; ++k)
                for (unsigned j = 0; j < 2; ++j) X(k + 1, j + 1) = element.nodes[order[k]][j];
            return X;
        };
        Order order(n);
        for (std::size_t k = 0; k < n; ++k) order[k] = static_cast<std::uint32_t>(k);
        const double scale = least_on_grid(grid, coordinates(order), 0.0);
        ASSERT_GT(scale, 0.0);
        std::vector<std::pair<Order, bool>> tried;
        int sound_orders = 0, between = 0;
        std::size_t index = 0;
        do {
            const double least = least_on_grid(grid, coordinates(order), 1e-3 * scale);
            // Clearly folded or clearly sound.
            ASSERT_GT(std::fabs(least), 1e-3 * scale) << ::testing::PrintToString(order);
            const bool in_doubt = least_on_grid(coarse, coordinates(order), 1e-9 * scale) >=
                                  -1e-9 * scale;
            if (least > 0.0) ++sound_orders;
            if (least < 0.0 && in_doubt) ++between;
            if (index++ % every == 0 || in_doubt) tried.push_back({order, least < 0.0});
        } while (std::next_permutation(order.begin(), order.end()));
        EXPECT_EQ(sound_orders, element.sound);
        EXPECT_EQ(between, element.between);

        for (const Placement& placement : placements()) {
            SCOPED_TRACE(placement.name);
            TestModel model;
            const std::vector<MyNode*> placed = placed_nodes(model, element.nodes, placement);
            for (const auto& candidate : tried) {
                std::vector<MyNode*> ordered;
                for (std::uint32_t i : candidate.first) ordered.push_back(placed[i]);
                std::string message;
                try {
                    make(ordered)->check_shape();
                } catch (const kelvaned_error& error) {
                    message = error.what();
                }
                EXPECT_EQ(!message.empty(), candidate.second)
                    << ::testing::PrintToString(candidate.first) << ": " << message;
                if (!message.empty()) {
                    EXPECT_EQ(message.rfind("element 99 is numbered clockwise or folded: ", 0), 0u)
                        << message;
                }
            }
        }
    }
}

// A quadratic element may have its nodes off their places by up to 1e-4 of its
// size before a determinant of 0 at a node counts as a fold: a quarter-point
// element written with six digits runs. An 8-node square whose mid-side node 2
// sits at f of its bottom side from node 1 (a quarter point at f = 0.25) has the
// determinant (1 - 4 f) / 4 at node 1; the allowance takes it to 0 for f down to
// 0.25 - 1.4e-4. Short of the quarter point by 2e-5 it runs, by 5e-4 it is
// refused, wherever the element lies and however large it is.
TEST(ElementCatalogue, AllowanceForNodesOffTheirPlaceGoesWithTheElementsSize)
{
    const struct {
        double f;
        bool refused;
    } cases[] = {{0.25, false}, {0.25 - 2e-5, false}, {0.25 - 5e-4, true}};
    for (const auto& c : cases) {
        for (const Placement& placement : placements()) {
            SCOPED_TRACE("f = " + std::to_string(c.f) + " " + placement.name);
            const Corners square = {{0, 0, 0}, {c.f, 0, 0}, {1, 0, 0}, {1, 0.5, 0},
                                    {1, 1, 0}, {0.5, 1, 0}, {0, 1, 0}, {0, 0.5, 0}};
            Materials m;
            TestModel model;
            const std::vector<MyNode*> nodes = placed_nodes(model, square, placement);
            FiniteElement* element =
                kind_named("Quad8pss").make(model, 99, node_array(nodes), &m.steel, &m.plate);
            std::string message;
            try {
                element->check_shape();
            } catch (const kelvaned_error& error) {
                message = error.what();
            }
            EXPECT_EQ(!message.empty(), c.refused) << message;
            if (c.refused) {
                EXPECT_EQ(message.rfind("element 99 is numbered clockwise or folded: Jacobian "
                                        "determinant ",
                                        0),
                          0u)
                    << message;
                EXPECT_NE(message.find(" away from its integration points"), std::string::npos)
                    << message;
            }
        }
    }
}
