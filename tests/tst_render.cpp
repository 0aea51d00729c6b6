#include <cmath>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ImageFixtures.h"
#include "render/FitAndPaint.h"
#include "render/PictureBox.h"
#include "render/PictureLoader.h"

using namespace rasterblatt;

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Infinity = std::numeric_limits<float>::infinity();

enum class Entry { File, Missing, Folder, Locked };

// The main window's preview pane: 2895 x 2175 twips at 96 dpi, framed, printed sharp.
void makePreviewPane(PictureBox& box)
{
    box.resize(193, 145);
    box.setBorder(true);
    box.setMinimumImageScale(2);
}

// The colour at a point given as fractions of the image's width and height.
QColor colorAt(const QImage& image, double fx, double fy)
{
    return image.pixelColor(static_cast<int>(fx * image.width()), static_cast<int>(fy * image.height()));
}

// A 4:3 quadrant picture fills the preview pane's height and all but 0.5 % of its width.
void verifyUprightQuadrants(const QImage& image)
{
    const QPointF centres[] = { { 0.25, 0.25 }, { 0.75, 0.25 }, { 0.25, 0.75 }, { 0.75, 0.75 } };
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const QColor actual = colorAt(image, centres[quadrant].x(), centres[quadrant].y());
        QVERIFY2(fixtures::similarColor(actual, fixtures::quadrantColor(quadrant)),
            qPrintable(QStringLiteral("quadrant %1 is %2").arg(quadrant).arg(actual.name())));
    }
}

} // namespace

class TestRender : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void fit_data();
    void fit();

    void decodeSize_data();
    void decodeSize();
    void loadsUpright_data();
    void loadsUpright();
    void failures_data();
    void failures();
    void truncatedJpeg_data();
    void truncatedJpeg();
    void nonUtf8Name();

    void previewCentresPicture();
    void tinyBox_data();
    void tinyBox();
    void boxBeforeShown_data();
    void boxBeforeShown();
    void paintPicturePlacesInTwips();
    void clicks_data();
    void clicks();

private:
    QString write(const QString& name, const QByteArray& data);
    // Shows a good picture in the pane, then the bad file: it must fail and leave the
    // pane's drawing as it was.
    void verifyFailureKeepsDrawing(const QString& path);

    QTemporaryDir m_dir;
};

void TestRender::initTestCase() { QVERIFY(m_dir.isValid()); }

