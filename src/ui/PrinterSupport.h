// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "engine/print/CupsPrinterService.h"

namespace rasterblatt {

// What the printers of the engine ask of Qt's widgets and print support.

// The save dialog for the PDF file, on the proposed file; empty when cancelled.
QString askPdfFileName(const QString& proposal);
// A CUPS queue's driver as Qt's print support reads it (its PPD): its paper sizes, its
// default paper, and the page each paper gives.
CupsPrinterService::QueueDriver qtQueueDriver();

} // namespace rasterblatt
