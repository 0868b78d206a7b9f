// Sections "*title", "*nodes" and "*elements", the element factory and the
// lookups by number.

#include <iostream>
#include <iterator>
#include <memory>

#include "beam.h"
#include "continuum.h"
#include "domain.h"
#include "element_catalogue.h"
#include "geometry.h"
#include "heat_elements.h"
#include "kvparser.h"
#include "loads.h"
#include "material.h"
#include "node.h"
#include "point_mass.h"
#include "thermo_mechanical.h"
#include "total_lagrange.h"
#include "truss.h"

namespace {

// Element type codes.
enum : int {
    truss_code = 1,
    beam2d_code = 61,
    mass2d_code = 51,
    mass3d_code = 52,
    tri3psn_code = 2,
    tri3pss_code = 3,
    tri3axi_code = 4,
    tri3therm_code = 5,
    tri3psntherm_code = 6,
    tri6psn_code = 11,
    tri6pss_code = 12,
    tri6axi_code = 13,
    tri6psna_code = 17,
    tri6pssa_code = 18,
    tri6axia_code = 19,
    quad4psn_code = 21,
    quad4pss_code = 22,
    quad4axi_code = 23,
    quad4psstherm_code = 24,
    quad4psntherm_code = 25,
    quad8pss_code = 31,
    quad8psn_code = 32,
    quad8axi_code = 33,
    quad8pssa_code = 37,
    quad8psna_code = 38,
    quad8axia_code = 39,
    hex8_code = 41,
    tlquad4psn_code = 26,
    tlquad8psn_code = 34,
};

// Stress state that the input check of a continuum element type is given: 0
// three-dimensional, 1 plane strain, 2 plane stress, 3 axisymmetric; -1 for the
// other types.
int continuum_state(int code)
{
    switch (code) {
    case hex8_code:
        return 0;
    case tri3psn_code:
    case tri3psntherm_code:
    case tri6psn_code:
    case tri6psna_code:
    case quad4psn_code:
    case quad4psntherm_code:
    case quad8psn_code:
    case quad8psna_code:
    case tlquad4psn_code:
    case tlquad8psn_code:
        return 1;
    case tri3pss_code:
    case tri6pss_code:
    case tri6pssa_code:
    case quad4pss_code:
    case quad4psstherm_code:
    case quad8pss_code:
    case quad8pssa_code:
        return 2;
    case tri3axi_code:
    case tri6axi_code:
    case tri6axia_code:
    case quad4axi_code:
    case quad8axi_code:
    case quad8axia_code:
        return 3;
    default:
        return -1;
    }
}

struct ElementTypeEntry {
    const char* name;
    int code;
    int nodes;
};

// In the order the names are compared.
const ElementTypeEntry element_types[] = {
    {"truss", truss_code, 2},  {"beam2d", beam2d_code, 2},  {"tri3psn", 2, 3},
    {"tri3pss", 3, 3},         {"tri3axi", 4, 3},           {"tri3therm", 5, 3},
    {"tri3psntherm", 6, 3},    {"tri6psn", 11, 6},          {"tri6pss", 12, 6},
    {"tri6axi", 13, 6},        {"tri6psna", 17, 6},         {"tri6pssa", 18, 6},
    {"tri6axia", 19, 6},       {"quad4psn", 21, 4},         {"quad4pss", 22, 4},
    {"quad4axi", 23, 4},       {"quad4psstherm", 24, 4},    {"quad4psntherm", 25, 4},
    {"tlquad4psn", 26, 4},     {"quad8psn", 32, 8},         {"quad8pss", 31, 8},
    {"quad8axi", 33, 8},       {"quad8psna", 38, 8},        {"quad8pssa", 37, 8},
    {"quad8axia", 39, 8},      {"tlquad8psn", 34, 8},       {"hex8", 41, 8},
    {"mass2d", mass2d_code, 1}, {"mass3d", mass3d_code, 1},
};

// Plane and axisymmetric elements, heat triangles among them: their nodes lie in
// the x-y plane.
bool is_plane(int code)
{
    const int state = continuum_state(code);
    return state == 1 || state == 2 || state == 3 || code == tri3therm_code ||
           code == tri3psntherm_code || code == quad4psstherm_code ||
           code == quad4psntherm_code;
}

const ElementTypeEntry* entry_of_code(int code)
{
    for (const ElementTypeEntry& entry : element_types) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

}  // namespace

int input_data::read_title(MyDomain& domain)
{
    std::string title;
    next_line();
    bool first = true;
    while (!is_keyword_line()) {
        if (!first) title += '\n';
        title += line();
        first = false;
        next_line();
    }
    domain.title = title;
    return 1;
}

int input_data::read_nodes(MyDomain& domain)
{
    next_line();
    while (!is_keyword_line()) {
        int number = 0;
        double x = 0.0, y = 0.0, z = 0.0;
        get_number(1, number);
        get_double(2, x);
        get_double(3, y);
        get_double(4, z);
        if (line_errors() == 0) {
            if (find_node(domain, number) != nullptr)
                report_defined_twice("node", number);
            else
                domain.nodes.push_back(new MyNode(static_cast<std::uint32_t>(number), x, y, z));
        }
        next_line();
    }
    return 1;
}

int input_data::element_type()
{
    std::string name;
    get_string(1, name);
    for (const ElementTypeEntry& entry : element_types) {
        if (name == entry.name) return entry.code;
    }
    return 0;
}

void input_data::skip_element_lines()
{
    next_line();
    while (!is_keyword_line() && line_begins_with_digit()) next_line();
}

int input_data::read_elements(MyDomain& domain)
{
    next_line();
    while (!is_keyword_line()) {
        // A group line: element type, then optionally material and geometry numbers.
        int code = element_type();
        if (code == 0) {
            std::cerr << "unknown element name: " << raw_field(1) << std::endl;
            add_errors(1);
            skip_element_lines();
            continue;
        }

        KelVane::Material_type* material = nullptr;
        KelVane::Geometry* geometry = nullptr;
        // A remark after a backslash joins the first element line to the group line.
        check_field_count(3, "a material and a geometry number after it");
        // A material whose own line was refused has had its error.
        bool material_refused = false;
        if (field_count() > 1) {
            int number = 0;
            if (get_int(2, number)) {
                material = find_material(domain, number);
                material_refused = material == nullptr && refused_materials_.count(number) > 0;
                if (material == nullptr && !material_refused) {
                    std::cerr << "Error: material nr " << number << " must be defined before used"
                              << std::endl;
                    add_errors(1);
                }
            }
        }
        if (field_count() > 2) {
            int number = 0;
            if (get_int(3, number)) {
                geometry = find_geometry(domain, number);
                if (geometry == nullptr) {
                    std::cerr << "Error: geometry nr " << number << " must be defined before used"
                              << std::endl;
                    add_errors(1);
                }
            }
        }

        if (material_refused) {
            skip_element_lines();
            continue;
        }

        switch (code) {
        case truss_code:
            add_errors(Truss::check_input(material, geometry));
            break;
        case beam2d_code:
            add_errors(LinBeam2d::check_input(material, geometry));
            break;
        case mass2d_code:
        case mass3d_code:
            add_errors(Mass::check_input(material, geometry));
            break;
        case tri3therm_code:
            add_errors(Tri3therm::check_input(material, geometry));
            break;
        case tri3psntherm_code:
        case quad4psstherm_code:
        case quad4psntherm_code:
            add_errors(NumIntThermoMechanicalElement::check_input(material, geometry,
                                                                  continuum_state(code)));
            break;
        case tri3psn_code:
        case tri3pss_code:
        case tri3axi_code:
        case tri6psn_code:
        case tri6pss_code:
        case tri6axi_code:
        case tri6psna_code:
        case tri6pssa_code:
        case tri6axia_code:
        case quad4psn_code:
        case quad4pss_code:
        case quad4axi_code:
        case quad8psn_code:
        case quad8pss_code:
        case quad8axi_code:
        case quad8psna_code:
        case quad8pssa_code:
        case quad8axia_code:
        case hex8_code:
        case tlquad4psn_code:
        case tlquad8psn_code:
            add_errors(NumIntStructElement::check_input(material, geometry, continuum_state(code),
                                                        entry_of_code(code)->name));
            break;
        default: {
            std::string name;
            get_string(1, name);
            std::cerr << "element type " << name << " is not available in this version"
                      << std::endl;
            add_errors(1);
            break;
        }
        }

        if (line_errors() > 0) {
            skip_element_lines();
            continue;
        }

        const int node_count = entry_of_code(code)->nodes;
        next_line();
        while (!is_keyword_line() && line_begins_with_digit()) {
            int number = 0;
            get_int(1, number);
            if (line_errors() == 0 && find_element(domain, number) != nullptr)
                report_defined_twice("element", number);
            if (line_errors() == 0) {
                KelVane::Node** nodes = read_element_nodes(domain, node_count);
                if (nodes != nullptr && line_errors() == 0 && is_plane(code))
                    check_in_plane(number, nodes, node_count);
                if (nodes != nullptr && line_errors() == 0)
                    create_element(code, domain, material, geometry, number, nodes);
                else
                    delete[] nodes;
            }
            next_line();
        }
    }
    return 1;
}

KelVane::Node** input_data::read_element_nodes(MyDomain& domain, int count)
{
    if (field_count() != count + 1) {
        std::cerr << "wrong number of nodes " << field_count() - 1 << ", should be " << count
                  << std::endl;
        add_errors(1);
        return nullptr;
    }
    std::unique_ptr<KelVane::Node*[]> nodes(new KelVane::Node*[count]);
    for (int k = 1; k <= count; ++k) {
        int number = 0;
        get_int(k + 1, number);
        if (line_errors() > 0) return nullptr;
        MyNode* node = find_node(domain, number);
        if (node == nullptr) {
            std::cerr << "unknown nodenr " << number << std::endl;
            add_errors(1);
            return nullptr;
        }
        nodes[k - 1] = node;
    }
    return nodes.release();
}

void input_data::check_in_plane(int number, KelVane::Node* const* nodes, int count)
{
    for (int k = 0; k < count; ++k) {
        double x = 0.0, y = 0.0, z = 0.0;
        nodes[k]->get_coordinates(x, y, z);
        // A plane element would be computed as if the node lay at z = 0.
        if (z != 0.0) {
            std::cerr << "element " << number << " is a plane element, but its node "
                      << nodes[k]->number() << " lies at z = " << z
                      << ", off the x-y plane (z = 0)" << std::endl;
            add_errors(1);
            return;
        }
    }
}

void input_data::create_element(int code, MyDomain& domain, KelVane::Material_type* material,
                                KelVane::Geometry* geometry, int number, KelVane::Node** nodes)
{
    const auto element_number = static_cast<std::uint32_t>(number);
    FiniteElement* element = nullptr;
    switch (code) {
    case truss_code:
        element = new Truss(element_number, nodes, material, geometry);
        break;
    case beam2d_code:
        element = new LinBeam2d(element_number, nodes, material, geometry);
        break;
    case mass2d_code:
        element = new Mass2D(element_number, nodes, material, geometry);
        break;
    case mass3d_code:
        element = new Mass3D(element_number, nodes, material, geometry);
        break;
    case tri3psn_code:
        element = new Tri3psn(element_number, nodes, material, geometry);
        break;
    case tri3pss_code:
        element = new Tri3pss(element_number, nodes, material, geometry);
        break;
    case tri3axi_code:
        element = new Tri3axi(element_number, nodes, material, geometry);
        break;
    case tri3therm_code:
        element = new Tri3therm(element_number, nodes, material, geometry);
        break;
    case tri3psntherm_code:
        element = new Tri3psnTherm(element_number, nodes, material, geometry);
        break;
    case tri6psn_code:
    case tri6psna_code:
        element = new Tri6psn(element_number, nodes, material, geometry, code == tri6psna_code);
        break;
    case tri6pss_code:
    case tri6pssa_code:
        element = new Tri6pss(element_number, nodes, material, geometry, code == tri6pssa_code);
        break;
    case tri6axi_code:
    case tri6axia_code:
        element = new Tri6axi(element_number, nodes, material, geometry, code == tri6axia_code);
        break;
    case quad4psn_code:
        element = new Quad4psn(element_number, nodes, material, geometry);
        break;
    case quad4pss_code:
        element = new Quad4pss(element_number, nodes, material, geometry);
        break;
    case quad4axi_code:
        element = new Quad4axi(element_number, nodes, material, geometry);
        break;
    case quad4psstherm_code:
        element = new Quad4pssTherm(element_number, nodes, material, geometry);
        break;
    case quad4psntherm_code:
        element = new Quad4psnTherm(element_number, nodes, material, geometry);
        break;
    case quad8psn_code:
    case quad8psna_code:
        element = new Quad8psn(element_number, nodes, material, geometry, code == quad8psna_code);
        break;
    case quad8pss_code:
    case quad8pssa_code:
        element = new Quad8pss(element_number, nodes, material, geometry, code == quad8pssa_code);
        break;
    case quad8axi_code:
    case quad8axia_code:
        element = new Quad8axi(element_number, nodes, material, geometry, code == quad8axia_code);
        break;
    case hex8_code:
        element = new Hex8(element_number, nodes, material, geometry);
        break;
    case tlquad4psn_code:
        element = new TLQuad4psn(element_number, nodes, material, geometry);
        break;
    case tlquad8psn_code:
        element = new TLQuad8psn(element_number, nodes, material, geometry);
        break;
    default:
        std::cerr << "unknown element in input_data::create_element()" << std::endl;
        add_errors(1);
        delete[] nodes;
        return;
    }
    domain.add_element(element);
}

template <class Object, class NumberOf>
Object* input_data::lookup(NumberIndex<Object>& index, const std::list<Object*>& list,
                           int number, NumberOf number_of)
{
    // A list that is not the one indexed, or that shrank or changed its head,
    // is indexed anew.
    if (index.list != &list || list.size() < index.indexed ||
        (index.indexed > 0 && list.front() != index.front)) {
        index.list = &list;
        index.indexed = 0;
        index.first_of.clear();
    }
    if (list.size() > index.indexed) {
        auto it = index.indexed == 0 ? list.begin() : std::next(index.last);
        index.front = list.front();
        for (; it != list.end(); ++it) {
            // emplace keeps an existing entry: the first object with a number wins.
            index.first_of.emplace(number_of(*it), *it);
            index.last = it;
            ++index.indexed;
        }
    }
    auto found = index.first_of.find(static_cast<std::uint32_t>(number));
    return found == index.first_of.end() ? nullptr : found->second;
}

KelVane::Material_type* input_data::find_material(MyDomain& domain, int number)
{
    return lookup(material_index_, domain.materials, number,
                  [](const KelVane::Material_type* m) { return std::uint32_t(m->number()); });
}

KelVane::Geometry* input_data::find_geometry(MyDomain& domain, int number)
{
    return lookup(geometry_index_, domain.geometries, number,
                  [](const KelVane::Geometry* g) { return g->number(); });
}

MyNode* input_data::find_node(MyDomain& domain, int number)
{
    return lookup(node_index_, domain.nodes, number,
                  [](const MyNode* n) { return n->number(); });
}

FiniteElement* input_data::find_element(MyDomain& domain, int number)
{
    return lookup(element_index_, domain.elements, number,
                  [](const FiniteElement* e) { return e->number(); });
}

KelVane::LoadSet* input_data::find_load_set(MyDomain& domain, int number)
{
    return lookup(load_set_index_, domain.load_sets, number,
                  [](const KelVane::LoadSet* s) { return s->number(); });
}

void input_data::report_defined_twice(const char* kind, int number)
{
    std::cerr << kind << ' ' << number << " is defined twice" << std::endl;
    add_errors(1);
}
