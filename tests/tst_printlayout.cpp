// The arithmetic of a contact sheet: the grid of a page and the place of one thumbnail.
#include "print/PrintLayout.h"

#include <QtTest>

using namespace rasterblatt;

namespace {
constexpr double twipsPerHimetric = 1440.0 / 2540.0;
}

class TestPrintLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void a4Grid();
    void nameLineShortensThePicture();
    void thumbnail_data();
    void thumbnail();
};

void TestPrintLayout::a4Grid()
{
    const PageGeometry grid = pageGeometry(11906, 16838, 7, 11, std::nullopt, twipsPerHimetric, twipsPerHimetric);
    QCOMPARE(qRound(grid.cellWidth * 10), 15389);
    QCOMPARE(qRound(grid.cellHeight * 10), 14019);
    QCOMPARE(qRound(grid.picWidth * 10), 14619);
    QCOMPARE(qRound(grid.picHeight * 10), 13318);
    QCOMPARE(qRound(grid.left * 10), 5669);
    QCOMPARE(qRound(grid.top * 10), 2835);
}

void TestPrintLayout::nameLineShortensThePicture()
{
    const PageGeometry plain = pageGeometry(11906, 16838, 7, 11, std::nullopt, twipsPerHimetric, twipsPerHimetric);
    const PageGeometry named = pageGeometry(11906, 16838, 7, 11, 161.0, twipsPerHimetric, twipsPerHimetric);
    QCOMPARE(named.cellHeight, plain.cellHeight);
    QCOMPARE(named.picWidth, plain.picWidth);
    QVERIFY(qAbs(named.picHeight - 0.95 * (plain.cellHeight - 1.1 * 161.0)) < 0.01);
}

void TestPrintLayout::thumbnail_data()
{
    QTest::addColumn<float>("maxWidth");
    QTest::addColumn<float>("maxHeight");
    QTest::addColumn<float>("naturalWidth");
    QTest::addColumn<float>("naturalHeight");
    QTest::addColumn<bool>("keepAspect");
    QTest::addColumn<QRectF>("expected"); // relative to the area's corner (100, 200)
    QTest::newRow("wide area: full height")
        << 1000.f << 500.f << 400.f << 300.f << true << QRectF(166.667, 0, 666.667, 500);
    QTest::newRow("square area: full width") << 600.f << 600.f << 400.f << 300.f << true << QRectF(0, 75, 600, 450);
    QTest::newRow("equal ratios take the width") << 800.f << 600.f << 400.f << 300.f << true << QRectF(0, 0, 800, 600);
    QTest::newRow("stretched") << 1000.f << 500.f << 400.f << 300.f << false << QRectF(0, 0, 1000, 500);
    QTest::newRow("enlarged") << 3000.f << 3000.f << 40.f << 30.f << true << QRectF(0, 375, 3000, 2250);
}

void TestPrintLayout::thumbnail()
{
    QFETCH(float, maxWidth);
    QFETCH(float, maxHeight);
    QFETCH(float, naturalWidth);
    QFETCH(float, naturalHeight);
    QFETCH(bool, keepAspect);
    QFETCH(QRectF, expected);
    const ThumbnailPlacement place
        = placeThumbnail(100, 200, maxWidth, maxHeight, naturalWidth, naturalHeight, keepAspect);
    QVERIFY(qAbs(place.left - 100 - expected.x()) < 0.01);
    QVERIFY(qAbs(place.top - 200 - expected.y()) < 0.01);
    QVERIFY(qAbs(place.width - expected.width()) < 0.01);
    QVERIFY(qAbs(place.height - expected.height()) < 0.01);
}

QTEST_GUILESS_MAIN(TestPrintLayout)
#include "tst_printlayout.moc"
