// The listing (".out") and result-file (".flavia.res") writers of the model.

#include <algorithm>
#include <cctype>
#include <iomanip>
#include <ios>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>

#include "domain.h"
#include "errors.h"
#include "post_selection.h"
#include "sysmat.h"


namespace {

const char* const nodal_solution_header =
    "   node      U_X         U_Y         U_Z    "
    "     R_X         R_Y         R_Z          T";

// Room that the three rotation columns take in a nodal-solution row.
const char* const rotation_columns_blank = "                                    ";

void write_vector3(std::ostream& os, const Vector3& v, int width)
{
    os << std::setw(width) << v;
}

// A dof direction in general notation with at most 4 significant digits, each
// component in a field of 4 ("   1    0    0", " 0.7071 0.7071    0"). A negative
// zero is written as 0.
void write_direction(std::ostream& os, const Direction& direction)
{
    double x, y, z;
    direction.get(x, y, z);
    os.unsetf(std::ios_base::floatfield);
    os << std::setw(4) << x + 0.0 << ' ' << std::setw(4) << y + 0.0 << ' ' << std::setw(4)
       << z + 0.0;
    os.setf(std::ios_base::scientific, std::ios_base::floatfield);
}

// True when the text holds a number that is not finite as a stream writes one:
// "inf" or "nan", signed or not, in either case.
bool holds_non_finite_number(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const std::size_t n = text.size();
    for (std::size_t at = 0; at < n;) {
        while (at < n && blank(text[at])) ++at;
        std::size_t end = at;
        while (end < n && !blank(text[end])) ++end;
        std::size_t first = at;
        if (first < end && (text[first] == '-' || text[first] == '+')) ++first;
        if (end - first == 3) {
            std::string word = text.substr(first, 3);
            for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (word == "inf" || word == "nan") return true;
        }
        at = end;
    }
    return false;
}

// Formats what `write` writes aside, in the stream's format, and hands it on only
// when every number in it is finite: a state that can still meet the equilibrium
// check (a squashed total-Lagrange point, a prescribed displacement beyond any
// stress) must not stand in a file as a result. Otherwise it stops the analysis
// with an error that says what was not finite.
template <class Write>
void write_when_finite(std::ostream& os, const char* what, Write write)
{
    std::ostringstream block;
    block.copyfmt(os);
    write(block);
    const std::string text = block.str();
    if (holds_non_finite_number(text))
        throw KelVane::kelvane_error(std::string("the analysis gives ") + what +
                                     " that are not finite numbers");
    os << text;
    os.copyfmt(block);
}

void write_block_header(std::ostream& os, const char* name, int step, int type_code)
{
    os << name << ' ' << std::setw(7) << 1 << ' ' << std::setw(11) << step << ' '
       << std::setw(7) << type_code << ' ' << std::setw(7) << 1 << ' ' << std::setw(7) << 1
       << '\n';
}

}  // namespace

void MyDomain::write_title(std::ostream& os) const
{
    os << "\nTITLE\n" << title << "\n\n";
}

void MyDomain::write_output(std::ostream& os)
{
    // A listing that takes nothing (a stream that has failed, or one a caller
    // discards on purpose) is not worth formatting.
    if (!os) return;
    write_when_finite(os, "displacements, stresses or reactions", [this](std::ostream& block) {
        write_nodal_solution(block);
        write_element_stresses(block);
        write_reactions(block);
    });
}

void MyDomain::write_nodal_solution(std::ostream& os) const
{
    os << "\nnodal solution in global coordinates\n\n";
    os << nodal_solution_header << "\n\n";
    for (const MyNode* node : nodes) write_node_row(os, *node);
}

void MyDomain::write_node_row(std::ostream& os, const MyNode& node) const
{
    os.setf(std::ios_base::scientific, std::ios_base::floatfield);
    os.precision(3);

    Vector3 u(0.0, 0.0, 0.0);
    Vector3 r(0.0, 0.0, 0.0);
    double temperature = 0.0;
    bool has_rotation = false;
    bool has_temperature = false;
    for (std::uint32_t i = 0; i < node.number_of_dofs(); ++i) {
        const KelVane::itincDof& dof = node.get_dof(i);
        double x, y, z;
        dof.get_direction().get(x, y, z);
        const Vector3 direction(x, y, z);
        switch (dof.get_type()) {
        case KelVane::displacement_type:
            u += direction * dof.value();
            break;
        case KelVane::rotation_type:
            r += direction * dof.value();
            has_rotation = true;
            break;
        case KelVane::temperature_type:
            temperature = dof.value();
            has_temperature = true;
            break;
        default:
            break;
        }
    }

    os << std::setw(7) << node.number() << ' ';
    write_vector3(os, u, 11);
    if (has_rotation) {
        os << ' ';
        write_vector3(os, r, 11);
    } else if (has_temperature) {
        os << rotation_columns_blank;
    }
    if (has_temperature) os << ' ' << std::setw(11) << temperature;
    os << '\n';
}

void MyDomain::write_element_stresses(std::ostream& os)
{
    os << "\nelement stresses\n";
    for (FiniteElement* element : elements) {
        element->print_nodal_header(os);
        element->print_nodal_results(os);
    }
}

