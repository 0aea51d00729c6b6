// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/SheetLayout.h"

namespace rasterblatt {

PageGeometry pageGeometry(int pageWidth, int pageHeight, std::int32_t cols, std::int32_t rows,
    std::optional<double> nameLineHeight, double twipsPerHimetricX, double twipsPerHimetricY)
{
    PageGeometry grid;
    grid.left = static_cast<float>(1000 * twipsPerHimetricX);
    grid.top = static_cast<float>(500 * twipsPerHimetricY);
    grid.cellWidth = static_cast<float>((pageWidth - 2000 * twipsPerHimetricX) / cols);
    grid.cellHeight = static_cast<float>((pageHeight - 2500 * twipsPerHimetricY) / rows);
    grid.picWidth = 0.95f * grid.cellWidth;
    grid.picHeight = nameLineHeight ? static_cast<float>(0.95 * (grid.cellHeight - 1.1 * *nameLineHeight))
                                    : 0.95f * grid.cellHeight;
    return grid;
}

Fit<double> placeInArea(
    float left, float top, float maxWidth, float maxHeight, float naturalWidth, float naturalHeight, bool keepAspect)
{
    Fit<double> place = fitPicture<double>(naturalWidth, naturalHeight, maxWidth, maxHeight, keepAspect);
    place.x += left;
    place.y += top;
    return place;
}

} // namespace rasterblatt
