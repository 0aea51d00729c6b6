// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

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
};

// The grid starts 10 mm right of and 5 mm below the origin and leaves 10 mm on the right
// and 20 mm at the bottom; 5 % of every cell is the gap to its neighbours. With a name
// line (its height given), 1.1 line heights of the cell are kept for the name.
// twipsPerHimetricX and twipsPerHimetricY are the page's twips per HIMETRIC unit. cols and
// rows must be at least 1.
PageGeometry pageGeometry(int pageWidth, int pageHeight, std::int32_t cols, std::int32_t rows,
    std::optional<double> nameLineHeight, double twipsPerHimetricX, double twipsPerHimetricY);

// A picture of the given natural size fitted and centred into the area at (left, top), on
// the page.
Fit<double> placeInArea(
    float left, float top, float maxWidth, float maxHeight, float naturalWidth, float naturalHeight, bool keepAspect);

} // namespace rasterblatt
