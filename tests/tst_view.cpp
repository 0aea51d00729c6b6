// The preview pane, the full-screen viewer and the slide show, driven as a user would.
#include "render/PictureBox.h"
#include "view/ImageViewer.h"

#include "Photos.h"
#include "RecordingPrinterService.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

namespace {

QColor centreOf(const PictureBox* box)
{
    const QImage image = box->Image();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

ImageViewer* openViewer()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* viewer = qobject_cast<ImageViewer*>(widget); viewer && viewer->isVisible())
            return viewer;
    }
    return nullptr;
}

void releaseKey(QWidget* widget, Qt::Key key)
{
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// A picture as the slide show put it on screen.
struct Slide {
    QString path; // "" for a file that failed to load; "end" when the show returned
    qint64 ms;
    QColor centre;
};

} // namespace

class TestView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { m_f = std::make_unique<WindowFixture<RecordingPrinterService>>(); }
    void preview();
    void viewerKeys();
    void fullScreenOpensANewViewerEachTime();
    void slideShowInListOrder();
    void slideShowStops_data();
    void slideShowStops();

private:
    QString photo(const QString& name, const QColor& color) const
    {
        const QString path = m_f->photos + '/' + name;
        fixtures::writeFile(
            path, fixtures::encode(fixtures::filled(QSize(320, 240), color), name.endsWith(".bmp") ? "BMP" : "JPEG"));
        return path;
    }
    PictureBox* pane() const { return m_f->session->get<PictureBox>("picBox"); }
    QList<Slide> slideShow(float seconds, const std::function<void(qsizetype shown, ImageViewer*)>& during = {});

    std::unique_ptr<WindowFixture<RecordingPrinterService>> m_f;
};

void TestView::preview()
{
    const QString red = photo("a.jpg", Qt::red);
    const QString blue = photo("b.bmp", Qt::blue);
    photo("c.jpg", Qt::yellow);
    const QString broken = m_f->photos + "/d.jpg";
    fixtures::writeFile(broken, "kein Bild, nur Text");
    WindowSession& s = m_f->open();
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    s.list()->setFocus(); // tabbing into the list chooses no entry
    QCOMPARE(s.list()->currentRow(), -1);
    s.list()->setCurrentRow(0);
    QCOMPARE(pane()->ToolTipText(), red);
    QCOMPARE(s.list()->toolTip(), red);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::red));
    s.list()->setCurrentRow(3); // the BMP comes after the JPEGs
    QCOMPARE(pane()->ToolTipText(), blue);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));

    // Clicking the current entry again, or ticking all, loads nothing: rewritten files stay unseen.
    photo("a.jpg", Qt::green);
    photo("b.bmp", Qt::green);
    QTest::mouseClick(s.list()->viewport(), Qt::LeftButton, {}, s.list()->visualItemRect(s.list()->item(3)).center());
    s.click("cmdSelect");
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));

    // A file that fails to load keeps the picture; "Vollbild" is enabled but opens nothing.
    s.list()->setCurrentRow(2);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));
    QVERIFY(pane()->ToolTipText().isEmpty());
    QCOMPARE(s.list()->toolTip(), broken);
    QVERIFY(s.enabled("cmdPreview"));
    s.click("cmdPreview");
    QVERIFY(!openViewer());

    // Preview off blanks the pane and forgets its picture; ticks still count.
    s.get<QCheckBox>("chkPreview")->setChecked(false);
    QCOMPARE(centreOf(pane()), QColor(Qt::white));
    QVERIFY(pane()->ToolTipText().isEmpty() && !s.enabled("cmdPreview"));
    s.tick(0, false);
    QCOMPARE(s.info(), QString("4 Datei(en) -  3 Datei(en) markiert - 1 Druckseiten"));
    s.list()->setCurrentRow(3);
    s.get<QCheckBox>("chkPreview")->setChecked(true);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::green));

    // The sub-folder option keeps the picture, though no entry is current any more.
    s.get<QCheckBox>("chkSubDir")->setChecked(true);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::green));
    QCOMPARE(s.list()->currentRow(), -1);
}

void TestView::viewerKeys()
{
    // Only Escape, on its release, and a click close the viewer.
    QWidget owner;
    for (const Qt::Key key : { Qt::Key_Space, Qt::Key_Return, Qt::Key_Left, Qt::Key_Down, Qt::Key_Escape }) {
        ImageViewer viewer(&owner);
        viewer.show();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &press);
        QVERIFY(viewer.isVisible());
        releaseKey(viewer.picBox(), key);
        QCOMPARE(viewer.isVisible(), key != Qt::Key_Escape);
        QCOMPARE(viewer.bClosed(), key == Qt::Key_Escape);
    }
    ImageViewer byClick(&owner);
    byClick.show();
    QTest::mouseClick(byClick.picBox(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!byClick.isVisible() && byClick.bClosed());
}

