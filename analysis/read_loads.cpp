// Readers of the "*suppress", "*loadef" and "*post" sections.

#include <cctype>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "continuum.h"
#include "control.h"
#include "domain.h"
#include "kvparser.h"
#include "loads.h"

namespace {

bool begins_with_digit(const std::string& text)
{
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) != 0;
}

// Whether the text starts the way a decimal integer does: an optional sign, then
// a digit.
bool reads_as_integer(const std::string& text)
{
    std::string::size_type start = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) start = 1;
    return start < text.size() && std::isdigit(static_cast<unsigned char>(text[start])) != 0;
}

// The text after the letter of a dof or load field.
std::string after_letter(const std::string& word) { return word.size() > 1 ? word.substr(1) : ""; }

// A dof to fix at every node of a suppress line.
struct SuppressedDof {
    KelVane::dof_type type;
    Direction direction;
};

const std::size_t max_suppressed_dofs = 10;

// Reads the kind and value pairs that open a line of a "loads" or "prescribed"
// block into the group, up to the first field that begins with a digit, where
// first_node is left. A kind is a letter, followed by a direction for the
// structural kinds. Returns false at a word whose letter names no kind of the
// block; the block ends there.
template <class Group>
bool read_kind_values(input_data& input, Group& group, bool (*kind_of_letter)(char, std::uint32_t&),
                      bool (*is_structural)(std::uint32_t), int& first_node)
{
    int i = 1;
    for (; i <= input.field_count(); i += 2) {
        input.field(i);
        if (begins_with_digit(input.current_field())) break;
        std::string word;
        input.get_string(i, word);
        std::uint32_t kind = 0;
        if (!kind_of_letter(word[0], kind)) return false;
        double value = 0.0;
        const bool have_value = input.get_double(i + 1, value);
        if (is_structural(kind)) {
            Direction direction;
            if (input.read_direction(after_letter(word), direction) && have_value)
                group.add_load(kind, direction, value);
        } else if (have_value) {
            group.add_load(kind, value);
        }
    }
    first_node = i;
    return true;
}

// Hands the nodes numbered from field first to the end of the line to add_node,
// while the line has no errors. A number the model does not have is reported
// as before, the number, after; it counts one error and ends the line.
template <class AddNode>
void read_node_numbers(input_data& input, MyDomain& domain, int first, const char* before,
                       const char* after, AddNode add_node)
{
    for (int i = first; i <= input.field_count() && input.line_errors() == 0; ++i) {
        int number = 0;
        if (!input.get_int(i, number)) break;
        MyNode* node = input.find_node(domain, number);
        if (node == nullptr) {
            std::cerr << before << number << after << std::endl;
            input.add_errors(1);
            break;
        }
        add_node(node);
    }
}

}  // namespace

bool input_data::dof_type_of_letter(char letter, KelVane::dof_type& type)
{
    switch (std::tolower(static_cast<unsigned char>(letter))) {
    case 'u':
        type = KelVane::displacement_type;
        return true;
    case 'r':
        type = KelVane::rotation_type;
        return true;
    case 't':
        type = KelVane::temperature_type;
        return true;
    default:
        return false;
    }
}

bool input_data::load_type_of_letter(char letter, KelVane::Dof::Load& type)
{
    switch (std::tolower(static_cast<unsigned char>(letter))) {
    case 'f':
        type = KelVane::Dof::force;
        return true;
    case 'm':
        type = KelVane::Dof::moment;
        return true;
    case 'q':
        type = KelVane::Dof::heat_flux;
        return true;
    default:
        return false;
    }
}

