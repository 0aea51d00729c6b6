// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

namespace rasterblatt::testing {

// Creates a file (and its folders) below root; the content does not matter to the catalogue.
inline QString touch(const QString& root, const QString& relativePath, const QByteArray& content = {})
{
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

} // namespace rasterblatt::testing
