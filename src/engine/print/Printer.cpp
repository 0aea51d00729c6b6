// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/Printer.h"

namespace rasterblatt {

QList<QPageSize> standardPapers()
{
    return { QPageSize(QPageSize::A4), QPageSize(QPageSize::A3), QPageSize(QPageSize::A5), QPageSize(QPageSize::Letter),
        QPageSize(QPageSize::Legal) };
}

std::function<PrinterPapers()> PrinterService::papersQuestion(const QString& name, std::chrono::milliseconds)
{
    PrinterPapers papers;
    if (Printer* printer = printerNamed(name)) {
        papers.sizes = printer->paperSizes();
        papers.defaultPaper = printer->defaultPaper();
    } else {
        papers.answer = PrinterPapers::Missing;
    }
    return [papers] { return papers; };
}

} // namespace rasterblatt
