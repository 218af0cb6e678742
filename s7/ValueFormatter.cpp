#include "ValueFormatter.h"

#include <QLocale>

#include <cmath>

#include "CLabelVariable.h"
#include "ElementTypes.h"

namespace {
// A float needs at most 9 significant digits to read back exactly.
const int kFloatMaxDigits = 9;
const int kFloatMinDigits = 6;

QString nonFinite(double v)
{
    if (std::isnan(v))
        return QStringLiteral("nan");
    return v < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
}

template <typename T>
QList<T> listOf(const QVariant &value)
{
    if (value.userType() != listMetaTypeId<T>())
        return QList<T>();
    return value.value<QList<T>>();
}

QString text(bool v) { return v ? QStringLiteral("1") : QStringLiteral("0"); }
QString text(char v) { return QString::number(int(qint8(v))); }
QString text(float v) { return ValueFormatter::formatFloat(v); }
QString text(double v) { return ValueFormatter::formatDouble(v); }
template <typename T>
QString text(T v) { return QString::number(v); }

template <typename T>
QStringList texts(const QVariant &value, int count)
{
    QStringList out;
    const QList<T> list = listOf<T>(value);
    for (int i = 0; i < list.size() && i < count; ++i)
        out << text(list.at(i));
    return out;
}

template <typename T>
bool first(const QVariant &value, double *number)
{
    const QList<T> list = listOf<T>(value);
    if (list.isEmpty())
        return false;
    if constexpr (std::is_same<T, char>::value)
        *number = double(qint8(list.first()));
    else
        *number = double(list.first());
    return true;
}

} // namespace

QStringList ValueFormatter::elements(const QVariant &value, DataType type, int count)
{
    return ElementTypes::withServedElementType(type, [&](auto tag) { return texts<typename decltype(tag)::type>(value, count); });
}

QString ValueFormatter::joined(const QVariant &value, DataType type, int count)
{
    return elements(value, type, count).join(QStringLiteral(", "));
}

bool ValueFormatter::firstAsNumber(const QVariant &value, DataType type, double *number)
{
    return ElementTypes::withServedElementType(type, [&](auto tag) { return first<typename decltype(tag)::type>(value, number); });
}

QString ValueFormatter::formatFloat(float v)
{
    if (!std::isfinite(v))
        return nonFinite(v);
    for (int digits = kFloatMinDigits; digits < kFloatMaxDigits; ++digits) {
        const QString t = QLocale::c().toString(double(v), 'g', digits);
        if (QLocale::c().toFloat(t) == v)
            return t;
    }
    return QLocale::c().toString(double(v), 'g', kFloatMaxDigits);
}

QString ValueFormatter::formatDouble(double v)
{
    if (!std::isfinite(v))
        return nonFinite(v);
    return QLocale::c().toString(v, 'g', QLocale::FloatingPointShortest);
}
