// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/ImagePrinter.h"

#include <cmath>

namespace rasterblatt {

void beginPaper(QImage& paper, QPainter& painter, const QPageLayout& layout, double dpi)
{
    constexpr int Resolution = PaintedPrinter::Resolution;
    // Through millimetres, in which Qt keeps the standard papers exactly (its inches have two decimals).
    const QSizeF size = layout.fullRect(QPageLayout::Millimeter).size() / 25.4;
    paper = QImage(qMax(1, qRound(size.width() * dpi)), qMax(1, qRound(size.height() * dpi)), QImage::Format_RGB32);
    paper.fill(Qt::white);
    // The image takes the document's resolution, so that fonts get the sizes they have in
    // it; the painter's scale then shows everything at the image's own.
    const int dotsPerMeter = qRound(Resolution / 0.0254);
    paper.setDotsPerMeterX(dotsPerMeter);
    paper.setDotsPerMeterY(dotsPerMeter);
    painter.begin(&paper);
    painter.setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    const QRectF printable = layout.paintRect(QPageLayout::Millimeter);
    painter.scale(dpi / Resolution, dpi / Resolution);
    painter.translate(printable.left() / 25.4 * Resolution, printable.top() / 25.4 * Resolution);
}

ImagePrinter::ImagePrinter(const QPageLayout& layout, double dpi)
    : m_layout(layout)
    , m_void(1, 1, QImage::Format_RGB32)
{
    beginPaper(m_image, m_painter, layout, dpi);
}

ImagePrinter::~ImagePrinter() = default;

void ImagePrinter::newPage()
{
    m_firstPageDone = m_drawn;
    moveToTop();
}

QPainter& ImagePrinter::pagePainter()
{
    if (!m_firstPageDone) {
        m_drawn = true;
        return m_painter;
    }
    if (!m_voidPainter.isActive())
        m_voidPainter.begin(&m_void);
    return m_voidPainter;
}

} // namespace rasterblatt
