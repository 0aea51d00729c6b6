// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures without a window: the one fitting rule, and loading every kind of file upright at
// the size it is drawn at.
#include <cstdio>

#include <QColorSpace>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "ImageFixtures.h"
#include "RawFiles.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/DecodedPicture.h"
#include "engine/picture/Fit.h"
#include "engine/picture/Metadata.h"
#include "engine/picture/PictureCache.h"
#include "engine/picture/PictureLoader.h"

#include <exiv2/exiv2.hpp>
#include <lcms2.h>

using namespace rasterblatt;

namespace {
// The colour at a point given as fractions of the image's width and height.
QColor colorAt(const QImage& image, double fx, double fy)
{
    return image.pixelColor(int(fx * image.width()), int(fy * image.height()));
}
// lcms's own conversion to sRGB of pixels in the profile's layout (8 bits a channel).
QList<QColor> byLcms(const QByteArray& profile, cmsUInt32Number layout, const QList<QList<int>>& pixels)
{
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(
        in, layout, out, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
    QList<QColor> colours;
    for (const QList<int>& pixel : pixels) {
        quint8 from[4] = {}, to[3] = {};
        for (qsizetype i = 0; i < std::min<qsizetype>(pixel.size(), 4); ++i)
            from[i] = quint8(pixel[i]);
        cmsDoTransform(transform, from, to, 1);
        colours << QColor(to[0], to[1], to[2]);
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    return colours;
}
QList<QList<int>> quadrantPixels()
{
    QList<QList<int>> pixels;
    for (int q = 0; q < 4; ++q)
        pixels << QList<int> { fixtures::quadrantColor(q).red(), fixtures::quadrantColor(q).green(),
            fixtures::quadrantColor(q).blue() };
    return pixels;
}
bool upright(const QImage& image)
{
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        if (!fixtures::similarColor(colorAt(image, 0.25 + quadrant % 2 * 0.5, 0.25 + quadrant / 2 * 0.5),
                fixtures::quadrantColor(quadrant)))
            return false;
    }
    return true;
}
} // namespace

class TestPicture : public QObject {
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
        // A picture box fits in float, a cell of the sheet in double; both compare the
        // proportions as floats and take the width when they are equal.
        const QSizeF pane(2835, 2115); // the preview pane's area inside its margin
        QTest::newRow("landscape 4:3") << QSizeF(24000, 18000) << pane << true << QRectF(7.5, 0, 2820, 2115);
        QTest::newRow("portrait") << QSizeF(18000, 24000) << pane << true << QRectF(624.375, 0, 1586.25, 2115);
        QTest::newRow("small, enlarged") << QSizeF(480, 360) << pane << true << QRectF(7.5, 0, 2820, 2115);
        QTest::newRow("same proportion") << pane << pane << true << QRectF(0, 0, 2835, 2115);
        QTest::newRow("stretched") << QSizeF(18000, 24000) << pane << false << QRectF(0, 0, 2835, 2115);
        QTest::newRow("16:9 on 1024 x 768 screen")
            << QSizeF(28800, 16200) << QSizeF(15300, 11460) << true << QRectF(0, 1426.875, 15300, 8606.25);
        QTest::newRow("cell 1000 x 500") << QSizeF(400, 300) << QSizeF(1000, 500) << true
                                         << QRectF(500.0 / 3, 0, 2000.0 / 3, 500);
        QTest::newRow("cell 600 x 600") << QSizeF(400, 300) << QSizeF(600, 600) << true << QRectF(0, 75, 600, 450);
        QTest::newRow("NaN picture") << QSizeF(qQNaN(), 100) << pane << true << QRectF();
        QTest::newRow("infinite area, stretched") << QSizeF(1, 1) << QSizeF(qInf(), 1) << false << QRectF();
    }
    void fit()
    {
        QFETCH(QSizeF, picture);
        QFETCH(QSizeF, area);
        QFETCH(bool, keepAspect);
        QFETCH(QRectF, expected);
        const auto check = [&](auto fit, double tolerance) {
            const double error = qAbs(fit.x - expected.x()) + qAbs(fit.y - expected.y())
                + qAbs(fit.width - expected.width()) + qAbs(fit.height - expected.height());
            // Empty; or close and touching the area's edges exactly in one direction.
            QVERIFY2(expected.isNull()
                    ? fit.isEmpty() && fit.x == 0 && fit.y == 0
                    : error <= tolerance && (fit.width == area.width() || fit.height == area.height()),
                qPrintable(QStringLiteral("%1, %2, %3 x %4").arg(fit.x).arg(fit.y).arg(fit.width).arg(fit.height)));
        };
        check(fitPicture<float>(picture.width(), picture.height(), area.width(), area.height(), keepAspect), 0.01);
        check(fitPicture<double>(picture.width(), picture.height(), area.width(), area.height(), keepAspect), 1e-9);
    }
    void decode_data()
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
        // The further formats, TIFF and HEIC turned by their own tags.
        QTest::newRow("PNG") << QByteArray("bild.PNG") << fixtures::encode(upright, "PNG");
        QTest::newRow("WebP") << QByteArray("bild.webp") << fixtures::encode(upright, "WEBP");
        QTest::newRow("PNG 16-bit") << QByteArray("tief.png")
                                    << fixtures::encode(upright.convertToFormat(QImage::Format_RGBA64), "PNG");
        QTest::newRow("TIFF float") << QByteArray("tief.tif")
                                    << fixtures::encode(upright.convertToFormat(QImage::Format_RGBA32FPx4), "TIFF");
        QTest::newRow("TIFF, orientation 6") << QByteArray("bild.tif")
                                             << fixtures::magick({ "png:-", "-orient", "RightTop", "tif:-" },
                                                    fixtures::encode(fixtures::oriented(upright, 6), "PNG"));
        for (const int orientation : { 1, 6, 7 })
            QTest::addRow("HEIC, orientation %d", orientation)
                << QByteArray("bild.heic") << fixtures::heic(upright, orientation);
        // A card copy cut off: what could be read prints, and the picture says it is damaged.
        const QByteArray whole = fixtures::encode(fixtures::quadrants(QSize(640, 480)), "JPEG");
        QTest::newRow("JPEG cut off at half") << QByteArray("halb.jpg") << whole.left(whole.size() / 2);
        QTest::newRow("no such file") << QByteArray("fehlt.jpg") << QByteArray();
        QTest::newRow("folder named .jpg") << QByteArray("ordner.jpg/") << QByteArray();
    }
    // A file either decodes upright at its natural size, or fails with the reason.
    void decode()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, data);
        const bool loads = !data.isEmpty();
        const QString path = loads ? write(name, data) : m_dir.filePath(name.chopped(name.endsWith('/') ? 1 : 0));
        const auto remove = qScopeGuard([raw = nativePath(path)] { std::remove(raw); });
        QVERIFY(!name.endsWith('/') || QDir().mkdir(path));
        // The preview pane's area at 96 dpi.
        const DecodedPicture picture = decodePicture(path, { 2835, 2115, 96, 1 }, true);
        QCOMPARE(picture.loaded(), loads);
        const bool cut = name == "halb.jpg";
        QCOMPARE(picture.damage.kind, cut ? Error::Kind::Damaged : Error::Kind::None);
        if (cut) {
            QVERIFY(picture.damage.args.value(0).startsWith("Premature end of JPEG file"));
            QVERIFY(fixtures::similarColor(colorAt(picture.image, 0.75, 0.2), fixtures::quadrantColor(1)));
            QVERIFY(!fixtures::similarColor(colorAt(picture.image, 0.25, 0.8), fixtures::quadrantColor(2)));
            return;
        }
        QCOMPARE(picture.natural, loads ? QSize(64, 48) : QSize());
        QCOMPARE(picture.image.isNull(), !loads);
        QCOMPARE(bool(picture.error), !loads);
        QVERIFY2(!loads || upright(picture.image), qPrintable(errorText(picture.error)));
    }
    void colours_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QList<QColor>>("expected"); // the quadrants as lcms converts them
        const auto profile = [](const char* name) {
            return fixtures::readFile(QStringLiteral("/usr/share/color/icc/%1.icc").arg(name));
        };
        const QString dir = m_dir.path();
        const QByteArray proPhoto = profile("colord/ProPhotoRGB"), adobe = profile("colord/AdobeRGB1998");
        const QByteArray cmyk = profile("ghostscript/default_cmyk");
        const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        for (const QByteArray* installed : { &proPhoto, &adobe, &cmyk })
            QVERIFY(!installed->isEmpty());
        QVERIFY(fixtures::writeFile(dir + "/p3.icc", p3));
        cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
        cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), linear);
        cmsUInt32Number greySize = 0;
        cmsSaveProfileToMem(grey, nullptr, &greySize);
        QByteArray linearGrey(qsizetype(greySize), 0);
        cmsSaveProfileToMem(grey, linearGrey.data(), &greySize);
        cmsCloseProfile(grey);
        cmsFreeToneCurve(linear);

        const QImage patches = fixtures::quadrants(QSize(64, 48));
        const QByteArray jpeg = fixtures::encode(patches, "JPEG"), png = fixtures::encode(patches, "PNG");
        const QList<QList<int>> rgb = quadrantPixels();
        const QList<QColor> asIs = byLcms(profile("colord/sRGB"), TYPE_RGB_8, rgb);
        QTest::newRow("JPEG, ProPhoto") << fixtures::withIcc(jpeg, proPhoto) << byLcms(proPhoto, TYPE_RGB_8, rgb);
        QTest::newRow("JPEG, Adobe RGB over 255 markers")
            << fixtures::withIcc(jpeg, adobe, 255) << byLcms(adobe, TYPE_RGB_8, rgb);
        const QByteArray swapped = profile("colord/SwappedRedAndGreen");
        QTest::newRow("JPEG, red and green swapped")
            << fixtures::withIcc(jpeg, swapped) << byLcms(swapped, TYPE_RGB_8, rgb);
        QTest::newRow("JPEG, sRGB") << fixtures::withIcc(jpeg, profile("colord/sRGB")) << asIs;
        QTest::newRow("JPEG, untagged") << jpeg << asIs;
        // Profiles that cannot be used leave the colours as they are, and say why.
        QTest::newRow("unusable: truncated") << fixtures::withIcc(jpeg, proPhoto.left(300)) << asIs;
        QTest::newRow("unusable: grey profile, RGB JPEG") << fixtures::withIcc(jpeg, linearGrey) << asIs;
        { // a camera in its Adobe RGB mode: no profile, EXIF ColorSpace "uncalibrated" and "R03"
            QVERIFY(fixtures::writeFile(dir + "/dcf.jpg", jpeg));
            auto image = Exiv2::ImageFactory::open(QFile::encodeName(dir + "/dcf.jpg").toStdString());
            image->exifData()["Exif.Photo.ColorSpace"] = uint16_t(0xffff);
            image->exifData()["Exif.Iop.InteroperabilityIndex"] = "R03";
            image->writeMetadata();
            QTest::newRow("JPEG, DCF Adobe RGB")
                << fixtures::readFile(dir + "/dcf.jpg") << byLcms(adobe, TYPE_RGB_8, rgb);
        }
        const QList<QList<int>> inks { { 0, 255, 255, 40 }, { 200, 0, 220, 0 }, { 230, 180, 0, 0 },
            { 0, 30, 240, 10 } };
        QStringList cmykArguments;
        for (int row = 0; row < 2; ++row) {
            cmykArguments << "(";
            for (const QList<int>& ink : inks.mid(row * 2, 2))
                cmykArguments << "-size"
                              << "32x24"
                              << QStringLiteral("xc:cmyk(%1,%2,%3,%4)").arg(ink[0]).arg(ink[1]).arg(ink[2]).arg(ink[3]);
            cmykArguments << "+append"
                          << ")";
        }
        QTest::newRow("CMYK JPEG") << fixtures::magick(cmykArguments
            + QStringList { "-append", "-colorspace", "CMYK", "-profile",
                "/usr/share/color/icc/ghostscript/default_cmyk.icc", "-quality", "100", "jpg:-" })
                                   << byLcms(cmyk, TYPE_CMYK_8, inks);
        QImage greyPatches = patches.convertToFormat(QImage::Format_Grayscale8);
        QList<QList<int>> greys;
        for (int q = 0; q < 4; ++q)
            greys << QList<int> { qGray(greyPatches.pixel(16 + q % 2 * 32, 12 + q / 2 * 24)) };
        QTest::newRow("grey JPEG, linear") << fixtures::withIcc(fixtures::encode(greyPatches, "JPEG"), linearGrey)
                                           << byLcms(linearGrey, TYPE_GRAY_8, greys);
        QImage tagged = patches;
        tagged.setColorSpace(QColorSpace::DisplayP3);
        QTest::newRow("PNG, Display P3") << fixtures::encode(tagged, "PNG") << byLcms(p3, TYPE_RGB_8, rgb);
        QTest::newRow("16-bit PNG, Adobe RGB")
            << fixtures::magick({ "png:-", "-profile", "/usr/share/color/icc/colord/AdobeRGB1998.icc", "png48:-" }, png)
            << byLcms(adobe, TYPE_RGB_8, rgb);
        QTest::newRow("TIFF, ProPhoto") << fixtures::magick(
            { "png:-", "-profile", "/usr/share/color/icc/colord/ProPhotoRGB.icc", "tif:-" }, png)
                                        << byLcms(proPhoto, TYPE_RGB_8, rgb);
        QTest::newRow("WebP, Display P3") << fixtures::magick(
            { "png:-", "-profile", dir + "/p3.icc", "-define", "webp:lossless=true", "webp:-" }, png)
                                          << byLcms(p3, TYPE_RGB_8, rgb);
        QTest::newRow("HEIC, Display P3") << fixtures::heic(patches, 1, {}, 12) << byLcms(p3, TYPE_RGB_8, rgb);
        QTest::newRow("1-bit palette PNG, Adobe RGB") << fixtures::magick(
            { "-size", "16x16", "xc:#3060c0", "-profile", "/usr/share/color/icc/colord/AdobeRGB1998.icc",
                "png:-" }) << byLcms(adobe, TYPE_RGB_8, QList<QList<int>>(4, { 0x30, 0x60, 0xc0 }));
    }
    // Every picture comes in sRGB, within JPEG's error of lcms's conversion of its colours.
    void colours()
    {
        QFETCH(QByteArray, data);
        QFETCH(QList<QColor>, expected);
        const DecodedPicture picture = decodePicture(write("farben", data), { 2835, 2115, 96, 1 }, true);
        const bool unusable = QByteArray(QTest::currentDataTag()).startsWith("unusable");
        QVERIFY2(picture.loaded(), qPrintable(errorText(picture.error)));
        QCOMPARE(picture.colourNote.isEmpty(), !unusable);
        for (int q = 0; q < 4; ++q) {
            const QColor actual = colorAt(picture.image, 0.25 + q % 2 * 0.5, 0.25 + q / 2 * 0.5);
            QVERIFY2(fixtures::similarColor(actual, expected[q], 4),
                qPrintable(QStringLiteral("%1: %2, not %3").arg(q).arg(actual.name(), expected[q].name())));
        }
    }
    void captions_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("exposure");
        const QImage patches = fixtures::quadrants(QSize(64, 48));
        const QByteArray jpeg = fixtures::encode(patches, "JPEG");
        QTest::newRow("all parts") << fixtures::withExif(jpeg,
            { "Exif.Photo.DateTimeOriginal=2024:08:11 09:20:41", "Exif.Photo.ExposureTime=1/250",
                "Exif.Photo.FNumber=8/1", "Exif.Photo.ISOSpeedRatings=200", "Exif.Photo.FocalLength=35/1" })
                                   << "11.08.2024 09:20"
                                   << "1/250 s  f/8  ISO 200  35 mm";
        QTest::newRow("digitized, seconds, f/2.8") << fixtures::withExif(jpeg,
            { "Exif.Photo.DateTimeDigitized=2023:12:31 23:59:59", "Exif.Photo.ExposureTime=2/1",
                "Exif.Photo.FNumber=28/10", "Exif.Photo.FocalLength=504/10" })
                                                   << "31.12.2023 23:59"
                                                   << "2 s  f/2.8  50 mm";
        QTest::newRow("half a second, ISO")
            << fixtures::withExif(jpeg, { "Exif.Photo.ExposureTime=1/2", "Exif.Photo.ISOSpeedRatings=6400" }) << ""
            << "0,5 s  ISO 6400";
        QTest::newRow("HEIC") << fixtures::heic(patches, 1, {}, 0,
            fixtures::exifBlock({ "Exif.Photo.DateTimeOriginal=2022:01:02 03:04:05", "Exif.Photo.FNumber=18/10" }))
                              << "02.01.2022 03:04"
                              << "f/1.8";
        QTest::newRow("none") << jpeg << ""
                              << "";
        QTest::newRow("damaged") << fixtures::withExif(jpeg, {}).replace("MM\0*\0\0\0\x08", "MM\0*\x7f\xff\xff\xff")
                                 << ""
                                 << "";
    }
    // The caption lines as the reader of a file's head and the loader see them.
    void captions()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, time);
        QFETCH(QString, exposure);
        const QString path = write(QTest::currentDataTag() == QString("HEIC") ? "exif.heic" : "exif.jpg", data);
        const Metadata head = readHeadMetadata(path);
        const DecodedPicture picture = decodePicture(path, { 2835, 2115, 96, 1 }, true);
        QVERIFY(picture.loaded());
        QCOMPARE(captureTimeText(head), time);
        QCOMPARE(exposureText(head), exposure);
        QCOMPARE(captureTimeText(picture.metadata), time);
        QCOMPARE(exposureText(picture.metadata), exposure);
    }
    void heicThumbnail()
    {
        // A thumbnail at least as large as the picture is drawn is decoded instead of the picture.
        const QString path = write("thumb.heic",
            fixtures::heic(fixtures::quadrants(QSize(1600, 1200)), 6, fixtures::filled(QSize(320, 240), Qt::green)));
        const DecodedPicture small = decodePicture(path, { 2835, 2115, 96, 1 }, true);
        const DecodedPicture large = decodePicture(path, { 2835, 2115, 96 * 4, 1 }, true);
        QCOMPARE(small.natural, QSize(1600, 1200));
        QCOMPARE(large.natural, small.natural);
        QVERIFY(fixtures::similarColor(colorAt(small.image, 0.5, 0.5), Qt::green));
        QVERIFY(upright(large.image));
    }
    void raw_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QSize>("target"); // upright
        QTest::addColumn<QSize>("natural"); // empty: fails for want of a preview
        QTest::addColumn<bool>("large"); // from the large preview, else from the green thumbnail
        const QImage picture = fixtures::quadrants(QSize(600, 400));
        const auto raw = [&](const char* kind, int orientation, bool preview = true, bool thumbnail = true) {
            const QImage stored = fixtures::oriented(picture, orientation);
            return fixtures::rawFile(kind, preview ? fixtures::encode(stored, "JPEG") : QByteArray(),
                thumbnail ? fixtures::filled(stored.size() / 4, Qt::green) : QImage(), orientation, 4096);
        };
        const QSize cell(290, 194), small(100, 67), natural(600, 400);
        QTest::newRow("DNG, turned clockwise") << QByteArray("bild.dng") << raw("DNG", 6) << cell << natural << true;
        QTest::newRow("NEF, turned the other way")
            << QByteArray("bild.NEF") << raw("NEF", 8) << cell << natural << true;
        QTest::newRow("CR2, upside down") << QByteArray("bild.cr2") << raw("CR2", 3) << cell << natural << true;
        QTest::newRow("CR2 named .jpg") << QByteArray("cr2.jpg") << raw("CR2", 6) << cell << natural << true;
        QTest::newRow("NEF, whole: the largest") << QByteArray("b.nef") << raw("NEF", 6) << QSize() << natural << true;
        QTest::newRow("NEF, small: its thumbnail") << QByteArray("b.nef") << raw("NEF", 5) << small << natural << false;
        // A thumbnail only libraw finds: exiv2 wants a DNG's first directory marked as a preview.
        QByteArray librawOnly = raw("DNG", 6, false);
        librawOnly[librawOnly.lastIndexOf(QByteArray("\xfe\0\4\0\1\0\0\0\1\0", 10))] = char(0xfd);
        QTest::newRow("DNG, libraw's thumbnail")
            << QByteArray("b.dng") << librawOnly << small << QSize(150, 100) << false;
        QTest::newRow("NEF without preview")
            << QByteArray("b.nef") << raw("NEF", 6, false, false) << cell << QSize() << false;
    }
    // A raw file comes upright from the smallest of its previews that covers the size asked.
    void raw()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, data);
        QFETCH(QSize, target);
        QFETCH(QSize, natural);
        QFETCH(bool, large);
        PictureLoader loader(write(name, data));
        const QImage image = loader.read(target);
        QCOMPARE(loader.naturalSize(), natural);
        QVERIFY(!natural.isEmpty() || loader.reason().kind == Error::Kind::NoPreview);
        QVERIFY2(natural.isEmpty()
                || (large ? upright(image) && image.width() >= target.width()
                          : fixtures::similarColor(colorAt(image, 0.5, 0.5), Qt::green)),
            qPrintable(errorText(loader.error())));
    }
    void decodeSize()
    {
        // An upright 1600 x 1200 picture, stored as is or turned: the preview's size rounded up, a
        // taller target, one larger than the picture.
        for (const int orientation : { 1, 6 }) {
            for (const auto& [target, expected] : { std::pair { QSize(378, 283), QSize(378, 284) },
                     { QSize(200, 300), QSize(400, 300) }, { QSize(1700, 10), QSize(1600, 1200) } }) {
                PictureLoader loader(
                    write("big.jpg", fixtures::orientedJpeg(fixtures::quadrants(QSize(1600, 1200)), orientation)));
                const QImage image = loader.read(target);
                QCOMPARE(loader.naturalSize(), QSize(1600, 1200));
                QCOMPARE(loader.decodeSize(target), expected);
                QCOMPARE(image.size(), expected);
                QVERIFY2(upright(image), qPrintable(QString::number(orientation)));
            }
        }
    }
    void rating_data()
    {
        QTest::addColumn<QString>("embedded"); // an exiv2 key set in the JPEG, with its value
        QTest::addColumn<QString>("sidecar"); // a sidecar's name, with its rating
        QTest::addColumn<int>("rating");
        QTest::newRow("XMP") << "Xmp.xmp.Rating=4"
                             << "" << 4;
        QTest::newRow("EXIF") << "Exif.Image.Rating=3"
                              << "" << 3;
        QTest::newRow("NAME.xmp wins") << "Xmp.xmp.Rating=1"
                                       << "r.xmp=5" << 5;
        QTest::newRow("NAME.EXT.xmp") << ""
                                      << "r.jpg.xmp=2" << 2;
        QTest::newRow("rejected") << "Xmp.xmp.Rating=-1"
                                  << "" << 0;
        QTest::newRow("none") << ""
                              << "" << 0;
    }
    void rating()
    {
        QFETCH(QString, embedded);
        QFETCH(QString, sidecar);
        QFETCH(int, rating);
        for (const char* old : { "r.xmp", "r.jpg.xmp" })
            QFile::remove(m_dir.filePath(old));
        const QString path = write("r.jpg", fixtures::encode(fixtures::filled(QSize(8, 8), Qt::red), "JPEG"));
        const auto set = [](const QString& given, Exiv2::ExifData& exif, Exiv2::XmpData& xmp) {
            const QStringList keyValue = given.split('=');
            if (keyValue[0].startsWith("Exif"))
                exif[keyValue[0].toStdString()] = uint16_t(keyValue[1].toInt());
            else if (!given.isEmpty())
                xmp[keyValue[0].toStdString()] = keyValue[1].toStdString();
        };
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        set(embedded, image->exifData(), image->xmpData());
        image->writeMetadata();
        if (!sidecar.isEmpty()) {
            Exiv2::ExifData unused;
            Exiv2::XmpData xmp;
            set("Xmp.xmp.Rating=" + sidecar.section('=', 1), unused, xmp);
            std::string packet;
            Exiv2::XmpParser::encode(packet, xmp);
            fixtures::writeFile(m_dir.filePath(sidecar.section('=', 0, 0)), QByteArray::fromStdString(packet));
        }
        QCOMPARE(readRating(path), rating);
    }
    void cache()
    {
        // A request that what is held covers is served from it; a larger one, a file that changed
        // and a picture the bound pushed out are decoded again.
        const auto side = [](int pixels) {
            return [=](const QSize& natural) { return natural.scaled(pixels, pixels, Qt::KeepAspectRatio); };
        };
        const QString a = write("a.jpg", fixtures::encode(fixtures::filled(QSize(400, 300), Qt::red), "JPEG"));
        const QString b = write("b.jpg", fixtures::encode(fixtures::filled(QSize(400, 300), Qt::blue), "JPEG"));
        PictureCache cache(300 * 225 * 4);
        QCOMPARE(cache.picture(a, side(200)).image.size(), QSize(200, 150));
        QCOMPARE(cache.picture(a, side(100)).image.size(), QSize(200, 150));
        QCOMPARE(cache.decodes(), 1);
        cache.picture(a, side(300));
        QCOMPARE(cache.decodes(), 2);
        fixtures::writeFile(a, fixtures::encode(fixtures::filled(QSize(400, 300), Qt::green), "JPEG"));
        QFile changed(a);
        QVERIFY(changed.open(QIODevice::ReadWrite)
            && changed.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        QVERIFY(fixtures::similarColor(cache.picture(a, side(100)).image.pixelColor(50, 30), Qt::green));
        QCOMPARE(cache.decodes(), 3);
        cache.picture(b, side(300));
        QVERIFY(cache.bytes() <= cache.bound());
        cache.picture(a, side(100));
        QCOMPARE(cache.decodes(), 5);
    }
};

QTEST_GUILESS_MAIN(TestPicture)
#include "tst_picture.moc"
