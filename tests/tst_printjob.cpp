// The print engine without a window: page loop, thumbnail cells at print resolution, file
// names, and the decoding ahead on worker threads.
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"

#include <atomic>
#include <cmath>

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "print/PrintJob.h"

using namespace rasterblatt;

namespace {

// A decoder for the tests: every file gives a 40 x 30 picture after the delay its name asks
// for ("slow" 150 ms, "pause" 30 ms, else none; "bad" fails). It counts the decodes running and the decoded
// pictures alive, the way the job holds them.
struct CountingDecoder {
    std::atomic<int> running = 0;
    std::atomic<int> alive = 0;
    std::atomic<int> maxAlive = 0;

    Thumbnail operator()(const QString& path, const ThumbnailRequest&)
    {
        ++running;
        QThread::msleep(path.contains("slow") ? 150 : path.contains("pause") ? 30 : 0);
        Thumbnail thumbnail;
        if (!path.contains("bad")) {
            const int now = ++alive;
            for (int seen = maxAlive; now > seen && !maxAlive.compare_exchange_weak(seen, now);) { }
            // The pixels go, and the count drops, with the last copy of the image.
            struct Pixels {
                CountingDecoder* owner;
                uchar data[40 * 30 * 4] {};
            };
            auto* pixels = new Pixels { this };
            const QImage image(
                pixels->data, 40, 30, 160, QImage::Format_RGB32,
                [](void* info) {
                    auto* freed = static_cast<Pixels*>(info);
                    --freed->owner->alive;
                    delete freed;
                },
                pixels);
            thumbnail = { { QSize(400, 300), image }, image };
        }
        --running;
        return thumbnail;
    }
};

QStringList paths(int count, const QString& name = "bild")
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << QString("/fotos/%1%2.jpg").arg(name).arg(i, 3, 10, QChar('0'));
    return files;
}

} // namespace

class TestPrintJob : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagesAndCells_data();
    void pagesAndCells();
    void printResolution_data();
    void printResolution();
    void namesAndFailures();
    void longNamesShrinkAndStayOnTheSheet_data();
    void longNamesShrinkAndStayOnTheSheet();
    void decodingAhead();

private:
    // Runs a job on the recording printer and ends its document as the window does.
    bool print(const QStringList& files, PrintJobSettings settings, PrintJobCallbacks callbacks = {});

    RecordingPrinter m_printer { "Testdrucker" };
};

bool TestPrintJob::print(const QStringList& files, PrintJobSettings settings, PrintJobCallbacks callbacks)
{
    m_printer.clearCalls();
    const bool done = PrintSelection(m_printer, files, settings, callbacks);
    if (done)
        m_printer.endDoc();
    else
        m_printer.killDoc();
    return done;
}

void TestPrintJob::pagesAndCells_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pageBreaks");
    QTest::newRow("78 at 7 x 11") << 78 << 7 << 11 << 1;
    QTest::newRow("77 fill one page") << 77 << 7 << 11 << 0;
    QTest::newRow("3 at 2 x 1") << 3 << 2 << 1 << 1;
    QTest::newRow("none") << 0 << 7 << 11 << 0;
}

void TestPrintJob::pagesAndCells()
{
    QFETCH(int, files);
    QFETCH(int, cols);
    QFETCH(int, rows);
    QFETCH(int, pageBreaks);
    CountingDecoder decoder;
    QList<QPair<int, int>> progress;
    PrintJobCallbacks callbacks;
    callbacks.decode = std::ref(decoder);
    callbacks.progress = [&](int printed, int total) { progress.append({ printed, total }); };
    const std::size_t jobsBefore = m_printer.jobs().size();
    QVERIFY(print(paths(files), { cols, rows, true, true, {} }, callbacks));

    QCOMPARE(m_printer.count("paintPicture"), files);
    QCOMPARE(m_printer.count("newPage"), pageBreaks);
    QCOMPARE(m_printer.jobs().size(), jobsBefore + (files > 0 ? 1 : 0));
    QCOMPARE(m_printer.fontName(), QString("Arial"));
    QCOMPARE(progress.size(), files);
    if (files == 0)
        return;
    QCOMPARE(progress.first(), qMakePair(1, files));
    QCOMPARE(progress.last(), qMakePair(files, files));

    // Cells run along the rows from 10 mm, 5 mm; the next page starts top-left again.
    QList<QPointF> cells;
    for (const PrinterCall& call : m_printer.calls())
        if (call.op == "paintPicture")
            cells.append({ call.args[0].toDouble(), call.args[1].toDouble() });
    const double cellWidth = (11906 - 2000 * 1440.0 / 2540) / cols;
    QVERIFY(qAbs(cells[1].x() - cells[0].x() - cellWidth) < 0.1);
    QVERIFY(cells[0].x() >= 566.8 && cells[0].y() >= 283.4);
    QCOMPARE(cells[cols * rows % files], cells[0]);
    const int firstPage = m_printer.log().mid(0, m_printer.log().indexOf("newPage")).filter("paintPicture").size();
    QCOMPARE(firstPage, std::min(files, cols * rows));
}

