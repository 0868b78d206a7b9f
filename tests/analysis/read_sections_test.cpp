// Sections "*title", "*nodes", "*elements", "*material" and "*geometry", and the
// lookups by number.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "beam.h"
#include "control.h"
#include "domain.h"
#include "elastic.h"
#include "element_catalogue.h"
#include "errors.h"
#include "heat_conduction.h"
#include "heat_elements.h"
#include "kvparser.h"
#include "model_loader.h"
#include "model_text.h"
#include "plastic.h"
#include "point_mass.h"
#include "shape.h"
#include "thermo_mechanical.h"
#include "total_lagrange.h"
#include "truss.h"

namespace {

// A model file read section by section as the loading driver reads it, with
// what the reader wrote to stderr. The sections are read alone: that a whole
// model needs nodes and elements is the driver's check.
struct LoadedModel {
    explicit LoadedModel(const std::string& text) : domain(new MyDomain)
    {
        const kv_test::SectionReading reading = kv_test::read_model_text(text, *domain, control);
        errors = reading.errors;
        messages = reading.messages;
    }
    ~LoadedModel()
    {
        delete control;
        delete domain;
    }
    LoadedModel(const LoadedModel&) = delete;
    LoadedModel& operator=(const LoadedModel&) = delete;

    bool says(const std::string& part) const { return messages.find(part) != std::string::npos; }

    template <class Object>
    static std::vector<Object*> as_vector(const std::list<Object*>& list)
    {
        return std::vector<Object*>(list.begin(), list.end());
    }

    MyDomain* domain = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    int errors = -1;
    std::string messages;
};

const std::string truss_material_and_geometry =
    "*material 1\nlinearelastic\nyoung 210000\npoisson 0.3\n"
    "*geometry 4\ncrosse 0.01\n";

}  // namespace

TEST(TitleSection, LinesJoinedWithSingleBlanksAndNewlines)
{
    LoadedModel model("*title\n  Cantilever \t  beam\n\nsecond   line\n*title\nReplaced title\n");
    EXPECT_EQ(model.errors, 0);
    EXPECT_EQ(model.domain->title, "Replaced title");

    LoadedModel two_lines("*title\n  Cantilever \t  beam\n\nsecond   line\n*end\n");
    EXPECT_EQ(two_lines.domain->title, "Cantilever beam\nsecond line");

    // The title as the last section of a file without "*end" or final line end.
    LoadedModel last("*title\nonly line");
    EXPECT_EQ(last.domain->title, "only line");
    LoadedModel empty("*title\n*end\n");
    EXPECT_EQ(empty.domain->title, "");

    // A UTF-8 byte-order mark that an editor put before the first line made that
    // line no keyword line, and the title was dropped.
    LoadedModel marked("\xEF\xBB\xBF*title\nPortal frame\n*end\n");
    EXPECT_EQ(marked.errors, 0);
    EXPECT_EQ(marked.domain->title, "Portal frame");
    // Only the whole mark is skipped.
    LoadedModel part("\xEF\xBB*title\nPortal frame\n*end\n");
    EXPECT_EQ(part.domain->title, "");
    LoadedModel bare("*title\nT\n*end\n");
    EXPECT_EQ(bare.domain->title, "T");
}

TEST(NodesSection, NodesInFileOrderAndLinesWithErrorsCreateNothing)
{
    LoadedModel model(
        "*nodes\n"
        "1 0 0 0\n"
        "7 1.5 -2 3e1 extra fields ignored\n"
        "8 x 0 0\n"
        "7 9 9 9\n"
        "3 2 0 0\n");
    EXPECT_EQ(model.errors, 2);
    EXPECT_TRUE(model.says("wrong type in field 2\n\nerror in input line 4:\n8 x 0 0\n\n"));
    EXPECT_TRUE(model.says("node 7 is defined twice\n\nerror in input line 5:\n7 9 9 9\n\n"));
    std::vector<MyNode*> nodes = LoadedModel::as_vector(model.domain->nodes);
    ASSERT_EQ(nodes.size(), 3u);
    const std::vector<std::uint32_t> numbers = {1, 7, 3};
    for (std::size_t k = 0; k < nodes.size(); ++k) EXPECT_EQ(nodes[k]->number(), numbers[k]);
    double x, y, z;
    nodes[1]->get_coordinates(x, y, z);
    EXPECT_DOUBLE_EQ(x, 1.5);
    EXPECT_DOUBLE_EQ(y, -2.0);
    EXPECT_DOUBLE_EQ(z, 30.0);

    // Duplicate numbers: the node defined first is kept.
    input_data reader;
    EXPECT_EQ(reader.find_node(*model.domain, 7), nodes[1]);
    EXPECT_EQ(reader.find_node(*model.domain, 3), nodes[2]);
    EXPECT_EQ(reader.find_node(*model.domain, 8), nullptr);
}

