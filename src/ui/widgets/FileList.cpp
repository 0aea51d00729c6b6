// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/FileList.h"

#include <QItemSelectionModel>

#include "engine/catalogue/NativePath.h"

namespace rasterblatt {

// Keeps the list's tick count current whoever changes the tick: the user through the
// view, or the program.
class FileListItem : public QListWidgetItem {
public:
    explicit FileListItem(const QString& text)
        : QListWidgetItem(text)
    {
        setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        setCheckState(Qt::Unchecked);
    }

    void setData(int role, const QVariant& value) override
    {
        // Counted before the change is announced, so that the reactions see the new count.
        auto* owner = static_cast<FileList*>(listWidget());
        if (role == Qt::CheckStateRole && owner) {
            const bool wasTicked = checkState() == Qt::Checked;
            const bool isTicked = value.toInt() == Qt::Checked;
            if (wasTicked != isTicked)
                owner->m_ticked += isTicked ? 1 : -1;
        }
        QListWidgetItem::setData(role, value);
    }
};

FileList::FileList(QWidget* parent)
    : QListWidget(parent)
{
    setUniformItemSizes(true);
}

void FileList::addEntry(const QString& name) { addItem(new FileListItem(displayName(name))); }

void FileList::removeAll()
{
    clear();
    m_ticked = 0;
}

void FileList::focusInEvent(QFocusEvent* event)
{
    // Tabbing into the list must not choose an entry (and load its picture) by itself.
    if (currentRow() >= 0) {
        QListWidget::focusInEvent(event);
        return;
    }
    {
        const QSignalBlocker blocker(this);
        QListWidget::focusInEvent(event);
    }
    if (currentRow() >= 0) {
        const QSignalBlocker blocker(this);
        selectionModel()->clearCurrentIndex();
    }
}

void FileList::setPreviewPath(const QString& path)
{
    m_previewPath = path;
    setToolTip(displayName(path));
}

bool FileList::isTicked(int index) const
{
    const QListWidgetItem* entry = item(index);
    return entry && entry->checkState() == Qt::Checked;
}

void FileList::setTicked(int index, bool ticked)
{
    if (QListWidgetItem* entry = item(index))
        entry->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

} // namespace rasterblatt
