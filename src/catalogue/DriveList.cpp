#include "DriveList.h"

#include <algorithm>

#include <QStorageInfo>

namespace rasterblatt {

DriveList::DriveList(QWidget* parent)
    : QComboBox(parent)
{
    reload();
}

void DriveList::reload()
{
    QStringList roots { QStringLiteral("/") };
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    }
    std::sort(roots.begin() + 1, roots.end());
    const QSignalBlocker blocker(this);
    clear();
    addItems(roots);
}

bool DriveList::setDrive(const QString& root)
{
    const int index = findText(root, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

QString DriveList::driveOf(const QString& path) const
{
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemText(i);
        const bool contains = root == QLatin1String("/") || path == root || path.startsWith(root + QLatin1Char('/'));
        if (contains && path.startsWith(QLatin1Char('/')) && root.size() > best.size())
            best = root;
    }
    return best;
}

} // namespace rasterblatt
