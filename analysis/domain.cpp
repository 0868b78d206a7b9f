#include "domain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <istream>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>
#include <unordered_set>
#include <utility>

#include <wx/dc.h>

#include "device_map.h"
#include "draw_properties.h"
#include "elastic.h"
#include "errors.h"
#include "heat_elements.h"
#include "plastic.h"
#include "sysmat.h"
#include "total_lagrange.h"

void MyDomain::setup_dofs()
{
    create_element_dofs();
    init_transformations();
    if (remove_dofs_without_element()) init_transformations();
    n_free = 0;
    n_fixed = 0;
    n_prescribed = 0;
    number_equations();
}

namespace {

// What the elements give one node: dofs of each kind, and displacements out of the
// x-y plane (plane elements, two-dimensional trusses and beams give none).
struct ElementDofKinds {
    bool temperature = false;
    bool rotation = false;
    bool out_of_plane = false;
};

ElementDofKinds element_dof_kinds(const MyNode& node,
                                  const std::unordered_set<const KelVane::Dof*>& used)
{
    ElementDofKinds kinds;
    for (std::uint32_t i = 0; i < node.number_of_dofs(); ++i) {
        const KelVane::itincDof& dof = node.get_dof(i);
        if (used.count(&dof) == 0) continue;
        if (dof.get_type() == KelVane::temperature_type) kinds.temperature = true;
        if (dof.get_type() == KelVane::rotation_type) kinds.rotation = true;
        if (dof.get_type() == KelVane::displacement_type) {
            double x = 0.0, y = 0.0, z = 0.0;
            dof.get_direction().get(x, y, z);
            if (z != 0.0) kinds.out_of_plane = true;
        }
    }
    return kinds;
}

// Whether a suppressed or prescribed dof (or hold) that no element uses is of a
// kind that the node's elements do not have at all (a temperature, a rotation, a
// displacement out of their plane). A direction within the elements' kinds (uy on
// a node of a bar along x) stays a support, held at 0 or moved by its prescribed
// value, as the bar turned a hair would take it.
bool kind_without_element(KelVane::dof_type type, const Direction& direction,
                          const ElementDofKinds& kinds)
{
    if (type == KelVane::temperature_type) return !kinds.temperature;
    if (type == KelVane::rotation_type) return !kinds.rotation;
    double x = 0.0, y = 0.0, z = 0.0;
    direction.get(x, y, z);
    return z != 0.0 && !kinds.out_of_plane;
}

}  // namespace

bool MyDomain::remove_dofs_without_element()
{
    std::unordered_set<const KelVane::Dof*> used;
    for (const FiniteElement* element : elements)
        for (std::uint32_t i = 0; i < element->get_nr_node_dofs(); ++i)
            if (element->moves_dof(i)) used.insert(element->get_dof(i));
    bool removed = false;
    for (MyNode* node : nodes) {
        // What the elements give the node is looked up only for a support that no
        // element uses (most nodes have none).
        bool kinds_known = false;
        ElementDofKinds kinds;
        const auto known_kinds = [&]() -> const ElementDofKinds& {
            if (!kinds_known) kinds = element_dof_kinds(*node, used);
            kinds_known = true;
            return kinds;
        };
        bool removed_here = false;
        for (std::uint32_t i = 0; i < node->number_of_dofs();) {
            const KelVane::itincDof& dof = node->get_dof(i);
            bool lost = !dof.is_free() && used.count(&dof) == 0;
            if (lost) lost = kind_without_element(dof.get_type(), dof.get_direction(), known_kinds());
            if (!lost) {
                ++i;
                continue;
            }
            std::cerr << (dof.is_prescribed() ? "prescribed value" : "suppression")
                      << " lost; no element gives node " << node->number()
                      << " the degree of freedom "
                      << KelVane::dof_word(dof.get_type(), dof.get_direction()) << std::endl;
            node->remove_dof(i);
            removed_here = removed = true;
        }
        // A hold of such a kind went with its dof (fixed, or prescribed when the
        // value was read first), and holds nothing either.
        if (!removed_here) continue;
        for (std::uint32_t i = 0; i < node->holds().size();) {
            const MyNode::Hold& hold = node->holds()[i];
            if (kind_without_element(hold.type, hold.direction, known_kinds()))
                node->remove_hold(i);
            else
                ++i;
        }
    }
    return removed;
}

