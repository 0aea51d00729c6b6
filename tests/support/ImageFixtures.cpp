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

    void appendLittle32(QByteArray& bytes, quint32 value)
    {
        appendLittle16(bytes, static_cast<int>(value & 0xffff));
        appendLittle16(bytes, static_cast<int>(value >> 16));
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
        gif += static_cast<char>(0xf7); // global palette of 256 entries
        gif += '\0';
        gif += '\0';
        for (const QRgb rgb : palette) {
            gif += static_cast<char>(qRed(rgb));
            gif += static_cast<char>(qGreen(rgb));
            gif += static_cast<char>(qBlue(rgb));
        }
        gif += ',';
        appendLittle16(gif, 0);
        appendLittle16(gif, 0);
        appendLittle16(gif, indexed.width());
        appendLittle16(gif, indexed.height());
        gif += '\0';
        gif += static_cast<char>(8); // minimum code size

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
        gif += '\0';
        gif += ';';
        return gif;
    }

} // namespace

QColor quadrantColor(int quadrant)
{
    switch (quadrant) {
    case 0:
        return QColor(220, 0, 0);
    case 1:
        return QColor(0, 200, 0);
    case 2:
        return QColor(0, 0, 230);
    default:
        return QColor(240, 220, 0);
    }
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

QImage storedForOrientation(const QImage& upright, int orientation)
{
    // Each orientation names how the stored picture is to be shown; store the inverse.
    switch (orientation) {
    case 2: // mirrored left to right
        return upright.mirrored(true, false);
    case 3: // turned half round
        return upright.transformed(QTransform().rotate(180));
    case 4: // mirrored top to bottom
        return upright.mirrored(false, true);
    case 5: // transposed, its own inverse
        return upright.transformed(QTransform(0, 1, 1, 0, 0, 0));
    case 6: // shown turned clockwise
        return upright.transformed(QTransform().rotate(-90));
    case 7: // transversed, its own inverse
        return upright.transformed(QTransform(0, -1, -1, 0, 0, 0));
    case 8: // shown turned counter-clockwise
        return upright.transformed(QTransform().rotate(90));
    default:
        return upright;
    }
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation)
{
    // A big-endian TIFF block with one directory of one entry: tag 0x0112, type SHORT,
    // count 1, the value left-aligned in the four value bytes, then no next directory.
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);
    tiff += '\0';
    tiff += static_cast<char>(orientation);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0');
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;

    QByteArray segment("\xff\xe1");
    segment += static_cast<char>((payload.size() + 2) >> 8);
    segment += static_cast<char>((payload.size() + 2) & 0xff);
    segment += payload;

    // After the start of image and the JFIF segment, where cameras put it.
    qsizetype at = 2;
    if (jpeg.size() > 6 && static_cast<uchar>(jpeg[2]) == 0xff && static_cast<uchar>(jpeg[3]) == 0xe0)
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    return jpeg.left(at) + segment + jpeg.mid(at);
}

QByteArray orientedJpeg(const QImage& upright, int orientation)
{
    return withExifOrientation(encode(storedForOrientation(upright, orientation), "JPEG"), orientation);
}

QByteArray bmpClaiming(int width, int height)
{
    QByteArray bmp("BM");
    appendLittle32(bmp, 54 + 64); // file size
    appendLittle32(bmp, 0);
    appendLittle32(bmp, 54); // pixel data offset
    appendLittle32(bmp, 40); // info header size
    appendLittle32(bmp, static_cast<quint32>(width));
    appendLittle32(bmp, static_cast<quint32>(height));
    appendLittle16(bmp, 1); // planes
    appendLittle16(bmp, 24); // bits per pixel
    appendLittle32(bmp, 0); // uncompressed
    appendLittle32(bmp, 0);
    appendLittle32(bmp, 2835); // 72 dpi
    appendLittle32(bmp, 2835);
    appendLittle32(bmp, 0);
    appendLittle32(bmp, 0);
    bmp += QByteArray(64, '\x40');
    return bmp;
}

QByteArray gifClaiming(int width, int height)
{
    QByteArray gif("GIF89a");
    appendLittle16(gif, width);
    appendLittle16(gif, height);
    gif += static_cast<char>(0x80); // global palette of 2 entries
    gif += '\0';
    gif += '\0';
    gif += QByteArray("\xff\0\0\0\0\xff", 6);
    gif += ',';
    appendLittle16(gif, 0);
    appendLittle16(gif, 0);
    appendLittle16(gif, width);
    appendLittle16(gif, height);
    gif += '\0';
    gif += QByteArray("\x02\x02\x44\x01\0;", 6);
    return gif;
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

qint64 peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace rasterblatt::fixtures
