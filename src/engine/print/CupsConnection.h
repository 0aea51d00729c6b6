// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>

#include <cups/cups.h>

#include <QString>

#include "engine/print/Printer.h"

namespace rasterblatt::cups {

using Clock = std::chrono::steady_clock;

// What a connection waits for: the timeout callback asks the abort poll and ends the
// wait once CUPS has been silent for too long (or, for a listing, once its time is up).
struct Watch {
    enum Outcome { Waiting, Cancelled, Silent };

    // Without an abort poll (nullptr) only the time ends the wait.
    Watch(const PrinterService::AbortPoll* abortPoll, std::chrono::milliseconds silence, bool total)
        : abortPoll(abortPoll)
        , silence(silence)
        , total(total)
    {
    }

    const PrinterService::AbortPoll* abortPoll;
    std::chrono::milliseconds silence;
    bool total; // the time counts from the start, not from the last sign of life
    Clock::time_point start = Clock::now();
    Clock::time_point lastCall = start;
    Outcome outcome = Waiting;

    bool cancelled()
    {
        if (outcome == Waiting && abortPoll && *abortPoll && (*abortPoll)())
            outcome = Cancelled;
        return outcome == Cancelled;
    }
};

// How often a waiting request looks at the clock and the abort poll.
constexpr double PollSeconds = 0.2;

// Called by libcups after PollSeconds without anything to read or write; 0 ends the wait.
int keepWaiting(http_t*, void* data);

using Connection = std::unique_ptr<http_t, decltype(&httpClose)>;

// A connection of our own, so that an unreachable scheduler is told apart from a
// missing queue, no stale connection of an earlier job is reused and every wait is
// watched.
Connection connectWatched(Watch& watch);

// Why the last CUPS request failed: CUPS's own words where they say something, German
// ones where CUPS says nothing or only passes on a system error ("Success").
Error cupsReason(const Watch& watch);

using Destination = std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)>;

// The destination with its saved options, asked on the watched connection only
// (cupsGetNamedDest falls back to an unwatched one when the scheduler is silent).
Destination namedDestination(http_t* http, const QString& destination, bool* missing = nullptr);

} // namespace rasterblatt::cups
