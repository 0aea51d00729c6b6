// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/Metadata.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

#include <exiv2/exiv2.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace rasterblatt {

namespace {

    // exiv2's XMP parser must be set up before threads use it; its log would only repeat what
    // a damaged file already shows.
    void prepareExiv2()
    {
        static std::once_flag prepared;
        std::call_once(prepared, [] {
            Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
            Exiv2::XmpParser::initialize();
        });
    }

    long longOf(const Exiv2::ExifData& exif, const char* key)
    {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        return found != exif.end() && found->count() > 0 ? found->toLong() : -1;
    }

    // A rating as photo editors store it; nothing when the picture has none.
    std::optional<int> ratingOf(const Exiv2::Image& image)
    {
        const auto clamped = [](long value) { return int(std::clamp(value, 0L, 5L)); };
        const Exiv2::XmpData& xmp = image.xmpData();
        if (const auto found = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Rating")); found != xmp.end() && found->count() > 0)
            return clamped(std::lround(found->toFloat()));
        const Exiv2::ExifData& exif = image.exifData();
        if (const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Rating"));
            found != exif.end() && found->count() > 0)
            return clamped(found->toLong());
        return std::nullopt;
    }

    std::optional<int> fileRating(const QString& path)
    {
        if (!QFileInfo(path).isFile())
            return std::nullopt;
        try {
            const Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
            if (!image.get())
                return std::nullopt;
            image->readMetadata();
            return ratingOf(*image);
        } catch (...) {
            return std::nullopt;
        }
    }

} // namespace

int readRating(const QString& path)
{
    prepareExiv2();
    const QFileInfo file(path);
    const QString stem = file.dir().filePath(file.completeBaseName());
    for (const QString& sidecar : { path + QStringLiteral(".xmp"), stem + QStringLiteral(".xmp") }) {
        if (const auto rating = fileRating(sidecar))
            return *rating;
    }
    return fileRating(path).value_or(0);
}

Metadata readMetadata(const QByteArray& data)
{
    prepareExiv2();
    Metadata metadata;
    try {
        // Reads the bytes in place: nothing beyond them, no copy.
        const Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(data.constData()), static_cast<long>(data.size()));
        if (!image.get())
            return metadata;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        const long orientation = longOf(exif, "Exif.Image.Orientation");
        metadata.orientation = orientation >= 1 && orientation <= 8 ? int(orientation) : 0;
        const auto interop = exif.findKey(Exiv2::ExifKey("Exif.Iop.InteroperabilityIndex"));
        metadata.adobeRgb = longOf(exif, "Exif.Photo.ColorSpace") == 0xffff && interop != exif.end()
            && interop->toString().rfind("R03", 0) == 0;
        metadata.rating = ratingOf(*image).value_or(0);
        if (const Exiv2::DataBuf* icc = image->iccProfile(); icc && icc->size_ > 0)
            metadata.iccProfile = QByteArray(reinterpret_cast<const char*>(icc->pData_), icc->size_);
    } catch (...) {
        // exiv2's own errors and a failed allocation alike: what was read before stands.
    }
    return metadata;
}

} // namespace rasterblatt
