// Sections "*title", "*nodes" and "*elements", the element factory and the
// lookups by number.

#include <iostream>
#include <iterator>
#include <memory>

#include "beam.h"
#include "domain.h"
#include "geometry.h"
#include "kvparser.h"
#include "material.h"
#include "node.h"
#include "point_mass.h"
#include "truss.h"

namespace {

// Element type codes.
enum : int {
    truss_code = 1,
    beam2d_code = 61,
    mass2d_code = 51,
    mass3d_code = 52,
};

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
        get_int(1, number);
        get_double(2, x);
        get_double(3, y);
        get_double(4, z);
        if (line_errors() == 0)
            domain.nodes.push_back(new MyNode(static_cast<std::uint32_t>(number), x, y, z));
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
        if (field_count() > 1) {
            int number = 0;
            if (get_int(2, number)) {
                material = find_material(domain, number);
                if (material == nullptr) {
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
            if (line_errors() == 0) {
                KelVane::Node** nodes = read_element_nodes(domain, node_count);
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
