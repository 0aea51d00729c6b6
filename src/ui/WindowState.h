// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "engine/catalogue/StatusLine.h"
#include "engine/print/PrintCommand.h"
#include "engine/print/SheetSetup.h"

namespace rasterblatt {

// Everything the main window remembers between events besides its catalogue: the run flags
// (bAbort, bPrinting: those the print command shares), the grid and the sheet's set-up. The defaults are the
// ones a new window starts with; Rows and Cols are then restored from the settings.
struct WindowState : RunFlags {
    bool bBulkSelect = false; // all entries are being ticked or unticked at once
    bool bKeepAspect = true;
    bool bPresenting = false;
    std::int32_t nCols = DefaultCols;
    std::int32_t nRows = DefaultRows;
    bool bPrintFileName = true;
    float sngSlideSeconds = 6.0f;
    // Paper, orientation, header and page numbers, as "Einrichten" sets them.
    SheetSetup sheetSetup;
};

} // namespace rasterblatt
