#include <gtest/gtest.h>

#include <sstream>

#include "dof.h"
#include "errors.h"
#include "sysmat.h"

using namespace KelVane;

TEST(Dof, ValueIncludesTheRunningIncrementUntilAccepted)
{
    itincDof dof(free_status, displacement_type, Direction(1, 0, 0));
    const incDof& seen_as_inc = dof;
    EXPECT_EQ(dof.get_global_nr(), 0u);
    EXPECT_EQ(seen_as_inc.value(), 0.0);
    dof.add_increment(0.25);
    dof.add_increment(0.25);
    EXPECT_EQ(seen_as_inc.value(), 0.5);
    EXPECT_EQ(dof.converged_value(), 0.0);
    dof.accept_increment();
    EXPECT_EQ(dof.converged_value(), 0.5);
    EXPECT_EQ(dof.get_increment(), 0.0);
    dof.add_increment(2.0);
    dof.clear_increment();
    EXPECT_EQ(dof.value(), 0.5);
}

TEST(Dof, PredicatesLettersAndLoadMappingOverAllCodes)
{
    // Codes 0 and 1 are directional (structural), every other code is scalar; a load
    // code without a dof kind of its own acts on displacements.
    const struct {
        std::uint32_t code;
        bool directional;
        const char* letter;
        dof_type type_of_load;
        bool prescribed, fixed, free;
    } cases[] = {{0, true, "u", 0, true, false, false},   {1, true, "r", 1, false, true, false},
                 {2, false, "T", 2, false, false, true},  {3, false, "?", 0, false, false, false},
                 {5, false, "?", 0, false, false, false}, {7, false, "?", 0, false, false, false}};
    for (const auto& c : cases) {
        // The code serves as kind and as status at once.
        const Dof dof(c.code, c.code);
        EXPECT_EQ(dof.is_directional(), c.directional) << c.code;
        EXPECT_EQ(dof.is_scalar(), !c.directional) << c.code;
        EXPECT_EQ(is_structural_type(c.code), c.directional) << c.code;
        EXPECT_EQ(is_thermal_type(c.code), !c.directional) << c.code;
        EXPECT_EQ(is_structural_load(c.code), c.directional) << c.code;
        EXPECT_EQ(load_to_dof_type(c.code), c.type_of_load) << c.code;
        EXPECT_EQ(dof.is_prescribed(), c.prescribed) << c.code;
        EXPECT_EQ(dof.is_fixed(), c.fixed) << c.code;
        EXPECT_EQ(dof.is_free(), c.free) << c.code;
        std::ostringstream letter;
        print_dof_type(c.code, letter);
        EXPECT_EQ(letter.str(), c.letter) << c.code;
    }
}

TEST(DofSets, AddsKeepTheirOrder)
{
    Dof dofs[10] = {Dof(2, 0), Dof(2, 0), Dof(2, 0), Dof(2, 0), Dof(2, 0),
                    Dof(2, 0), Dof(2, 0), Dof(2, 0), Dof(2, 0), Dof(2, 0)};
    dof_sets set;
    for (int i = 0; i < 10; ++i)
        set.add(&dofs[i], 0.5 * i - 1.0);
    ASSERT_EQ(set.count(), 10u);
    for (std::uint32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(set[i].dof, &dofs[i]);
        EXPECT_EQ(set[i].coefficient, 0.5 * i - 1.0);
    }
    EXPECT_DEATH(set[10], "Assertion failed: i < count_");
}

TEST(Dof, SystemVectorEntryFollowsStatusAndGlobalNumber)
{
    SystemVector v(4, 3, 2);
    const struct {
        dof_fixed status;
        std::uint32_t nr;
        const Vector& (SystemVector::*part)() const;
        double mark;
    } cases[] = {{free_status, 4, &SystemVector::free_part, 1.0},
                 {prescribed_status, 3, &SystemVector::prescribed_part, 10.0},
                 {fixed_status, 1, &SystemVector::fixed_part, 100.0}};
    for (const auto& c : cases) {
        Dof dof(c.status, displacement_type, Direction(1, 0, 0));
        dof.set_global_nr(c.nr);
        v(dof) += c.mark;
        EXPECT_EQ((v.*c.part)()[c.nr - 1], c.mark) << "status " << c.status;
    }
    // The three marks are the only entries touched.
    double sum = 0.0;
    for (const Vector* part : {&v.free_part(), &v.prescribed_part(), &v.fixed_part()})
        for (unsigned i = 0; i < part->size(); ++i)
            sum += (*part)[i];
    EXPECT_EQ(sum, 111.0);

    Dof unknown(5, displacement_type, Direction(1, 0, 0));
    unknown.set_global_nr(1);
    try {
        v(unknown) = 1.0;
        FAIL() << "no exception";
    } catch (const program_error& e) {
        EXPECT_STREQ(e.what(), "unkown dof_fixed type in SystemVector");
    }
}
