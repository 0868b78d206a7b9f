// Sections "*material" and "*geometry".

#include <iostream>
#include <memory>

#include "domain.h"
#include "elastic.h"
#include "geometry.h"
#include "heat_conduction.h"
#include "kvparser.h"
#include "material.h"
#include "plastic.h"

namespace {

// A "word value" parameter line: the value of field 2 goes to the material's
// setter, and a value the setter refuses counts against the line.
template <class Material, class Owner>
void read_value(input_data& input, Material& material, int (Owner::*set)(double))
{
    input.check_field_count(2, "one value");
    double value = 0.0;
    if (input.get_double(2, value)) input.add_errors((material.*set)(value));
}

// Parameter words of isotropic elasticity (linear elastic and von Mises
// materials); false for another word.
template <class Material>
bool elastic_parameter(input_data& input, Material& material, const std::string& word)
{
    if (word == "young")
        read_value(input, material, &Material::set_young);
    else if (word == "poisson")
        read_value(input, material, &Material::set_poisson);
    else if (word == "density")
        read_value(input, material, &Material::set_density);
    else
        return false;
    return true;
}

// Parameter words of heat conduction; false for another word.
bool thermal_parameter(input_data& input, LinearThermal_type& material, const std::string& word)
{
    if (word == "lambda")
        read_value(input, material, &LinearThermal_type::set_conduction);
    else if (word == "capacity")
        read_value(input, material, &LinearThermal_type::set_capacity);
    else if (word == "density")
        read_value(input, material, &LinearThermal_type::set_density);
    else
        return false;
    return true;
}

// Parameter words of von Mises plasticity; false for another word. The three
// values of "nadai" are all read before any is set, and the yield stress goes
// last since it is converted with the multiplier and the exponent.
bool plastic_parameter(input_data& input, VonMises_type& material, const std::string& word)
{
    if (elastic_parameter(input, material, word)) return true;
    if (word != "nadai") return false;
    input.check_field_count(4, "three values, C n and the initial yield stress");
    double multiplier = 0.0, exponent = 0.0, yield_stress = 0.0;
    const bool read_multiplier = input.get_double(2, multiplier);
    const bool read_exponent = input.get_double(3, exponent);
    const bool read_yield_stress = input.get_double(4, yield_stress);
    // A value that is not a number has been counted; the line then sets nothing.
    if (read_multiplier && read_exponent && read_yield_stress) {
        input.add_errors(material.set_multiplier(multiplier));
        input.add_errors(material.set_exponent(exponent));
        input.add_errors(material.set_yield_stress(yield_stress));
    }
    return true;
}

// Parameter words of a thermo-mechanical material: "alpha", the words of its
// mechanical part, then those of heat conduction. "density" is the mechanical
// part's; both parts share the one material.
template <class Material, class MechanicalParameter>
bool thermo_parameter(input_data& input, Material& material, const std::string& word,
                      MechanicalParameter mechanical_parameter)
{
    if (word == "alpha") {
        read_value(input, material, &Material::set_expansion);
        return true;
    }
    return mechanical_parameter(input, material, word) ||
           thermal_parameter(input, material, word);
}

}  // namespace

template <class Accept>
void input_data::read_parameter_lines(Accept accept)
{
    material_words_.clear();
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        if (accept(word)) {
            material_words_.insert(word);
        } else {
            // A word the material does not know is never skipped unread.
            if (!word.empty())
                std::cerr << "unknown material type or parameter: " << word << std::endl;
            add_errors(1);
        }
        next_line();
    }
}

namespace {

// The parameter words a material type cannot do without, in the order they are
// named: a word left out would leave a value that writing it would refuse (a
// modulus, a conductivity or an expansion of 0). "capacity" and "density" may be
// left out: such a material stores no heat, or has no mass.
const char* const elastic_needs[] = {"young", nullptr};
const char* const thermal_needs[] = {"lambda", nullptr};
const char* const thermo_needs[] = {"young", "lambda", "alpha", nullptr};

}  // namespace

