// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/common/LocaleNumber.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace rasterblatt {

std::optional<std::int32_t> parseWholeNumber(const QString& text, const QLocale& locale)
{
    QLocale strict = locale;
    // Group separators would make "2.5" read as 25 in German; a grid count has none.
    strict.setNumberOptions(strict.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode takes halves to even
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

} // namespace rasterblatt
