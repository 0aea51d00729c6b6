// The main window as a user meets it: start-up, the file list, ticking, the grid boxes,
// the settings file and closing.
#include "catalogue/FolderList.h"

#include "Photos.h"
#include "RecordingPrinterService.h"
#include "TestFiles.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTreeWidget>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_f = std::make_unique<WindowFixture<RecordingPrinterService>>(); }
    void firstRun();
    void tickingAndButtons();
    void folderAndSubFolders();
    void settingsRoundTrip();
    void badStoredSettings();
    void closing();
    void enterOnFocusedButtons_data();
    void enterOnFocusedButtons();
    void fileLimitInTheStatusLine();

private:
    WindowSession& open(const QStringList& printers = { "Testdrucker", "testdrucker", "PDF-Datei" })
    {
        return m_f->open(printers);
    }
    QString stored(const QString& key) const
    {
        return QSettings(m_f->settings, QSettings::IniFormat).value("Settings/" + key).toString();
    }
    void files(int count) const
    {
        for (int i = 0; i < count; ++i)
            touch(m_f->photos, QString("f%1.jpg").arg(i, 3, 10, QChar('0')));
    }

    std::unique_ptr<WindowFixture<RecordingPrinterService>> m_f;
};

void TestMainWindow::firstRun()
{
    files(2);
    WindowSession* s = &open();
    QVERIFY(s->window->windowTitle().startsWith("Kachelbrett 1.00.0000"));
    QCOMPARE(s->get<QLineEdit>("txtRows")->text(), QString("11"));
    QCOMPARE(s->get<QLineEdit>("txtCols")->text(), QString("7"));
    QVERIFY(s->get<QCheckBox>("chkPrintFileName")->isChecked() && s->get<QCheckBox>("chkPreview")->isChecked()
        && !s->get<QCheckBox>("chkSubDir")->isChecked());
    QCOMPARE(s->get<FolderList>("dirList")->path(), m_f->photos);
    QCOMPARE(s->info(), QString("2 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s->enabled("cmdPrint") && !s->enabled("cmdPresentation"));
    QVERIFY(!s->get("lbProgressBar")->isVisible());
    // Every printer is listed; only the exact name of the current one is chosen.
    QCOMPARE(s->get<QComboBox>("prnList")->count(), 3);
    QCOMPARE(s->get<QComboBox>("prnList")->currentIndex(), 0);
    s = &m_f->open(QStringList { "testdrucker", "Laser" }, "Testdrucker"); // not installed
    QCOMPARE(s->get<QComboBox>("prnList")->currentIndex(), -1);
    QCOMPARE(s->get<QComboBox>("prnList")->placeholderText(), QString("Drucker"));
    const std::pair<const char*, const char*> accessible[] = { { "driveList", "Laufwerk" }, { "dirList", "Ordner" },
        { "fileList", "Bilddateien" }, { "picBox", "Vorschau" }, { "lbProgressBar", "Fortschritt" } };
    for (const auto& [control, name] : accessible)
        QCOMPARE(s->get(control)->accessibleName(), QString(name));
}

void TestMainWindow::tickingAndButtons()
{
    files(30);
    WindowSession& s = open();
    s.tick(5);
    QCOMPARE(s.info(), QString("30 Datei(en) -  1 Datei(en) markiert - 1 Druckseiten"));
    QVERIFY(s.enabled("cmdPrint") && s.enabled("cmdPresentation"));
    s.click("cmdSelect");
    QCOMPARE(s.info(), QString("30 Datei(en) -  30 Datei(en) markiert - 1 Druckseiten"));
    QVERIFY(!s.state().bBulkSelect && s.list()->item(29)->checkState() == Qt::Checked);
    s.click("cmdDeselect");
    QCOMPARE(s.info(), QString("30 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s.enabled("cmdPrint") && !s.enabled("cmdPresentation"));

    // The grid boxes take digits only; a grid without cells never enables the buttons.
    s.tickFirst(13);
    auto* cols = s.get<QLineEdit>("txtCols");
    auto* rows = s.get<QLineEdit>("txtRows");
    cols->setFocus();
    cols->end(false);
    QTest::keyClick(cols, Qt::Key_Backspace); // the last digit
    QCOMPARE(cols->text(), QString("0"));
    QCOMPARE(s.state().nCols, 0);
    QVERIFY(s.info().endsWith(" 0 Druckseiten") && !s.enabled("cmdPrint") && !s.enabled("cmdPresentation"));
    s.click("cmdSelect");
    QVERIFY(!s.enabled("cmdPrint"));
    for (const char* typed : { "x", "-" }) {
        rows->selectAll();
        QTest::keyClicks(rows, typed);
        QCOMPARE(rows->text(), QString("0"));
    }
    QTest::keyClicks(rows, "5"); // the "0" is selected: a digit replaces it
    QCOMPARE(s.state().nRows, 5);
    cols->selectAll();
    cols->insert("-3"); // pasted
    QCOMPARE(s.state().nCols, -3);
    QVERIFY(!s.enabled("cmdPrint"));
    // Typing 1 then 2 refreshes the status line for 1 row, then for 12.
    cols->setText("1");
    rows->selectAll();
    QTest::keyClicks(rows, "1");
    QVERIFY(s.info().endsWith("30 Datei(en) markiert - 30 Druckseiten"));
    QTest::keyClicks(rows, "2");
    QVERIFY(s.info().endsWith("30 Datei(en) markiert - 3 Druckseiten"));
}

void TestMainWindow::folderAndSubFolders()
{
    const QString photos = m_f->photos, empty = m_f->dir.filePath("Leer");
    touch(photos, "oben.jpg");
    touch(photos, "Urlaub/unten.jpg");
    QDir().mkpath(photos + "/.versteckt");
    QDir().mkpath(empty);
    WindowSession& s = open();
    auto* folders = s.get<FolderList>("dirList");
    QTreeWidgetItem* current = folders->currentItem();
    QCOMPARE(current->text(0), QString("Fotos"));
    QCOMPARE(current->childCount(), 1);
    QVERIFY(!folders->visualItemRect(current->child(0)).isEmpty());

    s.tick(0);
    s.get<QCheckBox>("chkSubDir")->setChecked(true);
    QCOMPARE(s.list()->count(), 2);
    QCOMPARE(s.state().aFiles[0], photos + "/Urlaub/unten.jpg");
    QCOMPARE(s.list()->item(1)->checkState(), Qt::Unchecked); // ticks never survive a rebuild
    s.get<QCheckBox>("chkSubDir")->setChecked(false);

    // Enter opens a folder; an empty one disables tick-all and untick-all.
    folders->setCurrentItem(current->child(0));
    QTest::keyClick(folders, Qt::Key_Return);
    QCOMPARE(folders->path(), photos + "/Urlaub");
    QCOMPARE(s.list()->count(), 1);
    QVERIFY(folders->setPath(empty));
    QCOMPARE(s.info(), QString("0 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s.enabled("cmdSelect") && !s.enabled("cmdDeselect"));
}

void TestMainWindow::settingsRoundTrip()
{
    const QString elsewhere = m_f->dir.filePath("Anderswo");
    QDir().mkpath(elsewhere);
    WindowSession* s = &open();
    s->get<QLineEdit>("txtCols")->clear();
    s->get<QLineEdit>("txtRows")->setText("4");
    s->get<QCheckBox>("chkPrintFileName")->setChecked(false);
    QVERIFY(!s->state().bPrintFileName);
    s->get<QCheckBox>("chkSubDir")->setChecked(true);
    QVERIFY(s->get<FolderList>("dirList")->setPath(elsewhere));
    QVERIFY(QTest::qWaitForWindowActive(s->window.get()));
    QTest::keyClick(s->window.get(), Qt::Key_Escape); // closes, as Abbrechen does
    QVERIFY(!s->window->isVisible());
    QCOMPARE(stored("Cols"), QString("0"));
    QCOMPARE(stored("Rows"), QString("4"));
    QCOMPARE(stored("LastFolder"), elsewhere);

    s = &open();
    QCOMPARE(s->get<QLineEdit>("txtCols")->text(), QString("0"));
    QCOMPARE(s->state().nRows, 4);
    QCOMPARE(s->get<FolderList>("dirList")->path(), elsewhere);
    // The options are not stored.
    QVERIFY(s->get<QCheckBox>("chkPrintFileName")->isChecked() && !s->get<QCheckBox>("chkSubDir")->isChecked());
}

void TestMainWindow::badStoredSettings()
{
    touch(m_f->photos, "da.jpg");
    touch(QFileInfo(m_f->settings).path(), "Rasterblatt.ini",
        "[Settings]\nRows=viele\nCols=3\nLastFolder=/gibt/es/nicht\n\x01\xff\xfe garbage ===\n");
    WindowSession* s = &open();
    QCOMPARE(s->state().nRows, 11);
    QCOMPARE(s->state().nCols, 3);
    QCOMPARE(s->get<FolderList>("dirList")->path(), m_f->photos); // the start folder
    QCOMPARE(s->list()->count(), 1);
    // Rewriting a file that could not be parsed is no failure to report.
    QTest::failOnWarning(QRegularExpression("could not save"));
    s->window->close();
    QCOMPARE(stored("Rows"), QString("11"));

    // A start folder that is gone gives way to the home folder; an empty folder is never kept.
    QFile::remove(m_f->settings);
    QVERIFY(QDir(m_f->photos).removeRecursively());
    QCOMPARE(open().get<FolderList>("dirList")->path(), QDir::homePath());
    m_f->session->window->close();
    QCOMPARE(stored("LastFolder"), QDir::homePath());

    // A settings file that cannot be written does not keep the window open.
    touch(m_f->dir.path(), "blocker");
    m_f->settings = m_f->dir.filePath("blocker/Rasterblatt.ini");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not save"));
    QVERIFY(open().window->close());
}

void TestMainWindow::closing()
{
    // While a job runs the close box asks, and never closes; Yes asks the job to stop.
    WindowSession* s = &open();
    s->state().bPrinting = true;
    for (const auto answer : { QMessageBox::No, QMessageBox::Yes }) {
        s->messages.answer = answer;
        QVERIFY(!s->window->close());
        QCOMPARE(s->state().bAbort, answer == QMessageBox::Yes);
    }
    const auto& asked = s->messages.shown;
    QVERIFY(asked.size() == 2 && asked[0].title == s->window->windowTitle());
    QCOMPARE(asked[0].text, QString("M\u00f6chten Sie den Druck abbrechen?"));
    QCOMPARE(asked[0].buttons, QMessageBox::Yes | QMessageBox::No);
}

void TestMainWindow::enterOnFocusedButtons_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("prints");
    for (const char* button : { "cmdSelect", "cmdDeselect", "cmdPreview", "cmdPresentation", "cmdCancel" })
        QTest::newRow(button) << button << false;
    QTest::newRow("the file list") << "fileList" << true;
    QTest::newRow("a grid box") << "txtCols" << true;
}

void TestMainWindow::enterOnFocusedButtons()
{
    QFETCH(QString, focus);
    QFETCH(bool, prints);
    writePhotos(m_f->photos, 3);
    WindowSession& s = open();
    s.tickFirst(3);
    s.list()->setCurrentRow(0);
    s.state().sngSlideSeconds = 0.01f;
    auto* widget = s.get(qPrintable(focus));
    QSignalSpy clicked(widget, SIGNAL(clicked()));
    // A viewer that opens takes the keys at once; Escape closes it.
    QString active;
    AtEveryYield viewerWatch(
        [&](int) {
            if (QWidget* viewer = QApplication::activeWindow(); viewer && viewer->objectName() == "frmImage") {
                active = viewer->objectName();
                QTest::keyClick(viewer, Qt::Key_Escape);
            }
        },
        50);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Return);

    QCOMPARE(m_f->printers->printer("Testdrucker")->jobs().size(), size_t(prints ? 1 : 0));
    if (!prints)
        QCOMPARE(clicked.count(), 1);
    if (focus == "cmdPreview")
        QCOMPARE(active, QString("frmImage"));
    QCOMPARE(s.window->isVisible(), focus != "cmdCancel");
}

void TestMainWindow::fileLimitInTheStatusLine()
{
    for (int i = 0; i < 32701; ++i)
        touch(m_f->photos + QString("/d%1").arg(i / 2973, 2, 10, QChar('0')),
            QString("%1.jpg").arg(i % 2973, 4, 10, QChar('0')));
    WindowSession& s = open();
    s.get<QCheckBox>("chkSubDir")->setChecked(true);
    QCOMPARE(s.list()->count(), 32700);
    QCOMPARE(s.info(), QString("32700 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(s.enabled("cmdSelect"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
