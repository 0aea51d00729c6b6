// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/SheetLayout.h"

#include <algorithm>
#include <cmath>

#include "engine/picture/DecodedPicture.h"

namespace rasterblatt {

namespace {
    constexpr double LargestNameSize = 7;
    constexpr double SmallestNameSize = 5.5;
    constexpr double NameSizeStep = 0.25;
    const QString Ellipsis = QStringLiteral("\u2026");
} // namespace

PageGeometry pageGeometry(int pageWidth, int pageHeight, std::int32_t cols, std::int32_t rows,
    std::optional<double> nameLineHeight, double twipsPerHimetricX, double twipsPerHimetricY, double headerHeight,
    double footerHeight, double paperTop, double paperBottom, int textLines)
{
    PageGeometry grid;
    // From the paper's edges, top and bottom alike.
    const double edge = std::max(paperTop, paperBottom) + 500 * twipsPerHimetricY;
    grid.areaTop = edge - paperTop;
    grid.areaRight = pageWidth - 1000 * twipsPerHimetricX;
    grid.areaBottom = pageHeight + paperBottom - edge;
    grid.left = static_cast<float>(1000 * twipsPerHimetricX);
    grid.top = static_cast<float>(grid.areaTop + headerHeight);
    const double bottom = std::min(pageHeight - 2000 * twipsPerHimetricY, grid.areaBottom) - footerHeight;
    grid.cellWidth = static_cast<float>((pageWidth - 2000 * twipsPerHimetricX) / cols);
    grid.cellHeight = static_cast<float>((bottom - grid.top) / rows);
    grid.picWidth = 0.95f * grid.cellWidth;
    grid.picHeight = nameLineHeight
        ? static_cast<float>(0.95 * (grid.cellHeight - (0.1 + std::max(1, textLines)) * *nameLineHeight))
        : 0.95f * grid.cellHeight;
    return grid;
}

CellPlacement placeCell(float left, float top, float maxWidth, float maxHeight, QSize natural, bool keepAspect)
{
    CellPlacement cell;
    cell.box = fitPicture<double>(PictureBoxWidth, PictureBoxHeight, maxWidth, maxHeight, keepAspect);
    cell.box.x += left;
    cell.box.y += top;
    if (natural.isEmpty())
        return cell;
    // As the preview pane shows the picture, scaled with the box.
    const Fit<float> inBox = fitPicture<float>(
        naturalTwips(natural.width()), naturalTwips(natural.height()), PictureBoxWidth, PictureBoxHeight, keepAspect);
    const double scaleX = cell.box.width / PictureBoxWidth;
    const double scaleY = cell.box.height / PictureBoxHeight;
    cell.photo
        = { cell.box.x + inBox.x * scaleX, cell.box.y + inBox.y * scaleY, inBox.width * scaleX, inBox.height * scaleY };
    return cell;
}

double pageNameSize(const QStringList& names, double width, const MeasureText& measure)
{
    const auto fits = [&](double points) {
        return std::all_of(
            names.begin(), names.end(), [&](const QString& name) { return measure(name, points) <= width; });
    };
    double points = LargestNameSize;
    while (points > SmallestNameSize && !fits(points))
        points -= NameSizeStep;
    return points;
}

QString fitName(const QString& name, double width, double points, const MeasureText& measure, bool keepExtension)
{
    if (measure(name, points) <= width)
        return name;
    // The extension stays whole; the stem loses its middle.
    const qsizetype dot = keepExtension ? name.lastIndexOf(QLatin1Char('.')) : -1;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QString stem = name.left(name.size() - extension.size());
    const auto shortened = [&](qsizetype kept) {
        const qsizetype head = (kept + 1) / 2;
        return stem.left(head) + Ellipsis + stem.right(kept - head) + extension;
    };
    // The most characters of the stem that still fit.
    qsizetype low = 0, high = stem.size() - 1;
    if (measure(shortened(0), points) > width)
        return measure(Ellipsis, points) <= width ? Ellipsis : QString();
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (measure(shortened(middle), points) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return shortened(low);
}

} // namespace rasterblatt
