// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <QImage>
#include <QObject>
#include <QPageLayout>
#include <QStringList>

#include "engine/print/PrintJob.h"

class QThread;

namespace rasterblatt {

class PictureCache;

// The pages of a sheet as the printer gets them, drawn for the screen by the page engine on
// an image printer, one at a time on a thread of their own so that the window never waits.
// A page once drawn is kept until the sheet changes; a change drops what is being drawn and
// starts again. Nothing here touches a window's flags, its progress or its printer.
class SheetPreview : public QObject {
    Q_OBJECT

public:
    struct Sheet {
        QStringList files; // the ticked files, in order
        PrintJobSettings settings; // grid, options, set-up, folder name and date
        QPageLayout layout; // the printer's page for the set-up's paper and orientation
        double dpi = 72; // of the pages drawn
        // Where the cells' pictures come from, at no less than 300 ppi, so that a cell that
        // shrinks or moves is drawn from it again; decoded afresh when there is none.
        std::shared_ptr<PictureCache> cache;
    };

    explicit SheetPreview(QObject* parent = nullptr);
    ~SheetPreview() override;

    // A new sheet: the pages drawn go.
    void setSheet(const Sheet& sheet);
    // The sheet's pages; an empty sheet has one, blank.
    int pageCount() const;
    // Asks for a page: pageReady follows at once for one drawn already, else when it is.
    void requestPage(int page);
    // The page, or a null image while it is not drawn.
    QImage page(int page) const;

Q_SIGNALS:
    void pageReady(int page);

private:
    struct Request {
        int generation;
        int page;
        std::shared_ptr<const Sheet> sheet;
    };
    void drawPages();
    void delivered(int generation, int page, const QImage& image);

    std::shared_ptr<const Sheet> m_sheet;
    std::map<int, QImage> m_pages;
    // Shared with the drawing thread.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Request> m_request;
    std::atomic<int> m_generation = 0;
    bool m_stopping = false;
    QThread* m_thread = nullptr;
};

// Draws one page of the sheet (counting from 1) as the printer gets it.
QImage drawSheetPage(const SheetPreview::Sheet& sheet, int page, const std::function<bool()>& stopRequested = {});

} // namespace rasterblatt
