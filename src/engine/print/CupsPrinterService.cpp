// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/CupsPrinterService.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <unistd.h>

#include <cups/cups.h>
// The driver (PPD) names a queue's papers as its filters know them; libcups marks its PPD
// functions as deprecated, yet they are the only way to those names.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>
#pragma GCC diagnostic pop

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>

#include "engine/catalogue/Directory.h"
#include "engine/catalogue/NativePath.h"
#include "engine/print/FileTarget.h"
#include "engine/print/PdfDocumentPrinter.h"

namespace rasterblatt {

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

namespace {

    using Clock = std::chrono::steady_clock;
    using Limits = CupsPrinterService::Limits;

    // What a connection waits for: the timeout callback asks the abort poll and ends the
    // wait once CUPS has been silent for too long (or, for a listing, once its time is up).
    struct Watch {
        enum Outcome { Waiting, Cancelled, Silent };

        // Without an abort poll (nullptr) only the time ends the wait.
        Watch(const CupsPrinterService::AbortPoll* abortPoll, std::chrono::milliseconds silence, bool total)
            : abortPoll(abortPoll)
            , silence(silence)
            , total(total)
        {
        }

        const CupsPrinterService::AbortPoll* abortPoll;
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

    using Connection = std::unique_ptr<http_t, decltype(&httpClose)>;

    // A connection of our own, so that an unreachable scheduler is told apart from a
    // missing queue, no stale connection of an earlier job is reused and every wait is
    // watched.
    Connection connectWatched(Watch& watch)
    {
        const int msec = static_cast<int>(std::min<qint64>(watch.silence.count(), 30000));
        Connection http(
            httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, msec, nullptr), &httpClose);
        if (http)
            httpSetTimeout(http.get(), PollSeconds, keepWaiting, &watch);
        return http;
    }

    // Why the last CUPS request failed: CUPS's own words where they say something, German
    // ones where CUPS says nothing or only passes on a system error ("Success").
    QString cupsReason(const Watch& watch)
    {
        if (watch.outcome == Watch::Cancelled)
            return QStringLiteral("Der Druck wurde abgebrochen.");
        if (watch.outcome == Watch::Silent)
            return QStringLiteral("Das Drucksystem (CUPS) antwortet nicht.");
        const ipp_status_t status = cupsLastError();
        const QString text = QString::fromUtf8(cupsLastErrorString());
        if (status < IPP_STATUS_REDIRECTION_OTHER_SITE || status == IPP_STATUS_ERROR_INTERNAL
            || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || text.isEmpty())
            return QStringLiteral("Die Verbindung zum Drucksystem (CUPS) ist abgebrochen.");
        return text;
    }

    PrinterError jobError(const QString& destination, const QString& reason)
    {
        return PrinterError(QStringLiteral("Der Druckauftrag für „%1“ konnte nicht gesendet werden: %2")
                                .arg(destination, reason)
                                .toStdString());
    }

    // Ends a job: the user's cancel, or why CUPS failed (the watch's reason where none is given).
    [[noreturn]] void fail(const QString& destination, const Watch& watch, const QString& reason = {})
    {
        if (watch.outcome == Watch::Cancelled)
            throw PrintCancelled();
        throw jobError(destination, reason.isEmpty() ? cupsReason(watch) : reason);
    }

    PrinterError unreachable(const QString& destination)
    {
        return jobError(destination,
            QStringLiteral("Das Drucksystem CUPS (%1) ist nicht erreichbar.").arg(QString::fromUtf8(cupsServer())));
    }

    using Destination = std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)>;

    // The destination with its saved options, asked on the watched connection only
    // (cupsGetNamedDest falls back to an unwatched one when the scheduler is silent).
    Destination namedDestination(http_t* http, const QString& destination, bool* missing = nullptr)
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

