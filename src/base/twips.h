#pragma once

#include <QRect>
#include <cmath>

// Window geometry is specified in twips (1/1440 inch): 15 twips make one pixel at 96 dpi, and Qt
// scales logical pixels for high-density screens.
namespace Twips {
constexpr int perPixel = 15;

inline int toPixels(double twips)
{
    return int(std::lround(twips / perPixel));
}
inline double fromPixels(int pixels)
{
    return double(pixels) * perPixel;
}
inline QRect rect(double left, double top, double width, double height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
} // namespace Twips
