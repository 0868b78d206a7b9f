#include "numint_element.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <istream>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <wx/dc.h>
#include <wx/string.h>

#include "bernstein.h"
#include "collect_array.h"
#include "device_map.h"
#include "draw_shape.h"
#include "errors.h"
#include "kv_assert.h"
#include "material.h"
#include "node.h"
#include "shape.h"

using KelVane::Matrix;

NumIntElement::NumIntElement()
    : FiniteElement(),
      material(nullptr),
      geometry(nullptr),
      points(nullptr),
      shape(nullptr),
      draw_shape(nullptr),
      point_count(0)
{
}

NumIntElement::~NumIntElement()
{
    if (points != nullptr) {
        for (int k = 0; k < point_count; ++k) delete points[k];
        delete[] points;
    }
    delete shape;
    delete draw_shape;
}

void NumIntElement::init_numint(std::uint32_t number, KelVane::Node** node_list,
                                std::uint32_t node_count, std::uint32_t element_dofs,
                                KelVane::Material_type* material_group,
                                KelVane::Geometry* geometry_group, int stress_state,
                                int number_of_points)
{
    KV_ASSERT(points == nullptr);
    KV_ASSERT(number_of_points >= 0);
    element_number = number;
    nodes = node_list;
    number_of_nodes = node_count;
    number_of_local_dofs = element_dofs;
    material = material_group;
    geometry = geometry_group;

    if (material == nullptr) throw kelvaned_error("element " + std::to_string(number) +
                                                  " has no material");
    // The array is complete (all null) before the first point exists, so that a
    // failing create_point leaves nothing behind for the destructor to trip on.
    points = new KelVane::Material_Point*[number_of_points]();
    point_count = number_of_points;
    for (int k = 0; k < number_of_points; ++k) {
        points[k] = material->create_point(stress_state);
        // Materials without integration points (point masses) create none.
        if (points[k] == nullptr)
            throw kelvaned_error("element " + std::to_string(number) +
                                 ": its material has no integration-point state");
    }
}

void NumIntElement::check_orientation(double det_J, const char* where) const
{
    if (det_J < 0.0) refuse_folded(det_J, where);
}

void NumIntElement::refuse_folded(double det_J, const char* where) const
{
    throw kelvaned_error(shape_message("is numbered clockwise or folded", det_J, where));
}

std::string NumIntElement::shape_message(const char* what, double det_J, const char* where) const
{
    std::ostringstream message;
    message.imbue(std::locale::classic());
    message << "element " << number() << ' ' << what << ": "
            << "Jacobian determinant " << det_J << ' ' << where;
    return message.str();
}

namespace {

// The sum of the products along every permutation of a 2 x 2 or 3 x 3 matrix:
// its determinant with every sign +.
double permanent(const Matrix& A)
{
    if (A.size1() == 2) return A(1, 1) * A(2, 2) + A(1, 2) * A(2, 1);
    return A(1, 1) * (A(2, 2) * A(3, 3) + A(2, 3) * A(3, 2)) +
           A(1, 2) * (A(2, 1) * A(3, 3) + A(2, 3) * A(3, 1)) +
           A(1, 3) * (A(2, 1) * A(3, 2) + A(2, 2) * A(3, 1));
}

// How far det(J), J = G X, can move when every node moves by up to `reach` along
// each axis: entry (i, j) of J moves by up to R(i) = reach * sum_k |G(i, k)|, and
// |det(J + E) - det(J)| <= permanent(|J| + R) - permanent(|J|) for every change E
// within R.
double determinant_shift(const Matrix& G, const Matrix& J, double reach)
{
    Matrix magnitude(J.size1(), J.size2());
    Matrix moved(J.size1(), J.size2());
    for (unsigned i = 1; i <= J.size1(); ++i) {
        double shift = 0.0;
        for (unsigned k = 1; k <= G.size2(); ++k) shift += std::fabs(G(i, k));
        for (unsigned j = 1; j <= J.size2(); ++j) {
            magnitude(i, j) = std::fabs(J(i, j));
            moved(i, j) = magnitude(i, j) + reach * shift;
        }
    }
    return permanent(moved) - permanent(magnitude);
}

// The Jacobian determinant at the places of the lattice t_a = j / degree of the
// unit square or cube over the shape's natural domain (Shape::natural_place),
// the first parameter counting fastest.
std::vector<double> determinant_on_lattice(const KelVane::Shape& shape, const Matrix& X, int ndim,
                                           int degree)
{
    std::vector<double> values;
    std::vector<double> t(static_cast<std::size_t>(ndim), 0.0);
    std::vector<int> index(static_cast<std::size_t>(ndim), 0);
    for (bool more = true; more;) {
        for (int a = 0; a < ndim; ++a) t[a] = static_cast<double>(index[a]) / degree;
        values.push_back(determinant(shape.get_dNdxi(shape.natural_place(t)) * X));
        more = false;
        for (int a = 0; a < ndim && !more; ++a) {
            if (++index[a] <= degree) {
                more = true;
            } else {
                index[a] = 0;
            }
        }
    }
    return values;
}

}  // namespace

