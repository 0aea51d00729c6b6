// SPDX-License-Identifier: GPL-3.0-or-later
// The page engine and the print command without a window: pages and cells, where each
// thumbnail and name lands and at which resolution, the names' size, ticks read as the job
// goes, decoding ahead on worker threads, and how a job ends.
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"

#include <atomic>
#include <numeric>

#include <QColorSpace>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "PdfTools.h"
#include "engine/picture/DecodeAhead.h"
#include "engine/picture/PictureCache.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/JpegFilesPrinter.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/PrintSource.h"
#include "engine/print/SheetLayout.h"
#include "engine/print/SheetPreview.h"

using namespace rasterblatt;
using namespace rasterblatt::testing;

namespace {
// Every file gives a picture of the size its name asks for ("w300h200"; else 40 x 30) after the
// delay it asks for ("slow" 1 s, "pause" 30 ms, else none; "bad" fails). Counts the decodes
// running and the decoded pictures alive. "first" waits (a while at most) for another decode to begin.
struct CountingDecoder {
    std::atomic<int> running = 0, alive = 0, maxAlive = 0, started = 0;
    std::atomic<bool> ahead = false; // another decode began while "first" ran
    DecodedPicture operator()(const QString& path, const ThumbnailRequest&)
    {
        ++running;
        ++started;
        for (QDeadlineTimer wait(10000); path.contains("first") && !(ahead = started > 1) && !wait.hasExpired();)
            QThread::msleep(1);
        QThread::msleep(path.contains("slow") ? 1000 : path.contains("pause") ? 30 : 0);
        DecodedPicture picture;
        if (!path.contains("bad")) {
            const int now = ++alive;
            for (int seen = maxAlive; now > seen && !maxAlive.compare_exchange_weak(seen, now);) { }
            // The count drops with the last copy of the pixels.
            struct Pixels {
                CountingDecoder* owner;
                uchar data[40 * 30 * 4] {};
                ~Pixels() { --owner->alive; }
            };
            auto* pixels = new Pixels { this };
            const auto release = [](void* info) { delete static_cast<Pixels*>(info); };
            static const QRegularExpression size("w(\\d+)h(\\d+)");
            const QRegularExpressionMatch asked = size.match(path);
            const QSize natural
                = asked.hasMatch() ? QSize(asked.captured(1).toInt(), asked.captured(2).toInt()) : QSize(400, 300);
            picture = { natural, QImage(pixels->data, 40, 30, 160, QImage::Format_RGB32, release, pixels), {}, {}, {} };
            if (path.contains("exif")) {
                picture.metadata.captureTime = QDateTime(QDate(2024, 8, 11), QTime(9, 20));
                picture.metadata.exposureSeconds = 1.0 / 250;
            }
            if (path.contains("exif")) {
                picture.metadata.captureTime = QDateTime(QDate(2024, 8, 11), QTime(9, 20));
                picture.metadata.exposureSeconds = 1.0 / 250;
            }
        }
        --running;
        return picture;
    }
};
double arg(const QString& line, int n) { return line.section(' ', n, n).toDouble(); }
PrintJobSettings sheet(int cols, int rows, bool names = true, bool keepAspect = true)
{
    PrintJobSettings settings;
    settings.nCols = cols;
    settings.nRows = rows;
    settings.bPrintFileName = names;
    settings.bKeepAspect = keepAspect;
    return settings;
}
// A list whose ticks, paths and folder a test changes while the job runs.
struct TickedList final : PrintSource {
    QStringList paths;
    QList<bool> ticks;
    QString folder;
    TickedList(const QStringList& files, const QList<int>& ticked)
        : paths(files)
        , ticks(files.size(), false)
    {
        for (const int i : ticked)
            ticks[i] = true;
    }
    int count() const override { return int(paths.size()); }
    bool isTicked(int i) const override { return ticks.value(i); }
    QString path(int i) const override { return paths.value(i); }
    int tickedCount() const override { return int(ticks.count(true)); }
    QString folderName() const override { return folder; }
};
QStringList numbered(int count, const QString& pattern = "/fotos/bild%1.jpg")
{
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths << pattern.arg(i, 3, 10, QChar('0'));
    return paths;
}
} // namespace

