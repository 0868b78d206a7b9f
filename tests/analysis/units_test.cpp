// The same model written in another consistent set of units gives the same
// answers. Every example, and small models of each element family with each
// material it takes under each analysis, is rewritten with another force, length
// or time unit, run, and its listing converted back: the numbers agree to the
// printed digits, the iterations within one, and both runs end the same way.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/stream_capture.h"
#include "example_harness.h"
#include "run_model.h"

using namespace kv_test;

namespace {

// A change of units: the new unit of force is 1/force of the old one, so a force
// of 1 is written `force`; likewise for length and time.
struct Units {
    const char* name;
    double force;
    double length;
    double time;
};

const Units force_sets[] = {
    {"force_1em12", 1e-12, 1.0, 1.0}, {"force_1em6", 1e-6, 1.0, 1.0}, {"force_1em3", 1e-3, 1.0, 1.0},
    {"force_1e6", 1e6, 1.0, 1.0},     {"force_1e12", 1e12, 1.0, 1.0},
};
const Units length_sets[] = {
    {"length_1em3", 1.0, 1e-3, 1.0}, {"length_1e3", 1.0, 1e3, 1.0}, {"length_1e6", 1.0, 1e6, 1.0}};
const Units time_sets[] = {{"time_1em6", 1.0, 1.0, 1e-6}, {"time_1e3", 1.0, 1.0, 1e3}};

// The dimension of a number: force^f length^l time^t.
struct Dimension {
    int f, l, t;
};

double factor(const Units& units, const Dimension& d)
{
    return std::pow(units.force, d.f) * std::pow(units.length, d.l) * std::pow(units.time, d.t);
}

const Dimension none{0, 0, 0};
const Dimension length{0, 1, 0};
const Dimension force{1, 0, 0};
const Dimension moment{1, 1, 0};
const Dimension stress{1, -2, 0};
const Dimension heat_flux{1, -1, -1};
const Dimension frequency{0, 0, -1};

std::string lower(std::string word)
{
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

std::string number_text(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The logical lines of a model file: comments dropped, continued lines joined.
std::vector<std::vector<std::string>> logical_lines(const std::string& text)
{
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    std::string physical;
    std::vector<std::string> pending;
    bool continued = false;
    while (std::getline(in, physical)) {
        std::vector<std::string> fields = split(physical);
        bool continues = false;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i][0] != '\\') continue;
            continues = i > 0 || continued;  // a comment line is dropped whole
            fields.resize(i);
            break;
        }
        if (!continued) pending.clear();
        pending.insert(pending.end(), fields.begin(), fields.end());
        continued = continues;
        if (!continued && !pending.empty()) lines.push_back(pending);
    }
    if (continued && !pending.empty()) lines.push_back(pending);
    return lines;
}

// What the rewriting learns of the model: the element name of every element.
struct ModelFacts {
    std::map<int, std::string> element_names;
    double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0};  // of the nodes
    double conductivity = 0.0;                                   // the largest
    double extent() const
    {
        return std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
    }
};

