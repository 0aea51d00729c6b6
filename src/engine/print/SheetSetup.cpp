// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/SheetSetup.h"

#include "engine/print/Printer.h"

namespace rasterblatt {

QList<QPageSize> offeredPapers(Printer& printer)
{
    const QList<QPageSize> reported = printer.paperSizes();
    return reported.isEmpty() ? standardPapers() : reported;
}

QList<QPageSize> PrinterPapers::offered() const { return sizes.isEmpty() ? standardPapers() : sizes; }

QPageSize PrinterPapers::fallback() const { return defaultPaper.isValid() ? defaultPaper : QPageSize(QPageSize::A4); }

QPageLayout PrinterPapers::layout(const QPageSize& paper, QPageLayout::Orientation orientation) const
{
    qsizetype i = 0;
    while (i < sizes.size() && paperName(sizes[i]) != paperName(paper))
        ++i;
    QMarginsF upright = i < margins.size() ? margins[i] : QMarginsF();
    // The driver turns a landscape page a quarter to the left onto the sheet.
    const QMarginsF margin = orientation == QPageLayout::Landscape
        ? QMarginsF(upright.bottom(), upright.left(), upright.top(), upright.right())
        : upright;
    return QPageLayout(paper, orientation, margin, QPageLayout::Point);
}

QString paperName(const QPageSize& paper)
{
    // Qt names Letter "US Letter": a standard size Qt named itself goes by its key, the name people use.
    return paper.id() != QPageSize::Custom && paper.name() == QPageSize::name(paper.id()) ? paper.key() : paper.name();
}

QPageSize findPaper(const QList<QPageSize>& papers, const QString& name)
{
    for (const QPageSize& paper : papers) {
        if (paperName(paper).compare(name, Qt::CaseInsensitive) == 0)
            return paper;
    }
    for (const QPageSize& paper : papers) {
        if (paper.key().compare(name, Qt::CaseInsensitive) == 0 || paper.name().compare(name, Qt::CaseInsensitive) == 0)
            return paper;
    }
    return {};
}

QPageSize paperFor(const SheetSetup& setup, const QList<QPageSize>& offered, const QPageSize& defaultPaper)
{
    if (!setup.paper.isEmpty()) {
        if (const QPageSize chosen = findPaper(offered, setup.paper); chosen.isValid())
            return chosen;
    }
    return defaultPaper;
}

QPageSize paperFor(const SheetSetup& setup, Printer& printer)
{
    return setup.paper.isEmpty() ? printer.defaultPaper()
                                 : paperFor(setup, offeredPapers(printer), printer.defaultPaper());
}

} // namespace rasterblatt
