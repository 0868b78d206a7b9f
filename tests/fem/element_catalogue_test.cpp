// The concrete plane, axisymmetric and solid elements, swept over the whole
// catalogue: what each constructor fixes, and the patch and rigid-body tests on
// meshes of each class (quadratic families with their mid-side nodes, in both
// node orders).

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "device_map.h"
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

// A patch of 2 x 2 (x 2) distorted cells at x >= 1 (so that axisymmetric
// elements lie off the axis): quadrilateral cells, two triangles per cell for
// the triangle families, one hexahedron per cell in 3-D. Quadratic families get
// a node in the middle of every straight edge, shared by the elements on it.
// Nodes on the patch boundary are marked.
class Patch {
public:
    Patch(TestModel& model, const Kind& kind, KelVane::Material_type* material,
          KelVane::Geometry* geometry)
        : model_(model), material_(material), geometry_(geometry),
          three_d_(dimension(kind.family) == 3)
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
        MyNode* node = new_node(x, y, z);
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
// in their other order, a linear quadrilateral or hexahedron with two nodes
// swapped into a bow tie, a triangle clockwise) fold it: the analysis refuses it
// when it starts, although some of these keep a positive Jacobian at every
// integration point.
TEST(ElementCatalogue, NodeOrdersThatFoldTheElementAreRefused)
{
    const std::map<Family, std::vector<std::uint32_t>> folding_orders = {
        {Family::tri3, {0, 2, 1}},
        {Family::tri6, {0, 2, 4, 1, 3, 5}},
        {Family::tri6_alt, {0, 3, 1, 4, 2, 5}},
        {Family::quad4, {0, 1, 3, 2}},
        {Family::quad8, {0, 2, 4, 6, 1, 3, 5, 7}},
        {Family::quad8_alt, {0, 4, 1, 5, 2, 6, 3, 7}},
        {Family::hex8, {0, 1, 3, 2, 4, 5, 7, 6}},
    };
    for (const Kind& kind : catalogue()) {
        SCOPED_TRACE(kind.name);
        Materials m;
        TestModel model;
        Patch patch(model, kind, &m.steel, &m.plate);
        for (FiniteElement* element : patch.elements()) EXPECT_NO_THROW(element->check_shape());

        const FiniteElement* sound = patch.elements().front();
        std::vector<MyNode*> nodes;
        for (std::uint32_t i : folding_orders.at(kind.family))
            nodes.push_back(dynamic_cast<MyNode*>(sound->get_node(i)));
        FiniteElement* folded = kind.make(model, 99, node_array(nodes), &m.steel, &m.plate);
        try {
            folded->check_shape();
            ADD_FAILURE() << "folded element accepted";
        } catch (const kelvaned_error& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("element 99 is numbered clockwise or folded: ", 0), 0u)
                << message;
        }
    }
}
