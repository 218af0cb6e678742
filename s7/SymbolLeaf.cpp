#include "SymbolLeaf.h"

#include "ElementTypes.h"
#include "ValueFormatter.h"

namespace {
// The letters after DBn.DB only tell the reader the width; the plug-in
// takes the type from the request.
QChar widthLetter(int size)
{
    switch (size) {
    case 2: return QLatin1Char('W');
    case 4: return QLatin1Char('D');
    default: return QLatin1Char('B');
    }
}
} // namespace

QString SymbolLeaf::address() const
{
    if (type.isBool())
        return QStringLiteral("DB%1.DBX%2.%3").arg(dbNumber).arg(byte).arg(bit);
    return QStringLiteral("DB%1.DB%2%3").arg(dbNumber).arg(widthLetter(size())).arg(byte);
}

SymbolLeaf::ReadRequest SymbolLeaf::readRequest() const
{
    if (servedType() != NoType)
        return {address(), servedType(), 1};
    return {address(), UInt8, size()};
}

S7Codec::Value SymbolLeaf::decode(const QByteArray &buffer, int bufferStart) const
{
    const int offset = byte - bufferStart;
    const int length = qMax(1, size());
    if (offset < 0 || offset + length > buffer.size()) {
        S7Codec::Value v;
        v.error = QStringLiteral("bytes %1 to %2 hold no %3 at byte %4")
                      .arg(bufferStart).arg(bufferStart + buffer.size() - 1).arg(symbol).arg(byte);
        return v;
    }
    return S7Codec::decode(type, buffer.mid(offset, length), qMax(bit, 0));
}

S7Codec::Value SymbolLeaf::decodeRecord(const CLabelVariable &record) const
{
    const ReadRequest request = readRequest();
    S7Codec::Value v;
    if (request.type == Bool) {
        // A Bool read returns the bits from the tag's bit up to 7: the first is this one.
        QList<bool> bits;
        if (ElementTypes::readList(record.value, bits) && !bits.isEmpty())
            return S7Codec::decode(type, QByteArray(1, char(bits.first() ? 1 : 0)), 0);
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
            return S7Codec::decode(type, raw, 0);
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
        record->value = S7Codec::decode(type, bytes, 0).value;
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
