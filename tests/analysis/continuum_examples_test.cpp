// Runs the continuum and heat conduction models of examples/ from start to end
// and compares the numbers of their listings with the closed-form answers of
// examples/<name>.expected.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "run_model.h"

namespace {

std::vector<std::string> split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> tokens;
    std::string token;
    while (in >> token) tokens.push_back(token);
    return tokens;
}

bool to_number(const std::string& text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

bool all_numbers(const std::vector<std::string>& tokens, std::vector<double>& values)
{
    values.clear();
    for (const std::string& token : tokens) {
        double value;
        if (!to_number(token, value)) return false;
        values.push_back(value);
    }
    return !values.empty();
}

struct Reaction {
    int node;
    std::string letter;
    double value;
    std::vector<double> direction;  // empty for a temperature
};

// The numbers of the last output block of a listing.
struct Listing {
    std::map<int, std::vector<double>> nodal;                      // u (and T)
    std::map<int, std::vector<std::vector<double>>> element_rows;  // point rows, point number first
    std::vector<Reaction> reactions;
};

Listing parse_last_block(const std::string& text)
{
    Listing listing;
    const std::size_t start = text.rfind("nodal solution in global coordinates");
    if (start == std::string::npos) return listing;
    std::istringstream in(text.substr(start));
    std::string line;
    enum { solution, stresses, reactions } section = solution;
    int element = -1;
    while (std::getline(in, line)) {
        if (line == "element stresses") { section = stresses; continue; }
        if (line == "reactions") { section = reactions; continue; }
        const std::vector<std::string> tokens = split(line);
        std::vector<double> values;
        switch (section) {
        case solution:
            if (all_numbers(tokens, values))
                listing.nodal[static_cast<int>(values.front())].assign(values.begin() + 1,
                                                                       values.end());
            break;
        case stresses:
            if (tokens.size() == 2 && tokens[0] == "element")
                element = std::atoi(tokens[1].c_str());
            else if (element >= 0 && all_numbers(tokens, values))
                listing.element_rows[element].push_back(values);
            break;
        case reactions:
            if (tokens.size() == 3 || tokens.size() == 6) {
                Reaction r{std::atoi(tokens[0].c_str()), tokens[1], 0.0, {}};
                bool ok = to_number(tokens[2], r.value);
                for (std::size_t i = 3; ok && i < tokens.size(); ++i) {
                    double d;
                    ok = to_number(tokens[i], d);
                    r.direction.push_back(d);
                }
                if (ok) listing.reactions.push_back(r);
            }
            break;
        }
    }
    return listing;
}

class Tolerance {
public:
    void set(double relative, double absolute)
    {
        relative_ = relative;
        absolute_ = absolute;
    }
    bool close(double actual, double expected) const
    {
        return std::fabs(actual - expected) <= absolute_ + relative_ * std::fabs(expected);
    }

private:
    double relative_ = 1e-6;
    double absolute_ = 1e-12;
};

bool same_direction(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-3) return false;
    return true;
}

// Checks every line of an expected-values file against the listing; returns the
// number of checks made.
int compare_with_expected(const Listing& listing, const std::string& expected_path)
{
    std::ifstream in(expected_path);
    EXPECT_TRUE(in.good()) << expected_path;
    Tolerance tolerance;
    const auto close = [&tolerance](double a, double e) { return tolerance.close(a, e); };
    std::string line;
    int checks = 0;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        const std::vector<std::string> tokens = split(line);
        if (tokens.empty() || tokens[0][0] == '#') continue;
        const std::string where = expected_path + ":" + std::to_string(line_number) + ": " + line;
        const std::string& what = tokens[0];
        std::vector<std::string> rest(tokens.begin() + 1, tokens.end());
        std::string letter;
        if (what == "reaction" || what == "balance") {
            const std::size_t at = what == "reaction" ? 1 : 0;
            if (rest.size() <= at) {
                ADD_FAILURE() << where;
                continue;
            }
            letter = rest[at];
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(at));
        }
        std::vector<double> v;
        if (!all_numbers(rest, v)) {
            ADD_FAILURE() << "not numbers: " << where;
            continue;
        }
        if (what == "tolerance") {
            tolerance.set(v.at(0), v.at(1));
            continue;
        }
        ++checks;
        if (what == "displacement" || what == "temperature") {
            const auto node = listing.nodal.find(static_cast<int>(v.at(0)));
            if (node == listing.nodal.end()) {
                ADD_FAILURE() << "no node row: " << where;
                continue;
            }
            const std::vector<double>& row = node->second;
            if (what == "displacement") {
                if (row.size() < 3) {
                    ADD_FAILURE() << "short node row: " << where;
                    continue;
                }
                for (std::size_t i = 0; i < 3; ++i)
                    EXPECT_PRED2(close, row[i], v.at(1 + i)) << where;
            } else {
                // The temperature is the last column, after the three displacements.
                if (row.size() != 4) {
                    ADD_FAILURE() << "node row without temperature: " << where;
                    continue;
                }
                EXPECT_PRED2(close, row[3], v.at(1)) << where;
            }
        } else if (what == "stress" || what == "flux") {
            const auto rows = listing.element_rows.find(static_cast<int>(v.at(0)));
            if (rows == listing.element_rows.end() || rows->second.empty()) {
                ADD_FAILURE() << "no element rows: " << where;
                continue;
            }
            for (const std::vector<double>& row : rows->second) {
                // The point number, then the values.
                if (row.size() != v.size()) {
                    ADD_FAILURE() << "row of " << row.size() << " numbers: " << where;
                    continue;
                }
                for (std::size_t i = 1; i < v.size(); ++i)
                    EXPECT_PRED2(close, row[i], v[i]) << where;
            }
        } else if (what == "reaction") {
            const int node = static_cast<int>(v.at(0));
            const std::vector<double> direction(v.begin() + 1, v.end() - 1);
            int found = 0;
            for (const Reaction& r : listing.reactions) {
                if (r.node != node || r.letter != letter || !same_direction(r.direction, direction))
                    continue;
                ++found;
                EXPECT_PRED2(close, r.value, v.back()) << where;
            }
            EXPECT_EQ(found, 1) << where;
        } else if (what == "balance") {
            // The listed reactions of one kind and direction cancel the applied loads.
            const std::vector<double> direction(v.begin(), v.end() - 1);
            double sum = 0.0;
            for (const Reaction& r : listing.reactions)
                if (r.letter == letter && same_direction(r.direction, direction)) sum += r.value;
            EXPECT_PRED2(close, sum + v.back(), 0.0) << where;
        } else {
            ADD_FAILURE() << "unknown check " << where;
        }
    }
    return checks;
}

