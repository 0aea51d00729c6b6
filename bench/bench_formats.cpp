// SPDX-License-Identifier: GPL-3.0-or-later
// The further photo formats: a contact sheet of 60 camera-sized HEIC photos (without and with
// embedded thumbnails) and of 60 PNG photos, each job in a fresh process through the print
// command, beside the floor of decoding the same pictures on all cores in a fresh process: a
// bare heif_decode_image of each primary picture, and QImageReader for the PNGs.
#include <algorithm>
#include <cstdio>

#include <libheif/heif.h>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include "BenchTools.h"
#include "DecodeFloor.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/PrintSource.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

constexpr int PhotoCount = 60;
// x265 takes half a minute for each photo: a few are encoded, and copied under the other names.
constexpr int Encoded = 6;
constexpr int Rounds = 3;

bool heifDecode(const QString& path)
{
    heif_context* context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 0);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    const bool ok = heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code == 0
        && heif_context_get_primary_image_handle(context, &handle).code == 0
        && heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code == 0;
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

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

} // namespace

// Child process: the folder's pictures decoded on all cores, each by a bare decode; prints the
// milliseconds and the peak memory in kB.
int decodeFolder(const QString& folder)
{
    QStringList files;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        files << folder + QLatin1Char('/') + name;
    const int cores = std::max(1, QThread::idealThreadCount());
    const double ms = files.value(0).endsWith(QLatin1String(".png"))
        ? decodeEachMs(files, cores, [](const QString& path) { return !QImageReader(path).read().isNull(); })
        : decodeEachMs(files, cores, heifDecode);
    std::printf("%.1f %lld\n", ms, static_cast<long long>(peakResidentKilobytes()));
    return 0;
}

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
    const QStringList kinds { QStringLiteral("heic"), QStringLiteral("heic-thumbnails"), QStringLiteral("png") };
    std::map<QString, QStringList> files;
    std::printf("Generating %d photo-like 4000 x 3000 pictures (%d different) as HEIC (with and without thumbnails) "
                "and PNG...\n",
        PhotoCount, Encoded);
    std::fflush(stdout);
    for (const QString& kind : kinds)
        QDir().mkpath(dir.filePath(kind));
    bool written = writePhotos(
        Encoded, 4000, 3000, [&](int i) { return dir.filePath(QStringLiteral("photo%1.jpg").arg(i)); },
        [&](const QImage& photo, const QString& jpeg) {
            const QString name = QFileInfo(jpeg).completeBaseName();
            // heif-enc (libheif's own encoder, x265) from a JPEG; thumbnails of 640 pixels.
            return photo.save(jpeg, "JPEG", 95)
                && QProcess::execute(QStringLiteral("heif-enc"),
                       { QStringLiteral("-q"), QStringLiteral("80"), jpeg, QStringLiteral("-o"),
                           dir.filePath(QStringLiteral("heic/") + name + QStringLiteral(".heic")) })
                == 0
                && QProcess::execute(QStringLiteral("heif-enc"),
                       { QStringLiteral("-q"), QStringLiteral("80"), QStringLiteral("-t"), QStringLiteral("640"), jpeg,
                           QStringLiteral("-o"),
                           dir.filePath(QStringLiteral("heic-thumbnails/") + name + QStringLiteral(".heic")) })
                == 0
                && photo.save(dir.filePath(QStringLiteral("png/") + name + QStringLiteral(".png")), "PNG");
        });
    for (const QString& kind : kinds) {
        const QString suffix = kind == QLatin1String("png") ? QStringLiteral(".png") : QStringLiteral(".heic");
        const auto path = [&](int i) { return dir.filePath(kind + QStringLiteral("/photo%1").arg(i) + suffix); };
        for (int i = Encoded; written && i < PhotoCount; ++i)
            written = QFile::copy(path(i % Encoded), path(i));
    }
    if (!written) {
        std::fprintf(stderr, "bench_formats: cannot write the pictures (heif-enc comes with libheif-examples)\n");
        return 1;
    }
    for (const QString& kind : kinds) {
        for (const QString& name : QDir(dir.filePath(kind)).entryList(QDir::Files))
            files[kind] << dir.filePath(kind + QLatin1Char('/') + name);
    }

    struct Figures {
        std::vector<double> floor, floorPeak, job, peak;
    };
    std::map<QString, Figures> figures;
    // One child process: its milliseconds and its peak memory in MB.
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
            // The thumbnails' file holds the same primary picture: one floor for both.
            const bool floorDone = kind == QLatin1String("heic-thumbnails")
                || child({ QStringLiteral("--decode"), dir.filePath(kind) }, into.floor, into.floorPeak);
            if (!floorDone
                || !child({ QStringLiteral("--print"), dir.filePath(kind), dir.filePath(QStringLiteral("sheet.pdf")) },
                    into.job, into.peak)) {
                std::fprintf(stderr, "bench_formats: the %s run failed\n", qPrintable(kind));
                return 1;
            }
        }
    }
    figures["heic-thumbnails"].floor = figures["heic"].floor;
    figures["heic-thumbnails"].floorPeak = figures["heic"].floorPeak;

    std::printf("\nContact sheets of %d pictures of 4000 x 3000 at 7 x 11, %d CPUs, medians of %d rounds.\n",
        PhotoCount, std::max(1, QThread::idealThreadCount()), Rounds);
    std::printf("  %-22s %10s %10s %8s %10s %9s\n", "", "floor ms", "job ms", "job/floor", "floor MB", "job MB");
    for (const QString& kind : kinds) {
        const Figures& f = figures[kind];
        std::printf("  %-22s %10.0f %10.0f %8.2fx %10.0f %9.0f\n", qPrintable(kind), median(f.floor), median(f.job),
            median(f.job) / median(f.floor), median(f.floorPeak), median(f.peak));
    }
    std::printf("  (floor: heif_decode_image of each primary picture, or QImageReader, on all cores, in a process\n"
                "   of its own; MB: the peak resident memory of each process)\n\n");
    const auto target = [](const QString& what, double value, double limit, const char* unit) {
        std::printf("  %-36s %8.2f%s target <= %.2f%s  %s\n", qPrintable(what), value, unit, limit, unit,
            value <= limit ? "met" : "missed");
    };
    target(QStringLiteral("HEIC job / floor"), median(figures["heic"].job) / median(figures["heic"].floor), 1.2, "x");
    target(QStringLiteral("HEIC with thumbnails job / floor"),
        median(figures["heic-thumbnails"].job) / median(figures["heic-thumbnails"].floor), 1.2, "x");
    target(QStringLiteral("PNG job / floor"), median(figures["png"].job) / median(figures["png"].floor), 1.2, "x");
    for (const QString& kind : kinds)
        target(QStringLiteral("peak memory, ") + kind, median(figures[kind].peak), 200, " MB");
    return 0;
}
