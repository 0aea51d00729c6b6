// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/Printer.h"

namespace rasterblatt {

QList<QPageSize> standardPapers()
{
    return { QPageSize(QPageSize::A4), QPageSize(QPageSize::A3), QPageSize(QPageSize::A5), QPageSize(QPageSize::Letter),
        QPageSize(QPageSize::Legal) };
}

} // namespace rasterblatt
