// SPDX-License-Identifier: GPL-3.0-or-later
// Scanning and listing a large photo tree, and ticking every entry, through the real main
// window; `find` on the same tree is the yardstick for the walk. Then the listing in the order
// the pictures were taken against the name order, on 1,000 12-megapixel JPEGs with EXIF, and a
// sheet of them with both caption lines against one without.
#include <cstdio>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

#include "BenchTools.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/picture/DecodeAhead.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/PrintSource.h"
#include "engine/print/Printer.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

class NoPrinters final : public PrinterService {
public:
    std::vector<Printer*> printers() override { return {}; }
    Printer* currentPrinter() override { return nullptr; }
    void setCurrentPrinter(Printer*) override { }
};

// The JPEG with an EXIF block of its capture time and exposure after its first segment.
QByteArray withExif(const QByteArray& jpeg, const QDateTime& taken)
{
    Exiv2::ExifData exif;
    exif["Exif.Photo.DateTimeOriginal"] = taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toStdString();
    exif["Exif.Photo.ExposureTime"] = Exiv2::Rational(1, 250);
    exif["Exif.Photo.FNumber"] = Exiv2::Rational(8, 1);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    exif["Exif.Photo.FocalLength"] = Exiv2::Rational(35, 1);
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::bigEndian, exif);
    const QByteArray block
        = QByteArray("Exif\0\0", 6) + QByteArray(reinterpret_cast<const char*>(blob.data()), qsizetype(blob.size()));
    const int length = int(block.size()) + 2;
    const QByteArray segment = QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff);
    const qsizetype at = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    return jpeg.left(at) + segment + block + jpeg.mid(at);
}

// Lists the folder as the command line does, with or without the time order.
int listFolder(const QString& folder, bool timeOrder, bool subDirs = false)
{
    Catalogue catalogue;
    catalogue.timeOrder = timeOrder;
    catalogue.bSubDirs = subDirs;
    FolderScan scan(catalogue);
    scan.reset();
    scan.ScanFolder(folder);
    return catalogue.count();
}

double sheetMs(const QString& folder, const QString& pdfPath, bool captions)
{
    Catalogue catalogue;
    FolderScan scan(catalogue);
    scan.reset();
    scan.ScanFolder(folder);
    const QStringList files = catalogue.paths().mid(0, 77);
    CupsPrinterService printers([pdfPath](const QString&) { return pdfPath; });
    RunFlags flags;
    PrintCommand::Callbacks callbacks;
    callbacks.yield = [] { QCoreApplication::processEvents(); };
    PrintJobSettings settings;
    settings.setup.captionTime = settings.setup.captionExposure = captions;
    QElapsedTimer timer;
    timer.start();
    PrintCommand(printers, flags).run(*printers.pdfPrinter(), FileListSource(files), settings, callbacks);
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int folders = 100;
    constexpr int filesPerFolder = 327; // 32,700 in all
    const char* extensions[] = { "jpg", "JPG", "bmp", "gif" };
    QTemporaryDir tree;
    for (int f = 0; f < folders; ++f) {
        const QString dir = tree.path() + QStringLiteral("/Ordner %1").arg(f, 3, 10, QLatin1Char('0'));
        QDir().mkpath(dir);
        for (int i = 0; i < filesPerFolder; ++i) {
            QFile file(dir
                + QStringLiteral("/IMG_%1.%2").arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(extensions[i % 4])));
            file.open(QIODevice::WriteOnly);
        }
    }

    QTemporaryDir config;
    const QString settingsFile = config.path() + QStringLiteral("/bench.ini");
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Settings/LastFolder"), tree.path());
    }
    NoPrinters printers;
    QtMessageBoxes messages;
    MainWindow window(printers, messages, settingsFile, tree.path());
    window.show();
    auto* subDirs = window.findChild<QCheckBox*>(QStringLiteral("chkSubDir"));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("fileList"));
    auto* selectAll = window.findChild<QPushButton*>(QStringLiteral("cmdSelect"));
    auto* info = window.findChild<QLabel*>(QStringLiteral("lbInfo"));

    constexpr int runs = 7;
    const double scanMs = medianMs(
        runs, [&] { subDirs->setChecked(true); }, [&] { subDirs->setChecked(false); });
    const int listed = list->count();

    const double findMs = medianMs(runs, [&] {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start(QStringLiteral("find"), { tree.path(), QStringLiteral("-type"), QStringLiteral("f") });
        find.waitForFinished(-1);
    });

    const double tickMs = medianMs(
        runs, [&] { selectAll->click(); },
        [&] {
            subDirs->setChecked(false);
            subDirs->setChecked(true);
        });

    std::printf("catalogue: %d files in %d folders, sub-folders included, warm cache, median of %d runs\n", listed,
        folders, runs);
    std::printf("  scan and list      %8.1f ms   (target <= 400 ms)\n", scanMs);
    std::printf("  find -type f       %8.1f ms   (ratio scan/find %.2f)\n", findMs, scanMs / findMs);
    std::printf("  tick all           %8.1f ms   (target <= 300 ms)\n", tickMs);
    std::printf("  status line: %s\n", qPrintable(info->text()));
    const double treeTimeMs = medianMs(3, [&] { listFolder(tree.path(), true, true); });
    std::printf("  the same in time order (engine, no EXIF: modification times) %8.1f ms\n", treeTimeMs);

    // 1,000 photos of 12 megapixels, each with its EXIF, taken in an order apart from their names'.
    constexpr int photos = 1000;
    QTemporaryDir shoot;
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        photoLike(4000, 3000, 7).save(&buffer, "JPEG", 85);
    }
    const QDateTime start(QDate(2024, 8, 11), QTime(9, 0));
    for (int i = 0; i < photos; ++i) {
        QFile file(shoot.filePath(QStringLiteral("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(withExif(jpeg, start.addSecs((i * 379) % photos))) < 0)
            return 1;
    }
    listFolder(shoot.path(), true); // warms the file cache
    const double nameMs = medianMs(runs, [&] { listFolder(shoot.path(), false); });
    const double timeMs = medianMs(runs, [&] { listFolder(shoot.path(), true); });
    std::vector<double> plain, captioned;
    for (int round = 0; round < 5; ++round) {
        plain.push_back(sheetMs(shoot.path(), shoot.filePath(QStringLiteral("plain.pdf")), false));
        captioned.push_back(sheetMs(shoot.path(), shoot.filePath(QStringLiteral("captions.pdf")), true));
    }
    std::printf(
        "%d JPEGs of 4000 x 3000 with EXIF (%.1f MB each), %d decoding threads, warm cache, median of %d runs\n",
        photos, double(jpeg.size()) / (1024 * 1024), decodeThreads(), runs);
    std::printf("  name order         %8.1f ms\n", nameMs);
    std::printf("  time order         %8.1f ms   (target <= 500 ms)\n", timeMs);
    std::printf("  77 on a sheet, 7 x 11, median of 5 alternated: without captions %.0f ms, with both %.0f ms\n",
        median(plain), median(captioned));
    return listed == folders * filesPerFolder ? 0 : 1;
}
