// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>

#include <QDir>
#include <QPageLayout>
#include <QTemporaryFile>

#include "engine/print/PaintedPrinter.h"

namespace rasterblatt {

// A printer whose document is drawn into a temporary PDF file at 1440 dpi, so that device
// units are twips. The file is opened by the first drawing; a page break waits until
// something is drawn after it. Every byte written is checked: a full disk ends the job with
// its cause, never with a cut-off file. Subclasses say what page each paper gives, where the
// document is drawn and where a finished file goes; the temporary file is deleted unless
// the subclass moved it into place.
class PdfDocumentPrinter : public PaintedPrinter {
public:
    explicit PdfDocumentPrinter(QString name);
    ~PdfDocumentPrinter() override;

    QString deviceName() const override { return m_name; }

    void setPaper(const QPageSize& size, QPageLayout::Orientation orientation) override;
    QPageLayout pageLayout() override;
    void setDocumentName(const QString& name) override { m_documentName = name; }

    void newPage() override;
    void endDoc() override;
    void killDoc() override;

protected:
    // The page the paper gives in that orientation, margins marking its printable area.
    virtual QPageLayout layoutFor(const QPageSize& size, QPageLayout::Orientation orientation) = 0;
    // The folder the document is drawn in.
    virtual QString documentFolder() const { return QDir::tempPath(); }
    // Hands the finished PDF, laid out on paper, on, positioned at its start; the file is
    // deleted after this returns or throws, unless deliver turned its auto-removal off.
    virtual void deliver(QTemporaryFile& pdf, const QPageSize& paper) = 0;
    // The paper set for the documents, or the default one in portrait.
    QPageSize paper() { return m_paper.isValid() ? m_paper : defaultPaper(); }
    // The document's name, "Kontaktabzug" where none was given.
    QString documentName() const;

    const QPageLayout& documentLayout() override;
    QPainter& pagePainter() override;

private:
    struct Document;

    void resetDocument();

    QString m_name;
    QString m_documentName;
    QPageSize m_paper;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    // The page of the document begun or about to be, and the paper it is for.
    std::optional<QPageLayout> m_layout;
    QPageSize m_layoutPaper;
    std::unique_ptr<Document> m_document;
};

} // namespace rasterblatt
