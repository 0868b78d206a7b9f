#ifndef KELVANED_TESTS_CONTROL_TEST_MODEL_H
#define KELVANED_TESTS_CONTROL_TEST_MODEL_H

// Small truss models built in memory for the analysis-control tests, with the
// closed-form answers they are checked against.

#include <cstdint>

#include "common/stream_capture.h"
#include "domain.h"
#include "elastic.h"
#include "geometry.h"
#include "loads.h"
#include "node.h"
#include "truss.h"

namespace control_test {

const Direction x_axis(1.0, 0.0, 0.0);
const Direction y_axis(0.0, 1.0, 0.0);

inline MyNode* add_node(MyDomain& model, std::uint32_t number, double x, double y)
{
    MyNode* node = new MyNode(number, x, y, 0.0);
    model.nodes.push_back(node);
    return node;
}

inline void fix_xy(MyNode* node)
{
    node->add_dof(KelVane::fixed_status, KelVane::displacement_type, x_axis);
    node->add_dof(KelVane::fixed_status, KelVane::displacement_type, y_axis);
}

// Material 1 (E) and geometry 1 (cross section A) shared by every bar.
inline void add_bar_properties(MyDomain& model, double E, double A)
{
    Elastic_type* material = new Elastic_type(1);
    material->set_young(E);
    material->set_poisson(0.0);
    model.materials.push_back(material);
    KelVane::Geometry* geometry = new KelVane::Geometry(1);
    geometry->set_crosse(A);
    model.geometries.push_back(geometry);
}

inline Truss* add_bar(MyDomain& model, std::uint32_t number, MyNode* a, MyNode* b)
{
    Truss* bar = new Truss(number, new KelVane::Node*[2]{a, b}, model.materials.front(),
                           model.geometries.front());
    model.add_element(bar);
    return bar;
}

// Two bars from the fixed supports (-3, 0) and (3, 0) to the apex (0, 4), loaded
// there by P in y in load set `set_number`. Each bar has L = 5 and sin(theta) = 4/5:
// bar force N = P / (2 sin(theta)), apex deflection v = P L / (2 E A sin^2(theta)).
struct TwoBarTruss {
    static constexpr double E = 1000.0;
    static constexpr double A = 2.0;
    static constexpr double P = -10.0;
    static constexpr double deflection = P * 5.0 / (2.0 * E * A * 0.64);  // -0.01953125
    static constexpr double bar_stress = P / (2.0 * 0.8) / A;             // -3.125

    explicit TwoBarTruss(MyDomain& model, std::uint32_t set_number = 1)
    {
        add_bar_properties(model, E, A);
        MyNode* left = add_node(model, 1, -3.0, 0.0);
        MyNode* right = add_node(model, 2, 3.0, 0.0);
        apex = add_node(model, 3, 0.0, 4.0);
        fix_xy(left);
        fix_xy(right);
        left_bar = add_bar(model, 1, left, apex);
        right_bar = add_bar(model, 2, right, apex);

        KelVane::LoadSet* set = new KelVane::LoadSet(set_number);
        KelVane::Nodal_Loads* loads = new KelVane::Nodal_Loads;
        loads->add_load(KelVane::Dof::force, y_axis, P);
        loads->add_node(apex);
        set->add(loads);
        model.load_sets.push_back(set);
    }

    MyNode* apex;
    Truss* left_bar;
    Truss* right_bar;
};

using CaptureStdout = kv_test::CoutCapture;

}  // namespace control_test

#endif
