#include "SymbolLeaf.h"

#include "ElementTypes.h"
#include "S7Address.h"
#include "ValueFormatter.h"

QString SymbolLeaf::address() const
{
    S7Address place;
    place.area = S7::AreaDataBlocks;
    place.dbNumber = dbNumber;
    place.byte = byte;
    place.bit = type.isBool() ? bit : -1;
    place.width = size();   // the width letter only tells the reader; the type comes with the request
    return place.text();
}

SymbolLeaf::ReadRequest SymbolLeaf::readRequest() const
{
    if (servedType() != NoType)
        return {address(), servedType(), 1};
    return {address(), UInt8, size()};
}

S7Codec::Value SymbolLeaf::decodeRecord(const CLabelVariable &record) const
{
    const ReadRequest request = readRequest();
    S7Codec::Value v;
    if (request.type == Bool) {
        // A Bool read returns the bits from the tag's bit up to 7: the first is this one.
        QList<bool> bits;
        if (ElementTypes::readList(record.value, bits) && !bits.isEmpty())
            return S7Codec::decode(type, QByteArray(1, char(bits.first() ? 1 : 0)));
    } else if (servedType() != NoType) {
        if (ValueFormatter::elements(record.value, request.type, 1).size() == 1) {
            v.value = record.value;
            v.text = ValueFormatter::joined(record.value, request.type, 1);
            return v;
        }
    } else {
        QList<uchar> bytes;
        if (ElementTypes::readList(record.value, bytes) && bytes.size() >= size()) {
            QByteArray raw;
            for (uchar b : bytes)
                raw.append(char(b));
            return S7Codec::decode(type, raw);
        }
    }
    v.error = QStringLiteral("the record of %1 holds no %2").arg(record.address, type.name());
    return v;
}

bool SymbolLeaf::writeRecord(const QString &text, CLabelVariable *record, QString *error) const
{
    QByteArray bytes;
    if (!S7Codec::encode(type, text, &bytes, error))
        return false;
    record->address = address();
    if (servedType() != NoType) {
        // The parsed value as the list the plug-in writes: the same element a
        // read of those bytes gives.
        record->value = S7Codec::decode(type, bytes).value;
        record->dataType = servedType();
        record->count = 1;
        return true;
    }
    QList<uchar> list;
    for (char b : bytes)
        list.append(uchar(b));
    record->value = QVariant::fromValue(list);
    record->dataType = UInt8;
    record->count = list.size();
    return true;
}
