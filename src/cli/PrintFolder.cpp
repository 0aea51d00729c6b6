// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PrintFolder.h"

#include <exception>
#include <new>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>

#include "cli/Verdict.h"
#include "engine/catalogue/Directory.h"
#include "engine/catalogue/FolderScan.h"
#include "engine/picture/Metadata.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/PrintSource.h"

namespace rasterblatt {

namespace {

    // One line for a terminal or a log: names read as in the lists, and no control character
    // of a name can move the cursor, colour the text or start a line of its own.
    void line(std::FILE* stream, const QString& text)
    {
        std::fputs(escapeControls(displayName(text)).toLocal8Bit().constData(), stream);
        std::fputc('\n', stream);
        std::fflush(stream);
    }

    int report(std::FILE* err, const Verdict& verdict)
    {
        if (!verdict.line.isEmpty())
            line(err, verdict.line);
        return verdict.status;
    }

    void listPrinters(CupsPrinterService& printers, std::FILE* out)
    {
        for (const Printer* printer : printers.printers()) {
            if (printer != printers.pdfPrinter())
                line(out, printer->deviceName());
        }
    }

    // The folder's pictures, found as the window finds them. As in the window, the first
    // Catalogue::Limit pictures are printed; the rest are counted.
    FolderPictures findPictures(const CommandLine& command)
    {
        FolderPictures pictures;
        pictures.folder = command.folder;
        const QString folder = absolutePath(command.folder);
        pictures.exists = isFolder(folder);
        if (!pictures.exists)
            return pictures;
        Catalogue catalogue;
        catalogue.bSubDirs = command.subdirs;
        catalogue.allFormats = command.allFormats;
        FolderScan scan(catalogue);
        scan.setCountBeyondLimit(true);
        scan.reset();
        scan.ScanFolder(folder);
        pictures.files = catalogue.paths();
        pictures.readable = !pictures.files.isEmpty() || readDirectory(folder).readable;
        pictures.beyondLimit = scan.beyondLimit();
        return pictures;
    }

    // The printer: a PDF file, written whole or not at all, or a CUPS queue by its exact name.
    // Nothing that is there may be damaged: no device, no FIFO, no picture of the folder.
    Printer* choosePrinter(
        const CommandLine& command, CupsPrinterService& printers, const QStringList& files, Verdict& refused)
    {
        if (command.mode == CommandLine::Mode::Pdf) {
            if (const Error problem = checkTarget(command.target, files)) {
                refused = targetVerdict(problem);
                return nullptr;
            }
            return printers.pdfPrinter();
        }
        Printer* printer = printers.printerNamed(command.target);
        if (!printer)
            refused = missingPrinterVerdict(command.target);
        return printer;
    }

    // Runs the job with progress on a terminal, and collects what its summary tells.
    PrintCommand::Result runJob(const CommandLine& command, CupsPrinterService& printers, Printer& printer,
        const FolderPictures& pictures, std::FILE* err, RunFlags& flags, JobReport& report)
    {
        const bool showProgress = !command.quiet && ::isatty(::fileno(err));
        report.files = int(pictures.files.size());
        report.pages = pageCount(report.files, command.cols, command.rows);
        PrintCommand::Callbacks callbacks;
        callbacks.yield = [] { QCoreApplication::processEvents(); };
        callbacks.progress = [&](int printed, int total) {
            if (showProgress) {
                std::fprintf(err, "\rSeite %d von %d (%d %%) ", pageCount(printed, command.cols, command.rows),
                    report.pages, printed * 100 / total);
                std::fflush(err);
            }
        };
        callbacks.picture = [&](const QString& path, const DecodedPicture& picture) {
            if (!picture.loaded()) {
                report.unreadable << path;
                report.reasons << errorText(picture.error);
            } else if (!picture.colourNote.isEmpty()) {
                report.colourNotes << QStringLiteral("Farben unverändert: %1 (%2)").arg(path, picture.colourNote);
            }
        };
        const QString folderName = displayName(fileNameOf(absolutePath(command.folder)));
        const PrintCommand::Result result
            = PrintCommand(printers, flags)
                  .run(printer, FileListSource(pictures.files, folderName), jobSettings(command), callbacks);
        if (showProgress)
            std::fputs("\n", err);
        return result;
    }

    int printFolder(
        const CommandLine& command, CupsPrinterService& printers, std::FILE* out, std::FILE* err, RunFlags& flags)
    {
        if (command.mode == CommandLine::Mode::ListPrinters) {
            listPrinters(printers, out);
            return ExitDone;
        }
        const FolderPictures pictures = findPictures(command);
        if (const std::optional<Verdict> empty = folderVerdict(pictures, command.allFormats))
            return report(err, *empty);
        Verdict refused;
        Printer* printer = choosePrinter(command, printers, pictures.files, refused);
        if (!printer)
            return report(err, refused);
        // The paper by its name, among those the printer offers.
        if (const std::optional<Verdict> paper
            = paperVerdict(command.paper, printer->deviceName(), offeredPapers(*printer)))
            return report(err, *paper);
        // Only the pictures rated high enough; none of the folder's may be the target all the same.
        FolderPictures rated = pictures;
        if (command.minRating > 0) {
            rated.files.removeIf([&](const QString& path) { return readRating(path) < command.minRating; });
            if (rated.files.isEmpty())
                return report(err, noneRatedVerdict(command.folder, command.minRating));
        }
        JobReport job;
        const PrintCommand::Result result = runJob(command, printers, *printer, rated, err, flags, job);
        if (const std::optional<Verdict> failed = outcomeVerdict(result))
            return report(err, *failed);
        for (const QString& text : summaryLines(command, job))
            line(out, text);
        return report(err, sentVerdict(pictures.beyondLimit));
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

int runWithoutWindow(const QStringList& arguments, std::FILE* out, std::FILE* err, RunFlags& flags)
{
    QString error;
    const CommandLine command = parseCommandLine(arguments, &error);
    if (!error.isEmpty()) {
        const Verdict bad = failure(ExitBadArguments, error);
        std::fprintf(err, "%s\n", bad.line.toLocal8Bit().constData());
        return bad.status;
    }
    if (command.mode == CommandLine::Mode::Help) {
        std::fputs(commandLineHelp().toLocal8Bit().constData(), out);
        return ExitDone;
    }
    if (command.mode == CommandLine::Mode::Version) {
        std::fprintf(out, "Rasterblatt %d.%d.%d\n", RASTERBLATT_VERSION_MAJOR, RASTERBLATT_VERSION_MINOR,
            RASTERBLATT_VERSION_PATCH);
        return ExitDone;
    }
    const QString target = QFileInfo(command.target).absoluteFilePath();
    CupsPrinterService printers([target](const QString&) { return target; });
    return runCommandLine(command, printers, out, err, flags);
}

} // namespace rasterblatt
