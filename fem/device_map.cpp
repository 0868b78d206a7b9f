#include "device_map.h"

#include <climits>

DeviceMap device_map;

namespace {

// Truncates toward zero and saturates at +-limit. The comparison happens in
// floating point, before the conversion, because converting a value outside the
// int range is undefined; NaN has no position and maps to 0.
int truncate_clamped(float value, float limit)
{
    if (value != value) return 0;
    if (value >= limit) return static_cast<int>(limit);
    if (value <= -limit) return -static_cast<int>(limit);
    return static_cast<int>(value);
}

}  // namespace

void DeviceMap::set_origin(float new_x0, float new_y0)
{
    x0 = new_x0;
    y0 = new_y0;
}

void DeviceMap::set_scale(float s)
{
    scale = (s >= min_scale) ? s : min_scale;
}

int DeviceMap::dev_length(float length) const
{
    // No clamp to the window, only to what an int holds. 2^31 is exactly
    // representable as a float, INT_MAX is not.
    const float value = length * scale;
    if (value != value) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

int DeviceMap::dev_x(float x) const
{
    return truncate_clamped(x * scale - x0, static_cast<float>(max_device));
}

int DeviceMap::dev_y(float y) const
{
    return truncate_clamped(y0 - y * scale, static_cast<float>(max_device));
}

float DeviceMap::world_x(float device_x) const
{
    return (device_x + x0) / scale;
}

float DeviceMap::world_y(float device_y) const
{
    return (y0 - device_y) / scale;
}

void DeviceMap::shift_x(float d)
{
    x0 += d;
}

void DeviceMap::shift_y(float d)
{
    y0 -= d;
}

void DeviceMap::zoom(float f)
{
    set_scale(scale * f);
}