TEST(NodesSection, LineWithoutZEndsTheLoadWithSyntaxError)
{
    const std::string path = testing::TempDir() + "read_sections_short_node.dat";
    {
        std::ofstream file(path);
        file << "*nodes\n1 0 0 0\n2 1 0\n*end\n";
    }
    MyDomain* domain = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_THROW(read_model(path, domain, control), syntax_error);
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("program error, attempt to read field 4 of 3 available fields\n"
                            "\nerror in input line 3:\n2 1 0\n\n"),
              std::string::npos);
    // The partly built model is the caller's.
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(domain->nodes.size(), 1u);
    EXPECT_EQ(control, nullptr);
    delete domain;
}

TEST(ElementsSection, TrussesBeamsAndMassesAreCreated)
{
    LoadedModel model(
        "*nodes\n1 0 0 0\n2 3 4 0\n3 3 0 0\n" + truss_material_and_geometry +
        "*material 2\nmass 5.5\n"
        "*geometry 5\ncrosse 0.02\niz 1e-4\n"
        "*elements\n"
        "TRUSS 1 4\n"
        "10 1 2\n"
        "11 2 3\n"
        "beam2d 1 5\n"
        "20 1 3\n"
        "mass2d 2\n"
        "30 2\n"
        "mass3d 2\n"
        "31 3\n"
        "*end\n");
    EXPECT_EQ(model.errors, 0) << model.messages;
    std::vector<FiniteElement*> elements = LoadedModel::as_vector(model.domain->elements);
    ASSERT_EQ(elements.size(), 5u);
    EXPECT_NE(dynamic_cast<Truss*>(elements[0]), nullptr);
    EXPECT_NE(dynamic_cast<Truss*>(elements[1]), nullptr);
    EXPECT_NE(dynamic_cast<LinBeam2d*>(elements[2]), nullptr);
    EXPECT_NE(dynamic_cast<Mass2D*>(elements[3]), nullptr);
    EXPECT_NE(dynamic_cast<Mass3D*>(elements[4]), nullptr);
    const std::vector<std::uint32_t> numbers = {10, 11, 20, 30, 31};
    for (std::size_t k = 0; k < elements.size(); ++k) EXPECT_EQ(elements[k]->number(), numbers[k]);

    // Node references in the order of the fields.
    EXPECT_EQ(elements[1]->get_nr_nodes(), 2u);
    EXPECT_EQ(elements[1]->get_node(0)->number(), 2u);
    EXPECT_EQ(elements[1]->get_node(1)->number(), 3u);
    EXPECT_EQ(elements[3]->get_node(0)->number(), 2u);
    EXPECT_TRUE(model.domain->symmetric);

    input_data reader;
    EXPECT_EQ(reader.find_element(*model.domain, 20), elements[2]);
    EXPECT_EQ(reader.find_element(*model.domain, 12), nullptr);
}

