#ifndef KELVANED_ERRORS_H
#define KELVANED_ERRORS_H

#include <exception>
#include <string>

namespace KelVane {

// Root of the core library's errors: a standard exception that carries one message.
class kelvane_error : public std::exception {
public:
    explicit kelvane_error(const std::string& message) : message_(message) {}
    ~kelvane_error() override = default;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Misuse or inconsistent data found by the core library.
class program_error : public kelvane_error {
public:
    explicit program_error(const std::string& message) : kelvane_error(message) {}
    ~program_error() override = default;
};

// Sizes that do not fit together.
class dimension_error : public program_error {
public:
    explicit dimension_error(const std::string& message) : program_error(message) {}
    ~dimension_error() override = default;
};

// An operation that an element type or a matrix size does not offer.
class not_implemented_error : public program_error {
public:
    explicit not_implemented_error(const std::string& message) : program_error(message) {}
    ~not_implemented_error() override = default;
};

// Singular matrices and failed factorisations.
class matrix_error : public kelvane_error {
public:
    explicit matrix_error(const std::string& message) : kelvane_error(message) {}
    ~matrix_error() override = default;
};

// A lookup by a number that nothing carries.
class not_found : public kelvane_error {
public:
    explicit not_found(const std::string& message) : kelvane_error(message) {}
    ~not_found() override = default;
};

// A restart file that is missing or does not match the model.
class file_error : public kelvane_error {
public:
    explicit file_error(const std::string& message) : kelvane_error(message) {}
    ~file_error() override = default;
};

// Equilibrium iterations that did not converge; the incremental control retries on it.
class not_converged_error : public kelvane_error {
public:
    explicit not_converged_error(const std::string& message) : kelvane_error(message) {}
    ~not_converged_error() override = default;
};

// Iterations whose unbalance grows beyond bounds; handled wherever non-convergence is.
class divergence_error : public not_converged_error {
public:
    explicit divergence_error(const std::string& message) : not_converged_error(message) {}
    ~divergence_error() override = default;
};

} // namespace KelVane

// Root of the application's errors (stress states, material models, element
// routines, model-file reader); independent of KelVane::kelvane_error.
class kelvaned_error : public std::exception {
public:
    explicit kelvaned_error(const std::string& message) : message_(message) {}
    ~kelvaned_error() override = default;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A model-file line that lacks a field; the reader has already written its own message.
class syntax_error : public kelvaned_error {
public:
    explicit syntax_error(const std::string& message) : kelvaned_error(message) {}
    ~syntax_error() override = default;
};

#endif
