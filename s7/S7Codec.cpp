#include "S7Codec.h"

#include "S7NumberCodec.h"
#include "S7TextCodec.h"
#include "S7TimeCodec.h"

S7Codec::Value S7Codec::decode(const S7Type &type, const QByteArray &bytes)
{
    Value v;
    const int needed = qMax(1, type.size());
    if (!type.isValid() || bytes.size() < needed) {
        v.error = QStringLiteral("%1 needs %2 bytes, %3 given").arg(type.name()).arg(needed).arg(bytes.size());
        return v;
    }
    if (S7NumberCodec::handles(type)) {
        v.value = S7NumberCodec::decode(type, bytes, &v.text);
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
    if (S7NumberCodec::handles(type))
        return S7NumberCodec::encode(type, text, out, error);
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
