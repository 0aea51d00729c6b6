#pragma once

#include <QList>

#include "app/MessageBoxes.h"

namespace rasterblatt {

// Answers every message box at once with a preset button and remembers what was asked.
class FakeMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    QMessageBox::StandardButton show(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons) override
    {
        shown.append({ icon, title, text, buttons });
        return answer;
    }

    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QList<Shown> shown;
};

} // namespace rasterblatt
