// SPDX-License-Identifier: GPL-3.0-or-later
// "Bildauswahl" and the sheet's preview drawn from the views' picture cache.
//
// The chooser: 1,000 camera-sized JPEGs (a few distinct photos under 1,000 names, each name
// decoded for itself): how soon the first screen of thumbnails is there, beside the decode
// floor of those pictures on all cores; the event loop's longest stall while scrolling
// through all of them; the peak memory, in a fresh process.
// The preview: 140 photos at 7 x 11; how soon the page shows after "Kopfzeile drucken", after
// turning to a page whose cells are cached, and in a dialog opened a second time.
#include <algorithm>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchTools.h"
#include "DecodeFloor.h"
#include "engine/picture/PictureCache.h"
#include "engine/print/SheetPreview.h"
#include "ui/widgets/PictureChooser.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

constexpr int Distinct = 40;
constexpr int ChooserCount = 1000;
constexpr int SheetCount = 140;
constexpr int Rounds = 3;

// The longest the event loop stood still while it lives, in milliseconds.
struct StallWatch {
    StallWatch()
    {
        QObject::connect(&ticks, &QTimer::timeout, [this] {
            longest = std::max(longest, static_cast<double>(since.nsecsElapsed()) / 1e6);
            since.restart();
        });
        since.start();
        ticks.start(1);
    }
    QTimer ticks;
    QElapsedTimer since;
    double longest = 0;
};

// Runs the event loop, asleep between events, until done() or the bound; false at the bound.
bool waitFor(const std::function<bool()>& done, int boundMs = 600000)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > boundMs)
            loop.quit();
    });
    poll.start(10);
    if (!done())
        loop.exec();
    return done();
}

QStringList names(const QString& folder, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(10001 + i));
    return files;
}

// Child process: the chooser on the folder's photos; prints first screen ms, visible count,
// longest stall while scrolling, peak kB.
int chooser(const QString& folder)
{
    const QStringList files = names(folder, ChooserCount);
    QStandardItemModel list;
    for (const QString& file : files) {
        auto* item = new QStandardItem(QFileInfo(file).fileName());
        item->setCheckable(true);
        list.appendRow(item);
    }
    auto cache = std::make_shared<PictureCache>();
    PictureChooser view;
    view.setModel(new PictureModel(
        &list, [&](int row) { return files.value(row); }, cache, &view));
    view.resize(1000, 700);
    view.show();
    QElapsedTimer clock;
    clock.start();
    // The rows in view, and whether all of them have their thumbnails.
    const auto visibleLoaded = [&] {
        QList<QModelIndex> visible;
        for (int row = 0; row < ChooserCount; ++row) {
            const QModelIndex index = view.model()->index(row, 0);
            if (view.viewport()->rect().intersects(view.visualRect(index)))
                visible << index;
        }
        const bool all = std::all_of(visible.begin(), visible.end(),
            [&](const QModelIndex& index) { return !view.model()->data(index, Qt::DecorationRole).isNull(); });
        return all ? int(visible.size()) : -1;
    };
    int shown = -1;
    QCoreApplication::processEvents();
    waitFor([&] { return (shown = visibleLoaded()) > 0; });
    const double firstMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    // Scrolling a screen every 50 ms to the end, then waiting for the last screen.
    StallWatch stalls;
    QScrollBar* bar = view.verticalScrollBar();
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + bar->pageStep());
        QElapsedTimer step;
        step.start();
        waitFor([&] { return step.elapsed() >= 50; });
    }
    waitFor([&] { return visibleLoaded() > 0; });
    std::printf("%f %d %f %lld\n", firstMs, shown, stalls.longest, static_cast<long long>(peakResidentKilobytes()));
    return 0;
}

SheetPreview::Sheet sheetOf(const QStringList& files, const std::shared_ptr<PictureCache>& cache, bool header)
{
    SheetPreview::Sheet sheet;
    sheet.files = files;
    sheet.layout = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10));
    sheet.dpi = 60;
    sheet.settings.setup.header = header;
    sheet.cache = cache;
    return sheet;
}

