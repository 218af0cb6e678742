#include "SimValueType.h"

#include <QStringList>
#include <QtEndian>

#include <cmath>
#include <limits>

namespace {

struct Name
{
    const char *text;
    SimValueType::Kind kind;
};

constexpr Name Names[] = {
    {"bool", SimValueType::Bool},     {"int8", SimValueType::Int8},     {"uint8", SimValueType::UInt8},
    {"int16", SimValueType::Int16},   {"uint16", SimValueType::UInt16}, {"int32", SimValueType::Int32},
    {"uint32", SimValueType::UInt32}, {"float", SimValueType::Float},   {"int64", SimValueType::Int64},
    {"uint64", SimValueType::UInt64}, {"double", SimValueType::Double},
    // The S7 names of the same types.
    {"sint", SimValueType::Int8},     {"usint", SimValueType::UInt8},   {"byte", SimValueType::UInt8},
    {"int", SimValueType::Int16},     {"uint", SimValueType::UInt16},   {"word", SimValueType::UInt16},
    {"dint", SimValueType::Int32},    {"udint", SimValueType::UInt32},  {"dword", SimValueType::UInt32},
    {"real", SimValueType::Float},    {"lint", SimValueType::Int64},    {"ulint", SimValueType::UInt64},
    {"lreal", SimValueType::Double},
};
constexpr int CanonicalNames = 11; // the first ones; the rest are aliases

template <typename T>
QByteArray bigEndian(T value)
{
    QByteArray bytes(int(sizeof(T)), '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

bool SimValueType::parse(const QString &name, SimValueType *type)
{
    for (const Name &entry : Names) {
        if (name.compare(QLatin1String(entry.text), Qt::CaseInsensitive) == 0) {
            type->type = entry.kind;
            return true;
        }
    }
    return false;
}

QString SimValueType::names()
{
    QStringList list;
    for (int i = 0; i < CanonicalNames; ++i)
        list << QLatin1String(Names[i].text);
    return list.join(QStringLiteral(", ")) + QStringLiteral(" or an S7 name (INT, REAL, ...)");
}

QString SimValueType::name() const
{
    return QLatin1String(Names[type].text);
}

int SimValueType::size() const
{
    switch (type) {
    case Bool: case Int8: case UInt8: return 1;
    case Int16: case UInt16: return 2;
    case Int32: case UInt32: case Float: return 4;
    default: return 8;
    }
}

bool SimValueType::isInteger() const
{
    return type != Bool && type != Float && type != Double;
}

double SimValueType::minimum() const
{
    switch (type) {
    case Int8: return std::numeric_limits<qint8>::min();
    case Int16: return std::numeric_limits<qint16>::min();
    case Int32: return std::numeric_limits<qint32>::min();
    case Int64: return double(std::numeric_limits<qint64>::min());
    case Float: return -double(std::numeric_limits<float>::max());
    case Double: return -std::numeric_limits<double>::max();
    default: return 0;
    }
}

double SimValueType::maximum() const
{
    switch (type) {
    case Bool: return 1;
    case Int8: return std::numeric_limits<qint8>::max();
    case UInt8: return std::numeric_limits<quint8>::max();
    case Int16: return std::numeric_limits<qint16>::max();
    case UInt16: return std::numeric_limits<quint16>::max();
    case Int32: return std::numeric_limits<qint32>::max();
    case UInt32: return std::numeric_limits<quint32>::max();
    case Float: return double(std::numeric_limits<float>::max());
    case Int64: return double(std::numeric_limits<qint64>::max());
    case UInt64: return double(std::numeric_limits<quint64>::max());
    default: return std::numeric_limits<double>::max();
    }
}

QByteArray SimValueType::encode(double value) const
{
    if (type == Float)
        return bigEndian(float(value));
    if (type == Double)
        return bigEndian(value);
    // Integers (and Bool) round to the nearest value within range; 2^63 and
    // above cannot be held by a double that converts back, hence the checks.
    const double held = std::round(qBound(minimum(), std::isnan(value) ? 0.0 : value, maximum()));
    switch (type) {
    case Bool: return QByteArray(1, held != 0 ? '\1' : '\0');
    case Int8: return bigEndian(qint8(held));
    case UInt8: return bigEndian(quint8(held));
    case Int16: return bigEndian(qint16(held));
    case UInt16: return bigEndian(quint16(held));
    case Int32: return bigEndian(qint32(held));
    case UInt32: return bigEndian(quint32(held));
    case Int64: return bigEndian(held >= 0x1p63 ? std::numeric_limits<qint64>::max() : qint64(held));
    default: return bigEndian(held >= 0x1p64 ? std::numeric_limits<quint64>::max() : quint64(held));
    }
}

bool SimValueType::encodeText(const QString &text, QByteArray *bytes) const
{
    const QString value = text.trimmed().toLower();
    bool ok = false;
    if (type == Bool) {
        const bool on = value == QLatin1String("1") || value == QLatin1String("true");
        if (!on && value != QLatin1String("0") && value != QLatin1String("false"))
            return false;
        *bytes = QByteArray(1, on ? '\1' : '\0');
        return true;
    }
    if (!isInteger()) {
        const double number = value.toDouble(&ok); // C locale; inf and nan included
        if (!ok || (type == Float && std::isfinite(number) && std::fabs(number) > maximum()))
            return false;
        *bytes = encode(number);
        return true;
    }
    const int base = value.startsWith(QLatin1String("0x")) ? 16 : 10;
    const QString digits = base == 16 ? value.mid(2) : value;
    if (type == UInt64) {
        const quint64 number = digits.toULongLong(&ok, base);
        if (ok)
            *bytes = bigEndian(number);
        return ok;
    }
    const qint64 number = digits.toLongLong(&ok, base);
    if (!ok || number < minimum() || double(number) > maximum())
        return false;
    *bytes = type == Int64 ? bigEndian(number) : encode(double(number));
    return true;
}
