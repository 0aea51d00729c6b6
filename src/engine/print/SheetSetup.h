// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

namespace rasterblatt {

class Printer;

// How the sheet is set up beyond its grid: paper, orientation, a header line with the folder's
// name and the date, a line with the page numbers.
struct SheetSetup {
    QString paper; // the paper's name ("A4", "Letter", or a queue's own); empty: the printer's default
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    bool header = false;
    bool pageNumbers = false;
};

// The paper sizes the printer offers: those it reports, or standardPapers() where it reports none.
QList<QPageSize> offeredPapers(Printer& printer);
// The name a paper is shown and stored by: "A4", "Letter", or a queue's own.
QString paperName(const QPageSize& paper);
// The paper of that name among the sizes (its letters in any case); invalid when none has it.
QPageSize findPaper(const QList<QPageSize>& papers, const QString& name);
// The paper a job on the printer takes: the set-up's where the printer offers it (among
// offered, its offeredPapers() where they are known already), else the printer's default.
QPageSize paperFor(const SheetSetup& setup, Printer& printer, const QList<QPageSize>& offered);
QPageSize paperFor(const SheetSetup& setup, Printer& printer);

} // namespace rasterblatt
