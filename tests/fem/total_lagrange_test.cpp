#include <array>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "elastic.h"
#include "errors.h"
#include "fem/test_model.h"
#include "geometry.h"
#include "integration.h"
#include "material.h"
#include "numint_element.h"
#include "plane_solid.h"
#include "process_values.h"
#include "shape.h"
#include "tensor.h"
#include "total_lagrange.h"

using KelVane::Matrix;
using KelVane::Vector;
using kv_test::CerrCapture;
using kv_test::TestModel;

namespace {

// E and nu chosen so that the plane-strain factor E / ((1 + nu)(1 - 2 nu)) is 2000.
const double young = 1250.0;
const double poisson = 0.25;
const double plane_strain_c = 2000.0;

enum class Kind { quad4, quad8 };
const Kind both_kinds[] = {Kind::quad4, Kind::quad8};

const char* name_of(Kind kind) { return kind == Kind::quad4 ? "quad4" : "quad8"; }

using Point = std::array<double, 2>;

// Node positions in the element's order; the 8-node element walks the perimeter
// (corner, mid-side, corner, ...), its mid-side nodes moved off the middle of
// their straight edges.
std::vector<Point> positions(Kind kind, const std::array<Point, 4>& corners)
{
    if (kind == Kind::quad4) return {corners[0], corners[1], corners[2], corners[3]};
    std::vector<Point> list;
    for (int i = 0; i < 4; ++i) {
        const Point& a = corners[i];
        const Point& b = corners[(i + 1) % 4];
        list.push_back(a);
        const double t = 0.5 + 0.04 * (i - 1.5);
        list.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
    }
    return list;
}

const std::array<Point, 4> unit_square = {{{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}}};
const std::array<Point, 4> distorted = {{{0.0, 0.0}, {2.0, 0.2}, {2.3, 1.9}, {-0.1, 1.6}}};

// Small-strain quadrilaterals with the same shapes, for comparison.
class SmallStrainQuad : public NumInt2D {
public:
    SmallStrainQuad(Kind kind, KelVane::Node** nodes, KelVane::Material_type* material)
        : NumInt2D(1, nodes, kind == Kind::quad4 ? 4 : 8, kind == Kind::quad4 ? 8 : 16, material,
                   nullptr, 1, 4)
    {
        if (kind == Kind::quad4)
            shape = new KelVane::Quad_lin(2, 2);
        else
            shape = new KelVane::Quad_quad(2, 2);
    }
};

// One total-Lagrange element with free x and y dofs on every node, numbered in
// element order so that a vector in element dof order is also the global one.
class OneElement {
public:
    OneElement(Kind kind, const std::array<Point, 4>& corners, int stress_state = 1,
               double thickness = 1.0, KelVane::Material_type* other_material = nullptr)
        : material(1), geometry(1), kind(kind)
    {
        material.set_young(young);
        material.set_poisson(poisson);
        geometry.set_thick(thickness);
        KelVane::Material_type* used = other_material ? other_material : &material;
        std::uint32_t number = 1;
        for (const Point& p : positions(kind, corners))
            nodes.push_back(model.add_node(number++, p[0], p[1]));
        KelVane::Node** array = new KelVane::Node*[nodes.size()];
        for (std::size_t k = 0; k < nodes.size(); ++k) array[k] = nodes[k];
        KelVane::Geometry* g = stress_state == 2 ? &geometry : nullptr;
        if (stress_state == 1 && kind == Kind::quad4)
            element = model.add_element<TLQuad4psn>(1, array, used, g);
        else if (stress_state == 1)
            element = model.add_element<TLQuad8psn>(1, array, used, g);
        else if (kind == Kind::quad4)
            element = model.add_element<TLQuad4>(1, array, used, g, stress_state, 2, 2);
        else
            element = model.add_element<TLQuad8>(1, array, used, g, stress_state, 2, 2);
    }

    void setup()
    {
        model.setup();
        EXPECT_EQ(model.n_free, 2 * nodes.size());
    }

