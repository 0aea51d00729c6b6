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

    // The device pixels the drawn rectangle covers in the box's retained image.
    QSize devicePixelSize(const FitResult& fit, const PictureBox& box)
    {
        const double dpi = box.logicalDpi();
        const double scale = box.imageScale();
        return QSize(
            qCeil(units::twipsToPixels(fit.width, dpi) * scale), qCeil(units::twipsToPixels(fit.height, dpi) * scale));
    }

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

bool showPicture(const QString& path, PictureBox& box, bool keepAspect)
{
    const float areaWidth = box.Width() - BoxMargin;
    const float areaHeight = box.Height() - BoxMargin;

    PictureLoader loader(path);
    if (!loader.isValid()) {
        box.setToolTipText(QString());
        return false;
    }

    const QSize natural = loader.naturalSize();
    const float pictureWidth = units::himetricToTwips(static_cast<float>(units::pixelsToHimetric(natural.width())));
    const float pictureHeight = units::himetricToTwips(static_cast<float>(units::pixelsToHimetric(natural.height())));
    const FitResult fit = fitPicture(pictureWidth, pictureHeight, areaWidth, areaHeight, keepAspect);

    // A box of 60 twips or less has no room: it is cleared and shows the path, like a
    // picture painted at no size, and the file is not decoded.
    QImage picture;
    if (!fit.isEmpty()) {
        picture = loader.read(devicePixelSize(fit, box));
        if (picture.isNull()) {
            box.setToolTipText(QString());
            return false;
        }
    }

    box.Cls();
    if (!picture.isNull())
        box.PaintPicture(picture, fit.x, fit.y, fit.width, fit.height);
    picture = QImage(); // only the painted copy stays
    box.setToolTipText(path);
    return true;
}

} // namespace rasterblatt
