// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageFixtures.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <exiv2/exiv2.hpp>
#include <libheif/heif.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTransform>
#include <QtEndian>

namespace rasterblatt::fixtures {

QColor quadrantColor(int quadrant)
{
    static const QColor colors[] = { QColor(220, 0, 0), QColor(0, 200, 0), QColor(0, 0, 230), QColor(240, 220, 0) };
    return colors[qBound(0, quadrant, 3)];
}

QImage filled(const QSize& size, const QColor& color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QImage quadrants(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2, h = size.height() / 2;
    QPainter painter(&image);
    for (int q = 0; q < 4; ++q)
        painter.fillRect(
            q % 2 * w, q / 2 * h, q % 2 ? size.width() - w : w, q / 2 ? size.height() - h : h, quadrantColor(q));
    return image;
}

QByteArray magick(const QStringList& arguments, const QByteArray& input)
{
    QProcess convert;
    convert.start("convert", arguments);
    convert.write(input);
    convert.closeWriteChannel();
    if (!convert.waitForFinished(30000) || convert.exitStatus() != QProcess::NormalExit || convert.exitCode() != 0)
        qFatal("ImageMagick's convert failed (%s): %s", qPrintable(convert.errorString()),
            convert.readAllStandardError().constData());
    return convert.readAllStandardOutput();
}

QByteArray encode(const QImage& image, const char* format)
{
    if (qstrcmp(format, "GIF") == 0)
        return magick({ "ppm:-", "gif:-" }, encode(image, "PPM"));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, format, 100) ? bytes : QByteArray();
}

namespace {
    heif_image* heifImage(const QImage& picture)
    {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        heif_image* image = nullptr;
        heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
        return image;
    }
} // namespace

// The EXIF orientations' matrices.
QImage oriented(const QImage& upright, int orientation)
{
    static const qreal matrices[8][4] = { { 1, 0, 0, 1 }, { -1, 0, 0, 1 }, { -1, 0, 0, -1 }, { 1, 0, 0, -1 },
        { 0, 1, 1, 0 }, { 0, -1, 1, 0 }, { 0, -1, -1, 0 }, { 0, 1, -1, 0 } };
    const qreal* m = matrices[qBound(1, orientation, 8) - 1];
    return upright.transformed(QTransform(m[0], m[1], m[2], m[3], 0, 0));
}

QByteArray orientedJpeg(const QImage& upright, int orientation)
{
    const QByteArray jpeg = encode(oriented(upright, orientation), "JPEG");

    // APP1 "Exif": a big-endian TIFF block whose one entry is the orientation (tag 0x0112).
    QByteArray exif("\xff\xe1\0\x22"
                    "Exif\0\0"
                    "MM\0\x2a\0\0\0\x08"
                    "\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0"
                    "\0\0\0\0",
        36);
    exif[29] = static_cast<char>(orientation);
    // After Qt's JFIF segment, where cameras put it.
    const qsizetype at = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    return jpeg.left(at) + exif + jpeg.mid(at);
}

QByteArray exifBlock(const QStringList& entries)
{
    Exiv2::ExifData exif;
    for (const QString& entry : entries)
        exif[entry.section('=', 0, 0).toStdString()] = entry.section('=', 1).toStdString();
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, exif);
    return QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
}

QByteArray withExif(const QByteArray& jpeg, const QStringList& entries)
{
    const QByteArray block = "Exif" + QByteArray(2, '\0') + exifBlock(entries);
    QByteArray segment("\xff\xe1\0\0", 4);
    qToBigEndian<quint16>(quint16(block.size() + 2), segment.data() + 2);
    const qsizetype at = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    return jpeg.left(at) + segment + block + jpeg.mid(at);
}

