// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FitAndPaint.h"

#include "engine/picture/Fit.h"
#include "engine/print/SheetLayout.h"
#include "ui/widgets/PictureBox.h"

namespace rasterblatt {

PictureArea availableArea(const PictureBox& box)
{
    return { box.widthTwips() - PictureBoxMargin, box.heightTwips() - PictureBoxMargin, box.logicalDpi(),
        box.imageScale() };
}

bool paintFitted(PictureBox& box, const QString& path, const DecodedPicture& picture, bool keepAspect)
{
    if (!picture.loaded()) {
        box.setToolTipText(QString());
        return false;
    }
    const PictureArea area = availableArea(box);
    const Fit<float> fit = fitPicture<float>(naturalTwips(picture.natural.width()),
        naturalTwips(picture.natural.height()), area.width, area.height, keepAspect);
    box.Cls();
    if (!fit.isEmpty() && !picture.image.isNull())
        box.PaintPicture(picture.image, fit.x, fit.y, fit.width, fit.height);
    box.setToolTipText(path);
    return true;
}

} // namespace rasterblatt
