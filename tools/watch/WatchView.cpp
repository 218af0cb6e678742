#include "WatchView.h"

#include "StatusText.h"
#include "TablePrinter.h"
#include "TypeNames.h"
#include "ValueFormatter.h"

namespace {
const double kMsPerSecond = 1000.0;
const char kClockFormat[] = "hh:mm:ss.zzz";
}

WatchView::WatchView(const QList<TagSpec> &tags)
{
    for (const TagSpec &tag : tags) {
        Entry e;
        e.tag = tag;
        entries.append(e);
    }
}

void WatchView::update(int index, const CLabelVariable &record)
{
    Entry &e = entries[index];
    e.status = record.status;
    if (record.status != StatusOk)
        return;
    e.lastGood = record;
    double number = 0;
    if (e.tag.hasTrend() && ValueFormatter::firstAsNumber(record.value, record.dataType, &number))
        e.trend.add(number);
}

QString WatchView::age(const Entry &entry, const QDateTime &now)
{
    if (!entry.lastGood.timestamp.isValid())
        return QStringLiteral("-");
    const qint64 ms = entry.lastGood.timestamp.msecsTo(now);
    return QStringLiteral("%1 s").arg(ms / kMsPerSecond, 0, 'f', 1);
}

QString WatchView::value(const Entry &entry) const
{
    return ValueFormatter::joined(entry.lastGood.value, entry.tag.type, entry.tag.count);
}

QStringList WatchView::table(int poll, const QDateTime &now) const
{
    TablePrinter printer({QStringLiteral("TAG"), QStringLiteral("TYPE"), QStringLiteral("VALUE"),
                          QStringLiteral("STATUS"), QStringLiteral("AGE"), QStringLiteral("TREND")});
    for (const Entry &e : entries) {
        printer.addRow({e.tag.address, TypeNames::name(e.tag.type), value(e),
                        StatusText::status(e.status), age(e, now), e.trend.text()});
    }
    QStringList out;
    out << pollText(poll, now) + QStringLiteral(" (Ctrl-C ends)");
    out << printer.lines();
    return out;
}

QString WatchView::line(int poll, const QDateTime &now) const
{
    QStringList parts;
    parts << pollText(poll, now);
    for (const Entry &e : entries) {
        QString part = QStringLiteral("%1 %2 = %3 [%4] age %5")
                           .arg(e.tag.address, TypeNames::name(e.tag.type), value(e),
                                StatusText::status(e.status), age(e, now));
        if (e.tag.hasTrend())
            part += QLatin1Char(' ') + e.trend.text();
        parts << part;
    }
    return parts.join(QStringLiteral(" | "));
}

QString WatchView::pollText(int poll, const QDateTime &now) const
{
    QString text = QStringLiteral("poll %1 %2").arg(poll).arg(now.toString(QLatin1String(kClockFormat)));
    if (!connectionState.isEmpty())
        text += QLatin1Char(' ') + connectionState;
    return text;
}

bool WatchView::allOk() const
{
    for (const Entry &e : entries) {
        if (e.status != StatusOk)
            return false;
    }
    return true;
}
