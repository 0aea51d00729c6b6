// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>

namespace Exiv2 {
class Image;
}

namespace rasterblatt {

// A preview that a file embeds (a camera's raw file), as exiv2 finds it.
struct EmbeddedPreview {
    QSize size; // as stored
    qint64 bytes = 0;
    bool jpeg = false; // else in a TIFF of its own
    int id = 0; // exiv2's, to find it again
    // Where a JPEG that lies in the file as it is starts (then id is ours, below 0); else -1.
    qint64 offset = -1;
};

// What a picture file says about itself, read through exiv2 from the bytes the loader holds.
// A file whose metadata cannot be read has none: nothing here throws.
struct Metadata {
    int orientation = 0; // EXIF orientation 1-8, 0 when there is none
    // EXIF ColorSpace "uncalibrated" with the interoperability index "R03": the camera's
    // Adobe RGB (1998) mode, which writes no profile.
    bool adobeRgb = false;
    QByteArray iccProfile; // an embedded profile, as exiv2 finds it (PNG, TIFF, WebP)
    QList<EmbeddedPreview> previews; // read by readFileMetadata only
    std::shared_ptr<Exiv2::Image> file; // as readFileMetadata read it, to take its previews from
    int rating = 0; // 0-5 from XMP xmp:Rating, else EXIF Rating; "rejected" (-1) counts as 0
    // When the picture was taken, as the camera's clock said (no time zone), with its
    // fractions of a second; invalid when the file does not say.
    QDateTime captureTime;
    double exposureSeconds = 0; // 0 where unknown, as the three below
    double fNumber = 0;
    long iso = 0;
    double focalLength = 0; // millimetres
};

// Reads only within data; safe from every thread. A HEIC or HEIF whose EXIF exiv2 cannot
// reach gives it through libheif.
Metadata readMetadata(const QByteArray& data);
// Reads a file's metadata from its head, the whole file only where the head does not hold it.
Metadata readHeadMetadata(const QString& path);
// The same, with the previews, from a file too large to hold (a camera's raw file, by its native
// path): exiv2 maps it and touches only its directories and what it is asked for.
Metadata readFileMetadata(const QByteArray& file);
// The bytes of a preview that readFileMetadata found; empty when it can no longer be read.
QByteArray readEmbeddedPreview(const Metadata& metadata, const EmbeddedPreview& preview);

// The rating of the picture file at path: that of its XMP sidecar ("NAME.xmp" or
// "NAME.EXT.xmp", as photo editors write them) where one gives it, else the file's own.
// Only regular files are read, and of them only their metadata; 0 when there is none.
int readRating(const QString& path);

// The caption lines under a picture: "11.08.2024 09:20" and "1/250 s  f/8  ISO 200  35 mm",
// each part only where the picture has it; empty where it has none.
QString captureTimeText(const Metadata& metadata);
QString exposureText(const Metadata& metadata);

} // namespace rasterblatt
