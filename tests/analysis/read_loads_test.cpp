// Reading of "*suppress", "*loadef" and "*post": the dofs fixed, the forces and
// prescribed changes the load sets produce, and the errors counted.

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "control.h"
#include "domain.h"
#include "errors.h"
#include "kvparser.h"
#include "loads.h"
#include "model_text.h"
#include "node.h"
#include "probe_element.h"
#include "sysmat.h"

using KelVane::displacement_type;
using KelVane::dof_type;
using KelVane::rotation_type;
using KelVane::temperature_type;

namespace {

using AnyControl = KelVane::Control<MyDomain>;
using Reading = kv_test::SectionReading;

// The error stream of a reading that ended with an exception.
std::string messages_of_failed_reading;

Reading read_text(const std::string& text, MyDomain& model, AnyControl*& control)
{
    return kv_test::read_model_text(text, model, control, &messages_of_failed_reading);
}

Reading read_text(const std::string& text, MyDomain& model)
{
    AnyControl* control = nullptr;
    Reading reading = read_text(text, model, control);
    delete control;
    return reading;
}

// Nodes 1 .. count on the x axis.
void add_nodes(MyDomain& model, int count)
{
    for (int n = 1; n <= count; ++n) model.nodes.push_back(new MyNode(n, n, 0.0, 0.0));
}

MyNode* node_of(MyDomain& model, std::uint32_t number)
{
    for (MyNode* node : model.nodes)
        if (node->number() == number) return node;
    return nullptr;
}

bool same_direction(const Direction& a, const Direction& b)
{
    double ax, ay, az, bx, by, bz;
    a.get(ax, ay, az);
    b.get(bx, by, bz);
    return ax == bx && ay == by && az == bz;
}

// The node's dof of the kind along the direction (any direction for a temperature).
const KelVane::itincDof* dof_of(const MyNode& node, dof_type type, const Direction& direction)
{
    for (std::uint32_t i = 0; i < node.number_of_dofs(); ++i) {
        const KelVane::itincDof& dof = node.get_dof(i);
        if (dof.get_type() != type) continue;
        if (type == temperature_type || same_direction(dof.get_direction(), direction))
            return &dof;
    }
    return nullptr;
}

KelVane::LoadSet* load_set_of(MyDomain& model, std::uint32_t number)
{
    for (KelVane::LoadSet* set : model.load_sets)
        if (set->number() == number) return set;
    return nullptr;
}

const Direction x_axis(1.0, 0.0, 0.0);
const Direction y_axis(0.0, 1.0, 0.0);
const Direction z_axis(0.0, 0.0, 1.0);
const Direction none;

}  // namespace

TEST(ReadSuppress, EveryDofLetterInAnyCaseFixesItsDof)
{
    struct Case {
        const char* field;
        dof_type type;
        Direction direction;
    };
    const Case cases[] = {
        {"ux", displacement_type, x_axis}, {"UX", displacement_type, x_axis},
        {"uY", displacement_type, y_axis}, {"Uz", displacement_type, z_axis},
        {"rx", rotation_type, x_axis},     {"RZ", rotation_type, z_axis},
        {"rY", rotation_type, y_axis},     {"t", temperature_type, none},
        {"T", temperature_type, none},
    };
    for (const Case& c : cases) {
        MyDomain model;
        add_nodes(model, 3);
        const Reading reading =
            read_text(std::string("*suppress\n") + c.field + " 1 3\n*end\n", model);
        EXPECT_EQ(reading.errors, 0) << c.field << reading.messages;
        for (std::uint32_t n : {1u, 3u}) {
            const MyNode& node = *node_of(model, n);
            ASSERT_EQ(node.number_of_dofs(), 1u) << c.field;
            EXPECT_EQ(node.get_dof(0).get_type(), c.type) << c.field;
            EXPECT_TRUE(node.get_dof(0).is_fixed()) << c.field;
            EXPECT_TRUE(same_direction(node.get_dof(0).get_direction(), c.direction)) << c.field;
        }
        EXPECT_EQ(node_of(model, 2)->number_of_dofs(), 0u) << c.field;
    }
}

