#ifndef KELVANED_KVPARSER_H
#define KELVANED_KVPARSER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <list>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "dof.h"
#include "vector3.h"

class MyDomain;
class MyNode;
class FiniteElement;

namespace KelVane {
class Material_type;
class Geometry;
class Node;
class LoadSet;
template <class DomainType>
class Control;
template <class DomainType>
class IncrementalControl;
template <class DomainType>
class IncrementalIterativeControl;
}  // namespace KelVane

// Reader of a model file. It reads one logical line at a time, splits it into
// blank-separated fields, recognises the keyword lines that open a section and
// hands them to the section readers, which read typed fields of the current
// line. Every problem counts against the current line; a line's errors are
// reported, with the line, and added to the total when the reader moves on.
class input_data {
public:
    // Section keys; 0 before the first keyword, 100 once the input has ended.
    enum {
        title_key = 1,
        elements_key = 2,
        nodes_key = 3,
        suppress_key = 4,
        material_key = 7,
        geometry_key = 8,
        nonlinear_key = 10,
        loadef_key = 11,
        post_key = 12,
        linear_key = 13,
        eigen_key = 14,
        end_key = 100
    };

    input_data();
    ~input_data();
    input_data(const input_data&) = delete;
    input_data& operator=(const input_data&) = delete;

    // --- line reading (kvparser.cpp) ---

    // Path of the model file; set before the first read.
    void set_file_name(const std::string& name) { file_name_ = name; }
    const std::string& file_name() const { return file_name_; }

    // 0 on success, 1 (with a message) when there is no name or the file cannot be opened.
    int open_file();
    // Reads one logical line; returns the character that ended it (EOF at the end).
    int read_line();
    // Reports the previous line's errors, then reads and classifies the next
    // non-empty line. The end of the file acts as a "*end" line.
    void next_line();
    // Key of the keyword on the current line, or 0.
    int read_key();

    int key() const { return key_; }
    int is_keyword_line() const { return keyword_line_; }
    int line_consumed() const { return consumed_; }
    void skip_line() { consumed_ = 1; }
    bool at_eof() const;
    bool end_of_input();
    // Whether the input ended before the end of the file: the file could not be
    // opened or read, or a line was too long to be a model line.
    bool input_cut_short() const { return cut_short_; }

    // Selects field i (from 1; 0 selects field 1). Asking for a field the line
    // does not have reports the line and throws syntax_error.
    void field(int i);
    // Typed access to field i. The field must be a number and nothing more; an
    // integer field may be written as a real whose fraction is zero ("12.0"). A
    // field that is not such a number ("12abc", "1,5", "12.5" for an integer), an
    // integer out of range or a real that is not finite (overflow, "inf", "nan")
    // counts one error ("wrong type in field i") and leaves the target unchanged.
    // Return true when a value was stored.
    bool get_int(int i, int& value);
    // The number a node, material, geometry or load set is defined with: an
    // integer of 0 or more ("number in field i must not be negative" otherwise).
    bool get_number(int i, int& value);
    bool get_double(int i, double& value);
    // Field i in lower case.
    bool get_string(int i, std::string& value);
    // Field i exactly as written (file names keep their case).
    std::string raw_field(int i);
    // A line of more than `fields` fields counts one error: "<first field> takes
    // <takes>; found <the first field too many>". Only node lines and lists
    // take any number of fields; a field no reader reads would be lost unseen.
    // False when the line had too many.
    bool check_field_count(int fields, const std::string& takes);
    // Writes field i to the error stream, without a line end.
    void field_error(int i);
    void report_line_error();
    int error_count() const { return total_errors_; }

    // Counts errors against the current line (messages are the caller's).
    void add_errors(int count) { line_errors_ += count; }
    int line_errors() const { return line_errors_; }
    int field_count() const { return field_count_; }
    int line_number() const { return line_number_; }
    // Counts one error of an earlier line, found only once the lines after it were
    // read (a section that lacks something): reports that line at once.
    void count_error_of_line(int number, const std::string& text);
    const std::string& line() const { return line_; }
    const std::string& current_field() const { return current_field_; }
    // Whether the current line's first character is a digit (element, pressure lines).
    bool line_begins_with_digit() const;

    // Calls the section reader of the current keyword line.
    int read_data(MyDomain& domain, KelVane::Control<MyDomain>*& control);

    // --- title, nodes and elements (read_model_sections.cpp) ---

    int read_title(MyDomain& domain);
    int read_nodes(MyDomain& domain);
    int read_elements(MyDomain& domain);
    // Element type code of the current line's first field, 0 when unknown.
    int element_type();
    // The node array (new[]) of the current element line, or null after an error.
    KelVane::Node** read_element_nodes(MyDomain& domain, int count);
    // A plane element whose nodes do not all lie at z = 0 counts one error.
    void check_in_plane(int number, KelVane::Node* const* nodes, int count);
    // Creates and adds the element of the code; takes over the node array.
    void create_element(int code, MyDomain& domain, KelVane::Material_type* material,
                        KelVane::Geometry* geometry, int number, KelVane::Node** nodes);

    // The first object defined with the number, or null.
    KelVane::Material_type* find_material(MyDomain& domain, int number);
    KelVane::Geometry* find_geometry(MyDomain& domain, int number);
    MyNode* find_node(MyDomain& domain, int number);
    FiniteElement* find_element(MyDomain& domain, int number);
    KelVane::LoadSet* find_load_set(MyDomain& domain, int number);
    // A number given to a second node, element, material, geometry or load set:
    // writes "<kind> <number> is defined twice" and counts one error on the line.
    // The first definition is the one kept.
    void report_defined_twice(const char* kind, int number);

