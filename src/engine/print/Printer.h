// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <stdexcept>
#include <vector>

#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include "engine/common/Error.h"
#include "engine/print/SheetSetup.h"

namespace rasterblatt {

// A failed printer operation: what failed as data, and what() its sentence (errorText).
class PrinterError : public std::runtime_error {
public:
    explicit PrinterError(Error error)
        : std::runtime_error(errorText(error).toStdString())
        , m_error(std::move(error))
    {
    }
    const Error& error() const { return m_error; }

private:
    Error m_error;
};

// The user cancelled while the printer waited for its spooler: nothing was sent.
class PrintCancelled : public PrinterError {
public:
    PrintCancelled()
        : PrinterError(Error(Error::Kind::Cancelled))
    {
    }
};

// The paper sizes a printer that reports none offers, the first its default.
QList<QPageSize> standardPapers();

// One installed printer and its document. Positions and sizes are twips, measured from the
// top-left corner of the printable area of the document's page: the paper and orientation
// set for it, or the printer's default paper in portrait. The first drawing opens the
// document; a new page is only emitted when something is drawn after it, so an empty
// trailing page never prints, and a document with nothing drawn prints nothing.
// Every operation may throw PrinterError.
class Printer {
public:
    virtual ~Printer() = default;

    virtual QString deviceName() const = 0;

    // The paper sizes the printer reports (empty where it reports none: standardPapers()
    // then stand for them) and its default.
    virtual QList<QPageSize> paperSizes() { return {}; }
    virtual QPageSize defaultPaper() { return QPageSize(QPageSize::A4); }
    // The page of the next document, from its first drawing to its end.
    virtual void setPaper(const QPageSize& size, QPageLayout::Orientation orientation)
    {
        Q_UNUSED(size);
        Q_UNUSED(orientation);
    }
    // The page the next document is drawn on: its paper and its printable area.
    virtual QPageLayout pageLayout() { return QPageLayout(defaultPaper(), QPageLayout::Portrait, QMarginsF()); }
    // The name of the next document: its title, and the print job's name.
    virtual void setDocumentName(const QString& name) { Q_UNUSED(name); }

    // The font applies to all later text of the document.
    virtual void setFontName(const QString& name) = 0;
    virtual void setFontSize(double points) = 0;
    virtual double textWidth(const QString& text) = 0;
    // The height of one line of text in the current font.
    virtual double textHeight(const QString& text) = 0;

    // The text position: the top-left corner of the next line printed.
    virtual void setCurrentX(double x) = 0;
    virtual void setCurrentY(double y) = 0;
    virtual double currentX() const = 0;
    virtual double currentY() const = 0;
    // Prints one line at the text position, then moves the position to the start of the next line.
    virtual void printLine(const QString& text) = 0;

    // Stretches the whole picture into the rectangle.
    virtual void PaintPicture(const QImage& picture, double x, double y, double width, double height) = 0;
    // A hairline (0.25 pt, mid grey) centred on the rectangle's edge.
    virtual void drawFrame(double x, double y, double width, double height) = 0;

    // The printable area of the document's page, in whole twips.
    virtual int pageWidth() = 0;
    virtual int pageHeight() = 0;
    virtual double himetricToTwipsX(double himetric) const { return himetric * 1440.0 / 2540.0; }
    virtual double himetricToTwipsY(double himetric) const { return himetric * 1440.0 / 2540.0; }

    virtual void newPage() = 0;
    // Sends the document's pages as one job.
    virtual void endDoc() = 0;
    // Throws the document away: nothing of it reaches the printer.
    virtual void killDoc() = 0;
};

// The installed printers and the application's current printer.
class PrinterService {
public:
    virtual ~PrinterService() = default;

    // The installed printers in their fixed order, looked up afresh; the pointers stay
    // valid for the service's lifetime.
    virtual std::vector<Printer*> printers() = 0;
    // The current printer, or nullptr when there is none.
    virtual Printer* currentPrinter() = 0;
    virtual void setCurrentPrinter(Printer* printer) = 0;
    // The printer of exactly that name, looked up afresh; nullptr when it is not installed.
    Printer* printerNamed(const QString& name)
    {
        for (Printer* printer : printers()) {
            if (printer->deviceName() == name)
                return printer;
        }
        return nullptr;
    }
    // Asks, before a job on the printer starts, what the job needs to know from the user (where
    // "PDF-Datei" saves the folder's contact sheet); false when the user cancels. Throws
    // PrinterError for an answer no job can use.
    virtual bool prepareJob(Printer* printer, const QString& folder)
    {
        Q_UNUSED(printer);
        Q_UNUSED(folder);
        return true;
    }
    // The file the printer's next document is written to; empty for a printer that writes none.
    virtual QString jobTarget(Printer* printer) const
    {
        Q_UNUSED(printer);
        return {};
    }

    // A question about the papers of the printer of that name, for a thread other than the
    // window's: it holds nothing of the service and waits for the print system at most about
    // `bound`. This one answers at once, from what the printer says now.
    virtual std::function<PrinterPapers()> papersQuestion(const QString& name, std::chrono::milliseconds bound);

    // Asked while a printer waits for its spooler, a few times a second (it may process
    // events): true gives up the job being sent. Without one only time limits end a wait.
    using AbortPoll = std::function<bool()>;
    virtual void setAbortPoll(AbortPoll poll) { (void)poll; }
};

} // namespace rasterblatt
