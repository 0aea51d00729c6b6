// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's catalogue: folder scan, drive and folder changes, ticking and the
// status line.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>

#include "engine/catalogue/FolderScan.h"
#include "engine/catalogue/StatusLine.h"
#include "ui/BusyCursor.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/widgets/DriveList.h"
#include "ui/widgets/FileList.h"
#include "ui/widgets/FolderList.h"

namespace rasterblatt {

void MainWindow::RefreshFileList()
{
    FolderScan scan(m_catalogue, [this](const QString& name) { fileList->addEntry(name); });
    scan.reset();
    bool full = false;
    {
        const BusyCursor busy;
        try {
            // The list's own notifications stay quiet while it is rebuilt: the rebuild leaves
            // the preview alone.
            const QSignalBlocker blocker(fileList);
            fileList->removeAll();
            fileList->setUpdatesEnabled(false);
            const auto updates = qScopeGuard([this] { fileList->setUpdatesEnabled(true); });
            scan.ScanFolder(dirList->path());
        } catch (const CatalogueFull&) {
            full = true;
        } catch (const std::exception&) {
            // The walk ends here (memory ran out); what was listed stays, and the status line counts it.
        }
        UpdateInfo();
        const bool any = m_catalogue.count() > 0;
        cmdSelect->setEnabled(any);
        cmdDeselect->setEnabled(any);
    }
    // The walk ends at the limit as it always has, but not in silence; the same listing again
    // (start-up lists its folder twice) is not told twice.
    const QString listing = QStringLiteral("%1|%2|%3|%4")
                                .arg(dirList->path())
                                .arg(m_catalogue.bSubDirs)
                                .arg(m_catalogue.allFormats)
                                .arg(m_catalogue.timeOrder);
    if (full && std::exchange(m_limitToldFor, listing) != listing)
        m_messages.show(this, QMessageBox::Information, windowTitle(),
            QStringLiteral("Der Ordner enth\u00e4lt mehr als %1 Bilder; die \u00fcbrigen werden nicht angezeigt.")
                .arg(Catalogue::limitText()),
            QMessageBox::Ok);
    else if (!full)
        m_limitToldFor.clear();
}

void MainWindow::driveList_Change()
{
    const QString drive = driveList->drive();
    // The folder last shown on the drive, or its top folder where that one is gone. A drive
    // that cannot be opened leaves the folder list where it was.
    if (!dirList->setPath(m_driveFolders.value(drive, drive)))
        dirList->setPath(drive);
}

void MainWindow::dirList_Change()
{
    const QString path = dirList->path();
    const QString drive = driveList->driveOf(path);
    m_driveFolders.insert(drive, path);
    {
        // The folder list can walk onto another file system; the drive list follows it quietly.
        const QSignalBlocker blocker(driveList);
        driveList->setDrive(drive);
    }
    RefreshFileList();
    fileList_Click();
    UpdateInfo();
}

void MainWindow::chkSubDir_Click()
{
    m_catalogue.bSubDirs = chkSubDir->checkState() != Qt::Unchecked;
    RefreshFileList();
    UpdateInfo();
}

bool MainWindow::gridPrintable() const { return m_state.nCols >= 1 && m_state.nRows >= 1; }

void MainWindow::UpdateInfo()
{
    const int ticked = fileList->tickedCount();
    const std::int32_t pages = pageCount(ticked, m_state.nCols, m_state.nRows);
    // Nothing starts a second job while one runs.
    cmdPrint->setEnabled(ticked > 0 && pages > 0 && !m_state.bPrinting);
    cmdPresentation->setEnabled(cmdPrint->isEnabled());
    lbInfo->setText(statusText(m_catalogue.count(), ticked, pages));
    lbInfo->repaint();
    sheetChanged();
}

void MainWindow::cmdSelect_Click() { tickAll(true); }

void MainWindow::cmdDeselect_Click() { tickAll(false); }

void MainWindow::tickAll(bool ticked)
{
    m_state.bBulkSelect = true;
    fileList->hide();
    for (int i = 0; i < fileList->count(); ++i)
        fileList->setTicked(i, ticked);
    fileList->show();
    fileList->repaint();
    m_state.bBulkSelect = false;
    fileList_Click();
}

void MainWindow::tickRows(const QList<int>& rows, bool ticked)
{
    m_state.bBulkSelect = true;
    for (const int row : rows)
        fileList->setTicked(row, ticked);
    m_state.bBulkSelect = false;
    fileList_Click();
}

void MainWindow::rebuildKeepingTicks()
{
    QSet<QString> ticked;
    for (int i = 0; i < m_catalogue.count(); ++i) {
        if (fileList->isTicked(i))
            ticked.insert(m_catalogue.path(i));
    }
    RefreshFileList();
    QList<int> rows;
    for (int i = 0; i < m_catalogue.count(); ++i) {
        if (ticked.contains(m_catalogue.path(i)))
            rows << i;
    }
    tickRows(rows, true);
    UpdateInfo();
}

} // namespace rasterblatt
