// The cost of one explicit step: a cube of 20^3 hexahedra and a plate of 200 x 200
// plane-stress quadrilaterals, clamped on one side and pulled on the other, at a
// tenth of their stability limit. Init (numbering, the lumped mass, the stability
// check) happens once, outside the timing; every iteration is one increment:
// internal and external forces, the solve with the lumped mass, the update of the
// elements.
//
//   BM_Step/<mesh>          as the mesh is
//   BM_Step/<mesh>_stayed   with a 3-D stay bar at every node of the pulled side,
//                           listed before the continuum, whose nodes' dofs it turns

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "control.h"
#include "domain.h"
#include "model_loader.h"

namespace {

enum class Mesh { hex20, quad200 };

// The model in a unit cube or unit square of steel in N and mm; with `stayed`, a
// bar from every node of the side x = 1 to an anchor beside it, out of the plane.
std::string mesh_text(Mesh mesh, bool stayed)
{
    const bool cube = mesh == Mesh::hex20;
    const int n = cube ? 20 : 200;
    const int layers = cube ? n : 0;
    const auto id = [&](int i, int j, int k) { return 1 + i + (n + 1) * (j + (n + 1) * k); };
    const int nodes = (n + 1) * (n + 1) * (layers + 1);
    std::string text = std::string("*title\nexplicit step\n*nodes\n");
    char line[128];
    for (int k = 0; k <= layers; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                std::snprintf(line, sizeof line, "%d %.10g %.10g %.10g\n", id(i, j, k),
                              double(i) / n, double(j) / n, double(k) / n);
                text += line;
            }
    int anchors = 0;
    if (stayed)
        for (int k = 0; k <= layers; ++k)
            for (int j = 0; j <= n; ++j) {
                ++anchors;
                std::snprintf(line, sizeof line, "%d %.10g %.10g %.10g\n", nodes + anchors, 1.3,
                              double(j) / n + 0.2, double(k) / n + 0.5);
                text += line;
            }
    text += "*material 1\nlinearelastic\nyoung 2e5\npoisson 0.3\ndensity 7.85e-9\n";
    text += cube ? "" : "*geometry 1\nthick 1\n";
    text += "*geometry 2\ncrosse 1e-4\n*elements\n";
    int element = 0;
    if (stayed) {
        text += "truss 1 2\n";
        int anchor = 0;
        for (int k = 0; k <= layers; ++k)
            for (int j = 0; j <= n; ++j) {
                ++anchor;
                text += std::to_string(++element) + " " + std::to_string(id(n, j, k)) + " " +
                        std::to_string(nodes + anchor) + "\n";
            }
    }
    text += cube ? "hex8 1\n" : "quad4pss 1 1\n";
    for (int k = 0; k < (cube ? n : 1); ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                text += std::to_string(++element);
                const int bottom[4] = {id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k),
                                       id(i, j + 1, k)};
                for (int corner : bottom) text += " " + std::to_string(corner);
                if (cube)
                    for (int corner : bottom) text += " " + std::to_string(corner + (n + 1) * (n + 1));
                text += "\n";
            }
    text += "*suppress\n";
    text += cube ? "ux uy uz" : "ux uy";
    for (int k = 0; k <= layers; ++k)
        for (int j = 0; j <= n; ++j) text += " " + std::to_string(id(0, j, k));
    if (stayed) {
        text += "\nux uy uz";
        for (int a = 1; a <= anchors; ++a) text += " " + std::to_string(nodes + a);
    }
    text += "\n*loadef\nset 1\nloads\nfx 1";
    for (int k = 0; k <= layers; ++k)
        for (int j = 0; j <= n; ++j) text += " " + std::to_string(id(n, j, k));
    // A tenth of the limit of the smallest element, h / sqrt(E / rho).
    const double wave = std::sqrt(2e5 / 7.85e-9);
    std::snprintf(line, sizeof line, "%.6g", 0.1 / n / wave);
    text += "\n*nonlinear dynamic\nexplicit\ntimestep " + std::string(line) +
            "\nincrement load 1 size 1.0 steps 1\nincrement load 1 size 0.0 steps 100000\n*end\n";
    return text;
}

void BM_Step(benchmark::State& state, Mesh mesh, bool stayed)
{
    const std::string path =
        "/tmp/kelvaned_explicit_" + std::to_string(static_cast<long>(::getpid())) + ".dat";
    {
        std::ofstream out(path);
        out << mesh_text(mesh, stayed);
    }
    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    const int errors = read_model(path, model, control);
    std::remove(path.c_str());
    if (errors != 0) {
        state.SkipWithError("input errors in the model");
        return;
    }
    std::unique_ptr<MyDomain> owned_model(model);
    std::unique_ptr<KelVane::Control<MyDomain>> owned_control(control);
    std::ofstream listing("/dev/null");
    std::ofstream result;
    control->init(*model, listing);
    for (auto _ : state) control->run(*model, listing, result, 1);
    state.counters["free equations"] = model->n_free;
}

BENCHMARK_CAPTURE(BM_Step, hex8_20x20x20, Mesh::hex20, false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_Step, hex8_20x20x20_stayed, Mesh::hex20, true)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_Step, quad4_200x200, Mesh::quad200, false)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK_CAPTURE(BM_Step, quad4_200x200_stayed, Mesh::quad200, true)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
