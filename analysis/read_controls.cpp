// Readers of the analysis sections "*linear", "*eigen" and "*nonlinear". The
// option lines of a section are read completely first; the control of the
// section's kind is then created from them and replaces any control defined
// before.

#include <iostream>
#include <ostream>
#include <string>

#include "control.h"
#include "domain.h"
#include "eigen_control.h"
#include "errors.h"
#include "explicit.h"
#include "incremental_control.h"
#include "incremental_iterative_control.h"
#include "kvparser.h"
#include "newmark.h"
#include "nonlinear_static.h"

namespace {

using AnyControl = KelVane::Control<MyDomain>;

// What the option lines of an incremental section set. The settings sit in an
// incremental control of their own, which starts with the defaults of every
// incremental control; the control of the section takes them over when it is
// created. It is never run.
class IncrementOptions : public KelVane::IncrementalControl<MyDomain> {
public:
    void init(MyDomain&, std::ostream&) override { refuse(); }
    void increment(MyDomain&, std::ostream&, int, double) override { refuse(); }

private:
    [[noreturn]] static void refuse()
    {
        throw KelVane::program_error("the options of an analysis section cannot be run");
    }
};

// ... with the settings of the equilibrium iterations. Only what a line set is
// handed on, so the iterative control keeps its own defaults for the rest.
class IterationOptions : public IncrementOptions {
public:
    void set_method(int new_method)
    {
        method = new_method;
        method_given = true;
    }
    void set_tolerance(double new_tolerance)
    {
        tolerance = new_tolerance;
        tolerance_given = true;
    }
    void set_maxiter(int new_maxiter)
    {
        maxiter = new_maxiter;
        maxiter_given = true;
    }

    int method = 0;  // 1 full Newton, 2 modified Newton
    bool method_given = false;
    double tolerance = 0.0;
    bool tolerance_given = false;
    int maxiter = 0;
    bool maxiter_given = false;
};

// Writes the message of a line in error and counts the error against the line.
// True: the word was the option of the line all the same.
bool refuse_line(input_data& input, const std::string& message)
{
    std::cerr << message << std::endl;
    input.add_errors(1);
    return true;
}

// The option of the equilibrium iterations on the current line; an increment
// option is tried first. True when the word is an option, also when its line then
// had an error.
template <class IterativeControl>
bool read_iteration_line(input_data& input, const std::string& word, IterativeControl& control)
{
    if (input.read_increment_option(word, control)) return true;
    if (word == "full") {
        control.set_method(1);
    } else if (word == "modified") {
        control.set_method(2);
    } else if (word == "unbalance") {
        double tolerance = 0.0;
        if (!input.get_double(2, tolerance)) return true;
        // The unbalance ratio is never below zero: a tolerance that is not positive
        // can never be met, and the iterations would go on for ever.
        if (!(tolerance > 0.0)) return refuse_line(input, "unbalance tolerance must be positive");
        control.set_tolerance(tolerance);
    } else if (word == "maxiter") {
        int maxiter = 0;
        if (!input.get_int(2, maxiter)) return true;
        // The first iteration is always made: fewer than one cannot be meant.
        if (maxiter < 1) return refuse_line(input, "maxiter must be at least 1");
        control.set_maxiter(maxiter);
    } else {
        return false;
    }
    return true;
}

// The keyword line of a section, for the errors of the section as a whole, which
// are found only once its last line has been read.
struct SectionLine {
    int number;
    std::string text;
};

SectionLine section_line(const input_data& input)
{
    return SectionLine{input.line_number(), input.line()};
}

// An incremental analysis without a step to run would do nothing and end as
// finished: counted against the section's keyword line.
void check_increments_given(input_data& input, const IncrementOptions& options,
                            const SectionLine& section)
{
    for (const auto& block : options.get_load_blocks())
        if (block.steps > 0) return;
    std::cerr << "the analysis has no increments: give an \"increments n\" or "
                 "\"increment load i size d steps n\" line with at least one step";
    if (options.restarts()) std::cerr << " (a restart runs only the load blocks given with it)";
    std::cerr << std::endl;
    input.count_error_of_line(section.number, section.text);
}

// The method line of a dynamic section, "newmark [beta gamma]" or "explicit"
// (the word given): true for explicit. A line in error leaves beta and gamma.
bool read_method_line(input_data& input, const std::string& method, double& beta,
                      double& gamma)
{
    if (method == "explicit") {
        if (input.field_count() > 1) refuse_line(input, "explicit takes nothing after it");
        return true;
    }
    if (input.field_count() == 3) {
        double new_beta = beta;
        double new_gamma = gamma;
        bool read = input.get_double(2, new_beta);
        read = input.get_double(3, new_gamma) && read;
        if (!read) return false;
        // The integration divides by beta; a gamma below 0.5 makes every mode grow.
        const bool beta_valid = new_beta > 0.0;
        const bool gamma_valid = new_gamma >= 0.5;
        if (!beta_valid) refuse_line(input, "Newmark beta must be greater than 0");
        if (!gamma_valid) refuse_line(input, "Newmark gamma must be at least 0.5");
        if (beta_valid && gamma_valid) {
            beta = new_beta;
            gamma = new_gamma;
        }
    } else if (input.field_count() != 1) {
        refuse_line(input, "newmark takes both beta and gamma or neither: newmark [beta gamma]");
    }
    return false;
}

// One function per kind of control creates it from what its section read.
AnyControl* create_eigen_control(int frequencies, double shift)
{
    EigenControl* control = new EigenControl();
    control->set_frequencies(frequencies);
    control->set_shift(shift);
    return control;
}

// The increment settings a section read, handed to the control it creates.
void take_increment_options(const IncrementOptions& options,
                            KelVane::IncrementalControl<MyDomain>& control)
{
    for (const auto& block : options.get_load_blocks())
        control.add_load_block(block.load_set, block.size, block.steps);
    control.set_timestep(options.get_timestep());
    control.set_maxresize(options.get_maxresize());
    control.set_save_selection(options.save_selection());
    if (options.restarts()) control.set_restart(options.get_restart_file());
    if (options.has_damping())
        control.set_Rayleigh(options.get_rayleigh_alpha(), options.get_rayleigh_beta());
}

// ... and the iteration settings; what no line set keeps the control's default.
void take_iteration_options(const IterationOptions& options,
                            KelVane::IncrementalIterativeControl<MyDomain>& control)
{
    take_increment_options(options, control);
    if (options.method_given) control.set_method(options.method);
    if (options.tolerance_given) control.set_tolerance(options.tolerance);
    if (options.maxiter_given) control.set_maxiter(options.maxiter);
}

AnyControl* create_nonlinear_static_control(input_data& /*input*/,
                                            const IterationOptions& options)
{
    NonLinearStaticControl* control = new NonLinearStaticControl();
    take_iteration_options(options, *control);
    return control;
}

AnyControl* create_newmark_control(input_data& /*input*/, const IterationOptions& options,
                                   double beta, double gamma)
{
    NonLinearNewmarkControl* control = new NonLinearNewmarkControl();
    take_iteration_options(options, *control);
    control->set_parameters(beta, gamma);
    return control;
}

AnyControl* create_explicit_control(input_data& /*input*/, const IncrementOptions& options)
{
    ExplicitControl* control = new ExplicitControl();
    take_increment_options(options, *control);
    return control;
}

// A later analysis section replaces the control of an earlier one with everything
// set on it.
void replace_control(AnyControl*& control, AnyControl* created)
{
    delete control;
    control = created;
}

}  // namespace

