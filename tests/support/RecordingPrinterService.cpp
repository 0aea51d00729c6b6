#include "RecordingPrinterService.h"

#include <algorithm>
#include <utility>

#include <QSize>

namespace rasterblatt {

QString PrinterCall::toString() const
{
    QStringList parts { op };
    for (const QVariant& arg : args) {
        switch (arg.typeId()) {
        case QMetaType::Double:
            parts << QString::number(arg.toDouble(), 'f', 1);
            break;
        case QMetaType::QString:
            parts << QLatin1Char('"') + arg.toString() + QLatin1Char('"');
            break;
        case QMetaType::QSize:
            parts << QStringLiteral("img=%1x%2").arg(arg.toSize().width()).arg(arg.toSize().height());
            break;
        default:
            parts << arg.toString();
        }
    }
    return parts.join(QLatin1Char(' '));
}

RecordingPrinter::RecordingPrinter(QString name)
    : m_name(std::move(name))
{
}

void RecordingPrinter::record(const QString& op, QVariantList args)
{
    m_calls.push_back({ op, std::move(args) });
    if (op == m_failOp && m_failCountdown > 0 && --m_failCountdown == 0)
        throw PrinterError(m_failMessage.toStdString());
}

void RecordingPrinter::draw()
{
    if (m_pages == 0)
        m_pages = 1;
    else if (m_pageBreakPending)
        ++m_pages;
    m_pageBreakPending = false;
}

void RecordingPrinter::setFontName(const QString& name)
{
    record(QStringLiteral("setFontName"), { name });
    m_fontName = name;
}

void RecordingPrinter::setFontSize(double points)
{
    record(QStringLiteral("setFontSize"), { points });
    m_fontSize = points;
}

double RecordingPrinter::textWidth(const QString& text)
{
    record(QStringLiteral("textWidth"), { text });
    return text.size() * m_charWidth;
}

double RecordingPrinter::textHeight(const QString& text)
{
    record(QStringLiteral("textHeight"), { text });
    return m_lineHeight;
}

void RecordingPrinter::setCurrentX(double x)
{
    record(QStringLiteral("setCurrentX"), { x });
    m_x = x;
}

void RecordingPrinter::setCurrentY(double y)
{
    record(QStringLiteral("setCurrentY"), { y });
    m_y = y;
}

void RecordingPrinter::printLine(const QString& text)
{
    record(QStringLiteral("printLine"), { text });
    draw();
    m_x = 0;
    m_y += m_lineHeight;
}

void RecordingPrinter::paintPicture(const QImage& picture, double x, double y, double width, double height)
{
    record(QStringLiteral("paintPicture"), { x, y, width, height, picture.size() });
    draw();
}

int RecordingPrinter::pageWidth()
{
    record(QStringLiteral("pageWidth"));
    return m_pageWidth;
}

int RecordingPrinter::pageHeight()
{
    record(QStringLiteral("pageHeight"));
    return m_pageHeight;
}

void RecordingPrinter::newPage()
{
    record(QStringLiteral("newPage"));
    if (m_pages > 0)
        m_pageBreakPending = true;
    m_x = 0;
    m_y = 0;
}

void RecordingPrinter::endDoc()
{
    record(QStringLiteral("endDoc"));
    if (m_pages > 0)
        m_jobs.push_back(m_pages);
    m_pages = 0;
    m_pageBreakPending = false;
    m_x = 0;
    m_y = 0;
}

void RecordingPrinter::killDoc()
{
    record(QStringLiteral("killDoc"));
    if (m_pages > 0)
        ++m_discarded;
    m_pages = 0;
    m_pageBreakPending = false;
    m_x = 0;
    m_y = 0;
}

void RecordingPrinter::setPageSize(int widthTwips, int heightTwips)
{
    m_pageWidth = widthTwips;
    m_pageHeight = heightTwips;
}

void RecordingPrinter::failAt(const QString& op, int nth, const QString& message)
{
    m_failOp = op;
    m_failCountdown = nth;
    m_failMessage = message;
}

QStringList RecordingPrinter::log(const QString& op) const
{
    QStringList lines;
    for (const PrinterCall& call : m_calls) {
        if (op.isEmpty() || call.op == op)
            lines << call.toString();
    }
    return lines;
}

int RecordingPrinter::count(const QString& op) const
{
    return static_cast<int>(
        std::count_if(m_calls.begin(), m_calls.end(), [&](const PrinterCall& call) { return call.op == op; }));
}

RecordingPrinterService::RecordingPrinterService(const QStringList& names, const QString& current)
{
    setPrinterNames(names);
    m_current = printer(current.isEmpty() ? names.value(0) : current);
}

std::vector<Printer*> RecordingPrinterService::printers()
{
    std::vector<Printer*> result;
    for (const QString& name : std::as_const(m_names))
        result.push_back(printer(name));
    return result;
}

void RecordingPrinterService::setCurrentPrinter(Printer* printer)
{
    m_current = dynamic_cast<RecordingPrinter*>(printer);
    m_currentChanges << (printer ? printer->deviceName() : QString());
}

void RecordingPrinterService::setPrinterNames(const QStringList& names)
{
    m_names = names;
    for (const QString& name : names) {
        auto& printer = m_all[name];
        if (!printer)
            printer = std::make_unique<RecordingPrinter>(name);
    }
}

RecordingPrinter* RecordingPrinterService::printer(const QString& name) const
{
    const auto found = m_all.find(name);
    return found == m_all.end() ? nullptr : found->second.get();
}

} // namespace rasterblatt
