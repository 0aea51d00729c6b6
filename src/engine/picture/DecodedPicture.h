// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QImage>
#include <QSize>
#include <QString>

#include "engine/common/Error.h"
#include "engine/picture/Metadata.h"

namespace rasterblatt {

// A picture decoded for drawing: its full upright size and its pixels at the size asked
// for (or larger). A picture that failed to load has no natural size, and error says why
// (Damaged, PictureBeyondBudget, ...: errorText makes its words).
struct DecodedPicture {
    QSize natural;
    QImage image;
    Error error;
    QString colourNote; // why the picture kept its own colours (PictureLoader::colourNote)
    Error damage; // why a picture that loaded is incomplete (PictureLoader::damage)
    Metadata metadata = {}; // its capture time and exposure (no profile)

    bool loaded() const { return !natural.isEmpty(); }
};

// The area a picture is fitted into on a screen, as plain values, so that decoding for it
// can run on any thread.
struct PictureArea {
    float width = 0; // twips
    float height = 0;
    double dpi = 96;
    double scale = 1; // device pixels per logical pixel

    // The device pixels the picture covers when fitted into the area; empty when it does not fit.
    QSize devicePixels(const QSize& natural, bool keepAspect) const;
};

// A picture's natural size in twips: its pixels at 96 dpi, through whole HIMETRIC units.
float naturalTwips(int pixels);

// Loads the file and decodes it for the device pixels pixelsFor asks of its natural size (or
// more). Safe on any thread; nothing is thrown. Where no pixels are asked for, the picture
// keeps its natural size but is not decoded.
DecodedPicture decodeFor(const QString& path, const std::function<QSize(const QSize& natural)>& pixelsFor);
// decodeFor the area: a picture that has no room in it is not decoded.
DecodedPicture decodePicture(const QString& path, const PictureArea& area, bool keepAspect);

} // namespace rasterblatt
