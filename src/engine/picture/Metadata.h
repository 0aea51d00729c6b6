// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace rasterblatt {

// What a picture file says about itself, read through exiv2 from the bytes the loader holds.
// A file whose metadata cannot be read has none: nothing here throws.
struct Metadata {
    int orientation = 0; // EXIF orientation 1-8, 0 when there is none
    // EXIF ColorSpace "uncalibrated" with the interoperability index "R03": the camera's
    // Adobe RGB (1998) mode, which writes no profile.
    bool adobeRgb = false;
    QByteArray iccProfile; // an embedded profile, as exiv2 finds it (PNG, TIFF, WebP)
};

// Reads only within data; safe from every thread.
Metadata readMetadata(const QByteArray& data);

} // namespace rasterblatt
