// SPDX-License-Identifier: GPL-3.0-or-later
// Scanning and listing a large photo tree, and ticking every entry, through the real main
// window; `find` on the same tree is the yardstick for the walk.
#include <cstdio>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include "BenchTools.h"
#include "engine/print/Printer.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

using namespace rasterblatt;
using namespace rasterblatt::bench;

namespace {

class NoPrinters final : public PrinterService {
public:
    std::vector<Printer*> printers() override { return {}; }
    Printer* currentPrinter() override { return nullptr; }
    void setCurrentPrinter(Printer*) override { }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int folders = 100;
    constexpr int filesPerFolder = 327; // 32,700 in all
    const char* extensions[] = { "jpg", "JPG", "bmp", "gif" };
    QTemporaryDir tree;
    for (int f = 0; f < folders; ++f) {
        const QString dir = tree.path() + QStringLiteral("/Ordner %1").arg(f, 3, 10, QLatin1Char('0'));
        QDir().mkpath(dir);
        for (int i = 0; i < filesPerFolder; ++i) {
            QFile file(dir
                + QStringLiteral("/IMG_%1.%2").arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(extensions[i % 4])));
            file.open(QIODevice::WriteOnly);
        }
    }

    QTemporaryDir config;
    const QString settingsFile = config.path() + QStringLiteral("/bench.ini");
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Settings/LastFolder"), tree.path());
    }
    NoPrinters printers;
    QtMessageBoxes messages;
    MainWindow window(printers, messages, settingsFile, tree.path());
    window.show();
    auto* subDirs = window.findChild<QCheckBox*>(QStringLiteral("chkSubDir"));
    auto* list = window.findChild<QListWidget*>(QStringLiteral("fileList"));
    auto* selectAll = window.findChild<QPushButton*>(QStringLiteral("cmdSelect"));
    auto* info = window.findChild<QLabel*>(QStringLiteral("lbInfo"));

    constexpr int runs = 7;
    const double scanMs = medianMs(
        runs, [&] { subDirs->setChecked(true); }, [&] { subDirs->setChecked(false); });
    const int listed = list->count();

    const double findMs = medianMs(runs, [&] {
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start(QStringLiteral("find"), { tree.path(), QStringLiteral("-type"), QStringLiteral("f") });
        find.waitForFinished(-1);
    });

    const double tickMs = medianMs(
        runs, [&] { selectAll->click(); },
        [&] {
            subDirs->setChecked(false);
            subDirs->setChecked(true);
        });

    std::printf("catalogue: %d files in %d folders, sub-folders included, warm cache, median of %d runs\n", listed,
        folders, runs);
    std::printf("  scan and list      %8.1f ms   (target <= 400 ms)\n", scanMs);
    std::printf("  find -type f       %8.1f ms   (ratio scan/find %.2f)\n", findMs, scanMs / findMs);
    std::printf("  tick all           %8.1f ms   (target <= 300 ms)\n", tickMs);
    std::printf("  status line: %s\n", qPrintable(info->text()));
    return listed == folders * filesPerFolder ? 0 : 1;
}
