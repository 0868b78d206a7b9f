#include <cmath>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "domain.h"
#include "errors.h"
#include "loads.h"
#include "node.h"
#include "post_selection.h"
#include "probe_element.h"

using KelVane::displacement_type;
using KelVane::fixed_status;
using KelVane::free_status;
using KelVane::prescribed_status;
using KelVane::rotation_type;
using KelVane::temperature_type;

namespace {

const Direction x_axis(1.0, 0.0, 0.0);
const Direction y_axis(0.0, 1.0, 0.0);
const Direction z_axis(0.0, 0.0, 1.0);
const Direction diagonal(1.0, 1.0, 0.0);

MyNode* add_node(MyDomain& model, std::uint32_t number)
{
    MyNode* node = new MyNode(number, 0.0, 0.0, 0.0);
    model.nodes.push_back(node);
    return node;
}

ProbeElement* add_probe(MyDomain& model, std::uint32_t number, MyNode* node,
                        const Direction& direction)
{
    ProbeElement* element = new ProbeElement(number, node, direction, 1.0, nullptr);
    model.add_element(element);
    return element;
}

// Nodes of every kind the nodal solution distinguishes, with known values:
// 1 displacements only, 2 displacements and a rotation, 3 a temperature only,
// 4 one displacement along the diagonal of x and y, 5 all three kinds.
struct SolutionModel {
    MyDomain model;
    SolutionModel()
    {
        MyNode* n1 = add_node(model, 1);
        n1->add_dof(free_status, displacement_type, x_axis);
        n1->add_dof(free_status, displacement_type, y_axis);
        n1->get_dof(0).set_value(1.5e-3);
        n1->get_dof(1).set_value(-0.01);
        n1->get_dof(1).set_increment(-0.01);

        MyNode* n2 = add_node(model, 2);
        n2->add_dof(free_status, displacement_type, y_axis);
        n2->add_dof(free_status, rotation_type, z_axis);
        n2->get_dof(0).set_value(2.0);
        n2->get_dof(1).set_value(-0.5);

        MyNode* n3 = add_node(model, 13);
        n3->add_dof(free_status, temperature_type, Direction());
        n3->get_dof(0).set_value(20.0);

        MyNode* n4 = add_node(model, 4);
        n4->add_dof(free_status, displacement_type, diagonal);
        n4->get_dof(0).set_value(std::sqrt(2.0));

        MyNode* n5 = add_node(model, 1234567);
        n5->add_dof(free_status, displacement_type, x_axis);
        n5->add_dof(free_status, rotation_type, z_axis);
        n5->add_dof(free_status, temperature_type, Direction());
        n5->get_dof(0).set_value(-1.0);
        n5->get_dof(1).set_value(1e-12);
        n5->get_dof(2).set_increment(-273.0);
    }
};

}  // namespace

TEST(Listing, TitleBlock)
{
    MyDomain model;
    model.title = "Two bars\nunder a load";
    std::ostringstream os;
    model.write_title(os);
    EXPECT_EQ(os.str(), "\nTITLE\nTwo bars\nunder a load\n\n");

    MyDomain untitled;
    std::ostringstream empty;
    untitled.write_title(empty);
    EXPECT_EQ(empty.str(), "\nTITLE\n\n\n");
}

TEST(Listing, NodalSolutionRows)
{
    SolutionModel m;
    std::ostringstream os;
    m.model.write_nodal_solution(os);
    const std::string blank36(36, ' ');
    const std::string expected =
        "\nnodal solution in global coordinates\n\n"
        "   node      U_X         U_Y         U_Z         R_X         R_Y         R_Z          T\n\n"
        "      1   1.500e-03  -2.000e-02   0.000e+00\n"
        "      2   0.000e+00   2.000e+00   0.000e+00   0.000e+00   0.000e+00  -5.000e-01\n"
        "     13   0.000e+00   0.000e+00   0.000e+00" + blank36 + "   2.000e+01\n"
        "      4   1.000e+00   1.000e+00   0.000e+00\n"
        "1234567  -1.000e+00   0.000e+00   0.000e+00   0.000e+00   0.000e+00   1.000e-12  -2.730e+02\n";
    EXPECT_EQ(os.str(), expected);
}

