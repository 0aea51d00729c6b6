// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile picture files: each one is loaded in a child process of its own, which must end
// within a hang guard, either loading the picture or failing cleanly, and stay within the
// loader's memory budget. And big pictures decoded on more threads than cores stay within
// the budget the process shares.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "ImageFixtures.h"
#include "RawFiles.h"
#include "RecordingPrinterService.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/picture/PictureLoader.h"
#include "engine/print/PrintJob.h"
#include "engine/print/PrintSource.h"

using namespace rasterblatt;

namespace {

enum Outcome { Loads, Fails, LoadsOrFails };

// Only to catch a hang: the loader's own limits end any decoding within a few seconds of
// processor time, which a busy machine under the sanitizers stretches.
constexpr qint64 HangGuardMs = 30000;

// A 16 x 16 JPEG of one colour in a colour space of ImageMagick's: "sRGB", "Gray" or "CMYK" (Adobe's, inverted).
QByteArray flatJpeg(const char* colour = "#c02020", const char* space = "sRGB", bool progressive = false)
{
    return fixtures::magick({ "-size", "16x16", QString("xc:") + colour, "-colorspace", space, "-interlace",
        progressive ? "JPEG" : "None", "-quality", "100", "jpg:-" });
}

// The JPEG with its frame header claiming width x height, and the frame type changed to
// marker (0xc9: arithmetic coding) when given.
QByteArray claimingJpeg(QByteArray jpeg, int width, int height, char marker = 0)
{
    for (qsizetype at = 2; at + 9 < jpeg.size(); at += 2 + (uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]))) {
        const uchar type = uchar(jpeg[at + 1]);
        if (type == 0xc0 || type == 0xc1 || type == 0xc2) {
            qToBigEndian<quint16>(quint16(height), jpeg.data() + at + 5);
            qToBigEndian<quint16>(quint16(width), jpeg.data() + at + 7);
            if (marker)
                jpeg[at + 1] = marker;
            return jpeg;
        }
    }
    return {};
}

// A progressive JPEG whose last scan comes again and again.
QByteArray manyScans(int scans)
{
    const QByteArray jpeg = flatJpeg("#c02020", "sRGB", true);
    const qsizetype lastScan = jpeg.lastIndexOf("\xff\xda");
    const qsizetype end = jpeg.size() - 2;
    return jpeg.left(end) + jpeg.mid(lastScan, end - lastScan).repeated(scans) + jpeg.right(2);
}

// One colour at 16 bits ("png": RGBA PNG) or as floats ("half", "float": RGBA TIFF) a sample.
QByteArray deepPicture(const char* kind, int width, int height)
{
    const bool png = qstrcmp(kind, "png") == 0;
    return fixtures::magick({ "-size", QString("%1x%2").arg(width).arg(height), "xc:#c02020", "-alpha", "on", "-depth",
        qstrcmp(kind, "float") == 0 ? "32" : "16", "-define",
        png ? "quantum:format=unsigned" : "quantum:format=floating-point", "-compress", "zip",
        png ? "png64:-" : "tif:-" });
}

// A small TIFF whose directory comes after offset bytes of nothing.
QByteArray directoryLast(qsizetype offset)
{
    QByteArray tiff = fixtures::encode(fixtures::filled(QSize(2, 2), Qt::red), "TIFF");
    const quint32 directory = qFromLittleEndian<quint32>(tiff.constData() + 4);
    const QByteArray entries = tiff.mid(directory, 6 + 12 * qFromLittleEndian<quint16>(tiff.constData() + directory));
    qToLittleEndian<quint32>(quint32(offset), tiff.data() + 4);
    return tiff + QByteArray(offset - tiff.size(), 0) + entries;
}

// A HEIC of size whose ispe box claims 64 x 64.
QByteArray lyingHeic(const QSize& size)
{
    QByteArray heic = fixtures::heic(fixtures::filled(size, Qt::blue));
    for (const int field : { 8, 12 })
        qToBigEndian<quint32>(64, heic.data() + heic.indexOf("ispe") + field);
    return heic;
}

constexpr qint64 ChildBudgetMb = 128; // the memory budget of a child of load