QByteArray heic(const QImage& upright, int orientation, const QImage& thumbnail, int primaries, const QByteArray& exif)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_encoder_set_parameter(encoder, "preset", "ultrafast");
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(orientation);
    heif_image* image = heifImage(oriented(upright, orientation));
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    if (primaries) {
        nclx->color_primaries = heif_color_primaries(primaries);
        nclx->transfer_characteristics = heif_transfer_characteristic_IEC_61966_2_1;
        nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_601_6;
        options->output_nclx_profile = nclx;
        heif_image_set_nclx_color_profile(image, nclx);
        options->macOS_compatibility_workaround_no_nclx_profile = 0;
    }
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(context, image, encoder, options, &handle);
    if (!exif.isEmpty())
        heif_context_add_exif_metadata(context, handle, exif.constData(), int(exif.size()));
    if (!thumbnail.isNull()) {
        heif_image* small = heifImage(oriented(thumbnail, orientation));
        // libheif makes no thumbnail of a picture already within the box: one pixel less.
        heif_context_encode_thumbnail(
            context, small, handle, encoder, options, std::max(thumbnail.width(), thumbnail.height()) - 1, nullptr);
        heif_image_release(small);
    }
    QByteArray bytes;
    heif_writer writer { 1, [](heif_context*, const void* data, size_t size, void* out) {
                            static_cast<QByteArray*>(out)->append(static_cast<const char*>(data), qsizetype(size));
                            return heif_error { heif_error_Ok, heif_suberror_Unspecified, "" };
                        } };
    heif_context_write(context, &writer, &bytes);
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

QByteArray withIcc(const QByteArray& jpeg, const QByteArray& profile, int markers)
{
    QByteArray segments;
    markers = std::max(markers, int(profile.size() / 65000) + 1); // a marker holds at most 65519 bytes
    const qsizetype chunk = (profile.size() + markers - 1) / markers;
    for (int i = 0; i < markers; ++i) {
        const QByteArray part = profile.mid(i * chunk, chunk);
        QByteArray segment("\xff\xe2\0\0ICC_PROFILE\0", 16);
        qToBigEndian<quint16>(quint16(part.size() + 16), segment.data() + 2);
        segments += segment + char(i + 1) + char(markers) + part;
    }
    const qsizetype at = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    return jpeg.left(at) + segments + jpeg.mid(at);
}

QByteArray heicGrid(int columns, int rows)
{
    const QByteArray tile = heic(filled(QSize(64, 64), Qt::blue));
    const auto boxAt = [&](const char* type) { // a box of the tile's file, whole
        const qsizetype at = tile.indexOf(type) - 4;
        return tile.mid(at, qFromBigEndian<quint32>(tile.constData() + at));
    };
    const auto be = [](quint32 value, int bytes) {
        QByteArray out(bytes, 0);
        for (int i = 0; i < bytes; ++i)
            out[i] = char(value >> (8 * (bytes - 1 - i)));
        return out;
    };
    const auto box = [&](const char* type, const QByteArray& content) {
        return be(quint32(content.size() + 8), 4) + type + content;
    };
    const auto full = [&](const char* type, int version, const QByteArray& content) {
        return box(type, be(quint32(version) << 24, 4) + content);
    };
    const int tiles = columns * rows;
    const QByteArray data = boxAt("mdat").mid(8);
    QByteArray infe = full("infe", 2, be(1, 2) + be(0, 2) + "grid" + '\0'), dimg = be(1, 2) + be(quint32(tiles), 2);
    QByteArray ipma = be(quint32(tiles + 1), 4) + be(1, 2) + be(1, 1) + be(3, 1), iloc;
    for (int id = 2; id <= tiles + 1; ++id) {
        infe += full("infe", 2, be(quint32(id), 2) + be(0, 2) + "hvc1" + '\0');
        dimg += be(quint32(id), 2);
        ipma += be(quint32(id), 2) + be(2, 1) + be(0x81, 1) + be(2, 1);
    }
    const auto meta = [&](quint32 dataAt) {
        QByteArray items = be(quint32(tiles + 1), 2) + be(1, 2) + be(1, 2) + be(0, 2) + be(1, 2) + be(0, 4) + be(8, 4);
        for (int id = 2; id <= tiles + 1; ++id)
            items += be(quint32(id), 2) + be(0, 2) + be(0, 2) + be(1, 2) + be(dataAt, 4) + be(quint32(data.size()), 4);
        return full("meta", 0,
            full("hdlr", 0, be(0, 4) + "pict" + QByteArray(13, 0)) + full("pitm", 0, be(1, 2))
                + full("iinf", 0, be(quint32(tiles + 1), 2) + infe) + full("iref", 0, box("dimg", dimg))
                + box("iprp",
                    box("ipco",
                        boxAt("hvcC") + full("ispe", 0, be(64, 4) + be(64, 4))
                            + full("ispe", 0, be(quint32(64 * columns), 4) + be(quint32(64 * rows), 4)))
                        + full("ipma", 0, ipma))
                + box("idat",
                    be(0, 2) + be(quint32(rows - 1), 1) + be(quint32(columns - 1), 1) + be(quint32(64 * columns), 2)
                        + be(quint32(64 * rows), 2))
                + full("iloc", 1, be(0x4400, 2) + items));
    };
    const QByteArray head = box("ftyp", QByteArray("heic") + be(0, 4) + "mif1heic");
    return head + meta(quint32(head.size() + meta(0).size() + 8)) + box("mdat", data);
}

