// SPDX-License-Identifier: GPL-3.0-or-later
// The print engine without a window: page loop, where each thumbnail lands and at which
// resolution, file names, and the decoding ahead on worker threads.
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"

#include <atomic>

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "engine/print/PrintJob.h"

using namespace rasterblatt;

namespace {
// Every file gives a 40 x 30 picture after the delay its name asks for ("slow" 150 ms, "pause"
// 30 ms, else none; "bad" fails). Counts the decodes running and the decoded pictures alive.
struct CountingDecoder {
    std::atomic<int> running = 0, alive = 0, maxAlive = 0;
    DecodedPicture operator()(const QString& path, const ThumbnailRequest&)
    {
        ++running;
        QThread::msleep(path.contains("slow") ? 150 : path.contains("pause") ? 30 : 0);
        DecodedPicture thumbnail;
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
            const QImage image(pixels->data, 40, 30, 160, QImage::Format_RGB32, release, pixels);
            thumbnail = { QSize(400, 300), image, {} };
        }
        --running;
        return thumbnail;
    }
};
double arg(const QString& line, int n) { return line.section(' ', n, n).toDouble(); }
QString writeJpeg(const QTemporaryDir& dir, const QImage& image)
{
    const QString path = dir.filePath("bild000.jpg");
    return fixtures::writeFile(path, fixtures::encode(image, "JPEG")) ? path : QString();
}
} // namespace

class TestPrintJob : public QObject {
    Q_OBJECT

