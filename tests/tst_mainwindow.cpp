// The main window as a user meets it: start-up, the file list, ticking, the grid boxes,
// the settings file and closing.
#include "app/MainWindow.h"
#include "catalogue/FolderList.h"

#include "FakeMessageBoxes.h"
#include "RecordingPrinterService.h"
#include "TestFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace rasterblatt;
using rasterblatt::testing::touch;

namespace {

// One window with its own settings file, printers and message boxes.
struct Session {
    explicit Session(const QString& settingsFile, const QString& startFolder,
        const QStringList& printerNames = { "Testdrucker", "testdrucker", "PDF-Datei" },
        const QString& current = "Testdrucker")
        : printers(printerNames, current)
        , window(std::make_unique<MainWindow>(printers, messages, settingsFile, startFolder))
    {
    }

    template <typename T> T* get(const char* name) const { return window->findChild<T*>(QLatin1String(name)); }
    QListWidget* list() const { return get<QListWidget>("fileList"); }
    QString info() const { return get<QLabel>("lbInfo")->text(); }
    bool printEnabled() const { return get<QPushButton>("cmdPrint")->isEnabled(); }
    bool presentationEnabled() const { return get<QPushButton>("cmdPresentation")->isEnabled(); }
    void tick(int index, bool ticked = true) const
    {
        list()->item(index)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }

