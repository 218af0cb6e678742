#include "S7NumberCodec.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstring>
#include <limits>

#include "ElementTypes.h"
#include "S7Image.h"
#include "ValueFormatter.h"

namespace {

using Number = S7Type::Number;

// The bounds of a whole type: its width and whether it has a sign.
struct Range
{
    bool isSigned;
    qlonglong min;
    qulonglong max;
};

Range rangeOf(const S7Type &type)
{
    const int bits = type.size() * 8;
    if (type.number() == Number::Signed) {
        const qlonglong max = bits == 64 ? std::numeric_limits<qlonglong>::max() : (1LL << (bits - 1)) - 1;
        return {true, -max - 1, qulonglong(max)};
    }
    return {false, 0, bits == 64 ? std::numeric_limits<qulonglong>::max() : (1ULL << bits) - 1};
}

bool single(const S7Type &type)
{
    return type.size() == int(sizeof(float));
}

// The smallest magnitude that rounds to infinity in the type: the largest
// finite value plus half its spacing (the tie rounds to even, infinity).
double overflowMagnitude(const S7Type &type)
{
    using F = std::numeric_limits<float>;
    if (!single(type))
        return std::numeric_limits<double>::infinity();
    return double(F::max()) + std::ldexp(1.0, F::max_exponent - F::digits - 1);
}

QString limitText(const S7Type &type, bool low)
{
    if (type.number() == Number::Real) {
        if (single(type))
            return ValueFormatter::formatFloat(low ? std::numeric_limits<float>::lowest() : std::numeric_limits<float>::max());
        return ValueFormatter::formatDouble(low ? std::numeric_limits<double>::lowest() : std::numeric_limits<double>::max());
    }
    const Range r = rangeOf(type);
    return low ? QString::number(r.min) : QString::number(r.max);
}

QString notANumber(const S7Type &type, const QString &text)
{
    if (type.number() == Number::Bit)
        return QStringLiteral("value '%1' is not a %2 (0, 1, true or false)").arg(text, type.name());
    return QStringLiteral("value '%1' is not a number for %2").arg(text, type.name());
}

QString outOfRange(const S7Type &type, const QString &text)
{
    return QStringLiteral("value '%1' is out of range for %2 (%3 to %4)")
        .arg(text, type.name(), limitText(type, true), limitText(type, false));
}

// The literal without a typed prefix (INT#, W#, REAL#, BOOL#); false when the
// prefix names a type of another kind of number.
bool withoutPrefix(const S7Type &type, const QString &text, QString *body)
{
    static const QRegularExpression prefixed(QStringLiteral("^([A-Z][A-Z0-9_]*)#(.+)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = prefixed.match(text);
    if (!m.hasMatch()) {
        *body = text;
        return true;
    }
    *body = m.captured(2);
    const QString prefix = m.captured(1).toUpper();
    // The constants' own prefixes: byte, word, double and long word, long integer.
    static const QStringList bitStrings = {QStringLiteral("B"), QStringLiteral("W"), QStringLiteral("DW"),
                                           QStringLiteral("LW"), QStringLiteral("L")};
    const Number named = S7Type::fromName(prefix).number();
    const bool whole = type.number() == Number::Signed || type.number() == Number::Unsigned;
    if (whole)
        return bitStrings.contains(prefix) || named == Number::Signed || named == Number::Unsigned;
    return named == type.number();
}

bool digitsOf(const QString &digits, int base)
{
    for (const QChar c : digits) {
        const int d = c.isDigit() ? c.digitValue() : c.toUpper().unicode() - 'A' + 10;
        if (d >= base)
            return false;
    }
    return true;
}

// "-16#FF", "2#1010_0101", "0x1F", "1_000": sign and magnitude; false when it
// is no whole number, with *overflow set when its digits pass 64 bits.
bool magnitude(const QString &text, bool *negative, qulonglong *value, bool *overflow)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([+-]?)(?:(2|8|16)#([0-9A-F][0-9A-F_]*)|0X([0-9A-F]+)|([0-9][0-9_]*))$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return false;
    *negative = m.captured(1) == QLatin1String("-");
    int base = 10;
    QString digits = m.captured(5);
    if (!m.captured(3).isEmpty()) {
        base = m.captured(2).toInt();
        digits = m.captured(3);
    } else if (!m.captured(4).isEmpty()) {
        base = 16;
        digits = m.captured(4);
    }
    digits.remove(QLatin1Char('_'));
    if (!digitsOf(digits, base))
        return false;
    bool ok = false;
    *value = digits.toULongLong(&ok, base);
    *overflow = !ok;   // the digits are the base's, so only overflow fails
    return true;
}

// A floating-point image; a value just above the largest finite one that
// rounds to it is taken as it.
void appendReal(const S7Type &type, double v, QByteArray *out)
{
    if (!single(type)) {
        quint64 image;
        std::memcpy(&image, &v, sizeof image);
        S7Image::append(out, image);
        return;
    }
    using F = std::numeric_limits<float>;
    const bool roundsDown = std::isfinite(v) && std::fabs(v) > double(F::max());
    const float f = roundsDown ? (v < 0 ? F::lowest() : F::max()) : float(v);
    quint32 image;
    std::memcpy(&image, &f, sizeof image);
    S7Image::append(out, image);
}

// A whole number's image in the type's width, most significant byte first.
void appendWhole(const S7Type &type, quint64 image, QByteArray *out)
{
    for (int i = type.size() - 1; i >= 0; --i)
        out->append(char((image >> (i * 8)) & 0xFF));
}

bool encodeBool(const S7Type &type, const QString &body, QByteArray *out, QString *error, const QString &text)
{
    const QString t = body.toLower();
    const bool on = t == QLatin1String("1") || t == QLatin1String("true");
    if (!on && t != QLatin1String("0") && t != QLatin1String("false")) {
        *error = notANumber(type, text);
        return false;
    }
    out->append(char(on ? 1 : 0));
    return true;
}

bool encodeWhole(const S7Type &type, const QString &body, QByteArray *out, QString *error, const QString &text)
{
    bool negative = false, overflow = false;
    qulonglong mag = 0;
    if (!magnitude(body, &negative, &mag, &overflow)) {
        *error = notANumber(type, text);
        return false;
    }
    const Range r = rangeOf(type);
    // The magnitude of the lowest value is one more than the highest value.
    const qulonglong limit = !negative ? r.max : r.isSigned ? qulonglong(-(r.min + 1)) + 1 : 0;
    if (overflow || mag > limit) {
        *error = outOfRange(type, text);
        return false;
    }
    appendWhole(type, negative ? 0 - mag : mag, out);
    return true;
}

bool encodeReal(const S7Type &type, const QString &body, QByteArray *out, QString *error, const QString &text)
{
    static const QRegularExpression special(QStringLiteral("^([+-]?)(inf|infinity|nan)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    double v = 0;
    const QRegularExpressionMatch m = special.match(body);
    if (m.hasMatch()) {
        const bool nan = m.captured(2).compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0;
        v = nan ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
        v = m.captured(1) == QLatin1String("-") ? -v : v;
    } else if (!decimal.match(body).hasMatch()) {
        *error = notANumber(type, text);
        return false;
    } else {
        bool ok = false;
        v = QLocale::c().toDouble(body, &ok);
        if (!ok || !std::isfinite(v) || std::fabs(v) >= overflowMagnitude(type)) {
            *error = outOfRange(type, text);
            return false;
        }
    }
    appendReal(type, v, out);
    return true;
}

} // namespace

QVariant S7NumberCodec::decode(const S7Type &type, const QByteArray &bytes, QString *text)
{
    QVariant value;
    if (type.isBool())
        value = ElementTypes::listValue(QList<bool>{(S7Image::read<quint8>(bytes, 0) & 1) != 0});
    else
        value = ElementTypes::withServedElementType(type.servedType(), [&](auto tag) {
            return S7Image::decode<typename decltype(tag)::type>(bytes, 1);
        });
    *text = ValueFormatter::joined(value, type.servedType(), 1);
    return value;
}

bool S7NumberCodec::encode(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    QString body;
    if (!withoutPrefix(type, text.trimmed(), &body)) {
        *error = notANumber(type, text);
        return false;
    }
    switch (type.number()) {
    case Number::Bit: return encodeBool(type, body, out, error, text);
    case Number::Real: return encodeReal(type, body, out, error, text);
    default: return encodeWhole(type, body, out, error, text);
    }
}

bool S7NumberCodec::isWhole(const QString &text, bool *negative)
{
    QString body;
    bool overflow = false;
    qulonglong mag = 0;
    return withoutPrefix(S7Type(S7Type::LInt), text.trimmed(), &body) && magnitude(body, negative, &mag, &overflow);
}

QByteArray S7NumberCodec::fromNumber(const S7Type &type, double value)
{
    QByteArray out;
    if (type.number() == Number::Real) {
        appendReal(type, value, &out);
        return out;
    }
    // Rounded within range; 2^63 and above are no double that converts back.
    const double held = std::round(qBound(lowest(type), std::isnan(value) ? 0.0 : value, highest(type)));
    if (type.isBool())
        return QByteArray(1, held != 0 ? '\1' : '\0');
    if (type.number() == Number::Signed)
        appendWhole(type, quint64(held >= 0x1p63 ? std::numeric_limits<qint64>::max() : qint64(held)), &out);
    else
        appendWhole(type, held >= 0x1p64 ? std::numeric_limits<quint64>::max() : quint64(held), &out);
    return out;
}

double S7NumberCodec::lowest(const S7Type &type)
{
    if (type.number() == Number::Real)
        return single(type) ? double(std::numeric_limits<float>::lowest()) : std::numeric_limits<double>::lowest();
    return type.isBool() ? 0 : double(rangeOf(type).min);
}

double S7NumberCodec::highest(const S7Type &type)
{
    if (type.number() == Number::Real)
        return single(type) ? double(std::numeric_limits<float>::max()) : std::numeric_limits<double>::max();
    return type.isBool() ? 1 : double(rangeOf(type).max);
}