    // A displacement field evaluated at the reference positions, in dof order.
    template <class Field>
    Vector field(Field u) const
    {
        Vector v(static_cast<unsigned>(2 * nodes.size()));
        for (std::size_t k = 0; k < nodes.size(); ++k) {
            double x, y, z;
            nodes[k]->get_coordinates(x, y, z);
            const Point d = u(Point{x, y});
            v[2 * k] = d[0];
            v[2 * k + 1] = d[1];
        }
        return v;
    }

    // Sets the running step's increments and updates the element.
    void step(const Vector& du)
    {
        for (MyNode* node : nodes) {
            node->clear_increment();
            node->add_increment(du);
        }
        element->update_state();
    }

    Vector forces_at(const Vector& du)
    {
        step(du);
        return element->internal_forces();
    }

    // A node array for a second element on the same nodes.
    KelVane::Node** node_copy() const
    {
        KelVane::Node** array = new KelVane::Node*[nodes.size()];
        for (std::size_t k = 0; k < nodes.size(); ++k) array[k] = nodes[k];
        return array;
    }

    KelVane::Structural_Point& point(int k)
    {
        return dynamic_cast<KelVane::Structural_Point&>(element->get_point(k));
    }

    Elastic_type material;
    KelVane::Geometry geometry;
    Kind kind;
    TestModel model;
    std::vector<MyNode*> nodes;
    TLNumIntStructElement* element = nullptr;
};

// A smooth but non-linear set of nodal values, in dof order.
Vector wobble(unsigned n, double size, double phase)
{
    Vector v(n);
    for (unsigned i = 0; i < n; ++i) v[i] = size * std::sin(1.7 * i + phase);
    return v;
}

double max_abs(const Matrix& A)
{
    double m = 0.0;
    for (unsigned i = 1; i <= A.size1(); ++i)
        for (unsigned j = 1; j <= A.size2(); ++j) m = std::max(m, std::fabs(A(i, j)));
    return m;
}

// The rows of an "element stresses" block: four numbers per point.
std::vector<std::array<double, 4>> listing_rows(TLNumIntStructElement& element)
{
    std::ostringstream os;
    element.print_nodal_results(os);
    std::istringstream is(os.str());
    std::string word;
    unsigned number = 0;
    is >> word >> number;
    std::vector<std::array<double, 4>> rows;
    int p = 0;
    std::array<double, 4> row{};
    while (is >> p >> row[0] >> row[1] >> row[2] >> row[3]) rows.push_back(row);
    return rows;
}

Tensor2Gen rotation(double angle)
{
    Tensor2Gen R(1);
    R(1, 1) = R(2, 2) = std::cos(angle);
    R(2, 1) = std::sin(angle);
    R(1, 2) = -R(2, 1);
    return R;
}

void expect_near(const Matrix& A, const Matrix& B, double tolerance, const std::string& label)
{
    ASSERT_EQ(A.size1(), B.size1()) << label;
    ASSERT_EQ(A.size2(), B.size2()) << label;
    for (unsigned i = 1; i <= A.size1(); ++i)
        for (unsigned j = 1; j <= A.size2(); ++j)
            EXPECT_NEAR(A(i, j), B(i, j), tolerance) << label << " entry " << i << "," << j;
}

void expect_near(const Tensor2& A, const Tensor2& B, double tolerance, const std::string& label)
{
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(A(i, j), B(i, j), tolerance) << label << " component " << i << "," << j;
}

}  // namespace

// Without motion F = I and the stress is zero, so the initial-stress part
// vanishes and the tangent is the small-strain plane-strain stiffness.
TEST(TotalLagrange, UndeformedTangentIsTheSmallStrainStiffness)
{
    for (Kind kind : both_kinds) {
        OneElement tl(kind, distorted);
        EXPECT_EQ(tl.element->get_nr_nodes(), kind == Kind::quad4 ? 4u : 8u);
        EXPECT_EQ(tl.element->get_nr_local_dofs(), kind == Kind::quad4 ? 8u : 16u);
        EXPECT_EQ(tl.element->get_stress_state(), 1u);
        EXPECT_EQ(tl.element->nr_points(), 4);
        EXPECT_TRUE(tl.element->symmetric());

        SmallStrainQuad linear(kind, tl.node_copy(), &tl.material);
        Vector untouched(2, 7.0);
        const Matrix K0 = linear.stiffness_matrix(untouched);
        ASSERT_GT(max_abs(K0), 100.0);
        expect_near(tl.element->stiffness_matrix(untouched), K0, 1e-12 * max_abs(K0),
                    name_of(kind));
        EXPECT_EQ(untouched.size(), 2u);
    }
}

