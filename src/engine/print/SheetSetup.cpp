// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/SheetSetup.h"

#include "engine/print/Printer.h"

namespace rasterblatt {

QList<QPageSize> offeredPapers(Printer& printer)
{
    const QList<QPageSize> reported = printer.paperSizes();
    return reported.isEmpty() ? standardPapers() : reported;
}

QString paperName(const QPageSize& paper)
{
    // Qt names Letter "US Letter"; its key is the name people use.
    return paper.id() != QPageSize::Custom ? paper.key() : paper.name();
}

QPageSize findPaper(const QList<QPageSize>& papers, const QString& name)
{
    for (const QPageSize& paper : papers) {
        if (paperName(paper).compare(name, Qt::CaseInsensitive) == 0
            || paper.key().compare(name, Qt::CaseInsensitive) == 0
            || paper.name().compare(name, Qt::CaseInsensitive) == 0)
            return paper;
    }
    return {};
}

QPageSize paperFor(const SheetSetup& setup, Printer& printer, const QList<QPageSize>& offered)
{
    if (!setup.paper.isEmpty()) {
        if (const QPageSize chosen = findPaper(offered, setup.paper); chosen.isValid())
            return chosen;
    }
    return printer.defaultPaper();
}

QPageSize paperFor(const SheetSetup& setup, Printer& printer)
{
    return setup.paper.isEmpty() ? printer.defaultPaper() : paperFor(setup, printer, offeredPapers(printer));
}

} // namespace rasterblatt
