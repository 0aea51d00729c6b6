#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QString>

#include "print/PrinterService.h"

namespace rasterblatt {

class PdfDocumentPrinter;

// The CUPS destinations, followed by the built-in printer "PDF-Datei" that saves the
// document as a PDF file. Ending a document on a CUPS destination submits it as one PDF
// job; "PDF-Datei" asks where to save it before the job starts.
class CupsPrinterService final : public PrinterService {
public:
    // Asks for the file that "PDF-Datei" writes, proposing one; an empty answer cancels.
    using FileNameQuery = std::function<QString(const QString& proposal)>;

    // Without a query, a save dialog asks.
    explicit CupsPrinterService(FileNameQuery askFileName = {});
    ~CupsPrinterService() override;

    std::vector<Printer*> printers() override;
    Printer* currentPrinter() override { return m_current; }
    void setCurrentPrinter(Printer* printer) override { m_current = printer; }
    // For "PDF-Datei": proposes the folder's name with ".pdf", in the folder last chosen, else in
    // the printed folder, else (not writable) in the documents folder.
    bool prepareJob(Printer* printer, const QString& folder) override;

    static QString pdfPrinterName() { return QStringLiteral("PDF-Datei"); }
    // The built-in "PDF-Datei", without asking CUPS for anything.
    Printer* pdfPrinter() const;
    // The save dialog, on the proposed file.
    static QString askFileNameWithDialog(const QString& proposal);

private:
    Printer* queuePrinter(const QString& name);

    // Printers are kept for the service's lifetime, also after their queue is gone,
    // so that every pointer handed out stays valid.
    std::map<QString, std::unique_ptr<PdfDocumentPrinter>> m_queues;
    std::unique_ptr<PdfDocumentPrinter> m_pdfPrinter;
    Printer* m_current = nullptr;
    // Where the user saved a contact sheet last in this session.
    QString m_lastPdfFolder;
};

} // namespace rasterblatt
