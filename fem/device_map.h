#ifndef KELVANED_DEVICE_MAP_H
#define KELVANED_DEVICE_MAP_H

#include <wx/gdicmn.h>

// The map from model (world) coordinates to device coordinates through which
// every element outline and node is drawn. World y points up, device y down:
//   device x = world x * scale - x0,   device y = y0 - world y * scale.
// Device coordinates are clamped to +-10000 so that an extreme zoom distorts
// the picture instead of overflowing the drawing context.
class DeviceMap {
public:
    static constexpr float min_scale = 1e-10f;
    static constexpr int max_device = 10000;

    void set_origin(float x0, float y0);
    // Scales below min_scale (and NaN) store min_scale.
    void set_scale(float s);

    int dev_length(float length) const;
    int dev_x(float x) const;
    int dev_y(float y) const;
    wxPoint to_device(float x, float y) const { return wxPoint(dev_x(x), dev_y(y)); }

    float world_x(float device_x) const;
    float world_y(float device_y) const;

    void shift_x(float d);
    void shift_y(float d);
    // Multiplies the scale by f, never going below min_scale.
    void zoom(float f);

    float get_x0() const { return x0; }
    float get_y0() const { return y0; }
    float get_scale() const { return scale; }

private:
    float x0 = 0.0f;
    float y0 = 0.0f;
    float scale = 1.0f;
};

// The one process-wide map, changed by the canvas's fit, zoom and pan.
extern DeviceMap device_map;

#endif
