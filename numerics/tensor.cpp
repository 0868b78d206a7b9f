#include "tensor.h"

#include <cstddef>

#include "collect_array.h"
#include "errors.h"

void Tensor2::invariants(double* I1, double* I2, double* I3) const
{
    const Tensor2& A = *this;
    if (I1)
        *I1 = trace(A);
    if (I2)
        *I2 = (A(1, 1) * A(2, 2) - A(1, 2) * A(2, 1)) + (A(2, 2) * A(3, 3) - A(2, 3) * A(3, 2)) +
              (A(1, 1) * A(3, 3) - A(1, 3) * A(3, 1));
    if (I3)
        *I3 = det(A);
}

void Tensor2::collect(KelVane::CollectArray& array) const
{
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            array.append((*this)(i, j));
}

// ---------------------------------------------------------------------------
// Tensor2Sym

Tensor2Sym::Tensor2Sym(int index)
{
    KV_ASSERT(index==0 || index==1);
    const double diagonal = index == 1 ? 1.0 : 0.0;
    for (int k = 0; k < 3; ++k)
        data_[k] = diagonal;
    for (int k = 3; k < 6; ++k)
        data_[k] = 0.0;
}

double& Tensor2Sym::operator()(int i, int j)
{
    KV_ASSERT(i>0 && i<4);
    KV_ASSERT(j>0 && j<4);
    return i >= j ? data_[stored_index(i, j)] : data_[stored_index(j, i)];
}

void Tensor2Sym::invariants(double* I1, double* I2, double* I3) const
{
    const double a11 = data_[0], a22 = data_[1], a33 = data_[2];
    const double a12 = data_[3], a23 = data_[4], a13 = data_[5];
    if (I1)
        *I1 = a11 + a22 + a33;
    if (I2)
        *I2 = (a11 * a22 - a12 * a12) + (a22 * a33 - a23 * a23) + (a11 * a33 - a13 * a13);
    // The same expansion as det, on the stored components.
    if (I3)
        *I3 = a11 * (a22 * a33 - a23 * a23) - a12 * (a12 * a33 - a13 * a23) +
              a13 * (a12 * a23 - a13 * a22);
}

Tensor2Sym& Tensor2Sym::operator+=(const Tensor2Sym& b)
{
    for (int k = 0; k < 6; ++k)
        data_[k] += b.data_[k];
    return *this;
}

Tensor2Sym& Tensor2Sym::operator*=(double s)
{
    for (int k = 0; k < 6; ++k)
        data_[k] *= s;
    return *this;
}

// ---------------------------------------------------------------------------
// Tensor2Gen

Tensor2Gen::Tensor2Gen(int index)
{
    KV_ASSERT(index==0 || index==1);
    for (int k = 0; k < 9; ++k)
        data_[k] = 0.0;
    if (index == 1)
        data_[0] = data_[4] = data_[8] = 1.0;
}

double& Tensor2Gen::operator()(int i, int j)
{
    KV_ASSERT(i>0 && i<4);
    KV_ASSERT(j>0 && j<4);
    return data_[(i - 1) + 3 * (j - 1)];
}

Tensor2Gen& Tensor2Gen::operator+=(const Tensor2Gen& b)
{
    for (int k = 0; k < 9; ++k)
        data_[k] += b.data_[k];
    return *this;
}

// ---------------------------------------------------------------------------
// Arithmetic

Tensor2Gen operator*(const Tensor2& A, const Tensor2& B)
{
    Tensor2Gen P;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= 3; ++k)
                sum += A(i, k) * B(k, j);
            P(i, j) = sum;
        }
    return P;
}

Tensor2Gen transpose(const Tensor2Gen& A)
{
    Tensor2Gen T;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            T(i, j) = A(j, i);
    return T;
}

Tensor2Gen operator+(const Tensor2Gen& A, const Tensor2Gen& B)
{
    Tensor2Gen sum(A);
    sum += B;
    return sum;
}

Tensor2Sym operator+(const Tensor2Sym& A, const Tensor2Sym& B)
{
    Tensor2Sym sum(A);
    sum += B;
    return sum;
}

Tensor2Sym operator*(double s, const Tensor2Sym& A)
{
    Tensor2Sym product(A);
    product *= s;
    return product;
}

Tensor2Sym symmetric_part(const Tensor2& A)
{
    Tensor2Sym S(0);
    for (int i = 1; i <= 3; ++i) {
        S.elem(i, i) = A(i, i);
        for (int j = 1; j < i; ++j)
            S.elem(i, j) = (A(i, j) + A(j, i)) * 0.5;
    }
    return S;
}

