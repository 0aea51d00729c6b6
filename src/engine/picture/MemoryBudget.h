// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <mutex>

#include <QtGlobal>

namespace rasterblatt {

// The memory that decoding may take at once, shared by every thread of the process: a decode
// reserves what it will need before it starts and gives it back when it ends. A reservation
// that does not fit waits until enough comes back; one larger than the whole budget fails
// at once, as a picture too large to load.
class MemoryBudget {
public:
    explicit MemoryBudget(qint64 bytes);

    // The process's budget: 1 GiB, or a quarter of the machine's memory where that is less
    // (RASTERBLATT_MEMORY_BUDGET_MB sets another, to measure).
    static MemoryBudget& process();

    qint64 total() const { return m_total; }

    // Memory held for one decode; given back when it goes.
    class Reservation {
    public:
        Reservation() = default;
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        ~Reservation();
        // False for a reservation that failed: more than the whole budget.
        explicit operator bool() const { return m_budget != nullptr; }
        qint64 bytes() const { return m_bytes; }

    private:
        friend class MemoryBudget;
        Reservation(MemoryBudget* budget, qint64 bytes);
        MemoryBudget* m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    // Waits until the bytes are free and holds them.
    Reservation reserve(qint64 bytes);

private:
    void release(qint64 bytes);

    const qint64 m_total;
    qint64 m_free;
    std::mutex m_mutex;
    std::condition_variable m_returned;
};

} // namespace rasterblatt
