// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/FileTarget.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "engine/catalogue/NativePath.h"
#include "engine/print/Printer.h"

namespace rasterblatt {

namespace {

    PrinterError fileError(const QString& target, int error)
    {
        const QString reason = error == ENOSPC || error == EDQUOT || error == EFBIG
            ? QStringLiteral("Auf dem Datenträger ist kein Platz mehr.")
            : qt_error_string(error);
        return PrinterError(QStringLiteral("Die PDF-Datei „%1“ kann nicht geschrieben werden: %2")
                                .arg(displayName(QDir::toNativeSeparators(target)), reason)
                                .toStdString());
    }

    mode_t newFileMode()
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return 0666 & ~mask;
    }

} // namespace

QString targetProblem(const QString& path)
{
    struct stat info { };
    const QByteArray native = nativePath(path);
    if (::stat(native.constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return QStringLiteral("„%1“ ist keine gewöhnliche Datei.").arg(displayName(path));
        return {};
    }
    if (errno != ENOENT)
        return QStringLiteral("„%1“: %2").arg(displayName(path), qt_error_string(errno));
    const QString folder = QFileInfo(path).absolutePath();
    if (!isFolder(folder))
        return QStringLiteral("Den Ordner „%1“ gibt es nicht.").arg(displayName(folder));
    return {};
}

QString resolvedTarget(const QString& path)
{
    char resolved[PATH_MAX];
    if (::realpath(nativePath(path).constData(), resolved))
        return pathFromNative(resolved);
    return absolutePath(path);
}

void moveIntoPlace(QFile& finished, const QString& target)
{
    const int fd = finished.handle();
    struct stat old { };
    const QByteArray native = nativePath(target);
    const mode_t mode = ::stat(native.constData(), &old) == 0 ? old.st_mode & 07777 : newFileMode();
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        throw fileError(target, errno);
    if (::rename(QFile::encodeName(finished.fileName()).constData(), native.constData()) != 0)
        throw fileError(target, errno);
    // The new name reaches the disk too; where the folder cannot say, the file is in place anyway.
    const int folder = ::open(nativePath(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace rasterblatt
