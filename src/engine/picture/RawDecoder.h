// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include "engine/picture/Metadata.h"

namespace rasterblatt {

// Camera raw files, from the previews their cameras embed: those exiv2 finds, else the thumbnail
// libraw finds. The sensor's data is never developed, and the file is never read whole. Nothing
// here throws: every exception of exiv2 and libraw is caught.
struct RawPreview {
    enum class Kind { Jpeg, Tiff, Pixmap }; // Pixmap: libraw's RGB thumbnail, made a PPM
    QSize size; // as stored
    qint64 bytes = 0;
    Kind kind = Kind::Jpeg;
    EmbeddedPreview embedded; // exiv2's
    bool fromLibraw = false;
};

struct RawHeader {
    QList<RawPreview> previews; // of the largest one's proportions, smallest first
    int orientation = 0; // the raw file's EXIF orientation, 0 when it has none
    bool adobeRgb = false; // the camera's Adobe RGB mode
    QSize refused; // a preview decoded whole that claims more pixels than allowed
    QByteArray thumbnail; // libraw's, which tells its size only once read
    Metadata metadata; // exiv2's, with the file it read
};

// Whether the name's extension is a raw file's, or the head of the file shows one.
bool isRawName(const QString& path);
bool hasRawSignature(const QByteArray& head);
// Lists the previews of the file (a native path); false when it has none that can be used.
bool readRawHeader(const QByteArray& file, qint64 fileSize, qint64 maxWholePixels, RawHeader& header);
// The smallest preview that covers target (in stored orientation) in both directions, else the largest.
RawPreview rawPreviewFor(const RawHeader& header, const QSize& target);
// The preview's bytes: JPEG, TIFF or PPM; empty when it cannot be read.
QByteArray readRawPreview(RawHeader& header, const RawPreview& preview);

} // namespace rasterblatt
