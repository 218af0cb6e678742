#include "S7TimeCodec.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>

#include <limits>

#include "S7Image.h"

namespace {
// DATE counts days from this day; LDT nanoseconds from the second one.
const QDate kDateEpoch(1990, 1, 1);
const QDate kUnixEpoch(1970, 1, 1);
const QDate kLastDate(2168, 12, 31);
// DATE_AND_TIME holds two year digits: 90 to 99 are 1990 to 1999.
const int kDtCenturyPivot = 90;
const int kDtFirstYear = 1990;
const int kDtLastYear = 2089;
const int kDtlFirstYear = 1970;
const int kDtlLastYear = 2262;

const qint64 kMsPerDay = 86400000;
const qint64 kNsPerMs = 1000000;
const qint64 kNsPerSecond = 1000000000;
const quint64 kNsPerDay = quint64(kMsPerDay) * quint64(kNsPerMs);

// S5TIME: a BCD count of 0 to 999 in bits 0 to 11 and its time base in
// bits 12 and 13: 10 ms, 100 ms, 1 s or 10 s.
const int kS5BaseShift = 12;
const quint16 kS5BaseMask = 0x3;
const qint64 kS5Bases[] = {10, 100, 1000, 10000};
const int kS5MaxCount = 999;

// DATE_AND_TIME bytes: BCD year, month, day, hour, minute, second, the
// first two millisecond digits, and the last digit with the weekday.
enum DtByte { DtYear, DtMonth, DtDay, DtHour, DtMinute, DtSecond, DtMsHigh, DtMsLowWeekday };
// DTL: year (word), month, day, weekday, hour, minute, second, nanoseconds (dword).
enum DtlOffset { DtlYear = 0, DtlMonth = 2, DtlDay = 3, DtlWeekday = 4, DtlHour = 5, DtlMinute = 6,
                 DtlSecond = 7, DtlNanoseconds = 8 };

struct Unit
{
    const char *name;
    qint64 ns;
};
// Longest names first, so that MS is not taken for M and S.
const Unit kUnits[] = {{"MS", kNsPerMs}, {"US", 1000}, {"NS", 1}, {"D", kMsPerDay * kNsPerMs},
                       {"H", 3600 * kNsPerSecond}, {"M", 60 * kNsPerSecond}, {"S", kNsPerSecond}};

QString prefixOf(S7Type::Kind kind)
{
    switch (kind) {
    case S7Type::Time: return QStringLiteral("T#");
    case S7Type::LTime: return QStringLiteral("LT#");
    case S7Type::S5Time: return QStringLiteral("S5T#");
    case S7Type::Date: return QStringLiteral("D#");
    case S7Type::TimeOfDay: return QStringLiteral("TOD#");
    case S7Type::LTimeOfDay: return QStringLiteral("LTOD#");
    case S7Type::DateAndTime: return QStringLiteral("DT#");
    case S7Type::LDateAndTime: return QStringLiteral("LDT#");
    default: return QStringLiteral("DTL#");
    }
}

QString exampleOf(S7Type::Kind kind)
{
    switch (kind) {
    case S7Type::Time: return QStringLiteral("T#1S_200MS");
    case S7Type::LTime: return QStringLiteral("LT#1S_200MS_5NS");
    case S7Type::S5Time: return QStringLiteral("S5T#1S_200MS");
    case S7Type::Date: return QStringLiteral("D#2026-12-06");
    case S7Type::TimeOfDay: return QStringLiteral("TOD#14:30:00.250");
    case S7Type::LTimeOfDay: return QStringLiteral("LTOD#14:30:00.250000001");
    case S7Type::DateAndTime: return QStringLiteral("DT#2026-12-06-14:30:00.250");
    case S7Type::LDateAndTime: return QStringLiteral("LDT#2026-12-06-14:30:00.250000001");
    default: return QStringLiteral("DTL#2026-12-06-14:30:00.250");
    }
}

QStringList acceptedPrefixes(S7Type::Kind kind)
{
    switch (kind) {
    case S7Type::Time: return {QStringLiteral("T"), QStringLiteral("TIME")};
    case S7Type::LTime: return {QStringLiteral("LT"), QStringLiteral("LTIME")};
    case S7Type::S5Time: return {QStringLiteral("S5T"), QStringLiteral("S5TIME")};
    case S7Type::Date: return {QStringLiteral("D"), QStringLiteral("DATE")};
    case S7Type::TimeOfDay: return {QStringLiteral("TOD"), QStringLiteral("TIME_OF_DAY")};
    case S7Type::LTimeOfDay: return {QStringLiteral("LTOD"), QStringLiteral("LTIME_OF_DAY")};
    case S7Type::DateAndTime: return {QStringLiteral("DT"), QStringLiteral("DATE_AND_TIME")};
    case S7Type::LDateAndTime: return {QStringLiteral("LDT"), QStringLiteral("DATE_AND_LTIME")};
    default: return {QStringLiteral("DTL")};
    }
}

// The literal without its type prefix; false when it has another type's.
bool stripPrefix(S7Type::Kind kind, const QString &text, QString *body)
{
    const QString t = text.trimmed();
    const int hash = t.indexOf(QLatin1Char('#'));
    if (hash < 0) {
        *body = t;
        return true;
    }
    *body = t.mid(hash + 1);
    return acceptedPrefixes(kind).contains(t.left(hash).toUpper());
}

int bcd(quint8 byte, bool *ok)
{
    const int high = byte >> 4, low = byte & 0xF;
    if (high > 9 || low > 9)
        *ok = false;
    return high * 10 + low;
}

quint8 toBcd(int value)
{
    return quint8(((value / 10) << 4) | (value % 10));
}

// "1D_2H_3M_4S_5MS": the largest units first, zero units left out.
QString durationText(bool negative, quint64 ns, qint64 smallestUnitNs)
{
    QStringList parts;
    for (const Unit &u : {kUnits[3], kUnits[4], kUnits[5], kUnits[6], kUnits[0], kUnits[1], kUnits[2]}) {
        if (u.ns < smallestUnitNs)
            continue;
        const quint64 n = ns / quint64(u.ns);
        ns %= quint64(u.ns);
        if (n > 0)
            parts << QStringLiteral("%1%2").arg(n).arg(QLatin1String(u.name));
    }
    if (parts.isEmpty())
        parts << (smallestUnitNs == 1 ? QStringLiteral("0NS") : QStringLiteral("0MS"));
    return (negative ? QStringLiteral("-") : QString()) + parts.join(QLatin1Char('_'));
}

// "-1d_2h", "1s200ms", or a bare whole number of plainUnitNs; false when
// malformed or its magnitude passes limitNs.
bool parseDuration(const QString &body, qint64 plainUnitNs, quint64 limitNs, bool *negative, quint64 *ns)
{
    static const QRegularExpression part(QStringLiteral("^_?(\\d+)(MS|US|NS|D|H|M|S)"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString rest = body.trimmed();
    *negative = rest.startsWith(QLatin1Char('-'));
    if (*negative || rest.startsWith(QLatin1Char('+')))
        rest = rest.mid(1);
    bool ok = false;
    const quint64 plain = rest.toULongLong(&ok);
    if (ok) {
        if (plain > limitNs / quint64(plainUnitNs))
            return false;
        *ns = plain * quint64(plainUnitNs);
        return true;
    }
    quint64 total = 0;
    bool any = false;
    while (!rest.isEmpty()) {
        const QRegularExpressionMatch m = part.match(rest);
        if (!m.hasMatch())
            return false;
        const quint64 n = m.captured(1).toULongLong(&ok);
        quint64 unitNs = 0;
        for (const Unit &u : kUnits) {
            if (m.captured(2).compare(QLatin1String(u.name), Qt::CaseInsensitive) == 0)
                unitNs = quint64(u.ns);
        }
        if (!ok || n > limitNs / unitNs || total > limitNs - n * unitNs)
            return false;
        total += n * unitNs;
        rest = rest.mid(m.capturedLength());
        any = true;
    }
    *ns = total;
    return any;
}

// "2026-12-06"; two-digit years only where allowed (DATE_AND_TIME).
bool parseDate(const QString &text, bool twoDigitYear, QDate *date)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{2}|\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || (m.captured(1).size() == 2 && !twoDigitYear))
        return false;
    int year = m.captured(1).toInt();
    if (m.captured(1).size() == 2)
        year += year >= kDtCenturyPivot ? 1900 : 2000;
    *date = QDate(year, m.captured(2).toInt(), m.captured(3).toInt());
    return date->isValid();
}

// "14:30:00.250": fraction digits up to the precision (3 for ms, 9 for ns).
bool parseTimeOfDay(const QString &text, int fractionDigits, quint64 *nsOfDay)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:\\.(\\d+))?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || m.captured(4).size() > fractionDigits)
        return false;
    const int h = m.captured(1).toInt(), mi = m.captured(2).toInt(), s = m.captured(3).toInt();
    if (h > 23 || mi > 59 || s > 59)
        return false;
    const quint64 fractionNs = m.captured(4).leftJustified(9, QLatin1Char('0')).toULongLong();
    *nsOfDay = (quint64(h) * 3600 + quint64(mi) * 60 + quint64(s)) * quint64(kNsPerSecond) + fractionNs;
    return true;
}

