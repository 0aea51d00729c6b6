// SPDX-License-Identifier: GPL-3.0-or-later
// Showing camera-sized JPEGs in the preview pane and full screen as the window does, beside
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
#include <QProcess>
#include <QTemporaryDir>

#include "BenchTools.h"
#include "engine/picture/PictureLoader.h"
#include "ui/FitAndPaint.h"
#include "ui/widgets/PictureBox.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

constexpr int Runs = 5;

// What the window's ShowPicture does: decode for the box, paint fitted.
void showPicture(const QString& path, PictureBox& box)
{
    paintFitted(box, path, decodePicture(path, availableArea(box), true), true);
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

// The whole picture decoded upright, then scaled smoothly to fit the box's drawing area.
QImage naiveFit(const QString& path, const QSize& area)
{
    QImageReader::setAllocationLimit(512); // Qt's 128 MB refuses 8000 x 6000
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().scaled(area, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void makePreviewPane(PictureBox& box)
{
    box.resize(193, 145); // 2895 x 2175 twips at 96 dpi
    box.setBorder(true);
}

// Child process: the peak memory that one preview adds, "ours" or "naive".
int measurePeak(const QString& how, const QString& path)
{
    PictureBox box;
    makePreviewPane(box);
    box.Cls();
    const qint64 before = peakResidentKilobytes();
    if (how == QLatin1String("ours"))
        showPicture(path, box);
    else
        box.PaintPicture(naiveFit(path, box.Image().size()), 0, 0, box.widthTwips() - 60, box.heightTwips() - 60);
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
    showPicture(dir.filePath(photos.front().name), preview); // loads the JPEG plugin
    for (const Photo& photo : photos) {
        const QString path = dir.filePath(photo.name);
        const double previewMs = medianMs(Runs, [&] { showPicture(path, preview); });
        const double previewNaiveMs = medianMs(Runs, [&] { naiveFit(path, previewArea); });
        const double screenMs = medianMs(Runs, [&] { showPicture(path, fullScreen); });
        const double screenNaiveMs = medianMs(Runs, [&] { naiveFit(path, fullScreenArea); });
        std::printf("%-18s %6.1f | %8.1f %8.1f %6.2f | %8.1f %8.1f %6.2f\n", qPrintable(photo.name),
            static_cast<double>(QFile(path).size()) / (1 << 20), previewMs, previewNaiveMs, previewMs / previewNaiveMs,
            screenMs, screenNaiveMs, screenMs / screenNaiveMs);
    }
    std::printf("Targets: preview <= 0.40, screen <= 0.70 of naive\n");

    // What printing a thumbnail costs: a 12-megapixel JPEG decoded at 1/8 scale.
    const QString twelve = dir.filePath(photos.front().name);
    const QSize eighth(500, 375);
    const double qtMs = medianMs(Runs * 2, [&] {
        QImageReader reader(twelve);
        reader.setScaledSize(eighth);
        reader.read();
    });
    const double oursMs = medianMs(Runs * 2, [&] { PictureLoader(twelve).read(eighth); });
    std::printf(
        "\n12 MP JPEG at 1/8 scale: PictureLoader %.1f ms, Qt's JPEG plugin %.1f ms; target <= Qt's\n", oursMs, qtMs);

    const QString huge = dir.filePath(photos.back().name);
    std::printf("\nPeak memory of one preview of %s, fresh process: %s (naive: %s); target <= +80 MB\n",
        qPrintable(photos.back().name), qPrintable(peakRise(QStringLiteral("ours"), huge)),
        qPrintable(peakRise(QStringLiteral("naive"), huge)));
    return 0;
}