// The model text in other units: every number scaled by its dimension. In a
// model one unit deep (plane strain, heat conduction in the plane) the nodal
// loads and point masses are per unit of depth, so they take one length less.
std::string rewrite(const std::string& text, const Units& units, ModelFacts& facts,
                    bool unit_deep = false)
{
    const int depth = unit_deep ? -1 : 0;
    const auto scaled = [&units](const std::string& field, const Dimension& d) {
        double value = 0.0;
        if (!to_number(field, value)) {
            ADD_FAILURE() << "not a number: " << field;
            return field;
        }
        return number_text(value * factor(units, d));
    };
    const std::map<std::string, Dimension> material_words = {
        {"young", stress},         {"poisson", none},         {"density", {1, -4, 2}},
        {"lambda", {1, 0, -1}},    {"capacity", {0, 2, -2}},  {"alpha", none}};
    const std::map<std::string, Dimension> geometry_words = {
        {"thick", length}, {"crosse", {0, 2, 0}}, {"iz", {0, 4, 0}}, {"iy", {0, 4, 0}}, {"j", {0, 4, 0}}};
    const Dimension f{1, depth, 0}, m{1, 1 + depth, 0}, q{1, 1 + depth, -1};
    const std::map<std::string, Dimension> load_words = {
        {"fx", f}, {"fy", f}, {"fz", f}, {"mx", m}, {"my", m}, {"mz", m}, {"q", q}};
    const std::map<std::string, Dimension> prescribed_words = {
        {"ux", length}, {"uy", length}, {"uz", length}, {"rx", none},
        {"ry", none},   {"rz", none},   {"t", none}};

    std::string section, block, group;
    std::ostringstream out;
    for (std::vector<std::string> f : logical_lines(text)) {
        const std::string first = lower(f[0]);
        if (first[0] == '*') {
            section = first;
            block.clear();
            group.clear();
        } else if (section == "*nodes") {
            for (std::size_t i = 1; i < 4 && i < f.size(); ++i) {
                double x = 0.0;
                if (to_number(f[i], x)) {
                    facts.low[i - 1] = std::min(facts.low[i - 1], x);
                    facts.high[i - 1] = std::max(facts.high[i - 1], x);
                }
                f[i] = scaled(f[i], length);
            }
        } else if (section == "*material") {
            if (first == "mass" && f.size() > 1) f[1] = scaled(f[1], {1, -1 + depth, 2});
            else if (first == "nadai" && f.size() > 3) {
                f[1] = scaled(f[1], stress);
                f[3] = scaled(f[3], stress);
            } else if (material_words.count(first) && f.size() > 1) {
                double value = 0.0;
                if (first == "lambda" && to_number(f[1], value))
                    facts.conductivity = std::max(facts.conductivity, value);
                f[1] = scaled(f[1], material_words.at(first));
            }
        } else if (section == "*geometry") {
            if (geometry_words.count(first) && f.size() > 1) f[1] = scaled(f[1], geometry_words.at(first));
        } else if (section == "*elements") {
            double number = 0.0;
            if (!std::isdigit(static_cast<unsigned char>(f[0][0]))) group = first;
            else if (to_number(f[0], number)) facts.element_names[static_cast<int>(number)] = group;
        } else if (section == "*loadef") {
            if (first == "loads" || first == "prescribed" || first == "pressure" || first == "set") {
                block = first;
            } else if (block == "pressure" && f.size() > 2) {
                f[2] = scaled(f[2], stress);
            } else if (block == "loads" || block == "prescribed") {
                const auto& words = block == "loads" ? load_words : prescribed_words;
                for (std::size_t i = 0; i + 1 < f.size() && words.count(lower(f[i])); i += 2)
                    f[i + 1] = scaled(f[i + 1], words.at(lower(f[i])));
            }
        } else if (section == "*eigen") {
            if (first == "shift" && f.size() > 1) f[1] = scaled(f[1], frequency);
        } else if (section == "*nonlinear") {
            if (first == "timestep" && f.size() > 1) f[1] = scaled(f[1], {0, 0, 1});
            if (first == "rayleigh" && f.size() > 2) {
                f[1] = scaled(f[1], frequency);
                f[2] = scaled(f[2], {0, 0, 1});
            }
        }
        std::string line;
        for (const std::string& field : f) line += (line.empty() ? "" : " ") + field;
        out << line << '\n';
    }
    return out.str();
}

// Elements whose thickness or section the model gives, and elements one unit
// deep whatever the unit (plane strain, heat conduction in the plane); point
// masses go with either.
bool carries_own_depth(const std::string& element)
{
    static const std::set<std::string> names = {
        "truss",   "beam2d",   "mass2d",   "mass3d",   "tri3pss",  "tri6pss",       "tri6pssa",
        "quad4pss", "quad8pss", "quad8pssa", "tri3axi", "tri6axi",  "tri6axia",      "quad4axi",
        "quad8axi", "quad8axia", "hex8",    "quad4psstherm"};
    return names.count(element) != 0;
}

bool one_unit_deep(const std::string& element)
{
    static const std::set<std::string> names = {
        "mass2d",    "tri3psn",    "tri6psn",   "tri6psna",     "quad4psn",      "quad8psn",
        "quad8psna", "tlquad4psn", "tlquad8psn", "tri3therm",   "tri3psntherm",  "quad4psntherm"};
    return names.count(element) != 0;
}

// ---------------------------------------------------------------------------
// Comparing two listings.

// The increments, resized steps and sub-steps of a listing in order, each with
// its number of iterations.
struct Step {
    std::string line;
    int iterations = 0;
};

std::vector<Step> steps_of(const std::string& listing)
{
    std::vector<Step> steps;
    std::istringstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 10, "increment ") == 0 || line.compare(0, 7, "Resized") == 0 ||
            line.compare(0, 8, "Sub-step") == 0)
            steps.push_back({line, 0});
        else if (line.compare(0, 10, "iteration ") == 0 && !steps.empty())
            ++steps.back().iterations;
    }
    return steps;
}

// A number of a listing, what it is, and its dimension.
struct Value {
    std::string where;
    std::string kind;
    Dimension dimension;
    double value;
};

