// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

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
    const QString path = "PATH=" + qEnvironmentVariable("PATH") + ":/usr/sbin:/sbin";
    process.start("env", QStringList { "LC_ALL=C", path, program } + args);
    const bool finished = process.waitForFinished(30000);
    const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return { finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, output };
}

// A field of pdfinfo's report, e.g. "Pages" or "Page size".
inline QString pdfInfo(const QString& path, const QString& field)
{
    const QRegularExpression line("^" + field + ":(.*)$", QRegularExpression::MultilineOption);
    return line.match(runTool("pdfinfo", { path }).output).captured(1).trimmed();
}

inline QString pdfText(const QString& path) { return runTool("pdftotext", { path, "-" }).output; }

// The jobs a sandbox queue has captured, oldest first.
inline QStringList capturedJobs(const QString& sandbox, const QString& queue)
{
    QStringList paths;
    for (const QFileInfo& file : QDir(sandbox + "/jobs/" + queue).entryInfoList({ "*.pdf" }, QDir::Files))
        paths << file.filePath();
    const auto id = [](const QString& path) { return QFileInfo(path).baseName().toInt(); };
    std::sort(paths.begin(), paths.end(), [&](const QString& a, const QString& b) { return id(a) < id(b); });
    return paths;
}
} // namespace rasterblatt::testing
