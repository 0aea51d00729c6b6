// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <list>
#include <mutex>
#include <optional>

#include <QHash>

#include "engine/picture/DecodedPicture.h"

namespace rasterblatt {

// The decoded pictures the views share: the sheet preview's cells and the chooser's
// thumbnails. An entry belongs to the file as it was (path, size, modification time) and has
// the size it was decoded at; a request that entry covers is served without decoding, so a
// view that changes only its layout decodes nothing again. The least recently used entries
// go once the pixels held pass the bound. Safe on any thread.
class PictureCache {
public:
    // Room for about 1,000 thumbnails of 160 px and the cells of several preview pages.
    static constexpr qint64 DefaultBound = 192LL * 1024 * 1024;
    using PixelsFor = std::function<QSize(const QSize& natural)>;

    explicit PictureCache(qint64 bound = DefaultBound)
        : m_bound(bound)
    {
    }

    // The file's picture at the pixels pixelsFor asks of its natural size, or larger: held,
    // or decoded (decodeFor) and kept at no more than those pixels. A file that fails is kept
    // failed until it changes.
    DecodedPicture picture(const QString& path, const PixelsFor& pixelsFor);
    // Only what is held; nothing is decoded.
    std::optional<DecodedPicture> held(const QString& path, const PixelsFor& pixelsFor);

    qint64 bytes() const;
    qint64 bound() const { return m_bound; }
    // Decodes run so far.
    int decodes() const;

private:
    struct Entry {
        QString path;
        qint64 size;
        qint64 modified;
        DecodedPicture picture;
        qint64 bytes;
    };
    using Entries = std::list<Entry>;
    std::optional<DecodedPicture> find(const QString& path, qint64 size, qint64 modified, const PixelsFor& pixelsFor);
    void keep(Entry entry);

    const qint64 m_bound;
    mutable std::mutex m_mutex;
    Entries m_entries; // the most recently used first
    QMultiHash<QString, Entries::iterator> m_byPath;
    qint64 m_bytes = 0;
    int m_decodes = 0;
};

} // namespace rasterblatt
