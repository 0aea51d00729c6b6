// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QSet>
#include <QString>

#include "engine/catalogue/Catalogue.h"

namespace rasterblatt {

// The patterns of the files the walk lists, in its order: "*.jpg", "*.bmp", "*.gif", and with
// the further formats "*.jpeg", "*.png", "*.tif", "*.tiff", "*.webp", "*.heic", "*.heif".
QStringList imagePatterns(bool allFormats);
// The camera raw files' patterns, each a group of its own, in the walk's order.
const QStringList& rawPatterns();

// The folder walk that fills the catalogue: depth first and post-order (the files of every
// sub-folder before the folder's own, when the catalogue includes sub-folders), and within a
// folder one group of files per pattern of imagePatterns, then, with the further formats, one
// per pattern of rawPatterns() (but no raw file whose JPEG of the same name is there), each
// group in the fixed name order (or, with the catalogue's timeOrder, all of a folder's files in
// the order they were taken).
// Every file found is appended to the catalogue and handed to appendEntry with its bare
// name. When the catalogue is full the walk ends with CatalogueFull; everything added before
// stays. With countBeyondLimit it walks on instead and only counts what it finds.
class FolderScan {
public:
    using AppendEntry = std::function<void(const QString& name)>;

    explicit FolderScan(Catalogue& catalogue, AppendEntry appendEntry = {});

    // Starts a new listing (the catalogue's old paths stay, unused).
    void reset();
    void ScanFolder(const QString& folderPath);

    void setCountBeyondLimit(bool count) { m_countBeyondLimit = count; }
    // The pictures found after the catalogue was full.
    int beyondLimit() const { return m_beyondLimit; }

private:
    void AddImageFiles(const QString& folderPath, const QString& pattern, const QStringList& files);
    void appendFile(const QString& folder, const QString& name);

    Catalogue& m_catalogue;
    AppendEntry m_appendEntry;
    bool m_countBeyondLimit = false;
    int m_beyondLimit = 0;
    // Folders already walked, so that symbolic links never make the walk go round in circles.
    QSet<QPair<quint64, quint64>> m_visited;
};

} // namespace rasterblatt
