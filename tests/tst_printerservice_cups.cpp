// Printing through a real CUPS scheduler: the private one of scripts/cups-sandbox, whose
// queues "Testdrucker" (the default) and "Zweitdrucker" store every job they receive as
// $CUPS_SANDBOX_DIR/jobs/<queue>/<job-id>.pdf. By hand:
//   eval "$(scripts/cups-sandbox start /tmp/sandbox)" && build/tests/tst_printerservice_cups

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "PdfTools.h"

#include "print/CupsPrinterService.h"

using namespace rasterblatt;
using namespace rasterblatt::testing;

namespace {

QStringList names(const std::vector<Printer*>& printers)
{
    QStringList result;
    for (Printer* printer : printers)
        result << printer->deviceName();
    return result;
}

QImage testImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestPrinterServiceCups : public QObject {
    Q_OBJECT

private:
    QString m_sandbox;
    QString m_script;
    QTemporaryDir m_home;
    QTemporaryDir m_temp;
    std::unique_ptr<CupsPrinterService> m_service;

    Printer* printer(const QString& name)
    {
        for (Printer* printer : m_service->printers()) {
            if (printer->deviceName() == name)
                return printer;
        }
        return nullptr;
    }

    // The jobs a queue has received, oldest first.
    QStringList captured(const QString& queue) const { return capturedJobs(m_sandbox, queue); }

    // Sends a one-line document; since a queue prints its jobs in order, its arrival
    // shows that anything sent before it has arrived too.
    void sendControlPage(Printer* printer) const
    {
        printer->printLine("Kontrollseite");
        printer->endDoc();
    }

    QStringList tempFiles() const { return QDir(m_temp.path()).entryList(QDir::Files | QDir::Hidden); }

    bool schedulerAnswers() const { return runTool("lpstat", { "-r" }).output.trimmed() == "scheduler is running"; }

    bool sandbox(const QString& command) const
    {
        const ToolResult result = runTool(m_script, { command, m_sandbox });
        if (!result.ok)
            qWarning().noquote() << result.output;
        return result.ok;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sandbox = qEnvironmentVariable("CUPS_SANDBOX_DIR");
        if (m_sandbox.isEmpty())
            QSKIP("CUPS_SANDBOX_DIR is not set: run scripts/cups-sandbox start DIR and export what it prints");
        m_script = QFINDTESTDATA("../scripts/cups-sandbox");
        QVERIFY2(!m_script.isEmpty(), "scripts/cups-sandbox not found");
        QVERIFY(m_home.isValid() && m_temp.isValid());
        // Before anything asks CUPS: the sandbox only, no personal default printer.
        qputenv("CUPS_SERVER", QString(m_sandbox + "/cups.sock").toUtf8());
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("TMPDIR", m_temp.path().toUtf8());
        qputenv("LC_ALL", "C"); // CUPS's messages in English
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");
        QVERIFY2(schedulerAnswers(), qPrintable("no cupsd answers at " + m_sandbox));
        QVERIFY2(runTool("pdfinfo", { "-v" }).ok, "pdfinfo (poppler-utils) is needed");

        m_service = std::make_unique<CupsPrinterService>([] { return QString(); });
    }

    void init()
    {
        QVERIFY(runTool("cupsaccept", { "Testdrucker", "Zweitdrucker" }).ok);
        for (const char* queue : { "Testdrucker", "Zweitdrucker" }) {
            for (const QString& job : captured(queue))
                QVERIFY(QFile::remove(job));
        }
    }

    void cleanup()
    {
        for (Printer* printer : m_service->printers())
            printer->killDoc();
        QVERIFY2(tempFiles().isEmpty(), qPrintable(tempFiles().join(QChar(' '))));
        if (!schedulerAnswers())
            QVERIFY(sandbox("start"));
    }

    void listsTheQueuesThenThePdfFile()
    {
        QCOMPARE(names(m_service->printers()), QStringList({ "Testdrucker", "Zweitdrucker", "PDF-Datei" }));
        QVERIFY(m_service->currentPrinter());
        QCOMPARE(m_service->currentPrinter()->deviceName(), QString("Testdrucker"));
        QCOMPARE(m_service->printers(), m_service->printers());
    }

    void queuesAreLookedUpAfresh()
    {
        const QString name = "Drittdrucker";
        QVERIFY(runTool("lpadmin", { "-p", name, "-v", "capture:/" + name, "-E" }).ok);
        Printer* added = printer(name);
        QVERIFY(added);
        QVERIFY(runTool("lpadmin", { "-x", name }).ok);
        QVERIFY(!names(m_service->printers()).contains(name));
        QCOMPARE(added->deviceName(), name);
    }

    void documentIsOneJobWithItsPages()
    {
        Printer* second = printer("Zweitdrucker");
        QVERIFY(second);
        second->setFontName("Arial");
        second->setFontSize(7);
        second->paintPicture(testImage(378, 282, Qt::darkCyan), 566.9, 283.5, 1461.9, 1096.4);
        second->setCurrentY(1400);
        second->printLine("urlaub.jpg");
        second->newPage();
        second->printLine("zweite Seite");
        second->newPage();
        second->endDoc();

        QTRY_COMPARE_WITH_TIMEOUT(captured("Zweitdrucker").size(), 1, 20000);
        const QString job = captured("Zweitdrucker").constFirst();
        QCOMPARE(pdfInfo(job, QString("Pages")), QString("2"));
        const QString text = pdfText(job);
        QVERIFY2(text.contains("urlaub.jpg") && text.contains("zweite Seite"), qPrintable(text));
        // The picture is embedded at its own pixel size, not at the size it is drawn.
        const ToolResult images = runTool("pdfimages", { "-list", job });
        static const QRegularExpression pictureLine(
            "^\\s*1\\s+\\d+\\s+image\\s+378\\s+282\\s", QRegularExpression::MultilineOption);
        QVERIFY2(images.output.contains(pictureLine), qPrintable(images.output));
        QVERIFY(captured("Testdrucker").isEmpty());
    }

    // The drawing origin is the top-left corner of the printable area, which lies inside the sheet.
    void pageIsThePrintableArea()
    {
        Printer* queue = printer("Testdrucker");
        const int width = queue->pageWidth();
        const int height = queue->pageHeight();
        queue->paintPicture(testImage(8, 8, Qt::red), 0, 0, width, height);
        queue->endDoc();
        QTRY_COMPARE_WITH_TIMEOUT(captured("Testdrucker").size(), 1, 20000);
        const QString job = captured("Testdrucker").constFirst();

        const QString output = m_temp.filePath("page");
        QVERIFY(runTool("pdftoppm", { "-r", "72", "-png", "-singlefile", job, output }).ok);
        const QImage page(output + ".png");
        QFile::remove(output + ".png");
        QVERIFY(!page.isNull());
        // At 72 dpi a pixel is 20 twips. The sandbox queue has equal margins all round.
        const int marginX = (page.width() * 20 - width) / 40;
        const int marginY = (page.height() * 20 - height) / 40;
        QVERIFY2(marginX >= 0 && marginY >= 0,
            qPrintable(QString("%1 x %2 twips on %3 x %4 pixels")
                           .arg(width)
                           .arg(height)
                           .arg(page.width())
                           .arg(page.height())));
        const auto isRed
            = [&](int x, int y) { return page.pixelColor(x, y).red() > 200 && page.pixelColor(x, y).green() < 50; };
        QVERIFY(isRed(marginX + 2, marginY + 2));
        QVERIFY(isRed(page.width() - marginX - 3, page.height() - marginY - 3));
        if (marginX > 3 && marginY > 3) {
            QVERIFY(!isRed(marginX - 2, marginY - 2));
            QVERIFY(!isRed(page.width() - marginX + 1, page.height() - marginY + 1));
        }
    }

    void discardedOrEmptyDocumentsSendNothing_data()
    {
        QTest::addColumn<bool>("drawn");
        QTest::newRow("killDoc after drawing") << true;
        QTest::newRow("endDoc with only a page break") << false;
    }

    void discardedOrEmptyDocumentsSendNothing()
    {
        QFETCH(bool, drawn);
        Printer* queue = printer("Testdrucker");
        if (drawn) {
            queue->paintPicture(testImage(40, 30, Qt::blue), 100, 100, 4000, 3000);
            queue->printLine("verworfen");
            queue->killDoc();
        } else {
            queue->newPage();
            queue->endDoc();
        }
        QVERIFY(tempFiles().isEmpty());
        sendControlPage(queue);
        QTRY_COMPARE_WITH_TIMEOUT(captured("Testdrucker").size(), 1, 20000);
        QVERIFY(pdfText(captured("Testdrucker").constFirst()).contains("Kontrollseite"));
    }

    void queueRejectingJobsThrows()
    {
        Printer* second = printer("Zweitdrucker");
        QVERIFY(runTool("cupsreject", { "Zweitdrucker" }).ok);
        second->printLine("abgelehnt");
        try {
            second->endDoc();
            QFAIL("endDoc succeeded");
        } catch (const PrinterError& error) {
            const QString description = QString::fromUtf8(error.what());
            QVERIFY2(description.contains("Zweitdrucker") && description.contains("not accepting jobs"), error.what());
        }
        QVERIFY(tempFiles().isEmpty());

        // The printer takes the next document, and only that one arrives.
        QVERIFY(runTool("cupsaccept", { "Zweitdrucker" }).ok);
        second->killDoc();
        sendControlPage(second);
        QTRY_COMPARE_WITH_TIMEOUT(captured("Zweitdrucker").size(), 1, 20000);
        QCOMPARE(pdfText(captured("Zweitdrucker").constFirst()).trimmed(), QString("Kontrollseite"));
    }

    void schedulerDownThrowsAndLeavesThePdfFile()
    {
        Printer* queue = printer("Testdrucker");
        queue->printLine("ohne Planer");
        QVERIFY(sandbox("stop"));

        try {
            queue->endDoc();
            QFAIL("endDoc succeeded");
        } catch (const PrinterError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains("nicht erreichbar"), error.what());
        }
        QVERIFY(tempFiles().isEmpty());
        QCOMPARE(names(m_service->printers()), QStringList { QString("PDF-Datei") });
        QCOMPARE(CupsPrinterService().currentPrinter()->deviceName(), QString("PDF-Datei"));
        QCOMPARE(queue->deviceName(), QString("Testdrucker"));

        QVERIFY(sandbox("start"));
        QCOMPARE(printer("Testdrucker"), queue);
        sendControlPage(queue);
        QTRY_COMPARE_WITH_TIMEOUT(captured("Testdrucker").size(), 1, 20000);
    }
};

QTEST_MAIN(TestPrinterServiceCups)
#include "tst_printerservice_cups.moc"
