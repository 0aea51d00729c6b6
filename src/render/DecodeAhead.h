// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include <QThreadPool>

namespace rasterblatt {

// The number of threads that decode ahead: one per core, or RASTERBLATT_DECODE_THREADS
// when it is set (to measure); at least one.
int decodeThreads();

// Decodes pictures on a pool of worker threads while the user-interface thread goes on.
// The work handed in only decodes into plain images: it touches no widget, no printer and
// nothing shared. Destroying the pool drops what has not started and waits for what runs,
// at most one decode per thread.
template <typename Result> class DecodeAhead {
public:
    // Runs while waiting, every few milliseconds: yields to the event loop and says whether
    // to stop waiting.
    using Poll = std::function<bool()>;

    explicit DecodeAhead(int threads = decodeThreads()) { m_pool.setMaxThreadCount(std::max(1, threads)); }
    ~DecodeAhead()
    {
        m_pool.clear();
        m_pool.waitForDone();
    }
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    int threads() const { return m_pool.maxThreadCount(); }

    // The work's result to come; what the work throws comes out of wait.
    std::future<Result> start(std::function<Result()> work)
    {
        // The task holds the promise, so a result nobody waits for still has a home.
        auto promise = std::make_shared<std::promise<Result>>();
        std::future<Result> result = promise->get_future();
        m_pool.start([promise, work = std::move(work)] {
            try {
                promise->set_value(work());
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        });
        return result;
    }

    // The result once it is there, or nothing when poll asked to stop first.
    static std::optional<Result> wait(std::future<Result>& pending, const Poll& poll)
    {
        // Short enough for the window to answer a click at once, long enough to leave the
        // cores to the decoders.
        constexpr std::chrono::milliseconds pollInterval(20);
        while (pending.wait_for(pollInterval) != std::future_status::ready) {
            if (poll && poll())
                return std::nullopt;
        }
        return pending.get();
    }

private:
    QThreadPool m_pool;
};

} // namespace rasterblatt