TEST(Listing, ReactionRowsShowSuppressedDofsWithTheirDirection)
{
    MyDomain model;
    MyNode* a = add_node(model, 1);
    a->add_dof(fixed_status, displacement_type, x_axis);
    a->add_dof(fixed_status, rotation_type, z_axis);
    a->add_dof(free_status, displacement_type, y_axis);
    MyNode* b = add_node(model, 22);
    b->add_dof(fixed_status, displacement_type, diagonal);
    b->add_dof(fixed_status, temperature_type, Direction());
    MyNode* c = add_node(model, 3);
    c->add_dof(prescribed_status, displacement_type, y_axis);

    add_probe(model, 1, a, x_axis)->force = 12.345;
    add_probe(model, 2, a, y_axis)->force = 99.0;  // free: not listed
    add_probe(model, 3, b, diagonal)->force = 1.0 / 3.0;
    add_probe(model, 4, c, y_axis)->force = -3.0;
    // The rotation and the temperature are listed because elements give them:
    // without one, their suppression is dropped.
    model.add_element(new ProbeElement(5, a, z_axis, 1.0, nullptr, rotation_type));
    model.add_element(new ProbeElement(6, b, Direction(), 1.0, nullptr, temperature_type));
    model.setup_dofs();

    std::ostringstream os;
    // Whatever format the stream had, the rows come out the same.
    os.setf(std::ios_base::fixed, std::ios_base::floatfield);
    model.write_reactions(os);
    const std::string expected =
        "\nreactions\n"
        "       1  u   1.2345e+01      1    0    0\n"
        "       1  r   0.0000e+00      0    0    1\n"
        "      22  u   3.3333e-01   0.7071 0.7071    0\n"
        "      22  T   0.0000e+00\n"
        "       3  u  -3.0000e+00      0    1    0\n";
    EXPECT_EQ(os.str(), expected);
    EXPECT_EQ(os.str().find("0x"), std::string::npos);
}

TEST(Listing, ReactionsAreInternalMinusExternalForces)
{
    // A pressure reaches the element's dofs whatever their status (as a nodal load
    // does), so it shows in the reaction of a prescribed dof.
    MyDomain model;
    MyNode* a = add_node(model, 1);
    a->add_dof(prescribed_status, displacement_type, x_axis);
    ProbeElement* element = add_probe(model, 1, a, x_axis);
    element->force = 5.0;
    auto* set = new KelVane::LoadSet(1);
    auto* pressures = new KelVane::Pressure_Loads;
    pressures->add_load(element, 1, 2.0);
    set->add(pressures);
    model.load_sets.push_back(set);
    model.setup_dofs();
    model.apply_load(1, 1.5);
    std::ostringstream os;
    model.write_reactions(os);
    EXPECT_EQ(os.str(), "\nreactions\n       1  u   2.0000e+00      1    0    0\n");
}

TEST(Listing, OutputIsSolutionThenStressesThenReactions)
{
    MyDomain model;
    MyNode* a = add_node(model, 1);
    a->add_dof(fixed_status, displacement_type, x_axis);
    add_probe(model, 8, a, x_axis);
    add_probe(model, 9, a, x_axis);
    model.setup_dofs();
    std::ostringstream os;
    model.write_output(os);
    const std::string text = os.str();
    const auto solution = text.find("\nnodal solution in global coordinates\n");
    const auto stresses = text.find("\nelement stresses\nheader 8\nrows 8\nheader 9\nrows 9\n");
    const auto reactions = text.find("\nreactions\n");
    ASSERT_NE(solution, std::string::npos);
    ASSERT_NE(stresses, std::string::npos) << text;
    ASSERT_NE(reactions, std::string::npos);
    EXPECT_LT(solution, stresses);
    EXPECT_LT(stresses, reactions);
}

