// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/PictureCache.h"

#include <QDateTime>
#include <QFileInfo>

namespace rasterblatt {

namespace {

    struct Stamp {
        qint64 size = -1;
        qint64 modified = -1;
    };

    Stamp stampOf(const QString& path)
    {
        const QFileInfo file(path);
        if (!file.exists())
            return {};
        return { file.size(), file.lastModified().toMSecsSinceEpoch() };
    }

    bool covers(const DecodedPicture& picture, const QSize& wanted)
    {
        if (!picture.loaded() || wanted.isEmpty())
            return true; // a failure stays one; nothing asked, nothing decoded
        const QSize held = picture.image.size();
        return held == picture.natural || (held.width() >= wanted.width() && held.height() >= wanted.height());
    }

} // namespace

std::optional<DecodedPicture> PictureCache::find(
    const QString& path, qint64 size, qint64 modified, const PixelsFor& pixelsFor)
{
    std::optional<Entries::iterator> best;
    const QList<Entries::iterator> entries = m_byPath.values(path);
    for (const Entries::iterator& entry : entries) {
        if (entry->size != size || entry->modified != modified) {
            // The file changed: what was decoded of it is of no use any more.
            m_bytes -= entry->bytes;
            m_byPath.remove(path, entry);
            m_entries.erase(entry);
            continue;
        }
        if (covers(entry->picture, pixelsFor(entry->picture.natural)) && (!best || entry->bytes < (*best)->bytes))
            best = entry;
    }
    if (!best)
        return std::nullopt;
    m_entries.splice(m_entries.begin(), m_entries, *best);
    return (*best)->picture;
}

std::optional<DecodedPicture> PictureCache::held(const QString& path, const PixelsFor& pixelsFor)
{
    const Stamp stamp = stampOf(path);
    const std::lock_guard lock(m_mutex);
    return find(path, stamp.size, stamp.modified, pixelsFor);
}

DecodedPicture PictureCache::picture(const QString& path, const PixelsFor& pixelsFor)
{
    const Stamp stamp = stampOf(path);
    {
        const std::lock_guard lock(m_mutex);
        if (auto found = find(path, stamp.size, stamp.modified, pixelsFor))
            return *found;
        ++m_decodes;
    }
    QSize wanted;
    DecodedPicture picture = decodeFor(path, [&](const QSize& natural) { return wanted = pixelsFor(natural); });
    // What is kept is no larger than asked for: the bound then holds many more pictures.
    if (!picture.image.isNull() && !wanted.isEmpty() && picture.image.width() >= wanted.width()
        && picture.image.height() >= wanted.height() && picture.image.size() != wanted)
        picture.image = picture.image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    keep({ path, stamp.size, stamp.modified, picture, std::max<qint64>(picture.image.sizeInBytes(), 1024) });
    return picture;
}

void PictureCache::keep(Entry entry)
{
    const std::lock_guard lock(m_mutex);
    m_bytes += entry.bytes;
    m_entries.push_front(std::move(entry));
    m_byPath.insert(m_entries.front().path, m_entries.begin());
    while (m_bytes > m_bound && m_entries.size() > 1) {
        const Entries::iterator last = std::prev(m_entries.end());
        m_bytes -= last->bytes;
        m_byPath.remove(last->path, last);
        m_entries.erase(last);
    }
}

qint64 PictureCache::bytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_bytes;
}

int PictureCache::decodes() const
{
    const std::lock_guard lock(m_mutex);
    return m_decodes;
}

} // namespace rasterblatt
