// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/CupsQueuePrinter.h"

#include "engine/print/CupsJob.h"
#include "engine/print/CupsPapers.h"

namespace rasterblatt {

CupsQueuePrinter::CupsQueuePrinter(
    const QString& name, const CupsPrinterService::Limits& limits, CupsPrinterService::PaperBook& book)
    : PdfDocumentPrinter(name)
    , m_limits(limits)
    , m_book(book)
{
}

void CupsQueuePrinter::deliver(QTemporaryFile& pdf, const QPageSize& paper)
{
    const QString pageSize = paperSizes().isEmpty() ? QString() : paperName(paper);
    cups::submitJob(deviceName(), pdf, m_limits, pageSize, documentName());
}

PrinterPapers CupsQueuePrinter::papers(bool throwing)
{
    if (const std::optional<PrinterPapers> known = m_book.find(deviceName()))
        return *known;
    cups::Watch watch(&m_limits.abortPoll, m_limits.responseTimeout, false);
    const PrinterPapers answer = cups::askPapers(m_book, watch, deviceName());
    if (throwing && watch.outcome != cups::Watch::Waiting)
        cups::failJob(deviceName(), watch);
    return answer.answer == PrinterPapers::Known ? answer : PrinterPapers();
}

} // namespace rasterblatt
