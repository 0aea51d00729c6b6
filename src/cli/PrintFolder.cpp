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
#include "engine/print/JpegFilesPrinter.h"
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
            if (printer != printers.pdfPrinter() && printer != printers.jpegPrinter())
                line(out, printer->deviceName());
        }
    }

    // The folder's pictures, found as the window finds them. As in the window, the first
    // Catalogue::Limit pictures are printed; the rest are counted.
    FolderPictures findPictures(const CommandLine& command, const QString& given)
    {
        FolderPictures pictures;
        pictures.folder = given;
        const QString folder = absolutePath(given);
        pictures.exists = isFolder(folder);
        if (!pictures.exists)
            return pictures;
        Catalogue catalogue;
        catalogue.bSubDirs = command.subdirs;
        catalogue.allFormats = command.allFormats;
        catalogue.timeOrder = command.timeOrder;
        FolderScan scan(catalogue);
        scan.setCountBeyondLimit(true);
        scan.reset();
        scan.ScanFolder(folder);
        pictures.files = catalogue.paths();
        pictures.readable = !pictures.files.isEmpty() || readDirectory(folder).readable;
        pictures.beyondLimit = scan.beyondLimit();
        return pictures;
    }

    // The printer: a PDF file or picture files, written whole or not at all, or a CUPS queue by
    // its exact name. Nothing that is there may be damaged: no device, no FIFO, no picture of the
    // folders, none of the files of the pages.
    Printer* choosePrinter(
        const CommandLine& command, CupsPrinterService& printers, const QStringList& files, int pages, Verdict& refused)
    {
        if (command.mode == CommandLine::Mode::Pdf || command.mode == CommandLine::Mode::Jpeg) {
            const bool jpeg = command.mode == CommandLine::Mode::Jpeg;
            const QStringList targets
                = jpeg ? JpegFilesPrinter::pageFiles(command.target, pages) : QStringList { command.target };
            for (const QString& target : targets) {
                if (const Error problem = checkTarget(target, files, jpeg)) {
                    refused = targetVerdict(problem);
                    return nullptr;
                }
            }
            if (!jpeg)
                return printers.pdfPrinter();
            printers.jpegPrinter()->setTarget(QFileInfo(command.target).absoluteFilePath());
            return printers.jpegPrinter();
        }
        Printer* printer = printers.printerNamed(command.target);
        if (!printer)
            refused = missingPrinterVerdict(command.target);
        return printer;
    }

    // Runs the job with progress on a terminal, and collects what its summary tells.
    PrintCommand::Result runJob(const CommandLine& command, CupsPrinterService& printers, Printer& printer,
        const std::vector<FolderPictures>& folders, std::FILE* err, RunFlags& flags, JobReport& report)
    {
        const bool showProgress = !command.quiet && ::isatty(::fileno(err));
        std::vector<FileListSource> sources;
        for (const FolderPictures& pictures : folders) {
            report.files += int(pictures.files.size());
            report.pages += pageCount(int(pictures.files.size()), command.cols, command.rows);
            sources.emplace_back(pictures.files, displayName(fileNameOf(absolutePath(pictures.folder))));
        }
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
            if (picture.loaded() && !picture.colourNote.isEmpty())
                report.colourNotes << QStringLiteral("Farben unverändert: %1 (%2)").arg(path, picture.colourNote);
        };
        std::vector<const PrintSource*> parts;
        for (const FileListSource& source : sources)
            parts.push_back(&source);
        const PrintCommand::Result result
            = PrintCommand(printers, flags).run(printer, parts, jobSettings(command), callbacks);
        report.unreadable = result.unreadable;
        report.damaged = result.damaged;
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
        // Every folder that has pictures prints; one that has none is named, and the others go on.
        std::vector<FolderPictures> folders;
        QStringList files;
        int pages = 0;
        int beyondLimit = 0;
        Verdict empty;
        for (const QString& given : command.folders) {
            FolderPictures pictures = findPictures(command, given);
            if (const std::optional<Verdict> none = folderVerdict(pictures, command.allFormats)) {
                empty = *none;
                line(err, none->line);
                continue;
            }
            // None of the folder's pictures may be the target, rated high enough or not.
            files << pictures.files;
            if (command.minRating > 0)
                pictures.files.removeIf([&](const QString& path) { return readRating(path) < command.minRating; });
            pages += pageCount(int(pictures.files.size()), command.cols, command.rows);
            beyondLimit += pictures.beyondLimit;
            folders.push_back(std::move(pictures));
        }
        if (folders.empty())
            return empty.status;
        Verdict refused;
        Printer* printer = choosePrinter(command, printers, files, pages, refused);
        if (!printer)
            return report(err, refused);
        // The paper by its name, among those the printer offers.
        if (const std::optional<Verdict> paper
            = paperVerdict(command.paper, printer->deviceName(), offeredPapers(*printer)))
            return report(err, *paper);
        // Only the pictures rated high enough.
        const QString firstFolder = folders.front().folder;
        std::erase_if(folders, [](const FolderPictures& pictures) { return pictures.files.isEmpty(); });
        if (folders.empty())
            return report(err, noneRatedVerdict(firstFolder, command.minRating));
        JobReport job;
        const PrintCommand::Result result = runJob(command, printers, *printer, folders, err, flags, job);
        if (const std::optional<Verdict> failed = outcomeVerdict(result))
            return report(err, *failed);
        for (const QString& text : summaryLines(command, job))
            line(out, text);
        return report(err, sentVerdict(beyondLimit));
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
