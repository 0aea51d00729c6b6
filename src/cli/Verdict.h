// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QList>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include "cli/CommandLine.h"
#include "engine/print/FileTarget.h"
#include "engine/print/PrintCommand.h"

namespace rasterblatt {

// The decisions of a run without a window, as plain values: what it ends with and what it says.

// How a run ends: its exit status and the one line on standard error (empty: none).
struct Verdict {
    int status = ExitDone;
    QString line;
};

// A failure: the program's name, the reason and, for bad arguments, the pointer to --help.
Verdict failure(int status, const QString& reason);

// What the folder holds for the job: its pictures as the window finds them, the first
// Catalogue::Limit of them, and how many were left out beyond it.
struct FolderPictures {
    QString folder; // as given
    bool exists = false;
    bool readable = false;
    QStringList files;
    int beyondLimit = 0;
};
// Why there is nothing to print in the folder: missing, not readable, no picture.
std::optional<Verdict> folderVerdict(const FolderPictures& pictures, bool allFormats);
// No picture of the folder is rated at least minRating stars.
Verdict noneRatedVerdict(const QString& folder, int minRating);
// Why no PDF file can be written to the target: one of the pictures is a bad argument, the
// rest a failed print.
Verdict targetVerdict(const Error& problem);
// A queue that is not there.
Verdict missingPrinterVerdict(const QString& name);
// A paper the printer does not offer, with those it does; nothing when it does or none is asked for.
std::optional<Verdict> paperVerdict(const QString& paper, const QString& printer, const QList<QPageSize>& papers);

// The job the command asks for.
PrintJobSettings jobSettings(const CommandLine& command);

// What a job sent tells: its files, pages, those unreadable and those printed damaged with their
// reasons, the pictures printed in their own colours.
struct JobReport {
    int files = 0;
    int pages = 0;
    QList<PrintCommand::PictureProblem> unreadable;
    QList<PrintCommand::PictureProblem> damaged;
    QStringList colourNotes;
};
// How the job ended when it was not sent; nothing when it was.
std::optional<Verdict> outcomeVerdict(const PrintCommand::Result& result);
// The lines on standard output after a job sent: the summary (", n beschädigt" where some were)
// and, verbose, each file unread or damaged with its reason and each colour note; none when quiet.
QStringList summaryLines(const CommandLine& command, const JobReport& report);
// The end of a job sent: done, or pictures beyond the catalogue's limit left out.
Verdict sentVerdict(int beyondLimit);

} // namespace rasterblatt
