// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeWidget>

namespace rasterblatt {

// The folder list: the current folder's ancestors and its sub-folders (hidden ones left
// out). A double-click or Enter on an entry opens it. pathChanged is emitted exactly when
// the path really changes, whether the user or the program changed it.
class FolderList : public QTreeWidget {
    Q_OBJECT

public:
    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Opens the folder; returns false (and changes nothing) when it cannot be listed.
    bool setPath(const QString& path);

Q_SIGNALS:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild(const QStringList& subFolders);
    void openItem(QTreeWidgetItem* item);

    QString m_path;
};

} // namespace rasterblatt
