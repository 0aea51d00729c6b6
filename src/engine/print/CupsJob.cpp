// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/CupsJob.h"

#include <algorithm>

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>

namespace rasterblatt::cups {

namespace {

    PrinterError jobError(const QString& destination, const Error& reason)
    {
        return PrinterError(Error(Error::Kind::JobNotSent, { destination }, reason));
    }

    PrinterError unreachable(const QString& destination)
    {
        return jobError(destination, Error(Error::Kind::CupsUnreachable, { QString::fromUtf8(cupsServer()) }));
    }

    // Lets the event loop run for a moment.
    void pause(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // Cancels a job that was created but not completed, so that nothing of it prints and
    // nothing stays in the queue: on the job's own connection while that still works, else
    // on fresh ones until the scheduler answers (a restarted cupsd keeps the job) or the time
    // is up. Best effort: a scheduler that stays away keeps the job.
    void cancelJob(http_t* http, const char* queue, int job, std::chrono::milliseconds limit)
    {
        // A watch without the abort poll, so that the request is sent even after "Abbrechen".
        Watch watch(nullptr, limit, true);
        httpSetTimeout(http, PollSeconds, keepWaiting, &watch);
        const auto done = [](ipp_status_t status) {
            return status <= IPP_STATUS_OK_CONFLICTING || status == IPP_STATUS_ERROR_NOT_FOUND
                || status == IPP_STATUS_ERROR_NOT_POSSIBLE;
        };
        if (done(cupsCancelJob2(http, queue, job, 0)))
            return;
        while (watch.outcome == Watch::Waiting && Clock::now() - watch.start < limit) {
            Watch attempt(nullptr, std::chrono::milliseconds(2000), true);
            const Connection fresh = connectWatched(attempt);
            if (fresh && done(cupsCancelJob2(fresh.get(), queue, job, 0)))
                return;
            pause(200);
        }
    }

} // namespace

void failJob(const QString& destination, const Watch& watch, const Error& reason)
{
    if (watch.outcome == Watch::Cancelled)
        throw PrintCancelled();
    throw jobError(destination, reason ? reason : cupsReason(watch));
}

void submitJob(const QString& destination, QIODevice& pdf, const CupsPrinterService::Limits& limits,
    const QString& pageSize, const QString& name)
{
    Watch watch(&limits.abortPoll, limits.responseTimeout, false);
    const Connection http = connectWatched(watch);
    if (!http)
        throw unreachable(destination);
    bool missing = false;
    const Destination dest = namedDestination(http.get(), destination, &missing);
    if (missing)
        throw jobError(destination, Error(Error::Kind::QueueGone));
    if (!dest)
        failJob(destination, watch);

    // The queue's saved options, and the paper.
    cups_option_t* options = nullptr;
    int count = 0;
    for (int i = 0; i < dest->num_options; ++i)
        count = cupsAddOption(dest->options[i].name, dest->options[i].value, count, &options);
    // The driver's own name of the paper: "media" is a list to CUPS, which a comma in the name would part.
    if (!pageSize.isEmpty())
        count = cupsAddOption("PageSize", pageSize.toUtf8().constData(), count, &options);
    const auto freeOptions = qScopeGuard([&] { cupsFreeOptions(count, options); });
    const QByteArray title = name.toUtf8();
    const int job = cupsCreateJob(http.get(), dest->name, title.constData(), count, options);
    if (job == 0)
        failJob(destination, watch);
    // Nothing of a half-sent job may print.
    const auto cancel = [&](const Error& reason = {}) {
        cancelJob(http.get(), dest->name, job, std::min(limits.responseTimeout, std::chrono::milliseconds(10000)));
        failJob(destination, watch, reason);
    };

    if (cupsStartDocument(http.get(), dest->name, job, QByteArray(title + ".pdf").constData(), CUPS_FORMAT_PDF, 1)
        != HTTP_STATUS_CONTINUE)
        cancel();
    for (;;) {
        if (watch.cancelled())
            cancel();
        const QByteArray chunk = pdf.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        if (cupsWriteRequestData(http.get(), chunk.constData(), static_cast<size_t>(chunk.size()))
            != HTTP_STATUS_CONTINUE) {
            const Error reason = watch.outcome == Watch::Cancelled ? Error() : cupsReason(watch);
            if (watch.outcome == Watch::Waiting)
                cupsFinishDocument(http.get(), dest->name);
            cancel(reason);
        }
    }
    if (!pdf.atEnd()) {
        const QString why = pdf.errorString();
        const Error reason = why.isEmpty() ? Error() : Error(Error::Kind::SystemText, { why });
        cupsFinishDocument(http.get(), dest->name);
        cancel(reason);
    }
    if (cupsFinishDocument(http.get(), dest->name) > IPP_STATUS_OK_CONFLICTING)
        cancel(cupsReason(watch));
}

} // namespace rasterblatt::cups