// BL is the derivative of the Green-Lagrange strain vector by the element dofs at
// the current F, and with F = I it is the small-strain B with the same volume factor.
TEST(TotalLagrange, BLIsTheDerivativeOfTheGreenLagrangeStrain)
{
    std::array<Point, 4> off_axis = distorted;
    for (Point& p : off_axis) p[0] += 1.0;  // positive radii for axisymmetry
    for (int state : {1, 2, 3}) {
        OneElement tl(Kind::quad4, off_axis, state, 0.5);
        TLNumIntStructElement& el = *tl.element;
        Matrix X;
        getCoordinateMatrix(el, X, 2);
        const KelVane::IntLocs locations = el.get_shape().get_int_locs();

        for (int p = 1; p <= el.nr_points(); ++p) {
            const Vector location = locations.coordinates(p);
            double det_J = 0.0;
            const Matrix dNdX = el.get_dNdX(location, X, det_J);
            const Matrix N = el.get_shape().get_N(location);
            const double r = (N * X)(1, 1);

            // F of a nodal displacement set; the hoop stretch is 1 + u_r / r.
            auto gradient = [&](const Vector& u) {
                Tensor2Gen F(1);
                for (int i = 1; i <= 2; ++i)
                    for (int j = 1; j <= 2; ++j)
                        for (unsigned k = 1; k <= 4; ++k)
                            F(i, j) += u(2 * (k - 1) + static_cast<unsigned>(i)) * dNdX(j, k);
                if (state == 3) {
                    double ur = 0.0;
                    for (unsigned k = 1; k <= 4; ++k) ur += N(1, k) * u(2 * k - 1);
                    F(3, 3) = 1.0 + ur / r;
                }
                return F;
            };
            auto green = [&](const Vector& u) {
                const Tensor2Gen F = gradient(u);
                Tensor2Sym E = AtA(F);
                for (int i = 1; i <= 3; ++i) E(i, i) -= 1.0;
                return Tensor2StrainVector(0.5 * E, false, state);
            };

            double factor = 0.0, small_factor = 0.0;
            const Matrix B = el.get_B_mat(location, X, small_factor);
            const Matrix BL0 = el.get_BL_mat(location, X, Tensor2Gen(1), factor);
            EXPECT_DOUBLE_EQ(factor, small_factor) << "state " << state;
            expect_near(BL0, B, 1e-12, "state " + std::to_string(state));

            const Vector u = wobble(8, 0.2, 0.4 * p);
            const Matrix BL = el.get_BL_mat(location, X, gradient(u), factor);
            const double h = 1e-6;
            for (unsigned j = 1; j <= 8; ++j) {
                Vector up = u, down = u;
                up(j) += h;
                down(j) -= h;
                const Vector dE = (green(up) - green(down)) * (0.5 / h);
                for (unsigned i = 1; i <= dE.size(); ++i)
                    EXPECT_NEAR(BL(i, j), dE(i), 1e-7) << "state " << state << " row " << i
                                                      << " dof " << j;
            }
        }
    }
}

// A rigid rotation, however large, strains nothing: F = R, the Green-Lagrange
// strain increment is zero, and so are the stresses and the internal forces.
TEST(TotalLagrange, RigidRotationInOneIncrementIsStressFree)
{
    for (Kind kind : both_kinds) {
        for (double degrees : {90.0, 37.0, -150.0}) {
            OneElement tl(kind, distorted);
            tl.setup();
            const Tensor2Gen R = rotation(degrees * 3.14159265358979 / 180.0);
            tl.step(tl.field([&](Point X) {
                return Point{R(1, 1) * X[0] + R(1, 2) * X[1] - X[0],
                             R(2, 1) * X[0] + R(2, 2) * X[1] - X[1]};
            }));
            for (int p = 1; p <= 4; ++p) {
                expect_near(tl.element->current_gradient(p), R, 1e-12, name_of(kind));
                const Vector stress = tl.point(p).get_stress_xp();
                for (unsigned i = 0; i < stress.size(); ++i)
                    EXPECT_NEAR(stress[i], 0.0, 1e-9) << name_of(kind) << " " << degrees;
            }
            const Vector f = tl.element->internal_forces();
            EXPECT_LT(norm(f), 1e-9) << name_of(kind) << " " << degrees;
        }
    }
}

