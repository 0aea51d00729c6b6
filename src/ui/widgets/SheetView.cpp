// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/SheetView.h"

#include <algorithm>

#include <QPainter>

namespace rasterblatt {

namespace {
    constexpr int Margin = 10; // around the paper, for its shadow
}

SheetView::SheetView(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(200, 200);
}

void SheetView::setPaper(const QSizeF& inches)
{
    if (inches.isEmpty() || inches == m_paper)
        return;
    m_paper = inches;
    m_page = QImage();
    update();
}

void SheetView::setPage(const QImage& page)
{
    m_page = page;
    update();
}

QRectF SheetView::pageRect() const
{
    const QRectF area = QRectF(rect()).adjusted(Margin, Margin, -Margin, -Margin);
    const double scale = std::min(area.width() / m_paper.width(), area.height() / m_paper.height());
    const QSizeF size = m_paper * scale;
    return QRectF(area.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

double SheetView::pageDpi() const { return pageRect().width() / m_paper.width() * devicePixelRatioF(); }

void SheetView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    const QRectF page = pageRect();
    painter.fillRect(page.translated(3, 3), QColor(0, 0, 0, 70));
    if (m_page.isNull()) {
        painter.fillRect(page, Qt::white);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(page, m_page);
}

} // namespace rasterblatt