bool input_data::read_direction(const std::string& text, Direction& direction)
{
    if (text.empty()) {
        std::cerr << "direction missing" << '\n';
        add_errors(1);
        return false;
    }
    switch (std::tolower(static_cast<unsigned char>(text[0]))) {
    case 'x':
        direction = Direction(1.0, 0.0, 0.0);
        return true;
    case 'y':
        direction = Direction(0.0, 1.0, 0.0);
        return true;
    case 'z':
        direction = Direction(0.0, 0.0, 1.0);
        return true;
    default:
        break;
    }
    if (reads_as_integer(text))
        std::cerr << "free direction not implemented yet" << '\n';
    else
        std::cerr << "error in direction" << '\n';
    add_errors(1);
    return false;
}

int input_data::read_suppress(MyDomain& domain)
{
    next_line();
    while (!is_keyword_line()) {
        // Leading fields that do not begin with a digit name the dofs.
        std::vector<SuppressedDof> dofs;
        int i = 1;
        std::size_t dof_fields = 0;
        for (; i <= field_count(); ++i) {
            field(i);
            if (begins_with_digit(current_field())) break;
            if (++dof_fields > max_suppressed_dofs) {
                std::cerr << "too many directions (must be less than 11)" << '\n';
                add_errors(1);
                break;
            }
            std::string word;
            get_string(i, word);
            KelVane::dof_type type = 0;
            if (!dof_type_of_letter(word[0], type)) {
                std::cerr << "unknown type of load" << std::endl;
                add_errors(1);
                continue;
            }
            Direction direction;
            if (KelVane::is_structural_type(type) && !read_direction(after_letter(word), direction))
                continue;
            dofs.push_back(SuppressedDof{type, direction});
        }
        // The rest are node numbers; a line with any error fixes nothing more.
        read_node_numbers(*this, domain, i, "unknown suppressed node number", "",
                          [&](MyNode* node) {
                              for (const SuppressedDof& dof : dofs)
                                  node->add_dof(KelVane::fixed_status, dof.type, dof.direction);
                          });
        next_line();
    }
    return 1;
}

int input_data::read_loadef(MyDomain& domain)
{
    next_line();
    while (!is_keyword_line()) {
        std::string word;
        if (field_count() != 2 || !get_string(1, word) || word != "set") {
            std::cerr << "first line of each set in *LOADEF must define the SET number"
                      << std::endl;
            add_errors(1);
            return 1;
        }
        int number = 0;
        const bool defined_before =
            get_number(2, number) && find_load_set(domain, number) != nullptr;
        if (defined_before) report_defined_twice("load set", number);
        auto load_set = std::make_unique<KelVane::LoadSet>(static_cast<std::uint32_t>(number));
        next_line();

        // Blocks until a keyword line or the next "set" line. The first block word
        // is taken from the line after the "set" line whatever that line is.
        for (;;) {
            // The end of the file has no block word, as a "*end" line has none.
            std::string block;
            if (field_count() > 0) get_string(1, block);
            if (block == "set") break;
            if (block == "pressure") {
                read_pressure(domain, load_set.get());
            } else if (block == "loads") {
                read_nodal_loads(domain, load_set.get());
            } else if (block == "prescribed") {
                read_prescribed(domain, load_set.get());
            } else {
                std::cerr << "undefined load type in definition (*LOADEF)" << std::endl;
                add_errors(1);
                return 1;
            }
            if (is_keyword_line()) break;
        }
        // A set read under a number already defined is dropped.
        if (!defined_before) domain.load_sets.push_back(load_set.release());
    }
    return 1;
}

int input_data::read_pressure(MyDomain& domain, KelVane::LoadSet* load_set)
{
    auto pressures = std::make_unique<KelVane::Pressure_Loads>();
    next_line();
    while (!is_keyword_line() && line_begins_with_digit()) {
        int element_number = 0;
        int face = 0;
        double pressure = 0.0;
        bool read = get_int(1, element_number);
        read = get_int(2, face) && read;
        read = get_double(3, pressure) && read;
        FiniteElement* element = find_element(domain, element_number);
        if (element == nullptr) {
            // The whole block is dropped; the set reader stops at this line.
            std::cerr << "pressure on unknown element number " << element_number << std::endl;
            add_errors(1);
            return 1;
        }
        const int faces = element->pressure_faces();
        if (read && (face < 1 || face > faces)) {
            // Found here rather than as an internal message when the load is applied.
            if (faces == 0)
                std::cerr << "element " << element_number << " takes no pressure" << std::endl;
            else
                std::cerr << "element " << element_number << " has faces 1 to " << faces
                          << "; found face " << face << std::endl;
            add_errors(1);
            read = false;
        }
        if (read) pressures->add_load(element, face, pressure);
        next_line();
    }
    load_set->add(pressures.release());
    return 1;
}

