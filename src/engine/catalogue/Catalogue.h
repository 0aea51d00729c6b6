// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <stdexcept>

#include <QString>
#include <QStringList>
#include <QVector>

namespace rasterblatt {

// The catalogue cannot grow any further: its 16-bit counters are exhausted.
class CatalogueFull : public std::runtime_error {
public:
    CatalogueFull()
        : std::runtime_error("Zu viele Dateien")
    {
    }
};

// The image files of the folder being shown, by position: entry i of the window's file list
// shows the file whose full path is path(i). The paths grow in steps of 100 slots and are
// not emptied by a rebuild; only the first count() of them mean anything, and only those
// are handed out. The counters are 16-bit, so at most Limit files are listed.
class Catalogue {
public:
    static constexpr int Limit = 32700;
    // The limit as the messages write it: "32.700".
    static QString limitText();

    // Include the files of all sub-folders.
    bool bSubDirs = false;
    // List the further photo formats too: .jpeg, PNG, TIFF, WebP, HEIC, HEIF and camera raw files.
    bool allFormats = false;
    // List each folder's pictures in the order they were taken (orderByShotTime).
    bool timeOrder = false;

    // Starts a new listing: the count goes to 0, the capacity to -1; the old paths stay, unread.
    void reset();
    // Stores the path at index count(), growing by 100 slots when needed. Throws CatalogueFull
    // when the 32,701st path would need a slot beyond the 16-bit range; nothing is stored then.
    void append(const QString& path);

    int count() const { return nFileCount; }
    // The highest index the paths have room for.
    int capacity() const { return nFileCapacity; }
    // The path of entry index; empty past the count.
    QString path(int index) const { return index >= 0 && index < nFileCount ? aFiles[index] : QString(); }
    QStringList paths() const { return QStringList(aFiles.mid(0, nFileCount)); }

private:
    QVector<QString> aFiles;
    std::int16_t nFileCount = 0;
    std::int16_t nFileCapacity = 0;
};

} // namespace rasterblatt
