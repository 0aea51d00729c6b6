// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/print/CupsPrinterService.h"
#include "engine/print/PdfDocumentPrinter.h"

namespace rasterblatt {

// A CUPS queue: the document goes to it as one PDF job. Its papers are what its driver says,
// as the dialog was told them where it asked first.
class CupsQueuePrinter final : public PdfDocumentPrinter {
public:
    CupsQueuePrinter(
        const QString& name, const CupsPrinterService::Limits& limits, CupsPrinterService::PaperBook& book);

    QList<QPageSize> paperSizes() override { return papers(false).sizes; }
    QPageSize defaultPaper() override { return papers(false).fallback(); }

protected:
    // A queue that is gone fails when the job is sent; until then the document is drawn
    // on the paper without margins.
    QPageLayout layoutFor(const QPageSize& size, QPageLayout::Orientation orientation) override
    {
        return papers(true).layout(size, orientation);
    }
    // A queue that reports its sizes is told which paper to feed; a raw one gets the PDF alone.
    void deliver(QTemporaryFile& pdf, const QPageSize& paper) override;

private:
    // A scheduler that stops answering ends a job (throwing) or, when only asked, gives none.
    PrinterPapers papers(bool throwing);

    const CupsPrinterService::Limits& m_limits;
    CupsPrinterService::PaperBook& m_book;
};

} // namespace rasterblatt
