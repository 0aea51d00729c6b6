// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

namespace rasterblatt {

// The number of threads that decode: one per core, or RASTERBLATT_DECODE_THREADS when it is
// set (to measure); at least one.
int decodeThreads();
// The process's decoding threads, shared by every job, preview and show, so that together
// they never decode on more threads than decodeThreads().
QThreadPool& decodePool();

// Decodes pictures on the decoding threads while the caller goes on. The work handed in only
// decodes into plain images: it touches no widget, no printer and nothing shared. Destroying
// it drops what has not started and returns at once: a decode that runs finishes on its own
// and its result goes unused, so nobody waits for a picture no longer needed.
template <typename Result> class DecodeAhead {
public:
    // Runs while waiting, every pollMs: says whether to stop waiting.
    using Poll = std::function<bool()>;

    DecodeAhead() = default;
    ~DecodeAhead() { m_dropped->store(true); }
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    int threads() const { return decodePool().maxThreadCount(); }

    // The work's result to come; what the work throws comes out of the future's result().
    QFuture<Result> start(std::function<Result()> work)
    {
        auto promise = std::make_shared<QPromise<Result>>();
        QFuture<Result> future = promise->future();
        promise->start();
        decodePool().start([promise, work = std::move(work), dropped = m_dropped] {
            if (!dropped->load()) {
                try {
                    promise->addResult(work());
                } catch (...) {
                    promise->setException(std::current_exception());
                }
            }
            promise->finish();
        });
        return future;
    }

    // The result once it is there, or nothing when poll asked to stop first. The caller's
    // thread runs its event loop meanwhile: the result's arrival ends the wait at once, and
    // poll runs every pollMs until then.
    static std::optional<Result> wait(QFuture<Result>& pending, const Poll& poll, int pollMs)
    {
        if (!pending.isFinished()) {
            QEventLoop loop;
            QFutureWatcher<Result> watcher;
            QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
            watcher.setFuture(pending);
            timer.start(pollMs);
            while (!pending.isFinished()) {
                loop.exec();
                if (!pending.isFinished() && poll && poll())
                    return std::nullopt;
            }
        }
        return pending.result();
    }

private:
    std::shared_ptr<std::atomic<bool>> m_dropped = std::make_shared<std::atomic<bool>>(false);
};

} // namespace rasterblatt