TEST(ReadSuppress, SeveralDofsOnSeveralNodesAndRepeatedLines)
{
    MyDomain model;
    add_nodes(model, 4);
    const Reading reading = read_text(
        "*suppress\nux uy 1 2 3\nt 3 4\nux rz 1\n*end\n", model);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    for (std::uint32_t n : {1u, 2u, 3u}) {
        const MyNode& node = *node_of(model, n);
        EXPECT_NE(dof_of(node, displacement_type, x_axis), nullptr) << n;
        EXPECT_NE(dof_of(node, displacement_type, y_axis), nullptr) << n;
        EXPECT_EQ(dof_of(node, displacement_type, z_axis), nullptr) << n;
    }
    // The second ux at node 1 is already spanned and adds nothing.
    EXPECT_EQ(node_of(model, 1)->number_of_dofs(), 3u);
    EXPECT_NE(dof_of(*node_of(model, 1), rotation_type, z_axis), nullptr);
    EXPECT_EQ(node_of(model, 2)->number_of_dofs(), 2u);
    EXPECT_EQ(node_of(model, 3)->number_of_dofs(), 3u);
    ASSERT_EQ(node_of(model, 4)->number_of_dofs(), 1u);
    EXPECT_EQ(node_of(model, 4)->get_dof(0).get_type(), temperature_type);
}

TEST(ReadSuppress, ErrorsAreCountedAndStopTheLine)
{
    struct Case {
        const char* line;
        const char* message;
        int errors;
        int fixed_nodes;  // nodes 1 and 2 that receive a dof
    };
    const Case cases[] = {
        {"u 1 2", "direction missing", 1, 0},
        {"uw 1 2", "error in direction", 1, 0},
        {"u1 1 2", "free direction not implemented yet", 1, 0},
        {"u-2 1 2", "free direction not implemented yet", 1, 0},
        {"ux x 1 2", "unknown type of load", 1, 0},
        {"ux uy q 1 2", "unknown type of load", 1, 0},
        {"ux 9 1 2", "unknown suppressed node number 9", 1, 0},
        {"ux 1 9 2", "unknown suppressed node number 9", 1, 1},
        // A word is a degree of freedom only in full: these fixed ux, rz or t.
        {"uxy 1 2", "unknown degree of freedom uxy: the words are ux, uy, uz, rx, ry, rz and t",
         1, 0},
        {"uxx 1 2", "unknown degree of freedom uxx", 1, 0},
        {"rzz 1 2", "unknown degree of freedom rzz", 1, 0},
        {"tz 1 2", "unknown degree of freedom tz", 1, 0},
        {"Temp 1 2", "unknown degree of freedom Temp", 1, 0},
        {"ux txyz 1 2", "unknown degree of freedom txyz", 1, 0},
        // A line without its degrees of freedom or without its nodes fixes nothing.
        {"ux uy", "the line names no node after its degrees of freedom", 1, 0},
        {"rz", "the line names no node after its degrees of freedom", 1, 0},
        // A node number with a unit glued to it is no number; the nodes before it
        // are fixed.
        {"ux 1 2x 2", "wrong type in field 3", 1, 1},
        {"ux 1 2.0 2", "", 0, 2},
        {"ux 1.5 2", "wrong type in field 2", 1, 0},
        {"1 2", "the line names no degree of freedom before its node numbers", 1, 0},
        {"3", "the line names no degree of freedom before its node numbers", 1, 0},
        {"ux uy uz rx ry rz t ux uy uz ux 1 2", "too many directions (must be less than 11)", 1,
         0},
    };
    for (const Case& c : cases) {
        MyDomain model;
        add_nodes(model, 2);
        const Reading reading = read_text(std::string("*suppress\n") + c.line + "\n*end\n", model);
        EXPECT_EQ(reading.errors, c.errors) << c.line << '\n' << reading.messages;
        EXPECT_NE(reading.messages.find(c.message), std::string::npos)
            << c.line << '\n' << reading.messages;
        if (c.errors > 0) {
            EXPECT_NE(reading.messages.find(std::string("error in input line 2:\n") + c.line),
                      std::string::npos)
                << reading.messages;
        }
        int fixed = 0;
        for (std::uint32_t n : {1u, 2u}) fixed += node_of(model, n)->number_of_dofs() > 0;
        EXPECT_EQ(fixed, c.fixed_nodes) << c.line;
    }
}

