#pragma once

#include <QImage>
#include <QStringList>

// Poppler's PDF tools, CUPS's administration commands and the job folders of scripts/cups-sandbox.
namespace rasterblatt::testing {

struct ToolResult {
    bool ok = false;
    QString output; // standard output and standard error
};

// Runs a program (also from sbin) in the C locale and waits for it.
ToolResult runTool(const QString& program, const QStringList& args);
// A field of pdfinfo's report, e.g. "Pages" or "Page size".
QString pdfInfo(const QString& path, const QString& field);
QString pdfText(const QString& path);
// One page (from 1) rendered by pdftoppm; a null image when that fails.
QImage renderPage(const QString& pdf, int page, int dpi);
// The jobs a sandbox queue has captured, oldest first.
QStringList capturedJobs(const QString& sandbox, const QString& queue);

} // namespace rasterblatt::testing