TEST(Listing, ResultBlocksOfNodalValues)
{
    SolutionModel m;
    KelVane::PostProc all;
    all.displacement = all.incr_displa = all.temperature = all.temp_increment = true;
    std::ostringstream os;
    m.model.write_step_results(os, 12, all);
    const std::string expected =
        "displacements       1          12       2       1       1\n"
        "UX\nUY\nUZ\n"
        "      1  1.500e-03  -2.000e-02   0.000e+00\n"
        "      2  0.000e+00   2.000e+00   0.000e+00\n"
        "     13  0.000e+00   0.000e+00   0.000e+00\n"
        "      4  1.000e+00   1.000e+00   0.000e+00\n"
        "1234567 -1.000e+00   0.000e+00   0.000e+00\n"
        "incr_displa       1          12       2       1       1\n"
        "Delta_UX\nDelta_UY\nDelta_UZ\n"
        "      1  0.000e+00  -1.000e-02   0.000e+00\n"
        "      2  0.000e+00   0.000e+00   0.000e+00\n"
        "     13  0.000e+00   0.000e+00   0.000e+00\n"
        "      4  0.000e+00   0.000e+00   0.000e+00\n"
        "1234567  0.000e+00   0.000e+00   0.000e+00\n"
        "temperature       1          12       1       1       1\n"
        "Temp\n"
        "      1  0.000e+00\n"
        "      2  0.000e+00\n"
        "     13  2.000e+01\n"
        "      4  0.000e+00\n"
        "1234567 -2.730e+02\n"
        "temp_increment       1          12       1       1       1\n"
        "Delta_Temp\n"
        "      1  0.000e+00\n"
        "      2  0.000e+00\n"
        "     13  0.000e+00\n"
        "      4  0.000e+00\n"
        "1234567 -2.730e+02\n";
    EXPECT_EQ(os.str(), expected);

    std::ostringstream only_displacements;
    KelVane::PostProc displacement;
    displacement.displacement = true;
    m.model.write_step_results(only_displacements, 1, displacement);
    EXPECT_EQ(only_displacements.str().rfind("displacements       1           1       2", 0), 0u);
    EXPECT_EQ(only_displacements.str().find("temperature"), std::string::npos);
}

TEST(Listing, NothingSelectedWritesNothing)
{
    SolutionModel m;
    add_probe(m.model, 1, m.model.nodes.front(), x_axis);
    KelVane::PostProc none;
    none.all = true;
    std::ostringstream os;
    m.model.write_step_results(os, 1, none);
    EXPECT_TRUE(os.str().empty());
}

TEST(Listing, StressBlockAveragesOntoNodes)
{
    MyDomain model;
    MyNode* a = add_node(model, 1);
    MyNode* b = add_node(model, 2);
    add_node(model, 3);  // no element reaches it: zeros as wide as the widest row
    ProbeElement* e1 = add_probe(model, 1, a, x_axis);
    ProbeElement* e2 = add_probe(model, 2, a, y_axis);
    ProbeElement* e3 = add_probe(model, 3, b, x_axis);
    // Axisymmetric order 11, 22, 33, 12 at node 1: average (2, 3, 4, 5), written
    // as 11, 22, 12, 33.
    e1->nodal_stress = KelVane::Vector(4);
    e2->nodal_stress = KelVane::Vector(4);
    for (unsigned i = 1; i <= 4; ++i) {
        e1->nodal_stress(i) = i;
        e2->nodal_stress(i) = i + 2;
    }
    // A plane stress vector keeps its order.
    e3->nodal_stress = KelVane::Vector(3);
    for (unsigned i = 1; i <= 3; ++i) e3->nodal_stress(i) = -1.0 * i;
    e1->nodal_equivalent(1) = 0.01;
    e2->nodal_equivalent(1) = 0.03;
    e3->nodal_equivalent(1) = 0.5;

    KelVane::PostProc selection;
    selection.stress = true;
    selection.equivalent = true;
    std::ostringstream os;
    model.write_step_results(os, 5, selection);
    const std::string expected =
        "stress header\n"
        "      1  2.000e+00   3.000e+00   5.000e+00   4.000e+00\n"
        "      2 -1.000e+00  -2.000e+00  -3.000e+00\n"
        "      3  0.000e+00   0.000e+00   0.000e+00   0.000e+00\n"
        "stress header\n"
        "      1  2.000e-02\n"
        "      2  5.000e-01\n"
        "      3  0.000e+00\n";
    EXPECT_EQ(os.str(), expected);
    EXPECT_EQ(result_mode, 2);

    // Writing again gives the same averages: the accumulators start afresh.
    std::ostringstream again;
    model.write_step_results(again, 5, selection);
    EXPECT_EQ(again.str(), expected);
}

