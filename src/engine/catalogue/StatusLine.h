// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <QString>

namespace rasterblatt {

// The grid a window or a command line starts with: columns and rows per page.
inline constexpr std::int32_t DefaultCols = 7;
inline constexpr std::int32_t DefaultRows = 11;

// Pages needed for the ticked files: ticked / (cols x rows), rounded up. A grid with a
// count below 1 cannot be printed and needs 0 pages.
std::int32_t pageCount(int ticked, std::int32_t cols, std::int32_t rows);

// "120 Datei(en) -  78 Datei(en) markiert - 2 Druckseiten"
QString statusText(int files, int ticked, std::int32_t pages);

} // namespace rasterblatt
