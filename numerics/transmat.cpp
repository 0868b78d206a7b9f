#include "transmat.h"

#include "errors.h"

namespace KelVane {

namespace {

// Products need a matrix that has been set up; this comes before any size check.
void require_set_up(unsigned kind)
{
    if (kind != TransformationMatrix::identity && kind != TransformationMatrix::permutation
        && kind != TransformationMatrix::general)
        throw program_error("TransformationMatrix not initialized yet");
}

} // namespace

TransformationMatrix::TransformationMatrix()
    : dim1(0), dim2(0), kind(not_set_up), a(nullptr), p(nullptr), nr_nonzeros(0), filled(0)
{
}

TransformationMatrix::~TransformationMatrix()
{
    release();
}

void TransformationMatrix::release()
{
    delete[] a;
    a = nullptr;
    delete[] p;
    p = nullptr;
}

void TransformationMatrix::init(unsigned rows, unsigned columns, unsigned nonzeros)
{
    release();
    dim1 = rows;
    dim2 = columns;
    nr_nonzeros = nonzeros;
    filled = 0;
    a = new Entry[nonzeros];
    kind = general;
}

void TransformationMatrix::add(unsigned i, unsigned j, double value)
{
    KV_ASSERT(filled < nr_nonzeros);
    KV_ASSERT(i>0 && j>0 && i<=dim1 && j<=dim2);
    for (unsigned m = 0; m < filled; ++m) KV_ASSERT(!( a[m].i==i && a[m].j==j ));
    a[filled].i = i;
    a[filled].j = j;
    a[filled].value = value;
    ++filled;
    if (filled == nr_nonzeros) classify();
}

void TransformationMatrix::classify()
{
    // An identity needs one unit entry on every diagonal position; since no position
    // comes twice, nr_nonzeros == dim1 unit entries with i == j are exactly that.
    bool is_identity = dim1 == dim2 && nr_nonzeros == dim1;
    for (unsigned m = 0; m < nr_nonzeros; ++m) {
        if (a[m].value != 1.0) return;
        if (a[m].i != a[m].j) is_identity = false;
    }
    if (is_identity) {
        release();
        kind = identity;
        return;
    }
    // Every entry is 1.0: each row selects at most one node dof.
    p = new int[dim1];
    for (unsigned r = 0; r < dim1; ++r) p[r] = -1;
    for (unsigned m = 0; m < nr_nonzeros; ++m) {
        KV_ASSERT(p[(a[m].i)-1]== -1);
        p[a[m].i - 1] = static_cast<int>(a[m].j);
    }
    delete[] a;
    a = nullptr;
    kind = permutation;
}

Vector operator*(const TransformationMatrix& T, const Vector& v)
{
    require_set_up(T.kind);
    const unsigned dim2 = T.dim2;
    KV_ASSERT(v.size() == dim2);
    switch (T.kind) {
    case TransformationMatrix::identity:
        return v;
    case TransformationMatrix::permutation: {
        Vector result(T.dim1);
        for (unsigned i = 0; i < T.dim1; ++i)
            result[i] = T.p[i] != -1 ? v(static_cast<unsigned>(T.p[i])) : 0.0;
        return result;
    }
    default: { // general map
        Vector result(T.dim1, 0.0);
        for (unsigned m = 0; m < T.filled; ++m) result(T.a[m].i) += T.a[m].value * v(T.a[m].j);
        return result;
    }
    }
}

Vector transpose_times(const TransformationMatrix& T, const Vector& v)
{
    require_set_up(T.kind);
    const unsigned dim1 = T.dim1;
    KV_ASSERT(v.size() == dim1);
    switch (T.kind) {
    case TransformationMatrix::identity:
        return v;
    case TransformationMatrix::permutation: {
        Vector result(T.dim2, 0.0);
        for (unsigned i = 0; i < dim1; ++i)
            if (T.p[i] != -1) result(static_cast<unsigned>(T.p[i])) += v[i];
        return result;
    }
    default: { // general map
        Vector result(T.dim2, 0.0);
        for (unsigned m = 0; m < T.filled; ++m) result(T.a[m].j) += T.a[m].value * v(T.a[m].i);
        return result;
    }
    }
}

Matrix congruence(const TransformationMatrix& T, const Matrix& M)
{
    require_set_up(T.kind);
    const unsigned dim1 = T.dim1;
    KV_ASSERT(M.size1() == dim1 && M.size2() == dim1);
    switch (T.kind) {
    case TransformationMatrix::identity:
        return M;
    case TransformationMatrix::permutation: {
        Matrix R(T.dim2, T.dim2, 0.0);
        for (unsigned k = 0; k < dim1; ++k) {
            if (T.p[k] == -1) continue;
            const unsigned row = static_cast<unsigned>(T.p[k]);
            for (unsigned i = 0; i < dim1; ++i)
                if (T.p[i] != -1) R(row, static_cast<unsigned>(T.p[i])) += M[k][i];
        }
        return R;
    }
    default: { // general map
        // W = M T, then R = T^T W.
        Matrix W(dim1, T.dim2, 0.0);
        for (unsigned m = 0; m < T.filled; ++m) {
            const unsigned i = T.a[m].i - 1;
            const unsigned j = T.a[m].j - 1;
            const double value = T.a[m].value;
            for (unsigned r = 0; r < dim1; ++r) W[r][j] += M[r][i] * value;
        }
        Matrix R(T.dim2, T.dim2, 0.0);
        for (unsigned m = 0; m < T.filled; ++m) {
            const double* w_row = W[T.a[m].i - 1];
            double* r_row = R[T.a[m].j - 1];
            const double value = T.a[m].value;
            for (unsigned c = 0; c < T.dim2; ++c) r_row[c] += value * w_row[c];
        }
        return R;
    }
    }
}

} // namespace KelVane