int input_data::read_material(MyDomain& domain)
{
    int number = 1;
    const bool numbered = field_count() <= 1 || get_number(2, number);
    const bool defined_before = numbered && find_material(domain, number) != nullptr;
    if (defined_before) report_defined_twice("material", number);
    const auto material_number = static_cast<unsigned int>(number);
    const int section_number = line_number();
    const std::string section_text = line();

    next_line();
    // At the end of the file there is no type word, as on a "*end" line.
    std::string type;
    if (field_count() > 0 && !is_keyword_line()) get_string(1, type);

    KelVane::Material_type* material = nullptr;
    const char* const* needs = nullptr;
    if (type == "mass") {
        material = read_mass(material_number);
    } else {
        const bool known = type == "linearelastic" || type == "xplinearelastic" ||
                           type == "nonlinearelastic" || type == "vonmises" ||
                           type == "thermal" || type == "thermoelastic" ||
                           type == "thermoplastic";
        if (known) {
            check_field_count(1, "nothing after it");
            next_line();
        } else {
            // Without its type word the material would be read as linear elastic.
            const std::string found = !type.empty()     ? raw_field(1)
                                      : line().empty() ? std::string("the end of the input")
                                                       : raw_field(1);
            std::cerr << "material " << number
                      << ": the line after *material names the material type (linearelastic, "
                         "xplinearelastic, nonlinearelastic, vonmises, thermal, thermoelastic, "
                         "thermoplastic or mass); found "
                      << found << std::endl;
            if (type.empty()) {
                count_error_of_line(section_number, section_text);
            } else {
                add_errors(1);
                next_line();
            }
        }
        if (type == "xplinearelastic") {
            material = read_xplinearelastic(material_number);
            needs = elastic_needs;
        } else if (type == "nonlinearelastic") {
            material = read_nonlinearelastic(material_number);
            needs = elastic_needs;
        } else if (type == "vonmises") {
            material = read_vonmises(material_number);
            needs = elastic_needs;
        } else if (type == "thermal") {
            material = read_thermal(material_number);
            needs = thermal_needs;
        } else if (type == "thermoelastic") {
            material = read_thermoelastic(material_number);
            needs = thermo_needs;
        } else if (type == "thermoplastic") {
            material = read_thermoplastic(material_number);
            needs = thermo_needs;
        } else {
            // An unknown type has had its error; its lines are read as those of a
            // linear elastic material, so that they are still checked.
            material = read_linearelastic(material_number);
            if (type == "linearelastic") needs = elastic_needs;
        }
    }
    // Each word the type needs and the section did not give counts one error,
    // against the *material line.
    for (const char* const* need = needs; need != nullptr && *need != nullptr; ++need) {
        if (material_words_.count(*need) > 0) continue;
        std::cerr << "material " << number << ": a " << type << " material needs "
                  << (**need == 'a' ? "an " : "a ") << *need << " line" << std::endl;
        count_error_of_line(section_number, section_text);
    }
    // A plastic material whose hardening law was never given would give stresses
    // that are not numbers at its first yield.
    if ((type == "vonmises" || type == "thermoplastic") && material_words_.count("nadai") == 0) {
        std::cerr << "material " << number << ": plastic material needs a nadai line" << std::endl;
        count_error_of_line(section_number, section_text);
    }
    // A material read under a number already defined is dropped.
    if (defined_before) {
        delete material;
    } else if (material != nullptr) {
        domain.materials.push_back(material);
    } else {
        refused_materials_.insert(number);
    }
    return 1;
}

KelVane::Material_type* input_data::read_linearelastic(int number)
{
    auto material = std::make_unique<Elastic_type>(static_cast<unsigned int>(number));
    read_parameter_lines(
        [&](const std::string& word) { return elastic_parameter(*this, *material, word); });
    return material.release();
}

