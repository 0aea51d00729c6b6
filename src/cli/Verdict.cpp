// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Verdict.h"

#include "engine/catalogue/FolderScan.h"
#include "engine/print/Printer.h"
#include "engine/print/SheetSetup.h"

namespace rasterblatt {

namespace {

    QString quoted(const QString& text) { return QStringLiteral("\u201e%1\u201c").arg(text); }

} // namespace

Verdict failure(int status, const QString& reason)
{
    return { status,
        QStringLiteral("Rasterblatt: ") + reason
            + (status == ExitBadArguments ? QStringLiteral(" (Hilfe: Rasterblatt --help)") : QString()) };
}

std::optional<Verdict> folderVerdict(const FolderPictures& pictures, bool allFormats)
{
    if (!pictures.exists)
        return failure(ExitNothingToPrint, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(quoted(pictures.folder)));
    if (pictures.files.isEmpty() && !pictures.readable)
        return failure(ExitNothingToPrint,
            QStringLiteral("Der Ordner %1 kann nicht gelesen werden.").arg(quoted(pictures.folder)));
    if (pictures.files.isEmpty())
        return failure(ExitNothingToPrint,
            QStringLiteral("Im Ordner %1 ist kein Bild (%2).")
                .arg(quoted(pictures.folder),
                    imagePatterns(allFormats).join(QStringLiteral(", "))
                        + (allFormats ? QStringLiteral(", Kamera-RAW") : QString())));
    return std::nullopt;
}

Verdict noneRatedVerdict(const QString& folder, int minRating)
{
    return failure(ExitNothingToPrint,
        QStringLiteral("Im Ordner %1 ist kein Bild mit mindestens %2 Sternen.").arg(quoted(folder)).arg(minRating));
}

Verdict targetVerdict(const Error& problem)
{
    return failure(
        problem.kind == Error::Kind::PdfIsPicture ? ExitBadArguments : ExitPrintingFailed, errorText(problem));
}

Verdict missingPrinterVerdict(const QString& name)
{
    return failure(ExitPrintingFailed, errorText(Error(Error::Kind::PrinterMissing, { name })));
}

std::optional<Verdict> paperVerdict(const QString& paper, const QString& printer, const QList<QPageSize>& papers)
{
    if (paper.isEmpty() || findPaper(papers, paper).isValid())
        return std::nullopt;
    QStringList names;
    for (const QPageSize& offered : papers)
        names << paperName(offered);
    return failure(ExitBadArguments,
        QStringLiteral("Das Papierformat %1 gibt es bei %2 nicht; es gibt: %3.")
            .arg(quoted(paper), quoted(printer), names.join(QStringLiteral(", "))));
}

PrintJobSettings jobSettings(const CommandLine& command)
{
    PrintJobSettings settings;
    settings.nCols = command.cols;
    settings.nRows = command.rows;
    settings.bPrintFileName = command.names;
    settings.setup = { command.paper, command.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        command.header || !command.title.isEmpty(), command.pageNumbers, command.frame, command.captionTime,
        command.captionExposure, command.title };
    return settings;
}

std::optional<Verdict> outcomeVerdict(const PrintCommand::Result& result)
{
    switch (result.outcome) {
    case PrintCommand::Outcome::Cancelled:
        return failure(ExitPrintingFailed, QStringLiteral("Abgebrochen; nichts wurde gedruckt."));
    case PrintCommand::Outcome::Failed:
        return failure(ExitPrintingFailed, errorText(result.error));
    case PrintCommand::Outcome::NothingReadable:
    case PrintCommand::Outcome::NothingTicked:
        return Verdict { ExitNothingToPrint,
            QStringLiteral("Nichts gedruckt: keines der Bilder konnte gelesen werden.") };
    case PrintCommand::Outcome::Sent:
        break;
    }
    return std::nullopt;
}

QStringList summaryLines(const CommandLine& command, const JobReport& report)
{
    if (command.quiet)
        return {};
    const QString damaged
        = report.damaged.isEmpty() ? QString() : QStringLiteral(", %1 beschädigt").arg(report.damaged.size());
    QStringList lines { QStringLiteral("%1 Bild(er) auf %2 Seite(n) gedruckt, %3 nicht lesbar%4.")
                            .arg(report.files - report.unreadable.size())
                            .arg(report.pages)
                            .arg(report.unreadable.size())
                            .arg(damaged) };
    if (command.verbose) {
        for (const PrintCommand::PictureProblem& picture : report.unreadable)
            lines << QStringLiteral("nicht lesbar: %1 (%2)").arg(picture.path, errorText(picture.reason));
        for (const PrintCommand::PictureProblem& picture : report.damaged)
            lines << QStringLiteral("beschädigt: %1 (%2)").arg(picture.path, errorText(picture.reason));
        lines << report.colourNotes;
    }
    return lines;
}

Verdict sentVerdict(int beyondLimit)
{
    if (beyondLimit <= 0)
        return {};
    return { ExitPicturesLeftOut,
        QStringLiteral("Rasterblatt: %1 Bild(er) jenseits der Grenze von %2 Dateien wurden ausgelassen.")
            .arg(beyondLimit)
            .arg(Catalogue::limitText()) };
}

} // namespace rasterblatt
