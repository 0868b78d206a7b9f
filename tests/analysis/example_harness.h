#ifndef KELVANED_TESTS_ANALYSIS_EXAMPLE_HARNESS_H
#define KELVANED_TESTS_ANALYSIS_EXAMPLE_HARNESS_H

// Running model files in a scratch directory and reading what they write: the
// numbers of a listing, and the expected-values files (<model>.expected) they are
// compared with.

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kv_test {

// The whitespace-separated words of a line.
std::vector<std::string> split(const std::string& line);

// True when the whole text is one number.
bool to_number(const std::string& text, double& value);

// True when every token is a number and there is at least one.
bool all_numbers(const std::vector<std::string>& tokens, std::vector<double>& values);

// How often part occurs in text.
int count_of(const std::string& text, const std::string& part);

// The text from the last nodal solution on (what an analysis writes after its
// last step); empty when there is none.
std::string final_block(const std::string& listing);

struct Reaction {
    int node;
    std::string letter;         // u, r or T
    double value;
    std::vector<double> direction;  // empty for a temperature
};

// The numbers of a listing: its title, the rows of its last output block, and
// the frequencies of an eigen analysis.
struct Listing {
    std::string title;
    std::map<int, std::vector<double>> nodal;  // u, then r, then T
    // Numeric rows by element: a beam row starts with its node number, a
    // continuum row with its point number, a bar row with the stress.
    std::map<int, std::vector<std::vector<double>>> element_rows;
    std::vector<Reaction> reactions;
    std::vector<double> frequencies;  // f(1), f(2), ... in Hz
};

Listing parse_listing(const std::string& text);

// Checks every line of an expected-values file against the listing and returns
// the number of checks made. The lines:
//   tolerance <relative> [<absolute>]  applies to the lines after it
//   displacement <node> <ux> <uy> <uz>
//   rotation <node> <rx> <ry> <rz>
//   temperature <node> <T>
//   truss_stress <element> <Sxx>                (the first row of the element)
//   beam_forces <element> <node> <Nx> <Sy> <Mz>
//   stress <element> <values...>, flux <element> <q_x> <q_y>  (every point row)
//   point_stress <element> <point> <values...>  (the row of that point)
//   reaction <node> <letter> [<direction>] <value>
//   balance <letter> [<direction>] <sum of the loads>  (the reactions cancel them)
//   frequency <mode> <hertz>
int compare_with_expected(const Listing& listing, const std::string& expected_path);

// Each test runs in a fresh directory of its own, which is also the working
// directory while the test runs (restart files are written there).
class ScratchFiles : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a model file into the scratch directory; returns its path.
    std::string write_model(const std::string& name, const std::string& text) const;

    std::string scratch;  // ends with '/'

private:
    std::string previous_;
};

}  // namespace kv_test

#endif
