// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/FitAndPaint.h"

#include <cmath>

#include <QtMath>

#include "render/PictureBox.h"
#include "render/PictureLoader.h"
#include "render/Units.h"

namespace rasterblatt {

namespace {

    // Taken off both directions of every box, with or without a visible border.
    constexpr float BoxMargin = 60.0f;

    bool isPositive(float value) { return std::isfinite(value) && value > 0; }

} // namespace

FitResult fitPicture(float pictureWidth, float pictureHeight, float areaWidth, float areaHeight, bool keepAspect)
{
    if (!isPositive(areaWidth) || !isPositive(areaHeight))
        return {};
    if (!keepAspect)
        return { 0, 0, areaWidth, areaHeight };
    if (!isPositive(pictureWidth) || !isPositive(pictureHeight))
        return {};

    const float pictureRatio = pictureWidth / pictureHeight;
    const float areaRatio = areaWidth / areaHeight;
    float width = areaWidth;
    float height = areaHeight;
    // Equal proportions take the full-width branch.
    if (pictureRatio < areaRatio)
        width = pictureWidth / pictureHeight * areaHeight;
    else
        height = pictureHeight / pictureWidth * areaWidth;
    const float x = (areaWidth - width) / 2;
    const float y = (areaHeight - height) / 2;
    return { x, y, width, height };
}

PictureArea PictureArea::of(const PictureBox& box)
{
    return { box.Width() - BoxMargin, box.Height() - BoxMargin, box.logicalDpi(), box.imageScale() };
}

QSize PictureArea::devicePixels(const QSize& natural, bool keepAspect) const
{
    const FitResult fit
        = fitPicture(naturalTwips(natural.width()), naturalTwips(natural.height()), width, height, keepAspect);
    if (fit.isEmpty())
        return {};
    return QSize(
        qCeil(units::twipsToPixels(fit.width, dpi) * scale), qCeil(units::twipsToPixels(fit.height, dpi) * scale));
}

float naturalTwips(int pixels) { return units::himetricToTwips(static_cast<float>(units::pixelsToHimetric(pixels))); }

DecodedPicture decodeFor(const QString& path, const std::function<QSize(const QSize& natural)>& pixelsFor)
{
    PictureLoader loader(path);
    if (!loader.isValid())
        return {};
    DecodedPicture picture { loader.naturalSize(), {} };
    const QSize pixels = pixelsFor(picture.natural);
    if (pixels.isEmpty())
        return picture;
    picture.image = loader.read(pixels);
    if (picture.image.isNull())
        return {};
    return picture;
}

DecodedPicture decodePicture(const QString& path, const PictureArea& area, bool keepAspect)
{
    return decodeFor(path, [&](const QSize& natural) { return area.devicePixels(natural, keepAspect); });
}

bool paintPicture(PictureBox& box, const QString& path, const DecodedPicture& picture, bool keepAspect)
{
    if (!picture.loaded()) {
        box.setToolTipText(QString());
        return false;
    }
    const PictureArea area = PictureArea::of(box);
    const FitResult fit = fitPicture(naturalTwips(picture.natural.width()), naturalTwips(picture.natural.height()),
        area.width, area.height, keepAspect);
    box.Cls();
    if (!fit.isEmpty() && !picture.image.isNull())
        box.PaintPicture(picture.image, fit.x, fit.y, fit.width, fit.height);
    box.setToolTipText(path);
    return true;
}

bool showPicture(const QString& path, PictureBox& box, bool keepAspect)
{
    return paintPicture(box, path, decodePicture(path, PictureArea::of(box), keepAspect), keepAspect);
}

} // namespace rasterblatt
