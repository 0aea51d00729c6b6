// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "engine/catalogue/NativePath.h"

namespace rasterblatt {

// What a folder holds, as the catalogue sees it: entries whose names begin with "." are
// hidden and left out, symbolic links are followed, and both lists are in the order of
// sortNames. Names are decoded with pathFromNative, so every one of them opens again
// whatever its bytes.
struct DirectoryListing {
    bool readable = false;
    QStringList folders; // only those that can be opened for reading
    QStringList files; // regular files
};

DirectoryListing readDirectory(const QString& path);

// Sorts names as a file manager shows them: German collation, case-insensitive, numbers by
// value ("bild2.jpg" before "bild10.jpg"), "Übung" among the U's, a byte of a name that is
// not UTF-8 as its displayName. Names that still tie go by their code units, so the order is
// total and the same on every run.
void sortNames(QStringList& names);
// Case-insensitive match of the whole name against a pattern with "*" and "?".
bool matchesWildcard(const QString& name, const QString& pattern);
// Drops one trailing "/" and joins with exactly one: "/" + "a.jpg" gives "/a.jpg".
QString joinPath(const QString& folder, const QString& name);
// The part after the last "/", or the whole text when it has none.
QString fileNameOf(const QString& path);

} // namespace rasterblatt
