// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PrintCommand.h"

#include <exception>
#include <new>

#include "engine/print/PrintSource.h"
#include "engine/print/Printer.h"

namespace rasterblatt {

PrintCommand::PrintCommand(PrinterService& printers, RunFlags& flags)
    : m_printers(printers)
    , m_flags(flags)
{
}

PrintCommand::Result PrintCommand::run(
    Printer& chosen, const PrintSource& source, const PrintJobSettings& settings, const Callbacks& callbacks)
{
    if (m_flags.bPrinting)
        return { Outcome::Failed, Error(Error::Kind::JobRunning) };
    m_flags.bAbort = false;
    m_flags.bPrinting = true;
    if (callbacks.started)
        callbacks.started();
    const Printer* previous = m_printers.currentPrinter();
    const QString sPrevPrinter = previous ? previous->deviceName() : QString();
    m_printers.setCurrentPrinter(&chosen);

    const auto abortRequested = [&] {
        if (callbacks.yield)
            callbacks.yield();
        return m_flags.bAbort;
    };
    // "Abbrechen" also ends a wait for the print system.
    m_printers.setAbortPoll(abortRequested);
    PageCallbacks page { abortRequested, callbacks.progress, callbacks.picture, callbacks.decode };

    Result result;
    const auto discard = [&chosen] {
        try {
            chosen.killDoc();
        } catch (const std::exception&) {
            // Nothing more can be done with a document that cannot even be thrown away.
        }
    };
    try {
        chosen.setPaper(paperFor(settings.setup, chosen), settings.setup.orientation);
        const SheetResult sheet = PrintSelection(chosen, source, settings, page);
        result.cells = sheet.cells;
        result.pictures = sheet.pictures;
        if (sheet.stopped || abortRequested()) {
            result.outcome = Outcome::Cancelled;
            discard();
        } else if (!sheet.drawn) {
            result.outcome = sheet.cells == 0 ? Outcome::NothingTicked : Outcome::NothingReadable;
            discard();
        } else {
            chosen.endDoc();
        }
    } catch (const PrintCancelled&) {
        result.outcome = Outcome::Cancelled;
        discard();
    } catch (const std::bad_alloc&) {
        discard();
        result.outcome = Outcome::Failed;
        result.error = Error(Error::Kind::OutOfMemory);
    } catch (const PrinterError& error) {
        discard();
        result.outcome = Outcome::Failed;
        result.error = error.error();
    } catch (const std::exception& error) {
        discard();
        result.outcome = Outcome::Failed;
        result.error = Error(Error::Kind::SystemText, { QString::fromUtf8(error.what()) });
    }
    m_printers.setAbortPoll({});

    // A printer that has vanished meanwhile cannot be made current again; the chosen one stays.
    if (Printer* restored = m_printers.printerNamed(sPrevPrinter))
        m_printers.setCurrentPrinter(restored);
    if (callbacks.windingUp)
        callbacks.windingUp();
    m_flags.bPrinting = false;
    return result;
}

} // namespace rasterblatt
