// SPDX-License-Identifier: GPL-3.0-or-later
// Pure pieces of the main window: the number test of the grid boxes, the termination signals, a
// settings file that is no file, the sentences of the errors.
#include "engine/common/Error.h"
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
    // The sentences the user reads, each kind with its words and its cause; a name with "%2" stays.
    void errorTexts()
    {
        using E = Error::Kind;
        const Error disk(E::DiskFull), system(E::SystemText, { "Zugriff verweigert" });
        const std::pair<Error, QString> cases[] = { { {}, "" }, { E::Cancelled, "Der Druck wurde abgebrochen." },
            { { E::PrinterMissing, { "Q" } },
                "Der Drucker \u201eQ\u201c ist nicht verf\u00fcgbar. Ist er noch eingerichtet, und l\u00e4uft das "
                "Drucksystem (CUPS)?" },
            { E::JobRunning, "Es l\u00e4uft schon ein Druckauftrag." },
            { E::OutOfMemory, "Nicht genug Arbeitsspeicher." },
            { E::NoCells, "Spalten und Zeilen m\u00fcssen mindestens 1 sein." },
            { { E::FontSize, { "-1" } }, "Ung\u00fcltige Schriftgr\u00f6\u00dfe: -1" },
            { E::EmptyPicture, "Das Bild ist leer und kann nicht gedruckt werden." },
            { { E::PdfNotWritable, { "a%2.pdf" }, { E::NameNotUtf8 } },
                "Die PDF-Datei \u201ea%2.pdf\u201c kann nicht geschrieben werden: Ihr Name ist nicht in UTF-8." },
            { { E::PdfNotWritable, { "a" }, { E::NotAFile } },
                "Die PDF-Datei \u201ea\u201c kann nicht geschrieben werden: Sie ist keine gew\u00f6hnliche Datei." },
            { { E::PdfNotWritable, { "a" }, { E::NoFolder, { "/f" } } },
                "Die PDF-Datei \u201ea\u201c kann nicht geschrieben werden: Den Ordner \u201e/f\u201c gibt es nicht." },
            { { E::FolderNotWritable, { "/f", "Zugriff verweigert" } },
                "Im Ordner \u201e/f\u201c darf keine Datei angelegt werden (Zugriff verweigert); die Datei "
                "entsteht dort neben ihrem Ziel und ersetzt es dann." },
            { { E::PictureFileIsPicture, { "s.jpg" } },
                "Die Bilddatei \u201es.jpg\u201c ist eines der Bilder des Ordners; sie wird nicht "
                "\u00fcberschrieben." },
            { { E::PdfNotWritable, { "a" }, { E::FolderChanged } },
                "Die PDF-Datei \u201ea\u201c kann nicht geschrieben werden: Ihr Ordner ist ein anderer als beim Beginn "
                "des Drucks." },
            { { E::PdfIsPicture, { "b.jpg" } },
                "Die PDF-Datei \u201eb.jpg\u201c ist eines der Bilder des Ordners; sie wird nicht "
                "\u00fcberschrieben." },
            { { E::DocumentNotWritten, { "/t" }, disk },
                "Das Druckdokument kann im Ordner \u201e/t\u201c nicht geschrieben werden: Auf dem Datentr\u00e4ger "
                "ist "
                "kein Platz mehr." },
            { { E::DocumentNotWritten, { "/t" }, { E::DocumentIncomplete } },
                "Das Druckdokument kann im Ordner \u201e/t\u201c nicht geschrieben werden: Die Datei ist "
                "unvollst\u00e4ndig." },
            { { E::DocumentNotCreated, { "/t", "Zugriff verweigert" } },
                "Das Druckdokument kann im Ordner \u201e/t\u201c nicht angelegt werden: Zugriff verweigert" },
            { E::NoNewPage, "Eine neue Seite kann nicht begonnen werden." },
            { E::PaperUnsupported, "Das Papierformat des Druckers wird nicht unterst\u00fctzt." },
            { E::DocumentNotBegun, "Das Druckdokument kann nicht begonnen werden." },
            { { E::JobNotSent, { "Q" }, { E::CupsUnreachable, { "/run/cups.sock" } } },
                "Der Druckauftrag f\u00fcr \u201eQ\u201c konnte nicht gesendet werden: Das Drucksystem CUPS "
                "(/run/cups.sock) ist nicht erreichbar." },
            { { E::JobNotSent, { "Q" }, system },
                "Der Druckauftrag f\u00fcr \u201eQ\u201c konnte nicht gesendet werden: Zugriff verweigert" },
            { E::QueueGone, "Diesen Drucker gibt es im Drucksystem (CUPS) nicht mehr." },
            { E::CupsSilent, "Das Drucksystem (CUPS) antwortet nicht." },
            { E::CupsConnectionLost, "Die Verbindung zum Drucksystem (CUPS) ist abgebrochen." },
            { { E::PictureNotLoaded, { "a.jpg" }, { E::Damaged, { "Huffman" } } },
                "\u201ea.jpg\u201c kann nicht geladen werden: besch\u00e4digt (Huffman)." },
            { E::NotARegularFile, "keine gew\u00f6hnliche Datei" }, { E::FileEmpty, "die Datei ist leer" },
            { { E::FileBeyondBudget, { "8" } }, "die Datei ist gr\u00f6\u00dfer als der Speicherrahmen (8 MB)" },
            { { E::PictureBeyondBudget, { "2", "3" } }, "zu gro\u00df f\u00fcr den Speicherrahmen (2 \u00d7 3 Pixel)" },
            { { E::NotAPicture, { "x" } }, "kein lesbares Bild (x)" }, { E::NoPixels, "das Bild hat keine Pixel" },
            { E::DamagedNoPixels, "besch\u00e4digt (keine Pixel)" },
            { E::DamagedLargerThanSaid, "besch\u00e4digt (ein Bild ist gr\u00f6\u00dfer als angegeben)" },
            { E::DamagedMetadata, "besch\u00e4digt (unvollst\u00e4ndige Metadaten)" }, { E::CutOff, "abgeschnitten" },
            { { E::TooManyItems, { "9" } }, "zu viele Teilbilder (9)" },
            { { E::NotHeif, { "x" } }, "keine lesbare HEIF-Datei (x)" },
            { { E::NotJpeg, { "x" } }, "keine g\u00fcltige JPEG-Datei (x)" },
            { E::DecodeMemory, "nicht genug Speicher" },
            { { E::DecodeTimeout, { "5" } }, "das Decodieren dauert l\u00e4nger als 5 Sekunden" },
            { { E::TooManyScans, { "9" } }, "mehr als 9 Durchg\u00e4nge" },
            { { E::TooLarge, { "2", "3" } }, "zu gro\u00df (2 \u00d7 3 Pixel)" }, { E::NoPreview, "keine Vorschau" },
            { E::PreviewUnreadable, "besch\u00e4digt (die Vorschau ist nicht lesbar)" },
            { E::PreviewNotAsSaid, "besch\u00e4digt (die Vorschau ist nicht, was sie vorgibt)" } };
        for (const auto& [error, text] : cases)
            QCOMPARE(errorText(error), text);
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