QString TestRender::write(const QString& name, const QByteArray& data)
{
    const QString path = m_dir.filePath(name);
    if (!fixtures::writeFile(path, data))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestRender::verifyFailureKeepsDrawing(const QString& path)
{
    PictureBox box;
    makePreviewPane(box);
    const QString good = write("good.jpg", fixtures::encode(fixtures::quadrants(QSize(64, 48)), "JPEG"));
    QVERIFY(showPicture(good, box, true));
    const QImage before = box.Image();

    QVERIFY(!showPicture(path, box, true));
    QCOMPARE(box.ToolTipText(), QString());
    QCOMPARE(box.Image(), before);
}

void TestRender::fit_data()
{
    QTest::addColumn<QSizeF>("picture");
    QTest::addColumn<QSizeF>("area");
    QTest::addColumn<bool>("keepAspect");
    QTest::addColumn<QRectF>("expected"); // null: nothing to paint
    QTest::addColumn<bool>("fullWidth");

    // The preview pane's available area, and that of a 1024 x 768 screen.
    const QSizeF pane(2835, 2115);
    const QSizeF screen(15300, 11460);
    QTest::newRow("landscape in pane") << QSizeF(24000, 18000) << pane << true << QRectF(7.5, 0, 2820, 2115) << false;
    QTest::newRow("portrait in pane") << QSizeF(18000, 24000) << pane << true << QRectF(624.375, 0, 1586.25, 2115)
                                      << false;
    QTest::newRow("small, enlarged") << QSizeF(480, 360) << pane << true << QRectF(7.5, 0, 2820, 2115) << false;
    QTest::newRow("pane's proportions") << pane << pane << true << QRectF(0, 0, 2835, 2115) << true;
    QTest::newRow("panorama in pane") << QSizeF(30000, 10000) << pane << true << QRectF(0, 585, 2835, 945) << true;
    QTest::newRow("4:3 full screen") << QSizeF(15360, 11520) << screen << true << QRectF(10, 0, 15280, 11460) << false;
    QTest::newRow("16:9 full screen") << QSizeF(28800, 16200) << screen << true << QRectF(0, 1426.875, 15300, 8606.25)
                                      << true;
    // Taken the other way, the rounding of the proportions leaves this 0.001 short.
    QTest::newRow("screen's proportions") << QSizeF(5100, 3820) << screen << true << QRectF(0, 0, 15300, 11460) << true;
    QTest::newRow("stretched") << QSizeF(18000, 24000) << pane << false << QRectF(0, 0, 2835, 2115) << true;
    QTest::newRow("stretched, no picture size") << QSizeF(0, 0) << pane << false << QRectF(0, 0, 2835, 2115) << true;

    QTest::newRow("no picture width") << QSizeF(0, 100) << pane << true << QRectF() << false;
    QTest::newRow("no picture height") << QSizeF(100, 0) << pane << true << QRectF() << false;
    QTest::newRow("box of 50 twips") << QSizeF(100, 100) << QSizeF(-10, 2115) << true << QRectF() << false;
    QTest::newRow("box of 60 twips") << QSizeF(100, 100) << QSizeF(0, 0) << true << QRectF() << false;
    QTest::newRow("box of 60 twips, stretched") << QSizeF(100, 100) << QSizeF(2835, 0) << false << QRectF() << false;
    QTest::newRow("NaN picture") << QSizeF(NaN, 100) << pane << true << QRectF() << false;
    QTest::newRow("infinite picture") << QSizeF(Infinity, 100) << pane << true << QRectF() << false;
    QTest::newRow("NaN area") << QSizeF(100, 100) << QSizeF(NaN, 2115) << true << QRectF() << false;
    QTest::newRow("infinite area, stretched") << QSizeF(1, 1) << QSizeF(Infinity, 1) << false << QRectF() << false;
    QTest::newRow("proportion overflows") << QSizeF(3e38, 1e-38) << pane << true << QRectF() << false;
}

void TestRender::fit()
{
    QFETCH(QSizeF, picture);
    QFETCH(QSizeF, area);
    QFETCH(bool, keepAspect);
    QFETCH(QRectF, expected);
    QFETCH(bool, fullWidth);

    const auto areaWidth = static_cast<float>(area.width());
    const auto areaHeight = static_cast<float>(area.height());
    const FitResult fit = fitPicture(
        static_cast<float>(picture.width()), static_cast<float>(picture.height()), areaWidth, areaHeight, keepAspect);
    const QString got = QStringLiteral("%1, %2, %3 x %4").arg(fit.x).arg(fit.y).arg(fit.width).arg(fit.height);
    if (expected.isNull()) {
        QVERIFY2(fit.isEmpty() && std::isfinite(fit.x) && std::isfinite(fit.y), qPrintable(got));
        return;
    }
    const auto close = [](qreal a, qreal b) { return qAbs(a - b) <= 0.01; };
    QVERIFY2(close(fit.x, expected.x()) && close(fit.y, expected.y()) && close(fit.width, expected.width())
            && close(fit.height, expected.height()),
        qPrintable(got));
    // The branch taken shows in which side equals the area's exactly.
    QVERIFY2(fullWidth ? fit.width == areaWidth : fit.height == areaHeight, qPrintable(got));
}

void TestRender::decodeSize_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QSize>("expected");

    // An upright 1600 x 1200 picture, stored as is or turned (shown turned clockwise).
    for (const int orientation : { 1, 6 }) {
        const QByteArray tag = orientation == 1 ? "upright: " : "turned: ";
        QTest::newRow(tag + "preview") << orientation << QSize(378, 283) << QSize(378, 284);
        QTest::newRow(tag + "exact eighth") << orientation << QSize(200, 150) << QSize(200, 150);
        QTest::newRow(tag + "taller target") << orientation << QSize(200, 300) << QSize(400, 300);
        QTest::newRow(tag + "few pixels") << orientation << QSize(4, 4) << QSize(6, 4);
        QTest::newRow(tag + "larger than picture") << orientation << QSize(3000, 2000) << QSize(1600, 1200);
        QTest::newRow(tag + "one side larger") << orientation << QSize(1700, 10) << QSize(1600, 1200);
        QTest::newRow(tag + "no target") << orientation << QSize() << QSize(1600, 1200);
    }
}

