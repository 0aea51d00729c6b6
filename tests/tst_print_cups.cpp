// Printing from the main window through a real CUPS scheduler (scripts/cups-sandbox) and
// into a PDF file: what comes out is checked with poppler's tools.
#include "print/CupsPrinterService.h"
#include "print/PrintLayout.h"

#include "ImageFixtures.h"
#include "PdfTools.h"
#include "WindowSession.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace rasterblatt;
using namespace rasterblatt::testing;

namespace {

QColor colorOf(int file) { return QColor::fromHsv((file * 47) % 360, 255, 230 - (file % 3) * 40); }

} // namespace

class TestPrintCups : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void thumbnailsInListOrderOnTwoPages();
    void cancelSendsNothing();
    void secondQueueLeavesTheFirstCurrent();
    void rejectingQueueIsReported();
    void schedulerDownIsReported();
    void pdfFile_data();
    void pdfFile();

private:
    void makeWindow(CupsPrinterService::FileNameQuery askFileName = [](const QString&) { return QString(); });
    void print() const { m_session->click("cmdPrint"); }
    QStringList captured(const QString& queue) const { return capturedJobs(m_sandbox, queue); }
    // Prints one file on the queue and waits for it: a queue delivers its jobs in order,
    // so afterwards everything sent before has arrived too.
    void sendControlJob(const QString& queue);
    void expectNothingCapturedBesidesControl(const QString& queue);

    QString m_sandbox;
    QString m_script;
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_photos;
    std::unique_ptr<CupsPrinterService> m_printers;
    std::unique_ptr<WindowSession> m_session;
};

void TestPrintCups::initTestCase()
{
    m_sandbox = qEnvironmentVariable("CUPS_SANDBOX_DIR");
    if (m_sandbox.isEmpty())
        QSKIP("CUPS_SANDBOX_DIR is not set: run scripts/cups-sandbox start DIR and export what it prints");
    m_script = QFINDTESTDATA("../scripts/cups-sandbox");
    qputenv("CUPS_SERVER", QString(m_sandbox + "/cups.sock").toUtf8());
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("LC_ALL", "C");
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    QVERIFY2(runTool("lpstat", { "-r" }).output.trimmed() == "scheduler is running", "no private cupsd answers");
}

void TestPrintCups::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_photos = m_dir->path() + "/Fotos";
    QDir().mkpath(m_photos);
    for (int i = 0; i < 80; ++i) {
        fixtures::writeFile(m_photos + QString("/bild%1.jpg").arg(i, 2, 10, QChar('0')),
            fixtures::encode(fixtures::filled(QSize(120, 90), colorOf(i)), "JPEG"));
    }
    QVERIFY(runTool("cupsaccept", { "Testdrucker", "Zweitdrucker" }).ok);
    for (const char* queue : { "Testdrucker", "Zweitdrucker" }) {
        for (const QString& job : captured(queue))
            QVERIFY(QFile::remove(job));
    }
}

void TestPrintCups::cleanup()
{
    m_session.reset();
    m_printers.reset();
}

void TestPrintCups::makeWindow(CupsPrinterService::FileNameQuery askFileName)
{
    m_printers = std::make_unique<CupsPrinterService>(std::move(askFileName));
    m_session = std::make_unique<WindowSession>(*m_printers, m_dir->path() + "/settings.ini", m_photos);
    m_session->window->show();
}

void TestPrintCups::sendControlJob(const QString& queue)
{
    const qsizetype before = captured(queue).size();
    m_session->get<QComboBox>("prnList")->setCurrentText(queue);
    m_session->click("cmdDeselect");
    m_session->tickFirst(1);
    print();
    QTRY_COMPARE_WITH_TIMEOUT(captured(queue).size(), before + 1, 20000);
}

void TestPrintCups::expectNothingCapturedBesidesControl(const QString& queue)
{
    sendControlJob(queue);
    QCOMPARE(captured(queue).size(), 1);
    QCOMPARE(pdfInfo(captured(queue).first(), "Pages"), QString("1"));
}

