// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "engine/common/Error.h"

namespace rasterblatt {

// JPEG through libjpeg-turbo, which scales by 1/8 to 8/8 while it decodes (far faster than
// decoding whole and scaling, and far smaller) and lets us bound its own buffers and its time. libjpeg's
// errors jump out of it; the jumps stay inside JpegDecoder.cpp, where nothing needs a
// destructor. Nothing here throws.
struct JpegHeader {
    QSize stored; // as stored, before the EXIF orientation
    QByteArray icc; // the colour profile of its ICC_PROFILE markers, empty when it has none
    int components = 0;
    // Progressive, or with its components in separate scans: libjpeg keeps every coefficient.
    bool multiScan = false;
    int colorSpace = 0; // libjpeg's J_COLOR_SPACE of the file
};

// The limits of one decode.
struct JpegLimits {
    qint64 memoryBytes = 0; // for libjpeg's own buffers
    qint64 cpuSeconds = 0; // of this thread's processor time
    qint64 wallSeconds = 0;
    int maxScans = 0; // of a progressive picture
};

// Whether the data starts like a JPEG file.
bool isJpeg(const QByteArray& data);
// Reads the header (with the colour profile); false with the reason in error when the data
// is no JPEG or its header is cut off.
bool readJpegHeader(const QByteArray& data, JpegHeader& header, Error& error);
// The size libjpeg decodes at for a picture stored at `stored` to cover `target`: the smallest
// of its scales 1/8, 2/8, ..., 8/8 that is at least target in both directions.
QSize jpegDecodeSize(const QSize& stored, const QSize& target);
// Decodes in stored orientation at jpegDecodeSize (RGB32, or Grayscale8 for a grey picture; a
// CMYK picture with a CMYK profile as its inverted C M Y K bytes, for the colour conversion);
// null with the reason in error when it fails or breaks a limit. A picture libjpeg warned about
// (cut off, corrupt data) still comes with what could be read, and *damage says why.
QImage decodeJpeg(const QByteArray& data, const JpegHeader& header, const QSize& target, const JpegLimits& limits,
    Error& error, Error* damage = nullptr);
// Whether the picture is CMYK with a CMYK profile, so that decodeJpeg leaves its CMYK bytes.
bool hasCmykProfile(const JpegHeader& header);
// Adobe's inverted CMYK bytes, as decodeJpeg keeps them, made RGB without a profile.
void invertedCmykToRgb(QImage& image);

} // namespace rasterblatt
