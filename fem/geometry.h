#ifndef KELVANED_GEOMETRY_H
#define KELVANED_GEOMETRY_H

#include <cstdint>

namespace KelVane {

// Numbered set of cross-section properties that elements read: the thickness of
// plane elements, the cross section and moments of inertia of bars and beams.
// Every property is 0 until the model file sets it.
class Geometry {
public:
    explicit Geometry(std::uint32_t number);
    virtual ~Geometry();

    std::uint32_t number() const { return number_; }

    void set_thick(double thick) { thick_ = thick; }
    void set_crosse(double crosse) { crosse_ = crosse; }
    void set_iy(double iy) { iy_ = iy; }
    void set_iz(double iz) { iz_ = iz; }
    void set_j(double j) { j_ = j; }

    double get_thick() const { return thick_; }
    double get_crosse() const { return crosse_; }
    double get_iz() const { return iz_; }

private:
    std::uint32_t number_;
    double thick_ = 0.0;
    double crosse_ = 0.0;
    double iy_ = 0.0;   // second moment of area about y
    double iz_ = 0.0;   // second moment of area about z (the 2-D beam)
    double j_ = 0.0;    // torsion constant
};

}  // namespace KelVane

#endif
