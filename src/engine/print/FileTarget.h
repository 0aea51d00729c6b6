// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "engine/common/Error.h"

class QFile;

namespace rasterblatt {

// Where a finished PDF file goes. Nothing that is there is ever damaged: the file is written
// beside its target and only then moved into place, in one step.

// Checks the file the path's links end at: a target that exists must be a regular file and
// none of pictures (symbolic links followed), and its folder must exist and take a new file.
// Why no PDF file can be written to a path, for the window and the command line alike:
// PdfNotWritable with its cause, or PdfIsPicture; no error when it can.
// pictureFile: a page's picture file, named so in the sentence.
Error checkTarget(const QString& path, const QStringList& pictures = {}, bool pictureFile = false);
// The file that is written: where the path's symbolic links end, also at a file that does not
// exist yet; a link that cannot be followed is the path itself.
QString resolvedTarget(const QString& path);
// Moves the finished file, which lies in the target's folder, into place: flushed to the
// disk, with the old file's permissions (a new one's as the umask allows), then renamed over
// the target. Throws PrinterError with the cause; the target is then as it was.
void moveIntoPlace(QFile& finished, const QString& target, bool pictureFile = false);
// Moves each finished file (by its path, in its target's folder) into place over its target, all
// or none: where one cannot be moved, the targets moved before get their old files back (or go,
// where they were new), and the PrinterError is thrown. One file is open at a time.
void moveAllIntoPlace(const QStringList& finished, const QStringList& targets, bool pictureFile);
// The file proposed for the contact sheet of a folder: the folder's name with the extension
// (".pdf"), in the folder chosen last, else in the printed folder, else (not writable) in the
// documents folder.
QString proposedTarget(const QString& folder, const QString& lastFolder, const QString& extension);
// Why a file could not be written, from its errno: a full disk is named as such.
Error writeFailure(int error);

} // namespace rasterblatt
