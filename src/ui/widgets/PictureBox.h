// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace rasterblatt {

// A picture box: a widget that keeps everything painted into it in a retained image,
// repaints itself from that image, and exists (and can be painted into) before it is
// first shown. Positions and sizes are twips, measured from the top-left corner of the
// inner drawing area (inside the border).
class PictureBox : public QWidget {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Outer size in twips, border included (width() and height() are the widget's pixels).
    float widthTwips() const;
    float heightTwips() const;

    // Clears the drawing area and the retained image to the background colour.
    void Cls();
    // Stretches the whole picture into the rectangle (smooth scaling, plain copy).
    void PaintPicture(const QImage& picture, double x, double y, double width, double height);
    // The retained image of the drawing area; its devicePixelRatio says how many device
    // pixels it holds per logical pixel.
    QImage Image() const;

    // The tooltip doubles as the record of the path the box shows: the path is kept exactly,
    // the tooltip shows it readably (see displayName).
    QString ToolTipText() const { return m_toolTipText; }
    void setToolTipText(const QString& text);

    // Like Cls, a new colour also clears the drawing.
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }
    // A sunken two-pixel frame around the drawing area, or none.
    void setBorder(bool border);
    // Device pixels per logical pixel of the retained image: the screen's own.
    qreal imageScale() const;

    // The drawing area in logical pixels.
    QRect drawingArea() const;
    qreal logicalDpi() const;

Q_SIGNALS:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Sizes the retained image to the current geometry; a hidden box gets no resize event.
    void ensureImage() const;

    mutable QImage m_image;
    QString m_toolTipText;
    QColor m_background = Qt::white;
    bool m_border = false;
    bool m_pressed = false;
};

} // namespace rasterblatt
