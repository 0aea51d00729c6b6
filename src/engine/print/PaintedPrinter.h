// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPdfWriter>

#include "engine/print/Printer.h"

class QPainter;

namespace rasterblatt {

// A printer that paints with a QPainter whose units are twips from the top-left corner of the
// printable area. Text is laid out as in a PDF document at 1440 dpi, on a device of that
// resolution, whatever the painter's own; so a sheet painted smaller keeps every position
// and every width of the printed one.
class PaintedPrinter : public Printer {
public:
    // Device units of the documents are twips.
    static constexpr int Resolution = 1440;

    PaintedPrinter();
    ~PaintedPrinter() override;

    void setFontName(const QString& name) override;
    void setFontSize(double points) override;
    double textWidth(const QString& text) override;
    double textHeight(const QString& text) override;

    void setCurrentX(double x) override { m_x = x; }
    void setCurrentY(double y) override { m_y = y; }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printLine(const QString& text) override;

    void PaintPicture(const QImage& picture, double x, double y, double width, double height) override;
    void drawFrame(double x, double y, double width, double height) override;

    int pageWidth() override;
    int pageHeight() override;

protected:
    // The page being drawn: fixed from its document's first use until the document ends.
    virtual const QPageLayout& documentLayout() = 0;
    // The painter for the page being drawn, opening the document or the page as needed.
    virtual QPainter& pagePainter() = 0;
    void moveToTop()
    {
        m_x = 0;
        m_y = 0;
    }

private:
    QFont m_font;
    double m_x = 0;
    double m_y = 0;
    // Never painted on, so the buffer stays unused.
    QBuffer m_metricsBuffer;
    QPdfWriter m_metricsDevice;
};

} // namespace rasterblatt