// Uniaxial stretch lambda of a unit square with y held: F = diag(lambda, 1, 1),
// E11 = (lambda^2 - 1) / 2, S = D E. The first Piola-Kirchhoff stress P = F S
// gives the edge forces: sum of fx on the edge X = 1 is lambda S11 t, sum of fy
// on Y = 1 is S22 t. The listing shows Cauchy stress F S F^T / lambda:
// lambda S11, S22 / lambda, S33 / lambda, 0. Reaching lambda in two accepted
// steps gives the same state as one step.
TEST(TotalLagrange, UniaxialStretchMatchesTheClosedForm)
{
    const double lambda = 1.3;
    const double E11 = 0.5 * (lambda * lambda - 1.0);
    struct Case {
        int state;
        double thickness, S11, S22, S33;
    };
    const double pss = young / (1.0 - poisson * poisson);
    const Case cases[] = {
        {1, 1.0, plane_strain_c * (1 - poisson) * E11, plane_strain_c * poisson * E11,
         poisson * plane_strain_c * E11},
        {2, 0.5, pss * E11, pss * poisson * E11, 0.0},
    };
    for (const Case& c : cases)
        for (Kind kind : both_kinds)
            for (int steps : {1, 2}) {
                OneElement tl(kind, unit_square, c.state, c.thickness);
                tl.setup();
                if (steps == 2) {
                    tl.step(tl.field([](Point X) { return Point{0.1 * X[0], 0.0}; }));
                    tl.model.commit();
                }
                const double done = steps == 2 ? 1.1 : 1.0;
                tl.step(tl.field([&](Point X) { return Point{(lambda - done) * X[0], 0.0}; }));
                const std::string label = std::string(name_of(kind)) + " state " +
                                          std::to_string(c.state) + " steps " +
                                          std::to_string(steps);

                for (int p = 1; p <= 4; ++p) {
                    const Vector S = tl.point(p).get_stress();
                    EXPECT_NEAR(S(1), c.S11, 1e-9) << label;
                    EXPECT_NEAR(S(2), c.S22, 1e-9) << label;
                    EXPECT_NEAR(S(3), 0.0, 1e-9) << label;
                    EXPECT_NEAR(tl.element->current_gradient(p)(1, 1), lambda, 1e-12) << label;
                }
                const Vector f = tl.element->internal_forces();
                double right_x = 0.0, top_y = 0.0, all_x = 0.0, all_y = 0.0;
                for (std::size_t k = 0; k < tl.nodes.size(); ++k) {
                    double x, y, z;
                    tl.nodes[k]->get_coordinates(x, y, z);
                    if (std::fabs(x - 1.0) < 1e-9) right_x += f[2 * k];
                    if (std::fabs(y - 1.0) < 1e-9) top_y += f[2 * k + 1];
                    all_x += f[2 * k];
                    all_y += f[2 * k + 1];
                }
                EXPECT_NEAR(right_x, lambda * c.S11 * c.thickness, 1e-9) << label;
                EXPECT_NEAR(top_y, c.S22 * c.thickness, 1e-9) << label;
                EXPECT_NEAR(all_x, 0.0, 1e-9) << label;
                EXPECT_NEAR(all_y, 0.0, 1e-9) << label;

                const auto rows = listing_rows(*tl.element);
                ASSERT_EQ(rows.size(), 4u) << label;
                for (const auto& row : rows) {
                    EXPECT_NEAR(row[0], lambda * c.S11, 1e-3 * c.S11) << label;
                    EXPECT_NEAR(row[1], c.S22 / lambda, 1e-3 * c.S11) << label;
                    EXPECT_NEAR(row[2], c.S33 / lambda, 1e-3 * c.S11) << label;
                    EXPECT_NEAR(row[3], 0.0, 1e-3 * c.S11) << label;
                }
            }
}

