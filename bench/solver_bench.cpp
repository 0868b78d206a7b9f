// Whole runs of generated models that stress the system solve: a 400 x 80
// quadrilateral plate with its nodes listed across the short side, along the long
// side and shuffled; hexahedron cubes of 20^3 (and, with --big, 30^3: some minutes
// in the reference run) elements; ten eigenfrequencies of a 200 x 40 plate. Each
// model runs in a child process of its own, once the fast way and once the
// reference way (equations in their own order, the row-by-row kernel), and the two
// listings must agree number by number to rounding. The shuffled plate's
// reference keeps the reordering: in the listed order its skyline is nearly full.
//
//   solver_bench [--big] [--no-check] [--reference] [--only NAME]
//   solver_bench [--reference] --listing MODEL LISTING
//
// The second form runs one model file and writes its listing, to compare a
// model's listings from two builds or two ways.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "control.h"
#include "domain.h"
#include "model_loader.h"
#include "sysmat.h"

namespace {

enum class NodeOrder { short_side, long_side, shuffled };

struct BenchModel {
    std::string name;
    std::string text;
    // The skyline in the listed order would be nearly full (some GB, hours to
    // factorise): the reference run keeps the reordering and checks the kernel.
    bool reference_reorders = false;
};

const char* elastic_steel =
    "*material 1\nlinearelastic\nyoung 2.1e11\npoisson 0.3\ndensity 7850\n";

// Plate of nx x ny unit quadrilaterals, clamped at x = 0 and loaded across at x = nx.
BenchModel plate(int nx, int ny, NodeOrder order, bool eigen)
{
    const int rows = ny + 1;
    auto number = [&](int i, int j) { return i * rows + j + 1; };
    std::vector<std::string> node_lines;
    if (order == NodeOrder::long_side) {
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                node_lines.push_back(std::to_string(number(i, j)) + ' ' + std::to_string(i) + ' '
                                     + std::to_string(j) + " 0\n");
    } else {
        for (int i = 0; i <= nx; ++i)
            for (int j = 0; j <= ny; ++j)
                node_lines.push_back(std::to_string(number(i, j)) + ' ' + std::to_string(i) + ' '
                                     + std::to_string(j) + " 0\n");
    }
    if (order == NodeOrder::shuffled) {
        std::mt19937 generator(20261207);
        std::shuffle(node_lines.begin(), node_lines.end(), generator);
    }
    std::ostringstream out;
    out << "*title\nplate " << nx << " x " << ny << "\n*nodes\n";
    for (const std::string& line : node_lines) out << line;
    out << elastic_steel << "*geometry 1\nthick 0.01\n*elements\nquad4pss 1 1\n";
    int element = 0;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
            out << ++element << ' ' << number(i, j) << ' ' << number(i + 1, j) << ' '
                << number(i + 1, j + 1) << ' ' << number(i, j + 1) << '\n';
    out << "*suppress\n";
    for (int j = 0; j <= ny; ++j) out << "ux uy " << number(0, j) << '\n';
    if (eigen) {
        out << "*eigen\nfrequencies 10\n*end\n";
    } else {
        out << "*loadef\nset 1\nloads\n";
        for (int j = 0; j <= ny; ++j) out << "fy -1000 " << number(nx, j) << '\n';
        out << "fx 5000 " << number(nx, ny) << "\n*linear\n*end\n";
    }
    const char* names[] = {"short", "long", "shuffled"};
    return {std::string(eigen ? "eigen-plate-" : "plate-") + std::to_string(nx) + "x"
                + std::to_string(ny) + "-" + names[static_cast<int>(order)],
            out.str(), order == NodeOrder::shuffled};
}

// Cube of n^3 unit hexahedra, its nodes listed plane by plane, clamped at z = 0 and
// pulled sideways and down at z = n.
BenchModel cube(int n)
{
    const int m = n + 1;
    auto number = [&](int i, int j, int k) { return (k * m + j) * m + i + 1; };
    std::ostringstream out;
    out << "*title\ncube " << n << "^3\n*nodes\n";
    for (int k = 0; k < m; ++k)
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < m; ++i)
                out << number(i, j, k) << ' ' << i << ' ' << j << ' ' << k << '\n';
    out << elastic_steel << "*geometry 1\nthick 1\n*elements\nhex8 1 1\n";
    int element = 0;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                out << ++element << ' ' << number(i, j, k) << ' ' << number(i + 1, j, k) << ' '
                    << number(i + 1, j + 1, k) << ' ' << number(i, j + 1, k) << ' '
                    << number(i, j, k + 1) << ' ' << number(i + 1, j, k + 1) << ' '
                    << number(i + 1, j + 1, k + 1) << ' ' << number(i, j + 1, k + 1) << '\n';
    out << "*suppress\n";
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) out << "ux uy uz " << number(i, j, 0) << '\n';
    out << "*loadef\nset 1\nloads\n";
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) out << "fx 100 " << number(i, j, n) << '\n';
    out << "fz -1000 " << number(n, n, n) << "\n*linear\n*end\n";
    return {"cube-" + std::to_string(n) + "^3", out.str()};
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
    double load = 0.0;
    double solve = 0.0;
    double listing = 0.0;
    double factor = 0.0;
    double setup = 0.0;
    double flops = 0.0;
    double profile = 0.0;
    long peak_kb = 0;
    int equations = 0;
};

