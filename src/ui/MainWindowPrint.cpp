// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's printing: the print button and the printer choice. The job itself is the
// engine's print command; the window shows its progress and its end.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "engine/picture/Units.h"
#include "engine/print/Printer.h"
#include "ui/FitAndPaint.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/widgets/FileList.h"
#include "ui/widgets/FolderList.h"
#include "ui/widgets/PictureBox.h"

namespace rasterblatt {

void MainWindow::cmdPrint_Click()
{
    // One job at a time, and only with a grid that has cells.
    if (m_state.bPrinting)
        return;
    const auto refuse = [this](const QString& text) {
        m_messages.show(this, QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok);
    };
    if (!gridPrintable()) {
        refuse(QStringLiteral("Spalten und Zeilen m\u00fcssen mindestens 1 sein."));
        return;
    }
    Printer* const chosen = SelectPrinter();
    if (!chosen) {
        refuse(PrinterService::missingPrinterText(QStringLiteral("\u201e%1\u201c").arg(prnList->currentText())));
        return;
    }
    // "PDF-Datei" asks where to save before anything is drawn; cancelling starts no job.
    if (!m_printers.prepareJob(chosen, dirList->path()))
        return;

    // The job takes the ticked files and the grid once, as they are now.
    QStringList files;
    for (int i = 0; i < m_catalogue.count(); ++i) {
        if (fileList->isTicked(i))
            files.append(m_catalogue.path(i));
    }
    const PrintJobSettings settings { m_state.nCols, m_state.nRows, m_state.bPrintFileName, m_state.bKeepAspect };

    PrintCommand::Callbacks callbacks;
    callbacks.started = [this] {
        cmdPrint->setEnabled(false);
        cmdPresentation->setEnabled(cmdPrint->isEnabled());
        lbInfo->clear();
        lbInfo->repaint();
    };
    callbacks.yield = [] { QCoreApplication::processEvents(); };
    callbacks.progress = [this](int printed, int total) {
        const double barWidth = (twipsWidth(lbInfo) - 60.0) * printed / total;
        lbProgressBar->resize(qRound(units::twipsToPixels(barWidth, m_dpi)), lbProgressBar->height());
        lbProgressBar->setAccessibleDescription(QStringLiteral("%1 von %2 Bildern").arg(printed).arg(total));
        if (printed == 1)
            lbProgressBar->show();
        lbProgressBar->repaint();
    };
    // The pane shows each picture as it prints, and the last one after the job.
    callbacks.picture = [this](const QString& path, const DecodedPicture& picture) {
        paintFitted(*picBox, path, picture, m_state.bKeepAspect);
    };
    callbacks.windingUp = [this] { UpdateInfo(); };

    const PrintCommand::Result result = m_printCommand.run(*chosen, files, settings, callbacks);
    cmdPrint->setEnabled(gridPrintable());
    cmdPresentation->setEnabled(cmdPrint->isEnabled());
    lbProgressBar->hide();
    if (result.outcome == PrintCommand::Outcome::Failed)
        refuse(result.reason);
}

Printer* MainWindow::SelectPrinter() { return m_printers.printerNamed(prnList->currentText()); }

} // namespace rasterblatt
