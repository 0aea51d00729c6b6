// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/JpegDecoder.h"

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <jerror.h>
#include <jpeglib.h>

namespace rasterblatt {

namespace {

    // libjpeg reports errors by calling error_exit, which must not return. The jumps stay
    // inside the two functions below, which call only libjpeg and own nothing that needs a
    // destructor; the pixels are allocated before and only written into.
    struct JpegErrors {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
        char warning[JMSG_LENGTH_MAX]; // the first of the decode, empty when it had none
    };

    enum class JpegLimit { None, Time, Scans };

    struct JpegProgress {
        jpeg_progress_mgr manager;
        qint64 cpuLimitNs; // of this thread's processor time
        std::chrono::steady_clock::time_point deadline;
        int maxScans;
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

    // Warnings (corrupt data, a missing end) are not errors: the picture shows what it has, and
    // the first one says why it is damaged. Trace messages (level 1 and up) are not kept.
    void jpegWarning(j_common_ptr cinfo, int level)
    {
        auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
        if (level < 0 && errors->warning[0] == '\0')
            (*cinfo->err->format_message)(cinfo, errors->warning);
    }

    void jpegProgress(j_common_ptr cinfo)
    {
        auto* progress = reinterpret_cast<JpegProgress*>(cinfo->progress);
        auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (dinfo->input_scan_number > progress->maxScans)
            progress->hit = JpegLimit::Scans;
        else if (threadCpuNs() > progress->cpuLimitNs || std::chrono::steady_clock::now() > progress->deadline)
            progress->hit = JpegLimit::Time;
        else
            return;
        std::snprintf(reinterpret_cast<JpegErrors*>(cinfo->err)->message, JMSG_LENGTH_MAX, "limit");
        std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
    }

