// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Camera raw files laid out as the cameras write them: TIFF structures with a JPEG preview, a
// small thumbnail and the sensor's strip (filler here). Header-only: the benchmarks write them too.
#include <algorithm>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QtEndian>

namespace rasterblatt::fixtures {

// A TIFF written front to back: the data first, each directory after what it points at.
class TiffWriter {
public:
    enum Type : quint16 { Byte = 1, Ascii = 2, Short = 3, Long = 4 };
    struct Tag {
        quint16 tag;
        Type type;
        QList<quint32> values; // or, for Byte and Ascii, the bytes
        QByteArray bytes = {};
    };

    explicit TiffWriter(bool bigEndian, const QByteArray& headerRest = {})
        : m_big(bigEndian)
        , m_out(QByteArray(bigEndian ? "MM\0*" : "II*\0", 4) + QByteArray(4, '\0') + headerRest)
    {
    }
    quint32 data(const QByteArray& bytes)
    {
        m_out.append(m_out.size() % 2, '\0');
        const auto at = quint32(m_out.size());
        m_out += bytes;
        return at;
    }
    // A directory of these tags; its offset.
    quint32 ifd(QList<Tag> tags, quint32 next = 0)
    {
        std::sort(tags.begin(), tags.end(), [](const Tag& a, const Tag& b) { return a.tag < b.tag; });
        QByteArray entries = number(quint32(tags.size()), 2);
        for (const Tag& tag : tags) {
            QByteArray value = tag.bytes;
            for (const quint32 v : tag.values)
                value += number(v, tag.type == Short ? 2 : 4);
            const auto count = quint32(tag.bytes.isEmpty() ? tag.values.size() : tag.bytes.size());
            entries += number(tag.tag, 2) + number(tag.type, 2) + number(count, 4)
                + (value.size() > 4 ? number(data(value), 4) : value.leftJustified(4, '\0'));
        }
        return data(entries + number(next, 4));
    }
    void set(qsizetype at, quint32 value) { m_out.replace(at, 4, number(value, 4)); }
    QByteArray finish(quint32 ifd0)
    {
        set(4, ifd0);
        return m_out;
    }

private:
    QByteArray number(quint32 value, int size) const
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[m_big ? size - 1 - i : i] = char(value >> (8 * i));
        return bytes;
    }
    bool m_big;
    QByteArray m_out;
};

