#include "print/PdfDocumentPrinter.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QTemporaryFile>

namespace rasterblatt {

namespace {

    // Device units of the document are twips.
    constexpr int Resolution = 1440;

} // namespace

struct PdfDocumentPrinter::Document {
    // Destroyed in reverse order: the painter lets go of the writer before the file goes.
    QTemporaryFile file;
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

void PdfDocumentPrinter::paintPicture(const QImage& picture, double x, double y, double width, double height)
{
    if (picture.isNull())
        throw PrinterError("Das Bild ist leer und kann nicht gedruckt werden.");
    drawingTarget().painter.drawImage(QRectF(x, y, width, height), picture);
}

int PdfDocumentPrinter::pageWidth() { return pageLayout().paintRectPixels(Resolution).width(); }

int PdfDocumentPrinter::pageHeight() { return pageLayout().paintRectPixels(Resolution).height(); }

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
    if (!document->painter.end() || !document->file.flush() || !document->file.seek(0))
        throw PrinterError(QStringLiteral("Das Druckdokument konnte nicht geschrieben werden: %1")
                               .arg(document->file.errorString())
                               .toStdString());
    deliver(document->file);
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
        if (m_document->pageBreakPending) {
            if (!m_document->writer->newPage())
                throw PrinterError("Eine neue Seite kann nicht begonnen werden.");
            m_document->pageBreakPending = false;
        }
        return *m_document;
    }

    auto document = std::make_unique<Document>();
    document->file.setFileTemplate(QDir(QDir::tempPath()).filePath(QStringLiteral("rasterblatt-XXXXXX.pdf")));
    if (!document->file.open())
        throw PrinterError(QStringLiteral("Die temporäre Druckdatei kann nicht angelegt werden: %1")
                               .arg(document->file.errorString())
                               .toStdString());
    document->writer = std::make_unique<QPdfWriter>(&document->file);
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
