#ifndef KELVANED_SYSMAT_H
#define KELVANED_SYSMAT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "kvmatrix.h"

namespace KelVane {

// Global matrix of the analysis (stiffness, mass, damping), addressed by the global
// numbers of the free degrees of freedom, counted from 1. A matrix keeps its
// factorisation: the first solve after zero factorises, later solves only substitute.
class SystemMat {
public:
    virtual ~SystemMat();
    // Declares that entry (i, j) may become nonzero.
    virtual void geometry(unsigned i, unsigned j) = 0;
    // Allocates storage if needed, clears every stored value and any factorisation.
    virtual void zero() = 0;
    virtual void add(unsigned i, unsigned j, double value) = 0;
    // Writes the matrix to standard output.
    virtual void print(const std::string& title) = 0;
    // Solves A x = b; x is resized to the matrix size.
    virtual void solve(const Vector& b, Vector& x) = 0;
    // Tiny pivots that the factorisation of the last solve replaced and reported
    // (a matrix whose factorisation refuses tiny pivots has none).
    virtual unsigned zero_pivots() const { return 0; }
};

// Text of the dimension_error for an entry (i, j) outside a matrix of size n.
std::string does_not_fit(unsigned i, unsigned j, std::uint32_t n);

// One stored entry of a sparse row: value and column index counted from 0.
struct ai {
    double value;
    std::uint32_t index;
};

// One sparse row: entries sorted by ascending index, no index twice.
class SparseVector {
public:
    // Value at index i, inserted as 0.0 at its sorted place when absent.
    double& operator()(std::uint32_t i);
    // Value at index i, or 0.0 when the row holds no such entry.
    double operator()(std::uint32_t i) const;
    // One more than the largest index ever stored; 0 for a row that never held one.
    std::uint32_t dim() const { return dim_; }
    const std::vector<ai>& entries() const { return entries_; }
    std::vector<ai>& entries() { return entries_; }

private:
    std::vector<ai> entries_;
    std::uint32_t dim_ = 0;
};

// Sum of value * B[index] over the stored entries of row A.
double dot(const SparseVector& A, const Vector& B);

// Compressed-row matrix: one sparse row per matrix row.
class CR_Matrix {
public:
    explicit CR_Matrix(std::uint32_t rows = 0) : rows_(rows) {}
    std::uint32_t num_rows() const { return static_cast<std::uint32_t>(rows_.size()); }
    // Row r, counted from 0.
    SparseVector& operator[](std::uint32_t r);
    const SparseVector& operator[](std::uint32_t r) const;

private:
    std::vector<SparseVector> rows_;
};

// y = A x; y's storage is reused when its size already fits.
void multiply(const CR_Matrix& A, const Vector& x, Vector& y);
Vector operator*(const CR_Matrix& A, const Vector& x);
// Y = A X; each column as y = A x would give it.
void multiply(const CR_Matrix& A, const Matrix& X, Matrix& Y);
Matrix operator*(const CR_Matrix& A, const Matrix& X);

// A CR_Matrix's rows packed one after the other, for a matrix that is multiplied
// many times over: the same sums, in the same order, as multiply on the CR_Matrix,
// while the entries stream from memory in one run.
class PackedRows {
public:
    explicit PackedRows(const CR_Matrix& A);
    // y = A x and Y = A X; storage is reused when its size already fits.
    void multiply(const Vector& x, Vector& y) const;
    void multiply(const Matrix& X, Matrix& Y) const;

private:
    std::uint32_t columns_needed = 0;
    std::vector<std::size_t> start;
    std::vector<double> values;
    std::vector<std::uint32_t> index;
};

// How the assembly form solves. The defaults are the fast way; the reference way
// (the equations in their own order, the row-by-row kernel) is there to check it
// against. Process-wide, read when a matrix is factorised.
struct SolverChoice {
    bool reorder = true;
    bool blocked_kernel = true;
};
SolverChoice& solver_choice();

// What the last factorisation of a SparseSysMat in this process took: seconds to
// find the order (when the pattern is new) and fill the skyline, seconds to
// factorise (with the first substitution), the floating-point operations of the
// factorisation and the stored skyline entries.
struct FactorStatistics {
    double setup_seconds = 0.0;
    double factor_seconds = 0.0;
    double flops = 0.0;
    std::size_t profile_entries = 0;
};
const FactorStatistics& last_factor_statistics();

// Assembly form of a system matrix: rows grow as entries are added. It solves by
// copying itself into a skyline matrix of the right kind, which it keeps factorised
// until the next zero. The skyline takes the equations in an order of its own that
// keeps its profile small (see profile_order); right-hand sides and solutions are
// carried over, so callers see their own numbering only. The order and the skyline
// copy's profile serve every later solve while the pattern stays the same.
class SparseSysMat : public SystemMat, public CR_Matrix {
public:
    SparseSysMat(std::uint32_t n, bool symmetric);
    ~SparseSysMat() override;
    SparseSysMat(const SparseSysMat&) = delete;
    SparseSysMat& operator=(const SparseSysMat&) = delete;

