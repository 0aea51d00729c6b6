// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's decisions, run in this process as the program runs them: arguments, exit
// statuses and the one line each failure says.
#include "ImageFixtures.h"
#include "PdfTools.h"
#include "Photos.h"

#include "cli/PrintFolder.h"
#include "engine/print/PrintCommand.h"

#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QtTest>

using namespace rasterblatt;
using namespace rasterblatt::testing;

class TestCommandLineDecisions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        writePhotos(m_dir.filePath("Urlaub"), 3, 0, QSize(160, 120));
        QVERIFY(fixtures::writeFile(m_dir.filePath("Kaputt/kaputt.jpg"), "kein Bild"));
        QDir().mkpath(m_dir.filePath("leer"));
        QDir().mkpath(m_dir.filePath("--pdf"));
        // A device of its own, as /dev/null is: where the test may not make one, its row is skipped.
        m_device
            = ::mknod(QFile::encodeName(m_dir.filePath("geraet.pdf")).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
        m_photoSize = QFileInfo(m_dir.filePath("Urlaub/bild000.jpg")).size();
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("help") << QStringList { "--help" } << 0 << "--list-printers";
        // Bad arguments: one line naming the fault, and a pointer to --help.
        const std::pair<QStringList, const char*> bad[] = { { { "--pdf", "a.pdf", "--printer", "x", "B" }, "schlie" },
            { { "--printer", "PDF-Datei", "B" }, "keine Warteschlange" }, { { "--pdf", "a.pdf" }, "Ordner" },
            { { "--pdf", "a.pdf", "--jpeg", "a.jpg", "B" }, "schlie" }, { { "A", "B" }, "\u201eB\u201c" },
            { { "--pdf", "a.pdf", "--cols", "0", "B" }, "1 bis 99" },
            { { "--pdf", "a.pdf", "--rows", "100", "B" }, "1 bis 99" }, { { "--subdirs", "B" }, "--pdf" },
            { { "--pdf", "a.pdf", "--min-rating", "6", "B" }, "1 bis 5" },
            { { "--pdf", "a.pdf", "--pdf", "b.pdf", "Urlaub" }, "--pdf ist mehrfach" } };
        for (const auto& [arguments, message] : bad)
            QTest::newRow(qPrintable(arguments.join(' '))) << arguments << 1 << QString(message);
        QTest::newRow("folder missing") << QStringList { "--pdf", "a.pdf", "Fehlt" } << 2
                                        << "Rasterblatt: Den Ordner \u201eFehlt\u201c gibt es nicht.";
        QTest::newRow("no picture") << QStringList { "--pdf", "a.pdf", "leer" } << 2 << "kein Bild";
        // A header and page numbers alone are nothing printed.
        QTest::newRow("nothing readable") << QStringList { "--pdf", "a.pdf", "--no-names", "--header", "--page-numbers",
            "Kaputt" } << 2 << "Nichts gedruckt: keines der Bilder konnte gelesen werden.";
        QTest::newRow("queue missing") << QStringList { "--printer", "Gibtsnicht", "Urlaub" } << 3
                                       << "\u201eGibtsnicht\u201c";
        QTest::newRow("target's folder missing")
            << QStringList { "--pdf", "fehlt/a.pdf", "Urlaub" } << 3
            << "Rasterblatt: Die PDF-Datei \u201efehlt/a.pdf\u201c kann nicht geschrieben werden: Den Ordner \u201e"
                + m_dir.filePath("fehlt") + "\u201c gibt es nicht.";
        // What is there is never damaged: a device (a FIFO in the window's test), a picture of the folder.
        QTest::newRow("target a device") << QStringList { "--pdf", "geraet.pdf", "Urlaub" } << 3
                                         << "\u201egeraet.pdf\u201c kann nicht geschrieben werden: Sie ist keine "
                                            "gew\u00f6hnliche Datei.";
        QTest::newRow("target a picture")
            << QStringList { "--pdf", "Urlaub/bild000.jpg", "Urlaub" } << 1 << "eines der Bilder";
        QTest::newRow("paper not offered")
            << QStringList { "--pdf", "a.pdf", "--paper", "B5", "Urlaub" } << 1 << "A4, A3, A5, Letter, Legal";
        // "--" ends the options: "--pdf" is the folder, which holds no picture.
        QTest::newRow("folder after --") << QStringList { "--pdf", "a.pdf", "--", "--pdf" } << 2 << "kein Bild";
    }
    void exitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (arguments.contains("geraet.pdf") && !m_device)
            QSKIP("no device can be made here");
        char *outText = nullptr, *errText = nullptr;
        std::size_t outSize = 0, errSize = 0;
        std::FILE* out = ::open_memstream(&outText, &outSize);
        std::FILE* err = ::open_memstream(&errText, &errSize);
        RunFlags flags;
        QCOMPARE(runWithoutWindow(arguments, out, err, flags), status);
        std::fclose(out);
        std::fclose(err);
        const QString said = QString::fromLocal8Bit(outText), complaint = QString::fromLocal8Bit(errText);
        std::free(outText);
        std::free(errText);
        // Errors are one line on standard error; answers go to standard output.
        QVERIFY2((status == 0 ? said : complaint).contains(message), qPrintable(said + complaint));
        if (status != 0)
            QCOMPARE(complaint.count('\n'), 1);
        QCOMPARE(complaint.contains("--help"), status == 1);
        for (const char* name : { "a.pdf", "b.pdf" })
            QVERIFY(!QFile::exists(m_dir.filePath(name)));
        QVERIFY(!QFileInfo(m_dir.filePath("geraet.pdf")).isFile());
        QCOMPARE(QFileInfo(m_dir.filePath("Urlaub/bild000.jpg")).size(), m_photoSize);
    }

    void severalFoldersAndPictureFiles()
    {
        // Three photos and eighty at 7 x 11 into one document: pages 1 and 2-3, each folder's name
        // in its header; a folder that is not there is named, the rest print. A JPEG cut off
        // prints what it has and is counted as damaged. Picture files: one a page, or one alone.
        writePhotos(m_dir.filePath("A"), 3, 0, QSize(16, 12));
        writePhotos(m_dir.filePath("B"), 80, 0, QSize(16, 12));
        const QByteArray whole = fixtures::encode(fixtures::quadrants(QSize(640, 480)), "JPEG");
        QVERIFY(fixtures::writeFile(m_dir.filePath("C/halb.jpg"), whole.left(whole.size() / 2)));
        const auto run = [&](const QStringList& arguments, int status) {
            char *outText = nullptr, *errText = nullptr;
            std::size_t outSize = 0, errSize = 0;
            std::FILE* out = ::open_memstream(&outText, &outSize);
            std::FILE* err = ::open_memstream(&errText, &errSize);
            RunFlags flags;
            QCOMPARE(runWithoutWindow(arguments, out, err, flags), status);
            std::fclose(out), std::fclose(err);
            m_said = QString::fromLocal8Bit(outText) + QString::fromLocal8Bit(errText);
            std::free(outText), std::free(errText);
        };
        run({ "--pdf", "x.pdf", "--header", "--page-numbers", "A", "B", "Fehlt" }, 0);
        QVERIFY2(m_said.contains("83 Bild(er) auf 3 Seite(n) gedruckt, 0 nicht lesbar.\n")
                && m_said.contains("Den Ordner \u201eFehlt\u201c gibt es nicht."),
            qPrintable(m_said));
        const QString pdf = m_dir.filePath("x.pdf");
        QCOMPARE(pdfInfo(pdf, "Pages"), QString("3"));
        for (const auto& [page, header, number] :
            { std::tuple { "1", "A", "Seite 1 von 3" }, { "2", "B", "Seite 2 von 3" } }) {
            const QString text = runTool("pdftotext", { "-f", page, "-l", page, pdf, "-" }).output;
            QVERIFY2(text.startsWith(QString(header) + "\n"), qPrintable(text));
            QVERIFY2(text.contains(number), qPrintable(text));
        }
        run({ "--jpeg", "s.jpg", "A", "B" }, 0);
        run({ "--jpeg", "t.jpg", "A" }, 0);
        QCOMPARE(QDir(m_dir.path()).entryList({ "*.jpg" }), QStringList({ "s-1.jpg", "s-2.jpg", "s-3.jpg", "t.jpg" }));
        run({ "--pdf", "c.pdf", "--verbose", "C" }, 0);
        QVERIFY2(m_said.startsWith("1 Bild(er) auf 1 Seite(n) gedruckt, 0 nicht lesbar, 1 beschädigt.\nbeschädigt: ")
                && m_said.contains("halb.jpg (beschädigt (Premature end of JPEG file"),
            qPrintable(m_said));
    }

private:
    QString m_said;
    QTemporaryDir m_dir;
    qint64 m_photoSize = 0;
    bool m_device = false;
};

QTEST_MAIN(TestCommandLineDecisions)
#include "tst_commandline.moc"
