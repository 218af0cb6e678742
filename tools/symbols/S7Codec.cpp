#include "S7Codec.h"

#include <climits>
#include <QRegularExpression>
#include <QtEndian>

#include <cstring>
#include <limits>
#include <type_traits>

#include "CLabelVariable.h"
#include "ElementTypes.h"
#include "S7Image.h"
#include "S7TextCodec.h"
#include "S7TimeCodec.h"
#include "ValueFormatter.h"
#include "ValueParser.h"

namespace {

// One element of the served type, as the plug-in decodes it; a BOOL is its
// own bit of the byte.
QVariant servedElement(const S7Type &type, const QByteArray &bytes, int bit)
{
    if (type.isBool())
        return ElementTypes::listValue(QList<bool>{((S7Image::read<quint8>(bytes, 0) >> bit) & 1) != 0});
    return ElementTypes::withServedElementType(type.servedType(), [&](auto tag) {
        return S7Image::decode<typename decltype(tag)::type>(bytes, 1);
    });
}

template <typename U>
void appendImage(QByteArray *out, U image)
{
    uchar be[sizeof(U)];
    qToBigEndian(image, be);
    out->append(reinterpret_cast<const char *>(be), int(sizeof be));
}

// The bounds of the whole-number kinds; bit strings are unsigned.
struct Range
{
    bool isSigned;
    qlonglong min;
    qulonglong max;
};

Range rangeOf(const S7Type &type)
{
    const int bits = type.size() * CHAR_BIT;
    const bool isSigned = type.kind == S7Type::SInt || type.kind == S7Type::Int || type.kind == S7Type::DInt
                          || type.kind == S7Type::LInt;
    if (isSigned) {
        const qlonglong max = bits == 64 ? std::numeric_limits<qlonglong>::max() : (1LL << (bits - 1)) - 1;
        return {true, -max - 1, qulonglong(max)};
    }
    return {false, 0, bits == 64 ? std::numeric_limits<qulonglong>::max() : (1ULL << bits) - 1};
}

// "16#FF", "W#16#FF", "INT#-5", "2#1010_0101", "L#5" -> sign and magnitude in
// decimal or 0x form for ValueParser; other texts stay as they are.
QString plainInteger(const QString &text)
{
    static const QRegularExpression based(QStringLiteral("^(?:[A-Z]+#)?([+-]?)(2|8|16)#([0-9A-F_]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression typed(QStringLiteral("^[A-Z]+#([+-]?[0-9_]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QString t = text.trimmed();
    QRegularExpressionMatch m = based.match(t);
    if (m.hasMatch()) {
        bool ok = false;
        const qulonglong v = QString(m.captured(3)).remove(QLatin1Char('_')).toULongLong(&ok, m.captured(2).toInt());
        return ok ? m.captured(1) + QStringLiteral("0x") + QString::number(v, 16) : t;
    }
    m = typed.match(t);
    return m.hasMatch() ? QString(m.captured(1)).remove(QLatin1Char('_')) : t;
}

QString typedBody(const QString &text)
{
    static const QRegularExpression typed(QStringLiteral("^L?REAL#(.*)$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = typed.match(text.trimmed());
    return m.hasMatch() ? m.captured(1) : text;
}

bool encodeWhole(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    const Range r = rangeOf(type);
    const QString t = plainInteger(text);
    bool outOfRange = false;
    qlonglong s = 0;
    qulonglong u = 0;
    const bool ok = r.isSigned ? ValueParser::parseSigned(t, r.min, qlonglong(r.max), &s, &outOfRange)
                               : ValueParser::parseUnsigned(t, r.max, &u, &outOfRange);
    if (!ok) {
        *error = outOfRange ? QStringLiteral("value '%1' is out of range for %2 (%3 to %4)")
                                  .arg(text, type.name(), r.isSigned ? QString::number(r.min) : QStringLiteral("0"),
                                       QString::number(r.max))
                            : QStringLiteral("value '%1' is not a number for %2").arg(text, type.name());
        return false;
    }
    const quint64 image = r.isSigned ? quint64(s) : quint64(u);
    for (int i = type.size() - 1; i >= 0; --i)
        out->append(char((image >> (i * CHAR_BIT)) & 0xFF));
    return true;
}

bool encodeReal(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    const bool single = type.kind == S7Type::Real;
    double v = 0;
    bool outOfRange = false;
    if (!ValueParser::parseReal(typedBody(text), single ? double(std::numeric_limits<float>::max())
                                                        : std::numeric_limits<double>::max(), &v, &outOfRange)) {
        *error = outOfRange ? QStringLiteral("value '%1' is out of range for %2").arg(text, type.name())
                            : QStringLiteral("value '%1' is not a number for %2").arg(text, type.name());
        return false;
    }
    if (single) {
        const float f = float(v);
        quint32 image;
        std::memcpy(&image, &f, sizeof image);
        appendImage(out, image);
    } else {
        quint64 image;
        std::memcpy(&image, &v, sizeof image);
        appendImage(out, image);
    }
    return true;
}

bool encodeServed(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    if (type.kind == S7Type::Bool) {
        bool v = false;
        static const QRegularExpression typed(QStringLiteral("^BOOL#"), QRegularExpression::CaseInsensitiveOption);
        if (!ValueParser::parseBool(QString(text).remove(typed), &v)) {
            *error = QStringLiteral("value '%1' is not a BOOL (0, 1, true or false)").arg(text);
            return false;
        }
        out->append(char(v ? 1 : 0));
        return true;
    }
    if (type.kind == S7Type::Real || type.kind == S7Type::LReal)
        return encodeReal(type, text, out, error);
    return encodeWhole(type, text, out, error);
}
} // namespace

S7Codec::Value S7Codec::decode(const S7Type &type, const QByteArray &bytes, int bit)
{
    Value v;
    const int needed = qMax(1, type.size());
    if (!type.isValid() || bytes.size() < needed || bit < 0 || bit >= CHAR_BIT) {
        v.error = QStringLiteral("%1 needs %2 bytes, %3 given").arg(type.name()).arg(needed).arg(bytes.size());
        return v;
    }
    if (type.servedType() != NoType) {
        v.value = servedElement(type, bytes, bit);
        v.text = ValueFormatter::joined(v.value, type.servedType(), 1);
        return v;
    }
    bool ok = true;
    if (S7TimeCodec::handles(type.kind))
        ok = S7TimeCodec::decode(type, bytes, &v.text, &v.error);
    else if (S7TextCodec::handles(type.kind))
        ok = S7TextCodec::decode(type, bytes, &v.text, &v.error);
    else   // POINTER and ANY: shown as their bytes
        v.text = QStringLiteral("16#") + QString::fromLatin1(bytes.left(needed).toHex().toUpper());
    if (ok)
        v.value = v.text;
    return v;
}

bool S7Codec::encode(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    if (!type.isValid() || !type.isWritable()) {
        *error = QStringLiteral("%1 values are not written").arg(type.name());
        return false;
    }
    if (type.servedType() != NoType)
        return encodeServed(type, text, out, error);
    if (S7TimeCodec::handles(type.kind))
        return S7TimeCodec::encode(type, text, out, error);
    return S7TextCodec::encode(type, text, out, error);
}

QStringList S7Codec::splitValues(const QString &text)
{
    QStringList values;
    QString current;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && c == QLatin1Char('$') && i + 1 < text.size()) {
            current.append(c).append(text.at(++i));   // $' inside a text is no closing quote
            continue;
        }
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char(',') && !quoted) {
            values << current;
            current.clear();
        } else {
            current.append(c);
        }
    }
    values << current;
    return values;
}