// "2026-12-06-14:30:00.250" split at the dash before the time.
bool parseDateTime(const QString &text, bool twoDigitYear, int fractionDigits, QDate *date, quint64 *nsOfDay)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    const int dash = colon < 0 ? -1 : text.lastIndexOf(QLatin1Char('-'), colon);
    return dash > 0 && parseDate(text.left(dash), twoDigitYear, date)
        && parseTimeOfDay(text.mid(dash + 1), fractionDigits, nsOfDay);
}

QString clockText(quint64 nsOfDay, int fractionDigits)
{
    const quint64 seconds = nsOfDay / quint64(kNsPerSecond);
    const quint64 fraction = nsOfDay % quint64(kNsPerSecond);
    const QString hms = QStringLiteral("%1:%2:%3")
                            .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const QString digits = QStringLiteral("%1").arg(fraction, 9, 10, QLatin1Char('0')).left(fractionDigits);
    return hms + QLatin1Char('.') + digits;
}

// Sunday is 1, as DATE_AND_TIME and DTL count weekdays.
int s7Weekday(const QDate &date)
{
    return date.dayOfWeek() % 7 + 1;
}

bool decodeS5Time(quint16 word, QString *text, QString *error)
{
    bool ok = true;
    const int count = bcd(quint8((word >> 8) & 0x0F), &ok) * 100 + bcd(quint8(word & 0xFF), &ok);
    if (!ok) {
        *error = QStringLiteral("S5TIME %1 holds a digit above 9").arg(word, 4, 16, QLatin1Char('0'));
        return false;
    }
    const qint64 ms = count * kS5Bases[(word >> kS5BaseShift) & kS5BaseMask];
    *text = QStringLiteral("S5T#") + durationText(false, quint64(ms) * quint64(kNsPerMs), kNsPerMs);
    return true;
}

