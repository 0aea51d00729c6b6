// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QPageLayout>
#include <QString>

namespace rasterblatt {

// What the printers of the engine ask of Qt's widgets and print support.

// The save dialog for the PDF file, on the proposed file; empty when cancelled.
QString askPdfFileName(const QString& proposal);
// A CUPS queue's default page, as its driver describes it (Qt's print support asks CUPS).
std::optional<QPageLayout> queuePageLayout(const QString& queue);

} // namespace rasterblatt
