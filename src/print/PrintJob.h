// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>

#include <QImage>
#include <QStringList>

#include "render/FitAndPaint.h"

namespace rasterblatt {

class Printer;

// What a job takes once, when it starts.
struct PrintJobSettings {
    std::int32_t nCols = 7;
    std::int32_t nRows = 11;
    bool bPrintFileName = true;
    bool bKeepAspect = true;
    // The preview pane that shows each picture as it prints; decoded pictures cover it too.
    // An empty area: no pane.
    PictureArea preview;
};

// One cell's picture: for the pane, and for the paper at print resolution.
struct Thumbnail {
    DecodedPicture picture; // natural size and pixels that cover the pane and the paper
    QImage print; // 300 pixels per inch of the size drawn on paper, at most the file's own
};

// What decoding a thumbnail needs to know; the picture area is in twips.
struct ThumbnailRequest {
    float width = 0;
    float height = 0;
    bool keepAspect = true;
    PictureArea preview;
};

// Loads and decodes a file for its cell. Safe on any thread; failure: no natural size.
Thumbnail decodeThumbnail(const QString& path, const ThumbnailRequest& request);

struct PrintJobCallbacks {
    // Yields to the event loop and says whether the job is to stop; runs before every cell
    // and while a cell waits for its picture.
    std::function<bool()> abortRequested;
    // Before each cell: cells begun so far, and in all.
    std::function<void(int printed, int total)> progress;
    // Each cell's picture as it prints (a failed one too), for the preview pane.
    std::function<void(const QString& path, const DecodedPicture& picture)> showPicture;
    // Decodes a cell's picture on a worker thread; decodeThumbnail when empty.
    std::function<Thumbnail(const QString& path, const ThumbnailRequest& request)> decode;
};

// Prints the files in order as pages of nCols by nRows thumbnails, each with its name under
// it when wanted. The pictures are decoded ahead on all cores, in order, at most two per
// thread waiting at a time. Gives false when it stopped on request (the document is then
// unfinished), true when every file is drawn. Throws PrinterError for a printer's failure
// and for a grid without cells.
bool PrintSelection(
    Printer& prn, const QStringList& files, const PrintJobSettings& settings, const PrintJobCallbacks& callbacks);

// PrintSelection as one whole document: sent (endDoc) when every file is drawn and no stop was
// asked for, else thrown away (killDoc), also when it throws. Gives whether it was sent.
bool PrintDocument(
    Printer& prn, const QStringList& files, const PrintJobSettings& settings, const PrintJobCallbacks& callbacks);

} // namespace rasterblatt