// After a stretch is accepted, rotating the deformed element rigidly changes
// nothing in S; F becomes R F, every nodal force turns with R, and the Cauchy
// stress of the listing becomes R sigma R^T.
TEST(TotalLagrange, RotationAfterStretchTurnsForcesAndCauchyStress)
{
    for (Kind kind : both_kinds) {
        OneElement tl(kind, distorted);
        tl.setup();
        const unsigned n = static_cast<unsigned>(2 * tl.nodes.size());
        const Vector u1 = wobble(n, 0.15, 0.2);
        tl.step(u1);
        tl.model.commit();

        std::vector<Vector> S1;
        std::vector<Tensor2Gen> F1;
        for (int p = 1; p <= 4; ++p) {
            S1.push_back(tl.point(p).get_stress());
            F1.push_back(tl.element->current_gradient(p));
        }
        const Vector f1 = tl.element->internal_forces();
        const auto sigma1 = listing_rows(*tl.element);

        const double angle = 1.1;
        const Tensor2Gen R = rotation(angle);
        // Every current position x = X + u1 moves to R x.
        const Vector x1 = tl.field([](Point X) { return X; }) + u1;
        Vector du(n);
        for (unsigned k = 0; k < n; k += 2) {
            du[k] = R(1, 1) * x1[k] + R(1, 2) * x1[k + 1] - x1[k];
            du[k + 1] = R(2, 1) * x1[k] + R(2, 2) * x1[k + 1] - x1[k + 1];
        }
        tl.step(du);

        for (int p = 1; p <= 4; ++p) {
            const Vector S2 = tl.point(p).get_stress();
            for (unsigned i = 1; i <= 3; ++i) EXPECT_NEAR(S2(i), S1[p - 1](i), 1e-8);
            expect_near(tl.element->current_gradient(p), R * F1[p - 1], 1e-12, name_of(kind));
        }
        const Vector f2 = tl.element->internal_forces();
        for (unsigned k = 0; k < n; k += 2) {
            EXPECT_NEAR(f2[k], R(1, 1) * f1[k] + R(1, 2) * f1[k + 1], 1e-8) << name_of(kind);
            EXPECT_NEAR(f2[k + 1], R(2, 1) * f1[k] + R(2, 2) * f1[k + 1], 1e-8) << name_of(kind);
        }
        const auto sigma2 = listing_rows(*tl.element);
        ASSERT_EQ(sigma2.size(), 4u);
        for (std::size_t p = 0; p < 4; ++p) {
            Vector old(4);
            for (unsigned i = 0; i < 4; ++i) old[i] = sigma1[p][i];
            const Tensor2Sym turned = ABAt(R, StressVector2Tensor(old, true, 1));
            const Vector expected = Tensor2StressVector(turned, true, 1);
            // The listing carries four significant digits.
            for (unsigned i = 0; i < 4; ++i)
                EXPECT_NEAR(sigma2[p][i], expected[i], 2e-3 * norm(old)) << name_of(kind);
        }
    }
}

// The tangent is the derivative of the internal forces, material and initial-stress
// parts together, at a deformed state reached after an accepted step.
TEST(TotalLagrange, TangentMatchesFiniteDifferencesOfTheInternalForces)
{
    for (int state : {1, 2})
        for (Kind kind : both_kinds) {
            OneElement tl(kind, distorted, state, 0.5);
            tl.setup();
            const unsigned n = static_cast<unsigned>(2 * tl.nodes.size());
            tl.step(wobble(n, 0.12, 0.9));
            tl.model.commit();

            const Vector u0 = wobble(n, 0.2, 2.1);
            tl.step(u0);
            Vector unused;
            const Matrix K = tl.element->stiffness_matrix(unused);
            const double scale = max_abs(K);
            const double h = 1e-6;
            for (unsigned j = 1; j <= n; ++j) {
                Vector up = u0, down = u0;
                up(j) += h;
                down(j) -= h;
                const Vector column = (tl.forces_at(up) - tl.forces_at(down)) * (0.5 / h);
                for (unsigned i = 1; i <= n; ++i)
                    EXPECT_NEAR(K(i, j), column(i), 1e-6 * scale)
                        << name_of(kind) << " state " << state << " entry " << i << "," << j;
            }
            expect_near(K, transpose(K), 1e-10 * scale, "symmetry");
        }
}