void MyDomain::check_applied_loads(const std::vector<int>& applied)
{
    const auto is_applied = [&](const KelVane::LoadSet* set) {
        return std::find(applied.begin(), applied.end(), static_cast<int>(set->number())) !=
               applied.end();
    };
    dropped_load_notes.clear();
    for (const KelVane::LoadSet* set : load_sets) {
        if (!is_applied(set)) continue;
        const std::vector<std::string> notes = set->check_carried();
        dropped_load_notes.insert(dropped_load_notes.end(), notes.begin(), notes.end());
    }
    for (const KelVane::LoadSet* set : load_sets) {
        if (is_applied(set)) continue;
        try {
            static_cast<void>(set->check_carried());
        } catch (const KelVane::kelvane_error& error) {
            std::cerr << "load set " << set->number()
                      << " is not applied by this analysis; were it applied: " << error.what()
                      << std::endl;
        }
    }
}

void MyDomain::report_joined_directions(std::ostream& listing) const
{
    const double degrees = 180.0 / 3.14159265358979323846;
    const double tolerance = std::asin(std::sqrt(1e-6)) * degrees;
    for (const MyNode* node : nodes) {
        const double angle = node->joined_angle() * degrees;
        if (!(angle > 0.0)) continue;
        std::ostringstream note;
        note.imbue(std::locale::classic());
        note << std::setprecision(3) << "note: node " << node->number()
             << ": directions that differ by " << angle
             << " degrees are taken as one degree of freedom (tolerance " << tolerance
             << " degrees)";
        std::cout << note.str() << std::endl;
        listing << note.str() << '\n';
    }
}

void MyDomain::report_dropped_loads(std::ostream& listing) const
{
    for (const std::string& note : dropped_load_notes) {
        std::cerr << note << std::endl;
        listing << note << '\n';
    }
}

void MyDomain::report_shape_notes(std::ostream& listing) const
{
    std::vector<std::pair<std::uint32_t, std::string>> notes = shape_notes_;
    std::stable_sort(notes.begin(), notes.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& note : notes) {
        std::cout << note.second << std::endl;
        listing << note.second << '\n';
    }
}

bool MyDomain::conducts_heat() const
{
    for (FiniteElement* element : elements)
        if (dynamic_cast<NumIntThermalElement*>(element) != nullptr) return true;
    return false;
}

namespace {

// The model-file word of a material whose law is not linear; null for the others.
const char* nonlinear_material_word(const KelVane::Material_type* material)
{
    if (dynamic_cast<const ThermoPlastic_type*>(material) != nullptr) return "thermoplastic";
    if (dynamic_cast<const VonMises_type*>(material) != nullptr) return "vonmises";
    if (dynamic_cast<const NonlinearElastic_type*>(material) != nullptr)
        return "nonlinearelastic";
    return nullptr;
}

const char* const use_nonlinear_static = ": analyse the model under \"*nonlinear static\"";

}  // namespace

void MyDomain::refuse_nonlinear_parts() const
{
    for (const FiniteElement* element : elements) {
        const KelVane::Material_type* material = element->stress_law();
        const char* word = material == nullptr ? nullptr : nonlinear_material_word(material);
        if (word == nullptr) continue;
        throw KelVane::kelvane_error("material " + std::to_string(material->number()) + " (" +
                                     word + ") does not follow a linear law" +
                                     use_nonlinear_static);
    }
    for (const FiniteElement* element : elements) {
        if (dynamic_cast<const TLNumIntStructElement*>(element) == nullptr) continue;
        throw KelVane::kelvane_error("element " + std::to_string(element->number()) +
                                     " is a total-Lagrange element, which follows large "
                                     "displacements" +
                                     use_nonlinear_static);
    }
}

void MyDomain::create_element_dofs()
{
    shape_notes_.clear();
    for (FiniteElement* element : elements) {
        std::string note = element->check_shape();
        if (!note.empty()) shape_notes_.emplace_back(element->number(), std::move(note));
    }
    for (FiniteElement* element : elements) element->create_dofs();
}

void MyDomain::init_transformations()
{
    for (FiniteElement* element : elements) element->init_transformation();
}