void TestRender::decodeSize()
{
    QFETCH(int, orientation);
    QFETCH(QSize, target);
    QFETCH(QSize, expected);

    const QString path = write("big.jpg", fixtures::orientedJpeg(fixtures::quadrants(QSize(1600, 1200)), orientation));

    PictureLoader loader(path);
    QCOMPARE(loader.naturalSize(), QSize(1600, 1200));
    QCOMPARE(loader.decodeSize(target), expected);
    // Decoded at that size, upright and undistorted.
    const QImage image = loader.read(target);
    QCOMPARE(image.size(), expected);
    QVERIFY(fixtures::similarColor(colorAt(image, 0.1, 0.1), fixtures::quadrantColor(0)));
    QVERIFY(fixtures::similarColor(colorAt(image, 0.9, 0.9), fixtures::quadrantColor(3)));
}

void TestRender::loadsUpright_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");

    const QImage upright = fixtures::quadrants(QSize(64, 48));
    QTest::newRow("jpeg") << "bild.jpg" << fixtures::encode(upright, "JPEG");
    QTest::newRow("bmp") << "bild.bmp" << fixtures::encode(upright, "BMP");
    QTest::newRow("gif") << "bild.gif" << fixtures::encode(upright, "GIF");
    QTest::newRow("bmp named .jpg") << "bmp.jpg" << fixtures::encode(upright, "BMP");
    QTest::newRow("gif named .bmp") << "gif.bmp" << fixtures::encode(upright, "GIF");
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("EXIF orientation %d", orientation) << "exif.jpg" << fixtures::orientedJpeg(upright, orientation);
}

void TestRender::loadsUpright()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, data);

    const QString path = write(name, data);
    QCOMPARE(PictureLoader(path).naturalSize(), QSize(64, 48));
    PictureBox box;
    makePreviewPane(box);
    QVERIFY(showPicture(path, box, true));
    QCOMPARE(box.ToolTipText(), path);
    verifyUprightQuadrants(box.Image());
}

void TestRender::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QByteArray>("data");

    QByteArray noise(4096, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char& byte : noise)
        byte = static_cast<char>(random.bounded(256));
    const QByteArray jpeg = fixtures::encode(fixtures::quadrants(QSize(64, 48)), "JPEG");

    QTest::newRow("empty") << "empty.jpg" << Entry::File << QByteArray();
    QTest::newRow("random bytes") << "noise.jpg" << Entry::File << noise;
    QTest::newRow("text named .jpg") << "text.jpg" << Entry::File << QByteArray("Das ist kein Bild.\n");
    QTest::newRow("JPEG cut inside its header") << "cut.jpg" << Entry::File << jpeg.left(100);
    QTest::newRow("BMP without pixels") << "zero.bmp" << Entry::File << fixtures::bmpClaiming(0, 0);
    QTest::newRow("GIF without pixels") << "zero.gif" << Entry::File << fixtures::gifClaiming(0, 0);
    QTest::newRow("GIF of 50000 x 50000") << "huge.gif" << Entry::File << fixtures::gifClaiming(50000, 50000);
    QTest::newRow("BMP of 50000 x 50000") << "huge.bmp" << Entry::File << fixtures::bmpClaiming(50000, 50000);
    // Plausible for a BMP header, but a gigabyte once decoded.
    QTest::newRow("BMP of 16384 x 16384") << "large.bmp" << Entry::File << fixtures::bmpClaiming(16384, 16384);
    QTest::newRow("missing") << "missing.jpg" << Entry::Missing << QByteArray();
    QTest::newRow("folder named .jpg") << "folder.jpg" << Entry::Folder << QByteArray();
    QTest::newRow("no read permission") << "locked.jpg" << Entry::Locked << jpeg;
}

void TestRender::failures()
{
    QFETCH(QString, name);
    QFETCH(Entry, entry);
    QFETCH(QByteArray, data);

    const QString path = m_dir.filePath(name);
    if (entry == Entry::Folder)
        QVERIFY(QDir(m_dir.path()).mkpath(name));
    if (entry == Entry::File || entry == Entry::Locked)
        write(name, data);
    if (entry == Entry::Locked) {
        if (geteuid() == 0)
            QSKIP("root reads files without read permission");
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    }

    const qint64 peakBefore = fixtures::peakResidentKilobytes();
    QVERIFY(PictureLoader(path).read().isNull());
    verifyFailureKeepsDrawing(path);
    const qint64 peakRise = fixtures::peakResidentKilobytes() - peakBefore;
    QVERIFY2(peakRise < 64 * 1024, qPrintable(QStringLiteral("peak memory rose by %1 kB").arg(peakRise)));
}

