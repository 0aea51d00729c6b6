// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PrintJob.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "engine/catalogue/Directory.h"
#include "engine/picture/DecodeAhead.h"
#include "engine/picture/Units.h"
#include "engine/print/PrintSource.h"
#include "engine/print/Printer.h"
#include "engine/print/SheetLayout.h"

namespace rasterblatt {

namespace {

    const QString jobFont = QStringLiteral("Arial");
    constexpr double jobFontSize = 7;
    // The header and the page numbers.
    constexpr double lineFontSize = 8;
    // How often a cell that waits for its picture looks at the abort request.
    constexpr int PollMs = 20;

    QSize paperPixels(const Fit<double>& place, double dpi)
    {
        const auto pixels
            = [dpi](double twips) { return std::max(1, int(std::ceil(units::twipsToPixels(twips, dpi) - 1e-6))); };
        return QSize(pixels(place.width), pixels(place.height));
    }

    // The pictures of the entries ticked ahead of the job, decoding on worker threads. Each
    // knows its entry's position and path; a picture whose entry was unticked, or whose
    // position holds another path since the list was rebuilt, is dropped unused.
    class DecodingAhead {
    public:
        DecodingAhead(const PrintSource& source, ThumbnailRequest request, const PageCallbacks& callbacks)
            : m_source(source)
            , m_request(request)
            , m_decode(callbacks.decode ? callbacks.decode : decodeThumbnail)
            , m_bound(2 * std::size_t(m_pool.threads()))
        {
        }

        // The picture for the entry at index, once decoded; nothing when poll asked to stop first.
        std::optional<DecodedPicture> take(
            int index, const QString& path, const DecodeAhead<DecodedPicture>::Poll& poll)
        {
            while (!m_queue.empty()
                && (m_queue.front().index < index || (m_queue.front().index == index && m_queue.front().path != path)))
                m_queue.pop_front();
            QFuture<DecodedPicture> picture;
            if (!m_queue.empty() && m_queue.front().index == index) {
                picture = m_queue.front().picture;
                m_queue.pop_front();
            } else {
                picture = start(path);
            }
            m_next = std::max(m_next, index + 1);
            fill();
            return DecodeAhead<DecodedPicture>::wait(picture, poll, PollMs);
        }

    private:
        struct Pending {
            int index;
            QString path;
            QFuture<DecodedPicture> picture;
        };

        QFuture<DecodedPicture> start(const QString& path)
        {
            return m_pool.start([path, request = m_request, decode = m_decode] { return decode(path, request); });
        }
        // The pictures alive: the one drawn now and those waiting behind it.
        void fill()
        {
            for (; m_queue.size() + 1 < m_bound && m_next < m_source.count(); ++m_next) {
                if (m_source.isTicked(m_next)) {
                    const QString path = m_source.path(m_next);
                    m_queue.push_back({ m_next, path, start(path) });
                }
            }
        }

        const PrintSource& m_source;
        const ThumbnailRequest m_request;
        const std::function<DecodedPicture(const QString&, const ThumbnailRequest&)> m_decode;
        DecodeAhead<DecodedPicture> m_pool;
        const std::size_t m_bound;
        std::deque<Pending> m_queue;
        int m_next = 0; // the next entry to look at for decoding ahead
    };