    // Range test only: the pattern grows through add.
    void geometry(unsigned i, unsigned j) override;
    // Clears the values, keeps the pattern, drops the cached factorisation.
    void zero() override;
    void add(unsigned i, unsigned j, double value) override;
    // this += factor * A; the patterns merge.
    void add(const SparseSysMat& A, double factor);
    void print(const std::string& title) override;
    void solve(const Vector& b, Vector& x) override;
    // Those of the skyline matrix it solves with; 0 before the first solve.
    unsigned zero_pivots() const override { return cached ? cached->zero_pivots() : 0; }
    // Those of the symmetric skyline matrix it solves with (the number of negative
    // eigenvalues); 0 before the first solve and for a matrix that is not symmetric.
    unsigned negative_pivots() const;
    // Solves A X = B for every column of B at once (a symmetric matrix that is
    // already factorised reads its factors once for all of them).
    void solve(const Matrix& B, Matrix& X);

    bool is_symmetric() const { return symmetric; }

private:
    std::size_t stored_entries() const;
    // Equation r (from 0) of this matrix as an equation of the skyline (from 1).
    unsigned skyline_index(std::uint32_t r) const { return (order.empty() ? r : place[r]) + 1; }
    // Solves through the factorised skyline, in its order of the equations.
    void solve_ordered(const Vector& b, Vector& x);

    std::uint32_t size;
    bool symmetric;
    std::unique_ptr<SystemMat> cached;
    // The skyline copy holds this matrix's values (and, once solved, their factors).
    bool cached_current = false;
    // Entries of the pattern that the skyline copy's profile was made for.
    std::size_t cached_entries = 0;
    // The skyline holds equation order[k] at place k, and equation r at place[r];
    // empty when it keeps this matrix's own order. `ordered`: whether an order was
    // sought for the present profile.
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> place;
    bool ordered = false;
    // Floating-point operations of a factorisation and stored entries of the profile.
    double profile_flops = 0.0;
    std::size_t profile_size = 0;
};

// A vector over all degrees of freedom of the model, in three parts: free,
// prescribed and fixed (not the order of the status codes 0 prescribed, 1 fixed,
// 2 free). Within a part a dof has the index global number - 1.
class SystemVector {
public:
    SystemVector() = default;
    // Three zeroed parts of the given sizes.
    SystemVector(std::uint32_t n_free, std::uint32_t n_prescribed, std::uint32_t n_fixed);

    // Sizes the parts; their values are undefined afterwards.
    void resize(std::uint32_t n_free, std::uint32_t n_prescribed, std::uint32_t n_fixed);
    void set_zero();
    // Part-wise sum; the parts must have matching sizes.
    SystemVector& operator+=(const SystemVector& other);

    Vector& free_part() { return free_; }
    const Vector& free_part() const { return free_; }
    Vector& prescribed_part() { return prescribed_; }
    const Vector& prescribed_part() const { return prescribed_; }
    Vector& fixed_part() { return fixed_; }
    const Vector& fixed_part() const { return fixed_; }

    // Entry of a dof: its status selects the part, its global number (from 1) the
    // element. Written for KelVane::Dof, which lives in the element library.
    template <class DofType>
    double& operator()(const DofType& dof);

private:
    Vector free_;
    Vector prescribed_;
    Vector fixed_;
};

template <class DofType>
double& SystemVector::operator()(const DofType& dof)
{
    if (dof.is_free())
        return free_(dof.get_global_nr());
    if (dof.is_prescribed())
        return prescribed_(dof.get_global_nr());
    if (dof.is_fixed())
        return fixed_(dof.get_global_nr());
    throw program_error("unkown dof_fixed type in SystemVector");
}

} // namespace KelVane

#endif
