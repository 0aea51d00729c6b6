// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Twips (1/1440 inch) are the unit of every position and size on windows, picture boxes
// and the printer; HIMETRIC (1/100 mm) is the unit of a picture's natural size.

#include <cmath>

namespace rasterblatt::units {

inline constexpr double TwipsPerInch = 1440.0;
inline constexpr double HimetricPerInch = 2540.0;
// A picture's natural size is its pixel size at this resolution.
inline constexpr double PictureDpi = 96.0;

inline double twipsToPixels(double twips, double dpi) { return twips * dpi / TwipsPerInch; }
inline double pixelsToTwips(double pixels, double dpi) { return pixels * TwipsPerInch / dpi; }

// Whole HIMETRIC units, as a picture reports its size.
inline int pixelsToHimetric(int pixels) { return static_cast<int>(std::lround(pixels * HimetricPerInch / PictureDpi)); }

inline float himetricToTwips(float himetric) { return static_cast<float>(himetric * TwipsPerInch / HimetricPerInch); }

} // namespace rasterblatt::units
