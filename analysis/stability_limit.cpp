#include "stability_limit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "domain.h"
#include "kvmatrix.h"
#include "transmat.h"

namespace {

// The largest eigenvalue of the symmetric matrix A (destroyed), by cyclic Jacobi
// rotations to the last digits.
double largest_symmetric_eigenvalue(KelVane::Matrix& A);

// An element with stiffness at some of its free dofs: those dofs (counted from 1
// in the element's node-dof order), their equations, and its stiffness and mass
// over its node dofs.
struct StiffElement {
    std::vector<unsigned> rows;
    std::vector<std::uint32_t> equations;
    KelVane::Matrix stiffness;
    KelVane::Matrix mass;
};

KelVane::Matrix in_node_dofs(const KelVane::TransformationMatrix& T, const KelVane::Matrix& local)
{
    if (T.get_kind() == KelVane::TransformationMatrix::identity) return local;
    return congruence(T, local);
}

// The largest eigenvalue of K x = lambda M x with M symmetric positive definite:
// that of L^-1 K L^-T with M = L L^T. Negative when M is not positive definite.
double largest_generalized_eigenvalue(const KelVane::Matrix& K, KelVane::Matrix M)
{
    const unsigned n = K.size1();
    // Cholesky factor in the lower triangle of M.
    for (unsigned j = 1; j <= n; ++j) {
        double pivot = M(j, j);
        for (unsigned k = 1; k < j; ++k) pivot -= M(j, k) * M(j, k);
        if (!(pivot > 0.0)) return -1.0;
        M(j, j) = std::sqrt(pivot);
        for (unsigned i = j + 1; i <= n; ++i) {
            double entry = M(i, j);
            for (unsigned k = 1; k < j; ++k) entry -= M(i, k) * M(j, k);
            M(i, j) = entry / M(j, j);
        }
    }
    // Y = L^-1 K by columns, then C = L^-1 Y^T.
    auto forward = [&](KelVane::Matrix& B) {
        for (unsigned c = 1; c <= n; ++c)
            for (unsigned i = 1; i <= n; ++i) {
                double entry = B(i, c);
                for (unsigned k = 1; k < i; ++k) entry -= M(i, k) * B(k, c);
                B(i, c) = entry / M(i, i);
            }
    };
    KelVane::Matrix Y(n, n);
    for (unsigned i = 1; i <= n; ++i)
        for (unsigned j = 1; j <= n; ++j) Y(i, j) = 0.5 * (K(i, j) + K(j, i));
    forward(Y);
    KelVane::Matrix C(n, n);
    for (unsigned i = 1; i <= n; ++i)
        for (unsigned j = 1; j <= n; ++j) C(i, j) = Y(j, i);
    forward(C);
    for (unsigned i = 1; i <= n; ++i)
        for (unsigned j = 1; j < i; ++j) C(i, j) = C(j, i) = 0.5 * (C(i, j) + C(j, i));
    return largest_symmetric_eigenvalue(C);
}

double largest_symmetric_eigenvalue(KelVane::Matrix& A)
{
    const unsigned n = A.size1();
    if (n == 0) return 0.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        double whole = 0.0;
        for (unsigned i = 1; i <= n; ++i)
            for (unsigned j = 1; j <= n; ++j) {
                whole += A(i, j) * A(i, j);
                if (i != j) off += A(i, j) * A(i, j);
            }
        if (!(off > 1e-32 * whole)) break;
        for (unsigned p = 1; p < n; ++p)
            for (unsigned q = p + 1; q <= n; ++q) {
                if (A(p, q) == 0.0) continue;
                // The rotation that zeroes A(p, q).
                const double theta = (A(q, q) - A(p, p)) / (2.0 * A(p, q));
                const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (unsigned k = 1; k <= n; ++k) {
                    const double akp = A(k, p);
                    const double akq = A(k, q);
                    A(k, p) = c * akp - s * akq;
                    A(k, q) = s * akp + c * akq;
                }
                for (unsigned k = 1; k <= n; ++k) {
                    const double apk = A(p, k);
                    const double aqk = A(q, k);
                    A(p, k) = c * apk - s * aqk;
                    A(q, k) = s * apk + c * aqk;
                }
            }
    }
    double largest = A(1, 1);
    for (unsigned i = 2; i <= n; ++i) largest = std::max(largest, A(i, i));
    return largest;
}

}  // namespace

