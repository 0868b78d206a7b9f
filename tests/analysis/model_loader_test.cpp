// The model-loading driver, the path functions and the stopwatch.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "control.h"
#include "domain.h"
#include "elastic.h"
#include "geometry.h"
#include "kvparser.h"
#include "line_limit.h"
#include "model_loader.h"
#include "truss.h"

namespace {

std::string write_model_file(const std::string& name, const std::string& text)
{
    std::string path = testing::TempDir() + name;
    std::ofstream file(path, std::ios::binary);
    file << text;
    return path;
}

// A point mass on node 5, so that the file is a model.
const std::string one_mass = "*material 1\nmass 2\n*elements\nmass3d 1\n1 5\n";

// A control that tells when it is destroyed.
class RecordingControl : public KelVane::Control<MyDomain> {
public:
    explicit RecordingControl(bool* destroyed) : destroyed_(destroyed) {}
    ~RecordingControl() override { *destroyed_ = true; }
    void init(MyDomain&, std::ostream&) override {}
    bool run(MyDomain&, std::ostream&, std::ostream&, int) override { return false; }

private:
    bool* destroyed_;
};

void sleep_ms(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

TEST(ReadModel, EndOnlyGivesAnEmptyModelWithALinearControlThatCannotRun)
{
    const std::string path = write_model_file("plate.v2.dat", "*end\n*nodes\n1 0 0 0\n");
    MyDomain* domain = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_model(path, domain, control), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "the input file defines no nodes\nthe input file defines no elements\n");
    ASSERT_NE(domain, nullptr);
    EXPECT_TRUE(domain->nodes.empty());
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    EXPECT_EQ(control->get_base_name(), "plate.v2");
    EXPECT_EQ(control->get_model_file(), path);
    delete control;
    delete domain;
}

TEST(ReadModel, ReplacesWhatTheCallerHeld)
{
    bool destroyed = false;
    auto* domain = new MyDomain;
    domain->nodes.push_back(new MyNode(1, 0, 0, 0));
    KelVane::Control<MyDomain>* control = new RecordingControl(&destroyed);

    const std::string path = write_model_file(
        "replace.dat", "lines outside any section\nare skipped\n*nodes\n5 1 2 3\n" + one_mass +
                           "*linear\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_model(path, domain, control), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(destroyed);
    ASSERT_EQ(domain->nodes.size(), 1u);
    EXPECT_EQ(domain->nodes.front()->number(), 5u);
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    EXPECT_EQ(control->get_base_name(), "replace");
    delete control;
    delete domain;
}

TEST(ReadModel, UnopenableFileStillGivesAModelAndAControl)
{
    MyDomain* domain = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_model("/nonexistent-dir/beam.dat", domain, control), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open input file: /nonexistent-dir/beam.dat\n");
    ASSERT_NE(domain, nullptr);
    EXPECT_NE(dynamic_cast<LinearControl*>(control), nullptr);
    EXPECT_EQ(control->get_base_name(), "beam");
    delete control;
    delete domain;
}

TEST(ReadModel, ErrorsOfTheLastLineAreNotLost)
{
    // A load set without any block counts its error on the line after "set": here
    // the "*end" line, the last line of the input.
    for (const std::string text : {"*loadef\nset 1\n*end\n", "*loadef\nset 1\n*end"}) {
        const std::string path =
            write_model_file("last_line.dat", "*nodes\n5 0 0 0\n" + one_mass + text);
        MyDomain* domain = nullptr;
        KelVane::Control<MyDomain>* control = nullptr;
        testing::internal::CaptureStderr();
        EXPECT_EQ(read_model(path, domain, control), 1) << text;
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_NE(messages.find("error in input line "), std::string::npos) << messages;
        delete control;
        delete domain;
    }
}

// Files that cannot be what the user meant are refused with a message that names
// the fault. A load that ends with an exception shows its text after "ERROR: ",
// as the front end does.
TEST(ReadModel, FilesThatAreNoSoundModelAreRefusedWithTheirMessage)
{
    const std::string materials =
        "*material 1\nlinearelastic\nyoung 1\n*geometry 1\ncrosse 1\n";
    const std::string nodes = "*nodes\n1 0 0 0\n2 1 0 0\n";
    const std::string elements = "*elements\ntruss 1 1\n5 1 2\n";
    const std::string loads = "*loadef\nset 1\nloads\nfx 1 2\n";
    const std::string model = materials + nodes + elements + loads;
    const std::string over_long(KelVane::max_input_line_length + 1, 'x');
    const std::string half(KelVane::max_input_line_length / 2 + 1, 'y');
    const std::string solid_and_plane =
        "*nodes\n3 1 1 0\n4 0 1 0\n5 0 0 1\n6 1 0 1\n7 1 1 1\n8 0 1 1\n"
        "*elements\nhex8 1\n6 1 2 3 4 5 6 7 8\nquad4psn 1\n7 1 2 3 4\n";
    const std::string post_stress = "*nonlinear static\nincrements 1\n*post\nlast\nstress\n";
    struct Case {
        const char* name;
        std::string text;
        const char* message;
        int errors;  // -1: the load ends with an exception
        std::size_t nodes, elements, materials, geometries, sets;
    };
    const Case cases[] = {
        {"sound model", model + "*end\n", "", 0, 2, 1, 1, 1, 1},
        // Numbers defined twice: one error each; the first definition is kept.
        {"node twice", model + "*nodes\n3 2 0 0\n1 9 9 0\n", "node 1 is defined twice\n"
         "\nerror in input line 18:\n1 9 9 0\n", 1, 3, 1, 1, 1, 1},
        {"element twice", model + "*elements\ntruss 1 1\n5 2 1\n",
         "element 5 is defined twice\n", 1, 2, 1, 1, 1, 1},
        {"material twice", model + "*material 1\nlinearelastic\nyoung 2\n",
         "material 1 is defined twice\n\nerror in input line 16:\n*material 1\n", 1, 2, 1, 1, 1,
         1},
        {"geometry twice", materials + "*geometry\ncrosse 2\n" + nodes + elements + loads,
         "geometry 1 is defined twice\n", 1, 2, 1, 1, 1, 1},
        {"load set twice", model + "set 1\nloads\nfx 9 2\n*loadef\nset 1\nprescribed\nux 1 2\n",
         "load set 1 is defined twice\n\nerror in input line 16:\nset 1\n", 2, 2, 1, 1, 1, 1},
        // A number must be a number and nothing more: a decimal comma or a unit
        // after it, or a fraction in an integer, is an error on its line.
        {"decimal comma in a load",
         materials + nodes + elements + "*loadef\nset 1\nloads\nfx 1,5 2\n",
         "wrong type in field 2\n\nerror in input line 15:\nfx 1,5 2\n", 1, 2, 1, 1, 1, 1},
        {"decimal comma in a node", materials + "*nodes\n1 0 0 0\n2 1,5 0 0\n" + elements,
         "wrong type in field 2\n\nerror in input line 8:\n2 1,5 0 0\n\nunknown nodenr 2\n", 3, 1,
         0, 1, 1, 0},
        {"unit after a modulus", model + "*material 2\nlinearelastic\nyoung 1000abc\n",
         "wrong type in field 2\n\nerror in input line 18:\nyoung 1000abc\n", 1, 2, 1, 2, 1, 1},
        {"fraction in a node number", model + "*nodes\n12.5 0 0 0\n",
         "wrong type in field 1\n", 1, 2, 1, 1, 1, 1},
        // A negative number would be stored as a number near 2^32.
        {"negative node number", model + "*nodes\n-1 0 0 0\n",
         "number in field 1 must not be negative\n", 1, 2, 1, 1, 1, 1},
        {"negative material number", model + "*material -2\nlinearelastic\nyoung 1\n",
         "number in field 2 must not be negative\n", 1, 2, 1, 2, 1, 1},
        {"fraction in an element number", model + "*elements\ntruss 1 1\n6.5 1 2\n",
         "wrong type in field 1\n", 1, 2, 1, 1, 1, 1},
        {"letters after a node number", model + "*elements\ntruss 1 1\n6 1 2b\n",
         "wrong type in field 3\n", 1, 2, 1, 1, 1, 1},
        // A material the element cannot use is one error on the group line; the
        // reading goes on.
        {"truss of von mises", materials + "*material 2\nvonmises\nyoung 1\nnadai 1 0.5 1\n" +
                                   nodes + elements + "truss 2 1\n6 1 2\n" + loads,
         "truss element needs a linearelastic, nonlinearelastic or thermoelastic material\n"
         "\nerror in input line 16:\ntruss 2 1\n", 1, 2, 1, 2, 1, 1},
        {"truss of expanded elasticity",
         materials + "*material 2\nxplinearelastic\nyoung 1\n" + nodes + elements +
             "truss 2 1\n6 1 2\n" + loads,
         "truss element needs a linearelastic, nonlinearelastic or thermoelastic material\n"
         "\nerror in input line 15:\ntruss 2 1\n", 1, 2, 1, 2, 1, 1},
        {"truss of thermoplasticity",
         materials + "*material 2\nthermoplastic\nyoung 1\nlambda 1\nalpha 1\nnadai 1 0.5 1\n" +
             nodes +
             elements + "truss 2 1\n6 1 2\n" + loads,
         "truss element needs a linearelastic, nonlinearelastic or thermoelastic material\n", 1, 2,
         1, 2, 1, 1},
        {"quadrilateral of a bar's elasticity",
         materials + "*material 2\nnonlinearelastic\nyoung 1\n" + nodes +
             "3 1 1 0\n4 0 1 0\n" + elements + "quad4psn 2\n6 1 2 3 4\n" + loads,
         "quad4psn element needs a linearelastic, xplinearelastic, vonmises, thermoelastic or "
         "thermoplastic material\n\nerror in input line 17:\nquad4psn 2\n", 1, 4, 1, 2, 1, 1},
        // Analysis sections that would run another analysis than the one written,
        // or none.
        {"dynamic section without its method line",
         model + "*nonlinear dynamic\ntimestep 0.01\nincrements 100\n*end\n",
         "*NONLINEAR DYNAMIC must be followed by its method line, newmark [beta gamma] or "
         "explicit; found timestep\n\nerror in input line 17:\ntimestep 0.01\n",
         1, 2, 1, 1, 1, 1},
        {"analysis without increments", model + "*nonlinear\nfull\n*post\nlast\n*end\n",
         "the analysis has no increments: give an \"increments n\" or \"increment load i size d "
         "steps n\" line with at least one step\n\nerror in input line 16:\n*nonlinear\n",
         1, 2, 1, 1, 1, 1},
        // A pressure on an element that takes none, or on a face it does not
        // have, was found only when the load was applied, with an internal message.
        {"pressure on a truss", model + "set 2\npressure\n5 1 1.0\n",
         "element 5 takes no pressure\n\nerror in input line 18:\n5 1 1.0\n", 1, 2, 1, 1, 1, 2},
        {"pressure on a face the element lacks",
         materials + nodes + "3 1 1 0\n4 0 1 0\n" + elements + "quad4psn 1\n6 1 2 3 4\n" +
             loads + "set 2\npressure\n6 5 1.0\n",
         "element 6 has faces 1 to 4; found face 5\n", 1, 4, 2, 1, 1, 2},
        {"unknown material word", model + "*material 2\nheat\n",
         "material 2: the line after *material names the material type (linearelastic, "
         "xplinearelastic, nonlinearelastic, vonmises, thermal, thermoelastic, thermoplastic or "
         "mass); found heat\n\nerror in input line 17:\nheat\n", 1, 2, 1, 2, 1, 1},
        {"unknown geometry word", model + "*geometry 2\ninertia 1\n",
         "the words of *GEOMETRY are thick, crosse, iz, iy and j; found inertia\n", 1, 2, 1, 1, 2,
         1},
        {"eigen section with an unknown word", model + "*eigen\nfrequencies 1\nshfit 3\n",
         "the options of *EIGEN are frequencies and shift; found shfit\n", 1, 2, 1, 1, 1, 1},
        {"save with an unknown word", model + "*nonlinear\nincrements 2\nsave lst\n*end\n",
         "save must be followed by step, all or last; found lst\n\nerror in input line 18:\n"
         "save lst\n",
         1, 2, 1, 1, 1, 1},
        {"growing motion",
         model + "*nonlinear dynamic\nnewmark 0.25 0.3\nrayleigh -5 0\ntimestep 0.01\n"
                 "increments 10\n*end\n",
         "Newmark gamma must be at least 0.5\n\nerror in input line 17:\nnewmark 0.25 0.3\n\n"
         "Rayleigh coefficients must not be negative (0 or more)\n\nerror in input line 18:\n"
         "rayleigh -5 0\n",
         2, 2, 1, 1, 1, 1},
        // A load set that *loadef never defines was found only when its block was
        // reached, after the increments before it had run. Sets may be defined
        // after the analysis section.
        {"increment of a load set never defined",
         model + "*nonlinear\nincrement load 1 size 0.5 steps 2\nincrement load 3 size 1 steps 1\n",
         "load set 3 is not defined: *LOADEF has no set 3\n\nerror in input line 18:\n"
         "increment load 3 size 1 steps 1\n", 1, 2, 1, 1, 1, 1},
        {"load set defined after the analysis",
         materials + nodes + elements + "*nonlinear\nincrement load 2 size 1 steps 1\n" +
             "*loadef\nset 2\nloads\nfx 1 2\n",
         "", 0, 2, 1, 1, 1, 1},
        {"load set of a replaced analysis section",
         model + "*nonlinear\nincrement load 4 size 1 steps 1\n*linear\n", "", 0, 2, 1, 1, 1,
         1},
        // Hexadecimal numbers were read as numbers in real fields.
        {"hexadecimal coordinate", materials + "*nodes\n1 0 0 0\n2 0x8 0 0\n" + elements,
         "wrong type in field 2\n\nerror in input line 8:\n2 0x8 0 0\n", 3, 1, 0, 1, 1, 0},
        {"hexadecimal cross section", model + "*geometry 2\ncrosse 0x1p-7\n",
         "wrong type in field 2\n\nerror in input line 17:\ncrosse 0x1p-7\n", 1, 2, 1, 1, 2, 1},
        // A material without a word its type needs ran with a value of 0 that
        // writing it would refuse.
        {"material without young", model + "*material 2\nlinearelastic\npoisson 0.3\n",
         "material 2: a linearelastic material needs a young line\n\nerror in input line 16:\n"
         "*material 2\n", 1, 2, 1, 2, 1, 1},
        {"material without its type word", model + "*material 2\nyoung 1e5\npoisson 0.3\n",
         "thermoplastic or mass); found young\n\nerror in input line 17:\nyoung 1e5\n", 1, 2, 1,
         2, 1, 1},
        {"thermoelastic material without alpha",
         model + "*material 2\nthermoelastic\nyoung 1\nlambda 1\n",
         "material 2: a thermoelastic material needs an alpha line\n", 1, 2, 1, 2, 1, 1},
        {"thermal material without lambda", model + "*material 2\nthermal\ncapacity 1\n",
         "material 2: a thermal material needs a lambda line\n", 1, 2, 1, 2, 1, 1},
        {"thermoplastic material without young, lambda and alpha",
         model + "*material 2\nthermoplastic\nnadai 1 0.5 1\n", "needs an alpha line\n", 3, 2,
         1, 2, 1, 1},
        // A mass that is no number is one error, on its own line; the group of it
        // has no second one.
        {"mass with a unit", model + "*material 2\nmass 10kg\n*elements\nmass2d 2\n6 1\n",
         "wrong type in field 2\n\nerror in input line 17:\nmass 10kg\n", 1, 2, 1, 1, 1, 1},
        {"negative mass", model + "*material 2\nmass -5\n*elements\nmass2d 2\n6 1\n",
         "mass <= 0; this is not allowed\n\nerror in input line 17:\nmass -5\n", 1, 2, 1, 1, 1,
         1},
        // A plane element whose node lies off the x-y plane ran as if it lay on it.
        {"quadrilateral off its plane",
         materials + nodes + "3 1 1 7\n4 0 1 0\n" + elements + "quad4psn 1\n6 1 2 3 4\n" +
             loads,
         "element 6 is a plane element, but its node 3 lies at z = 7, off the x-y plane (z = 0)\n"
         "\nerror in input line 15:\n6 1 2 3 4\n", 1, 4, 1, 1, 1, 1},
        {"heat triangle off its plane",
         materials + "*material 2\nthermal\nlambda 1\n" + nodes + "3 1 1 -0.5\n" + elements +
             "tri3therm 2\n6 1 2 3\n" + loads,
         "its node 3 lies at z = -0.5", 1, 3, 1, 2, 1, 1},
        {"hexahedron in space", model + solid_and_plane.substr(0, solid_and_plane.find("quad4psn")),
         "", 0, 8, 2, 1, 1, 1},
        // Fields that a line does not take were dropped unread.
        {"load set number after *loadef", model + "*loadef 2\nset 2\nloads\nfx 1 2\n",
         "*loadef takes nothing after it; found 2\n\nerror in input line 16:\n*loadef 2\n", 1,
         2, 1, 1, 1, 2},
        {"word after *material", model + "*material 2 extra\nlinearelastic\nyoung 1\n",
         "*material takes one number, the material's; found extra\n", 1, 2, 1, 2, 1, 1},
        {"*linear static", model + "*linear static\n",
         "*linear takes nothing after it; found static\n", 1, 2, 1, 1, 1, 1},
        {"word after a material type", model + "*material 2\nlinearelastic steel\nyoung 1\n",
         "linearelastic takes nothing after it; found steel\n", 1, 2, 1, 2, 1, 1},
        {"value after a modulus", model + "*material 2\nlinearelastic\nyoung 1.0e10 junk\n",
         "young takes one value; found junk\n\nerror in input line 18:\nyoung 1.0e10 junk\n",
         1, 2, 1, 2, 1, 1},
        {"two masses", model + "*material 2\nmass 10 20\n", "mass takes one value; found 20\n",
         1, 2, 1, 2, 1, 1},
        {"value after a cross section", model + "*geometry 2\ncrosse 1 2\n",
         "crosse takes one value; found 2\n", 1, 2, 1, 1, 2, 1},
        {"element number on the group line", model + "*elements\ntruss 1 1 7\n6 1 2\n",
         "truss takes a material and a geometry number after it; found 7\n", 1, 2, 1, 1, 1, 1},
        {"group line continued by a remark", model + "*elements\ntruss 1 1 \\ bars\n6 1 2\n",
         "truss takes a material and a geometry number after it; found 6\n\nerror in input line "
         "18:\ntruss 1 1 6 1 2\n", 1, 2, 1, 1, 1, 1},
        {"pressure line continued by a remark",
         materials + nodes + "3 1 1 0\n4 0 1 0\n" + elements + "quad4psn 1\n6 1 2 3 4\n" +
             loads + "set 2\npressure\n6 1 1.0 \\ top face\n6 2 1.0\n",
         "a pressure line takes the element number, the face number and the pressure; found 6\n",
         1, 4, 2, 1, 1, 2},
        // Files that define no model.
        {"empty file", "", "the input file defines no nodes\nthe input file defines no elements\n",
         2, 0, 0, 0, 0, 0},
        {"utf-16 text", std::string("\xFF\xFE*\0n\0o\0d\0e\0s\0\n\0001\0 \0000\0\n\0", 24),
         "the input file defines no nodes\nthe input file defines no elements\n", 2, 0, 0, 0, 0, 0},
        {"binary bytes", std::string("\x7F" "ELF\x02\x01\x01\0\0\0\n\x89PNG\r\n\x1A\n", 17),
         "the input file defines no nodes\nthe input file defines no elements\n", 2, 0, 0, 0, 0, 0},
        {"nodes only", materials + nodes, "the input file defines no elements\n", 1, 2, 0, 1, 1, 0},
        // A line too long for any model ends the input; nothing of it is shown.
        {"line too long", materials + "*title\n" + over_long + "\n" + nodes + elements,
         "input line 7 is longer than 1 MB; the input ends there\n", 1, 0, 0, 1, 1, 0},
        {"no line end", std::string(2 * KelVane::max_input_line_length, '\0'),
         "input line 1 is longer than 1 MB; the input ends there\n", 1, 0, 0, 0, 0, 0},
        {"long continued line", "*title\n" + half + " \\\n" + half + "\n*end\n",
         "input line 3 is longer than 1 MB; the input ends there\n", 1, 0, 0, 0, 0, 0},
        // The result file's stress block has one layout: hexahedra (six components)
        // and plane elements (four) cannot share it, whatever the order of the
        // sections. Without stress the mix is sound.
        {"stress of hexahedra and quadrilaterals", model + solid_and_plane + post_stress,
         "the model mixes hexahedra (Sxx, Syy, Szz, Sxy, Syz, Szx) with plane or axisymmetric "
         "elements (Sxx, Syy, Sxy, Szz): leave out stress\n\nerror in input line 32:\nstress\n",
         1, 8, 3, 1, 1, 1},
        {"stress asked before the elements", model + post_stress + solid_and_plane,
         "error in input line 20:\nstress\n", 1, 8, 3, 1, 1, 1},
        {"hexahedra and quadrilaterals without stress",
         model + solid_and_plane +
             "*nonlinear static\nincrements 1\n*post\nall\ndisplacement\nequivalent\n",
         "", 0, 8, 3, 1, 1, 1},
        // A linear analysis of a law that is not linear (a nonlinear-elastic or
        // von Mises material, an element of large displacements) listed stresses
        // that do not balance the loads.
        {"nonlinear elasticity under the default linear analysis",
         model + "*material 2\nnonlinearelastic\nyoung 1\n*elements\ntruss 2 1\n7 1 2\n",
         "material 2 (nonlinearelastic) does not follow a linear law: analyse the model under "
         "\"*nonlinear static\"\n", 1, 2, 2, 2, 1, 1},
        {"von Mises under *linear",
         materials + "*material 2\nvonmises\nyoung 1\nnadai 1 0.5 0.5\n" + nodes +
             "3 1 1 0\n4 0 1 0\n" + elements + "quad4psn 2\n6 1 2 3 4\n" + loads + "*linear\n",
         "material 2 (vonmises) does not follow a linear law", 1, 4, 2, 2, 1, 1},
        {"von Mises that no element uses, under *linear",
         model + "*material 2\nvonmises\nyoung 1\nnadai 1 0.5 0.5\n*linear\n", "", 0, 2, 1, 2,
         1, 1},
        {"total-Lagrange element under *linear",
         materials + nodes + "3 1 1 0\n4 0 1 0\n" + elements + "tlquad4psn 1\n6 1 2 3 4\n" +
             loads + "*linear\n",
         "element 6 is a total-Lagrange element, which follows large displacements: analyse "
         "the model under \"*nonlinear static\"\n", 1, 4, 2, 1, 1, 1},
        {"von Mises under *nonlinear static",
         model + "*material 2\nvonmises\nyoung 1\nnadai 1 0.5 0.5\n*nonlinear static\n"
                 "increments 1\n",
         "", 0, 2, 1, 2, 1, 1},
        // A missing field ends the load with an exception that says so.
        {"missing field", "*title\nt\n*nodes\n1 0 0 0\n2\n*end\n",
         "\nerror in input line 5:\n2\n\nERROR: input line 5 has no field 2\n", -1,
         1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write_model_file("refused.dat", c.text);
        MyDomain* domain = nullptr;
        KelVane::Control<MyDomain>* control = nullptr;
        int errors = -1;
        testing::internal::CaptureStderr();
        try {
            errors = read_model(path, domain, control);
        } catch (const std::exception& error) {
            std::cerr << "ERROR: " << error.what() << std::endl;
        }
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(errors, c.errors) << messages;
        EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
        EXPECT_LT(messages.size(), 4096u);
        ASSERT_NE(domain, nullptr);
        EXPECT_EQ(domain->nodes.size(), c.nodes);
        EXPECT_EQ(domain->elements.size(), c.elements);
        EXPECT_EQ(domain->materials.size(), c.materials);
        EXPECT_EQ(domain->geometries.size(), c.geometries);
        EXPECT_EQ(domain->load_sets.size(), c.sets);
        // What is kept is what was defined first.
        if (!domain->nodes.empty()) {
            double x = -1.0, y = -1.0, z = -1.0;
            domain->nodes.front()->get_coordinates(x, y, z);
            EXPECT_EQ(x + y + z, 0.0);
        }
        if (!domain->elements.empty()) {
            EXPECT_EQ(domain->elements.front()->get_node(0)->number(), 1u);
        }
        if (!domain->materials.empty()) {
            EXPECT_EQ(dynamic_cast<Elastic_type&>(*domain->materials.front()).young(), 1.0);
        }
        if (!domain->geometries.empty()) {
            EXPECT_EQ(domain->geometries.front()->get_crosse(), 1.0);
        }
        delete control;
        delete domain;
    }
}

TEST(ReadModel, LargeModelLoads)
{
    // A chain of trusses: lookups by number must stay cheap however many nodes exist.
    const int count = 200000;
    const std::string path = testing::TempDir() + "large_model.dat";
    {
        std::FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("*title\nlarge chain\n*material 1\nlinearelastic\nyoung 1\n"
                   "*geometry 1\ncrosse 1\n*nodes\n", file);
        for (int n = 1; n <= count; ++n) std::fprintf(file, "%d %d 0 0\n", n, n);
        std::fputs("*elements\ntruss 1 1\n", file);
        for (int e = 1; e < count; ++e) std::fprintf(file, "%d %d %d\n", e, e, e + 1);
        // Elements that refer to the first and the last nodes once more.
        std::fprintf(file, "%d %d %d\n*end\n", count, count, 1);
        std::fclose(file);
    }
    MyDomain* domain = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    EXPECT_EQ(read_model(path, domain, control), 0);
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(domain->nodes.size(), static_cast<std::size_t>(count));
    ASSERT_EQ(domain->elements.size(), static_cast<std::size_t>(count));
    const FiniteElement* last = domain->elements.back();
    EXPECT_EQ(last->get_node(0)->number(), static_cast<std::uint32_t>(count));
    EXPECT_EQ(last->get_node(1)->number(), 1u);
    const FiniteElement* middle = *std::next(domain->elements.begin(), count / 2);
    EXPECT_EQ(middle->get_node(1)->number(), static_cast<std::uint32_t>(count / 2 + 2));
    delete control;
    delete domain;
    std::remove(path.c_str());
}

TEST(PathFunctions, BaseNameAndDirectoryPart)
{
    struct Case {
        const char* path;
        const char* base;
        const char* directory;
    };
    const Case cases[] = {
        // Only '/' separates directories: a:b.dat and a\\b.dat must not write
        // b.dat's restart files.
        {"D:\\models\\plate.dat", "D:\\models\\plate", ""},
        {"a:b.dat", "a:b", ""},
        {"a\\b.dat", "a\\b", ""},
        {"plate", "plate", ""},
        {"plate.dat", "plate", ""},
        // Only the last extension goes: models that share the part before the
        // first dot keep their files apart.
        {"/home/user/beam.v2.dat", "beam.v2", "/home/user/"},
        {"bridge.case1.dat", "bridge.case1", ""},
        {"bridge.case2.dat", "bridge.case2", ""},
        {"models.v1/plate.dat", "plate", "models.v1/"},
        {"models.v1/plate", "plate", "models.v1/"},
        {"dir/.hidden.dat", ".hidden", "dir/"},
        {"dir/.dat", "", "dir/"},
        {"/home/user/", "", "/home/user/"},
        {"C:plate.dat", "C:plate", ""},
        {"a/b\\c:d.e", "b\\c:d", "a/"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(model_base_name(c.path), c.base) << c.path;
        EXPECT_EQ(directory_part(c.path), c.directory) << c.path;
    }
}

TEST(StopWatch, AccumulatesOnlyWhileRunning)
{
    StopWatch watch;
    EXPECT_FALSE(watch.is_running());
    EXPECT_EQ(watch.seconds(), 0.0);
    sleep_ms(20);
    EXPECT_EQ(watch.seconds(), 0.0);

    watch.start();
    sleep_ms(30);
    const double first = watch.seconds();
    EXPECT_GE(first, 0.025);
    EXPECT_TRUE(watch.is_running());
    watch.start();  // already running: the reference stays
    sleep_ms(20);
    const double second = watch.seconds();
    EXPECT_GE(second, first + 0.015);

    watch.stop();
    const double stopped = watch.seconds();
    EXPECT_GE(stopped, second);
    sleep_ms(20);
    EXPECT_EQ(watch.seconds(), stopped);
    watch.stop();
    EXPECT_EQ(watch.seconds(), stopped);

    // Running again adds to what was accumulated.
    watch.start();
    sleep_ms(20);
    watch.stop();
    EXPECT_GE(watch.seconds(), stopped + 0.015);

    watch.reset();
    EXPECT_FALSE(watch.is_running());
    EXPECT_EQ(watch.seconds(), 0.0);
}

TEST(StopWatch, ResetWhileRunningRestartsFromNow)
{
    StopWatch watch(true);
    EXPECT_TRUE(watch.is_running());
    sleep_ms(40);
    watch.reset();
    EXPECT_TRUE(watch.is_running());
    const double after_reset = watch.seconds();
    EXPECT_LT(after_reset, 0.035);
    sleep_ms(20);
    EXPECT_GE(watch.seconds(), after_reset + 0.015);
}