KelVane::Material_type* input_data::read_xplinearelastic(int number)
{
    auto material = std::make_unique<Elastic_type_xp>(static_cast<unsigned int>(number));
    read_parameter_lines(
        [&](const std::string& word) { return elastic_parameter(*this, *material, word); });
    return material.release();
}

KelVane::Material_type* input_data::read_nonlinearelastic(int number)
{
    auto material = std::make_unique<NonlinearElastic_type>(static_cast<unsigned int>(number));
    read_parameter_lines([&](const std::string& word) {
        if (word == "young")
            read_value(*this, *material, &NonlinearElastic_type::set_young);
        else if (word == "density")
            read_value(*this, *material, &NonlinearElastic_type::set_density);
        else
            return false;
        return true;
    });
    return material.release();
}

KelVane::Material_type* input_data::read_vonmises(int number)
{
    auto material = std::make_unique<VonMises_type>(static_cast<unsigned int>(number));
    read_parameter_lines(
        [&](const std::string& word) { return plastic_parameter(*this, *material, word); });
    return material.release();
}

KelVane::Material_type* input_data::read_thermal(int number)
{
    auto material = std::make_unique<LinearThermal_type>(static_cast<unsigned int>(number));
    read_parameter_lines(
        [&](const std::string& word) { return thermal_parameter(*this, *material, word); });
    return material.release();
}

KelVane::Material_type* input_data::read_thermoelastic(int number)
{
    auto material = std::make_unique<ThermoElastic_type>(static_cast<unsigned int>(number));
    read_parameter_lines([&](const std::string& word) {
        return thermo_parameter(*this, *material, word, elastic_parameter<Elastic_type>);
    });
    return material.release();
}

KelVane::Material_type* input_data::read_thermoplastic(int number)
{
    auto material = std::make_unique<ThermoPlastic_type>(static_cast<unsigned int>(number));
    read_parameter_lines([&](const std::string& word) {
        return thermo_parameter(*this, *material, word, plastic_parameter);
    });
    return material.release();
}

KelVane::Material_type* input_data::read_mass(int number)
{
    double mass = 0.0;
    check_field_count(2, "one value");
    bool read = get_double(2, mass);
    if (read && !(mass > 0.0)) {
        std::cerr << "mass <= 0; this is not allowed" << std::endl;
        add_errors(1);
        read = false;
    }
    // A mass refused on its own line is not created: the element groups of it have
    // had their error here.
    auto material = read ? std::make_unique<KelVane::Mass_type>(
                               static_cast<unsigned int>(number), mass)
                         : nullptr;
    next_line();
    // A mass material has no parameter lines.
    read_parameter_lines([](const std::string&) { return false; });
    return material.release();
}

int input_data::read_geometry(MyDomain& domain)
{
    int number = 1;
    const bool numbered = field_count() <= 1 || get_number(2, number);
    const bool defined_before = numbered && find_geometry(domain, number) != nullptr;
    if (defined_before) report_defined_twice("geometry", number);
    auto geometry = std::make_unique<KelVane::Geometry>(static_cast<std::uint32_t>(number));

    next_line();
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        double value = 0.0;
        if (word == "thick" || word == "crosse" || word == "iz" || word == "iy" || word == "j")
            check_field_count(2, "one value");
        if (word == "thick") {
            if (get_double(2, value)) geometry->set_thick(value);
        } else if (word == "crosse") {
            if (get_double(2, value)) geometry->set_crosse(value);
        } else if (word == "iz") {
            if (get_double(2, value)) geometry->set_iz(value);
        } else if (word == "iy") {
            if (get_double(2, value)) geometry->set_iy(value);
        } else if (word == "j") {
            if (get_double(2, value)) geometry->set_j(value);
        } else {
            std::cerr << "the words of *GEOMETRY are thick, crosse, iz, iy and j; found " << word
                      << std::endl;
            add_errors(1);
        }
        next_line();
    }
    if (!defined_before) domain.geometries.push_back(geometry.release());
    return 1;
}
