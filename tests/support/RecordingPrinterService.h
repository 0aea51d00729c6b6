// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include "engine/print/Printer.h"

namespace rasterblatt {
// Logs every operation but the queries of paper and page (`PaintPicture 566.9 317.1 1461.9 1096.4 img=40x30`) and
// keeps the document rules of the real printers: a page break counts only when something is drawn after it, a
// document with nothing drawn sends nothing. A4 (11906 x 16838 twips) unless another paper is set, without margins;
// lines 161 twips high, characters 10 twips per point wide; the position stays where it was set (the print engine
// sets it for every line).
class RecordingPrinter final : public Printer {
public:
    explicit RecordingPrinter(const QString& name) { m_name = name; }
    QString deviceName() const override { return m_name; }
    void setFontName(const QString& name) override { recorded("setFontName", name, 0); }
    void setFontSize(double points) override { m_fontSize = recorded("setFontSize", QString::number(points), points); }
    double textWidth(const QString& s) override { return recorded("textWidth", s, s.size() * 10 * m_fontSize); }
    double textHeight(const QString& text) override { return recorded("textHeight", text, 161.0); }
    void setCurrentX(double x) override { m_x = recorded("setCurrentX", number(x), x); }
    void setCurrentY(double y) override { m_y = recorded("setCurrentY", number(y), y); }
    double currentX() const override { return m_x; }
    double currentY() const override { return m_y; }
    void printLine(const QString& text) override { draw("printLine", '"' + text + '"'); }
    void PaintPicture(const QImage& picture, double x, double y, double width, double height) override
    {
        draw("PaintPicture",
            QString::asprintf("%.1f %.1f %.1f %.1f img=%dx%d", x, y, width, height, picture.width(), picture.height()));
    }
    void drawFrame(double x, double y, double width, double height) override
    {
        draw("drawFrame", QString::asprintf("%.1f %.1f %.1f %.1f", x, y, width, height));
    }
    // The paper without margins, its size through millimetres as the real printers take it.
    void setPaper(const QPageSize& size, QPageLayout::Orientation orientation) override
    {
        m_layout = QPageLayout(size, orientation, QMarginsF());
        const QSizeF mm = size.size(QPageSize::Millimeter);
        const QSize twips(qRound(mm.width() / 25.4 * 1440), qRound(mm.height() / 25.4 * 1440));
        m_page = orientation == QPageLayout::Landscape ? twips.transposed() : twips;
    }
    QPageLayout pageLayout() override { return m_layout; }
    int pageWidth() override { return recorded("pageWidth", {}, m_page.width()); }
    int pageHeight() override { return recorded("pageHeight", {}, m_page.height()); }
    void newPage() override { m_pageBreakPending = recorded("newPage", {}, m_pages > 0); }
    void endDoc() override
    {
        recorded("endDoc", {}, 0);
        if (const int pages = std::exchange(m_pages, 0))
            m_jobs.push_back(pages);
    }
    void killDoc() override { m_discarded += recorded("killDoc", {}, true) && std::exchange(m_pages, 0) > 0; }

    // Makes the nth call of op from now on throw PrinterError(message), or PrintCancelled for an
    // empty message; that call has no other effect.
    void failAt(const QString& op, int nth, const QString& message) { m_fail = { op, message, nth }; }
    void clearCalls() { m_log.clear(); }
    QStringList log(const QString& op = {}) const { return m_log.filter(QRegularExpression('^' + op + "\\b")); }
    int count(const QString& op) const { return int(log(op).size()); }
    // The sheets of each document sent, oldest first.
    const std::vector<int>& jobs() const { return m_jobs; }
    int discardedDocuments() const { return m_discarded; }

private:
    static QString number(double value) { return QString::number(value, 'f', 1); }
    template <typename T> T recorded(const QString& op, const QString& args, T result)
    {
        m_log << (args.isEmpty() ? op : op + ' ' + args);
        if (op == m_fail.op && m_fail.countdown > 0 && --m_fail.countdown == 0) {
            if (m_fail.message.isEmpty())
                throw PrintCancelled();
            throw PrinterError(Error(Error::Kind::SystemText, { m_fail.message }));
        }
        return result;
    }
    // Opens the document, or the page after a pending page break.
    void draw(const QString& op, const QString& args)
    {
        m_pages += recorded(op, args, m_pages == 0 || m_pageBreakPending);
        m_pageBreakPending = false;
    }

    QString m_name;
    QSize m_page { 11906, 16838 }; // A4
    QPageLayout m_layout { QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF() };
    QStringList m_log;
    double m_fontSize = 8, m_x = 0, m_y = 0;
    int m_pages = 0, m_discarded = 0;
    bool m_pageBreakPending = false;
    std::vector<int> m_jobs;
    struct {
        QString op, message;
        int countdown = 0;
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
    void setCurrentPrinter(Printer* p) override { m_currentChanges << ((m_current = p) ? p->deviceName() : QString()); }
    // Replaces the installed printers; printers of earlier lists stay alive and keep their pointers.
    void setPrinterNames(const QStringList& names)
    {
        m_printers.clear();
        for (const QString& name : names)
            m_printers.push_back((m_all[name] = m_all.value(name, std::make_shared<RecordingPrinter>(name))).get());
    }
    RecordingPrinter* printer(const QString& name) const { return m_all.value(name).get(); }
    // The device names passed to setCurrentPrinter, in order ("" for nullptr).
    const QStringList& currentPrinterChanges() const { return m_currentChanges; }
    std::function<void()> questionGate; // runs in each papers question asked from now on, on its thread
    std::function<PrinterPapers()> papersQuestion(const QString& name, std::chrono::milliseconds bound) override
    {
        return [answer = PrinterService::papersQuestion(name, bound), gate = questionGate] {
            return gate ? (gate(), answer()) : answer();
        };
    }

private:
    QHash<QString, std::shared_ptr<RecordingPrinter>> m_all;
    std::vector<Printer*> m_printers;
    Printer* m_current = nullptr;
    QStringList m_currentChanges;
};
} // namespace rasterblatt
