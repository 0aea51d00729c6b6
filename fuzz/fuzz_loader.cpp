// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes, as a picture file, must load or fail cleanly within the
// loader's budget. Built and run by `make fuzz`.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>

#include "engine/picture/PictureLoader.h"

namespace {

// One in-memory file for all inputs; its /proc path opens as a regular file.
int inputFile()
{
    static const int fd = memfd_create("fuzz-picture", MFD_CLOEXEC);
    return fd;
}

// A name with a raw file's extension for the same file: a link to it, removed at the end.
QString rawName(const QString& file)
{
    // Never destroyed: the handler at exit still needs it after the statics are gone.
    static const QString* const link = [&] {
        auto* path = new QString(QStringLiteral("%1/fuzz-picture-%2.nef").arg(QDir::tempPath()).arg(getpid()));
        QFile::remove(*path);
        QFile::link(file, *path);
        std::atexit([] { QFile::remove(*link); });
        return path;
    }();
    return *link;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = inputFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    // A TIFF structure is tried as a camera's raw file too, which its name alone makes it.
    const QString file = QStringLiteral("/proc/self/fd/%1").arg(fd);
    for (const QString& path : { file, rawName(file) }) {
        rasterblatt::PictureLoader loader(path);
        if (loader.isValid()) {
            const QSize size = loader.naturalSize();
            (void)loader.decodeSize(QSize(378, 284));
            (void)loader.read(qint64(size.width()) * size.height() > 4096 ? QSize(378, 284) : QSize());
        }
        if (size < 4 || (std::memcmp(data, "II*", 3) != 0 && std::memcmp(data, "MM\0*", 4) != 0))
            break;
    }
    return 0;
}
