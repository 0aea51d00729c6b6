// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPainter>

#include "engine/print/PaintedPrinter.h"

namespace rasterblatt {

// The whole paper of the page at dpi, white, with the painter begun on it: its units are twips
// from the printable area's top-left corner, and fonts take the sizes they have in a document
// of PaintedPrinter::Resolution, so that the sheet is laid out as in its PDF document.
void beginPaper(QImage& paper, QPainter& painter, const QPageLayout& layout, double dpi);

// A printer that draws the first page of its document into an image: the sheet as the real
// printer gets it, smaller. The page (paper, printable area) is the real printer's, and text
// is laid out as in its PDF document; the image only shows it at its own resolution, the
// whole paper white with the printable area where the printer puts it. Pages after the first
// are not drawn.
class ImagePrinter final : public PaintedPrinter {
public:
    ImagePrinter(const QPageLayout& layout, double dpi);
    ~ImagePrinter() override;

    QString deviceName() const override { return QStringLiteral("Seitenansicht"); }
    QPageLayout pageLayout() override { return m_layout; }

    void newPage() override;
    void endDoc() override { }
    void killDoc() override { }

    const QImage& image() const { return m_image; }

protected:
    const QPageLayout& documentLayout() override { return m_layout; }
    QPainter& pagePainter() override;

private:
    QPageLayout m_layout;
    QImage m_image;
    QPainter m_painter;
    // What is drawn after the first page goes here, and is lost.
    QImage m_void;
    QPainter m_voidPainter;
    bool m_drawn = false;
    bool m_firstPageDone = false;
};

} // namespace rasterblatt
