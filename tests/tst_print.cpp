// The print command in the window, through the recording printer: one job with its progress
// bar and preview, cancelling, printer errors and the choice of printer. The page loop itself
// is tested on the print engine.
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "render/PictureBox.h"

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
    QList<int> widths;
    QString info = "-";
    AtEveryYield watch([&](int) {
        if (s.get("lbProgressBar")->isVisible())
            widths.append(s.get("lbProgressBar")->width());
        info = s.info();
    });
    s.click("cmdPrint");

    RecordingPrinter* prn = printer();
    QCOMPARE(prn->count("paintPicture"), 78);
    QCOMPARE(prn->jobs(), std::vector<int>({ 2 }));
    // The bar grows inside the status line, which stays blank while the job runs.
    QCOMPARE(widths.first(), qRound(4995.0 / 78 / 15));
    QCOMPARE(s.get("lbProgressBar")->width(), qRound(4995.0 / 15)); // full as the last cell starts
    QVERIFY(info.isEmpty());
    // The pane shows the last printed picture.
    QCOMPARE(s.get<PictureBox>("picBox")->ToolTipText(), s.state().aFiles[77]);

    // Afterwards the window is as before the job.
    QVERIFY(!s.state().bPrinting && !s.get("lbProgressBar")->isVisible());
    QCOMPARE(s.info(), QString("80 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten"));
    QVERIFY(s.enabled("cmdPrint") && s.messages.shown.isEmpty());
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
    QVERIFY(printer()->count("paintPicture") < 20);
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
    // The job keeps its 7 x 11 grid and its files; with no columns now, the button stays off.
    QCOMPARE(printer()->count("paintPicture"), 4);
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
