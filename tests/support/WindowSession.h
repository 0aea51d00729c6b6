#pragma once

#include <memory>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "FakeMessageBoxes.h"
#include "app/MainWindow.h"

namespace rasterblatt::testing {

// A main window on its own settings file and start folder, driven as a user would.
struct WindowSession {
    WindowSession(PrinterService& printers, const QString& settingsFile, const QString& startFolder)
        : window(std::make_unique<MainWindow>(printers, messages, settingsFile, startFolder))
    {
    }

    template <typename T = QWidget> T* get(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    QListWidget* list() const { return get<QListWidget>("fileList"); }
    QString info() const { return get<QLabel>("lbInfo")->text(); }
    bool enabled(const char* name) const { return get(name)->isEnabled(); }
    void click(const char* button) const { get<QPushButton>(button)->click(); }
    void tick(int index, bool ticked = true) const
    {
        list()->item(index)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    void tickFirst(int count) const
    {
        for (int i = 0; i < count; ++i)
            tick(i);
    }
    WindowState& state() const { return window->state(); }

    FakeMessageBoxes messages;
    std::unique_ptr<MainWindow> window;
};

} // namespace rasterblatt::testing
