#include "RecordOutput.h"

#include <QLocale>

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

QString RecordOutput::text(const CLabelVariable &record, bool json)
{
    if (json)
        return RecordOutput::json(record);
    TablePrinter table(headers());
    table.addRow(row(record));
    return table.lines().join(QLatin1Char('\n'));
}

QString RecordOutput::batchText(const QList<CLabelVariable> &records, const QStringList &why, bool json)
{
    if (json) {
        Json list = Json::array();
        for (int i = 0; i < records.size(); ++i) {
            Json o = toJson(records.at(i));
            if (!why.value(i).isEmpty())
                o["why"] = utf8(why.at(i));
            list.push_back(o);
        }
        Json o = Json::object();
        o["records"] = list;
        return dump(o);
    }
    TablePrinter table(headers() << QStringLiteral("WHY"));
    for (int i = 0; i < records.size(); ++i)
        table.addRow(row(records.at(i)) << why.value(i));
    return table.lines().join(QLatin1Char('\n'));
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
