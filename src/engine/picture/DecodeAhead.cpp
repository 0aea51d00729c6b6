// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/DecodeAhead.h"

#include <algorithm>

#include <QThread>
#include <QtGlobal>

namespace rasterblatt {

int decodeThreads()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("RASTERBLATT_DECODE_THREADS", &ok);
    return std::max(1, ok && fromEnvironment > 0 ? fromEnvironment : QThread::idealThreadCount());
}

} // namespace rasterblatt
