// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <stdexcept>

#include <QSet>
#include <QString>

#include "app/WindowState.h"
#include "catalogue/Directory.h"

namespace rasterblatt {

// The catalogue cannot grow any further: its 16-bit counters are exhausted.
class CatalogueFull : public std::runtime_error {
public:
    CatalogueFull()
        : std::runtime_error("Zu viele Dateien")
    {
    }
};

// The folder walk that fills the catalogue: depth first and post-order (the files of every
// sub-folder before the folder's own), and within a folder the "*.jpg" files, then "*.bmp",
// then "*.gif", each group in the fixed name order. Every file found is stored in aFiles
// and handed to appendEntry with its bare name; the counters of the state grow as they do
// for the window. Throws CatalogueFull when the 32,701st file is found; everything added
// before stays.
class FolderScan {
public:
    using AppendEntry = std::function<void(const QString& name)>;

    FolderScan(WindowState& state, AppendEntry appendEntry);

    // Resets the counters for a new scan (the paths in aFiles stay, unused).
    void reset();
    void ScanFolder(const QString& folderPath);

private:
    void AddImageFiles(const QString& folderPath, const QString& pattern, const QStringList& files);
    void appendFile(const QString& folder, const QString& name);

    WindowState& m_state;
    AppendEntry m_appendEntry;
    // Folders already walked, so that symbolic links never make the walk go round in circles.
    QSet<QPair<quint64, quint64>> m_visited;
};

} // namespace rasterblatt
