// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/CupsPrinterService.h"

#include "engine/print/CupsConnection.h"
#include "engine/print/CupsPapers.h"
#include "engine/print/CupsQueuePrinter.h"
#include "engine/print/JpegFilesPrinter.h"
#include "engine/print/PdfFilePrinter.h"

namespace rasterblatt {

CupsPrinterService::CupsPrinterService(FileNameQuery askFileName)
    : m_limits(std::make_unique<Limits>())
    , m_paperBook(std::make_shared<PaperBook>())
    , m_pdfPrinter(std::make_unique<PdfFilePrinter>(askFileName))
    , m_jpegPrinter(std::make_unique<JpegFilesPrinter>(std::move(askFileName)))
{
}

CupsPrinterService::~CupsPrinterService() = default;

QString CupsPrinterService::pdfPrinterName() { return PdfFilePrinter::printerName(); }

std::vector<Printer*> CupsPrinterService::printers()
{
    QString defaultName;
    std::vector<Printer*> result;
    for (const QString& name : listQueues(&defaultName))
        result.push_back(queuePrinter(name));
    result.push_back(m_pdfPrinter.get());
    result.push_back(m_jpegPrinter.get());
    // The first listing chooses the current printer. Without a CUPS default (or without
    // CUPS) the PDF file is the only sure printer.
    if (!std::exchange(m_listed, true))
        m_current = defaultName.isEmpty() ? m_pdfPrinter.get() : queuePrinter(defaultName);
    return result;
}

Printer* CupsPrinterService::currentPrinter()
{
    if (!m_listed)
        printers();
    return m_current;
}

void CupsPrinterService::setCurrentPrinter(Printer* printer)
{
    m_listed = true;
    m_current = printer;
}

QStringList CupsPrinterService::listQueues(QString* defaultName)
{
    // After a listing that ran out of time the window must not wait that long again.
    const auto limit = m_silent ? m_limits->listTimeout / 5 : m_limits->listTimeout;
    cups::Watch watch(nullptr, limit, true);
    const cups::Connection http = cups::connectWatched(watch);
    if (!http)
        return {};
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    m_silent = watch.outcome == cups::Watch::Silent;
    // The names as Qt's print support spells them: "queue" or "queue/instance".
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString name = QString::fromUtf8(dests[i].name);
        if (dests[i].instance)
            name += QLatin1Char('/') + QString::fromUtf8(dests[i].instance);
        if (defaultName && dests[i].is_default)
            *defaultName = name;
        names << name;
    }
    cupsFreeDests(count, dests);
    return names;
}

Printer* CupsPrinterService::pdfPrinter() const { return m_pdfPrinter.get(); }

bool CupsPrinterService::prepareJob(Printer* printer, const QString& folder)
{
    if (printer == m_jpegPrinter.get())
        return m_jpegPrinter->chooseTarget(folder);
    return printer != pdfPrinter() || m_pdfPrinter->chooseTarget(folder);
}

QString CupsPrinterService::jobTarget(Printer* printer) const
{
    return printer == pdfPrinter()       ? m_pdfPrinter->target()
        : printer == m_jpegPrinter.get() ? m_jpegPrinter->target()
                                         : QString();
}

std::function<PrinterPapers()> CupsPrinterService::papersQuestion(const QString& name, std::chrono::milliseconds bound)
{
    if (name == pdfPrinterName() || name == JpegFilesPrinter::printerName()) {
        PrinterPapers papers;
        papers.sizes = standardPapers();
        return [papers] { return papers; };
    }
    return [book = m_paperBook, name, bound] {
        cups::Watch watch(nullptr, bound, true);
        return cups::askPapers(*book, watch, name);
    };
}

Printer* CupsPrinterService::queuePrinter(const QString& name)
{
    auto& printer = m_queues[name];
    if (!printer)
        printer = std::make_unique<CupsQueuePrinter>(name, *m_limits, *m_paperBook);
    return printer.get();
}

} // namespace rasterblatt