struct ChildResult {
    bool loaded;
    long peakRiseKb;
    QRgb centre;
    Error::Kind failure;
    char error[256];
};

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void load_data()
    {
        QTest::addColumn<QByteArray>("data"); // for the rows "FIFO" and "link to /dev/zero": none
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QColor>("colour"); // of a picture that loads; invalid: any
        const auto row = [](const char* tag, const QByteArray& data, Outcome outcome, QColor colour = {}) {
            QTest::newRow(tag) << data << int(outcome) << colour;
        };
        row("progressive 16384 x 16384", claimingJpeg(flatJpeg("#c02020", "sRGB", true), 16384, 16384), Fails);
        row("baseline 65000 x 65000", claimingJpeg(flatJpeg(), 65000, 65000), LoadsOrFails);
        row("arithmetic 65500 x 65500", claimingJpeg(flatJpeg(), 65500, 65500, char(0xc9)), LoadsOrFails);
        row("5000 scans", manyScans(5000), Fails);
        // All 400 MB there (sparse): refused from its header, before the rest is read.
        row("BMP 20000 x 20000 of 400 MB", fixtures::claiming("BMP", 20000, 20000), Fails);
        row("GIF 50000 x 50000", fixtures::claiming("GIF", 50000, 50000), Fails);
        row("XBM 60000 x 60000", "#define a_width 60000\n#define a_height 60000\nstatic char a_bits[] = {0x00};\n",
            Fails);
        const QByteArray blue = fixtures::encode(fixtures::filled(QSize(640, 480), QColor(0, 0, 200)), "JPEG");
        row("truncated JPEG", blue.left(blue.size() / 2), LoadsOrFails);
        row("JPEG header only", blue.left(200), LoadsOrFails);
        const QByteArray gif = fixtures::encode(fixtures::quadrants(QSize(64, 48)), "GIF");
        row("GIF cut off", gif.left(gif.size() / 2), LoadsOrFails);
        row("NEF empty", "", Fails);
        row("text", "Kein Bild\n", Fails);
        row("greyscale JPEG", flatJpeg("#808080", "Gray"), Loads, QColor(128, 128, 128));
        row("CMYK JPEG (Adobe, inverted)", flatJpeg("#ff00ff", "CMYK"), Loads, QColor(255, 0, 255));
        row("progressive JPEG", flatJpeg("#c02020", "sRGB", true), Loads, QColor(0xc0, 0x20, 0x20));
        // Colour profiles that cannot be used leave the picture as it is.
        const QByteArray adobe = fixtures::readFile("/usr/share/color/icc/colord/AdobeRGB1998.icc");
        QByteArray huge = adobe;
        qToBigEndian<quint32>(0xffffffff, huge.data());
        const QColor red(0xc0, 0x20, 0x20);
        row("profile truncated", fixtures::withIcc(flatJpeg(), adobe.left(200)), Loads, red);
        row("profile of no bytes", fixtures::withIcc(flatJpeg(), {}), Loads, red);
        row("profile claiming 4 GB", fixtures::withIcc(flatJpeg(), huge), Loads);
        row("CMYK profile in an RGB JPEG",
            fixtures::withIcc(flatJpeg(), fixtures::readFile("/usr/share/color/icc/ghostscript/default_cmyk.icc")),
            Loads, red);
        row("RGB profile in a CMYK JPEG", fixtures::withIcc(flatJpeg("#ff00ff", "CMYK"), adobe), Loads,
            QColor(255, 0, 255));
        row("profile over 255 markers", fixtures::withIcc(flatJpeg(), adobe, 255), Loads);
        // The further formats: lying about their size, cut off, or random after their signature.
        QRandomGenerator random(7);
        for (const char* format : { "PNG", "TIFF", "WEBP", "HEIC" }) {
            const QByteArray whole = qstrcmp(format, "HEIC") == 0
                ? fixtures::heic(fixtures::quadrants(QSize(64, 48)))
                : fixtures::encode(fixtures::quadrants(QSize(64, 48)), format);
            QByteArray noise(4096, 0);
            random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
            QTest::addRow("%s claiming 100000 x 100000", format)
                << fixtures::claiming(format, 100000, 100000) << int(Fails) << QColor();
            QTest::addRow("%s cut off", format) << whole.left(whole.size() / 2) << int(LoadsOrFails) << QColor();
            QTest::addRow("%s random", format) << whole.left(16) + noise << int(LoadsOrFails) << QColor();
        }
        // Decoded wider than their file (refused here, as they would take more than the budget),
        // and a directory found at the end without holding the file.
        for (const char* kind : { "png", "half", "float" })
            QTest::addRow("%s 3584 x 3584", kind) << deepPicture(kind, 3584, 3584) << int(LoadsOrFails) << QColor();
        row("TIFF, directory after 90 MB", directoryLast(90 << 20), LoadsOrFails);
        // Camera raw files (named by the tag's first word): broken, lying, or noise under every name.
        const QByteArray preview = fixtures::encode(fixtures::quadrants(QSize(600, 400)), "JPEG");
        for (const char* kind : { "DNG", "NEF", "CR2" }) {
            const QByteArray whole = fixtures::rawFile(kind, preview, fixtures::filled({ 150, 100 }, Qt::red), 6, 4096);
            QTest::addRow("%s cut off", kind) << whole.left(whole.size() / 3) << int(LoadsOrFails) << QColor();
        }
        QByteArray beyond = fixtures::rawFile("NEF", preview, {}, 6, 4096);
        beyond.replace(beyond.indexOf(QByteArray("\2\2\0\4\0\0\0\1", 8)) + 8, 4, "\x7f\xff\xff\xff"); // its length
        row("nef preview beyond the file's end", beyond, Fails);
        QByteArray claiming = fixtures::rawFile("DNG", preview, {}, 1, 4096);
        claiming.replace(QByteArray("\0\1\4\0\1\0\0\0\x58\2\0\0", 12), QByteArray("\0\1\4\0\1\0\0\0\xa0\x86\1\0", 12));
        claiming.replace(QByteArray("\1\1\4\0\1\0\0\0\x90\1\0\0", 12), QByteArray("\1\1\4\0\1\0\0\0\xa0\x86\1\0", 12));
        row("dng preview claiming 100000 x 100000", claiming, Fails);
        row("dng directory pointing at itself",
            QByteArray("II*\0\x08\0\0\0\1\0\x4a\1\4\0\1\0\0\0\x08\0\0\0\x08\0\0\0", 26), Fails);
        for (const QString& pattern : rawPatterns()) {
            QByteArray noise(4096, 0);
            random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
            QTest::addRow("%s random", qPrintable(pattern.mid(2))) << noise << int(Fails) << QColor();
        }
        row("FIFO", {}, Fails);
        row("link to /dev/zero", {}, Fails);
    }
    // Every file is named .jpg, whatever it holds, but for the raw files.
    void load()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, outcome);
        QFETCH(QColor, colour);
        const QByteArray tag = QTest::currentDataTag();
        const QString suffix = QString(tag).section(' ', 0, 0).toLower();
        const QString path = m_dir.filePath(rawPatterns().contains("*." + suffix) ? "bild." + suffix : "bild.jpg");
        QFile::remove(path);
        if (tag == "FIFO")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else if (tag.startsWith("link"))
            QVERIFY(QFile::link("/dev/zero", path));
        else
            QVERIFY(fixtures::writeFile(path, data));
        const bool sparse = tag.endsWith(" MB");
        QVERIFY(!tag.endsWith("400 MB") || QFile::resize(path, 400LL << 20));

        int channel[2];
        QVERIFY(::pipe(channel) == 0);
        const auto closeChannel = qScopeGuard([&] { ::close(channel[0]); });
        QElapsedTimer clock;
        clock.start();
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ChildResult result {};
            rusage before {}, after {};
            ::getrusage(RUSAGE_SELF, &before);
            MemoryBudget budget(ChildBudgetMb << 20);
            PictureLoader loader(path, budget);
            const QImage image = loader.read(QSize(378, 284));
            ::getrusage(RUSAGE_SELF, &after);
            result.loaded = !image.isNull();
            result.peakRiseKb = after.ru_maxrss - before.ru_maxrss;
            result.centre = result.loaded ? image.pixel(image.width() / 2, image.height() / 2) : 0;
            result.failure = loader.error().kind;
            std::snprintf(result.error, sizeof result.error, "%s", qPrintable(errorText(loader.error())));
            ::_exit(::write(channel[1], &result, sizeof result) == ssize_t(sizeof result) ? 0 : 1);
        }
        ::close(channel[1]);
        int status = 0; // polled: a blocking wait could not time out
        while (::waitpid(child, &status, WNOHANG) == 0 && clock.elapsed() < HangGuardMs)
            QTest::qSleep(20);
        if (clock.elapsed() >= HangGuardMs) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            QFAIL("still loading after the hang guard");
        }
        ChildResult result {};
        QCOMPARE(::read(channel[0], &result, sizeof result), ssize_t(sizeof result));
        QVERIFY2(WIFEXITED(status), "the loading process crashed");
        QCOMPARE(WEXITSTATUS(status), 0);

        qInfo("%s in %lld ms, peak +%ld MB%s%s", result.loaded ? "loaded" : "failed", clock.elapsed(),
            result.peakRiseKb / 1024, result.loaded ? "" : ": ", result.error);
        QVERIFY(result.peakRiseKb < (sparse ? 16 : ChildBudgetMb + 64) * 1024);
        QVERIFY(result.loaded ? outcome != Fails : outcome != Loads);
        if (!result.loaded)
            QCOMPARE(result.failure, Error::Kind::PictureNotLoaded);
        if (result.loaded && colour.isValid())
            QVERIFY2(
                fixtures::similarColor(QColor(result.centre), colour, 8), qPrintable(QColor(result.centre).name()));
    }
    // Eight decoding threads share one budget of 200 MB, whatever the pictures hold: one big
    // decode at a time fits. What a header cannot show is refused from it: a HEIC whose ispe
    // box understates its picture, and one of more tiles than decode in time (whose abandoned
    // decode crashed the process's end).
    void oneBudgetForAllThreads_data()
    {
        QTest::addColumn<QByteArray>("data"); // none: a BMP of 4000 x 3000, made when it is needed
        QTest::addColumn<int>("printed");
        QTest::newRow("BMP") << QByteArray() << 16;
        QTest::newRow("PNG 16-bit") << deepPicture("png", 2000, 1500) << 16;
        QTest::newRow("TIFF float") << deepPicture("float", 1448, 1448) << 16;
        QTest::newRow("HEIC 4096 x 4096, ispe 64 x 64") << lyingHeic(QSize(4096, 4096)) << 0;
        QTest::newRow("HEIC grid of 88 x 88 tiles") << fixtures::heicGrid(88, 88) << 0;
    }
    void oneBudgetForAllThreads()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, printed);
        // The child's peak starts from this process's memory at its start: no big picture is held here then.
        const QString file = m_dir.filePath("gross.bild");
        QVERIFY(data.isEmpty() ? fixtures::filled(QSize(4000, 3000), Qt::darkGreen).save(file, "BMP")
                               : fixtures::writeFile(file, data));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("RASTERBLATT_DECODE_THREADS", "8");
        environment.insert("RASTERBLATT_MEMORY_BUDGET_MB", "200");
        // Under AddressSanitizer, freed memory would wait in its quarantine and count.
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":quarantine_size_mb=8");
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), { "--print-child", file });
        QVERIFY(child.waitForFinished(HangGuardMs));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        qInfo("%s pictures, peak +%lld MB", figures.value(0).constData(), figures.value(1).toLongLong() / 1024);
        QCOMPARE(figures.value(0).toInt(), printed);
        QVERIFY(figures.value(1).toLongLong() < (200 + 150) * 1024);
    }
};

// The child of oneBudgetForAllThreads: prints the file 16 times at 2 x 2 and reports the pictures
// printed and the rise of its own peak memory in kB (getrusage's counts its parent's too).
static int printChild(const QString& path)
{
    const auto peakKb = [] {
        QFile status("/proc/self/status");
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        return text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ').value(0).toLong();
    };
    const long before = peakKb();
    RecordingPrinter printer("Testdrucker");
    PrintJobSettings grid;
    grid.nCols = grid.nRows = 2;
    const SheetResult sheet = PrintSelection(printer, FileListSource(QStringList(16, path)), grid, {});
    std::printf("%d %ld\n", sheet.pictures, peakKb() - before);
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--print-child") == 0)
        return printChild(QString::fromLocal8Bit(argv[2]));
    TestHostile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_hostile.moc"
