#pragma once

#include <QComboBox>

namespace rasterblatt {

// The drive chooser: the roots of the mounted, ready file systems, "/" first.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent = nullptr);

    void reload();
    QString drive() const { return currentText(); }
    // Chooses the drive; returns false when it is not listed.
    bool setDrive(const QString& root);
    // The longest listed root that contains the path, or an empty string.
    QString driveOf(const QString& path) const;
};

} // namespace rasterblatt
