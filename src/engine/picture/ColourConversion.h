// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace rasterblatt {

// Where a picture's colours come from: untagged (taken as sRGB), an ICC profile, a camera's
// Adobe RGB mode without a profile, or a HEIF's numbered primaries and transfer (ITU-T H.273).
struct PictureColour {
    enum class Kind { Untagged, Icc, AdobeRgb, Coded };
    Kind kind = Kind::Untagged;
    QByteArray icc;
    int primaries = 0;
    int transfer = 0;

    static PictureColour fromIcc(const QByteArray& icc)
    {
        return icc.isEmpty() ? PictureColour {} : PictureColour { Kind::Icc, icc, 0, 0 };
    }
    bool isTagged() const { return kind != Kind::Untagged; }
};

// Converts the picture's pixels from its colours to sRGB (relative colorimetric with
// black-point compensation, through lcms2): RGB, grey and palette pictures, with or without
// alpha. An sRGB or untagged picture comes back as it is; so does one whose profile cannot
// be read or does not fit its pixels, with the reason in note. Safe on every thread: the
// transforms are made once per distinct profile for the whole process.
QImage convertToSrgb(QImage image, const PictureColour& colour, QString& note);
// The same for CMYK pixels as Adobe writes them (inverted, C M Y K bytes in each 32-bit
// pixel of an RGB32 image), in place, through a CMYK profile; false with the reason in note,
// the pixels untouched, when that cannot be done.
bool convertCmykToSrgb(QImage& image, const QByteArray& icc, QString& note);

} // namespace rasterblatt
