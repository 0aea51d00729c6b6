// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageFixtures.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTransform>
#include <QtEndian>

namespace rasterblatt::fixtures {

namespace {

    // A full 256-entry palette and nine-bit LZW codes that are all literals: a clear code
    // comes before the table would grow past nine bits.
    QByteArray encodeGif(const QImage& image)
    {
        const QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
        QList<QRgb> palette = indexed.colorTable();
        palette.resize(256);
        QByteArray size(4, 0);
        qToLittleEndian<quint16>(quint16(indexed.width()), size.data());
        qToLittleEndian<quint16>(quint16(indexed.height()), size.data() + 2);

        QByteArray gif = "GIF89a" + size + QByteArray("\xf7\0\0", 3); // global palette of 256 entries
        for (const QRgb rgb : palette)
            gif.append(char(qRed(rgb))).append(char(qGreen(rgb))).append(char(qBlue(rgb)));
        gif += QByteArray(",\0\0\0\0", 5) + size + QByteArray("\0\x08", 2); // minimum code size 8

        QByteArray codes;
        quint32 bits = 0;
        int bitCount = 0;
        const auto put = [&](int code) {
            bits |= static_cast<quint32>(code) << bitCount;
            for (bitCount += 9; bitCount >= 8; bitCount -= 8, bits >>= 8)
                codes += static_cast<char>(bits & 0xff);
        };
        for (int pixel = 0; pixel < indexed.width() * indexed.height(); ++pixel) {
            if (pixel % 250 == 0)
                put(256); // clear
            put(indexed.pixelIndex(pixel % indexed.width(), pixel / indexed.width()));
        }
        put(257); // end
        if (bitCount > 0)
            codes += static_cast<char>(bits & 0xff);
        for (qsizetype at = 0; at < codes.size(); at += 255)
            gif += char(codes.mid(at, 255).size()) + codes.mid(at, 255);
        return gif + QByteArray("\0;", 2);
    }

} // namespace

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

QByteArray encode(const QImage& image, const char* format)
{
    if (qstrcmp(format, "GIF") == 0)
        return encodeGif(image);
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
        // The logical screen, then the image descriptor after the 256-colour palette.
        for (const int at : { 6, 13 + 768 + 5 }) {
            qToLittleEndian<quint16>(static_cast<quint16>(width), bytes.data() + at);
            qToLittleEndian<quint16>(static_cast<quint16>(height), bytes.data() + at + 2);
        }
    }
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool similarColor(const QColor& actual, const QColor& expected, int tolerance)
{
    return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
        && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace rasterblatt::fixtures
