// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PdfFilePrinter.h"

#include <QFileInfo>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/print/FileTarget.h"

namespace rasterblatt {

PdfFilePrinter::PdfFilePrinter(FileNameQuery askFileName)
    : PdfDocumentPrinter(printerName())
    , m_askFileName(std::move(askFileName))
{
}

bool PdfFilePrinter::chooseTarget(const QString& folder)
{
    const QString target
        = m_askFileName ? m_askFileName(proposedTarget(folder, m_lastFolder, QStringLiteral(".pdf"))) : QString();
    if (target.isEmpty())
        return false;
    m_lastFolder = QFileInfo(target).absolutePath();
    if (Error problem = checkTarget(target))
        throw PrinterError(std::move(problem));
    m_target = resolvedTarget(target);
    return true;
}

QPageLayout PdfFilePrinter::layoutFor(const QPageSize& size, QPageLayout::Orientation orientation)
{
    return QPageLayout(size, orientation, QMarginsF());
}

QString PdfFilePrinter::documentFolder() const
{
    if (m_target.isEmpty() && m_askFileName)
        m_target = resolvedTarget(m_askFileName(QString()));
    return m_target.isEmpty() ? PdfDocumentPrinter::documentFolder() : QFileInfo(m_target).absolutePath();
}

void PdfFilePrinter::deliver(QTemporaryFile& pdf, const QPageSize&)
{
    const QString target = std::exchange(m_target, QString());
    if (target.isEmpty())
        return;
    if (Error problem = checkTarget(target))
        throw PrinterError(std::move(problem));
    if (QFileInfo(pdf.fileName()).absolutePath() != QFileInfo(target).absolutePath())
        throw PrinterError(
            Error(Error::Kind::PdfNotWritable, { displayName(target) }, Error(Error::Kind::FolderChanged)));
    moveIntoPlace(pdf, target);
    pdf.setAutoRemove(false);
}

} // namespace rasterblatt