double showPage(SheetPreview& preview, int page)
{
    QElapsedTimer clock;
    clock.start();
    bool ready = false;
    const QMetaObject::Connection connection
        = QObject::connect(&preview, &SheetPreview::pageReady, [&](int drawn) { ready = ready || drawn == page; });
    preview.requestPage(page);
    waitFor([&] { return ready; });
    QObject::disconnect(connection);
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--chooser") == 0)
        return chooser(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir dir;
    std::printf("Generating %d photo-like 4000 x 3000 JPEGs, linked under %d names...\n", Distinct, ChooserCount);
    std::fflush(stdout);
    const QStringList files = names(dir.path(), ChooserCount);
    if (!writePhotos(
            Distinct, 4000, 3000, [&](int i) { return files[i]; },
            [](const QImage& photo, const QString& path) { return photo.save(path, "JPEG", 90); })) {
        std::fprintf(stderr, "bench_chooser: cannot write the photos\n");
        return 1;
    }
    for (int i = Distinct; i < ChooserCount; ++i)
        QFile::link(files[i % Distinct], files[i]);
    const int cores = std::max(1, QThread::idealThreadCount());

    std::vector<double> first, floor, stall, peak;
    int shown = 0;
    for (int round = 0; round < Rounds; ++round) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--chooser"), dir.path() });
        if (!child.waitForFinished(600000) || child.exitCode() != 0)
            return 1;
        const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
        first.push_back(out.value(0).toDouble());
        shown = out.value(1).toInt();
        stall.push_back(out.value(2).toDouble());
        peak.push_back(out.value(3).toDouble() / 1024);
        floor.push_back(decodeFloorMs(files.mid(0, shown), cores));
    }

    // The preview: the first page decodes; then the header, page 2 and back, a new dialog.
    std::vector<double> firstPage, header, turned, reopened;
    const QStringList sheetFiles = files.mid(0, SheetCount);
    for (int round = 0; round < Rounds; ++round) {
        auto cache = std::make_shared<PictureCache>();
        {
            SheetPreview preview;
            preview.setSheet(sheetOf(sheetFiles, cache, false));
            firstPage.push_back(showPage(preview, 1));
            showPage(preview, 2);
            preview.setSheet(sheetOf(sheetFiles, cache, true));
            header.push_back(showPage(preview, 1));
            turned.push_back(showPage(preview, 2));
        }
        SheetPreview again;
        again.setSheet(sheetOf(sheetFiles, cache, true));
        reopened.push_back(showPage(again, 1));
    }

    std::printf("\n\"Bildauswahl\" of %d JPEGs, 4000 x 3000, thumbnails of 160 px in a 1000 x 700 view; %d CPUs, "
                "medians of %d rounds.\n",
        ChooserCount, cores, Rounds);
    std::printf("  first screen (%d thumbnails) %8.0f ms\n", shown, median(first));
    std::printf("  decode floor of them, %d thr  %8.0f ms  (libjpeg 1/8)\n", cores, median(floor));
    std::printf("  longest stall, scrolling     %8.1f ms\n", median(stall));
    std::printf("  peak memory                  %8.0f MB  (cache bound %lld MB)\n", median(peak),
        static_cast<long long>(PictureCache::DefaultBound >> 20));
    std::printf("\nSheet preview of %d JPEGs at 7 x 11 on A4, from the cache:\n", SheetCount);
    std::printf("  first page (decoding)        %8.0f ms\n", median(firstPage));
    std::printf("  after \"Kopfzeile drucken\"    %8.1f ms\n", median(header));
    std::printf("  page turned, cells cached    %8.1f ms\n", median(turned));
    std::printf("  dialog opened again          %8.1f ms\n\n", median(reopened));
    const auto target = [](const char* what, double value, double limit, const char* unit) {
        std::printf("  %-32s %8.2f%s target <= %.2f%s  %s\n", what, value, unit, limit, unit,
            value <= limit ? "met" : "missed");
    };
    target("first screen / all-core floor", median(first) / median(floor), 1.3, "x");
    target("longest stall, scrolling", median(stall), 50, " ms");
    target("peak memory", median(peak), 250, " MB");
    target("after the header", median(header), 100, " ms");
    target("page turned", median(turned), 100, " ms");
    target("opened again", median(reopened), 100, " ms");
    return 0;
}
