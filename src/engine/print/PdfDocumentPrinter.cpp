// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PdfDocumentPrinter.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>

#include "engine/print/FileTarget.h"

namespace rasterblatt {

namespace {

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
        return PrinterError(Error(Error::Kind::DocumentNotWritten, { folder },
            failure != 0 ? writeFailure(failure) : Error(Error::Kind::DocumentIncomplete)));
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
    // The paper it is laid out on, whatever is set for the next document meanwhile.
    QPageSize paper;
};

PdfDocumentPrinter::PdfDocumentPrinter(QString name)
    : m_name(std::move(name))
{
}

PdfDocumentPrinter::~PdfDocumentPrinter() = default;

void PdfDocumentPrinter::setPaper(const QPageSize& size, QPageLayout::Orientation orientation)
{
    m_paper = size;
    m_orientation = orientation;
}

QPageLayout PdfDocumentPrinter::pageLayout() { return layoutFor(paper(), m_orientation); }

void PdfDocumentPrinter::newPage()
{
    if (m_document)
        m_document->pageBreakPending = true;
    moveToTop();
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
    deliver(file, document->paper);
}

void PdfDocumentPrinter::killDoc()
{
    m_document.reset();
    resetDocument();
}

const QPageLayout& PdfDocumentPrinter::documentLayout()
{
    if (!m_layout) {
        m_layoutPaper = paper();
        m_layout = layoutFor(m_layoutPaper, m_orientation);
    }
    return *m_layout;
}

QPainter& PdfDocumentPrinter::pagePainter()
{
    if (m_document) {
        // Fails early when the disk is full, rather than drawing on into a broken file.
        if (m_document->device->failure() != 0)
            throw writeError(m_document->file, m_document->device->failure());
        if (m_document->pageBreakPending) {
            if (!m_document->writer->newPage())
                throw PrinterError(Error(Error::Kind::NoNewPage));
            m_document->pageBreakPending = false;
        }
        return m_document->painter;
    }

    auto document = std::make_unique<Document>();
    const QString folder = documentFolder();
    document->file.setFileTemplate(QDir(folder).filePath(QStringLiteral(".rasterblatt-XXXXXX.pdf")));
    if (!document->file.open())
        throw PrinterError(
            Error(Error::Kind::DocumentNotCreated, { QDir::toNativeSeparators(folder), document->file.errorString() }));
    document->device = std::make_unique<DocumentDevice>(document->file.handle());
    document->writer = std::make_unique<QPdfWriter>(document->device.get());
    document->writer->setResolution(Resolution);
    document->writer->setCreator(QStringLiteral("Rasterblatt"));
    document->writer->setTitle(documentName());
    if (!document->writer->setPageLayout(documentLayout()))
        throw PrinterError(Error(Error::Kind::PaperUnsupported));
    document->paper = m_layoutPaper;
    if (!document->painter.begin(document->writer.get()))
        throw PrinterError(Error(Error::Kind::DocumentNotBegun));
    // Scaled pictures are resampled smoothly, not picked pixel by pixel.
    document->painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_document = std::move(document);
    return m_document->painter;
}

QString PdfDocumentPrinter::documentName() const
{
    return m_documentName.isEmpty() ? QStringLiteral("Kontaktabzug") : m_documentName;
}

void PdfDocumentPrinter::resetDocument()
{
    m_layout.reset();
    moveToTop();
}

} // namespace rasterblatt
