// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SetupDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/print/Printer.h"
#include "ui/BusyCursor.h"
#include "ui/widgets/PictureChooser.h"
#include "ui/widgets/SheetView.h"

namespace rasterblatt {

namespace {
    QCheckBox* checkBox(const QString& text, const char* name, bool checked, QWidget* parent)
    {
        auto* box = new QCheckBox(text, parent);
        box->setObjectName(QLatin1String(name));
        box->setAccessibleName(text);
        box->setChecked(checked);
        return box;
    }
} // namespace

SetupDialog::SetupDialog(Window window, SheetSetup& setup, QWidget* parent)
    : QDialog(parent)
    , m_window(std::move(window))
    , m_setup(setup)
{
    setObjectName(QStringLiteral("dlgSetup"));
    setWindowTitle(QStringLiteral("Einrichten"));

    auto* page = new QGroupBox(QStringLiteral("Seite"), this);
    m_paper = new QComboBox(page);
    m_paper->setObjectName(QStringLiteral("cboPaper"));
    m_paper->setAccessibleName(QStringLiteral("Papier"));
    m_orientation = new QComboBox(page);
    m_orientation->setObjectName(QStringLiteral("cboOrientation"));
    m_orientation->setAccessibleName(QStringLiteral("Ausrichtung"));
    m_orientation->addItem(QStringLiteral("Hochformat"), int(QPageLayout::Portrait));
    m_orientation->addItem(QStringLiteral("Querformat"), int(QPageLayout::Landscape));
    m_orientation->setCurrentIndex(m_setup.orientation == QPageLayout::Landscape ? 1 : 0);
    m_header = sheetOption(QStringLiteral("Kopfzeile drucken"), "chkHeader", &SheetSetup::header, page);
    QCheckBox* pageNumbers
        = sheetOption(QStringLiteral("Seitenzahlen drucken"), "chkPageNumbers", &SheetSetup::pageNumbers, page);
    QCheckBox* frame = sheetOption(QStringLiteral("Rahmen um die Bilder"), "chkFrame", &SheetSetup::frame, page);
    m_title = new QLineEdit(m_setup.title, page);
    m_title->setObjectName(QStringLiteral("txtTitle"));
    m_title->setAccessibleName(QStringLiteral("Titel"));
    m_printerNote = new QLabel(page);
    m_printerNote->setObjectName(QStringLiteral("lbPrinterNote"));
    m_printerNote->setWordWrap(true);
    m_printerNote->hide();
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("&Papier:"), m_paper);
    form->addRow(QStringLiteral("&Ausrichtung:"), m_orientation);
    form->addRow(m_header);
    form->addRow(QStringLiteral("&Titel:"), m_title);
    form->addRow(pageNumbers);
    form->addRow(frame);
    form->addRow(m_printerNote);

    auto* pictures = new QGroupBox(QStringLiteral("Bilder"), this);
    QCheckBox* allFormats = checkBox(QStringLiteral("Weitere Bildformate (JPEG, PNG, TIFF, WebP, HEIC, RAW)"),
        "chkAllFormats", m_window.allFormats(), pictures);
    auto* picturesLayout = new QVBoxLayout(pictures);
    picturesLayout->addWidget(allFormats);
    QCheckBox* timeOrder
        = checkBox(QStringLiteral("Nach Aufnahmezeit ordnen"), "chkTimeOrder", m_window.timeOrder(), pictures);
    picturesLayout->addWidget(timeOrder);

    auto* captions = new QGroupBox(QStringLiteral("Beschriftung"), this);
    QCheckBox* captionTime
        = sheetOption(QStringLiteral("Aufnahmezeit drucken"), "chkCaptionTime", &SheetSetup::captionTime, captions);
    QCheckBox* captionExposure = sheetOption(
        QStringLiteral("Aufnahmedaten drucken"), "chkCaptionExposure", &SheetSetup::captionExposure, captions);
    auto* captionsLayout = new QVBoxLayout(captions);
    captionsLayout->addWidget(captionTime);
    captionsLayout->addWidget(captionExposure);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabViews"));
    auto* sheetTab = new QWidget(m_tabs);
    m_sheet = new SheetView(sheetTab);
    m_sheet->setObjectName(QStringLiteral("picSheet"));
    m_sheet->setAccessibleName(QStringLiteral("Seitenansicht"));
    // The preview gives way to the buttons on a small screen.
    m_sheet->setMinimumSize(60, 80);
    m_sheet->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_previous = new QPushButton(QStringLiteral("\u25c0"), sheetTab);
    m_previous->setObjectName(QStringLiteral("cmdPreviousPage"));
    m_previous->setAccessibleName(QStringLiteral("Vorige Seite"));
    m_next = new QPushButton(QStringLiteral("\u25b6"), sheetTab);
    m_next->setObjectName(QStringLiteral("cmdNextPage"));
    m_next->setAccessibleName(QStringLiteral("N\u00e4chste Seite"));
    m_pageLabel = new QLabel(sheetTab);
    m_pageLabel->setObjectName(QStringLiteral("lbPage"));
    m_pageLabel->setAlignment(Qt::AlignCenter);
    for (QPushButton* button : { m_previous, m_next })
        button->setAutoDefault(false);
    // Shown when a page takes long to draw; the page before stays until then.
    m_drawing = new QLabel(QStringLiteral("wird gezeichnet\u2026"), sheetTab);
    m_drawing->setObjectName(QStringLiteral("lbDrawing"));
    m_drawing->hide();
    m_drawingHint = new QTimer(this);
    m_drawingHint->setSingleShot(true);
    m_drawingHint->setInterval(300);
    connect(m_drawingHint, &QTimer::timeout, m_drawing, &QWidget::show);

