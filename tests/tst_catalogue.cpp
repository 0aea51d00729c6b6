// The folder walk, the name rules and the page count, on generated folder trees.
#include "catalogue/Directory.h"
#include "catalogue/DriveList.h"
#include "catalogue/FolderScan.h"
#include "catalogue/StatusLine.h"

#include "TestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace rasterblatt;
using rasterblatt::testing::touch;

namespace {

struct ScanResult {
    QStringList entries;
    QStringList paths;
    WindowState state;
    bool full = false;
};

ScanResult scan(const QString& folder, bool subDirs)
{
    ScanResult result;
    result.state.bSubDirs = subDirs;
    FolderScan walk(result.state, [&result](const QString& name) { result.entries.append(name); });
    walk.reset();
    try {
        walk.ScanFolder(folder);
    } catch (const CatalogueFull&) {
        result.full = true;
    }
    for (int i = 0; i < result.state.nFileCount; ++i)
        result.paths.append(result.state.aFiles[i]);
    return result;
}

} // namespace

class TestCatalogue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void walkOrder_data();
    void walkOrder();
    void pathsJoinWithOneSlash();
    void sameNameInTwoFolders();
    void whatIsListed();
    void symbolicLinkLoopEnds();
    void vanishedFolderGivesNothing();
    void capacityGrowsInSteps();
    void limitStopsAt32700();
    void wildcard_data();
    void wildcard();
    void nativeNames_data();
    void nativeNames();
    void nativeCodec_data();
    void nativeCodec();
    void nameOrder_data();
    void nameOrder();
    void drives_data();
    void drives();
    void pageCountAndText_data();
    void pageCountAndText();
};

void TestCatalogue::walkOrder_data()
{
    QTest::addColumn<bool>("subDirs");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("with sub-folders") << true << QStringList { "y.bmp", "x.jpg", "z.gif", "b.jpg", "c.bmp", "a.gif" };
    QTest::newRow("without") << false << QStringList { "b.jpg", "c.bmp", "a.gif" };
}

