// The print job through the recording printer: page loop, thumbnail cells, progress bar,
// cancelling, printer errors and the choice of printer.
#include "app/MainWindow.h"
#include "render/PictureBox.h"

#include "FakeMessageBoxes.h"
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace rasterblatt;

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
    void cleanup();
    void twoPagesFor78Files();
    void trailingEmptyPagePrintsNothing_data();
    void trailingEmptyPagePrintsNothing();
    void progressBar();
    void namesUnderThePictures();
    void noNamesTouchNoText();
    void cancelDiscardsTheJob();
    void printerErrorIsReported();
    void choiceOfPrinter();
    void noMatchingPrinter();
    void previousPrinterVanished();
    void gridAndButtonsHeldDuringTheJob();
    void sessionEndDiscardsTheJob();

private:
    void makeFiles(int count);
    void makeWindow(const QStringList& printers = { "Testdrucker", "Zweitdrucker", "PDF-Datei" });
    void tick(std::initializer_list<int> entries);
    void tickFirst(int count);
    template <typename T> T* get(const char* name) const { return m_window->findChild<T*>(QLatin1String(name)); }
    RecordingPrinter* printer(const char* name) const { return m_printers->printer(QLatin1String(name)); }
    QList<QVariantList> paints(const char* printerName = "Testdrucker") const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_photos;
    std::unique_ptr<RecordingPrinterService> m_printers;
    FakeMessageBoxes m_messages;
    std::unique_ptr<MainWindow> m_window;
};

void TestPrint::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_photos = m_dir->path() + "/Fotos";
    QDir().mkpath(m_photos);
    m_messages = FakeMessageBoxes();
}

void TestPrint::cleanup()
{
    m_window.reset();
    m_printers.reset();
}

void TestPrint::makeFiles(int count)
{
    for (int i = 0; i < count; ++i) {
        const QImage image = fixtures::filled(QSize(80, 60), QColor::fromHsv((i * 37) % 360, 200, 220));
        fixtures::writeFile(
            m_photos + QString("/bild%1.jpg").arg(i, 3, 10, QChar('0')), fixtures::encode(image, "JPEG"));
    }
}

void TestPrint::makeWindow(const QStringList& printers)
{
    m_printers = std::make_unique<RecordingPrinterService>(printers, printers.first());
    m_window = std::make_unique<MainWindow>(*m_printers, m_messages, m_dir->path() + "/settings.ini", m_photos);
    m_window->show();
}

void TestPrint::tick(std::initializer_list<int> entries)
{
    for (int i : entries)
        get<QListWidget>("fileList")->item(i)->setCheckState(Qt::Checked);
}

void TestPrint::tickFirst(int count)
{
    for (int i = 0; i < count; ++i)
        get<QListWidget>("fileList")->item(i)->setCheckState(Qt::Checked);
}

QList<QVariantList> TestPrint::paints(const char* printerName) const
{
    QList<QVariantList> result;
    for (const PrinterCall& call : printer(printerName)->calls()) {
        if (call.op == "paintPicture")
            result.append(call.args);
    }
    return result;
}

