// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>

namespace rasterblatt {

class ImageViewer;

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

// Shows the ticked pictures one after another in the open viewer, each for the interval,
// yielding to the event loop while it waits. The next picture is decoded while the current
// one is on screen. Ends when no ticked picture is left (the last one keeps its interval and
// the viewer is closed), when a stop is requested (seen before each picture) or when the
// user closes the viewer (seen at once).
void runSlideShow(ImageViewer& viewer, const SlideShowSource& source);

} // namespace rasterblatt
