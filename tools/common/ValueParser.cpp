#include "ValueParser.h"

#include "ElementTypes.h"
#include "S7Codec.h"
#include "S7Image.h"
#include "S7Type.h"

QVariant ValueParser::parse(DataType type, const QStringList &texts, QString *error)
{
    const S7Type s7 = S7Type::ofServed(type);
    if (!s7.isValid()) {
        *error = QStringLiteral("data type %1 is not served").arg(int(type));
        return QVariant();
    }
    // The values' images one after the other, read back as the list a read
    // of them would give (a Bool image is one 01 or 00 byte per value).
    QByteArray image;
    for (const QString &text : texts) {
        if (!S7Codec::encode(s7, text, &image, error))
            return QVariant();
    }
    return ElementTypes::withServedElementType(type, [&](auto tag) {
        return S7Image::decode<typename decltype(tag)::type>(image, texts.size());
    });
}
