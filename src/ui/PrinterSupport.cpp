// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PrinterSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

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

} // namespace rasterblatt
