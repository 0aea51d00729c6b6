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

class CupsQueuePrinter;
class JpegFilesPrinter;
class PdfFilePrinter;

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
    struct Limits {
        std::chrono::milliseconds listTimeout { 5000 };
        std::chrono::milliseconds responseTimeout { 30000 };
        AbortPoll abortPoll;
    };

    // Without a file name query "PDF-Datei" saves nothing.
    explicit CupsPrinterService(FileNameQuery askFileName = {});
    ~CupsPrinterService() override;

    std::vector<Printer*> printers() override;
    // CUPS's default, as the first listing of the printers found it.
    Printer* currentPrinter() override;
    void setCurrentPrinter(Printer* printer) override;
    // For "PDF-Datei" and "Bilddateien (JPEG)": proposes the folder's name with ".pdf" (".jpg"), in
    // the folder last chosen, else in the printed folder, else (not writable) in the documents
    // folder. A file chosen that is not a regular file throws PrinterError.
    bool prepareJob(Printer* printer, const QString& folder) override;
    QString jobTarget(Printer* printer) const override;
    // Asks the scheduler whether it knows the destination and, once per destination, what its
    // driver (the queue's PPD) says of its paper; on a connection of its own that gives up after
    // `bound`.
    std::function<PrinterPapers()> papersQuestion(const QString& name, std::chrono::milliseconds bound) override;

    // Applies to every later request of this service's printers.
    void setAbortPoll(AbortPoll poll) override { m_limits->abortPoll = std::move(poll); }
    void setTimeouts(std::chrono::milliseconds list, std::chrono::milliseconds response)
    {
        m_limits->listTimeout = list;
        m_limits->responseTimeout = response;
    }

    static QString pdfPrinterName();
    // What each destination's driver said of its paper, shared with questions still running.
    struct PaperBook;
    // The built-in "PDF-Datei", without asking CUPS for anything.
    Printer* pdfPrinter() const;
    // The built-in "Bilddateien (JPEG)", listed after "PDF-Datei".
    JpegFilesPrinter* jpegPrinter() const { return m_jpegPrinter.get(); }

private:
    Printer* queuePrinter(const QString& name);
    // The destinations' names in CUPS's order, and the default's in *defaultName.
    QStringList listQueues(QString* defaultName = nullptr);

    // Shared with the printers, which live as long as the service.
    std::unique_ptr<Limits> m_limits;
    std::shared_ptr<PaperBook> m_paperBook;
    // The last listing ran out of time: the next ones wait only briefly until CUPS answers.
    bool m_silent = false;
    // The printers have been listed once (or one was made current): m_current is chosen.
    bool m_listed = false;

    // Printers are kept for the service's lifetime, also after their queue is gone,
    // so that every pointer handed out stays valid.
    std::map<QString, std::unique_ptr<CupsQueuePrinter>> m_queues;
    std::unique_ptr<PdfFilePrinter> m_pdfPrinter;
    std::unique_ptr<JpegFilesPrinter> m_jpegPrinter;
    Printer* m_current = nullptr;
};

} // namespace rasterblatt
