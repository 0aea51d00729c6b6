#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QStringList>
#include <QVariantList>

#include "print/PrinterService.h"

namespace rasterblatt {

// One recorded printer operation. Arguments: numbers as double, text as QString, a picture
// as its QSize in pixels.
struct PrinterCall {
    QString op;
    QVariantList args;

    // Numbers with one decimal, text quoted, a picture by its pixel size:
    // `paintPicture 566.9 283.5 1461.9 1096.4 img=378x282`, `printLine "urlaub.jpg"`, `newPage`.
    QString toString() const;
};

// A printer for tests. It records every operation except the const queries (deviceName,
// currentX/Y, the HIMETRIC conversions), keeps the text position, and keeps the document
// rules of the real printers: the first drawing (printLine, paintPicture) opens a document,
// a page break counts only when something is drawn after it, and ending a document with
// nothing drawn sends nothing.
class RecordingPrinter final : public Printer {
public:
    explicit RecordingPrinter(QString name);

    QString deviceName() const override { return m_name; }
    void setFontName(const QString& name) override;
    void setFontSize(double points) override;
    double textWidth(const QString& text) override;
    double textHeight(const QString& text) override;
    void setCurrentX(double x) override;
    void setCurrentY(double y) override;
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printLine(const QString& text) override;
    void paintPicture(const QImage& picture, double x, double y, double width, double height) override;
    int pageWidth() override;
    int pageHeight() override;
    void newPage() override;
    void endDoc() override;
    void killDoc() override;

    // What the printer reports. Defaults: an A4 page of 11906 x 16838 twips; every text is
    // 161 twips high (Arial 7 pt) and 70 twips wide per character.
    void setPageSize(int widthTwips, int heightTwips);
    void setLineHeight(double twips) { m_lineHeight = twips; }
    void setCharWidth(double twips) { m_charWidth = twips; }
    QString fontName() const { return m_fontName; }
    double fontSize() const { return m_fontSize; }

    // Makes the nth call of op from now on (1: the next one) throw PrinterError(message).
    // The failing call is recorded but has no other effect.
    void failAt(const QString& op, int nth = 1, const QString& message = QStringLiteral("Druckerfehler (Test)"));

    const std::vector<PrinterCall>& calls() const { return m_calls; }
    // The calls as strings; with op, only the calls of that operation.
    QStringList log(const QString& op = {}) const;
    int count(const QString& op) const;
    void clearCalls() { m_calls.clear(); }

    bool documentOpen() const { return m_pages > 0; }
    // Pages of the open document so far; a page break not yet drawn after does not count.
    int pagesInDocument() const { return m_pages; }
    // Every document that reached the printer, as its number of sheets, oldest first.
    const std::vector<int>& jobs() const { return m_jobs; }
    // Documents that were open when killDoc threw them away.
    int discardedDocuments() const { return m_discarded; }

private:
    void record(const QString& op, QVariantList args = {});
    void draw();

    QString m_name;
    std::vector<PrinterCall> m_calls;
    int m_pageWidth = 11906;
    int m_pageHeight = 16838;
    double m_lineHeight = 161;
    double m_charWidth = 70;
    QString m_fontName = QStringLiteral("Arial");
    double m_fontSize = 8;
    double m_x = 0;
    double m_y = 0;
    int m_pages = 0;
    bool m_pageBreakPending = false;
    std::vector<int> m_jobs;
    int m_discarded = 0;

    QString m_failOp;
    int m_failCountdown = 0;
    QString m_failMessage;
};

// A printer service for tests: a fixed list of recording printers and a current printer.
class RecordingPrinterService final : public PrinterService {
public:
    // The current printer is the one named `current`, or the first one when it is empty.
    explicit RecordingPrinterService(const QStringList& names
        = { QStringLiteral("Testdrucker"), QStringLiteral("Zweitdrucker"), QStringLiteral("PDF-Datei") },
        const QString& current = {});

    std::vector<Printer*> printers() override;
    Printer* currentPrinter() override { return m_current; }
    void setCurrentPrinter(Printer* printer) override;

    // Replaces the installed printers (a queue added or deleted meanwhile); printers of
    // earlier lists stay alive, so pointers handed out remain valid.
    void setPrinterNames(const QStringList& names);
    // The printer of that name from any list so far, or nullptr.
    RecordingPrinter* printer(const QString& name) const;
    RecordingPrinter* current() const { return m_current; }
    // The device names passed to setCurrentPrinter, in order ("" for nullptr).
    const QStringList& currentPrinterChanges() const { return m_currentChanges; }

private:
    std::map<QString, std::unique_ptr<RecordingPrinter>> m_all;
    QStringList m_names;
    RecordingPrinter* m_current = nullptr;
    QStringList m_currentChanges;
};

} // namespace rasterblatt
