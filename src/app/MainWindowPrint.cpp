// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's printing: print command and printer choice; the job itself is the print engine's.
#include <algorithm>
#include <exception>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "catalogue/FileList.h"
#include "catalogue/FolderList.h"
#include "print/PrintJob.h"
#include "print/PrinterService.h"
#include "render/FitAndPaint.h"
#include "render/PictureBox.h"
#include "render/Units.h"

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

    m_state.bAbort = false;
    m_state.bPrinting = true;
    cmdPrint->setEnabled(false);
    cmdPresentation->setEnabled(cmdPrint->isEnabled());
    const Printer* previous = m_printers.currentPrinter();
    const QString sPrevPrinter = previous ? previous->deviceName() : QString();
    m_printers.setCurrentPrinter(chosen);

    const auto windUp = [&] {
        // A printer that has vanished meanwhile cannot be made current again; the chosen one stays.
        if (Printer* restored = m_printers.printerNamed(sPrevPrinter))
            m_printers.setCurrentPrinter(restored);
        UpdateInfo();
        m_state.bPrinting = false;
        cmdPrint->setEnabled(gridPrintable());
        cmdPresentation->setEnabled(cmdPrint->isEnabled());
        lbProgressBar->hide();
    };

    try {
        PrintSelection(chosen);
        windUp();
    } catch (const std::exception& error) {
        windUp();
        refuse(QString::fromUtf8(error.what()));
    }
}

bool MainWindow::PrintSelection(Printer* prn)
{
    lbInfo->clear();
    lbInfo->repaint();

    // The job takes the ticked files and the grid once, as they are now.
    QStringList files;
    for (int i = 0; i < m_state.nFileCount; ++i) {
        if (fileList->isTicked(i))
            files.append(m_state.aFiles[i]);
    }
    PrintJobSettings settings;
    settings.nCols = m_state.nCols;
    settings.nRows = m_state.nRows;
    settings.bPrintFileName = m_state.bPrintFileName;
    settings.bKeepAspect = m_state.bKeepAspect;
    settings.preview = PictureArea::of(*picBox);

    PrintJobCallbacks callbacks;
    callbacks.abortRequested = [this] {
        QCoreApplication::processEvents();
        return m_state.bAbort;
    };
    // "Abbrechen" also ends a wait for the print system.
    m_printers.setAbortPoll(callbacks.abortRequested);
    callbacks.progress = [this](int printed, int total) {
        const double barWidth = (twipsWidth(lbInfo) - 60.0) * printed / total;
        lbProgressBar->resize(qRound(units::twipsToPixels(barWidth, m_dpi)), lbProgressBar->height());
        lbProgressBar->setAccessibleDescription(QStringLiteral("%1 von %2 Bildern").arg(printed).arg(total));
        if (printed == 1)
            lbProgressBar->show();
        lbProgressBar->repaint();
    };
    // The pane shows each picture as it prints, and the last one after the job.
    callbacks.showPicture = [this](const QString& path, const DecodedPicture& picture) {
        paintPicture(*picBox, path, picture, m_state.bKeepAspect);
    };
    return PrintDocument(*prn, files, settings, callbacks);
}

Printer* MainWindow::SelectPrinter() { return m_printers.printerNamed(prnList->currentText()); }

} // namespace rasterblatt
