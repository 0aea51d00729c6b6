// The preview pane, the full-screen viewer and the slide show, driven as a user would.
#include "render/PictureBox.h"
#include "view/ImageViewer.h"

#include "ImageFixtures.h"
#include "RecordingPrinterService.h"
#include "WindowSession.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
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
    void init();
    void preview();
    void failedLoadKeepsThePicture();
    void uprightPreview();
    void viewerKeys();
    void fullScreenOpensANewViewerEachTime();
    void slideShowInListOrder();
    void slideShowStops_data();
    void slideShowStops();
    void unreadableFileKeepsThePictureTwoIntervals();

private:
    QString photo(const QString& name, const QColor& color) const;
    WindowSession& open();
    PictureBox* pane() const { return m_session->get<PictureBox>("picBox"); }
    QList<Slide> slideShow(float seconds, const std::function<void(qsizetype shown, ImageViewer*)>& during = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_photos;
    RecordingPrinterService m_printers;
    std::unique_ptr<WindowSession> m_session;
};

void TestView::init()
{
    m_session.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_photos = m_dir->path() + "/Fotos";
    QDir().mkpath(m_photos);
}

QString TestView::photo(const QString& name, const QColor& color) const
{
    const QString path = m_photos + '/' + name;
    const char* format = name.endsWith(".bmp") ? "BMP" : "JPEG";
    fixtures::writeFile(path, fixtures::encode(fixtures::filled(QSize(320, 240), color), format));
    return path;
}

WindowSession& TestView::open()
{
    m_session = std::make_unique<WindowSession>(m_printers, m_dir->path() + "/settings.ini", m_photos);
    m_session->window->show();
    return *m_session;
}

void TestView::preview()
{
    const QString red = photo("a.jpg", Qt::red);
    const QString blue = photo("b.bmp", Qt::blue);
    photo("c.jpg", Qt::yellow);
    WindowSession& s = open();
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    s.list()->setFocus(); // tabbing into the list chooses no entry
    QCOMPARE(s.list()->currentRow(), -1);
    s.list()->setCurrentRow(0);
    QCOMPARE(pane()->ToolTipText(), red);
    QCOMPARE(s.list()->toolTip(), red);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::red));
    QVERIFY(s.enabled("cmdPreview"));
    s.list()->setCurrentRow(2); // the BMP comes after the JPEGs
    QCOMPARE(pane()->ToolTipText(), blue);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));

    // Clicking the current entry again, or ticking all, loads nothing: rewritten files stay unseen.
    photo("a.jpg", Qt::green);
    photo("b.bmp", Qt::green);
    QTest::mouseClick(s.list()->viewport(), Qt::LeftButton, {}, s.list()->visualItemRect(s.list()->item(2)).center());
    s.click("cmdSelect");
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));
    QCOMPARE(s.info(), QString("3 Datei(en) -  3 Datei(en) markiert - 1 Druckseiten"));

    // Preview off blanks the pane and forgets its picture; ticks still count.
    s.get<QCheckBox>("chkPreview")->setChecked(false);
    QCOMPARE(centreOf(pane()), QColor(Qt::white));
    QVERIFY(pane()->ToolTipText().isEmpty() && !s.enabled("cmdPreview"));
    s.tick(0, false);
    QCOMPARE(s.info(), QString("3 Datei(en) -  2 Datei(en) markiert - 1 Druckseiten"));
    s.get<QCheckBox>("chkPreview")->setChecked(true);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::green));

    // The sub-folder option keeps the picture, though no entry is current any more.
    s.get<QCheckBox>("chkSubDir")->setChecked(true);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::green));
    QCOMPARE(s.list()->currentRow(), -1);
}

void TestView::failedLoadKeepsThePicture()
{
    photo("a.jpg", Qt::red);
    const QString broken = m_photos + "/b.jpg";
    fixtures::writeFile(broken, "kein Bild, nur Text");
    WindowSession& s = open();
    s.list()->setCurrentRow(0);
    s.list()->setCurrentRow(1);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::red));
    QVERIFY(pane()->ToolTipText().isEmpty());
    QCOMPARE(s.list()->toolTip(), broken);
    // "Vollbild" is enabled but opens nothing while the pane records no picture.
    QVERIFY(s.enabled("cmdPreview"));
    s.click("cmdPreview");
    QVERIFY(!openViewer());
}

