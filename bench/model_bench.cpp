// Loading and linear analysis of a large model: a plane truss lattice of
// 10 x 10,000 nodes (100,000 nodes, about 300,000 bars), clamped at one end and
// loaded at the other.

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "control.h"
#include "domain.h"
#include "model_loader.h"

namespace {

constexpr int lattice_rows = 10;
constexpr int lattice_columns = 10000;

int node_number(int column, int row)
{
    return column * lattice_rows + row + 1;
}

// Writes the lattice model once per process and removes it at exit.
class LatticeModel {
public:
    LatticeModel()
        : path_("/tmp/kelvaned_lattice_" + std::to_string(static_cast<long>(::getpid())) + ".dat")
    {
        std::ofstream out(path_);
        out << "*title\ntruss lattice " << lattice_rows << " x " << lattice_columns << "\n";
        out << "*nodes\n";
        for (int i = 0; i < lattice_columns; ++i)
            for (int j = 0; j < lattice_rows; ++j)
                out << node_number(i, j) << ' ' << i << ' ' << j << " 0\n";
        out << "*material 1\nlinearelastic\nyoung 2.1e11\npoisson 0.3\n";
        out << "*geometry 1\ncrosse 1e-3\n";
        out << "*elements\ntruss 1 1\n";
        int element = 0;
        for (int i = 0; i < lattice_columns; ++i) {
            for (int j = 0; j < lattice_rows; ++j) {
                if (j + 1 < lattice_rows)
                    out << ++element << ' ' << node_number(i, j) << ' ' << node_number(i, j + 1)
                        << '\n';
                if (i + 1 < lattice_columns) {
                    out << ++element << ' ' << node_number(i, j) << ' '
                        << node_number(i + 1, j) << '\n';
                    if (j + 1 < lattice_rows)
                        out << ++element << ' ' << node_number(i, j) << ' '
                            << node_number(i + 1, j + 1) << '\n';
                }
            }
        }
        elements_ = element;
        out << "*suppress\nux uy";
        for (int j = 0; j < lattice_rows; ++j) out << ' ' << node_number(0, j);
        out << "\n*loadef\nset 1\nloads\nfy -1000";
        for (int j = 0; j < lattice_rows; ++j) out << ' ' << node_number(lattice_columns - 1, j);
        out << "\n*linear\n*end\n";
    }
    ~LatticeModel() { std::remove(path_.c_str()); }

    const std::string& path() const { return path_; }
    int elements() const { return elements_; }

private:
    std::string path_;
    int elements_ = 0;
};

const LatticeModel& lattice()
{
    static const LatticeModel model;
    return model;
}

void delete_model(MyDomain*& model, KelVane::Control<MyDomain>*& control)
{
    delete control;
    delete model;
    control = nullptr;
    model = nullptr;
}

void BM_ReadModel(benchmark::State& state)
{
    const std::string& path = lattice().path();
    for (auto _ : state) {
        MyDomain* model = nullptr;
        KelVane::Control<MyDomain>* control = nullptr;
        const int errors = read_model(path, model, control);
        if (errors != 0) state.SkipWithError("input errors in the lattice model");
        benchmark::DoNotOptimize(model);
        state.PauseTiming();
        delete_model(model, control);
        state.ResumeTiming();
    }
    state.counters["nodes"] = lattice_rows * lattice_columns;
    state.counters["elements"] = lattice().elements();
}
BENCHMARK(BM_ReadModel)->Unit(benchmark::kMillisecond)->Iterations(3);

// Numbering, assembly, skyline solve, element states and the whole listing.
void BM_LinearAnalysis(benchmark::State& state)
{
    const std::string& path = lattice().path();
    std::ofstream listing("/dev/null");
    std::ofstream result;
    for (auto _ : state) {
        state.PauseTiming();
        MyDomain* model = nullptr;
        KelVane::Control<MyDomain>* control = nullptr;
        if (read_model(path, model, control) != 0)
            state.SkipWithError("input errors in the lattice model");
        state.ResumeTiming();

        control->init(*model, listing);
        while (control->run(*model, listing, result, 1)) {
        }
        state.counters["free equations"] = model->n_free;

        state.PauseTiming();
        delete_model(model, control);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LinearAnalysis)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