    // Sends the file as one PDF job. A destination "queue/instance" is an lpoptions
    // instance: its saved options apply, as they do for lp.
    void submitJob(const QString& destination, QIODevice& pdf, const Limits& limits, const QString& pageSize)
    {
        Watch watch(&limits.abortPoll, limits.responseTimeout, false);
        const Connection http = connectWatched(watch);
        if (!http)
            throw unreachable(destination);
        bool missing = false;
        const Destination dest = namedDestination(http.get(), destination, &missing);
        if (missing)
            throw jobError(destination, QStringLiteral("Diesen Drucker gibt es im Drucksystem (CUPS) nicht mehr."));
        if (!dest)
            fail(destination, watch);

        // The queue's saved options, and the paper.
        cups_option_t* options = nullptr;
        int count = 0;
        for (int i = 0; i < dest->num_options; ++i)
            count = cupsAddOption(dest->options[i].name, dest->options[i].value, count, &options);
        // The driver's own name of the paper: "media" is a list to CUPS, which a comma in the name would part.
        if (!pageSize.isEmpty())
            count = cupsAddOption("PageSize", pageSize.toUtf8().constData(), count, &options);
        const auto freeOptions = qScopeGuard([&] { cupsFreeOptions(count, options); });
        const int job = cupsCreateJob(http.get(), dest->name, "Rasterblatt", count, options);
        if (job == 0)
            fail(destination, watch);
        // Nothing of a half-sent job may print.
        const auto cancel = [&](const QString& reason = {}) {
            cancelJob(http.get(), dest->name, job, std::min(limits.responseTimeout, std::chrono::milliseconds(10000)));
            fail(destination, watch, reason);
        };

        if (cupsStartDocument(http.get(), dest->name, job, "Kontaktabzug.pdf", CUPS_FORMAT_PDF, 1)
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
                const QString reason = watch.outcome == Watch::Cancelled ? QString() : cupsReason(watch);
                if (watch.outcome == Watch::Waiting)
                    cupsFinishDocument(http.get(), dest->name);
                cancel(reason);
            }
        }
        if (!pdf.atEnd()) {
            const QString reason = pdf.errorString();
            cupsFinishDocument(http.get(), dest->name);
            cancel(reason);
        }
        if (cupsFinishDocument(http.get(), dest->name) > IPP_STATUS_OK_CONFLICTING)
            cancel(cupsReason(watch));
    }

    QPageLayout withoutMargins(const QPageSize& size, QPageLayout::Orientation orientation)
    {
        return QPageLayout(size, orientation, QMarginsF());
    }

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

    // What the destination says of its paper, its driver asked once and kept in the book.
    // Checking that the scheduler still knows it costs one question on every call.
    PrinterPapers askPapers(CupsPrinterService::PaperBook& book, Watch& watch, const QString& destination)
    {
        // A scheduler that does not answer leaves what the driver said before.
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

    class CupsQueuePrinter final : public PdfDocumentPrinter {
    public:
        CupsQueuePrinter(const QString& name, const Limits& limits, CupsPrinterService::PaperBook& book)
            : PdfDocumentPrinter(name)
            , m_limits(limits)
            , m_book(book)
        {
        }

        QList<QPageSize> paperSizes() override { return papers(false).sizes; }
        QPageSize defaultPaper() override { return papers(false).fallback(); }

    protected:
        // A queue that is gone fails when the job is sent; until then the document is drawn
        // on the paper without margins.
        QPageLayout layoutFor(const QPageSize& size, QPageLayout::Orientation orientation) override
        {
            return papers(true).layout(size, orientation);
        }

        void deliver(QTemporaryFile& pdf, const QPageSize& paper) override
        {
            // A queue that reports its sizes is told which paper to feed; a raw one gets the PDF alone.
            const QString pageSize = paperSizes().isEmpty() ? QString() : paperName(paper);
            submitJob(deviceName(), pdf, m_limits, pageSize);
        }

    private:
        // The driver's papers, as the dialog was told them where it asked first. A scheduler
        // that stops answering ends a job (throwing) or, when only asked, gives none.
        PrinterPapers papers(bool throwing)
        {
            if (const std::optional<PrinterPapers> known = m_book.find(deviceName()))
                return *known;
            Watch watch(&m_limits.abortPoll, m_limits.responseTimeout, false);
            const PrinterPapers answer = askPapers(m_book, watch, deviceName());
            if (throwing && watch.outcome != Watch::Waiting)
                fail(deviceName(), watch);
            return answer.answer == PrinterPapers::Known ? answer : PrinterPapers();
        }

        const Limits& m_limits;
        CupsPrinterService::PaperBook& m_book;
    };

    class PdfFilePrinter final : public PdfDocumentPrinter {
    public:
        explicit PdfFilePrinter(CupsPrinterService::FileNameQuery askFileName)
            : PdfDocumentPrinter(CupsPrinterService::pdfPrinterName())
            , m_askFileName(std::move(askFileName))
        {
        }

        QString askFileName(const QString& proposal) const
        {
            return m_askFileName ? m_askFileName(proposal) : QString();
        }
        // The file the next document goes to, asked for before the job.
        void setTarget(const QString& target) { m_target = resolvedTarget(target); }
        QString target() const { return m_target; }

    protected:
        QList<QPageSize> paperSizes() override { return standardPapers(); }
        QPageLayout layoutFor(const QPageSize& size, QPageLayout::Orientation orientation) override
        {
            return withoutMargins(size, orientation);
        }

        // Beside the target, so that the finished document only needs a new name; a document
        // begun without a target asks for one now.
        QString documentFolder() const override
        {
            if (m_target.isEmpty() && m_askFileName)
                m_target = resolvedTarget(m_askFileName(QString()));
            return m_target.isEmpty() ? PdfDocumentPrinter::documentFolder() : QFileInfo(m_target).absolutePath();
        }

        void deliver(QTemporaryFile& pdf, const QPageSize&) override
        {
            const QString target = std::exchange(m_target, QString());
            if (target.isEmpty())
                return;
            if (const TargetProblem problem = checkTarget(target))
                throw PrinterError(problem.text.toStdString());
            if (QFileInfo(pdf.fileName()).absolutePath() != QFileInfo(target).absolutePath())
                throw PrinterError(QStringLiteral("Die PDF-Datei „%1“ kann nicht geschrieben werden: Ihr Ordner ist "
                                                  "ein anderer als beim Beginn des Drucks.")
                                       .arg(displayName(target))
                                       .toStdString());
            moveIntoPlace(pdf, target);
            pdf.setAutoRemove(false);
        }

    private:
        CupsPrinterService::FileNameQuery m_askFileName;
        mutable QString m_target;
    };

} // namespace

