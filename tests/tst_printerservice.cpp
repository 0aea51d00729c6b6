// The printers' document rules and the built-in "PDF-Datei" printer, without any CUPS:
// CUPS_SERVER points at a socket that nothing listens on.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "PdfTools.h"

#include "print/CupsPrinterService.h"

using namespace rasterblatt;
using namespace rasterblatt::testing;

namespace {

bool near(double value, double expected, double tolerance) { return qAbs(value - expected) <= tolerance; }

bool isRed(QColor color) { return color.red() > 240 && color.green() < 16 && color.blue() < 16; }

QImage solidImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestPrinterService : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QTemporaryDir m_temp;
    QTemporaryDir m_out;
    QString m_answer;
    int m_questions = 0;
    std::unique_ptr<CupsPrinterService> m_service;
    Printer* m_pdf = nullptr;

    QString target() const { return m_out.filePath("Kontaktabzug.pdf"); }
    QStringList tempFiles() const { return QDir(m_temp.path()).entryList(QDir::Files | QDir::Hidden); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid() && m_temp.isValid() && m_out.isValid());
        // Before anything asks CUPS: no scheduler, no personal lpoptions, temp files where we see them.
        qputenv("CUPS_SERVER", m_home.filePath(QString("no-cupsd.sock")).toUtf8());
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("TMPDIR", m_temp.path().toUtf8());
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(runTool("pdfinfo", { "-v" }).ok, "pdfinfo (poppler-utils) is needed");