TEST(Listing, StressBlockWithoutAHeaderIsLeftOut)
{
    // No element at all, or only elements that write no result header (trusses,
    // beams, masses): rows without a header would corrupt the file.
    MyDomain model;
    MyNode* node = add_node(model, 1);
    KelVane::PostProc selection;
    selection.stress = true;
    selection.equivalent = true;
    selection.displacement = true;
    const std::string displacements =
        "displacements       1           1       2       1       1\nUX\nUY\nUZ\n"
        "      1  0.000e+00   0.000e+00   0.000e+00\n";
    std::ostringstream os;
    model.write_step_results(os, 1, selection);
    EXPECT_EQ(os.str(), displacements);

    add_probe(model, 1, node, x_axis)->res_header = "";
    std::ostringstream headerless;
    model.write_step_results(headerless, 1, selection);
    EXPECT_EQ(headerless.str(), displacements);

    // A later element that has a header writes it, once per block.
    ProbeElement* second = add_probe(model, 2, node, x_axis);
    second->nodal_stress(1) = 4.0;
    std::ostringstream mixed;
    model.write_step_results(mixed, 1, selection);
    EXPECT_EQ(mixed.str(), displacements +
                               "stress header\n      1  2.000e+00\n"
                               "stress header\n      1  0.000e+00\n");
}

// A step whose values are not finite writes nothing of itself to the result file
// and stops the analysis with an error, whichever block holds the value.
TEST(Listing, ResultBlocksWithNumbersThatAreNotFiniteAreRefused)
{
    static const double nan = std::nan("");
    static const double inf = HUGE_VAL;
    const struct {
        const char* name;
        void (*spoil)(MyDomain& model, ProbeElement& probe);
        void (*select)(KelVane::PostProc& selection);
    } cases[] = {
        {"displacement", [](MyDomain& m, ProbeElement&) { m.nodes.front()->get_dof(0).set_value(nan); },
         [](KelVane::PostProc& s) { s.displacement = true; }},
        {"displacement increment",
         [](MyDomain& m, ProbeElement&) { m.nodes.front()->get_dof(1).set_increment(-inf); },
         [](KelVane::PostProc& s) { s.incr_displa = true; }},
        {"temperature", [](MyDomain& m, ProbeElement&) { m.nodes.back()->get_dof(2).set_value(inf); },
         [](KelVane::PostProc& s) { s.temperature = true; }},
        {"temperature increment",
         [](MyDomain& m, ProbeElement&) { m.nodes.back()->get_dof(2).set_increment(nan); },
         [](KelVane::PostProc& s) { s.temp_increment = true; }},
        {"stress", [](MyDomain&, ProbeElement& p) { p.nodal_stress(1) = inf; },
         [](KelVane::PostProc& s) { s.stress = true; }},
        {"equivalent plastic strain", [](MyDomain&, ProbeElement& p) { p.nodal_equivalent(1) = nan; },
         [](KelVane::PostProc& s) { s.equivalent = true; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SolutionModel m;
        ProbeElement* probe = add_probe(m.model, 1, m.model.nodes.front(), x_axis);
        KelVane::PostProc selection;
        selection.displacement = true;
        c.select(selection);
        std::ostringstream os;
        os << "earlier step\n";
        m.model.write_step_results(os, 3, selection);
        const std::string sound = os.str();
        EXPECT_NE(sound, "earlier step\n");

        c.spoil(m.model, *probe);
        std::ostringstream spoilt;
        spoilt << "earlier step\n";
        try {
            m.model.write_step_results(spoilt, 3, selection);
            ADD_FAILURE() << "no error";
        } catch (const KelVane::kelvane_error& error) {
            EXPECT_STREQ(error.what(),
                         "the analysis gives displacements, temperatures, stresses or plastic "
                         "strains for the result file that are not finite numbers");
        }
        EXPECT_EQ(spoilt.str(), "earlier step\n");
    }
}
