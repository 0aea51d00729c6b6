// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include <type_traits>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "engine/catalogue/NativePath.h"
#include "engine/common/Caption.h"
#include "engine/common/LocaleNumber.h"
#include "engine/common/StoredSettings.h"
#include "engine/picture/PictureCache.h"
#include "engine/picture/Units.h"
#include "engine/print/Printer.h"
#include "engine/print/SheetLayout.h"
#include "ui/MessageBoxes.h"
#include "ui/SetupDialog.h"
#include "ui/widgets/DriveList.h"
#include "ui/widgets/FileList.h"
#include "ui/widgets/FolderList.h"
#include "ui/widgets/ImageViewer.h"
#include "ui/widgets/PictureBox.h"

namespace rasterblatt {

namespace {

    // The window's own name, which its caption has always carried.
    const QString designCaption = QStringLiteral("Kachelbrett");
    const QString creditText = QStringLiteral(" \u2013 Kontaktabz\u00fcge von Bildordnern");

    // Client area of the window, in twips.
    constexpr double windowWidth = 9825;
    constexpr double windowHeight = 4860;

    double screenDpi()
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->logicalDotsPerInch() : 96.0;
    }

} // namespace

MainWindow::MainWindow(PrinterService& printers, MessageBoxes& messages, const QString& settingsFile,
    const QString& startFolder, const QString& openFolder, QWidget* parent)
    : QWidget(parent)
    , m_printers(printers)
    , m_messages(messages)
    , m_settingsFile(settingsFile)
    , m_startFolder(startFolder)
    , m_openFolder(openFolder)
    , m_dpi(screenDpi())
{
    Form_Initialize();
    createControls();
    connectReactions();
    Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::Form_Initialize()
{
    m_state = WindowState {};
    m_catalogue.bSubDirs = false;
}

void MainWindow::placeTwips(QWidget* widget, double left, double top, double width, double height) const
{
    const auto px = [this](double twips) { return qRound(units::twipsToPixels(twips, m_dpi)); };
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

float MainWindow::twipsWidth(const QWidget* widget) const
{
    return static_cast<float>(units::pixelsToTwips(widget->width(), m_dpi));
}

template <typename T>
T* MainWindow::addControl(
    QWidget* parent, const char* name, double left, double top, double width, double height, const char* caption)
{
    auto* control = new T(parent);
    control->setObjectName(QLatin1String(name));
    placeTwips(control, left, top, width, height);
    if constexpr (requires { control->setText(QString()); }) {
        if (caption)
            control->setText(QString::fromUtf8(caption));
    }
    // A focused button answers Enter itself; elsewhere Enter presses "Drucken".
    if constexpr (std::is_base_of_v<QPushButton, T>)
        control->setAutoDefault(true);
    return control;
}

void MainWindow::createControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(designCaption);
    // The layout was drawn for an 8-point sans-serif font with Arial's metrics.
    QFont windowFont(QStringLiteral("Liberation Sans"));
    windowFont.setStyleHint(QFont::SansSerif);
    windowFont.setPointSize(8);
    setFont(windowFont);
    setFixedSize(qRound(units::twipsToPixels(windowWidth, m_dpi)), qRound(units::twipsToPixels(windowHeight, m_dpi)));

    driveList = addControl<DriveList>(this, "driveList", 120, 120, 3495, 315);
    dirList = addControl<FolderList>(this, "dirList", 120, 600, 3495, 3690);
    // Both lists start on the folder the program was started in; one that cannot be read
    // (or is gone) gives way to the home folder, then to "/".
    for (const QString& folder : { m_startFolder, QDir::homePath(), QStringLiteral("/") }) {
        if (dirList->setPath(folder))
            break;
    }
    driveList->setDrive(driveList->driveOf(dirList->path()));

    cmdPrint = addControl<QPushButton>(this, "cmdPrint", 5280, 4440, 1455, 315, "Drucken");
    cmdPrint->setDefault(true);
    lbInfo = addControl<QLabel>(this, "lbInfo", 120, 4440, 5055, 315);
    lbInfo->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picBox = addControl<PictureBox>(this, "picBox", 6840, 120, PreviewPaneWidth, PreviewPaneHeight);
    picBox->setBorder(true);
    fileList = addControl<FileList>(this, "fileList", 3720, 120, 3015, 3435);
    chkSubDir = addControl<QCheckBox>(this, "chkSubDir", 3720, 3660, 3015, 195, "Unterverzeichnisse mit einbeziehen");
    cmdSelect = addControl<QPushButton>(this, "cmdSelect", 3720, 3990, 1455, 315, "Alle markieren");
    cmdDeselect = addControl<QPushButton>(this, "cmdDeselect", 5280, 3990, 1455, 315, "Keine markieren");
    cmdCancel = addControl<QPushButton>(this, "cmdCancel", 8400, 4440, 1335, 315, "Abbrechen");

    Frame1 = addControl<QGroupBox>(this, "Frame1", 6840, 2760, 2895, 1575);
    Frame1->setTitle(QStringLiteral("Druckeinstellungen"));
    Label1 = addControl<QLabel>(Frame1, "Label1", 120, 1110, 615, 255, "Spalten");
    Label2 = addControl<QLabel>(Frame1, "Label2", 1560, 1110, 615, 255, "Zeilen");
    txtCols = addControl<QLineEdit>(Frame1, "txtCols", 840, 1080, 495, 315);
    txtRows = addControl<QLineEdit>(Frame1, "txtRows", 2280, 1080, 495, 315);
    for (QLineEdit* box : { txtCols, txtRows })
        box->setMaxLength(2);
    Label1->setBuddy(txtCols);
    Label2->setBuddy(txtRows);

    lbProgressBar = addControl<QLabel>(this, "lbProgressBar", 600, 4560, 975, 135);
    lbProgressBar->setAutoFillBackground(true);
    QPalette barPalette = lbProgressBar->palette();
    barPalette.setColor(QPalette::Window, barPalette.color(QPalette::Highlight));
    lbProgressBar->setPalette(barPalette);
    lbProgressBar->hide();

    prnList = addControl<QComboBox>(Frame1, "prnList", 120, 360, 2655, 315);
    prnList->setToolTip(QStringLiteral("Drucker"));
    prnList->setPlaceholderText(QStringLiteral("Drucker"));
    // Narrowed to leave room for "Einrichten…" beside it; its caption, set a little closer,
    // still fits whole.
    chkPrintFileName = addControl<QCheckBox>(Frame1, "chkPrintFileName", 120, 720, 1635, 255, "Dateiname drucken");
    QFont closer = chkPrintFileName->font();
    closer.setLetterSpacing(QFont::AbsoluteSpacing, -0.5);
    chkPrintFileName->setFont(closer);
    cmdSetup = addControl<QPushButton>(Frame1, "cmdSetup", 1800, 690, 975, 315, "Einrichten\u2026");
    cmdSetup->setAccessibleName(QStringLiteral("Einrichten"));
    chkPreview = addControl<QCheckBox>(this, "chkPreview", 6840, 2400, 1335, 255, "Bildvorschau");
    cmdPreview = addControl<QPushButton>(this, "cmdPreview", 8400, 2400, 1335, 315, "Vollbild");
    cmdPresentation = addControl<QPushButton>(this, "cmdPresentation", 6840, 4440, 1455, 315, "Pr\u00e4sentation");

    // The bar lies above the status line it fills.
    lbProgressBar->raise();

    // Names for screen readers where no caption says what a control is.
    driveList->setAccessibleName(QStringLiteral("Laufwerk"));
    dirList->setAccessibleName(QStringLiteral("Ordner"));
    fileList->setAccessibleName(QStringLiteral("Bilddateien"));
    picBox->setAccessibleName(QStringLiteral("Vorschau"));
    lbProgressBar->setAccessibleName(QStringLiteral("Fortschritt"));

    const QList<QWidget*> tabOrder { driveList, dirList, cmdPrint, picBox, fileList, chkSubDir, cmdSelect, cmdDeselect,
        cmdCancel, txtCols, txtRows, prnList, chkPrintFileName, cmdSetup, chkPreview, cmdPreview, cmdPresentation };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void MainWindow::connectReactions()
{
    connect(driveList, &QComboBox::currentIndexChanged, this, &MainWindow::driveList_Change);
    connect(dirList, &FolderList::pathChanged, this, &MainWindow::dirList_Change);
    connect(chkSubDir, &QCheckBox::stateChanged, this, &MainWindow::chkSubDir_Click);
    // A tick runs the click handling, whose status update also sets both buttons.
    connect(fileList, &QListWidget::itemChanged, this, &MainWindow::fileList_Click);
    connect(fileList, &QListWidget::currentRowChanged, this, &MainWindow::fileList_Click);
    connect(fileList, &QListWidget::itemClicked, this, &MainWindow::fileList_Click);
    connect(cmdSelect, &QPushButton::clicked, this, &MainWindow::cmdSelect_Click);
    connect(cmdDeselect, &QPushButton::clicked, this, &MainWindow::cmdDeselect_Click);
    connect(txtCols, &QLineEdit::textChanged, this, &MainWindow::txtCols_Change);
    connect(txtRows, &QLineEdit::textChanged, this, &MainWindow::txtRows_Change);
    connect(chkPrintFileName, &QCheckBox::stateChanged, this, &MainWindow::chkPrintFileName_Click);
    connect(chkPreview, &QCheckBox::stateChanged, this, &MainWindow::chkPreview_Click);
    connect(cmdPreview, &QPushButton::clicked, this, &MainWindow::cmdPreview_Click);
    connect(picBox, &PictureBox::doubleClicked, this, &MainWindow::picBox_DblClick);
    connect(cmdPrint, &QPushButton::clicked, this, &MainWindow::cmdPrint_Click);
    connect(cmdPresentation, &QPushButton::clicked, this, &MainWindow::cmdPresentation_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &MainWindow::cmdCancel_Click);
    connect(cmdSetup, &QPushButton::clicked, this, &MainWindow::cmdSetup_Click);
    connect(prnList, &QComboBox::currentIndexChanged, this, &MainWindow::sheetChanged);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &MainWindow::closeForSessionEnd);
}

void MainWindow::Form_Load()
{
    // 1. Caption with the version.
    setWindowTitle(windowCaption(
        designCaption, RASTERBLATT_VERSION_MAJOR, RASTERBLATT_VERSION_MINOR, RASTERBLATT_VERSION_PATCH, creditText));

    // 2. Settings. A stored count that is not a number falls back to its default.
    StoredSettings defaults;
    defaults.lastFolder = m_startFolder;
    const StoredSettings stored = readSettings(m_settingsFile, defaults);
    const QString folderText = m_openFolder.isEmpty() ? stored.lastFolder : m_openFolder;
    m_state.nRows = parseWholeNumber(stored.rows).value_or(DefaultRows);
    m_state.nCols = parseWholeNumber(stored.cols).value_or(DefaultCols);
    m_state.sheetSetup = { stored.paper, stored.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        stored.header, stored.pageNumbers, stored.frame, stored.captionTime, stored.captionExposure, {} };
    m_catalogue.allFormats = stored.allFormats;
    m_catalogue.timeOrder = stored.timeOrder;

    // 3. Printers, the current one chosen by its exact name.
    const std::vector<Printer*> printers = m_printers.printers();
    const Printer* current = m_printers.currentPrinter();
    int chosen = -1;
    for (const Printer* printer : printers) {
        prnList->addItem(printer->deviceName());
        if (current && current->deviceName() == printer->deviceName())
            chosen = prnList->count() - 1;
    }
    prnList->setCurrentIndex(chosen);

    // 4. The progress bar lies 30 twips inside the status line.
    const float barLeft = 120.0f + 30.0f;
    const float barTop = 4440.0f + 30.0f;
    const float barWidth = twipsWidth(lbInfo) - 60.0f;
    const float barHeight = 315.0f - 60.0f;
    placeTwips(lbProgressBar, barLeft, barTop, barWidth, barHeight);

    // 5.-7. Options; each reaction runs because the box really changes.
    chkPrintFileName->setChecked(m_state.bPrintFileName);
    chkSubDir->setChecked(m_catalogue.bSubDirs);
    chkPreview->setChecked(true);

    // 8. From here on a step that fails is passed over.
    // 9. Drive, 10. folder: each runs its reaction when it changes something. A stored folder
    // that is gone moves neither list: here a drive that is not mounted cannot be told from a
    // folder that was deleted, and both lists stay on the start folder.
    if (isFolder(folderText)) {
        const QString drive = driveList->driveOf(folderText);
        if (!drive.isEmpty())
            driveList->setDrive(drive);
        dirList->setPath(folderText);
    }

    // 11., 12. Grid boxes.
    txtRows->setText(QString::number(m_state.nRows));
    txtCols->setText(QString::number(m_state.nCols));

    // 13. The folder may have been the start folder already, so no reaction has listed it.
    RefreshFileList();
}

void MainWindow::txtCols_Change() { gridBoxChanged(txtCols, m_state.nCols); }

void MainWindow::txtRows_Change() { gridBoxChanged(txtRows, m_state.nRows); }

void MainWindow::gridBoxChanged(QLineEdit* box, std::int32_t& count)
{
    if (const auto value = parseWholeNumber(box->text())) {
        count = *value;
    } else {
        count = 0;
        box->setText(QString::number(count)); // runs this reaction again, nested
        box->selectAll(); // the next digit typed replaces the "0"
    }
    UpdateInfo();
}

void MainWindow::chkPrintFileName_Click()
{
    m_state.bPrintFileName = chkPrintFileName->checkState() != Qt::Unchecked;
    sheetChanged();
}

void MainWindow::cmdSetup_Click()
{
    if (!m_setupDialog) {
        SetupDialog::Window window;
        window.printerName = [this] { return prnList->currentText(); };
        window.papers = [this](const QString& name, std::chrono::milliseconds bound) {
            return m_printers.papersQuestion(name, bound);
        };
        window.tickedFiles = [this] {
            QStringList files;
            for (int i = 0; i < m_catalogue.count(); ++i) {
                if (fileList->isTicked(i))
                    files << m_catalogue.path(i);
            }
            return files;
        };
        window.settings = [this] { return jobSettings(); };
        window.canPrint = [this] { return cmdPrint->isEnabled(); };
        window.allFormats = [this] { return m_catalogue.allFormats; };
        window.setAllFormats = [this](bool all) { setAllFormats(all); };
        window.fileList = fileList->model();
        window.path = [this](int i) { return m_catalogue.path(i); };
        if (!m_pictures)
            m_pictures = std::make_shared<PictureCache>();
        window.cache = m_pictures;
        window.setTicked = [this](const QList<int>& rows, bool ticked) { tickRows(rows, ticked); };
        window.showPicture = [this](const QString& path) { showFullScreen(path); };
        window.timeOrder = [this] { return m_catalogue.timeOrder; };
        window.setTimeOrder = [this](bool on) { setTimeOrder(on); };
        m_setupDialog = new SetupDialog(std::move(window), m_state.sheetSetup, this);
        m_setupDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_setupDialog, &SetupDialog::printRequested, this, [this] {
            if (cmdPrint->isEnabled())
                cmdPrint_Click();
        });
    }
    m_setupDialog->show();
    m_setupDialog->raise();
    m_setupDialog->activateWindow();
}

