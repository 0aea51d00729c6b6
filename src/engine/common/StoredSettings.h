// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "engine/catalogue/StatusLine.h"

namespace rasterblatt {

// What the window remembers between runs, as the texts of the settings file's section
// "Settings". A key that is missing keeps the value the caller gave as its default.
struct StoredSettings {
    QString lastFolder; // "LastFolder"
    QString rows = QString::number(DefaultRows); // "Rows"
    QString cols = QString::number(DefaultCols); // "Cols"
    // The sheet's set-up; what is missing or not understood reads as the default.
    QString paper; // "Paper": a paper's name, "" for the printer's default
    bool landscape = false; // "Orientation": "Portrait" or "Landscape"
    bool header = false; // "Header": "0" or "1"
    bool pageNumbers = false; // "PageNumbers": "0" or "1"
    bool frame = false; // "Frame": "0" or "1"
    bool allFormats = false; // "AllFormats": "0" or "1"
    bool timeOrder = false; // "TimeOrder": "0" or "1"
    bool captionTime = false; // "CaptionTime": "0" or "1"
    bool captionExposure = false; // "CaptionExposure": "0" or "1"
};

// Reads the settings file. A file larger than MaxBytes, or one that is no regular file, is not
// read at all (the defaults stand, and a warning goes to standard error): it is no file the
// program wrote.
StoredSettings readSettings(const QString& file, const StoredSettings& defaults);
// Writes the settings: the file then holds these keys and nothing else. False when it could
// not be written, or is no regular file (which stays as it is).
bool writeSettings(const QString& file, const StoredSettings& settings);

inline constexpr qint64 SettingsMaxBytes = 1024 * 1024;

} // namespace rasterblatt
