#include "geometry.h"

namespace KelVane {

Geometry::Geometry(std::uint32_t number) : number_(number) {}

Geometry::~Geometry() = default;

}  // namespace KelVane
