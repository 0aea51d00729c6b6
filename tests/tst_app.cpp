// SPDX-License-Identifier: GPL-3.0-or-later
// Pure pieces of the main window: the number test of the grid boxes, the termination signals, a
// settings file that is no file.
#include "engine/common/LocaleNumber.h"
#include "engine/common/TerminationWatcher.h"

#include <csignal>
#include <sys/stat.h>
#include <tuple>

#include <QtTest>

using namespace rasterblatt;

class TestApp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("german"); // "" for no number
        QTest::addColumn<QString>("english");
        // The locale decides the decimal separator; halves go to the even neighbour.
        for (const auto& [text, german, english] :
            { std::tuple { "12", "12", "12" }, { "-3", "-3", "-3" }, { "+4", "4", "4" }, { " 7 ", "7", "7" },
                { "", "", "" }, { "-", "", "" }, { "a", "", "" }, { "99999999999", "", "" }, { "2,5", "2", "" },
                { "3,5", "4", "" }, { ",", "", "" }, { "2.5", "", "2" }, { "6.7", "", "7" } })
            QTest::addRow("'%s'", text) << QString(text) << QString(german) << QString(english);
    }
    void wholeNumber()
    {
        QFETCH(QString, text);
        for (const auto& [locale, column] : { std::pair { "de_DE", "german" }, { "en_US", "english" } }) {
            const auto number = parseWholeNumber(text, QLocale(locale));
            QTEST(number ? QString::number(*number) : QString(), column);
        }
    }
    void terminationSignals()
    {
        TerminationWatcher watcher;
        QSignalSpy requested(&watcher, &TerminationWatcher::terminationRequested);
        for (const int signal : { SIGTERM, SIGHUP }) {
            std::raise(signal);
            QVERIFY(requested.wait(5000));
        }
    }
    // A settings file that is a FIFO would wait for a writer for ever: the window starts without
    // it, says so, ends on SIGTERM and leaves the FIFO alone.
    void settingsFileIsAFifo()
    {
        QTemporaryDir config;
        const QString fifo = config.filePath("Rasterblatt/Rasterblatt.ini");
        QVERIFY(QDir().mkpath(config.filePath("Rasterblatt")));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QProcess window;
        window.start(RASTERBLATT_EXECUTABLE, {});
        const auto end = qScopeGuard([&] { // a window that hangs all the same goes
            window.kill();
            window.waitForFinished();
        });
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += window.readAllStandardError()).contains("is no regular file"), 10000);
        // Ended by SIGTERM, whether or not its handler is in place yet.
        window.terminate();
        QVERIFY(window.waitForFinished(20000));
        QVERIFY(QFileInfo(fifo).exists());
        QVERIFY(!QFileInfo(fifo).isFile());
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