TEST(ReadSuppress, TenDofFieldsAreAccepted)
{
    MyDomain model;
    add_nodes(model, 1);
    const Reading reading =
        read_text("*suppress\nux uy uz rx ry rz t ux uy uz 1\n*end\n", model);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_EQ(node_of(model, 1)->number_of_dofs(), 7u);
}

// Two sets with every kind of block; the forces and prescribed changes they make
// at their factors are checked dof by dof.
TEST(ReadLoadef, SetsWithLoadsPrescribedValuesAndPressures)
{
    MyDomain model;
    add_nodes(model, 8);
    model.add_element(new ProbeElement(1, node_of(model, 7), x_axis, 1.0, nullptr));
    model.add_element(new ProbeElement(2, node_of(model, 8), y_axis, 1.0, nullptr));
    // Elements that give nodes 5 and 6 the dofs that are prescribed there.
    model.add_element(new ProbeElement(3, node_of(model, 5), x_axis, 1.0, nullptr));
    model.add_element(new ProbeElement(4, node_of(model, 5), y_axis, 1.0, nullptr));
    model.add_element(new ProbeElement(5, node_of(model, 5), z_axis, 1.0, nullptr));
    model.add_element(
        new ProbeElement(6, node_of(model, 6), none, 1.0, nullptr, temperature_type));
    const Reading reading = read_text("*loadef\n"
                                      "set 1\n"
                                      "loads\n"
                                      "fx 10 fY -5 2 3\n"
                                      "q 7 4\n"
                                      "prescribed\n"
                                      "ux 0.5 uZ -0.25 5\n"
                                      "T 20 6\n"
                                      "Pressure\n"
                                      "1 1 2.5\n"
                                      "2 3 -1.0\n"
                                      "LOADS\n"
                                      "FX 2.5 3\n"
                                      "SET 2\n"
                                      "prescribed\n"
                                      "uy 3 5\n"
                                      "loads\n"
                                      "fy 4 2\n"
                                      "*end\n",
                                      model);
    ASSERT_EQ(reading.errors, 0) << reading.messages;
    ASSERT_EQ(model.load_sets.size(), 2u);
    EXPECT_EQ(model.load_sets.front()->number(), 1u);
    EXPECT_EQ(model.load_sets.back()->number(), 2u);

    // The prescribed dofs exist as soon as the set is read.
    const MyNode& n5 = *node_of(model, 5);
    ASSERT_EQ(n5.number_of_dofs(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(n5.get_dof(i).is_prescribed());
    ASSERT_EQ(node_of(model, 6)->number_of_dofs(), 1u);
    EXPECT_TRUE(node_of(model, 6)->get_dof(0).is_prescribed());

    // Free dofs for the nodal loads; the probes create theirs at nodes 7 and 8.
    for (std::uint32_t n : {2u, 3u}) {
        node_of(model, n)->add_dof(KelVane::free_status, displacement_type, x_axis);
        node_of(model, n)->add_dof(KelVane::free_status, displacement_type, y_axis);
    }
    node_of(model, 4)->add_dof(KelVane::free_status, temperature_type, none);
    model.setup_dofs();
    ASSERT_EQ(model.n_free, 7u);
    ASSERT_EQ(model.n_prescribed, 4u);

    KelVane::LoadSet& set1 = *load_set_of(model, 1);
    KelVane::LoadSet& set2 = *load_set_of(model, 2);
    set1.increment(1.0);
    set2.increment(2.0);

    EXPECT_DOUBLE_EQ(dof_of(n5, displacement_type, x_axis)->get_increment(), 0.5);
    EXPECT_DOUBLE_EQ(dof_of(n5, displacement_type, z_axis)->get_increment(), -0.25);
    EXPECT_DOUBLE_EQ(dof_of(n5, displacement_type, y_axis)->get_increment(), 6.0);
    EXPECT_DOUBLE_EQ(node_of(model, 6)->get_dof(0).get_increment(), 20.0);

    KelVane::SystemVector f1(model.n_free, model.n_prescribed, model.n_fixed);
    set1.assemble(f1, KelVane::PressureFace::displaced);
    auto force = [&](KelVane::SystemVector& f, std::uint32_t n, dof_type type,
                     const Direction& direction) {
        return f(*dof_of(*node_of(model, n), type, direction));
    };
    EXPECT_DOUBLE_EQ(force(f1, 2, displacement_type, x_axis), 10.0);
    EXPECT_DOUBLE_EQ(force(f1, 2, displacement_type, y_axis), -5.0);
    EXPECT_DOUBLE_EQ(force(f1, 3, displacement_type, x_axis), 12.5);
    EXPECT_DOUBLE_EQ(force(f1, 3, displacement_type, y_axis), -5.0);
    EXPECT_DOUBLE_EQ(force(f1, 4, temperature_type, none), 7.0);
    EXPECT_DOUBLE_EQ(force(f1, 7, displacement_type, x_axis), 2.5);
    EXPECT_DOUBLE_EQ(force(f1, 8, displacement_type, y_axis), -1.0);

    KelVane::SystemVector f2(model.n_free, model.n_prescribed, model.n_fixed);
    set2.assemble(f2, KelVane::PressureFace::displaced);
    EXPECT_DOUBLE_EQ(force(f2, 2, displacement_type, y_axis), 8.0);
    double total = 0.0;
    for (std::uint32_t i = 1; i <= model.n_free; ++i) total += f2.free_part()(i);
    EXPECT_DOUBLE_EQ(total, 8.0);
}

TEST(ReadLoadef, LineWithAnUnknownNodeKeepsTheNodesBeforeIt)
{
    MyDomain model;
    add_nodes(model, 3);
    const Reading reading =
        read_text("*loadef\nset 1\nloads\nfx 4 1 9 2\nprescribed\nux 2 3 8 2\n*end\n", model);
    EXPECT_EQ(reading.errors, 2) << reading.messages;
    EXPECT_NE(reading.messages.find("unknown node number 9 in nodal loads"), std::string::npos);
    EXPECT_NE(reading.messages.find("unknown prescribed node number 8"), std::string::npos);
    ASSERT_EQ(model.load_sets.size(), 1u);
    // Node 3 was prescribed before the unknown node 8; node 2 came after it.
    EXPECT_EQ(node_of(model, 3)->number_of_dofs(), 1u);
    EXPECT_EQ(node_of(model, 2)->number_of_dofs(), 0u);

    for (std::uint32_t n : {1u, 2u})
        node_of(model, n)->add_dof(KelVane::free_status, displacement_type, x_axis);
    model.number_equations();
    KelVane::LoadSet& set = *model.load_sets.front();
    set.increment(1.0);
    KelVane::SystemVector f(model.n_free, model.n_prescribed, model.n_fixed);
    set.assemble(f, KelVane::PressureFace::displaced);
    EXPECT_DOUBLE_EQ(f(node_of(model, 1)->get_dof(0)), 4.0);
    EXPECT_DOUBLE_EQ(f(node_of(model, 2)->get_dof(0)), 0.0);
}

TEST(ReadLoadef, ErrorsAreCountedAndSetsDropped)
{
    struct Case {
        const char* text;  // after "*loadef"
        const char* message;
        int errors;
        std::size_t sets;
    };
    const char* set_number = "first line of each set in *LOADEF must define the SET number";
    const char* undefined = "undefined load type in definition (*LOADEF)";
    const Case cases[] = {
        {"set\nloads\nfx 1 1\n", set_number, 1, 0},
        {"set 1 2\nloads\nfx 1 1\n", set_number, 1, 0},
        {"load 1\n", set_number, 1, 0},
        {"set 1\nloads\nfx 1 1\nset\n", set_number, 1, 1},
        {"set 1\nforces\nfx 1 1\n", undefined, 1, 0},
        // A set without a block is refused on its own line, not on the keyword
        // line (or the end of the input) after it.
        {"set 1\n", "load set 1 has no block: loads, prescribed or pressure must follow its set "
                    "line\n\nerror in input line 2:\nset 1\n", 1, 0},
        {"set 1\nloads\nfx 1 1\nset 2\n", "load set 2 has no block", 1, 1},
        {"set 1\nloads\nfx 1 zz 1 1\n", undefined, 1, 0},
        {"set 1\npressure\n5 1 1.0\n", "pressure on unknown element number 5", 2, 0},
        {"set 1\nloads\nfw 1 1\n", "error in direction", 1, 1},
        {"set 1\nloads\nf 1 1\n", "direction missing", 1, 1},
        {"set 1\nloads\nfx abc 1\n", "wrong type in field 2", 1, 1},
        {"set 1\nprescribed\nr7 1 1\n", "free direction not implemented yet", 1, 1},
        {"set x\nloads\nfx 1 1\n", "wrong type in field 2", 1, 1},
        // A word is a load or a degree of freedom only in full.
        {"set 1\nloads\nfyx -10 1\n",
         "unknown load fyx: the words are fx, fy, fz, mx, my, mz and q\n", 1, 1},
        {"set 1\nloads\nq_heat 5 1\n", "unknown load q_heat", 1, 1},
        {"set 1\nloads\nfx 1 mzz 2 1\n", "unknown load mzz", 1, 1},
        {"set 1\nprescribed\nuxx 0.1 1\n", "unknown degree of freedom uxx", 1, 1},
        {"set 1\nprescribed\ntemp 20 1\n", "unknown degree of freedom temp", 1, 1},
        // A line without its nodes, or without its loads, does nothing.
        {"set 1\nloads\nfy -12000\n",
         "the line names no node after its load and value pairs\n\nerror in input line 4:", 1,
         1},
        {"set 1\nloads\nfx 1 fy 2\n", "the line names no node", 1, 1},
        {"set 1\nloads\n1\n", "the line names no load before its node numbers", 1, 1},
        {"set 1\nprescribed\nux 0.1\n",
         "the line names no node after its degree of freedom and value pairs", 1, 1},
        // A remark after a backslash on a block line continues the line: the load
        // line that follows would be dropped.
        {"set 1\nloads   \\ the load on the apex\nfy -12000 1\n",
         "loads takes nothing after it; found fy\n\nerror in input line 4:\nloads fy -12000 1\n",
         1, 1},
        {"set 1\nloads\nfx 1 1\nprescribed \\ the support moves\nux 0.1 1\n",
         "prescribed takes nothing after it; found ux", 1, 1},
        {"", "", 0, 0},
        {"set 1\nset 2\nloads\nfx 1 1\n", "", 0, 2},
    };
    // The end of the file acts exactly like a "*end" line.
    for (const std::string end : {"*end\n", ""}) {
        for (const Case& c : cases) {
            MyDomain model;
            add_nodes(model, 1);
            const Reading reading = read_text(std::string("*loadef\n") + c.text + end, model);
            EXPECT_EQ(reading.errors, c.errors) << c.text << end << '\n' << reading.messages;
            EXPECT_NE(reading.messages.find(c.message), std::string::npos)
                << c.text << end << '\n' << reading.messages;
            EXPECT_EQ(model.load_sets.size(), c.sets) << c.text << end;
        }
    }
}

TEST(ReadLoadef, LoadWithoutItsValueEndsTheReading)
{
    MyDomain model;
    add_nodes(model, 1);
    EXPECT_THROW(read_text("*loadef\nset 1\nloads\nfx\n*end\n", model), syntax_error);
    const std::string& messages = messages_of_failed_reading;
    EXPECT_NE(messages.find("program error, attempt to read field 2 of 1 available fields"),
              std::string::npos)
        << messages;
}

TEST(ReadPost, BeforeAnyAnalysisIsReportedAndIgnored)
{
    MyDomain model;
    AnyControl* control = nullptr;
    const Reading reading = read_text("*post\nall\nstress\n*linear\n*end\n", model, control);
    EXPECT_EQ(reading.errors, 1);
    EXPECT_NE(reading.messages.find("*POST must be after *NONLINEAR\n"), std::string::npos)
        << reading.messages;
    EXPECT_NE(reading.messages.find("error in input line 1:\n*post"), std::string::npos)
        << reading.messages;
    ASSERT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    EXPECT_FALSE(control->post_selection().all);
    EXPECT_FALSE(control->post_selection().stress);
    delete control;
}

TEST(ReadPost, EveryWordSetsItsSelection)
{
    MyDomain model;
    AnyControl* control = nullptr;
    const Reading reading = read_text(
        "*linear\n*post\nstep 5 10\nSTEP 15 10\nlast\nDisplacement\nstress\n*end\n", model,
        control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    ASSERT_NE(control, nullptr);
    const KelVane::PostProc& post = control->post_selection();
    EXPECT_EQ(post.steps, (std::set<int>{5, 10, 15}));
    EXPECT_TRUE(post.last);
    EXPECT_TRUE(post.displacement);
    EXPECT_TRUE(post.stress);
    EXPECT_FALSE(post.all);
    EXPECT_FALSE(post.temperature);
    EXPECT_FALSE(post.equivalent);
    EXPECT_FALSE(post.incr_displa);
    EXPECT_FALSE(post.temp_increment);
    delete control;

    MyDomain other;
    control = nullptr;
    const Reading second =
        read_text("*linear\n*post\nall\ntemperature\nequivalent\n*end\n", other, control);
    EXPECT_EQ(second.errors, 0) << second.messages;
    const KelVane::PostProc& post2 = control->post_selection();
    EXPECT_TRUE(post2.all);
    EXPECT_TRUE(post2.temperature);
    EXPECT_TRUE(post2.equivalent);
    EXPECT_FALSE(post2.last);
    EXPECT_FALSE(post2.displacement);
    EXPECT_FALSE(post2.stress);
    EXPECT_TRUE(post2.steps.empty());
    delete control;
}

TEST(ReadPost, LaterSectionReplacesTheSelectionUnlessItFails)
{
    MyDomain model;
    AnyControl* control = nullptr;
    Reading reading =
        read_text("*linear\n*post\nall\nstep 2\n*post\nstress\n*end\n", model, control);
    EXPECT_EQ(reading.errors, 0) << reading.messages;
    EXPECT_FALSE(control->post_selection().all);
    EXPECT_TRUE(control->post_selection().steps.empty());
    EXPECT_TRUE(control->post_selection().stress);
    delete control;

    MyDomain other;
    control = nullptr;
    reading = read_text("*linear\n*post\nall\n*post\nstress\nnodes\nlast\n*end\n", other, control);
    EXPECT_EQ(reading.errors, 1);
    EXPECT_NE(reading.messages.find("first word of each line in POST selection must be: step, all, "
                                    "last, displacement, temperature, stress or equivalent; "
                                    "found nodes\n\nerror in input line 6:\nnodes\n"),
              std::string::npos)
        << reading.messages;
    EXPECT_TRUE(control->post_selection().all);
    EXPECT_FALSE(control->post_selection().stress);
    EXPECT_FALSE(control->post_selection().last);
    delete control;
}

TEST(ReadPost, FieldsAfterAWordThatTakesNoneAreRefused)
{
    // "last 3" does not ask for the last three increments.
    for (const std::string line : {"last 3", "displacement stress", "all \\ x\nstress"}) {
        MyDomain model;
        AnyControl* control = nullptr;
        const Reading reading = read_text("*linear\n*post\n" + line + "\n*end\n", model, control);
        EXPECT_EQ(reading.errors, 1) << line << reading.messages;
        EXPECT_NE(reading.messages.find(" takes nothing after it; found "), std::string::npos)
            << reading.messages;
        delete control;
    }
}

TEST(ReadPost, BadStepNumberIsCountedAndSkipped)
{
    MyDomain model;
    AnyControl* control = nullptr;
    const Reading reading = read_text("*linear\n*post\nstep 4 x 6\n*end\n", model, control);
    EXPECT_EQ(reading.errors, 1);
    EXPECT_NE(reading.messages.find("wrong type in field 3"), std::string::npos);
    EXPECT_EQ(control->post_selection().steps, (std::set<int>{4, 6}));
    delete control;
}
