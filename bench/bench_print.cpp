// SPDX-License-Identifier: GPL-3.0-or-later
// Printing a folder of camera-sized JPEGs as a contact sheet with the print command of the
// window and the command line onto the built-in PDF printer, beside ImageMagick's montage on
// the same files and beside the decode floor (a bare libjpeg decode at 1/8 scale, in-process,
// on all cores and on one). Every measured program runs in a fresh process, so that its peak
// memory is its own. `bench_print --colours [baseline bench_print]` measures the colour
// conversion's cost alone, `bench_print --files` the picture files beside the PDF file.
#include <cstdio>

#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

#include "BenchTools.h"
#include "DecodeFloor.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/picture/Metadata.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/JpegFilesPrinter.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/PrintSource.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

constexpr int PhotoCount = 60;
constexpr int PhotoWidth = 4000;
constexpr int PhotoHeight = 3000;
constexpr int Cols = 7;
constexpr int Rows = 11;
constexpr int Rounds = 3;
// The long job: the same photos again and again, as symbolic links.
constexpr int LongJobCount = 1000;
// The big document: one photo a page.
constexpr int BigDocumentPages = 300;
// Plain montage takes long; it gets fewer rounds once it has used this much.
constexpr double PlainMontageBudgetMs = 75000;
// montage's default tile is 120 x 120; the hint lets libjpeg decode at twice that or a bit more.
const QString MontageTile = QStringLiteral("120x120");
const QString MontageHint = QStringLiteral("240x240");
// Plain montage holds every photo whole (60 x 12 MP at 16 bits per channel, about 5.5 GB).
// Debian's policy caps its pixel cache at 256 MiB in memory and 1 GiB on disk, so it stops
// with "cache resources exhausted"; a private policy lifts the caps so that it finishes.
const char* const MontagePolicy = R"(<?xml version="1.0" encoding="UTF-8"?>
<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="16GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="area" value="2GP"/>
</policymap>
)";

QString photoName(int index) { return QStringLiteral("IMG_%1.jpg").arg(1001 + index); }

// Child process: the print command of window and command line, from the folder's catalogue
// with every file ticked to the written PDF (or, for a name ending in ".jpg", picture files). Prints the job's wall and
// CPU milliseconds, the process's peak memory after it in kB, and how many files were listed and printed.
int printContactSheet(const QString& photoDir, const QString& pdfPath, int cols, int rows)
{
    Catalogue catalogue;
    FolderScan scan(catalogue);
    scan.reset();
    scan.ScanFolder(photoDir);
    CupsPrinterService printers([pdfPath](const QString&) { return pdfPath; });
    JpegFilesPrinter files;
    files.setTarget(pdfPath);
    Printer* pdf = pdfPath.endsWith(QLatin1String(".jpg")) ? &files : printers.pdfPrinter();
    RunFlags flags;
    PrintCommand::Callbacks callbacks;
    int printed = 0;
    callbacks.yield = [] { QCoreApplication::processEvents(); };
    callbacks.picture = [&printed](const QString&, const DecodedPicture& picture) { printed += picture.loaded(); };

    rusage usageBefore {};
    getrusage(RUSAGE_SELF, &usageBefore);
    QElapsedTimer timer;
    timer.start();
    PrintJobSettings settings;
    settings.nCols = cols;
    settings.nRows = rows;
    const PrintCommand::Result result
        = PrintCommand(printers, flags).run(*pdf, FileListSource(catalogue.paths()), settings, callbacks);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    rusage usageAfter {};
    getrusage(RUSAGE_SELF, &usageAfter);
    if (result.outcome != PrintCommand::Outcome::Sent) {
        std::fprintf(stderr, "the job failed: %s\n", qPrintable(errorText(result.error)));
        return 1;
    }
    std::printf("%.1f %.1f %lld %d %d\n", ms, cpuMs(usageAfter) - cpuMs(usageBefore),
        static_cast<long long>(peakResidentKilobytes()), catalogue.count(), printed);
    return 0;
}

