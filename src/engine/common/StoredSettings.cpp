// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/common/StoredSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace rasterblatt {

namespace {
    const QString Group = QStringLiteral("Settings");
}

StoredSettings readSettings(const QString& file, const StoredSettings& defaults)
{
    if (QFileInfo(file).size() > SettingsMaxBytes) {
        qWarning("Rasterblatt: the settings file %s is larger than 1 MB and is not read", qPrintable(file));
        return defaults;
    }
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(Group);
    StoredSettings stored;
    stored.lastFolder = settings.value(QStringLiteral("LastFolder"), defaults.lastFolder).toString();
    stored.rows = settings.value(QStringLiteral("Rows"), defaults.rows).toString();
    stored.cols = settings.value(QStringLiteral("Cols"), defaults.cols).toString();
    return stored;
}

bool writeSettings(const QString& file, const StoredSettings& stored)
{
    // Whatever else the file held goes; one too large is not even read to be rewritten.
    if (QFileInfo(file).size() > SettingsMaxBytes)
        QFile::remove(file);
    QSettings settings(file, QSettings::IniFormat);
    settings.clear();
    settings.beginGroup(Group);
    settings.setValue(QStringLiteral("LastFolder"), stored.lastFolder);
    settings.setValue(QStringLiteral("Rows"), stored.rows);
    settings.setValue(QStringLiteral("Cols"), stored.cols);
    settings.endGroup();
    settings.sync();
    // A file that could not be parsed when it was read is rewritten whole: only a failed write counts.
    return settings.status() != QSettings::AccessError;
}

} // namespace rasterblatt
