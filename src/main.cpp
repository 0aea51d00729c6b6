#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "print/CupsPrinterService.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The settings belong to the executable's name, so a renamed copy starts afresh.
    const QString appName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    const QString settingsFile = QSettings(QSettings::IniFormat, QSettings::UserScope, appName, appName).fileName();

    rasterblatt::CupsPrinterService printers;
    rasterblatt::QtMessageBoxes messages;
    rasterblatt::MainWindow window(printers, messages, settingsFile, QDir::currentPath());
    window.show();
    return app.exec();
}
