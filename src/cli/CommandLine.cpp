// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <algorithm>

#include <QCommandLineParser>

#include "engine/catalogue/Catalogue.h"
#include "engine/catalogue/StatusLine.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/JpegFilesPrinter.h"

namespace rasterblatt {

namespace {

    const QCommandLineOption pdfOption(QStringLiteral("pdf"),
        QStringLiteral("Schreibt den Kontaktabzug in die PDF-Datei DATEI."), QStringLiteral("DATEI"));
    const QCommandLineOption jpegOption(QStringLiteral("jpeg"),
        QStringLiteral("Schreibt jede Seite als JPEG-Bild (300 ppi): DATEI bei einer Seite, sonst DATEI-1.jpg, "
                       "DATEI-2.jpg, ..."),
        QStringLiteral("DATEI"));
    const QCommandLineOption printerOption(QStringLiteral("printer"),
        QStringLiteral("Druckt auf der CUPS-Warteschlange NAME (genauer Name, siehe --list-printers)."),
        QStringLiteral("NAME"));
    const QCommandLineOption colsOption(QStringLiteral("cols"),
        QStringLiteral("Spalten je Seite, 1 bis 99 (%1).").arg(DefaultCols), QStringLiteral("N"),
        QString::number(DefaultCols));
    const QCommandLineOption rowsOption(QStringLiteral("rows"),
        QStringLiteral("Zeilen je Seite, 1 bis 99 (%1).").arg(DefaultRows), QStringLiteral("N"),
        QString::number(DefaultRows));
    const QCommandLineOption allFormatsOption(QStringLiteral("all-formats"),
        QStringLiteral("Nimmt auch *.jpeg, PNG, TIFF, WebP, HEIC/HEIF und Kamera-RAW "
                       "(ohne gleichnamige JPEG-Datei daneben) dazu."));
    const QCommandLineOption subdirsOption(
        QStringLiteral("subdirs"), QStringLiteral("Bezieht die Unterverzeichnisse mit ein."));
    const QCommandLineOption noNamesOption(
        QStringLiteral("no-names"), QStringLiteral("Druckt keine Dateinamen unter die Bilder."));
    const QCommandLineOption listOption(
        QStringLiteral("list-printers"), QStringLiteral("Listet die CUPS-Warteschlangen auf."));
    const QCommandLineOption quietOption(
        QStringLiteral("quiet"), QStringLiteral("Zeigt weder Fortschritt noch Zusammenfassung."));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("Nennt die Dateien, die nicht geladen werden konnten."));
    const QCommandLineOption paperOption(QStringLiteral("paper"),
        QStringLiteral("Papierformat: A4, A3, A5, Letter oder Legal, mit --printer auch die Formate der "
                       "Warteschlange (Vorgabe: das des Druckers)."),
        QStringLiteral("FORMAT"));
    const QCommandLineOption landscapeOption(QStringLiteral("landscape"), QStringLiteral("Druckt im Querformat."));
    const QCommandLineOption headerOption(
        QStringLiteral("header"), QStringLiteral("Druckt eine Kopfzeile mit dem Namen des Ordners und dem Datum."));
    const QCommandLineOption pageNumbersOption(
        QStringLiteral("page-numbers"), QStringLiteral("Druckt \u201eSeite n von m\u201c unten auf jede Seite."));
    const QCommandLineOption minRatingOption(QStringLiteral("min-rating"),
        QStringLiteral("Druckt nur die Bilder mit mindestens N Sternen, 1 bis 5 (aus XMP, EXIF oder einer "
                       "XMP-Begleitdatei NAME.xmp oder NAME.EXT.xmp)."),
        QStringLiteral("N"));
    const QCommandLineOption frameOption(
        QStringLiteral("frame"), QStringLiteral("Zieht eine feine graue Linie um jedes Bild."));
    const QCommandLineOption timeOrderOption(QStringLiteral("time-order"),
        QStringLiteral("Ordnet die Bilder jedes Ordners nach Aufnahmezeit (ohne sie: nach Änderungszeit)."));
    const QCommandLineOption captureTimeOption(
        QStringLiteral("capture-time"), QStringLiteral("Druckt die Aufnahmezeit unter jedes Bild."));
    const QCommandLineOption exposureOption(QStringLiteral("exposure"),
        QStringLiteral("Druckt die Aufnahmedaten (Belichtungszeit, Blende, ISO, Brennweite) unter jedes Bild."));
    const QCommandLineOption titleOption(QStringLiteral("title"),
        QStringLiteral("Druckt TEXT statt des Ordnernamens in die Kopfzeile (schaltet sie ein) und nennt das "
                       "Dokument so."),
        QStringLiteral("TEXT"));
    const QCommandLineOption helpOption(
        QStringList { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Zeigt diese Hilfe."));
    const QCommandLineOption versionOption(
        QStringList { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Zeigt die Version."));

    void describe(QCommandLineParser& parser)
    {
        parser.setApplicationDescription(QStringLiteral(
            "Druckt Kontaktabzüge: Seiten mit Miniaturen der Bilder (*.jpg, *.bmp, *.gif; mit --all-formats auch\n"
            "*.jpeg, PNG, TIFF, WebP, HEIC und Kamera-RAW) eines Ordners. Eine RAW-Datei mit einer\n"
            "gleichnamigen JPEG-Datei daneben (RAW+JPEG der Kamera) wird nur einmal, als JPEG, gedruckt.\n"
            "Ohne Argumente öffnet sich das Fenster, mit nur einem ORDNER das Fenster auf diesem Ordner.\n"
            "Mit --pdf, --jpeg oder --printer druckt es ohne Fenster alle Bilder der Ordner, jeden ab einer\n"
            "neuen Seite, in ein Dokument.\n"
            "Exit-Status: 0 fertig, 1 falsche Argumente, 2 nichts zu drucken, 3 Drucken fehlgeschlagen,\n"
            "4 gedruckt, aber Bilder jenseits der Grenze von %1 Dateien ausgelassen.")
                                             .arg(Catalogue::limitText()));
        parser.addOptions({ pdfOption, jpegOption, printerOption, colsOption, rowsOption, subdirsOption,
            allFormatsOption, timeOrderOption, noNamesOption, captureTimeOption, exposureOption, listOption, paperOption,
            landscapeOption, headerOption, titleOption, pageNumbersOption, frameOption, minRatingOption, quietOption,
            verboseOption, helpOption, versionOption });
        parser.addPositionalArgument(
            QStringLiteral("ORDNER"), QStringLiteral("Die Ordner mit den Bildern."), QStringLiteral("ORDNER..."));
    }

    std::optional<int> gridCount(const QString& text)
    {
        bool ok = false;
        const int value = text.toInt(&ok);
        return ok && value >= 1 && value <= 99 ? std::optional<int>(value) : std::nullopt;
    }

} // namespace

QString escapeControls(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != 0x7f && (u < 0x80 || u > 0x9f))
            escaped += c;
        else if (u == '\n')
            escaped += QLatin1String("\\n");
        else if (u == '\r')
            escaped += QLatin1String("\\r");
        else if (u == '\t')
            escaped += QLatin1String("\\t");
        else
            escaped += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
    }
    return escaped;
}

bool wantsTerminal(const QStringList& arguments)
{
    // "--" ends the options: what follows is a folder, whatever it looks like.
    const auto end = std::find(arguments.begin(), arguments.end(), QStringLiteral("--"));
    return std::any_of(arguments.begin(), end, [](const QString& a) { return a.startsWith(u'-'); });
}

QString windowFolder(const QStringList& arguments)
{
    const qsizetype end = arguments.indexOf(QStringLiteral("--"));
    return arguments.value(end < 0 ? 0 : end + 1);
}

QString commandLineHelp()
{
    QCommandLineParser parser;
    describe(parser);
    return parser.helpText().replace(QStringLiteral("[options]"), QStringLiteral("[Optionen]"));
}

CommandLine parseCommandLine(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    describe(parser);
    CommandLine command;
    const auto bad = [&](const QString& reason) {
        *error = reason;
        return command;
    };
    if (!parser.parse(QStringList { QStringLiteral("Rasterblatt") } + arguments))
        return bad(parser.errorText());
    // An option given twice would leave one of its values unheard.
    const QStringList given = parser.optionNames();
    for (const QString& name : given) {
        if (given.count(name) > 1)
            return bad(QStringLiteral("Die Option %1%2 ist mehrfach angegeben.")
                           .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    if (parser.isSet(helpOption)) {
        command.mode = CommandLine::Mode::Help;
        return command;
    }
    if (parser.isSet(versionOption)) {
        command.mode = CommandLine::Mode::Version;
        return command;
    }
    const QStringList folders = parser.positionalArguments();
    const bool prints = parser.isSet(pdfOption) || parser.isSet(jpegOption) || parser.isSet(printerOption);
    // The window opens on one folder; a job prints them all.
    if (folders.size() > 1 && !prints)
        return bad(QStringLiteral("Nur ein Ordner, bitte (\u201e%1\u201c ist zu viel).").arg(folders[1]));
    command.folder = folders.value(0);
    command.folders = folders;
    command.subdirs = parser.isSet(subdirsOption);
    command.allFormats = parser.isSet(allFormatsOption);
    command.names = !parser.isSet(noNamesOption);
    command.quiet = parser.isSet(quietOption);
    command.verbose = parser.isSet(verboseOption);
    command.paper = parser.value(paperOption);
    command.landscape = parser.isSet(landscapeOption);
    command.header = parser.isSet(headerOption);
    command.pageNumbers = parser.isSet(pageNumbersOption);
    command.frame = parser.isSet(frameOption);
    command.timeOrder = parser.isSet(timeOrderOption);
    command.captionTime = parser.isSet(captureTimeOption);
    command.captionExposure = parser.isSet(exposureOption);
    command.title = parser.value(titleOption);
    const std::optional<int> cols = gridCount(parser.value(colsOption));
    const std::optional<int> rows = gridCount(parser.value(rowsOption));
    if (!cols || !rows)
        return bad(QStringLiteral("Spalten und Zeilen müssen ganze Zahlen von 1 bis 99 sein."));
    command.cols = *cols;
    command.rows = *rows;
    if (parser.isSet(minRatingOption)) {
        bool ok = false;
        command.minRating = parser.value(minRatingOption).toInt(&ok);
        if (!ok || command.minRating < 1 || command.minRating > 5)
            return bad(QStringLiteral("--min-rating braucht eine ganze Zahl von 1 bis 5."));
    }

    if (parser.isSet(listOption)) {
        command.mode = CommandLine::Mode::ListPrinters;
        return command;
    }
    if (int(parser.isSet(pdfOption)) + int(parser.isSet(jpegOption)) + int(parser.isSet(printerOption)) > 1)
        return bad(QStringLiteral("--pdf, --jpeg und --printer schließen einander aus."));
    if (parser.isSet(pdfOption)) {
        command.mode = CommandLine::Mode::Pdf;
        command.target = parser.value(pdfOption);
    } else if (parser.isSet(jpegOption)) {
        command.mode = CommandLine::Mode::Jpeg;
        command.target = parser.value(jpegOption);
    } else if (parser.isSet(printerOption)) {
        command.mode = CommandLine::Mode::Printer;
        command.target = parser.value(printerOption);
        if (command.target == CupsPrinterService::pdfPrinterName() || command.target == JpegFilesPrinter::printerName())
            return bad(QStringLiteral("\u201e%1\u201c ist keine Warteschlange; Dateien schreiben --pdf und --jpeg.")
                           .arg(command.target));
    } else {
        if (arguments.size() > folders.size() + arguments.count(QStringLiteral("--")))
            return bad(QStringLiteral("Ohne --pdf oder --printer gibt es nichts zu drucken."));
        return command;
    }
    if (command.target.isEmpty())
        return bad(QStringLiteral("--pdf, --jpeg und --printer brauchen einen Namen."));
    if (command.folder.isEmpty())
        return bad(QStringLiteral("Welcher Ordner soll gedruckt werden?"));
    return command;
}

} // namespace rasterblatt
