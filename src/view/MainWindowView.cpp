// The main window's viewing: preview pane, full-screen view and slide show.
#include <exception>
#include <memory>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>

#include "app/BusyCursor.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "catalogue/FileList.h"
#include "render/FitAndPaint.h"
#include "render/PictureBox.h"
#include "view/ImageViewer.h"

namespace rasterblatt {

bool MainWindow::ShowPicture(const QString& path, PictureBox* box)
{
    return showPicture(path, *box, m_state.bKeepAspect);
}

void MainWindow::clearPreview()
{
    // A blank pane also forgets its picture, so that "Vollbild" opens nothing.
    picBox->Cls();
    picBox->setToolTipText(QString());
    fileList->setToolTip(QString());
    cmdPreview->setEnabled(false);
}

void MainWindow::fileList_Click()
{
    if (m_state.bBulkSelect)
        return;
    const int index = fileList->currentRow();
    if (chkPreview->checkState() == Qt::Unchecked || index < 0) {
        clearPreview();
        UpdateInfo();
        return;
    }
    const QString path = m_state.aFiles.value(index);
    if (fileList->toolTip() != path) {
        const BusyCursor busy;
        fileList->setToolTip(path);
        ShowPicture(path, picBox);
        cmdPreview->setEnabled(true);
    }
    UpdateInfo();
}

void MainWindow::chkPreview_Click()
{
    if (chkPreview->checkState() == Qt::Unchecked) {
        clearPreview();
        return;
    }
    fileList_Click();
    cmdPreview->setEnabled(true);
}

void MainWindow::cmdPreview_Click() { picBox_DblClick(); }

void MainWindow::picBox_DblClick()
{
    const QString path = picBox->ToolTipText();
    if (path.isEmpty())
        return;
    std::unique_ptr<ImageViewer> viewer;
    {
        const BusyCursor busy;
        viewer = std::make_unique<ImageViewer>(this);
        m_viewer = viewer.get();
        ShowPicture(path, viewer->picBox());
        viewer->picBox()->setToolTipText(QString());
    }
    viewer->exec();
}

void MainWindow::cmdPresentation_Click()
{
    QElapsedTimer clock;
    clock.start();
    const auto now = [&clock] { return static_cast<double>(clock.nsecsElapsed()) / 1e9; };

    // One show at a time, should the button be reached while the viewer covers the screen.
    if (m_state.bPresenting)
        return;
    m_state.bPresenting = true;
    auto viewer = std::make_unique<ImageViewer>(this);
    m_viewer = viewer.get();
    try {
        viewer->show();
        QCoreApplication::processEvents();
        double startTime = now() - m_state.sngSlideSeconds;

        // Keeps the current picture until its interval is over or the viewer is closed.
        const auto waitInterval = [&] {
            while (now() - startTime < m_state.sngSlideSeconds && !viewer->bClosed()) {
                QCoreApplication::processEvents();
                QThread::msleep(100);
            }
        };

        m_state.bAbort = false;
        int i = 0;
        while (!viewer->bClosed() && i < m_state.nFileCount && !m_state.bAbort) {
            while (i < m_state.nFileCount && !fileList->isTicked(i))
                ++i;
            if (i >= m_state.nFileCount)
                continue;
            waitInterval();
            if (viewer->bClosed())
                continue;
            startTime = now();
            ShowPicture(m_state.aFiles.value(i), viewer->picBox());
            ++i;
            QCoreApplication::processEvents();
        }
        if (!viewer->bClosed()) {
            waitInterval();
            viewer->closeViewer();
        }
    } catch (const std::exception& error) {
        // The viewer stays open on this path until the user closes it.
        m_messages.show(this, QMessageBox::Critical, windowTitle(), QString::fromUtf8(error.what()), QMessageBox::Ok);
        viewer.release()->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_state.bPresenting = false;
}

} // namespace rasterblatt