    auto* choiceTab = new QWidget(m_tabs);
    m_chooser = new PictureChooser(choiceTab);
    m_chooser->setObjectName(QStringLiteral("lstPictures"));
    m_chooser->setAccessibleName(QStringLiteral("Bildauswahl"));
    if (m_window.fileList) {
        auto* pictures = new PictureModel(m_window.fileList, m_window.path, m_window.cache, m_chooser);
        pictures->setScale(devicePixelRatioF());
        m_chooser->setModel(pictures);
    }
    m_minRating = new QComboBox(choiceTab);
    m_minRating->setObjectName(QStringLiteral("cboMinRating"));
    m_minRating->setAccessibleName(QStringLiteral("Markieren ab"));
    for (int stars = 1; stars <= 5; ++stars)
        m_minRating->addItem(QString(stars, QChar(0x2605)), stars);
    auto* tickRated = new QPushButton(QStringLiteral("Markieren"), choiceTab);
    tickRated->setObjectName(QStringLiteral("cmdTickRated"));
    tickRated->setAutoDefault(false);
    auto* ratedLabel = new QLabel(QStringLiteral("Markieren &ab:"), choiceTab);
    ratedLabel->setBuddy(m_minRating);
    auto* rated = new QHBoxLayout;
    rated->addWidget(ratedLabel);
    rated->addWidget(m_minRating);
    rated->addWidget(tickRated);
    rated->addStretch(1);
    auto* choice = new QVBoxLayout(choiceTab);
    choice->addLayout(rated);
    choice->addWidget(m_chooser, 1);

    m_print = new QPushButton(QStringLiteral("Drucken"), this);
    m_print->setObjectName(QStringLiteral("cmdSetupPrint"));
    auto* close = new QPushButton(QStringLiteral("Schlie\u00dfen"), this);
    close->setObjectName(QStringLiteral("cmdClose"));

    auto* pages = new QHBoxLayout;
    pages->addWidget(m_previous);
    pages->addWidget(m_pageLabel, 1);
    pages->addWidget(m_drawing);
    pages->addWidget(m_next);
    auto* preview = new QVBoxLayout(sheetTab);
    preview->addWidget(m_sheet, 1);
    preview->addLayout(pages);
    m_tabs->addTab(sheetTab, QStringLiteral("Seitenansicht"));
    m_tabs->addTab(choiceTab, QStringLiteral("Bildauswahl"));
    auto* left = new QVBoxLayout;
    left->addWidget(page);
    left->addWidget(captions);
    left->addWidget(pictures);
    left->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(m_tabs, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_print);
    buttons->addWidget(close);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top, 1);
    all->addLayout(buttons);
    resize(900, 640);

    connect(m_paper, &QComboBox::activated, this, [this] {
        m_setup.paper = m_paper->currentData().toString();
        refresh();
    });
    connect(m_orientation, &QComboBox::activated, this, [this] {
        m_setup.orientation = QPageLayout::Orientation(m_orientation->currentData().toInt());
        refresh();
    });
    connect(m_title, &QLineEdit::textEdited, this, [this](const QString& title) {
        m_setup.title = title;
        // A title is shown in the header.
        if (!title.isEmpty())
            m_header->setChecked(true);
        refresh();
    });
    connect(allFormats, &QCheckBox::toggled, this, [this](bool on) { m_window.setAllFormats(on); });
    connect(timeOrder, &QCheckBox::toggled, this, [this](bool on) { m_window.setTimeOrder(on); });
    connect(m_previous, &QPushButton::clicked, this, [this] { turnTo(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { turnTo(m_page + 1); });
    connect(m_print, &QPushButton::clicked, this, &SetupDialog::printRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_preview, &SheetPreview::pageReady, this, &SetupDialog::pageReady);
    connect(tickRated, &QPushButton::clicked, this, &SetupDialog::tickRated);
    connect(m_chooser, &PictureChooser::tickRequested, this, [this](const QList<int>& rows, bool ticked) {
        if (m_window.setTicked)
            m_window.setTicked(rows, ticked);
    });
    connect(m_chooser, &PictureChooser::pictureOpened, this, [this](int row) {
        if (m_window.showPicture)
            m_window.showPicture(m_window.path(row));
    });
    readWindow();
}

void SetupDialog::refresh()
{
    if (std::exchange(m_updatePending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_updatePending = false;
        readWindow();
    });
}

void SetupDialog::readWindow()
{
    const QString name = m_window.printerName();
    if (name != m_printerName) {
        m_printerName = name;
        m_papers.reset();
        m_printerNote->hide();
    }
    askPapers();
    showSheet();
}

// A print system may take long to answer, or never: the question goes to another thread, and
// the dialog goes on with what it knows.
void SetupDialog::askPapers()
{
    if (m_asking) {
        m_askAgain = true;
        return;
    }
    m_asking = true;
    m_askAgain = false;
    const QString name = m_printerName;
    auto promise = std::make_shared<QPromise<PrinterPapers>>();
    auto* watcher = new QFutureWatcher<PrinterPapers>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, name] {
        watcher->deleteLater();
        m_asking = false;
        answered(name, watcher->result());
        if (m_askAgain)
            askPapers();
    });
    watcher->setFuture(promise->future());
    QTimer::singleShot(m_bound, watcher, [this, name] {
        PrinterPapers silent;
        silent.answer = PrinterPapers::Silent;
        silent.known = false;
        answered(name, silent);
    });
    promise->start();
    QThreadPool::globalInstance()->start([promise, question = m_window.papers(name, m_bound)] {
        promise->addResult(question());
        promise->finish();
    });
}

