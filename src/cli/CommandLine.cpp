// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <exception>
#include <new>
#include <unistd.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <QCoreApplication>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/catalogue/StatusLine.h"
#include "engine/picture/Metadata.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/FileTarget.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/PrintSource.h"
#include "engine/print/Printer.h"

namespace rasterblatt {

namespace {

    const QCommandLineOption pdfOption(QStringLiteral("pdf"),
        QStringLiteral("Schreibt den Kontaktabzug in die PDF-Datei DATEI."), QStringLiteral("DATEI"));
    const QCommandLineOption printerOption(QStringLiteral("printer"),
        QStringLiteral("Druckt auf der CUPS-Warteschlange NAME (genauer Name, siehe --list-printers)."),
        QStringLiteral("NAME"));
    const QCommandLineOption colsOption(QStringLiteral("cols"), QStringLiteral("Spalten je Seite, 1 bis 99 (7)."),
        QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption rowsOption(QStringLiteral("rows"), QStringLiteral("Zeilen je Seite, 1 bis 99 (11)."),
        QStringLiteral("N"), QStringLiteral("11"));
    const QCommandLineOption allFormatsOption(
        QStringLiteral("all-formats"), QStringLiteral("Nimmt auch *.jpeg, PNG, TIFF, WebP und HEIC/HEIF dazu."));
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
    const QCommandLineOption helpOption(
        QStringList { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Zeigt diese Hilfe."));
    const QCommandLineOption versionOption(
        QStringList { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Zeigt die Version."));

    void describe(QCommandLineParser& parser)
    {
        parser.setApplicationDescription(QStringLiteral(
            "Druckt Kontaktabzüge: Seiten mit Miniaturen der Bilder (*.jpg, *.bmp, *.gif; mit --all-formats auch\n"
            "*.jpeg, PNG, TIFF, WebP und HEIC) eines Ordners.\n"
            "Ohne Argumente öffnet sich das Fenster, mit nur einem ORDNER das Fenster auf diesem Ordner.\n"
            "Mit --pdf oder --printer druckt es ohne Fenster alle Bilder des Ordners.\n"
            "Exit-Status: 0 fertig, 1 falsche Argumente, 2 nichts zu drucken, 3 Drucken fehlgeschlagen,\n"
            "4 gedruckt, aber Bilder jenseits der Grenze von 32.700 Dateien ausgelassen."));
        parser.addOptions({ pdfOption, printerOption, colsOption, rowsOption, subdirsOption, allFormatsOption,
            noNamesOption, listOption, paperOption, landscapeOption, headerOption, pageNumbersOption, minRatingOption,
            quietOption, verboseOption, helpOption, versionOption });
        parser.addPositionalArgument(QStringLiteral("ORDNER"), QStringLiteral("Der Ordner mit den Bildern."));
    }

    std::optional<int> gridCount(const QString& text)
    {
        bool ok = false;
        const int value = text.toInt(&ok);
        return ok && value >= 1 && value <= 99 ? std::optional<int>(value) : std::nullopt;
    }

    // One line for a terminal or a log: names read as in the lists, and no control character
    // of a name can move the cursor, colour the text or start a line of its own.
    void line(std::FILE* stream, const QString& text)
    {
        std::fputs(escapeControls(displayName(text)).toLocal8Bit().constData(), stream);
        std::fputc('\n', stream);
        std::fflush(stream);
    }

    QString quoted(const QString& text) { return QStringLiteral("\u201e%1\u201c").arg(text); }

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
    if (folders.size() > 1)
        return bad(QStringLiteral("Nur ein Ordner, bitte (\u201e%1\u201c ist zu viel).").arg(folders[1]));
    command.folder = folders.value(0);
    command.subdirs = parser.isSet(subdirsOption);
    command.allFormats = parser.isSet(allFormatsOption);
    command.names = !parser.isSet(noNamesOption);
    command.quiet = parser.isSet(quietOption);
    command.verbose = parser.isSet(verboseOption);
    command.paper = parser.value(paperOption);
    command.landscape = parser.isSet(landscapeOption);
    command.header = parser.isSet(headerOption);
    command.pageNumbers = parser.isSet(pageNumbersOption);
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
    if (parser.isSet(pdfOption) && parser.isSet(printerOption))
        return bad(QStringLiteral("--pdf und --printer schließen einander aus."));
    if (parser.isSet(pdfOption)) {
        command.mode = CommandLine::Mode::Pdf;
        command.target = parser.value(pdfOption);
    } else if (parser.isSet(printerOption)) {
        command.mode = CommandLine::Mode::Printer;
        command.target = parser.value(printerOption);
        if (command.target == CupsPrinterService::pdfPrinterName())
            return bad(
                QStringLiteral("\u201ePDF-Datei\u201c ist keine Warteschlange; eine PDF-Datei schreibt --pdf DATEI."));
    } else {
        if (arguments.size() > folders.size() + arguments.count(QStringLiteral("--")))
            return bad(QStringLiteral("Ohne --pdf oder --printer gibt es nichts zu drucken."));
        return command;
    }
    if (command.target.isEmpty())
        return bad(QStringLiteral("--pdf und --printer brauchen einen Namen."));
    if (command.folder.isEmpty())
        return bad(QStringLiteral("Welcher Ordner soll gedruckt werden?"));
    return command;
}

namespace {

    int printFolder(
        const CommandLine& command, CupsPrinterService& printers, std::FILE* out, std::FILE* err, RunFlags& flags)
    {
        const auto failed = [err](int status, const QString& reason) {
            line(err,
                QStringLiteral("Rasterblatt: ") + reason
                    + (status == ExitBadArguments ? QStringLiteral(" (Hilfe: Rasterblatt --help)") : QString()));
            return status;
        };

        if (command.mode == CommandLine::Mode::ListPrinters) {
            for (const Printer* printer : printers.printers()) {
                if (printer != printers.pdfPrinter())
                    line(out, printer->deviceName());
            }
            return ExitDone;
        }

        // The folder's pictures, found as the window finds them.
        const QString folder = absolutePath(command.folder);
        if (!isFolder(folder))
            return failed(
                ExitNothingToPrint, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(quoted(command.folder)));
        Catalogue catalogue;
        catalogue.bSubDirs = command.subdirs;
        catalogue.allFormats = command.allFormats;
        // As in the window, the first 32,700 pictures are printed; the rest are counted.
        FolderScan scan(catalogue);
        scan.setCountBeyondLimit(true);
        scan.reset();
        scan.ScanFolder(folder);
        QStringList files = catalogue.paths();
        if (files.isEmpty() && !readDirectory(folder).readable)
            return failed(ExitNothingToPrint,
                QStringLiteral("Der Ordner %1 kann nicht gelesen werden.").arg(quoted(command.folder)));
        if (files.isEmpty())
            return failed(ExitNothingToPrint,
                QStringLiteral("Im Ordner %1 ist kein Bild (*.jpg, *.bmp, *.gif%2).")
                    .arg(quoted(command.folder),
                        command.allFormats ? QStringLiteral(", *.jpeg, *.png, *.tif, *.tiff, *.webp, *.heic, *.heif")
                                           : QString()));

        if (command.minRating > 0) {
            files.removeIf([&](const QString& path) { return readRating(path) < command.minRating; });
            if (files.isEmpty())
                return failed(ExitNothingToPrint,
                    QStringLiteral("Im Ordner %1 ist kein Bild mit mindestens %2 Sternen.")
                        .arg(quoted(command.folder))
                        .arg(command.minRating));
        }

        // The printer: a PDF file, written whole or not at all, or a CUPS queue by its exact name.
        Printer* printer = nullptr;
        if (command.mode == CommandLine::Mode::Pdf) {
            // Nothing that is there may be damaged: no device, no FIFO, no picture of the folder.
            const QFileInfo target(command.target);
            if (const QString problem = targetProblem(command.target); !problem.isEmpty())
                return failed(
                    ExitPrintingFailed, QStringLiteral("Die PDF-Datei kann nicht geschrieben werden: %1").arg(problem));
            if (!QFileInfo(target.absolutePath()).isWritable())
                return failed(ExitPrintingFailed,
                    QStringLiteral("Die PDF-Datei %1 kann nicht geschrieben werden.").arg(quoted(command.target)));
            if (target.exists()) {
                const QString resolved = resolvedTarget(command.target);
                if (std::any_of(files.begin(), files.end(),
                        [&](const QString& path) { return resolvedTarget(path) == resolved; }))
                    return failed(ExitBadArguments,
                        QStringLiteral("Die PDF-Datei %1 ist eines der Bilder; sie wird nicht überschrieben.")
                            .arg(quoted(command.target)));
            }
            // Qt writes files by UTF-8 names: any other name would be written under a different one.
            if (nativePath(command.target) != QFile::encodeName(command.target))
                return failed(ExitPrintingFailed,
                    QStringLiteral("Die PDF-Datei %1 kann nicht geschrieben werden: Ihr Name ist nicht in UTF-8.")
                        .arg(quoted(command.target)));
            printer = printers.pdfPrinter();
        } else {
            printer = printers.printerNamed(command.target);
            if (!printer)
                return failed(ExitPrintingFailed, PrinterService::missingPrinterText(quoted(command.target)));
        }

        // The paper by its name, among those the printer offers.
        const QList<QPageSize> papers = offeredPapers(*printer);
        if (!command.paper.isEmpty() && !findPaper(papers, command.paper).isValid()) {
            QStringList names;
            for (const QPageSize& paper : papers)
                names << paperName(paper);
            return failed(ExitBadArguments,
                QStringLiteral("Das Papierformat %1 gibt es bei %2 nicht; es gibt: %3.")
                    .arg(quoted(command.paper), quoted(printer->deviceName()), names.join(QStringLiteral(", "))));
        }
        PrintJobSettings settings;
        settings.nCols = command.cols;
        settings.nRows = command.rows;
        settings.bPrintFileName = command.names;
        settings.setup = { command.paper, command.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
            command.header, command.pageNumbers };
        settings.folderName = displayName(fileNameOf(folder));
        const bool showProgress = !command.quiet && ::isatty(::fileno(err));
        const int pages = pageCount(int(files.size()), command.cols, command.rows);
        QStringList unreadable;
        QStringList reasons;
        QStringList colourNotes; // pictures printed in their own colours, with the reason
        PrintCommand::Callbacks callbacks;
        callbacks.yield = [] { QCoreApplication::processEvents(); };
        callbacks.progress = [&](int printed, int total) {
            if (showProgress) {
                std::fprintf(err, "\rSeite %d von %d (%d %%) ", pageCount(printed, command.cols, command.rows), pages,
                    printed * 100 / total);
                std::fflush(err);
            }
        };
        callbacks.picture = [&](const QString& path, const DecodedPicture& picture) {
            if (!picture.loaded()) {
                unreadable << path;
                reasons << picture.error;
            } else if (!picture.colourNote.isEmpty()) {
                colourNotes << QStringLiteral("Farben unverändert: %1 (%2)").arg(path, picture.colourNote);
            }
        };
        const PrintCommand::Result result
            = PrintCommand(printers, flags).run(*printer, FileListSource(files), settings, callbacks);
        if (showProgress)
            std::fputs("\n", err);
        switch (result.outcome) {
        case PrintCommand::Outcome::Cancelled:
            return failed(ExitPrintingFailed, QStringLiteral("Abgebrochen; nichts wurde gedruckt."));
        case PrintCommand::Outcome::Failed:
            return failed(ExitPrintingFailed, result.reason);
        case PrintCommand::Outcome::NothingReadable:
        case PrintCommand::Outcome::NothingTicked:
            line(err, QStringLiteral("Nichts gedruckt: keines der Bilder konnte gelesen werden."));
            return ExitNothingToPrint;
        case PrintCommand::Outcome::Sent:
            break;
        }
        if (!command.quiet) {
            line(out,
                QStringLiteral("%1 Bild(er) auf %2 Seite(n) gedruckt, %3 nicht lesbar.")
                    .arg(files.size() - unreadable.size())
                    .arg(pages)
                    .arg(unreadable.size()));
            if (command.verbose) {
                for (qsizetype i = 0; i < unreadable.size(); ++i)
                    line(out, QStringLiteral("nicht lesbar: %1 (%2)").arg(unreadable[i], reasons[i]));
                for (const QString& note : colourNotes)
                    line(out, note);
            }
        }
        if (scan.beyondLimit() > 0) {
            line(err,
                QStringLiteral("Rasterblatt: %1 Bild(er) jenseits der Grenze von 32.700 Dateien wurden ausgelassen.")
                    .arg(scan.beyondLimit()));
            return ExitPicturesLeftOut;
        }
        return ExitDone;
    }

} // namespace

int runCommandLine(
    const CommandLine& command, CupsPrinterService& printers, std::FILE* out, std::FILE* err, RunFlags& flags)
{
    // Every failure ends with a message and its status, whatever it was; a document begun is
    // thrown away by the print command.
    try {
        return printFolder(command, printers, out, err, flags);
    } catch (const std::bad_alloc&) {
        line(err, QStringLiteral("Rasterblatt: Nicht genug Arbeitsspeicher."));
    } catch (const std::exception& error) {
        line(err, QStringLiteral("Rasterblatt: ") + QString::fromUtf8(error.what()));
    }
    return ExitPrintingFailed;
}

} // namespace rasterblatt
