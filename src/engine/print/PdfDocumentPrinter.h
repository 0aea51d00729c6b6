// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTemporaryFile>

#include "engine/print/Printer.h"

namespace rasterblatt {

// A printer whose document is drawn into a temporary PDF file at 1440 dpi, so that device
// units are twips. The file is opened by the first drawing; a page break waits until
// something is drawn after it. Every byte written is checked: a full disk ends the job with
// its cause, never with a cut-off file. Subclasses say which page the printer has, where the
// document is drawn and where a finished file goes; the temporary file is deleted unless
// the subclass moved it into place.
class PdfDocumentPrinter : public Printer {
public:
    explicit PdfDocumentPrinter(QString name);
    ~PdfDocumentPrinter() override;

    QString deviceName() const override { return m_name; }

    void setFontName(const QString& name) override;
    void setFontSize(double points) override;
    double textWidth(const QString& text) override;
    double textHeight(const QString& text) override;

    void setCurrentX(double x) override { m_x = x; }
    void setCurrentY(double y) override { m_y = y; }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printLine(const QString& text) override;

    void PaintPicture(const QImage& picture, double x, double y, double width, double height) override;

    int pageWidth() override;
    int pageHeight() override;

    void newPage() override;
    void endDoc() override;
    void killDoc() override;

protected:
    // The default page of the printer, margins marking its printable area.
    virtual QPageLayout defaultPageLayout() = 0;
    // The folder the document is drawn in.
    virtual QString documentFolder() const { return QDir::tempPath(); }
    // Hands the finished PDF on, positioned at its start; the file is deleted after this
    // returns or throws, unless deliver turned its auto-removal off.
    virtual void deliver(QTemporaryFile& pdf) = 0;

private:
    struct Document;

    // The page of the current document, fixed from its first use until it ends.
    const QPageLayout& pageLayout();
    // Opens the document if needed and emits a pending page break.
    Document& drawingTarget();
    void resetDocument();

    QString m_name;
    QFont m_font;
    double m_x = 0;
    double m_y = 0;
    std::optional<QPageLayout> m_layout;
    std::unique_ptr<Document> m_document;

    // Text is measured on a PDF device of the same resolution as the document's, which
    // need not be open yet; this one is never painted on, so the buffer stays unused.
    QBuffer m_metricsBuffer;
    QPdfWriter m_metricsDevice;
};

} // namespace rasterblatt
