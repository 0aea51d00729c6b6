// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace rasterblatt {

// When a picture was taken, to the millisecond: its capture time, else its file's modification
// time; invalid for a file that is gone.
QDateTime shotTime(const QString& path);

// The names of one folder's pictures, given in the listing's order, ordered by the time each
// was taken (timeOf of its path); names with the same time keep their order. The times are
// read on the decoding threads, the caller's thread helping; it returns when all are read.
QStringList orderByShotTime(
    const QString& folder, const QStringList& names, const std::function<QDateTime(const QString&)>& timeOf = shotTime);

} // namespace rasterblatt
