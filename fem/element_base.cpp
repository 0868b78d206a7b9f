#include "element_base.h"

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "errors.h"
#include "kv_assert.h"
#include "node.h"
#include "sysmat.h"

namespace KelVane {

namespace {

// Nodes create only itincDof objects; the element sees them through their Dof part.
const itincDof& node_dof(const Dof* dof)
{
    return *static_cast<const itincDof*>(dof);
}

}  // namespace

ElementBase::ElementBase(std::uint32_t number, Node** node_array, std::uint32_t node_count,
                         std::uint32_t local_dof_count)
    : number_of_nodes(node_count),
      element_number(number),
      number_of_node_dofs(0),
      number_of_local_dofs(local_dof_count),
      dofs(nullptr),
      nodes(node_array)
{
}

ElementBase::ElementBase()
    : number_of_nodes(0),
      element_number(0),
      number_of_node_dofs(0),
      number_of_local_dofs(0),
      dofs(nullptr),
      nodes(nullptr)
{
}

ElementBase::~ElementBase()
{
    delete[] nodes;
    delete[] dofs;
}

bool ElementBase::is_xp()
{
    return false;
}

Matrix ElementBase::mass_matrix(bool)
{
    return Matrix(number_of_local_dofs, number_of_local_dofs, 0.0);
}

Vector ElementBase::pressure_load(int, double, PressureFace)
{
    std::ostringstream message;
    message << "Pressure load on element " << element_number << " is not implemented";
    throw not_implemented_error(message.str());
}

void ElementBase::add_nodal_average() {}

void ElementBase::revert()
{
    update_state();
}

bool ElementBase::condensed_stresses_negligible(double)
{
    return true;
}

Node* ElementBase::get_node(std::uint32_t index) const
{
    KV_ASSERT(index < number_of_nodes);
    return nodes[index];
}

Dof* ElementBase::get_dof(std::uint32_t index) const
{
    KV_ASSERT(index < number_of_node_dofs);
    return dofs[index];
}

bool ElementBase::moves_dof(std::uint32_t index) const
{
    KV_ASSERT(index < number_of_node_dofs);
    return moved[index];
}

std::string ElementBase::check_shape() const
{
    return {};
}

void ElementBase::refuse_zero_length() const
{
    KV_ASSERT(number_of_nodes == 2);
    try {
        // Refused as the axis is refused: a difference of no length, as far as its
        // square tells.
        static_cast<void>(Direction(nodes[1]->get_position() - nodes[0]->get_position()));
    } catch (const program_error&) {
        throw kelvaned_error("element " + std::to_string(element_number) +
                             " has zero length: its nodes " + std::to_string(nodes[0]->number()) +
                             " and " + std::to_string(nodes[1]->number()) + " are at one place");
    }
}

void ElementBase::create_dofs()
{
    std::unique_ptr<LocalDof[]> local(GetLocalDofs());
    for (std::uint32_t k = 0; k < number_of_local_dofs; ++k) {
        const LocalDof& dof = local[k];
        KV_ASSERT(dof.node >= 1 && dof.node <= number_of_nodes);
        if (dof.created) nodes[dof.node - 1]->add_dof(free_status, dof.type, dof.direction);
    }
}

void ElementBase::init_transformation()
{
    std::unique_ptr<LocalDof[]> local(GetLocalDofs());

    // Every local dof is expressed on the dofs of its node. A node dof gets its
    // column when it first appears; a later local dof that it helps express adds
    // its entry in the same column.
    struct Entry {
        std::uint32_t row;
        std::uint32_t column;
        double coefficient;
    };
    std::vector<Dof*> columns;
    std::vector<Entry> entries;
    moved.clear();
    for (std::uint32_t k = 0; k < number_of_local_dofs; ++k) {
        const LocalDof& dof = local[k];
        KV_ASSERT(dof.node >= 1 && dof.node <= number_of_nodes);
        dof_sets collected;
        const Node& node = *nodes[dof.node - 1];
        if (dof.created)
            node.get_dof_set(dof.type, dof.direction, collected);
        else
            node.get_dof_projection(dof.type, dof.direction, collected);
        for (std::uint32_t m = 0; m < collected.count(); ++m) {
            Dof* const node_dof = collected[m].dof;
            std::uint32_t column = 0;
            while (column < columns.size() && columns[column] != node_dof) ++column;
            if (column == columns.size()) {
                columns.push_back(node_dof);
                moved.push_back(false);
            }
            if (dof.created) moved[column] = true;
            entries.push_back(Entry{k + 1, column + 1, collected[m].coefficient});
        }
    }

    // A repeated set-up replaces the previous one.
    delete[] dofs;
    dofs = nullptr;
    number_of_node_dofs = static_cast<std::uint32_t>(columns.size());
    dofs = new Dof*[number_of_node_dofs];
    std::copy(columns.begin(), columns.end(), dofs);

    T.init(number_of_local_dofs, number_of_node_dofs, static_cast<unsigned>(entries.size()));
    for (const Entry& entry : entries) T.add(entry.row, entry.column, entry.coefficient);
}

void ElementBase::set_profile(SystemMat& K)
{
    for (std::uint32_t i = 0; i < number_of_node_dofs; ++i) {
        if (!dofs[i]->is_free()) continue;
        for (std::uint32_t j = 0; j < number_of_node_dofs; ++j) {
            if (dofs[j]->is_free()) K.geometry(dofs[i]->get_global_nr(), dofs[j]->get_global_nr());
        }
    }
}

void ElementBase::assemble_free_rows(SystemMat& K, Vector& rhs, bool couple_prescribed)
{
    const bool xp = is_xp();
    Vector f;
    const Matrix Ke = stiffness_matrix(f);
    // An identity T leaves the element's matrix and vector as they are.
    if (T.get_kind() == TransformationMatrix::identity)
        add_free_rows(K, rhs, couple_prescribed, Ke, xp, f);
    else if (xp)
        add_free_rows(K, rhs, couple_prescribed, congruence(T, Ke), true, transpose_times(T, f));
    else
        add_free_rows(K, rhs, couple_prescribed, congruence(T, Ke), false, f);
}

void ElementBase::add_free_rows(SystemMat& K, Vector& rhs, bool couple_prescribed,
                                const Matrix& Kt, bool xp, const Vector& g) const
{
    for (std::uint32_t i = 0; i < number_of_node_dofs; ++i) {
        const Dof& row = *dofs[i];
        if (!row.is_free()) continue;
        const std::uint32_t gi = row.get_global_nr();
        for (std::uint32_t j = 0; j < number_of_node_dofs; ++j) {
            const Dof& column = *dofs[j];
            if (column.is_free()) {
                K.add(gi, column.get_global_nr(), Kt(i + 1, j + 1));
            } else if (couple_prescribed && column.is_prescribed()) {
                // The prescribed change of the running step moves to the right-hand side.
                rhs(gi) -= Kt(i + 1, j + 1) * node_dof(&column).get_increment();
            }
        }
        if (xp) rhs(gi) += g(i + 1);
    }
}

void ElementBase::assemble_stiffness(SystemMat& K, Vector& rhs)
{
    assemble_free_rows(K, rhs, true);
}

void ElementBase::assemble_tangent(SystemMat& K, Vector& rhs)
{
    assemble_free_rows(K, rhs, false);
}

void ElementBase::assemble_mass(SystemMat& M, bool lumped)
{
    const Matrix Mt = congruence(T, mass_matrix(lumped));
    for (std::uint32_t i = 0; i < number_of_node_dofs; ++i) {
        const Dof& row = *dofs[i];
        if (!row.is_free()) continue;
        const std::uint32_t gi = row.get_global_nr();
        if (lumped) {
            M.add(gi, gi, Mt(i + 1, i + 1));
            continue;
        }
        for (std::uint32_t j = 0; j < number_of_node_dofs; ++j) {
            if (dofs[j]->is_free()) M.add(gi, dofs[j]->get_global_nr(), Mt(i + 1, j + 1));
        }
    }
}

void ElementBase::assemble_lumped_couplings(SystemMat& M)
{
    if (T.get_kind() == TransformationMatrix::identity) return;
    const Matrix Mt = congruence(T, mass_matrix(true));
    for (std::uint32_t i = 0; i < number_of_node_dofs; ++i) {
        if (!dofs[i]->is_free()) continue;
        for (std::uint32_t j = 0; j < number_of_node_dofs; ++j) {
            const double coupling = Mt(i + 1, j + 1);
            if (j == i || !dofs[j]->is_free() || coupling == 0.0) continue;
            M.add(dofs[i]->get_global_nr(), dofs[j]->get_global_nr(), coupling);
        }
    }
}

void ElementBase::scatter(const Vector& local, SystemVector& F, double* kind_squares) const
{
    const bool identity = T.get_kind() == TransformationMatrix::identity;
    const Vector node_values = identity ? Vector() : transpose_times(T, local);
    const Vector& values = identity ? local : node_values;
    for (std::uint32_t m = 0; m < number_of_node_dofs; ++m) {
        const double value = values(m + 1);
        F(*dofs[m]) += value;
        if (kind_squares != nullptr) kind_squares[dof_kind(dofs[m]->get_type())] += value * value;
    }
}

void ElementBase::assemble_internal_forces(SystemVector& F, double* kind_squares)
{
    scatter(internal_forces(), F, kind_squares);
}

void ElementBase::add_pressure_load(int face, double pressure, PressureFace geometry,
                                    SystemVector& f)
{
    scatter(pressure_load(face, pressure, geometry), f);
}

Vector ElementBase::get_dof_values() const
{
    Vector values(number_of_node_dofs);
    for (std::uint32_t m = 0; m < number_of_node_dofs; ++m) values[m] = node_dof(dofs[m]).value();
    return T * values;
}

Vector ElementBase::get_dof_increments() const
{
    Vector increments(number_of_node_dofs);
    for (std::uint32_t m = 0; m < number_of_node_dofs; ++m)
        increments[m] = node_dof(dofs[m]).get_increment();
    return T * increments;
}

void ElementBase::get_dof_increments(Vector& increments) const
{
    if (T.get_kind() != TransformationMatrix::identity) {
        increments = get_dof_increments();
        return;
    }
    increments.resize(number_of_node_dofs);
    for (std::uint32_t m = 0; m < number_of_node_dofs; ++m)
        increments[m] = node_dof(dofs[m]).get_increment();
}

void ElementBase::write_restart_data(std::ostream& os)
{
    os << 'E' << element_number << '\n';
    write_restart(os);
}

void ElementBase::read_restart_data(std::istream& is)
{
    // The number is read wide and signed so that a negative or oversized number
    // is a mismatch rather than a wrapped value.
    char letter = 0;
    long long number = -1;
    if (!(is >> letter) || letter != 'E' || !(is >> number) ||
        number != static_cast<long long>(element_number))
        throw file_error("corrupt restart file");
    read_restart(is);
    if (is.fail()) throw file_error("corrupt restart file");
}

}  // namespace KelVane

void FiniteElement::print_results(std::ostream&) {}
void FiniteElement::print_result_header(std::ostream&) {}
void FiniteElement::print_nodal_results(std::ostream&) {}
void FiniteElement::print_nodal_header(std::ostream&) {}
void FiniteElement::write_res_values(std::ostream&) {}
void FiniteElement::write_res_header(std::ostream&, int) {}

void FiniteElement::print_connectivity(std::ostream& os)
{
    os << std::setw(8) << number();
    for (std::uint32_t i = 0; i < number_of_nodes; ++i) os << ' ' << std::setw(8) << nodes[i]->number();
    os << '\n';
}

void FiniteElement::draw_deformed(wxDC&, DeviceMap&, bool, float) {}

int check_references(const KelVane::Material_type* material, const KelVane::Geometry* geometry,
                     bool need_material, bool need_geometry)
{
    int errors = 0;
    if (need_material && material == nullptr) {
        std::cerr << "no material group specified\n";
        std::cerr << "you must specify a material reference\n";
        ++errors;
    }
    if (need_geometry && geometry == nullptr) {
        std::cerr << "no geometry group specified\n";
        std::cerr << "you must specify a geometry reference\n";
        ++errors;
    }
    return errors;
}
