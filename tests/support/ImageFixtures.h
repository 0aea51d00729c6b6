#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

// Picture files generated at run time: small coloured pictures encoded as JPEG, BMP or
// GIF, JPEGs that carry an EXIF orientation, and headers that promise huge pictures.
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
// The upright picture stored turned or mirrored as JPEG, with the EXIF orientation 1-8
// that shows it upright again.
QByteArray orientedJpeg(const QImage& upright, int orientation);
// A tiny "BMP" or "GIF" whose header claims width x height pixels (at most 65535).
QByteArray claiming(const char* format, int width, int height);

// Writes the bytes to the path; false when that fails.
bool writeFile(const QString& path, const QByteArray& data);

// Whether the two colours differ by at most tolerance in each channel (JPEG shifts them).
bool similarColor(const QColor& actual, const QColor& expected, int tolerance = 40);

} // namespace rasterblatt::fixtures
