#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

// Picture files generated at run time: the encoded bytes of small coloured pictures in
// JPEG, BMP and GIF, JPEGs that carry an EXIF orientation, and headers that promise
// pictures far larger than the file.
namespace rasterblatt::fixtures {

// The colour of quadrant 0 (top-left), 1 (top-right), 2 (bottom-left) or 3 (bottom-right)
// of quadrants().
QColor quadrantColor(int quadrant);
QImage filled(const QSize& size, const QColor& color);
// Four differently coloured quadrants, so that a turned or mirrored picture shows.
QImage quadrants(const QSize& size);

// "JPEG" (best quality), "BMP" or "GIF" (Qt writes no GIF; this one is ours, at most
// 256 colours). Empty for another format.
QByteArray encode(const QImage& image, const char* format);

// The picture a camera stores so that a viewer applying EXIF orientation 1-8 shows
// upright.
QImage storedForOrientation(const QImage& upright, int orientation);
// The JPEG with an EXIF segment whose only tag is the orientation.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);
// An upright picture stored turned or mirrored, JPEG with that EXIF orientation.
QByteArray orientedJpeg(const QImage& upright, int orientation);

// Headers of uncompressed 24-bit BMP and of GIF that claim a picture of the given size,
// followed by a few bytes of pixel data.
QByteArray bmpClaiming(int width, int height);
QByteArray gifClaiming(int width, int height);

// Writes the bytes to the path; false when that fails.
bool writeFile(const QString& path, const QByteArray& data);

// Whether the two colours differ by at most tolerance in each channel (JPEG shifts them).
bool similarColor(const QColor& actual, const QColor& expected, int tolerance = 40);

// The process's peak resident memory so far in kilobytes (VmHWM), -1 when unknown.
qint64 peakResidentKilobytes();

} // namespace rasterblatt::fixtures