std::vector<Value> values_of(const Listing& listing, const ModelFacts& facts, bool unit_deep)
{
    const int depth = unit_deep ? -1 : 0;
    std::vector<Value> values;
    for (const auto& node : listing.nodal) {
        const std::vector<double>& row = node.second;
        const std::string where = "node " + std::to_string(node.first) + " column ";
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool temperature = i == row.size() - 1 && (row.size() == 4 || row.size() == 7);
            if (temperature) values.push_back({where + "T", "T", none, row[i]});
            else if (i < 3) values.push_back({where + "U" + std::to_string(i + 1), "U", length, row[i]});
            else values.push_back({where + "R" + std::to_string(i - 2), "R", none, row[i]});
        }
    }
    for (const auto& element : listing.element_rows) {
        const auto named = facts.element_names.find(element.first);
        const std::string name = named == facts.element_names.end() ? "" : named->second;
        int row_number = 0;
        for (const std::vector<double>& row : element.second) {
            ++row_number;
            const std::string where = "element " + std::to_string(element.first) + " (" + name +
                                      ") row " + std::to_string(row_number) + " column ";
            for (std::size_t i = 0; i < row.size(); ++i) {
                const std::string at = where + std::to_string(i + 1);
                if (name == "truss") values.push_back({at, "truss stress", stress, row[i]});
                else if (i == 0) values.push_back({at, "number", none, row[i]});
                else if (name == "beam2d" && i < 3) values.push_back({at, "beam force", force, row[i]});
                else if (name == "beam2d") values.push_back({at, "beam moment", moment, row[i]});
                else if (name == "tri3therm") values.push_back({at, "heat flux", heat_flux, row[i]});
                else values.push_back({at, "stress", stress, row[i]});
            }
        }
    }
    int reaction = 0;
    for (const Reaction& r : listing.reactions) {
        const std::string where = "reaction " + std::to_string(++reaction) + " (node " +
                                  std::to_string(r.node) + " " + r.letter + ")";
        const Dimension d = r.letter == "u"   ? Dimension{1, depth, 0}
                            : r.letter == "r" ? Dimension{1, 1 + depth, 0}
                                              : Dimension{1, 1 + depth, -1};
        values.push_back({where, "reaction " + r.letter, d, r.value});
    }
    for (std::size_t mode = 0; mode < listing.frequencies.size(); ++mode)
        values.push_back({"f(" + std::to_string(mode + 1) + ")", "frequency", frequency,
                          listing.frequencies[mode]});
    return values;
}

// How the run of a model went.
struct Outcome {
    ModelRun run;
    std::string listing;
    std::string screen;
};

Outcome run_quietly(const std::string& model_file)
{
    Outcome outcome;
    CoutCapture out;
    CerrCapture err;
    outcome.run = run_model(model_file);
    outcome.listing = read_text_file(outcome.run.listing_path);
    outcome.screen = out.text() + err.text();
    return outcome;
}

// The scaled run against the original one, in the original units.
void compare_runs(const Outcome& original, const Outcome& scaled, const Units& units,
                  const ModelFacts& facts, bool unit_deep)
{
    ASSERT_EQ(scaled.run.input_errors, 0) << scaled.run.error;
    EXPECT_EQ(scaled.run.finished, original.run.finished) << scaled.run.error;
    EXPECT_EQ(scaled.run.error, original.run.error);
    EXPECT_EQ(count_of(scaled.screen, "zero pivots"), count_of(original.screen, "zero pivots"))
        << scaled.screen;

    const std::vector<Step> a = steps_of(original.listing), b = steps_of(scaled.listing);
    EXPECT_EQ(a.size(), b.size()) << "increments and resized steps";
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        EXPECT_EQ(b[i].line, a[i].line);
        EXPECT_LE(std::abs(b[i].iterations - a[i].iterations), 1)
            << a[i].line << ": " << a[i].iterations << " iterations, in other units "
            << b[i].iterations;
    }

    const std::vector<Value> x = values_of(parse_listing(original.listing), facts, unit_deep);
    const std::vector<Value> y = values_of(parse_listing(scaled.listing), facts, unit_deep);
    ASSERT_EQ(x.size(), y.size()) << "numbers in the listing";
    // A value that is rounding noise beside the largest of its kind is judged by
    // that largest one.
    std::map<std::string, double> largest;
    for (const Value& v : x) largest[v.kind] = std::max(largest[v.kind], std::fabs(v.value));
    // Reactions that all are rounding noise (a free expansion) are judged by the
    // forces and heat flows inside the model.
    const double size = facts.extent();
    const double forces = std::max(largest["stress"], largest["truss stress"]) * size * size;
    std::map<std::string, double> noise = {
        {"reaction u", 1e-7 * forces},
        {"reaction r", 1e-7 * forces * size},
        {"reaction T", 1e-7 * facts.conductivity * largest["T"] * size}};
    int differences = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        ASSERT_EQ(x[i].where, y[i].where);
        const double converted = y[i].value / factor(units, x[i].dimension);
        double tolerance =
            1.5e-3 * std::fabs(x[i].value) + 1e-4 * largest[x[i].kind] + noise[x[i].kind];
        if (x[i].kind == "number") tolerance = 0.0;
        if (x[i].kind == "frequency") tolerance = 2e-5 * std::fabs(x[i].value);
        if (std::fabs(converted - x[i].value) <= tolerance) continue;
        if (++differences <= 12)
            ADD_FAILURE() << x[i].where << ": " << x[i].value << ", in other units " << y[i].value
                          << " = " << converted << " converted back";
    }
    EXPECT_EQ(differences, 0) << "numbers that differ";
}

// ---------------------------------------------------------------------------
// The models.

struct UnitCase {
    std::string name;     // model, then unit set
    std::string model;    // name of the model file
    std::string text;     // the model in its own units
    std::string first;    // a model run before it in the same directory (its restart file)
    std::string first_text;
    Units units;
    bool unit_deep;  // loads, masses and reactions per unit of depth
};

std::string example_text(const std::string& name)
{
    return read_text_file(std::string(KV_EXAMPLES_DIR) + "/" + name + ".dat");
}

// ---------------------------------------------------------------------------
// Small models: a plate of two cells (a block of two bricks), loaded along x and
// y on the far faces and held by symmetry on the near ones. Units N, mm, MPa, t, s.

