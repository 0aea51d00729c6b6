// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/Metadata.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocale>
#include <QtEndian>

#include <exiv2/exiv2.hpp>
#include <libheif/heif.h>

#include "engine/catalogue/NativePath.h"
#include "engine/picture/FileBytes.h"
#include "engine/picture/HeifDecoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/picture/JpegDecoder.h"

namespace rasterblatt {

namespace {

    // Enough for the EXIF block of nearly every photo, which comes first in the file.
    constexpr qint64 HeadBytes = 64 * 1024;
    // A HEIF whose metadata is not in its head is read whole only up to this size.
    constexpr qint64 WholeBytes = 256 * 1024 * 1024;

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

    Exiv2::ExifData::const_iterator findExif(const Exiv2::ExifData& exif, const char* key)
    {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        return found != exif.end() && found->count() > 0 ? found : exif.end();
    }

    long longOf(const Exiv2::ExifData& exif, const char* key)
    {
        const auto found = findExif(exif, key);
        return found != exif.end() ? found->toLong() : -1;
    }

    double rationalOf(const Exiv2::ExifData& exif, const char* key)
    {
        const auto found = findExif(exif, key);
        if (found == exif.end())
            return 0;
        const Exiv2::Rational value = found->toRational();
        return value.second > 0 && value.first > 0 ? double(value.first) / value.second : 0;
    }

