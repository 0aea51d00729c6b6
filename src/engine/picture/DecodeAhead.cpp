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

QThreadPool& decodePool()
{
    // Lives until the program ends; its destructor then waits for a decode still running.
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(decodeThreads());
        return true;
    }();
    Q_UNUSED(sized);
    return pool;
}

} // namespace rasterblatt
