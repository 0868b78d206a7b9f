// Runs every model of examples/ from start to end and compares the numbers of
// its listing with the closed-form answers of examples/<name>.expected.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <map>
#include <sstream>
#include <string>
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
    double direction[3];
};

// The numbers of a listing, by section.
struct Listing {
    std::string title;
    std::map<int, std::vector<double>> nodal;                     // u, then r, then T
    std::map<int, std::vector<std::vector<double>>> element_rows;  // numeric rows
    std::vector<Reaction> reactions;
};

Listing parse_listing(const std::string& text)
{
    Listing listing;
    std::istringstream in(text);
    std::string line;
    enum { none, title, solution, stresses, reactions } section = none;
    int element = -1;
    while (std::getline(in, line)) {
        if (line == "TITLE") { section = title; continue; }
        if (line == "nodal solution in global coordinates") { section = solution; continue; }
        if (line == "element stresses") { section = stresses; continue; }
        if (line == "reactions") { section = reactions; continue; }
        std::vector<std::string> tokens = split(line);
        std::vector<double> values;
        switch (section) {
        case title:
            if (line.empty()) section = none;
            else listing.title += (listing.title.empty() ? "" : "\n") + line;
            break;
        case solution:
            if (all_numbers(tokens, values)) {
                const int node = static_cast<int>(values.front());
                listing.nodal[node].assign(values.begin() + 1, values.end());
            }
            break;
        case stresses:
            if (tokens.size() == 2 && tokens[0] == "element") {
                element = std::atoi(tokens[1].c_str());
                break;
            }
            if (!tokens.empty() && tokens[0] == "node") tokens.erase(tokens.begin());
            if (element >= 0 && all_numbers(tokens, values))
                listing.element_rows[element].push_back(values);
            break;
        case reactions:
            if (tokens.size() == 3 || tokens.size() == 6) {
                Reaction r{std::atoi(tokens[0].c_str()), tokens[1], 0.0, {0.0, 0.0, 0.0}};
                bool ok = to_number(tokens[2], r.value);
                for (int i = 0; ok && i < 3 && tokens.size() == 6; ++i)
                    ok = to_number(tokens[3 + i], r.direction[i]);
                if (ok) listing.reactions.push_back(r);
            }
            break;
        case none:
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

bool same_direction(const double* a, const std::vector<double>& b)
{
    for (int i = 0; i < 3; ++i)
        if (std::fabs(a[i] - b[i]) > 1e-3) return false;
    return true;
}

// Checks every line of an expected-values file against the listing and counts
// the checks made.
void compare_with_expected(const Listing& listing, const std::string& expected_path, int& checks)
{
    std::ifstream in(expected_path);
    EXPECT_TRUE(in.good()) << expected_path;
    Tolerance tolerance;
    std::string line;
    checks = 0;
    int line_number = 0;
    while (std::getline(in, line)) {
        ++line_number;
        const std::vector<std::string> tokens = split(line);
        if (tokens.empty() || tokens[0][0] == '#') continue;
        const std::string& what = tokens[0];
        std::vector<double> v;
        std::vector<std::string> rest(tokens.begin() + 1, tokens.end());
        if (what == "reaction" || what == "balance") rest.erase(rest.begin() + (what == "reaction"));
        const std::string where = expected_path + ":" + std::to_string(line_number) + ": " + line;
        ASSERT_TRUE(all_numbers(rest, v)) << where;

        if (what == "tolerance") {
            tolerance.set(v.at(0), v.at(1));
            continue;
        }
        ++checks;
        if (what == "displacement" || what == "rotation") {
            const auto node = listing.nodal.find(static_cast<int>(v.at(0)));
            ASSERT_NE(node, listing.nodal.end()) << where;
            const std::size_t first = what == "displacement" ? 0 : 3;
            ASSERT_GE(node->second.size(), first + 3) << where;
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_PRED2([&](double a, double e) { return tolerance.close(a, e); },
                             node->second[first + i], v.at(1 + i))
                    << where;
        } else if (what == "truss_stress") {
            const auto rows = listing.element_rows.find(static_cast<int>(v.at(0)));
            ASSERT_NE(rows, listing.element_rows.end()) << where;
            ASSERT_FALSE(rows->second.empty()) << where;
            EXPECT_PRED2([&](double a, double e) { return tolerance.close(a, e); },
                         rows->second.front().at(0), v.at(1))
                << where;
        } else if (what == "beam_forces") {
            const auto rows = listing.element_rows.find(static_cast<int>(v.at(0)));
            ASSERT_NE(rows, listing.element_rows.end()) << where;
            bool found = false;
            for (const std::vector<double>& row : rows->second) {
                if (row.size() != 4 || row[0] != v.at(1)) continue;
                found = true;
                for (std::size_t i = 0; i < 3; ++i)
                    EXPECT_PRED2([&](double a, double e) { return tolerance.close(a, e); },
                                 row[1 + i], v.at(2 + i))
                        << where;
            }
            EXPECT_TRUE(found) << where;
        } else if (what == "reaction") {
            const int node = static_cast<int>(v.at(0));
            const std::vector<double> direction(v.begin() + 1, v.begin() + 4);
            int found = 0;
            for (const Reaction& r : listing.reactions) {
                if (r.node != node || r.letter != tokens[2] || !same_direction(r.direction, direction))
                    continue;
                ++found;
                EXPECT_PRED2([&](double a, double e) { return tolerance.close(a, e); }, r.value,
                             v.at(4))
                    << where;
            }
            EXPECT_EQ(found, 1) << where;
        } else if (what == "balance") {
            // The listed reactions in one direction cancel the applied loads.
            const std::vector<double> direction(v.begin(), v.begin() + 3);
            double sum = 0.0;
            for (const Reaction& r : listing.reactions)
                if (r.letter == tokens[1] && same_direction(r.direction, direction)) sum += r.value;
            EXPECT_PRED2([&](double a, double e) { return tolerance.close(a, e); }, sum + v.at(3),
                         0.0)
                << where;
        } else {
            ADD_FAILURE() << "unknown check " << where;
        }
    }
}

// A scratch directory for the output files, so that the source tree stays clean;
// one per test process, removed when the process ends.
class ScratchDirectory {
public:
    ScratchDirectory()
        : path_(::testing::TempDir() + "kelvaned_examples_" +
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

std::string scratch_directory()
{
    static const ScratchDirectory directory;
    return directory.path();
}

std::string copy_to(const std::string& from, const std::string& directory, const std::string& name)
{
    const std::string to = directory + name;
    std::ofstream out(to);
    out << read_text_file(from);
    return to;
}

std::string write_model(const std::string& directory, const std::string& name,
                        const std::string& text)
{
    const std::string path = directory + name;
    std::ofstream out(path);
    out << text;
    return path;
}

class Example : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(Example, ListingMatchesClosedForm)
{
    const std::string name = GetParam();
    const std::string source = std::string(KV_EXAMPLES_DIR) + "/" + name;
    const std::string model_file = copy_to(source + ".dat", scratch_directory(), name + ".dat");

    const ModelRun run = run_model(model_file);
    ASSERT_EQ(run.input_errors, 0) << run.error;
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.steps, 1);  // a linear analysis does everything in its first run
    EXPECT_EQ(run.listing_path, scratch_directory() + name + ".out");

    const std::string text = read_text_file(run.listing_path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find("0x"), std::string::npos) << "hexadecimal numbers in the listing";
    const Listing listing = parse_listing(text);
    EXPECT_FALSE(listing.title.empty());
    int checks = 0;
    compare_with_expected(listing, source + ".expected", checks);
    EXPECT_GT(checks, 5);
}

INSTANTIATE_TEST_SUITE_P(Examples, Example,
                         ::testing::Values("two_bar_truss", "cantilever_beam", "portal_frame"));

TEST(EndToEnd, ModelWithInputErrorsIsNotRun)
{
    const std::string directory = scratch_directory();
    const std::string model = write_model(directory, "broken.dat",
                                          "*nodes\n1 0 0 0\n2 x 0 0\n*elements\n"
                                          "truss 7 1\n1 1 2\n*end\n");
    std::remove((directory + "broken.out").c_str());
    const ModelRun run = run_model(model);
    EXPECT_GE(run.input_errors, 2);  // the bad coordinate and the undefined material
    EXPECT_FALSE(run.ran);
    EXPECT_EQ(read_text_file(directory + "broken.out"), "");
}

TEST(EndToEnd, MissingLoadSetEndsTheAnalysisWithAnErrorInTheListing)
{
    const std::string directory = scratch_directory();
    const std::string model = write_model(
        directory, "unloaded.v2.dat",
        "*title\nno loads\n*nodes\n1 0 0 0\n2 1 0 0\n*material\nlinearelastic\nyoung 1\n"
        "*geometry\ncrosse 1\n*elements\ntruss 1 1\n1 1 2\n*suppress\nux uy 1 2\n*end\n");
    const ModelRun run = run_model(model);
    EXPECT_EQ(run.input_errors, 0);
    EXPECT_TRUE(run.ran);
    EXPECT_EQ(run.error, "unknown load set number");
    EXPECT_EQ(run.listing_path, directory + "unloaded.out");
    EXPECT_EQ(read_text_file(run.listing_path),
              "\nTITLE\nno loads\n\nERROR: unknown load set number\n");
}
