#include "WatchView.h"

#include "Remedy.h"
#include "StatusText.h"
#include "SymbolTags.h"
#include "TablePrinter.h"
#include "ValueFormatter.h"

namespace {
const double kMsPerSecond = 1000.0;
const char kClockFormat[] = "hh:mm:ss.zzz";
}

WatchView::WatchView(const QList<TagList::Entry> &tags)
{
    for (const TagList::Entry &tag : tags) {
        Entry e;
        e.tag = tag;
        entries.append(e);
    }
}

void WatchView::update(const std::vector<PollLoop::TagState> &states)
{
    for (int i = 0; i < entries.size() && size_t(i) < states.size(); ++i) {
        Entry &e = entries[i];
        const PollLoop::TagState &s = states[size_t(i)];
        const bool newValue = s.goodReads != e.state.goodReads;
        e.state = s;
        if (newValue && s.lastGood.timestamp.isValid()) {
            if (s.lastGood.timestamp != lastStamp) {
                lastStamp = s.lastGood.timestamp;
                lastStampMs = lastStamp.toMSecsSinceEpoch();
            }
            e.stampMs = lastStampMs;
        }
        double number = 0;
        if (newValue && e.tag.hasTrend() && ValueFormatter::firstAsNumber(s.lastGood.value, e.tag.tag.type, &number))
            e.trend.add(number);
    }
}

QString WatchView::age(const Entry &entry, qint64 nowMs)
{
    if (!entry.state.lastGood.timestamp.isValid())
        return QStringLiteral("-");
    const qint64 ms = nowMs - entry.stampMs;
    return QStringLiteral("%1 s").arg(ms / kMsPerSecond, 0, 'f', 1);
}

QString WatchView::cause(const Entry &entry)
{
    if (entry.state.status == StatusOk)
        return QString();
    QStringList parts{entry.state.why.text, Remedy::of(entry.state.why, entry.state.status)};
    parts.removeAll(QString());
    return parts.join(QStringLiteral("; "));
}

QString WatchView::value(const Entry &entry)
{
    return SymbolTags::text(entry.tag, entry.state.lastGood);
}

QString WatchView::name(const Entry &entry)
{
    return entry.tag.leaf ? entry.tag.title() : entry.tag.tag.address;
}

QStringList WatchView::table(int poll, const QDateTime &now) const
{
    TablePrinter printer({QStringLiteral("TAG"), QStringLiteral("TYPE"), QStringLiteral("VALUE"),
                          QStringLiteral("STATUS"), QStringLiteral("AGE"), QStringLiteral("TREND")});
    const qint64 nowMs = now.toMSecsSinceEpoch();
    for (const Entry &e : entries) {
        printer.addRow({name(e), SymbolTags::typeName(e.tag), value(e),
                        StatusText::status(e.state.status), age(e, nowMs), e.trend.text()});
    }
    QStringList out;
    out << pollText(poll, now) + QStringLiteral(" (Ctrl-C ends)");
    out << stats();
    out << printer.lines();
    for (const Entry &e : entries) {
        const QString why = cause(e);
        if (!why.isEmpty())
            out << QStringLiteral("%1: %2").arg(name(e), why);
    }
    return out;
}

QString WatchView::line(int poll, const QDateTime &now) const
{
    QStringList parts;
    parts << pollText(poll, now);
    const qint64 nowMs = now.toMSecsSinceEpoch();
    for (const Entry &e : entries) {
        QString part = QStringLiteral("%1 %2 = %3 [%4] age %5")
                           .arg(name(e), SymbolTags::typeName(e.tag), value(e),
                                StatusText::status(e.state.status), age(e, nowMs));
        if (e.tag.hasTrend() && !e.trend.text().isEmpty())
            part += QLatin1Char(' ') + e.trend.text();
        const QString why = cause(e);
        if (!why.isEmpty())
            part += QStringLiteral(" (%1)").arg(why);
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
        if (e.state.status != StatusOk)
            return false;
    }
    return true;
}
