// Sound models that ask much of the program, each written as a model file and run
// from start to end: they must run, and they must give the right answer. A check
// that refuses one of them is as wrong as a wrong number. Their twins with an
// element misnumbered must be refused, wherever the model lies.
//
// The patches are the classic distorted patch tests of every element family: the
// boundary nodes of a rectangle (a cube) follow a linear displacement field, the
// nodes inside are free, and every element lists the constant stress of that field
// exactly. The quarter-point elements around a crack tip, written with six
// significant digits, have a Jacobian of about 0 at the tip, which the rounding of
// the digits may turn slightly negative.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/solid_patch.h"
#include "common/stream_capture.h"
#include "example_harness.h"
#include "run_model.h"

using namespace kv_test;

namespace {

using Point = std::array<double, 3>;

// Nodes (node k + 1 at nodes[k]) and elements (their node numbers in the order of
// the element's name); the nodes of `free` are left to the analysis, all others
// follow the field.
struct Mesh {
    std::vector<Point> nodes;
    std::vector<std::vector<int>> elements;
    std::set<int> free;
};

// The displacement field and the stress it gives, in the order of the listing's
// "element stresses" rows: Sxx, Syy, Szz, Sxy in the plane, Sxx, Syy, Szz, Sxy,
// Syz, Szx in solids. E = 1e6, nu = 0.25, plane stress in the plane.
struct Field {
    std::function<Point(const Point&)> u;
    std::vector<double> stress;
};

const Field plane_field = {
    [](const Point& p) {
        return Point{1e-3 * (p[0] + p[1] / 2), 1e-3 * (p[1] + p[0] / 2), 0.0};
    },
    {1e6 / 0.9375 * 1.25e-3, 1e6 / 0.9375 * 1.25e-3, 0.0, 400.0}};
const Field solid_field = {
    [](const Point& p) {
        return Point{1e-3 * (2 * p[0] + p[1] + p[2]) / 2, 1e-3 * (p[0] + 2 * p[1] + p[2]) / 2,
                     1e-3 * (p[0] + p[1] + 2 * p[2]) / 2};
    },
    {2000.0, 2000.0, 2000.0, 400.0, 400.0, 400.0}};

// The nodes strictly inside the box [0, size] are free.
void free_inside(Mesh& mesh, const Point& size)
{
    for (std::size_t k = 0; k < mesh.nodes.size(); ++k) {
        bool inside = true;
        for (int i = 0; i < 3; ++i)
            if (size[i] > 0.0)
                inside = inside && mesh.nodes[k][i] > 1e-12 && mesh.nodes[k][i] < size[i] - 1e-12;
        if (inside) mesh.free.insert(static_cast<int>(k) + 1);
    }
}

// The classic plane patch: five quadrilaterals in a 0.24 x 0.12 rectangle round
// four inner nodes.
Mesh plane_patch()
{
    Mesh mesh;
    mesh.nodes = {{0, 0, 0},       {0.24, 0, 0},    {0.24, 0.12, 0}, {0, 0.12, 0},
                  {0.04, 0.02, 0}, {0.18, 0.03, 0}, {0.16, 0.08, 0}, {0.08, 0.08, 0}};
    mesh.elements = {{1, 2, 6, 5}, {2, 3, 7, 6}, {3, 4, 8, 7}, {4, 1, 5, 8}, {5, 6, 7, 8}};
    return mesh;
}

// Each quadrilateral of the mesh cut into two triangles along its diagonal 1-3.
Mesh triangles_of(Mesh mesh)
{
    std::vector<std::vector<int>> triangles;
    for (const auto& q : mesh.elements) {
        triangles.push_back({q[0], q[1], q[2]});
        triangles.push_back({q[0], q[2], q[3]});
    }
    mesh.elements = triangles;
    return mesh;
}

// The mesh with a node in the middle of every edge, the elements' nodes in
// perimeter order (corner, mid-side, corner, ...).
Mesh quadratic(Mesh mesh)
{
    std::map<std::pair<int, int>, int> middles;
    for (auto& element : mesh.elements) {
        std::vector<int> perimeter;
        for (std::size_t i = 0; i < element.size(); ++i) {
            const int a = element[i];
            const int b = element[(i + 1) % element.size()];
            const auto edge = std::make_pair(std::min(a, b), std::max(a, b));
            if (middles.count(edge) == 0) {
                const Point& p = mesh.nodes[a - 1];
                const Point& q = mesh.nodes[b - 1];
                mesh.nodes.push_back({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2});
                middles[edge] = static_cast<int>(mesh.nodes.size());
            }
            perimeter.push_back(a);
            perimeter.push_back(middles[edge]);
        }
        element = perimeter;
    }
    return mesh;
}

// The solid patch (its element 4 has a slightly re-entrant corner).
Mesh solid_patch()
{
    Mesh mesh;
    mesh.nodes.assign(SolidPatch::nodes.begin(), SolidPatch::nodes.end());
    for (const auto& element : SolidPatch::elements)
        mesh.elements.push_back(std::vector<int>(element.begin(), element.end()));
    free_inside(mesh, {1, 1, 1});
    return mesh;
}

// Two quarter-point elements round a crack tip at (12.3456, 7.891), 3 long and
// turned by 25 degrees: an 8-node quadrilateral (node 1 the tip, its mid-side
// nodes 2 and 8 a quarter along the edges from it) and the 6-node triangle beside
// it (nodes 1, 8, 7, 9, 10, 11). The coordinates are written with six
// significant digits, which move the quarter points by up to 5e-6 of the
// coordinates; only node 8, which both share, is free. Without the triangle,
// the quadrilateral alone, with every node held.
Mesh quarter_points(bool with_triangle)
{
    const double pi = std::acos(-1.0);
    const double x0 = 12.3456, y0 = 7.891, length = 3.0, turn = 25.0 * pi / 180.0;
    const auto at = [&](double a, double b) {
        const double x = x0 + length * (a * std::cos(turn) - b * std::sin(turn));
        const double y = y0 + length * (a * std::sin(turn) + b * std::cos(turn));
        char text[64];
        std::snprintf(text, sizeof text, "%.6g %.6g", x, y);
        Point p{0, 0, 0};
        std::sscanf(text, "%lf %lf", &p[0], &p[1]);
        return p;
    };
    Mesh mesh;
    mesh.nodes = {at(0, 0), at(0.25, 0), at(1, 0), at(1, 0.5),
                  at(1, 1), at(0.5, 1),  at(0, 1), at(0, 0.25)};
    mesh.elements = {{1, 2, 3, 4, 5, 6, 7, 8}};
    if (!with_triangle) return mesh;
    for (const Point& p : {at(-0.5, 0.5), at(-1, 0), at(-0.25, 0)}) mesh.nodes.push_back(p);
    mesh.elements.push_back({1, 8, 7, 9, 10, 11});
    mesh.free = {8};
    return mesh;
}

// One hexahedron, its nodes in the order of its name, every node following the
// field. The two are bent so far that a face of each, seen along its mean normal,
// looks like a bow tie, while the determinant is positive everywhere in them:
// one with four nodes moved by 0.6 to 0.8 of a side of the unit cube (from 0.045
// to 0.33), one with every node moved by 0.6 to 1.2 (from 0.079 to 0.57).
Mesh bent_hexahedron(bool every_node_moved)
{
    Mesh mesh;
    if (every_node_moved)
        mesh.nodes = {{-0.36, -0.47, -0.27}, {0.41, -0.20, -0.92}, {1.03, 0.86, -0.95},
                      {-0.57, 0.73, -0.66},  {0.47, -0.40, 0.48},  {1.60, 0.73, 1.19},
                      {1.10, 0.58, 1.84},    {0.11, -0.07, 0.92}};
    else
        mesh.nodes = {{0, 0, 0}, {0.8, 0.2, -0.7}, {1.3, 0.4, -0.3}, {0, 1, 0},
                      {0, 0, 1}, {1.5, 0.1, 1.6},  {0.4, 0.9, 1.1},  {0, 1, 1}};
    mesh.elements = {{1, 2, 3, 4, 5, 6, 7, 8}};
    return mesh;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The model file: each element's group line names its element, the mesh's
// elements are given in groups by their number of nodes (names[count]).
std::string model_text(const std::string& title, const Mesh& mesh,
                       const std::map<std::size_t, std::string>& names, const Field& field)
{
    std::string text = "*title\n" + title + "\n*nodes\n";
    for (std::size_t k = 0; k < mesh.nodes.size(); ++k)
        text += std::to_string(k + 1) + " " + number(mesh.nodes[k][0]) + " " +
                number(mesh.nodes[k][1]) + " " + number(mesh.nodes[k][2]) + "\n";
    text += "*material 1\nlinearelastic\nyoung 1.0e6\npoisson 0.25\n*geometry 1\nthick 0.001\n";
    text += "*elements\n";
    for (const auto& name : names) {
        text += name.second + "\n";
        for (std::size_t e = 0; e < mesh.elements.size(); ++e) {
            if (mesh.elements[e].size() != name.first) continue;
            text += std::to_string(e + 1);
            for (int node : mesh.elements[e]) text += " " + std::to_string(node);
            text += "\n";
        }
    }
    const bool solid = names.begin()->second.rfind("hex8", 0) == 0;
    text += "*loadef\nset 1\nprescribed\n";
    for (std::size_t k = 0; k < mesh.nodes.size(); ++k) {
        const int node = static_cast<int>(k) + 1;
        if (mesh.free.count(node) != 0) continue;
        const Point u = field.u(mesh.nodes[k]);
        text += "ux " + number(u[0]) + " " + std::to_string(node) + "\n";
        text += "uy " + number(u[1]) + " " + std::to_string(node) + "\n";
        if (solid) text += "uz " + number(u[2]) + " " + std::to_string(node) + "\n";
    }
    return text + "*linear\n*end\n";
}

struct SoundModel {
    const char* label;
    std::string text;
    std::size_t elements;
    std::vector<double> stress;
    // The notes of the analysis, each on the screen and in the listing.
    std::vector<std::string> notes = {};
};

std::vector<SoundModel> sound_models()
{
    Mesh plane = plane_patch();
    free_inside(plane, {0.24, 0.12, 0});
    Mesh plane_tri = triangles_of(plane_patch());
    free_inside(plane_tri, {0.24, 0.12, 0});
    Mesh plane_quad8 = quadratic(plane_patch());
    free_inside(plane_quad8, {0.24, 0.12, 0});
    Mesh plane_tri6 = quadratic(triangles_of(plane_patch()));
    free_inside(plane_tri6, {0.24, 0.12, 0});
    const auto plane_model = [](const char* title, const Mesh& mesh,
                                const std::map<std::size_t, std::string>& names) {
        return model_text(title, mesh, names, plane_field);
    };
    return {
        {"quad4_patch", plane_model("quad4 patch", plane, {{4, "quad4pss 1 1"}}), 5,
         plane_field.stress},
        {"tri3_patch", plane_model("tri3 patch", plane_tri, {{3, "tri3pss 1 1"}}), 10,
         plane_field.stress},
        {"quad8_patch", plane_model("quad8 patch", plane_quad8, {{8, "quad8pss 1 1"}}), 5,
         plane_field.stress},
        {"tri6_patch", plane_model("tri6 patch", plane_tri6, {{6, "tri6pss 1 1"}}), 10,
         plane_field.stress},
        {"hex8_patch", model_text("hex8 patch", solid_patch(), {{8, "hex8 1"}}, solid_field), 7,
         solid_field.stress,
         {"note: element 4 is strongly distorted: Jacobian determinant -0.00158127 away from "
          "its integration points, where it is positive\n"}},
        {"bent_hex8", model_text("bent hex8", bent_hexahedron(false), {{8, "hex8 1"}}, solid_field),
         1, solid_field.stress},
        {"bent_hex8_every_node_moved",
         model_text("bent hex8", bent_hexahedron(true), {{8, "hex8 1"}}, solid_field), 1,
         solid_field.stress},
        {"quarter_point_quad8_six_digits",
         plane_model("quarter points", quarter_points(false), {{8, "quad8pss 1 1"}}), 1,
         plane_field.stress},
        {"quarter_point_quad8_and_tri6_six_digits",
         plane_model("quarter points", quarter_points(true),
                     {{8, "quad8pss 1 1"}, {6, "tri6pss 1 1"}}),
         2, plane_field.stress},
    };
}

void PrintTo(const SoundModel& model, std::ostream* os)
{
    *os << model.label;
}

class SoundModels : public ScratchFiles, public ::testing::WithParamInterface<SoundModel> {};

}  // namespace

TEST_P(SoundModels, RunAndListTheExactStress)
{
    const SoundModel& sound = GetParam();
    CoutCapture out;
    CerrCapture warnings;
    const ModelRun run = run_model(write_model(std::string(sound.label) + ".dat", sound.text));
    ASSERT_EQ(run.input_errors, 0) << warnings.text();
    ASSERT_TRUE(run.finished) << run.error;
    EXPECT_EQ(run.error, "");

    const std::string text = read_text_file(run.listing_path);
    for (const std::string& note : sound.notes) {
        EXPECT_NE(out.text().find(note), std::string::npos) << out.text();
        EXPECT_NE(text.find(note), std::string::npos) << text;
    }
    EXPECT_EQ(text.find("distorted") != std::string::npos, !sound.notes.empty()) << text;
    EXPECT_EQ(warnings.text().find("distorted"), std::string::npos) << warnings.text();

    const Listing listing = parse_listing(text);
    ASSERT_EQ(listing.element_rows.size(), sound.elements);
    double scale = 0.0;
    for (double s : sound.stress) scale = std::max(scale, std::fabs(s));
    for (const auto& element : listing.element_rows) {
        ASSERT_FALSE(element.second.empty()) << "element " << element.first;
        for (const std::vector<double>& row : element.second) {
            ASSERT_EQ(row.size(), sound.stress.size() + 1) << "element " << element.first;
            for (std::size_t i = 0; i < sound.stress.size(); ++i)
                EXPECT_NEAR(row[i + 1], sound.stress[i], 1e-3 * scale)
                    << "element " << element.first << ", component " << i + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Patches, SoundModels, ::testing::ValuesIn(sound_models()),
                         [](const ::testing::TestParamInfo<SoundModel>& info) {
                             return std::string(info.param.label);
                         });

namespace {

// The mesh moved by (dx, dy): where a model lies does not change its shape.
Mesh moved(Mesh mesh, double dx, double dy)
{
    for (Point& p : mesh.nodes) p[0] += dx, p[1] += dy;
    return mesh;
}

// A strip of two squares of 20, 40 long, in 8-node quadrilaterals: corners and
// mid-sides along the bottom (nodes 1 to 5), the mid-sides of the upright sides
// (6 to 8) and the top (9 to 13). With `triangles` each square is cut into two
// 6-node triangles along its diagonal 1-3 (centre nodes 14 and 15).
Mesh quadratic_strip(bool triangles)
{
    Mesh mesh;
    for (int k = 0; k < 5; ++k) mesh.nodes.push_back({10.0 * k, 0, 0});
    for (int k = 0; k < 3; ++k) mesh.nodes.push_back({20.0 * k, 10, 0});
    for (int k = 0; k < 5; ++k) mesh.nodes.push_back({10.0 * k, 20, 0});
    if (!triangles) {
        mesh.elements = {{1, 2, 3, 7, 11, 10, 9, 6}, {3, 4, 5, 8, 13, 12, 11, 7}};
        return mesh;
    }
    mesh.nodes.push_back({10, 10, 0});
    mesh.nodes.push_back({30, 10, 0});
    mesh.elements = {{1, 2, 3, 7, 11, 14}, {1, 14, 11, 10, 9, 6},
                     {3, 4, 5, 8, 13, 15}, {3, 15, 13, 12, 11, 7}};
    return mesh;
}

// The first element's node list turned by one place: a mid-side node first.
Mesh first_element_turned(Mesh mesh)
{
    std::vector<int>& first = mesh.elements.front();
    std::rotate(first.begin(), first.begin() + 1, first.end());
    return mesh;
}

// A unit square of 8-node quadrilaterals, corners first (nodes 1 to 4
// counter-clockwise from the origin, then the mid-sides 5 to 8 of the sides from
// node 1, 2, 3 and 4), given in the order `order`.
Mesh unit_square_quad8(const std::vector<int>& order)
{
    Mesh mesh;
    mesh.nodes = {{0, 0, 0},   {1, 0, 0},   {1, 1, 0},   {0, 1, 0},
                  {0.5, 0, 0}, {1, 0.5, 0}, {0.5, 1, 0}, {0, 0.5, 0}};
    mesh.elements = {order};
    return mesh;
}

// A 6-node triangle with curved sides, corners first (the corners 1 (0, 0), 2
// (1, 0) and 3 (0, 1), then the nodes 4, 5 and 6 on the sides from node 1, 2 and
// 3, off their middles), given in the order `order`.
Mesh curved_triangle(const std::vector<int>& order)
{
    Mesh mesh;
    mesh.nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.4, 0, 0}, {0.65, 0.35, 0}, {0.05, 0.65, 0}};
    mesh.elements = {order};
    return mesh;
}

struct MisnumberedModel {
    const char* label;
    std::string text;
    std::string error;
};

std::vector<MisnumberedModel> misnumbered_models()
{
    // Survey coordinates: half a million east, 5.6 million north.
    const double east = 500000.0, north = 5600000.0;
    return {
        {"quad8_strip_turned_at_survey_coordinates",
         model_text("quad8 strip", moved(first_element_turned(quadratic_strip(false)), east, north),
                    {{8, "quad8pss 1 1"}}, plane_field),
         "element 1 is numbered clockwise or folded: Jacobian determinant -150 away from its "
         "integration points"},
        {"tri6_strip_turned_at_survey_coordinates",
         model_text("tri6 strip", moved(first_element_turned(quadratic_strip(true)), east, north),
                    {{6, "tri6pss 1 1"}}, plane_field),
         "element 1 is numbered clockwise or folded: Jacobian determinant -700 away from its "
         "integration points"},
        // Positive at every point of the lattice that holds the nodes' places (at
        // least 0.0139 there), negative between them (down to -0.0087).
        {"quad8_folded_between_lattice_points_at_survey_coordinates",
         model_text("quad8 square", moved(unit_square_quad8({1, 2, 4, 6, 5, 3, 8, 7}), east, north),
                    {{8, "quad8pssa 1 1"}}, plane_field),
         "element 1 is numbered clockwise or folded: Jacobian determinant -0.00317383 away from its "
         "integration points"},
        // The same with a triangle: at least 0.071 on the lattice, down to -0.035.
        {"tri6_folded_between_lattice_points_at_survey_coordinates",
         model_text("tri6 triangle", moved(curved_triangle({1, 3, 4, 2, 6, 5}), east, north),
                    {{6, "tri6pssa 1 1"}}, plane_field),
         "element 1 is numbered clockwise or folded: Jacobian determinant -0.0125 away from its "
         "integration points"},
    };
}

class MisnumberedModels : public ScratchFiles {};

}  // namespace

// Elements whose nodes are given in an order that folds them are refused when
// the analysis starts, wherever the model lies: far from the origin as near it.
TEST_F(MisnumberedModels, AreRefusedWhereverTheyLie)
{
    for (const MisnumberedModel& model : misnumbered_models()) {
        SCOPED_TRACE(model.label);
        CoutCapture out;
        const ModelRun run = run_model(write_model(std::string(model.label) + ".dat", model.text));
        ASSERT_EQ(run.input_errors, 0);
        EXPECT_EQ(run.error, model.error);
        const std::string listing = read_text_file(run.listing_path);
        EXPECT_EQ(listing.find("nodal solution"), std::string::npos) << listing;
    }
}
