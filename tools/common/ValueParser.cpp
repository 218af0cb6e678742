#include "ValueParser.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <type_traits>

#include "ElementTypes.h"
#include "S7Type.h"
#include "ValueFormatter.h"

namespace {
const int kHexBase = 16;
const int kDecimalBase = 10;

QString notAValue(const QString &text, DataType type)
{
    if (type == Bool)
        return QStringLiteral("value '%1' is not a Bool (0, 1, true or false)").arg(text);
    return QStringLiteral("value '%1' is not a number for %2").arg(text, S7Type::servedName(type));
}

// A limit as the formatter writes it, so that it reads back exactly.
template <typename T>
QString limitText(T v)
{
    if constexpr (std::is_same_v<T, float>)
        return ValueFormatter::formatFloat(v);
    else if constexpr (std::is_same_v<T, double>)
        return ValueFormatter::formatDouble(v);
    else
        return QString::number(v);
}

template <typename T>
QString outOfRange(const QString &text, DataType type)
{
    return QStringLiteral("value '%1' is out of range for %2 (%3 to %4)")
        .arg(text, S7Type::servedName(type), limitText(std::numeric_limits<T>::lowest()),
             limitText(std::numeric_limits<T>::max()));
}

// The smallest magnitude that rounds to infinity in T: the largest finite
// value plus half its spacing (the tie rounds to even, which is infinity).
template <typename T>
double overflowMagnitude()
{
    using Limits = std::numeric_limits<T>;
    if constexpr (std::is_same_v<T, double>)
        return Limits::infinity();
    else
        return double(Limits::max()) + std::ldexp(1.0, Limits::max_exponent - Limits::digits - 1);
}

// One element: false with *range set when it is a number that does not fit T.
template <typename T>
bool parseOne(const QString &text, T *out, bool *range)
{
    using Limits = std::numeric_limits<T>;
    if constexpr (std::is_same<T, bool>::value) {
        return ValueParser::parseBool(text, out);
    } else if constexpr (std::is_floating_point<T>::value) {
        double v = 0;
        if (!ValueParser::parseReal(text, overflowMagnitude<T>(), &v, range))
            return false;
        // Just above the largest finite value but rounding to it: taken as it.
        const bool roundsDown = std::isfinite(v) && std::fabs(v) > double(Limits::max());
        *out = roundsDown ? (v < 0 ? Limits::lowest() : Limits::max()) : T(v);
    } else if constexpr (std::is_signed<T>::value) {
        qlonglong v = 0;
        if (!ValueParser::parseSigned(text, Limits::min(), Limits::max(), &v, range))
            return false;
        *out = T(v);
    } else {
        qulonglong v = 0;
        if (!ValueParser::parseUnsigned(text, Limits::max(), &v, range))
            return false;
        *out = T(v);
    }
    return true;
}

// T is the type the values must fit, E the element type of the list (char
// for Int8, whose signedness varies by platform).
template <typename T, typename E = T>
QVariant listOf(DataType type, const QStringList &texts, QString *error)
{
    QList<E> list;
    for (const QString &text : texts) {
        T v{};
        bool range = false;
        if (!parseOne(text, &v, &range)) {
            *error = range ? outOfRange<T>(text, type) : notAValue(text, type);
            return QVariant();
        }
        list.append(E(v));
    }
    return QVariant::fromValue(list);
}

// Splits "-0x1F" into its sign and magnitude; false when it is no whole number.
bool magnitude(const QString &text, bool *negative, qulonglong *value, bool *overflow)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([+-]?)(?:0[xX]([0-9a-fA-F]+)|([0-9]+))$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    *negative = m.captured(1) == QLatin1String("-");
    bool ok = false;
    const bool hex = !m.captured(2).isEmpty();
    *value = hex ? m.captured(2).toULongLong(&ok, kHexBase)
                 : m.captured(3).toULongLong(&ok, kDecimalBase);
    *overflow = !ok;   // the digits were checked above, so only overflow fails
    return true;
}
} // namespace

QVariant ValueParser::parse(DataType type, const QStringList &texts, QString *error)
{
    if (!ElementTypes::isServed(type)) {
        *error = QStringLiteral("data type %1 is not served").arg(int(type));
        return QVariant();
    }
    return ElementTypes::withServedElementType(type, [&](auto tag) {
        using E = typename decltype(tag)::type;
        // Int8's element is char, whose signedness varies by platform; its
        // values must fit a signed byte.
        using T = std::conditional_t<std::is_same_v<E, char>, qint8, E>;
        return listOf<T, E>(type, texts, error);
    });
}

bool ValueParser::parseBool(const QString &text, bool *value)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true")) {
        *value = true;
        return true;
    }
    if (t == QLatin1String("0") || t == QLatin1String("false")) {
        *value = false;
        return true;
    }
    return false;
}

bool ValueParser::parseSigned(const QString &text, qlonglong min, qlonglong max, qlonglong *value,
                              bool *outOfRange)
{
    bool negative = false, overflow = false;
    qulonglong mag = 0;
    if (!magnitude(text, &negative, &mag, &overflow))
        return false;
    // The magnitude of the lowest value is one more than the highest value.
    const qulonglong limit = negative ? qulonglong(-(min + 1)) + 1 : qulonglong(max);
    if (overflow || mag > limit) {
        *outOfRange = true;
        return false;
    }
    *value = negative ? qlonglong(0 - mag) : qlonglong(mag);
    return true;
}

bool ValueParser::parseUnsigned(const QString &text, qulonglong max, qulonglong *value,
                                bool *outOfRange)
{
    bool negative = false, overflow = false;
    qulonglong mag = 0;
    if (!magnitude(text, &negative, &mag, &overflow))
        return false;
    if (overflow || mag > max || (negative && mag != 0)) {
        *outOfRange = true;
        return false;
    }
    *value = mag;
    return true;
}

bool ValueParser::parseReal(const QString &text, double overflowMagnitude, double *value, bool *outOfRange)
{
    static const QRegularExpression special(QStringLiteral("^([+-]?)(inf|infinity|nan)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = special.match(t);
    if (m.hasMatch()) {
        const bool nan = m.captured(2).compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0;
        const double v = nan ? std::numeric_limits<double>::quiet_NaN()
                             : std::numeric_limits<double>::infinity();
        *value = m.captured(1) == QLatin1String("-") ? -v : v;
        return true;
    }
    if (!decimal.match(t).hasMatch())
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) >= overflowMagnitude) {
        *outOfRange = true;
        return false;
    }
    *value = v;
    return true;
}
