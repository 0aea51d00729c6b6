// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include <QStringList>

#include "cli/CommandLine.h"

namespace rasterblatt {

class CupsPrinterService;
struct RunFlags;

// Prints the folder's pictures, as the window does with every file ticked, to a PDF file or a
// CUPS queue, or lists the queues. Progress goes to err when it is a terminal; every error is
// one line on err. flags.bAbort, set while the job yields to the event loop, cancels it.
int runCommandLine(
    const CommandLine& command, CupsPrinterService& printers, std::FILE* out, std::FILE* err, RunFlags& flags);

// A run without a window from its arguments (without the program name): the help, the
// version, or runCommandLine on the printers of this process, "PDF-Datei" writing the file
// --pdf names. Returns the exit status.
int runWithoutWindow(const QStringList& arguments, std::FILE* out, std::FILE* err, RunFlags& flags);

} // namespace rasterblatt
