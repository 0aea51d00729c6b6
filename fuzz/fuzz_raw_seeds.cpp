// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzz target's camera raw seeds into the folder given: small DNG, NEF and CR2 files.
#include <QFile>
#include <QGuiApplication>

#include "RawFiles.h"

int main(int argc, char** argv)
{
    // Run by the build, where there may be no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 1;
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkRed);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 80);
    for (const char* kind : { "DNG", "NEF", "CR2" }) {
        QFile file(QString::fromLocal8Bit(argv[1]) + "/picture." + QString(kind).toLower());
        if (!file.open(QIODevice::WriteOnly)
            || file.write(rasterblatt::fixtures::rawFile(kind, jpeg, picture.scaled(12, 8), 6, 64)) < 0)
            return 1;
    }
    return 0;
}
