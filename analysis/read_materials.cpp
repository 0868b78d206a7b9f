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
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        if (!accept(word)) {
            // A word the material does not know is never skipped unread.
            if (!word.empty())
                std::cerr << "unknown material type or parameter: " << word << std::endl;
            add_errors(1);
        }
        next_line();
    }
}

int input_data::read_material(MyDomain& domain)
{
    int number = 1;
    const bool numbered = field_count() <= 1 || get_number(2, number);
    const bool defined_before = numbered && find_material(domain, number) != nullptr;
    if (defined_before) report_defined_twice("material", number);
    const auto material_number = static_cast<unsigned int>(number);

    next_line();
    // At the end of the file there is no type word, as on a "*end" line.
    std::string type;
    if (field_count() > 0) get_string(1, type);

    KelVane::Material_type* material = nullptr;
    if (type == "linearelastic") {
        next_line();
        material = read_linearelastic(material_number);
    } else if (type == "xplinearelastic") {
        next_line();
        material = read_xplinearelastic(material_number);
    } else if (type == "nonlinearelastic") {
        next_line();
        material = read_nonlinearelastic(material_number);
    } else if (type == "vonmises") {
        next_line();
        material = read_vonmises(material_number);
    } else if (type == "thermal") {
        next_line();
        material = read_thermal(material_number);
    } else if (type == "thermoelastic") {
        next_line();
        material = read_thermoelastic(material_number);
    } else if (type == "thermoplastic") {
        next_line();
        material = read_thermoplastic(material_number);
    } else if (type == "mass") {
        material = read_mass(material_number);
    } else {
        // The unknown type word is read as a parameter word of a linear elastic material.
        material = read_linearelastic(material_number);
    }
    // A material read under a number already defined is dropped.
    if (defined_before)
        delete material;
    else if (material != nullptr)
        domain.materials.push_back(material);
    return 1;
}

namespace {
// A plastic material whose hardening law was never given (multiplier and exponent
// still 0) would give stresses that are not numbers at its first yield: refuse it.
// A nadai line with bad values has been reported by the setters already.
void check_hardening_given(input_data& reader, const VonMises_type& material, int number)
{
    if (material.multiplier() != 0.0 || material.exponent() != 0.0) return;
    std::cerr << "material " << number << ": plastic material needs a nadai line" << std::endl;
    reader.add_errors(1);
}
} // namespace

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
    check_hardening_given(*this, *material, number);
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
    check_hardening_given(*this, *material, number);
    return material.release();
}

KelVane::Material_type* input_data::read_mass(int number)
{
    double mass = 0.0;
    get_double(2, mass);
    auto material = std::make_unique<KelVane::Mass_type>(static_cast<unsigned int>(number), mass);
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
