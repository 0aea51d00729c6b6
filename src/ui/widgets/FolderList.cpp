// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/FolderList.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

#include "engine/catalogue/Directory.h"

namespace rasterblatt {

namespace {
    constexpr int PathRole = Qt::UserRole;
}

FolderList::FolderList(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    // No expand arrows: the list is always open along the path.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { openItem(item); });
}

bool FolderList::setPath(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    const QString clean = QDir::cleanPath(path);
    if (clean == m_path)
        return true;
    const DirectoryListing listing = readDirectory(clean);
    if (!listing.readable)
        return false;
    m_path = clean;
    rebuild(listing.folders);
    Q_EMIT pathChanged();
    return true;
}

void FolderList::rebuild(const QStringList& subFolders)
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain of ancestors, each nested in the one before, down to the current folder.
    QTreeWidgetItem* parent = new QTreeWidgetItem(this, { QStringLiteral("/") });
    parent->setData(0, PathRole, QStringLiteral("/"));
    parent->setIcon(0, openIcon);
    QString walked;
    const QStringList parts = m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        walked += QLatin1Char('/') + part;
        auto* item = new QTreeWidgetItem(parent, { displayName(part) });
        item->setData(0, PathRole, walked);
        item->setIcon(0, openIcon);
        parent = item;
    }
    QTreeWidgetItem* current = parent;
    for (const QString& folder : subFolders) {
        auto* item = new QTreeWidgetItem(current, { displayName(folder) });
        item->setData(0, PathRole, joinPath(m_path, folder));
        item->setIcon(0, closedIcon);
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current, QAbstractItemView::PositionAtTop);
}

void FolderList::openItem(QTreeWidgetItem* item)
{
    if (item)
        setPath(item->data(0, PathRole).toString());
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace rasterblatt
