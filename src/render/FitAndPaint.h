// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QImage>
#include <QSize>
#include <QString>

namespace rasterblatt {

class PictureBox;

// Where a fitted picture lands: twips from the top-left corner of the available area.
struct FitResult {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;

    bool isEmpty() const { return !(width > 0 && height > 0); }
};

// Fits a picture of the given natural size into an area, centred: with keepAspect it
// touches the area's edges in one direction (enlarged or reduced as needed), without it
// fills the area. Every intermediate value is a float. An area, or with keepAspect a
// picture, without a positive finite size gives an empty result.
FitResult fitPicture(float pictureWidth, float pictureHeight, float areaWidth, float areaHeight, bool keepAspect);

// A picture decoded for drawing: its full upright size and its pixels at the size asked
// for (or larger). A picture that failed to load has no natural size.
struct DecodedPicture {
    QSize natural;
    QImage image;

    bool loaded() const { return !natural.isEmpty(); }
};

// What decoding for a picture box needs to know of it, taken on the user-interface thread
// so that the decoding itself can run on any thread.
struct PictureArea {
    float width = 0; // twips of the drawing area, the box's margin taken off
    float height = 0;
    double dpi = 96;
    double scale = 1; // device pixels per logical pixel

    static PictureArea of(const PictureBox& box);
    // The device pixels the picture covers when fitted into the area; empty when it does not fit.
    QSize devicePixels(const QSize& natural, bool keepAspect) const;
};

// A picture's natural size in twips: its pixels at 96 dpi, through whole HIMETRIC units.
float naturalTwips(int pixels);

// Loads the file and decodes it for the device pixels pixelsFor asks of its natural size (or
// more). Safe on any thread. Where no pixels are asked for, the picture keeps its natural size
// but is not decoded.
DecodedPicture decodeFor(const QString& path, const std::function<QSize(const QSize& natural)>& pixelsFor);
// decodeFor the area: a picture that has no room in it (60 twips or less) is not decoded.
DecodedPicture decodePicture(const QString& path, const PictureArea& area, bool keepAspect);

// Paints a decoded picture, fitted and centred, into the box; the box's tooltip then holds
// the path. A picture that failed to load leaves the drawing as it was, empties the tooltip
// and gives false.
bool paintPicture(PictureBox& box, const QString& path, const DecodedPicture& picture, bool keepAspect);

// Loads the file and paints it into the box: decodePicture, then paintPicture. Nothing is thrown.
bool showPicture(const QString& path, PictureBox& box, bool keepAspect);

} // namespace rasterblatt
