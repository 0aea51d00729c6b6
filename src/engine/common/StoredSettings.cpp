// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/common/StoredSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace rasterblatt {

namespace {
    const QString Group = QStringLiteral("Settings");

    // Only a regular file (or a link to one) is opened: a FIFO would wait for a writer for
    // ever, a device could read without end.
    bool usable(const QString& file)
    {
        const QFileInfo info(file);
        if (!info.exists() || info.isFile())
            return true;
        qWarning("Rasterblatt: the settings file %s is no regular file and is not used", qPrintable(file));
        return false;
    }

    // "1" is true, "0" false; anything else keeps the default.
    bool flag(const QSettings& settings, const QString& key, bool otherwise)
    {
        const QString text = settings.value(key).toString();
        return text == QLatin1String("1") ? true : text == QLatin1String("0") ? false : otherwise;
    }
} // namespace

StoredSettings readSettings(const QString& file, const StoredSettings& defaults)
{
    if (!usable(file))
        return defaults;
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
    // A paper's name is letters, digits and a few signs; anything else is no paper of ours.
    static const QRegularExpression paperName(QStringLiteral("^[\\w .,()+-]{1,64}$"));
    const QString paper = settings.value(QStringLiteral("Paper")).toString();
    stored.paper = paperName.match(paper).hasMatch() ? paper : defaults.paper;
    const QString orientation = settings.value(QStringLiteral("Orientation")).toString();
    stored.landscape = orientation == QLatin1String("Landscape") ? true
        : orientation == QLatin1String("Portrait")               ? false
                                                                 : defaults.landscape;
    stored.header = flag(settings, QStringLiteral("Header"), defaults.header);
    stored.pageNumbers = flag(settings, QStringLiteral("PageNumbers"), defaults.pageNumbers);
    stored.frame = flag(settings, QStringLiteral("Frame"), defaults.frame);
    stored.allFormats = flag(settings, QStringLiteral("AllFormats"), defaults.allFormats);
    stored.timeOrder = flag(settings, QStringLiteral("TimeOrder"), defaults.timeOrder);
    stored.captionTime = flag(settings, QStringLiteral("CaptionTime"), defaults.captionTime);
    stored.captionExposure = flag(settings, QStringLiteral("CaptionExposure"), defaults.captionExposure);
    return stored;
}

bool writeSettings(const QString& file, const StoredSettings& stored)
{
    if (!usable(file))
        return false;
    // Whatever else the file held goes; one too large is not even read to be rewritten.
    if (QFileInfo(file).size() > SettingsMaxBytes)
        QFile::remove(file);
    QSettings settings(file, QSettings::IniFormat);
    settings.clear();
    settings.beginGroup(Group);
    settings.setValue(QStringLiteral("LastFolder"), stored.lastFolder);
    settings.setValue(QStringLiteral("Rows"), stored.rows);
    settings.setValue(QStringLiteral("Cols"), stored.cols);
    settings.setValue(QStringLiteral("Paper"), stored.paper);
    settings.setValue(
        QStringLiteral("Orientation"), stored.landscape ? QStringLiteral("Landscape") : QStringLiteral("Portrait"));
    settings.setValue(QStringLiteral("Header"), stored.header ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(QStringLiteral("PageNumbers"), stored.pageNumbers ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(QStringLiteral("Frame"), stored.frame ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(QStringLiteral("AllFormats"), stored.allFormats ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(QStringLiteral("TimeOrder"), stored.timeOrder ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(QStringLiteral("CaptionTime"), stored.captionTime ? QStringLiteral("1") : QStringLiteral("0"));
    settings.setValue(
        QStringLiteral("CaptionExposure"), stored.captionExposure ? QStringLiteral("1") : QStringLiteral("0"));
    settings.endGroup();
    settings.sync();
    // A file that could not be parsed when it was read is rewritten whole: only a failed write counts.
    return settings.status() != QSettings::AccessError;
}

} // namespace rasterblatt
