// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "engine/picture/DecodedPicture.h"

namespace rasterblatt {

class PictureBox;

// The area a picture is fitted into in the box: the box's outer size less PictureBoxMargin in each
// direction, with or without a visible border.
PictureArea availableArea(const PictureBox& box);

// Paints a decoded picture, fitted and centred, into the box; the box's tooltip then holds
// the path. A picture that failed to load leaves the drawing as it was, empties the tooltip
// and gives false.
bool paintFitted(PictureBox& box, const QString& path, const DecodedPicture& picture, bool keepAspect);

} // namespace rasterblatt
