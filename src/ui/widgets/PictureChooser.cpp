// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/PictureChooser.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QtMath>

#include "engine/picture/DecodeAhead.h"
#include "engine/picture/Metadata.h"
#include "engine/picture/PictureCache.h"

namespace rasterblatt {

namespace {

    QString stars(int rating) { return rating > 0 ? QString(rating, QChar(0x2605)) : QString(); }

    constexpr int Margin = 6;

    // A picture fitted into a square of side pixels, never larger than itself.
    QSize fitted(const QSize& natural, int side)
    {
        return natural.scaled(side, side, Qt::KeepAspectRatio).boundedTo(natural).expandedTo(QSize(1, 1));
    }

    // A thumbnail over its name, the stars on the picture, the tick box at its corner.
    class PictureDelegate : public QStyledItemDelegate {
    public:
        using QStyledItemDelegate::QStyledItemDelegate;

        static QRect tickBox(const QRect& cell) { return QRect(cell.left() + 2, cell.top() + 2, 20, 20); }

        QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
        {
            return { PictureModel::ThumbnailSide + 2 * Margin,
                PictureModel::ThumbnailSide + 2 * Margin + option.fontMetrics.height() + 4 };
        }

        void paint(QPainter* painter, const QStyleOptionViewItem& given, const QModelIndex& index) const override
        {
            QStyleOptionViewItem option = given;
            initStyleOption(&option, index);
            QStyle* style = option.widget ? option.widget->style() : QApplication::style();
            painter->save();
            if (option.state & QStyle::State_Selected)
                painter->fillRect(option.rect, option.palette.highlight());
            const int side = PictureModel::ThumbnailSide;
            const QRect area(option.rect.left() + Margin, option.rect.top() + Margin, side, side);
            const QImage thumbnail = index.data(Qt::DecorationRole).value<QImage>();
            if (!thumbnail.isNull()) {
                QSize size = thumbnail.size();
                size.scale(area.size().boundedTo(thumbnail.deviceIndependentSize().toSize().expandedTo(QSize(1, 1))),
                    Qt::KeepAspectRatio);
                QRect target(QPoint(), size);
                target.moveCenter(area.center());
                painter->setRenderHint(QPainter::SmoothPixmapTransform);
                painter->drawImage(target, thumbnail);
                const QString rated = stars(index.data(PictureModel::RatingRole).toInt());
                if (!rated.isEmpty()) {
                    const QRect band(target.left(), target.bottom() - option.fontMetrics.height() - 2, target.width(),
                        option.fontMetrics.height() + 2);
                    painter->fillRect(band, QColor(0, 0, 0, 140));
                    painter->setPen(QColor(255, 204, 0));
                    painter->drawText(band, Qt::AlignCenter, rated);
                }
            } else {
                painter->fillRect(area.adjusted(20, 20, -20, -20), option.palette.midlight());
            }
            const QRect nameRect(
                option.rect.left() + 2, area.bottom() + 3, option.rect.width() - 4, option.fontMetrics.height());
            painter->setPen(option.palette.color(
                option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
            painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignTop,
                option.fontMetrics.elidedText(option.text, Qt::ElideMiddle, nameRect.width()));
            QStyleOptionViewItem tick = option;
            tick.rect = tickBox(option.rect);
            tick.state = (tick.state & ~QStyle::State_HasFocus)
                | (option.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
            painter->fillRect(tick.rect, option.palette.base());
            style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &tick, painter, option.widget);
            if (option.state & QStyle::State_HasFocus) {
                QStyleOptionFocusRect focus;
                focus.QStyleOption::operator=(option);
                style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
            }
            painter->restore();
        }

        // The view sets the ticks, for the whole selection.
        bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&, const QModelIndex&) override
        {
            return false;
        }
    };

} // namespace

PictureModel::PictureModel(
    QAbstractItemModel* list, std::function<QString(int)> path, std::shared_ptr<PictureCache> cache, QObject* parent)
    : QIdentityProxyModel(parent)
    , m_path(std::move(path))
    , m_cache(std::move(cache))
{
    setSourceModel(list);
    // A rebuilt list may hold other files under the same rows.
    connect(list, &QAbstractItemModel::modelReset, this, [this] {
        m_loading.clear();
        m_waiting.clear();
    });
}

QSize PictureModel::thumbnailPixels(const QSize& natural) const
{
    return fitted(natural, qCeil(ThumbnailSide * m_scale));
}

QVariant PictureModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DecorationRole: {
        const QString file = m_path(index.row());
        const auto held = m_cache->held(file, [this](const QSize& natural) { return thumbnailPixels(natural); });
        // The preview's cells may have brought the picture; the rating comes with a load.
        if (!held || !m_ratings.contains(file))
            load(index.row(), file);
        if (!held)
            return {};
        QImage image = held->image;
        image.setDevicePixelRatio(m_scale);
        return image;
    }
    case RatingRole:
        return m_ratings.value(m_path(index.row()), -1);
    case Qt::ToolTipRole: {
        const int rated = m_ratings.value(m_path(index.row()), -1);
        const QString name = QIdentityProxyModel::data(index, Qt::DisplayRole).toString();
        if (rated < 0)
            return name;
        return rated > 0 ? QStringLiteral("%1\n%2 (%3 von 5)").arg(name, stars(rated)).arg(rated)
                         : QStringLiteral("%1\nohne Bewertung").arg(name);
    }
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

void PictureModel::load(int row, const QString& path) const
{
    if (m_loading.contains(path))
        return;
    m_loading.insert(path, row);
    m_waiting << path;
    pump();
}

void PictureModel::pump() const
{
    // While the view scrolls, one core stays with the window.
    const int threads = m_scrolling ? std::max(1, decodeThreads() - 1) : decodeThreads();
    while (m_running < threads && !m_waiting.isEmpty()) {
        const QString path = m_waiting.takeLast(); // the latest asked for first
        const int row = m_loading.value(path);
        ++m_running;
        QPointer<const PictureModel> self(this);
        decodePool().start([self, row, path, cache = m_cache, side = qCeil(ThumbnailSide * m_scale)] {
            cache->picture(path, [side](const QSize& natural) { return fitted(natural, side); });
            const int rating = readRating(path);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, row, path, rating] {
                    if (self)
                        const_cast<PictureModel*>(self.data())->arrived(row, path, rating);
                },
                Qt::QueuedConnection);
        });
    }
}

