// Pure pieces of the main window: the number test of the grid boxes and the caption.
#include "app/Caption.h"
#include "app/LocaleNumber.h"
#include "app/TerminationWatcher.h"

#include <csignal>

#include <QtTest>

using namespace rasterblatt;

class TestApp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeNumber_data();
    void wholeNumber();
    void caption();
    void terminationSignals();
};

void TestApp::wholeNumber_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<int>("value");

    const auto row = [](const char* locale, const char* tag) -> QTestData& {
        return QTest::addRow("%s %s", locale, tag) << QString::fromLatin1(locale);
    };
    for (const char* name : { "de_DE", "en_US" }) {
        row(name, "digits") << "12" << true << 12;
        row(name, "minus") << "-3" << true << -3;
        row(name, "plus") << "+4" << true << 4;
        row(name, "blanks around") << " 7 " << true << 7;
        row(name, "empty") << "" << false << 0;
        row(name, "lone minus") << "-" << false << 0;
        row(name, "letter") << "a" << false << 0;
        row(name, "too big for 32 bits") << "99999999999" << false << 0;
    }
    // The locale decides the decimal separator; halves go to the even neighbour.
    row("de_DE", "half down") << "2,5" << true << 2;
    row("de_DE", "half up") << "3,5" << true << 4;
    row("de_DE", "lone comma") << "," << false << 0;
    row("de_DE", "point is no separator") << "2.5" << false << 0;
    row("en_US", "half down") << "2.5" << true << 2;
    row("en_US", "round up") << "6.7" << true << 7;
    row("en_US", "comma is no separator") << "2,5" << false << 0;
}

void TestApp::wholeNumber()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(int, value);
    const auto result = parseWholeNumber(text, QLocale(locale));
    QCOMPARE(result.has_value(), numeric);
    if (numeric)
        QCOMPARE(*result, value);
}

void TestApp::caption()
{
    QCOMPARE(windowCaption("Rasterblatt", 1, 0, 16, " - Dank"), QString("Rasterblatt 1.00.0016 - Dank"));
    QCOMPARE(windowCaption("Rasterblatt", 10, 12, 12345, " - Dank"), QString("Rasterblatt 10.12.12345 - Dank"));
}

void TestApp::terminationSignals()
{
    TerminationWatcher watcher;
    QSignalSpy requested(&watcher, &TerminationWatcher::terminationRequested);
    for (const int signal : { SIGTERM, SIGHUP }) {
        std::raise(signal);
        QVERIFY(requested.wait(5000));
    }
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
