#ifndef KELVANED_TRANSMAT_H
#define KELVANED_TRANSMAT_H

#include "kvmatrix.h"

namespace KelVane {

// Sparse map from the dofs of an element's nodes (columns) to the element's own
// dofs (rows). When its last entry arrives it recognises an identity or a
// permutation and drops the entry list, so that the common elements multiply by
// copying or reindexing.
class TransformationMatrix {
public:
    // Values of get_kind().
    static constexpr unsigned not_set_up = 0;
    static constexpr unsigned identity = 1;
    static constexpr unsigned permutation = 2;
    static constexpr unsigned general = 3;

    TransformationMatrix();
    ~TransformationMatrix();
    TransformationMatrix(const TransformationMatrix&) = delete;
    TransformationMatrix& operator=(const TransformationMatrix&) = delete;

    // Makes an empty general map of rows x columns with room for nonzeros entries;
    // whatever the matrix held before is dropped.
    void init(unsigned rows, unsigned columns, unsigned nonzeros);

    // Stores T(i, j) = value (i and j counted from 1); classifies the matrix after
    // the last announced entry.
    void add(unsigned i, unsigned j, double value);

    unsigned get_kind() const { return kind; }
    unsigned get_dim1() const { return dim1; }
    unsigned get_dim2() const { return dim2; }

    friend Vector operator*(const TransformationMatrix& T, const Vector& v);
    friend Vector transpose_times(const TransformationMatrix& T, const Vector& v);
    friend Matrix congruence(const TransformationMatrix& T, const Matrix& M);

private:
    struct Entry {
        unsigned i;
        unsigned j;
        double value;
    };

    void classify();
    void release();

    unsigned dim1;
    unsigned dim2;
    unsigned kind;
    Entry* a;
    int* p;
    unsigned nr_nonzeros;
    unsigned filled;
};

// T v for a vector over the node dofs.
Vector operator*(const TransformationMatrix& T, const Vector& v);
// T^T v for a vector over the element dofs.
Vector transpose_times(const TransformationMatrix& T, const Vector& v);
// T^T M T for a matrix over the element dofs.
Matrix congruence(const TransformationMatrix& T, const Matrix& M);

} // namespace KelVane

#endif
