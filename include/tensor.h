#ifndef KELVANED_TENSOR_H
#define KELVANED_TENSOR_H

#include "kv_assert.h"
#include "kvmatrix.h"

namespace KelVane {
class CollectArray;
}

// Second-order 3 x 3 tensor; components (i, j) are counted from 1.
class Tensor2 {
public:
    virtual ~Tensor2() = default;

    // Reference to component (i, j).
    virtual double& operator()(int i, int j) = 0;
    // Reading a component goes through the same virtual access; nothing is written.
    double operator()(int i, int j) const { return const_cast<Tensor2&>(*this)(i, j); }

    // I1 = trace, I2 = sum of the three principal 2 x 2 minors, I3 = determinant;
    // each is written only when its pointer is not null.
    virtual void invariants(double* I1, double* I2, double* I3) const;

    // Appends the nine components row by row: (1,1), (1,2), (1,3), (2,1), ... (3,3).
    void collect(KelVane::CollectArray& array) const;

protected:
    Tensor2() = default;
    Tensor2(const Tensor2&) = default;
    Tensor2& operator=(const Tensor2&) = default;
};

// Symmetric tensor: six components stored as 11, 22, 33, 21, 32, 31. (i, j) and (j, i)
// refer to the same stored component.
class Tensor2Sym : public Tensor2 {
public:
    // index 0: zero tensor; index 1: identity.
    explicit Tensor2Sym(int index);

    double& operator()(int i, int j) override;
    using Tensor2::operator();
    // Component (i, j) of the lower triangle, 1 <= j <= i <= 3.
    double& elem(int i, int j)
    {
        KV_ASSERT(i>0 && i<4);
        KV_ASSERT(j>0 && j<=i);
        return data_[stored_index(i, j)];
    }
    double elem(int i, int j) const
    {
        KV_ASSERT(i>0 && i<4);
        KV_ASSERT(j>0 && j<=i);
        return data_[stored_index(i, j)];
    }

    void invariants(double* I1, double* I2, double* I3) const override;

    Tensor2Sym& operator+=(const Tensor2Sym& b);
    Tensor2Sym& operator*=(double s);

private:
    // Position of (i, j), i >= j: the diagonal first, then 21, 32, 31.
    static int stored_index(int i, int j) { return i == j ? i - 1 : (i - j == 1 ? i + 1 : 5); }

    double data_[6];
};

// General tensor: nine components stored column by column, (i, j) at (i-1) + 3(j-1).
class Tensor2Gen : public Tensor2 {
public:
    // Components are left unset.
    Tensor2Gen() {}
    // index 0: zero tensor; index 1: identity.
    explicit Tensor2Gen(int index);

    double& operator()(int i, int j) override;
    using Tensor2::operator();

    Tensor2Gen& operator+=(const Tensor2Gen& b);

private:
    double data_[9];
};

// P(i,j) = sum_k A(i,k) B(k,j).
Tensor2Gen operator*(const Tensor2& A, const Tensor2& B);
Tensor2Gen transpose(const Tensor2Gen& A);
Tensor2Gen operator+(const Tensor2Gen& A, const Tensor2Gen& B);
Tensor2Sym operator+(const Tensor2Sym& A, const Tensor2Sym& B);
Tensor2Sym operator*(double s, const Tensor2Sym& A);

// (A + A^T) / 2.
Tensor2Sym symmetric_part(const Tensor2& A);
// A^T A.
Tensor2Sym AtA(const Tensor2& A);
// A B A^T.
Tensor2Sym ABAt(const Tensor2& A, const Tensor2& B);
double trace(const Tensor2& A);
double det(const Tensor2& A);

// Reads nine components at the array's cursor, row by row, into A.
void distribute(KelVane::CollectArray& array, Tensor2Gen& A);

// Conversions between a tensor and the vector of a stress state (0 three-dimensional,
// 1 plane strain, 2 plane stress, 3 axisymmetric, 4 uniaxial), in the component order
// 11, 22, 33, 12, 23, 31 (plane states 11, 22, 12; uniaxial 11). The expanded vectors
// add the normal components the state leaves out (plane states 33, uniaxial 22 and 33).
// Another state code throws kelvaned_error naming the function.

// Strain vector: shear components doubled (engineering shear strains).
KelVane::Vector Tensor2StrainVector(const Tensor2& t, bool expanded, int stress_state);
// Stress vector: shear components as they are.
KelVane::Vector Tensor2StressVector(const Tensor2& t, bool expanded, int stress_state);
// Symmetric tensor from a stress vector; components the state does not name are 0.
Tensor2Sym StressVector2Tensor(const KelVane::Vector& v, bool expanded, int stress_state);

#endif
