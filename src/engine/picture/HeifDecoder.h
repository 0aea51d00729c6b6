// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include "engine/common/Error.h"
#include "engine/picture/ColourConversion.h"

namespace rasterblatt {

// HEIC and HEIF through libheif (with its HEVC decoder): the primary picture, turned and
// mirrored as its container says, or one of its thumbnails where that is large enough.
// Nothing here throws.
struct HeifHeader {
    QSize size; // of the primary picture, upright
    QList<QSize> thumbnails; // upright
    PictureColour colour; // of the primary picture, which its thumbnails share
    bool deep = false; // more than 8 bits a sample
    bool canvas = false; // a grid or overlay is put together
};

// A file with more items (tiles, thumbnails, metadata) is refused before libheif parses it.
constexpr int MaxHeifItems = 2048;

// Whether the data starts like a HEIF file.
bool isHeif(const QByteArray& data);
// Reads the container: false with the reason in error when it is none libheif reads (or cut off),
// has more than MaxHeifItems items, or codes a picture larger than its container says.
bool readHeifHeader(const QByteArray& data, HeifHeader& header, Error& error);
// The size decodeHeif decodes at for target: the smallest thumbnail that covers it, else the picture.
QSize heifSourceSize(const HeifHeader& header, const QSize& target);
// The most memory libheif holds while decoding for target.
qint64 heifDecodeMemory(const HeifHeader& header, const QSize& target);
// Decodes upright from heifSourceSize(target), shrunk to target (a picture that libheif gives
// as RGB only comes at that source size). A libheif decode cannot be interrupted: one that
// takes longer than seconds (wall clock) is left to end on its own, holding on to keepAlive
// (the memory it was granted) until then, and fails; the process's end waits for it.
// Null with the reason in error on failure; a picture decoded in spite of damage (data that
// stops short) says why in *damage.
QImage decodeHeif(const QByteArray& data, const HeifHeader& header, const QSize& target, qint64 seconds,
    std::shared_ptr<void> keepAlive, Error& error, Error* damage = nullptr);

} // namespace rasterblatt
