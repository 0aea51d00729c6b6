// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <mutex>
#include <optional>

#include <QString>

#include "engine/print/CupsConnection.h"
#include "engine/print/CupsPrinterService.h"

namespace rasterblatt {

// What each destination's driver said of its paper, asked once per destination and shared
// by the queue printers and the dialog's questions still running.
struct CupsPrinterService::PaperBook {
    std::mutex mutex;
    std::map<QString, PrinterPapers> known;

    std::optional<PrinterPapers> find(const QString& destination)
    {
        const std::lock_guard lock(mutex);
        const auto found = known.find(destination);
        return found == known.end() ? std::nullopt : std::optional(found->second);
    }
};

namespace cups {

    // What the destination says of its paper, its driver (the PPD) asked once and kept in the
    // book. Checking that the scheduler still knows it costs one question on every call; a
    // scheduler that does not answer leaves what the driver said before, marked Silent.
    PrinterPapers askPapers(CupsPrinterService::PaperBook& book, Watch& watch, const QString& destination);

} // namespace cups

} // namespace rasterblatt
