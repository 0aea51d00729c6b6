// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include <optional>

#include <QPageLayout>
#include <QString>
#include <QStringList>

#include "engine/print/Printer.h"

namespace rasterblatt {

class PdfDocumentPrinter;

// The CUPS destinations, followed by the built-in printer "PDF-Datei" that saves the
// document as a PDF file. Ending a document on a CUPS destination submits it as one PDF
// job; "PDF-Datei" asks where to save it before the job starts.
//
// No request waits for CUPS without end: listing the printers takes at most listTimeout
// (then only what is known is listed, "PDF-Datei" always), and a job ends with "Das
// Drucksystem (CUPS) antwortet nicht." after responseTimeout without an answer, or as soon
// as the abort poll says the job is cancelled.
class CupsPrinterService final : public PrinterService {
public:
    // Asks for the file that "PDF-Datei" writes, proposing one; an empty answer cancels.
    using FileNameQuery = std::function<QString(const QString& proposal)>;
    // What the queue's driver (its PPD) says, through Qt's print support: the paper sizes it
    // offers (empty where it reports none), its default paper (invalid where it has none),
    // and the page a paper gives in an orientation (nothing where it cannot tell).
    struct QueueDriver {
        std::function<QList<QPageSize>(const QString& queue)> paperSizes;
        std::function<QPageSize(const QString& queue)> defaultPaper;
        std::function<std::optional<QPageLayout>(
            const QString& queue, const QPageSize& size, QPageLayout::Orientation orientation)>
            pageLayout;
    };
    struct Limits {
        std::chrono::milliseconds listTimeout { 5000 };
        std::chrono::milliseconds responseTimeout { 30000 };
        AbortPoll abortPoll;
    };

    // Without a file name query "PDF-Datei" saves nothing; without a driver every queue prints
    // on A4 (or the paper set) without margins.
    explicit CupsPrinterService(FileNameQuery askFileName = {}, QueueDriver queueDriver = {});
    ~CupsPrinterService() override;

    std::vector<Printer*> printers() override;
    // CUPS's default, as the first listing of the printers found it.
    Printer* currentPrinter() override;
    void setCurrentPrinter(Printer* printer) override;
    // For "PDF-Datei": proposes the folder's name with ".pdf", in the folder last chosen, else in
    // the printed folder, else (not writable) in the documents folder. A file chosen that is
    // not a regular file throws PrinterError.
    bool prepareJob(Printer* printer, const QString& folder) override;
    QString jobTarget(Printer* printer) const override;

    // Applies to every later request of this service's printers.
    void setAbortPoll(AbortPoll poll) override { m_limits->abortPoll = std::move(poll); }
    void setTimeouts(std::chrono::milliseconds list, std::chrono::milliseconds response)
    {
        m_limits->listTimeout = list;
        m_limits->responseTimeout = response;
    }

    static QString pdfPrinterName() { return QStringLiteral("PDF-Datei"); }
    // The built-in "PDF-Datei", without asking CUPS for anything.
    Printer* pdfPrinter() const;

private:
    Printer* queuePrinter(const QString& name);
    // The destinations' names in CUPS's order, and the default's in *defaultName.
    QStringList listQueues(QString* defaultName = nullptr);

    // Shared with the printers, which live as long as the service.
    std::unique_ptr<Limits> m_limits;
    QueueDriver m_queueDriver;
    // The last listing ran out of time: the next ones wait only briefly until CUPS answers.
    bool m_silent = false;
    // The printers have been listed once (or one was made current): m_current is chosen.
    bool m_listed = false;

    // Printers are kept for the service's lifetime, also after their queue is gone,
    // so that every pointer handed out stays valid.
    std::map<QString, std::unique_ptr<PdfDocumentPrinter>> m_queues;
    std::unique_ptr<PdfDocumentPrinter> m_pdfPrinter;
    Printer* m_current = nullptr;
    // Where the user saved a contact sheet last in this session.
    QString m_lastPdfFolder;
};

} // namespace rasterblatt
