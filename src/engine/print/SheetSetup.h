// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

namespace rasterblatt {

class Printer;

// How the sheet is set up beyond its grid: paper, orientation, a header line with the folder's
// name (or a title) and the date, a line with the page numbers, a frame around each picture,
// caption lines under the names.
struct SheetSetup {
    QString paper; // the paper's name ("A4", "Letter", or a queue's own); empty: the printer's default
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    bool header = false;
    bool pageNumbers = false;
    bool frame = false; // a hairline on each picture's edge, so that a white picture shows where it ends
    bool captionTime = false; // a line with each picture's capture time
    bool captionExposure = false; // a line with each picture's exposure
    QString title = {}; // in the header in place of the folder's name, and the document's name; not stored

    int captionLines() const { return int(captionTime) + int(captionExposure); }
};

// What a printer says of its paper: the sizes it reports, its default, and the printable area of
// each. A print system may not answer, or no longer know the printer.
struct PrinterPapers {
    enum Answer { Known, Missing, Silent };
    Answer answer = Known;
    // What follows is the printer's: always when Known; when Silent, from an earlier answer.
    bool known = true;
    QList<QPageSize> sizes; // empty where the printer reports none
    QPageSize defaultPaper; // invalid where it has none
    QList<QMarginsF> margins; // in points, of each size upright; none where missing

    // The sizes it reports, or standardPapers() where it reports none.
    QList<QPageSize> offered() const;
    // The default, or A4 where it has none.
    QPageSize fallback() const;
    // The page the paper gives in that orientation, its margins turned with the sheet.
    QPageLayout layout(const QPageSize& paper, QPageLayout::Orientation orientation) const;
};

// The paper sizes the printer offers: those it reports, or standardPapers() where it reports none.
QList<QPageSize> offeredPapers(Printer& printer);
// The name a paper is shown, stored and sent to the queue by: "A4", "Letter", or the queue
// driver's own (its name()); for Qt's standard sizes their key.
QString paperName(const QPageSize& paper);
// The paper of that name among the sizes (its letters in any case; a name before a key);
// invalid when none has it.
QPageSize findPaper(const QList<QPageSize>& papers, const QString& name);
// The paper a job takes: the set-up's where it is offered, else the default.
QPageSize paperFor(const SheetSetup& setup, const QList<QPageSize>& offered, const QPageSize& defaultPaper);
QPageSize paperFor(const SheetSetup& setup, Printer& printer);

} // namespace rasterblatt
