// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace rasterblatt {

// File names on Linux are bytes, not text. Paths travel through the program as QStrings that
// map back to those bytes without loss: valid UTF-8 is decoded as usual, and every byte that
// is not part of a valid sequence (a Latin-1 "ä" from an old archive, a lone 0xFF) becomes
// the private-use code point U+F700 + byte (U+F780..U+F7FF).
//
// That range is safe: private-use code points are never assigned by Unicode, so no ordinary
// name carries them, and Qt passes them through every string operation unchanged (unlike lone
// surrogates, which its UTF-8 encoder replaces). A name that really does contain one of them
// stays lossless too: the UTF-8 bytes of such a character are escaped one by one, as if invalid.

// Decodes a native path (as readdir or the mount table give it).
QString pathFromNative(const QByteArray& native);
// The exact inverse: the bytes to hand to open, stat or opendir.
QByteArray nativePath(const QString& path);
// The name as the user reads it: escaped bytes shown as Windows-1252 (Latin-1 with the
// printable characters of 0x80..0x9F), so the byte 0xE4 shows "ä". For showing only.
QString displayName(const QString& path);

// The process's working folder, and a path made absolute against it (cleaned, bytes kept).
QString currentFolder();
QString absolutePath(const QString& path);
// Whether the path names a folder (following links).
bool isFolder(const QString& path);

} // namespace rasterblatt
