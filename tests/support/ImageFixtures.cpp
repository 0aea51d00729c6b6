#include "ImageFixtures.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTransform>
#include <QtEndian>

namespace rasterblatt::fixtures {

namespace {

    void appendLittle16(QByteArray& bytes, int value)
    {
        bytes += static_cast<char>(value & 0xff);
        bytes += static_cast<char>((value >> 8) & 0xff);
    }

    // GIF with a full 256-entry palette and nine-bit LZW codes that are all literals: a
    // clear code comes before the table would grow past nine bits.
    QByteArray encodeGif(const QImage& image)
    {
        const QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
        QList<QRgb> palette = indexed.colorTable();
        palette.resize(256);

        QByteArray gif("GIF89a");
        appendLittle16(gif, indexed.width());
        appendLittle16(gif, indexed.height());
        gif += QByteArray("\xf7\0\0", 3); // global palette of 256 entries
        for (const QRgb rgb : palette) {
            gif += static_cast<char>(qRed(rgb));
            gif += static_cast<char>(qGreen(rgb));
            gif += static_cast<char>(qBlue(rgb));
        }
        gif += QByteArray(",\0\0\0\0", 5);
        appendLittle16(gif, indexed.width());
        appendLittle16(gif, indexed.height());
        gif += QByteArray("\0\x08", 2); // no local palette, minimum code size 8

        constexpr int Clear = 256;
        constexpr int End = 257;
        constexpr int LiteralsPerClear = 250;
        QByteArray codes;
        quint32 bits = 0;
        int bitCount = 0;
        const auto put = [&](int code) {
            bits |= static_cast<quint32>(code) << bitCount;
            for (bitCount += 9; bitCount >= 8; bitCount -= 8) {
                codes += static_cast<char>(bits & 0xff);
                bits >>= 8;
            }
        };
        int literals = 0;
        put(Clear);
        for (int y = 0; y < indexed.height(); ++y) {
            for (int x = 0; x < indexed.width(); ++x) {
                if (literals++ == LiteralsPerClear) {
                    put(Clear);
                    literals = 1;
                }
                put(indexed.pixelIndex(x, y));
            }
        }
        put(End);
        if (bitCount > 0)
            codes += static_cast<char>(bits & 0xff);

        for (qsizetype at = 0; at < codes.size(); at += 255) {
            const QByteArray block = codes.mid(at, 255);
            gif += static_cast<char>(block.size());
            gif += block;
        }
        gif += QByteArray("\0;", 2);
        return gif;
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
    const int halfWidth = size.width() / 2;
    const int halfHeight = size.height() / 2;
    QPainter painter(&image);
    painter.fillRect(0, 0, halfWidth, halfHeight, quadrantColor(0));
    painter.fillRect(halfWidth, 0, size.width() - halfWidth, halfHeight, quadrantColor(1));
    painter.fillRect(0, halfHeight, halfWidth, size.height() - halfHeight, quadrantColor(2));
    painter.fillRect(halfWidth, halfHeight, size.width() - halfWidth, size.height() - halfHeight, quadrantColor(3));
    return image;
}

QByteArray encode(const QImage& image, const char* format)
{
    if (qstrcmp(format, "GIF") == 0)
        return encodeGif(image);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, 100))
        return QByteArray();
    return bytes;
}

QByteArray orientedJpeg(const QImage& upright, int orientation)
{
    // Per orientation, the matrix (m11, m12, m21, m22) that gives the stored picture: the
    // inverse of what the orientation asks a viewer to do.
    static const qreal stored[8][4] = { { 1, 0, 0, 1 }, { -1, 0, 0, 1 }, { -1, 0, 0, -1 }, { 1, 0, 0, -1 },
        { 0, 1, 1, 0 }, { 0, -1, 1, 0 }, { 0, -1, -1, 0 }, { 0, 1, -1, 0 } };
    const qreal* m = stored[qBound(1, orientation, 8) - 1];
    const QByteArray jpeg = encode(upright.transformed(QTransform(m[0], m[1], m[2], m[3], 0, 0)), "JPEG");

    // APP1 "Exif" with a big-endian TIFF block of one directory whose one entry is the
    // orientation (tag 0x0112, SHORT, count 1), then no next directory.
    QByteArray exif("\xff\xe1\0\x22"
                    "Exif\0\0"
                    "MM\0\x2a\0\0\0\x08"
                    "\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0"
                    "\0\0\0\0",
        36);
    exif[29] = static_cast<char>(orientation);
    // After the start of image and Qt's JFIF segment, where cameras put it.
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