    // The names of the entries ticked from index on, as many as a page holds.
    QStringList namesFrom(const PrintSource& source, int index, qint64 perPage)
    {
        QStringList names;
        for (; index < source.count() && names.size() < perPage; ++index) {
            if (source.isTicked(index))
                names << displayName(fileNameOf(source.path(index)));
        }
        return names;
    }

} // namespace

QSize cellPixels(const QSize& natural, const ThumbnailRequest& request)
{
    return paperPixels(placeCell(0, 0, request.width, request.height, natural, request.keepAspect).photo, request.dpi);
}

DecodedPicture decodeThumbnail(const QString& path, const ThumbnailRequest& request)
{
    QSize paper;
    DecodedPicture picture
        = decodeFor(path, [&](const QSize& natural) { return paper = cellPixels(natural, request); });
    // Qt's PDF writer embeds an image at its own size: hand it no more pixels than the paper takes.
    const QImage& image = picture.image;
    if (!image.isNull() && image.size() != paper && image.width() >= paper.width() && image.height() >= paper.height())
        picture.image = image.scaled(paper, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

SheetResult PrintSelection(
    Printer& prn, const PrintSource& source, const PrintJobSettings& settings, const PageCallbacks& callbacks)
{
    if (settings.nCols < 1 || settings.nRows < 1)
        throw PrinterError("Spalten und Zeilen m\u00fcssen mindestens 1 sein.");
    const SheetSetup& setup = settings.setup;
    prn.setFontName(jobFont);
    double fontSize = 0;
    const auto useSize = [&](double points) {
        if (points != fontSize)
            prn.setFontSize(fontSize = points);
    };
    const MeasureText measure = [&](const QString& text, double points) {
        useSize(points);
        return prn.textWidth(text);
    };
    double lineHeight8 = 0;
    if (setup.header || setup.pageNumbers) {
        useSize(lineFontSize);
        lineHeight8 = prn.textHeight(QStringLiteral("ABC"));
    }
    useSize(jobFontSize);
    std::optional<double> lineHeight;
    if (settings.bPrintFileName)
        lineHeight = prn.textHeight(QStringLiteral("ABC"));
    const PageGeometry grid = pageGeometry(prn.pageWidth(), prn.pageHeight(), settings.nCols, settings.nRows,
        lineHeight, prn.himetricToTwipsX(1), prn.himetricToTwipsY(1), setup.header ? lineHeight8 : 0,
        setup.pageNumbers ? lineHeight8 : 0);
    const qint64 perPage = qint64(settings.nCols) * settings.nRows;
    const int pageTotal
        = settings.pageTotal > 0 ? settings.pageTotal : int((source.tickedCount() + perPage - 1) / perPage);
    const QString date = (settings.date.isValid() ? settings.date : QDate::currentDate()).toString(u"dd.MM.yyyy");

    // The header and the page number of a page, drawn with its first cell: a page that stays
    // empty stays blank.
    const auto pageLines = [&](int page) {
        const double width = grid.areaRight - grid.left;
        if (setup.header) {
            const double dateWidth = measure(date, lineFontSize);
            const QString folder = fitName(settings.folderName, width - dateWidth - lineHeight8, lineFontSize, measure);
            prn.setCurrentX(grid.left);
            prn.setCurrentY(grid.areaTop);
            prn.printLine(folder);
            prn.setCurrentX(grid.areaRight - dateWidth);
            prn.setCurrentY(grid.areaTop);
            prn.printLine(date);
        }
        if (setup.pageNumbers) {
            const QString number = QStringLiteral("Seite %1 von %2").arg(page).arg(pageTotal);
            prn.setCurrentX(grid.left + (width - measure(number, lineFontSize)) / 2);
            prn.setCurrentY(grid.areaBottom - lineHeight8);
            prn.printLine(number);
        }
    };

    const auto abortRequested = [&] { return callbacks.abortRequested && callbacks.abortRequested(); };
    DecodingAhead ahead(source, { grid.picWidth, grid.picHeight, settings.bKeepAspect, settings.dpi }, callbacks);

    SheetResult result;
    int nFileIndex = 0;
    for (int page = settings.firstPage;; ++page) {
        if (nFileIndex >= source.count() || abortRequested()) {
            result.stopped = nFileIndex < source.count();
            return result;
        }
        // One size for the names of the page: those ticked as it starts.
        double nameSize = jobFontSize;
        if (lineHeight)
            nameSize = pageNameSize(namesFrom(source, nFileIndex, perPage), grid.picWidth, measure);
        bool pageBegun = false;
        float y = grid.top;
        for (std::int32_t row = 0; row < settings.nRows; ++row) {
            float x = grid.left;
            for (std::int32_t col = 0; col < settings.nCols; ++col) {
                if (abortRequested()) {
                    result.stopped = true;
                    return result;
                }
                while (nFileIndex < source.count() && !source.isTicked(nFileIndex))
                    ++nFileIndex;
                if (nFileIndex >= source.count())
                    continue; // the rest of the page stays empty
                ++result.cells;
                if (callbacks.progress)
                    callbacks.progress(result.cells, source.tickedCount());
                const QString path = source.path(nFileIndex);
                const std::optional<DecodedPicture> picture = ahead.take(nFileIndex, path, abortRequested);
                if (!picture) {
                    result.stopped = true;
                    return result;
                }
                if (callbacks.picture)
                    callbacks.picture(path, *picture);
                if (!std::exchange(pageBegun, true) && (setup.header || setup.pageNumbers)) {
                    pageLines(page);
                    result.drawn = true;
                }

                // The cell: the picture fitted into the box, the box into the picture area, the name under the box.
                const bool loaded = picture->loaded() && !picture->image.isNull();
                const CellPlacement cell = placeCell(
                    x, y, grid.picWidth, grid.picHeight, loaded ? picture->natural : QSize(), settings.bKeepAspect);
                if (loaded) {
                    prn.PaintPicture(picture->image, cell.photo.x, cell.photo.y, cell.photo.width, cell.photo.height);
                    ++result.pictures;
                    result.drawn = true;
                }
                if (lineHeight) {
                    const QString name = fitName(displayName(fileNameOf(path)), grid.picWidth, nameSize, measure);
                    prn.setCurrentX(cell.box.x + (cell.box.width - measure(name, nameSize)) / 2);
                    prn.setCurrentY(cell.box.y + cell.box.height + 0.1 * *lineHeight);
                    prn.printLine(name);
                    result.drawn = true;
                }
                x += grid.cellWidth;
                ++nFileIndex;
            }
            y += grid.cellHeight;
        }
        if (nFileIndex < source.count())
            prn.newPage();
    }
}

} // namespace rasterblatt
