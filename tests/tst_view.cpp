// The preview pane, the full-screen viewer and the slide show, driven as a user would.
#include "app/MainWindow.h"
#include "render/PictureBox.h"
#include "view/ImageViewer.h"

#include "FakeMessageBoxes.h"
#include "ImageFixtures.h"
#include "RecordingPrinterService.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace rasterblatt;

namespace {

QColor centreOf(const PictureBox* box)
{
    const QImage image = box->Image();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// The slide show's viewer while one is open.
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

// What a slide show put on screen: each picture path as it appeared, with the time.
struct Shown {
    QString path;
    qint64 ms;
    QColor centre;
};

} // namespace

class TestView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void previewFollowsTheCurrentEntry();
    void failedLoadKeepsThePicture();
    void previewOffStillCountsTicks();
    void tickAllLoadsNoMore();
    void uprightPreview();
    void viewerClosesOnlyOnEscapeOrClick();
    void fullScreenOpensANewViewerEachTime();
    void slideShowInListOrder();
    void closingTheViewerStopsTheShow();
    void unreadableFileKeepsThePictureTwoIntervals();
    void closingTheWindowEndsTheShow();

private:
    QString photo(const QString& name, const QColor& color);
    std::unique_ptr<MainWindow> makeWindow();
    template <typename T> T* get(const char* name) const { return m_window->findChild<T*>(QLatin1String(name)); }
    QListWidget* list() const { return get<QListWidget>("fileList"); }
    PictureBox* pane() const { return get<PictureBox>("picBox"); }
    QList<Shown> runSlideShow(float seconds, const std::function<void(const QList<Shown>&, ImageViewer*)>& during = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_photos;
    RecordingPrinterService m_printers;
    FakeMessageBoxes m_messages;
    std::unique_ptr<MainWindow> m_window;
};

void TestView::init()
{
    m_window.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_photos = m_dir->path() + "/Fotos";
    QDir().mkpath(m_photos);
}

QString TestView::photo(const QString& name, const QColor& color)
{
    const QString path = m_photos + '/' + name;
    const char* format = name.endsWith(".bmp") ? "BMP" : name.endsWith(".gif") ? "GIF" : "JPEG";
    fixtures::writeFile(path, fixtures::encode(fixtures::filled(QSize(320, 240), color), format));
    return path;
}

std::unique_ptr<MainWindow> TestView::makeWindow()
{
    auto window = std::make_unique<MainWindow>(m_printers, m_messages, m_dir->path() + "/settings.ini", m_photos);
    window->show();
    return window;
}

void TestView::previewFollowsTheCurrentEntry()
{
    const QString red = photo("a.jpg", Qt::red);
    const QString blue = photo("b.bmp", Qt::blue);
    m_window = makeWindow();
    list()->setCurrentRow(0);
    QCOMPARE(pane()->ToolTipText(), red);
    QCOMPARE(list()->toolTip(), red);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::red));
    QVERIFY(get<QPushButton>("cmdPreview")->isEnabled());

    list()->setCurrentRow(1);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));
    QCOMPARE(pane()->ToolTipText(), blue);

    // The same entry again loads nothing: a changed file stays unseen.
    photo("b.bmp", Qt::green);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(1)).center());
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::blue));

    // Preview off blanks the pane and forgets the picture; on again shows it anew.
    get<QCheckBox>("chkPreview")->setChecked(false);
    QCOMPARE(centreOf(pane()), QColor(Qt::white));
    QVERIFY(pane()->ToolTipText().isEmpty());
    QVERIFY(!get<QPushButton>("cmdPreview")->isEnabled());
    get<QCheckBox>("chkPreview")->setChecked(true);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::green));

    // Opening another folder clears the pane; the sub-folder option does not.
    get<QCheckBox>("chkSubDir")->setChecked(true);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::green));
    QCOMPARE(list()->currentRow(), -1);
}

void TestView::failedLoadKeepsThePicture()
{
    photo("a.jpg", Qt::red);
    const QString broken = m_photos + "/b.jpg";
    fixtures::writeFile(broken, "kein Bild, nur Text");
    m_window = makeWindow();
    list()->setCurrentRow(0);
    list()->setCurrentRow(1);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::red));
    QVERIFY(pane()->ToolTipText().isEmpty());
    QCOMPARE(list()->toolTip(), broken);

    // "Vollbild" is enabled but opens nothing while the pane records no picture.
    QVERIFY(get<QPushButton>("cmdPreview")->isEnabled());
    get<QPushButton>("cmdPreview")->click();
    QVERIFY(!openViewer());
}