int fail(const QString& what, const QByteArray& details = {})
{
    std::fprintf(stderr, "bench_print: %s\n", qPrintable(what));
    if (!details.trimmed().isEmpty())
        std::fprintf(stderr, "%s\n", details.trimmed().constData());
    return 1;
}

void printRow(const QString& name, const Measured& measured, const QString& note, int count = PhotoCount)
{
    const double ms = median(measured.ms);
    std::printf("  %-28s %8.0f %8.1f %8.0f %9.1f %4zu  %s\n", qPrintable(name), ms, ms / count, median(measured.cpuMs),
        megabytes(static_cast<qint64>(median(measured.peakKilobytes))), measured.ms.size(), qPrintable(note));
}

void printTarget(const char* what, double value, double target, int decimals, const char* unit)
{
    const bool met = value <= target;
    std::printf("  %-30s %7.*f%-3s target <= %.*f%s  %s", what, decimals, value, unit, decimals, target, unit,
        met ? "met" : "missed");
    if (!met)
        std::printf(" by %.0f %%", (value / target - 1) * 100);
    std::printf("\n");
}

int runBenchmark()
{
    QTemporaryDir work;
    if (!work.isValid())
        return fail(QStringLiteral("no temporary folder"));
    const QString photoDir = work.filePath(QStringLiteral("Fotos"));
    const QString scratch = work.filePath(QStringLiteral("scratch"));
    QDir().mkpath(photoDir);
    QDir().mkpath(scratch);
    const QString self = QCoreApplication::applicationFilePath();

    std::printf("Generating %d photo-like %d x %d JPEGs...\n", PhotoCount, PhotoWidth, PhotoHeight);
    std::fflush(stdout);
    const auto photoPath = [&](int i) { return QDir(photoDir).filePath(photoName(i)); };
    if (!writePhotos(PhotoCount, PhotoWidth, PhotoHeight, photoPath,
            [](const QImage& photo, const QString& path) { return photo.save(path, "JPEG", 90); }))
        return fail(QStringLiteral("cannot generate the photos"));
    QStringList photos;
    qint64 photoBytes = 0;
    for (int i = 0; i < PhotoCount; ++i) {
        photos << QDir(photoDir).filePath(photoName(i));
        photoBytes += QFile(photos.back()).size();
    }

    // The same private policy for both montage runs; the hinted one stays far below any cap.
    const QString magickConfig = work.filePath(QStringLiteral("magick"));
    QDir().mkpath(magickConfig);
    QFile policy(magickConfig + QStringLiteral("/policy.xml"));
    if (!policy.open(QIODevice::WriteOnly) || policy.write(MontagePolicy) < 0)
        return fail(QStringLiteral("cannot write %1").arg(policy.fileName()));
    policy.close();
    qputenv("MAGICK_CONFIGURE_PATH", QFile::encodeName(magickConfig));

    const Finished version = runProgram({ QStringLiteral("montage"), QStringLiteral("-version") }, scratch);
    if (!version.ok)
        return fail(QStringLiteral("montage (ImageMagick) is needed as the yardstick"), version.errors);
    const QString montageOut = work.filePath(QStringLiteral("montage.png"));
    const auto montageCommand = [&](bool hinted) {
        QStringList command { QStringLiteral("montage"), QStringLiteral("-tile"),
            QStringLiteral("%1x%2").arg(Cols).arg(Rows), QStringLiteral("-geometry"),
            MontageTile + QStringLiteral("+4+4"), QStringLiteral("-label"), QStringLiteral("%f") };
        if (hinted)
            command << QStringLiteral("-define") << QStringLiteral("jpeg:size=") + MontageHint;
        return command + photos + QStringList { montageOut };
    };
    // Runs a program that writes the file output, and keeps its figures.
    const auto runWriting
        = [&](const QStringList& command, const QString& output, const QString& what, Measured& into) -> bool {
        QFile::remove(output);
        const Finished run = runProgram(command, scratch);
        if (!run.ok || !QFile::exists(output)) {
            fail(what + QStringLiteral(" failed"), run.errors);
            return false;
        }
        into.add(run.ms, run.cpuMs, static_cast<double>(run.peakKilobytes));
        return true;
    };
    const auto runMontage = [&](bool hinted, Measured& into) {
        return runWriting(montageCommand(hinted), montageOut, QStringLiteral("montage"), into);
    };

    // One print job in a fresh process; threads 0 leaves the pool at one thread per core.
    struct Job {
        Measured measured;
        std::vector<double> processMs;
        qint64 pdfBytes = 0;
    };
    const auto runJob = [&](const QString& folder, int count, int cols, int rows, int threads, Job& into) -> bool {
        const QString pdfPath = work.filePath(QStringLiteral("Kontaktabzug.pdf"));
        QFile::remove(pdfPath);
        if (threads > 0)
            qputenv("RASTERBLATT_DECODE_THREADS", QByteArray::number(threads));
        else
            qunsetenv("RASTERBLATT_DECODE_THREADS");
        const Finished printed = runProgram(
            { self, QStringLiteral("--print"), folder, pdfPath, QString::number(cols), QString::number(rows) },
            scratch);
        qunsetenv("RASTERBLATT_DECODE_THREADS");
        const QList<QByteArray> fields = printed.output.trimmed().split(' ');
        if (!printed.ok || fields.size() != 5) {
            fail(QStringLiteral("printing failed"), printed.output + printed.errors);
            return false;
        }
        if (fields[3].toInt() != count || fields[4].toInt() != count) {
            fail(QStringLiteral("the file list shows %1 entries, %2 ticked; expected %3")
                     .arg(QString::fromLatin1(fields[3]), QString::fromLatin1(fields[4]))
                     .arg(count));
            return false;
        }
        QFile pdf(pdfPath);
        if (!pdf.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("no PDF was written to %1").arg(pdfPath));
            return false;
        }
        const QString content = QString::fromLatin1(pdf.readAll());
        const qsizetype images = content.count(QRegularExpression(QStringLiteral("/Subtype\\s*/Image\\b")));
        if (images != count) {
            fail(QStringLiteral("the PDF has %1 pictures; expected %2").arg(images).arg(count));
            return false;
        }
        into.pdfBytes = pdf.size();
        into.measured.add(fields[0].toDouble(), fields[1].toDouble(), fields[2].toDouble());
        into.processMs.push_back(printed.ms);
        return true;
    };

    // The same job from the command line, a whole process from start to written file.
    const auto runCommandLine = [&](Measured& into) {
        const QString pdfPath = work.filePath(QStringLiteral("Kommandozeile.pdf"));
        return runWriting({ QStringLiteral(RASTERBLATT_EXECUTABLE), QStringLiteral("--pdf"), pdfPath,
                              QStringLiteral("--quiet"), photoDir },
            pdfPath, QStringLiteral("the command line"), into);
    };

    Job ours;
    Job oneWorker;
    Measured commandLine;
    Measured hinted;
    Measured plain;
    Measured floorAll;
    Measured floorOne;
    const int cores = std::max(1, QThread::idealThreadCount());
    // Rounds interleave them all, so that a busy moment of this shared machine hits all alike.
    for (int round = 0; round < Rounds; ++round) {
        std::printf("Round %d of %d...\n", round + 1, Rounds);
        std::fflush(stdout);
        floorAll.ms.push_back(decodeFloorMs(photos, cores));
        floorOne.ms.push_back(decodeFloorMs(photos, 1));
        if (!runJob(photoDir, PhotoCount, Cols, Rows, 0, ours)
            || !runJob(photoDir, PhotoCount, Cols, Rows, 1, oneWorker) || !runCommandLine(commandLine))
            return 1;
        if (!runMontage(true, hinted))
            return 1;
        double plainSpent = 0;
        for (const double ms : plain.ms)
            plainSpent += ms;
        if (plainSpent < PlainMontageBudgetMs && !runMontage(false, plain))
            return 1;
    }

    // Larger cells, and a long job of the same photos over and over.
    std::printf("2 x 2 and %d photos...\n", LongJobCount);
    std::fflush(stdout);
    Job large;
    for (int round = 0; round < Rounds; ++round) {
        if (!runJob(photoDir, PhotoCount, 2, 2, 0, large))
            return 1;
    }
    const QString longDir = work.filePath(QStringLiteral("Viele"));
    QDir().mkpath(longDir);
    for (int i = 0; i < LongJobCount; ++i) {
        if (!QFile::link(photos[i % PhotoCount], QDir(longDir).filePath(photoName(i))))
            return fail(QStringLiteral("cannot link the photos of the long job"));
    }
    // Side by side with a short job, so that both meet the machine in the same mood.
    Job longJob;
    Job shortJob;
    if (!runJob(photoDir, PhotoCount, Cols, Rows, 0, shortJob)
        || !runJob(longDir, LongJobCount, Cols, Rows, 0, longJob))
        return 1;
    // One picture a page: the document grows large, the program's memory must not grow with it.
    std::printf("1 x 1, %d and %d pages...\n", PhotoCount, BigDocumentPages);
    std::fflush(stdout);
    const QString bigDir = work.filePath(QStringLiteral("Seiten"));
    QDir().mkpath(bigDir);
    for (int i = 0; i < BigDocumentPages; ++i) {
        if (!QFile::link(photos[i % PhotoCount], QDir(bigDir).filePath(photoName(i))))
            return fail(QStringLiteral("cannot link the photos of the big document"));
    }
    Job smallDocument;
    Job bigDocument;
    if (!runJob(photoDir, PhotoCount, 1, 1, 0, smallDocument)
        || !runJob(bigDir, BigDocumentPages, 1, 1, 0, bigDocument))
        return 1;

    const double oursMs = median(ours.measured.ms);
    const double oursPeakMb = megabytes(static_cast<qint64>(median(ours.measured.peakKilobytes)));
    std::printf("\nContact sheet of %d JPEGs, %d x %d (%.1f MB each, %.0f MB in all), %d x %d per page, file "
                "names printed.\n%d CPUs, warm file cache; medians of the runs.\n",
        PhotoCount, PhotoWidth, PhotoHeight, static_cast<double>(photoBytes) / PhotoCount / (1 << 20),
        static_cast<double>(photoBytes) / (1 << 20), Cols, Rows, cores);
    std::printf("Yardstick: %s, with resource caps lifted\n",
        version.output.split('\n').value(0).replace("Version: ", "").trimmed().constData());
    std::printf(
        "  montage -tile %dx%d -geometry %s+4+4 -label %%f <files> out.png\n", Cols, Rows, qPrintable(MontageTile));
    std::printf("  (%s is montage's default tile; -geometry +4+4 alone would keep every tile at full size),\n"
                "  hinted: the same with -define jpeg:size=%s (twice the tile).\n\n",
        qPrintable(MontageTile), qPrintable(MontageHint));
    std::printf("  %-28s %8s %8s %8s %9s %4s\n", "", "wall ms", "ms/image", "CPU ms", "peak MB", "runs");
    const auto jobNote = [](const Job& job) {
        return QStringLiteral("print command; whole process %1 ms; PDF %2 kB per picture")
            .arg(median(job.processMs), 0, 'f', 0)
            .arg(static_cast<double>(job.pdfBytes) / 1024 / PhotoCount, 0, 'f', 1);
    };
    printRow(
        QStringLiteral("decode floor, %1 threads").arg(cores), floorAll, QStringLiteral("libjpeg 1/8, in-process"));
    printRow(QStringLiteral("decode floor, 1 thread"), floorOne, QStringLiteral("libjpeg 1/8, in-process"));
    printRow(QStringLiteral("Rasterblatt, %1 workers").arg(cores), ours.measured, jobNote(ours));
    printRow(QStringLiteral("Rasterblatt, 1 worker"), oneWorker.measured, jobNote(oneWorker));
    printRow(QStringLiteral("Rasterblatt, 2 x 2"), large.measured, jobNote(large));
    printRow(QStringLiteral("Rasterblatt --pdf"), commandLine, QStringLiteral("whole program, command line"));
    printRow(QStringLiteral("montage, plain"), plain, QStringLiteral("whole program"));
    printRow(QStringLiteral("montage, jpeg:size=") + MontageHint, hinted, QStringLiteral("whole program"));
    const double longMs = median(longJob.measured.ms);
    const double longPeakMb = megabytes(static_cast<qint64>(median(longJob.measured.peakKilobytes)));
    std::printf("  %-28s %8.0f %8.1f %8.0f %9.1f %4zu  %d pictures, %.1f MB PDF\n\n", "Rasterblatt, 1000 photos",
        longMs, longMs / LongJobCount, median(longJob.measured.cpuMs), longPeakMb, longJob.measured.ms.size(),
        LongJobCount, static_cast<double>(longJob.pdfBytes) / (1 << 20));
    for (const auto& [pages, job] : { std::pair { PhotoCount, &smallDocument }, { BigDocumentPages, &bigDocument } })
        std::printf("  %-28s %8.0f %8.1f %8.0f %9.1f %4zu  %d pages, %.0f MB PDF\n",
            qPrintable(QStringLiteral("Rasterblatt, 1 x 1, %1 pages").arg(pages)), median(job->measured.ms),
            median(job->measured.ms) / pages, median(job->measured.cpuMs),
            megabytes(static_cast<qint64>(median(job->measured.peakKilobytes))), job->measured.ms.size(), pages,
            static_cast<double>(job->pdfBytes) / (1 << 20));
    std::printf("\n");
    printTarget("time, ours / all-core floor", oursMs / median(floorAll.ms), 1.3, 2, "x");
    printTarget("time, ours / plain montage", oursMs / median(plain.ms), 0.15, 2, "x");
    printTarget("time, ours / hinted montage", oursMs / median(hinted.ms), 0.5, 2, "x");
    printTarget("peak memory, ours", oursPeakMb, 120, 0, " MB");
    printTarget("peak memory, 1000 photos", longPeakMb, 160, 0, " MB");
    printTarget("time, 1000 / 60 photos", longMs / median(shortJob.measured.ms), 17, 1, "x");
    printTarget("command line / window process", median(commandLine.ms) / median(ours.processMs), 1.0, 2, "x");
    printTarget("peak memory, 1 x 1, 300 pages",
        megabytes(static_cast<qint64>(median(bigDocument.measured.peakKilobytes))), 200, 0, " MB");
    return 0;
}

