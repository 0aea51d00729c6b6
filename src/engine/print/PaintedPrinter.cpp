// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PaintedPrinter.h"

#include <QFontMetricsF>
#include <QPainter>

namespace rasterblatt {

PaintedPrinter::PaintedPrinter()
    : m_font(QStringLiteral("Arial"), 8)
    , m_metricsDevice(&m_metricsBuffer)
{
    m_metricsDevice.setResolution(Resolution);
}

PaintedPrinter::~PaintedPrinter() = default;

void PaintedPrinter::setFontName(const QString& name) { m_font.setFamily(name); }

void PaintedPrinter::setFontSize(double points)
{
    if (!(points > 0))
        throw PrinterError(Error(Error::Kind::FontSize, { QStringLiteral("%1").arg(points) }));
    m_font.setPointSizeF(points);
}

double PaintedPrinter::textWidth(const QString& text)
{
    return QFontMetricsF(m_font, &m_metricsDevice).horizontalAdvance(text);
}

double PaintedPrinter::textHeight(const QString&)
{
    // The distance from one line to the next, leading included, as the printer moves on.
    return QFontMetricsF(m_font, &m_metricsDevice).lineSpacing();
}

void PaintedPrinter::printLine(const QString& text)
{
    QPainter& painter = pagePainter();
    const QFontMetricsF metrics(m_font, &m_metricsDevice);
    painter.setFont(m_font);
    painter.drawText(QPointF(m_x, m_y + metrics.ascent()), text);
    m_x = 0;
    m_y += metrics.lineSpacing();
}

void PaintedPrinter::PaintPicture(const QImage& picture, double x, double y, double width, double height)
{
    if (picture.isNull())
        throw PrinterError(Error(Error::Kind::EmptyPicture));
    pagePainter().drawImage(QRectF(x, y, width, height), picture);
}

void PaintedPrinter::drawFrame(double x, double y, double width, double height)
{
    QPainter& painter = pagePainter();
    painter.save();
    // 0.25 pt in twips; where a pixel is larger, Qt draws one pixel.
    painter.setPen(QPen(QColor(128, 128, 128), Resolution / 72.0 * 0.25));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(x, y, width, height));
    painter.restore();
}

// Through millimetres, in which Qt keeps the standard page sizes exactly: its pixel rectangle
// goes through whole points and misses A4 by up to 6 twips.
int PaintedPrinter::pageWidth()
{
    return qRound(documentLayout().paintRect(QPageLayout::Millimeter).width() / 25.4 * Resolution);
}

int PaintedPrinter::pageHeight()
{
    return qRound(documentLayout().paintRect(QPageLayout::Millimeter).height() / 25.4 * Resolution);
}

} // namespace rasterblatt
