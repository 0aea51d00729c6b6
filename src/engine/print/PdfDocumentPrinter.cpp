// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PdfDocumentPrinter.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>

namespace rasterblatt {

namespace {

    // Device units of the document are twips.
    constexpr int Resolution = 1440;

    // Writes the PDF straight to the temporary file's descriptor and keeps the first
    // failure with its cause: QFile's buffer would report it late and seek() forgets it.
    class DocumentDevice final : public QIODevice {
    public:
        explicit DocumentDevice(int fd)
            : m_fd(fd)
        {
            open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        }

        int failure() const { return m_failure; }
        qint64 written() const { return m_written; }

    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* data, qint64 length) override
        {
            if (m_failure != 0)
                return -1;
            qint64 done = 0;
            while (done < length) {
                const ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(length - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    m_failure = n < 0 ? errno : EIO;
                    return -1;
                }
                done += n;
            }
            m_written += done;
            return done;
        }

    private:
        int m_fd;
        int m_failure = 0;
        qint64 m_written = 0;
    };

    // A document that could not be written whole: the job ends here, nothing of it goes on.
    PrinterError writeError(const QFile& file, int failure)
    {
        const QString folder = QDir::toNativeSeparators(QFileInfo(file.fileName()).absolutePath());
        QString reason = failure != 0 ? qt_error_string(failure) : QStringLiteral("Die Datei ist unvollständig.");
        if (failure == ENOSPC || failure == EDQUOT || failure == EFBIG)
            reason = QStringLiteral("Auf dem Datenträger ist kein Platz mehr.");
        return PrinterError(QStringLiteral("Das Druckdokument kann im Ordner „%1“ nicht geschrieben werden: %2")
                                .arg(folder, reason)
                                .toStdString());
    }

    // Whether the file holds all that was written and ends as a complete PDF does; reads
    // its tail, then goes back to the start.
    bool complete(QFile& file, qint64 written)
    {
        struct stat info { };
        if (::fstat(file.handle(), &info) != 0 || info.st_size != written || written < 5
            || !file.seek(qMax<qint64>(0, written - 1024)))
            return false;
        return file.read(1024).contains("%%EOF") && file.seek(0);
    }

} // namespace

struct PdfDocumentPrinter::Document {
    // Destroyed in reverse order: the painter lets go of the writer before the file goes.
    QTemporaryFile file;
    std::unique_ptr<DocumentDevice> device;
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter;
    bool pageBreakPending = false;
};

PdfDocumentPrinter::PdfDocumentPrinter(QString name)
    : m_name(std::move(name))
    , m_font(QStringLiteral("Arial"), 8)
    , m_metricsDevice(&m_metricsBuffer)
{
    m_metricsDevice.setResolution(Resolution);
}

PdfDocumentPrinter::~PdfDocumentPrinter() = default;

void PdfDocumentPrinter::setFontName(const QString& name) { m_font.setFamily(name); }

void PdfDocumentPrinter::setFontSize(double points)
{
    if (!(points > 0))
        throw PrinterError(QStringLiteral("Ungültige Schriftgröße: %1").arg(points).toStdString());
    m_font.setPointSizeF(points);
}

double PdfDocumentPrinter::textWidth(const QString& text)
{
    return QFontMetricsF(m_font, &m_metricsDevice).horizontalAdvance(text);
}

double PdfDocumentPrinter::textHeight(const QString&)
{
    // The distance from one line to the next, leading included, as the printer moves on.
    return QFontMetricsF(m_font, &m_metricsDevice).lineSpacing();
}

void PdfDocumentPrinter::printLine(const QString& text)
{
    Document& document = drawingTarget();
    const QFontMetricsF metrics(m_font, &m_metricsDevice);
    document.painter.setFont(m_font);
    document.painter.drawText(QPointF(m_x, m_y + metrics.ascent()), text);
    m_x = 0;
    m_y += metrics.lineSpacing();
}

void PdfDocumentPrinter::PaintPicture(const QImage& picture, double x, double y, double width, double height)
{
    if (picture.isNull())
        throw PrinterError("Das Bild ist leer und kann nicht gedruckt werden.");
    drawingTarget().painter.drawImage(QRectF(x, y, width, height), picture);
}

// Through millimetres, in which Qt keeps the standard page sizes exactly: its pixel rectangle
// goes through whole points and misses A4 by up to 6 twips.
int PdfDocumentPrinter::pageWidth()
{
    return qRound(pageLayout().paintRect(QPageLayout::Millimeter).width() / 25.4 * Resolution);
}

int PdfDocumentPrinter::pageHeight()
{
    return qRound(pageLayout().paintRect(QPageLayout::Millimeter).height() / 25.4 * Resolution);
}

void PdfDocumentPrinter::newPage()
{
    if (m_document)
        m_document->pageBreakPending = true;
    m_x = 0;
    m_y = 0;
}

void PdfDocumentPrinter::endDoc()
{
    std::unique_ptr<Document> document = std::move(m_document);
    resetDocument();
    if (!document)
        return;
    // Every write must have reached the file: a full disk leaves a cut-off PDF that CUPS
    // would take without complaint.
    QTemporaryFile& file = document->file;
    const bool ended = document->painter.end();
    if (!ended || document->device->failure() != 0 || !complete(file, document->device->written()))
        throw writeError(file, document->device->failure());
    deliver(file);
}

void PdfDocumentPrinter::killDoc()
{
    m_document.reset();
    resetDocument();
}

const QPageLayout& PdfDocumentPrinter::pageLayout()
{
    if (!m_layout)
        m_layout = defaultPageLayout();
    return *m_layout;
}

PdfDocumentPrinter::Document& PdfDocumentPrinter::drawingTarget()
{
    if (m_document) {
        // Fails early when the disk is full, rather than drawing on into a broken file.
        if (m_document->device->failure() != 0)
            throw writeError(m_document->file, m_document->device->failure());
        if (m_document->pageBreakPending) {
            if (!m_document->writer->newPage())
                throw PrinterError("Eine neue Seite kann nicht begonnen werden.");
            m_document->pageBreakPending = false;
        }
        return *m_document;
    }

    auto document = std::make_unique<Document>();
    const QString folder = documentFolder();
    document->file.setFileTemplate(QDir(folder).filePath(QStringLiteral(".rasterblatt-XXXXXX.pdf")));
    if (!document->file.open())
        throw PrinterError(QStringLiteral("Das Druckdokument kann im Ordner „%1“ nicht angelegt werden: %2")
                               .arg(QDir::toNativeSeparators(folder), document->file.errorString())
                               .toStdString());
    document->device = std::make_unique<DocumentDevice>(document->file.handle());
    document->writer = std::make_unique<QPdfWriter>(document->device.get());
    document->writer->setResolution(Resolution);
    document->writer->setCreator(QStringLiteral("Rasterblatt"));
    document->writer->setTitle(QStringLiteral("Kontaktabzug"));
    if (!document->writer->setPageLayout(pageLayout()))
        throw PrinterError("Das Papierformat des Druckers wird nicht unterstützt.");
    if (!document->painter.begin(document->writer.get()))
        throw PrinterError("Das Druckdokument kann nicht begonnen werden.");
    // Scaled pictures are resampled smoothly, not picked pixel by pixel.
    document->painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_document = std::move(document);
    return *m_document;
}

void PdfDocumentPrinter::resetDocument()
{
    m_layout.reset();
    m_x = 0;
    m_y = 0;
}

} // namespace rasterblatt