bool input_data::read_increment_option(const std::string& word,
                                       KelVane::IncrementalControl<MyDomain>& control)
{
    if (word == "increments") {
        int steps = 0;
        if (!get_int(2, steps)) return true;
        if (steps < 0) return refuse_line(*this, "number of increments must not be negative");
        // A block of no steps is never run, and its size is never used.
        control.add_load_block(1, steps > 0 ? 1.0 / steps : 0.0, steps);
    } else if (word == "increment") {
        if (field_count() != 7) {
            std::cerr << "Wrong increment load line" << std::endl
                      << "Should be: increment load i size d steps n" << std::endl;
            add_errors(1);
            return true;
        }
        std::string load_word;
        std::string size_word;
        std::string steps_word;
        get_string(2, load_word);
        get_string(4, size_word);
        get_string(6, steps_word);
        if (load_word != "load" || size_word != "size" || steps_word != "steps")
            return refuse_line(*this, "Wrong loading type");
        int load_set = 0;
        double size = 0.0;
        int steps = 0;
        bool read = get_int(3, load_set);
        read = get_double(5, size) && read;
        read = get_int(7, steps) && read;
        if (!read) return true;
        if (steps < 0) return refuse_line(*this, "number of steps must not be negative");
        control.add_load_block(load_set, size, steps);
    } else if (word == "timestep") {
        // 0 is the time step of an analysis without time (statics); the dynamic
        // analyses ask for a positive one when they start.
        double timestep = 0.0;
        if (!get_double(2, timestep)) return true;
        if (timestep < 0.0) return refuse_line(*this, "timestep must not be negative (0 or more)");
        control.set_timestep(timestep);
    } else if (word == "maxresize") {
        int maxresize = 0;
        if (!get_int(2, maxresize)) return true;
        if (maxresize < 0) return refuse_line(*this, "maxresize must not be negative (0 or more)");
        control.set_maxresize(maxresize);
    } else if (word == "save") {
        // Each "save" line replaces the whole selection; a line in error leaves it.
        KelVane::StepSelect selection;
        std::string kind;
        get_string(2, kind);
        if (kind == "step") {
            if (field_count() < 3)
                return refuse_line(*this, "save step needs the numbers of the increments");
            for (int i = 3; i <= field_count(); ++i) {
                int step = 0;
                if (!get_int(i, step)) continue;
                if (step < 1)
                    return refuse_line(*this, "save step: increments are numbered from 1");
                selection.steps.insert(step);
            }
        } else if (kind == "all" || kind == "last") {
            if (field_count() > 2)
                return refuse_line(*this, "save " + kind + " takes nothing after it");
            selection.all = kind == "all";
            selection.last = kind == "last";
        } else {
            return refuse_line(*this, "save must be followed by step, all or last; found " +
                                          raw_field(2));
        }
        control.set_save_selection(selection);
    } else if (word == "restart") {
        // The file name keeps the case it was written in.
        control.set_restart(raw_field(2));
    } else {
        return false;
    }
    return true;
}

