// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QDialog>
#include <QPageSize>

#include "engine/print/SheetPreview.h"
#include "engine/print/SheetSetup.h"

class QAbstractItemModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace rasterblatt {

class PictureCache;
class PictureChooser;
class SheetView;

// The dialog "Einrichten": the sheet's paper, orientation, header, title, page numbers and
// captions, and the file list's formats and order, with the
// sheet beside them as it will print, page by page. It follows every change of the window at
// once; it edits the window's set-up in place.
class SetupDialog : public QDialog {
    Q_OBJECT

public:
    // What the dialog reads of the window, afresh at every change.
    struct Window {
        std::function<QString()> printerName; // chosen in the printer list
        // The question about a printer's papers, asked on another thread; see PrinterService.
        std::function<std::function<PrinterPapers()>(const QString& name, std::chrono::milliseconds bound)> papers;
        std::function<QStringList()> tickedFiles;
        std::function<PrintJobSettings()> settings; // the window's grid, options, set-up and folder
        std::function<bool()> canPrint; // the window's "Drucken" is enabled
        std::function<bool()> allFormats; // the file list shows the further photo formats
        std::function<void(bool)> setAllFormats;
        // "Bildauswahl": the file list's entries and ticks, the catalogue's paths, and the
        // pictures' cache, shared with the sheet's preview.
        QAbstractItemModel* fileList = nullptr;
        std::function<QString(int)> path;
        std::shared_ptr<PictureCache> cache;
        std::function<void(const QList<int>& rows, bool ticked)> setTicked; // all at once
        std::function<void(const QString& path)> showPicture; // in the full-screen viewer
        std::function<bool()> timeOrder; // the file list is in the order the pictures were taken
        std::function<void(bool)> setTimeOrder;
    };

    SetupDialog(Window window, SheetSetup& setup, QWidget* parent);

    // How long the dialog waits for a printer's answer before it says that the printer does not answer.
    void setAnswerBound(std::chrono::milliseconds bound) { m_bound = bound; }

    // Something the sheet depends on changed: everything is read again (once, for a burst of changes).
    void refresh();

Q_SIGNALS:
    void printRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void readWindow();
    void askPapers();
    void answered(const QString& name, const PrinterPapers& papers);
    void showSheet();
    void showPapers(const QList<QPageSize>& papers, const QPageSize& chosen);
    void turnTo(int page);
    void pageReady(int page);
    // Beside the window where the screen has room, else at its least size where it covers
    // least of it; never larger than the screen.
    void placeBesideWindow();
    // A check box for one of the sheet's options: it shows the option and sets it.
    QCheckBox* sheetOption(const QString& text, const char* name, bool SheetSetup::*option, QWidget* parent);
    void tickRated();

    Window m_window;
    SheetSetup& m_setup;
    SheetPreview m_preview;
    int m_page = 1;
    bool m_updatePending = false;
    std::chrono::milliseconds m_bound { 3000 };
    // The printer chosen, what it said of its papers (kept while it does not answer), and the
    // one question on its way: none is asked while another waits.
    QString m_printerName;
    std::optional<PrinterPapers> m_papers;
    bool m_asking = false;
    bool m_askAgain = false;

    QComboBox* m_paper = nullptr;
    QComboBox* m_orientation = nullptr;
    QCheckBox* m_header = nullptr;
    QLineEdit* m_title = nullptr;
    QLabel* m_printerNote = nullptr;
    bool m_placed = false;

    QTabWidget* m_tabs = nullptr;
    SheetView* m_sheet = nullptr;
    QLabel* m_drawing = nullptr;
    QTimer* m_drawingHint = nullptr;
    PictureChooser* m_chooser = nullptr;
    QComboBox* m_minRating = nullptr;
    QLabel* m_pageLabel = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_print = nullptr;
};

} // namespace rasterblatt