void TestPrintJob::printResolution_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("grid");
    QTest::addColumn<bool>("keepAspect");
    QTest::newRow("7 x 7") << QSize(3000, 2000) << 7 << true;
    QTest::newRow("2 x 2") << QSize(3000, 2000) << 2 << true;
    QTest::newRow("1 x 1, portrait") << QSize(1200, 1800) << 1 << true;
    QTest::newRow("2 x 2, stretched") << QSize(3000, 2000) << 2 << false;
    QTest::newRow("smaller than the paper wants") << QSize(200, 150) << 2 << true;
}

void TestPrintJob::printResolution()
{
    QFETCH(QSize, picture);
    QFETCH(int, grid);
    QFETCH(bool, keepAspect);
    QTemporaryDir dir;
    const QString path = dir.filePath("foto.jpg");
    QVERIFY(fixtures::writeFile(path, fixtures::encode(fixtures::quadrants(picture), "JPEG")));
    QVERIFY(print({ path }, { grid, grid, true, keepAspect, {} }));

    // 300 pixels per inch of the drawn size, never more than the file has.
    const QVariantList cell = m_printer.calls()[m_printer.log().indexOf(QRegularExpression("paintPicture.*"))].args;
    const double width = cell[2].toDouble(), height = cell[3].toDouble();
    const QSize embedded = cell[4].toSize();
    const auto expected = [](double twips, int own) { return std::min(own, int(std::ceil(twips / 1440 * 300))); };
    QVERIFY2(
        qAbs(embedded.width() - expected(width, picture.width())) <= 1, qPrintable(QString::number(embedded.width())));
    QVERIFY(qAbs(embedded.height() - expected(height, picture.height())) <= 1);
    if (keepAspect)
        QVERIFY(qAbs(width / height - double(picture.width()) / picture.height()) < 0.01);
}

void TestPrintJob::namesAndFailures()
{
    QTemporaryDir dir;
    const QString good = dir.filePath("bild000.jpg");
    QVERIFY(fixtures::writeFile(good, fixtures::encode(fixtures::filled(QSize(80, 60), Qt::red), "JPEG")));
    QStringList shown;
    PrintJobCallbacks callbacks;
    callbacks.showPicture = [&](const QString& path, const DecodedPicture& picture) {
        shown << path + (picture.loaded() ? "" : " failed");
    };
    // Paths as the job may meet them: one without any "/", one ending in "/"; neither loads.
    const QStringList files { good, "urlaub.jpg", dir.path() + "/Bilder/" };
    QVERIFY(print(files, { 7, 11, true, true, {} }, callbacks));
    QCOMPARE(m_printer.log("printLine"),
        QStringList({ "printLine \"bild000.jpg\"", "printLine \"urlaub.jpg\"", "printLine \"\"" }));
    QCOMPARE(shown, QStringList({ good, "urlaub.jpg failed", dir.path() + "/Bilder/ failed" }));
    // Files that cannot be loaded print their name alone, centred under their area.
    QCOMPARE(m_printer.count("paintPicture"), 1);

    // The name is centred under the picture, a tenth of a line below it.
    const QVariantList picture = m_printer.calls()[m_printer.log().indexOf(QRegularExpression("paintPicture.*"))].args;
    const double left = picture[0].toDouble(), top = picture[1].toDouble();
    const double width = picture[2].toDouble(), height = picture[3].toDouble();
    QCOMPARE(
        m_printer.log("setCurrentX").first(), QString("setCurrentX %1").arg(left + (width - 11 * 70) / 2, 0, 'f', 1));
    QCOMPARE(m_printer.log("setCurrentY").first(), QString("setCurrentY %1").arg(top + height + 16.1, 0, 'f', 1));
    QCOMPARE(m_printer.count("setFontSize"), 1); // names that fit keep the job's size

    // Without names nothing but the pictures is drawn, and no text is measured.
    QVERIFY(print(files, { 7, 11, false, true, {} }));
    QCOMPARE(m_printer.count("paintPicture"), 1);
    for (const char* op : { "printLine", "setCurrentX", "setCurrentY", "textHeight", "textWidth" })
        QCOMPARE(m_printer.count(op), 0);
}