CupsPrinterService::CupsPrinterService(FileNameQuery askFileName)
    : m_limits(std::make_unique<Limits>())
    , m_paperBook(std::make_shared<PaperBook>())
    , m_pdfPrinter(std::make_unique<PdfFilePrinter>(std::move(askFileName)))
{
}

CupsPrinterService::~CupsPrinterService() = default;

std::vector<Printer*> CupsPrinterService::printers()
{
    QString defaultName;
    std::vector<Printer*> result;
    for (const QString& name : listQueues(&defaultName))
        result.push_back(queuePrinter(name));
    result.push_back(m_pdfPrinter.get());
    // The first listing chooses the current printer. Without a CUPS default (or without
    // CUPS) the PDF file is the only sure printer.
    if (!std::exchange(m_listed, true))
        m_current = defaultName.isEmpty() ? m_pdfPrinter.get() : queuePrinter(defaultName);
    return result;
}

Printer* CupsPrinterService::currentPrinter()
{
    if (!m_listed)
        printers();
    return m_current;
}

void CupsPrinterService::setCurrentPrinter(Printer* printer)
{
    m_listed = true;
    m_current = printer;
}

QStringList CupsPrinterService::listQueues(QString* defaultName)
{
    // After a listing that ran out of time the window must not wait that long again.
    const auto limit = m_silent ? m_limits->listTimeout / 5 : m_limits->listTimeout;
    Watch watch(nullptr, limit, true);
    const Connection http = connectWatched(watch);
    if (!http)
        return {};
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    m_silent = watch.outcome == Watch::Silent;
    // The names as Qt's print support spells them: "queue" or "queue/instance".
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString name = QString::fromUtf8(dests[i].name);
        if (dests[i].instance)
            name += QLatin1Char('/') + QString::fromUtf8(dests[i].instance);
        if (defaultName && dests[i].is_default)
            *defaultName = name;
        names << name;
    }
    cupsFreeDests(count, dests);
    return names;
}

Printer* CupsPrinterService::pdfPrinter() const { return m_pdfPrinter.get(); }

bool CupsPrinterService::prepareJob(Printer* printer, const QString& folder)
{
    if (printer != pdfPrinter())
        return true;
    const QFileInfo printed(folder);
    const QString folderName = displayName(fileNameOf(folder));
    const QString name = folderName.isEmpty() ? QStringLiteral("Kontaktabzug") : folderName;
    QString place = m_lastPdfFolder;
    if (place.isEmpty())
        place = printed.isDir() && printed.isWritable()
            ? printed.absoluteFilePath()
            : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    auto* pdf = static_cast<PdfFilePrinter*>(m_pdfPrinter.get());
    const QString target = pdf->askFileName(QDir(place).filePath(name + QStringLiteral(".pdf")));
    if (target.isEmpty())
        return false;
    m_lastPdfFolder = QFileInfo(target).absolutePath();
    if (const TargetProblem problem = checkTarget(target))
        throw PrinterError(problem.text.toStdString());
    pdf->setTarget(target);
    return true;
}

QString CupsPrinterService::jobTarget(Printer* printer) const
{
    return printer == pdfPrinter() ? static_cast<PdfFilePrinter*>(m_pdfPrinter.get())->target() : QString();
}

std::function<PrinterPapers()> CupsPrinterService::papersQuestion(const QString& name, std::chrono::milliseconds bound)
{
    if (name == pdfPrinterName()) {
        PrinterPapers papers;
        papers.sizes = standardPapers();
        return [papers] { return papers; };
    }
    return [book = m_paperBook, name, bound] {
        Watch watch(nullptr, bound, true);
        return askPapers(*book, watch, name);
    };
}

Printer* CupsPrinterService::queuePrinter(const QString& name)
{
    auto& printer = m_queues[name];
    if (!printer)
        printer = std::make_unique<CupsQueuePrinter>(name, *m_limits, *m_paperBook);
    return printer.get();
}

} // namespace rasterblatt
