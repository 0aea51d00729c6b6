// Showing camera-sized JPEGs in the preview pane and full screen with showPicture, beside
// the naive way: decode the whole picture, then scale it smoothly to the same size.
// Also the peak memory that previewing an 8000 x 6000 picture adds, in a fresh process.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "render/FitAndPaint.h"
#include "render/PictureBox.h"
#include "render/PictureLoader.h"

using namespace rasterblatt;

namespace {

constexpr int Runs = 5;

// A sky-to-ground gradient, soft blobs, hard edges and sensor noise, so that the file
// compresses and decodes like a photo (a few megabytes for 12 megapixels).
QImage photoLike(int width, int height, quint32 seed)
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

// The JPEG with an EXIF segment saying "show turned clockwise", as phones held upright write.
QByteArray turnedClockwise(const QByteArray& jpeg)
{
    const QByteArray tiff("MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1");
    segment += static_cast<char>(0);
    segment += static_cast<char>(payload.size() + 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

bool writeJpeg(const QString& path, const QImage& image, bool turned = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 90))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(turned ? turnedClockwise(bytes) : bytes) > 0;
}

double medianMs(const std::function<void()>& measured)
{
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        measured();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The whole picture decoded upright, then scaled smoothly to fit the box's drawing area.
QImage naiveFit(const QString& path, const QSize& area)
{
    QImageReader::setAllocationLimit(PictureLoader::AllocationLimitMegabytes); // Qt's 128 MB refuses 8000 x 6000
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().scaled(area, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void makePreviewPane(PictureBox& box)
{
    box.resize(193, 145); // 2895 x 2175 twips at 96 dpi
    box.setBorder(true);
    box.setMinimumImageScale(2);
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

// Child process: the peak memory that one preview adds, "ours" or "naive".
int measurePeak(const QString& how, const QString& path)
{
    PictureBox box;
    makePreviewPane(box);
    box.Cls();
    const qint64 before = peakResidentKilobytes();
    if (how == QLatin1String("ours"))
        showPicture(path, box, true);
    else
        box.PaintPicture(naiveFit(path, box.Image().size()), 0, 0, box.Width() - 60, box.Height() - 60);
    std::printf("%lld\n", static_cast<long long>(peakResidentKilobytes() - before));
    return 0;
}

QString peakRise(const QString& how, const QString& path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--peak"), how, path });
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return QStringLiteral("failed");
    return QStringLiteral("+%1 MB").arg(child.readAllStandardOutput().trimmed().toDouble() / 1024, 0, 'f', 1);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--peak"))
        return measurePeak(arguments[2], arguments[3]);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    struct Photo {
        QString name;
        int width;
        int height;
        bool turned;
    };
    const std::vector<Photo> photos { { "landscape-1.jpg", 4000, 3000, false },
        { "landscape-2.jpg", 4000, 3000, false }, { "portrait.jpg", 3000, 4000, false },
        { "portrait-exif.jpg", 4000, 3000, true }, { "huge.jpg", 8000, 6000, false } };
    std::printf("Generating %zu photo-like JPEGs...\n", photos.size());
    quint32 seed = 1;
    for (const Photo& photo : photos) {
        if (!writeJpeg(dir.filePath(photo.name), photoLike(photo.width, photo.height, seed++), photo.turned)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(photo.name));
            return 1;
        }
    }

    PictureBox preview;
    makePreviewPane(preview);
    PictureBox fullScreen;
    fullScreen.resize(1920, 1080);
    const QSize previewArea = preview.Image().size();
    const QSize fullScreenArea = fullScreen.Image().size();

    std::printf("\nMedian of %d runs, ms; naive = whole decode + smooth scale to the same size\n", Runs);
    std::printf("%-18s %6s | %8s %8s %6s | %8s %8s %6s\n", "file", "MB", "preview", "naive", "ratio", "screen", "naive",
        "ratio");
    showPicture(dir.filePath(photos.front().name), preview, true); // loads the JPEG plugin
    for (const Photo& photo : photos) {
        const QString path = dir.filePath(photo.name);
        const double previewMs = medianMs([&] { showPicture(path, preview, true); });
        const double previewNaiveMs = medianMs([&] { naiveFit(path, previewArea); });
        const double screenMs = medianMs([&] { showPicture(path, fullScreen, true); });
        const double screenNaiveMs = medianMs([&] { naiveFit(path, fullScreenArea); });
        std::printf("%-18s %6.1f | %8.1f %8.1f %6.2f | %8.1f %8.1f %6.2f\n", qPrintable(photo.name),
            static_cast<double>(QFile(path).size()) / (1 << 20), previewMs, previewNaiveMs, previewMs / previewNaiveMs,
            screenMs, screenNaiveMs, screenMs / screenNaiveMs);
    }
    std::printf("Targets: preview <= 0.40, screen <= 0.70 of naive\n");

    const QString huge = dir.filePath(photos.back().name);
    std::printf("\nPeak memory of one preview of %s, fresh process: %s (naive: %s); target <= +80 MB\n",
        qPrintable(photos.back().name), qPrintable(peakRise(QStringLiteral("ours"), huge)),
        qPrintable(peakRise(QStringLiteral("naive"), huge)));
    return 0;
}
