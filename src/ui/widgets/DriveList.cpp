// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/DriveList.h"

#include <algorithm>

#include "engine/catalogue/MountTable.h"
#include "engine/catalogue/NativePath.h"

namespace rasterblatt {

DriveList::DriveList(QWidget* parent)
    : QComboBox(parent)
{
    reload();
}

void DriveList::reload()
{
    QStringList drives = mountedDrives();
    // A drive that went away stays while it is chosen, so the list still names the folder's drive.
    const QString chosen = drive();
    if (!chosen.isEmpty() && !drives.contains(chosen)) {
        drives.append(chosen);
        std::sort(drives.begin() + 1, drives.end());
    }
    const QSignalBlocker blocker(this);
    clear();
    for (const QString& root : drives)
        addItem(displayName(root), root);
    setCurrentIndex(std::max(0, int(drives.indexOf(chosen))));
}

void DriveList::showPopup()
{
    reload();
    QComboBox::showPopup();
}

bool DriveList::setDrive(const QString& root)
{
    const int index = int(roots().indexOf(root));
    if (index < 0)
        return false;
    setCurrentIndex(index);
    return true;
}

QString DriveList::rootAt(int index) const
{
    const QVariant root = itemData(index);
    return root.isValid() ? root.toString() : itemText(index);
}

QStringList DriveList::roots() const
{
    QStringList list;
    for (int i = 0; i < count(); ++i)
        list.append(rootAt(i));
    return list;
}

QString DriveList::driveOf(const QString& path) const { return rasterblatt::driveOf(roots(), path); }

} // namespace rasterblatt
