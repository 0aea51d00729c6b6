// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageFixtures.h"

#include <cstdio>

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

QByteArray orientedJpeg(const QImage& upright, int orientation)
{
    // Per orientation, the matrix (m11, m12, m21, m22) giving the stored picture.
    static const qreal stored[8][4] = { { 1, 0, 0, 1 }, { -1, 0, 0, 1 }, { -1, 0, 0, -1 }, { 1, 0, 0, -1 },
        { 0, 1, 1, 0 }, { 0, -1, 1, 0 }, { 0, -1, -1, 0 }, { 0, 1, -1, 0 } };
    const qreal* m = stored[qBound(1, orientation, 8) - 1];
    const QByteArray jpeg = encode(upright.transformed(QTransform(m[0], m[1], m[2], m[3], 0, 0)), "JPEG");

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

QByteArray claiming(const char* format, int width, int height)
{
    QByteArray bytes = encode(filled(QSize(2, 2), Qt::red), format);
    if (qstrcmp(format, "BMP") == 0) {
        qToLittleEndian<qint32>(width, bytes.data() + 18);
        qToLittleEndian<qint32>(height, bytes.data() + 22);
    } else if (qstrcmp(format, "GIF") == 0) {
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
