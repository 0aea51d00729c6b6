// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace rasterblatt {

// Turns SIGTERM and SIGHUP (a logout or shutdown without session management) into a Qt
// signal, so that the window can close as for the session's end and keep its settings; with
// SIGINT too, Ctrl+C cancels a run on the command line.
class TerminationWatcher : public QObject {
    Q_OBJECT

public:
    explicit TerminationWatcher(bool interrupt = false, QObject* parent = nullptr);

Q_SIGNALS:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace rasterblatt