struct Mesh {
    std::ostringstream nodes;
    std::ostringstream elements;
    std::set<int> used;
    std::vector<int> near_x, near_y, near_z, far_x, far_y;
    int elements_made = 0;
};

// Node number of grid point (i, j, k) of a grid of columns x rows.
int grid_node(int i, int j, int k, int columns, int rows)
{
    return 1 + i + columns * (j + rows * k);
}

// A mesh of shape tri3, tri6, quad4, quad8 or hex8 over [x0, x0 + 100] x
// [0, 50] (x [0, 50]) of two cells along x.
void make_mesh(const std::string& shape, double x0, Mesh& mesh)
{
    const bool quadratic = shape == "tri6" || shape == "quad8";
    const bool brick = shape == "hex8";
    const int per_cell = quadratic ? 2 : 1;
    const int columns = 2 * per_cell + 1, rows = per_cell + 1, layers = brick ? 2 : 1;
    const double step = 50.0 / per_cell;
    const auto n = [&](int i, int j, int k = 0) {
        const int node = grid_node(i, j, k, columns, rows);
        mesh.used.insert(node);
        return node;
    };
    std::ostringstream& e = mesh.elements;
    for (int cell = 0; cell < 2; ++cell) {
        const int i = cell * per_cell;
        if (shape == "quad4") {
            e << ++mesh.elements_made << ' ' << n(i, 0) << ' ' << n(i + 1, 0) << ' ' << n(i + 1, 1)
              << ' ' << n(i, 1) << '\n';
        } else if (shape == "tri3") {
            e << ++mesh.elements_made << ' ' << n(i, 0) << ' ' << n(i + 1, 0) << ' ' << n(i + 1, 1)
              << '\n';
            e << ++mesh.elements_made << ' ' << n(i, 0) << ' ' << n(i + 1, 1) << ' ' << n(i, 1) << '\n';
        } else if (shape == "quad8") {
            e << ++mesh.elements_made << ' ' << n(i, 0) << ' ' << n(i + 1, 0) << ' ' << n(i + 2, 0)
              << ' ' << n(i + 2, 1) << ' ' << n(i + 2, 2) << ' ' << n(i + 1, 2) << ' ' << n(i, 2)
              << ' ' << n(i, 1) << '\n';
        } else if (shape == "tri6") {
            e << ++mesh.elements_made << ' ' << n(i, 0) << ' ' << n(i + 1, 0) << ' ' << n(i + 2, 0)
              << ' ' << n(i + 2, 1) << ' ' << n(i + 2, 2) << ' ' << n(i + 1, 1) << '\n';
            e << ++mesh.elements_made << ' ' << n(i, 0) << ' ' << n(i + 1, 1) << ' ' << n(i + 2, 2)
              << ' ' << n(i + 1, 2) << ' ' << n(i, 2) << ' ' << n(i, 1) << '\n';
        } else if (brick) {
            e << ++mesh.elements_made;
            for (int k = 0; k < 2; ++k)
                e << ' ' << n(i, 0, k) << ' ' << n(i + 1, 0, k) << ' ' << n(i + 1, 1, k) << ' '
                  << n(i, 1, k);
            e << '\n';
        } else {
            ADD_FAILURE() << "no such shape " << shape;
        }
    }
    for (int k = 0; k < layers; ++k)
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < columns; ++i) {
                const int node = grid_node(i, j, k, columns, rows);
                if (!mesh.used.count(node)) continue;
                mesh.nodes << node << ' ' << x0 + i * step << ' ' << j * step << ' ' << k * 50.0
                           << '\n';
                if (i == 0) mesh.near_x.push_back(node);
                if (j == 0) mesh.near_y.push_back(node);
                if (brick && k == 0) mesh.near_z.push_back(node);
                if (i == columns - 1) mesh.far_x.push_back(node);
                if (j == rows - 1) mesh.far_y.push_back(node);
            }
}

std::string node_list(const std::vector<int>& nodes)
{
    std::string text;
    for (int node : nodes) text += " " + std::to_string(node);
    return text;
}

// The materials, by name; steel in N, mm, MPa, t, s and W = N mm / s.
std::string material_text(const std::string& material)
{
    const std::string elastic = "young 2.0e5\npoisson 0.3\ndensity 7.85e-9\n";
    const std::string heat = "lambda 50.0\ncapacity 4.6e8\nalpha 1.2e-5\n";
    const std::string hardening = "nadai 800.0 0.1 400.0\n";
    if (material == "elastic") return "linearelastic\n" + elastic;
    if (material == "xpelastic") return "xplinearelastic\n" + elastic;
    if (material == "vonmises") return "vonmises\n" + elastic + hardening;
    if (material == "thermoelastic") return "thermoelastic\n" + elastic + heat;
    if (material == "thermoplastic") return "thermoplastic\n" + elastic + heat + hardening;
    if (material == "thermal") return "thermal\nlambda 50.0\ncapacity 4.6e8\ndensity 7.85e-9\n";
    ADD_FAILURE() << "no such material " << material;
    return "";
}

