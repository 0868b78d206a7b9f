#include "sysmat.h"

namespace KelVane {

SystemVector::SystemVector(std::uint32_t n_free, std::uint32_t n_prescribed,
                           std::uint32_t n_fixed)
    : free_(n_free, 0.0), prescribed_(n_prescribed, 0.0), fixed_(n_fixed, 0.0)
{
}

void SystemVector::resize(std::uint32_t n_free, std::uint32_t n_prescribed,
                          std::uint32_t n_fixed)
{
    free_.resize(n_free);
    prescribed_.resize(n_prescribed);
    fixed_.resize(n_fixed);
}

void SystemVector::set_zero()
{
    free_.set_zero();
    prescribed_.set_zero();
    fixed_.set_zero();
}

SystemVector& SystemVector::operator+=(const SystemVector& other)
{
    free_ += other.free_;
    prescribed_ += other.prescribed_;
    fixed_ += other.fixed_;
    return *this;
}

} // namespace KelVane
