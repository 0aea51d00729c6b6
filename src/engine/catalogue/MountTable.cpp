// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/catalogue/MountTable.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QMap>

#include "engine/catalogue/NativePath.h"

namespace rasterblatt {

namespace {

    // A mount point as the table writes it: space, tab, newline and backslash as "\ooo".
    QByteArray unescapeMountPoint(const QByteArray& field)
    {
        QByteArray bytes;
        bytes.reserve(field.size());
        for (qsizetype i = 0; i < field.size(); ++i) {
            const auto isOctal = [&](qsizetype j) { return j < field.size() && field[j] >= '0' && field[j] <= '7'; };
            if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
                bytes += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
                i += 3;
            } else {
                bytes += field[i];
            }
        }
        return bytes;
    }

    bool isAtOrBelow(const QString& path, const QString& root)
    {
        return root == QLatin1String("/") || path == root || path.startsWith(root + QLatin1Char('/'));
    }

} // namespace

QStringList drivesFromMountTable(const QByteArray& table, const QString& homePath)
{
    const QByteArrayList pseudo { "tmpfs", "ramfs", "devtmpfs", "proc", "sysfs", "overlay", "squashfs" };
    // A later mount on the same point hides the earlier one.
    QMap<QString, QByteArray> types;
    for (const QByteArray& line : table.split('\n')) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() >= 3)
            types.insert(pathFromNative(unescapeMountPoint(fields[1])), fields[2]);
    }

    QString home = QStringLiteral("/");
    for (auto it = types.cbegin(); it != types.cend(); ++it) {
        if (isAtOrBelow(homePath, it.key()) && it.key().size() > home.size())
            home = it.key();
    }
    QStringList drives;
    for (auto it = types.cbegin(); it != types.cend(); ++it) {
        const QString& root = it.key();
        const bool storage = root == home || isAtOrBelow(root, QStringLiteral("/media"))
            || isAtOrBelow(root, QStringLiteral("/run/media")) || isAtOrBelow(root, QStringLiteral("/mnt"));
        if (storage && root != QLatin1String("/") && !pseudo.contains(it.value()))
            drives.append(root);
    }
    std::sort(drives.begin(), drives.end());
    drives.prepend(QStringLiteral("/"));
    return drives;
}

QString driveOf(const QStringList& roots, const QString& path)
{
    QString best;
    for (const QString& root : roots) {
        if (path.startsWith(QLatin1Char('/')) && isAtOrBelow(path, root) && root.size() > best.size())
            best = root;
    }
    return best;
}

QStringList mountedDrives()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return { QStringLiteral("/") };
    const QByteArray home = qgetenv("HOME");
    return drivesFromMountTable(mounts.readAll(), home.isEmpty() ? QDir::homePath() : pathFromNative(home));
}

} // namespace rasterblatt
