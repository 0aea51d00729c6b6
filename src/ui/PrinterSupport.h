// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rasterblatt {

// What the printers of the engine ask of Qt's widgets: the save dialog for the PDF file, on
// the proposed file; empty when cancelled.
QString askPdfFileName(const QString& proposal);

} // namespace rasterblatt
