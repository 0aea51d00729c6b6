// SPDX-License-Identifier: GPL-3.0-or-later
// The sheet's preview: how soon its first page of 77 camera-sized JPEGs at 7 x 11 appears,
// beside the decode floor of the same pictures on all cores; how soon a page drawn already
// comes back; how long the event loop stalls while pages are drawn; and the peak memory after
// ten pages viewed, in a fresh process.
#include <algorithm>
#include <cstdio>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "BenchTools.h"
#include "DecodeFloor.h"
#include "engine/print/SheetPreview.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

constexpr int PhotoCount = 77;
constexpr int Rounds = 3;
// About what the dialog's view shows an A4 page at.
constexpr double PreviewDpi = 60;

SheetPreview::Sheet sheetOf(const QStringList& files)
{
    SheetPreview::Sheet sheet;
    sheet.files = files;
    sheet.layout = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
    sheet.dpi = PreviewDpi;
    return sheet;
}

// Asks for the page and waits for it; the milliseconds until it is there, and the longest the
// event loop stood still meanwhile.
std::pair<double, double> showPage(SheetPreview& preview, int page)
{
    QEventLoop loop;
    const QMetaObject::Connection ready = QObject::connect(&preview, &SheetPreview::pageReady, &loop, [&](int drawn) {
        if (drawn == page)
            loop.quit();
    });
    QElapsedTimer clock, sinceTick;
    double stall = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        stall = std::max(stall, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    clock.start();
    sinceTick.start();
    ticks.start(1);
    preview.requestPage(page);
    if (preview.page(page).isNull())
        loop.exec();
    QObject::disconnect(ready);
    return { static_cast<double>(clock.nsecsElapsed()) / 1e6, stall };
}

// Child process: views pages 1 to 10 of a sheet of ten pages, and prints its peak memory in kB.
int tenPages(const QString& folder)
{
    QStringList files;
    for (int i = 0; i < 10 * PhotoCount; ++i)
        files << QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(1001 + i % PhotoCount));
    SheetPreview preview;
    preview.setSheet(sheetOf(files));
    for (int page = 1; page <= 10; ++page)
        showPage(preview, page);
    std::printf("%lld\n", static_cast<long long>(peakResidentKilobytes()));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--ten-pages") == 0)
        return tenPages(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir dir;
    std::printf("Generating %d photo-like 4000 x 3000 JPEGs...\n", PhotoCount);
    std::fflush(stdout);
    QStringList photos;
    for (int i = 0; i < PhotoCount; ++i)
        photos << dir.filePath(QStringLiteral("IMG_%1.jpg").arg(1001 + i));
    if (!writePhotos(
            PhotoCount, 4000, 3000, [&](int i) { return photos[i]; },
            [](const QImage& photo, const QString& path) { return photo.save(path, "JPEG", 90); })) {
        std::fprintf(stderr, "bench_preview: cannot write the photos\n");
        return 1;
    }

    const int cores = std::max(1, QThread::idealThreadCount());
    std::vector<double> floor, first, again, stall;
    for (int round = 0; round < Rounds; ++round) {
        floor.push_back(decodeFloorMs(photos, cores));
        // A sheet of two pages: the first drawn, then the second, then the first again.
        SheetPreview preview;
        preview.setSheet(sheetOf(photos + photos));
        const auto [firstMs, firstStall] = showPage(preview, 1);
        const auto [secondMs, secondStall] = showPage(preview, 2);
        first.push_back(firstMs);
        stall.push_back(std::max(firstStall, secondStall));
        again.push_back(showPage(preview, 1).first);
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--ten-pages"), dir.path() });
    const bool childDone = child.waitForFinished(600000) && child.exitCode() == 0;
    const double tenPagesMb = childDone ? child.readAllStandardOutput().trimmed().toDouble() / 1024 : -1;

    std::printf("\nSheet preview of %d JPEGs, 4000 x 3000, 7 x 11 on A4 at %.0f dpi; %d CPUs, medians of %d "
                "rounds.\n",
        PhotoCount, PreviewDpi, cores, Rounds);
    std::printf("  decode floor, %d threads   %8.0f ms  (libjpeg 1/8, in-process)\n", cores, median(floor));
    std::printf("  first page                 %8.0f ms\n", median(first));
    std::printf("  a page drawn already       %8.2f ms\n", median(again));
    std::printf("  longest stall of the loop  %8.1f ms  (while two pages are drawn)\n", median(stall));
    std::printf("  peak memory, 10 pages      %8.0f MB  (fresh process)\n\n", tenPagesMb);
    const auto target = [](const char* what, double value, double limit, const char* unit) {
        std::printf("  %-32s %8.2f%s target <= %.2f%s  %s\n", what, value, unit, limit, unit,
            value <= limit ? "met" : "missed");
    };
    target("first page / all-core floor", median(first) / median(floor), 1.3, "x");
    target("a page drawn already", median(again), 50, " ms");
    target("longest stall", median(stall), 50, " ms");
    target("peak memory, 10 pages", tenPagesMb, 150, " MB");
    return childDone ? 0 : 1;
}