void TestCatalogue::walkOrder()
{
    QFETCH(bool, subDirs);
    QFETCH(QStringList, expected);
    QTemporaryDir root;
    for (const char* path : { "b.jpg", "a.gif", "c.bmp", "A/x.jpg", "A/A1/y.bmp", "B/z.gif" })
        touch(root.path(), QString::fromLatin1(path));

    const ScanResult result = scan(root.path(), subDirs);
    QCOMPARE(result.entries, expected);
    QCOMPARE(result.state.nFileCount, expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY(result.paths[i].endsWith(QLatin1Char('/') + expected[i]));
    if (subDirs)
        QCOMPARE(result.paths.first(), root.path() + "/A/A1/y.bmp");
}

void TestCatalogue::pathsJoinWithOneSlash()
{
    QTemporaryDir root;
    touch(root.path(), "p.jpg");
    QCOMPARE(scan(root.path() + '/', false).paths, QStringList { root.path() + "/p.jpg" });
    QCOMPARE(joinPath("/", "a.jpg"), QString("/a.jpg"));
    QCOMPARE(joinPath("/Fotos", "a.jpg"), QString("/Fotos/a.jpg"));
    QCOMPARE(joinPath("/Fotos/", "a.jpg"), QString("/Fotos/a.jpg"));
    QCOMPARE(fileNameOf("/Bilder/urlaub.jpg"), QString("urlaub.jpg"));
    QCOMPARE(fileNameOf("urlaub.jpg"), QString("urlaub.jpg"));
    QCOMPARE(fileNameOf("/Bilder/"), QString());
}

void TestCatalogue::sameNameInTwoFolders()
{
    QTemporaryDir root;
    touch(root.path(), "one/bild.jpg");
    touch(root.path(), "two/bild.jpg");
    const ScanResult result = scan(root.path(), true);
    QCOMPARE(result.entries, (QStringList { "bild.jpg", "bild.jpg" }));
    QCOMPARE(result.paths, (QStringList { root.path() + "/one/bild.jpg", root.path() + "/two/bild.jpg" }));
}

void TestCatalogue::whatIsListed()
{
    QTemporaryDir root;
    for (const char* path :
        { "BILD.JPG", "b.Bmp", "c.jpeg", ".hidden.jpg", ".versteckt/in.jpg", "x.jpg.txt", "bild10.gif", "bild2.gif" })
        touch(root.path(), QString::fromLatin1(path));
    QDir(root.path()).mkdir("ordner.jpg");

    // Capital extensions count, ".jpeg" does not, hidden entries and folders named like
    // images are left out; each group comes in the name order.
    QCOMPARE(scan(root.path(), true).entries, (QStringList { "BILD.JPG", "b.Bmp", "bild2.gif", "bild10.gif" }));
}

void TestCatalogue::symbolicLinkLoopEnds()
{
    QTemporaryDir root;
    touch(root.path(), "a/pic.jpg");
    QVERIFY(QFile::link(root.path() + "/a", root.path() + "/a/loop"));
    QVERIFY(QFile::link(root.path() + "/a/pic.jpg", root.path() + "/link.jpg"));
    const ScanResult result = scan(root.path(), true);
    // The folder is walked once; a link to a file is a file.
    QCOMPARE(result.entries, (QStringList { "pic.jpg", "link.jpg" }));
}

void TestCatalogue::vanishedFolderGivesNothing()
{
    const ScanResult result = scan("/does/not/exist", true);
    QCOMPARE(result.state.nFileCount, 0);
    QVERIFY(!result.full);
}

void TestCatalogue::capacityGrowsInSteps()
{
    QTemporaryDir root;
    WindowState state;
    FolderScan walk(state, [](const QString&) {});
    walk.reset();
    QCOMPARE(state.nFileCapacity, -1);

    for (int i = 0; i < 101; ++i)
        touch(root.path(), QString("f%1.jpg").arg(i, 3, 10, QChar('0')));
    walk.ScanFolder(root.path());
    QCOMPARE(state.nFileCount, 101);
    QCOMPARE(state.nFileCapacity, 199);
    QCOMPARE(state.aFiles.size(), 200);

    // A rebuild keeps the old paths but starts over at 100 slots.
    QTemporaryDir small;
    touch(small.path(), "one.jpg");
    walk.reset();
    walk.ScanFolder(small.path());
    QCOMPARE(state.nFileCount, 1);
    QCOMPARE(state.nFileCapacity, 99);
    QCOMPARE(state.aFiles.size(), 100);
    QCOMPARE(state.aFiles[1], root.path() + "/f001.jpg");
}

void TestCatalogue::limitStopsAt32700()
{
    QTemporaryDir root;
    for (int folder = 0; folder < 11; ++folder) {
        const QString dir = root.path() + QString("/d%1").arg(folder, 2, 10, QChar('0'));
        QDir().mkpath(dir);
        for (int i = 0; i < 2973 && folder * 2973 + i < 32701; ++i)
            touch(dir, QString("%1.jpg").arg(i, 4, 10, QChar('0')));
    }
    const ScanResult result = scan(root.path(), true);
    QVERIFY(result.full);
    QCOMPARE(result.state.nFileCount, 32700);
    QCOMPARE(result.entries.size(), 32700);
    QCOMPARE(result.state.nFileCapacity, 32699);
    QCOMPARE(result.paths.last(), root.path() + "/d10/2969.jpg");
}

void TestCatalogue::wildcard_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("plain") << "a.jpg"
                           << "*.jpg" << true;
    QTest::newRow("capitals") << "BILD.JPG"
                              << "*.jpg" << true;
    QTest::newRow("longer extension") << "a.jpeg"
                                      << "*.jpg" << false;
    QTest::newRow("only the extension") << ".jpg"
                                        << "*.jpg" << true;
    QTest::newRow("two dots") << "a.jpg.jpg"
                              << "*.jpg" << true;
    QTest::newRow("umlaut folds") << "\u00c4PFEL.GIF"
                                  << "\u00e4*.gif" << true;
    QTest::newRow("question mark") << "ab.bmp"
                                   << "a?.bmp" << true;
}

void TestCatalogue::wildcard()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(matchesWildcard(name, pattern), matches);
}

void TestCatalogue::nativeNames_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Latin-1 file") << QByteArray("\xE4rger.jpg") << QString::fromUtf8("\u00e4rger.jpg");
    QTest::newRow("Latin-1 folder") << QByteArray("\xDC"
                                                  "bung/bild.jpg")
                                    << QString::fromUtf8("\u00dcbung/bild.jpg");
    QTest::newRow("UTF-8 file") << QByteArray("\xC3\xA4rger.jpg") << QString::fromUtf8("\u00e4rger.jpg");
}

