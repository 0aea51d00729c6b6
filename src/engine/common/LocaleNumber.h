// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include <QLocale>
#include <QString>

namespace rasterblatt {

// The number test of the grid boxes and the stored grid: blanks around an optional sign,
// digits and the locale's decimal separator. Returns the nearest whole number (an exact
// half goes to the even neighbour), or nothing for text that is not a number or does not
// fit in 32 bits.
std::optional<std::int32_t> parseWholeNumber(const QString& text, const QLocale& locale = QLocale());

} // namespace rasterblatt