void TestRender::truncatedJpeg_data()
{
    QTest::addColumn<double>("kept");
    QTest::newRow("half") << 0.5;
    QTest::newRow("all but the end marker") << 0.999;
    QTest::newRow("a tenth") << 0.1;
}

void TestRender::truncatedJpeg()
{
    QFETCH(double, kept);

    const QByteArray jpeg = fixtures::encode(fixtures::quadrants(QSize(640, 480)), "JPEG");
    const QString path = write("truncated.jpg", jpeg.left(static_cast<qsizetype>(jpeg.size() * kept)));
    // The decoder may fill in the missing part; the box must stay consistent either way.
    PictureBox box;
    makePreviewPane(box);
    const bool shown = showPicture(path, box, true);
    QCOMPARE(box.ToolTipText(), shown ? path : QString());
    if (shown)
        QVERIFY(fixtures::similarColor(colorAt(box.Image(), 0.25, 0.05), fixtures::quadrantColor(0)));
}

void TestRender::nonUtf8Name()
{
    const QByteArray rawPath = QFile::encodeName(m_dir.path()) + "/bild-\xff\xfe.jpg";
    const QByteArray jpeg = fixtures::encode(fixtures::quadrants(QSize(64, 48)), "JPEG");
    const int fd = ::open(rawPath.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    // Qt cannot name the file to remove it.
    const auto removeFile = qScopeGuard([&] { ::unlink(rawPath.constData()); });
    const bool written = ::write(fd, jpeg.constData(), static_cast<size_t>(jpeg.size())) == jpeg.size();
    ::close(fd);
    QVERIFY(written);

    const QString path = QFile::decodeName(rawPath);
    PictureBox box;
    makePreviewPane(box);
    if (showPicture(path, box, true)) {
        QCOMPARE(box.ToolTipText(), path);
        verifyUprightQuadrants(box.Image());
    } else {
        verifyFailureKeepsDrawing(path);
    }
}

void TestRender::previewCentresPicture()
{
    const QString path = write("portrait.jpg", fixtures::encode(fixtures::filled(QSize(300, 400), Qt::red), "JPEG"));
    PictureBox box;
    makePreviewPane(box);
    QVERIFY(showPicture(path, box, true));

    // 1586 x 2115 twips at x = 624: device pixels 83.2 to 294.8 of 378, all 282 rows.
    const QImage image = box.Image();
    QCOMPARE(image.size(), QSize(378, 282));
    const auto isRed = [&](int x, int y) { return fixtures::similarColor(image.pixelColor(x, y), Qt::red); };
    const auto isWhite = [&](int x, int y) { return image.pixelColor(x, y) == QColor(Qt::white); };
    QVERIFY(isWhite(81, 141) && isRed(85, 141) && isRed(293, 141) && isWhite(297, 141));
    QVERIFY(isRed(189, 0) && isRed(189, 281));

    // Again: the same drawing, the same tooltip.
    QVERIFY(showPicture(path, box, true));
    QCOMPARE(box.Image(), image);
    QCOMPARE(box.ToolTipText(), path);
}

void TestRender::tinyBox_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("border");

    QTest::newRow("60 twips") << QSize(4, 4) << false;
    QTest::newRow("60 twips, framed: no drawing area") << QSize(4, 4) << true;
    QTest::newRow("too low") << QSize(300, 3) << false;
    QTest::newRow("no size") << QSize(0, 0) << false;
}

void TestRender::tinyBox()
{
    QFETCH(QSize, size);
    QFETCH(bool, border);

    const QString path = write("tiny.jpg", fixtures::encode(fixtures::filled(QSize(64, 48), Qt::red), "JPEG"));
    PictureBox box;
    box.resize(size);
    box.setBorder(border);
    box.PaintPicture(fixtures::filled(QSize(1, 1), Qt::blue), 0, 0, 1e6, 1e6);

    // No room to paint: the box is cleared and records the path, as for a picture drawn at no size.
    QVERIFY(showPicture(path, box, true));
    QCOMPARE(box.ToolTipText(), path);
    const QImage image = box.Image();
    QImage cleared(image.size(), image.format());
    cleared.setDevicePixelRatio(image.devicePixelRatio());
    cleared.fill(Qt::white);
    QCOMPARE(image, cleared);
}

