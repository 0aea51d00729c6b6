// SPDX-License-Identifier: GPL-3.0-or-later
// Camera raw files: contact sheets at 7 x 11 of 60 raw files of 25 MB whose previews are
// 6000 x 4000 JPEGs, and of 60 whose largest preview is 1620 x 1080, each job in a fresh
// process through the print command, beside the floor of decoding the same previews
// (extracted beforehand) with libjpeg on all cores in a fresh process.
#include <algorithm>
#include <cstdio>
#include <map>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "BenchTools.h"
#include "DecodeFloor.h"
#include "RawFiles.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/PrintSource.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

constexpr int PhotoCount = 60;
constexpr int Encoded = 4; // distinct photos, each written under several names
constexpr int Rounds = 3;
constexpr qint64 RawBytes = 25LL * 1024 * 1024;

// Child process: the folder's contact sheet at 7 x 11 through the print command; prints the
// job's milliseconds, the peak memory in kB and the pictures printed.
int printFolder(const QString& folder, const QString& pdf)
{
    Catalogue catalogue;
    catalogue.allFormats = true;
    FolderScan scan(catalogue);
    scan.reset();
    scan.ScanFolder(folder);
    CupsPrinterService printers([pdf](const QString&) { return pdf; });
    RunFlags flags;
    PrintCommand::Callbacks callbacks;
    int pictures = 0;
    callbacks.yield = [] { QCoreApplication::processEvents(); };
    callbacks.picture = [&](const QString&, const DecodedPicture& picture) { pictures += picture.loaded(); };
    QElapsedTimer timer;
    timer.start();
    const PrintCommand::Result result
        = PrintCommand(printers, flags).run(*printers.pdfPrinter(), FileListSource(catalogue.paths()), {}, callbacks);
    if (result.outcome != PrintCommand::Outcome::Sent)
        return 1;
    std::printf("%.1f %lld %d\n", static_cast<double>(timer.nsecsElapsed()) / 1e6,
        static_cast<long long>(peakResidentKilobytes()), pictures);
    return 0;
}