    // Runs the page engine on the recording printer and ends its document when it ran to its end.
    bool print(const QStringList& files, PrintJobSettings settings, PageCallbacks callbacks = {})
    {
        m_printer.clearCalls();
        const bool whole = PrintSelection(m_printer, files, settings, callbacks);
        whole ? m_printer.endDoc() : m_printer.killDoc();
        return whole;
    }
    RecordingPrinter m_printer { "Testdrucker" };

private Q_SLOTS:
    void pagesAndCells_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("cols");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("pageBreaks");
        QTest::newRow("78 at 7 x 11") << 78 << 7 << 11 << 1;
        QTest::newRow("77 fill one page") << 77 << 7 << 11 << 0;
        QTest::newRow("3 at 2 x 1") << 3 << 2 << 1 << 1;
    }
    void pagesAndCells()
    {
        QFETCH(int, files);
        QFETCH(int, cols);
        QFETCH(int, rows);
        QFETCH(int, pageBreaks);
        CountingDecoder decoder;
        QList<QPair<int, int>> progress;
        const auto onProgress = [&](int printed, int total) { progress.append({ printed, total }); };
        QVERIFY(print(QStringList(files, "/fotos/bild.jpg"), { cols, rows, true, true },
            { {}, onProgress, {}, std::ref(decoder) }));
        const QStringList cells = m_printer.log("PaintPicture");
        QCOMPARE(cells.size(), files);
        QCOMPARE(m_printer.count("newPage"), pageBreaks);
        QCOMPARE(m_printer.jobs().back(), pageBreaks + 1);
        QVERIFY(progress.size() == files && progress.first() == qMakePair(1, files)
            && progress.last() == qMakePair(files, files));
        // Cells run along the rows at the grid's pitch; the next page starts top-left again.
        QVERIFY(qAbs(arg(cells[1], 1) - arg(cells[0], 1) - (11906 - 2000 * 1440.0 / 2540) / cols) < 0.15);
        if (rows > 1 && files > cols)
            QVERIFY(qAbs(arg(cells[cols], 2) - arg(cells[0], 2) - (16838 - 2500 * 1440.0 / 2540) / rows) < 0.15);
        QCOMPARE(cells[cols * rows % files], cells[0]);
        const int firstPage = m_printer.log().mid(0, m_printer.log().indexOf("newPage")).filter("PaintPicture").size();
        QCOMPARE(firstPage, std::min(files, cols * rows));
    }
    void placeAndResolution_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("grid");
        QTest::addColumn<bool>("names");
        QTest::addColumn<bool>("keepAspect");
        QTest::addColumn<QString>("drawn");
        // The grid starts 10 mm, 5 mm from the corner of A4; the picture area is 95 % of the cell,
        // less 1.1 lines for the name. The picture is centred in it at 300 dpi, at most its own pixels.
        const QSize wide(3000, 2000), tall(1200, 1800), g7(7, 11), g2(2, 2);
        QTest::newRow("7 x 11") << wide << g7 << true << true << "566.9 377.9 1461.9 974.6 img=305x204";
        QTest::newRow("7 x 11, tall, no names")
            << tall << g7 << false << true << "854.0 283.5 887.9 1331.8 img=185x278";
        QTest::newRow("2 x 2, stretched") << wide << g2 << true << false << "566.9 283.5 5116.8 7156.6 img=1066x1491";
        QTest::newRow("1 x 1, tall, own pixels")
            << tall << QSize(1, 1) << true << true << "856.6 283.5 9654.3 14481.4 img=1200x1800";
        QTest::newRow("small enlarged") << QSize(200, 150) << g2 << true << true
                                        << "566.9 1943.0 5116.8 3837.6 img=200x150";
    }
    void placeAndResolution()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, grid);
        QFETCH(bool, names);
        QFETCH(bool, keepAspect);
        QTemporaryDir dir;
        QVERIFY(print(
            { writeJpeg(dir, fixtures::quadrants(picture)) }, { grid.width(), grid.height(), names, keepAspect }));
        QTEST(m_printer.log("PaintPicture").value(0).mid(13), "drawn");
    }
    void namesAndFailures()
    {
        QTemporaryDir dir;
        // Paths as the job may meet them: one without any "/", one ending in "/"; neither loads
        // and each prints its name alone.
        const QStringList files { writeJpeg(dir, fixtures::filled(QSize(80, 60), Qt::red)), "urlaub.jpg", "/Bilder/" };
        QVERIFY(print(files, { 7, 11, true, true }));
        QCOMPARE(m_printer.log("printLine"),
            QStringList({ "printLine \"bild000.jpg\"", "printLine \"urlaub.jpg\"", "printLine \"\"" }));
        QCOMPARE(m_printer.count("PaintPicture"), 1);
        // The name is centred under the picture, a tenth of a line below it, in the job's size.
        const QString p = m_printer.log("PaintPicture").first();
        QVERIFY(qAbs(arg(m_printer.log("setCurrentX").first(), 1) - (arg(p, 1) + (arg(p, 3) - 770) / 2)) < 0.15);
        QVERIFY(qAbs(arg(m_printer.log("setCurrentY").first(), 1) - (arg(p, 2) + arg(p, 4) + 16.1)) < 0.15);
        QCOMPARE(m_printer.count("setFontSize"), 1);
        // Without names nothing but the pictures is drawn, and no text is measured.
        QVERIFY(print(files, { 7, 11, false, true }));
        QCOMPARE(m_printer.log().filter(QRegularExpression("^(PaintPicture|printLine|setCurrent|text)")).size(), 1);
    }
    void longNamesShrinkAndStayOnTheSheet_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("size");
        // The picture area at 7 x 11 is 1,461.9 twips wide; a character takes 10 twips per point.
        QTest::newRow("camera name") << "IMG_20240815_123410.jpg" << 7 * 1461.9 / (23 * 70);
        QTest::newRow("too long even at 5 points") << QString(60, 'x') + ".jpg" << 5.0;
    }
    void longNamesShrinkAndStayOnTheSheet()
    {
        QFETCH(QString, name);
        QFETCH(double, size);
        CountingDecoder decoder;
        // Seven in a row: the first and the last stand at the sheet's edges.
        QVERIFY(print(QStringList(7, "/fotos/" + name), { 7, 11, true, true }, { {}, {}, {}, std::ref(decoder) }));
        const QStringList sizes = m_printer.log("setFontSize");
        QCOMPARE(sizes.size(), 1 + 2 * 7); // the job's size, then smaller and back for each name
        QVERIFY2(qAbs(arg(sizes[1], 1) - size) < 0.05 && sizes.last() == "setFontSize 7.0", qPrintable(sizes[1]));
        for (const QString& x : m_printer.log("setCurrentX"))
            QVERIFY2(arg(x, 1) >= 0 && arg(x, 1) + name.size() * 10 * size <= 11906 + 0.1, qPrintable(x));
    }
    void decodingAhead()
    {
        qputenv("RASTERBLATT_DECODE_THREADS", "3");
        CountingDecoder decoder;
        // One file decodes slowly and one fails: the cells still come in list order.
        QStringList files, names;
        for (int i = 0; i < 40; ++i)
            files << QString("/fotos/pause%1.jpg").arg(i);
        files[2] = "/fotos/slow.jpg";
        files[5] = "/fotos/bad.jpg";
        QVERIFY(print(files, { 2, 2, true, true }, { {}, {}, {}, std::ref(decoder) }));
        for (const QString& path : files)
            names << "printLine \"" + path.section('/', -1) + "\"";
        QCOMPARE(m_printer.log("printLine"), names);
        QCOMPARE(m_printer.count("PaintPicture"), 39);
        // At most two pictures per thread are decoded and waiting, and some were.
        QVERIFY2(decoder.maxAlive <= 6 && decoder.maxAlive > 1, qPrintable(QString::number(decoder.maxAlive)));
        QCOMPARE(decoder.alive.load(), 0);
        // A stop ends the job at the next poll: nothing more is drawn and no decode runs on.
        const auto stop = [&] { return m_printer.count("PaintPicture") == 3; };
        QVERIFY(!print(files, { 7, 11, true, true }, { stop, {}, {}, std::ref(decoder) }));
        QVERIFY(m_printer.count("PaintPicture") == 3 && decoder.running == 0 && decoder.alive == 0);
        qunsetenv("RASTERBLATT_DECODE_THREADS");
    }
};

QTEST_MAIN(TestPrintJob)
#include "tst_printjob.moc"
