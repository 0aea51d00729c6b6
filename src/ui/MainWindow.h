// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include <QHash>
#include <QPointer>
#include <QWidget>

#include "engine/catalogue/Catalogue.h"
#include "engine/print/PrintCommand.h"
#include "ui/WindowState.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rasterblatt {

class DriveList;
class FileList;
class FolderList;
class ImageViewer;
class MessageBoxes;
class PictureCache;
class PictureBox;
class Printer;
class PrinterService;
class SetupDialog;

// The main window. One class, as the window is one object; its implementation is split by
// concern, all in src/ui: MainWindow.cpp (state, settings, layout, start-up, grid inputs,
// closing), MainWindowCatalogue.cpp (folder scan, selection, status line), MainWindowPrint.cpp
// (print command) and MainWindowView.cpp (preview, full-screen view, slide show). The work
// itself is the engine's (src/engine): the catalogue, the print command, the slide show.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    // The settings live in settingsFile (an INI file); startFolder is the folder shown on
    // the first run; openFolder, when given, is shown instead of the last one.
    MainWindow(PrinterService& printers, MessageBoxes& messages, const QString& settingsFile,
        const QString& startFolder, const QString& openFolder = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    const WindowState& state() const { return m_state; }
    WindowState& state() { return m_state; }
    const Catalogue& catalogue() const { return m_catalogue; }

    // Closes the window because the desktop session ends: a running print job is dropped.
    void closeForSessionEnd();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum CloseReason : std::int16_t { UserClose = 0, ProgramClose = 1, SessionEnd = 2 };

    // MainWindow.cpp
    void Form_Initialize();
    void createControls();
    void connectReactions();
    void Form_Load();
    void Form_QueryUnload(std::int16_t& cancel, std::int16_t closeReason);
    void Form_Unload();
    void unloadWindow(CloseReason reason);
    void txtCols_Change();
    void txtRows_Change();
    void gridBoxChanged(QLineEdit* box, std::int32_t& count);
    void chkPrintFileName_Click();
    void cmdCancel_Click();
    void cmdSetup_Click();
    // Lists the further photo formats too, or no longer.
    void setAllFormats(bool all);
    void setTimeOrder(bool on);
    // The sheet changed (ticks, grid, options, folder, printer): "Einrichten" shows it anew.
    void sheetChanged();
    float twipsWidth(const QWidget* widget) const;
    void placeTwips(QWidget* widget, double left, double top, double width, double height) const;
    // A control with its object name, placed in twips, with its caption if it has one.
    template <typename T>
    T* addControl(QWidget* parent, const char* name, double left, double top, double width, double height,
        const char* caption = nullptr);

    // MainWindowCatalogue.cpp
    void RefreshFileList();
    void driveList_Change();
    void dirList_Change();
    void chkSubDir_Click();
    void UpdateInfo();
    void cmdSelect_Click();
    void cmdDeselect_Click();
    void tickAll(bool ticked);
    // Ticks or unticks the entries at once; the status line follows once.
    void tickRows(const QList<int>& rows, bool ticked);
    // Lists the folder again as the options now say; the files still listed keep their ticks.
    void rebuildKeepingTicks();
    bool gridPrintable() const;

    // MainWindowView.cpp
    void fileList_Click();
    void clearPreview();
    void chkPreview_Click();
    void cmdPreview_Click();
    void picBox_DblClick();
    void showFullScreen(const QString& path);
    void cmdPresentation_Click();
    bool ShowPicture(const QString& path, PictureBox* box);

    // MainWindowPrint.cpp
    void cmdPrint_Click();
    Printer* SelectPrinter();
    // What a job takes from the window: its grid, options and set-up, the folder's name.
    PrintJobSettings jobSettings() const;

    PrinterService& m_printers;
    MessageBoxes& m_messages;
    const QString m_settingsFile;
    const QString m_startFolder;
    const QString m_openFolder;
    const double m_dpi;

    WindowState m_state;
    Catalogue m_catalogue;
    PrintCommand m_printCommand { m_printers, m_state };
    CloseReason m_closeReason = UserClose;
    // The folder last shown on each drive, so that choosing a drive returns to it.
    QHash<QString, QString> m_driveFolders;
    // The full-screen viewer while one is open, so that closing the window closes it too.
    QPointer<ImageViewer> m_viewer;
    // "Einrichten" while it is open; one at a time.
    QPointer<SetupDialog> m_setupDialog;
    // The folder and options of the last listing that reached the catalogue's limit: it was said once.
    QString m_limitToldFor;
    // The pictures decoded for "Einrichten", kept while the window lives.
    std::shared_ptr<PictureCache> m_pictures;

    DriveList* driveList = nullptr;
    FolderList* dirList = nullptr;
    QPushButton* cmdPrint = nullptr;
    QLabel* lbInfo = nullptr;
    PictureBox* picBox = nullptr;
    FileList* fileList = nullptr;
    QCheckBox* chkSubDir = nullptr;
    QPushButton* cmdSelect = nullptr;
    QPushButton* cmdDeselect = nullptr;
    QPushButton* cmdCancel = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtCols = nullptr;
    QLineEdit* txtRows = nullptr;
    QLabel* lbProgressBar = nullptr;
    QComboBox* prnList = nullptr;
    QCheckBox* chkPrintFileName = nullptr;
    QPushButton* cmdSetup = nullptr;
    QCheckBox* chkPreview = nullptr;
    QPushButton* cmdPreview = nullptr;
    QPushButton* cmdPresentation = nullptr;
};

} // namespace rasterblatt
