#pragma once

#include <algorithm>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

// Poppler's PDF tools, CUPS's administration commands and the job folders of scripts/cups-sandbox.
namespace rasterblatt::testing {

struct ToolResult {
    bool ok = false;
    QString output; // standard output and standard error
};

// Runs a program (also from sbin) in the C locale and waits for it.
inline ToolResult runTool(const QString& program, const QStringList& args)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C");
    process.setProcessEnvironment(environment);
    QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        executable = QStandardPaths::findExecutable(program, { "/usr/sbin", "/sbin" });
    process.start(executable.isEmpty() ? program : executable, args);
    const bool finished = process.waitForFinished(30000);
    const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return { finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, output };
}

// A field of pdfinfo's report, e.g. "Pages" or "Page size".
inline QString pdfInfo(const QString& path, const QString& field)
{
    for (const QString& line : runTool("pdfinfo", { path }).output.split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed();
    }
    return {};
}

inline QString pdfText(const QString& path) { return runTool("pdftotext", { path, "-" }).output; }

// One page (from 1) rendered by pdftoppm; a null image when that fails.
inline QImage renderPage(const QString& pdf, int page, int dpi)
{
    QTemporaryDir out;
    const QString n = QString::number(page);
    return runTool("pdftoppm",
               { "-r", QString::number(dpi), "-f", n, "-l", n, "-png", "-singlefile", pdf, out.filePath("p") })
               .ok
        ? QImage(out.filePath("p.png"))
        : QImage();
}

// The jobs a sandbox queue has captured, oldest first.
inline QStringList capturedJobs(const QString& sandbox, const QString& queue)
{
    QFileInfoList files = QDir(sandbox + "/jobs/" + queue).entryInfoList({ "*.pdf" }, QDir::Files);
    std::sort(files.begin(), files.end(),
        [](const QFileInfo& a, const QFileInfo& b) { return a.baseName().toInt() < b.baseName().toInt(); });
    QStringList paths;
    for (const QFileInfo& file : files)
        paths << file.filePath();
    return paths;
}

} // namespace rasterblatt::testing
