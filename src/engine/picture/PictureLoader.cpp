// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/PictureLoader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QTransform>
#include <QtEndian>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/FileBytes.h"
#include "engine/picture/Metadata.h"

namespace rasterblatt {

namespace {

    constexpr qint64 MB = 1024 * 1024;
    // The first read of a file: enough for the header of nearly every picture.
    constexpr qint64 HeadBytes = 256 * 1024;
    // What a decoder takes beside the pixels: buffers, tables, a strip or a row at a time.
    constexpr qint64 DecoderSlack = 16 * MB;

    // The processor time a file's decode may take, in seconds.
    qint64 decodeSeconds(qint64 fileSize)
    {
        return PictureLoader::DecodeSeconds + fileSize / (qint64(PictureLoader::MegabytesPerExtraSecond) * MB);
    }

    Error tooLarge(const QSize& size)
    {
        return Error(
            Error::Kind::PictureBeyondBudget, { QString::number(size.width()), QString::number(size.height()) });
    }
    Error fileTooLarge(qint64 budget) { return Error(Error::Kind::FileBeyondBudget, { QString::number(budget / MB) }); }
    Error systemError(int error) { return Error(Error::Kind::SystemText, { qt_error_string(error) }); }

    // The size the header of a BMP, GIF or PNG file claims, read before any decoder sees it:
    // such a picture is decoded whole, so a claim too large is refused at once, whatever the
    // rest of the file holds. Empty for other files.
    QSize claimedSize(const QByteArray& head)
    {
        const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
        if (head.startsWith("BM") && head.size() >= 26)
            return QSize(
                std::abs(qFromLittleEndian<qint32>(bytes + 18)), std::abs(qFromLittleEndian<qint32>(bytes + 22)));
        if ((head.startsWith("GIF87a") || head.startsWith("GIF89a")) && head.size() >= 10)
            return QSize(qFromLittleEndian<quint16>(bytes + 6), qFromLittleEndian<quint16>(bytes + 8));
        if (head.startsWith("\x89PNG\r\n\x1a\n") && head.size() >= 24)
            return QSize(int(std::min<quint32>(qFromBigEndian<quint32>(bytes + 16), INT_MAX)),
                int(std::min<quint32>(qFromBigEndian<quint32>(bytes + 20), INT_MAX)));
        return {};
    }

    QImageIOHandler::Transformations transformationOf(int orientation)
    {
        switch (orientation) {
        case 2:
            return QImageIOHandler::TransformationMirror;
        case 3:
            return QImageIOHandler::TransformationRotate180;
        case 4:
            return QImageIOHandler::TransformationFlip;
        case 5:
            return QImageIOHandler::TransformationFlipAndRotate90;
        case 6:
            return QImageIOHandler::TransformationRotate90;
        case 7:
            return QImageIOHandler::TransformationMirrorAndRotate90;
        case 8:
            return QImageIOHandler::TransformationRotate270;
        default:
            return QImageIOHandler::TransformationNone;
        }
    }

    // A JPEG's colours: its profile, else a camera's Adobe RGB mode. A CMYK picture is made RGB
    // as it is decoded.
    PictureColour jpegColour(const JpegHeader& header, const Metadata& metadata)
    {
        if (header.components == 4)
            return {};
        if (!header.icc.isEmpty())
            return PictureColour::fromIcc(header.icc);
        return metadata.adobeRgb ? PictureColour { PictureColour::Kind::AdobeRgb, {}, 0, 0 } : PictureColour {};
    }

    // The formats read through Qt: those of the catalogue, whose readers' memory is known (the
    // readers of icons, cursors and the like read what their header does not tell).
    bool readByQt(const QByteArray& format)
    {
        return format == "bmp" || format == "gif" || format == "png" || format == "tiff" || format == "webp";
    }

    // Bytes a pixel of the image Qt's reader decodes into: 16-bit and floating-point samples
    // take eight or sixteen (a 32-bit float TIFF), the rest at most four.
    qint64 bytesPerPixel(QImage::Format format)
    {
        return format == QImage::Format_Invalid ? 4 : std::max(4, QImage::toPixelFormat(format).bitsPerPixel() / 8);
    }

    // Qt's reader of the picture in the file, from its start.
    bool openFile(QFile& file, int fd)
    {
        return ::lseek(fd, 0, SEEK_SET) == 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
    }

