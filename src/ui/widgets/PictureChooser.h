// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QHash>
#include <QIdentityProxyModel>
#include <QListView>

namespace rasterblatt {

class PictureCache;

// The file list's entries as pictures: the list's own names and ticks (a tick set here is
// the list's), each with its thumbnail and its rating. Thumbnails come from the views'
// cache, decoded on the decoding threads as the view asks for them; until then an entry
// has none.
class PictureModel : public QIdentityProxyModel {
    Q_OBJECT

public:
    static constexpr int RatingRole = Qt::UserRole + 1; // 0-5, or -1 while it is not read yet
    static constexpr int ThumbnailSide = 160;

    PictureModel(QAbstractItemModel* list, std::function<QString(int)> path, std::shared_ptr<PictureCache> cache,
        QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role) const override;
    QString path(int row) const { return m_path(row); }
    // The picture's rating, read now where it is not known yet.
    int rating(int row);
    // Thumbnails asked for outside these rows are no longer waited for: a decode of one not
    // yet started is dropped (and asked for again should the row come back into view).
    void keepOnly(int first, int last);
    // While the view scrolls, thumbnails decode on one thread fewer.
    void setScrolling(bool scrolling);
    // Device pixels per logical pixel of the screen the thumbnails are shown on.
    void setScale(qreal scale) { m_scale = scale; }

private:
    QSize thumbnailPixels(const QSize& natural) const;
    void load(int row, const QString& path) const;
    void pump() const;
    void arrived(int row, const QString& path, int rating);

    std::function<QString(int)> m_path;
    std::shared_ptr<PictureCache> m_cache;
    qreal m_scale = 1;
    QHash<QString, int> m_ratings;
    bool m_scrolling = false;
    // The thumbnails asked for, by path with their rows; of them those not started yet, the
    // latest last; and the decodes running.
    mutable QHash<QString, int> m_loading;
    mutable QStringList m_waiting;
    mutable int m_running = 0;
};

// "Bildauswahl": the pictures as a grid of thumbnails, each with its name, its stars and its
// tick. Click, Ctrl+click, Shift+click and Ctrl+A select; Space or a click on a tick box sets
// the ticks of the selection to the opposite of the clicked (or current) one's.
class PictureChooser : public QListView {
    Q_OBJECT

public:
    explicit PictureChooser(QWidget* parent = nullptr);

    PictureModel* pictures() const { return qobject_cast<PictureModel*>(model()); }

Q_SIGNALS:
    // The rows whose ticks are to be set, all at once.
    void tickRequested(const QList<int>& rows, bool ticked);
    void pictureOpened(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void toggle(const QModelIndex& clicked);
    void keepVisible();
};

} // namespace rasterblatt
