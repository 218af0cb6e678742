#include "S7TextCodec.h"

#include "S7Image.h"

namespace {
// Header of STRING (bytes) and WSTRING (words): maximum, then current length.
const int kStringHeader = 2;
const int kWStringHeader = 4;
const ushort kLatin1Last = 0xFF;

QString literalBody(const QString &text)
{
    // STRING#'x', WSTRING#'x', CHAR#'x', WCHAR#'x'.
    const QString t = text.trimmed();
    const int hash = t.indexOf(QLatin1Char('#'));
    if (hash > 0 && t.mid(hash + 1).startsWith(QLatin1Char('\''))) {
        const QString prefix = t.left(hash).toUpper();
        if (prefix == QLatin1String("STRING") || prefix == QLatin1String("WSTRING")
            || prefix == QLatin1String("CHAR") || prefix == QLatin1String("WCHAR"))
            return t.mid(hash + 1);
    }
    return text;
}

bool escape(const QString &body, int *i, QString *out)
{
    if (*i + 1 >= body.size())
        return false;
    const QChar c = body.at(*i + 1).toUpper();
    const char *simple = "$'LNRTP";
    const char *meaning = "$'\n\n\r\t\f";
    for (int k = 0; simple[k]; ++k) {
        if (c == QLatin1Char(simple[k])) {
            out->append(QLatin1Char(meaning[k]));
            *i += 2;
            return true;
        }
    }
    bool ok = false;
    const int code = body.mid(*i + 1, 2).toInt(&ok, 16);
    if (!ok || body.mid(*i + 1, 2).size() != 2)
        return false;
    out->append(QChar(code));
    *i += 3;
    return true;
}

bool decodeString(const S7Type &type, const QByteArray &b, QString *text, QString *error)
{
    const int maximum = quint8(b.at(0)), current = quint8(b.at(1));
    if (current > type.length || current > maximum) {
        *error = QStringLiteral("%1 current length %2 above its maximum %3")
                     .arg(type.name()).arg(current).arg(qMin(maximum, type.length));
        return false;
    }
    *text = QString::fromLatin1(b.mid(kStringHeader, current));
    return true;
}

bool decodeWString(const S7Type &type, const QByteArray &b, QString *text, QString *error)
{
    const int maximum = S7Image::read<quint16>(b, 0);
    const int current = S7Image::read<quint16>(b, 2);
    if (current > type.length || current > maximum) {
        *error = QStringLiteral("%1 current length %2 above its maximum %3")
                     .arg(type.name()).arg(current).arg(qMin(maximum, type.length));
        return false;
    }
    text->clear();
    for (int i = 0; i < current; ++i)
        text->append(QChar(S7Image::read<quint16>(b, kWStringHeader + 2 * i)));
    return true;
}

bool fitsLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > kLatin1Last)
            return false;
    }
    return true;
}
} // namespace

bool S7TextCodec::handles(S7Type::Kind kind)
{
    return kind == S7Type::Char || kind == S7Type::WChar || kind == S7Type::String || kind == S7Type::WString;
}

bool S7TextCodec::unquote(const QString &text, QString *plain)
{
    const QString body = literalBody(text);
    if (body.size() < 2 || !body.startsWith(QLatin1Char('\'')) || !body.endsWith(QLatin1Char('\''))) {
        *plain = text;
        return true;
    }
    QString out;
    const QString inner = body.mid(1, body.size() - 2);
    for (int i = 0; i < inner.size();) {
        if (inner.at(i) == QLatin1Char('$')) {
            if (!escape(inner, &i, &out))
                return false;
        } else if (inner.at(i) == QLatin1Char('\'')) {
            return false;   // a quote inside must be written $'
        } else {
            out.append(inner.at(i++));
        }
    }
    *plain = out;
    return true;
}

bool S7TextCodec::decode(const S7Type &type, const QByteArray &b, QString *text, QString *error)
{
    switch (type.kind) {
    case S7Type::Char:
        *text = QString(QChar(quint8(b.at(0))));
        return true;
    case S7Type::WChar:
        *text = QString(QChar(S7Image::read<quint16>(b, 0)));
        return true;
    case S7Type::String:
        return decodeString(type, b, text, error);
    default:
        return decodeWString(type, b, text, error);
    }
}

bool S7TextCodec::encode(const S7Type &type, const QString &text, QByteArray *out, QString *error)
{
    QString plain;
    if (!unquote(text, &plain)) {
        *error = QStringLiteral("value %1 is not a quoted S7 text ('…' with $', $$ or $hh inside)").arg(text);
        return false;
    }
    const bool singleChar = type.kind == S7Type::Char || type.kind == S7Type::WChar;
    const bool bytewise = type.kind == S7Type::Char || type.kind == S7Type::String;
    if (singleChar && plain.size() != 1) {
        *error = QStringLiteral("value '%1' is not one character for %2").arg(plain, type.name());
        return false;
    }
    if (bytewise && !fitsLatin1(plain)) {
        *error = QStringLiteral("value '%1' holds a character outside Latin-1, which %2 cannot hold (WSTRING can)")
                     .arg(plain, type.name());
        return false;
    }
    if (!singleChar && plain.size() > type.length) {
        *error = QStringLiteral("value '%1' has %2 characters, more than %3 holds")
                     .arg(plain).arg(plain.size()).arg(type.name());
        return false;
    }
    QByteArray field;
    if (type.kind == S7Type::String) {
        field.append(char(type.length)).append(char(plain.size()));
    } else if (type.kind == S7Type::WString) {
        S7Image::append<quint16>(&field, quint16(type.length));
        S7Image::append<quint16>(&field, quint16(plain.size()));
    }
    for (const QChar c : plain) {
        if (bytewise)
            field.append(char(c.unicode()));
        else
            S7Image::append<quint16>(&field, c.unicode());
    }
    out->append(field.leftJustified(type.size(), '\0'));
    return true;
}
