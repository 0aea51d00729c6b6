// The main window as a user meets it: start-up, the file list, ticking, the grid boxes,
// the settings file and closing.
#include "catalogue/FolderList.h"

#include "ImageFixtures.h"
#include "RecordingPrinterService.h"
#include "TestFiles.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstRun();
    void statusLineAndButtons();
    void gridBoxes();
    void gridBelowOneNeverEnablesPrinting();
    void folderAndSubFolders();
    void settingsRoundTrip();
    void badStoredSettings();
    void closing();
    void enterOnFocusedButtons_data();
    void enterOnFocusedButtons();
    void fileLimitInTheStatusLine();

private:
    WindowSession* open(const QStringList& printerNames = { "Testdrucker", "testdrucker", "PDF-Datei" });
    QString stored(const QString& key) const
    {
        return QSettings(m_settings, QSettings::IniFormat).value("Settings/" + key).toString();
    }
    void files(int count) const
    {
        for (int i = 0; i < count; ++i)
            touch(m_photos, QString("f%1.jpg").arg(i, 3, 10, QChar('0')));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    QString m_photos;
    std::unique_ptr<RecordingPrinterService> m_printers;
    std::unique_ptr<WindowSession> m_session;
};

void TestMainWindow::init()
{
    m_session.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = m_dir->path() + "/config/Rasterblatt.ini";
    m_photos = m_dir->path() + "/Fotos";
    QDir().mkpath(m_photos);
}

WindowSession* TestMainWindow::open(const QStringList& printerNames)
{
    m_session.reset();
    m_printers = std::make_unique<RecordingPrinterService>(printerNames, "Testdrucker");
    m_session = std::make_unique<WindowSession>(*m_printers, m_settings, m_photos);
    m_session->window->show();
    return m_session.get();
}