void MyDomain::apply_load(int load_set, double dfactor)
{
    for (KelVane::LoadSet* set : load_sets) {
        if (load_set >= 0 && set->number() == static_cast<std::uint32_t>(load_set)) {
            set->increment(dfactor);
            return;
        }
    }
    throw KelVane::not_found("unknown load set number " + std::to_string(load_set) +
                             ": *loadef defines no set " + std::to_string(load_set));
}

void MyDomain::set_profile(KelVane::SystemMat& K)
{
    for (FiniteElement* element : elements) element->set_profile(K);
}

void MyDomain::assemble_stiffness(KelVane::SystemMat& K, KelVane::Vector& rhs)
{
    K.zero();
    rhs.set_zero();
    for (FiniteElement* element : elements) element->assemble_stiffness(K, rhs);
}

void MyDomain::assemble_tangent(KelVane::SystemMat& K, KelVane::Vector& rhs)
{
    K.zero();
    for (FiniteElement* element : elements) element->assemble_tangent(K, rhs);
}

void MyDomain::assemble_mass(KelVane::SystemMat& M, bool lumped)
{
    M.zero();
    for (FiniteElement* element : elements) element->assemble_mass(M, lumped);
}

void MyDomain::assemble_lumped_couplings(KelVane::SystemMat& M)
{
    for (FiniteElement* element : elements) element->assemble_lumped_couplings(M);
}

void MyDomain::external_forces(KelVane::SystemVector& forces)
{
    forces.resize(n_free, n_prescribed, n_fixed);
    forces.set_zero();
    KelVane::SystemVector contribution(n_free, n_prescribed, n_fixed);
    for (KelVane::LoadSet* set : load_sets) {
        contribution.set_zero();
        set->assemble(contribution, pressure_face);
        forces += contribution;
    }
    scale_temperature_entries(forces, current_time_step);
}

void MyDomain::scale_temperature_entries(KelVane::SystemVector& forces, double factor) const
{
    for (const MyNode* node : nodes) {
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            const KelVane::itincDof& dof = node->get_dof(i);
            if (dof.get_type() == KelVane::temperature_type) forces(dof) *= factor;
        }
    }
}

void MyDomain::internal_forces(KelVane::SystemVector& forces, double* kind_squares)
{
    forces.resize(n_free, n_prescribed, n_fixed);
    forces.set_zero();
    for (FiniteElement* element : elements) element->assemble_internal_forces(forces, kind_squares);
}

void MyDomain::equation_kinds(std::vector<unsigned char>& free,
                              std::vector<unsigned char>& prescribed,
                              std::vector<unsigned char>& fixed) const
{
    free.assign(n_free, 0);
    prescribed.assign(n_prescribed, 0);
    fixed.assign(n_fixed, 0);
    for (const MyNode* node : nodes) {
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            const KelVane::itincDof& dof = node->get_dof(i);
            const std::uint32_t nr = dof.get_global_nr();
            if (nr == 0) continue;
            std::vector<unsigned char>& part =
                dof.is_free() ? free : (dof.is_prescribed() ? prescribed : fixed);
            KV_ASSERT(nr <= part.size());
            part[nr - 1] = static_cast<unsigned char>(KelVane::dof_kind(dof.get_type()));
        }
    }
}

void MyDomain::add_increment(const KelVane::Vector& du)
{
    for (MyNode* node : nodes) node->add_increment(du);
}

void MyDomain::update_elements()
{
    for (FiniteElement* element : elements) element->update_state();
}

void MyDomain::revert_elements()
{
    for (FiniteElement* element : elements) element->revert();
}

bool MyDomain::condensed_stresses_negligible(double tolerance) const
{
    for (FiniteElement* element : elements)
        if (!element->condensed_stresses_negligible(tolerance)) return false;
    return true;
}

void MyDomain::commit()
{
    nodes_accept_increment();
    for (FiniteElement* element : elements) element->accept();
}

void MyDomain::nodes_accept_increment()
{
    for (MyNode* node : nodes) node->accept_increment();
}

void MyDomain::clear_increments()
{
    for (MyNode* node : nodes) node->clear_increment();
}

namespace {

// Calls term with every dof of every node.
template <class Nodes, class Term>
void for_each_node_dof(const Nodes& nodes, Term term)
{
    for (const MyNode* node : nodes)
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) term(node->get_dof(i));
}

}  // namespace

