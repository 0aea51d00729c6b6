#include "RecordingPrinterService.h"

namespace rasterblatt {

QStringList RecordingPrinter::log(const QString& op) const
{
    QStringList lines;
    for (const PrinterCall& call : m_calls) {
        if (!op.isEmpty() && call.op != op)
            continue;
        QStringList parts { call.op };
        for (const QVariant& arg : call.args) {
            if (arg.typeId() == QMetaType::Double)
                parts << QString::number(arg.toDouble(), 'f', 1);
            else if (arg.typeId() == QMetaType::QSize)
                parts << QStringLiteral("img=%1x%2").arg(arg.toSize().width()).arg(arg.toSize().height());
            else
                parts << QLatin1Char('"') + arg.toString() + QLatin1Char('"');
        }
        lines << parts.join(QLatin1Char(' '));
    }
    return lines;
}

void RecordingPrinter::recordDrawing(const QString& op, QVariantList args)
{
    record(op, std::move(args));
    if (m_pages == 0 || m_pageBreakPending)
        ++m_pages;
    m_pageBreakPending = false;
}

int RecordingPrinter::closeDocument()
{
    m_pageBreakPending = false;
    m_x = m_y = 0;
    return std::exchange(m_pages, 0);
}

void RecordingPrinter::printLine(const QString& text)
{
    recordDrawing("printLine", { text });
    m_x = 0;
    m_y += 161;
}

void RecordingPrinter::newPage()
{
    record("newPage");
    m_pageBreakPending = m_pages > 0;
    m_x = m_y = 0;
}

void RecordingPrinter::endDoc()
{
    record("endDoc");
    if (const int pages = closeDocument())
        m_jobs.push_back(pages);
}

void RecordingPrinter::killDoc()
{
    record("killDoc");
    if (closeDocument() > 0)
        ++m_discarded;
}

RecordingPrinterService::RecordingPrinterService(const QStringList& names, const QString& current)
{
    setPrinterNames(names);
    m_current = printer(current.isEmpty() ? names.value(0) : current);
}

void RecordingPrinterService::setCurrentPrinter(Printer* printer)
{
    m_current = dynamic_cast<RecordingPrinter*>(printer);
    m_currentChanges << (printer ? printer->deviceName() : QString());
}

void RecordingPrinterService::setPrinterNames(const QStringList& names)
{
    m_printers.clear();
    for (const QString& name : names) {
        if (!m_all.contains(name))
            m_all.insert(name, std::make_shared<RecordingPrinter>(name));
        m_printers.push_back(printer(name));
    }
}

} // namespace rasterblatt
