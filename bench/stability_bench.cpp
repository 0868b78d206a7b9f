// The stability check of the dynamic procedures against a linear solution of the
// same model: hexahedron cubes of 15^3 and 20^3 elements and a plate of 100 x 100
// quadrilaterals, each clamped on one side and pulled on the other.
//
//   Linear/<mesh>             init and run of "*linear": numbering, assembly,
//                             factorisation, solve and listing
//   Check/<mesh>/<method>/<f> the check alone (stability_frequency) at the fraction
//                             f of the model's limit (0.5, where the bound of the
//                             elements passes the step, or 0.97, where it does
//                             not), explicit (lumped masses) or Newmark 0.01 0.5
//                             (consistent masses)
//   Init/<mesh>/<method>/<f>  the init of the dynamic control at that step, the
//                             check with everything else it does before a step
//
// The model's limit is found once per mesh and method, outside the timing, from
// its own largest frequency.

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "control.h"
#include "domain.h"
#include "model_loader.h"
#include "stability_limit.h"

namespace {

constexpr double young = 2e5;
constexpr double poisson = 0.3;
constexpr double density = 1e-9;
constexpr double newmark_beta = 0.01;
constexpr double newmark_gamma = 0.5;

enum class Mesh { hex15, hex20, quad100 };
enum class Method { linear, explicit_cd, newmark };

const char* mesh_name(Mesh mesh)
{
    switch (mesh) {
    case Mesh::hex15: return "hex8_15x15x15";
    case Mesh::hex20: return "hex8_20x20x20";
    case Mesh::quad100: return "quad4_100x100";
    }
    return "";
}

// The model with the given analysis section, in a unit cube or unit square.
std::string mesh_text(Mesh mesh, const std::string& analysis)
{
    const bool cube = mesh != Mesh::quad100;
    const int n = mesh == Mesh::hex15 ? 15 : (mesh == Mesh::hex20 ? 20 : 100);
    const auto id = [&](int i, int j, int k) { return 1 + i + (n + 1) * (j + (n + 1) * k); };
    std::string text = std::string("*title\n") + mesh_name(mesh) + "\n*nodes\n";
    std::string held, pulled;
    char line[128];
    for (int k = 0; k <= (cube ? n : 0); ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                std::snprintf(line, sizeof line, "%d %.17g %.17g %.17g\n", id(i, j, k),
                              double(i) / n, double(j) / n, double(k) / n);
                text += line;
                if (i == 0) held += " " + std::to_string(id(i, j, k));
                if (i == n) pulled += " " + std::to_string(id(i, j, k));
            }
    std::snprintf(line, sizeof line,
                  "*material 1\nlinearelastic\nyoung %g\npoisson %g\ndensity %g\n", young,
                  poisson, density);
    text += line;
    text += cube ? "*elements\nhex8 1\n" : "*elements\nquad4psn 1\n";
    int number = 0;
    for (int k = 0; k < (cube ? n : 1); ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                text += std::to_string(++number);
                const int corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
                for (int layer = 0; layer < (cube ? 2 : 1); ++layer)
                    for (const auto& c : corners)
                        text += " " + std::to_string(id(c[0], c[1], k + layer));
                text += "\n";
            }
    text += std::string("*suppress\nux uy") + (cube ? " uz" : "") + held + "\n";
    text += "*loadef\nset 1\nloads\nfx 1" + pulled + "\n" + analysis + "*end\n";
    return text;
}

std::string analysis_text(Method method, double timestep)
{
    if (method == Method::linear) return "*linear\n";
    char line[64];
    std::snprintf(line, sizeof line, "timestep %.9g\n", timestep);
    return std::string("*nonlinear dynamic\n") +
           (method == Method::newmark ? "newmark 0.01 0.5\n" : "explicit\n") + line +
           "increments 10\n";
}

class ModelFile {
public:
    ModelFile(Mesh mesh, Method method, double timestep)
        : path_("/tmp/kelvaned_stability_" + std::to_string(static_cast<long>(::getpid())) +
                ".dat")
    {
        std::ofstream out(path_);
        out << mesh_text(mesh, analysis_text(method, timestep));
    }
    ~ModelFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct Loaded {
    std::unique_ptr<MyDomain> model;
    std::unique_ptr<KelVane::Control<MyDomain>> control;
};

Loaded load(Mesh mesh, Method method, double timestep)
{
    const ModelFile file(mesh, method, timestep);
    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    Loaded loaded;
    if (read_model(file.path(), model, control) == 0) {
        loaded.model.reset(model);
        loaded.control.reset(control);
    } else {
        delete control;
        delete model;
    }
    return loaded;
}

// The model's stability limit, found once.
double stability_limit(Mesh mesh, Method method)
{
    static std::map<std::pair<Mesh, Method>, double> found;
    const auto key = std::make_pair(mesh, method);
    const auto known = found.find(key);
    if (known != found.end()) return known->second;
    Loaded loaded = load(mesh, method, 1.0);
    if (!loaded.model) return 0.0;
    loaded.model->setup_dofs();
    const bool lumped = method == Method::explicit_cd;
    // About the highest frequency of a cube or a square of such elements.
    const int n = mesh == Mesh::hex15 ? 15 : (mesh == Mesh::hex20 ? 20 : 100);
    const double wave = std::sqrt(young * (1.0 - poisson) /
                                  ((1.0 + poisson) * (1.0 - 2.0 * poisson) * density));
    const double omega = largest_model_frequency(*loaded.model, lumped, 4.0 * wave * n);
    const double limit =
        lumped ? 2.0 / omega : 1.0 / (omega * std::sqrt(0.5 * newmark_gamma - newmark_beta));
    found[key] = limit;
    return limit;
}

// Times `body` on a model loaded afresh for every iteration; loading and
// deleting are not timed.
template <class Body>
void time_on_fresh_models(benchmark::State& state, Mesh mesh, Method method, double timestep,
                          Body body)
{
    for (auto _ : state) {
        state.PauseTiming();
        Loaded loaded = load(mesh, method, timestep);
        if (!loaded.model) {
            state.SkipWithError("input errors");
            break;
        }
        state.ResumeTiming();
        body(loaded);
        state.PauseTiming();
        loaded = Loaded();
        state.ResumeTiming();
    }
}

void BM_Linear(benchmark::State& state, Mesh mesh)
{
    std::ofstream listing("/dev/null");
    std::ofstream result;
    time_on_fresh_models(state, mesh, Method::linear, 0.0, [&](Loaded& loaded) {
        loaded.control->init(*loaded.model, listing);
        while (loaded.control->run(*loaded.model, listing, result, 1)) {
        }
        state.counters["free equations"] = loaded.model->n_free;
    });
}

void BM_Check(benchmark::State& state, Mesh mesh, Method method, double fraction)
{
    const double timestep = fraction * stability_limit(mesh, method);
    const bool lumped = method == Method::explicit_cd;
    const double allowed =
        lumped ? 2.0 / timestep
               : 1.0 / (timestep * std::sqrt(0.5 * newmark_gamma - newmark_beta));
    time_on_fresh_models(state, mesh, method, timestep, [&](Loaded& loaded) {
        // Numbering is part of every analysis, not of the check.
        state.PauseTiming();
        loaded.model->setup_dofs();
        state.ResumeTiming();
        const double omega = stability_frequency(*loaded.model, lumped, allowed);
        benchmark::DoNotOptimize(omega);
        state.counters["omega / allowed"] = omega / allowed;
    });
}

void BM_Init(benchmark::State& state, Mesh mesh, Method method, double fraction)
{
    const double timestep = fraction * stability_limit(mesh, method);
    std::ofstream listing("/dev/null");
    time_on_fresh_models(state, mesh, method, timestep,
                         [&](Loaded& loaded) { loaded.control->init(*loaded.model, listing); });
}

void register_all()
{
    for (Mesh mesh : {Mesh::quad100, Mesh::hex15, Mesh::hex20}) {
        const std::string name = mesh_name(mesh);
        benchmark::RegisterBenchmark(("Linear/" + name).c_str(), BM_Linear, mesh)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(2);
        for (Method method : {Method::explicit_cd, Method::newmark}) {
            const std::pair<const char*, double> fractions[] = {{"0.5", 0.5}, {"0.97", 0.97}};
            for (const auto& [fraction, f] : fractions) {
                const std::string suffix =
                    std::string(method == Method::newmark ? "/newmark/" : "/explicit/") +
                    fraction;
                benchmark::RegisterBenchmark(("Check/" + name + suffix).c_str(), BM_Check, mesh,
                                             method, f)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(2);
                benchmark::RegisterBenchmark(("Init/" + name + suffix).c_str(), BM_Init, mesh,
                                             method, f)
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(2);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
