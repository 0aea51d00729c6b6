// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

namespace rasterblatt {

// The hourglass for as long as the guard lives; balanced even when an exception leaves the scope.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace rasterblatt