double largest_frequency_bound(MyDomain& model, bool lumped)
{
    const std::uint32_t n = model.n_free;
    KelVane::Vector diagonal_stiffness(n);
    diagonal_stiffness.set_zero();
    // Lumped: the model's diagonal mass; consistent: the masses of the elements
    // without stiffness.
    KelVane::Vector shared_mass(n);
    shared_mass.set_zero();
    std::vector<StiffElement> stiff;
    for (FiniteElement* element : model.elements) {
        KelVane::Vector forces;
        const KelVane::TransformationMatrix& T = element->get_transformation();
        StiffElement entry;
        entry.stiffness = in_node_dofs(T, element->stiffness_matrix(forces));
        entry.mass = in_node_dofs(T, element->mass_matrix(lumped));
        const unsigned dofs = element->get_nr_node_dofs();
        bool has_stiffness = false;
        bool diagonal_mass = true;
        for (unsigned i = 1; i <= dofs; ++i) {
            const KelVane::Dof& dof = *element->get_dof(i - 1);
            if (!dof.is_free()) continue;
            entry.rows.push_back(i);
            entry.equations.push_back(dof.get_global_nr());
            if (entry.stiffness(i, i) > 0.0) has_stiffness = true;
        }
        for (unsigned a : entry.rows)
            for (unsigned b : entry.rows)
                if (a != b && entry.mass(a, b) != 0.0) diagonal_mass = false;
        // Lumped masses are their diagonals. A consistent mass of no stiffness that
        // couples its dofs is left out: less mass only raises the bound.
        if (lumped || (!has_stiffness && diagonal_mass))
            for (std::size_t r = 0; r < entry.rows.size(); ++r)
                shared_mass(entry.equations[r]) += entry.mass(entry.rows[r], entry.rows[r]);
        if (!has_stiffness) continue;
        for (std::size_t r = 0; r < entry.rows.size(); ++r)
            diagonal_stiffness(entry.equations[r]) +=
                std::max(0.0, entry.stiffness(entry.rows[r], entry.rows[r]));
        stiff.push_back(std::move(entry));
    }

    double largest = 0.0;
    for (const StiffElement& element : stiff) {
        // A dof without stiffness in the element has a row and column of zeros:
        // with lumped masses it leaves the largest eigenvalue as it is; a
        // consistent mass couples it to the others, so it stays.
        std::vector<unsigned> rows;
        std::vector<std::uint32_t> equations;
        for (std::size_t r = 0; r < element.rows.size(); ++r) {
            if (lumped && !(element.stiffness(element.rows[r], element.rows[r]) > 0.0)) continue;
            rows.push_back(element.rows[r]);
            equations.push_back(element.equations[r]);
        }
        const unsigned m = static_cast<unsigned>(rows.size());
        KelVane::Matrix K(m, m);
        KelVane::Matrix M(m, m, 0.0);
        for (unsigned a = 0; a < m; ++a) {
            for (unsigned b = 0; b < m; ++b) {
                K(a + 1, b + 1) = element.stiffness(rows[a], rows[b]);
                if (!lumped) M(a + 1, b + 1) = element.mass(rows[a], rows[b]);
            }
            const std::uint32_t equation = equations[a];
            const double own = element.stiffness(rows[a], rows[a]);
            if (own > 0.0)
                M(a + 1, a + 1) += shared_mass(equation) * (own / diagonal_stiffness(equation));
        }
        const double eigenvalue = largest_generalized_eigenvalue(K, M);
        if (eigenvalue < 0.0) return -1.0;
        largest = std::max(largest, eigenvalue);
    }
    return std::sqrt(largest);
}