    // Mirrors and flips first, then turns clockwise, as the EXIF orientations mean.
    QImage upright(QImage image, QImageIOHandler::Transformations transformation)
    {
        if (transformation == QImageIOHandler::TransformationNone || image.isNull())
            return image;
        if (transformation == QImageIOHandler::TransformationRotate270)
            return image.transformed(QTransform().rotate(270));
        image = image.mirrored(transformation.testFlag(QImageIOHandler::TransformationMirror),
            transformation.testFlag(QImageIOHandler::TransformationFlip));
        if (transformation.testFlag(QImageIOHandler::TransformationRotate90))
            image = image.transformed(QTransform().rotate(90));
        return image;
    }

} // namespace

PictureLoader::PictureLoader(const QString& path, MemoryBudget& budget)
    : m_path(path)
    , m_budget(budget)
{
    // Anything but a regular file (a FIFO, a device, a folder) fails at once: the open does
    // not wait for a writer, nothing is read from it.
    m_fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info { };
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        fail(systemError(errno));
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        fail(Error(Error::Kind::NotARegularFile));
        return;
    }
    m_fileSize = info.st_size;
    if (m_fileSize == 0) {
        fail(Error(Error::Kind::FileEmpty));
        return;
    }
    if (m_fileSize > m_budget.total()) {
        fail(fileTooLarge(m_budget.total()));
        return;
    }
    if (!readInto(m_fd, m_data, std::min(m_fileSize, HeadBytes))) {
        fail(systemError(errno));
        return;
    }
    readHeader();
}

PictureLoader::~PictureLoader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PictureLoader::readHeader()
{
    if (const QSize claimed = claimedSize(m_data); qint64(claimed.width()) * claimed.height() > MaxWholePixels) {
        fail(tooLarge(claimed));
        return false;
    }
    m_raw = hasRawSignature(m_data) || (isRawName(m_path) && !isJpeg(m_data) && !isHeif(m_data));
    if (m_raw)
        return readRawHeader();
    m_jpeg = isJpeg(m_data);
    m_heif = !m_jpeg && isHeif(m_data);
    // Qt's readers read the header from the file: a TIFF's directory may lie anywhere in it, and
    // libtiff holds its arrays (widened to 64 bits: at most twice the file), WebP's reader a copy
    // of the file. That is reserved while they read, and again for the decode.
    if (!m_jpeg && !m_heif)
        m_readerMemory = (m_data.startsWith("II") || m_data.startsWith("MM") ? 2 : 1) * m_fileSize;
    // A header that does not end within the head is read from the whole file, held meanwhile.
    MemoryBudget::Reservation whole = m_budget.reserve(m_readerMemory);
    if (!whole) {
        fail(fileTooLarge(m_budget.total()));
        return false;
    }
    QSize stored;
    for (;;) {
        Error error;
        if (m_jpeg) {
            if (readJpegHeader(m_data, m_jpegHeader, error)) {
                stored = m_jpegHeader.stored;
                m_metadata = readMetadata(m_data);
                m_transformation = transformationOf(m_metadata.orientation);
                m_colour = jpegColour(m_jpegHeader, m_metadata);
                break;
            }
        } else if (m_heif) {
            // Decoded upright by libheif, its size is upright too.
            if (readHeifHeader(m_data, m_heifHeader, error)) {
                stored = m_heifHeader.size;
                m_colour = m_heifHeader.colour;
                break;
            }
        } else {
            QFile file;
            QImageReader reader;
            if (openFile(file, m_fd))
                reader.setDevice(&file);
            reader.setAutoTransform(true);
            stored = readByQt(reader.format()) ? reader.size() : QSize();
            if (!stored.isEmpty()) {
                m_transformation = reader.transformation();
                m_bytesPerPixel = bytesPerPixel(reader.imageFormat());
                break;
            }
            fail(Error(Error::Kind::NotAPicture, { reader.errorString() }));
            return false;
        }
        if (m_data.size() >= m_fileSize) {
            fail(error);
            return false;
        }
        if (!(whole = m_budget.reserve(m_fileSize))) {
            fail(fileTooLarge(m_budget.total()));
            return false;
        }
        if (!readRest())
            return false;
    }
    // The decode reads the rest again under its own reservation.
    if (m_data.size() > HeadBytes)
        m_data = m_data.left(HeadBytes);
    if (stored.isEmpty()) {
        fail(Error(Error::Kind::NoPixels));
        return false;
    }
    if (!m_jpeg && qint64(stored.width()) * stored.height() > MaxWholePixels) {
        fail(tooLarge(stored));
        return false;
    }
    m_storedSize = stored;
    m_naturalSize = m_transformation.testFlag(QImageIOHandler::TransformationRotate90) ? stored.transposed() : stored;
    return true;
}

bool PictureLoader::readRest()
{
    // A raw file is never held: exiv2 and libraw read what they need of it.
    if (m_raw)
        return true;
    if (!readInto(m_fd, m_data, m_fileSize - m_data.size())) {
        fail(systemError(errno));
        return false;
    }
    return true;
}

void PictureLoader::fail(const Error& reason)
{
    m_reason = reason;
    m_naturalSize = QSize();
    m_data.clear();
}