class TestPrintJob : public QObject {
    Q_OBJECT

    // Runs the page engine on the recording printer and ends its document as the print command does.
    SheetResult print(const PrintSource& source, PrintJobSettings settings, PageCallbacks callbacks = {})
    {
        m_printer.clearCalls();
        if (!callbacks.decode)
            callbacks.decode = std::ref(m_decoder);
        const SheetResult result = PrintSelection(m_printer, source, settings, callbacks);
        result.stopped ? m_printer.killDoc() : m_printer.endDoc();
        return result;
    }
    QStringList names() const
    {
        QStringList printed;
        for (const QString& line : m_printer.log("printLine"))
            printed << line.section('"', 1, 1);
        return printed;
    }
    RecordingPrinter m_printer { "Testdrucker" };
    CountingDecoder m_decoder;

private Q_SLOTS:
    void pages_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<QList<int>>("ticked"); // empty: all
        QTest::addColumn<QSize>("grid");
        QTest::addColumn<QList<int>>("sheets"); // pictures on each sheet
        QTest::newRow("77 fill one page") << 77 << QList<int> {} << QSize(7, 11) << QList<int> { 77 };
        // Unticked entries after a full page start a page that stays empty and prints nothing.
        QTest::newRow("2 x 1, entries 0 and 5") << 10 << QList<int> { 0, 5 } << QSize(2, 1) << QList<int> { 2 };
        QTest::newRow("2 x 1, entries 0, 5, 6") << 10 << QList<int> { 0, 5, 6 } << QSize(2, 1) << QList<int> { 2, 1 };
    }
    void pages()
    {
        QFETCH(int, files);
        QFETCH(QList<int>, ticked);
        QFETCH(QSize, grid);
        QFETCH(QList<int>, sheets);
        if (ticked.isEmpty())
            for (int i = 0; i < files; ++i)
                ticked << i;
        QList<QPair<int, int>> progress;
        const TickedList list(numbered(files), ticked);
        print(list, sheet(grid.width(), grid.height()),
            { {},
                [&](int p, int t) {
                    progress.append({ p, t });
                },
                {}, {} });
        QCOMPARE(m_printer.jobs().back(), int(sheets.size()));
        QCOMPARE(m_printer.count("PaintPicture"), int(ticked.size()));
        QCOMPARE(progress.last(), qMakePair(int(ticked.size()), int(ticked.size())));
        const QStringList cells = m_printer.log("PaintPicture");
        const int firstPage = m_printer.log().mid(0, m_printer.log().indexOf("newPage")).filter("PaintPicture").size();
        QCOMPARE(firstPage, sheets[0]);
        // Cells run along the rows at the grid's pitch; the next page starts top-left again.
        QVERIFY(qAbs(arg(cells[1], 1) - arg(cells[0], 1) - (11906 - 2000 * 1440.0 / 2540) / grid.width()) < 0.15);
        QCOMPARE(cells.value(sheets[0]), sheets.size() > 1 ? cells[0] : QString());
    }
    void placeAndResolution_data()
    {
        // The sheet as the row's name says: columns and rows, then names or not, stretched or not, the paper.
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QString>("drawn");
        // The grid starts 10 mm, 5 mm from the corner of the printable area; the picture area is 95 %
        // of the cell, less 1.1 lines for the name. The picture is fitted into the preview pane's box,
        // the box into the area, centred; the picture is decoded at 300 dpi, at most its own pixels.
        const QSize wide(3000, 2000), tall(1200, 1800);
        QTest::newRow("7 11, framed") << wide << "566.9 377.9 1461.9 974.6 img=305x204";
        QTest::newRow("7 11, tall, without names") << tall << "934.3 404.0 727.1 1090.6 img=152x228";
        QTest::newRow("2 2, stretched") << wide << "566.9 283.5 5116.8 7156.6 img=1066x1491";
        QTest::newRow("1 1, tall") << tall << "3138.8 3706.9 5089.7 7634.5 img=1061x1591";
        QTest::newRow("2 2, small: its own pixels") << QSize(200, 150) << "580.5 1953.1 5089.7 3817.3 img=200x150";
        QTest::newRow("7 11, on Letter") << wide << "598.5 340.8 1444.1 962.7 img=301x201";
        QTest::newRow("7 11, on a4 landscape") << wide << "1138.2 322.7 988.7 659.1 img=206x138";
        QTest::newRow("7 11, on A3 landscape") << wide << "1325.9 345.4 1559.6 1039.8 img=325x217";
    }
    void placeAndResolution()
    {
        QFETCH(QSize, picture);
        const QString tag = QTest::currentDataTag();
        const bool names = !tag.contains("without names");
        QTemporaryDir dir;
        const QString file = dir.filePath("bild000.jpg");
        QVERIFY(fixtures::writeFile(file, fixtures::encode(fixtures::quadrants(picture), "JPEG")));
        const QString paper = tag.section(" on ", 1).section(' ', 0, 0);
        m_printer.setPaper(findPaper(standardPapers(), paper.isEmpty() ? "A4" : paper),
            tag.endsWith("landscape") ? QPageLayout::Landscape : QPageLayout::Portrait);
        const auto restore = qScopeGuard([&] { m_printer.setPaper(QPageSize(QPageSize::A4), QPageLayout::Portrait); });
        const PrintJobSettings grid = sheet(tag.section(' ', 0, 0).toInt(),
            tag.section(' ', 1, 1).section(',', 0, 0).toInt(), names, !tag.contains("stretched"));
        PrintJobSettings framed = grid;
        framed.setup.frame = tag.contains("framed");
        print(FileListSource({ file }), framed, { {}, {}, {}, decodeThumbnail });
        QTEST(m_printer.log("PaintPicture").value(0).mid(13), "drawn");
        // The frame on the picture's edge, where asked for.
        QCOMPARE(m_printer.log("drawFrame").value(0).mid(10),
            framed.setup.frame ? m_printer.log("PaintPicture").value(0).mid(13).section(" img", 0, 0) : QString());
        // Without names nothing but the picture is drawn, and no text is measured.
        QCOMPARE(m_printer.log().filter(QRegularExpression("^(printLine|setCurrent|text)")).isEmpty(), !names);
    }
    void headerAndPageNumbers()
    {
        // The header and the page numbers take their lines from the grid's area: they never
        // touch a cell, at any grid and on any paper. A page full of ticks; as the job runs, one
        // more entry is ticked and the folder changes: the next page counts and names them.
        for (const auto& [cols, rows, landscape] : { std::tuple { 7, 11, false }, { 1, 1, true }, { 20, 30, false } }) {
            m_printer.setPaper(QPageSize(QPageSize::A4), landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
            PrintJobSettings settings = sheet(cols, rows);
            settings.setup.header = settings.setup.pageNumbers = true;
            settings.date = QDate(2026, 8, 11);
            QList<int> page(cols * rows);
            std::iota(page.begin(), page.end(), 0);
            TickedList list(numbered(cols * rows + 1), page);
            list.folder = "Urlaub";
            const auto tickOneMore = [&] {
                if (m_printer.count("PaintPicture") == 1)
                    list.ticks.last() = true, list.folder = "Neu";
                return false;
            };
            print(list, settings, { tickOneMore, {}, {}, {} });
            // Each line printed with the height it was printed at.
            QList<QPair<double, QString>> lines;
            double y = 0;
            for (const QString& entry : m_printer.log()) {
                if (entry.startsWith("setCurrentY"))
                    y = arg(entry, 1);
                else if (entry.startsWith("printLine"))
                    lines.append({ y, entry.section('"', 1, 1) });
            }
            QCOMPARE(lines[0].second + lines[1].second + lines[2].second, QString("Urlaub11.08.2026Seite 1 von 1"));
            const double headerBottom = lines[0].first + 161, footerTop = lines[2].first;
            const double firstTop = arg(m_printer.log("PaintPicture").first(), 2);
            const double lastNameBottom = lines[2 + cols * rows].first + 161; // the first page's last name
            QCOMPARE_LE(headerBottom, firstTop + 0.01);
            QCOMPARE_LE(lastNameBottom, footerTop + 0.01);
            // The header's top and the page number's bottom equally far from the paper's edges,
            // also where the printable area leaves more paper at the bottom than at the top.
            const double height = landscape ? 11906 : 16838;
            QCOMPARE(lines[0].first, height - (footerTop + 161));
            const PageGeometry uneven = pageGeometry(11906, 16000, cols, rows, 161, 0.567, 0.567, 161, 161, 100, 700);
            QCOMPARE(uneven.areaTop + 100, 16000 + 700 - uneven.areaBottom);
            QCOMPARE(m_printer.jobs().back(), 2);
            QCOMPARE(lines[3 + cols * rows].second + lines[5 + cols * rows].second, QString("NeuSeite 2 von 2"));
        }
        m_printer.setPaper(QPageSize(QPageSize::A4), QPageLayout::Portrait);
    }
    void captionLayout()
    {
        // Name, time and exposure lines (empty where a picture has none) share the cell with the
        // picture: in every column nothing printed overlaps, at any grid and orientation.
        for (const auto& [cols, rows, landscape, names] : { std::tuple { 3, 2, false, true }, { 7, 11, true, true },
                 { 1, 1, false, false }, { 20, 30, false, true } }) {
            m_printer.setPaper(QPageSize(QPageSize::A4), landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
            PrintJobSettings settings = sheet(cols, rows, names);
            settings.setup.captionTime = settings.setup.captionExposure = true;
            QStringList files = numbered(cols * rows, "/f/exif%1.jpg");
            files.last().replace("exif", "none");
            print(FileListSource(files), settings);
            QCOMPARE(m_printer.count("printLine"), (cols * rows - 1) * (names ? 3 : 2) + (names ? 1 : 0));
            const double left = 1000 * 1440.0 / 2540, pitch = (m_printer.pageWidth() - 2 * left) / cols;
            QMap<int, QList<QPair<double, double>>> columns; // the vertical extents in each column
            double x = 0, y = 0;
            for (const QString& entry : m_printer.log()) {
                if (entry.startsWith("setCurrentX"))
                    x = arg(entry, 1);
                else if (entry.startsWith("setCurrentY"))
                    y = arg(entry, 1);
                else if (entry.startsWith("printLine"))
                    columns[int((x - left) / pitch)].append({ y, y + 161 });
                else if (entry.startsWith("PaintPicture"))
                    columns[int((arg(entry, 1) - left) / pitch)].append(
                        { arg(entry, 2), arg(entry, 2) + arg(entry, 4) });
            }
            for (QList<QPair<double, double>>& extents : columns) {
                std::sort(extents.begin(), extents.end());
                for (qsizetype i = 1; i < extents.size(); ++i)
                    QVERIFY2(extents[i - 1].second <= extents[i].first + 0.01, qPrintable(QString::number(cols)));
            }
        }
        m_printer.setPaper(QPageSize(QPageSize::A4), QPageLayout::Portrait);
    }
    void previewIsThePrintedPage()
    {
        // One page of a sheet printed into a real PDF file and drawn for the preview: pdftoppm's
        // picture of the page and the preview's are the same at the same resolution, but for the
        // edges that each smooths its own way.
        QTemporaryDir dir;
        QStringList files;
        for (const QSize& size : { QSize(400, 300), QSize(300, 400), QSize(120, 90) }) {
            files << dir.filePath(QString("bild%1.jpg").arg(files.size()));
            fixtures::writeFile(files.last(), fixtures::encode(fixtures::quadrants(size), "JPEG"));
        }
        fixtures::writeFile(dir.filePath("kaputt.jpg"), "kein Bild");
        files << dir.filePath("kaputt.jpg");
        PrintJobSettings settings = sheet(3, 2);
        settings.setup = { "A5", QPageLayout::Landscape, true, true };
        settings.folderName = "Urlaub";
        const QString pdf = dir.filePath("blatt.pdf");
        CupsPrinterService printers([&](const QString&) { return pdf; });
        RunFlags flags;
        const FileListSource source(files, settings.folderName);
        QCOMPARE(PrintCommand(printers, flags).run(*printers.pdfPrinter(), source, settings, {}).outcome,
            PrintCommand::Outcome::Sent);
        QVERIFY(runTool("pdftoppm", { "-r", "40", "-singlefile", "-png", pdf, dir.filePath("seite") }).ok);
        const QImage printed = QImage(dir.filePath("seite.png")).convertToFormat(QImage::Format_RGB32);
        // Drawn from the views' cache; the page drawn anew without its header decodes nothing again.
        const auto cache = std::make_shared<PictureCache>();
        SheetPreview::Sheet shown { files, settings, printers.pdfPrinter()->pageLayout(), 40, cache };
        const QImage preview = drawSheetPage(shown, 1);
        const int decodes = cache->decodes();
        shown.settings.setup.header = false;
        drawSheetPage(shown, 1);
        QCOMPARE(cache->decodes(), decodes);
        // pdftoppm rounds the paper to whole points and then up to whole pixels.
        QCOMPARE_LE(qAbs(preview.width() - printed.width()), 1);
        QCOMPARE_LE(qAbs(preview.height() - printed.height()), 1);
        const QSize common = preview.size().boundedTo(printed.size());
        qint64 difference = 0, far = 0;
        for (int y = 0; y < common.height(); ++y) {
            for (int x = 0; x < common.width(); ++x) {
                const QRgb a = printed.pixel(x, y), b = preview.pixel(x, y);
                const int d
                    = std::max({ qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b)) });
                difference += d;
                far += d > 96;
            }
        }
        const double pixels = double(common.width()) * common.height();
        QCOMPARE_LT(difference / pixels, 3);
        QCOMPARE_LT(far / pixels, 0.01);
    }
    void oneNameSizePerPage_data()
    {
        QTest::addColumn<QStringList>("page"); // file names; a character is 10 twips wide per point
        QTest::addColumn<double>("size");
        QTest::addColumn<QStringList>("printed");
        // The picture area at 7 x 11 is 1,461.9 twips wide: 20 characters at 7 points. Landscape,
        // portrait and failing files share a line; a file that fails prints its name alone.
        const QString camera = "IMG_20240811_091626.jpg", longName = QString(60, 'x') + "y.jpg";
        const QStringList row { "w3000h2000.jpg", "w1200h1800.jpg", "urlaub-bad.jpg", "a.jpg" };
        QTest::newRow("all fit") << row << 7.0 << row;
        QTest::newRow("a camera name sets the page's size")
            << QStringList { "DSC_4711.JPG", camera } << 6.25 << QStringList { "DSC_4711.JPG", camera };
        QTest::newRow("too long even at 5.5 points")
            << QStringList { "a.jpg", longName } << 5.5 << QStringList { "a.jpg", "xxxxxxxxxxx\u2026xxxxxxxxxy.jpg" };
    }
    void oneNameSizePerPage()
    {
        QFETCH(QStringList, page);
        QFETCH(double, size);
        QFETCH(QStringList, printed);
        QStringList paths;
        for (const QString& name : page)
            paths << "/fotos/" + name;
        // The second page has names that fit: it goes back to 7 points.
        print(FileListSource(paths + numbered(77)), sheet(7, 11));
        QCOMPARE(names().mid(0, page.size()), printed);
        // The size in effect as the first name prints.
        const QStringList log = m_printer.log();
        const QStringList before = log.mid(0, log.indexOf(QRegularExpression("printLine.*"))).filter("setFontSize");
        QCOMPARE(arg(before.last(), 1), size);
        QCOMPARE(m_printer.log("setFontSize").last(), QString("setFontSize 7"));
        // One line, a tenth of a line under the boxes; each name centred under its cell's area.
        const QStringList xs = m_printer.log("setCurrentX"), ys = m_printer.log("setCurrentY");
        QCOMPARE_LT(qAbs(arg(ys[0], 1) - 1426.7), 0.15);
        for (int i = 0; i < printed.size(); ++i) {
            QCOMPARE_LT(
                qAbs(arg(xs[i], 1) - (566.9 + i * 1538.9 + (1461.9 - printed[i].size() * 10 * size) / 2)), 0.15);
            QCOMPARE(ys[i], ys[0]);
        }
    }
    void ticksAreReadAsTheJobGoes()
    {
        // The list changes as the job yields before its fourth cell: entry 5 unticked and entry 8
        // ticked, the list rebuilt with portrait pictures, or every tick gone.
        for (const QString change : { "ticks", "rebuilt", "none left" }) {
            TickedList list(numbered(10, "/fotos/w400h300-%1.jpg"), { 0, 1, 2, 3, 4, 5, 6 });
            int ticked = 0;
            const auto yield = [&] {
                if (m_printer.count("PaintPicture") == 3 && list.paths[0].startsWith("/fotos")) {
                    if (change == "ticks")
                        list.ticks[5] = false, list.ticks[8] = true, list.paths[0] = "/f";
                    else if (change == "rebuilt")
                        list = TickedList(numbered(6, "/neu/w300h400-%1.jpg"), { 4, 5 });
                    else
                        list.ticks.fill(false), list.paths[0] = "/f";
                }
                return false;
            };
            const SheetResult result
                = print(list, sheet(7, 11), { yield, [&](int, int total) { ticked = total; }, {}, {} });
            QVERIFY(!result.stopped);
            const QList<int> printed = change == "ticks" ? QList<int> { 0, 1, 2, 3, 4, 6, 8 }
                : change == "rebuilt"                    ? QList<int> { 0, 1, 2, 4, 5 }
                                                         : QList<int> { 0, 1, 2 };
            QStringList expected;
            for (const int i : printed)
                expected << QString("w%1-%2.jpg")
                                .arg(change == "rebuilt" && i > 2 ? "300h400" : "400h300")
                                .arg(i, 3, 10, QChar('0'));
            QCOMPARE(names(), expected);
            QCOMPARE(ticked, change == "rebuilt" ? 2 : 7);
            // The rebuilt list's entries show their own pictures, not those decoded ahead for the old list.
            const QString last = m_printer.log("PaintPicture").last();
            QCOMPARE(arg(last, 3) < arg(last, 4), change == "rebuilt");
        }
    }
    void decodingAhead()
    {
        // One file fails: the cells still come in list order; later pictures decode while the first
        // one does, and at most two per thread are decoded and waiting.
        QStringList files = numbered(40, "/fotos/pause%1.jpg");
        files[0] = "/fotos/first.jpg";
        files[5] = "/fotos/bad.jpg";
        print(FileListSource(files), sheet(2, 2));
        QCOMPARE(names().size(), 40);
        QCOMPARE(names()[5], QString("bad.jpg"));
        QCOMPARE(m_printer.count("PaintPicture"), 39);
        QVERIFY2(m_decoder.maxAlive <= 2 * decodeThreads(), qPrintable(QString::number(m_decoder.maxAlive)));
        QVERIFY(m_decoder.ahead || decodeThreads() == 1);
        QTRY_COMPARE(m_decoder.alive.load(), 0);
        // A stop ends the job at the next poll, and the job does not wait for the decode that runs.
        files[3] = "/fotos/slow.jpg";
        const auto stop = [&] { return m_printer.count("PaintPicture") == 3; };
        QVERIFY(print(FileListSource(files), sheet(7, 11), { stop, {}, {}, {} }).stopped);
        QCOMPARE(m_printer.count("PaintPicture"), 3);
        QVERIFY(m_decoder.running > 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_decoder.running.load(), 0, 10000);
    }
    // The picture files: one per page, written all or none; an older file stays as it was where
    // the job is cancelled or the disk fills up (a small tmpfs, where one can be mounted).
    void pictureFiles_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("files"); // in the folder afterwards; "s-1.jpg" held "alt" before
        QTest::newRow("one page") << 1 << "endDoc" << QStringList { "s-1.jpg", "s.jpg" };
        QTest::newRow("two pages") << 2 << "endDoc" << QStringList { "s-1.jpg", "s-2.jpg" };
        QTest::newRow("cancelled") << 2 << "killDoc" << QStringList { "s-1.jpg" };
        QTest::newRow("full disk") << 2 << "tmpfs" << QStringList { "s-1.jpg" };
    }
    void pictureFiles()
    {
        QFETCH(int, pages);
        QFETCH(QString, end);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        if (end == "tmpfs" && !runTool("mount", { "-t", "tmpfs", "-o", "size=1m", "tmpfs", dir.path() }).ok)
            QSKIP("no tmpfs can be mounted here");
        const auto unmount = qScopeGuard([&] {
            if (end == "tmpfs")
                runTool("umount", { dir.path() });
        });
        QVERIFY(fixtures::writeFile(dir.filePath("s-1.jpg"), "alt"));
        JpegFilesPrinter printer;
        printer.setTarget(dir.filePath("s.jpg"));
        QImage noise(1000, 700, QImage::Format_RGB32);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.bits()), noise.sizeInBytes() / 4);
        QString error;
        try {
            for (int page = 0; page < pages; ++page)
                printer.newPage(), printer.PaintPicture(noise, 0, 0, 11906, 8000);
            end == "killDoc" ? printer.killDoc() : printer.endDoc();
        } catch (const PrinterError& e) {
            error = e.what();
            printer.killDoc();
        }
        QCOMPARE(error.contains("kein Platz mehr"), end == "tmpfs");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), files);
        QCOMPARE(fixtures::readFile(dir.filePath("s-1.jpg")) == "alt", pages != 2 || end != "endDoc");
        for (const QString& file : files.filter(QRegularExpression("^s(-2)?.jpg"))) {
            const QImage page(dir.filePath(file));
            QCOMPARE(page.size(), QSize(2480, 3508));
            QCOMPARE(page.colorSpace(), QColorSpace(QColorSpace::SRgb));
            QCOMPARE(page.dotsPerMeterX(), 11811);
        }
    }
    void severalFoldersAndWhatWentWrong()
    {
        // Three pictures and eighty at 7 x 11: pages 1 and 2-3, each folder's name in its header,
        // the page numbers through the document. What could not be read and what was damaged is
        // counted and named, the first `shown` and then how many more.
        RecordingPrinterService printers({ "Testdrucker" });
        RecordingPrinter* chosen = printers.printer("Testdrucker");
        QStringList first = numbered(3, "/A/bild%1.jpg"), second = numbered(80, "/B/bild%1.jpg");
        first[1] = "/A/bad.jpg", second[4] = "/B/cut.jpg";
        const FileListSource a(first, "A"), b(second, "B");
        PrintJobSettings settings = sheet(7, 11);
        settings.setup.header = settings.setup.pageNumbers = true;
        PrintCommand::Callbacks callbacks;
        callbacks.decode = [this](const QString& path, const ThumbnailRequest& request) {
            DecodedPicture picture = m_decoder(path, request);
            if (path.contains("cut"))
                picture.damage = Error(Error::Kind::CutOff);
            return picture;
        };
        int progressed = 0;
        callbacks.progress = [&](int printed, int total) { progressed = printed * 1000 + total; };
        RunFlags flags;
        const PrintCommand::Result result = PrintCommand(printers, flags).run(*chosen, { &a, &b }, settings, callbacks);
        QCOMPARE(chosen->jobs(), std::vector<int> { 3 });
        QCOMPARE(result.cells, 83);
        QCOMPARE(progressed, 83083);
        const QStringList lines = chosen->log("printLine").filter(QRegularExpression("\"(A|B|Seite .*)\""));
        QCOMPARE(lines.join(',').remove("printLine "),
            QString("\"A\",\"Seite 1 von 3\",\"B\",\"Seite 2 von 3\",\"B\",\"Seite 3 von 3\""));
        QCOMPARE(result.unreadable.size(), 1);
        QCOMPARE(result.damaged.size(), 1);
        QCOMPARE(PrintCommand::problemsText(result, 1),
            QString("Nicht alle Bilder konnten ganz gelesen werden:\nnicht lesbar: bad.jpg ()\nund 1 weitere"));
    }
    void howAJobEnds_data()
    {
        QTest::addColumn<QString>("files");
        QTest::addColumn<bool>("names");
        QTest::addColumn<QString>("failAt");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("reason"); // the error's kind
        using O = PrintCommand::Outcome;
        using E = Error::Kind;
        QTest::newRow("sent") << "a.jpg" << true << "" << int(O::Sent) << int(E::None);
        // A header and page numbers alone are nothing printed.
        QTest::newRow("none readable, no names, header and page numbers")
            << "a-bad.jpg b-bad.jpg" << false << "" << int(O::NothingReadable) << int(E::None);
        QTest::newRow("none readable, names") << "a-bad.jpg" << true << "" << int(O::Sent) << int(E::None);
        QTest::newRow("nothing ticked") << "" << true << "" << int(O::NothingTicked) << int(E::None);
        QTest::newRow("printer fails") << "a.jpg" << true << "endDoc" << int(O::Failed) << int(E::SystemText);
        QTest::newRow("cancelled while sending")
            << "a.jpg" << true << "endDoc cancel" << int(O::Cancelled) << int(E::None);
        QTest::newRow("out of memory") << "a-oom.jpg" << true << "" << int(O::Failed) << int(E::OutOfMemory);
    }
    void howAJobEnds()
    {
        QFETCH(QString, files);
        QFETCH(bool, names);
        QFETCH(QString, failAt);
        QFETCH(int, outcome);
        QFETCH(int, reason);
        RecordingPrinterService printers({ "Testdrucker", "Zweitdrucker" });
        RecordingPrinter* chosen = printers.printer("Zweitdrucker");
        if (!failAt.isEmpty())
            chosen->failAt(failAt.section(' ', 0, 0), 1, failAt.endsWith("cancel") ? QString() : QString("Papierstau"));
        RunFlags flags;
        PrintCommand::Callbacks callbacks;
        callbacks.decode = [this](const QString& path, const ThumbnailRequest& request) {
            if (path.contains("oom"))
                throw std::bad_alloc();
            return m_decoder(path, request);
        };
        PrintJobSettings settings = sheet(7, 11, names);
        settings.setup.header = settings.setup.pageNumbers = QByteArray(QTest::currentDataTag()).contains("header");
        const auto result
            = PrintCommand(printers, flags)
                  .run(*chosen, FileListSource(files.split(' ', Qt::SkipEmptyParts)), settings, callbacks);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(int(result.error.kind), reason);
        // Only a job sent reaches the queue; the previous printer is current again.
        QCOMPARE(chosen->jobs().size(), size_t(outcome == int(PrintCommand::Outcome::Sent)));
        QCOMPARE(printers.currentPrinter(), printers.printer("Testdrucker"));
        QVERIFY(!flags.bPrinting);
    }
};

QTEST_MAIN(TestPrintJob)
#include "tst_printjob.moc"