// The analyses, by name. The static one loads to yield and past it; held, it
// then keeps the load for one more increment.
std::string analysis_text(const std::string& analysis)
{
    if (analysis == "linear") return "*linear\n";
    if (analysis == "eigen") return "*eigen\nfrequencies 3\n";
    if (analysis == "static" || analysis == "held")
        return "*nonlinear static\nincrement load 1 size 0.5 steps 1\n"
               "increment load 1 size 0.25 steps 3\n" +
               std::string(analysis == "held" ? "increment load 1 size 0.0 steps 1\n" : "") +
               "full\nunbalance 1e-8\nmaxiter 20\nmaxresize 3\ntimestep 1.0\n";
    if (analysis == "newmark")
        return "*nonlinear dynamic\nnewmark 0.25 0.5\ntimestep 2.0e-6\nrayleigh 100.0 1.0e-8\n"
               "increment load 1 size 1.0 steps 1\nincrement load 1 size 0.0 steps 19\n"
               "unbalance 1e-8\nmaxiter 20\n";
    if (analysis == "explicit")
        return "*nonlinear dynamic\nexplicit\ntimestep 1.0e-6\nrayleigh 100.0 0.0\n"
               "increment load 1 size 1.0 steps 1\nincrement load 1 size 0.0 steps 39\n";
    ADD_FAILURE() << "no such analysis " << analysis;
    return "";
}

// A plate (or block) of element `element` of shape `shape` and material
// `material` under analysis `analysis`. Plane stress elements are 1 thick;
// axisymmetric ones lie between the radii 10 and 110; the heat and coupled
// elements also carry a temperature held on the near x face and a heat flow
// into the far one.
std::string plate_model(const std::string& element, const std::string& shape,
                        const std::string& material, const std::string& analysis)
{
    const bool axisymmetric = element.find("axi") != std::string::npos;
    const bool plane_stress = element.find("pss") != std::string::npos;
    const bool brick = shape == "hex8";
    const bool heat = element.find("therm") != std::string::npos;
    const bool heat_only = element == "tri3therm";
    Mesh mesh;
    make_mesh(shape, axisymmetric ? 10.0 : 0.0, mesh);
    std::ostringstream m;
    m << "*title\n" << element << ' ' << material << ' ' << analysis << "\n*nodes\n"
      << mesh.nodes.str() << "*material 1\n" << material_text(material);
    if (plane_stress) m << "*geometry 1\nthick 1.0\n";
    m << "*elements\n" << element << " 1" << (plane_stress ? " 1" : "") << '\n'
      << mesh.elements.str();
    // Loads on the far faces that take the plate past yield at a factor of 1:
    // 400 along x and -200 along y (in plane strain) or 200 (else) per area.
    const double area_x = brick ? 2500.0 : 50.0, area_y = brick ? 5000.0 : 100.0;
    const double sx = 400.0, sy = plane_stress || brick || axisymmetric ? 200.0 : -200.0;
    if (!heat_only) {
        m << "*suppress\n";
        if (!axisymmetric) m << "ux" << node_list(mesh.near_x) << '\n';
        m << "uy" << node_list(mesh.near_y) << '\n';
        if (brick) m << "uz" << node_list(mesh.near_z) << '\n';
    }
    m << "*loadef\nset 1\n";
    if (heat) {
        m << "prescribed\nt 0.0" << node_list(mesh.near_x) << "\n";
        m << "loads\nq " << 2.0e4 / mesh.far_x.size() << node_list(mesh.far_x) << '\n';
    }
    // Stretched: the far x face is moved by 0.3 (a strain of 0.003) instead of loaded.
    const bool stretched = analysis == "stretched";
    if (stretched) m << "prescribed\nux 0.3" << node_list(mesh.far_x) << '\n';
    if (!heat_only) {
        m << "loads\n";
        if (!stretched) m << "fx " << sx * area_x / mesh.far_x.size() << node_list(mesh.far_x) << '\n';
        m << "fy " << sy * area_y / mesh.far_y.size() << node_list(mesh.far_y) << '\n';
    }
    m << analysis_text(stretched ? "static" : analysis) << "*end\n";
    return m.str();
}

// The element families with the shape of their mesh.
struct Family {
    const char* element;
    const char* shape;
};

const Family continuum_families[] = {
    {"tri3pss", "tri3"},   {"tri6pss", "tri6"},   {"quad4pss", "quad4"}, {"quad8pss", "quad8"},
    {"tri3psn", "tri3"},   {"tri6psn", "tri6"},   {"quad4psn", "quad4"}, {"quad8psn", "quad8"},
    {"tri3axi", "tri3"},   {"tri6axi", "tri6"},   {"quad4axi", "quad4"}, {"quad8axi", "quad8"},
    {"hex8", "hex8"},
};

// Frames, bars and point masses in N, m, Pa, kg, s.
const char* const frame_nodes =
    "*nodes\n1 0.0 0.0 0.0\n2 0.0 4.0 0.0\n3 4.0 4.0 0.0\n4 4.0 0.0 0.0\n";
const char* const frame_beams = "beam2d 1 1\n1 1 2\n2 2 3\n3 4 3\n";

