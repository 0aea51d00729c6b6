// The print job through the recording printer: page loop, thumbnail cells, progress bar,
// cancelling, printer errors and the choice of printer.
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

namespace {

// Runs fn at every yield of the job to the event loop (n counts from 1).
class AtEveryYield {
public:
    explicit AtEveryYield(std::function<void(int n)> fn)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, fn] { fn(++m_count); });
        m_timer.start(0);
    }

private:
    QTimer m_timer;
    int m_count = 0;
};

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void twoPagesFor78Files();
    void trailingEmptyPagePrintsNothing_data();
    void trailingEmptyPagePrintsNothing();
    void progressBar();
    void fileNames();
    void cancelDiscardsTheJob();
    void printerErrorIsReported();
    void choiceOfPrinter();
    void printersThatVanish();
    void gridAndButtonsHeldDuringTheJob();
    void sessionEndDiscardsTheJob();

private:
    WindowSession& open(int files, const QStringList& printers = { "Testdrucker", "Zweitdrucker", "PDF-Datei" });
    RecordingPrinter* printer(const char* name = "Testdrucker") const { return m_printers->printer(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordingPrinterService> m_printers;
    std::unique_ptr<WindowSession> m_session;
};

void TestPrint::init()
{
    m_session.reset();
    m_dir = std::make_unique<QTemporaryDir>();
}

WindowSession& TestPrint::open(int files, const QStringList& printers)
{
    const QString photos = m_dir->path() + "/Fotos";
    QDir().mkpath(photos);
    for (int i = 0; i < files; ++i) {
        const QImage image = fixtures::filled(QSize(80, 60), QColor::fromHsv((i * 37) % 360, 200, 220));
        fixtures::writeFile(photos + QString("/bild%1.jpg").arg(i, 3, 10, QChar('0')), fixtures::encode(image, "JPEG"));
    }
    m_printers = std::make_unique<RecordingPrinterService>(printers, printers.first());
    m_session = std::make_unique<WindowSession>(*m_printers, m_dir->path() + "/settings.ini", photos);
    m_session->window->show();
    return *m_session;
}

void TestPrint::twoPagesFor78Files()
{
    WindowSession& s = open(80);
    s.tickFirst(78);
    s.click("cmdPrint");

    RecordingPrinter* prn = printer();
    QCOMPARE(prn->fontName(), QString("Arial"));
    QCOMPARE(prn->fontSize(), 7.0);
    QCOMPARE(prn->count("paintPicture"), 78);
    QCOMPARE(prn->log().mid(0, prn->log().indexOf("newPage")).filter("paintPicture").size(), 77);
    QCOMPARE(prn->count("newPage"), 1);
    QCOMPARE(prn->jobs(), std::vector<int>({ 2 }));

    // Cells run along the rows from 10 mm, 5 mm; page 2 starts top-left again.
    QList<QVariantList> cells;
    for (const PrinterCall& call : prn->calls())
        if (call.op == "paintPicture")
            cells.append(call.args);
    const double cellWidth = (11906 - 2000 * 1440.0 / 2540) / 7;
    QVERIFY(qAbs(cells[1][0].toDouble() - cells[0][0].toDouble() - cellWidth) < 0.1);
    QVERIFY(cells[0][0].toDouble() >= 566.8 && cells[0][1].toDouble() >= 283.4);
    QCOMPARE(cells[77][0], cells[0][0]);
    QCOMPARE(cells[77][1], cells[0][1]);
    // Thumbnails are the preview pane's image: at least 300 dpi in the cell.
    QVERIFY(cells[0][4].toSize().width() / (cells[0][2].toDouble() / 1440) >= 300);

    // Afterwards the window is as before the job.
    QVERIFY(!s.state().bPrinting && !s.get("lbProgressBar")->isVisible());
    QCOMPARE(s.info(), QString("80 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten"));
    QVERIFY(s.enabled("cmdPrint") && s.messages.shown.isEmpty());
}

void TestPrint::trailingEmptyPagePrintsNothing_data()
{
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<int>("sheets");
    QTest::newRow("0 and 5") << QList<int> { 0, 5 } << 1;
    QTest::newRow("0, 5 and 6") << QList<int> { 0, 5, 6 } << 2;
}

void TestPrint::trailingEmptyPagePrintsNothing()
{
    QFETCH(QList<int>, ticked);
    QFETCH(int, sheets);
    WindowSession& s = open(10);
    s.get<QLineEdit>("txtCols")->setText("2");
    s.get<QLineEdit>("txtRows")->setText("1");
    for (int i : ticked)
        s.tick(i);
    s.click("cmdPrint");
    QCOMPARE(printer()->count("newPage"), 1);
    QCOMPARE(printer()->jobs(), std::vector<int>({ sheets }));
    QStringList names;
    for (int i : ticked)
        names << QString("printLine \"bild%1.jpg\"").arg(i, 3, 10, QChar('0'));
    QCOMPARE(printer()->log("printLine"), names);
}

void TestPrint::progressBar()
{
    WindowSession& s = open(78);
    s.tickFirst(78);
    QList<int> widths;
    QList<bool> visible;
    QString info = "-";
    AtEveryYield watch([&](int) {
        widths.append(s.get("lbProgressBar")->width());
        visible.append(s.get("lbProgressBar")->isVisible());
        info = s.info();
    });
    s.click("cmdPrint");
    // Seen at the yield before each cell: the width after the cell before it.
    const auto px = [](double twips) { return qRound(twips / 15); };
    QVERIFY(!visible[0] && visible.last());
    QCOMPARE(widths[1], px(4995.0 / 78));
    QCOMPARE(widths[39], px(4995.0 * 39 / 78));
    QCOMPARE(widths.last(), px(4995));
    QVERIFY(info.isEmpty()); // the status line is blank while the job runs
}

void TestPrint::fileNames()
{
    WindowSession& s = open(3);
    s.tickFirst(3);
    // Paths as the job may meet them: one without any "/", one ending in "/".
    s.state().aFiles[1] = "urlaub.jpg";
    s.state().aFiles[2] = m_dir->path() + "/Bilder/";
    s.click("cmdPrint");
    RecordingPrinter* prn = printer();
    QCOMPARE(prn->log("printLine"),
        QStringList({ "printLine \"bild000.jpg\"", "printLine \"urlaub.jpg\"", "printLine \"\"" }));
    // Files that cannot be loaded print their name alone, never the previous picture.
    QCOMPARE(prn->count("paintPicture"), 1);

    // The name is centred under the picture, a tenth of a line below it.
    const QVariantList picture = prn->calls()[prn->log().indexOf(QRegularExpression("paintPicture.*"))].args;
    const double left = picture[0].toDouble(), top = picture[1].toDouble();
    const double width = picture[2].toDouble(), height = picture[3].toDouble();
    QCOMPARE(prn->log("setCurrentX").first(), QString("setCurrentX %1").arg(left + (width - 11 * 70) / 2, 0, 'f', 1));
    QCOMPARE(prn->log("setCurrentY").first(), QString("setCurrentY %1").arg(top + height + 16.1, 0, 'f', 1));

    // Without names nothing but the pictures is drawn, and no text is measured.
    prn->clearCalls();
    s.get<QCheckBox>("chkPrintFileName")->setChecked(false);
    s.click("cmdPrint");
    QCOMPARE(prn->count("paintPicture"), 1);
    for (const char* op : { "printLine", "setCurrentX", "setCurrentY", "textHeight", "textWidth" })
        QCOMPARE(prn->count(op), 0);
}

void TestPrint::cancelDiscardsTheJob()
{
    WindowSession& s = open(20);
    s.tickFirst(20);
    {
        AtEveryYield cancel([&](int n) {
            if (n == 5)
                s.click("cmdCancel");
        });
        s.click("cmdPrint");
    }
    QCOMPARE(printer()->count("paintPicture"), 4); // the cells drawn before the poll
    QVERIFY(printer()->jobs().empty());
    QCOMPARE(printer()->discardedDocuments(), 1);
    QVERIFY(s.window->isVisible() && !s.state().bPrinting && !s.get("lbProgressBar")->isVisible());
    QVERIFY(s.enabled("cmdPrint") && s.enabled("cmdPresentation"));
    QCOMPARE(s.info(), QString("20 Datei(en) -  20 Datei(en) markiert - 1 Druckseiten"));

    // The close box during a job asks; Yes stops the job and the window stays.
    s.messages.answer = QMessageBox::Yes;
    AtEveryYield close([&](int n) {
        if (n == 3)
            s.window->close();
    });
    s.click("cmdPrint");
    QCOMPARE(s.messages.shown.size(), 1);
    QCOMPARE(printer()->discardedDocuments(), 2);
    QVERIFY(s.window->isVisible());
}

void TestPrint::printerErrorIsReported()
{
    WindowSession& s = open(5);
    s.tickFirst(5);
    const std::pair<const char*, const char*> failures[]
        = { { "paintPicture", "Papierstau" }, { "endDoc", "Warteschlange nimmt keine Auftr\u00e4ge an" } };
    for (const auto& [op, message] : failures) {
        s.messages.shown.clear();
        printer()->failAt(op, op == QLatin1String("endDoc") ? 1 : 3, QString::fromUtf8(message));
        s.click("cmdPrint");
        QVERIFY(printer()->jobs().empty());
        QCOMPARE(s.messages.shown.size(), 1);
        QCOMPARE(s.messages.shown[0].text, QString::fromUtf8(message));
        QCOMPARE(s.messages.shown[0].icon, QMessageBox::Critical);
        QCOMPARE(s.messages.shown[0].title, s.window->windowTitle());
        QVERIFY(!s.state().bPrinting && s.enabled("cmdPrint"));
    }
    QCOMPARE(printer()->count("killDoc"), 2);
}

void TestPrint::choiceOfPrinter()
{
    WindowSession& s = open(2, { "Testdrucker", "testdrucker", "Zweitdrucker" });
    s.tickFirst(2);
    s.get<QComboBox>("prnList")->setCurrentText("testdrucker");
    s.click("cmdPrint");
    QCOMPARE(printer("testdrucker")->jobs(), std::vector<int>({ 1 }));
    QVERIFY(printer("Testdrucker")->jobs().empty());
    QCOMPARE(m_printers->currentPrinterChanges(), QStringList({ "testdrucker", "Testdrucker" }));
}

void TestPrint::printersThatVanish()
{
    WindowSession& s = open(3, { "Testdrucker", "Zweitdrucker" });
    s.tickFirst(3);
    // The previous printer vanishes during the job: the chosen one stays current.
    s.get<QComboBox>("prnList")->setCurrentText("Zweitdrucker");
    {
        AtEveryYield removeFirst([&](int n) {
            if (n == 1)
                m_printers->setPrinterNames({ "Zweitdrucker" });
        });
        s.click("cmdPrint");
    }
    QCOMPARE(printer("Zweitdrucker")->jobs(), std::vector<int>({ 1 }));
    QCOMPARE(m_printers->current()->deviceName(), QString("Zweitdrucker"));
    QVERIFY(s.messages.shown.isEmpty());

    // The chosen printer is gone: no job starts, a message says so.
    m_printers->setPrinterNames({ "Anderer" });
    s.click("cmdPrint");
    QCOMPARE(s.messages.shown.size(), 1);
    QVERIFY(s.messages.shown[0].text.contains("Zweitdrucker"));
    QCOMPARE(printer("Zweitdrucker")->jobs().size(), size_t(1));
    QVERIFY(!s.state().bPrinting && s.enabled("cmdPrint"));
}

void TestPrint::gridAndButtonsHeldDuringTheJob()
{
    WindowSession& s = open(10);
    s.tickFirst(4);
    bool enabledDuringJob = false;
    AtEveryYield meddle([&](int n) {
        if (n == 2) {
            s.get<QLineEdit>("txtCols")->setText("0"); // a grid without cells
            s.tick(8);
        }
        enabledDuringJob = enabledDuringJob || s.enabled("cmdPrint") || s.enabled("cmdPresentation");
    });
    s.click("cmdPrint");
    QVERIFY(!enabledDuringJob);
    // The job keeps its 7 x 11 grid and sees the new tick; with no columns now, the button stays off.
    QCOMPARE(printer()->count("paintPicture"), 5);
    QCOMPARE(printer()->jobs(), std::vector<int>({ 1 }));
    QVERIFY(!s.enabled("cmdPrint"));
}

void TestPrint::sessionEndDiscardsTheJob()
{
    WindowSession& s = open(10);
    s.tickFirst(10);
    AtEveryYield endSession([&](int n) {
        if (n == 3)
            s.window->closeForSessionEnd();
    });
    s.click("cmdPrint");
    QVERIFY(printer()->jobs().empty());
    QCOMPARE(printer()->discardedDocuments(), 1);
    QVERIFY(!s.window->isVisible() && s.messages.shown.isEmpty());
    QVERIFY(QFile::exists(m_dir->path() + "/settings.ini"));
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
