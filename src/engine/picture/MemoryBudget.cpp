// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/picture/MemoryBudget.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

namespace rasterblatt {

MemoryBudget::MemoryBudget(qint64 bytes)
    : m_total(bytes)
    , m_free(bytes)
{
}

MemoryBudget& MemoryBudget::process()
{
    static MemoryBudget budget([] {
        constexpr qint64 MB = 1024 * 1024;
        bool ok = false;
        const qint64 asked = qEnvironmentVariableIntValue("RASTERBLATT_MEMORY_BUDGET_MB", &ok);
        if (ok && asked > 0)
            return asked * MB;
        const qint64 machine = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
        return machine > 0 ? std::min(1024 * MB, machine / 4) : 1024 * MB;
    }());
    return budget;
}

MemoryBudget::Reservation MemoryBudget::reserve(qint64 bytes)
{
    bytes = std::max<qint64>(bytes, 0);
    if (bytes > m_total)
        return {};
    std::unique_lock lock(m_mutex);
    m_returned.wait(lock, [&] { return m_free >= bytes; });
    m_free -= bytes;
    return Reservation(this, bytes);
}

void MemoryBudget::release(qint64 bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_free += bytes;
    }
    m_returned.notify_all();
}

MemoryBudget::Reservation::Reservation(MemoryBudget* budget, qint64 bytes)
    : m_budget(budget)
    , m_bytes(bytes)
{
}

MemoryBudget::Reservation::Reservation(Reservation&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr))
    , m_bytes(std::exchange(other.m_bytes, 0))
{
}

MemoryBudget::Reservation& MemoryBudget::Reservation::operator=(Reservation&& other) noexcept
{
    if (this != &other) {
        if (m_budget)
            m_budget->release(m_bytes);
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

MemoryBudget::Reservation::~Reservation()
{
    if (m_budget)
        m_budget->release(m_bytes);
}

} // namespace rasterblatt
