// SPDX-License-Identifier: GPL-3.0-or-later
// The print command in the window, through the recording printer: the wiring of one job with
// its progress bar and preview, stopping it, printer errors and the choice of printer. The page
// loop itself is tested on the print engine.
#include "Photos.h"
#include "RecordingPrinterService.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QSemaphore>
#include <QtTest>

#include "ui/SetupDialog.h"
#include "ui/widgets/PictureBox.h"

using namespace rasterblatt;
using namespace rasterblatt::testing;

class TestPrint : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_f = std::make_unique<WindowFixture<RecordingPrinterService>>(); }
    void oneJob()
    {
        WindowSession& s = open(8);
        s.get<QLineEdit>("txtRows")->setText("1");
        QList<int> widths;
        QString info;
        bool buttonsOn = false;
        AtEveryYield watch([&](int n) {
            if (s.get("lbProgressBar")->isVisible())
                widths.append(s.get("lbProgressBar")->width());
            buttonsOn = buttonsOn || s.enabled("cmdPrint") || s.enabled("cmdPresentation");
            if (n < 4)
                info += s.info();
            if (n == 4) { // the job keeps its grid, but reads the ticks as it goes
                s.get<QLineEdit>("txtCols")->setText("0");
                s.tick(7, false);
            }
        });
        s.click("cmdPrint");

        QCOMPARE(printer()->count("PaintPicture"), 7);
        QCOMPARE(printer()->jobs(), std::vector<int>({ 1 })); // seven in a row: the second page stays empty
        // The bar grows inside the status line, which stays blank; the buttons stay off. Its
        // scale follows the ticks: full as the last of the seven cells starts.
        QCOMPARE(widths.first(), qRound(4995.0 / 8 / 15));
        QCOMPARE(s.get("lbProgressBar")->width(), qRound(4995.0 / 15));
        QCOMPARE(std::tuple(info, buttonsOn), std::tuple(QString(), false));
        QCOMPARE(s.get<PictureBox>("picBox")->ToolTipText(), s.window->catalogue().path(6));
        QCOMPARE(std::tuple(s.state().bPrinting, s.get("lbProgressBar")->isVisible(), s.messages.shown.size()),
            std::tuple(false, false, 0));
        QCOMPARE(s.info(), QString("8 Datei(en) -  7 Datei(en) markiert - 0 Druckseiten"));
        QVERIFY(!s.enabled("cmdPrint")); // no columns now
    }
    void stoppingDiscardsTheJob_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("windowStays");
        QTest::addColumn<int>("questions");
        QTest::newRow("Abbrechen") << "cancel" << true << 0;
        QTest::newRow("close box, answered No, then Yes") << "close" << true << 2;
        QTest::newRow("session end") << "session" << false << 0;
    }
    void stoppingDiscardsTheJob()
    {
        QFETCH(QString, how);
        QFETCH(bool, windowStays);
        QFETCH(int, questions);
        WindowSession& s = open(20);
        {
            // The close box asks, and never closes while printing: No goes on printing, Yes stops.
            AtEveryYield stop([&](int n) {
                if (n == 3 && how == "cancel")
                    s.click("cmdCancel");
                else if (n == 3 && how == "session")
                    s.window->closeForSessionEnd();
                else if ((n == 3 || n == 5) && how == "close") {
                    s.messages.answer = n == 3 ? QMessageBox::No : QMessageBox::Yes;
                    QVERIFY(!s.window->close());
                    QCOMPARE(s.state().bAbort, n == 5);
                }
            });
            s.click("cmdPrint");
        }
        QVERIFY(printer()->count("PaintPicture") < 20);
        QVERIFY(printer()->jobs().empty());
        QCOMPARE(printer()->discardedDocuments(), 1);
        QCOMPARE(s.messages.shown.size(), questions);
        for (const auto& asked : s.messages.shown)
            QCOMPARE(std::tuple(asked.text, asked.title, asked.buttons),
                std::tuple(QString("M\u00f6chten Sie den Druck abbrechen?"), s.window->windowTitle(),
                    QMessageBox::Yes | QMessageBox::No));
        QCOMPARE(s.window->isVisible(), windowStays);
        QCOMPARE(QFile::exists(m_f->settings), !windowStays);
        QCOMPARE(std::tuple(s.state().bPrinting, s.get("lbProgressBar")->isVisible()), std::tuple(false, false));
        if (windowStays) {
            QCOMPARE(std::tuple(s.enabled("cmdPrint"), s.enabled("cmdPresentation")), std::tuple(true, true));
            QCOMPARE(s.info(), QString("20 Datei(en) -  20 Datei(en) markiert - 1 Druckseiten"));
        }
    }
    void setupDialog()
    {
        WindowSession& s = open(80);
        // "Einrichten…" beside "Dateiname drucken", which leaves it room, and next to it in the tab order.
        auto* button = s.get<QPushButton>("cmdSetup");
        QCOMPARE(button->geometry(), QRect(120, 46, 65, 21)); // 1800, 690, 975, 315 twips at 96 dpi
        QCOMPARE(s.get("chkPrintFileName")->width(), 109);
        QCOMPARE(s.get("chkPrintFileName")->nextInFocusChain(), button);
        QCOMPARE(button->accessibleName(), QString("Einrichten"));
        button->click();
        button->click(); // one at a time
        const QList<SetupDialog*> dialogs = s.window->findChildren<SetupDialog*>();
        QCOMPARE(dialogs.size(), 1);
        SetupDialog* dialog = dialogs[0];
        const auto child = [&](const char* name) { return dialog->findChild<QWidget*>(name); };
        for (const auto& [name, label] : { std::pair { "cboPaper", "Papier" }, { "cboOrientation", "Ausrichtung" },
                 { "chkHeader", "Kopfzeile drucken" }, { "chkPageNumbers", "Seitenzahlen drucken" },
                 { "chkFrame", "Rahmen um die Bilder" }, { "picSheet", "Seitenansicht" } })
            QCOMPARE(child(name)->accessibleName(), QString(label));
        // The preview follows the window's ticks; Page Down turns the page.
        auto* page = dialog->findChild<QLabel*>("lbPage");
        QTRY_COMPARE(page->text(), QString("Seite 1 von 2"));
        QTest::keyClick(dialog, Qt::Key_PageDown);
        QCOMPARE(page->text(), QString("Seite 2 von 2"));
        // While the printer does not answer, the dialog goes on with the paper it knew, asks one
        // question at a time, and says so after its bound.
        dialog->setAnswerBound(std::chrono::milliseconds(100));
        QSemaphore answer;
        std::atomic<int> questions = 0;
        std::atomic<bool> waiting = false;
        m_f->printers->questionGate = [&] {
            waiting = ++questions;
            (void)answer.tryAcquire(1, 20000);
            waiting = false;
        };
        for (int i = 77; i < 80; ++i)
            s.tick(i, false);
        QTRY_COMPARE(page->text(), QString("Seite 1 von 1"));
        QTRY_COMPARE(
            child("lbPrinterNote")->property("text"), QVariant("Der Drucker \u201eTestdrucker\u201c antwortet nicht."));
        QVERIFY(waiting); // all this while the question waits
        QCOMPARE(questions, 1);
        QCOMPARE(child("cboPaper")->property("currentText"), QVariant("A4"));
        m_f->printers->questionGate = {};
        answer.release();
        QTRY_VERIFY(!child("lbPrinterNote")->isVisible());
        // The set-up is the window's; "Drucken" is the window's.
        auto* orientation = dialog->findChild<QComboBox*>("cboOrientation");
        orientation->setCurrentIndex(1);
        Q_EMIT orientation->activated(1);
        QCOMPARE(s.state().sheetSetup.orientation, QPageLayout::Landscape);
        // A title turns the header on; the captions are the window's set-up too.
        QTest::keyClicks(dialog->findChild<QLineEdit*>("txtTitle"), "Hochzeit");
        qobject_cast<QCheckBox*>(child("chkCaptionExposure"))->setChecked(true);
        const SheetSetup& setup = s.state().sheetSetup;
        QCOMPARE(std::tuple(setup.title, setup.header, setup.captionExposure, setup.captionTime),
            std::tuple(QString("Hochzeit"), true, true, false));
        dialog->findChild<QPushButton*>("cmdSetupPrint")->click();
        QCOMPARE(printer()->jobs().size(), size_t(1));
        QCOMPARE(printer()->pageLayout().orientation(), QPageLayout::Landscape);
        // "Bildauswahl": the list's entries by name, with the list's ticks both ways at once.
        auto* chooser = dialog->findChild<QListView*>("lstPictures");
        QAbstractItemModel* pictures = chooser->model();
        QCOMPARE(pictures->rowCount(), s.list()->count());
        const auto tickedThere
            = [&](int row) { return pictures->index(row, 0).data(Qt::CheckStateRole) == Qt::Checked; };
        QCOMPARE(pictures->index(5, 0).data().toString(), s.list()->item(5)->text());
        s.tick(5, false);
        QVERIFY(!tickedThere(5));
        chooser->setCurrentIndex(pictures->index(5, 0));
        chooser->selectionModel()->select(pictures->index(6, 0), QItemSelectionModel::Select);
        QTest::keyClick(chooser, Qt::Key_Space); // the selection takes the opposite of the current one's tick
        QCOMPARE(s.list()->item(5)->checkState(), Qt::Checked);
        QVERIFY(tickedThere(6));
        QVERIFY(s.info().startsWith("80 Datei(en) -  77 Datei(en) markiert"));
        QTRY_VERIFY(!pictures->index(0, 0).data(Qt::DecorationRole).value<QImage>().isNull());
        // "Markieren ab": exactly those rated so (sidecars here; the reader has its own test).
        for (const auto& [name, rating] :
            { std::pair { "bild003.xmp", 3 }, { "bild007.jpg.xmp", 5 }, { "bild009.xmp", 2 } })
            fixtures::writeFile(m_f->photos + "/" + name,
                QString(
                    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                    "<rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='%1'/></rdf:RDF></x:xmpmeta>")
                    .arg(rating)
                    .toUtf8());
        dialog->findChild<QComboBox*>("cboMinRating")->setCurrentIndex(2);
        dialog->findChild<QPushButton*>("cmdTickRated")->click();
        QVERIFY(s.info().startsWith("80 Datei(en) -  2 Datei(en) markiert"));
        QCOMPARE(s.list()->item(3)->checkState(), Qt::Checked);
        QVERIFY(tickedThere(7));
        QVERIFY(!tickedThere(9));
        // The further formats list the PNG too: the pictures still listed keep their ticks.
        fixtures::writeFile(
            m_f->photos + "/zeichnung.png", fixtures::encode(fixtures::filled(QSize(8, 8), Qt::red), "PNG"));
        qobject_cast<QCheckBox*>(child("chkAllFormats"))->setChecked(true);
        QCOMPARE(s.list()->count(), 81);
        QVERIFY(s.info().startsWith("81 Datei(en) -  2 Datei(en) markiert"));
        QCOMPARE(pictures->rowCount(), 81);
        qobject_cast<QCheckBox*>(child("chkTimeOrder"))->setChecked(true);
        QVERIFY(s.info().startsWith("81 Datei(en) -  2 Datei(en) markiert"));
        // A printer that is gone leaves the papers of "PDF-Datei", and a note.
        m_f->printers->setPrinterNames({ "Zweitdrucker" });
        s.tick(0, false);
        QTRY_VERIFY(child("lbPrinterNote")->isVisible());
        QCOMPARE(dialog->findChild<QComboBox*>("cboPaper")->count(), 5);
    }
    void endWithAMessage()
    {
        // A printer error, and "Keine markieren" as the job starts: the job ends as a job ends, and says why.
        // A job with a picture cut off and one unreadable names them once it is sent.
        const QByteArray whole = fixtures::encode(fixtures::quadrants(QSize(640, 480)), "JPEG");
        fixtures::writeFile(m_f->photos + "/halb.jpg", whole.left(whole.size() / 2));
        fixtures::writeFile(m_f->photos + "/kaputt.jpg", "kein Bild");
        WindowSession& s = open(5);
        for (const bool fails : { true, false }) {
            s.messages.shown.clear();
            printer()->failAt("PaintPicture", fails ? 3 : 0, "Papierstau");
            {
                AtEveryYield untick([&](int n) {
                    if (n == 1 && !fails)
                        s.click("cmdDeselect");
                });
                s.click("cmdPrint");
            }
            QCOMPARE(std::tuple(printer()->jobs().size(), s.messages.shown.size()), std::tuple(size_t(0), 1));
            const auto& shown = s.messages.shown[0];
            QCOMPARE(
                shown.text, QString(fails ? "Papierstau" : "Es wurde nichts gedruckt: kein Bild ist mehr markiert."));
            QVERIFY(shown.icon == (fails ? QMessageBox::Critical : QMessageBox::Information)
                && shown.title == s.window->windowTitle() && !s.state().bPrinting && s.enabled("cmdPrint"));
            s.tickFirst(5);
        }
        QCOMPARE(printer()->count("killDoc"), 2);
        s.messages.shown.clear();
        printer()->failAt("PaintPicture", 0, {});
        s.tick(5), s.tick(6);
        s.click("cmdPrint");
        QCOMPARE(std::tuple(printer()->jobs().size(), s.messages.shown.size()), std::tuple(size_t(1), 1));
        QVERIFY2(s.messages.shown[0].text.contains("nicht lesbar: kaputt.jpg (")
                && s.messages.shown[0].text.contains("beschädigt: halb.jpg (beschädigt (Premature end"),
            qPrintable(s.messages.shown[0].text));
    }
    void choiceOfPrinter()
    {
        // Chosen by its exact name, current for the job only.
        WindowSession& s = open(3, { "Testdrucker", "testdrucker", "Zweitdrucker" });
        s.get<QComboBox>("prnList")->setCurrentText("testdrucker");
        s.click("cmdPrint");
        QCOMPARE(std::tuple(printer("testdrucker")->jobs().size(), printer("Testdrucker")->jobs().size()),
            std::tuple(size_t(1), size_t(0)));
        QCOMPARE(m_f->printers->currentPrinterChanges(), QStringList({ "testdrucker", "Testdrucker" }));
        // The previous printer vanishes during the job: the chosen one stays current.
        s.get<QComboBox>("prnList")->setCurrentText("Zweitdrucker");
        {
            AtEveryYield removeFirst([&](int n) {
                if (n == 1)
                    m_f->printers->setPrinterNames({ "Zweitdrucker" });
            });
            s.click("cmdPrint");
        }
        QCOMPARE(printer("Zweitdrucker")->jobs(), std::vector<int>({ 1 }));
        QCOMPARE(m_f->printers->currentPrinter()->deviceName(), QString("Zweitdrucker"));
        QVERIFY(s.messages.shown.isEmpty());

        // The chosen printer is gone: no job starts, a message says so.
        m_f->printers->setPrinterNames({ "Anderer" });
        s.click("cmdPrint");
        QCOMPARE(s.messages.shown.size(), 1);
        QVERIFY(s.messages.shown[0].text.contains("Zweitdrucker"));
        QCOMPARE(printer("Zweitdrucker")->jobs().size(), size_t(1));
        QCOMPARE(std::tuple(s.state().bPrinting, s.enabled("cmdPrint")), std::tuple(false, true));
    }

private:
    WindowSession& open(int files, const QStringList& printers = { "Testdrucker", "Zweitdrucker", "PDF-Datei" })
    {
        writePhotos(m_f->photos, files);
        WindowSession& s = m_f->open(printers);
        s.tickFirst(files);
        return s;
    }
    RecordingPrinter* printer(const char* name = "Testdrucker") const { return m_f->printers->printer(name); }

    std::unique_ptr<WindowFixture<RecordingPrinterService>> m_f;
};

QTEST_MAIN(TestPrint)
#include "tst_ui_print.moc"
