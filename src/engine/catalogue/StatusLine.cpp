// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/StatusLine.h"

#include <limits>

namespace rasterblatt {

std::int32_t pageCount(int ticked, std::int32_t cols, std::int32_t rows)
{
    if (cols < 1 || rows < 1)
        return 0;
    // 64 bits, so that a hand-edited huge grid cannot overflow; it simply gives one page.
    const std::int64_t perPage = std::int64_t(cols) * rows;
    const std::int64_t pages = (ticked + perPage - 1) / perPage;
    return static_cast<std::int32_t>(pages);
}

QString statusText(int files, int ticked, std::int32_t pages)
{
    return QStringLiteral("%1 Datei(en) -  %2 Datei(en) markiert - %3 Druckseiten").arg(files).arg(ticked).arg(pages);
}

} // namespace rasterblatt
