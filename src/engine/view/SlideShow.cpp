// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/view/SlideShow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "engine/picture/DecodeAhead.h"

namespace rasterblatt {

namespace {
    // How often a waiting show looks at the clock.
    constexpr int StepMs = 100;
    // How often a show that waits for its next picture looks whether the screen was closed.
    constexpr int PollMs = 20;
} // namespace

SlideShow::SlideShow(SlideShowSource source, SlideScreen screen)
    : m_source(std::move(source))
    , m_screen(std::move(screen))
{
}

void SlideShow::screenClosed()
{
    if (m_sleeping)
        m_sleeping->quit();
}

void SlideShow::sleep(int ms)
{
    if (m_screen.closed())
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    m_sleeping = &loop;
    loop.exec();
    m_sleeping = nullptr;
}

void SlideShow::run()
{
    QElapsedTimer clock;
    clock.start();
    const auto now = [&clock] { return static_cast<double>(clock.nsecsElapsed()) / 1e9; };
    double startTime = now() - m_source.intervalSeconds();

    // Keeps the current picture until its interval is over or the screen is closed.
    const auto waitInterval = [&] {
        while (now() - startTime < m_source.intervalSeconds() && !m_screen.closed()) {
            QCoreApplication::processEvents();
            sleep(StepMs);
        }
    };
    const auto nextTicked = [&](int i) {
        while (i < m_source.count() && !m_source.isTicked(i))
            ++i;
        return i;
    };

    // One picture decodes ahead: the next ticked one, while the current one is on screen.
    DecodeAhead<DecodedPicture> ahead;
    QString aheadPath;
    std::optional<QFuture<DecodedPicture>> aheadPicture;
    const auto decodeAhead = [&](const QString& path) {
        aheadPath = path;
        aheadPicture = ahead.start([path, area = m_screen.area, keepAspect = m_source.keepAspect] {
            return decodePicture(path, area, keepAspect);
        });
    };

    int i = 0;
    while (!m_screen.closed() && i < m_source.count() && !m_source.stopRequested()) {
        i = nextTicked(i);
        if (i >= m_source.count())
            continue;
        // The ticks may have changed since the picture ahead was chosen.
        const QString path = m_source.path(i);
        if (!aheadPicture || aheadPath != path)
            decodeAhead(path);
        waitInterval();
        if (m_screen.closed())
            continue;
        startTime = now();
        const std::optional<DecodedPicture> picture = DecodeAhead<DecodedPicture>::wait(
            *aheadPicture,
            [this] {
                QCoreApplication::processEvents();
                return m_screen.closed();
            },
            PollMs);
        aheadPicture.reset();
        if (!picture)
            continue;
        m_screen.show(path, *picture);
        ++i;
        if (const int next = nextTicked(i); next < m_source.count())
            decodeAhead(m_source.path(next));
        QCoreApplication::processEvents();
    }
    if (!m_screen.closed()) {
        waitInterval();
        m_screen.close();
    }
}

} // namespace rasterblatt