void SetupDialog::answered(const QString& name, const PrinterPapers& papers)
{
    if (name != m_printerName)
        return;
    const auto note = [this](const QString& text) {
        m_printerNote->setText(text.arg(m_printerName));
        m_printerNote->show();
    };
    if (papers.answer == PrinterPapers::Known) {
        m_papers = papers;
        m_printerNote->hide();
    } else if (papers.answer == PrinterPapers::Missing) {
        // The papers of "PDF-Datei".
        m_papers = PrinterPapers();
        m_papers->sizes = standardPapers();
        note(QStringLiteral("Den Drucker \u201e%1\u201c gibt es nicht mehr: die Papierformate sind die von "
                            "\u201ePDF-Datei\u201c."));
    } else {
        // What it said before still holds.
        if (papers.known)
            m_papers = papers;
        note(QStringLiteral("Der Drucker \u201e%1\u201c antwortet nicht."));
    }
    showSheet();
}

void SetupDialog::showSheet()
{
    m_print->setEnabled(m_window.canPrint());
    m_paper->setEnabled(m_papers.has_value());
    if (!m_papers)
        return;
    // The paper a job takes, on the page it gives.
    const QList<QPageSize> papers = m_papers->offered();
    const QPageSize shown = paperFor(m_setup, papers, m_papers->fallback());
    showPapers(papers, shown);

    SheetPreview::Sheet sheet;
    sheet.files = m_window.tickedFiles();
    sheet.settings = m_window.settings();
    sheet.layout = m_papers->layout(shown, m_setup.orientation);
    m_sheet->setPaper(sheet.layout.fullRect(QPageLayout::Inch).size());
    sheet.dpi = m_sheet->pageDpi();
    sheet.cache = m_window.cache;
    m_preview.setSheet(sheet);
    turnTo(m_page);
}

void SetupDialog::showPapers(const QList<QPageSize>& papers, const QPageSize& chosen)
{
    const QSignalBlocker blocker(m_paper);
    m_paper->clear();
    for (const QPageSize& paper : papers)
        m_paper->addItem(paperName(paper), paperName(paper));
    m_paper->setCurrentIndex(m_paper->findData(paperName(chosen)));
}

void SetupDialog::turnTo(int page)
{
    m_page = std::clamp(page, 1, m_preview.pageCount());
    m_pageLabel->setText(QStringLiteral("Seite %1 von %2").arg(m_page).arg(m_preview.pageCount()));
    m_previous->setEnabled(m_page > 1);
    m_next->setEnabled(m_page < m_preview.pageCount());
    // The page shown stays until the new one is drawn.
    if (const QImage drawn = m_preview.page(m_page); !drawn.isNull()) {
        m_sheet->setPage(drawn);
        m_drawingHint->stop();
        m_drawing->hide();
    } else if (!m_drawingHint->isActive() && m_drawing->isHidden()) {
        m_drawingHint->start();
    }
    m_preview.requestPage(m_page);
}

