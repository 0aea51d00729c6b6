// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QImage>
#include <QPageLayout>
#include <QPainter>

#include "engine/print/PaintedPrinter.h"

namespace rasterblatt {

// The printer "Bilddateien (JPEG)": every page of a document becomes a JPEG picture of the
// whole paper at 300 pixels per inch, sRGB (its profile embedded), at quality 90, drawn as the
// preview's image printer draws. A document of one page goes to the target itself, one of more
// to "NAME-1.jpg", "NAME-2.jpg", ... beside it (pageFiles). All pages or none: each is written
// beside its target as it is finished, and only the document's end moves them all into place;
// a document thrown away, a full disk or a failure leave no new file and every older one as it
// was. Its papers are the standard ones, without margins.
class JpegFilesPrinter final : public PaintedPrinter {
public:
    static constexpr double Dpi = 300;
    static constexpr int Quality = 90;
    // Asks for the file to write, proposing one; an empty answer saves nothing.
    using FileNameQuery = std::function<QString(const QString& proposal)>;

    explicit JpegFilesPrinter(FileNameQuery askFileName = {});
    ~JpegFilesPrinter() override;

    static QString printerName() { return QStringLiteral("Bilddateien (JPEG)"); }
    // What the messages call one of its files.
    static QString fileNoun() { return QStringLiteral("Bilddatei"); }
    // The files of a document of that many pages written to target.
    static QStringList pageFiles(const QString& target, int pages);

    QString deviceName() const override { return printerName(); }
    QList<QPageSize> paperSizes() override { return standardPapers(); }
    void setPaper(const QPageSize& size, QPageLayout::Orientation orientation) override;
    QPageLayout pageLayout() override;

    void newPage() override;
    void endDoc() override;
    void killDoc() override;

    // Asks where the folder's sheet goes, proposing the folder's name with ".jpg" as "PDF-Datei"
    // does; false when the user cancels. A file chosen that cannot be written throws PrinterError.
    bool chooseTarget(const QString& folder);
    // The file the next document goes to, asked for before the job (symbolic links followed).
    void setTarget(const QString& target);
    QString target() const { return m_target; }

protected:
    const QPageLayout& documentLayout() override;
    QPainter& pagePainter() override;

private:
    struct Document;
    void resetDocument();

    FileNameQuery m_askFileName;
    QString m_target;
    // Where the user saved a sheet last in this session.
    QString m_lastFolder;
    QPageSize m_paper { QPageSize::A4 };
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    // The page of the document begun or about to be.
    std::optional<QPageLayout> m_layout;
    std::unique_ptr<Document> m_document;
};

} // namespace rasterblatt