bool decodeDt(const QByteArray &b, QString *text, QString *error)
{
    bool ok = true;
    const int yy = bcd(quint8(b.at(DtYear)), &ok);
    const QDate date(yy + (yy >= kDtCenturyPivot ? 1900 : 2000), bcd(quint8(b.at(DtMonth)), &ok),
                     bcd(quint8(b.at(DtDay)), &ok));
    const int h = bcd(quint8(b.at(DtHour)), &ok), mi = bcd(quint8(b.at(DtMinute)), &ok),
              s = bcd(quint8(b.at(DtSecond)), &ok);
    const int ms = bcd(quint8(b.at(DtMsHigh)), &ok) * 10 + bcd(quint8(quint8(b.at(DtMsLowWeekday)) >> 4), &ok);
    if (!ok || !date.isValid() || h > 23 || mi > 59 || s > 59) {
        *error = QStringLiteral("DATE_AND_TIME %1 is not a valid BCD date and time").arg(QString::fromLatin1(b.left(8).toHex()));
        return false;
    }
    *text = QStringLiteral("DT#%1-%2").arg(date.toString(QStringLiteral("yyyy-MM-dd")),
                                            clockText((quint64(h * 3600 + mi * 60 + s) * 1000 + quint64(ms)) * quint64(kNsPerMs), 3));
    return true;
}