void SetupDialog::pageReady(int page)
{
    if (page != m_page)
        return;
    m_sheet->setPage(m_preview.page(page));
    m_drawingHint->stop();
    m_drawing->hide();
}

void SetupDialog::tickRated()
{
    PictureModel* pictures = m_chooser->pictures();
    if (!pictures || !m_window.setTicked)
        return;
    const int least = m_minRating->currentData().toInt();
    QList<int> rated, others;
    {
        const BusyCursor busy;
        for (int row = 0; row < pictures->rowCount(); ++row)
            (pictures->rating(row) >= least ? rated : others) << row;
    }
    m_window.setTicked(others, false);
    m_window.setTicked(rated, true);
}

QCheckBox* SetupDialog::sheetOption(const QString& text, const char* name, bool SheetSetup::*option, QWidget* parent)
{
    QCheckBox* box = checkBox(text, name, m_setup.*option, parent);
    connect(box, &QCheckBox::toggled, this, [this, option](bool on) {
        m_setup.*option = on;
        refresh();
    });
    return box;
}

void SetupDialog::showEvent(QShowEvent* event)
{
    if (!std::exchange(m_placed, true)) {
        placeBesideWindow();
        // A window manager may place a new dialog by its own rule (centred on its window, hiding
        // the grid) once it is mapped; then it is moved where it was meant to be, once.
        QTimer::singleShot(250, this, [this, at = pos()] {
            if (pos() != at)
                move(at);
        });
    }
    QDialog::showEvent(event);
}

void SetupDialog::placeBesideWindow()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen* screen = owner ? owner->screen() : this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The frame's own size is known only once shown; a title bar's worth is kept free.
    const QSize frame = frameGeometry().size() - size();
    const QSize extra(std::max(frame.width(), 8), std::max(frame.height(), 32));
    setMaximumSize(area.size() - extra);
    const QSize wanted = size().expandedTo(minimumSizeHint()).boundedTo(area.size() - extra);
    resize(wanted);
    if (!owner) {
        move(area.center() - QPoint(wanted.width() + extra.width(), wanted.height() + extra.height()) / 2);
        return;
    }
    const QRect main = owner->frameGeometry();
    const auto inside = [&](QPoint at, const QRect& room, const QSize& outer) {
        at.setX(std::clamp(at.x(), room.left(), room.right() + 1 - outer.width()));
        at.setY(std::clamp(at.y(), room.top(), room.bottom() + 1 - outer.height()));
        return at;
    };
    // Beside the window, right, left, below or above, where the dialog has room at its least
    // size: the side where it is largest.
    const QSize least = minimumSizeHint().expandedTo(minimumSize()) + extra;
    const QRect sides[] = { QRect(QPoint(main.right() + 1, area.top()), area.bottomRight()),
        QRect(area.topLeft(), QPoint(main.left() - 1, area.bottom())),
        QRect(QPoint(area.left(), main.bottom() + 1), area.bottomRight()),
        QRect(area.topLeft(), QPoint(area.right(), main.top() - 1)) };
    std::optional<QRect> beside;
    for (const QRect& room : sides) {
        if (room.width() < least.width() || room.height() < least.height())
            continue;
        const QSize outer = (wanted + extra).boundedTo(room.size());
        const QRect place(inside(main.topLeft(), room, outer), outer);
        if (!beside || qint64(outer.width()) * outer.height() > qint64(beside->width()) * beside->height())
            beside = place;
    }
    if (beside) {
        resize(beside->size() - extra);
        move(beside->topLeft());
        return;
    }
    // Else at its least size (the window's grid and buttons then stay in sight on a screen
    // as small as 1280 x 1024), where it covers least of the window.
    resize(least - extra);
    const QSize outer = least;
    const auto covered = [&](const QPoint& at) {
        const QRect overlap = QRect(at, outer).intersected(main);
        return overlap.isEmpty() ? 0LL : qint64(overlap.width()) * overlap.height();
    };
    const QList<QPoint> places { inside({ main.right() + 1, main.top() }, area, outer),
        inside({ main.left() - outer.width(), main.top() }, area, outer),
        inside({ main.left(), main.bottom() + 1 }, area, outer),
        inside({ main.left(), main.top() - outer.height() }, area, outer), inside(area.topRight(), area, outer),
        inside(area.topLeft(), area, outer), inside(area.bottomRight(), area, outer),
        inside(area.bottomLeft(), area, outer) };
    QPoint best = places.first();
    for (const QPoint& place : places) {
        if (covered(place) < covered(best))
            best = place;
    }
    move(best);
}

void SetupDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp)
        turnTo(m_page - 1);
    else if (event->key() == Qt::Key_PageDown)
        turnTo(m_page + 1);
    else
        QDialog::keyPressEvent(event);
}

void SetupDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The pages are drawn for the view's new size.
    refresh();
}

} // namespace rasterblatt
