// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PrintCommand.h"

#include <exception>
#include <new>

#include "engine/catalogue/Directory.h"
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
    return run(chosen, std::vector<const PrintSource*> { &source }, settings, callbacks);
}

PrintCommand::Result PrintCommand::run(Printer& chosen, const std::vector<const PrintSource*>& sources,
    const PrintJobSettings& settings, const Callbacks& callbacks)
{
    if (m_flags.bPrinting)
        return { Outcome::Failed, Error(Error::Kind::JobRunning), 0, 0, {}, {} };
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
    Result result;
    const auto picture = [&](const QString& path, const DecodedPicture& decoded) {
        if (!decoded.loaded())
            result.unreadable.append({ path, decoded.error });
        else if (decoded.damage)
            result.damaged.append({ path, decoded.damage });
        if (callbacks.picture)
            callbacks.picture(path, decoded);
    };
    // Progress through all sources: the cells of those before, of the files ticked in all.
    int cellsBefore = 0;
    const auto progress = [&](int printed, int) {
        int ticked = 0;
        for (const PrintSource* source : sources)
            ticked += source->tickedCount();
        if (callbacks.progress)
            callbacks.progress(cellsBefore + printed, ticked);
    };
    PageCallbacks page { abortRequested, progress, picture, callbacks.decode };

    const auto discard = [&chosen] {
        try {
            chosen.killDoc();
        } catch (const std::exception&) {
            // Nothing more can be done with a document that cannot even be thrown away.
        }
    };
    try {
        chosen.setPaper(paperFor(settings.setup, chosen), settings.setup.orientation);
        PrintJobSettings part = settings;
        if (sources.size() > 1 && part.pageTotal == 0) {
            for (const PrintSource* source : sources)
                part.pageTotal += pageCount(source->tickedCount(), settings.nCols, settings.nRows);
        }
        SheetResult sheet;
        for (const PrintSource* source : sources) {
            // Each source from a new page; the break waits until something is drawn after it.
            if (source != sources.front())
                chosen.newPage();
            const SheetResult printed = PrintSelection(chosen, *source, part, page);
            sheet.stopped = printed.stopped;
            sheet.cells += printed.cells;
            sheet.pictures += printed.pictures;
            sheet.drawn = sheet.drawn || printed.drawn;
            if (sheet.stopped)
                break;
            cellsBefore += printed.cells;
            part.firstPage += pageCount(printed.cells, settings.nCols, settings.nRows);
        }
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

QString PrintCommand::problemsText(const Result& result, int shown)
{
    QStringList lines;
    const auto list = [&](const QList<PictureProblem>& problems, const QString& what) {
        for (const PictureProblem& problem : problems) {
            if (lines.size() < shown)
                lines << QStringLiteral("%1: %2 (%3)")
                             .arg(what, displayName(fileNameOf(problem.path)), errorText(problem.reason));
        }
    };
    list(result.unreadable, QStringLiteral("nicht lesbar"));
    list(result.damaged, QStringLiteral("beschädigt"));
    const qsizetype all = result.unreadable.size() + result.damaged.size();
    if (all == 0)
        return {};
    if (all > lines.size())
        lines << QStringLiteral("und %1 weitere").arg(all - lines.size());
    return QStringLiteral("Nicht alle Bilder konnten ganz gelesen werden:\n") + lines.join(QLatin1Char('\n'));
}

} // namespace rasterblatt