double MyDomain::prescribed_increment_work(KelVane::SystemVector& forces) const
{
    double work = 0.0;
    for_each_node_dof(nodes, [&](const KelVane::itincDof& dof) {
        if (dof.is_prescribed()) work += forces(dof) * dof.get_increment();
    });
    return work;
}

bool MyDomain::has_prescribed_increments() const
{
    bool moving = false;
    for_each_node_dof(nodes, [&](const KelVane::itincDof& dof) {
        moving = moving || (dof.is_prescribed() && dof.get_increment() != 0.0);
    });
    return moving;
}

double MyDomain::value_work(KelVane::SystemVector& forces) const
{
    double work = 0.0;
    for_each_node_dof(nodes,
                      [&](const KelVane::itincDof& dof) { work += forces(dof) * dof.value(); });
    return work;
}

void MyDomain::get_increments(KelVane::Vector& du)
{
    if (du.size() != n_free) du.resize(n_free);
    for (MyNode* node : nodes) node->get_increment(du);
}

void MyDomain::write_restart_state(std::ostream& os)
{
    for (MyNode* node : nodes) node->write_restart(os);
    for (FiniteElement* element : elements) element->write_restart_data(os);
    for (KelVane::LoadSet* set : load_sets) set->write_restart(os);
}

void MyDomain::read_restart_state(std::istream& is)
{
    for (MyNode* node : nodes) node->read_restart(is);
    for (FiniteElement* element : elements) element->read_restart_data(is);
    for (KelVane::LoadSet* set : load_sets) set->read_restart(is);
}

void MyDomain::bounding_box(double& x_min, double& y_min, double& z_min, double& x_max,
                            double& y_max, double& z_max, double scale) const
{
    bool first = true;
    for (const MyNode* node : nodes) {
        double x, y, z;
        if (scale == 0.0)
            node->get_coordinates(x, y, z);
        else
            node->get_scaled_coordinates(x, y, z, scale);
        if (first) {
            x_min = x_max = x;
            y_min = y_max = y;
            z_min = z_max = z;
            first = false;
            continue;
        }
        if (x < x_min) x_min = x;
        if (y < y_min) y_min = y;
        if (z < z_min) z_min = z;
        if (x > x_max) x_max = x;
        if (y > y_max) y_max = y;
        if (z > z_max) z_max = z;
    }
}

// Drawing of the mesh. Elements draw their own outlines; a node is a 2 x 2
// rectangle centred on its device point, optionally labelled with its number.

void MyDomain::draw_elements(wxDC& dc, DeviceMap& map, bool numbers)
{
    for (FiniteElement* element : elements) element->draw(dc, map, numbers);
}

namespace {

void draw_node_mark(wxDC& dc, const DeviceMap& map, const MyNode& node, double x, double y,
                    bool numbers)
{
    const int device_x = map.dev_x(static_cast<float>(x));
    const int device_y = map.dev_y(static_cast<float>(y));
    dc.DrawRectangle(device_x - 1, device_y - 1, 2, 2);
    if (numbers) {
        char label[16];
        std::snprintf(label, sizeof label, "%d", static_cast<int>(node.number()));
        dc.DrawText(label, device_x, device_y);
    }
}

}  // namespace

void MyDomain::draw_nodes(wxDC& dc, DeviceMap& map, bool numbers)
{
    for (const MyNode* node : nodes) {
        double x, y, z;
        node->get_coordinates(x, y, z);
        draw_node_mark(dc, map, *node, x, y, numbers);
    }
}

void MyDomain::draw_nodes_deformed(wxDC& dc, DeviceMap& map, const DrawProperties& properties)
{
    dc.SetFont(properties.element_font);
    dc.SetTextForeground(properties.element_colour);
    const float scale = static_cast<float>(properties.scaling);
    for (FiniteElement* element : elements)
        element->draw_deformed(dc, map, properties.element_numbers, scale);

    dc.SetFont(properties.node_font);
    dc.SetTextForeground(properties.node_colour);
    for (const MyNode* node : nodes) {
        double x, y, z;
        node->get_scaled_coordinates(x, y, z, properties.scaling);
        draw_node_mark(dc, map, *node, x, y, properties.node_numbers);
    }
}
