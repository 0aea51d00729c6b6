// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIODevice>
#include <QString>

#include "engine/print/CupsConnection.h"
#include "engine/print/CupsPrinterService.h"

namespace rasterblatt::cups {

// Ends a job: the user's cancel (PrintCancelled), or why CUPS failed (the watch's reason where
// none is given) as a PrinterError.
[[noreturn]] void failJob(const QString& destination, const Watch& watch, const Error& reason = {});

// Sends the file as one PDF job, with the driver's name of the paper as its PageSize unless
// empty, named name. A destination "queue/instance" is an lpoptions instance: its saved options apply, as
// they do for lp. Every wait is bounded by the limits, "Abbrechen" is heard, and a job that
// could not be sent whole is cancelled.
void submitJob(const QString& destination, QIODevice& pdf, const CupsPrinterService::Limits& limits,
    const QString& pageSize, const QString& name);

} // namespace rasterblatt::cups