Tensor2Sym AtA(const Tensor2& A)
{
    Tensor2Sym S(0);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= i; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= 3; ++k)
                sum += A(k, i) * A(k, j);
            S.elem(i, j) = sum;
        }
    return S;
}

Tensor2Sym ABAt(const Tensor2& A, const Tensor2& B)
{
    const Tensor2Gen P = A * B;
    Tensor2Sym S(0);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= i; ++j) {
            double sum = 0.0;
            for (int k = 1; k <= 3; ++k)
                sum += P(i, k) * A(j, k);
            S.elem(i, j) = sum;
        }
    return S;
}

double trace(const Tensor2& A)
{
    return A(1, 1) + A(2, 2) + A(3, 3);
}

// Expansion along the first column.
double det(const Tensor2& A)
{
    return A(1, 1) * (A(2, 2) * A(3, 3) - A(2, 3) * A(3, 2)) -
           A(2, 1) * (A(1, 2) * A(3, 3) - A(1, 3) * A(3, 2)) +
           A(3, 1) * (A(1, 2) * A(2, 3) - A(1, 3) * A(2, 2));
}

void distribute(KelVane::CollectArray& array, Tensor2Gen& A)
{
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            A(i, j) = array.read();
}

// ---------------------------------------------------------------------------
// Stress and strain vectors

namespace {

struct Component {
    int i;
    int j;
};

// The tensor components of a vector layout, in vector order.
struct Layout {
    const Component* components;
    std::size_t size;
};

constexpr Component three_dimensional[] = {{1, 1}, {2, 2}, {3, 3}, {1, 2}, {2, 3}, {3, 1}};
constexpr Component plane[] = {{1, 1}, {2, 2}, {1, 2}};
constexpr Component plane_expanded[] = {{1, 1}, {2, 2}, {3, 3}, {1, 2}};
constexpr Component axisymmetric[] = {{1, 1}, {2, 2}, {3, 3}, {1, 2}};
constexpr Component uniaxial[] = {{1, 1}};
constexpr Component uniaxial_expanded[] = {{1, 1}, {2, 2}, {3, 3}};

template <std::size_t N>
constexpr Layout layout_of(const Component (&components)[N])
{
    return Layout{components, N};
}

// The layout of a stress state; false for a code that names no state.
bool find_layout(bool expanded, int stress_state, Layout& layout)
{
    switch (stress_state) {
    case 0:
        layout = layout_of(three_dimensional);
        return true;
    case 1:
    case 2:
        layout = expanded ? layout_of(plane_expanded) : layout_of(plane);
        return true;
    case 3:
        layout = layout_of(axisymmetric);
        return true;
    case 4:
        layout = expanded ? layout_of(uniaxial_expanded) : layout_of(uniaxial);
        return true;
    default:
        return false;
    }
}

KelVane::Vector tensor_to_vector(const Tensor2& t, bool expanded, int stress_state,
                                 double shear_factor, const char* message)
{
    Layout layout;
    if (!find_layout(expanded, stress_state, layout))
        throw kelvaned_error(message);
    KelVane::Vector v(static_cast<unsigned>(layout.size));
    for (std::size_t k = 0; k < layout.size; ++k) {
        const Component c = layout.components[k];
        const double factor = c.i == c.j ? 1.0 : shear_factor;
        v(static_cast<unsigned>(k + 1)) = factor * t(c.i, c.j);
    }
    return v;
}

}  // namespace

KelVane::Vector Tensor2StrainVector(const Tensor2& t, bool expanded, int stress_state)
{
    return tensor_to_vector(t, expanded, stress_state, 2.0,
                            "undefined stress type in Tensor2StrainVector");
}

KelVane::Vector Tensor2StressVector(const Tensor2& t, bool expanded, int stress_state)
{
    return tensor_to_vector(t, expanded, stress_state, 1.0,
                            "undefined stress type in Tensor2StressVector");
}

Tensor2Sym StressVector2Tensor(const KelVane::Vector& v, bool expanded, int stress_state)
{
    Layout layout;
    if (!find_layout(expanded, stress_state, layout))
        throw kelvaned_error("undefined stress type in StressVector2Tensor");
    Tensor2Sym t(0);
    for (std::size_t k = 0; k < layout.size; ++k) {
        const Component c = layout.components[k];
        t(c.i, c.j) = v(static_cast<unsigned>(k + 1));
    }
    return t;
}
