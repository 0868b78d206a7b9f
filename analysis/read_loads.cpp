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

// The words of the kinds a "loads" or "prescribed" block line (and a "*suppress"
// line) may give.
const char* const load_words = "fx, fy, fz, mx, my, mz and q";
const char* const dof_words = "ux, uy, uz, rx, ry, rz and t";

// Whether field i, whose letter names a kind, is one of the block's words in full:
// the letter and an axis for the structural kinds, the letter alone for the
// others. Another word ("fyx", "q_heat", "temp") counts one error naming it; a
// structural letter with a wrong or missing axis, or a number for a free
// direction, is left to read_direction.
bool whole_kind_word(input_data& input, int i, bool structural, const char* what,
                     const char* words)
{
    const std::string word = input.raw_field(i);
    if (word.size() <= (structural ? 2u : 1u)) return true;
    if (structural && reads_as_integer(word.substr(1))) return true;
    std::cerr << "unknown " << what << " " << word << ": the words are " << words << std::endl;
    input.add_errors(1);
    return false;
}

// Reads the kind and value pairs that open a line of a "loads" or "prescribed"
// block into the group, up to the first field that begins with a digit, where
// first_node is left. A kind is a letter, followed by a direction for the
// structural kinds. Returns false at a word whose letter names no kind of the
// block; the block ends there.
template <class Group>
bool read_kind_values(input_data& input, Group& group, bool (*kind_of_letter)(char, std::uint32_t&),
                      bool (*is_structural)(std::uint32_t), const char* what, const char* words,
                      int& first_node)
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
        if (!whole_kind_word(input, i, is_structural(kind), what, words)) continue;
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

// A line of a "loads" or "prescribed" block gives its kinds, then its nodes: a
// line without either does nothing, and counts one error.
void check_kinds_and_nodes(input_data& input, int first_node, const char* what)
{
    if (input.line_errors() > 0) return;
    if (first_node == 1) {
        std::cerr << "the line names no " << what << " before its node numbers" << std::endl;
        input.add_errors(1);
    } else if (first_node > input.field_count()) {
        std::cerr << "the line names no node after its " << what << " and value pairs"
                  << std::endl;
        input.add_errors(1);
    }
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
            if (!whole_kind_word(*this, i, KelVane::is_structural_type(type), "degree of freedom",
                                 dof_words))
                continue;
            Direction direction;
            if (KelVane::is_structural_type(type) && !read_direction(after_letter(word), direction))
                continue;
            dofs.push_back(SuppressedDof{type, direction});
        }
        // A line without its degrees of freedom or without its nodes fixes nothing.
        if (line_errors() == 0 && dof_fields == 0) {
            std::cerr << "the line names no degree of freedom before its node numbers"
                      << std::endl;
            add_errors(1);
        } else if (line_errors() == 0 && i > field_count()) {
            std::cerr << "the line names no node after its degrees of freedom" << std::endl;
            add_errors(1);
        }
        // The rest are node numbers; a line with any error fixes nothing more.
        read_node_numbers(*this, domain, i, "unknown suppressed node number ", "",
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
        const int set_line_number = line_number();
        const std::string set_line = line();
        next_line();
        if (is_keyword_line()) {
            // The set line is the one in error, not the keyword line that follows.
            std::cerr << "load set " << number
                      << " has no block: loads, prescribed or pressure must follow its set line"
                      << std::endl;
            count_error_of_line(set_line_number, set_line);
            break;
        }

        // Blocks until a keyword line or the next "set" line. The first block word
        // is taken from the line after the "set" line whatever that line is.
        for (;;) {
            // The end of the file has no block word, as a "*end" line has none.
            std::string block;
            if (field_count() > 0) get_string(1, block);
            if (block == "set") break;
            // The block word stands alone: a remark after a backslash on it joins
            // the next line to it, whose fields would be lost.
            if (block == "pressure" || block == "loads" || block == "prescribed")
                check_field_count(1, "nothing after it");
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
        if (field_count() > 3) {
            std::cerr << "a pressure line takes the element number, the face number and the "
                         "pressure; found "
                      << raw_field(4) << std::endl;
            add_errors(1);
            read = false;
        }
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
                              "load", load_words, first_node))
            return 1;
        check_kinds_and_nodes(*this, first_node, "load");
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
                              "degree of freedom", dof_words, first_node))
            return 1;
        check_kinds_and_nodes(*this, first_node, "degree of freedom");
        read_node_numbers(*this, domain, first_node, "unknown prescribed node number ", "",
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
            check_field_count(1, "nothing after it");
        } else if (word == "last") {
            selection.last = true;
            check_field_count(1, "nothing after it");
        } else if (word == "displacement") {
            selection.displacement = true;
            check_field_count(1, "nothing after it");
        } else if (word == "temperature") {
            selection.temperature = true;
            check_field_count(1, "nothing after it");
        } else if (word == "stress") {
            selection.stress = true;
            stress_line_ = line();
            stress_line_number_ = line_number();
            check_field_count(1, "nothing after it");
        } else if (word == "equivalent") {
            selection.equivalent = true;
            check_field_count(1, "nothing after it");
        } else {
            std::cerr << "first word of each line in POST selection must be: step, all, last, "
                         "displacement, temperature, stress or equivalent; found "
                      << raw_field(1) << std::endl;
            add_errors(1);
            return 1;
        }
        next_line();
    }
    control->post_selection() = selection;
    return 1;
}

void input_data::check_load_sets(MyDomain& domain)
{
    for (const LoadBlockLine& block : load_block_lines_) {
        if (find_load_set(domain, block.load_set) != nullptr) continue;
        std::cerr << "load set " << block.load_set << " is not defined: *LOADEF has no set "
                  << block.load_set << std::endl;
        count_error_of_line(block.number, block.text);
    }
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
