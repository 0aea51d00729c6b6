// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/SheetPreview.h"

#include <QThread>

#include "engine/catalogue/StatusLine.h"
#include "engine/picture/PictureCache.h"
#include "engine/print/ImagePrinter.h"
#include "engine/print/PrintSource.h"

namespace rasterblatt {

namespace {
    qint64 perPage(const PrintJobSettings& settings) { return qint64(settings.nCols) * settings.nRows; }
    // The cells' pictures are kept at what the paper takes, whatever the screen shows of it.
    constexpr double cachedDpi = 300;
} // namespace

QImage drawSheetPage(const SheetPreview::Sheet& sheet, int page, const std::function<bool()>& stopRequested)
{
    ImagePrinter printer(sheet.layout, sheet.dpi);
    const PrintJobSettings& given = sheet.settings;
    if (given.nCols < 1 || given.nRows < 1)
        return printer.image();
    // The page's files alone, numbered as in the whole sheet.
    PrintJobSettings settings = given;
    settings.dpi = sheet.dpi;
    settings.firstPage = page;
    settings.pageTotal = std::max(1, pageCount(int(sheet.files.size()), given.nCols, given.nRows));
    const FileListSource files(sheet.files.mid((page - 1) * perPage(given), perPage(given)), given.folderName);
    PageCallbacks callbacks;
    callbacks.abortRequested = stopRequested;
    if (sheet.cache)
        callbacks.decode = [cache = sheet.cache](const QString& path, ThumbnailRequest request) {
            request.dpi = std::max(request.dpi, cachedDpi);
            return cache->picture(path, [&](const QSize& natural) { return cellPixels(natural, request); });
        };
    try {
        PrintSelection(printer, files, settings, callbacks);
    } catch (const std::exception&) {
        // A page that cannot be drawn shows what it has.
    }
    return printer.image();
}

SheetPreview::SheetPreview(QObject* parent)
    : QObject(parent)
{
    m_thread = QThread::create([this] { drawPages(); });
    m_thread->start();
}

SheetPreview::~SheetPreview()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        ++m_generation;
    }
    m_wake.notify_all();
    // The page being drawn stops at its next cell; decodes still running finish on their own.
    m_thread->wait();
    delete m_thread;
}

void SheetPreview::setSheet(const Sheet& sheet)
{
    m_sheet = std::make_shared<const Sheet>(sheet);
    m_pages.clear();
    const std::lock_guard lock(m_mutex);
    ++m_generation;
    m_request.reset();
}

int SheetPreview::pageCount() const
{
    if (!m_sheet)
        return 1;
    const PrintJobSettings& settings = m_sheet->settings;
    return std::max(1, rasterblatt::pageCount(int(m_sheet->files.size()), settings.nCols, settings.nRows));
}

void SheetPreview::requestPage(int page)
{
    if (m_pages.count(page)) {
        Q_EMIT pageReady(page);
        return;
    }
    if (!m_sheet)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_request = Request { m_generation, page, m_sheet };
    }
    m_wake.notify_all();
}

QImage SheetPreview::page(int page) const
{
    const auto found = m_pages.find(page);
    return found == m_pages.end() ? QImage() : found->second;
}

void SheetPreview::drawPages()
{
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_request; });
            if (m_stopping)
                return;
            request = *std::exchange(m_request, std::nullopt);
        }
        const auto stale = [&] { return m_generation != request.generation; };
        const QImage image = drawSheetPage(*request.sheet, request.page, stale);
        if (!stale())
            QMetaObject::invokeMethod(
                this, [this, request, image] { delivered(request.generation, request.page, image); },
                Qt::QueuedConnection);
    }
}

void SheetPreview::delivered(int generation, int page, const QImage& image)
{
    if (generation != m_generation)
        return;
    m_pages[page] = image;
    Q_EMIT pageReady(page);
}

} // namespace rasterblatt
