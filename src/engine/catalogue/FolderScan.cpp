// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/FolderScan.h"

#include <sys/stat.h>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/catalogue/TimeOrder.h"

namespace rasterblatt {

namespace {

    const QStringList patterns { QStringLiteral("*.jpg"), QStringLiteral("*.bmp"), QStringLiteral("*.gif") };
    // On request, after those, each a group of its own.
    const QStringList furtherPatterns { QStringLiteral("*.jpeg"), QStringLiteral("*.png"), QStringLiteral("*.tif"),
        QStringLiteral("*.tiff"), QStringLiteral("*.webp"), QStringLiteral("*.heic"), QStringLiteral("*.heif") };

    // A camera in RAW+JPEG mode means its JPEG to stand for the raw file of the same name.
    QStringList withoutPairedRaws(const QStringList& files)
    {
        QSet<QString> jpegs;
        for (const QString& name : files) {
            if (matchesWildcard(name, QStringLiteral("*.jpg")) || matchesWildcard(name, QStringLiteral("*.jpeg")))
                jpegs.insert(name.section(QLatin1Char('.'), 0, -2).toCaseFolded());
        }
        QStringList unpaired;
        for (const QString& name : files) {
            if (!jpegs.contains(name.section(QLatin1Char('.'), 0, -2).toCaseFolded()))
                unpaired << name;
        }
        return unpaired;
    }

} // namespace

QStringList imagePatterns(bool allFormats) { return allFormats ? patterns + furtherPatterns : patterns; }

const QStringList& rawPatterns()
{
    static const QStringList patterns { QStringLiteral("*.dng"), QStringLiteral("*.cr2"), QStringLiteral("*.cr3"),
        QStringLiteral("*.crw"), QStringLiteral("*.nef"), QStringLiteral("*.nrw"), QStringLiteral("*.arw"),
        QStringLiteral("*.srf"), QStringLiteral("*.sr2"), QStringLiteral("*.raf"), QStringLiteral("*.orf"),
        QStringLiteral("*.rw2"), QStringLiteral("*.rwl"), QStringLiteral("*.pef"), QStringLiteral("*.srw"),
        QStringLiteral("*.3fr"), QStringLiteral("*.iiq"), QStringLiteral("*.erf"), QStringLiteral("*.mrw"),
        QStringLiteral("*.x3f") };
    return patterns;
}

FolderScan::FolderScan(Catalogue& catalogue, AppendEntry appendEntry)
    : m_catalogue(catalogue)
    , m_appendEntry(std::move(appendEntry))
{
}

void FolderScan::reset()
{
    m_catalogue.reset();
    m_beyondLimit = 0;
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
    if (m_catalogue.bSubDirs) {
        for (const QString& folder : listing.folders)
            ScanFolder(joinPath(folderPath, folder));
    }
    // The groups: one per pattern, then, with the further formats, the raw files without their JPEG.
    const QStringList unpaired = m_catalogue.allFormats ? withoutPairedRaws(listing.files) : QStringList();
    const QStringList raws = m_catalogue.allFormats ? rawPatterns() : QStringList();
    if (!m_catalogue.timeOrder) {
        for (const QString& pattern : imagePatterns(m_catalogue.allFormats))
            AddImageFiles(folderPath, pattern, listing.files);
        for (const QString& pattern : raws)
            AddImageFiles(folderPath, pattern, unpaired);
        return;
    }
    // All groups together, in the order they were taken; beyond the limit they are only counted.
    QStringList names;
    const auto collect = [&names](const QStringList& patterns, const QStringList& files) {
        for (const QString& pattern : patterns) {
            for (const QString& name : files) {
                if (matchesWildcard(name, pattern))
                    names << name;
            }
        }
    };
    collect(imagePatterns(m_catalogue.allFormats), listing.files);
    collect(raws, unpaired);
    if (m_beyondLimit > 0) {
        m_beyondLimit += int(names.size());
        return;
    }
    for (const QString& name : orderByShotTime(folderPath, names))
        appendFile(folderPath, name);
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
    if (m_beyondLimit > 0) {
        ++m_beyondLimit;
        return;
    }
    try {
        m_catalogue.append(joinPath(folder, name));
    } catch (const CatalogueFull&) {
        if (!m_countBeyondLimit)
            throw;
        m_beyondLimit = 1;
        return;
    }
    if (m_appendEntry)
        m_appendEntry(name);
}

} // namespace rasterblatt
