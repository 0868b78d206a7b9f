#include "run_model.h"

#include <chrono>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "control.h"
#include "domain.h"
#include "model_loader.h"
#include "output_file.h"

ModelRun run_model(const std::string& model_file, const StepLimits& limits)
{
    const auto start = std::chrono::steady_clock::now();
    const auto may_go_on = [&](int steps) {
        if (limits.max_steps >= 0 && steps >= limits.max_steps) return false;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        return limits.max_seconds < 0.0 || elapsed.count() < limits.max_seconds;
    };

    ModelRun outcome;
    const std::string directory = directory_part(model_file);
    const std::string base = model_base_name(model_file);
    outcome.listing_path = directory + base + ".out";
    outcome.result_path = directory + base + ".flavia.res";

    MyDomain* model = nullptr;
    KelVane::Control<MyDomain>* control = nullptr;
    // Whatever read_model leaves behind, even after a syntax error, is ours to delete.
    struct Owner {
        MyDomain*& model;
        KelVane::Control<MyDomain>*& control;
        ~Owner()
        {
            delete control;
            delete model;
        }
    } owner{model, control};

    try {
        outcome.input_errors = read_model(model_file, model, control);
    } catch (const std::exception& e) {
        outcome.error = e.what();
        outcome.input_errors = -1;
        return outcome;
    }
    if (outcome.input_errors != 0 || !model || !control) return outcome;

    // As in the front end: no two files of the run may be one file, and both files
    // are opened before either is emptied: a refused start changes no file.
    OutputFile listing;
    OutputFile result;
    const std::string refusal =
        open_analysis_files(*control, listing, outcome.listing_path, result, outcome.result_path);
    if (!refusal.empty()) {
        outcome.error = refusal;
        std::cerr << "ERROR: " << refusal << std::endl;
        return outcome;
    }
    model->write_title(listing);

    // The files are flushed and checked after init and after every step, and
    // checked when they are closed, as the front end does.
    const auto report = [&](const std::exception& e) {
        outcome.error = e.what();
        std::cerr << "ERROR: " << e.what() << std::endl;
        listing << "ERROR: " << e.what() << std::endl;
    };
    outcome.ran = true;
    try {
        start_analysis(*control, *model, listing);
        listing.flush_checked();
        result.flush_checked();
        bool more = true;
        while (more && may_go_on(outcome.steps)) {
            ++outcome.steps;
            more = control->run(*model, listing, result, 1);
            listing.flush_checked();
            result.flush_checked();
        }
        outcome.finished = !more;
    } catch (const std::exception& e) {
        outcome.finished = false;
        report(e);
    }
    for (OutputFile* file : {&result, &listing}) {
        try {
            file->close_checked();
        } catch (const std::exception& e) {
            outcome.finished = false;
            report(e);
        }
    }
    return outcome;
}

std::string read_text_file(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