void TestView::previewOffStillCountsTicks()
{
    photo("a.jpg", Qt::red);
    photo("b.jpg", Qt::blue);
    m_window = makeWindow();
    get<QCheckBox>("chkPreview")->setChecked(false);
    list()->item(1)->setCheckState(Qt::Checked);
    QCOMPARE(get<QLabel>("lbInfo")->text(), QString("2 Datei(en) -  1 Datei(en) markiert - 1 Druckseiten"));
    QCOMPARE(centreOf(pane()), QColor(Qt::white));
}

void TestView::tickAllLoadsNoMore()
{
    photo("a.jpg", Qt::red);
    photo("b.jpg", Qt::blue);
    photo("c.jpg", Qt::yellow);
    m_window = makeWindow();
    list()->setCurrentRow(2);
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::yellow));

    // Rewritten files show up only if something loads them.
    photo("a.jpg", Qt::green);
    photo("b.jpg", Qt::green);
    photo("c.jpg", Qt::green);
    get<QPushButton>("cmdSelect")->click();
    QVERIFY(fixtures::similarColor(centreOf(pane()), Qt::yellow));
    QCOMPARE(get<QLabel>("lbInfo")->text(), QString("3 Datei(en) -  3 Datei(en) markiert - 1 Druckseiten"));
}

void TestView::uprightPreview()
{
    const QImage upright = fixtures::quadrants(QSize(400, 300));
    fixtures::writeFile(m_photos + "/kamera.jpg", fixtures::orientedJpeg(upright, 6));
    m_window = makeWindow();
    list()->setCurrentRow(0);
    const QImage image = pane()->Image();
    // 4:3 fills the height: the picture spans the pane; check the four quadrant centres.
    const QPoint centres[] = { { 1, 1 }, { 3, 1 }, { 1, 3 }, { 3, 3 } };
    for (int q = 0; q < 4; ++q) {
        const QColor actual = image.pixelColor(centres[q].x() * image.width() / 4, centres[q].y() * image.height() / 4);
        QVERIFY2(fixtures::similarColor(actual, fixtures::quadrantColor(q)), qPrintable(actual.name()));
    }
}

void TestView::viewerClosesOnlyOnEscapeOrClick()
{
    MainWindow* owner = nullptr;
    QWidget parent;
    for (const Qt::Key key : { Qt::Key_Space, Qt::Key_Return, Qt::Key_Left, Qt::Key_Down }) {
        ImageViewer viewer(&parent);
        viewer.show();
        releaseKey(&viewer, key);
        QVERIFY(viewer.isVisible());
        QVERIFY(!viewer.bClosed());
    }
    {
        ImageViewer viewer(&parent);
        viewer.show();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&viewer, &press);
        QVERIFY(viewer.isVisible()); // a press alone does not close it
        releaseKey(viewer.picBox(), Qt::Key_Escape);
        QVERIFY(!viewer.isVisible());
        QVERIFY(viewer.bClosed());
    }
    {
        ImageViewer viewer(&parent);
        viewer.show();
        QTest::mouseClick(viewer.picBox(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!viewer.isVisible());
        QVERIFY(viewer.bClosed());
    }
    Q_UNUSED(owner);
}

void TestView::fullScreenOpensANewViewerEachTime()
{
    const QString red = photo("a.jpg", Qt::red);
    m_window = makeWindow();
    list()->setCurrentRow(0);

    QList<QPointer<ImageViewer>> seen;
    for (int opening = 0; opening < 2; ++opening) {
        QTimer::singleShot(0, this, [&] {
            auto* viewer = qobject_cast<ImageViewer*>(QApplication::activeModalWidget());
            QVERIFY(viewer);
            seen.append(viewer);
            QVERIFY(!viewer->bClosed());
            QVERIFY(viewer->picBox()->ToolTipText().isEmpty());
            QVERIFY(fixtures::similarColor(centreOf(viewer->picBox()), Qt::red));
            QCOMPARE(viewer->geometry(), QGuiApplication::primaryScreen()->geometry());
            releaseKey(viewer, Qt::Key_Escape);
        });
        if (opening == 0)
            get<QPushButton>("cmdPreview")->click();
        else
            QTest::mouseDClick(pane(), Qt::LeftButton, {}, QPoint(20, 20));
    }
    QCOMPARE(seen.size(), 2);
    // Each viewer is gone once its opening returns.
    QVERIFY(seen[0].isNull());
    QVERIFY(seen[1].isNull());
    QCOMPARE(pane()->ToolTipText(), red);
}

