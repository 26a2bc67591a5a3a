#pragma once

#include <cmath>

// Geometry is kept in twips, as the settings file stores it. The ratio is a
// fixed rule, not derived from the screen's DPI: Qt's high-DPI scaling
// already maps logical pixels to the device.
namespace twips {

inline constexpr int kPerPixel = 15;

inline int toPixels(double twips)
{
    return int(std::lround(twips / kPerPixel));
}
inline int fromPixels(int pixels)
{
    return pixels * kPerPixel;
}

} // namespace twips