void TestPrintCups::thumbnailsInListOrderOnTwoPages()
{
    makeWindow();
    m_session->tickFirst(78);
    print();
    QVERIFY(m_session->messages.shown.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(captured("Testdrucker").size(), 1, 20000);
    const QString job = captured("Testdrucker").first();
    QCOMPARE(pdfInfo(job, "Pages"), QString("2"));
    const QString text = pdfText(job);
    for (const char* name : { "bild00.jpg", "bild41.jpg", "bild76.jpg", "bild77.jpg" })
        QVERIFY2(text.contains(QLatin1String(name)), name);
    QVERIFY(!text.contains("bild78.jpg"));

    // The centre of every cell shows its file's colour. The queue's printable area lies
    // centred on the sheet; at 72 dpi a pixel is 20 twips.
    Printer* queue = m_printers->currentPrinter();
    queue->setFontName("Arial");
    queue->setFontSize(7);
    const PageGeometry grid = pageGeometry(queue->pageWidth(), queue->pageHeight(), 7, 11, queue->textHeight("ABC"),
        queue->himetricToTwipsX(1), queue->himetricToTwipsY(1));
    for (int page = 1; page <= 2; ++page) {
        const QImage image = renderPage(job, page, 72);
        QVERIFY(!image.isNull());
        const double marginX = (image.width() * 20.0 - queue->pageWidth()) / 2;
        const double marginY = (image.height() * 20.0 - queue->pageHeight()) / 2;
        const int cells = page == 1 ? 77 : 1;
        for (int cell = 0; cell < cells; ++cell) {
            const int file = (page - 1) * 77 + cell;
            const double x = marginX + grid.left + (cell % 7) * grid.cellWidth + grid.picWidth / 2;
            const double y = marginY + grid.top + (cell / 7) * grid.cellHeight + grid.picHeight / 2;
            const QColor actual = image.pixelColor(qRound(x / 20), qRound(y / 20));
            QVERIFY2(fixtures::similarColor(actual, colorOf(file), 48),
                qPrintable(QString("page %1 cell %2: %3").arg(page).arg(cell).arg(actual.name())));
        }
    }
    // Thumbnails go in as small JPEGs: the whole job stays small.
    QVERIFY(QFileInfo(job).size() < 5 * 1024 * 1024);
}

void TestPrintCups::cancelSendsNothing()
{
    makeWindow();
    m_session->tickFirst(40);
    int yields = 0;
    QTimer cancel;
    connect(&cancel, &QTimer::timeout, this, [&] {
        if (++yields == 10)
            m_session->click("cmdCancel");
    });
    cancel.start(0);
    print();
    cancel.stop();
    QVERIFY(m_session->window->isVisible());
    QVERIFY(!m_session->state().bPrinting);
    expectNothingCapturedBesidesControl("Testdrucker");
}

void TestPrintCups::secondQueueLeavesTheFirstCurrent()
{
    makeWindow();
    m_session->tickFirst(3);
    m_session->get<QComboBox>("prnList")->setCurrentText("Zweitdrucker");
    print();
    QTRY_COMPARE_WITH_TIMEOUT(captured("Zweitdrucker").size(), 1, 20000);
    QCOMPARE(m_printers->currentPrinter()->deviceName(), QString("Testdrucker"));
    QVERIFY(captured("Testdrucker").isEmpty());
}

void TestPrintCups::rejectingQueueIsReported()
{
    makeWindow();
    m_session->tickFirst(3);
    QVERIFY(runTool("cupsreject", { "Testdrucker" }).ok);
    print();
    QCOMPARE(m_session->messages.shown.size(), 1);
    QCOMPARE(m_session->messages.shown[0].icon, QMessageBox::Critical);
    QVERIFY2(m_session->messages.shown[0].text.contains("not accepting jobs"),
        qPrintable(m_session->messages.shown[0].text));
    QVERIFY(!m_session->state().bPrinting);
    QVERIFY(m_session->enabled("cmdPrint"));

    QVERIFY(runTool("cupsaccept", { "Testdrucker" }).ok);
    expectNothingCapturedBesidesControl("Testdrucker");
}

void TestPrintCups::schedulerDownIsReported()
{
    makeWindow();
    m_session->tickFirst(3);
    QVERIFY(runTool(m_script, { "stop", m_sandbox }).ok);
    print();
    const bool restarted = runTool(m_script, { "start", m_sandbox }).ok;
    QVERIFY(restarted);
    QCOMPARE(m_session->messages.shown.size(), 1);
    // The queue is gone with its scheduler: the job cannot even start.
    QVERIFY2(
        m_session->messages.shown[0].text.contains("Testdrucker") && m_session->messages.shown[0].text.contains("CUPS"),
        qPrintable(m_session->messages.shown[0].text));
    QVERIFY(!m_session->state().bPrinting);
    expectNothingCapturedBesidesControl("Testdrucker");
}

void TestPrintCups::pdfFile_data()
{
    QTest::addColumn<int>("grid");
    QTest::addColumn<bool>("save");
    QTest::newRow("7 x 7") << 7 << true;
    QTest::newRow("2 x 2") << 2 << true;
    QTest::newRow("1 x 1") << 1 << true;
    QTest::newRow("save dialog cancelled") << 2 << false;
}

void TestPrintCups::pdfFile()
{
    QFETCH(int, grid);
    QFETCH(bool, save);
    // A photo with more pixels than the largest cell needs at 300 dpi.
    QVERIFY(fixtures::writeFile(
        m_photos + "/bild00.jpg", fixtures::encode(fixtures::quadrants(QSize(2400, 1800)), "JPEG")));
    const QString target = m_dir->path() + "/Kontaktabzug.pdf";
    QStringList proposals;
    makeWindow([&](const QString& proposal) {
        proposals << proposal;
        return save ? target : QString();
    });
    m_session->get<QLineEdit>("txtCols")->setText(QString::number(grid));
    m_session->get<QLineEdit>("txtRows")->setText(QString::number(grid));
    m_session->tickFirst(1);
    m_session->get<QComboBox>("prnList")->setCurrentText("PDF-Datei");
    print();
    // The file name is asked for first: the folder's name in the folder printed.
    QCOMPARE(proposals, QStringList { m_photos + "/Fotos.pdf" });
    QVERIFY(m_session->messages.shown.isEmpty() && !m_session->state().bPrinting);
    QCOMPARE(QFile::exists(target), save);
    if (!save)
        return;
    QCOMPARE(pdfInfo(target, "Pages"), QString("1"));
    // The grid is laid out on A4 to the twip.
    QCOMPARE(m_printers->pdfPrinter()->pageWidth(), 11906);
    QCOMPARE(m_printers->pdfPrinter()->pageHeight(), 16838);
    QVERIFY(pdfText(target).contains("bild00.jpg"));
    // Sharp thumbnails: at least 300 dpi in the cell, whatever its size.
    const ToolResult images = runTool("pdfimages", { "-list", target });
    static const QRegularExpression ppi(
        "^\\s*1\\s+\\d+\\s+image\\s+\\d+\\s+\\d+\\s+.*\\s(\\d+)\\s+(\\d+)\\s+\\S+\\s+\\S+\\s*$",
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = ppi.match(images.output);
    QVERIFY2(match.hasMatch(), qPrintable(images.output));
    QVERIFY2(match.captured(1).toInt() >= 300 && match.captured(2).toInt() >= 300, qPrintable(images.output));
    QCOMPARE(m_printers->currentPrinter()->deviceName(), QString("Testdrucker"));
}

QTEST_MAIN(TestPrintCups)
#include "tst_print_cups.moc"
