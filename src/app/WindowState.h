// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <QString>
#include <QVector>

namespace rasterblatt {

// Everything the main window remembers between events. The defaults are the ones a new
// window starts with; Rows, Cols and the last folder are then restored from the settings.
struct WindowState {
    bool bAbort = false; // a stop was requested for the running print job or slide show
    bool bBulkSelect = false; // all entries are being ticked or unticked at once
    bool bPrinting = false;
    bool bKeepAspect = true;
    bool bPresenting = false;
    std::int32_t nCols = 7;
    std::int32_t nRows = 11;
    bool bSubDirs = false;
    bool bPrintFileName = true;
    float sngSlideSeconds = 6.0f;
    // Full path of every entry of the file list, by position. Grows in steps of 100 and is
    // not emptied by a rebuild: only the first nFileCount entries mean anything.
    QVector<QString> aFiles;
    std::int16_t nFileCount = 0;
    std::int16_t nFileCapacity = 0; // highest index aFiles currently has
};

} // namespace rasterblatt