void PictureModel::setScrolling(bool scrolling)
{
    m_scrolling = scrolling;
    pump();
}

void PictureModel::keepOnly(int first, int last)
{
    m_waiting.removeIf([&](const QString& path) {
        const int row = m_loading.value(path);
        if (row >= first && row <= last)
            return false;
        m_loading.remove(path);
        return true;
    });
}

void PictureModel::arrived(int row, const QString& path, int rating)
{
    --m_running;
    m_loading.remove(path);
    m_ratings.insert(path, rating);
    if (row < rowCount() && m_path(row) == path) {
        const QModelIndex changed = index(row, 0);
        Q_EMIT dataChanged(changed, changed, { Qt::DecorationRole, RatingRole, Qt::ToolTipRole });
    }
    pump();
}

int PictureModel::rating(int row)
{
    const QString file = m_path(row);
    const auto known = m_ratings.constFind(file);
    if (known != m_ratings.constEnd())
        return *known;
    const int rating = readRating(file);
    m_ratings.insert(file, rating);
    return rating;
}

PictureChooser::PictureChooser(QWidget* parent)
    : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setWrapping(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSpacing(4);
    setItemDelegate(new PictureDelegate(this));
    // After a scroll, only what is in view is still decoded.
    auto* settled = new QTimer(this);
    settled->setSingleShot(true);
    settled->setInterval(0);
    connect(settled, &QTimer::timeout, this, &PictureChooser::keepVisible);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, settled, qOverload<>(&QTimer::start));
    auto* calm = new QTimer(this);
    calm->setSingleShot(true);
    calm->setInterval(300);
    connect(calm, &QTimer::timeout, this, [this] {
        if (PictureModel* model = pictures())
            model->setScrolling(false);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this, calm] {
        if (PictureModel* model = pictures())
            model->setScrolling(true);
        calm->start();
    });
    connect(this, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!PictureDelegate::tickBox(visualRect(index)).contains(mapFromGlobal(QCursor::pos())))
            Q_EMIT pictureOpened(index.row());
    });
}

void PictureChooser::toggle(const QModelIndex& clicked)
{
    if (!clicked.isValid())
        return;
    const bool ticked = clicked.data(Qt::CheckStateRole).toInt() != Qt::Checked;
    QList<int> rows;
    if (selectionModel()->isSelected(clicked)) {
        for (const QModelIndex& index : selectionModel()->selectedIndexes())
            rows << index.row();
    } else {
        rows << clicked.row();
    }
    std::sort(rows.begin(), rows.end());
    Q_EMIT tickRequested(rows, ticked);
}

void PictureChooser::keepVisible()
{
    PictureModel* model = pictures();
    if (!model)
        return;
    int first = -1, last = -1;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (visualRect(model->index(row, 0)).intersects(viewport()->rect())) {
            first = first < 0 ? row : first;
            last = row;
        }
    }
    model->keepOnly(first, last);
}

void PictureChooser::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        toggle(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

void PictureChooser::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()
        && PictureDelegate::tickBox(visualRect(index)).contains(event->position().toPoint())) {
        toggle(index);
        return;
    }
    QListView::mousePressEvent(event);
}

} // namespace rasterblatt
