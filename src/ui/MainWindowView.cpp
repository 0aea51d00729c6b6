// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's viewing: preview pane, full-screen view and slide show.
#include <exception>
#include <memory>

#include <QCheckBox>
#include <QCoreApplication>
#include <QPushButton>

#include "engine/catalogue/Directory.h"
#include "engine/view/SlideShow.h"
#include "ui/BusyCursor.h"
#include "ui/FitAndPaint.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/widgets/FileList.h"
#include "ui/widgets/ImageViewer.h"
#include "ui/widgets/PictureBox.h"

namespace rasterblatt {

bool MainWindow::ShowPicture(const QString& path, PictureBox* box)
{
    return paintFitted(*box, path, decodePicture(path, availableArea(*box), m_state.bKeepAspect), m_state.bKeepAspect);
}

void MainWindow::clearPreview()
{
    // A blank pane also forgets its picture, so that "Vollbild" opens nothing.
    picBox->Cls();
    picBox->setToolTipText(QString());
    fileList->setPreviewPath(QString());
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
    const QString path = m_catalogue.path(index);
    if (fileList->previewPath() != path) {
        const BusyCursor busy;
        fileList->setPreviewPath(path);
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

void MainWindow::picBox_DblClick() { showFullScreen(picBox->ToolTipText()); }

void MainWindow::showFullScreen(const QString& path)
{
    if (path.isEmpty())
        return;
    std::unique_ptr<ImageViewer> viewer;
    {
        const BusyCursor busy;
        viewer = std::make_unique<ImageViewer>(this);
        m_viewer = viewer.get();
        ShowPicture(path, viewer->picBox());
        viewer->picBox()->setToolTipText(QString());
        viewer->setWindowTitle(displayName(fileNameOf(path)));
    }
    viewer->exec();
}

void MainWindow::cmdPresentation_Click()
{
    // One show at a time, should the button be reached while the viewer covers the screen.
    if (m_state.bPresenting)
        return;
    m_state.bPresenting = true;
    auto viewer = std::make_unique<ImageViewer>(this);
    m_viewer = viewer.get();
    try {
        viewer->show();
        QCoreApplication::processEvents();
        m_state.bAbort = false;
        SlideShowSource source;
        source.count = [this] { return m_catalogue.count(); };
        source.isTicked = [this](int i) { return fileList->isTicked(i); };
        source.path = [this](int i) { return m_catalogue.path(i); };
        source.stopRequested = [this] { return m_state.bAbort; };
        source.intervalSeconds = [this] { return double(m_state.sngSlideSeconds); };
        source.keepAspect = m_state.bKeepAspect;
        ImageViewer* screen = viewer.get();
        SlideScreen slides;
        slides.area = availableArea(*screen->picBox());
        slides.closed = [screen] { return screen->bClosed(); };
        slides.show = [this, screen](const QString& path, const DecodedPicture& picture) {
            if (paintFitted(*screen->picBox(), path, picture, m_state.bKeepAspect))
                screen->setWindowTitle(displayName(fileNameOf(path)));
        };
        slides.close = [screen] { screen->closeViewer(); };
        SlideShow show(std::move(source), std::move(slides));
        connect(screen, &ImageViewer::closed, &show, &SlideShow::screenClosed);
        show.run();
    } catch (const std::exception& error) {
        // The viewer stays open on this path until the user closes it.
        m_messages.show(this, QMessageBox::Critical, windowTitle(), QString::fromUtf8(error.what()), QMessageBox::Ok);
        viewer.release()->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_state.bPresenting = false;
}

} // namespace rasterblatt
