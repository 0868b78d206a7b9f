#ifndef KELVANED_NUMINT_ELEMENT_H
#define KELVANED_NUMINT_ELEMENT_H

#include <cstdint>
#include <iosfwd>
#include <string>

#include "element_base.h"
#include "kvmatrix.h"

class DrawShape;

namespace KelVane {
struct Crossing;
class Geometry;
class Material_Point;
class Material_type;
class Shape;
}  // namespace KelVane

// Common base of the elements integrated over integration points (continuum,
// heat conduction, thermo-mechanical and total-Lagrange elements). It holds what
// they all share: material and geometry of the element group, one material
// state per integration point, the shape (shape functions and integration rule)
// and the outline order. The layers above inherit it virtually, so an element
// that joins a structural and a thermal layer has one node list, one shape and
// one array of points.
class NumIntElement : public FiniteElement {
public:
    NumIntElement();
    ~NumIntElement() override;

    void write_restart(std::ostream& os) override;
    void read_restart(std::istream& is) override;
    void accept() override;
    // The update with zero increments, then every point's own revert.
    void revert() override;
    bool symmetric() override;
    void draw(wxDC& dc, DeviceMap& map, bool numbers) override;
    void draw_deformed(wxDC& dc, DeviceMap& map, bool numbers, float scale) override;
    // The Jacobian determinant on the initial positions must be positive at the
    // integration points and at the centre; a quadratic element's must moreover
    // not be negative anywhere in the element (a corner collapsed onto another
    // gives 0), beyond what moving each node by 1e-4 of the element's size can
    // make of a 0 (a quarter-point element at a crack tip written with six
    // significant digits): judged at the nodes and the other points of the
    // shape's fold-check lattice first, then between them from the Bernstein
    // form of the determinant. Else the element is numbered clockwise, in
    // another order than its name says, or folded, and is refused with the error
    // of check_orientation. A linear element whose determinant is negative only
    // away from its integration points and centre (a corner folded between them)
    // runs with a note, which check_shape returns, unless its nodes also cross (a
    // 4-node quadrilateral whose sides cross, an 8-node hexahedron with a face
    // that crosses itself or faces inward): it is then refused as crossed. Sides
    // or faces that only look crossed while the determinant is positive
    // everywhere (a face bent far) are sound. Judged relative to the element's
    // centre and size, the verdict does not depend on where the element is or
    // how large it is.
    std::string check_shape() const override;

    KelVane::Material_type* get_material() const { return material; }
    const KelVane::Material_type* stress_law() const override { return material; }
    KelVane::Geometry* get_geometry() const { return geometry; }
    // The shape; set by the concrete element's constructor.
    const KelVane::Shape& get_shape() const;
    // Number of integration points, as the shape gives it.
    int nr_points() const;
    // State of integration point k, counted from 1.
    KelVane::Material_Point& get_point(int k) const;

protected:
    // Fills the element fields and creates one point state per integration point
    // (material->create_point(stress_state), point 1 first). Called once by the
    // layer that builds the shared part; takes over the node array.
    void init_numint(std::uint32_t number, KelVane::Node** node_list, std::uint32_t node_count,
                     std::uint32_t element_dofs, KelVane::Material_type* material_group,
                     KelVane::Geometry* geometry_group, int stress_state, int point_count);

    // Refuses a negative Jacobian determinant at an integration point: the nodes
    // run clockwise (or the element is folded), which would turn its volume,
    // stiffness and mass negative. An exactly singular Jacobian is left to the
    // matrix inverse. `where` names the place in the message.
    void check_orientation(double det_J, const char* where = "at an integration point") const;
    // Throws the error of check_orientation whatever the sign of det_J.
    [[noreturn]] void refuse_folded(double det_J, const char* where) const;
    // "element N <what>: Jacobian determinant <det_J> <where>", in the "C" locale.
    std::string shape_message(const char* what, double det_J, const char* where) const;
    // "element N is crossed: its sides A-B and C-D cross", "... its face A-B-C-D
    // crosses itself" or "... faces inward", with the nodes' own numbers.
    std::string crossing_message(const KelVane::Crossing& crossing) const;

    // One row of integration-point output: the row's index, then the values.
    static void print_point_row(std::ostream& os, int index, const KelVane::Vector& values);

    KelVane::Material_type* material;   // not owned
    KelVane::Geometry* geometry;        // not owned; may be null
    KelVane::Material_Point** points;   // owned, one per integration point
    KelVane::Shape* shape;              // owned
    DrawShape* draw_shape;              // owned; may be null

private:
    void draw_outline(wxDC& dc, DeviceMap& map, bool numbers, bool deformed, double scale);

    // Length of the point array, so that it is released correctly even when the
    // shape is missing (an element whose construction failed half-way).
    int point_count;
};

// Reference coordinates of the element's nodes: X becomes (node count) x ndim,
// row i the x, y (and z) of node i. ndim must be 2 or 3.
void getCoordinateMatrix(const KelVane::ElementBase& element, KelVane::Matrix& X, int ndim);
// The same on the current positions (position plus displacement).
void getCurrentCoordinateMatrix(const KelVane::ElementBase& element, KelVane::Matrix& X,
                                int ndim);

#endif