std::string frame_model(const std::string& title, const std::string& beam_material,
                        const std::string& loads, const std::string& analysis)
{
    return "*title\n" + title + "\n" + frame_nodes + "*material 1\n" + beam_material +
           "young 2.0e11\npoisson 0.3\ndensity 7850\n*material 2\nmass 500\n"
           "*geometry 1\ncrosse 1.0e-2\niz 1.0e-5\n*elements\n" + frame_beams +
           "mass2d 2\n4 2\n5 3\n*suppress\nux uy rz 1 4\n*loadef\nset 1\nloads\n" + loads +
           analysis + "*end\n";
}

// A row of four bars along x with point masses, held at its left end.
std::string bar_model(const std::string& title, const std::string& bar_material,
                      const std::string& analysis)
{
    return "*title\n" + title +
           "\n*nodes\n1 0.0 0.0 0.0\n2 1.0 0.0 0.0\n3 2.0 0.0 0.0\n4 3.0 0.0 0.0\n"
           "5 4.0 0.0 0.0\n*material 1\n" + bar_material +
           "*material 2\nmass 20.0\n*geometry 1\ncrosse 1.0e-3\n*elements\ntruss 1 1\n"
           "1 1 2\n2 2 3\n3 3 4\n4 4 5\nmass2d 2\n5 3\n6 5\n*suppress\nux uy 1\nuy 2 3 4 5\n"
           "*loadef\nset 1\nloads\nfx 2.0e5 5\n" + analysis + "*end\n";
}

std::string braced_frame()
{
    return "*title\nFrame braced by a nonlinear-elastic bar, modified Newton\n" +
           std::string(frame_nodes) +
           "*material 1\nlinearelastic\nyoung 2.0e11\npoisson 0.3\n"
           "*material 2\nnonlinearelastic\nyoung 2.0e9\n"
           "*geometry 1\ncrosse 1.0e-2\niz 1.0e-6\n*geometry 2\ncrosse 1.0e-3\n*elements\n" +
           frame_beams +
           "truss 2 2\n4 1 3\n*suppress\nux uy rz 1 4\n*loadef\nset 1\nloads\nfx 6.0e5 2\n"
           "mz 5.0e4 3\n*nonlinear static\nincrements 2\nmodified\nunbalance 1e-3\nmaxiter 50\n"
           "*end\n";
}

// A block of two bricks with point masses on its loaded corners, explicit.
std::string block_with_masses()
{
    std::string text = plate_model("hex8", "hex8", "elastic", "explicit");
    const std::size_t at = text.find("*suppress");
    text.insert(at, "mass3d 2\n3 9\n4 12\n");
    const std::size_t material = text.find("*elements");
    text.insert(material, "*material 2\nmass 1.0e-6\n");
    return text;
}

struct ModelEntry {
    std::string name;
    std::string text;
    std::string first;  // a model run before it, whose restart file it reads
};