    RecordingPrinterService printers;
    FakeMessageBoxes messages;
    std::unique_ptr<MainWindow> window;
};

QString storedValue(const QString& settingsFile, const QString& key)
{
    return QSettings(settingsFile, QSettings::IniFormat).value("Settings/" + key).toString();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstRun();
    void controlsAndLayout();
    void statusLineCounts_data();
    void statusLineCounts();
    void gridBoxes();
    void zeroOrNegativeGridNeverEnablesPrinting();
    void tickAllAndNone();
    void rebuildDropsTicks();
    void folderListShowsPathAndSubFolders();
    void subFolderOption();
    void settingsRoundTrip();
    void unusableStoredSettings();
    void vanishedFolderAndMissingDrive();
    void escapeClosesAndSaves();
    void closeWhilePrintingAsks();
    void unwritableSettingsStillCloses();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    QString m_photos;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = m_dir->path() + "/config/Rasterblatt.ini";
    m_photos = m_dir->path() + "/Fotos";
    QDir().mkpath(m_photos);
}

void TestMainWindow::firstRun()
{
    touch(m_photos, "a.jpg");
    touch(m_photos, "b.gif");
    Session s(m_settings, m_photos);
    QVERIFY(s.window->windowTitle().startsWith("Rasterblatt 1.00.0000"));
    QCOMPARE(s.get<QLineEdit>("txtRows")->text(), QString("11"));
    QCOMPARE(s.get<QLineEdit>("txtCols")->text(), QString("7"));
    QCOMPARE(s.window->state().nRows, 11);
    QCOMPARE(s.window->state().nCols, 7);
    QVERIFY(s.get<QCheckBox>("chkPrintFileName")->isChecked());
    QVERIFY(s.get<QCheckBox>("chkPreview")->isChecked());
    QVERIFY(!s.get<QCheckBox>("chkSubDir")->isChecked());
    QCOMPARE(s.get<FolderList>("dirList")->path(), m_photos);
    QCOMPARE(s.list()->count(), 2);
    QCOMPARE(s.info(), QString("2 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s.printEnabled());
    QVERIFY(!s.presentationEnabled());

    // Every printer is listed; only the exact name of the current one is chosen.
    auto* printers = s.get<QComboBox>("prnList");
    QCOMPARE(printers->count(), 3);
    QCOMPARE(printers->currentIndex(), 0);
    QCOMPARE(printers->itemText(1), QString("testdrucker"));

    Session noMatch(m_settings, m_photos, { "Laser", "Tinte" }, "Fehlt");
    QCOMPARE(noMatch.get<QComboBox>("prnList")->currentIndex(), -1);
}

void TestMainWindow::controlsAndLayout()
{
    Session s(m_settings, m_photos);
    for (const char* name : { "driveList", "dirList", "cmdPrint", "lbInfo", "picBox", "picPrint", "fileList",
             "chkSubDir", "cmdSelect", "cmdDeselect", "cmdCancel", "Frame1", "Label1", "Label2", "txtCols", "txtRows",
             "lbProgressBar", "prnList", "chkPrintFileName", "chkPreview", "cmdPreview", "cmdPresentation" })
        QVERIFY2(s.window->findChild<QWidget*>(QLatin1String(name)), name);
    s.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    QVERIFY(!s.get<QWidget>("picPrint")->isVisible());
    QVERIFY(!s.get<QWidget>("lbProgressBar")->isVisible());
    QCOMPARE(s.get<QLineEdit>("txtCols")->maxLength(), 2);
    QVERIFY(s.get<QPushButton>("cmdPrint")->isDefault());

    // The bar sits 30 twips inside the status line: 60 twips (4 pixels at 96 dpi) narrower.
    const QRect info = s.get<QWidget>("lbInfo")->geometry();
    const QRect bar = s.get<QWidget>("lbProgressBar")->geometry();
    QVERIFY(info.contains(bar));
    QCOMPARE(info.width() - bar.width(), qRound(60 * s.window->logicalDpiX() / 1440.0));
}

void TestMainWindow::statusLineCounts_data()
{
    QTest::addColumn<int>("ticked");
    QTest::addColumn<QString>("text");
    QTest::newRow("77") << 77 << "120 Datei(en) -  77 Datei(en) markiert - 1 Druckseiten";
    QTest::newRow("78") << 78 << "120 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten";
}

void TestMainWindow::statusLineCounts()
{
    QFETCH(int, ticked);
    QFETCH(QString, text);
    for (int i = 0; i < 120; ++i)
        touch(m_photos, QString("bild%1.jpg").arg(i, 3, 10, QChar('0')));
    Session s(m_settings, m_photos);
    for (int i = 0; i < ticked; ++i)
        s.tick(i);
    QCOMPARE(s.info(), text);
    QVERIFY(s.printEnabled());
    QVERIFY(s.presentationEnabled());

    // Unticking the last ticked entry disables both buttons at once.
    for (int i = 0; i < ticked; ++i)
        s.tick(i, false);
    QVERIFY(!s.printEnabled());
    QVERIFY(!s.presentationEnabled());
}

void TestMainWindow::gridBoxes()
{
    for (int i = 0; i < 30; ++i)
        touch(m_photos, QString("f%1.jpg").arg(i));
    Session s(m_settings, m_photos);
    s.window->show();
    for (int i = 0; i < 13; ++i)
        s.tick(i);
    auto* cols = s.get<QLineEdit>("txtCols");
    auto* rows = s.get<QLineEdit>("txtRows");

    // Deleting the last digit shows "0" at once.
    cols->setFocus();
    cols->end(false);
    QTest::keyClick(cols, Qt::Key_Backspace);
    QCOMPARE(cols->text(), QString("0"));
    QCOMPARE(s.window->state().nCols, 0);
    QVERIFY(s.info().endsWith(" 0 Druckseiten"));

    // A letter in the rows box.
    rows->selectAll();
    QTest::keyClicks(rows, "x");
    QCOMPARE(rows->text(), QString("0"));
    QCOMPARE(s.window->state().nRows, 0);

    // A lone minus sign.
    rows->selectAll();
    QTest::keyClicks(rows, "-");
    QCOMPARE(rows->text(), QString("0"));

    // Pasting -3 is taken as it is.
    cols->selectAll();
    cols->insert("-3");
    QCOMPARE(s.window->state().nCols, -3);

    // Typing 1 then 2 refreshes the status line for 1 row, then for 12 rows.
    cols->setText("1");
    rows->selectAll();
    QTest::keyClicks(rows, "1");
    QCOMPARE(s.window->state().nRows, 1);
    QVERIFY(s.info().endsWith("13 Datei(en) markiert - 13 Druckseiten"));
    QTest::keyClicks(rows, "2");
    QCOMPARE(s.window->state().nRows, 12);
    QVERIFY(s.info().endsWith("13 Datei(en) markiert - 2 Druckseiten"));

    // The file-name option changes its field only.
    const QString before = s.info();
    s.get<QCheckBox>("chkPrintFileName")->setChecked(false);
    QVERIFY(!s.window->state().bPrintFileName);
    QCOMPARE(s.info(), before);
}

void TestMainWindow::zeroOrNegativeGridNeverEnablesPrinting()
{
    for (int i = 0; i < 10; ++i)
        touch(m_photos, QString("f%1.jpg").arg(i));
    Session s(m_settings, m_photos);
    for (const char* grid : { "0", "-3" }) {
        s.get<QLineEdit>("txtCols")->setText(QString::fromLatin1(grid));
        s.get<QLineEdit>("txtRows")->setText("-2");
        for (int i = 0; i < 5; ++i)
            s.tick(i);
        QCOMPARE(s.info(), QString("10 Datei(en) -  5 Datei(en) markiert - 0 Druckseiten"));
        QVERIFY(!s.printEnabled());
        QVERIFY(!s.presentationEnabled());
        s.tick(5);
        QVERIFY(!s.printEnabled());
        s.get<QPushButton>("cmdSelect")->click();
        QVERIFY(!s.printEnabled());
        s.get<QPushButton>("cmdDeselect")->click();
    }
}

void TestMainWindow::tickAllAndNone()
{
    for (int i = 0; i < 25; ++i)
        touch(m_photos, QString("f%1.jpg").arg(i));
    Session s(m_settings, m_photos);
    s.get<QPushButton>("cmdSelect")->click();
    QCOMPARE(s.info(), QString("25 Datei(en) -  25 Datei(en) markiert - 1 Druckseiten"));
    QVERIFY(!s.window->state().bBulkSelect);
    QVERIFY(s.printEnabled());
    for (int i = 0; i < 25; ++i)
        QCOMPARE(s.list()->item(i)->checkState(), Qt::Checked);
    s.get<QPushButton>("cmdDeselect")->click();
    QCOMPARE(s.info(), QString("25 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s.printEnabled());
    QVERIFY(!s.presentationEnabled());
}

void TestMainWindow::rebuildDropsTicks()
{
    touch(m_photos, "a.jpg");
    touch(m_photos, "b.jpg");
    QDir().mkpath(m_dir->path() + "/Leer");
    Session s(m_settings, m_photos);
    s.tick(0);
    auto* folders = s.get<FolderList>("dirList");

    // Re-opening the same folder rebuilds the list without ticks.
    QVERIFY(folders->setPath(m_dir->path()));
    QVERIFY(folders->setPath(m_photos));
    QCOMPARE(s.list()->count(), 2);
    QCOMPARE(s.list()->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(s.get<QPushButton>("cmdSelect")->isEnabled());

    // An empty folder disables tick-all and untick-all.
    QVERIFY(folders->setPath(m_dir->path() + "/Leer"));
    QCOMPARE(s.info(), QString("0 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
    QVERIFY(!s.get<QPushButton>("cmdSelect")->isEnabled());
    QVERIFY(!s.get<QPushButton>("cmdDeselect")->isEnabled());
}

void TestMainWindow::folderListShowsPathAndSubFolders()
{
    QDir().mkpath(m_photos + "/Urlaub");
    QDir().mkpath(m_photos + "/.versteckt");
    Session s(m_settings, m_photos);
    s.window->show();
    auto* folders = s.get<FolderList>("dirList");
    QTreeWidgetItem* current = folders->currentItem();
    QCOMPARE(current->text(0), QString("Fotos"));
    QCOMPARE(current->childCount(), 1);
    QCOMPARE(current->child(0)->text(0), QString("Urlaub"));
    QVERIFY(!folders->visualItemRect(current->child(0)).isEmpty());

    // Enter on a sub-folder opens it; the file list follows.
    touch(m_photos, "Urlaub/strand.jpg");
    folders->setCurrentItem(current->child(0));
    QTest::keyClick(folders, Qt::Key_Return);
    QCOMPARE(folders->path(), m_photos + "/Urlaub");
    QCOMPARE(s.list()->count(), 1);
}

void TestMainWindow::subFolderOption()
{
    touch(m_photos, "oben.jpg");
    touch(m_photos, "Urlaub/unten.jpg");
    Session s(m_settings, m_photos);
    QCOMPARE(s.list()->count(), 1);
    s.get<QCheckBox>("chkSubDir")->setChecked(true);
    QVERIFY(s.window->state().bSubDirs);
    QCOMPARE(s.list()->count(), 2);
    QCOMPARE(s.list()->item(0)->text(), QString("unten.jpg"));
    QCOMPARE(s.window->state().aFiles[0], m_photos + "/Urlaub/unten.jpg");
    QCOMPARE(s.info(), QString("2 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
}

void TestMainWindow::settingsRoundTrip()
{
    QDir().mkpath(m_dir->path() + "/Anderswo");
    {
        Session s(m_settings, m_photos);
        s.get<QLineEdit>("txtCols")->clear();
        s.get<QLineEdit>("txtRows")->setText("4");
        s.get<QCheckBox>("chkPrintFileName")->setChecked(false);
        s.get<QCheckBox>("chkSubDir")->setChecked(true);
        QVERIFY(s.get<FolderList>("dirList")->setPath(m_dir->path() + "/Anderswo"));
        s.get<QPushButton>("cmdCancel")->click();
    }
    QCOMPARE(storedValue(m_settings, "Cols"), QString("0"));
    QCOMPARE(storedValue(m_settings, "Rows"), QString("4"));
    QCOMPARE(storedValue(m_settings, "LastFolder"), m_dir->path() + "/Anderswo");

    Session next(m_settings, m_photos);
    QCOMPARE(next.get<QLineEdit>("txtCols")->text(), QString("0"));
    QCOMPARE(next.window->state().nCols, 0);
    QCOMPARE(next.window->state().nRows, 4);
    QCOMPARE(next.get<FolderList>("dirList")->path(), m_dir->path() + "/Anderswo");
    // Neither the file-name option nor the sub-folder option is kept.
    QVERIFY(next.get<QCheckBox>("chkPrintFileName")->isChecked());
    QVERIFY(!next.get<QCheckBox>("chkSubDir")->isChecked());
}

void TestMainWindow::unusableStoredSettings()
{
    QDir().mkpath(QFileInfo(m_settings).absolutePath());
    QFile file(m_settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nRows=viele\nCols=3\nLastFolder=\n\x01\xff\xfe garbage ===\n");
    file.close();
    Session s(m_settings, m_photos);
    QCOMPARE(s.window->state().nRows, 11);
    QCOMPARE(s.window->state().nCols, 3);
    s.window->close();
    QCOMPARE(storedValue(m_settings, "Rows"), QString("11"));
}

void TestMainWindow::vanishedFolderAndMissingDrive()
{
    touch(m_photos, "da.jpg");
    {
        QSettings settings(m_settings, QSettings::IniFormat);
        settings.setValue("Settings/LastFolder", m_dir->path() + "/gibt es nicht");
    }
    Session s(m_settings, m_photos);
    QCOMPARE(s.get<FolderList>("dirList")->path(), m_photos);
    QCOMPARE(s.list()->count(), 1);

    // A drive that cannot be opened: nothing changes, no message.
    auto* drives = s.get<QComboBox>("driveList");
    drives->addItem("/nicht/bereit");
    drives->setCurrentIndex(drives->count() - 1);
    QCOMPARE(s.get<FolderList>("dirList")->path(), m_photos);
    QCOMPARE(s.list()->count(), 1);
    QVERIFY(s.messages.shown.isEmpty());
}

void TestMainWindow::escapeClosesAndSaves()
{
    Session s(m_settings, m_photos);
    s.window->show();
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    s.get<QLineEdit>("txtRows")->setText("9");
    QTest::keyClick(s.window.get(), Qt::Key_Escape);
    QVERIFY(!s.window->isVisible());
    QVERIFY(s.messages.shown.isEmpty());
    QCOMPARE(storedValue(m_settings, "Rows"), QString("9"));
}

void TestMainWindow::closeWhilePrintingAsks()
{
    Session s(m_settings, m_photos);
    s.window->show();
    s.window->state().bPrinting = true;

    s.messages.answer = QMessageBox::No;
    QVERIFY(!s.window->close());
    QVERIFY(s.window->isVisible());
    QVERIFY(!s.window->state().bAbort);
    QCOMPARE(s.messages.shown.size(), 1);
    QCOMPARE(s.messages.shown[0].text, QString("M\u00f6chten Sie den Druck abbrechen?"));
    QCOMPARE(s.messages.shown[0].title, s.window->windowTitle());
    QCOMPARE(s.messages.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!QFile::exists(m_settings));

    s.messages.answer = QMessageBox::Yes;
    QVERIFY(!s.window->close());
    QVERIFY(s.window->isVisible());
    QVERIFY(s.window->state().bAbort);

    // "Abbrechen" during the job only asks the job to stop.
    s.window->state().bAbort = false;
    s.get<QPushButton>("cmdCancel")->click();
    QVERIFY(s.window->state().bAbort);
    QVERIFY(s.window->isVisible());

    // The session ending is not refused; the settings are saved.
    s.window->closeForSessionEnd();
    QVERIFY(!s.window->isVisible());
    QCOMPARE(s.messages.shown.size(), 2);
    QVERIFY(QFile::exists(m_settings));

    // Once the job is over, a close needs no question.
    Session after(m_settings, m_photos);
    after.window->show();
    QVERIFY(after.window->close());
    QVERIFY(after.messages.shown.isEmpty());
}

void TestMainWindow::unwritableSettingsStillCloses()
{
    touch(m_dir->path(), "blocker");
    Session s(m_dir->path() + "/blocker/Rasterblatt.ini", m_photos);
    s.window->show();
    QVERIFY(s.window->close());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
