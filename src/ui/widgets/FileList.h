// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

namespace rasterblatt {

// The check-box list of image files. It counts its ticked entries as they change, so that
// the count costs nothing however long the list is.
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Appends an unticked entry that shows the name readably (see displayName).
    void addEntry(const QString& name);
    void removeAll();

    bool isTicked(int index) const;
    void setTicked(int index, bool ticked);
    int tickedCount() const { return m_ticked; }

    // The path last sent to the preview pane, kept exactly; the tooltip shows it readably.
    QString previewPath() const { return m_previewPath; }
    void setPreviewPath(const QString& path);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    friend class FileListItem;
    int m_ticked = 0;
    QString m_previewPath;
};

} // namespace rasterblatt