bool input_data::read_iteration_option(const std::string& word,
                                       KelVane::IncrementalIterativeControl<MyDomain>& control)
{
    return read_iteration_line(*this, word, control);
}

int input_data::read_linear(KelVane::Control<MyDomain>*& control)
{
    replace_control(control, new LinearControl());
    next_line();
    return 1;
}

int input_data::read_eigen(KelVane::Control<MyDomain>*& control)
{
    int frequencies = 5;
    double shift = 0.0;
    next_line();
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        if (word == "frequencies") {
            int number = 0;
            if (get_int(2, number)) {
                if (number < 1) {
                    std::cerr << "number of frequencies must be at least 1" << std::endl;
                    add_errors(1);
                } else {
                    frequencies = number;
                }
            }
        } else if (word == "shift") {
            // A frequency: below zero it would move the origin into the spectrum
            // and list the modes nearest to it as the lowest.
            double frequency = 0.0;
            if (get_double(2, frequency)) {
                if (frequency < 0.0)
                    refuse_line(*this, "the shift is a frequency and cannot be negative");
                else
                    shift = frequency;
            }
        } else {
            refuse_line(*this, "the options of *EIGEN are frequencies and shift; found " + word);
        }
        next_line();
    }
    replace_control(control, create_eigen_control(frequencies, shift));
    return 1;
}

int input_data::read_nonlinear(KelVane::Control<MyDomain>*& control)
{
    bool dynamic = false;
    // "*nonlinear dynamic newmark": the method belongs on the next line.
    if (field_count() > 2)
        refuse_line(*this, "*NONLINEAR takes one word after it, STATIC or DYNAMIC");
    if (field_count() >= 2) {
        std::string kind;
        get_string(2, kind);
        if (kind == "dynamic") {
            dynamic = true;
        } else if (kind != "static") {
            std::cerr << "*NONLINEAR can only be supplemented by STATIC or DYNAMIC" << std::endl;
            add_errors(1);
        }
    }
    return dynamic ? read_nonlinear_dynamic(control) : read_nonlinear_static(control);
}

int input_data::read_nonlinear_static(KelVane::Control<MyDomain>*& control)
{
    const SectionLine section = section_line(*this);
    IterationOptions options;
    next_line();
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        if (!read_iteration_line(*this, word, options)) add_errors(1);
        next_line();
    }
    check_increments_given(*this, options, section);
    replace_control(control, create_nonlinear_static_control(*this, options));
    return 1;
}

int input_data::read_nonlinear_dynamic(KelVane::Control<MyDomain>*& control)
{
    const SectionLine section = section_line(*this);
    double beta = 0.25;
    double gamma = 0.5;
    bool is_explicit = false;
    // Whether the current line has counted its error as a wrong method line; it is
    // then read as the option line it is, without a second error for its word.
    bool method_refused = false;
    next_line();
    const std::string method_wanted =
        "*NONLINEAR DYNAMIC must be followed by its method line, newmark [beta gamma] or "
        "explicit; found ";
    std::string method;
    if (is_keyword_line()) {
        // At the very end of the file there is no line and no field to read.
        std::cerr << method_wanted << (line().empty() ? "the end of the input" : current_field())
                  << std::endl;
        count_error_of_line(section.number, section.text);
    } else if (get_string(1, method) && (method == "newmark" || method == "explicit")) {
        is_explicit = read_method_line(*this, method, beta, gamma);
        next_line();
    } else {
        refuse_line(*this, method_wanted + current_field());
        method_refused = true;
    }

    IterationOptions options;
    while (!is_keyword_line()) {
        std::string word;
        get_string(1, word);
        if (word == "rayleigh") {
            double alpha = 0.0;
            double rayleigh_beta = 0.0;
            bool read = get_double(2, alpha);
            read = get_double(3, rayleigh_beta) && read;
            // Negative damping feeds the motion: it grows without bound.
            if (read && (alpha < 0.0 || rayleigh_beta < 0.0))
                refuse_line(*this, "Rayleigh coefficients must not be negative (0 or more)");
            else if (read)
                options.set_Rayleigh(alpha, rayleigh_beta);
        } else if (word == "newmark" || word == "explicit") {
            refuse_line(*this, "the method is given once, on the line after *NONLINEAR DYNAMIC");
        } else if (is_explicit ? !read_increment_option(word, options)
                               : !read_iteration_line(*this, word, options)) {
            if (!method_refused) add_errors(1);
        }
        method_refused = false;
        next_line();
    }
    check_increments_given(*this, options, section);
    replace_control(control, is_explicit ? create_explicit_control(*this, options)
                                         : create_newmark_control(*this, options, beta, gamma));
    return 1;
}
