#include "example_harness.h"

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace kv_test {

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

int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

namespace {

const char* const solution_heading = "nodal solution in global coordinates";

// One line "f(<mode>) = <hertz> Hz" of an eigen analysis; the modes come in order.
void read_frequency(const std::string& line, std::vector<double>& frequencies)
{
    std::istringstream fields(line.substr(2));
    std::size_t mode = 0;
    double hertz = 0.0;
    char close = 0, equals = 0;
    std::string unit;
    fields >> mode >> close >> equals >> hertz >> unit;
    if (mode != frequencies.size() + 1 || close != ')' || equals != '=' || unit != "Hz")
        ADD_FAILURE() << "frequency line: " << line;
    frequencies.push_back(hertz);
}

}  // namespace

std::string final_block(const std::string& listing)
{
    const std::size_t at = listing.rfind(solution_heading);
    return at == std::string::npos ? std::string() : listing.substr(at);
}

Listing parse_listing(const std::string& text)
{
    Listing listing;
    std::istringstream in(text);
    std::string line;
    enum { none, title, solution, stresses, reactions } section = none;
    int element = -1;
    while (std::getline(in, line)) {
        if (line == "TITLE") {
            section = title;
            continue;
        }
        if (line == solution_heading) {
            // A later block replaces what an earlier one listed.
            listing.nodal.clear();
            listing.element_rows.clear();
            listing.reactions.clear();
            element = -1;
            section = solution;
            continue;
        }
        if (line == "element stresses") {
            section = stresses;
            continue;
        }
        if (line == "reactions") {
            section = reactions;
            continue;
        }
        if (line.compare(0, 2, "f(") == 0) {
            read_frequency(line, listing.frequencies);
            continue;
        }
        std::vector<std::string> tokens = split(line);
        std::vector<double> values;
        switch (section) {
        case title:
            if (line.empty()) section = none;
            else listing.title += (listing.title.empty() ? "" : "\n") + line;
            break;
        case solution:
            if (all_numbers(tokens, values))
                listing.nodal[static_cast<int>(values.front())].assign(values.begin() + 1,
                                                                       values.end());
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
        case none:
            break;
        }
    }
    return listing;
}

namespace {

// |actual - expected| <= absolute + relative |expected|
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

}  // namespace

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
            if (v.size() > 2) ADD_FAILURE() << where;
            tolerance.set(v[0], v.size() == 2 ? v[1] : 0.0);
            continue;
        }
        ++checks;
        if (what == "displacement" || what == "rotation" || what == "temperature") {
            const auto node = listing.nodal.find(static_cast<int>(v[0]));
            if (node == listing.nodal.end()) {
                ADD_FAILURE() << "no node row: " << where;
                continue;
            }
            const std::vector<double>& row = node->second;
            if (what == "temperature") {
                // The temperature is the last column, after the three displacements.
                if (row.size() != 4 || v.size() != 2) {
                    ADD_FAILURE() << "node row without temperature: " << where;
                    continue;
                }
                EXPECT_PRED2(close, row[3], v[1]) << where;
                continue;
            }
            const std::size_t first = what == "displacement" ? 0 : 3;
            if (row.size() < first + 3 || v.size() != 4) {
                ADD_FAILURE() << "short node row: " << where;
                continue;
            }
            for (std::size_t i = 0; i < 3; ++i) EXPECT_PRED2(close, row[first + i], v[1 + i]) << where;
        } else if (what == "truss_stress" || what == "beam_forces" || what == "stress" ||
                   what == "point_stress" || what == "flux") {
            const auto rows = listing.element_rows.find(static_cast<int>(v[0]));
            if (rows == listing.element_rows.end() || rows->second.empty()) {
                ADD_FAILURE() << "no element rows: " << where;
                continue;
            }
            if (what == "truss_stress") {
                if (v.size() != 2) ADD_FAILURE() << where;
                else EXPECT_PRED2(close, rows->second.front().at(0), v[1]) << where;
            } else if (what == "beam_forces") {
                // The row of the element's end at the node: node, Nx, Sy, Mz.
                bool found = false;
                for (const std::vector<double>& row : rows->second) {
                    if (row.size() != 4 || v.size() != 5 || row[0] != v[1]) continue;
                    found = true;
                    for (std::size_t i = 0; i < 3; ++i)
                        EXPECT_PRED2(close, row[1 + i], v[2 + i]) << where;
                }
                EXPECT_TRUE(found) << where;
            } else if (what == "point_stress") {
                // The row of one point: the point number, then the values.
                bool found = false;
                for (const std::vector<double>& row : rows->second) {
                    if (v.size() < 3 || row.size() != v.size() - 1 || row[0] != v[1]) continue;
                    found = true;
                    for (std::size_t i = 1; i < row.size(); ++i)
                        EXPECT_PRED2(close, row[i], v[i + 1]) << where;
                }
                EXPECT_TRUE(found) << "no such point row: " << where;
            } else {
                // Every point row: the point number, then the values.
                for (const std::vector<double>& row : rows->second) {
                    if (row.size() != v.size()) {
                        ADD_FAILURE() << "row of " << row.size() << " numbers: " << where;
                        continue;
                    }
                    for (std::size_t i = 1; i < v.size(); ++i) EXPECT_PRED2(close, row[i], v[i]) << where;
                }
            }
        } else if (what == "reaction") {
            const int node = static_cast<int>(v[0]);
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
        } else if (what == "frequency") {
            const std::size_t mode = static_cast<std::size_t>(v[0]);
            if (v.size() != 2 || mode < 1 || mode > listing.frequencies.size()) {
                ADD_FAILURE() << "no such mode listed: " << where;
                continue;
            }
            EXPECT_PRED2(close, listing.frequencies[mode - 1], v[1]) << where;
        } else {
            ADD_FAILURE() << "unknown check " << where;
        }
    }
    return checks;
}

void ScratchFiles::SetUp()
{
    std::string pattern = ::testing::TempDir() + "kv_scratch_XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    scratch = pattern + "/";
    std::error_code failure;
    previous_ = std::filesystem::current_path(failure).string();
    ASSERT_FALSE(failure) << failure.message();
    std::filesystem::current_path(scratch, failure);
    ASSERT_FALSE(failure) << failure.message();
}

void ScratchFiles::TearDown()
{
    std::error_code ignored;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
    if (scratch.empty()) return;
    // KV_KEEP_SCRATCH=<folder> keeps what every test wrote, in a folder named after
    // the test, so that the outputs of two builds can be compared file by file.
    if (const char* keep = std::getenv("KV_KEEP_SCRATCH")) {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        for (char& c : name)
            if (c == '/') c = '_';
        const std::filesystem::path target = std::filesystem::path(keep) / name;
        std::filesystem::create_directories(target, ignored);
        std::filesystem::copy(scratch, target,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing,
                              ignored);
    }
    std::filesystem::remove_all(scratch, ignored);
}

std::string ScratchFiles::write_model(const std::string& name, const std::string& text) const
{
    std::ofstream(scratch + name) << text;
    return scratch + name;
}

}  // namespace kv_test
