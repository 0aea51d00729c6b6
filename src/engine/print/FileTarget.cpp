// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/FileTarget.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/print/Printer.h"

namespace rasterblatt {

namespace {

    PrinterError fileError(const QString& target, int error, bool pictureFile)
    {
        return PrinterError(Error(pictureFile ? Error::Kind::PictureFileNotWritable : Error::Kind::PdfNotWritable,
            { displayName(QDir::toNativeSeparators(target)) }, writeFailure(error)));
    }

    mode_t newFileMode()
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return 0666 & ~mask;
    }

} // namespace

QString proposedTarget(const QString& folder, const QString& lastFolder, const QString& extension)
{
    const QFileInfo printed(folder);
    const QString folderName = displayName(fileNameOf(folder));
    const QString name = folderName.isEmpty() ? QStringLiteral("Kontaktabzug") : folderName;
    QString place = lastFolder;
    if (place.isEmpty())
        place = printed.isDir() && printed.isWritable()
            ? printed.absoluteFilePath()
            : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(place).filePath(name + extension);
}

Error writeFailure(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG
        ? Error(Error::Kind::DiskFull)
        : Error(Error::Kind::SystemText, { qt_error_string(error) });
}

Error checkTarget(const QString& path, const QStringList& pictures, bool pictureFile)
{
    using Kind = Error::Kind;
    const QString shown = displayName(QDir::toNativeSeparators(path));
    const auto cannot = [&shown, pictureFile](Kind kind, QStringList args = {}) {
        return Error(
            pictureFile ? Kind::PictureFileNotWritable : Kind::PdfNotWritable, { shown }, Error(kind, std::move(args)));
    };
    if (nativePath(path) != QFile::encodeName(path))
        return cannot(Kind::NameNotUtf8);
    const QString target = resolvedTarget(path);
    struct stat info { };
    if (::stat(nativePath(target).constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return cannot(Kind::NotAFile);
        if (std::any_of(pictures.begin(), pictures.end(),
                [&](const QString& picture) { return resolvedTarget(picture) == target; }))
            return Error(pictureFile ? Kind::PictureFileIsPicture : Kind::PdfIsPicture, { shown });
    } else if (errno != ENOENT) {
        return cannot(Kind::SystemText, { qt_error_string(errno) });
    }
    const QString folder = QFileInfo(target).absolutePath();
    if (!isFolder(folder))
        return cannot(Kind::NoFolder, { displayName(folder) });
    // The sheet is written as a new file beside its target, then renamed over it.
    if (::faccessat(AT_FDCWD, nativePath(folder).constData(), W_OK | X_OK, AT_EACCESS) != 0) {
        const QString why = qt_error_string(errno);
        return cannot(Kind::FolderNotWritable, { displayName(folder), why });
    }
    return {};
}

QString resolvedTarget(const QString& path)
{
    QByteArray native = nativePath(absolutePath(path));
    // At most as many links as the system follows itself.
    for (int hop = 0; hop < 40; ++hop) {
        char resolved[PATH_MAX];
        if (::realpath(native.constData(), resolved))
            return pathFromNative(resolved);
        // A link to a file not there yet: the file is written where it points.
        char link[PATH_MAX];
        const ssize_t length = ::readlink(native.constData(), link, sizeof link);
        if (length <= 0 || length == ssize_t(sizeof link))
            break;
        const QByteArray next(link, length);
        native = next.startsWith('/') ? next : native.left(native.lastIndexOf('/') + 1) + next;
    }
    return pathFromNative(native);
}

void moveIntoPlace(QFile& finished, const QString& target, bool pictureFile)
{
    const int fd = finished.handle();
    struct stat old { };
    const QByteArray native = nativePath(target);
    const mode_t mode = ::stat(native.constData(), &old) == 0 ? old.st_mode & 07777 : newFileMode();
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        throw fileError(target, errno, pictureFile);
    if (::rename(QFile::encodeName(finished.fileName()).constData(), native.constData()) != 0)
        throw fileError(target, errno, pictureFile);
    // The new name reaches the disk too; where the folder cannot say, the file is in place anyway.
    const int folder = ::open(nativePath(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void moveAllIntoPlace(const QStringList& finished, const QStringList& targets, bool pictureFile)
{
    // The old files stay reachable under a second name until all new ones are in place. Where the
    // file system has no such names, an old file cannot come back (the new ones still go).
    std::vector<QByteArray> kept(size_t(finished.size()));
    std::vector<bool> existed(size_t(finished.size()));
    const auto dropKept = [&] {
        for (const QByteArray& old : kept) {
            if (!old.isEmpty())
                ::unlink(old.constData());
        }
    };
    for (size_t i = 0; i < size_t(finished.size()); ++i) {
        const QByteArray target = nativePath(targets[qsizetype(i)]);
        existed[i] = ::access(target.constData(), F_OK) == 0;
        for (int attempt = 0; attempt < 100 && ::access(target.constData(), F_OK) == 0; ++attempt) {
            const QByteArray old = nativePath(QFileInfo(targets[qsizetype(i)]).absolutePath()) + "/.rasterblatt-"
                + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".alt";
            if (::link(target.constData(), old.constData()) == 0) {
                kept[i] = old;
                break;
            }
            if (errno != EEXIST)
                break;
        }
    }
    for (size_t i = 0; i < size_t(finished.size()); ++i) {
        try {
            QFile file(finished[qsizetype(i)]);
            if (!file.open(QIODevice::ReadOnly))
                throw fileError(targets[qsizetype(i)], errno, pictureFile);
            moveIntoPlace(file, targets[qsizetype(i)], pictureFile);
        } catch (const PrinterError&) {
            for (size_t j = 0; j < i; ++j) {
                const QByteArray target = nativePath(targets[qsizetype(j)]);
                if (!kept[j].isEmpty() && ::rename(kept[j].constData(), target.constData()) == 0)
                    kept[j].clear();
                else if (!existed[j])
                    ::unlink(target.constData());
            }
            dropKept();
            throw;
        }
    }
    dropKept();
}

} // namespace rasterblatt
