// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "engine/print/PdfDocumentPrinter.h"

namespace rasterblatt {

// The built-in printer "PDF-Datei": the document is drawn beside the file chosen for it and
// moved into place when it ends (FileTarget), so the old file stays until the new one is whole.
class PdfFilePrinter final : public PdfDocumentPrinter {
public:
    // Asks for the file to write, proposing one; an empty answer cancels.
    using FileNameQuery = std::function<QString(const QString& proposal)>;

    // Without a file name query nothing is saved.
    explicit PdfFilePrinter(FileNameQuery askFileName);

    static QString printerName() { return QStringLiteral("PDF-Datei"); }

    // Asks where the folder's contact sheet goes, proposing the folder's name with ".pdf" in the
    // folder chosen last, else in the printed folder, else (not writable) in the documents
    // folder; false when the user cancels. A file chosen that cannot be written throws PrinterError.
    bool chooseTarget(const QString& folder);
    // The file the next document goes to, asked for before the job.
    QString target() const { return m_target; }

protected:
    QList<QPageSize> paperSizes() override { return standardPapers(); }
    QPageLayout layoutFor(const QPageSize& size, QPageLayout::Orientation orientation) override;
    // Beside the target, so that the finished document only needs a new name; a document
    // begun without a target asks for one now.
    QString documentFolder() const override;
    void deliver(QTemporaryFile& pdf, const QPageSize&) override;

private:
    FileNameQuery m_askFileName;
    mutable QString m_target;
    // Where the user saved a contact sheet last in this session.
    QString m_lastFolder;
};

} // namespace rasterblatt
