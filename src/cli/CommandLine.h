// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "engine/catalogue/StatusLine.h"

namespace rasterblatt {

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Mode { Window, Pdf, Jpeg, Printer, ListPrinters, Help, Version };
    Mode mode = Mode::Window;
    QString folder; // the window opens on it, or its pictures are printed (the first of folders)
    QStringList folders; // printed in this order into one document
    QString target; // the PDF file, the picture files' name or the CUPS queue
    int cols = DefaultCols;
    int rows = DefaultRows;
    bool subdirs = false;
    bool allFormats = false;
    bool names = true;
    bool quiet = false;
    bool verbose = false;
    QString paper; // a paper's name; empty: the printer's default
    bool landscape = false;
    bool header = false;
    bool pageNumbers = false;
    int minRating = 0; // only pictures rated at least this many stars; 0: all
    bool frame = false;
    bool timeOrder = false;
    bool captionTime = false;
    bool captionExposure = false;
    QString title; // the header's and the document's, in place of the folder's name
};

// Exit statuses of a run without a window.
enum ExitStatus {
    ExitDone = 0,
    ExitBadArguments = 1,
    ExitNothingToPrint = 2,
    ExitPrintingFailed = 3,
    ExitPicturesLeftOut = 4, // printed, but pictures beyond the catalogue's limit were left out
};

// Reads the arguments (without the program name). A bad command line gives the German
// one-line reason in error.
CommandLine parseCommandLine(const QStringList& arguments, QString* error);
QString commandLineHelp();

// Whether the arguments ask for a run without a window; such a run needs no display. "--"
// ends the options: what follows is the folder, even one named like an option.
bool wantsTerminal(const QStringList& arguments);
// The folder a run with the window opens on: the first argument, or the one after "--".
QString windowFolder(const QStringList& arguments);
// The text with its control characters written out ("\n", "\x1b"), for a terminal or a log.
QString escapeControls(const QString& text);

} // namespace rasterblatt
