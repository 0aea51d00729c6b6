// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/Directory.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QCollator>

namespace rasterblatt {

namespace {

    struct DirCloser {
        void operator()(DIR* dir) const { closedir(dir); }
    };

} // namespace

void sortNames(QStringList& names)
{
    if (names.size() < 2)
        return;
    // Debian's Qt collates with ICU, so the German rules hold whatever the process's locale,
    // LANG=C included. Each name gets its key once; comparing two keys is a byte compare.
    QCollator collator(QLocale(QLocale::German, QLocale::Germany));
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    struct Keyed {
        QCollatorSortKey key;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (QString& name : names)
        keyed.push_back({ collator.sortKey(displayName(name)), std::move(name) });
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[i].name);
}

DirectoryListing readDirectory(const QString& path)
{
    DirectoryListing listing;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(nativePath(path).constData()));
    if (!dir)
        return listing;
    listing.readable = true;

    const int dirFd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        bool isFolder = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info { };
            if (fstatat(dirFd, entry->d_name, &info, 0) != 0)
                continue; // a dangling link or an entry that vanished meanwhile
            isFolder = S_ISDIR(info.st_mode);
            isFile = S_ISREG(info.st_mode);
        }
        if (isFolder) {
            // A folder we cannot list is treated as hidden.
            if (faccessat(dirFd, entry->d_name, R_OK | X_OK, 0) == 0)
                listing.folders.append(pathFromNative(entry->d_name));
        } else if (isFile) {
            listing.files.append(pathFromNative(entry->d_name));
        }
    }
    sortNames(listing.folders);
    sortNames(listing.files);
    return listing;
}

bool matchesWildcard(const QString& name, const QString& pattern)
{
    // Iterative matcher with backtracking to the last "*".
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size()
            && (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

QString joinPath(const QString& folder, const QString& name)
{
    QString dir = folder;
    if (dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir + QLatin1Char('/') + name;
}

QString fileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

} // namespace rasterblatt
