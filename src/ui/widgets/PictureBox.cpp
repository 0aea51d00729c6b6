// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/PictureBox.h"

#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include "engine/catalogue/NativePath.h"
#include "engine/picture/Units.h"

namespace rasterblatt {

namespace {

    constexpr int BorderWidth = 2;

} // namespace

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    // The retained image and the frame cover every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

float PictureBox::widthTwips() const { return static_cast<float>(units::pixelsToTwips(width(), logicalDpi())); }

float PictureBox::heightTwips() const { return static_cast<float>(units::pixelsToTwips(height(), logicalDpi())); }

void PictureBox::Cls()
{
    ensureImage();
    m_image.fill(m_background);
    update();
}

void PictureBox::PaintPicture(const QImage& picture, double x, double y, double width, double height)
{
    ensureImage();
    const double dpi = logicalDpi();
    const QRectF target(units::twipsToPixels(x, dpi), units::twipsToPixels(y, dpi), units::twipsToPixels(width, dpi),
        units::twipsToPixels(height, dpi));
    const bool finite = std::isfinite(target.x()) && std::isfinite(target.y()) && std::isfinite(target.width())
        && std::isfinite(target.height());
    if (m_image.isNull() || picture.isNull() || !finite || target.isEmpty())
        return;

    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
    painter.end();
    update();
}

void PictureBox::setToolTipText(const QString& text)
{
    m_toolTipText = text;
    setToolTip(displayName(text));
}

QImage PictureBox::Image() const
{
    ensureImage();
    return m_image;
}

void PictureBox::setBackgroundColor(const QColor& color)
{
    m_background = color;
    Cls();
}

void PictureBox::setBorder(bool border)
{
    m_border = border;
    update();
}

qreal PictureBox::imageScale() const { return devicePixelRatio(); }

QRect PictureBox::drawingArea() const
{
    const int inset = m_border ? BorderWidth : 0;
    return rect().adjusted(inset, inset, -inset, -inset);
}

// Pixels are square here; the horizontal resolution serves both directions.
qreal PictureBox::logicalDpi() const { return logicalDpiX(); }

void PictureBox::ensureImage() const
{
    const qreal scale = imageScale();
    const QSize logical = drawingArea().size().expandedTo(QSize(0, 0));
    const QSize pixels(qRound(logical.width() * scale), qRound(logical.height() * scale));
    if (m_image.size() == pixels && m_image.devicePixelRatio() == scale)
        return;

    QImage image(pixels, QImage::Format_RGB32);
    if (image.isNull()) {
        m_image = QImage();
        return;
    }
    image.setDevicePixelRatio(scale);
    image.fill(m_background);
    // A new size or screen keeps what was drawn, at its place in logical pixels.
    if (!m_image.isNull()) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QPointF(0, 0), m_image);
    }
    m_image = image;
}

void PictureBox::paintEvent(QPaintEvent*)
{
    ensureImage();
    QPainter painter(this);
    const QRect area = drawingArea();
    if (m_image.isNull())
        painter.fillRect(area, m_background);
    else
        painter.drawImage(area.topLeft(), m_image);
    if (m_border)
        qDrawWinPanel(&painter, rect(), palette(), true);
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    else
        QWidget::mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool click = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    // Last: a receiver may close the window that holds this box.
    if (click)
        Q_EMIT clicked();
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // Not a press: the release that ends a double-click is no further click.
    Q_EMIT doubleClicked();
}

} // namespace rasterblatt
