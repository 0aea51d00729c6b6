// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>

namespace rasterblatt {

// The modal message box, behind a seam so that tests can answer it without a modal loop.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, QMessageBox::StandardButtons buttons)
        = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons) override
    {
        QMessageBox box(icon, title, text, buttons, parent);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    }
};

} // namespace rasterblatt