void TestCatalogue::nativeNames()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, shown);
    QTemporaryDir root;
    const QByteArray folder = QFile::encodeName(root.path()) + '/' + raw.left(qMax(0, raw.indexOf('/')));
    const QByteArray rawPath = QFile::encodeName(root.path()) + '/' + raw;
    // QTemporaryDir cannot remove names that are not UTF-8 itself.
    const auto remove = qScopeGuard([&] {
        ::unlink(rawPath.constData());
        ::rmdir(folder.constData());
    });
    if (raw.contains('/'))
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    const int fd = ::open(rawPath.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);

    // Listed readably, walked into, and the stored path opens the very file.
    const ScanResult result = scan(root.path(), true);
    QCOMPARE(result.paths.size(), 1);
    QCOMPARE(displayName(result.paths[0]), root.path() + '/' + shown);
    QCOMPARE(displayName(result.entries[0]), fileNameOf(shown));
    struct stat listed {
    }, created {};
    QCOMPARE(::stat(nativePath(result.paths[0]).constData(), &listed), 0);
    QCOMPARE(::stat(rawPath.constData(), &created), 0);
    QCOMPARE(listed.st_ino, created.st_ino);
}

void TestCatalogue::nativeCodec_data()
{
    QTest::addColumn<QByteArray>("native");
    QTest::addColumn<QString>("decoded");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("a.jpg") << QString("a.jpg") << QString("a.jpg");
    QTest::newRow("UTF-8") << QByteArray("\xC3\xA4\xF0\x9F\x93\xB7") << QString::fromUtf16(u"\u00e4\U0001F4F7")
                           << QString::fromUtf16(u"\u00e4\U0001F4F7");
    QTest::newRow("Latin-1") << QByteArray("\xE4.jpg") << QString::fromUtf16(u"\uF7E4.jpg")
                             << QString::fromUtf16(u"\u00e4.jpg");
    QTest::newRow("lone 0xFF") << QByteArray("\xFF") << QString::fromUtf16(u"\uF7FF") << QString::fromUtf16(u"\u00ff");
    QTest::newRow("Windows-1252") << QByteArray("\x84\x81") << QString::fromUtf16(u"\uF784\uF781")
                                  << QString::fromUtf16(u"\u201e\ufffd");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QString::fromUtf16(u"\uF7C0\uF7AF")
                                    << QString::fromUtf16(u"\u00c0\u00af");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QString::fromUtf16(u"\uF7ED\uF7A0\uF780")
                               << QString::fromUtf16(u"\u00ed\u00a0\u20ac");
    QTest::newRow("cut off") << QByteArray("a\xC3") << QString::fromUtf16(u"a\uF7C3") << QString::fromUtf16(u"a\u00c3");
    // A name that already holds a code point of the escape range keeps its bytes too.
    QTest::newRow("escape range") << QByteArray("\xEF\x9F\xA4") << QString::fromUtf16(u"\uF7EF\uF79F\uF7A4")
                                  << QString::fromUtf16(u"\u00ef\u0178\u00a4");
    QTest::newRow("other private use") << QByteArray("\xEE\x80\x80") << QString::fromUtf16(u"\uE000")
                                       << QString::fromUtf16(u"\uE000");
}

void TestCatalogue::nativeCodec()
{
    QFETCH(QByteArray, native);
    QFETCH(QString, decoded);
    QFETCH(QString, shown);
    QCOMPARE(pathFromNative(native), decoded);
    QCOMPARE(nativePath(decoded), native);
    QCOMPARE(displayName(decoded), shown);
}

void TestCatalogue::nameOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("numbers by value") << QStringList { "bild10.jpg", "bild2.jpg", "bild1.jpg", "Bild3.jpg" }
                                      << QStringList { "bild1.jpg", "bild2.jpg", "Bild3.jpg", "bild10.jpg" };
    QTest::newRow("case ties by the raw name") << QStringList { "Zeta.gif", "alpha.gif", "Alpha.gif", "beta.gif" }
                                               << QStringList { "Alpha.gif", "alpha.gif", "beta.gif", "Zeta.gif" };
    QTest::newRow("leading zeros tie") << QStringList { "bild1.jpg", "bild001.jpg", "bild01.jpg" }
                                       << QStringList { "bild001.jpg", "bild01.jpg", "bild1.jpg" };
    QTest::newRow("umlauts") << QStringList { "Zebra", "Uhr", "\u00dcbung", "Ubung", "\u00c4pfel", "Apfel" }
                             << QStringList { "Apfel", "\u00c4pfel", "Ubung", "\u00dcbung", "Uhr", "Zebra" };
    QTest::newRow("Latin-1 byte") << QStringList { "b.jpg", QString::fromUtf16(u"\uF7E4rger.jpg"), "arg.jpg" }
                                  << QStringList { "arg.jpg", QString::fromUtf16(u"\uF7E4rger.jpg"), "b.jpg" };
}

