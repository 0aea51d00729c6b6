// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <QStringList>

namespace rasterblatt {

// The drive chooser. It reads the mount table again whenever it is opened, so a stick
// plugged in after start appears.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent = nullptr);

    void reload();
    QString drive() const { return rootAt(currentIndex()); }
    // Chooses the drive; returns false when it is not listed.
    bool setDrive(const QString& root);
    // The longest listed root that contains the path, or an empty string.
    QString driveOf(const QString& path) const;

    void showPopup() override;

private:
    // An entry shows its root readably and keeps the root itself as its data.
    QString rootAt(int index) const;
    QStringList roots() const;
};

} // namespace rasterblatt
