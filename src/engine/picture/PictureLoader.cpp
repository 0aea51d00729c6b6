// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/PictureLoader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QTransform>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/JpegDecoder.h"

namespace rasterblatt {

namespace {

    constexpr qint64 MemoryBudget = qint64(PictureLoader::MemoryBudgetMegabytes) * 1024 * 1024;

    // Reads a regular file whole through one descriptor. Anything else (a FIFO, a device,
    // a folder) fails at once: the open does not wait for a writer, nothing is read from
    // it. Gives an empty reason on success.
    QString readRegularFile(const QString& path, QByteArray& data)
    {
        const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return qt_error_string(errno);
        QString reason;
        struct stat info { };
        if (::fstat(fd, &info) != 0)
            reason = qt_error_string(errno);
        else if (!S_ISREG(info.st_mode))
            reason = QStringLiteral("keine gewöhnliche Datei");
        else if (info.st_size > MemoryBudget)
            reason = QStringLiteral("die Datei ist größer als %1 MB").arg(PictureLoader::MemoryBudgetMegabytes);
        else {
            // What the file holds when we look; a file that grows meanwhile is cut there.
            data.resize(static_cast<qsizetype>(info.st_size));
            qsizetype done = 0;
            while (done < data.size()) {
                const ssize_t got = ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0) {
                    reason = qt_error_string(errno);
                    break;
                }
                if (got == 0)
                    break;
                done += got;
            }
            data.truncate(done);
            if (reason.isEmpty() && data.isEmpty())
                reason = QStringLiteral("die Datei ist leer");
        }
        ::close(fd);
        if (!reason.isEmpty())
            data.clear();
        return reason;
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

PictureLoader::PictureLoader(const QString& path)
    : m_path(path)
{
    const QString reason = readRegularFile(path, m_data);
    if (!reason.isEmpty()) {
        fail(reason);
        return;
    }

    QSize stored;
    m_jpeg = isJpeg(m_data);
    if (m_jpeg) {
        QString error;
        if (!readJpegHeader(m_data, m_jpegHeader, error)) {
            fail(error);
            return;
        }
        stored = m_jpegHeader.stored;
        m_transformation = transformationOf(m_jpegHeader.orientation);
    } else {
        QBuffer buffer(&m_data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        stored = reader.size();
        if (stored.isEmpty()) {
            fail(QStringLiteral("kein lesbares Bild (%1)").arg(reader.errorString()));
            return;
        }
        if (qint64(stored.width()) * stored.height() > MaxWholePixels) {
            fail(QStringLiteral("zu groß (%1 × %2 Pixel)").arg(stored.width()).arg(stored.height()));
            return;
        }
        m_transformation = reader.transformation();
    }
    if (stored.isEmpty()) {
        fail(QStringLiteral("das Bild hat keine Pixel"));
        return;
    }
    m_storedSize = stored;
    m_naturalSize = m_transformation.testFlag(QImageIOHandler::TransformationRotate90) ? stored.transposed() : stored;
}

void PictureLoader::fail(const QString& reason)
{
    m_error = QStringLiteral("„%1“ kann nicht geladen werden: %2.").arg(displayName(fileNameOf(m_path)), reason);
    m_naturalSize = QSize();
    m_data.clear();
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

QImage PictureLoader::read(const QSize& target)
{
    if (!isValid() || m_read)
        return QImage();
    m_read = true;
    // The size in stored orientation; the picture is turned upright after decoding.
    const QSize size = decodeSize(target);
    const QSize stored = m_transformation.testFlag(QImageIOHandler::TransformationRotate90) ? size.transposed() : size;
    QImage image = m_jpeg ? readJpeg(stored) : readOther(stored);
    m_data.clear();
    if (image.isNull())
        return image;
    if (image.size() != stored)
        image = image.scaled(stored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return upright(std::move(image), m_transformation);
}

QImage PictureLoader::readJpeg(const QSize& stored)
{
    // The file, the decoded pixels and their final copy come first; libjpeg gets the rest.
    const QSize out = jpegDecodeSize(m_storedSize, stored);
    const qint64 bytesPerPixel = m_jpegHeader.components == 1 ? 1 : 4;
    const qint64 pixelBytes
        = (qint64(out.width()) * out.height() + qint64(stored.width()) * stored.height()) * bytesPerPixel;
    const qint64 rest = MemoryBudget - m_data.size() - pixelBytes;
    if (rest < 16 * 1024 * 1024) {
        fail(QStringLiteral("zu groß (%1 × %2 Pixel)").arg(m_storedSize.width()).arg(m_storedSize.height()));
        return QImage();
    }
    JpegLimits limits;
    limits.memoryBytes = rest;
    limits.cpuSeconds = DecodeSeconds + m_data.size() / (qint64(MegabytesPerExtraSecond) * 1024 * 1024);
    limits.wallSeconds = limits.cpuSeconds * WallClockFactor;
    limits.maxScans = MaxJpegScans;
    QString error;
    QImage image = decodeJpeg(m_data, m_jpegHeader, stored, limits, error);
    if (image.isNull())
        fail(error);
    return image;
}

QImage PictureLoader::readOther(const QSize& stored)
{
    QBuffer buffer(&m_data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The picture is turned by read(), after scaling in stored orientation.
    reader.setAutoTransform(false);
    if (stored != m_storedSize)
        reader.setScaledSize(stored);
    QImage image = reader.read();
    if (image.isNull())
        fail(reader.errorString());
    return image;
}

} // namespace rasterblatt
