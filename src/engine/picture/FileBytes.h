// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace rasterblatt {

// Appends up to length bytes of the open file, read from the offset where data ends (data holds
// the file's beginning); false with errno on failure. At the file's end it stops short.
bool readInto(int fd, QByteArray& data, qint64 length);

} // namespace rasterblatt