TEST(ElementsSection, GroupAndElementLineErrors)
{
    LoadedModel model(
        "*nodes\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 3 0 0\n"
        "*elements\n"
        "truss 1 4\n"        // material and geometry not defined yet
        "1 1 2\n"
        "2 2 3\n" +
        truss_material_and_geometry +
        "*elements\n"
        "truss 1 4\n"
        "3 1 7\n"            // unknown node
        "4 1 2 3\n"          // one node too many
        "5 x 2\n"            // element number not a number
        "6 3 4\n"
        "-7 1 2\n"           // ends the group; read as a group line
        "8 1 2\n"            // skipped with the unknown group
        "Tri3psn 1\n"        // capitals accepted; plane strain needs no geometry
        "9 1 2 3\n"
        "truss\n"            // the check misses material and geometry
        "10 1 2\n"
        "quad4psn 9 9\n"     // unknown numbers, then the check misses the material
        "11 1 2 3 4\n");
    EXPECT_TRUE(model.says("Error: material nr 1 must be defined before used\n"
                           "Error: geometry nr 4 must be defined before used\n"));
    EXPECT_TRUE(model.says("unknown nodenr 7\n"));
    EXPECT_TRUE(model.says("wrong number of nodes 3, should be 2\n"));
    EXPECT_TRUE(model.says("unknown element name: -7\n"));
    EXPECT_TRUE(model.says("you must specify a material reference\n"));
    EXPECT_TRUE(model.says("Error: material nr 9 must be defined before used\n"
                           "Error: geometry nr 9 must be defined before used\n"
                           "no material group specified\n"
                           "you must specify a material reference\n"));
    // The group "truss 1 4" before the definitions: 2 unknown numbers and the 2
    // missing references of the check; 3 bad element lines; -7; the bare truss
    // (2); quad4psn with its unknown numbers and missing material (3).
    EXPECT_EQ(model.errors, 4 + 3 + 1 + 2 + 3);
    std::vector<FiniteElement*> elements = LoadedModel::as_vector(model.domain->elements);
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0]->number(), 6u);
    EXPECT_EQ(elements[1]->number(), 9u);
    EXPECT_NE(dynamic_cast<Tri3psn*>(elements[1]), nullptr);
    // Every erroneous line is reported once.
    EXPECT_TRUE(model.says("\nerror in input line 7:\ntruss 1 4\n\n"));
    EXPECT_TRUE(model.says("\nerror in input line 18:\n3 1 7\n\n"));
    EXPECT_TRUE(model.says("\nerror in input line 19:\n4 1 2 3\n\n"));
}

