#ifndef KELVANED_VECTOR3_H
#define KELVANED_VECTOR3_H

#include <cmath>
#include <iosfwd>

// Fixed-size 3-D vector: positions, displacements, load directions, element axes.
class Vector3 {
public:
    Vector3(double x, double y, double z) : x_(x), y_(y), z_(z) {}

    Vector3& operator+=(const Vector3& b)
    {
        x_ += b.x_;
        y_ += b.y_;
        z_ += b.z_;
        return *this;
    }
    Vector3& operator-=(const Vector3& b)
    {
        x_ -= b.x_;
        y_ -= b.y_;
        z_ -= b.z_;
        return *this;
    }
    Vector3& operator*=(double s)
    {
        x_ *= s;
        y_ *= s;
        z_ *= s;
        return *this;
    }

    double norm2() const { return x_ * x_ + y_ * y_ + z_ * z_; }
    double norm() const { return std::sqrt(norm2()); }

    void get(double& x, double& y, double& z) const
    {
        x = x_;
        y = y_;
        z = z_;
    }

    friend double dot(const Vector3& a, const Vector3& b)
    {
        return a.x_ * b.x_ + a.y_ * b.y_ + a.z_ * b.z_;
    }
    friend Vector3 cross(const Vector3& a, const Vector3& b)
    {
        return Vector3(a.y_ * b.z_ - a.z_ * b.y_, a.z_ * b.x_ - a.x_ * b.z_,
                       a.x_ * b.y_ - a.y_ * b.x_);
    }

private:
    double x_;
    double y_;
    double z_;
};

inline Vector3 operator+(const Vector3& a, const Vector3& b)
{
    Vector3 sum(a);
    sum += b;
    return sum;
}

inline Vector3 operator-(const Vector3& a, const Vector3& b)
{
    Vector3 difference(a);
    difference -= b;
    return difference;
}

inline Vector3 operator*(const Vector3& a, double s)
{
    Vector3 product(a);
    product *= s;
    return product;
}

// Writes x, y and z, each in the stream's field width at the call, one blank between.
std::ostream& operator<<(std::ostream& os, const Vector3& v);

// Unit vector naming an orientation; the default (0, 0, 0) marks "no direction".
// Made from components or a vector, it is always normalised; a zero vector is refused
// with KelVane::program_error.
class Direction {
public:
    Direction() : x_(0.0), y_(0.0), z_(0.0) {}
    Direction(double x, double y, double z);
    Direction(const Vector3& v);

    void get(double& x, double& y, double& z) const
    {
        x = x_;
        y = y_;
        z = z_;
    }

private:
    double x_;
    double y_;
    double z_;
};

#endif
