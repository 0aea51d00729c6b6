#include "PdfTools.h"

#include <algorithm>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace rasterblatt::testing {

ToolResult runTool(const QString& program, const QStringList& args)
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

QString pdfInfo(const QString& path, const QString& field)
{
    for (const QString& line : runTool("pdfinfo", { path }).output.split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed();
    }
    return {};
}

QString pdfText(const QString& path) { return runTool("pdftotext", { path, "-" }).output; }

QImage renderPage(const QString& pdf, int page, int dpi)
{
    QTemporaryDir out;
    const QString n = QString::number(page);
    const QStringList args { "-r", QString::number(dpi), "-f", n, "-l", n, "-png", "-singlefile", pdf,
        out.filePath("p") };
    return runTool("pdftoppm", args).ok ? QImage(out.filePath("p.png")) : QImage();
}

QStringList capturedJobs(const QString& sandbox, const QString& queue)
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
