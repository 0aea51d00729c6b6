// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's decisions, run in this process as the program runs them: arguments, exit
// statuses and the one line each failure says.
#include "ImageFixtures.h"
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
            { { "--pdf", "a.pdf", "A", "B" }, "\u201eB\u201c" },
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

private:
    QTemporaryDir m_dir;
    qint64 m_photoSize = 0;
    bool m_device = false;
};

QTEST_MAIN(TestCommandLineDecisions)
#include "tst_commandline.moc"
