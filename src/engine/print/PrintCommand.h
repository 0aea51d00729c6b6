// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include <QList>
#include <QString>

#include "engine/common/Error.h"
#include "engine/print/PrintJob.h"

namespace rasterblatt {

class Printer;
class PrinterService;
class PrintSource;

// The flags of the long operations: a job (or a slide show) runs, and a stop was asked for.
struct RunFlags {
    bool bAbort = false;
    bool bPrinting = false;
};

// One print job from start to end, the same for the window and the command line: it marks
// the job as running, makes the chosen printer current, runs the page engine, sends the
// document (or throws it away when a stop was asked for, on an error, or when nothing was
// drawn) and makes the previous printer current again. Only one job runs at a time.
class PrintCommand {
public:
    enum class Outcome {
        Sent,
        NothingTicked, // no ticked entry was found: nothing was sent
        NothingReadable, // no cell had a picture or a name: nothing was sent
        Cancelled,
        Failed,
    };
    // A picture that could not be read, or was printed damaged, and why.
    struct PictureProblem {
        QString path;
        Error reason;
    };
    struct Result {
        Outcome outcome = Outcome::Sent;
        Error error; // why it failed
        int cells = 0; // filled
        int pictures = 0; // of them with a picture
        QList<PictureProblem> unreadable; // in the order printed
        QList<PictureProblem> damaged; // printed with what could be read
    };
    struct Callbacks {
        // The job has started: whatever must not start a second one is locked now.
        std::function<void()> started;
        // Lets pending events run (where a stop may be asked for): once per cell, and a few
        // times a second while the job waits for a picture or for the print system.
        std::function<void()> yield;
        std::function<void(int printed, int total)> progress;
        std::function<void(const QString& path, const DecodedPicture& picture)> picture;
        // The document is sent or thrown away and the previous printer is current again;
        // the job still counts as running.
        std::function<void()> windingUp;
        // For tests: decodes a cell's picture instead of decodeThumbnail.
        std::function<DecodedPicture(const QString& path, const ThumbnailRequest& request)> decode;
    };

    PrintCommand(PrinterService& printers, RunFlags& flags);

    bool running() const { return m_flags.bPrinting; }
    Result run(
        Printer& chosen, const PrintSource& source, const PrintJobSettings& settings, const Callbacks& callbacks);
    // Several sources into one document, in order, each from a new page with its own folder in
    // the header; the page numbers run through the document, progress counts all.
    Result run(Printer& chosen, const std::vector<const PrintSource*>& sources, const PrintJobSettings& settings,
        const Callbacks& callbacks);

    // What the window says after a job with pictures unreadable or damaged: their names (the
    // first `shown`, then how many more) and reasons; empty when there were none.
    static QString problemsText(const Result& result, int shown = 10);

private:
    PrinterService& m_printers;
    RunFlags& m_flags;
};

} // namespace rasterblatt