    // --- materials and geometries (read_materials.cpp) ---

    int read_material(MyDomain& domain);
    // Each reads parameter lines from the current line up to the next keyword
    // line and returns the new material.
    KelVane::Material_type* read_linearelastic(int number);
    KelVane::Material_type* read_xplinearelastic(int number);
    KelVane::Material_type* read_nonlinearelastic(int number);
    KelVane::Material_type* read_vonmises(int number);
    KelVane::Material_type* read_thermal(int number);
    KelVane::Material_type* read_thermoelastic(int number);
    KelVane::Material_type* read_thermoplastic(int number);
    // The mass is field 2 of the current (type) line.
    KelVane::Material_type* read_mass(int number);
    int read_geometry(MyDomain& domain);

    // --- boundary conditions, load sets, result selection (read_loads.cpp) ---

    int read_suppress(MyDomain& domain);
    int read_loadef(MyDomain& domain);
    int read_post(KelVane::Control<MyDomain>* control);
    // After the whole file: the result file's stress block has one layout, so a
    // stress selection is refused (one error, reported with the *post line that
    // asked for it) when the model mixes hexahedra with plane or axisymmetric
    // elements.
    void check_stress_layouts(const MyDomain& domain, const KelVane::Control<MyDomain>* control);
    // After the whole file (load sets may be defined after the analysis section):
    // an "increment load" line of the analysis that names a set *loadef does not
    // define counts one error, reported with that line.
    void check_load_sets(MyDomain& domain);
    // Block readers of a load set; each stops at the first line not of its block.
    int read_pressure(MyDomain& domain, KelVane::LoadSet* load_set);
    int read_nodal_loads(MyDomain& domain, KelVane::LoadSet* load_set);
    int read_prescribed(MyDomain& domain, KelVane::LoadSet* load_set);
    // Direction from the text after a dof or load letter; an empty or unknown
    // text counts one error on the line and gives false.
    bool read_direction(const std::string& text, Direction& direction);
    // False for a letter that names no kind.
    static bool dof_type_of_letter(char letter, KelVane::dof_type& type);
    static bool load_type_of_letter(char letter, KelVane::Dof::Load& type);

    // --- analysis controls (read_controls.cpp) ---

    int read_linear(KelVane::Control<MyDomain>*& control);
    int read_eigen(KelVane::Control<MyDomain>*& control);
    int read_nonlinear(KelVane::Control<MyDomain>*& control);
    int read_nonlinear_static(KelVane::Control<MyDomain>*& control);
    int read_nonlinear_dynamic(KelVane::Control<MyDomain>*& control);
    // True when the word (the current line's first field, lower case) is an
    // option of theirs, also when its line then had an error.
    bool read_increment_option(const std::string& word,
                               KelVane::IncrementalControl<MyDomain>& control);
    bool read_iteration_option(const std::string& word,
                               KelVane::IncrementalIterativeControl<MyDomain>& control);

private:
    // Number -> first object with that number, for one list of the container.
    // Entries appended to the list since the last lookup are indexed on the next
    // one, so lookups stay cheap however the list grows.
    template <class Object>
    struct NumberIndex {
        const std::list<Object*>* list = nullptr;
        const Object* front = nullptr;
        std::size_t indexed = 0;
        typename std::list<Object*>::const_iterator last;
        std::unordered_map<std::uint32_t, Object*> first_of;
    };
    template <class Object, class NumberOf>
    static Object* lookup(NumberIndex<Object>& index, const std::list<Object*>& list,
                          int number, NumberOf number_of);

    // A keyword line with fields its keyword does not take counts one error.
    void check_keyword_fields();
    // The next character of the file, counted against the length of its line.
    int next_char();
    // Reads and skips the element lines of a group that creates nothing.
    void skip_element_lines();
    // Reads the parameter lines of a material type; accept(word) handles one word
    // and returns false when the type does not know it.
    template <class Accept>
    void read_parameter_lines(Accept accept);

    int line_number_ = 0;
    int field_count_ = 0;
    int key_ = 0;
    int keyword_line_ = 0;
    int total_errors_ = 0;
    int line_errors_ = 0;
    int field_cursor_ = 0;
    unsigned field_start_ = 0;
    unsigned field_end_ = 0;
    int consumed_ = 0;
    std::size_t physical_length_ = 0;
    bool line_too_long_ = false;
    bool cut_short_ = false;
    bool end_line_checked_ = false;
    std::FILE* file_ = nullptr;
    std::string file_name_;
    const std::string separators_;
    std::string line_;
    std::string current_field_;
    // The last post line that selected the stress block, and its line number.
    std::string stress_line_;
    int stress_line_number_ = 0;

    // Numbers of materials whose definition was refused and that were not created:
    // an element group of one has had its error there.
    std::set<int> refused_materials_;
    // The parameter words given to the material being read.
    std::set<std::string> material_words_;
    // Each "increment load" line of the current analysis section: the set it names.
    struct LoadBlockLine {
        int load_set;
        int number;
        std::string text;
    };
    std::vector<LoadBlockLine> load_block_lines_;

    NumberIndex<MyNode> node_index_;
    NumberIndex<FiniteElement> element_index_;
    NumberIndex<KelVane::Material_type> material_index_;
    NumberIndex<KelVane::Geometry> geometry_index_;
    NumberIndex<KelVane::LoadSet> load_set_index_;
};

#endif
