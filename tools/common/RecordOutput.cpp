#include "RecordOutput.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "ElementTypes.h"
#include "S7Type.h"
#include "StatusText.h"
#include "TablePrinter.h"
#include "ValueFormatter.h"

namespace {
const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss.zzz";
const char kJsonTimeFormat[] = "yyyy-MM-ddThh:mm:ss.zzz";
// Whole numbers below this magnitude are exact in a double and in an int64.
const double kExactWholeLimit = 9007199254740992.0;   // 2^53

template <typename T>
RecordOutput::Json element(T v)
{
    if constexpr (std::is_same_v<T, bool>) {
        return v;
    } else if constexpr (std::is_same_v<T, char>) {
        return int(qint8(v));
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(v))
            return nullptr;
        // Whole numbers are written without a fraction ("3", not "3.0"), as
        // the plain output shows them.
        if (v == std::trunc(v) && std::fabs(v) < kExactWholeLimit && !(v == 0 && std::signbit(v)))
            return qint64(v);
        // A float is written as the shortest text that reads back to it, the
        // text the plain output shows, not as the longer double it widens to.
        if constexpr (std::is_same_v<T, float>)
            return QLocale::c().toDouble(ValueFormatter::formatFloat(v));
        else
            return v;
    } else {
        return v;
    }
}
} // namespace

QStringList RecordOutput::headers()
{
    return {QStringLiteral("ADDRESS"), QStringLiteral("TYPE"), QStringLiteral("VALUE"),
            QStringLiteral("STATUS"), QStringLiteral("TIME STAMP")};
}

QStringList RecordOutput::row(const CLabelVariable &record)
{
    return {record.address, S7Type::servedName(record.dataType),
            ValueFormatter::joined(record.value, record.dataType, record.count),
            StatusText::status(record.status), timeText(record.timestamp)};
}

QString RecordOutput::text(const CLabelVariable &record, bool json, const Cause &cause)
{
    if (json) {
        Json o = toJson(record);
        addCause(&o, cause);
        return dump(o);
    }
    return table(headers(), {row(record)}, {cause});
}

QString RecordOutput::batchText(const QList<CLabelVariable> &records, const QList<Cause> &causes, bool json)
{
    if (json) {
        Json list = Json::array();
        for (int i = 0; i < records.size(); ++i) {
            Json o = toJson(records.at(i));
            addCause(&o, causes.value(i));
            list.push_back(o);
        }
        Json o = Json::object();
        o["records"] = list;
        return dump(o);
    }
    QList<QStringList> rows;
    for (const CLabelVariable &record : records)
        rows << row(record);
    return table(headers(), rows, causes);
}

void RecordOutput::addCause(Json *object, const Cause &cause)
{
    if (!cause.text.isEmpty())
        (*object)["cause"] = utf8(cause.text);
    if (!cause.remedy.isEmpty())
        (*object)["remedy"] = utf8(cause.remedy);
}

QString RecordOutput::table(const QStringList &headers, const QList<QStringList> &rows, const QList<Cause> &causes)
{
    const bool anyCause = std::any_of(causes.begin(), causes.end(), [](const Cause &c) { return !c.text.isEmpty(); });
    TablePrinter printer(anyCause ? headers + QStringList{QStringLiteral("CAUSE")} : headers);
    QStringList remedies;
    QList<QStringList> remedyRows;
    for (int i = 0; i < rows.size(); ++i) {
        printer.addRow(anyCause ? rows.at(i) + QStringList{causes.value(i).text} : rows.at(i));
        const QString remedy = causes.value(i).remedy;
        if (remedy.isEmpty())
            continue;
        if (!remedies.contains(remedy)) {
            remedies << remedy;
            remedyRows << QStringList();
        }
        remedyRows[remedies.indexOf(remedy)] << rows.at(i).value(0);
    }
    QStringList lines = printer.lines();
    for (int i = 0; i < remedies.size(); ++i)
        lines << QStringLiteral("remedy (%1): %2").arg(remedyRows.at(i).join(QStringLiteral(", ")), remedies.at(i));
    return lines.join(QLatin1Char('\n'));
}

QString RecordOutput::timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(QLatin1String(kTimeFormat)) : QStringLiteral("-");
}

RecordOutput::Json RecordOutput::jsonTime(const QDateTime &time)
{
    if (!time.isValid())
        return nullptr;
    return utf8(time.toString(QLatin1String(kJsonTimeFormat)));
}

RecordOutput::Json RecordOutput::toJson(const CLabelVariable &record)
{
    Json o = Json::object();
    o["address"] = utf8(record.address);
    o["type"] = utf8(S7Type::servedName(record.dataType));
    o["count"] = record.count;
    o["values"] = values(record.value, record.dataType, record.count);
    o["status"] = record.status;
    o["statusText"] = utf8(StatusText::meaning(record.status));
    o["timestamp"] = jsonTime(record.timestamp);
    return o;
}

QString RecordOutput::json(const CLabelVariable &record)
{
    return dump(toJson(record));
}

RecordOutput::Json RecordOutput::values(const QVariant &value, DataType type, int count)
{
    Json list = Json::array();
    ElementTypes::withServedElementType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        if (value.userType() != listMetaTypeId<T>())
            return 0;
        const QList<T> items = value.value<QList<T>>();
        for (int i = 0; i < items.size() && i < count; ++i)
            list.push_back(element(items.at(i)));
        return 0;
    });
    return list;
}

QString RecordOutput::dump(const Json &json)
{
    return QString::fromStdString(json.dump(-1, ' ', false, Json::error_handler_t::replace));
}
