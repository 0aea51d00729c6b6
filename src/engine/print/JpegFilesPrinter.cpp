// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/JpegFilesPrinter.h"

#include <cerrno>
#include <unistd.h>

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryFile>

#include "engine/catalogue/NativePath.h"
#include "engine/print/FileTarget.h"
#include "engine/print/ImagePrinter.h"

namespace rasterblatt {

namespace {

    // Writes all of data; 0, or the errno of the first failure.
    int writeAll(int fd, const QByteArray& data)
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            done += n;
        }
        return 0;
    }

    PrinterError notWritten(const QString& folder, const Error& cause)
    {
        return PrinterError(
            Error(Error::Kind::DocumentNotWritten, { displayName(QDir::toNativeSeparators(folder)) }, cause));
    }

} // namespace

struct JpegFilesPrinter::Document {
    QString folder; // where its pages are written, beside the target
    QStringList pages; // written, in order; removed with the document unless moved into place
    // Destroyed in reverse order: the painter lets go of the page first.
    QImage page;
    QPainter painter; // active while a page is drawn
    bool pageBreakPending = false;

    ~Document()
    {
        for (const QString& page : pages)
            QFile::remove(page);
    }

    // Writes the page drawn as a JPEG file beside the target.
    void finishPage()
    {
        painter.end();
        const int dotsPerMeter = qRound(Dpi / 0.0254);
        page.setDotsPerMeterX(dotsPerMeter);
        page.setDotsPerMeterY(dotsPerMeter);
        // Qt's writer embeds the profile of the image's colour space.
        page.setColorSpace(QColorSpace::SRgb);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(Quality);
        if (!writer.write(page))
            throw notWritten(folder, Error(Error::Kind::SystemText, { writer.errorString() }));
        page = QImage();
        // Closed once written, and opened again only to be moved into place: a sheet of many pages
        // holds no descriptor per page.
        QTemporaryFile file(QDir(folder).filePath(QStringLiteral(".rasterblatt-XXXXXX.jpg")));
        if (!file.open())
            throw PrinterError(Error(Error::Kind::DocumentNotCreated,
                { displayName(QDir::toNativeSeparators(folder)), file.errorString() }));
        if (const int failure = writeAll(file.handle(), bytes))
            throw notWritten(folder, writeFailure(failure));
        file.setAutoRemove(false);
        pages << file.fileName();
    }
};

JpegFilesPrinter::JpegFilesPrinter(FileNameQuery askFileName)
    : m_askFileName(std::move(askFileName))
{
}

JpegFilesPrinter::~JpegFilesPrinter() = default;

QStringList JpegFilesPrinter::pageFiles(const QString& target, int pages)
{
    if (pages <= 1)
        return { target };
    const QFileInfo info(target);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    QStringList files;
    for (int page = 1; page <= pages; ++page)
        files << QDir(info.path()).filePath(QStringLiteral("%1-%2%3").arg(stem).arg(page).arg(extension));
    return files;
}

void JpegFilesPrinter::setPaper(const QPageSize& size, QPageLayout::Orientation orientation)
{
    m_paper = size;
    m_orientation = orientation;
}

QPageLayout JpegFilesPrinter::pageLayout() { return QPageLayout(m_paper, m_orientation, QMarginsF()); }

bool JpegFilesPrinter::chooseTarget(const QString& folder)
{
    const QString target
        = m_askFileName ? m_askFileName(proposedTarget(folder, m_lastFolder, QStringLiteral(".jpg"))) : QString();
    if (target.isEmpty())
        return false;
    m_lastFolder = QFileInfo(target).absolutePath();
    if (const Error problem = checkTarget(target, {}, true))
        throw PrinterError(problem);
    setTarget(target);
    return true;
}

void JpegFilesPrinter::setTarget(const QString& target)
{
    m_target = target.isEmpty() ? QString() : resolvedTarget(target);
}

void JpegFilesPrinter::newPage()
{
    if (m_document && m_document->painter.isActive())
        m_document->pageBreakPending = true;
    moveToTop();
}

void JpegFilesPrinter::endDoc()
{
    std::unique_ptr<Document> document = std::move(m_document);
    resetDocument();
    if (!document)
        return;
    if (document->painter.isActive())
        document->finishPage();
    // A document begun without a target saves nothing.
    const QString target = std::exchange(m_target, QString());
    if (target.isEmpty())
        return;
    const QStringList files = pageFiles(target, int(document->pages.size()));
    for (const QString& file : files) {
        if (const Error problem = checkTarget(file, {}, true))
            throw PrinterError(problem);
    }
    if (QFileInfo(target).absolutePath() != document->folder)
        throw PrinterError(
            Error(Error::Kind::PictureFileNotWritable, { displayName(target) }, Error(Error::Kind::FolderChanged)));
    moveAllIntoPlace(document->pages, files, true);
    document->pages.clear();
}

void JpegFilesPrinter::killDoc()
{
    m_document.reset();
    resetDocument();
}

const QPageLayout& JpegFilesPrinter::documentLayout()
{
    if (!m_layout)
        m_layout = pageLayout();
    return *m_layout;
}

QPainter& JpegFilesPrinter::pagePainter()
{
    if (!m_document) {
        auto document = std::make_unique<Document>();
        // Beside the target, so that the finished pages only need their names; a document
        // begun without a target asks for one now.
        if (m_target.isEmpty() && m_askFileName)
            setTarget(m_askFileName(QString()));
        document->folder = m_target.isEmpty() ? QDir::tempPath() : QFileInfo(m_target).absolutePath();
        m_document = std::move(document);
    }
    Document& document = *m_document;
    if (std::exchange(document.pageBreakPending, false))
        document.finishPage();
    if (!document.painter.isActive()) {
        beginPaper(document.page, document.painter, documentLayout(), Dpi);
        if (document.page.isNull() || !document.painter.isActive())
            throw PrinterError(Error(Error::Kind::OutOfMemory));
    }
    return document.painter;
}

void JpegFilesPrinter::resetDocument()
{
    m_layout.reset();
    moveToTop();
}

} // namespace rasterblatt
