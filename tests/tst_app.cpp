// SPDX-License-Identifier: GPL-3.0-or-later
// Pure pieces of the main window: the number test of the grid boxes and the termination signals.
#include "engine/common/LocaleNumber.h"
#include "engine/common/TerminationWatcher.h"

#include <csignal>
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
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
