#include "print/CupsPrinterService.h"

#include <cups/cups.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "print/PdfDocumentPrinter.h"

namespace rasterblatt {

namespace {

    QPageLayout a4WithoutMargins() { return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()); }

    // Why the last CUPS request failed, in CUPS's own words.
    QString cupsReason()
    {
        const QString text = QString::fromUtf8(cupsLastErrorString());
        return text.isEmpty() ? QString::fromUtf8(ippErrorString(cupsLastError())) : text;
    }

    PrinterError jobError(const QString& destination, const QString& reason)
    {
        return PrinterError(QStringLiteral("Der Druckauftrag für „%1“ konnte nicht gesendet werden: %2")
                                .arg(destination, reason)
                                .toStdString());
    }

    using Connection = std::unique_ptr<http_t, decltype(&httpClose)>;

    // Sends the file as one PDF job. A destination "queue/instance" is an lpoptions
    // instance: its saved options apply, as they do for lp.
    void submitJob(const QString& destination, QIODevice& pdf)
    {
        // A connection of our own, so that an unreachable scheduler is told apart from a
        // missing queue and no stale connection of an earlier job is reused.
        const Connection http(
            httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr), &httpClose);
        if (!http)
            throw jobError(destination,
                QStringLiteral("Das Drucksystem CUPS (%1) ist nicht erreichbar.").arg(QString::fromUtf8(cupsServer())));

        const QByteArray queue = destination.section(QLatin1Char('/'), 0, 0).toUtf8();
        const QByteArray instance = destination.section(QLatin1Char('/'), 1).toUtf8();
        const std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)> dest(
            cupsGetNamedDest(http.get(), queue.constData(), instance.isEmpty() ? nullptr : instance.constData()),
            [](cups_dest_t* d) { cupsFreeDests(1, d); });
        if (!dest)
            throw jobError(destination, cupsReason());

        const int job = cupsCreateJob(http.get(), dest->name, "Rasterblatt", dest->num_options, dest->options);
        if (job == 0)
            throw jobError(destination, cupsReason());
        // Nothing of a half-sent job may print.
        const auto cancel = [&](const QString& reason) {
            cupsCancelJob2(http.get(), dest->name, job, 0);
            return jobError(destination, reason);
        };

        if (cupsStartDocument(http.get(), dest->name, job, "Kontaktabzug.pdf", CUPS_FORMAT_PDF, 1)
            != HTTP_STATUS_CONTINUE)
            throw cancel(cupsReason());
        for (;;) {
            const QByteArray chunk = pdf.read(64 * 1024);
            if (chunk.isEmpty())
                break;
            if (cupsWriteRequestData(http.get(), chunk.constData(), static_cast<size_t>(chunk.size()))
                != HTTP_STATUS_CONTINUE) {
                cupsFinishDocument(http.get(), dest->name);
                throw cancel(cupsReason());
            }
        }
        if (!pdf.atEnd()) {
            const QString reason = pdf.errorString();
            cupsFinishDocument(http.get(), dest->name);
            throw cancel(reason);
        }
        if (cupsFinishDocument(http.get(), dest->name) > IPP_STATUS_OK_CONFLICTING)
            throw cancel(cupsReason());
    }

    class CupsQueuePrinter final : public PdfDocumentPrinter {
    public:
        using PdfDocumentPrinter::PdfDocumentPrinter;

    protected:
        QPageLayout defaultPageLayout() override
        {
            // A queue that is gone (or a scheduler that does not answer) fails when the job
            // is sent; until then the document is drawn on a plain A4 page.
            const QPrinterInfo info = QPrinterInfo::printerInfo(deviceName());
            if (info.isNull())
                return a4WithoutMargins();
            return QPrinter(info, QPrinter::HighResolution).pageLayout();
        }

        void deliver(QIODevice& pdf) override { submitJob(deviceName(), pdf); }
    };

    class PdfFilePrinter final : public PdfDocumentPrinter {
    public:
        explicit PdfFilePrinter(CupsPrinterService::FileNameQuery askFileName)
            : PdfDocumentPrinter(CupsPrinterService::pdfPrinterName())
            , m_askFileName(std::move(askFileName))
        {
        }

        QString askFileName(const QString& proposal) const { return m_askFileName(proposal); }
        // The file the next document goes to, asked for before the job.
        void setTarget(const QString& target) { m_target = target; }

        // The grid is laid out on A4 to the twip, 210 by 297 mm; Qt's page sizes are whole points.
        int pageWidth() override { return qRound(210 / 25.4 * 1440); }
        int pageHeight() override { return qRound(297 / 25.4 * 1440); }

    protected:
        QPageLayout defaultPageLayout() override { return a4WithoutMargins(); }

        void deliver(QIODevice& pdf) override
        {
            const QString target = m_target.isEmpty() ? m_askFileName(QString()) : std::exchange(m_target, QString());
            if (target.isEmpty())
                return;
            const QByteArray data = pdf.readAll();
            if (data.size() != pdf.size())
                throw fileError(target, pdf.errorString());
            QSaveFile out(target);
            if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
                throw fileError(target, out.errorString());
        }

    private:
        static PrinterError fileError(const QString& target, const QString& reason)
        {
            return PrinterError(QStringLiteral("Die PDF-Datei „%1“ kann nicht geschrieben werden: %2")
                                    .arg(QDir::toNativeSeparators(target), reason)
                                    .toStdString());
        }

        CupsPrinterService::FileNameQuery m_askFileName;
        QString m_target;
    };

} // namespace

CupsPrinterService::CupsPrinterService(FileNameQuery askFileName)
    : m_pdfPrinter(
        std::make_unique<PdfFilePrinter>(askFileName ? std::move(askFileName) : FileNameQuery(&askFileNameWithDialog)))
{
    // Without a CUPS default (or without CUPS) the PDF file is the only sure printer.
    const QString defaultName = QPrinterInfo::defaultPrinterName();
    m_current = defaultName.isEmpty() ? m_pdfPrinter.get() : queuePrinter(defaultName);
}

CupsPrinterService::~CupsPrinterService() = default;

std::vector<Printer*> CupsPrinterService::printers()
{
    std::vector<Printer*> result;
    for (const QString& name : QPrinterInfo::availablePrinterNames())
        result.push_back(queuePrinter(name));
    result.push_back(m_pdfPrinter.get());
    return result;
}

Printer* CupsPrinterService::pdfPrinter() const { return m_pdfPrinter.get(); }

bool CupsPrinterService::prepareJob(Printer* printer, const QString& folder)
{
    if (printer != pdfPrinter())
        return true;
    const QFileInfo printed(folder);
    const QString name = printed.fileName().isEmpty() ? QStringLiteral("Kontaktabzug") : printed.fileName();
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
    pdf->setTarget(target);
    return true;
}

QString CupsPrinterService::askFileNameWithDialog(const QString& proposal)
{
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Kontaktabzug als PDF-Datei speichern"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("PDF-Dateien (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setDirectory(QFileInfo(proposal).absolutePath());
    dialog.selectFile(QFileInfo(proposal).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

Printer* CupsPrinterService::queuePrinter(const QString& name)
{
    auto& printer = m_queues[name];
    if (!printer)
        printer = std::make_unique<CupsQueuePrinter>(name);
    return printer.get();
}

} // namespace rasterblatt