void TestPrintJob::longNamesShrinkAndStayOnTheSheet_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("size");
    // The picture area at 7 x 11 is 1,461.9 twips wide; a character takes 10 twips per point.
    QTest::newRow("camera name") << "IMG_20240815_123410.jpg" << 7 * 1461.9 / (23 * 70);
    QTest::newRow("too long even at 5 points") << QString(60, 'x') + ".jpg" << 5.0;
}

void TestPrintJob::longNamesShrinkAndStayOnTheSheet()
{
    QFETCH(QString, name);
    QFETCH(double, size);
    CountingDecoder decoder;
    PrintJobCallbacks callbacks;
    callbacks.decode = std::ref(decoder);
    // Seven in a row: the first and the last stand at the sheet's edges.
    QStringList files;
    for (int i = 0; i < 7; ++i)
        files << "/fotos/" + name;
    QVERIFY(print(files, { 7, 11, true, true, {} }, callbacks));

    const QStringList sizes = m_printer.log("setFontSize");
    QCOMPARE(sizes.size(), 1 + 2 * 7); // the job's size, then smaller and back for each name
    QVERIFY2(qAbs(sizes[1].section(' ', 1).toDouble() - size) < 0.05, qPrintable(sizes[1]));
    QCOMPARE(sizes.last(), QString("setFontSize 7.0"));
    const double width = name.size() * 10 * size;
    for (const QString& x : m_printer.log("setCurrentX")) {
        const double left = x.section(' ', 1).toDouble();
        QVERIFY2(left >= 0 && left + width <= 11906 + 0.1, qPrintable(x));
    }
}

void TestPrintJob::decodingAhead()
{
    qputenv("RASTERBLATT_DECODE_THREADS", "3");
    CountingDecoder decoder;
    PrintJobCallbacks callbacks;
    callbacks.decode = std::ref(decoder);
    // One file decodes slowly and one fails: the cells still come in list order.
    QStringList files = paths(40, "pause");
    files[2] = "/fotos/slow.jpg";
    files[5] = "/fotos/bad.jpg";
    QVERIFY(print(files, { 2, 2, true, true, {} }, callbacks));
    QStringList names;
    for (const QString& path : files)
        names << "printLine \"" + path.section('/', -1) + "\"";
    QCOMPARE(m_printer.log("printLine"), names);
    QCOMPARE(m_printer.count("paintPicture"), 39);
    // At most two pictures per thread are decoded and waiting, and some were.
    QVERIFY2(decoder.maxAlive <= 6 && decoder.maxAlive > 1, qPrintable(QString::number(decoder.maxAlive)));
    QCOMPARE(decoder.alive.load(), 0);

    // A stop ends the job at the next poll: nothing more is drawn and no decode runs on.
    int polls = 0;
    callbacks.abortRequested = [&] { return m_printer.count("paintPicture") == 3 && ++polls > 0; };
    QVERIFY(!print(paths(40, "pause"), { 7, 11, true, true, {} }, callbacks));
    QCOMPARE(m_printer.count("paintPicture"), 3);
    QCOMPARE(decoder.running.load(), 0);
    QCOMPARE(decoder.alive.load(), 0);
    qunsetenv("RASTERBLATT_DECODE_THREADS");
}

QTEST_MAIN(TestPrintJob)
#include "tst_printjob.moc"
