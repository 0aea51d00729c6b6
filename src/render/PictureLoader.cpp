// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/PictureLoader.h"

#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTransform>

#include "catalogue/Directory.h"
#include "catalogue/NativePath.h"

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

    // The EXIF orientation (1-8) of an APP1 "Exif" segment's payload, 0 when it has none.
    int exifOrientation(const uchar* data, size_t size)
    {
        if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
            return 0;
        const uchar* tiff = data + 6;
        const size_t length = size - 6;
        const bool little = tiff[0] == 'I' && tiff[1] == 'I';
        if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
            return 0;
        const auto u16 = [&](size_t at) -> quint32 {
            return little ? quint32(tiff[at] | tiff[at + 1] << 8) : quint32(tiff[at] << 8 | tiff[at + 1]);
        };
        const auto u32
            = [&](size_t at) -> quint32 { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
        const size_t directory = u32(4);
        if (directory > length - 2)
            return 0;
        const size_t entries = u16(directory);
        for (size_t i = 0; i < entries; ++i) {
            const size_t entry = directory + 2 + i * 12;
            if (entry > length - 12)
                return 0;
            if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
                const quint32 value = u16(entry + 8);
                return value >= 1 && value <= 8 ? int(value) : 0;
            }
        }
        return 0;
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

    // libjpeg reports errors by calling error_exit, which must not return. The jumps stay
    // inside the two functions below, which call only libjpeg and own nothing that needs a
    // destructor; the pixels are allocated before and only written into.
    struct JpegErrors {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
    };

    enum class JpegLimit { None, Time, Scans };

    struct JpegProgress {
        jpeg_progress_mgr manager;
        qint64 cpuLimitNs; // of this thread's processor time
        std::chrono::steady_clock::time_point deadline;
        JpegLimit hit;
    };

    qint64 threadCpuNs()
    {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    [[noreturn]] void jpegErrorExit(j_common_ptr cinfo)
    {
        auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
        (*cinfo->err->format_message)(cinfo, errors->message);
        std::longjmp(errors->jump, 1);
    }

    // Warnings (corrupt data, a missing end) are not errors: the picture shows what it has.
    void jpegNoMessage(j_common_ptr, int) { }

    void jpegProgress(j_common_ptr cinfo)
    {
        auto* progress = reinterpret_cast<JpegProgress*>(cinfo->progress);
        auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (dinfo->input_scan_number > PictureLoader::MaxJpegScans)
            progress->hit = JpegLimit::Scans;
        else if (threadCpuNs() > progress->cpuLimitNs || std::chrono::steady_clock::now() > progress->deadline)
            progress->hit = JpegLimit::Time;
        else
            return;
        std::snprintf(reinterpret_cast<JpegErrors*>(cinfo->err)->message, JMSG_LENGTH_MAX, "limit");
        std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
    }

    struct JpegHeader {
        int width;
        int height;
        J_COLOR_SPACE colorSpace;
        int orientation;
    };

    void prepare(jpeg_decompress_struct& cinfo, JpegErrors& errors, const QByteArray& data)
    {
        cinfo.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = jpegErrorExit;
        errors.manager.emit_message = jpegNoMessage;
        errors.message[0] = '\0';
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(
            &cinfo, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
    }

    bool readJpegHeader(const QByteArray& data, JpegHeader& header, JpegErrors& errors)
    {
        jpeg_decompress_struct cinfo;
        std::memset(&cinfo, 0, sizeof cinfo);
        if (setjmp(errors.jump)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        prepare(cinfo, errors, data);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
        jpeg_read_header(&cinfo, TRUE);
        header.width = static_cast<int>(cinfo.image_width);
        header.height = static_cast<int>(cinfo.image_height);
        header.colorSpace = cinfo.jpeg_color_space;
        header.orientation = 0;
        for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker && !header.orientation; marker = marker->next)
            header.orientation = exifOrientation(marker->data, marker->data_length);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    struct JpegDecode {
        unsigned int scaleDenom;
        J_COLOR_SPACE outColorSpace;
        uchar* pixels; // expectedWidth x expectedHeight, bytesPerLine apart
        qsizetype bytesPerLine;
        unsigned int expectedWidth;
        unsigned int expectedHeight;
        long memoryLimit; // for libjpeg's own buffers
        JpegProgress progress;
    };

    bool decodeJpeg(const QByteArray& data, JpegDecode& job, JpegErrors& errors)
    {
        jpeg_decompress_struct cinfo;
        std::memset(&cinfo, 0, sizeof cinfo);
        if (setjmp(errors.jump)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        prepare(cinfo, errors, data);
        // Beyond this the buffers of a progressive picture would need a backing store,
        // which this libjpeg does not have: the decoder fails instead.
        cinfo.mem->max_memory_to_use = job.memoryLimit;
        job.progress.manager.progress_monitor = jpegProgress;
        job.progress.hit = JpegLimit::None;
        cinfo.progress = &job.progress.manager;
        jpeg_read_header(&cinfo, TRUE);
        cinfo.scale_num = 1;
        cinfo.scale_denom = job.scaleDenom;
        cinfo.out_color_space = job.outColorSpace;
        cinfo.dct_method = JDCT_ISLOW;
        // Smoothing the chroma is wasted on a picture that is then made smaller.
        cinfo.do_fancy_upsampling = job.scaleDenom == 1 ? TRUE : FALSE;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_width != job.expectedWidth || cinfo.output_height != job.expectedHeight) {
            std::snprintf(errors.message, JMSG_LENGTH_MAX, "unexpected output size");
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        JSAMPROW rows[16];
        while (cinfo.output_scanline < cinfo.output_height) {
            const unsigned int first = cinfo.output_scanline;
            const unsigned int count = std::min(16u, cinfo.output_height - first);
            for (unsigned int i = 0; i < count; ++i)
                rows[i] = job.pixels + (first + i) * job.bytesPerLine;
            jpeg_read_scanlines(&cinfo, rows, count);
        }
        // No jpeg_finish_decompress: whatever follows the last row is not needed.
        jpeg_destroy_decompress(&cinfo);
        return true;
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
    m_jpeg = m_data.startsWith("\xff\xd8");
    if (m_jpeg) {
        JpegHeader header {};
        JpegErrors errors;
        if (!readJpegHeader(m_data, header, errors)) {
            fail(QStringLiteral("keine gültige JPEG-Datei (%1)").arg(QString::fromLocal8Bit(errors.message)));
            return;
        }
        stored = QSize(header.width, header.height);
        m_transformation = transformationOf(header.orientation);
        m_jpegColorSpace = header.colorSpace;
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
    // The smallest of libjpeg's fast scales (1/8, 1/4, 1/2) that still covers the size.
    unsigned int denom = 8;
    const auto scaled = [&](int length, unsigned int by) { return int((qint64(length) + by - 1) / by); };
    while (denom > 1
        && (scaled(m_storedSize.width(), denom) < stored.width()
            || scaled(m_storedSize.height(), denom) < stored.height()))
        denom /= 2;
    const QSize out(scaled(m_storedSize.width(), denom), scaled(m_storedSize.height(), denom));

    JpegDecode job {};
    JpegErrors errors;
    job.scaleDenom = denom;
    QImage::Format format = QImage::Format_RGB32;
    if (m_jpegColorSpace == JCS_GRAYSCALE) {
        job.outColorSpace = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
    } else if (m_jpegColorSpace == JCS_CMYK || m_jpegColorSpace == JCS_YCCK) {
        job.outColorSpace = JCS_CMYK;
    } else {
        job.outColorSpace = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    }

    // The file, the decoded pixels and their final copy come first; libjpeg gets the rest.
    const qint64 bytesPerPixel = format == QImage::Format_Grayscale8 ? 1 : 4;
    const qint64 pixelBytes
        = (qint64(out.width()) * out.height() + qint64(stored.width()) * stored.height()) * bytesPerPixel;
    const qint64 rest = MemoryBudget - m_data.size() - pixelBytes;
    if (rest < 16 * 1024 * 1024) {
        fail(QStringLiteral("zu groß (%1 × %2 Pixel)").arg(m_storedSize.width()).arg(m_storedSize.height()));
        return QImage();
    }
    QImage image(out, format);
    if (image.isNull()) {
        fail(QStringLiteral("nicht genug Speicher"));
        return QImage();
    }
    job.pixels = image.bits();
    job.bytesPerLine = image.bytesPerLine();
    job.expectedWidth = static_cast<unsigned int>(out.width());
    job.expectedHeight = static_cast<unsigned int>(out.height());
    job.memoryLimit = static_cast<long>(rest);
    // The work is measured in this thread's processor time, so that a busy machine does not
    // fail real photos; the wall clock only ends a wait that is far too long.
    const qint64 seconds = DecodeSeconds + m_data.size() / (qint64(MegabytesPerExtraSecond) * 1024 * 1024);
    job.progress.cpuLimitNs = threadCpuNs() + seconds * 1000000000;
    job.progress.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds * WallClockFactor);

    if (!decodeJpeg(m_data, job, errors)) {
        if (job.progress.hit == JpegLimit::Time)
            fail(QStringLiteral("das Decodieren dauert länger als %1 Sekunden").arg(seconds));
        else if (job.progress.hit == JpegLimit::Scans)
            fail(QStringLiteral("mehr als %1 Durchgänge").arg(MaxJpegScans));
        else if (errors.manager.msg_code == JERR_NO_BACKING_STORE || errors.manager.msg_code == JERR_OUT_OF_MEMORY)
            fail(QStringLiteral("zu groß (%1 × %2 Pixel)").arg(m_storedSize.width()).arg(m_storedSize.height()));
        else
            fail(QStringLiteral("beschädigt (%1)").arg(QString::fromLocal8Bit(errors.message)));
        return QImage();
    }

    if (job.outColorSpace == JCS_CMYK) {
        // Adobe's inverted CMYK, as Photoshop writes it: each value is already 255 - ink.
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            const uchar* cmyk = image.constScanLine(y);
            for (int x = 0; x < image.width(); ++x, cmyk += 4) {
                const int k = cmyk[3];
                line[x] = qRgb(k * cmyk[0] / 255, k * cmyk[1] / 255, k * cmyk[2] / 255);
            }
        }
    }
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