QByteArray claiming(const char* format, int width, int height)
{
    const QByteArray kind(format);
    QByteArray bytes
        = kind == "HEIC" ? heic(filled(QSize(16, 16), Qt::red)) : encode(filled(QSize(2, 2), Qt::red), format);
    if (kind == "BMP") {
        qToLittleEndian<qint32>(width, bytes.data() + 18);
        qToLittleEndian<qint32>(height, bytes.data() + 22);
    } else if (kind == "GIF") {
        // The logical screen, then the image descriptor after the palette and any extension blocks.
        qsizetype at = 13 + (bytes[10] & 0x80 ? 3 << ((bytes[10] & 7) + 1) : 0);
        while (bytes.at(at) == '!') { // an extension: its label, then blocks up to an empty one
            for (at += 2; bytes.at(at) != 0; at += 1 + uchar(bytes.at(at))) { }
            ++at;
        }
        for (const qsizetype field : { qsizetype(6), at + 5 }) {
            qToLittleEndian<quint16>(static_cast<quint16>(width), bytes.data() + field);
            qToLittleEndian<quint16>(static_cast<quint16>(height), bytes.data() + field + 2);
        }
    } else if (kind == "PNG") { // IHDR, whose CRC then no longer fits
        qToBigEndian<quint32>(quint32(width), bytes.data() + 16);
        qToBigEndian<quint32>(quint32(height), bytes.data() + 20);
    } else if (kind == "TIFF") { // Qt writes little-endian; the first directory's width and length
        const std::string read = bytes.toStdString();
        const quint32 directory = qFromLittleEndian<quint32>(read.data() + 4);
        const quint16 entries = qFromLittleEndian<quint16>(read.data() + directory);
        for (quint32 entry = directory + 2; entry < directory + 2 + 12u * entries; entry += 12) {
            const quint16 tag = qFromLittleEndian<quint16>(read.data() + entry);
            if (tag == 256 || tag == 257) {
                qToLittleEndian<quint16>(4, bytes.data() + entry + 2); // LONG
                qToLittleEndian<quint32>(quint32(tag == 256 ? width : height), bytes.data() + entry + 8);
            }
        }
    } else if (kind == "WEBP") { // the VP8 frame's 14-bit size
        const qsizetype frame = bytes.indexOf("\x9d\x01\x2a");
        qToLittleEndian<quint16>(0x3fff, bytes.data() + frame + 3);
        qToLittleEndian<quint16>(0x3fff, bytes.data() + frame + 5);
    } else if (kind == "HEIC") { // the picture's spatial extent
        const qsizetype ispe = bytes.indexOf("ispe");
        qToBigEndian<quint32>(quint32(width), bytes.data() + ispe + 8);
        qToBigEndian<quint32>(quint32(height), bytes.data() + ispe + 12);
    }
    return bytes;
}

bool writeFile(const QByteArray& nativePath, const QByteArray& data)
{
    std::FILE* file = std::fopen(nativePath.constData(), "wb");
    const bool written = file && std::fwrite(data.constData(), 1, size_t(data.size()), file) == size_t(data.size());
    return file && std::fclose(file) == 0 && written;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    return writeFile(QFile::encodeName(path), data);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool similarColor(const QColor& actual, const QColor& expected, int tolerance)
{
    return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
        && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace rasterblatt::fixtures
