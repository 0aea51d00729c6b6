// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "ImageFixtures.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/Fit.h"
#include "engine/picture/PictureLoader.h"
#include "ui/FitAndPaint.h"
#include "ui/widgets/PictureBox.h"

using namespace rasterblatt;

// The colour at a point given as fractions of the image's width and height.
static QColor colorAt(const QImage& image, double fx, double fy)
{
    return image.pixelColor(int(fx * image.width()), int(fy * image.height()));
}

class TestRender : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // By its bytes: Qt can neither name nor remove a file whose name is not UTF-8.
    QString write(const QByteArray& name, const QByteArray& data)
    {
        const QByteArray rawPath = QFile::encodeName(m_dir.path()) + '/' + name;
        return fixtures::writeFile(rawPath, data) ? pathFromNative(rawPath) : QString();
    }

private Q_SLOTS:
    void fit_data()
    {
        QTest::addColumn<QSizeF>("picture");
        QTest::addColumn<QSizeF>("area");
        QTest::addColumn<bool>("keepAspect");
        QTest::addColumn<QRectF>("expected"); // null: nothing to paint
        // Landscape and enlarged pictures are checked on the preview pane and the print engine's cells.
        const QSizeF pane(2835, 2115); // the preview pane's area inside its margin
        QTest::newRow("portrait") << QSizeF(18000, 24000) << pane << true << QRectF(624.375, 0, 1586.25, 2115);
        QTest::newRow("stretched") << QSizeF(18000, 24000) << pane << false << QRectF(0, 0, 2835, 2115);
        QTest::newRow("16:9 on 1024 x 768 screen")
            << QSizeF(28800, 16200) << QSizeF(15300, 11460) << true << QRectF(0, 1426.875, 15300, 8606.25);
        QTest::newRow("NaN picture") << QSizeF(qQNaN(), 100) << pane << true << QRectF();
        QTest::newRow("infinite area, stretched") << QSizeF(1, 1) << QSizeF(qInf(), 1) << false << QRectF();
    }

    void fit()
    {
        QFETCH(QSizeF, picture);
        QFETCH(QSizeF, area);
        QFETCH(bool, keepAspect);
        QFETCH(QRectF, expected);
        const Fit<float> fit
            = fitPicture<float>(picture.width(), picture.height(), area.width(), area.height(), keepAspect);
        const qreal error = qAbs(fit.x - expected.x()) + qAbs(fit.y - expected.y()) + qAbs(fit.width - expected.width())
            + qAbs(fit.height - expected.height());
        // Empty; or within 0.01 twips and touching the area's edges exactly in one direction.
        QVERIFY2(expected.isNull() ? fit.isEmpty() && qIsFinite(fit.x) && qIsFinite(fit.y)
                                   : error <= 0.01 && (fit.width == area.width() || fit.height == area.height()),
            qPrintable(QStringLiteral("%1, %2, %3 x %4").arg(fit.x).arg(fit.y).arg(fit.width).arg(fit.height)));
    }

    void decodeSize_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QSize>("expected");
        // An upright 1600 x 1200 picture, stored as is or turned.
        for (const int orientation : { 1, 6 }) {
            const QByteArray tag = orientation == 1 ? "upright: " : "turned: ";
            QTest::newRow(tag + "preview, rounded up") << orientation << QSize(378, 283) << QSize(378, 284);
            QTest::newRow(tag + "taller target") << orientation << QSize(200, 300) << QSize(400, 300);
            QTest::newRow(tag + "larger than picture") << orientation << QSize(1700, 10) << QSize(1600, 1200);
        }
    }

    void decodeSize()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, target);
        QFETCH(QSize, expected);
        PictureLoader loader(
            write("big.jpg", fixtures::orientedJpeg(fixtures::quadrants(QSize(1600, 1200)), orientation)));
        const QImage image = loader.read(target);
        QVERIFY(loader.naturalSize() == QSize(1600, 1200) && loader.decodeSize(target) == expected);
        QCOMPARE(image.size(), expected);
        QVERIFY(fixtures::similarColor(colorAt(image, 0.1, 0.1), fixtures::quadrantColor(0))
            && fixtures::similarColor(colorAt(image, 0.9, 0.9), fixtures::quadrantColor(3)));
    }

    void showPicture_data()
    {
        QTest::addColumn<QByteArray>("name"); // bytes, so that it can be invalid UTF-8; "/" at the end: a folder
        QTest::addColumn<QByteArray>("data"); // empty: no such file
        const QImage upright = fixtures::quadrants(QSize(64, 48));
        QTest::newRow("jpeg") << QByteArray("bild.jpg") << fixtures::encode(upright, "JPEG");
        QTest::newRow("bmp") << QByteArray("bild.bmp") << fixtures::encode(upright, "BMP");
        QTest::newRow("gif") << QByteArray("bild.gif") << fixtures::encode(upright, "GIF");
        QTest::newRow("bmp named .jpg") << QByteArray("bmp.jpg") << fixtures::encode(upright, "BMP");
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("EXIF orientation %d", orientation)
                << QByteArray("exif.jpg") << fixtures::orientedJpeg(upright, orientation);
        QTest::newRow("name not UTF-8") << QByteArray("bild-\xe4\xff.jpg") << fixtures::encode(upright, "JPEG");
        QTest::newRow("no such file") << QByteArray("fehlt.jpg") << QByteArray();
        QTest::newRow("folder named .jpg") << QByteArray("ordner.jpg/") << QByteArray();
    }

    // A file either shows upright with its path as tooltip, or fails and keeps the drawing.
    void showPicture()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, data);
        const bool shows = !data.isEmpty();
        const QString path = shows ? write(name, data) : m_dir.filePath(name.chopped(name.endsWith('/') ? 1 : 0));
        const auto remove = qScopeGuard([raw = nativePath(path)] { std::remove(raw); });
        QVERIFY(!name.endsWith('/') || QDir().mkdir(path));

        PictureBox box;
        box.resize(193, 145); // the preview pane: 2895 x 2175 twips at 96 dpi, framed
        box.setBorder(true);
        box.PaintPicture(fixtures::filled(QSize(4, 3), Qt::magenta), 0, 0, box.widthTwips(), box.heightTwips());
        box.setToolTipText("before");
        const QImage before = box.Image();

        QCOMPARE(paintFitted(box, path, decodePicture(path, availableArea(box), true), true), shows);
        const QImage image = box.Image();
        QVERIFY(box.ToolTipText() == (shows ? path : QString()) && (shows || image == before));
        // A 4:3 picture leaves 7.5 twips, one device pixel, white at either side.
        QVERIFY(!shows || (image.pixelColor(0, 141) == Qt::white && image.pixelColor(377, 141) == Qt::white));
        for (int quadrant = 0; shows && quadrant < 4; ++quadrant) {
            const QColor actual = colorAt(image, 0.25 + quadrant % 2 * 0.5, 0.25 + quadrant / 2 * 0.5);
            QVERIFY2(fixtures::similarColor(actual, fixtures::quadrantColor(quadrant)), qPrintable(actual.name()));
        }
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2"); // a sharp screen: the 7.5-twip margins are whole device pixels
    QApplication app(argc, argv);
    TestRender test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ui_render.moc"
