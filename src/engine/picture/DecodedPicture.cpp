// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/DecodedPicture.h"

#include <QtMath>

#include "engine/picture/Fit.h"
#include "engine/picture/PictureLoader.h"
#include "engine/picture/Units.h"

namespace rasterblatt {

QSize PictureArea::devicePixels(const QSize& natural, bool keepAspect) const
{
    const Fit<float> fit
        = fitPicture<float>(naturalTwips(natural.width()), naturalTwips(natural.height()), width, height, keepAspect);
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
        return { {}, {}, loader.reason(), {}, {} };
    DecodedPicture picture { loader.naturalSize(), {}, {}, {}, {} };
    const QSize pixels = pixelsFor(picture.natural);
    if (pixels.isEmpty())
        return picture;
    picture.image = loader.read(pixels);
    if (picture.image.isNull())
        return { {}, {}, loader.reason(), {}, {} };
    picture.colourNote = loader.colourNote();
    picture.damage = loader.damage();
    picture.metadata = loader.metadata();
    // Only what a caption shows: no profile, no raw file held open.
    picture.metadata.iccProfile.clear();
    picture.metadata.previews.clear();
    picture.metadata.file.reset();
    return picture;
}

DecodedPicture decodePicture(const QString& path, const PictureArea& area, bool keepAspect)
{
    return decodeFor(path, [&](const QSize& natural) { return area.devicePixels(natural, keepAspect); });
}

} // namespace rasterblatt
