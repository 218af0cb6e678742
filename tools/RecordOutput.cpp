#include "RecordOutput.h"

#include "StatusText.h"
#include "TablePrinter.h"
#include "TypeNames.h"
#include "ValueFormatter.h"

namespace {
const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss.zzz";
const char kJsonTimeFormat[] = "yyyy-MM-ddThh:mm:ss.zzz";
const ushort kFirstPrintable = 0x20;
} // namespace

QStringList RecordOutput::headers()
{
    return {QStringLiteral("ADDRESS"), QStringLiteral("TYPE"), QStringLiteral("VALUE"),
            QStringLiteral("STATUS"), QStringLiteral("TIME STAMP")};
}

QStringList RecordOutput::row(const CLabelVariable &record)
{
    return {record.address, TypeNames::name(record.dataType),
            ValueFormatter::joined(record.value, record.dataType, record.count),
            StatusText::status(record.status), timeText(record.timestamp)};
}

QString RecordOutput::text(const CLabelVariable &record, bool json)
{
    if (json)
        return RecordOutput::json(record);
    TablePrinter table(headers());
    table.addRow(row(record));
    return table.lines().join(QLatin1Char('\n'));
}

QString RecordOutput::timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(QLatin1String(kTimeFormat)) : QStringLiteral("-");
}

QString RecordOutput::json(const CLabelVariable &record)
{
    const QString time = record.timestamp.isValid()
                             ? quoted(record.timestamp.toString(QLatin1String(kJsonTimeFormat)))
                             : QStringLiteral("null");
    // Concatenated rather than filled in with arg(), which would also expand
    // "%n" inside the user's address text.
    return QStringLiteral("{\"address\":") + quoted(record.address)
           + QStringLiteral(",\"type\":") + quoted(TypeNames::name(record.dataType))
           + QStringLiteral(",\"count\":") + QString::number(record.count)
           + QStringLiteral(",\"values\":") + jsonValues(record)
           + QStringLiteral(",\"status\":") + QString::number(record.status)
           + QStringLiteral(",\"statusText\":") + quoted(StatusText::meaning(record.status))
           + QStringLiteral(",\"timestamp\":") + time + QLatin1Char('}');
}

QString RecordOutput::jsonValues(const CLabelVariable &record)
{
    QStringList items;
    for (const QString &t : ValueFormatter::elements(record.value, record.dataType, record.count)) {
        if (record.dataType == Bool)
            items << (t == QLatin1String("1") ? QStringLiteral("true") : QStringLiteral("false"));
        else if (t.endsWith(QLatin1String("inf")) || t == QLatin1String("nan"))
            items << QStringLiteral("null");
        else
            items << t;
    }
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

QString RecordOutput::quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + QString(c);
        else if (c.unicode() < kFirstPrintable)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}