void TestPrint::twoPagesFor78Files()
{
    makeFiles(80);
    makeWindow();
    tickFirst(78);
    get<QPushButton>("cmdPrint")->click();

    RecordingPrinter* prn = printer("Testdrucker");
    QCOMPARE(prn->fontName(), QString("Arial"));
    QCOMPARE(prn->fontSize(), 7.0);
    QCOMPARE(prn->count("paintPicture"), 78);
    QCOMPARE(prn->count("newPage"), 1);
    QCOMPARE(prn->jobs(), std::vector<int>({ 2 }));
    QCOMPARE(prn->discardedDocuments(), 0);

    // The first cell sits 10 mm and 5 mm from the origin; cells run along the rows.
    const auto log = prn->log();
    const qsizetype pageBreak = log.indexOf("newPage");
    QCOMPARE(log.mid(0, pageBreak).filter("paintPicture").size(), 77);
    const QList<QVariantList> cells = paints();
    const double cellWidth = (11906 - 2000 * 1440.0 / 2540) / 7;
    QVERIFY(qAbs(cells[1][0].toDouble() - cells[0][0].toDouble() - cellWidth) < 0.1);
    QVERIFY(cells[0][0].toDouble() >= 566.9 - 0.1);
    QVERIFY(cells[0][1].toDouble() >= 283.4);
    QCOMPARE(cells[77][0].toDouble(), cells[0][0].toDouble()); // top-left of page 2
    QCOMPARE(cells[77][1].toDouble(), cells[0][1].toDouble());

    // Thumbnails are the preview pane's image: at least 300 dpi in the cell.
    const QSize pixels = cells[0][4].toSize();
    QVERIFY(pixels.width() / (cells[0][2].toDouble() / 1440) >= 300);

    // Afterwards: the window as before the job.
    QVERIFY(!m_window->state().bPrinting);
    QVERIFY(!get<QWidget>("lbProgressBar")->isVisible());
    QCOMPARE(get<QLabel>("lbInfo")->text(), QString("80 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten"));
    QVERIFY(get<QPushButton>("cmdPrint")->isEnabled());
    QVERIFY(m_messages.shown.isEmpty());
}

void TestPrint::trailingEmptyPagePrintsNothing_data()
{
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<int>("pageBreaks");
    QTest::addColumn<int>("sheets");
    QTest::newRow("0 and 5") << QList<int> { 0, 5 } << 1 << 1;
    QTest::newRow("0, 5 and 6") << QList<int> { 0, 5, 6 } << 1 << 2;
}

void TestPrint::trailingEmptyPagePrintsNothing()
{
    QFETCH(QList<int>, ticked);
    QFETCH(int, pageBreaks);
    QFETCH(int, sheets);
    makeFiles(10);
    makeWindow();
    get<QLineEdit>("txtCols")->setText("2");
    get<QLineEdit>("txtRows")->setText("1");
    for (int i : ticked)
        tick({ i });
    get<QPushButton>("cmdPrint")->click();
    RecordingPrinter* prn = printer("Testdrucker");
    QCOMPARE(prn->count("newPage"), pageBreaks);
    QCOMPARE(prn->jobs(), std::vector<int>({ sheets }));
    const QStringList names = prn->log("printLine");
    QCOMPARE(names.size(), ticked.size());
    for (int i = 0; i < ticked.size(); ++i)
        QCOMPARE(names[i], QString("printLine \"bild%1.jpg\"").arg(ticked[i], 3, 10, QChar('0')));
}

void TestPrint::progressBar()
{
    makeFiles(78);
    makeWindow();
    tickFirst(78);
    auto* bar = get<QLabel>("lbProgressBar");
    auto* info = get<QLabel>("lbInfo");
    QList<int> widths;
    QList<bool> visible;
    QStringList infoTexts;
    AtEveryYield watch([&](int) {
        widths.append(bar->width());
        visible.append(bar->isVisible());
        infoTexts.append(info->text());
    });
    get<QPushButton>("cmdPrint")->click();

    // Seen at the yield before each cell: the width after the cell before it.
    const auto px = [this](double twips) { return qRound(twips * m_window->logicalDpiX() / 1440.0); };
    QVERIFY(widths.size() >= 78);
    QVERIFY(!visible[0]);
    QCOMPARE(widths[1], px(4995.0 * 1 / 78));
    QCOMPARE(widths[39], px(4995.0 * 39 / 78));
    QCOMPARE(widths.last(), px(4995));
    QVERIFY(visible.last());
    QVERIFY(infoTexts.last().isEmpty()); // the status line is blank while the job runs
}

