#pragma once

#include <optional>

// How the lower controls follow the window: widths W - 205 while W > 205, heights H - 3700 while
// H > 3700 (outer window size, twips). At or below those limits the controls keep their size.
struct LowerAreaSize
{
    std::optional<double> width;
    std::optional<double> height;
};

inline LowerAreaSize lowerAreaSize(double outerWidth, double outerHeight)
{
    LowerAreaSize size;
    if (outerWidth > 205)
        size.width = outerWidth - 205;
    if (outerHeight > 3700)
        size.height = outerHeight - 3700;
    return size;
}
