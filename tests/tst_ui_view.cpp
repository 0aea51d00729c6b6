// SPDX-License-Identifier: GPL-3.0-or-later
// The preview pane, the full-screen viewer and the slide show, driven as a user would.
#include "engine/catalogue/NativePath.h"
#include "ui/widgets/ImageViewer.h"
#include "ui/widgets/PictureBox.h"

#include "Photos.h"
#include "RecordingPrinterService.h"
#include "WindowSession.h"

#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

class TestView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_f = std::make_unique<WindowFixture<RecordingPrinterService>>(); }
    void preview()
    {
        // The first file's name is Latin-1, as old archives have them: the tooltips show it readably.
        const QByteArray latin1 = QFile::encodeName(m_f->photos) + "/\xe4pfel.jpg";
        fixtures::writeFile(latin1, fixtures::encode(fixtures::filled(QSize(320, 240), Qt::red), "JPEG"));
        const auto remove = qScopeGuard([&] { ::unlink(latin1.constData()); });
        const QString red = pathFromNative(latin1), readable = m_f->photos + "/\u00e4pfel.jpg";
        const QString blue = photo("b.bmp", Qt::blue), broken = m_f->photos + "/d.jpg";
        photo("c.jpg", Qt::yellow);
        fixtures::writeFile(broken, "kein Bild, nur Text");
        WindowSession& s = m_f->open();
        QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
        s.list()->setFocus(); // tabbing into the list chooses no entry
        QCOMPARE(s.list()->currentRow(), -1);
        s.list()->setCurrentRow(0);
        QCOMPARE(std::tuple(pane()->ToolTipText(), shows(Qt::red)), std::tuple(red, true));
        QCOMPARE(std::tuple(pane()->toolTip(), s.list()->toolTip()), std::tuple(readable, readable));
        s.list()->setCurrentRow(3); // the BMP comes after the JPEGs
        QCOMPARE(std::tuple(pane()->ToolTipText(), shows(Qt::blue)), std::tuple(blue, true));
        // A file that fails to load keeps the picture; "Vollbild" is enabled but opens nothing.
        s.list()->setCurrentRow(2);
        QCOMPARE(std::tuple(shows(Qt::blue), pane()->ToolTipText(), s.list()->toolTip()),
            std::tuple(true, QString(), broken));
        QVERIFY(s.enabled("cmdPreview"));
        s.click("cmdPreview"); // a viewer would block here
        // Preview off blanks the pane and forgets its picture: turned on again, it loads the file anew.
        photo("b.bmp", Qt::green);
        s.get<QCheckBox>("chkPreview")->setChecked(false);
        QCOMPARE(std::tuple(shows(Qt::white), pane()->ToolTipText(), s.enabled("cmdPreview")),
            std::tuple(true, QString(), false));
        s.list()->setCurrentRow(3);
        s.get<QCheckBox>("chkPreview")->setChecked(true);
        QVERIFY(shows(Qt::green));
        // The sub-folder option keeps the picture, though no entry is current any more.
        s.get<QCheckBox>("chkSubDir")->setChecked(true);
        QCOMPARE(std::tuple(shows(Qt::green), s.list()->currentRow()), std::tuple(true, -1));
    }
    void fullScreen()
    {
        // "Vollbild" and a double click each open a new viewer; only Escape, on its release, and a click close it.
        const QString red = photo("a.jpg", Qt::red);
        WindowSession& s = m_f->open();
        s.list()->setCurrentRow(0);
        QList<QPointer<ImageViewer>> seen;
        const auto expectViewer = [&](bool byClick) {
            QTimer::singleShot(0, this, [&, byClick] {
                auto* viewer = qobject_cast<ImageViewer*>(QApplication::activeModalWidget());
                seen.append(viewer);
                const auto close = qScopeGuard([&] {
                    byClick ? QTest::mouseClick(viewer->picBox(), Qt::LeftButton)
                            : QTest::keyRelease(viewer->picBox(), Qt::Key_Escape);
                    QVERIFY(viewer->bClosed());
                });
                QCOMPARE(std::tuple(viewer->picBox()->ToolTipText(), shows(viewer->picBox(), Qt::red)),
                    std::tuple(QString(), true));
                QCOMPARE(viewer->geometry(), QGuiApplication::primaryScreen()->geometry());
                for (const Qt::Key key : { Qt::Key_Space, Qt::Key_Return, Qt::Key_Left })
                    QTest::keyClick(viewer->picBox(), key);
                QTest::keyPress(viewer->picBox(), Qt::Key_Escape);
                QCOMPARE(std::tuple(viewer->isVisible(), viewer->bClosed()), std::tuple(true, false));
            });
        };
        expectViewer(false);
        s.click("cmdPreview");
        expectViewer(true);
        QTest::mouseDClick(pane(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(std::tuple(seen.size(), seen.count(nullptr)), std::tuple(2, 2)); // two viewers, both gone
        QCOMPARE(pane()->ToolTipText(), red);
    }
    void slideShow_data()
    {
        QTest::addColumn<QString>("stop");
        QTest::newRow("to its end") << "";
        QTest::newRow("Escape") << "Escape";
        QTest::newRow("main window closed") << "close";
    }
    void slideShow()
    {
        QFETCH(QString, stop);
        const QStringList paths = writePhotos(m_f->photos, 10, 0, QSize(320, 240));
        fixtures::writeFile(paths[3], QByteArray("\xff\xd8 kaputt", 9));
        WindowSession& s = m_f->open();
        for (int i : { 7, 2, 3, 5 })
            s.tick(i);
        s.state().sngSlideSeconds = stop.isEmpty() ? 0.3f : 30.0f; // only a stop ends a long show in time
        QStringList shown; // each picture put on screen, "" for a failed file that left the picture as it was
        QList<qint64> ms;
        QElapsedTimer clock;
        AtEveryYield watch(
            [&](int) {
                ImageViewer* open = viewer();
                const QString path = open ? open->picBox()->ToolTipText() : QString();
                if (!open || (shown.isEmpty() ? path.isEmpty() : path == shown.last()))
                    return;
                shown << (path.isEmpty() && !shows(open->picBox(), photoColor(2)) ? "picture lost" : path);
                ms << clock.elapsed();
                if (stop == "close")
                    s.window->close();
                else if (stop == "Escape")
                    QTest::keyRelease(open, Qt::Key_Escape);
            },
            10);
        clock.start();
        s.click("cmdPresentation");
        ms << clock.elapsed();
        QCOMPARE(std::tuple(viewer() != nullptr, s.state().bPresenting), std::tuple(false, false));
        QCOMPARE(s.window->isVisible(), stop != "close");
        QCOMPARE(QFile::exists(m_f->settings), stop == "close");
        // In list order, the failed file in its place; a stop ends the show at once.
        QCOMPARE(shown, stop.isEmpty() ? QStringList({ paths[2], "", paths[5], paths[7] }) : QStringList({ paths[2] }));
        QVERIFY(ms.last() < 30000);
        // Each picture stays its interval, the last one too before the viewer closes.
        for (int i = 1; stop.isEmpty() && i < ms.size(); ++i)
            QVERIFY(ms[i] - ms[i - 1] >= 280);
    }

private:
    QString photo(const QString& name, const QColor& color) const
    {
        const QString path = m_f->photos + '/' + name;
        fixtures::writeFile(
            path, fixtures::encode(fixtures::filled(QSize(320, 240), color), name.endsWith(".bmp") ? "BMP" : "JPEG"));
        return path;
    }
    ImageViewer* viewer() const { return m_f->session->window->findChild<ImageViewer*>(); }
    PictureBox* pane() const { return m_f->session->get<PictureBox>("picBox"); }
    static bool shows(const PictureBox* box, const QColor& color)
    {
        const QImage image = box->Image();
        return fixtures::similarColor(image.pixelColor(image.width() / 2, image.height() / 2), color);
    }
    bool shows(const QColor& color) const { return shows(pane(), color); }

    std::unique_ptr<WindowFixture<RecordingPrinterService>> m_f;
};

QTEST_MAIN(TestView)
#include "tst_ui_view.moc"