std::vector<ModelEntry> models()
{
    std::vector<ModelEntry> list;
    for (const auto& entry : std::filesystem::directory_iterator(KV_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".dat") continue;
        const std::string name = entry.path().stem().string();
        list.push_back({name, example_text(name), name == "plastic_bar_restart" ? "plastic_bar" : ""});
    }
    std::sort(list.begin(), list.end(),
              [](const ModelEntry& a, const ModelEntry& b) { return a.name < b.name; });

    const auto plate = [&list](const std::string& element, const std::string& shape,
                               const std::string& material, const std::string& analysis) {
        list.push_back({element + "_" + material + "_" + analysis,
                        plate_model(element, shape, material, analysis), ""});
    };
    // Every continuum family with every material it takes, statically and in
    // the eigen, Newmark and explicit analyses; plasticity in dynamics, and a
    // plate stretched by a prescribed motion, in every stress state.
    for (const Family& family : continuum_families) {
        plate(family.element, family.shape, "elastic", "linear");
        plate(family.element, family.shape, "xpelastic", "static");
        plate(family.element, family.shape, "vonmises", "static");
        plate(family.element, family.shape, "thermoelastic", "linear");
        plate(family.element, family.shape, "thermoplastic", "static");
        plate(family.element, family.shape, "elastic", "eigen");
        plate(family.element, family.shape, "elastic", "newmark");
        plate(family.element, family.shape, "elastic", "explicit");
    }
    for (const Family& family : {Family{"quad4pss", "quad4"}, Family{"quad4psn", "quad4"},
                                 Family{"quad4axi", "quad4"}, Family{"hex8", "hex8"}}) {
        plate(family.element, family.shape, "vonmises", "newmark");
        plate(family.element, family.shape, "vonmises", "explicit");
        plate(family.element, family.shape, "vonmises", "stretched");
        plate(family.element, family.shape, "vonmises", "held");
    }
    plate("tri3psn", "tri3", "vonmises", "held");
    plate("tri6psn", "tri6", "vonmises", "held");
    plate("tri6psn", "tri6", "thermoplastic", "held");
    plate("quad4axi", "quad4", "thermoplastic", "newmark");
    // Total-Lagrange plates.
    for (const Family& family : {Family{"tlquad4psn", "quad4"}, Family{"tlquad8psn", "quad8"}}) {
        plate(family.element, family.shape, "elastic", "static");
        plate(family.element, family.shape, "xpelastic", "static");
        plate(family.element, family.shape, "thermoelastic", "static");
        plate(family.element, family.shape, "elastic", "eigen");
        plate(family.element, family.shape, "elastic", "newmark");
        plate(family.element, family.shape, "xpelastic", "explicit");
    }
    plate("tlquad4psn", "quad4", "vonmises", "static");
    plate("tlquad4psn", "quad4", "thermoplastic", "static");
    // Coupled plates, with a temperature held and a heat flow, and heat triangles.
    for (const Family& family : {Family{"tri3psntherm", "tri3"}, Family{"quad4psntherm", "quad4"},
                                 Family{"quad4psstherm", "quad4"}}) {
        plate(family.element, family.shape, "thermoelastic", "static");
        plate(family.element, family.shape, "thermoplastic", "static");
        plate(family.element, family.shape, "thermoelastic", "newmark");
        plate(family.element, family.shape, "thermoplastic", "newmark");
    }
    plate("tri3therm", "tri3", "thermal", "static");
    plate("tri3therm", "tri3", "thermoelastic", "static");
    plate("tri3therm", "tri3", "thermoplastic", "static");

    const std::string sudden = "increment load 1 size 1.0 steps 1\nincrement load 1 size 0.0 steps 19\n";
    list.push_back({"frame_nonlinear_bar_modified_newton", braced_frame(), ""});
    list.push_back({"frame_xpelastic_static",
                    frame_model("Frame, expanded elastic law", "xplinearelastic\n", "fx 1680 2\n",
                                "*nonlinear static\nincrements 2\n"),
                    ""});
    list.push_back({"frame_thermoelastic_linear",
                    frame_model("Frame, thermoelastic", "thermoelastic\nalpha 1.2e-5\nlambda 50\n",
                                "fx 1680 2\nmz 500 3\n", "*linear\n"),
                    ""});
    list.push_back({"frame_masses_eigen",
                    frame_model("Frame with masses, eigen", "linearelastic\n", "fx 1680 2\n",
                                "*eigen\nfrequencies 4\nshift 1.0\n"),
                    ""});
    list.push_back({"frame_masses_newmark",
                    frame_model("Frame with masses, Newmark", "linearelastic\n", "fx 1680 2\n",
                                "*nonlinear dynamic\nnewmark\ntimestep 0.005\nrayleigh 0.5 1.0e-4\n" +
                                    sudden),
                    ""});
    list.push_back({"frame_masses_explicit",
                    frame_model("Frame with masses, explicit", "linearelastic\n", "fx 1680 2\n",
                                "*nonlinear dynamic\nexplicit\ntimestep 1.0e-5\n" + sudden),
                    ""});
    // Masses at the corners only: the mass matrix has a lower rank than the stiffness.
    std::string corner_masses = frame_model("Frame with corner masses only, eigen", "linearelastic\n",
                                            "fx 1680 2\n", "*eigen\nfrequencies 4\n");
    corner_masses.erase(corner_masses.find("density 7850\n"), 13);
    list.push_back({"frame_corner_masses_eigen", corner_masses, ""});
    const std::string steel = "linearelastic\nyoung 2.0e11\ndensity 7850\n";
    list.push_back({"bars_point_masses_eigen",
                    bar_model("Bars of no mass with point masses, eigen",
                              "linearelastic\nyoung 2.0e11\n", "*eigen\nfrequencies 3\n"),
                    ""});
    const std::string soft = "nonlinearelastic\nyoung 2.0e9\ndensity 7850\n";
    list.push_back({"bars_masses_eigen", bar_model("Bars with masses, eigen", steel, "*eigen\nfrequencies 2\n"), ""});
    list.push_back({"bars_masses_explicit",
                    bar_model("Bars with masses, explicit", steel,
                              "*nonlinear dynamic\nexplicit\ntimestep 1.0e-5\n" + sudden),
                    ""});
    list.push_back({"bars_nonlinear_static",
                    bar_model("Nonlinear-elastic bars", soft,
                              "*nonlinear static\nincrements 4\nunbalance 1e-8\nmaxiter 20\n"),
                    ""});
    list.push_back({"bars_nonlinear_newmark",
                    bar_model("Nonlinear-elastic bars with masses, Newmark", soft,
                              "*nonlinear dynamic\nnewmark 0.3 0.6\ntimestep 1.0e-3\n" + sudden +
                                  "unbalance 1e-8\nmaxiter 20\n"),
                    ""});
    list.push_back({"bars_thermoelastic_linear",
                    bar_model("Thermoelastic bars", "thermoelastic\nyoung 2.0e11\nalpha 1.2e-5\nlambda 50\n",
                              "*linear\n"),
                    ""});
    list.push_back({"block_masses_explicit", block_with_masses(), ""});
    list.push_back({"long_beam_explicit",
                    "*title\nA cantilever of one beam 10 long with a mass at its tip, explicit\n"
                    "*nodes\n1 0.0 0.0 0.0\n2 10.0 0.0 0.0\n*material 1\nlinearelastic\n"
                    "young 2.0e11\npoisson 0.3\ndensity 7850\n*material 2\nmass 500\n"
                    "*geometry 1\ncrosse 1.0e-2\niz 1.0e-5\n*elements\nbeam2d 1 1\n1 1 2\n"
                    "mass2d 2\n2 2\n*suppress\nux uy rz 1\n*loadef\nset 1\nloads\nfy -1000 2\n"
                    "*nonlinear dynamic\nexplicit\ntimestep 1.0e-4\n" + sudden + "*end\n",
                    ""});
    list.push_back({"bars_nonlinear_explicit",
                    bar_model("Nonlinear-elastic bars with masses, explicit", soft,
                              "*nonlinear dynamic\nexplicit\ntimestep 1.0e-4\n" + sudden),
                    ""});
    list.push_back({"frame_prescribed_linear",
                    "*title\nFrame with a settled and turned foot\n" + std::string(frame_nodes) +
                        "*material 1\nlinearelastic\nyoung 2.0e11\npoisson 0.3\n"
                        "*geometry 1\ncrosse 1.0e-2\niz 1.0e-5\n*elements\n" + frame_beams +
                        "*suppress\nux uy rz 1\nux 4\n*loadef\nset 1\nprescribed\nuy -0.01 rz 0.002 4\n"
                        "loads\nfx 1680 2\nmz 500 3\n*linear\n*end\n",
                    ""});
    return list;
}