Error PictureLoader::error() const
{
    if (!m_reason)
        return {};
    return Error(Error::Kind::PictureNotLoaded, { displayName(fileNameOf(m_path)) }, m_reason);
}

QSize PictureLoader::decodeSize(const QSize& target) const
{
    if (!isValid() || target.isEmpty())
        return m_naturalSize;
    // Integer arithmetic: a rounding error must never leave the result a pixel short.
    const qint64 naturalWidth = m_naturalSize.width();
    const qint64 naturalHeight = m_naturalSize.height();
    qint64 width = target.width();
    qint64 height = target.height();
    if (width * naturalHeight >= height * naturalWidth)
        height = (width * naturalHeight + naturalWidth - 1) / naturalWidth;
    else
        width = (height * naturalWidth + naturalHeight - 1) / naturalHeight;
    if (width >= naturalWidth || height >= naturalHeight)
        return m_naturalSize;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

qint64 PictureLoader::memoryNeeded(const QSize& stored, qint64* jpegMemory) const
{
    const auto pixels = [](const QSize& size) { return qint64(size.width()) * size.height(); };
    // The decoded pixels, their scaled copy and the upright copy, at four bytes a pixel.
    if (m_jpeg) {
        const QSize out = jpegDecodeSize(m_storedSize, stored);
        // A progressive or multi-scan picture keeps all its coefficients, two bytes each.
        *jpegMemory = DecoderSlack
            + (m_jpegHeader.multiScan ? 2 * pixels(m_storedSize) * std::max(1, m_jpegHeader.components) : 0);
        return m_fileSize + *jpegMemory + 4 * (pixels(out) + 2 * pixels(stored));
    }
    if (m_raw) {
        // The preview as exiv2 copies it out and as we hold it, and its decode: a JPEG's as
        // above, with room for a progressive one's coefficients; any other whole.
        const RawPreview preview = rawPreviewFor(m_rawHeader, stored);
        const qint64 held = 2 * preview.bytes + DecoderSlack + 8 * pixels(stored);
        *jpegMemory = preview.kind == RawPreview::Kind::Jpeg ? DecoderSlack + 6 * pixels(preview.size) : 0;
        return held + *jpegMemory
            + 4 * (*jpegMemory ? pixels(jpegDecodeSize(preview.size, stored)) : 2 * pixels(preview.size));
    }
    *jpegMemory = 0;
    // libheif's decoder and its planes at the size the file codes, and our shrunk copy.
    if (m_heif)
        return m_fileSize + DecoderSlack + heifDecodeMemory(m_heifHeader, stored) + 8 * pixels(stored);
    // Qt's readers decode the whole picture, 16-bit and float samples at their width; it is
    // narrowed to four bytes a pixel where it lies, then shrunk and turned upright.
    return m_fileSize + m_readerMemory + DecoderSlack + (m_bytesPerPixel + 4) * pixels(m_storedSize)
        + 8 * pixels(stored);
}

QImage PictureLoader::read(const QSize& target)
{
    if (!isValid() || m_read)
        return QImage();
    m_read = true;
    // The size in stored orientation; the picture is turned upright after decoding.
    const QSize size = decodeSize(target);
    const QSize stored = m_transformation.testFlag(QImageIOHandler::TransformationRotate90) ? size.transposed() : size;
    qint64 jpegMemory = 0;
    MemoryBudget::Reservation reserved = m_budget.reserve(memoryNeeded(stored, &jpegMemory));
    if (!reserved) {
        fail(tooLarge(m_storedSize));
        return QImage();
    }
    if ((m_jpeg || m_heif) && !readRest())
        return QImage();
    // A JPEG's metadata came with its header, a raw file's with its previews; the others' from what
    // is held (a HEIF whole, the rest's head).
    if (m_raw)
        m_metadata = m_rawHeader.metadata;
    else if (!m_jpeg)
        m_metadata = readMetadata(m_data);
    QImage image = m_raw ? readRaw(stored, jpegMemory)
        : m_jpeg         ? readJpeg(stored, jpegMemory)
        : m_heif         ? readHeif(stored, std::move(reserved))
                         : readOther();
    m_data.clear();
    if (image.isNull())
        return image;
    if (image.size() != stored)
        image = image.scaled(stored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Converted at the size it is drawn at: the cost follows the picture's cell, not its file.
    return convertToSrgb(upright(std::move(image), m_transformation), m_colour, m_colourNote);
}

QImage PictureLoader::readJpeg(const QSize& stored, qint64 jpegMemory)
{
    JpegLimits limits;
    limits.memoryBytes = jpegMemory;
    limits.cpuSeconds = decodeSeconds(m_fileSize);
    limits.wallSeconds = limits.cpuSeconds * WallClockFactor;
    limits.maxScans = MaxJpegScans;
    Error error;
    QImage image = decodeJpeg(m_data, m_jpegHeader, stored, limits, error, &m_damage);
    if (image.isNull())
        fail(error);
    // CMYK bytes are no colours to scale: they become sRGB at libjpeg's size.
    if (hasCmykProfile(m_jpegHeader) && !image.isNull()) {
        if (!convertCmykToSrgb(image, m_jpegHeader.icc, m_colourNote))
            invertedCmykToRgb(image);
    } else if (m_jpegHeader.components == 4 && !m_jpegHeader.icc.isEmpty()) {
        m_colourNote = QStringLiteral("Farbprofil passt nicht zum Bild");
    }
    return image;
}

QImage PictureLoader::readHeif(const QSize& stored, MemoryBudget::Reservation reserved)
{
    // A decode past its time is abandoned; it keeps its memory until it ends on its own.
    const qint64 seconds = decodeSeconds(m_fileSize) * WallClockFactor;
    Error error;
    QImage image = decodeHeif(m_data, m_heifHeader, stored, seconds,
        std::make_shared<MemoryBudget::Reservation>(std::move(reserved)), error, &m_damage);
    if (image.isNull())
        fail(error);
    return image;
}

QImage PictureLoader::readOther()
{
    QFile file;
    return readWithQt(openFile(file, m_fd) ? &file : nullptr);
}

QImage PictureLoader::readWithQt(QIODevice* device)
{
    // Qt's own limit stands behind the budget's: a picture the header allowed always passes it.
    static std::once_flag limitSet;
    std::call_once(limitSet, [this] { QImageReader::setAllocationLimit(int(m_budget.total() / MB)); });
    QImageReader reader(device);
    // The picture is turned by read(), after scaling in stored orientation. These readers decode
    // it whole whatever size is asked for, and Qt's scaling would first widen 16-bit and float
    // samples further: read() shrinks it once its samples are eight bits.
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull())
        fail(Error(Error::Kind::Damaged, { reader.errorString() }));
    // The profile's bytes where there are some (Qt reads no grey or table-based profile), else
    // what Qt's reader made of the file's colour chunks. Only the file's head is held:
    // a profile beyond it is taken from Qt's reader.
    const QByteArray icc = m_metadata.iccProfile;
    const QColorSpace space = image.colorSpace();
    m_colour = PictureColour::fromIcc(
        !icc.isEmpty() || !space.isValid() || space == QColorSpace::SRgb ? icc : space.iccProfile());
    if (image.depth() > 32 || image.format() == QImage::Format_Grayscale16)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return image;
}

QByteArray PictureLoader::rawFile() const
{
    // The file we opened and checked, whatever its name has become since.
    return "/proc/self/fd/" + QByteArray::number(m_fd);
}

bool PictureLoader::readRawHeader()
{
    m_data.clear();
    if (!rasterblatt::readRawHeader(rawFile(), m_fileSize, MaxWholePixels, m_rawHeader)) {
        fail(m_rawHeader.refused.isEmpty() ? Error(Error::Kind::NoPreview) : tooLarge(m_rawHeader.refused));
        return false;
    }
    m_storedSize = m_rawHeader.previews.last().size;
    m_transformation = transformationOf(m_rawHeader.orientation);
    m_naturalSize
        = m_transformation.testFlag(QImageIOHandler::TransformationRotate90) ? m_storedSize.transposed() : m_storedSize;
    return true;
}

QImage PictureLoader::readRaw(const QSize& stored, qint64 jpegMemory)
{
    const RawPreview preview = rawPreviewFor(m_rawHeader, stored);
    m_data = readRawPreview(m_rawHeader, preview);
    if (m_data.isEmpty()) {
        fail(Error(Error::Kind::PreviewUnreadable));
        return QImage();
    }
    // The preview's colours: its own profile, else the camera's Adobe RGB mode.
    Metadata camera;
    camera.adobeRgb = m_rawHeader.adobeRgb;
    if (preview.kind != RawPreview::Kind::Jpeg) {
        QBuffer buffer(&m_data);
        buffer.open(QIODevice::ReadOnly);
        QImage image = readWithQt(&buffer);
        if (!m_colour.isTagged())
            m_colour = jpegColour(JpegHeader {}, camera);
        return image;
    }
    Error error;
    if (!readJpegHeader(m_data, m_jpegHeader, error) || m_jpegHeader.stored != preview.size) {
        fail(error ? error : Error(Error::Kind::PreviewNotAsSaid));
        return QImage();
    }
    m_colour = jpegColour(m_jpegHeader, camera);
    return readJpeg(stored, jpegMemory);
}

} // namespace rasterblatt
