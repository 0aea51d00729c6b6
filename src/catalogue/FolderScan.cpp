// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderScan.h"

#include <limits>
#include <sys/stat.h>

#include "catalogue/NativePath.h"

namespace rasterblatt {

namespace {

    const QString patterns[] = { QStringLiteral("*.jpg"), QStringLiteral("*.bmp"), QStringLiteral("*.gif") };
    constexpr int growthStep = 100;

} // namespace

FolderScan::FolderScan(WindowState& state, AppendEntry appendEntry)
    : m_state(state)
    , m_appendEntry(std::move(appendEntry))
{
}

void FolderScan::reset()
{
    m_state.nFileCount = 0;
    m_state.nFileCapacity = -1;
    m_visited.clear();
}

void FolderScan::ScanFolder(const QString& folderPath)
{
    struct stat info { };
    if (stat(nativePath(folderPath).constData(), &info) != 0)
        return; // vanished since it was listed: nothing to add
    const QPair<quint64, quint64> id(info.st_dev, info.st_ino);
    if (m_visited.contains(id))
        return;
    m_visited.insert(id);

    const DirectoryListing listing = readDirectory(folderPath);
    if (m_state.bSubDirs) {
        for (const QString& folder : listing.folders)
            ScanFolder(joinPath(folderPath, folder));
    }
    for (const QString& pattern : patterns)
        AddImageFiles(folderPath, pattern, listing.files);
}

void FolderScan::AddImageFiles(const QString& folderPath, const QString& pattern, const QStringList& files)
{
    for (const QString& name : files) {
        if (matchesWildcard(name, pattern))
            appendFile(folderPath, name);
    }
}

void FolderScan::appendFile(const QString& folder, const QString& name)
{
    if (m_state.nFileCount > m_state.nFileCapacity) {
        const int grown = m_state.nFileCapacity + growthStep;
        if (grown > std::numeric_limits<std::int16_t>::max())
            throw CatalogueFull();
        m_state.nFileCapacity = static_cast<std::int16_t>(grown);
        m_state.aFiles.resize(grown + 1);
    }
    m_appendEntry(name);
    m_state.aFiles[m_state.nFileCount] = joinPath(folder, name);
    ++m_state.nFileCount;
}

} // namespace rasterblatt
