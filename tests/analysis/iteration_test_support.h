#ifndef KELVANED_TESTS_ANALYSIS_ITERATION_TEST_SUPPORT_H
#define KELVANED_TESTS_ANALYSIS_ITERATION_TEST_SUPPORT_H

// Pieces shared by the tests of the iterative procedures (statics and dynamics):
// a point load, a one-dof spring whose internal force the test chooses and the
// model around it, and a recorder of what an analysis sends to the front end.

#include <functional>
#include <utility>
#include <vector>

#include "control_test_model.h"
#include "domain.h"
#include "element_base.h"
#include "incremental_iterative_control.h"
#include "loads.h"
#include "node.h"
#include "ui_seam.h"
#include "vector3.h"

namespace control_test {

inline double x_of(const Vector3& v)
{
    double x, y, z;
    v.get(x, y, z);
    return x;
}

// Load set 1: the force along x on one node.
inline KelVane::LoadSet* add_x_load(MyDomain& model, MyNode* node, double force)
{
    KelVane::LoadSet* load_set = new KelVane::LoadSet(1);
    KelVane::Nodal_Loads* loads = new KelVane::Nodal_Loads;
    loads->add_load(KelVane::Dof::force, x_axis, force);
    loads->add_node(node);
    load_set->add(loads);
    model.load_sets.push_back(load_set);
    return load_set;
}

// A spring from one node to the ground along x with stiffness k and an internal
// force that the test chooses as a function of the total displacement and of the
// number of state updates so far; no mass.
class LawSpring : public FiniteElement {
public:
    using Law = std::function<double(double displacement, int updates)>;

    LawSpring(KelVane::Node* node, double k, Law law)
        : FiniteElement(1, new KelVane::Node*[1]{node}, 1, 1), k_(k), law_(std::move(law))
    {
    }

    KelVane::Matrix stiffness_matrix(KelVane::Vector& f) override
    {
        f = KelVane::Vector(1, 0.0);
        return KelVane::Matrix(1, 1, k_);
    }
    KelVane::Vector internal_forces() override { return KelVane::Vector(1, force); }
    LocalDof* GetLocalDofs() override
    {
        return new LocalDof[1]{LocalDof{1, x_axis, KelVane::displacement_type}};
    }
    void write_restart(std::ostream&) override {}
    void read_restart(std::istream&) override {}
    void update_state() override { force = law_(get_dof_values()(1), ++updates); }
    void accept() override {}
    bool symmetric() override { return true; }
    void draw(wxDC&, DeviceMap&, bool) override {}

    double force = 0.0;
    int updates = 0;

private:
    double k_;
    Law law_;
};

// One spring on node 1, loaded by P in x (load set 1).
struct SpringModel {
    SpringModel(MyDomain& model, double P, double k, LawSpring::Law law)
    {
        node = add_node(model, 1, 0.0, 0.0);
        spring = new LawSpring(node, k, std::move(law));
        model.add_element(spring);
        load_set = add_x_load(model, node, P);
    }

    double u() const { return x_of(node->displacement()); }

    MyNode* node;
    LawSpring* spring;
    KelVane::LoadSet* load_set;
};

// What an analysis sends to the convergence bar and how often it yields.
struct BarRecord {
    std::vector<float> tolerances;
    std::vector<std::pair<float, bool>> values;  // ratio, new increment
    int yields = 0;
};

// Records into its BarRecord while it lives; one at a time.
class RecordBar {
public:
    RecordBar()
    {
        recording() = &record;
        load_bar_increment = 0;
        UiHooks hooks;
        hooks.yield = [] { ++recording()->yields; };
        hooks.set_tolerance = [](float tolerance) { recording()->tolerances.push_back(tolerance); };
        hooks.add_value = [](float value, bool new_increment) {
            recording()->values.emplace_back(value, new_increment);
        };
        install_ui_hooks(hooks);
    }
    ~RecordBar()
    {
        install_ui_hooks(UiHooks{});
        recording() = nullptr;
    }
    RecordBar(const RecordBar&) = delete;
    RecordBar& operator=(const RecordBar&) = delete;

    BarRecord record;

private:
    static BarRecord*& recording()
    {
        static BarRecord* current = nullptr;
        return current;
    }
};

}  // namespace control_test

#endif
