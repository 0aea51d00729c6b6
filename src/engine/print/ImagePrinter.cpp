// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/ImagePrinter.h"

#include <cmath>

namespace rasterblatt {

ImagePrinter::ImagePrinter(const QPageLayout& layout, double dpi)
    : m_layout(layout)
    , m_void(1, 1, QImage::Format_RGB32)
{
    const QSizeF paper = layout.fullRect(QPageLayout::Inch).size();
    m_image = QImage(qMax(1, qRound(paper.width() * dpi)), qMax(1, qRound(paper.height() * dpi)), QImage::Format_RGB32);
    m_image.fill(Qt::white);
    // The image takes the document's resolution, so that fonts get the sizes they have in
    // it; the painter's scale then shows everything at the image's own.
    const int dotsPerMeter = qRound(Resolution / 0.0254);
    m_image.setDotsPerMeterX(dotsPerMeter);
    m_image.setDotsPerMeterY(dotsPerMeter);
    m_painter.begin(&m_image);
    m_painter.setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    const QRectF printable = layout.paintRect(QPageLayout::Inch);
    m_painter.scale(dpi / Resolution, dpi / Resolution);
    m_painter.translate(printable.left() * Resolution, printable.top() * Resolution);
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
