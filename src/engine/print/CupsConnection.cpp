// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/CupsConnection.h"

#include <algorithm>

namespace rasterblatt::cups {

int keepWaiting(http_t*, void* data)
{
    auto& watch = *static_cast<Watch*>(data);
    const Clock::time_point now = Clock::now();
    // A longer gap since the last call means data moved in between: silence starts anew.
    if (!watch.total && now - watch.lastCall > std::chrono::duration<double>(PollSeconds * 2))
        watch.start = now - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(PollSeconds));
    watch.lastCall = now;
    if (watch.cancelled())
        return 0;
    if (now - watch.start >= watch.silence) {
        watch.outcome = Watch::Silent;
        return 0;
    }
    return 1;
}

Connection connectWatched(Watch& watch)
{
    const int msec = static_cast<int>(std::min<qint64>(watch.silence.count(), 30000));
    Connection http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, msec, nullptr), &httpClose);
    if (http)
        httpSetTimeout(http.get(), PollSeconds, keepWaiting, &watch);
    return http;
}

Error cupsReason(const Watch& watch)
{
    if (watch.outcome == Watch::Cancelled)
        return Error(Error::Kind::Cancelled);
    if (watch.outcome == Watch::Silent)
        return Error(Error::Kind::CupsSilent);
    const ipp_status_t status = cupsLastError();
    const QString text = QString::fromUtf8(cupsLastErrorString());
    if (status < IPP_STATUS_REDIRECTION_OTHER_SITE || status == IPP_STATUS_ERROR_INTERNAL
        || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || text.isEmpty())
        return Error(Error::Kind::CupsConnectionLost);
    return Error(Error::Kind::SystemText, { text });
}

Destination namedDestination(http_t* http, const QString& destination, bool* missing)
{
    const QByteArray queue = destination.section(QLatin1Char('/'), 0, 0).toUtf8();
    const QByteArray instance = destination.section(QLatin1Char('/'), 1).toUtf8();
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http, &dests);
    const ipp_status_t status = cupsLastError();
    cups_dest_t* found
        = cupsGetDest(queue.constData(), instance.isEmpty() ? nullptr : instance.constData(), count, dests);
    cups_dest_t* copy = nullptr;
    if (found)
        cupsCopyDest(found, 0, &copy);
    cupsFreeDests(count, dests);
    if (missing)
        *missing = !found && status <= IPP_STATUS_OK_EVENTS_COMPLETE;
    return Destination(copy, [](cups_dest_t* d) { cupsFreeDests(1, d); });
}

} // namespace rasterblatt::cups