        m_service = std::make_unique<CupsPrinterService>([this] {
            ++m_questions;
            return m_answer;
        });
        m_pdf = m_service->currentPrinter();
    }

    void init()
    {
        m_answer = target();
        m_questions = 0;
        QFile::remove(target());
    }

    void cleanup()
    {
        m_pdf->killDoc();
        QVERIFY2(tempFiles().isEmpty(), qPrintable(tempFiles().join(QChar(' '))));
    }

    void withoutCupsOnlyThePdfPrinter()
    {
        const std::vector<Printer*> printers = m_service->printers();
        QCOMPARE(printers.size(), size_t(1));
        QCOMPARE(printers.front(), m_pdf);
        QCOMPARE(m_pdf->deviceName(), QString("PDF-Datei"));
        QCOMPARE(m_service->printers().front(), m_pdf);
    }

    // The page reported is the whole A4 sheet of the saved file, with the origin at its corner.
    void pageIsTheWholeA4Sheet()
    {
        QCOMPARE(m_pdf->pageWidth(), 11900); // A4 in whole points, as Qt writes it: 595 x 842 pt
        QCOMPARE(m_pdf->pageHeight(), 16840);
        m_pdf->paintPicture(solidImage(8, 8, Qt::red), 0, 0, m_pdf->pageWidth(), m_pdf->pageHeight());
        m_pdf->endDoc();
        QCOMPARE(pdfInfo(target(), QString("Page size")), QString("595 x 842 pts (A4)"));

        const ToolResult render
            = runTool("pdftoppm", { "-r", "36", "-png", "-singlefile", target(), m_out.filePath("page") });
        QVERIFY2(render.ok, qPrintable(render.output));
        const QImage page(m_out.filePath("page.png"));
        QVERIFY(!page.isNull());
        for (const QPoint corner : { QPoint(0, 0), QPoint(page.width() - 1, page.height() - 1) })
            QVERIFY2(isRed(page.pixelColor(corner)), qPrintable(page.pixelColor(corner).name()));
    }

    void arialIsLiberationSansWithItsMetrics()
    {
        m_pdf->setFontName("Arial");
        m_pdf->setFontSize(7);
        const double lineHeight = m_pdf->textHeight("ABC");
        QVERIFY2(near(lineHeight, 161, 2), qPrintable(QString::number(lineHeight)));
        QCOMPARE(m_pdf->textHeight(QString()), lineHeight);
        const double width = m_pdf->textWidth("ABC");
        QVERIFY2(width > 250 && width < 320, qPrintable(QString::number(width)));
        QVERIFY(near(m_pdf->textWidth("ABCABC"), 2 * width, 3));
        m_pdf->setFontSize(14);
        QVERIFY(near(m_pdf->textWidth("ABC"), 2 * width, 3));

        m_pdf->printLine("urlaub.jpg");
        m_pdf->endDoc();
        const ToolResult fonts = runTool("pdffonts", { target() });
        QVERIFY2(fonts.output.contains("LiberationSans"), qPrintable(fonts.output));
    }

    void printLineMovesToTheNextLine()
    {
        m_pdf->setFontSize(7);
        m_pdf->setCurrentX(500);
        m_pdf->setCurrentY(1000);
        m_pdf->printLine("urlaub.jpg");
        QCOMPARE(m_pdf->currentX(), 0.0);
        QCOMPARE(m_pdf->currentY(), 1000 + m_pdf->textHeight(QString("ABC")));
        m_pdf->newPage();
        QCOMPARE(m_pdf->currentY(), 0.0);
    }

    // Operations: p = paint a picture, t = print a line, n = new page. 0 pages: nothing is saved.
    void pagesOfADocument_data()
    {
        QTest::addColumn<QString>("operations");
        QTest::addColumn<int>("pages");
        QTest::newRow("nothing drawn") << "" << 0;
        QTest::newRow("only page breaks") << "nn" << 0;
        QTest::newRow("one line") << "t" << 1;
        QTest::newRow("two pages") << "pnt" << 2;
        QTest::newRow("trailing page break") << "ptn" << 1;
        QTest::newRow("break before the first drawing") << "np" << 1;
        QTest::newRow("breaks with nothing between") << "pnnnp" << 2;
        QTest::newRow("three pages") << "pnpnp" << 3;
    }

    void pagesOfADocument()
    {
        QFETCH(QString, operations);
        QFETCH(int, pages);
        for (const QChar op : operations) {
            if (op == QChar('p'))
                m_pdf->paintPicture(solidImage(30, 20, Qt::blue), 100, 100, 3000, 2000);
            else if (op == QChar('t'))
                m_pdf->printLine("Zeile");
            else
                m_pdf->newPage();
        }
        m_pdf->endDoc();
        QCOMPARE(m_questions, pages > 0 ? 1 : 0);
        QCOMPARE(QFile::exists(target()), pages > 0);
        if (pages > 0)
            QCOMPARE(pdfInfo(target(), QString("Pages")).toInt(), pages);
        QVERIFY(tempFiles().isEmpty());
    }

    void discardedDocumentsLeaveNothing_data()
    {
        QTest::addColumn<bool>("cancelSave");
        QTest::newRow("killDoc") << false;
        QTest::newRow("save dialog cancelled") << true;
    }

    void discardedDocumentsLeaveNothing()
    {
        QFETCH(bool, cancelSave);
        m_pdf->paintPicture(solidImage(30, 20, Qt::blue), 100, 100, 3000, 2000);
        if (cancelSave) {
            m_answer.clear();
            m_pdf->endDoc();
            QCOMPARE(m_questions, 1);
        } else {
            m_pdf->killDoc();
            QCOMPARE(m_questions, 0);
        }
        QVERIFY(tempFiles().isEmpty());
        QVERIFY(!QFile::exists(target()));

        // Ready for the next document, which holds only its own page.
        m_answer = target();
        m_pdf->printLine("neu");
        m_pdf->endDoc();
        QCOMPARE(pdfInfo(target(), QString("Pages")), QString("1"));
    }

    void unwritableTargetThrowsAndCleansUp()
    {
        m_answer = m_out.filePath("fehlt/Kontaktabzug.pdf");
        m_pdf->printLine("Zeile");
        try {
            m_pdf->endDoc();
            QFAIL("endDoc succeeded");
        } catch (const PrinterError& error) {
            QVERIFY2(QString::fromStdString(error.what()).contains("fehlt/Kontaktabzug.pdf"), error.what());
        }
        QVERIFY(tempFiles().isEmpty());
        m_pdf->killDoc(); // as the print command's error path does: nothing left to discard
        m_answer = target();
        m_pdf->printLine("Zeile");
        m_pdf->endDoc();
        QVERIFY(QFile::exists(target()));
    }
};

QTEST_MAIN(TestPrinterService)
#include "tst_printerservice.moc"
