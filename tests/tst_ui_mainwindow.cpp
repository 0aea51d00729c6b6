// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user meets it: start-up, the file list, the grid boxes, the settings file and closing.
#include "ui/widgets/FolderList.h"

#include "PdfTools.h"
#include "Photos.h"
#include "RecordingPrinterService.h"
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
    void firstRunAndSettingsRoundTrip()
    {
        writePhotos(m_f->photos, 2);
        WindowSession* s = &open();
        QVERIFY(s->window->windowTitle().startsWith("Kachelbrett 1.00.0000"));
        QCOMPARE(edit("txtRows")->text() + 'x' + edit("txtCols")->text(), QString("11x7"));
        QCOMPARE(s->info(), QString("2 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
        QCOMPARE(std::tuple(box("chkPrintFileName")->isChecked(), box("chkPreview")->isChecked(),
                     box("chkSubDir")->isChecked(), s->enabled("cmdPrint"), s->enabled("cmdPresentation"),
                     s->get("lbProgressBar")->isVisible()),
            std::tuple(true, true, false, false, false, false));
        QCOMPARE(std::tuple(printers()->count(), printers()->currentIndex()), std::tuple(3, 0));
        // Grid, folder and the sheet's set-up are stored on closing, the options and the title are not.
        s->state().sheetSetup = { "Letter", QPageLayout::Landscape, true, true, true, true, false, "Hochzeit" };
        edit("txtCols")->clear();
        edit("txtRows")->setText("4");
        box("chkPrintFileName")->setChecked(false);
        box("chkSubDir")->setChecked(true);
        QVERIFY(!s->state().bPrintFileName);
        QVERIFY(folders()->setPath(m_f->dir.path()));
        QVERIFY(QTest::qWaitForWindowActive(s->window.get()));
        QTest::keyClick(s->window.get(), Qt::Key_Escape); // closes, as Abbrechen does
        QCOMPARE(QStringList({ stored("Settings/Cols"), stored("Settings/Rows"), stored("Settings/LastFolder"),
                     stored("Settings/Paper") + stored("Settings/Orientation") + stored("Settings/PageNumbers")
                         + stored("Settings/Frame") + stored("Settings/CaptionTime")
                         + stored("Settings/CaptionExposure") }),
            QStringList({ "0", "4", m_f->dir.path(), "LetterLandscape1110" }));
        s = &m_f->open(QStringList { "testdrucker", "Laser" }, "Testdrucker"); // the current printer is not installed
        QCOMPARE(QStringList({ edit("txtCols")->text(), folders()->path(), s->state().sheetSetup.paper,
                     printers()->placeholderText() }),
            QStringList({ "0", m_f->dir.path(), "Letter", "Drucker" }));
        QCOMPARE(std::tuple(s->state().nRows, s->state().sheetSetup.header, s->state().sheetSetup.frame,
                     box("chkPrintFileName")->isChecked(), box("chkSubDir")->isChecked(), printers()->currentIndex(),
                     s->state().sheetSetup.title),
            std::tuple(4, true, true, true, false, -1, QString()));
        for (const auto& [control, name] : { std::pair { "driveList", "Laufwerk" }, { "dirList", "Ordner" },
                 { "fileList", "Bilddateien" }, { "picBox", "Vorschau" }, { "lbProgressBar", "Fortschritt" } })
            QCOMPARE(s->get(control)->accessibleName(), QString(name));
    }
    void tickingAndGridBoxes()
    {
        writePhotos(m_f->photos, 30);
        WindowSession& s = open();
        s.tick(5);
        QCOMPARE(s.info(), QString("30 Datei(en) -  1 Datei(en) markiert - 1 Druckseiten"));
        QCOMPARE(std::tuple(s.enabled("cmdPrint"), s.enabled("cmdPresentation")), std::tuple(true, true));
        s.click("cmdDeselect");
        QVERIFY(s.info().endsWith(" 0 Datei(en) markiert - 0 Druckseiten"));
        QVERIFY(!s.enabled("cmdPresentation"));
        // The grid boxes take digits only; a grid without cells never enables the buttons.
        s.tickFirst(13);
        QLineEdit *cols = edit("txtCols"), *rows = edit("txtRows");
        cols->setFocus();
        cols->end(false);
        QTest::keyClick(cols, Qt::Key_Backspace); // the last digit
        QCOMPARE(std::tuple(cols->text(), s.state().nCols, s.info().right(14)),
            std::tuple(QString("0"), 0, QString(" 0 Druckseiten")));
        s.click("cmdSelect");
        QCOMPARE(std::tuple(s.enabled("cmdPrint"), s.enabled("cmdPresentation"), s.state().bBulkSelect),
            std::tuple(false, false, false));
        rows->selectAll();
        QTest::keyClicks(rows, "x-5"); // the emptied box shows "0" selected, the digit replaces it
        QCOMPARE(std::tuple(rows->text(), s.state().nRows), std::tuple(QString("5"), 5));
        cols->setText("1");
        rows->selectAll();
        QTest::keyClicks(rows, "1"); // each digit refreshes the status line: 1 row, then 12
        QVERIFY(s.info().endsWith("30 Datei(en) markiert - 30 Druckseiten"));
        QTest::keyClicks(rows, "2");
        QVERIFY(s.info().endsWith("30 Datei(en) markiert - 3 Druckseiten"));
    }
    void foldersAndTheFileLimit()
    {
        // The folder last shown: one file more than the list takes, a sub-folder, and a hidden
        // folder the tree does not show.
        const QString folder = m_f->photos + "/Viel";
        for (int i = 0; i < 32701; ++i)
            fixtures::writeFile(folder + QString("/%1.jpg").arg(i), {});
        fixtures::writeFile(folder + "/d0/a.jpg", {});
        QDir().mkpath(folder + "/.versteckt");
        fixtures::writeFile(m_f->settings, "[Settings]\nLastFolder=" + folder.toUtf8() + "\n");
        WindowSession& s = open();
        QTreeWidgetItem* current = folders()->currentItem();
        QCOMPARE(std::tuple(current->text(0), current->childCount()), std::tuple(QString("Viel"), 1));
        QCOMPARE(s.info(), QString("32700 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
        QCOMPARE(std::tuple(s.window->catalogue().capacity(), s.enabled("cmdSelect")), std::tuple(32699, true));
        // The pictures beyond the limit are not left out in silence, but told once for a folder and
        // its options (start-up lists its folder twice).
        QCOMPARE(s.messages.shown.size(), 1);
        QCOMPARE(s.messages.shown[0].text,
            QString("Der Ordner enth\u00e4lt mehr als 32.700 Bilder; die \u00fcbrigen werden nicht angezeigt."));
        box("chkSubDir")->setChecked(true);
        QCOMPARE(s.messages.shown.size(), 2);
        // Enter opens a folder; ticks never survive a rebuild of the list.
        s.tick(0);
        folders()->setCurrentItem(current->child(0));
        QTest::keyClick(folders(), Qt::Key_Return);
        QCOMPARE(folders()->path(), folder + "/d0");
        QCOMPARE(s.info(), QString("1 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten"));
        QCOMPARE(s.messages.shown.size(), 2);
    }
    void badStoredSettings()
    {
        fixtures::writeFile(m_f->settings,
            "[Settings]\nRows=viele\nCols=3\nLastFolder=/gibt/es/nicht\nFremd=1\nPaper=<A4>\nOrientation=Diagonal\n"
            "Header=ja\nPageNumbers=2\nFrame=nein\nTimeOrder=ja\n\x01\xff\xfe garbage ===\n[Anderes]\nx=y\n");
        WindowSession* s = &open();
        QCOMPARE(std::tuple(s->state().nRows, s->state().nCols, folders()->path()), std::tuple(11, 3, m_f->photos));
        const SheetSetup& setup = s->state().sheetSetup;
        QCOMPARE(std::tuple(setup.paper, setup.orientation, setup.header, setup.pageNumbers, setup.frame),
            std::tuple(QString(), QPageLayout::Portrait, false, false, false));
        // Rewriting a file that could not be parsed is no failure to report; the file then holds
        // the program's keys and nothing else.
        QTest::failOnWarning(QRegularExpression("could not save"));
        s->window->close();
        QCOMPARE(QSettings(m_f->settings, QSettings::IniFormat).allKeys(),
            QStringList({ "Settings/AllFormats", "Settings/CaptionExposure", "Settings/CaptionTime", "Settings/Cols",
                "Settings/Frame", "Settings/Header", "Settings/LastFolder", "Settings/Orientation",
                "Settings/PageNumbers", "Settings/Paper", "Settings/Rows", "Settings/TimeOrder" }));
        QCOMPARE(stored("Settings/Rows") + stored("Settings/Orientation") + stored("Settings/Header")
                + stored("Settings/TimeOrder"),
            QString("11Portrait00"));
        // A file of more than 1 MB is no file of ours: it is not read, and the next close replaces it.
        fixtures::writeFile(m_f->settings, "[Settings]\nCols=2\n" + QByteArray(2 << 20, '#'));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("larger than 1 MB"));
        QCOMPARE(open().state().nCols, 7);
        m_f->session->window->close();
        QVERIFY(QFileInfo(m_f->settings).size() < 1000);
        // Where the stored and the start folder are gone, the home folder is taken and stored.
        QVERIFY(QDir(m_f->photos).removeRecursively());
        QCOMPARE(open().get<FolderList>("dirList")->path(), QDir::homePath());
        m_f->session->window->close();
        QCOMPARE(stored("Settings/LastFolder"), QDir::homePath());
        // A settings file that cannot be written does not keep the window open.
        fixtures::writeFile(m_f->dir.filePath("blocker"), {});
        m_f->settings = m_f->dir.filePath("blocker/Rasterblatt.ini");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not save"));
        QVERIFY(open().window->close());
    }
    void drivesThatGoAway()
    {
        // A stick: a folder bound under /mnt, which the drive list offers as a drive of its own.
        QTemporaryDir stick(QCoreApplication::applicationDirPath() + "/stick-XXXXXX");
        const QString drive = QString("/mnt/rasterblatt-test-%1").arg(QCoreApplication::applicationPid());
        QDir().mkpath(drive);
        if (!runTool("mount", { "--bind", stick.path(), drive }).ok) {
            QDir().rmdir(drive);
            QSKIP("no bind mount can be made here");
        }
        const auto unmount = qScopeGuard([&] {
            m_f->session.reset();
            runTool("umount", { drive });
            QDir().rmdir(drive);
        });
        QVERIFY(QDir().mkpath(drive + "/Fotos/Tag 1"));
        // The stored folder was on a stick that is gone: both lists stay on the start folder, on its drive.
        fixtures::writeFile(m_f->settings, "[Settings]\nLastFolder=/media/rasterblatt-weg/Fotos\n");
        m_f->photos = drive + "/Fotos";
        auto* drives = open().get<QComboBox>("driveList");
        QCOMPARE(std::tuple(folders()->path(), drives->currentData().toString()), std::tuple(drive + "/Fotos", drive));
        // A drive whose folder was deleted meanwhile opens at its top folder.
        QVERIFY(folders()->setPath(drive + "/Fotos/Tag 1"));
        drives->setCurrentIndex(drives->findData("/"));
        QCOMPARE(folders()->path(), QString("/"));
        QVERIFY(QDir(drive + "/Fotos").removeRecursively());
        drives->setCurrentIndex(drives->findData(drive));
        QCOMPARE(folders()->path(), drive);
    }
    void enterOnFocusedButtons_data()
    {
        QTest::addColumn<QString>("focus");
        for (const char* name :
            { "cmdSelect", "cmdDeselect", "cmdPreview", "cmdPresentation", "cmdCancel", "fileList", "txtCols" })
            QTest::newRow(name) << QString(name);
    }
    void enterOnFocusedButtons()
    {
        // Enter presses the focused button; elsewhere it prints.
        QFETCH(QString, focus);
        const bool prints = !focus.startsWith("cmd");
        writePhotos(m_f->photos, 3);
        WindowSession& s = open();
        s.tickFirst(3);
        s.list()->setCurrentRow(0);
        s.state().sngSlideSeconds = 0.01f;
        QWidget* widget = s.get(qPrintable(focus));
        QSignalSpy clicked(widget, SIGNAL(clicked()));
        bool viewerActive = false; // a viewer that opens takes the keys at once
        AtEveryYield viewerWatch([&](int) {
            if (QWidget* viewer = QApplication::activeWindow(); viewer && viewer->objectName() == "frmImage") {
                viewerActive = true;
                QTest::keyClick(viewer, Qt::Key_Escape);
            }
        });
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Return);
        QCOMPARE(m_f->printers->printer("Testdrucker")->jobs().size(), size_t(prints));
        QCOMPARE(clicked.count(), prints ? clicked.count() : 1);
        QVERIFY(viewerActive || focus != "cmdPreview");
        QCOMPARE(s.window->isVisible(), focus != "cmdCancel");
    }

private:
    WindowSession& open() { return m_f->open(QStringList { "Testdrucker", "testdrucker", "PDF-Datei" }); }
    QString stored(const char* key) const
    {
        return QSettings(m_f->settings, QSettings::IniFormat).value(key).toString();
    }
    QLineEdit* edit(const char* name) const { return m_f->session->get<QLineEdit>(name); }
    QCheckBox* box(const char* name) const { return m_f->session->get<QCheckBox>(name); }
    QComboBox* printers() const { return m_f->session->get<QComboBox>("prnList"); }
    FolderList* folders() const { return m_f->session->get<FolderList>("dirList"); }
    std::unique_ptr<WindowFixture<RecordingPrinterService>> m_f;
};

QTEST_MAIN(TestMainWindow)
#include "tst_ui_mainwindow.moc"