// Rows that do not give the same answers yet, left out of the table until the
// code they wait for is in; none at present.
const std::set<std::string> left_out = {
};

struct UnitCaseName {
    std::string operator()(const ::testing::TestParamInfo<UnitCase>& info) const
    {
        return info.param.name;
    }
};

// The rows of every model in every set of units that applies to it, without
// the rows left out unless asked for.
std::vector<UnitCase> unit_cases(bool with_left_out = false)
{
    std::vector<UnitCase> cases;
    const Units same{"same", 1.0, 1.0, 1.0};
    const std::vector<ModelEntry> all = models();
    for (const ModelEntry& model : all) {
        ModelFacts facts;
        const std::string own = rewrite(model.text, same, facts);
        bool own_depth = true, unit_deep = true;
        for (const auto& element : facts.element_names) {
            own_depth = own_depth && carries_own_depth(element.second);
            unit_deep = unit_deep && one_unit_deep(element.second);
        }
        std::string first_text;
        if (!model.first.empty()) {
            for (const ModelEntry& other : all)
                if (other.name == model.first) first_text = other.text;
        }
        const auto add = [&](const Units& units) {
            if (!with_left_out && left_out.count(model.name + "_" + units.name)) return;
            cases.push_back({model.name + "_" + units.name, model.name, model.text, model.first,
                             first_text, units, unit_deep && !own_depth});
        };
        for (const Units& units : force_sets) add(units);
        if (own_depth || unit_deep)
            for (const Units& units : length_sets) add(units);
        for (const Units& units : time_sets) {
            ModelFacts ignored;
            if (rewrite(model.text, units, ignored) != own) add(units);
        }
    }
    return cases;
}

void PrintTo(const UnitCase& c, std::ostream* out)
{
    *out << c.name;
}

class OtherUnits : public ScratchFiles, public ::testing::WithParamInterface<UnitCase> {
protected:
    // Runs the model (after the one it restarts from) in directory `folder`.
    Outcome run_in(const std::string& folder, const UnitCase& c, const Units& units, ModelFacts& facts)
    {
        std::filesystem::create_directory(scratch + folder);
        std::filesystem::current_path(scratch + folder);
        if (!c.first.empty()) {
            ModelFacts first_facts;
            const std::string path = scratch + folder + "/" + c.first + ".dat";
            write_model(folder + "/" + c.first + ".dat",
                        rewrite(c.first_text, units, first_facts, c.unit_deep));
            const Outcome first = run_quietly(path);
            EXPECT_TRUE(first.run.finished) << c.first << ": " << first.run.error;
        }
        write_model(folder + "/" + c.model + ".dat", rewrite(c.text, units, facts, c.unit_deep));
        Outcome outcome = run_quietly(scratch + folder + "/" + c.model + ".dat");
        std::filesystem::current_path(scratch);
        return outcome;
    }
};

}  // namespace

TEST_P(OtherUnits, GiveTheSameAnswers)
{
    const UnitCase& c = GetParam();
    ModelFacts facts, scaled_facts;
    const Outcome original = run_in("own", c, Units{"same", 1.0, 1.0, 1.0}, facts);
    ASSERT_EQ(original.run.input_errors, 0) << original.run.error;
    ASSERT_TRUE(original.run.finished) << original.run.error;
    const Outcome scaled = run_in("other", c, c.units, scaled_facts);
    compare_runs(original, scaled, c.units, facts, c.unit_deep);
}

INSTANTIATE_TEST_SUITE_P(Models, OtherUnits, ::testing::ValuesIn(unit_cases()), UnitCaseName());

// A row left out names a row the table would have.
TEST(OtherUnitsTable, LeavesOutOnlyRowsItHas)
{
    std::set<std::string> names;
    for (const UnitCase& c : unit_cases(true)) names.insert(c.name);
    for (const std::string& name : left_out) EXPECT_TRUE(names.count(name)) << name;
}
