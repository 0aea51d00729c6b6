// SPDX-License-Identifier: GPL-3.0-or-later
// The folder walk, the name rules and the page count, on generated folder trees.
#include "ImageFixtures.h"
#include "engine/catalogue/Directory.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/catalogue/MountTable.h"
#include "engine/catalogue/StatusLine.h"

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasterblatt;

class TestCatalogue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void walk_data()
    {
        // The names' bytes; "name/" a folder, "link>target" a symbolic link, "name@2024:08:11 10:00:01.25"
        // a JPEG taken then (a file of another kind modified then).
        QTest::addColumn<QByteArrayList>("tree");
        QTest::addColumn<QString>("folder"); // the one scanned, after the tree's root
        QTest::addColumn<QString>("options"); // "sub": with sub-folders, "all": the further formats, "time": time order
        QTest::addColumn<QStringList>("expected"); // paths below the root as shown, in walk order
        const QByteArrayList tree { "b.jpg", "a.gif", "c.bmp", "A/x.jpg", "A/A1/y.bmp", "B/z.gif" };
        QTest::newRow("with sub-folders")
            << tree << ""
            << "sub" << QStringList { "A/A1/y.bmp", "A/x.jpg", "B/z.gif", "b.jpg", "c.bmp", "a.gif" };
        QTest::newRow("without") << tree << ""
                                 << "" << QStringList { "b.jpg", "c.bmp", "a.gif" };
        QTest::newRow("trailing slash") << QByteArrayList { "p.jpg" } << "/"
                                        << "" << QStringList { "p.jpg" };
        QTest::newRow("same name twice") << QByteArrayList { "one/bild.jpg", "two/bild.jpg" } << ""
                                         << "sub" << QStringList { "one/bild.jpg", "two/bild.jpg" };
        // Capital extensions count, ".jpeg" does not, hidden entries and folders named like
        // images are left out; each group comes in the name order.
        QTest::newRow("what is listed") << QByteArrayList { "BILD.JPG", "b.Bmp", "c.jpeg", "d.nef", ".hidden.jpg",
            ".versteckt/in.jpg", "x.jpg.txt", "a.jpg.jpg", "bild10.gif", "bild2.gif", "ordner.jpg/" }
                                        << ""
                                        << "sub"
                                        << QStringList { "a.jpg.jpg", "BILD.JPG", "b.Bmp", "bild2.gif", "bild10.gif" };
        // A folder is walked once; a link to a file is a file.
        QTest::newRow("link loop") << QByteArrayList { "a/pic.jpg", "a/loop>a", "link.jpg>a/pic.jpg" } << ""
                                   << "sub" << QStringList { "a/pic.jpg", "link.jpg" };
        QTest::newRow("vanished folder") << QByteArrayList {} << "/weg"
                                         << "sub" << QStringList {};
        // Names that are not UTF-8 are listed readably, walked into, and open again.
        QTest::newRow("Latin-1 file") << QByteArrayList { "\344rger.jpg" } << ""
                                      << "sub" << QStringList { "\u00e4rger.jpg" };
        QTest::newRow("Latin-1 folder") << QByteArrayList { "\334bung/bild.jpg" } << ""
                                        << "sub" << QStringList { "\u00dcbung/bild.jpg" };
        // With the option, after the three groups, each further pattern a group of its own, the
        // raw files last; a raw file with a JPEG of its name is left to the JPEG.
        QTest::newRow("further formats") << QByteArrayList { "a.jpg", "b.jpeg", "c.PNG", "d.webp", "e.tif", "f.heic",
            "g.gif", "h.bmp", "i.TIFF", "j.heif", "k.x3f", "l.NEF", "m.dng", "n.cr2", "IMG_1.CR2", "img_1.JPG",
            "IMG_2.arw", "img_2.Jpeg", "img_3.orf", "img_3.png", "o.raf", "p.CR3" }
                                         << ""
                                         << "all"
                                         << QStringList { "a.jpg", "img_1.JPG", "h.bmp", "g.gif", "b.jpeg",
                                                "img_2.Jpeg", "c.PNG", "img_3.png", "e.tif", "i.TIFF", "d.webp",
                                                "f.heic", "j.heif", "m.dng", "n.cr2", "p.CR3", "l.NEF", "o.raf",
                                                "img_3.orf", "k.x3f" };
        // The counter rolled over between 9999 and 0001; seconds' fractions count; a file without a
        // time is taken when it was modified (now), the groups are one.
        QTest::newRow("time order") << QByteArrayList { "IMG_0001.jpg@2024:08:11 10:00:02",
            "IMG_0002.jpg@2024:08:11 10:00:01.25", "IMG_9998.jpg@2024:08:11 10:00:00",
            "IMG_9999.jpg@2024:08:11 10:00:01.2", "scan.jpg", "alt.bmp@2001:01:01 00:00:00", "sub/a.jpg" }
                                    << ""
                                    << "sub time"
                                    << QStringList { "sub/a.jpg", "alt.bmp", "IMG_9998.jpg", "IMG_9999.jpg",
                                           "IMG_0002.jpg", "IMG_0001.jpg", "scan.jpg" };
        QTest::newRow("UTF-8 file") << QByteArrayList { "\303\244rger.jpg" } << ""
                                    << "sub" << QStringList { "\u00e4rger.jpg" };
    }
    void walk()
    {
        QFETCH(QByteArrayList, tree);
        QFETCH(QString, folder);
        QFETCH(QString, options);
        QFETCH(QStringList, expected);
        QTemporaryDir root;
        // QTemporaryDir cannot remove names that are not UTF-8 itself.
        const auto remove = qScopeGuard([&] { QProcess::execute("rm", { "-rf", root.path() }); });
        const QByteArray base = QFile::encodeName(root.path()) + '/';
        for (const QByteArray& entry : tree) {
            for (qsizetype slash = entry.indexOf('/'); slash > 0; slash = entry.indexOf('/', slash + 1))
                ::mkdir(QByteArray(base + entry.left(slash)).constData(), 0700);
            const QByteArrayList link = entry.split('>'), timed = entry.split('@');
            const QDateTime time = QDateTime::fromString(timed.value(1).left(19), "yyyy:MM:dd HH:mm:ss");
            if (timed.size() == 2 && entry.contains(".jpg")) {
                QVERIFY(fixtures::writeFile(base + timed[0],
                    fixtures::withExif(fixtures::encode(fixtures::filled(QSize(8, 8), Qt::red), "JPEG"),
                        { "Exif.Photo.DateTimeOriginal=" + timed[1].left(19),
                            "Exif.Photo.SubSecTimeOriginal=" + timed[1].mid(20) })));
            } else if (timed.size() == 2) {
                const timespec times[2] = { { time.toSecsSinceEpoch(), 0 }, { time.toSecsSinceEpoch(), 0 } };
                QCOMPARE(::close(::open(QByteArray(base + timed[0]).constData(), O_WRONLY | O_CREAT, 0600)), 0);
                QCOMPARE(::utimensat(AT_FDCWD, QByteArray(base + timed[0]).constData(), times, 0), 0);
            } else if (link.size() == 2)
                QCOMPARE(::symlink(QByteArray(base + link[1]).constData(), QByteArray(base + link[0]).constData()), 0);
            else if (!entry.endsWith('/'))
                QCOMPARE(::close(::open(QByteArray(base + entry).constData(), O_WRONLY | O_CREAT, 0600)), 0);
        }
        Catalogue catalogue;
        catalogue.bSubDirs = options.contains("sub");
        catalogue.allFormats = options.contains("all");
        catalogue.timeOrder = options.contains("time");
        QStringList entries, shown;
        FolderScan scan(catalogue, [&entries](const QString& name) { entries.append(name); });
        scan.reset();
        scan.ScanFolder(root.path() + folder);
        QCOMPARE(entries.size(), catalogue.count());
        for (int i = 0; i < catalogue.count(); ++i) {
            const QString path = catalogue.path(i);
            QCOMPARE(entries[i], fileNameOf(path));
            QVERIFY(::access(nativePath(path).constData(), F_OK) == 0);
            shown << displayName(path).mid(base.size());
        }
        QCOMPARE(shown, expected);
    }
    void nativeCodec_data()
    {
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("decoded");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* tag, const char* native, const char16_t* decoded, const char16_t* shown) {
            QTest::newRow(tag) << QByteArray(native) << QString::fromUtf16(decoded) << QString::fromUtf16(shown);
        };
        row("ASCII", "a.jpg", u"a.jpg", u"a.jpg");
        row("UTF-8", "\xC3\xA4\xF0\x9F\x93\xB7", u"\u00e4\U0001F4F7", u"\u00e4\U0001F4F7");
        row("Latin-1", "\xE4.jpg", u"\uF7E4.jpg", u"\u00e4.jpg");
        row("lone 0xFF", "\xFF", u"\uF7FF", u"\u00ff");
        row("Windows-1252", "\x84\x81", u"\uF784\uF781", u"\u201e\ufffd");
        row("overlong slash", "\xC0\xAF", u"\uF7C0\uF7AF", u"\u00c0\u00af");
        row("surrogate", "\xED\xA0\x80", u"\uF7ED\uF7A0\uF780", u"\u00ed\u00a0\u20ac");
        row("cut off", "a\xC3", u"a\uF7C3", u"a\u00c3");
        // A name that already holds a code point of the escape range keeps its bytes too.
        row("escape range", "\xEF\x9F\xA4", u"\uF7EF\uF79F\uF7A4", u"\u00ef\u0178\u00a4");
        row("other private use", "\xEE\x80\x80", u"\uE000", u"\uE000");
    }
    void nativeCodec()
    {
        QFETCH(QByteArray, native);
        QFETCH(QString, decoded);
        QCOMPARE(pathFromNative(native), decoded);
        QCOMPARE(nativePath(decoded), native);
        QTEST(displayName(decoded), "shown");
    }
    // Each list in its order; sorted from the reverse order it must come out the same.
    void nameOrder()
    {
        for (QStringList names : { QStringList { "bild1.jpg", "bild2.jpg", "Bild3.jpg", "bild10.jpg" }, // by value
                 { "Alpha.gif", "alpha.gif", "beta.gif", "Zeta.gif" }, // case ties by the raw name
                 { "bild001.jpg", "bild01.jpg", "bild1.jpg" }, // leading zeros tie
                 { "Apfel", "\u00c4pfel", "Ubung", "\u00dcbung", "Uhr", "Zebra" },
                 { "arg.jpg", QString::fromUtf16(u"\uF7E4rger.jpg"), "b.jpg" } }) { // a Latin-1 byte
            QStringList sorted(names.rbegin(), names.rend());
            sortNames(sorted);
            QCOMPARE(sorted, names);
        }
    }
    void drives_data()
    {
        QTest::addColumn<QByteArray>("mounts");
        QTest::addColumn<QStringList>("drives");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        const auto row = [](const char* tag, const QByteArray& mounts, const QStringList& drives, const char* path,
                             const char* drive) { QTest::newRow(tag) << mounts << drives << path << drive; };
        const QByteArray desktop = "sysfs /sys sysfs rw,nosuid 0 0\nproc /proc proc rw 0 0\n"
                                   "/dev/sda2 / ext4 rw,relatime 0 0\ntmpfs /run tmpfs rw 0 0\n"
                                   "tmpfs /run/user/1000 tmpfs rw 0 0\n/dev/sda3 /home ext4 rw 0 0\n"
                                   "overlay /mnt/container overlay rw 0 0\n/dev/loop0 /snap/core/17 squashfs ro 0 0\n"
                                   "/dev/loop1 /mnt/image squashfs ro 0 0\ntmpfs /mnt/ram tmpfs rw 0 0\n"
                                   "/dev/sdb1 /media/usb vfat rw 0 0\n/dev/sdb1 /media/usb vfat rw 0 0\n"
                                   "/dev/sdc1 /run/media/anna/Urlaub\\0402023 exfat rw 0 0\n"
                                   "nas:/fotos /mnt/nas nfs4 rw,hard 0 0\n";
        const QStringList drives { "/", "/home", "/media/usb", "/mnt/nas", "/run/media/anna/Urlaub 2023" };
        row("home on its own disk", desktop, drives, "/home/anna/Bilder", "/home");
        row("longest root", desktop, drives, "/mnt/nas/2023/a.jpg", "/mnt/nas");
        row("only begins like a root", desktop, drives, "/mnt/nas-alt/a.jpg", "/");
        row("home on the root", "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/Ger\\344t vfat rw 0 0\n",
            { "/", QString::fromUtf16(u"/media/Ger\uF7E4t") }, "/home/anna", "/");
        row("home on a share", "/dev/sda1 / ext4 rw 0 0\nserver:/home/anna /home/anna nfs rw 0 0\n",
            { "/", "/home/anna" }, "relative/a.jpg", "");
    }
    void drives()
    {
        QFETCH(QByteArray, mounts);
        QFETCH(QStringList, drives);
        QFETCH(QString, path);
        QCOMPARE(drivesFromMountTable(mounts, "/home/anna"), drives);
        QTEST(driveOf(drives, path), "drive");
    }
    void pageCount()
    {
        // Ticked files, columns, rows, pages.
        for (const auto& [ticked, cols, rows, pages] : { std::array { 0, 7, 11, 0 }, { 77, 7, 11, 1 }, { 78, 7, 11, 2 },
                 { 155, 7, 11, 3 }, { 5, 0, 11, 0 }, { 5, -3, -2, 0 }, { 5, 2000000000, 2000000000, 1 } })
            QCOMPARE(rasterblatt::pageCount(ticked, cols, rows), pages);
        QCOMPARE(statusText(120, 78, 2), QString("120 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
