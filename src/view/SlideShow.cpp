// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/SlideShow.h"

#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "catalogue/Directory.h"
#include "render/DecodeAhead.h"
#include "render/FitAndPaint.h"
#include "render/PictureBox.h"
#include "view/ImageViewer.h"

namespace rasterblatt {

void runSlideShow(ImageViewer& viewer, const SlideShowSource& source)
{
    QElapsedTimer clock;
    clock.start();
    const auto now = [&clock] { return static_cast<double>(clock.nsecsElapsed()) / 1e9; };
    double startTime = now() - source.intervalSeconds();

    // Keeps the current picture until its interval is over or the viewer is closed.
    const auto waitInterval = [&] {
        while (now() - startTime < source.intervalSeconds() && !viewer.bClosed()) {
            QCoreApplication::processEvents();
            QThread::msleep(100);
        }
    };
    const auto nextTicked = [&](int i) {
        while (i < source.count() && !source.isTicked(i))
            ++i;
        return i;
    };

    // One picture decodes ahead: the next ticked one, while the current one is on screen.
    const PictureArea area = PictureArea::of(*viewer.picBox());
    DecodeAhead<DecodedPicture> ahead(1);
    QString aheadPath;
    std::future<DecodedPicture> aheadPicture;
    const auto decodeAhead = [&](const QString& path) {
        aheadPath = path;
        aheadPicture = ahead.start(
            [path, area, keepAspect = source.keepAspect] { return decodePicture(path, area, keepAspect); });
    };

    int i = 0;
    while (!viewer.bClosed() && i < source.count() && !source.stopRequested()) {
        i = nextTicked(i);
        if (i >= source.count())
            continue;
        // The ticks may have changed since the picture ahead was chosen.
        const QString path = source.path(i);
        if (!aheadPicture.valid() || aheadPath != path)
            decodeAhead(path);
        waitInterval();
        if (viewer.bClosed())
            continue;
        startTime = now();
        const std::optional<DecodedPicture> picture = DecodeAhead<DecodedPicture>::wait(aheadPicture, [&viewer] {
            QCoreApplication::processEvents();
            return viewer.bClosed();
        });
        aheadPicture = {};
        if (!picture)
            continue;
        if (paintPicture(*viewer.picBox(), path, *picture, source.keepAspect))
            viewer.setWindowTitle(displayName(fileNameOf(path)));
        ++i;
        if (const int next = nextTicked(i); next < source.count())
            decodeAhead(source.path(next));
        QCoreApplication::processEvents();
    }
    if (!viewer.bClosed()) {
        waitInterval();
        viewer.closeViewer();
    }
}

} // namespace rasterblatt