void TestPrint::namesUnderThePictures()
{
    makeFiles(3);
    makeWindow();
    tickFirst(3);
    // Paths as the job meets them: an ordinary one, one without any "/", one ending in "/".
    m_window->state().aFiles[1] = "urlaub.jpg";
    m_window->state().aFiles[2] = m_photos + "/Bilder/";
    get<QPushButton>("cmdPrint")->click();

    RecordingPrinter* prn = printer("Testdrucker");
    QCOMPARE(prn->log("printLine"),
        (QStringList { "printLine \"bild000.jpg\"", "printLine \"urlaub.jpg\"", "printLine \"\"" }));
    // Files that cannot be loaded print their name alone, never the previous picture.
    QCOMPARE(prn->count("paintPicture"), 1);

    // The name is centred under the picture, a tenth of a line below it.
    const QVariantList picture = paints().first();
    const double left = picture[0].toDouble(), top = picture[1].toDouble();
    const double width = picture[2].toDouble(), height = picture[3].toDouble();
    const QStringList x = prn->log("setCurrentX");
    const QStringList y = prn->log("setCurrentY");
    const double nameWidth = 11 * 70; // "bild000.jpg"
    QCOMPARE(x.first(), QString("setCurrentX %1").arg(left + (width - nameWidth) / 2, 0, 'f', 1));
    QCOMPARE(y.first(), QString("setCurrentY %1").arg(top + height + 16.1, 0, 'f', 1));
}

void TestPrint::noNamesTouchNoText()
{
    makeFiles(2);
    makeWindow();
    tickFirst(2);
    get<QCheckBox>("chkPrintFileName")->setChecked(false);
    get<QPushButton>("cmdPrint")->click();
    RecordingPrinter* prn = printer("Testdrucker");
    QCOMPARE(prn->count("paintPicture"), 2);
    for (const char* op : { "printLine", "setCurrentX", "setCurrentY", "textHeight", "textWidth" })
        QCOMPARE(prn->count(op), 0);
}

void TestPrint::cancelDiscardsTheJob()
{
    makeFiles(20);
    makeWindow();
    tickFirst(20);
    AtEveryYield cancelAtFifth([this](int n) {
        if (n == 5)
            get<QPushButton>("cmdCancel")->click();
    });
    get<QPushButton>("cmdPrint")->click();

    RecordingPrinter* prn = printer("Testdrucker");
    QCOMPARE(prn->count("paintPicture"), 4); // the cells drawn before the poll
    QVERIFY(prn->jobs().empty());
    QCOMPARE(prn->discardedDocuments(), 1);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->state().bPrinting);
    QVERIFY(!get<QWidget>("lbProgressBar")->isVisible());
    QVERIFY(get<QPushButton>("cmdPrint")->isEnabled());
    QVERIFY(get<QPushButton>("cmdPresentation")->isEnabled());
    QCOMPARE(get<QLabel>("lbInfo")->text(), QString("20 Datei(en) -  20 Datei(en) markiert - 1 Druckseiten"));
    QVERIFY(m_messages.shown.isEmpty());

    // The close box during a job asks; Yes stops the job and the window stays.
    m_messages.answer = QMessageBox::Yes;
    AtEveryYield closeAtThird([this](int n) {
        if (n == 3)
            m_window->close();
    });
    get<QPushButton>("cmdPrint")->click();
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(prn->discardedDocuments(), 2);
    QVERIFY(m_window->isVisible());
}

void TestPrint::printerErrorIsReported()
{
    makeFiles(5);
    makeWindow();
    tickFirst(5);
    RecordingPrinter* prn = printer("Testdrucker");
    prn->failAt("paintPicture", 3, "Papierstau");
    get<QPushButton>("cmdPrint")->click();
    QVERIFY(prn->jobs().empty());
    QCOMPARE(prn->count("killDoc"), 1);
    QCOMPARE(m_messages.shown.size(), 1);
    QCOMPARE(m_messages.shown[0].text, QString("Papierstau"));
    QCOMPARE(m_messages.shown[0].icon, QMessageBox::Critical);
    QCOMPARE(m_messages.shown[0].title, m_window->windowTitle());
    QVERIFY(!m_window->state().bPrinting);
    QVERIFY(get<QPushButton>("cmdPrint")->isEnabled());

    // An error while ending the document is reported the same way.
    prn->failAt("endDoc", 1, "Warteschlange nimmt keine Auftr\u00e4ge an");
    get<QPushButton>("cmdPrint")->click();
    QVERIFY(prn->jobs().empty());
    QCOMPARE(m_messages.shown.size(), 2);
    QCOMPARE(m_messages.shown[1].text, QString("Warteschlange nimmt keine Auftr\u00e4ge an"));
}

