#pragma once

#include <QString>

namespace rasterblatt {

class PictureBox;

// Where a fitted picture lands: twips from the top-left corner of the available area.
struct FitResult {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;

    bool isEmpty() const { return !(width > 0 && height > 0); }
};

// Fits a picture of the given natural size into an area, centred: with keepAspect it
// touches the area's edges in one direction (enlarged or reduced as needed), without it
// fills the area. Every intermediate value is a float. An area, or with keepAspect a
// picture, without a positive finite size gives an empty result.
FitResult fitPicture(float pictureWidth, float pictureHeight, float areaWidth, float areaHeight, bool keepAspect);

// Loads the file and paints it, fitted and centred, into the box; the box's tooltip then
// holds the path. A file that fails to load leaves the drawing as it was, empties the
// tooltip and gives false. Nothing is thrown.
bool showPicture(const QString& path, PictureBox& box, bool keepAspect);

} // namespace rasterblatt