void TestRender::boxBeforeShown_data()
{
    QTest::addColumn<bool>("border");
    QTest::addColumn<qreal>("minimumScale");
    QTest::addColumn<QSize>("imageSize");

    QTest::newRow("full-screen viewer") << false << 1.0 << QSize(193, 145);
    QTest::newRow("preview pane") << true << 2.0 << QSize(378, 282);
    QTest::newRow("odd scale rounds") << true << 1.5 << QSize(284, 212);
}

void TestRender::boxBeforeShown()
{
    QFETCH(bool, border);
    QFETCH(qreal, minimumScale);
    QFETCH(QSize, imageSize);

    PictureBox box;
    box.resize(193, 145);
    box.setBorder(border);
    box.setMinimumImageScale(minimumScale);
    // The outer size, frame included.
    QCOMPARE(box.Width() * box.logicalDpi() / 1440, 193.0);
    QCOMPARE(box.Height() * box.logicalDpi() / 1440, 145.0);

    box.setBackgroundColor(Qt::black);
    box.PaintPicture(fixtures::filled(QSize(2, 2), Qt::red), 0, 0, box.Width(), box.Height() / 2);
    QVERIFY(!box.isVisible());
    const QImage image = box.Image();
    QCOMPARE(image.size(), imageSize);
    QCOMPARE(image.devicePixelRatio(), minimumScale);
    QCOMPARE(colorAt(image, 0.5, 0.1), QColor(Qt::red));
    QCOMPARE(colorAt(image, 0.5, 0.9), QColor(Qt::black));
}

void TestRender::paintPicturePlacesInTwips()
{
    PictureBox box;
    box.resize(104, 64);
    box.setBorder(true);
    // 10, 20 px from the drawing area's corner, 30 x 10 px at 96 dpi.
    const double twipsPerPixel = 1440 / box.logicalDpi();
    const QImage red = fixtures::filled(QSize(3, 1), Qt::red);
    box.PaintPicture(red, 10 * twipsPerPixel, 20 * twipsPerPixel, 30 * twipsPerPixel, 10 * twipsPerPixel);
    const QImage painted = box.Image();
    box.PaintPicture(red, NaN, 0, 100, 100);
    box.PaintPicture(red, 0, 0, Infinity, 100);
    QCOMPARE(box.Image(), painted);

    const auto isRed = [&](int x, int y) { return painted.pixelColor(x, y) == QColor(Qt::red); };
    QVERIFY(isRed(10, 20) && isRed(39, 29));
    QVERIFY(!isRed(9, 25) && !isRed(40, 25) && !isRed(25, 19) && !isRed(25, 30));

    // On screen the drawing sits inside the frame.
    const QImage screen = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(screen.copy(box.drawingArea()), painted);
    QVERIFY(screen.pixelColor(0, 0) != QColor(Qt::white));
}

void TestRender::clicks_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("doubleClicks");

    QTest::newRow("click") << Qt::LeftButton << false << QPoint(50, 50) << 1 << 0;
    QTest::newRow("released outside") << Qt::LeftButton << false << QPoint(150, 50) << 0 << 0;
    QTest::newRow("right button") << Qt::RightButton << false << QPoint(50, 50) << 0 << 0;
    QTest::newRow("double click") << Qt::LeftButton << true << QPoint(50, 50) << 1 << 1;
    QTest::newRow("right double click") << Qt::RightButton << true << QPoint(50, 50) << 0 << 0;
}

void TestRender::clicks()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, doubleClick);
    QFETCH(QPoint, releaseAt);
    QFETCH(int, clicks);
    QFETCH(int, doubleClicks);

    PictureBox box;
    box.resize(100, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy clickSpy(&box, &PictureBox::clicked);
    QSignalSpy doubleClickSpy(&box, &PictureBox::doubleClicked);

    QTest::mousePress(&box, button, {}, QPoint(50, 50));
    QTest::mouseRelease(&box, button, {}, releaseAt);
    // A widget sees a double-click as press, release, double-click, release.
    if (doubleClick) {
        QTest::mouseDClick(&box, button, {}, QPoint(50, 50));
        QTest::mouseRelease(&box, button, {}, releaseAt);
    }
    QCOMPARE(clickSpy.count(), clicks);
    QCOMPARE(doubleClickSpy.count(), doubleClicks);
}

QTEST_MAIN(TestRender)
#include "tst_render.moc"