// Runs the model file in this process: reading, the analysis with its listing
// formatting suppressed, then the listing on its own into listing_path.
Figures run(const std::string& model_path, const std::string& listing_path)
{
    Figures figures;
    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    auto start = std::chrono::steady_clock::now();
    if (read_model(model_path, model, control) != 0 || !model || !control) {
        std::cerr << "input errors in " << model_path << std::endl;
        std::exit(2);
    }
    figures.load = seconds_since(start);

    std::ofstream listing(listing_path);
    model->write_title(listing);
    std::ostream silent(nullptr);
    std::ostream result(nullptr);
    start = std::chrono::steady_clock::now();
    control->init(*model, listing);
    // A linear run writes its listing at its end: that part is timed apart below.
    const bool linear = dynamic_cast<LinearControl*>(control) != nullptr;
    if (linear)
        while (control->run(*model, silent, result, 1)) {
        }
    figures.solve = seconds_since(start);

    start = std::chrono::steady_clock::now();
    if (linear)
        model->write_output(listing);
    else
        while (control->run(*model, listing, result, 1)) {
        }
    listing.close();
    figures.listing = seconds_since(start);

    const KelVane::FactorStatistics& statistics = KelVane::last_factor_statistics();
    figures.factor = statistics.factor_seconds;
    figures.setup = statistics.setup_seconds;
    figures.flops = statistics.flops;
    figures.profile = static_cast<double>(statistics.profile_entries);
    figures.equations = static_cast<int>(model->n_free);
    delete control;
    delete model;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    figures.peak_kb = usage.ru_maxrss;
    return figures;
}

// Runs in a child process so that the peak memory is the model's own.
bool run_child(const std::string& model_path, const std::string& listing_path, Figures& figures)
{
    int channel[2];
    if (pipe(channel) != 0) return false;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        // The analysis's own messages (iterations, frequencies) would break the table.
        if (!std::freopen("/dev/null", "w", stdout)) _exit(4);
        const Figures measured = run(model_path, listing_path);
        const ssize_t written = write(channel[1], &measured, sizeof measured);
        _exit(written == static_cast<ssize_t>(sizeof measured) ? 0 : 3);
    }
    close(channel[1]);
    const ssize_t got = child > 0 ? read(channel[0], &figures, sizeof figures) : -1;
    close(channel[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return got == static_cast<ssize_t>(sizeof figures) && WIFEXITED(status)
           && WEXITSTATUS(status) == 0;
}

// One unit in the last digit that the word shows: 1e-3 for "1.234", 100 for
// "-2.614e+05".
double last_digit_unit(const std::string& word)
{
    const std::size_t point = word.find('.');
    const std::size_t exponent = word.find_first_of("eE");
    int decimals = 0;
    if (point != std::string::npos)
        decimals = static_cast<int>((exponent == std::string::npos ? word.size() : exponent) - point - 1);
    const int power = exponent == std::string::npos ? 0 : std::atoi(word.c_str() + exponent + 1);
    return std::pow(10.0, power - decimals);
}

// Every number of the two listings, in order; words must match exactly. Two numbers
// agree when they differ by at most 1e-9 of the largest magnitude in the listing
// (rounding noise near zero) or by at most one unit in their last printed digit (a
// value near a rounding boundary). Mode shapes may come out with the opposite
// sign, so numbers are compared by magnitude.
bool listings_agree(const std::string& first, const std::string& second, std::string& why)
{
    auto tokens = [](const std::string& path) {
        std::ifstream in(path);
        std::vector<std::string> words;
        std::string word;
        while (in >> word) words.push_back(word);
        return words;
    };
    const std::vector<std::string> a = tokens(first);
    const std::vector<std::string> b = tokens(second);
    if (a.size() != b.size() || a.empty()) {
        why = "the listings differ in length";
        return false;
    }
    auto number = [](const std::string& word, double& value) {
        char* end = nullptr;
        value = std::strtod(word.c_str(), &end);
        return end != word.c_str() && *end == '\0';
    };
    double largest = 0.0;
    for (const std::string& word : a) {
        double value = 0.0;
        if (number(word, value) && std::isfinite(value)) largest = std::max(largest, std::fabs(value));
    }
    std::size_t numbers = 0;
    std::size_t different = 0;
    std::size_t last_digit = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        double x = 0.0;
        double y = 0.0;
        if (!(number(a[k], x) && number(b[k], y))) {
            if (a[k] != b[k]) {
                why = "'" + a[k] + "' against '" + b[k] + "'";
                return false;
            }
            continue;
        }
        ++numbers;
        if (a[k] == b[k] || a[k] == "-" + b[k] || b[k] == "-" + a[k]) continue;
        ++different;
        const double difference = std::fabs(std::fabs(x) - std::fabs(y));
        if (difference <= 1e-9 * largest) continue;
        if (difference <= 1.01 * last_digit_unit(a[k])) {
            ++last_digit;
            continue;
        }
        why = a[k] + " against " + b[k] + " (word " + std::to_string(k) + ")";
        return false;
    }
    why = std::to_string(numbers) + " numbers, " + std::to_string(different) + " differ, "
          + std::to_string(last_digit) + " of them in the last digit";
    return true;
}