QList<Shown> TestView::runSlideShow(float seconds, const std::function<void(const QList<Shown>&, ImageViewer*)>& during)
{
    m_window->state().sngSlideSeconds = seconds;
    QList<Shown> shown;
    QElapsedTimer clock;
    QTimer watch;
    QString last = "-";
    connect(&watch, &QTimer::timeout, this, [&] {
        ImageViewer* viewer = openViewer();
        if (!viewer)
            return;
        const QString path = viewer->picBox()->ToolTipText();
        if (path != last && !(path.isEmpty() && last == "-")) {
            shown.append({ path, clock.elapsed(), centreOf(viewer->picBox()) });
            last = path;
        }
        if (during)
            during(shown, viewer);
    });
    watch.start(10);
    clock.start();
    get<QPushButton>("cmdPresentation")->click();
    watch.stop();
    shown.append({ "end", clock.elapsed(), {} });
    return shown;
}

void TestView::slideShowInListOrder()
{
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths << photo(QString("bild%1.jpg").arg(i), QColor::fromHsv(i * 36, 255, 255));
    m_window = makeWindow();
    for (int i : { 7, 2, 5 })
        list()->item(i)->setCheckState(Qt::Checked);
    QVERIFY(get<QPushButton>("cmdPresentation")->isEnabled());

    const float interval = 0.3f;
    const QList<Shown> shown = runSlideShow(interval);
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown[0].path, paths[2]);
    QCOMPARE(shown[1].path, paths[5]);
    QCOMPARE(shown[2].path, paths[7]);
    // Each picture stays its interval, the last one too before the viewer closes.
    for (int i = 1; i < 4; ++i)
        QVERIFY(shown[i].ms - shown[i - 1].ms >= interval * 1000 - 20);
    QVERIFY(!openViewer());
    QVERIFY(!m_window->state().bPresenting);
    QCOMPARE(m_window->state().sngSlideSeconds, interval);
}

void TestView::closingTheViewerStopsTheShow()
{
    for (int i = 0; i < 4; ++i)
        photo(QString("bild%1.jpg").arg(i), Qt::red);
    m_window = makeWindow();
    get<QPushButton>("cmdSelect")->click();
    const QList<Shown> shown = runSlideShow(0.3f, [](const QList<Shown>& sofar, ImageViewer* viewer) {
        if (sofar.size() == 2)
            releaseKey(viewer, Qt::Key_Escape);
    });
    QCOMPARE(shown.size(), 3); // two pictures, then the end
    QVERIFY(shown[1].path.endsWith("bild1.jpg"));
    QVERIFY(!m_window->state().bPresenting);
    QVERIFY(m_window->isVisible());
}

void TestView::unreadableFileKeepsThePictureTwoIntervals()
{
    photo("a.jpg", Qt::red);
    fixtures::writeFile(m_photos + "/b.jpg", QByteArray("\xff\xd8 kaputt", 9));
    photo("c.jpg", Qt::blue);
    m_window = makeWindow();
    get<QPushButton>("cmdSelect")->click();
    const float interval = 0.3f;
    const QList<Shown> shown = runSlideShow(interval);
    QCOMPARE(shown.size(), 4);
    QVERIFY(shown[0].path.endsWith("a.jpg"));
    QVERIFY(shown[1].path.isEmpty()); // the broken file: the tooltip empties, the picture stays
    QVERIFY(fixtures::similarColor(shown[1].centre, Qt::red));
    QVERIFY(shown[2].path.endsWith("c.jpg"));
    QVERIFY(shown[2].ms - shown[0].ms >= 2 * interval * 1000 - 20);
}

void TestView::closingTheWindowEndsTheShow()
{
    photo("a.jpg", Qt::red);
    photo("b.jpg", Qt::blue);
    m_window = makeWindow();
    get<QPushButton>("cmdSelect")->click();
    // Interval long enough that only closing the window can end the show in time.
    const QList<Shown> shown = runSlideShow(30.0f, [this](const QList<Shown>& sofar, ImageViewer*) {
        if (sofar.size() == 1)
            m_window->close();
    });
    QCOMPARE(shown.size(), 2);
    QVERIFY(shown.last().ms < 30000);
    QVERIFY(!m_window->isVisible());
    QVERIFY(!openViewer());
    QVERIFY(!m_window->state().bPresenting);
    QVERIFY(QFile::exists(m_dir->path() + "/settings.ini"));
}

QTEST_MAIN(TestView)
#include "tst_view.moc"
