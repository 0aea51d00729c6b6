// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PrintJob.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "engine/catalogue/Directory.h"
#include "engine/picture/DecodeAhead.h"
#include "engine/picture/Metadata.h"
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
            std::optional<DecodedPicture> taken = DecodeAhead<DecodedPicture>::wait(picture, poll, PollMs);
            // The future's own copy goes now, not when its worker lets go of it: so the pictures
            // alive are never more than the bound, however late the worker gets to it.
            if (taken)
                picture.takeResult();
            return taken;
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

    int tickedFrom(const PrintSource& source, int index)
    {
        int ticked = 0;
        for (; index < source.count(); ++index)
            ticked += source.isTicked(index);
        return ticked;
    }

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

    // What a job draws on its pages, with the fonts and the geometry measured once as it starts.
    class SheetPainter {
    public:
        SheetPainter(Printer& prn, const PrintSource& source, const PrintJobSettings& settings)
            : m_prn(prn)
            , m_source(source)
            , m_settings(settings)
            , m_setup(settings.setup)
            , m_date((settings.date.isValid() ? settings.date : QDate::currentDate()).toString(u"dd.MM.yyyy"))
        {
            prn.setFontName(jobFont);
            if (m_setup.header || m_setup.pageNumbers) {
                useSize(lineFontSize);
                m_lineHeight8 = prn.textHeight(QStringLiteral("ABC"));
            }
            useSize(jobFontSize);
            const int textLines = int(settings.bPrintFileName) + m_setup.captionLines();
            if (textLines > 0)
                m_lineHeight = prn.textHeight(QStringLiteral("ABC"));
            // The paper beyond the printable area, so that the lines stand equally far from its edges.
            const QMarginsF paper = prn.pageLayout().margins(QPageLayout::Millimeter) / 25.4 * units::TwipsPerInch;
            m_grid = pageGeometry(prn.pageWidth(), prn.pageHeight(), settings.nCols, settings.nRows, m_lineHeight,
                prn.himetricToTwipsX(1), prn.himetricToTwipsY(1), m_setup.header ? m_lineHeight8 : 0,
                m_setup.pageNumbers ? m_lineHeight8 : 0, paper.top(), paper.bottom(), textLines);
        }

        const PageGeometry& grid() const { return m_grid; }

        // One size for the names of the page: those ticked as it starts at the entry at index.
        double nameSize(int index)
        {
            if (!m_settings.bPrintFileName)
                return jobFontSize;
            const qint64 perPage = qint64(m_settings.nCols) * m_settings.nRows;
            return pageNameSize(namesFrom(m_source, index, perPage), m_grid.picWidth, measurer());
        }

        // The header and the page number of a page, drawn with its first cell (the entry at
        // index): a page that stays empty stays blank. Folder and total are read as the page
        // begins, as the ticks and the list are.
        void drawPageLines(int page, int index)
        {
            const double width = m_grid.areaRight - m_grid.left;
            if (m_setup.header) {
                const double dateWidth = measure(m_date, lineFontSize);
                const QString folder = fitName(m_setup.title.isEmpty() ? m_source.folderName() : m_setup.title,
                    width - dateWidth - m_lineHeight8, lineFontSize, measurer());
                m_prn.setCurrentX(m_grid.left);
                m_prn.setCurrentY(m_grid.areaTop);
                m_prn.printLine(folder);
                m_prn.setCurrentX(m_grid.areaRight - dateWidth);
                m_prn.setCurrentY(m_grid.areaTop);
                m_prn.printLine(m_date);
            }
            if (m_setup.pageNumbers) {
                const int total = m_settings.pageTotal > 0
                    ? m_settings.pageTotal
                    : page - 1 + pageCount(tickedFrom(m_source, index), m_settings.nCols, m_settings.nRows);
                const QString number = QStringLiteral("Seite %1 von %2").arg(page).arg(total);
                m_prn.setCurrentX(m_grid.left + (width - measure(number, lineFontSize)) / 2);
                m_prn.setCurrentY(m_grid.areaBottom - m_lineHeight8);
                m_prn.printLine(number);
            }
        }

        // The cell at (x, y): the picture fitted into the box, the box into the picture area, the
        // name and the caption lines under the box at the page's size, a line left empty where the
        // picture has nothing to say, so that a row's lines stay level. Counts what it drew into the result.
        void drawCell(
            float x, float y, const QString& path, const DecodedPicture& picture, double nameSize, SheetResult& result)
        {
            const bool loaded = picture.loaded() && !picture.image.isNull();
            const CellPlacement cell = placeCell(
                x, y, m_grid.picWidth, m_grid.picHeight, loaded ? picture.natural : QSize(), m_settings.bKeepAspect);
            if (loaded) {
                m_prn.PaintPicture(picture.image, cell.photo.x, cell.photo.y, cell.photo.width, cell.photo.height);
                if (m_setup.frame)
                    m_prn.drawFrame(cell.photo.x, cell.photo.y, cell.photo.width, cell.photo.height);
                ++result.pictures;
                result.drawn = true;
            }
            int line = 0;
            // The name keeps its extension and is always drawn; a caption has no extension.
            const auto textLine = [&](const QString& text, bool isName) {
                const QString shown = fitName(text, m_grid.picWidth, nameSize, measurer(), isName);
                if (isName || !shown.isEmpty()) {
                    m_prn.setCurrentX(cell.box.x + (cell.box.width - measure(shown, nameSize)) / 2);
                    m_prn.setCurrentY(textLineTop(cell.box.y + cell.box.height, line, *m_lineHeight));
                    m_prn.printLine(shown);
                    result.drawn = true;
                }
                ++line;
            };
            if (m_settings.bPrintFileName)
                textLine(displayName(fileNameOf(path)), true);
            if (m_setup.captionTime)
                textLine(captureTimeText(picture.metadata), false);
            if (m_setup.captionExposure)
                textLine(exposureText(picture.metadata), false);
        }

    private:
        void useSize(double points)
        {
            if (points != m_fontSize)
                m_prn.setFontSize(m_fontSize = points);
        }
        double measure(const QString& text, double points)
        {
            useSize(points);
            return m_prn.textWidth(text);
        }
        MeasureText measurer()
        {
            return [this](const QString& text, double points) { return measure(text, points); };
        }

        Printer& m_prn;
        const PrintSource& m_source;
        const PrintJobSettings& m_settings;
        const SheetSetup& m_setup;
        const QString m_date;
        double m_fontSize = 0;
        double m_lineHeight8 = 0; // of the header and the page numbers
        std::optional<double> m_lineHeight; // of the names; none without them
        PageGeometry m_grid;
    };

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
        throw PrinterError(Error(Error::Kind::NoCells));
    prn.setDocumentName(settings.setup.title.isEmpty() ? source.folderName() : settings.setup.title);
    SheetPainter sheet(prn, source, settings);
    const PageGeometry& grid = sheet.grid();
    const bool pageLines = settings.setup.header || settings.setup.pageNumbers;
    const auto abortRequested = [&] { return callbacks.abortRequested && callbacks.abortRequested(); };
    DecodingAhead ahead(source, { grid.picWidth, grid.picHeight, settings.bKeepAspect, settings.dpi }, callbacks);

    SheetResult result;
    int nFileIndex = 0;
    for (int page = settings.firstPage;; ++page) {
        if (nFileIndex >= source.count() || abortRequested()) {
            result.stopped = nFileIndex < source.count();
            return result;
        }
        const double nameSize = sheet.nameSize(nFileIndex);
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
                if (!std::exchange(pageBegun, true) && pageLines)
                    sheet.drawPageLines(page, nFileIndex);
                sheet.drawCell(x, y, path, *picture, nameSize, result);
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
