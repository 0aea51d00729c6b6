// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QFile;

namespace rasterblatt {

// Where a finished PDF file goes. Nothing that is there is ever damaged: the file is written
// beside its target and only then moved into place, in one step.

// Why no PDF file can be written there, or empty: a target that exists must be a regular
// file (or a symbolic link to one), and its folder must exist.
QString targetProblem(const QString& path);
// The file that is written: where the path's symbolic links end, for a target that exists.
QString resolvedTarget(const QString& path);
// Moves the finished file, which lies in the target's folder, into place: flushed to the
// disk, with the old file's permissions (a new one's as the umask allows), then renamed over
// the target. Throws PrinterError with the cause; the target is then as it was.
void moveIntoPlace(QFile& finished, const QString& target);

} // namespace rasterblatt