TEST(ElementsSection, EveryContinuumNameCreatesItsClass)
{
    LoadedModel model(
        // Plane elements lie in the x-y plane; the hexahedron has nodes of its own.
        "*nodes\n1 1 0 0\n2 2 0 0\n3 2 1 0\n4 1 1 0\n5 1.5 0 0\n6 2 0.5 0\n7 1.5 1 0\n"
        "8 1 0.5 0\n11 1 0 0\n12 2 0 0\n13 2 1 0\n14 1 1 0\n15 1 0 1\n16 2 0 1\n17 2 1 1\n"
        "18 1 1 1\n"
        "*material 1\nlinearelastic\nyoung 100\npoisson 0.25\n"
        "*material 2\nthermoelastic\nyoung 100\npoisson 0.25\nlambda 1\ncapacity 1\nalpha 1e-5\n"
        "*material 3\nthermal\nlambda 1\ncapacity 1\n"
        "*geometry 1\nthick 0.5\n"
        "*elements\n"
        "tri3psn 1\n1 1 2 3\n"
        "tri3pss 1 1\n2 1 2 3\n"
        "tri3axi 1\n3 1 2 3\n"
        "tri3therm 3\n4 1 2 3\n"
        "tri3psntherm 2\n5 1 2 3\n"
        "tri6psn 1\n6 1 2 3 4 5 6\n"
        "tri6pss 1 1\n7 1 2 3 4 5 6\n"
        "tri6axi 1\n8 1 2 3 4 5 6\n"
        "tri6psna 1\n9 1 2 3 4 5 6\n"
        "tri6pssa 1 1\n10 1 2 3 4 5 6\n"
        "tri6axia 1\n11 1 2 3 4 5 6\n"
        "quad4psn 1\n12 1 2 3 4\n"
        "quad4pss 1 1\n13 1 2 3 4\n"
        "quad4axi 1\n14 1 2 3 4\n"
        "quad4psstherm 2 1\n15 1 2 3 4\n"
        "quad4psntherm 2\n16 1 2 3 4\n"
        "quad8pss 1 1\n17 1 2 3 4 5 6 7 8\n"
        "quad8psn 1\n18 1 2 3 4 5 6 7 8\n"
        "quad8axi 1\n19 1 2 3 4 5 6 7 8\n"
        "quad8psna 1\n20 1 2 3 4 5 6 7 8\n"
        "quad8pssa 1 1\n21 1 2 3 4 5 6 7 8\n"
        "quad8axia 1\n22 1 2 3 4 5 6 7 8\n"
        "hex8 1\n23 11 12 13 14 15 16 17 18\n"
        "*end\n");
    EXPECT_EQ(model.errors, 0) << model.messages;
    std::vector<FiniteElement*> elements = LoadedModel::as_vector(model.domain->elements);
    ASSERT_EQ(elements.size(), 23u);

    struct Expected {
        bool (*is_class)(FiniteElement*);
        std::uint32_t nodes;
        int state;  // of the structural part; -1 for the heat conduction element
        bool alt;
    };
    const Expected expected[] = {
        {[](FiniteElement* e) { return dynamic_cast<Tri3psn*>(e) != nullptr; }, 3, 1, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri3pss*>(e) != nullptr; }, 3, 2, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri3axi*>(e) != nullptr; }, 3, 3, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri3therm*>(e) != nullptr; }, 3, -1, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri3psnTherm*>(e) != nullptr; }, 3, 1, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri6psn*>(e) != nullptr; }, 6, 1, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri6pss*>(e) != nullptr; }, 6, 2, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri6axi*>(e) != nullptr; }, 6, 3, false},
        {[](FiniteElement* e) { return dynamic_cast<Tri6psn*>(e) != nullptr; }, 6, 1, true},
        {[](FiniteElement* e) { return dynamic_cast<Tri6pss*>(e) != nullptr; }, 6, 2, true},
        {[](FiniteElement* e) { return dynamic_cast<Tri6axi*>(e) != nullptr; }, 6, 3, true},
        {[](FiniteElement* e) { return dynamic_cast<Quad4psn*>(e) != nullptr; }, 4, 1, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad4pss*>(e) != nullptr; }, 4, 2, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad4axi*>(e) != nullptr; }, 4, 3, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad4pssTherm*>(e) != nullptr; }, 4, 2, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad4psnTherm*>(e) != nullptr; }, 4, 1, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad8pss*>(e) != nullptr; }, 8, 2, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad8psn*>(e) != nullptr; }, 8, 1, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad8axi*>(e) != nullptr; }, 8, 3, false},
        {[](FiniteElement* e) { return dynamic_cast<Quad8psn*>(e) != nullptr; }, 8, 1, true},
        {[](FiniteElement* e) { return dynamic_cast<Quad8pss*>(e) != nullptr; }, 8, 2, true},
        {[](FiniteElement* e) { return dynamic_cast<Quad8axi*>(e) != nullptr; }, 8, 3, true},
        {[](FiniteElement* e) { return dynamic_cast<Hex8*>(e) != nullptr; }, 8, 0, false},
    };
    for (std::size_t k = 0; k < elements.size(); ++k) {
        SCOPED_TRACE("element " + std::to_string(k + 1));
        FiniteElement* element = elements[k];
        EXPECT_EQ(element->number(), k + 1);
        EXPECT_TRUE(expected[k].is_class(element));
        EXPECT_EQ(element->get_nr_nodes(), expected[k].nodes);
        // Node references in the order of the fields.
        const std::uint32_t first = expected[k].state == 0 ? 11 : 1;
        for (std::uint32_t i = 0; i < element->get_nr_nodes(); ++i)
            EXPECT_EQ(element->get_node(i)->number(), i + first);
        const auto* structural = dynamic_cast<NumIntStructElement*>(element);
        if (expected[k].state < 0) {
            EXPECT_EQ(structural, nullptr);
        } else {
            ASSERT_NE(structural, nullptr);
            EXPECT_EQ(structural->get_stress_state(), std::uint32_t(expected[k].state));
        }
        // The a-names select the node order with the corners first.
        const KelVane::Shape& shape = dynamic_cast<NumIntElement*>(element)->get_shape();
        const bool alt = dynamic_cast<const KelVane::Tri_quad_alt*>(&shape) != nullptr ||
                         dynamic_cast<const KelVane::Quad_quad_alt*>(&shape) != nullptr;
        EXPECT_EQ(alt, expected[k].alt);
    }
    // The thermo-mechanical elements have a non-symmetric tangent.
    EXPECT_FALSE(model.domain->symmetric);
}

