// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/print/PrintJob.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "engine/catalogue/Directory.h"
#include "engine/picture/DecodeAhead.h"
#include "engine/picture/Units.h"
#include "engine/print/Printer.h"
#include "engine/print/SheetLayout.h"

namespace rasterblatt {

namespace {

    const QString jobFont = QStringLiteral("Arial");
    constexpr double jobFontSize = 7;
    // Names too wide for their column shrink down to this size.
    constexpr double smallestNameSize = 5;
    constexpr double printDpi = 300;
    // How often a cell that waits for its picture looks at the abort request.
    constexpr int PollMs = 20;

    QSize paperPixels(const Fit<double>& place)
    {
        const auto pixels
            = [](double twips) { return std::max(1, int(std::ceil(units::twipsToPixels(twips, printDpi) - 1e-6))); };
        return QSize(pixels(place.width), pixels(place.height));
    }

    Fit<double> placeNatural(float left, float top, float width, float height, QSize natural, bool keepAspect)
    {
        return placeInArea(
            left, top, width, height, naturalTwips(natural.width()), naturalTwips(natural.height()), keepAspect);
    }

    // The name under the picture: centred on it, a tenth of a line below it. A name wider
    // than its column (the width of a picture area, which leaves the gap to the next one)
    // is set smaller, down to the smallest size, and kept on the sheet.
    void printName(Printer& prn, const Fit<double>& place, float pitch, double lineHeight, const QString& name)
    {
        double width = prn.textWidth(name);
        double size = jobFontSize;
        while (width > pitch && size > smallestNameSize) {
            size = std::max(smallestNameSize, std::min(size - 0.25, size * pitch / width));
            prn.setFontSize(size);
            width = prn.textWidth(name);
        }
        double x = place.x + (place.width - width) / 2;
        if (size < jobFontSize)
            x = std::clamp(x, 0.0, std::max(0.0, prn.pageWidth() - width));
        prn.setCurrentX(x);
        prn.setCurrentY(place.y + place.height + 0.1 * lineHeight);
        prn.printLine(name);
        if (size < jobFontSize)
            prn.setFontSize(jobFontSize);
    }

    // One cell: the picture fitted and centred in its area, the name under it. A file that
    // could not be loaded prints its name alone, under the area.
    void PrintThumbnail(Printer& prn, float sngLeft, float sngTop, float sngMaxWidth, float sngMaxHeight,
        const QString& sPath, const DecodedPicture& picture, const PrintJobSettings& settings,
        std::optional<double> nameLine)
    {
        Fit<double> place { sngLeft, sngTop, sngMaxWidth, sngMaxHeight };
        if (picture.loaded() && !picture.image.isNull()) {
            place = placeNatural(sngLeft, sngTop, sngMaxWidth, sngMaxHeight, picture.natural, settings.bKeepAspect);
            prn.PaintPicture(picture.image, place.x, place.y, place.width, place.height);
        }
        if (nameLine)
            printName(prn, place, sngMaxWidth, *nameLine, displayName(fileNameOf(sPath)));
    }

} // namespace

DecodedPicture decodeThumbnail(const QString& path, const ThumbnailRequest& request)
{
    QSize paper;
    DecodedPicture picture = decodeFor(path, [&](const QSize& natural) {
        paper = paperPixels(placeNatural(0, 0, request.width, request.height, natural, request.keepAspect));
        return paper;
    });
    // Qt's PDF writer embeds an image at its own size: hand it no more pixels than the paper takes.
    const QImage& image = picture.image;
    if (!image.isNull() && image.size() != paper && image.width() >= paper.width()
        && image.height() >= paper.height())
        picture.image = image.scaled(paper, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture;
}

bool PrintSelection(
    Printer& prn, const QStringList& files, const PrintJobSettings& settings, const PageCallbacks& callbacks)
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
    const ThumbnailRequest request { grid.picWidth, grid.picHeight, settings.bKeepAspect };
    const auto abortRequested = [&] { return callbacks.abortRequested && callbacks.abortRequested(); };

    // Leaving the job drops the decodes still queued and waits for the running ones.
    DecodeAhead<DecodedPicture> ahead;
    const std::size_t bound = 2 * std::size_t(ahead.threads());
    std::deque<QFuture<DecodedPicture>> queue;
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
        QFuture<DecodedPicture> pending = std::move(queue.front());
        queue.pop_front();

        const qint64 cell = i % perPage;
        if (cell == 0 && i > 0)
            prn.newPage();
        const float x = grid.left + float(cell % settings.nCols) * grid.cellWidth;
        const float y = grid.top + float(cell / settings.nCols) * grid.cellHeight;
        if (callbacks.progress)
            callbacks.progress(int(i + 1), int(files.size()));

        const std::optional<DecodedPicture> picture = DecodeAhead<DecodedPicture>::wait(pending, abortRequested, PollMs);
        if (!picture)
            return false;
        if (callbacks.picture)
            callbacks.picture(files[i], *picture);
        PrintThumbnail(prn, x, y, grid.picWidth, grid.picHeight, files[i], *picture, settings, nameLine);
    }
    return true;
}

} // namespace rasterblatt
