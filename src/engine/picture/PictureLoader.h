// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

#include "engine/picture/ColourConversion.h"
#include "engine/picture/HeifDecoder.h"
#include "engine/picture/JpegDecoder.h"
#include "engine/picture/MemoryBudget.h"
#include "engine/picture/Metadata.h"
#include "engine/picture/RawDecoder.h"

namespace rasterblatt {

// Reads one picture file in two steps: the header first, which gives the upright size,
// then the pixels at the size they will be drawn, so that a big JPEG is decoded small.
// The format is taken from the content, not the name. Nothing here throws.
//
// No file can take the program's memory or time: only regular files are opened (a FIFO or
// a device fails at once), the header is read before the rest of the file and refuses a
// picture that claims too many pixels, and every decode first reserves what it needs (file,
// decoder buffers and pixels together) from the process's memory budget, waiting while other
// decodes hold it; a picture that needs more than the whole budget fails to load. A JPEG may
// take at most DecodeSeconds of decoding (more for a big file). JPEG goes through libjpeg
// (JpegDecoder), which scales while decoding and lets the budget reach its own buffers; HEIC
// and HEIF through libheif (HeifDecoder), from a thumbnail where one is large enough; other
// formats (BMP, GIF, PNG, TIFF, WebP) through QImageReader, which decodes them whole. A camera's
// raw file (by its name or its content) gives the preview it embeds that suits the size (RawDecoder).
//
// One loader belongs to one thread; loaders in different threads run independently.
class PictureLoader {
public:
    // Processor time one JPEG may take to decode, plus a second for every
    // MegabytesPerExtraSecond of file: a bomb is a small file that claims much work, a big
    // photo brings the data that takes its time (150 megapixels, 50 MB: about 0.6 s).
    // On a busy machine the wall clock ends it at WallClockFactor times that.
    static constexpr int DecodeSeconds = 2;
    static constexpr int MegabytesPerExtraSecond = 10;
    static constexpr int WallClockFactor = 4;
    // A progressive JPEG with more scans is refused (cameras write about ten).
    static constexpr int MaxJpegScans = 500;
    // Pictures decoded whole (BMP, GIF, PNG, TIFF, WebP, HEIF): at most this many pixels,
    // refused from their header (a 600-dpi scan of an A4 page has 35 million).
    static constexpr qint64 MaxWholePixels = 64LL * 1024 * 1024;

    explicit PictureLoader(const QString& path, MemoryBudget& budget = MemoryBudget::process());
    ~PictureLoader();
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    // False for a missing, unreadable, empty, undecodable or too large file and for a
    // picture with no pixels.
    bool isValid() const { return !m_naturalSize.isEmpty(); }
    // The full size in pixels, upright (EXIF orientation applied).
    QSize naturalSize() const { return m_naturalSize; }
    // The size read() decodes at to cover target device pixels: the picture's own
    // proportions, at least target in both directions, at most the full picture.
    QSize decodeSize(const QSize& target) const;
    // Decodes the picture upright at decodeSize(target), or whole for an invalid target.
    // Null when decoding fails or the picture does not fit into the budget. Reads once: a
    // second call gives a null image.
    QImage read(const QSize& target = QSize());
    // Why the picture cannot be loaded: PictureNotLoaded with the file's name, because of the
    // reason; and the reason alone (Damaged, PictureBeyondBudget, ...). None while it can.
    Error error() const;
    Error reason() const { return m_reason; }
    // Why a picture that read() gave was left in its own colours (its profile cannot be read,
    // or does not fit it); empty when it was converted to sRGB or needed no conversion.
    QString colourNote() const { return m_colourNote; }
    // Why a picture that read() gave is incomplete ("beschädigt (...)": cut off, corrupt data the
    // decoder went past); empty for a whole one.
    Error damage() const { return m_damage; }
    // What the file says about itself: from the header for a JPEG, else once read() has the file.
    const Metadata& metadata() const { return m_metadata; }

private:
    void fail(const Error& reason);
    bool readHeader();
    bool readRest();
    QImage readJpeg(const QSize& stored, qint64 jpegMemory);
    QImage readHeif(const QSize& stored, MemoryBudget::Reservation reserved);
    QImage readOther();
    // Qt's reader on the device (the file, or a raw file's preview); the colours it carries.
    QImage readWithQt(QIODevice* device);
    bool readRawHeader();
    QByteArray rawFile() const;
    QImage readRaw(const QSize& stored, qint64 jpegMemory);
    // What decoding at stored (in stored orientation) takes from the budget, and of it libjpeg's own.
    qint64 memoryNeeded(const QSize& stored, qint64* jpegMemory) const;

    QString m_path;
    MemoryBudget& m_budget;
    int m_fd = -1;
    qint64 m_fileSize = 0;
    // What Qt's reader holds beside the pixels while it reads the header, and again to decode.
    qint64 m_readerMemory = 0;
    qint64 m_bytesPerPixel = 4; // of the image Qt's reader decodes into
    QByteArray m_data; // the file, or its head until read() needs the rest
    Error m_reason;
    QSize m_naturalSize;
    QSize m_storedSize;
    bool m_jpeg = false;
    JpegHeader m_jpegHeader;
    bool m_heif = false;
    HeifHeader m_heifHeader;
    bool m_raw = false;
    RawHeader m_rawHeader;
    PictureColour m_colour;
    Metadata m_metadata;
    QString m_colourNote;
    Error m_damage;
    // The EXIF orientation as the transformation that shows the stored picture upright.
    QImageIOHandler::Transformations m_transformation = QImageIOHandler::TransformationNone;
    bool m_read = false;
};

} // namespace rasterblatt
