// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PrinterSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>

namespace rasterblatt {

QString askPdfFileName(const QString& proposal)
{
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Kontaktabzug als PDF-Datei speichern"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("PDF-Dateien (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setDirectory(QFileInfo(proposal).absolutePath());
    dialog.selectFile(QFileInfo(proposal).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

CupsPrinterService::QueueDriver qtQueueDriver()
{
    CupsPrinterService::QueueDriver driver;
    driver.paperSizes = [](const QString& queue) { return QPrinterInfo::printerInfo(queue).supportedPageSizes(); };
    driver.defaultPaper = [](const QString& queue) { return QPrinterInfo::printerInfo(queue).defaultPageSize(); };
    driver.pageLayout = [](const QString& queue, const QPageSize& size,
                            QPageLayout::Orientation orientation) -> std::optional<QPageLayout> {
        const QPrinterInfo info = QPrinterInfo::printerInfo(queue);
        if (info.isNull())
            return std::nullopt;
        QPrinter printer(info, QPrinter::HighResolution);
        printer.setPageSize(size);
        printer.setPageOrientation(orientation);
        return printer.pageLayout();
    };
    return driver;
}

} // namespace rasterblatt
