// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace rasterblatt {

// "Name 1.00.0016" followed directly by the credit text.
inline QString windowCaption(const QString& name, int major, int minor, int revision, const QString& credit)
{
    return QStringLiteral("%1 %2.%3.%4%5")
        .arg(name)
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(revision, 4, 10, QLatin1Char('0'))
        .arg(credit);
}

} // namespace rasterblatt
