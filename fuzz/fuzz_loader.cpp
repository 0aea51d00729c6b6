// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes, as a picture file, must load or fail cleanly within the
// loader's budget. Built and run by `make fuzz`.
#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#include <QString>

#include "engine/picture/PictureLoader.h"

namespace {

// One in-memory file for all inputs; its /proc path opens as a regular file.
int inputFile()
{
    static const int fd = memfd_create("fuzz-picture", MFD_CLOEXEC);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = inputFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    rasterblatt::PictureLoader loader(QStringLiteral("/proc/self/fd/%1").arg(fd));
    if (loader.isValid()) {
        const QSize size = loader.naturalSize();
        (void)loader.decodeSize(QSize(378, 284));
        (void)loader.read(size.width() * size.height() > 4096 ? QSize(378, 284) : QSize());
    }
    return 0;
}