void print(const std::string& name, const char* way, const Figures& f)
{
    std::printf("%-26s %-9s %7d %8.2f %8.2f %8.2f %8.2f %8.2f %8.1f %10.3g %8.2f %8.1f\n",
                name.c_str(), way, f.equations, f.load, f.solve, f.listing, f.setup, f.factor,
                f.profile * 8.0 / 1048576.0, f.flops, f.factor > 0.0 ? f.flops / f.factor * 1e-9 : 0.0,
                f.peak_kb / 1024.0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    bool big = false;
    bool check = true;
    bool reference_only = false;
    std::string only;
    for (int k = 1; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--big") big = true;
        else if (option == "--no-check") check = false;
        else if (option == "--reference") reference_only = true;
        else if (option == "--only" && k + 1 < argc) only = argv[++k];
        else if (option == "--listing" && k + 2 < argc) {
            if (reference_only) {
                KelVane::solver_choice().reorder = false;
                KelVane::solver_choice().blocked_kernel = false;
            }
            run(argv[k + 1], argv[k + 2]);
            return 0;
        }
        else {
            std::cerr << "usage: solver_bench [--big] [--no-check] [--reference] [--only NAME]\n"
                         "       solver_bench [--reference] --listing MODEL LISTING\n";
            return 2;
        }
    }

    std::vector<BenchModel> models;
    models.push_back(plate(400, 80, NodeOrder::short_side, false));
    models.push_back(plate(400, 80, NodeOrder::long_side, false));
    models.push_back(plate(400, 80, NodeOrder::shuffled, false));
    models.push_back(cube(20));
    if (big) models.push_back(cube(30));
    models.push_back(plate(200, 40, NodeOrder::short_side, true));
    models.push_back(plate(200, 40, NodeOrder::long_side, true));

    std::printf("%-26s %-9s %7s %8s %8s %8s %8s %8s %8s %10s %8s %8s\n", "model", "way",
                "eqs", "load s", "solve s", "list s", "setup s", "factor s", "sky MB", "flops",
                "GFLOP/s", "peak MB");
    const std::string base = "/tmp/kv_solver_bench_" + std::to_string(static_cast<long>(getpid()));
    int failures = 0;
    for (const BenchModel& model : models) {
        if (!only.empty() && model.name.find(only) == std::string::npos) continue;
        const std::string model_path = base + ".dat";
        {
            std::ofstream out(model_path);
            out << model.text;
        }
        const std::string fast_listing = base + "_fast.out";
        const std::string reference_listing = base + "_reference.out";
        Figures figures;
        if (!reference_only) {
            KelVane::solver_choice() = KelVane::SolverChoice();
            if (!run_child(model_path, fast_listing, figures)) {
                std::printf("%-26s the run failed\n", model.name.c_str());
                ++failures;
                continue;
            }
            print(model.name, "fast", figures);
        }
        if (check || reference_only) {
            KelVane::solver_choice().reorder = model.reference_reorders;
            KelVane::solver_choice().blocked_kernel = false;
            if (!run_child(model_path, reference_listing, figures)) {
                std::printf("%-26s the reference run failed\n", model.name.c_str());
                ++failures;
                continue;
            }
            print(model.name, "reference", figures);
        }
        if (check && !reference_only) {
            std::string why;
            const bool agree = listings_agree(reference_listing, fast_listing, why);
            std::printf("%-26s listings %s: %s\n", model.name.c_str(),
                        agree ? "agree" : "DIFFER", why.c_str());
            if (!agree) ++failures;
        }
        std::remove(fast_listing.c_str());
        std::remove(reference_listing.c_str());
        std::remove(model_path.c_str());
    }
    std::printf("%s\n", failures == 0 ? "all runs agree with the reference" : "FAILURES");
    return failures == 0 ? 0 : 1;
}