// A scratch directory for the output files, so that the source tree stays clean;
// removed when the test process ends.
class ScratchDirectory {
public:
    ScratchDirectory()
        : path_(::testing::TempDir() + "kelvaned_continuum_examples_" +
                std::to_string(static_cast<long>(::getpid())) + "/")
    {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& scratch_directory()
{
    static const ScratchDirectory directory;
    return directory.path();
}

struct ExampleCase {
    const char* name;
    int steps;  // calls of the control's run until it reports nothing left
    // When set, the run replaces the model's "timestep" line by "timestep <value>"
    // and the test carries the label; results must not depend on the step.
    const char* timestep = nullptr;
    const char* label = nullptr;
};

// The model text with its "timestep" option line replaced.
std::string with_timestep(const std::string& model, const std::string& value)
{
    std::istringstream in(model);
    std::ostringstream out;
    std::string line;
    int replaced = 0;
    while (std::getline(in, line)) {
        const std::vector<std::string> tokens = split(line);
        if (!tokens.empty() && tokens[0] == "timestep") {
            line = "timestep " + value;
            ++replaced;
        }
        out << line << '\n';
    }
    EXPECT_EQ(replaced, 1);
    return out.str();
}

class ContinuumExample : public ::testing::TestWithParam<ExampleCase> {};

}  // namespace

TEST_P(ContinuumExample, ListingMatchesClosedForm)
{
    const ExampleCase example = GetParam();
    const std::string name = example.name;
    const std::string source = std::string(KV_EXAMPLES_DIR) + "/" + name;
    const std::string model_file =
        scratch_directory() + (example.label ? example.label : name) + ".dat";
    {
        std::ofstream out(model_file);
        const std::string model = read_text_file(source + ".dat");
        out << (example.timestep ? with_timestep(model, example.timestep) : model);
    }

    testing::internal::CaptureStdout();
    const ModelRun run = run_model(model_file);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(run.input_errors, 0) << run.error;
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.steps, example.steps);

    const std::string text = read_text_file(run.listing_path);
    ASSERT_FALSE(text.empty());
    const Listing listing = parse_last_block(text);
    EXPECT_GT(compare_with_expected(listing, source + ".expected"), 5);
}

// The linear analysis does everything in one run; the heat analyses run one
// increment per run. The heated wall runs with the time step of its file and
// with two others: its steady temperatures and heat flows stay the same.
INSTANTIATE_TEST_SUITE_P(
    Examples, ContinuumExample,
    ::testing::Values(ExampleCase{"plate_with_quads", 1}, ExampleCase{"heat_wall", 1},
                      ExampleCase{"heat_flux_wall", 2},
                      ExampleCase{"heat_flux_wall", 2, "1.0", "heat_flux_wall_timestep_1"},
                      ExampleCase{"heat_flux_wall", 2, "0.5", "heat_flux_wall_timestep_0_5"}),
    [](const ::testing::TestParamInfo<ExampleCase>& info) {
        return std::string(info.param.label ? info.param.label : info.param.name);
    });