bool decodeDtl(const QByteArray &b, QString *text, QString *error)
{
    const QDate date(S7Image::read<quint16>(b, DtlYear), quint8(b.at(DtlMonth)), quint8(b.at(DtlDay)));
    const int h = quint8(b.at(DtlHour)), mi = quint8(b.at(DtlMinute)), s = quint8(b.at(DtlSecond));
    const quint32 ns = S7Image::read<quint32>(b, DtlNanoseconds);
    if (!date.isValid() || h > 23 || mi > 59 || s > 59 || ns >= quint32(kNsPerSecond)) {
        *error = QStringLiteral("DTL %1 is not a valid date and time").arg(QString::fromLatin1(b.left(12).toHex()));
        return false;
    }
    *text = QStringLiteral("DTL#%1-%2").arg(date.toString(QStringLiteral("yyyy-MM-dd")),
                                             clockText(quint64(h * 3600 + mi * 60 + s) * quint64(kNsPerSecond) + ns, 9));
    return true;
}

bool encodeS5Time(quint64 ns, QByteArray *out)
{
    if (ns % quint64(kNsPerMs) != 0)
        return false;
    const qint64 ms = qint64(ns / quint64(kNsPerMs));
    for (int base = 0; base < 4; ++base) {
        if (ms % kS5Bases[base] == 0 && ms / kS5Bases[base] <= kS5MaxCount) {
            const int count = int(ms / kS5Bases[base]);
            S7Image::append<quint16>(out, quint16((base << kS5BaseShift) | (toBcd(count / 100) << 8) | toBcd(count % 100)));
            return true;
        }
    }
    return false;
}

void encodeDt(const QDate &date, quint64 nsOfDay, QByteArray *out)
{
    const quint64 ms = nsOfDay / quint64(kNsPerMs);
    const quint64 seconds = ms / 1000;
    out->append(char(toBcd(date.year() % 100)));
    out->append(char(toBcd(date.month())));
    out->append(char(toBcd(date.day())));
    out->append(char(toBcd(int(seconds / 3600))));
    out->append(char(toBcd(int(seconds / 60 % 60))));
    out->append(char(toBcd(int(seconds % 60))));
    out->append(char(toBcd(int(ms % 1000 / 10))));
    out->append(char(((ms % 10) << 4) | quint64(s7Weekday(date))));
}

void encodeDtl(const QDate &date, quint64 nsOfDay, QByteArray *out)
{
    const quint64 seconds = nsOfDay / quint64(kNsPerSecond);
    S7Image::append<quint16>(out, quint16(date.year()));
    out->append(char(date.month()));
    out->append(char(date.day()));
    out->append(char(s7Weekday(date)));
    out->append(char(seconds / 3600));
    out->append(char(seconds / 60 % 60));
    out->append(char(seconds % 60));
    S7Image::append<quint32>(out, quint32(nsOfDay % quint64(kNsPerSecond)));
}

bool encodeDuration(S7Type::Kind kind, const QString &body, QByteArray *out)
{
    bool negative = false;
    quint64 ns = 0;
    if (kind == S7Type::Time) {
        const quint64 limit = quint64(std::numeric_limits<qint32>::max()) * quint64(kNsPerMs);
        if (!parseDuration(body, kNsPerMs, limit + (body.trimmed().startsWith(QLatin1Char('-')) ? quint64(kNsPerMs) : 0),
                           &negative, &ns) || ns % quint64(kNsPerMs) != 0)
            return false;
        const qint64 ms = qint64(ns / quint64(kNsPerMs));
        S7Image::append<qint32>(out, qint32(negative ? -ms : ms));
        return true;
    }
    if (kind == S7Type::LTime) {
        const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (body.trimmed().startsWith(QLatin1Char('-')) ? 1 : 0);
        if (!parseDuration(body, 1, limit, &negative, &ns))
            return false;
        S7Image::append<qint64>(out, negative ? qint64(0 - ns) : qint64(ns));
        return true;
    }
    // S5TIME: at most 999 of its largest base, 2H_46M_30S.
    return parseDuration(body, kNsPerMs, quint64(kS5MaxCount * kS5Bases[3]) * quint64(kNsPerMs), &negative, &ns)
        && !negative && encodeS5Time(ns, out);
}