// The colours' cost: the 60 photos untagged (sRGB) and the same with an embedded Adobe RGB
// profile, printed at 7 x 11 beside the decode floor, rounds alternated. A baseline build's
// bench_print, when given, prints the untagged photos too, to show what reading the metadata
// and the colours costs an sRGB job. And exiv2's read of one file's head, in-process.
int runColourBenchmark(const QString& baseline)
{
    constexpr int ColourRounds = 5;
    QTemporaryDir work;
    const QString scratch = work.filePath(QStringLiteral("scratch"));
    QDir().mkpath(scratch);
    std::printf(
        "Generating %d photo-like %d x %d JPEGs, untagged and Adobe RGB...\n", PhotoCount, PhotoWidth, PhotoHeight);
    std::fflush(stdout);
    QStringList folders;
    QStringList photos;
    for (const char* name : { "sRGB", "AdobeRGB" }) {
        const QString folder = work.filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        const bool tagged = folders.size() == 1;
        if (!writePhotos(
                PhotoCount, PhotoWidth, PhotoHeight, [&](int i) { return QDir(folder).filePath(photoName(i)); },
                [tagged](QImage photo, const QString& path) {
                    // Qt's writer embeds the profile of a tagged picture in ICC_PROFILE markers.
                    if (tagged)
                        photo.setColorSpace(QColorSpace::AdobeRgb);
                    return photo.save(path, "JPEG", 90);
                }))
            return fail(QStringLiteral("cannot generate the photos"));
        folders << folder;
    }
    for (int i = 0; i < PhotoCount; ++i)
        photos << QDir(folders[0]).filePath(photoName(i));

    const int cores = std::max(1, QThread::idealThreadCount());
    Measured floor, untagged, adobe, before;
    const auto job = [&](const QString& program, const QString& folder, Measured& into) {
        const QString pdfPath = work.filePath(QStringLiteral("Farben.pdf"));
        const Finished printed = runProgram(
            { program, QStringLiteral("--print"), folder, pdfPath, QString::number(Cols), QString::number(Rows) },
            scratch);
        const QList<QByteArray> fields = printed.output.trimmed().split(' ');
        if (!printed.ok || fields.size() != 5 || fields[4].toInt() != PhotoCount)
            return fail(QStringLiteral("printing failed"), printed.output + printed.errors) == 0;
        into.add(fields[0].toDouble(), fields[1].toDouble(), fields[2].toDouble());
        return true;
    };
    const QString self = QCoreApplication::applicationFilePath();
    for (int round = 0; round < ColourRounds; ++round) {
        std::printf("Round %d of %d...\n", round + 1, ColourRounds);
        std::fflush(stdout);
        floor.ms.push_back(decodeFloorMs(photos, cores));
        if (!job(self, folders[0], untagged) || !job(self, folders[1], adobe)
            || (!baseline.isEmpty() && !job(baseline, folders[0], before)))
            return 1;
    }
    // exiv2 on the head the loader reads first, as often as it takes to measure, with the
    // metadata a camera writes.
    const QString camera = work.filePath(QStringLiteral("camera.jpg"));
    try {
        QFile::copy(photos[0], camera);
        const auto image = Exiv2::ImageFactory::open(QFile::encodeName(camera).toStdString());
        Exiv2::ExifData& exif = image->exifData();
        exif["Exif.Image.Make"] = "Kamerawerk";
        exif["Exif.Image.Model"] = "KW-12";
        exif["Exif.Image.Orientation"] = uint16_t(1);
        exif["Exif.Image.Software"] = "Firmware 1.0";
        exif["Exif.Photo.DateTimeOriginal"] = "2026:05:01 10:00:00";
        exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
        exif["Exif.Photo.FNumber"] = Exiv2::URational(56, 10);
        exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
        exif["Exif.Photo.FocalLength"] = Exiv2::URational(50, 1);
        exif["Exif.Photo.ColorSpace"] = uint16_t(1);
        exif["Exif.Photo.MakerNote"] = std::string(16 * 1024, 'M');
        image->xmpData()["Xmp.xmp.Rating"] = 4;
        image->writeMetadata();
    } catch (const Exiv2::AnyError& error) {
        return fail(QStringLiteral("cannot write the camera's metadata: %1").arg(QString::fromStdString(error.what())));
    }
    QFile first(camera);
    if (!first.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(camera));
    const QByteArray head = first.read(256 * 1024);
    int orientations = 0;
    const double metadataMs = medianMs(5, [&] {
        for (int i = 0; i < 1000; ++i)
            orientations += readMetadata(head).orientation;
    });

    std::printf("\n%d JPEGs %d x %d at %d x %d, %d CPUs, warm file cache; medians of %d alternated rounds.\n",
        PhotoCount, PhotoWidth, PhotoHeight, Cols, Rows, cores, ColourRounds);
    std::printf("  %-28s %8s %8s %8s %9s %4s\n", "", "wall ms", "ms/image", "CPU ms", "peak MB", "runs");
    printRow(QStringLiteral("decode floor, %1 threads").arg(cores), floor, QStringLiteral("libjpeg 1/8, in-process"));
    printRow(QStringLiteral("Rasterblatt, sRGB"), untagged, QStringLiteral("untagged photos"));
    printRow(QStringLiteral("Rasterblatt, Adobe RGB"), adobe, QStringLiteral("embedded profile, converted"));
    if (!baseline.isEmpty())
        printRow(QStringLiteral("baseline, sRGB"), before, baseline);
    std::printf(
        "  exiv2 on a camera JPEG's 256 kB head: %.1f us a file (%d orientations found)\n\n", metadataMs, orientations);
    printTarget("time, sRGB / floor", median(untagged.ms) / median(floor.ms), 1.10, 2, "x");
    printTarget("time, Adobe RGB / floor", median(adobe.ms) / median(floor.ms), 1.10, 2, "x");
    if (!baseline.isEmpty())
        printTarget("time, sRGB / baseline", median(untagged.ms) / median(before.ms), 1.0, 2, "x");
    return 0;
}

