// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "engine/picture/DecodedPicture.h"

class QEventLoop;

namespace rasterblatt {

// What the slide show reads from the window, afresh at every step: the list with its ticks,
// the stop request and the interval.
struct SlideShowSource {
    std::function<int()> count;
    std::function<bool(int index)> isTicked;
    std::function<QString(int index)> path;
    std::function<bool()> stopRequested;
    std::function<double()> intervalSeconds;
    bool keepAspect = true;
};

// The full-screen viewer, as the show sees it.
struct SlideScreen {
    PictureArea area; // where each picture is fitted
    std::function<bool()> closed; // the user closed it
    // Puts the picture on screen; a picture that failed to load leaves the one before.
    std::function<void(const QString& path, const DecodedPicture& picture)> show;
    std::function<void()> close;
};

// Shows the ticked pictures one after another on the screen, each for the interval, while
// the event loop runs. The next picture is decoded while the current one is on screen. Ends
// when no ticked picture is left (the last one keeps its interval and the screen is closed),
// when a stop is requested (seen before each picture) or when the user closes the screen
// (seen at once, once screenClosed is connected to the screen's closing).
class SlideShow : public QObject {
    Q_OBJECT

public:
    SlideShow(SlideShowSource source, SlideScreen screen);

    void run();

public Q_SLOTS:
    void screenClosed();

private:
    // Lets the event loop run for ms milliseconds, or until the screen is closed.
    void sleep(int ms);

    SlideShowSource m_source;
    SlideScreen m_screen;
    QEventLoop* m_sleeping = nullptr;
};

} // namespace rasterblatt
