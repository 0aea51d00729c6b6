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
    void caption_data();
    void caption();
    void terminationSignals();
};

void TestApp::wholeNumber_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<int>("value");

    for (const char* name : { "de_DE", "en_US" }) {
        const QString locale = QString::fromLatin1(name);
        const auto row = [&](const char* tag) -> QTestData& { return QTest::addRow("%s %s", name, tag) << locale; };
        row("digits") << "12" << true << 12;
        row("zero") << "0" << true << 0;
        row("minus") << "-3" << true << -3;
        row("plus") << "+4" << true << 4;
        row("blanks around") << " 7 " << true << 7;
        row("empty") << "" << false << 0;
        row("blank only") << "  " << false << 0;
        row("lone minus") << "-" << false << 0;
        row("letter") << "a" << false << 0;
        row("digit and letter") << "1a" << false << 0;
        row("too big for 32 bits") << "99999999999" << false << 0;
    }
    // The locale decides the decimal separator; halves go to the even neighbour.
    QTest::newRow("de half down") << "de_DE"
                                  << "2,5" << true << 2;
    QTest::newRow("de half up") << "de_DE"
                                << "3,5" << true << 4;
    QTest::newRow("de lone comma") << "de_DE"
                                   << "," << false << 0;
    QTest::newRow("de point is no separator") << "de_DE"
                                              << "2.5" << false << 0;
    QTest::newRow("en half down") << "en_US"
                                  << "2.5" << true << 2;
    QTest::newRow("en negative half") << "en_US"
                                      << "-0.5" << true << 0;
    QTest::newRow("en round up") << "en_US"
                                 << "6.7" << true << 7;
    QTest::newRow("en comma is no separator") << "en_US"
                                              << "2,5" << false << 0;
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

void TestApp::caption_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("caption");
    QTest::newRow("1.0.16") << 1 << 0 << 16 << "Rasterblatt 1.00.0016 - Dank";
    QTest::newRow("minor 5, revision 123") << 2 << 5 << 123 << "Rasterblatt 2.05.0123 - Dank";
    QTest::newRow("major 10") << 10 << 12 << 12345 << "Rasterblatt 10.12.12345 - Dank";
}

void TestApp::caption()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, caption);
    QCOMPARE(windowCaption("Rasterblatt", major, minor, revision, " - Dank"), caption);
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