TEST(ElementsSection, ContinuumGroupChecks)
{
    LoadedModel model(
        "*nodes\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n"
        "*material 1\nlinearelastic\nyoung 100\n"
        "*material 2\nthermoelastic\nyoung 100\nlambda 1\ncapacity 1\nalpha 1e-5\n"
        "*material 3\nthermal\nlambda 1\ncapacity 1\n"
        "*geometry 1\nthick 0.5\n"
        "*geometry 2\nthick 0\n"
        "*elements\n"
        "quad4pss 1\n1 1 2 3 4\n"        // plane stress without geometry
        "tri3pss 1 2\n2 1 2 3\n"         // thickness 0
        "quad4psn 3\n3 1 2 3 4\n"        // heat conduction material
        "tri3therm 1\n4 1 2 3\n"         // elastic material on a heat conduction element
        "tri3therm\n5 1 2 3\n"           // no material
        "tri3psntherm 1\n6 1 2 3\n"      // elastic material on a thermo-mechanical element
        "quad4psstherm 2\n7 1 2 3 4\n"   // plane stress without geometry
        "quad4axi 1 1\n8 1 2 3 4\n"      // a geometry that is not needed is accepted
        "*end\n");
    EXPECT_TRUE(model.says("no geometry group specified\nyou must specify a geometry reference\n"));
    EXPECT_TRUE(model.says("thickness <= 0; this is not allowed\n"));
    EXPECT_TRUE(model.says("heat conduction element needs a heat conduction material\n"));
    EXPECT_TRUE(model.says("no material group specified\nyou must specify a material reference\n"));
    EXPECT_TRUE(model.says(
        "thermo-mechanical element needs a thermo-elastic or thermo-plastic material\n"));
    EXPECT_EQ(model.errors, 7) << model.messages;
    std::vector<FiniteElement*> elements = LoadedModel::as_vector(model.domain->elements);
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0]->number(), 8u);
    EXPECT_TRUE(model.domain->symmetric);
}

TEST(ElementsSection, TotalLagrangeNamesCreateTheirElements)
{
    LoadedModel model(
        "*nodes\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 2 1 0\n5 2 2 0\n6 1 2 0\n7 0 2 0\n8 0 1 0\n"
        "*material 1\nlinearelastic\nyoung 100\npoisson 0.25\n"
        "*material 2\nthermal\nlambda 1\ncapacity 1\n"
        "*elements\n"
        "tlquad4psn 1\n1 1 3 5 7\n"            // plane strain: no geometry needed
        "TLQuad8psn 1\n2 1 2 3 4 5 6 7 8\n"
        "tlquad4psn 2\n3 1 3 5 7\n"            // heat conduction material
        "tlquad8psn\n4 1 2 3 4 5 6 7 8\n"      // no material
        "*end\n");
    EXPECT_TRUE(model.says("tlquad4psn element needs a linearelastic, xplinearelastic, vonmises, "
                           "thermoelastic or thermoplastic material\n"));
    EXPECT_TRUE(model.says("no material group specified\nyou must specify a material reference\n"));
    EXPECT_EQ(model.errors, 2) << model.messages;
    std::vector<FiniteElement*> elements = LoadedModel::as_vector(model.domain->elements);
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_NE(dynamic_cast<TLQuad4psn*>(elements[0]), nullptr);
    EXPECT_NE(dynamic_cast<TLQuad8psn*>(elements[1]), nullptr);
    for (FiniteElement* element : elements) {
        const auto& tl = dynamic_cast<TLNumIntStructElement&>(*element);
        EXPECT_EQ(tl.get_stress_state(), 1u);
        EXPECT_EQ(tl.nr_points(), 4);
        EXPECT_EQ(tl.get_nr_local_dofs(), 2 * tl.get_nr_nodes());
        EXPECT_EQ(tl.get_node(2)->number(), tl.get_nr_nodes() == 4 ? 5u : 3u);
    }
    EXPECT_TRUE(model.domain->symmetric);
}