void TestView::uprightPreview()
{
    fixtures::writeFile(m_photos + "/kamera.jpg", fixtures::orientedJpeg(fixtures::quadrants(QSize(400, 300)), 6));
    open().list()->setCurrentRow(0);
    const QImage image = pane()->Image();
    for (int q = 0; q < 4; ++q) {
        const QColor actual
            = image.pixelColor((1 + 2 * (q % 2)) * image.width() / 4, (1 + 2 * (q / 2)) * image.height() / 4);
        QVERIFY2(fixtures::similarColor(actual, fixtures::quadrantColor(q)), qPrintable(actual.name()));
    }
}

void TestView::viewerKeys()
{
    QWidget owner;
    for (const Qt::Key key : { Qt::Key_Space, Qt::Key_Return, Qt::Key_Left, Qt::Key_Down }) {
        ImageViewer viewer(&owner);
        viewer.show();
        releaseKey(&viewer, key);
        QVERIFY(viewer.isVisible() && !viewer.bClosed());
    }
    ImageViewer byEscape(&owner);
    byEscape.show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&byEscape, &press);
    QVERIFY(byEscape.isVisible()); // it closes on the release
    releaseKey(byEscape.picBox(), Qt::Key_Escape);
    QVERIFY(!byEscape.isVisible() && byEscape.bClosed());

    ImageViewer byClick(&owner);
    byClick.show();
    QTest::mouseClick(byClick.picBox(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!byClick.isVisible() && byClick.bClosed());
}

void TestView::fullScreenOpensANewViewerEachTime()
{
    const QString red = photo("a.jpg", Qt::red);
    WindowSession& s = open();
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
    m_session->state().sngSlideSeconds = seconds;
    QList<Slide> shown;
    QElapsedTimer clock;
    QString last = "-";
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (ImageViewer* viewer = openViewer()) {
            const QString path = viewer->picBox()->ToolTipText();
            if (path != last && !(path.isEmpty() && last == "-"))
                shown.append({ last = path, clock.elapsed(), centreOf(viewer->picBox()) });
            if (during)
                during(shown.size(), viewer);
        }
    });
    watch.start(10);
    clock.start();
    m_session->click("cmdPresentation");
    shown.append({ "end", clock.elapsed(), {} });
    return shown;
}

void TestView::slideShowInListOrder()
{
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths << photo(QString("bild%1.jpg").arg(i), QColor::fromHsv(i * 36, 255, 255));
    WindowSession& s = open();
    for (int i : { 7, 2, 5 })
        s.tick(i);
    const QList<Slide> shown = slideShow(0.3f);
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown[0].path, paths[2]);
    QCOMPARE(shown[1].path, paths[5]);
    QCOMPARE(shown[2].path, paths[7]);
    // Each picture stays its interval, the last one too before the viewer closes.
    for (int i = 1; i < 4; ++i)
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
    for (int i = 0; i < 4; ++i)
        photo(QString("bild%1.jpg").arg(i), Qt::red);
    WindowSession& s = open();
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
    QCOMPARE(QFile::exists(m_dir->path() + "/settings.ini"), closeWindow);
}

void TestView::unreadableFileKeepsThePictureTwoIntervals()
{
    photo("a.jpg", Qt::red);
    fixtures::writeFile(m_photos + "/b.jpg", QByteArray("\xff\xd8 kaputt", 9));
    photo("c.jpg", Qt::blue);
    open().click("cmdSelect");
    const QList<Slide> shown = slideShow(0.3f);
    QCOMPARE(shown.size(), 4);
    QVERIFY(shown[0].path.endsWith("a.jpg"));
    QVERIFY(shown[1].path.isEmpty()); // the tooltip empties, the picture stays
    QVERIFY(fixtures::similarColor(shown[1].centre, Qt::red));
    QVERIFY(shown[2].path.endsWith("c.jpg"));
    QVERIFY(shown[2].ms - shown[0].ms >= 580);
}

QTEST_MAIN(TestView)
#include "tst_view.moc"