// Child process: the previews of the folder decoded on all cores; prints the milliseconds and the peak memory in kB.
int decodeFolder(const QString& folder)
{
    QStringList files;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        files << folder + QLatin1Char('/') + name;
    // At the fewest eighths that cover a cell at 7 x 11 on A4 (about 305 pixels across), as the sheet decodes.
    const bool small = folder.contains(QLatin1String("small"));
    const double ms = decodeFloorMs(files, std::max(1, QThread::idealThreadCount()), small ? 2 : 1);
    std::printf("%.1f %lld\n", ms, static_cast<long long>(peakResidentKilobytes()));
    return 0;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--print") == 0)
        return printFolder(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]));
    if (argc == 3 && qstrcmp(argv[1], "--decode") == 0)
        return decodeFolder(QFile::decodeName(argv[2]));

    QTemporaryDir dir;
    const QStringList kinds { QStringLiteral("full"), QStringLiteral("small") };
    std::printf("Generating %d NEF files of 25 MB with 6000 x 4000 previews and %d with 1620 x 1080 ones "
                "(%d different photos)...\n",
        PhotoCount, PhotoCount, Encoded);
    std::fflush(stdout);
    for (const QString& kind : kinds)
        QDir().mkpath(dir.filePath(kind)), QDir().mkpath(dir.filePath(kind + QStringLiteral("-previews")));
    std::map<QString, std::vector<QByteArray>> previews;
    bool written = writePhotos(
        Encoded, 6000, 4000, [&](int i) { return dir.filePath(QStringLiteral("photo%1.jpg").arg(i)); },
        [&](const QImage& photo, const QString& path) {
            return photo.save(path, "JPEG", 90) && photo.scaled(1620, 1080).save(path + ".small.jpg", "JPEG", 90);
        });
    for (int i = 0; written && i < Encoded; ++i) {
        previews["full"].push_back(readFile(dir.filePath(QStringLiteral("photo%1.jpg").arg(i))));
        previews["small"].push_back(readFile(dir.filePath(QStringLiteral("photo%1.jpg.small.jpg").arg(i))));
    }
    const QImage thumbnail = photoLike(160, 107, 1);
    for (const QString& kind : kinds) {
        for (int i = 0; written && i < PhotoCount; ++i) {
            const QByteArray& preview = previews[kind][size_t(i % Encoded)];
            const QString name = QStringLiteral("/photo%1").arg(i, 2, 10, QLatin1Char('0'));
            // Padded with a fake sensor strip to the size of a camera's file.
            written = writeFile(dir.filePath(kind) + name + QStringLiteral(".nef"),
                          fixtures::rawFile("NEF", preview, thumbnail, 1, RawBytes - preview.size() - 65536))
                && writeFile(dir.filePath(kind + QStringLiteral("-previews")) + name + ".jpg", preview);
        }
    }
    if (!written) {
        std::fprintf(stderr, "bench_raw: cannot write the files\n");
        return 1;
    }

    struct Figures {
        std::vector<double> floor, floorPeak, job, peak;
    };
    std::map<QString, Figures> figures;
    const auto child = [&](const QStringList& arguments, std::vector<double>& ms, std::vector<double>& peak) {
        const Finished run
            = runProgram(QStringList { QCoreApplication::applicationFilePath() } + arguments, dir.path());
        const QList<QByteArray> fields = run.output.trimmed().split(' ');
        if (!run.ok || fields.size() < 2)
            return false;
        ms.push_back(fields[0].toDouble());
        peak.push_back(fields[1].toDouble() / 1024);
        return fields.size() == 2 || fields[2].toInt() == PhotoCount;
    };
    for (int round = 0; round < Rounds; ++round) {
        std::printf("Round %d of %d...\n", round + 1, Rounds);
        std::fflush(stdout);
        for (const QString& kind : kinds) {
            Figures& into = figures[kind];
            if (!child({ QStringLiteral("--decode"), dir.filePath(kind + QStringLiteral("-previews")) }, into.floor,
                    into.floorPeak)
                || !child({ QStringLiteral("--print"), dir.filePath(kind), dir.filePath(QStringLiteral("sheet.pdf")) },
                    into.job, into.peak)) {
                std::fprintf(stderr, "bench_raw: the %s run failed\n", qPrintable(kind));
                return 1;
            }
        }
    }

    std::printf("\nContact sheets of %d raw files of 25 MB at 7 x 11, %d CPUs, medians of %d rounds.\n", PhotoCount,
        std::max(1, QThread::idealThreadCount()), Rounds);
    std::printf("  %-24s %10s %10s %9s %10s %9s\n", "", "floor ms", "job ms", "job/floor", "floor MB", "job MB");
    for (const QString& kind : kinds) {
        const Figures& f = figures[kind];
        std::printf("  %-24s %10.0f %10.0f %8.2fx %10.0f %9.0f\n",
            kind == QLatin1String("full") ? "6000 x 4000 previews" : "1620 x 1080 previews", median(f.floor),
            median(f.job), median(f.job) / median(f.floor), median(f.floorPeak), median(f.peak));
    }
    std::printf("  (floor: the previews, extracted beforehand, read and decoded by libjpeg on all cores at the\n"
                "   scale the sheet needs, 1/8 and 2/8, in a process of its own; MB: the peak resident memory)\n\n");
    for (const QString& kind : kinds) {
        const double ratio = median(figures[kind].job) / median(figures[kind].floor), peak = median(figures[kind].peak);
        std::printf("  %-6s job / floor %5.2fx target <= 1.20x  %s;  peak %4.0f MB target <= 120 MB  %s\n",
            qPrintable(kind), ratio, ratio <= 1.2 ? "met" : "missed", peak, peak <= 120 ? "met" : "missed");
    }
    return 0;
}