TEST(MaterialSection, TypesParametersAndTheirErrors)
{
    LoadedModel model(
        "*material\nlinearelastic\n"                              // number 1, no young: 1 error
        "*material 2\nLinearElastic\nYoung 100\npoisson 0.5\ndensity 7.8\nyoung 200\n"
        "*material 3\nlinearelastic\npoisson 0.6\nlambda 3\n"     // 3 errors, young missing
        "*material 4\nmass 2.5\ndensity 1\n"                      // 1 error
        "*material 5\nsteel\nyoung 50\n"                          // 1 error, elastic
        "*material 6\nthermoelastic\nyoung 10\npoisson 0.2\nlambda 4\ncapacity 5\n"
        "alpha 1e-5\ndensity 2\n"
        "*material 7\nthermal\nlambda 1.5\ncapacity 0.5\nyoung 3\n"  // 1 error
        "*material 8\nnonlinearelastic\nyoung 30\npoisson 0.1\n"    // 1 error
        "*material 9\nxplinearelastic\nyoung 40\npoisson 0.25\n"
        "*material 10\nVonMises\nyoung 210000\npoisson 0.3\ndensity 7.8\n"
        "nadai 500 0.25 200\nalpha 1\n"                             // 1 error
        "*material 11\nthermoplastic\nyoung 1000\npoisson 0.25\nlambda 2\ncapacity 3\n"
        "density 4\nalpha 1e-5\nnadai 10 1 5\n"
        "nadai 0 0.5 5\n"                                          // 2 errors
        "*material 1\nlinearelastic\nyoung 999\n"                  // duplicate number: 1 error
        "*end\n");
    EXPECT_EQ(model.errors, 1 + 3 + 1 + 1 + 1 + 1 + 1 + 2 + 1) << model.messages;
    // A word the type needs and the section leaves out is counted on the
    // *material line.
    EXPECT_TRUE(model.says("material 1: a linearelastic material needs a young line\n\n"
                           "error in input line 1:\n*material\n\n"));
    EXPECT_TRUE(model.says("material 3: a linearelastic material needs a young line\n\n"
                           "error in input line 9:\n*material 3\n\n"));
    EXPECT_TRUE(
        model.says("material 1 is defined twice\n\nerror in input line 57:\n*material 1\n\n"));
    EXPECT_TRUE(model.says("Poisson's ratio must be between 0 and 0.5; input error\n"));
    EXPECT_TRUE(model.says("\nerror in input line 46:\nalpha 1\n\n"));
    EXPECT_TRUE(model.says("The multiplier C must be greater than 0; input error\n"));
    EXPECT_TRUE(model.says("\nerror in input line 56:\nnadai 0 0.5 5\n\n"));
    EXPECT_TRUE(model.says("\nerror in input line 12:\nlambda 3\n\n"));
    EXPECT_TRUE(model.says("\nerror in input line 17:\nsteel\n\n"));

    input_data reader;
    MyDomain& domain = *model.domain;
    EXPECT_EQ(domain.materials.size(), 11u);
    auto* first = dynamic_cast<Elastic_type*>(reader.find_material(domain, 1));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->young(), 0.0);  // the duplicate defined later is not kept
    EXPECT_EQ(first->poisson(), 0.0);

    auto* second = dynamic_cast<Elastic_type*>(reader.find_material(domain, 2));
    ASSERT_NE(second, nullptr);
    EXPECT_DOUBLE_EQ(second->young(), 200.0);  // the last value wins
    EXPECT_DOUBLE_EQ(second->poisson(), 0.5);
    EXPECT_DOUBLE_EQ(second->density(), 7.8);

    auto* mass = dynamic_cast<KelVane::Mass_type*>(reader.find_material(domain, 4));
    ASSERT_NE(mass, nullptr);
    EXPECT_DOUBLE_EQ(mass->mass(), 2.5);

    auto* unknown_type = dynamic_cast<Elastic_type*>(reader.find_material(domain, 5));
    ASSERT_NE(unknown_type, nullptr);
    EXPECT_DOUBLE_EQ(unknown_type->young(), 50.0);

    auto* thermo = dynamic_cast<ThermoElastic_type*>(reader.find_material(domain, 6));
    ASSERT_NE(thermo, nullptr);
    EXPECT_DOUBLE_EQ(thermo->young(), 10.0);
    EXPECT_DOUBLE_EQ(thermo->poisson(), 0.2);
    EXPECT_DOUBLE_EQ(thermo->conduction(), 4.0);
    EXPECT_DOUBLE_EQ(thermo->capacity(), 5.0);
    EXPECT_DOUBLE_EQ(thermo->expansion(), 1e-5);
    EXPECT_DOUBLE_EQ(thermo->density(), 2.0);

    auto* thermal = dynamic_cast<LinearThermal_type*>(reader.find_material(domain, 7));
    ASSERT_NE(thermal, nullptr);
    EXPECT_DOUBLE_EQ(thermal->conduction(), 1.5);
    EXPECT_DOUBLE_EQ(thermal->capacity(), 0.5);

    auto* nonlinear = dynamic_cast<NonlinearElastic_type*>(reader.find_material(domain, 8));
    ASSERT_NE(nonlinear, nullptr);
    EXPECT_DOUBLE_EQ(nonlinear->young(), 30.0);

    auto* xp = dynamic_cast<Elastic_type_xp*>(reader.find_material(domain, 9));
    ASSERT_NE(xp, nullptr);
    EXPECT_DOUBLE_EQ(xp->poisson(), 0.25);

    auto* plastic = dynamic_cast<VonMises_type*>(reader.find_material(domain, 10));
    ASSERT_NE(plastic, nullptr);
    EXPECT_EQ(dynamic_cast<ThermoPlastic_type*>(plastic), nullptr);
    EXPECT_DOUBLE_EQ(plastic->young(), 210000.0);
    EXPECT_DOUBLE_EQ(plastic->poisson(), 0.3);
    EXPECT_DOUBLE_EQ(plastic->density(), 7.8);
    EXPECT_DOUBLE_EQ(plastic->multiplier(), 500.0);
    EXPECT_DOUBLE_EQ(plastic->exponent(), 0.25);
    // 500 (eps0)^0.25 = 200
    EXPECT_DOUBLE_EQ(plastic->eps0(), std::pow(0.4, 4.0));

    auto* thermoplastic = dynamic_cast<ThermoPlastic_type*>(reader.find_material(domain, 11));
    ASSERT_NE(thermoplastic, nullptr);
    EXPECT_DOUBLE_EQ(thermoplastic->young(), 1000.0);
    EXPECT_DOUBLE_EQ(thermoplastic->poisson(), 0.25);
    EXPECT_DOUBLE_EQ(thermoplastic->conduction(), 2.0);
    EXPECT_DOUBLE_EQ(thermoplastic->capacity(), 3.0);
    EXPECT_DOUBLE_EQ(thermoplastic->density(), 4.0);
    EXPECT_DOUBLE_EQ(thermoplastic->expansion(), 1e-5);
    // The second "nadai" line stores C = 0 and n = 0.5 but cannot convert its
    // yield stress: eps0 stays that of the first line, 5 / 10.
    EXPECT_EQ(thermoplastic->multiplier(), 0.0);
    EXPECT_DOUBLE_EQ(thermoplastic->exponent(), 0.5);
    EXPECT_DOUBLE_EQ(thermoplastic->eps0(), 0.5);
}

