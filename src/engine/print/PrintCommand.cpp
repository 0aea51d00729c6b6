// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PrintCommand.h"

#include <exception>

#include "engine/print/Printer.h"

namespace rasterblatt {

PrintCommand::PrintCommand(PrinterService& printers, RunFlags& flags)
    : m_printers(printers)
    , m_flags(flags)
{
}

PrintCommand::Result PrintCommand::run(
    Printer& chosen, const QStringList& files, const PrintJobSettings& settings, const Callbacks& callbacks)
{
    if (m_flags.bPrinting)
        return { Outcome::Failed, QStringLiteral("Es läuft schon ein Druckauftrag.") };
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
    try {
        const bool whole = PrintSelection(chosen, files, settings, page) && !abortRequested();
        if (whole) {
            chosen.endDoc();
        } else {
            chosen.killDoc();
            result.outcome = Outcome::Cancelled;
        }
    } catch (const std::exception& error) {
        try {
            chosen.killDoc();
        } catch (const std::exception&) {
            // Nothing more can be done with a document that cannot even be thrown away.
        }
        result = { Outcome::Failed, QString::fromUtf8(error.what()) };
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
