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
// job; ending it on "PDF-Datei" asks where to save it.
class CupsPrinterService final : public PrinterService {
public:
    // Asks for the file that "PDF-Datei" writes; an empty answer discards the document.
    using FileNameQuery = std::function<QString()>;

    // Without a query, a save dialog asks.
    explicit CupsPrinterService(FileNameQuery askFileName = {});
    ~CupsPrinterService() override;

    std::vector<Printer*> printers() override;
    Printer* currentPrinter() override { return m_current; }
    void setCurrentPrinter(Printer* printer) override { m_current = printer; }

    static QString pdfPrinterName() { return QStringLiteral("PDF-Datei"); }
    // The built-in "PDF-Datei", without asking CUPS for anything.
    Printer* pdfPrinter() const;
    // The save dialog: "Kontaktabzug.pdf" in the user's documents folder.
    static QString askFileNameWithDialog();

private:
    Printer* queuePrinter(const QString& name);

    // Printers are kept for the service's lifetime, also after their queue is gone,
    // so that every pointer handed out stays valid.
    std::map<QString, std::unique_ptr<PdfDocumentPrinter>> m_queues;
    std::unique_ptr<PdfDocumentPrinter> m_pdfPrinter;
    Printer* m_current = nullptr;
};

} // namespace rasterblatt
