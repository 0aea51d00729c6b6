// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Picture files generated at run time.
namespace rasterblatt::fixtures {

// The colours of quadrants() from top-left (0) to bottom-right (3).
QColor quadrantColor(int quadrant);
QImage filled(const QSize& size, const QColor& color);
// Four differently coloured quadrants, so that a turned or mirrored picture shows.
QImage quadrants(const QSize& size);

// ImageMagick's convert with these arguments and this standard input: its standard output. A failure ends the test.
QByteArray magick(const QStringList& arguments, const QByteArray& input = {});
// "JPEG" (best quality), "BMP" or "GIF" (Qt writes no GIF: ImageMagick does).
QByteArray encode(const QImage& image, const char* format);
// The picture stored turned or mirrored so that the EXIF orientation (1-8) shows it upright.
QImage oriented(const QImage& upright, int orientation);
// The upright picture stored turned or mirrored as JPEG, with the EXIF orientation (1-8) that
// shows it upright again.
QByteArray orientedJpeg(const QImage& upright, int orientation);
// A tiny "BMP", "GIF", "PNG", "TIFF" or "HEIC" whose header claims width x height pixels
// (BMP and GIF at most 65535), or a "WEBP" that claims 16383 x 16383, its most.
QByteArray claiming(const char* format, int width, int height);
// The upright picture as HEIC, stored turned or mirrored with the orientation (1-8) in its
// container that shows it upright again; with a thumbnail of another picture when one is given.
// Tagged with the colour primaries numbered as in ITU-T H.273 (12: Display P3) and sRGB's curve, when given.
// With an EXIF block (exifBlock) when given.
QByteArray heic(const QImage& upright, int orientation = 1, const QImage& thumbnail = {}, int primaries = 0,
    const QByteArray& exif = {});
// An EXIF block (TIFF) of "Exif.Photo.FNumber=28/10" entries, in exiv2's keys and text forms;
// the JPEG with it in an APP1 segment after its JFIF segment.
QByteArray exifBlock(const QStringList& entries);
QByteArray withExif(const QByteArray& jpeg, const QStringList& entries);
// The JPEG with the ICC profile in APP2 "ICC_PROFILE" markers, split over that many (or as many as it takes).
QByteArray withIcc(const QByteArray& jpeg, const QByteArray& profile, int markers = 1);
// A HEIC whose picture is a grid of columns x rows tiles of 64 x 64 pixels (all the same tile).
QByteArray heicGrid(int columns, int rows);

// Creates the file's folders first. Bytes name any file, also one whose name is not UTF-8.
bool writeFile(const QString& path, const QByteArray& data);
bool writeFile(const QByteArray& nativePath, const QByteArray& data);
QByteArray readFile(const QString& path);
// Whether the colours differ by at most tolerance in each channel (JPEG shifts them).
bool similarColor(const QColor& actual, const QColor& expected, int tolerance = 40);

} // namespace rasterblatt::fixtures
