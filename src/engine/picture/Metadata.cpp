// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/Metadata.h"

#include <mutex>

#include <exiv2/exiv2.hpp>

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

} // namespace

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
        if (const Exiv2::DataBuf* icc = image->iccProfile(); icc && icc->size_ > 0)
            metadata.iccProfile = QByteArray(reinterpret_cast<const char*>(icc->pData_), icc->size_);
    } catch (...) {
        // exiv2's own errors and a failed allocation alike: what was read before stands.
    }
    return metadata;
}

} // namespace rasterblatt
