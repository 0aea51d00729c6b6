// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace rasterblatt {

// The drives in a mount table (the text of /proc/self/mounts): "/" first, then, sorted, the
// mount that holds the home folder and the storage mounted under /media, /run/media and
// /mnt (sticks, disks, network shares). Pseudo and image file systems (tmpfs, proc, sysfs,
// overlay, squashfs, ...) are never drives. Nothing is stat'ed, so a hung network share
// cannot block.
QStringList drivesFromMountTable(const QByteArray& table, const QString& homePath);
// The drives of this machine now: /proc/self/mounts read afresh ("/" alone where it cannot be read).
QStringList mountedDrives();
// The longest of the roots that contains the path, or an empty string.
QString driveOf(const QStringList& roots, const QString& path);

} // namespace rasterblatt