// An expanded-formulation material returns, with the tangent, minus the forces of
// its condensed stress change, which is zero in plane strain; the tangent is that
// of the ordinary material.
TEST(TotalLagrange, ExpandedMaterialFillsTheForceVector)
{
    Elastic_type_xp xp(2);
    xp.set_young(young);
    xp.set_poisson(poisson);
    OneElement plain(Kind::quad4, distorted);
    OneElement expanded(Kind::quad4, distorted, 1, 1.0, &xp);
    plain.setup();
    expanded.setup();
    plain.step(wobble(8, 0.1, 0.5));
    expanded.step(wobble(8, 0.1, 0.5));
    ASSERT_TRUE(expanded.element->is_xp());
    Vector f(3, 9.0), unused;
    const Matrix K0 = plain.element->stiffness_matrix(unused);
    expect_near(expanded.element->stiffness_matrix(f), K0, 1e-9 * max_abs(K0), "xp");
    EXPECT_EQ(norm(f), 0.0);
    EXPECT_EQ(f.size(), 8u);
}

// Every update starts again from the committed gradient: repeated and replaced
// increments do not accumulate, and after accept a zero increment keeps the state.
TEST(TotalLagrange, UpdatesReplaceEachOtherUntilAccepted)
{
    OneElement tl(Kind::quad8, distorted);
    tl.setup();
    const Vector du1 = wobble(16, 0.1, 0.3);
    const Vector du2 = wobble(16, 0.2, 1.3);
    tl.step(du1);
    const Tensor2Gen F_first = tl.element->current_gradient(3);
    const Vector S_first = tl.point(3).get_stress();
    tl.step(du2);
    tl.step(du1);
    tl.step(du1);
    expect_near(tl.element->current_gradient(3), F_first, 0.0, "repeated");
    expect_near(tl.element->committed_gradient(3), Tensor2Gen(1), 0.0, "committed");
    for (unsigned i = 1; i <= 3; ++i) EXPECT_DOUBLE_EQ(tl.point(3).get_stress()(i), S_first(i));

    tl.model.commit();
    tl.step(Vector(16, 0.0));
    for (int p = 1; p <= 4; ++p)
        expect_near(tl.element->current_gradient(p), tl.element->committed_gradient(p), 0.0,
                    "after accept");
    for (unsigned i = 1; i <= 3; ++i) EXPECT_NEAR(tl.point(3).get_stress()(i), S_first(i), 1e-10);
}

// The restart record holds the points' states and then 9 x 4 = 36 committed
// gradient components, row by row; reading it back restores committed and
// current gradients, the stresses and so the internal forces.
TEST(TotalLagrange, RestartRoundTripOfTheGradients)
{
    for (Kind kind : both_kinds) {
        OneElement tl(kind, distorted);
        tl.setup();
        const unsigned n = static_cast<unsigned>(2 * tl.nodes.size());
        tl.step(wobble(n, 0.15, 0.7));
        tl.model.commit();
        std::ostringstream os;
        tl.element->write_restart(os);
        const std::string record = os.str();

        std::istringstream parse(record);
        std::size_t count = 0;
        parse >> count;
        double value = 0.0;
        for (std::size_t i = 0; i < count; ++i) parse >> value;
        parse >> count;
        ASSERT_EQ(count, 36u);
        for (int p = 1; p <= 4; ++p)
            for (int i = 1; i <= 3; ++i)
                for (int j = 1; j <= 3; ++j) {
                    parse >> value;
                    EXPECT_EQ(value, tl.element->committed_gradient(p)(i, j));
                }

        std::unique_ptr<TLNumIntStructElement> copy;
        if (kind == Kind::quad4)
            copy = std::make_unique<TLQuad4psn>(1, tl.node_copy(), &tl.material, nullptr);
        else
            copy = std::make_unique<TLQuad8psn>(1, tl.node_copy(), &tl.material, nullptr);
        std::istringstream is(record);
        copy->read_restart(is);
        for (int p = 1; p <= 4; ++p) {
            expect_near(copy->committed_gradient(p), tl.element->committed_gradient(p), 0.0, "F");
            expect_near(copy->current_gradient(p), tl.element->committed_gradient(p), 0.0, "F");
        }
        const Vector f = tl.element->internal_forces();
        const Vector g = copy->internal_forces();
        EXPECT_GT(norm(f), 1.0);
        EXPECT_LT(norm(f - g), 1e-12 * norm(f));

        // A record cut short does not belong to this element.
        std::istringstream cut(record.substr(0, record.size() - 40));
        EXPECT_THROW(copy->read_restart(cut), KelVane::file_error);
    }
}