void MyDomain::write_reactions(std::ostream& os)
{
    os << "\nreactions\n";
    KelVane::SystemVector internal;
    reactions(internal);
    for (const MyNode* node : nodes) write_reaction_rows(os, *node, internal);
}

void MyDomain::reactions(KelVane::SystemVector& internal)
{
    KelVane::SystemVector external;
    internal_forces(internal);
    external_forces(external);
    internal.free_part() -= external.free_part();
    internal.prescribed_part() -= external.prescribed_part();
    internal.fixed_part() -= external.fixed_part();
    // The heat equations hold heat over the time step; the reactions are listed as
    // heat flows, in the unit of the heat-flux loads.
    if (current_time_step > 0.0) scale_temperature_entries(internal, 1.0 / current_time_step);
}

void MyDomain::write_reaction_rows(std::ostream& os, const MyNode& node,
                                   const KelVane::SystemVector& reactions) const
{
    for (std::uint32_t i = 0; i < node.number_of_dofs(); ++i) {
        const KelVane::itincDof& dof = node.get_dof(i);
        if (dof.is_free()) continue;
        const KelVane::Vector& part =
            dof.is_fixed() ? reactions.fixed_part() : reactions.prescribed_part();
        os.precision(4);
        os.setf(std::ios_base::scientific, std::ios_base::floatfield);
        os << std::setw(8) << node.number() << "  ";
        KelVane::print_dof_type(dof.get_type(), os);
        os << "  " << std::setw(11) << part(dof.get_global_nr());
        if (dof.get_type() == KelVane::displacement_type ||
            dof.get_type() == KelVane::rotation_type) {
            os << "   ";
            write_direction(os, dof.get_direction());
        }
        os << '\n';
    }
}

void MyDomain::write_step_results(std::ostream& result, int step,
                                  const KelVane::PostProc& selection)
{
    write_when_finite(result,
                      "displacements, temperatures, stresses or plastic strains for the result "
                      "file",
                      [&](std::ostream& os) {
                          write_step_blocks(os, step, selection);
                      });
}

void MyDomain::write_step_blocks(std::ostream& os, int step, const KelVane::PostProc& selection)
{
    os.setf(std::ios_base::scientific, std::ios_base::floatfield);
    os.precision(3);

    if (selection.displacement) {
        write_block_header(os, "displacements", step, 2);
        os << "UX\nUY\nUZ\n";
        for (const MyNode* node : nodes) {
            os << std::setw(7) << node->number();
            write_vector3(os, node->displacement(), 11);
            os << '\n';
        }
    }
    if (selection.incr_displa) {
        write_block_header(os, "incr_displa", step, 2);
        os << "Delta_UX\nDelta_UY\nDelta_UZ\n";
        for (const MyNode* node : nodes) {
            os << std::setw(7) << node->number();
            write_vector3(os, node->displacement_increment(), 11);
            os << '\n';
        }
    }
    if (selection.temperature) {
        write_block_header(os, "temperature", step, 1);
        os << "Temp\n";
        for (const MyNode* node : nodes)
            os << std::setw(7) << node->number() << std::setw(11) << node->temperature() << '\n';
    }
    if (selection.temp_increment) {
        write_block_header(os, "temp_increment", step, 1);
        os << "Delta_Temp\n";
        for (const MyNode* node : nodes)
            os << std::setw(7) << node->number() << std::setw(11)
               << node->temperature_increment() << '\n';
    }

    // Element results averaged onto the nodes. The block header comes from the
    // first element that has one (trusses, beams and masses write none); a model
    // without such an element gets no block, as rows without a header would
    // corrupt the file for its reader.
    for (int mode = 1; mode <= 2; ++mode) {
        const bool wanted = mode == 1 ? selection.stress : selection.equivalent;
        if (!wanted) continue;
        result_mode = mode;
        std::ostringstream header;
        header.copyfmt(os);
        for (FiniteElement* element : elements) {
            element->write_res_header(header, step);
            if (header.tellp() > 0) break;
        }
        if (header.tellp() <= 0) continue;
        os << header.str();
        for (MyNode* node : nodes) node->reset_average();
        for (FiniteElement* element : elements) element->add_nodal_average();
        // A node that no element reached (one of a bar, a beam or a point mass
        // only) gets a row of zeros as wide as the block's other rows.
        unsigned width = 1;
        for (const MyNode* node : nodes)
            if (node->average_count() > 0) width = std::max(width, node->average_sum().size());
        for (MyNode* node : nodes) {
            KelVane::Vector value = node->average_sum();
            // Axisymmetric stresses come as 11, 22, 33, 12; the result file wants
            // 11, 22, 12, 33 like the plane states.
            if (mode == 1 && value.size() == 4) std::swap(value(3), value(4));
            if (node->average_count() > 0)
                value *= 1.0 / node->average_count();
            else
                value = KelVane::Vector(width, 0.0);
            os << std::setw(7) << node->number();
            os.width(11);
            value.print(os);
            os << '\n';
        }
    }
}
