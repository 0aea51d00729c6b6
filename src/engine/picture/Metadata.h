// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace rasterblatt {

// What a picture file says about itself, read through exiv2 from the bytes the loader holds.
// A file whose metadata cannot be read has none: nothing here throws.
struct Metadata {
    int orientation = 0; // EXIF orientation 1-8, 0 when there is none
    // EXIF ColorSpace "uncalibrated" with the interoperability index "R03": the camera's
    // Adobe RGB (1998) mode, which writes no profile.
    bool adobeRgb = false;
    QByteArray iccProfile; // an embedded profile, as exiv2 finds it (PNG, TIFF, WebP)
    int rating = 0; // 0-5 from XMP xmp:Rating, else EXIF Rating; "rejected" (-1) counts as 0
};

// Reads only within data; safe from every thread.
Metadata readMetadata(const QByteArray& data);

// The rating of the picture file at path: that of its XMP sidecar ("NAME.xmp" or
// "NAME.EXT.xmp", as photo editors write them) where one gives it, else the file's own.
// Only regular files are read, and of them only their metadata; 0 when there is none.
int readRating(const QString& path);

} // namespace rasterblatt
