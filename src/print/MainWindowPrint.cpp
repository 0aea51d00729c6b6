// The main window's printing: print command, printer choice, page loop and thumbnail cell.
#include <algorithm>
#include <exception>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "catalogue/Directory.h"
#include "catalogue/FileList.h"
#include "print/PrintLayout.h"
#include "print/PrinterService.h"
#include "render/PictureBox.h"
#include "render/Units.h"

namespace rasterblatt {

namespace {
    const QString jobFont = QStringLiteral("Arial");
    constexpr double jobFontSize = 7;
} // namespace

void MainWindow::cmdPrint_Click()
{
    // One job at a time, and only with a grid that has cells.
    if (m_state.bPrinting)
        return;
    const auto refuse = [this](const QString& text) {
        m_messages.show(this, QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok);
    };
    if (!gridPrintable()) {
        refuse(QStringLiteral("Spalten und Zeilen m\u00fcssen mindestens 1 sein."));
        return;
    }
    Printer* const chosen = SelectPrinter();
    if (!chosen) {
        refuse(QStringLiteral("Der Drucker \u201e%1\u201c ist nicht verf\u00fcgbar. Ist er noch eingerichtet, "
                              "und l\u00e4uft das Drucksystem (CUPS)?")
                   .arg(prnList->currentText()));
        return;
    }

    m_state.bAbort = false;
    m_state.bPrinting = true;
    cmdPrint->setEnabled(false);
    cmdPresentation->setEnabled(cmdPrint->isEnabled());
    const Printer* previous = m_printers.currentPrinter();
    const QString sPrevPrinter = previous ? previous->deviceName() : QString();
    m_printers.setCurrentPrinter(chosen);

    const auto windUp = [&] {
        // A printer that has vanished meanwhile cannot be made current again; the chosen one stays.
        if (Printer* restored = GetPrinterByName(sPrevPrinter))
            m_printers.setCurrentPrinter(restored);
        UpdateInfo();
        m_state.bPrinting = false;
        cmdPrint->setEnabled(gridPrintable());
        cmdPresentation->setEnabled(cmdPrint->isEnabled());
        lbProgressBar->hide();
    };

    try {
        PrintSelection(chosen);
        if (m_state.bAbort)
            chosen->killDoc();
        else
            chosen->endDoc();
        windUp();
    } catch (const std::exception& error) {
        try {
            chosen->killDoc();
        } catch (const std::exception&) {
            // Nothing more can be done with a document that cannot even be thrown away.
        }
        windUp();
        refuse(QString::fromUtf8(error.what()));
    }
}

void MainWindow::PrintSelection(Printer* prn)
{
    lbInfo->clear();
    lbInfo->repaint();
    prn->setFontName(jobFont);
    prn->setFontSize(jobFontSize);

    // The grid is taken once: a change while the job runs cannot leave a page without cells.
    const std::int32_t cols = m_state.nCols;
    const std::int32_t rows = m_state.nRows;
    if (cols < 1 || rows < 1)
        throw PrinterError("Spalten und Zeilen m\u00fcssen mindestens 1 sein.");
    const int pageWidth = prn->pageWidth();
    const int pageHeight = prn->pageHeight();
    std::optional<double> nameLine;
    if (m_state.bPrintFileName)
        nameLine = prn->textHeight(QStringLiteral("ABC"));
    const PageGeometry grid
        = pageGeometry(pageWidth, pageHeight, cols, rows, nameLine, prn->himetricToTwipsX(1), prn->himetricToTwipsY(1));

    int nFileIndex = 0;
    int nPrinted = 0;
    for (;;) {
        if (nFileIndex >= m_state.nFileCount || m_state.bAbort)
            return;
        float y = grid.top;
        for (std::int32_t row = 0; row < rows; ++row) {
            float x = grid.left;
            for (std::int32_t col = 0; col < cols; ++col) {
                QCoreApplication::processEvents();
                if (m_state.bAbort)
                    return;
                while (nFileIndex < m_state.nFileCount && !fileList->isTicked(nFileIndex))
                    ++nFileIndex;
                if (nFileIndex >= m_state.nFileCount)
                    continue;
                ++nPrinted;
                const double full = twipsWidth(lbInfo) - 60.0;
                const double barWidth = full * nPrinted / std::max(1, fileList->tickedCount());
                const QRect bar = lbProgressBar->geometry();
                lbProgressBar->resize(qRound(units::twipsToPixels(barWidth, m_dpi)), bar.height());
                if (nPrinted == 1)
                    lbProgressBar->show();
                lbProgressBar->repaint();
                PrintThumbnail(prn, x, y, grid.picWidth, grid.picHeight, m_state.aFiles[nFileIndex]);
                x += grid.cellWidth;
                ++nFileIndex;
            }
            y += grid.cellHeight;
        }
        if (nFileIndex < m_state.nFileCount)
            prn->newPage();
    }
}

void MainWindow::PrintThumbnail(
    Printer* prn, float sngLeft, float sngTop, float sngMaxWidth, float sngMaxHeight, const QString& sPath)
{
    // A file that cannot be loaded prints its name alone: the pane still shows the
    // previous picture, which must not appear under this name.
    const bool loaded = ShowPicture(sPath, picBox);
    picPrint->setPicture(loaded ? picBox->Image() : QImage());
    const QImage picture = picPrint->Picture();

    ThumbnailPlacement place { sngLeft, sngTop, sngMaxWidth, sngMaxHeight };
    if (!picture.isNull()) {
        const QSizeF logical = picture.deviceIndependentSize();
        const float naturalWidth = units::himetricToTwips(float(units::pixelsToHimetric(qRound(logical.width()))));
        const float naturalHeight = units::himetricToTwips(float(units::pixelsToHimetric(qRound(logical.height()))));
        place = placeThumbnail(
            sngLeft, sngTop, sngMaxWidth, sngMaxHeight, naturalWidth, naturalHeight, m_state.bKeepAspect);
        prn->paintPicture(picture, place.left, place.top, place.width, place.height);
    }

    if (m_state.bPrintFileName) {
        const QString name = fileNameOf(sPath);
        prn->setCurrentX(place.left + (place.width - prn->textWidth(name)) / 2);
        prn->setCurrentY(place.top + place.height + 0.1 * prn->textHeight(QStringLiteral("ABC")));
        prn->printLine(name);
    }
    picPrint->setPicture(QImage());
}

Printer* MainWindow::SelectPrinter()
{
    for (Printer* printer : m_printers.printers()) {
        if (printer->deviceName() == prnList->currentText())
            return printer;
    }
    return nullptr;
}

Printer* MainWindow::GetPrinterByName(const QString& name)
{
    for (Printer* printer : m_printers.printers()) {
        if (printer->deviceName() == name)
            return printer;
    }
    return nullptr;
}

} // namespace rasterblatt
