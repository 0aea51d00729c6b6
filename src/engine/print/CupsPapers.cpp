// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/CupsPapers.h"

#include <unistd.h>

// The driver (PPD) names a queue's papers as its filters know them; libcups marks its PPD
// functions as deprecated, yet they are the only way to those names.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>
#pragma GCC diagnostic pop

#include <QScopeGuard>

namespace rasterblatt::cups {

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    // The papers of the destination's driver, fetched on the watched connection; nothing when
    // the scheduler does not give it (a queue without a driver has no papers of its own).
    std::optional<PrinterPapers> readDriver(http_t* http, const cups_dest_t& dest, const Watch& watch)
    {
        char path[1024] = "";
        time_t modified = 0;
        const http_status_t status = cupsGetPPD3(http, dest.name, &modified, path, sizeof path);
        const auto remove = qScopeGuard([&] {
            if (path[0] && status == HTTP_STATUS_OK)
                ::unlink(path);
        });
        if (status == HTTP_STATUS_NOT_FOUND && watch.outcome == Watch::Waiting)
            return PrinterPapers {};
        if (status != HTTP_STATUS_OK)
            return std::nullopt;
        PrinterPapers papers;
        ppd_file_t* ppd = ppdOpenFile(path);
        if (!ppd)
            return papers;
        const auto close = qScopeGuard([&] { ppdClose(ppd); });
        // The default as the queue's saved options (lpoptions) make it.
        ppdMarkDefaults(ppd);
        cupsMarkOptions(ppd, dest.num_options, dest.options);
        if (const ppd_option_t* sizes = ppdFindOption(ppd, "PageSize")) {
            for (int i = 0; i < sizes->num_choices; ++i) {
                const ppd_size_t* size = ppdPageSize(ppd, sizes->choices[i].choice);
                if (!size || !(size->width > 0) || !(size->length > 0))
                    continue;
                papers.sizes << QPageSize(
                    QSizeF(size->width, size->length), QPageSize::Point, QString::fromUtf8(size->name));
                papers.margins << QMarginsF(
                    size->left, size->length - size->top, size->width - size->right, size->bottom);
            }
        }
        if (const ppd_choice_t* marked = ppdFindMarkedChoice(ppd, "PageSize"))
            papers.defaultPaper = findPaper(papers.sizes, QString::fromUtf8(marked->choice));
        return papers;
    }
#pragma GCC diagnostic pop

} // namespace

PrinterPapers askPapers(CupsPrinterService::PaperBook& book, Watch& watch, const QString& destination)
{
    const std::optional<PrinterPapers> known = book.find(destination);
    PrinterPapers papers = known.value_or(PrinterPapers());
    papers.answer = PrinterPapers::Silent;
    papers.known = known.has_value();
    const Connection http = connectWatched(watch);
    if (!http)
        return papers;
    bool missing = false;
    const Destination dest = namedDestination(http.get(), destination, &missing);
    if (missing)
        return PrinterPapers { PrinterPapers::Missing, false, {}, {}, {} };
    if (!dest)
        return papers;
    if (known)
        return *known;
    const std::optional<PrinterPapers> read = readDriver(http.get(), *dest, watch);
    if (!read)
        return papers;
    const std::lock_guard lock(book.mutex);
    return book.known.emplace(destination, *read).first->second;
}

} // namespace rasterblatt::cups