std::string NumIntElement::crossing_message(const KelVane::Crossing& crossing) const
{
    std::ostringstream message;
    message.imbue(std::locale::classic());
    const auto node = [this, &crossing](std::size_t i) {
        return get_node(static_cast<std::uint32_t>(crossing.nodes[i]))->number();
    };
    message << "element " << number() << " is crossed: ";
    if (crossing.kind == KelVane::Crossing::Kind::sides) {
        message << "its sides " << node(0) << '-' << node(1) << " and " << node(2) << '-'
                << node(3) << " cross";
    } else {
        message << "its face " << node(0) << '-' << node(1) << '-' << node(2) << '-' << node(3)
                << (crossing.kind == KelVane::Crossing::Kind::face ? " crosses itself"
                                                                   : " faces inward");
    }
    return message.str();
}

std::string NumIntElement::check_shape() const
{
    const KelVane::Shape& element_shape = get_shape();
    const KelVane::ShapeRule& rule = element_shape.rule();
    if (rule.dNdxi.empty()) return {};
    const int ndim = static_cast<int>(rule.dNdxi.front().size1());
    Matrix X;
    getCoordinateMatrix(*this, X, ndim);
    // The shape does not depend on where the element is: judged on the nodes
    // relative to its centre, an element far from the origin loses no digit.
    const double size = KelVane::centre_on_nodes(X);

    std::vector<double> at_points;
    double largest = 0.0;
    for (const Matrix& G : rule.dNdxi) {
        at_points.push_back(determinant(G * X));
        largest = std::max(largest, std::fabs(at_points.back()));
    }
    const std::vector<KelVane::Vector> places = element_shape.fold_check_points();
    std::vector<Matrix> derivatives;
    std::vector<Matrix> jacobians;
    std::vector<double> at_places;
    for (const KelVane::Vector& place : places) {
        derivatives.push_back(element_shape.get_dNdxi(place));
        jacobians.push_back(derivatives.back() * X);
        at_places.push_back(determinant(jacobians.back()));
        largest = std::max(largest, std::fabs(at_places.back()));
    }
    // Rounding leaves a collapsed corner a determinant of about 1e-16 of the others,
    // of either sign.
    const double rounding = 1e-10 * largest;
    for (const double det_J : at_points) check_orientation(det_J);
    if (!at_places.empty()) {
        // The centre (the first place) is inside every element: there the
        // determinant must be positive, not merely not negative.
        const double centre = at_places.front();
        // A determinant within rounding of 0 is 0.
        if (!(centre > rounding))
            refuse_folded(centre < -rounding ? centre : 0.0, "at its centre");
    }
    // A node may sit off its place by up to 1e-4 of the element's size: a quadratic
    // element whose determinant is 0 at a node (a quarter-point element at a crack
    // tip) may come out slightly negative there when its coordinates are written
    // with six significant digits, which move a node by up to 5e-6 of its distance
    // from the origin. The allowance goes with the element's size, not with where
    // it is, so moving or scaling a model refuses the same elements.
    const double reach = 1e-4 * size;
    const bool linear = element_shape.linear();
    double distorted = 0.0;
    for (std::size_t i = 1; i < at_places.size(); ++i) {
        if (!(at_places[i] < -rounding)) continue;
        if (linear) {
            distorted = std::min(distorted, at_places[i]);
        } else if (at_places[i] <
                   -rounding - determinant_shift(derivatives[i], jacobians[i], reach)) {
            refuse_folded(at_places[i], "away from its integration points");
        }
    }
    // Between the points judged so far: the determinant is a polynomial over the
    // element, whose Bernstein coefficients bound it piece by piece. Where they
    // leave it in doubt the pieces are halved, and the corners of the pieces
    // (places where the determinant is known) are judged as the points above. A
    // linear element already folded at a point of the lattice needs no search.
    if (distorted == 0.0) {
        const int degree = element_shape.determinant_degree();
        const auto determinant_at = [&](const std::vector<double>& place, double& allowance) {
            const Matrix G = element_shape.get_dNdxi(element_shape.natural_place(place));
            const Matrix J = G * X;
            allowance = rounding + (linear ? 0.0 : determinant_shift(G, J, reach));
            return determinant(J);
        };
        const std::vector<double> fold = KelVane::place_falling_short(
            KelVane::BernsteinPolynomial(ndim, degree,
                                         determinant_on_lattice(element_shape, X, ndim, degree)),
            rounding,
            [&](const std::vector<double>& place) {
                double allowance = 0.0;
                const double det_J = determinant_at(place, allowance);
                return -(det_J + allowance);
            });
        if (!fold.empty()) {
            double allowance = 0.0;
            const double det_J = determinant_at(fold, allowance);
            if (!linear) refuse_folded(det_J, "away from its integration points");
            distorted = det_J;
        }
    }
    // Nodes given in an order that crosses the element's sides or faces make a bow
    // tie, which folds the element somewhere. A face bent so far that it looks
    // crossed seen along its mean normal while the determinant stays positive
    // everywhere is a sound element.
    const KelVane::Crossing crossing = element_shape.crossing(X);
    if (crossing.kind != KelVane::Crossing::Kind::none && distorted < 0.0)
        throw kelvaned_error(crossing_message(crossing));
    // The stiffness of a linear element is integrated where its determinant is
    // positive: a corner folded between its integration points runs, with a note.
    if (distorted < 0.0)
        return "note: " + shape_message("is strongly distorted", distorted,
                                         "away from its integration points, where it is "
                                         "positive");
    return {};
}

