// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's printing: the print button and the printer choice. The job itself is the
// engine's print command; the window shows its progress and its end.
#include <algorithm>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/picture/Units.h"
#include "engine/print/FileTarget.h"
#include "engine/print/JpegFilesPrinter.h"
#include "engine/print/PrintSource.h"
#include "engine/print/Printer.h"
#include "ui/FitAndPaint.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/widgets/FileList.h"
#include "ui/widgets/FolderList.h"
#include "ui/widgets/PictureBox.h"

namespace rasterblatt {

namespace {

    // The file list as the job reads it: entry i is ticked in the list, its path is the
    // catalogue's, the folder the folder list's; all as they are at the moment the job asks.
    class WindowSelection final : public PrintSource {
    public:
        WindowSelection(const Catalogue& catalogue, const FileList& list, const FolderList& folders)
            : m_catalogue(catalogue)
            , m_list(list)
            , m_folders(folders)
        {
        }
        int count() const override { return m_catalogue.count(); }
        bool isTicked(int index) const override { return m_list.isTicked(index); }
        QString path(int index) const override { return m_catalogue.path(index); }
        int tickedCount() const override { return m_list.tickedCount(); }
        QString folderName() const override { return displayName(fileNameOf(m_folders.path())); }

    private:
        const Catalogue& m_catalogue;
        const FileList& m_list;
        const FolderList& m_folders;
    };

} // namespace

void MainWindow::cmdPrint_Click()
{
    // One job at a time, and only with a grid that has cells.
    if (m_state.bPrinting)
        return;
    const auto refuse = [this](const QString& text) {
        m_messages.show(this, QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok);
    };
    if (!gridPrintable()) {
        refuse(errorText(Error(Error::Kind::NoCells)));
        return;
    }
    Printer* const chosen = SelectPrinter();
    if (!chosen) {
        refuse(errorText(Error(Error::Kind::PrinterMissing, { prnList->currentText() })));
        return;
    }
    // "PDF-Datei" asks where to save before anything is drawn; cancelling starts no job, and
    // neither does a file that cannot take the sheet or is one of the pictures.
    try {
        if (!m_printers.prepareJob(chosen, dirList->path()))
            return;
    } catch (const PrinterError& error) {
        refuse(errorText(error.error()));
        return;
    }
    if (const QString target = m_printers.jobTarget(chosen); !target.isEmpty()) {
        // Picture files: each page's file, as many pages as the ticks make now.
        const bool files = chosen->deviceName() == JpegFilesPrinter::printerName();
        const QStringList targets = files
            ? JpegFilesPrinter::pageFiles(target, pageCount(fileList->tickedCount(), m_state.nCols, m_state.nRows))
            : QStringList { target };
        for (const QString& file : targets) {
            if (const Error problem = checkTarget(file, m_catalogue.paths(), files)) {
                refuse(errorText(problem));
                return;
            }
        }
    }

    // The job takes the grid once, as it is now; the ticks and the list it reads as it goes.
    const PrintJobSettings settings = jobSettings();

    PrintCommand::Callbacks callbacks;
    callbacks.started = [this] {
        cmdPrint->setEnabled(false);
        cmdPresentation->setEnabled(cmdPrint->isEnabled());
        lbInfo->clear();
        lbInfo->repaint();
    };
    callbacks.yield = [] { QCoreApplication::processEvents(); };
    callbacks.progress = [this](int printed, int ticked) {
        const double barWidth = (twipsWidth(lbInfo) - 60.0) * printed / std::max(ticked, 1);
        lbProgressBar->resize(qRound(units::twipsToPixels(barWidth, m_dpi)), lbProgressBar->height());
        lbProgressBar->setAccessibleDescription(QStringLiteral("%1 von %2 Bildern").arg(printed).arg(ticked));
        if (printed == 1)
            lbProgressBar->show();
        lbProgressBar->repaint();
    };
    // The pane shows each picture as it prints, and the last one after the job.
    callbacks.picture = [this](const QString& path, const DecodedPicture& picture) {
        paintFitted(*picBox, path, picture, m_state.bKeepAspect);
    };
    callbacks.windingUp = [this] { UpdateInfo(); };

    const PrintCommand::Result result
        = m_printCommand.run(*chosen, WindowSelection(m_catalogue, *fileList, *dirList), settings, callbacks);
    cmdPrint->setEnabled(gridPrintable());
    cmdPresentation->setEnabled(cmdPrint->isEnabled());
    lbProgressBar->hide();
    // A job that drew nothing sent nothing: that is no success to keep quiet about.
    const auto nothing = [this](const QString& why) {
        m_messages.show(this, QMessageBox::Information, windowTitle(),
            QStringLiteral("Es wurde nichts gedruckt: %1").arg(why), QMessageBox::Ok);
    };
    switch (result.outcome) {
    case PrintCommand::Outcome::Failed:
        refuse(errorText(result.error));
        break;
    case PrintCommand::Outcome::NothingReadable:
        nothing(QStringLiteral("keines der markierten Bilder konnte gelesen werden."));
        break;
    case PrintCommand::Outcome::NothingTicked:
        nothing(QStringLiteral("kein Bild ist mehr markiert."));
        break;
    case PrintCommand::Outcome::Sent:
        // A bad card copy is caught at proofing: the pictures that printed incomplete or not at all are named.
        if (const QString problems = PrintCommand::problemsText(result); !problems.isEmpty())
            m_messages.show(this, QMessageBox::Information, windowTitle(), problems, QMessageBox::Ok);
        break;
    case PrintCommand::Outcome::Cancelled:
        break;
    }
}

Printer* MainWindow::SelectPrinter() { return m_printers.printerNamed(prnList->currentText()); }

PrintJobSettings MainWindow::jobSettings() const
{
    PrintJobSettings settings;
    settings.nCols = m_state.nCols;
    settings.nRows = m_state.nRows;
    settings.bPrintFileName = m_state.bPrintFileName;
    settings.bKeepAspect = m_state.bKeepAspect;
    settings.setup = m_state.sheetSetup;
    settings.folderName = displayName(fileNameOf(dirList->path()));
    return settings;
}

} // namespace rasterblatt
