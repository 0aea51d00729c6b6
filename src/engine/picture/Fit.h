// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>

namespace rasterblatt {

// Where a fitted picture lands: its offset from the area's top-left corner and its size.
template <typename Real> struct Fit {
    Real x = 0;
    Real y = 0;
    Real width = 0;
    Real height = 0;

    bool isEmpty() const { return !(width > 0 && height > 0); }
};

// Fits a picture of the given natural size into an area, centred; the one fitting rule of
// the picture boxes and of the sheet. Keeping the aspect, the two proportions are compared
// as 32-bit floats: a picture narrower, in proportion, than the area fills the area's
// height, one as wide or wider fills its width (equal proportions take the width); the
// picture is enlarged or reduced until it touches those edges. Without keepAspect it is
// stretched to the whole area. The drawn size and the offsets are computed in Real: float
// for a picture box on screen, double for a cell of the sheet. An area, or with keepAspect a
// picture, without a positive finite size gives an empty fit at (0, 0).
template <typename Real>
Fit<Real> fitPicture(float pictureWidth, float pictureHeight, float areaWidth, float areaHeight, bool keepAspect)
{
    const auto positive = [](float value) { return std::isfinite(value) && value > 0; };
    if (!positive(areaWidth) || !positive(areaHeight))
        return {};
    Fit<Real> fit { 0, 0, Real(areaWidth), Real(areaHeight) };
    if (!keepAspect)
        return fit;
    if (!positive(pictureWidth) || !positive(pictureHeight))
        return {};
    const float pictureRatio = pictureWidth / pictureHeight;
    const float areaRatio = areaWidth / areaHeight;
    if (pictureRatio < areaRatio)
        fit.width = Real(pictureWidth) / Real(pictureHeight) * Real(areaHeight);
    else
        fit.height = Real(pictureHeight) / Real(pictureWidth) * Real(areaWidth);
    fit.x = (Real(areaWidth) - fit.width) / 2;
    fit.y = (Real(areaHeight) - fit.height) / 2;
    return fit;
}

} // namespace rasterblatt
