// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

#include "cli/CommandLine.h"
#include "cli/PrintFolder.h"
#include "engine/catalogue/NativePath.h"
#include "engine/common/TerminationWatcher.h"
#include "engine/print/CupsPrinterService.h"
#include "engine/print/PrintCommand.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/PrinterSupport.h"

using namespace rasterblatt;

int main(int argc, char* argv[])
{
    // A file that may not grow (ulimit -f) fails its write with a reason instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << pathFromNative(argv[i]);
    const bool terminal = rasterblatt::wantsTerminal(arguments);
    if (terminal) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Standard error carries our own lines only: Qt's notes on its environment stay out.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "Rasterblatt: %s\n", message.toLocal8Bit().constData());
        });
    }

    QApplication app(argc, argv);
    // Desktops match the window to its desktop entry and icon by the program's id.
    QApplication::setDesktopFileName(QStringLiteral("org.rasterblatt.Rasterblatt"));
    QIcon bundledIcon;
    for (const int size : { 16, 24, 32, 48, 64, 128, 256 })
        bundledIcon.addFile(QStringLiteral(":/icons/%1x%1.png").arg(size));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.rasterblatt.Rasterblatt"), bundledIcon));
    // The program speaks German, and so do Qt's own dialogs and buttons ("Ja", "Nein").
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    if (terminal) {
        // A run without a window prints and ends, and needs no display; Ctrl+C cancels it.
        RunFlags flags;
        TerminationWatcher interrupt(true);
        QObject::connect(&interrupt, &TerminationWatcher::terminationRequested, [&flags] { flags.bAbort = true; });
        return runWithoutWindow(arguments, stdout, stderr, flags);
    }

    // The settings belong to the executable's name, so a renamed copy starts afresh. The file
    // is where QSettings keeps a user's INI file, found without a QSettings: that would read it.
    const QString appName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    const QString settingsFile
        = QStringLiteral("%1/%2/%2.ini")
              .arg(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), appName);

    CupsPrinterService printers(&askPdfFileName);
    QtMessageBoxes messages;
    // A folder given on the command line ("Öffnen mit" of a file manager) is shown at once;
    // for a picture, its folder.
    QString openFolder = windowFolder(arguments);
    if (!openFolder.isEmpty()) {
        openFolder = absolutePath(openFolder);
        if (!isFolder(openFolder))
            openFolder = openFolder.section(u'/', 0, -2);
    }
    MainWindow window(printers, messages, settingsFile, currentFolder(), openFolder);
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &window, &MainWindow::closeForSessionEnd);
    window.show();
    return app.exec();
}
