// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PrinterSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace rasterblatt {

QString askPdfFileName(const QString& proposal)
{
    // The picture files are proposed with ".jpg".
    const bool jpeg = QFileInfo(proposal).suffix() == QLatin1String("jpg");
    QFileDialog dialog(QApplication::activeWindow(),
        jpeg ? QStringLiteral("Kontaktabzug als Bilddateien (JPEG) speichern")
             : QStringLiteral("Kontaktabzug als PDF-Datei speichern"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(jpeg ? QStringLiteral("JPEG-Bilder (*.jpg *.jpeg)") : QStringLiteral("PDF-Dateien (*.pdf)"));
    dialog.setDefaultSuffix(jpeg ? QStringLiteral("jpg") : QStringLiteral("pdf"));
    dialog.setDirectory(QFileInfo(proposal).absolutePath());
    dialog.selectFile(QFileInfo(proposal).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace rasterblatt