void TestPrint::choiceOfPrinter()
{
    makeFiles(2);
    makeWindow({ "Testdrucker", "testdrucker", "Zweitdrucker" });
    tickFirst(2);
    get<QComboBox>("prnList")->setCurrentText("testdrucker");
    get<QPushButton>("cmdPrint")->click();
    QCOMPARE(printer("testdrucker")->jobs(), std::vector<int>({ 1 }));
    QVERIFY(printer("Testdrucker")->jobs().empty());
    QCOMPARE(m_printers->currentPrinterChanges(), (QStringList { "testdrucker", "Testdrucker" }));
    QCOMPARE(m_printers->current()->deviceName(), QString("Testdrucker"));
}

void TestPrint::noMatchingPrinter()
{
    makeFiles(2);
    makeWindow({ "Testdrucker" });
    tickFirst(2);
    m_printers->setPrinterNames({ "Anderer" }); // the queue was deleted after start-up
    get<QPushButton>("cmdPrint")->click();
    QCOMPARE(m_messages.shown.size(), 1);
    QVERIFY(m_messages.shown[0].text.contains("Testdrucker"));
    QVERIFY(printer("Testdrucker")->calls().empty());
    QVERIFY(!m_window->state().bPrinting);
    QVERIFY(get<QPushButton>("cmdPrint")->isEnabled());
}

void TestPrint::previousPrinterVanished()
{
    makeFiles(3);
    makeWindow({ "Testdrucker", "Zweitdrucker" });
    tickFirst(3);
    get<QComboBox>("prnList")->setCurrentText("Zweitdrucker");
    AtEveryYield removeFirst([this](int n) {
        if (n == 1)
            m_printers->setPrinterNames({ "Zweitdrucker" });
    });
    get<QPushButton>("cmdPrint")->click();
    QCOMPARE(printer("Zweitdrucker")->jobs(), std::vector<int>({ 1 }));
    QCOMPARE(m_printers->current()->deviceName(), QString("Zweitdrucker"));
    QVERIFY(m_messages.shown.isEmpty());
    QVERIFY(get<QPushButton>("cmdPrint")->isEnabled());
}

void TestPrint::gridAndButtonsHeldDuringTheJob()
{
    makeFiles(10);
    makeWindow();
    tickFirst(4);
    bool enabledDuringJob = false;
    AtEveryYield meddle([&](int n) {
        if (n == 2) {
            get<QLineEdit>("txtCols")->setText("0"); // a grid without cells
            get<QListWidget>("fileList")->item(8)->setCheckState(Qt::Checked);
        }
        enabledDuringJob = enabledDuringJob || get<QPushButton>("cmdPrint")->isEnabled()
            || get<QPushButton>("cmdPresentation")->isEnabled();
    });
    get<QPushButton>("cmdPrint")->click();
    QVERIFY(!enabledDuringJob);
    // The job keeps its 7 x 11 grid and sees the new tick.
    RecordingPrinter* prn = printer("Testdrucker");
    QCOMPARE(prn->count("paintPicture"), 5);
    QCOMPARE(prn->count("newPage"), 0);
    QCOMPARE(prn->jobs(), std::vector<int>({ 1 }));
    // With no columns now, the button stays off after the job.
    QVERIFY(!get<QPushButton>("cmdPrint")->isEnabled());
}

void TestPrint::sessionEndDiscardsTheJob()
{
    makeFiles(10);
    makeWindow();
    tickFirst(10);
    AtEveryYield endSession([this](int n) {
        if (n == 3)
            m_window->closeForSessionEnd();
    });
    get<QPushButton>("cmdPrint")->click();
    RecordingPrinter* prn = printer("Testdrucker");
    QVERIFY(prn->jobs().empty());
    QCOMPARE(prn->discardedDocuments(), 1);
    QVERIFY(!m_window->isVisible());
    QVERIFY(m_messages.shown.isEmpty());
    QVERIFY(QFile::exists(m_dir->path() + "/settings.ini"));
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