    void prepare(jpeg_decompress_struct& cinfo, JpegErrors& errors, const QByteArray& data)
    {
        cinfo.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = jpegErrorExit;
        errors.manager.emit_message = jpegWarning;
        errors.message[0] = '\0';
        errors.warning[0] = '\0';
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(
            &cinfo, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
    }

    bool readHeader(const QByteArray& data, JpegHeader& header, JpegErrors& errors)
    {
        jpeg_decompress_struct cinfo;
        std::memset(&cinfo, 0, sizeof cinfo);
        if (setjmp(errors.jump)) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        prepare(cinfo, errors, data);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xffff);
        jpeg_read_header(&cinfo, TRUE);
        header.stored = QSize(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
        header.components = cinfo.num_components;
        header.multiScan = jpeg_has_multiple_scans(&cinfo) != 0;
        header.colorSpace = cinfo.jpeg_color_space;
        // The colour profile, whole from its ICC_PROFILE markers; none where they are incomplete.
        JOCTET* icc = nullptr;
        unsigned int iccLength = 0;
        header.icc.clear();
        if (jpeg_read_icc_profile(&cinfo, &icc, &iccLength)) {
            header.icc = QByteArray(reinterpret_cast<const char*>(icc), static_cast<qsizetype>(iccLength));
            std::free(icc);
        }
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    struct JpegDecode {
        unsigned int scaleEighths; // libjpeg scales by this many eighths while it decodes
        J_COLOR_SPACE outColorSpace;
        uchar* pixels; // expectedWidth x expectedHeight, bytesPerLine apart
        qsizetype bytesPerLine;
        unsigned int expectedWidth;
        unsigned int expectedHeight;
        long memoryLimit; // for libjpeg's own buffers
        JpegProgress progress;
    };

    bool decode(const QByteArray& data, JpegDecode& job, JpegErrors& errors)
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
        cinfo.scale_num = job.scaleEighths;
        cinfo.scale_denom = 8;
        cinfo.out_color_space = job.outColorSpace;
        cinfo.dct_method = JDCT_ISLOW;
        // Smoothing the chroma is wasted on a picture that is then made smaller.
        cinfo.do_fancy_upsampling = job.scaleEighths == 8 ? TRUE : FALSE;
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

    int scaled(int length, unsigned int eighths) { return int((qint64(length) * eighths + 7) / 8); }

    // The fewest eighths (1/8 to 8/8) that still cover the target.
    unsigned int scaleEighths(const QSize& stored, const QSize& target)
    {
        unsigned int eighths = 1;
        while (eighths < 8
            && (scaled(stored.width(), eighths) < target.width() || scaled(stored.height(), eighths) < target.height()))
            ++eighths;
        return eighths;
    }

} // namespace

bool isJpeg(const QByteArray& data) { return data.startsWith("\xff\xd8"); }

bool readJpegHeader(const QByteArray& data, JpegHeader& header, Error& error)
{
    JpegErrors errors;
    if (readHeader(data, header, errors))
        return true;
    error = Error(Error::Kind::NotJpeg, { QString::fromLocal8Bit(errors.message) });
    return false;
}

QSize jpegDecodeSize(const QSize& stored, const QSize& target)
{
    const unsigned int eighths = scaleEighths(stored, target);
    return QSize(scaled(stored.width(), eighths), scaled(stored.height(), eighths));
}

QImage decodeJpeg(const QByteArray& data, const JpegHeader& header, const QSize& target, const JpegLimits& limits,
    Error& error, Error* damage)
{
    const QSize out = jpegDecodeSize(header.stored, target);
    JpegDecode job {};
    job.scaleEighths = scaleEighths(header.stored, target);
    QImage::Format format = QImage::Format_RGB32;
    if (header.colorSpace == JCS_GRAYSCALE) {
        job.outColorSpace = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
    } else if (header.colorSpace == JCS_CMYK || header.colorSpace == JCS_YCCK) {
        job.outColorSpace = JCS_CMYK;
    } else {
        job.outColorSpace = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    }
    QImage image(out, format);
    if (image.isNull()) {
        error = Error(Error::Kind::DecodeMemory);
        return QImage();
    }
    job.pixels = image.bits();
    job.bytesPerLine = image.bytesPerLine();
    job.expectedWidth = static_cast<unsigned int>(out.width());
    job.expectedHeight = static_cast<unsigned int>(out.height());
    job.memoryLimit = static_cast<long>(limits.memoryBytes);
    // The work is measured in this thread's processor time, so that a busy machine does not
    // fail real photos; the wall clock only ends a wait that is far too long.
    job.progress.cpuLimitNs = threadCpuNs() + limits.cpuSeconds * 1000000000;
    job.progress.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.wallSeconds);
    job.progress.maxScans = limits.maxScans;

    JpegErrors errors;
    if (!decode(data, job, errors)) {
        using Kind = Error::Kind;
        if (job.progress.hit == JpegLimit::Time)
            error = Error(Kind::DecodeTimeout, { QString::number(limits.cpuSeconds) });
        else if (job.progress.hit == JpegLimit::Scans)
            error = Error(Kind::TooManyScans, { QString::number(limits.maxScans) });
        else if (errors.manager.msg_code == JERR_NO_BACKING_STORE || errors.manager.msg_code == JERR_OUT_OF_MEMORY)
            error = Error(
                Kind::TooLarge, { QString::number(header.stored.width()), QString::number(header.stored.height()) });
        else
            error = Error(Kind::Damaged, { QString::fromLocal8Bit(errors.message) });
        return QImage();
    }

    if (damage && errors.warning[0] != '\0')
        *damage = Error(Error::Kind::Damaged, { QString::fromLocal8Bit(errors.warning) });
    if (job.outColorSpace == JCS_CMYK && !hasCmykProfile(header))
        invertedCmykToRgb(image);
    return image;
}

bool hasCmykProfile(const JpegHeader& header)
{
    return (header.colorSpace == JCS_CMYK || header.colorSpace == JCS_YCCK) && header.icc.mid(16, 4) == "CMYK";
}

void invertedCmykToRgb(QImage& image)
{
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

} // namespace rasterblatt