// An undeformed element lists the stress of its points itself (F = I); the
// headers, and the result-file header of the structural layer.
TEST(TotalLagrange, ListingAndHeaders)
{
    OneElement tl(Kind::quad4, unit_square);
    Vector strain(3, 0.0);
    strain(1) = 0.001;
    for (int p = 1; p <= 4; ++p) tl.point(p).add_strain_increment(strain);
    result_mode = 1;
    std::ostringstream os;
    tl.element->print_nodal_header(os);
    tl.element->print_nodal_results(os);
    tl.element->print_result_header(os);
    tl.element->write_res_header(os, 3);
    const std::string row = "   1.500e+00   5.000e-01   5.000e-01   0.000e+00\n";
    EXPECT_EQ(os.str(),
              "\n             Sxx         Syy         Szz         Sxy\n"
              "element 1\n"
              "      1" + row + "      2" + row + "      3" + row + "      4" + row + "\n"
              "\n             Sxx         Syy         Sxy\n"
              "Stresses   1         3 3   1   0\n");

    OneElement axisymmetric(Kind::quad4, distorted, 3);
    std::ostringstream header;
    axisymmetric.element->print_result_header(header);
    EXPECT_EQ(header.str(), "\n             Sxx         Syy         Szz         Sxy\n");
}

// The B-matrix operations refuse the stress states they have no rows for.
TEST(TotalLagrange, RefusesStressStatesWithoutBMatricesAndClockwiseElements)
{
    OneElement uniaxial(Kind::quad4, unit_square, 4);
    OneElement solid(Kind::quad4, unit_square, 0);
    Matrix X;
    getCoordinateMatrix(*uniaxial.element, X, 2);
    const Vector location(2, 0.0);
    double factor = 0.0;
    {
        CerrCapture capture;
        EXPECT_THROW(uniaxial.element->get_BL_mat(location, X, Tensor2Gen(1), factor),
                     kelvaned_error);
        EXPECT_EQ(capture.text(), "wrong stress type in TLNumIntStructElement::get_BL_mat()\n");
    }
    {
        CerrCapture capture;
        Matrix BL, BNL;
        EXPECT_THROW(solid.element->get_TL_B_mats(location, X, Tensor2Gen(1), BL, BNL, factor),
                     kelvaned_error);
        EXPECT_EQ(capture.text(), "wrong stress type in TLNumInt2D::get_TL_B_mats()\n");
    }
    // The mirror image of an element runs clockwise: its reference volume would be
    // negative.
    const std::array<Point, 4> mirrored = {
        {{0.0, 0.0}, {-2.0, 0.2}, {-2.3, 1.9}, {0.1, 1.6}}};
    for (Kind kind : both_kinds) {
        OneElement clockwise(kind, mirrored);
        clockwise.setup();
        Vector f;
        EXPECT_THROW(clockwise.element->stiffness_matrix(f), kelvaned_error) << name_of(kind);
        EXPECT_THROW(clockwise.step(Vector(clockwise.nodes.size() * 2, 0.0)), kelvaned_error)
            << name_of(kind);
    }
}