int input_data::read_nodal_loads(MyDomain& domain, KelVane::LoadSet* load_set)
{
    next_line();
    while (!is_keyword_line()) {
        auto loads = std::make_unique<KelVane::Nodal_Loads>();
        int first_node = 0;
        // A word that names no load (the next block word, "set") ends the block.
        if (!read_kind_values(*this, *loads, load_type_of_letter, KelVane::is_structural_load,
                              first_node))
            return 1;
        read_node_numbers(*this, domain, first_node, "unknown node number ", " in nodal loads",
                          [&](MyNode* node) { loads->add_node(node); });
        load_set->add(loads.release());
        next_line();
    }
    return 1;
}

int input_data::read_prescribed(MyDomain& domain, KelVane::LoadSet* load_set)
{
    next_line();
    while (!is_keyword_line()) {
        auto prescribed = std::make_unique<KelVane::Nodal_Prescribed>();
        int first_node = 0;
        if (!read_kind_values(*this, *prescribed, dof_type_of_letter, KelVane::is_structural_type,
                              first_node))
            return 1;
        read_node_numbers(*this, domain, first_node, "unknown prescribed node number", "",
                          [&](MyNode* node) { prescribed->add_node(node); });
        load_set->add(prescribed.release());
        next_line();
    }
    return 1;
}

int input_data::read_post(KelVane::Control<MyDomain>* control)
{
    if (control == nullptr) {
        std::cerr << "*POST must be after *NONLINEAR" << std::endl;
        add_errors(1);
        next_line();
        return 1;
    }
    KelVane::PostProc selection;
    next_line();
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        if (word == "step") {
            for (int i = 2; i <= field_count(); ++i) {
                int step = 0;
                if (get_int(i, step)) selection.steps.insert(step);
            }
        } else if (word == "all") {
            selection.all = true;
        } else if (word == "last") {
            selection.last = true;
        } else if (word == "displacement") {
            selection.displacement = true;
        } else if (word == "temperature") {
            selection.temperature = true;
        } else if (word == "stress") {
            selection.stress = true;
            stress_line_ = line();
            stress_line_number_ = line_number();
        } else if (word == "equivalent") {
            selection.equivalent = true;
        } else {
            std::cerr << "first word of each line in POST selection must be: step, all or last"
                      << std::endl;
            add_errors(1);
            return 1;
        }
        next_line();
    }
    control->post_selection() = selection;
    return 1;
}

void input_data::check_stress_layouts(const MyDomain& domain,
                                      const KelVane::Control<MyDomain>* control)
{
    if (control == nullptr || !control->post_selection().stress) return;
    // Hexahedra average six stress components onto the nodes, every other
    // continuum element four (trusses, beams, masses and heat elements none).
    bool solid = false;
    bool plane = false;
    for (const FiniteElement* element : domain.elements) {
        const auto* continuum = dynamic_cast<const NumIntStructElement*>(element);
        if (continuum == nullptr) continue;
        (continuum->get_stress_state() == 0 ? solid : plane) = true;
    }
    if (!(solid && plane)) return;
    std::cerr << "the result file's stress block has one layout, but the model mixes "
                 "hexahedra (Sxx, Syy, Szz, Sxy, Syz, Szx) with plane or axisymmetric "
                 "elements (Sxx, Syy, Sxy, Szz): leave out stress"
              << std::endl;
    count_error_of_line(stress_line_number_, stress_line_);
}
