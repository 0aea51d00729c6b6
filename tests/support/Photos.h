// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QStringList>

#include "ImageFixtures.h"

namespace rasterblatt::testing {
// The colour of photo i: neighbours differ clearly.
inline QColor photoColor(int i) { return QColor::fromHsv((i * 47) % 360, 255, 230 - (i % 3) * 40); }

// Writes JPEGs bild<first>.jpg ... (three digits) into the folder, each filled with its photoColor.
inline QStringList writePhotos(const QString& folder, int count, int first = 0, QSize size = QSize(80, 60))
{
    QStringList paths;
    for (int i = first; i < first + count; ++i)
        fixtures::writeFile(paths.emplace_back(folder + QString("/bild%1.jpg").arg(i, 3, 10, QChar('0'))),
            fixtures::encode(fixtures::filled(size, photoColor(i)), "JPEG"));
    return paths;
}
} // namespace rasterblatt::testing
