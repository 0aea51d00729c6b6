#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <QHash>
#include <QStringList>
#include <QVariantList>

#include "print/PrinterService.h"

namespace rasterblatt {

// One recorded operation. Arguments: numbers as double, text as QString, a picture as its QSize.
struct PrinterCall {
    QString op;
    QVariantList args;
};

// A printer for tests. It records every operation but the const queries, keeps the text position
// and the document rules of the real printers: the first drawing opens a document, a page break
// counts only when something is drawn after it, and ending a document with nothing drawn sends
// nothing. The page is A4 (11906 x 16838 twips); every text is 161 twips high, and each character
// as wide as 10 twips per point of the font size (70 at 7 points).
class RecordingPrinter final : public Printer {
public:
    explicit RecordingPrinter(QString name)
        : m_name(std::move(name))
    {
    }

    QString deviceName() const override { return m_name; }
    void setFontName(const QString& name) override { m_fontName = recorded("setFontName", { name }, name); }
    void setFontSize(double points) override { m_fontSize = recorded("setFontSize", { points }, points); }
    double textWidth(const QString& text) override { return recorded("textWidth", { text }, text.size() * 10.0 * m_fontSize); }
    double textHeight(const QString& text) override { return recorded("textHeight", { text }, 161.0); }
    void setCurrentX(double x) override { m_x = recorded("setCurrentX", { x }, x); }
    void setCurrentY(double y) override { m_y = recorded("setCurrentY", { y }, y); }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printLine(const QString& text) override;
    void paintPicture(const QImage& picture, double x, double y, double width, double height) override
    {
        recordDrawing("paintPicture", { x, y, width, height, picture.size() });
    }
    int pageWidth() override { return recorded("pageWidth", {}, 11906); }
    int pageHeight() override { return recorded("pageHeight", {}, 16838); }
    void newPage() override;
    void endDoc() override;
    void killDoc() override;

    QString fontName() const { return m_fontName; }
    double fontSize() const { return m_fontSize; }

    // Makes the nth call of op from now on throw PrinterError(message); that call has no other effect.
    void failAt(const QString& op, int nth = 1, const QString& message = "Druckerfehler (Test)")
    {
        m_fail = { op, nth, message };
    }

    const std::vector<PrinterCall>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    // The calls (with op: of that operation) as `paintPicture 566.9 283.5 1461.9 1096.4 img=378x282`,
    // `printLine "urlaub.jpg"`, `newPage`.
    QStringList log(const QString& op = {}) const;
    int count(const QString& op) const { return static_cast<int>(log(op).size()); }
    // The documents sent, as their number of sheets, oldest first.
    const std::vector<int>& jobs() const { return m_jobs; }
    // Documents that killDoc threw away after something was drawn.
    int discardedDocuments() const { return m_discarded; }

private:
    // Records the call, then throws if failAt says so, else returns result.
    template <typename T> T recorded(const QString& op, QVariantList args, T result)
    {
        m_calls.push_back({ op, std::move(args) });
        if (op == m_fail.op && m_fail.countdown > 0 && --m_fail.countdown == 0)
            throw PrinterError(m_fail.message.toStdString());
        return result;
    }
    void record(const QString& op, QVariantList args = {}) { recorded(op, std::move(args), 0); }
    // Records a drawing, which opens the document or the page after a pending page break.
    void recordDrawing(const QString& op, QVariantList args);
    int closeDocument();

    QString m_name;
    std::vector<PrinterCall> m_calls;
    QString m_fontName = QStringLiteral("Arial");
    double m_fontSize = 8;
    double m_x = 0;
    double m_y = 0;
    int m_pages = 0;
    bool m_pageBreakPending = false;
    std::vector<int> m_jobs;
    int m_discarded = 0;
    struct {
        QString op;
        int countdown = 0;
        QString message;
    } m_fail;
};

// A fixed list of recording printers and a current printer.
class RecordingPrinterService final : public PrinterService {
public:
    // The current printer is the one named `current`, or the first one when it is empty.
    explicit RecordingPrinterService(const QStringList& names
        = { QStringLiteral("Testdrucker"), QStringLiteral("Zweitdrucker"), QStringLiteral("PDF-Datei") },
        const QString& current = {});

    std::vector<Printer*> printers() override { return m_printers; }
    Printer* currentPrinter() override { return m_current; }
    void setCurrentPrinter(Printer* printer) override;

    // Replaces the installed printers; printers of earlier lists stay alive and keep their pointers.
    void setPrinterNames(const QStringList& names);
    // The printer of that name from any list so far, or nullptr.
    RecordingPrinter* printer(const QString& name) const { return m_all.value(name).get(); }
    RecordingPrinter* current() const { return m_current; }
    // The device names passed to setCurrentPrinter, in order ("" for nullptr).
    const QStringList& currentPrinterChanges() const { return m_currentChanges; }

private:
    QHash<QString, std::shared_ptr<RecordingPrinter>> m_all;
    std::vector<Printer*> m_printers;
    RecordingPrinter* m_current = nullptr;
    QStringList m_currentChanges;
};

} // namespace rasterblatt
