// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

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
    // One piece of work handed to the pool; its result, once there, is taken out once.
    class Pending {
    public:
        void finish(Result result)
        {
            {
                const std::lock_guard lock(m_mutex);
                m_result = std::move(result);
            }
            m_done.notify_all();
        }
        std::optional<Result> take(std::chrono::milliseconds timeout)
        {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, timeout, [this] { return m_result.has_value(); }))
                return std::nullopt;
            return std::exchange(m_result, std::nullopt);
        }

    private:
        std::mutex m_mutex;
        std::condition_variable m_done;
        std::optional<Result> m_result;
    };
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

    std::shared_ptr<Pending> start(std::function<Result()> work)
    {
        auto pending = std::make_shared<Pending>();
        // The task shares the pending result, so a result nobody waits for still has a home.
        m_pool.start([pending, work = std::move(work)] { pending->finish(work()); });
        return pending;
    }

    // The result once it is there, or nothing when poll asked to stop first.
    static std::optional<Result> wait(Pending& pending, const Poll& poll)
    {
        // Short enough for the window to answer a click at once, long enough to leave the
        // cores to the decoders.
        constexpr std::chrono::milliseconds pollInterval(20);
        for (;;) {
            if (std::optional<Result> result = pending.take(pollInterval))
                return result;
            if (poll && poll())
                return std::nullopt;
        }
    }

private:
    QThreadPool m_pool;
};

} // namespace rasterblatt