void TestView::fullScreenOpensANewViewerEachTime()
{
    const QString red = photo("a.jpg", Qt::red);
    WindowSession& s = m_f->open();
    s.list()->setCurrentRow(0);
    QList<QPointer<ImageViewer>> seen;
    for (int opening = 0; opening < 2; ++opening) {
        QTimer::singleShot(0, this, [&] {
            auto* viewer = qobject_cast<ImageViewer*>(QApplication::activeModalWidget());
            QVERIFY(viewer && !viewer->bClosed());
            seen.append(viewer);
            QVERIFY(viewer->picBox()->ToolTipText().isEmpty());
            QVERIFY(fixtures::similarColor(centreOf(viewer->picBox()), Qt::red));
            QCOMPARE(viewer->geometry(), QGuiApplication::primaryScreen()->geometry());
            releaseKey(viewer, Qt::Key_Escape);
        });
        if (opening == 0)
            s.click("cmdPreview");
        else
            QTest::mouseDClick(pane(), Qt::LeftButton, {}, QPoint(20, 20));
    }
    // Two instances, each gone once its opening returned.
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].isNull() && seen[1].isNull());
    QCOMPARE(pane()->ToolTipText(), red);
}

QList<Slide> TestView::slideShow(float seconds, const std::function<void(qsizetype, ImageViewer*)>& during)
{
    m_f->session->state().sngSlideSeconds = seconds;
    QList<Slide> shown;
    QElapsedTimer clock;
    QString last = "-";
    AtEveryYield watch(
        [&](int) {
            if (ImageViewer* viewer = openViewer()) {
                const QString path = viewer->picBox()->ToolTipText();
                if (path != last && !(path.isEmpty() && last == "-"))
                    shown.append({ last = path, clock.elapsed(), centreOf(viewer->picBox()) });
                if (during)
                    during(shown.size(), viewer);
            }
        },
        10);
    clock.start();
    m_f->session->click("cmdPresentation");
    shown.append({ "end", clock.elapsed(), {} });
    return shown;
}

void TestView::slideShowInListOrder()
{
    const QStringList paths = writePhotos(m_f->photos, 10, 0, QSize(320, 240));
    fixtures::writeFile(paths[3], QByteArray("\xff\xd8 kaputt", 9));
    WindowSession& s = m_f->open();
    for (int i : { 7, 2, 3, 5 })
        s.tick(i);
    const QList<Slide> shown = slideShow(0.3f);
    QCOMPARE(shown.size(), 5);
    QCOMPARE(shown[0].path, paths[2]);
    // The file that cannot be read empties the tooltip and keeps the picture for its interval.
    QVERIFY(shown[1].path.isEmpty() && fixtures::similarColor(shown[1].centre, photoColor(2)));
    QCOMPARE(shown[2].path, paths[5]);
    QCOMPARE(shown[3].path, paths[7]);
    // Each picture stays its interval, the last one too before the viewer closes.
    for (int i = 1; i < 5; ++i)
        QVERIFY(shown[i].ms - shown[i - 1].ms >= 280);
    QVERIFY(!openViewer() && !s.state().bPresenting);
}

void TestView::slideShowStops_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("viewer closed") << false;
    QTest::newRow("main window closed") << true;
}

void TestView::slideShowStops()
{
    QFETCH(bool, closeWindow);
    writePhotos(m_f->photos, 4);
    WindowSession& s = m_f->open();
    s.click("cmdSelect");
    // An interval long enough that only the close can end the show in time.
    const QList<Slide> shown = slideShow(30.0f, [&](qsizetype count, ImageViewer* viewer) {
        if (count == 1 && closeWindow)
            s.window->close();
        else if (count == 1)
            releaseKey(viewer, Qt::Key_Escape);
    });
    QCOMPARE(shown.size(), 2); // one picture, then the end
    QVERIFY(shown.last().ms < 30000);
    QVERIFY(!openViewer() && !s.state().bPresenting);
    QCOMPARE(s.window->isVisible(), !closeWindow);
    QCOMPARE(QFile::exists(m_f->settings), closeWindow);
}

QTEST_MAIN(TestView)
#include "tst_view.moc"
