// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSizeF>
#include <QWidget>

namespace rasterblatt {

// A page of the sheet on screen: the paper, white on grey with a shadow, centred and as large
// as the view allows; while its picture is being drawn, the blank paper.
class SheetView : public QWidget {
    Q_OBJECT

public:
    explicit SheetView(QWidget* parent = nullptr);

    // The paper's size in inches, which sets the page's proportions.
    void setPaper(const QSizeF& inches);
    void setPage(const QImage& page);
    // The resolution at which a page fills the view, in device pixels per inch.
    double pageDpi() const;
    QSize sizeHint() const override { return { 420, 560 }; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF pageRect() const;

    QSizeF m_paper { 8.27, 11.69 };
    QImage m_page;
};

} // namespace rasterblatt
