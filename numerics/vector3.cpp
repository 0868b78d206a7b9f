#include "vector3.h"

#include <cmath>
#include <ostream>

#include "errors.h"

namespace {

const char* const zero_length_message = "illegal direction, length = 0";

// Scales (x, y, z) to unit length; refuses a zero vector, one with a component that is
// not finite, and one whose length is not a number. Components so large that the
// squared length overflows are brought down first rather than collapsing to zero.
void normalise(double& x, double& y, double& z, double length2)
{
    if (std::isinf(length2) && std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) {
        const double largest = std::fmax(std::fabs(x), std::fmax(std::fabs(y), std::fabs(z)));
        x /= largest;
        y /= largest;
        z /= largest;
        length2 = x * x + y * y + z * z;
    }
    if (!(length2 > 0.0) || std::isinf(length2)) throw KelVane::program_error(zero_length_message);
    const double scale = 1.0 / std::sqrt(length2);
    x *= scale;
    y *= scale;
    z *= scale;
}

} // namespace

std::ostream& operator<<(std::ostream& os, const Vector3& v)
{
    const std::streamsize width = os.width();
    os.width(0);
    double x, y, z;
    v.get(x, y, z);
    os.width(width);
    os << x;
    os << ' ';
    os.width(width);
    os << y;
    os << ' ';
    os.width(width);
    os << z;
    return os;
}

Direction::Direction(double x, double y, double z) : x_(x), y_(y), z_(z)
{
    const double length2 = x * x + y * y + z * z;
    // A unit vector is kept bit for bit.
    if (length2 == 1.0) return;
    normalise(x_, y_, z_, length2);
}

Direction::Direction(const Vector3& v) : x_(0.0), y_(0.0), z_(0.0)
{
    v.get(x_, y_, z_);
    normalise(x_, y_, z_, v.norm2());
}