TEST(MaterialSection, NadaiLineReadsAllThreeValuesFirst)
{
    // A value that is not a number counts its error and the line sets nothing.
    LoadedModel model(
        "*material 2\nvonmises\nyoung 1e3\nnadai 100 0.5 10\nnadai 50 x 20\n*end\n");
    EXPECT_EQ(model.errors, 1);
    EXPECT_TRUE(model.says("wrong type in field 3\n\nerror in input line 5:\nnadai 50 x 20\n\n"));
    input_data reader;
    auto* material = dynamic_cast<VonMises_type*>(reader.find_material(*model.domain, 2));
    ASSERT_NE(material, nullptr);
    EXPECT_DOUBLE_EQ(material->multiplier(), 100.0);
    EXPECT_DOUBLE_EQ(material->exponent(), 0.5);
    EXPECT_DOUBLE_EQ(material->eps0(), 0.01);

    // A missing yield stress ends the load before any of the three is set.
    const std::string path = testing::TempDir() + "read_sections_short_nadai.dat";
    {
        std::ofstream file(path);
        file << "*material 3\nthermoplastic\nnadai -1 2\n*end\n";
    }
    MyDomain* domain = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_THROW(read_model(path, domain, control), syntax_error);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.find("The multiplier C"), std::string::npos);
    EXPECT_EQ(messages.find("The exponent n"), std::string::npos);
    EXPECT_NE(messages.find("\nerror in input line 3:\nnadai -1 2\n\n"), std::string::npos);
    delete domain;
    delete control;
}