void MainWindow::setAllFormats(bool all)
{
    if (m_catalogue.allFormats == all)
        return;
    m_catalogue.allFormats = all;
    rebuildKeepingTicks();
}

void MainWindow::setTimeOrder(bool on)
{
    if (m_catalogue.timeOrder == on)
        return;
    m_catalogue.timeOrder = on;
    rebuildKeepingTicks();
}

void MainWindow::sheetChanged()
{
    if (m_setupDialog)
        m_setupDialog->refresh();
}

void MainWindow::cmdCancel_Click()
{
    if (!m_state.bPrinting && !m_state.bPresenting) {
        unloadWindow(ProgramClose);
        return;
    }
    m_state.bAbort = true;
}

void MainWindow::unloadWindow(CloseReason reason)
{
    m_closeReason = reason;
    close();
    m_closeReason = UserClose;
}

void MainWindow::closeForSessionEnd() { unloadWindow(SessionEnd); }

void MainWindow::closeEvent(QCloseEvent* event)
{
    std::int16_t cancel = 0;
    Form_QueryUnload(cancel, m_closeReason);
    if (cancel != 0) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void MainWindow::Form_QueryUnload(std::int16_t& cancel, std::int16_t closeReason)
{
    if (closeReason == UserClose && m_state.bPrinting) {
        cancel = 1;
        const auto answer = m_messages.show(this, QMessageBox::Warning, windowTitle(),
            QStringLiteral("M\u00f6chten Sie den Druck abbrechen?"), QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            m_state.bAbort = true;
    }
}

void MainWindow::Form_Unload()
{
    // A job or a show still running (the session ends, or the window closes under the
    // slide show) is stopped: the job discards its document at its next step.
    if (m_state.bPrinting || m_state.bPresenting)
        m_state.bAbort = true;
    if (m_viewer)
        m_viewer->closeViewer(true);

    StoredSettings stored;
    stored.lastFolder = dirList->path();
    stored.rows = QString::number(m_state.nRows);
    stored.cols = QString::number(m_state.nCols);
    const SheetSetup& setup = m_state.sheetSetup;
    stored.paper = setup.paper;
    stored.landscape = setup.orientation == QPageLayout::Landscape;
    stored.header = setup.header;
    stored.pageNumbers = setup.pageNumbers;
    stored.frame = setup.frame;
    stored.allFormats = m_catalogue.allFormats;
    stored.timeOrder = m_catalogue.timeOrder;
    stored.captionTime = setup.captionTime;
    stored.captionExposure = setup.captionExposure;
    if (!writeSettings(m_settingsFile, stored))
        qWarning("Rasterblatt: could not save the settings to %s", qPrintable(m_settingsFile));
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The window's default and cancel buttons: Enter prints, Escape cancels.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (cmdPrint->isEnabled())
            cmdPrint->click();
        return;
    case Qt::Key_Escape:
        cmdCancel->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace rasterblatt