    // "2024:08:11 09:20:05" with its sub-second digits ("5" is half a second).
    QDateTime exifTime(const Exiv2::ExifData& exif, const char* key, const char* subSecondsKey)
    {
        const auto found = findExif(exif, key);
        if (found == exif.end())
            return {};
        QDateTime time = QDateTime::fromString(
            QString::fromStdString(found->toString()).trimmed().left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        const auto subSeconds = findExif(exif, subSecondsKey);
        if (time.isValid() && subSeconds != exif.end()) {
            const QString digits = QString::fromStdString(subSeconds->toString()).trimmed().left(3);
            bool ok = false;
            const int value = digits.leftJustified(3, QLatin1Char('0')).toInt(&ok);
            if (ok && value >= 0)
                time = time.addMSecs(value);
        }
        return time;
    }

    void readExif(const Exiv2::ExifData& exif, Metadata& metadata)
    {
        const long orientation = longOf(exif, "Exif.Image.Orientation");
        metadata.orientation = orientation >= 1 && orientation <= 8 ? int(orientation) : 0;
        const auto interop = findExif(exif, "Exif.Iop.InteroperabilityIndex");
        metadata.adobeRgb = longOf(exif, "Exif.Photo.ColorSpace") == 0xffff && interop != exif.end()
            && interop->toString().rfind("R03", 0) == 0;
        metadata.captureTime = exifTime(exif, "Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal");
        if (!metadata.captureTime.isValid())
            metadata.captureTime = exifTime(exif, "Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized");
        metadata.exposureSeconds = rationalOf(exif, "Exif.Photo.ExposureTime");
        metadata.fNumber = rationalOf(exif, "Exif.Photo.FNumber");
        metadata.iso = std::max(0L, longOf(exif, "Exif.Photo.ISOSpeedRatings"));
        metadata.focalLength = rationalOf(exif, "Exif.Photo.FocalLength");
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
        readExif(image.exifData(), metadata);
        metadata.rating = ratingOf(image).value_or(0);
        if (const Exiv2::DataBuf* icc = image.iccProfile(); icc && icc->size_ > 0)
            metadata.iccProfile = QByteArray(reinterpret_cast<const char*>(icc->pData_), icc->size_);
    }

    // A HEIF's EXIF block as libheif finds it: a four-byte offset to the TIFF header, then the block.
    bool readHeifExif(const QByteArray& data, Metadata& metadata)
    {
        std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(), &heif_context_free);
        heif_image_handle* primary = nullptr;
        if (!context
            || heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()), nullptr)
                    .code
                != heif_error_Ok
            || heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok)
            return false;
        std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
            primary, &heif_image_handle_release);
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "Exif", &id, 1) < 1)
            return false;
        QByteArray block(qsizetype(heif_image_handle_get_metadata_size(handle.get(), id)), Qt::Uninitialized);
        if (block.size() < 4 || heif_image_handle_get_metadata(handle.get(), id, block.data()).code != heif_error_Ok)
            return false;
        const quint32 offset = qFromBigEndian<quint32>(block.constData());
        if (offset > quint32(block.size() - 4))
            return false;
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(block.constData()) + 4 + offset,
            long(block.size() - 4 - offset));
        readExif(exif, metadata);
        return true;
    }

    // Whether the datum gives where a JPEG lies in the file itself: in a TIFF-based raw file, the
    // offset of one in a main directory or a sub-image (a maker note's are relative to it).
    bool isJpegInFile(const Exiv2::Image& image, const Exiv2::Exifdatum& datum)
    {
        static const std::string groups[]
            = { "Image", "Image2", "SubImage1", "SubImage2", "SubImage3", "SubImage4", "SubThumb1" };
        return datum.tag() == 0x201
            && (image.imageType() == Exiv2::ImageType::tiff || image.imageType() == Exiv2::ImageType::cr2)
            && std::find(std::begin(groups), std::end(groups), datum.groupName()) != std::end(groups);
    }

    QByteArray readRange(Exiv2::BasicIo& io, long offset, long length)
    {
        QByteArray data(length, Qt::Uninitialized);
        if (io.open() != 0)
            return {};
        Exiv2::IoCloser closer(io);
        if (io.seek(offset, Exiv2::BasicIo::beg) != 0
            || io.read(reinterpret_cast<Exiv2::byte*>(data.data()), length) != length)
            return {};
        return data;
    }

    // Such a JPEG as a preview, its size from its own header: the head of it is read, or all of it
    // where the header goes on beyond. None when it does not lie within the file or is no JPEG.
    std::optional<EmbeddedPreview> jpegInFile(Exiv2::BasicIo& io, long offset, long length)
    {
        constexpr long Head = 64 * 1024;
        if (offset <= 0 || length <= 0 || offset > long(io.size()) || length > long(io.size()) - offset)
            return std::nullopt;
        JpegHeader header;
        Error error;
        if (!readJpegHeader(readRange(io, offset, std::min(length, Head)), header, error)
            && (length <= Head || !readJpegHeader(readRange(io, offset, length), header, error)))
            return std::nullopt;
        return EmbeddedPreview { header.stored, length, true, 0, offset };
    }

    // Opened from the bytes in place (nothing beyond them, no copy), or from the file.
    Exiv2::Image::AutoPtr open(const QByteArray& data)
    {
        return Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(data.constData()), static_cast<long>(data.size()));
    }
    Exiv2::Image::AutoPtr open(const std::string& file) { return Exiv2::ImageFactory::open(file); }

    // complete, where given, says whether exiv2 read all it looks for before the data ended.
    template <typename Source> Metadata read(const Source& source, bool withPreviews, bool* complete = nullptr)
    {
        prepareExiv2();
        Metadata metadata;
        try {
            Exiv2::Image::AutoPtr image = open(source);
            if (!image.get())
                return metadata;
            bool whole = true;
            try {
                image->readMetadata();
            } catch (...) {
                // A cut-off head: what was read before its end stands.
                whole = false;
            }
            if (complete)
                *complete = whole;
            fill(*image, metadata);
            if (withPreviews && whole) {
                // JPEGs that lie in the file are listed here, from their headers alone: exiv2 would
                // copy each whole to learn its size. Taken out of its data, exiv2 lists the others.
                Exiv2::ExifData& exif = image->exifData();
                for (auto datum = exif.begin(); datum != exif.end();) {
                    if (!isJpegInFile(*image, *datum)) {
                        ++datum;
                        continue;
                    }
                    const auto length = exif.findKey(Exiv2::ExifKey(0x202, datum->groupName()));
                    if (datum->count() > 0 && length != exif.end() && length->count() > 0) {
                        if (auto embedded = jpegInFile(image->io(), datum->toLong(), length->toLong())) {
                            embedded->id = -1 - int(metadata.previews.size());
                            metadata.previews.append(*embedded);
                        }
                    }
                    datum = exif.erase(datum);
                }
                for (const Exiv2::PreviewProperties& preview : Exiv2::PreviewManager(*image).getPreviewProperties())
                    metadata.previews.append({ QSize(int(std::min<uint32_t>(preview.width_, INT_MAX)),
                                                   int(std::min<uint32_t>(preview.height_, INT_MAX))),
                        qint64(preview.size_), preview.mimeType_ == "image/jpeg", int(preview.id_) });
                // Parsed once: the preview is taken from it, not from the file read again.
                metadata.file.reset(image.release());
            }
        } catch (...) {
            // exiv2's own errors and a failed allocation alike: what was read before stands.
            if (complete)
                *complete = false;
        }
        return metadata;
    }

    Metadata readBytesMetadata(const QByteArray& data, bool* complete)
    {
        Metadata metadata = read(data, false, complete);
        try {
            if (!metadata.captureTime.isValid() && isHeif(data))
                readHeifExif(data, metadata);
        } catch (...) {
            // As a HEIF without EXIF.
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

Metadata readMetadata(const QByteArray& data) { return readBytesMetadata(data, nullptr); }

Metadata readHeadMetadata(const QString& path)
{
    Metadata metadata;
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return metadata;
    struct stat info { };
    QByteArray data;
    bool complete = true;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && readInto(fd, data, std::min<qint64>(info.st_size, HeadBytes)) && !data.isEmpty()) {
        metadata = readBytesMetadata(data, &complete);
        // The metadata lies further on (a HEIF's EXIF item, a raw file's directories, a PNG's
        // chunk after the pixels): libheif needs the HEIF whole, exiv2 maps the others and
        // touches only what it reads.
        const qsizetype head = data.size();
        const bool further = !complete && !metadata.captureTime.isValid() && head < info.st_size;
        if (further && !isHeif(data))
            metadata = read(nativePath(path).toStdString(), false);
        else if (further && info.st_size <= WholeBytes && readInto(fd, data, info.st_size - head) && data.size() > head)
            metadata = readBytesMetadata(data, nullptr);
    }
    ::close(fd);
    return metadata;
}

Metadata readFileMetadata(const QByteArray& file) { return read(file.toStdString(), true); }

QByteArray readEmbeddedPreview(const Metadata& metadata, const EmbeddedPreview& wanted)
{
    if (!metadata.file)
        return {};
    try {
        if (wanted.offset > 0)
            return readRange(metadata.file->io(), long(wanted.offset), long(wanted.bytes));
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

QString captureTimeText(const Metadata& metadata)
{
    return metadata.captureTime.isValid() ? metadata.captureTime.toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                                          : QString();
}

QString exposureText(const Metadata& metadata)
{
    QStringList parts;
    const double seconds = metadata.exposureSeconds;
    // Shorter than 0.3 s as the camera's fraction, longer in seconds with one decimal at most.
    if (seconds > 0 && seconds < 0.3)
        parts << QStringLiteral("1/%1 s").arg(std::llround(1 / seconds));
    else if (seconds > 0)
        parts << QLocale(QLocale::German).toString(std::round(seconds * 10) / 10, 'g', 12) + QStringLiteral(" s");
    if (metadata.fNumber > 0)
        parts << QStringLiteral("f/") + QString::number(std::round(metadata.fNumber * 10) / 10, 'g', 12);
    if (metadata.iso > 0)
        parts << QStringLiteral("ISO %1").arg(metadata.iso);
    if (metadata.focalLength > 0)
        parts << QStringLiteral("%1 mm").arg(std::llround(metadata.focalLength));
    return parts.join(QStringLiteral("  "));
}

} // namespace rasterblatt
