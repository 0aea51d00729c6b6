// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/FileBytes.h"

#include <cerrno>

#include <unistd.h>

namespace rasterblatt {

bool readInto(int fd, QByteArray& data, qint64 length)
{
    const qsizetype start = data.size();
    data.resize(start + static_cast<qsizetype>(length));
    qsizetype done = start;
    while (done < data.size()) {
        const ssize_t got = ::pread(fd, data.data() + done, static_cast<size_t>(data.size() - done), done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            data.truncate(done);
            return false;
        }
        if (got == 0)
            break;
        done += got;
    }
    // What the file holds when we look; a file that grows meanwhile is cut there.
    data.truncate(done);
    return true;
}

} // namespace rasterblatt