void TestMainWindow::firstRun()
{
    files(2);
    WindowSession* s = open();
    QVERIFY(s->window->windowTitle().startsWith("Kachelbrett 1.00.0000"));
    QCOMPARE(s->get<QLineEdit>("txtRows")->text(), QString("11"));
    QCOMPARE(s->get<QLineEdit>("txtCols")->text(), QString("7"));
    QVERIFY(s->get<QCheckBox>("chkPrintFileName")->isChecked());
    QVERIFY(s->get<QCheckBox>("chkPreview")->isChecked());
    QVERIFY(!s->get<QCheckBox>("chkSubDir")->isChecked());
    QCOMPARE(s->get<FolderList>("dirList")->path(), m_photos);
    QCOMPARE(s->info(), QString("2 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s->enabled("cmdPrint") && !s->enabled("cmdPresentation"));
    QVERIFY(!s->get("picPrint")->isVisible() && !s->get("lbProgressBar")->isVisible());

    // Every printer is listed; only the exact name of the current one is chosen.
    auto* printers = s->get<QComboBox>("prnList");
    QCOMPARE(printers->count(), 3);
    QCOMPARE(printers->currentIndex(), 0);
    QCOMPARE(open({ "testdrucker", "Laser" })->get<QComboBox>("prnList")->currentIndex(), -1);
    QCOMPARE(m_session->get<QComboBox>("prnList")->placeholderText(), QString("Drucker"));
    const std::pair<const char*, const char*> accessible[] = { { "driveList", "Laufwerk" }, { "dirList", "Ordner" },
        { "fileList", "Bilddateien" }, { "picBox", "Vorschau" }, { "lbProgressBar", "Fortschritt" } };
    for (const auto& [control, name] : accessible)
        QCOMPARE(m_session->get(control)->accessibleName(), QString(name));

    // The bar lies 30 twips inside the status line.
    const QRect info = m_session->get("lbInfo")->geometry();
    const QRect bar = m_session->get("lbProgressBar")->geometry();
    QCOMPARE(bar.topLeft(), info.topLeft() + QPoint(2, 2));
    QCOMPARE(info.width() - bar.width(), 4);
}

void TestMainWindow::statusLineAndButtons()
{
    files(120);
    WindowSession* s = open();
    s->tickFirst(77);
    QCOMPARE(s->info(), QString("120 Datei(en) -  77 Datei(en) markiert - 1 Druckseiten"));
    s->tick(77);
    QCOMPARE(s->info(), QString("120 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten"));
    QVERIFY(s->enabled("cmdPrint") && s->enabled("cmdPresentation"));

    s->click("cmdDeselect");
    QCOMPARE(s->info(), QString("120 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s->enabled("cmdPrint") && !s->enabled("cmdPresentation"));
    s->click("cmdSelect");
    QCOMPARE(s->info(), QString("120 Datei(en) -  120 Datei(en) markiert - 2 Druckseiten"));
    QVERIFY(!s->state().bBulkSelect);
    QCOMPARE(s->list()->item(119)->checkState(), Qt::Checked);

    // Unticking the last ticked entry disables both buttons at once.
    s->click("cmdDeselect");
    s->tick(5);
    QVERIFY(s->enabled("cmdPresentation"));
    s->tick(5, false);
    QVERIFY(!s->enabled("cmdPrint") && !s->enabled("cmdPresentation"));
}

void TestMainWindow::gridBoxes()
{
    files(30);
    WindowSession* s = open();
    s->tickFirst(13);
    auto* cols = s->get<QLineEdit>("txtCols");
    auto* rows = s->get<QLineEdit>("txtRows");

    cols->setFocus();
    cols->end(false);
    QTest::keyClick(cols, Qt::Key_Backspace); // the last digit
    QCOMPARE(cols->text(), QString("0"));
    QCOMPARE(s->state().nCols, 0);
    QVERIFY(s->info().endsWith(" 0 Druckseiten"));

    for (const char* typed : { "x", "-" }) {
        rows->selectAll();
        QTest::keyClicks(rows, typed);
        QCOMPARE(rows->text(), QString("0"));
        QCOMPARE(s->state().nRows, 0);
    }
    QTest::keyClicks(rows, "5"); // the "0" is selected: a digit replaces it
    QCOMPARE(rows->text(), QString("5"));
    cols->selectAll();
    cols->insert("-3"); // pasted
    QCOMPARE(s->state().nCols, -3);

    // Typing 1 then 2 refreshes the status line for 1 row, then for 12.
    cols->setText("1");
    rows->selectAll();
    QTest::keyClicks(rows, "1");
    QVERIFY(s->info().endsWith("13 Datei(en) markiert - 13 Druckseiten"));
    QTest::keyClicks(rows, "2");
    QCOMPARE(s->state().nRows, 12);
    QVERIFY(s->info().endsWith("13 Datei(en) markiert - 2 Druckseiten"));

    const QString before = s->info();
    s->get<QCheckBox>("chkPrintFileName")->setChecked(false);
    QVERIFY(!s->state().bPrintFileName);
    QCOMPARE(s->info(), before);
}

void TestMainWindow::gridBelowOneNeverEnablesPrinting()
{
    files(10);
    WindowSession* s = open();
    for (const char* grid : { "0", "-3" }) {
        s->get<QLineEdit>("txtCols")->setText(QString::fromLatin1(grid));
        s->get<QLineEdit>("txtRows")->setText("-2");
        s->tickFirst(5);
        QCOMPARE(s->info(), QString("10 Datei(en) -  5 Datei(en) markiert - 0 Druckseiten"));
        s->tick(6);
        QVERIFY(!s->enabled("cmdPrint") && !s->enabled("cmdPresentation"));
        s->click("cmdSelect");
        QVERIFY(!s->enabled("cmdPrint"));
        s->click("cmdDeselect");
    }
}

void TestMainWindow::folderAndSubFolders()
{
    touch(m_photos, "oben.jpg");
    touch(m_photos, "Urlaub/unten.jpg");
    QDir().mkpath(m_photos + "/.versteckt");
    QDir().mkpath(m_dir->path() + "/Leer");
    WindowSession* s = open();
    auto* folders = s->get<FolderList>("dirList");
    QTreeWidgetItem* current = folders->currentItem();
    QCOMPARE(current->text(0), QString("Fotos"));
    QCOMPARE(current->childCount(), 1);
    QVERIFY(!folders->visualItemRect(current->child(0)).isEmpty());

    s->tick(0);
    s->get<QCheckBox>("chkSubDir")->setChecked(true);
    QCOMPARE(s->list()->count(), 2);
    QCOMPARE(s->state().aFiles[0], m_photos + "/Urlaub/unten.jpg");
    QCOMPARE(s->list()->item(1)->checkState(), Qt::Unchecked); // ticks never survive a rebuild
    s->get<QCheckBox>("chkSubDir")->setChecked(false);

    // Enter opens a folder; an empty one disables tick-all and untick-all.
    folders->setCurrentItem(current->child(0));
    QTest::keyClick(folders, Qt::Key_Return);
    QCOMPARE(folders->path(), m_photos + "/Urlaub");
    QCOMPARE(s->list()->count(), 1);
    QVERIFY(folders->setPath(m_dir->path() + "/Leer"));
    QCOMPARE(s->info(), QString("0 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s->enabled("cmdSelect") && !s->enabled("cmdDeselect"));

    // A drive that cannot be opened changes nothing and says nothing.
    auto* drives = s->get<QComboBox>("driveList");
    drives->addItem("/nicht/bereit");
    drives->setCurrentIndex(drives->count() - 1);
    QCOMPARE(folders->path(), m_dir->path() + "/Leer");
    QVERIFY(s->messages.shown.isEmpty());
}

void TestMainWindow::settingsRoundTrip()
{
    QDir().mkpath(m_dir->path() + "/Anderswo");
    WindowSession* s = open();
    s->get<QLineEdit>("txtCols")->clear();
    s->get<QLineEdit>("txtRows")->setText("4");
    s->get<QCheckBox>("chkPrintFileName")->setChecked(false);
    s->get<QCheckBox>("chkSubDir")->setChecked(true);
    QVERIFY(s->get<FolderList>("dirList")->setPath(m_dir->path() + "/Anderswo"));
    s->click("cmdCancel");
    QVERIFY(!s->window->isVisible());
    QCOMPARE(stored("Cols"), QString("0"));
    QCOMPARE(stored("Rows"), QString("4"));
    QCOMPARE(stored("LastFolder"), m_dir->path() + "/Anderswo");

    s = open();
    QCOMPARE(s->get<QLineEdit>("txtCols")->text(), QString("0"));
    QCOMPARE(s->state().nRows, 4);
    QCOMPARE(s->get<FolderList>("dirList")->path(), m_dir->path() + "/Anderswo");
    QVERIFY(s->get<QCheckBox>("chkPrintFileName")->isChecked());
    QVERIFY(!s->get<QCheckBox>("chkSubDir")->isChecked());
}

void TestMainWindow::badStoredSettings()
{
    touch(m_photos, "da.jpg");
    touch(m_dir->path(), "config/Rasterblatt.ini",
        "[Settings]\nRows=viele\nCols=3\nLastFolder=/gibt/es/nicht\n\x01\xff\xfe garbage ===\n");
    WindowSession* s = open();
    QCOMPARE(s->state().nRows, 11);
    QCOMPARE(s->state().nCols, 3);
    QCOMPARE(s->get<FolderList>("dirList")->path(), m_photos); // the start folder
    QCOMPARE(s->list()->count(), 1);
    // Rewriting a file that could not be parsed is no failure to report.
    QTest::failOnWarning(QRegularExpression("could not save"));
    s->window->close();
    QCOMPARE(stored("Rows"), QString("11"));

    // A start folder that is gone gives way to the home folder; an empty folder is never kept.
    QFile::remove(m_settings);
    QVERIFY(QDir(m_photos).removeRecursively());
    QCOMPARE(open()->get<FolderList>("dirList")->path(), QDir::homePath());
    m_session->window->close();
    QCOMPARE(stored("LastFolder"), QDir::homePath());

    // A settings file that cannot be written does not keep the window open.
    touch(m_dir->path(), "blocker");
    m_settings = m_dir->path() + "/blocker/Rasterblatt.ini";
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not save"));
    QVERIFY(open()->window->close());
}

void TestMainWindow::closing()
{
    WindowSession* s = open();
    QVERIFY(QTest::qWaitForWindowActive(s->window.get()));
    s->get<QLineEdit>("txtRows")->setText("9");
    QTest::keyClick(s->window.get(), Qt::Key_Escape);
    QVERIFY(!s->window->isVisible());
    QCOMPARE(stored("Rows"), QString("9"));
    QFile::remove(m_settings);

    // While a job runs the close box asks, and never closes; "Abbrechen" only stops the job.
    s = open();
    s->state().bPrinting = true;
    for (const auto answer : { QMessageBox::No, QMessageBox::Yes }) {
        s->messages.answer = answer;
        QVERIFY(!s->window->close());
        QCOMPARE(s->state().bAbort, answer == QMessageBox::Yes);
    }
    QCOMPARE(s->messages.shown.size(), 2);
    QCOMPARE(s->messages.shown[0].text, QString("M\u00f6chten Sie den Druck abbrechen?"));
    QCOMPARE(s->messages.shown[0].title, s->window->windowTitle());
    QCOMPARE(s->messages.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    s->state().bAbort = false;
    s->click("cmdCancel");
    QVERIFY(s->state().bAbort && s->window->isVisible());
    QVERIFY(!QFile::exists(m_settings));

    // The session ending is not refused; the settings are saved.
    s->window->closeForSessionEnd();
    QVERIFY(!s->window->isVisible());
    QCOMPARE(s->messages.shown.size(), 2);
    QVERIFY(QFile::exists(m_settings));
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
    for (int i = 0; i < 3; ++i)
        touch(m_photos, QString("f%1.jpg").arg(i), fixtures::encode(fixtures::filled(QSize(40, 30), Qt::blue), "JPEG"));
    WindowSession* s = open();
    s->tickFirst(3);
    s->list()->setCurrentRow(0);
    s->state().sngSlideSeconds = 0.01f;
    auto* widget = s->get(qPrintable(focus));
    QSignalSpy clicked(widget, SIGNAL(clicked()));
    // A viewer that opens takes the keys at once; Escape closes it.
    QString active;
    QTimer viewerWatch;
    connect(&viewerWatch, &QTimer::timeout, [&] {
        if (QWidget* viewer = QApplication::activeWindow(); viewer && viewer->objectName() == "frmImage") {
            active = viewer->objectName();
            QTest::keyClick(viewer, Qt::Key_Escape);
        }
    });
    viewerWatch.start(50);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Return);

    QCOMPARE(m_printers->printer("Testdrucker")->jobs().size(), size_t(prints ? 1 : 0));
    if (!prints)
        QCOMPARE(clicked.count(), 1);
    if (focus == "cmdPreview")
        QCOMPARE(active, QString("frmImage"));
    QCOMPARE(s->window->isVisible(), focus != "cmdCancel");
}

void TestMainWindow::fileLimitInTheStatusLine()
{
    for (int folder = 0; folder < 11; ++folder) {
        for (int i = 0; i < 2973 && folder * 2973 + i < 32701; ++i)
            touch(
                m_photos + QString("/d%1").arg(folder, 2, 10, QChar('0')), QString("%1.jpg").arg(i, 4, 10, QChar('0')));
    }
    WindowSession* s = open();
    s->get<QCheckBox>("chkSubDir")->setChecked(true);
    QCOMPARE(s->list()->count(), 32700);
    QCOMPARE(s->info(), QString("32700 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(s->enabled("cmdSelect"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
