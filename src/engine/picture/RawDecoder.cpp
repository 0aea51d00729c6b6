// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/RawDecoder.h"

#include <algorithm>
#include <memory>

#include <libraw/libraw.h>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/JpegDecoder.h"

namespace rasterblatt {

namespace {

    qint64 pixels(const QSize& size) { return qint64(size.width()) * size.height(); }

    // Within 2 %: a thumbnail with black bars above and below is not the picture.
    bool sameProportions(const QSize& a, const QSize& b)
    {
        const qint64 difference = qint64(a.width()) * b.height() - qint64(b.width()) * a.height();
        return std::abs(difference) * 50 <= qint64(b.width()) * a.height();
    }

    // libraw's flip (bit 0: mirrored, 1: flipped, 2: transposed) as an EXIF orientation.
    int orientationOfFlip(int flip)
    {
        static const int orientations[] = { 1, 2, 4, 3, 5, 8, 6, 7 };
        return flip > 0 && flip < 8 ? orientations[flip] : 0;
    }

    // The thumbnail that libraw finds (a JPEG or 8-bit RGB), read whole: it gives its size no other way.
    bool librawThumbnail(const QByteArray& file, qint64 fileSize, RawHeader& header, RawPreview& preview)
    {
        try {
            const auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
            if (raw->open_file(file.constData()) != LIBRAW_SUCCESS)
                return false;
            const libraw_thumbnail_t& thumbnail = raw->imgdata.thumbnail;
            if (thumbnail.tlength == 0 || qint64(thumbnail.tlength) > fileSize || raw->unpack_thumb() != LIBRAW_SUCCESS
                || !thumbnail.thumb)
                return false;
            if (header.orientation == 0)
                header.orientation = orientationOfFlip(raw->imgdata.sizes.flip);
            preview.fromLibraw = true;
            const qint64 rgbBytes = 3 * qint64(thumbnail.twidth) * thumbnail.theight;
            if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG) {
                header.thumbnail = QByteArray(thumbnail.thumb, qsizetype(thumbnail.tlength));
                JpegHeader jpeg;
                Error error;
                if (!readJpegHeader(header.thumbnail, jpeg, error))
                    return false;
                preview.size = jpeg.stored;
                preview.kind = RawPreview::Kind::Jpeg;
            } else if (thumbnail.tformat == LIBRAW_THUMBNAIL_BITMAP && thumbnail.tcolors == 3 && rgbBytes > 0
                && rgbBytes <= qint64(thumbnail.tlength)) {
                header.thumbnail
                    = QStringLiteral("P6 %1 %2 255\n").arg(thumbnail.twidth).arg(thumbnail.theight).toLatin1()
                    + QByteArray(thumbnail.thumb, qsizetype(rgbBytes));
                preview.size = QSize(thumbnail.twidth, thumbnail.theight);
                preview.kind = RawPreview::Kind::Pixmap;
            } else {
                return false;
            }
            preview.bytes = header.thumbnail.size();
            return true;
        } catch (...) {
            return false;
        }
    }

} // namespace

bool isRawName(const QString& path)
{
    const QString name = fileNameOf(path);
    return std::any_of(rawPatterns().begin(), rawPatterns().end(),
        [&](const QString& pattern) { return matchesWildcard(name, pattern); });
}

bool hasRawSignature(const QByteArray& head)
{
    // CR2, ORF, RW2, CRW, RAF, MRW, X3F and CR3; the others are TIFF files by their head.
    return (head.startsWith("II*\0") && head.mid(8, 4) == QByteArray("CR\2\0", 4)) || head.startsWith("IIRO")
        || head.startsWith("IIRS") || head.startsWith("MMOR") || head.startsWith(QByteArray("IIU\0", 4))
        || head.mid(6, 8) == "HEAPCCDR" || head.startsWith("FUJIFILM") || head.startsWith(QByteArray("\0MRM", 4))
        || head.startsWith("FOVb") || head.mid(4, 8) == "ftypcrx ";
}

bool readRawHeader(const QByteArray& file, qint64 fileSize, qint64 maxWholePixels, RawHeader& header)
{
    header = RawHeader {};
    header.metadata = readFileMetadata(file);
    const Metadata& metadata = header.metadata;
    header.orientation = metadata.orientation;
    header.adobeRgb = metadata.adobeRgb;
    for (const EmbeddedPreview& embedded : metadata.previews) {
        // A preview is part of the file: one that claims more (a TIFF exiv2 wraps it in aside) is none.
        if (embedded.size.isEmpty() || embedded.bytes <= 0 || embedded.bytes > fileSize + 65536)
            continue;
        // A JPEG decodes scaled; any other is decoded whole, and refused from its header if too large.
        if (!embedded.jpeg && pixels(embedded.size) > maxWholePixels)
            header.refused = embedded.size;
        else
            header.previews.append({ embedded.size, embedded.bytes,
                embedded.jpeg ? RawPreview::Kind::Jpeg : RawPreview::Kind::Tiff, embedded, false });
    }
    RawPreview thumbnail;
    if (header.previews.isEmpty() && header.refused.isEmpty() && librawThumbnail(file, fileSize, header, thumbnail)) {
        if (thumbnail.kind == RawPreview::Kind::Pixmap && pixels(thumbnail.size) > maxWholePixels)
            header.refused = thumbnail.size;
        else
            header.previews.append(thumbnail);
    }
    std::stable_sort(header.previews.begin(), header.previews.end(), [](const RawPreview& a, const RawPreview& b) {
        // Of two of a size, the JPEG: it decodes scaled.
        return pixels(a.size) < pixels(b.size)
            || (pixels(a.size) == pixels(b.size) && a.kind == RawPreview::Kind::Jpeg && b.kind != a.kind);
    });
    if (header.previews.isEmpty())
        return false;
    const QSize largest = header.previews.last().size;
    header.previews.removeIf([&](const RawPreview& preview) { return !sameProportions(preview.size, largest); });
    return true;
}

RawPreview rawPreviewFor(const RawHeader& header, const QSize& target)
{
    for (const RawPreview& preview : header.previews) {
        if (preview.size.width() >= target.width() && preview.size.height() >= target.height())
            return preview;
    }
    return header.previews.value(header.previews.size() - 1);
}

QByteArray readRawPreview(RawHeader& header, const RawPreview& preview)
{
    return preview.fromLibraw ? std::exchange(header.thumbnail, {})
                              : readEmbeddedPreview(header.metadata, preview.embedded);
}

} // namespace rasterblatt