void NumIntElement::print_point_row(std::ostream& os, int index, const KelVane::Vector& values)
{
    os << std::setw(7) << index;
    os << std::scientific << std::setprecision(3);
    os << ' ' << std::setw(11);
    values.print(os);
    os << '\n';
}

const KelVane::Shape& NumIntElement::get_shape() const
{
    KV_ASSERT(shape != nullptr);
    return *shape;
}

int NumIntElement::nr_points() const
{
    KV_ASSERT(shape != nullptr);
    const int count = shape->nr_int_locs();
    KV_ASSERT(count == point_count);
    return count;
}

KelVane::Material_Point& NumIntElement::get_point(int k) const
{
    KV_ASSERT(k >= 1 && k <= point_count);
    KV_ASSERT(points[k - 1] != nullptr);
    return *points[k - 1];
}

void NumIntElement::accept()
{
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) get_point(k).accept();
}

void NumIntElement::revert()
{
    update_state();
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) get_point(k).revert();
}

bool NumIntElement::symmetric()
{
    return material->symmetric();
}

void NumIntElement::write_restart(std::ostream& os)
{
    KelVane::CollectArray buffer(128);
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) get_point(k).collect(buffer);
    os << buffer;
}

void NumIntElement::read_restart(std::istream& is)
{
    KelVane::CollectArray buffer;
    is >> buffer;
    const int count = nr_points();
    for (int k = 1; k <= count; ++k) get_point(k).distribute(buffer);
    // Values left over were written by points of another material or rule: the
    // file does not belong to this model.
    if (buffer.cursor() != buffer.size()) throw KelVane::file_error("corrupt restart file");
}

void NumIntElement::draw(wxDC& dc, DeviceMap& map, bool numbers)
{
    draw_outline(dc, map, numbers, false, 0.0);
}

void NumIntElement::draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale)
{
    draw_outline(dc, map, numbers, true, static_cast<double>(scale));
}

void NumIntElement::draw_outline(wxDC& dc, DeviceMap& map, bool numbers, bool deformed,
                                 double scale)
{
    if (draw_shape == nullptr) return;
    std::vector<int> outline;
    draw_shape->outline_nodes(outline);
    const int n = static_cast<int>(outline.size());
    if (n == 0) return;

    std::vector<wxPoint> corners(outline.size());
    int sum_x = 0;
    int sum_y = 0;
    for (int k = 0; k < n; ++k) {
        const KelVane::Node* node = get_node(static_cast<std::uint32_t>(outline[k]));
        double x, y, z;
        if (deformed)
            node->get_scaled_coordinates(x, y, z, scale);
        else
            node->get_coordinates(x, y, z);
        corners[k] = map.to_device(static_cast<float>(x), static_cast<float>(y));
        sum_x += corners[k].x;
        sum_y += corners[k].y;
    }
    dc.DrawPolygon(n, corners.data(), 0, 0, wxODDEVEN_RULE);

    if (numbers) {
        // The number is centred on the mean of the outline's device points.
        const wxString text = wxString::Format("%d", static_cast<int>(number()));
        wxCoord width = 0;
        wxCoord height = 0;
        dc.GetTextExtent(text, &width, &height);
        dc.DrawText(text, sum_x / n - width / 2, sum_y / n - height / 2);
    }
}

namespace {

void fill_coordinate_matrix(const KelVane::ElementBase& element, Matrix& X, int ndim,
                            bool current)
{
    if (ndim != 2 && ndim != 3)
        throw kelvaned_error("unknown nr. of nodal dimensions in getCoordinateMatrix()");
    const std::uint32_t n = element.get_nr_nodes();
    X.resize(n, static_cast<unsigned>(ndim));
    for (std::uint32_t i = 0; i < n; ++i) {
        double x, y, z;
        if (current)
            element.get_node(i)->get_current_coordinates(x, y, z);
        else
            element.get_node(i)->get_coordinates(x, y, z);
        X[i][0] = x;
        X[i][1] = y;
        if (ndim == 3) X[i][2] = z;
    }
}

}  // namespace

void getCoordinateMatrix(const KelVane::ElementBase& element, Matrix& X, int ndim)
{
    fill_coordinate_matrix(element, X, ndim, false);
}

void getCurrentCoordinateMatrix(const KelVane::ElementBase& element, Matrix& X, int ndim)
{
    fill_coordinate_matrix(element, X, ndim, true);
}