void TestCatalogue::nameOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    sortNames(names);
    QCOMPARE(names, expected);
}

void TestCatalogue::drives_data()
{
    QTest::addColumn<QByteArray>("mounts");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QStringList>("drives");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");
    const QByteArray desktop = "sysfs /sys sysfs rw,nosuid 0 0\n"
                               "proc /proc proc rw 0 0\n"
                               "/dev/sda2 / ext4 rw,relatime 0 0\n"
                               "tmpfs /run tmpfs rw 0 0\n"
                               "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                               "/dev/sda3 /home ext4 rw 0 0\n"
                               "overlay /mnt/container overlay rw 0 0\n"
                               "/dev/loop0 /snap/core/17 squashfs ro 0 0\n"
                               "/dev/loop1 /mnt/image squashfs ro 0 0\n"
                               "tmpfs /mnt/ram tmpfs rw 0 0\n"
                               "/dev/sdb1 /media/usb vfat rw 0 0\n"
                               "/dev/sdb1 /media/usb vfat rw 0 0\n"
                               "/dev/sdc1 /run/media/anna/Urlaub\\0402023 exfat rw 0 0\n"
                               "nas:/fotos /mnt/nas nfs4 rw,hard 0 0\n";
    const QStringList desktopDrives { "/", "/home", "/media/usb", "/mnt/nas", "/run/media/anna/Urlaub 2023" };
    QTest::newRow("home on its own disk") << desktop << "/home/anna" << desktopDrives << "/home/anna/Bilder"
                                          << "/home";
    QTest::newRow("longest root") << desktop << "/home/anna" << desktopDrives << "/mnt/nas/2023/a.jpg"
                                  << "/mnt/nas";
    QTest::newRow("a name that only begins like a root")
        << desktop << "/home/anna" << desktopDrives << "/mnt/nas-alt/a.jpg"
        << "/";
    QTest::newRow("home on the root") << QByteArray("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/Ger\\344t vfat rw 0 0\n")
                                      << "/home/anna" << QStringList { "/", QString::fromUtf16(u"/media/Ger\uF7E4t") }
                                      << "/home/anna"
                                      << "/";
    QTest::newRow("home on a share") << QByteArray("/dev/sda1 / ext4 rw 0 0\nserver:/home/anna /home/anna nfs rw 0 0\n")
                                     << "/home/anna" << QStringList { "/", "/home/anna" } << "relative/a.jpg"
                                     << "";
}

void TestCatalogue::drives()
{
    QFETCH(QByteArray, mounts);
    QFETCH(QString, home);
    QFETCH(QStringList, drives);
    QFETCH(QString, path);
    QFETCH(QString, drive);
    QCOMPARE(drivesFromMountTable(mounts, home), drives);
    QCOMPARE(driveOf(drives, path), drive);
}

void TestCatalogue::pageCountAndText_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("ticked");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << 0 << 0 << 7 << 11 << "0 Datei(en) -  0 Datei(en) markiert - 0 Druckseiten";
    QTest::newRow("77") << 120 << 77 << 7 << 11 << "120 Datei(en) -  77 Datei(en) markiert - 1 Druckseiten";
    QTest::newRow("78") << 120 << 78 << 7 << 11 << "120 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten";
    QTest::newRow("154") << 200 << 154 << 7 << 11 << "200 Datei(en) -  154 Datei(en) markiert - 2 Druckseiten";
    QTest::newRow("155") << 200 << 155 << 7 << 11 << "200 Datei(en) -  155 Datei(en) markiert - 3 Druckseiten";
    QTest::newRow("no columns") << 10 << 5 << 0 << 11 << "10 Datei(en) -  5 Datei(en) markiert - 0 Druckseiten";
    QTest::newRow("negative grid") << 10 << 5 << -3 << -2 << "10 Datei(en) -  5 Datei(en) markiert - 0 Druckseiten";
    QTest::newRow("huge grid") << 10 << 5 << 2000000000 << 2000000000
                               << "10 Datei(en) -  5 Datei(en) markiert - 1 Druckseiten";
}

void TestCatalogue::pageCountAndText()
{
    QFETCH(int, files);
    QFETCH(int, ticked);
    QFETCH(int, cols);
    QFETCH(int, rows);
    QFETCH(QString, text);
    QCOMPARE(statusText(files, ticked, pageCount(ticked, cols, rows)), text);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