bool encodeCalendar(S7Type::Kind kind, const QString &body, QByteArray *out)
{
    QDate date;
    quint64 ns = 0;
    switch (kind) {
    case S7Type::Date:
        if (!parseDate(body, false, &date) || date < kDateEpoch || date > kLastDate)
            return false;
        S7Image::append<quint16>(out, quint16(kDateEpoch.daysTo(date)));
        return true;
    case S7Type::TimeOfDay:
        if (!parseTimeOfDay(body, 3, &ns))
            return false;
        S7Image::append<quint32>(out, quint32(ns / quint64(kNsPerMs)));
        return true;
    case S7Type::LTimeOfDay:
        if (!parseTimeOfDay(body, 9, &ns))
            return false;
        S7Image::append<quint64>(out, ns);
        return true;
    case S7Type::DateAndTime:
        if (!parseDateTime(body, true, 3, &date, &ns) || date.year() < kDtFirstYear || date.year() > kDtLastYear)
            return false;
        encodeDt(date, ns, out);
        return true;
    case S7Type::LDateAndTime:
        if (!parseDateTime(body, false, 9, &date, &ns) || date < kUnixEpoch || date.year() > kDtlLastYear)
            return false;
        S7Image::append<quint64>(out, quint64(kUnixEpoch.daysTo(date)) * kNsPerDay + ns);
        return true;
    default:
        if (!parseDateTime(body, false, 9, &date, &ns) || date.year() < kDtlFirstYear || date.year() > kDtlLastYear)
            return false;
        encodeDtl(date, ns, out);
        return true;
    }
}
} // namespace

bool S7TimeCodec::handles(S7Type::Kind kind)
{
    return kind >= S7Type::Time && kind <= S7Type::Dtl;
}

bool S7TimeCodec::decode(const S7Type &type, const QByteArray &b, QString *text, QString *error)
{
    switch (type.kind) {
    case S7Type::Time: {
        const qint32 ms = qint32(S7Image::read<quint32>(b, 0));
        *text = QStringLiteral("T#") + durationText(ms < 0, quint64(ms < 0 ? -qint64(ms) : ms) * quint64(kNsPerMs), kNsPerMs);
        return true;
    }
    case S7Type::LTime: {
        const qint64 ns = qint64(S7Image::read<quint64>(b, 0));
        *text = QStringLiteral("LT#") + durationText(ns < 0, ns < 0 ? 0 - quint64(ns) : quint64(ns), 1);
        return true;
    }
    case S7Type::S5Time:
        return decodeS5Time(S7Image::read<quint16>(b, 0), text, error);
    case S7Type::Date:
        *text = QStringLiteral("D#") + kDateEpoch.addDays(S7Image::read<quint16>(b, 0)).toString(QStringLiteral("yyyy-MM-dd"));
        return true;
    case S7Type::TimeOfDay:
    case S7Type::LTimeOfDay: {
        const bool longForm = type.kind == S7Type::LTimeOfDay;
        const quint64 ns = longForm ? S7Image::read<quint64>(b, 0) : quint64(S7Image::read<quint32>(b, 0)) * quint64(kNsPerMs);
        if (ns >= kNsPerDay) {
            *error = QStringLiteral("%1 %2 is past the end of a day").arg(type.name()).arg(longForm ? ns : ns / quint64(kNsPerMs));
            return false;
        }
        *text = prefixOf(type.kind) + clockText(ns, longForm ? 9 : 3);
        return true;
    }
    case S7Type::LDateAndTime: {
        const quint64 ns = S7Image::read<quint64>(b, 0);
        *text = QStringLiteral("LDT#%1-%2").arg(kUnixEpoch.addDays(qint64(ns / kNsPerDay)).toString(QStringLiteral("yyyy-MM-dd")),
                                                 clockText(ns % kNsPerDay, 9));
        return true;
    }
    case S7Type::DateAndTime:
        return decodeDt(b, text, error);
    default:
        return decodeDtl(b, text, error);
    }
}

bool S7TimeCodec::encode(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    QString body;
    QByteArray bytes;
    const bool duration = type.kind == S7Type::Time || type.kind == S7Type::LTime || type.kind == S7Type::S5Time;
    if (!stripPrefix(type.kind, text, &body)
        || !(duration ? encodeDuration(type.kind, body, &bytes) : encodeCalendar(type.kind, body, &bytes))) {
        *error = QStringLiteral("value '%1' is not a %2 (e.g. %3)")
                     .arg(text, type.name(), exampleOf(type.kind));
        return false;
    }
    out->append(bytes);
    return true;
}
