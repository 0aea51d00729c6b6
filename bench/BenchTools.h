// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmarks share: photo-like pictures drawn at run time (so that no large file
// is kept), medians of repeated timings, and the process's peak memory.

#include <algorithm>
#include <functional>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

namespace rasterblatt::bench {

// A sky-to-ground gradient, soft blobs, hard edges and sensor noise, so that the file
// compresses and decodes like a photo (a few megabytes for 12 megapixels).
inline QImage photoLike(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(0.55, QColor(220, 225, 230));
    sky.setColorAt(0.6, QColor(80, 110, 60));
    sky.setColorAt(1, QColor(50, 40, 30));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 80; ++i) {
        const QPointF centre(random.bounded(width), random.bounded(height));
        const qreal radius = width / 60.0 + random.bounded(width / 8.0);
        QRadialGradient blob(centre, radius);
        blob.setColorAt(0, QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256), 200));
        blob.setColorAt(1, Qt::transparent);
        painter.setBrush(blob);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(centre, radius, radius);
    }
    for (int i = 0; i < 300; ++i) {
        painter.setPen(QPen(
            QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256)), 1 + random.bounded(6)));
        painter.drawLine(QPointF(random.bounded(width), random.bounded(height)),
            QPointF(random.bounded(width), random.bounded(height)));
    }
    painter.end();

    quint32 state = seed | 1;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state % 13) - 6;
            const QRgb rgb = line[x];
            line[x] = qRgb(qBound(0, qRed(rgb) + noise, 255), qBound(0, qGreen(rgb) + noise, 255),
                qBound(0, qBlue(rgb) + noise, 255));
        }
    }
    return image;
}

// The median of runs timings of measured, in milliseconds; setUp runs untimed before each.
inline double medianMs(int runs, const std::function<void()>& measured, const std::function<void()>& setUp = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (setUp)
            setUp();
        QElapsedTimer timer;
        timer.start();
        measured();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The process's peak resident memory so far (VmHWM) in kilobytes, -1 when unknown.
inline qint64 peakResidentKilobytes()
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

} // namespace rasterblatt::bench
