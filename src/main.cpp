#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/TerminationWatcher.h"
#include "print/CupsPrinterService.h"

int main(int argc, char* argv[])
{
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
    // The settings belong to the executable's name, so a renamed copy starts afresh.
    const QString appName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    const QString settingsFile = QSettings(QSettings::IniFormat, QSettings::UserScope, appName, appName).fileName();

    rasterblatt::CupsPrinterService printers;
    rasterblatt::QtMessageBoxes messages;
    rasterblatt::MainWindow window(printers, messages, settingsFile, QDir::currentPath());
    rasterblatt::TerminationWatcher termination;
    QObject::connect(&termination, &rasterblatt::TerminationWatcher::terminationRequested, &window,
        &rasterblatt::MainWindow::closeForSessionEnd);
    window.show();
    return app.exec();
}
