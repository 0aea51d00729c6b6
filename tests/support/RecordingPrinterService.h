#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include "print/PrinterService.h"

namespace rasterblatt {

// A printer for tests. It logs every operation but the const queries, one line each
// (`paintPicture 566.9 317.1 1461.9 1096.4 img=40x30`, `printLine "urlaub.jpg"`), and keeps the
// document rules of the real printers: the first drawing opens a document, a page break counts
// only when something is drawn after it, and a document with nothing drawn sends nothing. The
// page is A4 (11906 x 16838 twips); a line is 161 twips high, a character 10 twips per point wide.
class RecordingPrinter final : public Printer {
public:
    explicit RecordingPrinter(QString name)
        : m_name(std::move(name))
    {
    }

    QString deviceName() const override { return m_name; }
    void setFontName(const QString& name) override { recorded("setFontName", name, 0); }
    void setFontSize(double points) override { m_fontSize = recorded("setFontSize", number(points), points); }
    double textWidth(const QString& text) override
    {
        return recorded("textWidth", text, text.size() * 10 * m_fontSize);
    }
    double textHeight(const QString& text) override { return recorded("textHeight", text, 161.0); }
    void setCurrentX(double x) override { m_x = recorded("setCurrentX", number(x), x); }
    void setCurrentY(double y) override { m_y = recorded("setCurrentY", number(y), y); }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printLine(const QString& text) override
    {
        draw("printLine", '"' + text + '"');
        m_x = 0;
        m_y += 161;
    }
    void paintPicture(const QImage& picture, double x, double y, double width, double height) override
    {
        draw("paintPicture",
            QStringLiteral("%1 %2 %3 %4 img=%5x%6")
                .arg(number(x), number(y), number(width), number(height))
                .arg(picture.width())
                .arg(picture.height()));
    }
    int pageWidth() override { return recorded("pageWidth", {}, 11906); }
    int pageHeight() override { return recorded("pageHeight", {}, 16838); }
    void newPage() override
    {
        recorded("newPage", {}, 0);
        m_pageBreakPending = m_pages > 0;
        m_x = m_y = 0;
    }
    void endDoc() override
    {
        recorded("endDoc", {}, 0);
        if (const int pages = closeDocument())
            m_jobs.push_back(pages);
    }
    void killDoc() override
    {
        recorded("killDoc", {}, 0);
        m_discarded += closeDocument() > 0;
    }

    // Makes the nth call of op from now on throw PrinterError(message); that call has no other effect.
    void failAt(const QString& op, int nth, const QString& message) { m_fail = { op, nth, message }; }
    void clearCalls() { m_log.clear(); }
    // The logged calls, or those of one operation.
    QStringList log(const QString& op = {}) const
    {
        return op.isEmpty() ? m_log : m_log.filter(QRegularExpression("^" + op + "( |$)"));
    }
    int count(const QString& op) const { return int(log(op).size()); }
    // The documents sent, as their number of sheets, oldest first.
    const std::vector<int>& jobs() const { return m_jobs; }
    // Documents that killDoc threw away after something was drawn.
    int discardedDocuments() const { return m_discarded; }

private:
    static QString number(double value) { return QString::number(value, 'f', 1); }
    // Logs the call, then throws if failAt says so, else returns result.
    template <typename T> T recorded(const QString& op, const QString& args, T result)
    {
        m_log << (args.isEmpty() ? op : op + ' ' + args);
        if (op == m_fail.op && m_fail.countdown > 0 && --m_fail.countdown == 0)
            throw PrinterError(m_fail.message.toStdString());
        return result;
    }
    // A drawing opens the document, or the page after a pending page break.
    void draw(const QString& op, const QString& args)
    {
        recorded(op, args, 0);
        m_pages += m_pages == 0 || m_pageBreakPending;
        m_pageBreakPending = false;
    }
    int closeDocument()
    {
        m_pageBreakPending = false;
        m_x = m_y = 0;
        return std::exchange(m_pages, 0);
    }

    QString m_name;
    QStringList m_log;
    double m_fontSize = 8, m_x = 0, m_y = 0;
    int m_pages = 0, m_discarded = 0;
    bool m_pageBreakPending = false;
    std::vector<int> m_jobs;
    struct {
        QString op;
        int countdown = 0;
        QString message;
    } m_fail;
};

// A fixed list of recording printers and a current printer: the one named `current`, else the first.
class RecordingPrinterService final : public PrinterService {
public:
    explicit RecordingPrinterService(
        const QStringList& names = { "Testdrucker", "Zweitdrucker", "PDF-Datei" }, const QString& current = {})
    {
        setPrinterNames(names);
        m_current = printer(current.isEmpty() ? names.value(0) : current);
    }

    std::vector<Printer*> printers() override { return m_printers; }
    Printer* currentPrinter() override { return m_current; }
    void setCurrentPrinter(Printer* printer) override
    {
        m_current = dynamic_cast<RecordingPrinter*>(printer);
        m_currentChanges << (printer ? printer->deviceName() : QString());
    }
    // Replaces the installed printers; printers of earlier lists stay alive and keep their pointers.
    void setPrinterNames(const QStringList& names)
    {
        m_printers.clear();
        for (const QString& name : names) {
            if (!m_all.contains(name))
                m_all.insert(name, std::make_shared<RecordingPrinter>(name));
            m_printers.push_back(printer(name));
        }
    }
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