TEST(MaterialSection, WrongValueKeepsThePreviousSetting)
{
    LoadedModel model("*material 1\nlinearelastic\nyoung 100\nyoung abc\n*end\n");
    EXPECT_EQ(model.errors, 1);
    input_data reader;
    auto* material = dynamic_cast<Elastic_type*>(reader.find_material(*model.domain, 1));
    ASSERT_NE(material, nullptr);
    EXPECT_DOUBLE_EQ(material->young(), 100.0);
}

TEST(MaterialSection, SectionCutShortByTheEndOfTheFile)
{
    // The end of the file stands where the type line should be, as a "*end" line
    // would: the material has no type, an error of its *material line.
    for (const std::string text : {"*material 3\n", "*material 3\n*end\n"}) {
        LoadedModel model(text);
        EXPECT_EQ(model.errors, 1) << model.messages;
        EXPECT_TRUE(model.says("thermoplastic or mass); found "));
        EXPECT_TRUE(model.says("\nerror in input line 1:\n*material 3\n"));
        EXPECT_EQ(model.domain->materials.size(), 1u);
    }
}

TEST(GeometrySection, PropertiesAndUnknownWords)
{
    LoadedModel model(
        "*geometry\nthick 0.5\nCROSSE 2\niz 3\niy 4\nj 5\narea 6\n"
        "*geometry 2\n"
        "*end\n");
    EXPECT_EQ(model.errors, 1);
    EXPECT_TRUE(model.says("\nerror in input line 7:\narea 6\n\n"));
    input_data reader;
    KelVane::Geometry* geometry = reader.find_geometry(*model.domain, 1);
    ASSERT_NE(geometry, nullptr);
    EXPECT_DOUBLE_EQ(geometry->get_thick(), 0.5);
    EXPECT_DOUBLE_EQ(geometry->get_crosse(), 2.0);
    EXPECT_DOUBLE_EQ(geometry->get_iz(), 3.0);
    KelVane::Geometry* empty = reader.find_geometry(*model.domain, 2);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->get_crosse(), 0.0);
}

TEST(Lookups, FollowObjectsAppendedBetweenLookupsAndKeepTheFirst)
{
    MyDomain domain;
    input_data reader;
    EXPECT_EQ(reader.find_node(domain, 1), nullptr);
    auto* a = new MyNode(1, 0, 0, 0);
    domain.nodes.push_back(a);
    EXPECT_EQ(reader.find_node(domain, 1), a);
    auto* b = new MyNode(2, 0, 0, 0);
    auto* c = new MyNode(1, 5, 0, 0);
    domain.nodes.push_back(b);
    domain.nodes.push_back(c);
    EXPECT_EQ(reader.find_node(domain, 2), b);
    EXPECT_EQ(reader.find_node(domain, 1), a);
    // A node put in front of the list is first from then on.
    auto* d = new MyNode(2, 9, 9, 9);
    domain.nodes.push_front(d);
    EXPECT_EQ(reader.find_node(domain, 2), d);

    // Another container is indexed on its own.
    MyDomain other;
    EXPECT_EQ(reader.find_node(other, 2), nullptr);
    EXPECT_EQ(reader.find_node(other, 1), nullptr);

    auto* g = new KelVane::Geometry(3);
    domain.geometries.push_back(g);
    EXPECT_EQ(reader.find_geometry(domain, 3), g);
    EXPECT_EQ(reader.find_geometry(domain, 1), nullptr);
}

TEST(MaterialSection, PlasticMaterialWithoutItsHardeningLawIsRefused)
{
    // Without a nadai line the yield stress has no hardening law behind it, and the
    // first yielded point would compute stresses that are not numbers.
    LoadedModel model("*material 3\nvonmises\nyoung 210000\npoisson 0.3\n"
                      "*material 4\nthermoplastic\nyoung 1000\npoisson 0.25\nalpha 1e-5\n"
                      "lambda 1\n"
                      "*material 5\nvonmises\nyoung 210000\nnadai 500 0.25 200\n"
                      "*end\n");
    EXPECT_EQ(model.errors, 2) << model.messages;
    // Counted against the material's own *material line, not the next keyword line.
    EXPECT_TRUE(model.says("material 3: plastic material needs a nadai line\n\n"
                           "error in input line 1:\n*material 3\n"));
    EXPECT_TRUE(model.says("material 4: plastic material needs a nadai line\n"));
}
