// SPDX-License-Identifier: GPL-3.0-or-later
// The program on the command line, without a display: arguments, exit statuses, contact
// sheets into PDF files and onto a queue of the private CUPS, and Ctrl+C.
#include "ImageFixtures.h"
#include "PdfTools.h"
#include "Photos.h"

#include <array>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

struct Run {
    int status = -1;
    QString out, err;
};

class TestCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Three pictures in the folder, two in a sub-folder, one that cannot be loaded.
        writePhotos(m_dir.filePath("Urlaub"), 3, 0, QSize(160, 120));
        writePhotos(m_dir.filePath("Urlaub/Tag 2"), 2, 3, QSize(160, 120));
        QVERIFY(fixtures::writeFile(m_dir.filePath("Urlaub/kaputt.gif"), "GIF89a"));
        QVERIFY(fixtures::writeFile(m_dir.filePath("Kaputt/kaputt.jpg"), "kein Bild"));
        QDir().mkpath(m_dir.filePath("leer"));
        QDir().mkpath(m_dir.filePath("--pdf"));
        QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("fifo.pdf")).constData(), 0600) == 0);
        m_photoSize = QFileInfo(m_dir.filePath("Urlaub/bild000.jpg")).size();
        QDir().mkpath(m_dir.filePath("tmp"));
        QDir().mkpath(m_dir.filePath("run"));
        QFile::setPermissions(m_dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("version") << QStringList { "--version" } << 0 << "Rasterblatt 1.0.0";
        QTest::newRow("help") << QStringList { "--help" } << 0 << "--list-printers";
        // Bad arguments: one line naming the fault, and a pointer to --help.
        const std::pair<QStringList, const char*> bad[] = { { { "--pdf", "a.pdf", "--printer", "x", "B" }, "schlie" },
            { { "--printer", "PDF-Datei", "B" }, "keine Warteschlange" }, { { "--pdf", "a.pdf" }, "Ordner" },
            { { "--pdf", "a.pdf", "A", "B" }, "\u201eB\u201c" },
            { { "--pdf", "a.pdf", "--cols", "0", "B" }, "1 bis 99" },
            { { "--pdf", "a.pdf", "--rows", "100", "B" }, "1 bis 99" }, { { "--subdirs", "B" }, "--pdf" },
            { { "--pdf", "a.pdf", "--min-rating", "6", "B" }, "1 bis 5" }, { { "--farbe" }, "farbe" } };
        for (const auto& [arguments, message] : bad)
            QTest::newRow(qPrintable(arguments.join(' '))) << arguments << 1 << QString(message);
        QTest::newRow("folder missing") << QStringList { "--pdf", "a.pdf", "Fehlt" } << 2 << "\u201eFehlt\u201c";
        QTest::newRow("no picture") << QStringList { "--pdf", "a.pdf", "leer" } << 2 << "kein Bild";
        QTest::newRow("nothing readable") << QStringList { "--pdf", "a.pdf", "--no-names", "Kaputt" } << 2
                                          << "Nichts gedruckt: keines der Bilder konnte gelesen werden.";
        QTest::newRow("queue missing") << QStringList { "--printer", "Gibtsnicht", "Urlaub" } << 3
                                       << "\u201eGibtsnicht\u201c";
        QTest::newRow("target's folder missing") << QStringList { "--pdf", "fehlt/a.pdf", "Urlaub" } << 3 << "fehlt";
        // What is there is never damaged: a device, a FIFO, a picture of the folder.
        QTest::newRow("target a device") << QStringList { "--pdf", "/dev/null", "Urlaub" } << 3
                                         << "\u201e/dev/null\u201c ist keine gew\u00f6hnliche Datei.";
        QTest::newRow("target a FIFO") << QStringList { "--pdf", "fifo.pdf", "Urlaub" } << 3 << "fifo.pdf";
        QTest::newRow("target a picture")
            << QStringList { "--pdf", "Urlaub/bild000.jpg", "Urlaub" } << 1 << "eines der Bilder";
        QTest::newRow("paper not offered")
            << QStringList { "--pdf", "a.pdf", "--paper", "B5", "Urlaub" } << 1 << "A4, A3, A5, Letter, Legal";
        QTest::newRow("option twice") << QStringList { "--pdf", "a.pdf", "--pdf", "b.pdf", "Urlaub" } << 1
                                      << "--pdf ist mehrfach";
        // "--" ends the options: "--pdf" is the folder, which holds no picture.
        QTest::newRow("folder after --") << QStringList { "--pdf", "a.pdf", "--", "--pdf" } << 2 << "kein Bild";
    }
    void exitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        const Run result = run(arguments);
        QCOMPARE(result.status, status);
        // Errors are one line on standard error; answers go to standard output.
        const QString text = status == 0 ? result.out : result.err;
        QVERIFY2(text.contains(message), qPrintable(result.out + result.err));
        if (status != 0)
            QCOMPARE(result.err.count('\n'), 1);
        if (status == 1)
            QVERIFY(result.err.contains("--help"));
        QVERIFY(!QFile::exists(m_dir.filePath("a.pdf")) && !QFile::exists(m_dir.filePath("b.pdf")));
        QVERIFY(QFileInfo("/dev/null").isFile() == false && QFileInfo(m_dir.filePath("fifo.pdf")).isFile() == false);
        QCOMPARE(QFileInfo(m_dir.filePath("Urlaub/bild000.jpg")).size(), m_photoSize);
    }
    void contactSheet_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<int>>("files");
        QTest::addColumn<bool>("names");
        // Sub-folders first, as the window lists them.
        QTest::newRow("sub-folders, 2 x 2")
            << QStringList { "--subdirs", "--cols", "2", "--rows", "2" } << QList<int> { 3, 4, 0, 1, 2 } << true;
        QTest::newRow("folder only, no names") << QStringList { "--no-names" } << QList<int> { 0, 1, 2 } << false;
    }
    void contactSheet()
    {
        QFETCH(QStringList, options);
        QFETCH(QList<int>, files);
        QFETCH(bool, names);
        const QString pdf = m_dir.filePath("urlaub.pdf");
        QFile::remove(pdf);
        const Run result = run(QStringList { "--pdf", "urlaub.pdf" } + options + QStringList { "Urlaub" });
        QCOMPARE(result.status, 0);
        QVERIFY2(result.out.contains(QString("%1 Bild(er)").arg(files.size())) && result.out.contains("1 nicht lesbar"),
            qPrintable(result.out));
        QVERIFY(result.err.isEmpty()); // not a terminal: no progress

        const int cols = names ? 2 : 7, perPage = names ? 4 : 77;
        QCOMPARE(pdfInfo(pdf, "Pages"), QString::number((files.size() + perPage) / perPage)); // kaputt.gif too
        const QString text = pdfText(pdf);
        QCOMPARE(text.count(".jpg") + text.count(".gif"), names ? files.size() + 1 : 0);
        // The centre of every picture area shows its file's colour; the page is A4 without margins.
        QTemporaryDir rendered;
        runTool("pdftoppm", { "-r", "72", "-l", "1", "-png", "-singlefile", pdf, rendered.filePath("p") });
        const QImage page(rendered.filePath("p.png"));
        const double cellWidth = (11906 - 2000 * 1440.0 / 2540) / cols;
        const double cellHeight = (16838 - 2500 * 1440.0 / 2540) / (names ? 2 : 11);
        for (int cell = 0; cell < std::min<int>(files.size(), perPage); ++cell) {
            const double x = 1000 * 1440.0 / 2540 + (cell % cols + 0.475) * cellWidth;
            const double y = 500 * 1440.0 / 2540 + (cell / cols + 0.4) * cellHeight;
            const QColor actual = page.pixelColor(qRound(x / 20), qRound(y / 20));
            QVERIFY2(fixtures::similarColor(actual, photoColor(files[cell]), 48), qPrintable(QString::number(cell)));
        }
    }
    void printerQueue_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QString>("page"); // as pdfinfo reports it
        QTest::addColumn<QString>("media"); // the paper option the job carries; "" none
        // A raw queue takes the PDF alone; one with a driver is told the paper, its default or the one chosen.
        QTest::newRow("raw queue") << QStringList { "--paper", "letter" } << "Testdrucker"
                                   << "612 x 792 pts"
                                   << "";
        QTest::newRow("driver's default") << QStringList {} << "Fotodrucker"
                                          << "612 x 792 pts"
                                          << "PageSize=Letter";
        QTest::newRow("driver's A3, landscape") << QStringList { "--paper", "A3", "--landscape" } << "Fotodrucker"
                                                << "1191 x 842 pts"
                                                << "PageSize=A3";
    }
    void printerQueue()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, queue);
        QFETCH(QString, page);
        QFETCH(QString, media);
        const QString sandbox = qEnvironmentVariable("CUPS_SANDBOX_DIR");
        if (sandbox.isEmpty())
            QSKIP("no private CUPS");
        const qsizetype before = capturedJobs(sandbox, queue).size();
        const Run result = run(QStringList { "--printer", queue, "--quiet" } + options + QStringList { "Urlaub" });
        QCOMPARE(result.status, 0);
        QVERIFY(result.out.isEmpty() && result.err.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(capturedJobs(sandbox, queue).size(), before + 1, 20000);
        const QString job = capturedJobs(sandbox, queue).last();
        QVERIFY(pdfInfo(job, "Page size").startsWith(page));
        const QString jobOptions = fixtures::readFile(QString(job).replace(".pdf", ".options"));
        QVERIFY2(
            media.isEmpty() ? !jobOptions.contains("PageSize=") : jobOptions.contains(media), qPrintable(jobOptions));
        QVERIFY(run({ "--list-printers" }).out.split('\n').contains(queue));
        // A paper the queue does not offer is refused, with those it does.
        QVERIFY(queue != "Fotodrucker"
            || run({ "--printer", queue, "--paper", "A5", "Urlaub" }).err.contains("Letter, A4, A3"));
    }
    void oldSheetStays_data()
    {
        QTest::addColumn<bool>("interrupt");
        QTest::newRow("Ctrl+C") << true;
        QTest::newRow("full disk") << false;
    }
    void oldSheetStays()
    {
        // Ctrl+C in the middle of a long job, or a small file system filled up: the sheet written
        // before stays byte for byte, and no temporary file is left.
        QFETCH(bool, interrupt);
        const QString disk = m_dir.filePath(interrupt ? "Platte" : "Stick"), pdf = disk + "/alt.pdf";
        QDir().mkpath(disk);
        const bool mounted = !interrupt && runTool("mount", { "-t", "tmpfs", "-o", "size=2m", "tmpfs", disk }).ok;
        const auto unmount = qScopeGuard([&] {
            if (mounted)
                runTool("umount", { disk });
        });
        QCOMPARE(run({ "--pdf", pdf, "Urlaub" }).status, 0);
        const QByteArray good = fixtures::readFile(pdf);
        Run result;
        if (interrupt) {
            const QByteArray photo = fixtures::encode(fixtures::quadrants(QSize(1200, 900)), "JPEG");
            for (int i = 0; i < 400; ++i)
                QVERIFY(fixtures::writeFile(m_dir.filePath("Viele/bild%1.jpg").arg(i, 3, 10, QChar('0')), photo));
            std::unique_ptr<QProcess> process(start({ "--pdf", pdf, "--cols", "1", "--rows", "1", "Viele" }));
            // The job's document is opened beside its target when the first picture is drawn.
            const auto documentOpen = [&] {
                const QString fds = QString("/proc/%1/fd/").arg(process->processId());
                const QStringList open = QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
                return std::any_of(open.begin(), open.end(),
                    [&](const QString& fd) { return QFile::symLinkTarget(fds + fd).startsWith(disk + '/'); });
            };
            QTRY_VERIFY_WITH_TIMEOUT(documentOpen(), 20000);
            ::kill(pid_t(process->processId()), SIGINT);
            QVERIFY(process->waitForFinished(20000));
            result = { process->exitCode(), {}, QString::fromLocal8Bit(process->readAllStandardError()) };
        } else if (mounted) {
            // Everything but 4 kB taken.
            QProcess::execute("dd", { "if=/dev/zero", "of=" + disk + "/voll", "bs=4k", "count=10000" });
            QFile::resize(disk + "/voll", QFileInfo(disk + "/voll").size() - 4096);
            result = run({ "--pdf", pdf, "Urlaub" });
        } else {
            // Where no file system can be mounted, files may not grow beyond 4 kB.
            result = run(
                { "-c", "ulimit -f 8; exec \"$0\" \"$@\"", RASTERBLATT_EXECUTABLE, "--pdf", pdf, "Urlaub" }, "/bin/sh");
        }
        QCOMPARE(result.status, 3);
        QVERIFY2(result.err.contains(interrupt ? "Abgebrochen" : "Auf dem Datentr\u00e4ger ist kein Platz mehr."),
            qPrintable(result.err));
        QCOMPARE(fixtures::readFile(pdf), good);
        for (const QString& folder : { disk, m_dir.filePath("tmp") })
            QVERIFY(QDir(folder).entryList({ ".rasterblatt*" }, QDir::Files | QDir::Hidden).isEmpty());
    }
    void beyondTheLimit()
    {
        // 300 pictures more than the catalogue holds: printed are 32,700, and the rest are counted.
        const QString folder = m_dir.filePath("Viel");
        for (int i = 0; i < 33000; ++i)
            fixtures::writeFile(folder + QString("/b%1.jpg").arg(i, 5, 10, QChar('0')), {});
        const Run result = run({ "--pdf", "viel.pdf", "--cols", "99", "--rows", "99", "--quiet", "Viel" });
        QCOMPARE(result.status, 4);
        QVERIFY2(result.err.contains("300 Bild(er) jenseits der Grenze"), qPrintable(result.err));
        QCOMPARE(pdfInfo(m_dir.filePath("viel.pdf"), "Pages"), QString("4"));
        QVERIFY(QDir(folder).removeRecursively());
    }
    void namesAreNoCommands()
    {
        // A name with an escape sequence and a line break of its own cannot colour the terminal or
        // forge a line; with --verbose, why a picture could not be read. "\xe4rger.jpg" in Latin-1,
        // a name no UTF-8 locale can decode, prints, and readably.
        const QString folder = m_dir.filePath("Boese");
        fixtures::writeFile(folder + "/\x1b[31mrot\nnicht lesbar: geheim.jpg", "kein Bild");
        const QByteArray latin1 = QFile::encodeName(folder) + "/\xe4rger.jpg";
        QVERIFY(fixtures::writeFile(latin1, fixtures::encode(fixtures::filled(QSize(80, 60), Qt::red), "JPEG")));
        const Run result = run({ "--pdf", "boese.pdf", "--verbose", "Boese" });
        ::unlink(latin1.constData());
        QCOMPARE(result.status, 0);
        QVERIFY2(!result.out.contains('\x1b') && result.out.contains("1 Bild(er)")
                && result.out.split('\n').filter(QRegularExpression("^nicht lesbar")).size() == 1,
            qPrintable(result.out));
        QVERIFY2(
            result.out.contains("\\x1b[31mrot\\nnicht lesbar: geheim.jpg (kein lesbares Bild"), qPrintable(result.out));
        QVERIFY(pdfText(m_dir.filePath("boese.pdf")).contains(QString::fromUtf8("\u00e4rger.jpg")));
    }
    void longNamesDoNotCollide()
    {
        // Seven camera names in a row, under landscape and portrait pictures, are wider than their
        // columns at 7 points; an eighth name is too long for its column even at 5.5. On the sheet the
        // names of a row share one line, the page's names one size; no two touch, none leaves the page.
        for (int i = 0; i < 8; ++i)
            fixtures::writeFile(m_dir.filePath(i < 7 ? "Kamera/IMG_20240815_12340%1.jpg" : "Kamera/%1.jpg")
                                    .arg(i < 7 ? QString::number(i) : QString(60, 'x')),
                fixtures::encode(fixtures::filled(i == 1 ? QSize(60, 80) : QSize(80, 60), photoColor(i)), "JPEG"));
        QCOMPARE(run({ "--pdf", "kamera.pdf", "Kamera" }).status, 0);
        static const QRegularExpression word(
            R"re(xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)"[^>]*>[^<]*\.jpg<)re");
        QList<std::array<double, 4>> names; // top, left, right, height in points
        const QString boxes = runTool("pdftotext", { "-bbox", m_dir.filePath("kamera.pdf"), "-" }).output;
        for (auto m = word.globalMatch(boxes); m.hasNext();) {
            const QRegularExpressionMatch name = m.next();
            const double top = name.captured(2).toDouble();
            names.append(
                { top, name.captured(1).toDouble(), name.captured(3).toDouble(), name.captured(4).toDouble() - top });
        }
        std::sort(names.begin(), names.end());
        QVERIFY2(
            names.size() == 8 && names[6][0] - names[0][0] < 0.01 && names[7][0] - names[0][0] > 10, qPrintable(boxes));
        for (int i = 0; i < 8; ++i)
            QVERIFY2(names[i][1] >= 0 && names[i][2] <= (i < 6 ? names[i + 1][1] : 595.3)
                    && qAbs(names[i][3] - names[0][3]) < 0.01,
                qPrintable(boxes));
    }

private:
    // The program (or another) without a display, in the test's folder.
    QProcess* start(const QStringList& arguments, const QString& program = RASTERBLATT_EXECUTABLE)
    {
        auto* process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(name);
        environment.insert("TMPDIR", m_dir.filePath("tmp"));
        environment.insert("XDG_RUNTIME_DIR", m_dir.filePath("run"));
        environment.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(m_dir.path());
        process->start(program, arguments);
        return process;
    }
    Run run(const QStringList& arguments, const QString& program = RASTERBLATT_EXECUTABLE)
    {
        std::unique_ptr<QProcess> process(start(arguments, program));
        process->waitForFinished(60000);
        return { process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
            QString::fromLocal8Bit(process->readAllStandardOutput()),
            QString::fromLocal8Bit(process->readAllStandardError()) };
    }

    QTemporaryDir m_dir;
    qint64 m_photoSize = 0;
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline_cups.moc"