// Picture files beside the PDF file: 77 photos of 12 MP at 7 x 11 (one page), rounds alternated.
int runFilesBenchmark()
{
    constexpr int Count = 77;
    constexpr int FileRounds = 5;
    QTemporaryDir work;
    const QString photoDir = work.filePath(QStringLiteral("Fotos"));
    const QString scratch = work.filePath(QStringLiteral("scratch"));
    QDir().mkpath(photoDir);
    QDir().mkpath(scratch);
    std::printf("Generating %d photo-like %d x %d JPEGs...\n", Count, PhotoWidth, PhotoHeight);
    std::fflush(stdout);
    if (!writePhotos(
            Count, PhotoWidth, PhotoHeight, [&](int i) { return QDir(photoDir).filePath(photoName(i)); },
            [](const QImage& photo, const QString& path) { return photo.save(path, "JPEG", 90); }))
        return fail(QStringLiteral("cannot generate the photos"));
    Measured pdf, jpeg;
    const QString self = QCoreApplication::applicationFilePath();
    const auto job = [&](const QString& target, Measured& into) {
        const Finished printed = runProgram(
            { self, QStringLiteral("--print"), photoDir, target, QString::number(Cols), QString::number(Rows) },
            scratch);
        const QList<QByteArray> fields = printed.output.trimmed().split(' ');
        if (!printed.ok || fields.size() != 5 || fields[4].toInt() != Count || !QFile::exists(target))
            return fail(QStringLiteral("printing failed"), printed.output + printed.errors) == 0;
        into.add(fields[0].toDouble(), fields[1].toDouble(), fields[2].toDouble());
        return true;
    };
    for (int round = 0; round < FileRounds; ++round) {
        std::printf("Round %d of %d...\n", round + 1, FileRounds);
        std::fflush(stdout);
        if (!job(work.filePath(QStringLiteral("blatt.pdf")), pdf)
            || !job(work.filePath(QStringLiteral("blatt.jpg")), jpeg))
            return 1;
    }
    std::printf("\n%d JPEGs %d x %d at %d x %d, %d CPUs, warm file cache; medians of %d alternated rounds.\n", Count,
        PhotoWidth, PhotoHeight, Cols, Rows, std::max(1, QThread::idealThreadCount()), FileRounds);
    std::printf("  %-28s %8s %8s %8s %9s %4s\n", "", "wall ms", "ms/image", "CPU ms", "peak MB", "runs");
    printRow(QStringLiteral("PDF-Datei"), pdf, QStringLiteral("print command"), Count);
    printRow(QStringLiteral("Bilddateien (JPEG)"), jpeg, QStringLiteral("print command, 300 ppi, quality 90"), Count);
    printTarget("time, picture files / PDF", median(jpeg.ms) / median(pdf.ms), 1.15, 2, "x");
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QGuiApplication app(argc, argv);
    if (argc == 6 && mode == QLatin1String("--print"))
        return printContactSheet(
            QFile::decodeName(argv[2]), QFile::decodeName(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (mode == QLatin1String("--files"))
        return runFilesBenchmark();
    if (mode == QLatin1String("--colours"))
        return runColourBenchmark(argc > 2 ? QFile::decodeName(argv[2]) : QString());
    return runBenchmark();
}
