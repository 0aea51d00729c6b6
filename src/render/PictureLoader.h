#pragma once

#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

namespace rasterblatt {

// Reads one picture file in two steps: the header first, which gives the upright size,
// then the pixels at the size they will be drawn, so that a big JPEG is decoded small.
// The format is taken from the content, not the name. Nothing here throws.
class PictureLoader {
public:
    // A picture whose decoded pixels would take more fails to load instead of exhausting
    // memory. Qt's limit is process-wide; every loader sets it.
    static constexpr int AllocationLimitMegabytes = 512;

    explicit PictureLoader(const QString& path);

    // False for a missing, unreadable, empty or undecodable file and for a picture with
    // no pixels.
    bool isValid() const { return !m_naturalSize.isEmpty(); }
    // The full size in pixels, upright (EXIF orientation applied).
    QSize naturalSize() const { return m_naturalSize; }
    // The size read() decodes at to cover target device pixels: the picture's own
    // proportions, at least target in both directions, at most the full picture.
    QSize decodeSize(const QSize& target) const;
    // Decodes the picture upright at decodeSize(target), or whole for an invalid target.
    // Null when decoding fails. Reads once: a second call gives a null image.
    QImage read(const QSize& target = QSize());
    QString errorString() const { return m_reader.errorString(); }

private:
    QImageReader m_reader;
    QSize m_naturalSize;
    // The stored picture is turned by 90 degrees to be upright.
    bool m_turned = false;
    bool m_read = false;
};

} // namespace rasterblatt