// A raw file of kind "CR2" (the preview as IFD0's strip, no thumbnail), "NEF"
// (big-endian, an RGB thumbnail in IFD0, the preview in the first sub-directory) or "DNG" (an
// RGB thumbnail in IFD0, the preview and the sensor in sub-directories), with the EXIF
// orientation (0: none) and sensorBytes of sensor data. An empty preview or thumbnail is left out.
inline QByteArray rawFile(
    const QByteArray& kind, const QByteArray& preview, const QImage& thumbnail, int orientation, qint64 sensorBytes)
{
    using T = TiffWriter;
    TiffWriter tiff(kind == "NEF", kind == "CR2" ? QByteArray("CR\2\0\0\0\0\0", 8) : QByteArray());
    QBuffer buffer(const_cast<QByteArray*>(&preview));
    const QSize size = preview.isEmpty() ? thumbnail.size() * 4 : QImageReader(&buffer).size();
    const QImage rgb = thumbnail.convertToFormat(QImage::Format_RGB888);
    QByteArray thumbBytes;
    for (int y = 0; kind != "CR2" && y < rgb.height(); ++y)
        thumbBytes += QByteArray(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    const quint32 previewAt = tiff.data(preview), thumbAt = tiff.data(thumbBytes);
    // A CR2's sensor data is a lossless JPEG: its frame header gives the sensor's size.
    QByteArray sensorData(sensorBytes, '\x5a');
    if (kind == "CR2")
        sensorData.replace(0, 29,
            QByteArray("\xff\xd8\xff\xc3\0\x0e\x0e", 7) + char(size.height() >> 8) + char(size.height())
                + char(size.width() >> 9) + char(size.width() >> 1)
                + QByteArray("\2\1\x11\0\2\x11\0\xff\xda\0\x0a\2\1\0\2\0\1\0\0", 19));
    const quint32 sensorAt = tiff.data(sensorData);
    const auto strip = [&](quint32 at, qsizetype length, QSize pixels, quint16 compression) {
        return QList<T::Tag> { { 0x100, T::Long, { quint32(pixels.width()) } },
            { 0x101, T::Long, { quint32(pixels.height()) } }, { 0x103, T::Short, { compression } },
            { 0x111, T::Long, { at } }, { 0x116, T::Long, { quint32(pixels.height()) } },
            { 0x117, T::Long, { quint32(length) } } };
    };
    const QList<T::Tag> sensor = strip(sensorAt, sensorBytes, size, 1)
        + QList<T::Tag> { { 0xfe, T::Long, { 0 } }, { 0x102, T::Short, { 14 } }, { 0x106, T::Short, { 32803 } },
              { 0x115, T::Short, { 1 } }, { 0x828d, T::Short, { 2, 2 } },
              { 0x828e, T::Byte, {}, QByteArray("\0\1\1\2", 4) } };
    const QList<T::Tag> rgbThumb = strip(thumbAt, thumbBytes.size(), rgb.size(), 1)
        + QList<T::Tag> { { 0x102, T::Short, { 8, 8, 8 } }, { 0x106, T::Short, { 2 } }, { 0x115, T::Short, { 3 } } };
    QList<T::Tag> ifd0 { { 0x10f, T::Ascii, {}, QByteArray(kind == "NEF" ? "NIKON CORPORATION" : "Canon") + '\0' },
        { 0x110, T::Ascii, {}, QByteArray(kind == "NEF" ? "NIKON D850" : "Canon EOS 5D Mark III") + '\0' } };
    if (orientation)
        ifd0 << T::Tag { 0x112, T::Short, { quint32(orientation) } };
    if (kind == "CR2") {
        // The sensor's directory names no size: no reader takes it for a picture.
        const quint32 raw = tiff.ifd({ { 0x103, T::Short, { 6 } }, { 0x111, T::Long, { sensorAt } },
            { 0x117, T::Long, { quint32(sensorBytes) } } });
        tiff.set(12, raw);
        return tiff.finish(tiff.ifd(ifd0 + strip(previewAt, preview.size(), size, 6), raw));
    }
    QList<quint32> subs;
    if (!preview.isEmpty() && kind == "NEF")
        subs << tiff.ifd({ { 0xfe, T::Long, { 1 } }, { 0x103, T::Short, { 6 } }, { 0x201, T::Long, { previewAt } },
            { 0x202, T::Long, { quint32(preview.size()) } } });
    else if (!preview.isEmpty())
        subs << tiff.ifd(strip(previewAt, preview.size(), size, 7)
            + QList<T::Tag> { { 0xfe, T::Long, { 1 } }, { 0x102, T::Short, { 8, 8, 8 } }, { 0x106, T::Short, { 6 } },
                { 0x115, T::Short, { 3 } } });
    subs << tiff.ifd(sensor);
    ifd0 << T::Tag { 0x14a, T::Long, subs };
    if (kind == "DNG")
        ifd0 << T::Tag { 0xc612, T::Byte, {}, QByteArray("\1\4\0\0", 4) }
             << T::Tag { 0xc614, T::Ascii, {}, QByteArray("Canon EOS 5D Mark III") + '\0' };
    if (!thumbBytes.isEmpty())
        ifd0 += rgbThumb + QList<T::Tag> { { 0xfe, T::Long, { 1 } } };
    return tiff.finish(tiff.ifd(ifd0));
}

} // namespace rasterblatt::fixtures
