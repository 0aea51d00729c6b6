// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

namespace rasterblatt::testing {
// Answers every message box at once with a preset button and remembers what was asked.
struct FakeMessageBoxes final : MessageBoxes {
    struct Shown {
        QMessageBox::Icon icon;
        QString title, text;
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
// A main window on its own settings file and start folder, driven as a user would.
struct WindowSession {
    WindowSession(PrinterService& printers, const QString& settingsFile, const QString& startFolder)
        : window(std::make_unique<MainWindow>(printers, messages, settingsFile, startFolder))
    {
        window->show();
    }
    template <typename T = QWidget> T* get(const char* name) const { return window->findChild<T*>(name); }
    QListWidget* list() const { return get<QListWidget>("fileList"); }
    QString info() const { return get<QLabel>("lbInfo")->text(); }
    bool enabled(const char* name) const { return get(name)->isEnabled(); }
    void click(const char* button) const { get<QPushButton>(button)->click(); }
    void tick(int i, bool ticked = true) const { list()->item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked); }
    void tickFirst(int count) const
    {
        for (int i = 0; i < count; ++i)
            tick(i);
    }
    WindowState& state() const { return window->state(); }
    FakeMessageBoxes messages;
    std::unique_ptr<MainWindow> window;
};
// A temporary folder with the start folder "Fotos" and the settings file, and the window on them.
template <typename Service> struct WindowFixture {
    QTemporaryDir dir;
    QString photos = dir.filePath("Fotos"), settings = dir.filePath("config/Rasterblatt.ini");
    std::unique_ptr<Service> printers;
    std::unique_ptr<WindowSession> session;
    WindowFixture() { QDir().mkpath(photos); }
    // Closes the window that is open and opens a new one on a new printer service.
    template <typename... Args> WindowSession& open(Args&&... serviceArgs)
    {
        session.reset();
        printers = std::make_unique<Service>(std::forward<Args>(serviceArgs)...);
        return *(session = std::make_unique<WindowSession>(*printers, settings, photos));
    }
};
// Calls fn(n) at every pass of the event loop (n from 1) while it lives: at each yield of a job.
struct AtEveryYield {
    explicit AtEveryYield(std::function<void(int n)> fn, int intervalMs = 0)
    {
        QObject::connect(&timer, &QTimer::timeout, [fn, n = 0]() mutable { fn(++n); });
        timer.start(intervalMs);
    }
    QTimer timer;
};
} // namespace rasterblatt::testing
