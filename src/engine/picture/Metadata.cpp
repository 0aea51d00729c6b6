// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/Metadata.h"

#include <algorithm>
#include <climits>
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
            // Canon's CR3 is an ISO base media file.
            Exiv2::enableBMFF(true);
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

    void fill(Exiv2::Image& image, Metadata& metadata)
    {
        const Exiv2::ExifData& exif = image.exifData();
        const long orientation = longOf(exif, "Exif.Image.Orientation");
        metadata.orientation = orientation >= 1 && orientation <= 8 ? int(orientation) : 0;
        const auto interop = exif.findKey(Exiv2::ExifKey("Exif.Iop.InteroperabilityIndex"));
        metadata.adobeRgb = longOf(exif, "Exif.Photo.ColorSpace") == 0xffff && interop != exif.end()
            && interop->toString().rfind("R03", 0) == 0;
        metadata.rating = ratingOf(image).value_or(0);
        if (const Exiv2::DataBuf* icc = image.iccProfile(); icc && icc->size_ > 0)
            metadata.iccProfile = QByteArray(reinterpret_cast<const char*>(icc->pData_), icc->size_);
    }

    // Opened from the bytes in place (nothing beyond them, no copy), or from the file.
    Exiv2::Image::AutoPtr open(const QByteArray& data)
    {
        return Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(data.constData()), static_cast<long>(data.size()));
    }
    Exiv2::Image::AutoPtr open(const std::string& file) { return Exiv2::ImageFactory::open(file); }

    template <typename Source> Metadata read(const Source& source, bool withPreviews)
    {
        prepareExiv2();
        Metadata metadata;
        try {
            Exiv2::Image::AutoPtr image = open(source);
            if (!image.get())
                return metadata;
            image->readMetadata();
            fill(*image, metadata);
            if (withPreviews) {
                for (const Exiv2::PreviewProperties& preview : Exiv2::PreviewManager(*image).getPreviewProperties())
                    metadata.previews.append({ QSize(int(std::min<uint32_t>(preview.width_, INT_MAX)),
                                                   int(std::min<uint32_t>(preview.height_, INT_MAX))),
                        qint64(preview.size_), preview.mimeType_ == "image/jpeg", int(preview.id_) });
                // Parsed once: the preview is taken from it, not from the file read again.
                metadata.file.reset(image.release());
            }
        } catch (...) {
            // exiv2's own errors and a failed allocation alike: what was read before stands.
        }
        return metadata;
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

Metadata readMetadata(const QByteArray& data) { return read(data, false); }

Metadata readFileMetadata(const QByteArray& file) { return read(file.toStdString(), true); }

QByteArray readEmbeddedPreview(const Metadata& metadata, const EmbeddedPreview& wanted)
{
    if (!metadata.file)
        return {};
    try {
        // Found again by exiv2's id alone: listing every preview again would read each one's header.
        Exiv2::PreviewProperties properties;
        properties.id_ = Exiv2::PreviewId(wanted.id);
        const Exiv2::PreviewImage preview = Exiv2::PreviewManager(*metadata.file).getPreviewImage(properties);
        // A preview is never much larger than exiv2 said when it listed it (a TIFF's own header aside).
        if (preview.size() > 0 && qint64(preview.size()) <= wanted.bytes + 65536)
            return QByteArray(reinterpret_cast<const char*>(preview.pData()), qsizetype(preview.size()));
    } catch (...) {
        // As a file without this preview.
    }
    return {};
}

} // namespace rasterblatt
