// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/Catalogue.h"

#include <limits>

#include <QLocale>

namespace rasterblatt {

namespace {
    constexpr int GrowthStep = 100;
}

QString Catalogue::limitText() { return QLocale(QLocale::German).toString(Limit); }

void Catalogue::reset()
{
    nFileCount = 0;
    nFileCapacity = -1;
}

void Catalogue::append(const QString& path)
{
    if (nFileCount > nFileCapacity) {
        const int grown = nFileCapacity + GrowthStep;
        if (grown > std::numeric_limits<std::int16_t>::max())
            throw CatalogueFull();
        nFileCapacity = static_cast<std::int16_t>(grown);
        aFiles.resize(grown + 1);
    }
    aFiles[nFileCount] = path;
    ++nFileCount;
}

} // namespace rasterblatt
