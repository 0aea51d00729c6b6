// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/PrintJob.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>

#include "catalogue/Directory.h"
#include "print/PrintLayout.h"
#include "print/PrinterService.h"
#include "render/DecodeAhead.h"
#include "render/FitAndPaint.h"
#include "render/Units.h"

namespace rasterblatt {

namespace {

    const QString jobFont = QStringLiteral("Arial");
    constexpr double jobFontSize = 7;
    // Names too wide for their column shrink down to this size.
    constexpr double smallestNameSize = 5;
    constexpr double printDpi = 300;

    QSize paperPixels(const ThumbnailPlacement& place)
    {
        const auto pixels
            = [](double twips) { return std::max(1, int(std::ceil(units::twipsToPixels(twips, printDpi) - 1e-6))); };
        return QSize(pixels(place.width), pixels(place.height));
    }

    ThumbnailPlacement placeNatural(float left, float top, float width, float height, QSize natural, bool keepAspect)
    {
        return placeThumbnail(
            left, top, width, height, naturalTwips(natural.width()), naturalTwips(natural.height()), keepAspect);
    }

    // The name under the picture: centred on it, a tenth of a line below it. A name wider
    // than its column (the width of a picture area, which leaves the gap to the next one)
    // is set smaller, down to the smallest size, and kept on the sheet.
    void printName(Printer& prn, const ThumbnailPlacement& place, float pitch, double lineHeight, const QString& name)
    {
        double width = prn.textWidth(name);
        double size = jobFontSize;
        while (width > pitch && size > smallestNameSize) {
            size = std::max(smallestNameSize, std::min(size - 0.25, size * pitch / width));
            prn.setFontSize(size);
            width = prn.textWidth(name);
        }
        double x = place.left + (place.width - width) / 2;
        if (size < jobFontSize)
            x = std::clamp(x, 0.0, std::max(0.0, prn.pageWidth() - width));
        prn.setCurrentX(x);
        prn.setCurrentY(place.top + place.height + 0.1 * lineHeight);
        prn.printLine(name);
        if (size < jobFontSize)
            prn.setFontSize(jobFontSize);
    }

    // One cell: the picture fitted and centred in its area, the name under it. A file that
    // could not be loaded prints its name alone, under the area.
    void PrintThumbnail(Printer& prn, float sngLeft, float sngTop, float sngMaxWidth, float sngMaxHeight,
        const QString& sPath, const Thumbnail& thumbnail, const PrintJobSettings& settings,
        std::optional<double> nameLine)
    {
        ThumbnailPlacement place { sngLeft, sngTop, sngMaxWidth, sngMaxHeight };
        if (thumbnail.picture.loaded() && !thumbnail.print.isNull()) {
            place = placeNatural(
                sngLeft, sngTop, sngMaxWidth, sngMaxHeight, thumbnail.picture.natural, settings.bKeepAspect);
            prn.paintPicture(thumbnail.print, place.left, place.top, place.width, place.height);
        }
        if (nameLine)
            printName(prn, place, sngMaxWidth, *nameLine, displayName(fileNameOf(sPath)));
    }

} // namespace

Thumbnail decodeThumbnail(const QString& path, const ThumbnailRequest& request)
{
    QSize paper;
    DecodedPicture picture = decodeFor(path, [&](const QSize& natural) {
        paper = paperPixels(placeNatural(0, 0, request.width, request.height, natural, request.keepAspect));
        return paper.expandedTo(request.preview.devicePixels(natural, request.keepAspect));
    });
    const QImage& image = picture.image;
    if (image.isNull())
        return {};
    // Qt's PDF writer embeds an image at its own size: hand it no more pixels than the paper takes.
    QImage print = image;
    if (image.size() != paper && image.width() >= paper.width() && image.height() >= paper.height())
        print = image.scaled(paper, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return { std::move(picture), std::move(print) };
}

bool PrintSelection(
    Printer& prn, const QStringList& files, const PrintJobSettings& settings, const PrintJobCallbacks& callbacks)
{
    if (settings.nCols < 1 || settings.nRows < 1)
        throw PrinterError("Spalten und Zeilen m\u00fcssen mindestens 1 sein.");
    prn.setFontName(jobFont);
    prn.setFontSize(jobFontSize);
    std::optional<double> nameLine;
    if (settings.bPrintFileName)
        nameLine = prn.textHeight(QStringLiteral("ABC"));
    const PageGeometry grid = pageGeometry(prn.pageWidth(), prn.pageHeight(), settings.nCols, settings.nRows, nameLine,
        prn.himetricToTwipsX(1), prn.himetricToTwipsY(1));

    const auto decode = callbacks.decode ? callbacks.decode : decodeThumbnail;
    const ThumbnailRequest request { grid.picWidth, grid.picHeight, settings.bKeepAspect, settings.preview };
    const auto abortRequested = [&] { return callbacks.abortRequested && callbacks.abortRequested(); };

    // Leaving the job drops the decodes still queued and waits for the running ones.
    DecodeAhead<Thumbnail> ahead;
    const std::size_t bound = 2 * std::size_t(ahead.threads());
    std::deque<std::future<Thumbnail>> queue;
    qsizetype queued = 0;

    const qint64 perPage = qint64(settings.nCols) * settings.nRows;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (abortRequested())
            return false;
        // The decoded pictures alive: the one drawn now and those waiting behind it.
        while (queued < files.size() && queue.size() < bound) {
            const QString path = files[queued++];
            queue.push_back(ahead.start([path, request, decode] { return decode(path, request); }));
        }
        std::future<Thumbnail> pending = std::move(queue.front());
        queue.pop_front();

        const qint64 cell = i % perPage;
        if (cell == 0 && i > 0)
            prn.newPage();
        const float x = grid.left + float(cell % settings.nCols) * grid.cellWidth;
        const float y = grid.top + float(cell / settings.nCols) * grid.cellHeight;
        if (callbacks.progress)
            callbacks.progress(int(i + 1), int(files.size()));

        const std::optional<Thumbnail> thumbnail = DecodeAhead<Thumbnail>::wait(pending, abortRequested);
        if (!thumbnail)
            return false;
        if (callbacks.showPicture)
            callbacks.showPicture(files[i], thumbnail->picture);
        PrintThumbnail(prn, x, y, grid.picWidth, grid.picHeight, files[i], *thumbnail, settings, nameLine);
    }
    return true;
}

bool PrintDocument(
    Printer& prn, const QStringList& files, const PrintJobSettings& settings, const PrintJobCallbacks& callbacks)
{
    try {
        const bool whole = PrintSelection(prn, files, settings, callbacks)
            && !(callbacks.abortRequested && callbacks.abortRequested());
        whole ? prn.endDoc() : prn.killDoc();
        return whole;
    } catch (...) {
        try {
            prn.killDoc();
        } catch (const std::exception&) {
            // Nothing more can be done with a document that cannot even be thrown away.
        }
        throw;
    }
}

} // namespace rasterblatt
