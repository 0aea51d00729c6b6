// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

#include "engine/picture/JpegDecoder.h"

namespace rasterblatt {

// Reads one picture file in two steps: the header first, which gives the upright size,
// then the pixels at the size they will be drawn, so that a big JPEG is decoded small.
// The format is taken from the content, not the name. Nothing here throws.
//
// Every picture is decoded within one budget, so that no file can take the program's
// memory or time: only regular files are opened (a FIFO or a device fails at once), a
// picture fails to load rather than take more than MemoryBudgetMegabytes (file, decoder
// buffers and pixels together) or more than DecodeSeconds of decoding (more for a big file). JPEG goes through
// libjpeg directly, which scales while decoding and lets the budget reach its own buffers;
// other formats go through QImageReader and are refused by their header's size.
//
// One loader belongs to one thread; loaders in different threads run independently.
class PictureLoader {
public:
    static constexpr int MemoryBudgetMegabytes = 512;
    // Processor time one JPEG may take to decode, plus a second for every
    // MegabytesPerExtraSecond of file: a bomb is a small file that claims much work, a big
    // photo brings the data that takes its time (150 megapixels, 50 MB: about 0.6 s).
    // On a busy machine the wall clock ends it at WallClockFactor times that.
    static constexpr int DecodeSeconds = 2;
    static constexpr int MegabytesPerExtraSecond = 10;
    static constexpr int WallClockFactor = 4;
    // A progressive JPEG with more scans is refused (cameras write about ten).
    static constexpr int MaxJpegScans = 500;
    // Formats that Qt decodes whole (BMP, GIF, PNG, ...): at most this many pixels, which
    // at four bytes a pixel is Qt's own allocation limit (128 MB, not changed here: it is
    // process-wide), so that the picture and a scaled copy stay well within the budget.
    static constexpr qint64 MaxWholePixels = 32LL * 1024 * 1024;

    explicit PictureLoader(const QString& path);

    // False for a missing, unreadable, empty, undecodable or over-budget file and for a
    // picture with no pixels.
    bool isValid() const { return !m_naturalSize.isEmpty(); }
    // The full size in pixels, upright (EXIF orientation applied).
    QSize naturalSize() const { return m_naturalSize; }
    // The size read() decodes at to cover target device pixels: the picture's own
    // proportions, at least target in both directions, at most the full picture.
    QSize decodeSize(const QSize& target) const;
    // Decodes the picture upright at decodeSize(target), or whole for an invalid target.
    // Null when decoding fails or would break the budget. Reads once: a second call gives
    // a null image.
    QImage read(const QSize& target = QSize());
    // Why the picture cannot be loaded: "„name“ kann nicht geladen werden: reason".
    QString errorString() const { return m_error; }

private:
    void fail(const QString& reason);
    QImage readJpeg(const QSize& stored);
    QImage readOther(const QSize& stored);

    QString m_path;
    QByteArray m_data;
    QString m_error;
    QSize m_naturalSize;
    QSize m_storedSize;
    bool m_jpeg = false;
    JpegHeader m_jpegHeader;
    // The EXIF orientation as the transformation that shows the stored picture upright.
    QImageIOHandler::Transformations m_transformation = QImageIOHandler::TransformationNone;
    bool m_read = false;
};

} // namespace rasterblatt
