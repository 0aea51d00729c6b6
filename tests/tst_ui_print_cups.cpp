// SPDX-License-Identifier: GPL-3.0-or-later
// Printing from the main window through a real CUPS scheduler (scripts/cups-sandbox) and into
// a PDF file, checked with poppler's tools. Where the cells land is checked on the print engine,
// and on real pages by the command-line test and the printer-service test.
#include "engine/print/CupsPrinterService.h"

#include "PdfTools.h"
#include "Photos.h"
#include "WindowSession.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

class TestPrintCups : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_sandbox = qEnvironmentVariable("CUPS_SANDBOX_DIR");
        if (m_sandbox.isEmpty())
            QSKIP("CUPS_SANDBOX_DIR is not set: run scripts/cups-sandbox start DIR and export what it prints");
        qputenv("CUPS_SERVER", QString(m_sandbox + "/cups.sock").toUtf8());
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("LC_ALL", "C");
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");
        QVERIFY2(runTool("lpstat", { "-r" }).output.trimmed() == "scheduler is running", "no private cupsd answers");
    }
    void init()
    {
        m_f = std::make_unique<WindowFixture<CupsPrinterService>>();
        writePhotos(m_f->photos, 9, 0, QSize(120, 90));
        QVERIFY(runTool("cupsaccept", { "Testdrucker", "Zweitdrucker" }).ok);
        for (const QString& job : captured("Testdrucker") + captured("Zweitdrucker"))
            QVERIFY(QFile::remove(job));
    }
    void queueRejectsJobs()
    {
        // The scheduler's reason reaches the user; nothing is sent, and the window goes on.
        WindowSession& s = open();
        QVERIFY(runTool("cupsreject", { "Testdrucker" }).ok);
        s.click("cmdPrint");
        QVERIFY(runTool("cupsaccept", { "Testdrucker" }).ok);
        const auto& shown = s.messages.shown;
        QVERIFY2(
            shown.size() == 1 && shown[0].text.contains("not accepting jobs") && shown[0].icon == QMessageBox::Critical,
            qPrintable(shown.value(0).text));
        QCOMPARE(std::tuple(s.window->isVisible(), s.state().bPrinting, s.enabled("cmdPrint")),
            std::tuple(true, false, true));

        // A queue delivers its jobs in order: once a control job arrived, anything sent before it has too.
        s.click("cmdDeselect");
        s.tick(0);
        s.click("cmdPrint");
        QTRY_COMPARE_WITH_TIMEOUT(captured().size(), 1, 20000);
        QCOMPARE(pdfInfo(captured().first(), "Pages"), QString("1"));
    }
    void pdfFile_data()
    {
        QTest::addColumn<QString>("save"); // the file chosen, below the test's folder; "": cancelled
        QTest::newRow("saved") << "Kontaktabzug.pdf";
        QTest::newRow("save dialog cancelled") << "";
        // Nothing there is damaged: no FIFO, no picture of the folder.
        QTest::newRow("a FIFO") << "fifo.pdf";
        QTest::newRow("one of the pictures") << "Fotos/bild001.jpg";
    }
    void pdfFile()
    {
        QFETCH(QString, save);
        // A photo with more pixels than the largest cell needs at 300 dpi.
        QVERIFY(fixtures::writeFile(
            m_f->photos + "/bild000.jpg", fixtures::encode(fixtures::quadrants(QSize(2400, 1800)), "JPEG")));
        const QString target = save.isEmpty() ? QString() : m_f->dir.filePath(save);
        QVERIFY(save != "fifo.pdf" || ::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
        const auto contents = [&] { return save == "fifo.pdf" ? QByteArray() : fixtures::readFile(target); };
        const QByteArray before = contents();
        QStringList proposals;
        WindowSession& s = open([&](const QString& proposal) {
            proposals << proposal;
            return target;
        });
        s.get<QLineEdit>("txtCols")->setText("2");
        s.get<QLineEdit>("txtRows")->setText("2");
        s.click("cmdDeselect");
        s.tick(0);
        s.get<QComboBox>("prnList")->setCurrentText("PDF-Datei");
        s.click("cmdPrint");
        // The file name is asked for first: the folder's name in the folder printed.
        QCOMPARE(proposals, QStringList { m_f->photos + "/Fotos.pdf" });
        QVERIFY(!s.state().bPrinting);
        QCOMPARE(m_f->printers->currentPrinter()->deviceName(), QString("Testdrucker"));
        if (save != "Kontaktabzug.pdf") {
            // A file that cannot take the sheet is refused before anything is drawn, and stays as it was.
            QCOMPARE(s.messages.shown.size(), save.isEmpty() ? 0 : 1);
            QVERIFY(save.isEmpty() || QFileInfo(target).isFile() == save.endsWith(".jpg"));
            QCOMPARE(contents(), before);
            return;
        }
        QCOMPARE(std::tuple(s.messages.shown.size(), QFile::exists(target)), std::tuple(0, true));
        // Sharp thumbnails: at least 300 dpi in the cell, whatever its size.
        const QString images = runTool("pdfimages", { "-list", target }).output;
        static const QRegularExpression ppi(
            "^\\s*1\\s+\\d+\\s+image\\s+\\d+\\s+\\d+\\s+.*\\s(\\d+)\\s+(\\d+)\\s+\\S+\\s+\\S+\\s*$",
            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = ppi.match(images);
        QVERIFY2(match.hasMatch(), qPrintable(images));
        QCOMPARE_GE(std::min(match.captured(1).toInt(), match.captured(2).toInt()), 300);
    }

private:
    WindowSession& open(CupsPrinterService::FileNameQuery askFileName = [](const QString&) { return QString(); })
    {
        WindowSession& s = m_f->open(std::move(askFileName));
        s.tickFirst(8);
        return s;
    }
    QStringList captured(const QString& queue = "Testdrucker") const { return capturedJobs(m_sandbox, queue); }

    QString m_sandbox;
    QTemporaryDir m_home;
    std::unique_ptr<WindowFixture<CupsPrinterService>> m_f;
};

QTEST_MAIN(TestPrintCups)
#include "tst_ui_print_cups.moc"
