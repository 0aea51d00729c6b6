// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/common/TerminationWatcher.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace rasterblatt {

namespace {

    // A signal handler may only write to a file descriptor; the event loop reads the other end.
    int signalPipe[2] = { -1, -1 };

    void onSignal(int)
    {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    }

} // namespace

TerminationWatcher::TerminationWatcher(bool interrupt, QObject* parent)
    : QObject(parent)
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) { }
        Q_EMIT terminationRequested();
    });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    if (interrupt)
        sigaction(SIGINT, &action, nullptr);
}

} // namespace rasterblatt
