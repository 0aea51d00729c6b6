// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/ImageViewer.h"

#include <utility>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "ui/widgets/PictureBox.h"

namespace rasterblatt {

ImageViewer::ImageViewer(QWidget* owner)
    : QDialog(owner, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmImage"));
    setWindowTitle(QStringLiteral("Form1"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    m_picBox = new PictureBox(this);
    m_picBox->setObjectName(QStringLiteral("picBox"));
    m_picBox->setBackgroundColor(Qt::black);
    connect(m_picBox, &PictureBox::clicked, this, &ImageViewer::picBox_Click);
    Form_Load();
}

void ImageViewer::Form_Load()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    setGeometry(area);
    setWindowState(Qt::WindowFullScreen);
    m_picBox->setGeometry(0, 0, area.width(), area.height());
}

void ImageViewer::markClosed()
{
    if (std::exchange(m_closed, true))
        return;
    Q_EMIT closed();
}

void ImageViewer::closeViewer(bool asTheUser)
{
    if (asTheUser)
        markClosed();
    close();
}

void ImageViewer::closeEvent(QCloseEvent* event)
{
    // A close from the window manager (Alt+F4) is the user's, like Escape.
    if (event->spontaneous())
        markClosed();
    QDialog::closeEvent(event);
}

void ImageViewer::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Keys go to the viewer at once, also where no window manager hands it the focus.
    raise();
    activateWindow();
}

void ImageViewer::keyPressEvent(QKeyEvent* event)
{
    // Keys act on release; a dialog would otherwise close on the press of Escape.
    event->accept();
}

void ImageViewer::keyReleaseEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat())
        Form_KeyUp(event->key());
    event->accept();
}

void ImageViewer::Form_KeyUp(int keyCode)
{
    if (keyCode == Qt::Key_Escape) {
        markClosed();
        close();
    }
}

void ImageViewer::picBox_Click()
{
    markClosed();
    close();
}

} // namespace rasterblatt
