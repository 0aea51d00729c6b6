// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/common/Error.h"

namespace rasterblatt {

namespace {

    // The sentence with %1, %2, ... replaced in one pass, so that a name holding "%2" stays as it is.
    QString filled(const char16_t* text, const QStringList& words)
    {
        const QString sentence = QString::fromUtf16(text);
        QString result;
        for (qsizetype i = 0; i < sentence.size(); ++i) {
            const int n = i + 1 < sentence.size() ? sentence[i + 1].digitValue() : -1;
            if (sentence[i] == u'%' && n >= 1 && n <= words.size()) {
                result += words[n - 1];
                ++i;
            } else {
                result += sentence[i];
            }
        }
        return result;
    }

} // namespace

QString errorText(const Error& error)
{
    using Kind = Error::Kind;
    // The words, and the cause's sentence after them.
    const QStringList words = error.cause ? error.args + QStringList { errorText(*error.cause) } : error.args;
    const auto with = [&words](const char16_t* text) { return filled(text, words); };
    switch (error.kind) {
    case Kind::None:
        return {};
    case Kind::Cancelled:
        return QStringLiteral("Der Druck wurde abgebrochen.");
    case Kind::PrinterMissing:
        return with(u"Der Drucker \u201e%1\u201c ist nicht verf\u00fcgbar. Ist er noch eingerichtet, und l\u00e4uft "
                    u"das Drucksystem (CUPS)?");
    case Kind::JobRunning:
        return QStringLiteral("Es läuft schon ein Druckauftrag.");
    case Kind::OutOfMemory:
        return QStringLiteral("Nicht genug Arbeitsspeicher.");
    case Kind::NoCells:
        return QStringLiteral("Spalten und Zeilen müssen mindestens 1 sein.");
    case Kind::FontSize:
        return with(u"Ung\u00fcltige Schriftgr\u00f6\u00dfe: %1");
    case Kind::EmptyPicture:
        return QStringLiteral("Das Bild ist leer und kann nicht gedruckt werden.");
    case Kind::PdfNotWritable:
        return with(u"Die PDF-Datei \u201e%1\u201c kann nicht geschrieben werden: %2");
    case Kind::PdfIsPicture:
        return with(
            u"Die PDF-Datei \u201e%1\u201c ist eines der Bilder des Ordners; sie wird nicht \u00fcberschrieben.");
    case Kind::PictureFileNotWritable:
        return with(u"Die Bilddatei \u201e%1\u201c kann nicht geschrieben werden: %2");
    case Kind::PictureFileIsPicture:
        return with(
            u"Die Bilddatei \u201e%1\u201c ist eines der Bilder des Ordners; sie wird nicht \u00fcberschrieben.");
    case Kind::NameNotUtf8:
        return QStringLiteral("Ihr Name ist nicht in UTF-8.");
    case Kind::NotAFile:
        return QStringLiteral("Sie ist keine gewöhnliche Datei.");
    case Kind::NoFolder:
        return with(u"Den Ordner \u201e%1\u201c gibt es nicht.");
    case Kind::FolderNotWritable:
        return with(u"Im Ordner \u201e%1\u201c darf keine Datei angelegt werden (%2); die Datei entsteht dort "
                    u"neben ihrem Ziel und ersetzt es dann.");
    case Kind::FolderChanged:
        return QStringLiteral("Ihr Ordner ist ein anderer als beim Beginn des Drucks.");
    case Kind::DiskFull:
        return QStringLiteral("Auf dem Datenträger ist kein Platz mehr.");
    case Kind::DocumentNotWritten:
        return with(u"Das Druckdokument kann im Ordner \u201e%1\u201c nicht geschrieben werden: %2");
    case Kind::DocumentIncomplete:
        return QStringLiteral("Die Datei ist unvollständig.");
    case Kind::DocumentNotCreated:
        return with(u"Das Druckdokument kann im Ordner \u201e%1\u201c nicht angelegt werden: %2");
    case Kind::NoNewPage:
        return QStringLiteral("Eine neue Seite kann nicht begonnen werden.");
    case Kind::PaperUnsupported:
        return QStringLiteral("Das Papierformat des Druckers wird nicht unterstützt.");
    case Kind::DocumentNotBegun:
        return QStringLiteral("Das Druckdokument kann nicht begonnen werden.");
    case Kind::JobNotSent:
        return with(u"Der Druckauftrag f\u00fcr \u201e%1\u201c konnte nicht gesendet werden: %2");
    case Kind::CupsUnreachable:
        return with(u"Das Drucksystem CUPS (%1) ist nicht erreichbar.");
    case Kind::QueueGone:
        return QStringLiteral("Diesen Drucker gibt es im Drucksystem (CUPS) nicht mehr.");
    case Kind::CupsSilent:
        return QStringLiteral("Das Drucksystem (CUPS) antwortet nicht.");
    case Kind::CupsConnectionLost:
        return QStringLiteral("Die Verbindung zum Drucksystem (CUPS) ist abgebrochen.");
    case Kind::PictureNotLoaded:
        return with(u"\u201e%1\u201c kann nicht geladen werden: %2.");
    case Kind::NotARegularFile:
        return QStringLiteral("keine gewöhnliche Datei");
    case Kind::FileEmpty:
        return QStringLiteral("die Datei ist leer");
    case Kind::FileBeyondBudget:
        return with(u"die Datei ist gr\u00f6\u00dfer als der Speicherrahmen (%1 MB)");
    case Kind::PictureBeyondBudget:
        return with(u"zu gro\u00df f\u00fcr den Speicherrahmen (%1 \u00d7 %2 Pixel)");
    case Kind::NotAPicture:
        return with(u"kein lesbares Bild (%1)");
    case Kind::NoPixels:
        return QStringLiteral("das Bild hat keine Pixel");
    case Kind::Damaged:
        return with(u"besch\u00e4digt (%1)");
    case Kind::DamagedNoPixels:
        return QStringLiteral("beschädigt (keine Pixel)");
    case Kind::DamagedLargerThanSaid:
        return QStringLiteral("beschädigt (ein Bild ist größer als angegeben)");
    case Kind::DamagedMetadata:
        return QStringLiteral("beschädigt (unvollständige Metadaten)");
    case Kind::CutOff:
        return QStringLiteral("abgeschnitten");
    case Kind::TooManyItems:
        return with(u"zu viele Teilbilder (%1)");
    case Kind::NotHeif:
        return with(u"keine lesbare HEIF-Datei (%1)");
    case Kind::NotJpeg:
        return with(u"keine g\u00fcltige JPEG-Datei (%1)");
    case Kind::DecodeMemory:
        return QStringLiteral("nicht genug Speicher");
    case Kind::DecodeTimeout:
        return with(u"das Decodieren dauert l\u00e4nger als %1 Sekunden");
    case Kind::TooManyScans:
        return with(u"mehr als %1 Durchg\u00e4nge");
    case Kind::TooLarge:
        return with(u"zu gro\u00df (%1 \u00d7 %2 Pixel)");
    case Kind::NoPreview:
        return QStringLiteral("keine Vorschau");
    case Kind::PreviewUnreadable:
        return QStringLiteral("beschädigt (die Vorschau ist nicht lesbar)");
    case Kind::PreviewNotAsSaid:
        return QStringLiteral("beschädigt (die Vorschau ist nicht, was sie vorgibt)");
    case Kind::SystemText:
        return error.args.value(0);
    }
    return {};
}

} // namespace rasterblatt
