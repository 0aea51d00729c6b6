// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QSize>
#include <QString>
#include <QStringList>

#include "engine/picture/Fit.h"

namespace rasterblatt {

// The grid of a contact sheet, in the page's twips from the drawing origin.
struct PageGeometry {
    float left = 0; // of the first cell of every row
    float top = 0; // of the first row
    float cellWidth = 0;
    float cellHeight = 0;
    float picWidth = 0; // the picture area of a cell, at its top-left corner
    float picHeight = 0;
    // The header line's top, the right edge of the lines, and the page-number line's bottom (the
    // left edge is the grid's).
    double areaTop = 0;
    double areaRight = 0;
    double areaBottom = 0;
};

// The grid's area starts 10 mm right of and 5 mm below the origin and leaves 10 mm on the
// right and 20 mm at the bottom; 5 % of every cell is the gap to its neighbours. With text
// under the pictures (the height of its line given), 1.1 line heights of the cell are kept for
// its first line (the name, or the first caption) and one more for each further line. A header line
// and a page-number line (their heights given, 0 for none) take their room from the top and
// the bottom of the area. The header's top and the page number's bottom stand equally far
// from the paper's edges (paperTop and paperBottom: from the printable area's edges to the
// paper's), 5 mm inside the printable area on its narrower side. twipsPerHimetricX and
// twipsPerHimetricY are the page's twips per HIMETRIC unit. cols and rows must be at least 1.
PageGeometry pageGeometry(int pageWidth, int pageHeight, std::int32_t cols, std::int32_t rows,
    std::optional<double> nameLineHeight, double twipsPerHimetricX, double twipsPerHimetricY, double headerHeight = 0,
    double footerHeight = 0, double paperTop = 0, double paperBottom = 0, int textLines = 1);

// The top of text line `line` (0 the name's) under a picture box whose bottom edge is at boxBottom.
inline double textLineTop(double boxBottom, int line, double lineHeight)
{
    return boxBottom + (0.1 + line) * lineHeight;
}

// The window's preview pane, in twips, and the margin a picture box keeps free around its
// picture (half of it on each side).
inline constexpr float PreviewPaneWidth = 2895;
inline constexpr float PreviewPaneHeight = 2175;
inline constexpr float PictureBoxMargin = 60;
// Every picture of the sheet is first fitted into a box of the preview pane's area, which is
// then fitted into the cell's picture area: so all boxes of a row, and the names under them,
// share one line whatever the pictures' shapes.
inline constexpr float PictureBoxWidth = PreviewPaneWidth - PictureBoxMargin;
inline constexpr float PictureBoxHeight = PreviewPaneHeight - PictureBoxMargin;

struct CellPlacement {
    Fit<double> box; // on the page
    Fit<double> photo; // on the page, inside the box; empty for a picture that did not load
};

// Where the box and the picture of the given natural size (in pixels; empty for a picture
// that did not load) land in the picture area at (left, top).
CellPlacement placeCell(float left, float top, float maxWidth, float maxHeight, QSize natural, bool keepAspect);

// The width of a text at a size in points, in twips.
using MeasureText = std::function<double(const QString& text, double points)>;

// The names of a page share one size: the largest from 7 pt down to 5.5 pt, in steps of a
// quarter point, at which every one is at most width wide (5.5 pt where one is wider even then).
double pageNameSize(const QStringList& names, double width, const MeasureText& measure);
// The name as it fits into width at that size: whole, or shortened in the middle with "…",
// keeping its beginning, its end and its extension (a text without one: keepExtension false);
// empty where not even "…" fits.
QString fitName(
    const QString& name, double width, double points, const MeasureText& measure, bool keepExtension = true);

} // namespace rasterblatt
