// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>

#include <QDate>

#include "engine/catalogue/StatusLine.h"
#include "engine/picture/DecodedPicture.h"
#include "engine/print/SheetSetup.h"

namespace rasterblatt {

class Printer;
class PrintSource;

// What a job takes once, when it starts.
struct PrintJobSettings {
    std::int32_t nCols = DefaultCols;
    std::int32_t nRows = DefaultRows;
    bool bPrintFileName = true;
    bool bKeepAspect = true;
    SheetSetup setup;
    QString folderName; // the header's, for the preview's list of files (a job asks its source)
    QDate date; // the header's; invalid: the day the job starts
    int firstPage = 1; // the number of the job's first page
    // The page numbers' total; 0: at each page, the pages before it and those the entries
    // ticked from it on need.
    int pageTotal = 0;
    double dpi = 300; // of the pictures on paper
};

// What decoding a cell's picture needs to know: its picture area in twips, and the resolution.
struct ThumbnailRequest {
    float width = 0;
    float height = 0;
    bool keepAspect = true;
    double dpi = 300;
};

// Loads and decodes a file for its cell: at the request's pixels per inch of the size it is
// drawn at on paper, at most the file's own pixels, so that the document carries no more than
// the paper shows. Safe on any thread; a file that fails has no natural size.
DecodedPicture decodeThumbnail(const QString& path, const ThumbnailRequest& request);
// The pixels a picture of that natural size takes in its cell, as decodeThumbnail decodes it.
QSize cellPixels(const QSize& natural, const ThumbnailRequest& request);

struct PageCallbacks {
    // Yields to the event loop and says whether the job is to stop; runs before every cell
    // and, every few milliseconds, while a cell waits for its picture.
    std::function<bool()> abortRequested;
    // Before each filled cell: cells filled so far, and the files ticked now.
    std::function<void(int printed, int ticked)> progress;
    // Each cell's picture as it prints (a failed one too).
    std::function<void(const QString& path, const DecodedPicture& picture)> picture;
    // Decodes a cell's picture on a worker thread; decodeThumbnail when empty.
    std::function<DecodedPicture(const QString& path, const ThumbnailRequest& request)> decode;
};

// How the page engine ended.
struct SheetResult {
    bool stopped = false; // on request, with the document unfinished
    int cells = 0; // filled with a ticked file
    int pictures = 0; // of them with a picture
    bool drawn = false; // a picture or a name reached the printer (a header or a page number alone is nothing)
};

// The page engine: prints the ticked entries of the source in list order as pages of nCols
// by nRows thumbnails, each with its name under it when wanted, and with the set-up's header
// and page numbers, on any printer; it neither opens nor ends the document, nor chooses its
// paper. It reads the entries' ticks afresh before every cell, so an
// entry ticked or unticked meanwhile is printed or left out, and a rebuilt list is read at
// the job's position. The pictures of the entries ticked ahead are decoded on all cores, in
// order, at most two per thread waiting at a time. Throws PrinterError for a printer's
// failure and for a grid without cells; what a decode throws comes out too.
SheetResult PrintSelection(
    Printer& prn, const PrintSource& source, const PrintJobSettings& settings, const PageCallbacks& callbacks);

} // namespace rasterblatt
