// The value codec on arbitrary bytes, counts and start bits.
//  - A decoder yields exactly the elements asked for (Bool: bits start..7 of
//    each byte), whatever the number of bytes it is given.
//  - Decoding whole elements and encoding them again gives the same bytes
//    (values travel as bit images, NaN payloads included).
//  - An encoder fed a list of any element type appends one image per element
//    it can take, never more than asked.
//
// Input: [type][list type][start bit][count, 16-bit signed][bytes...]

#include <QList>
#include <QVariant>

#include <cstdint>

#include "FuzzRequire.h"
#include "ElementTypes.h"
#include "LibQuillmarsh.h"
#include "S7Image.h"

namespace {

constexpr size_t HeaderBytes = 5;
constexpr size_t MaxPayload = 4096;
constexpr int MaxCount = 4096;
constexpr int TypeCount = 11; // Bool .. Double

int listSize(const QVariant &value)
{
    return value.value<QSequentialIterable>().size();
}

// Bytes per element image (a bool takes a whole byte when encoded).
int widthOf(DataType type)
{
    return ElementTypes::withServedElementType(type, [](auto tag) { return int(sizeof(typename decltype(tag)::type)); });
}

LibQuillmarsh driver; // its codec members, as the read and write paths call them

// count elements, as the read path asks for them: in bytes for Bool.
QVariant decode(DataType type, int startBit, const QByteArray &bytes, int count)
{
    return driver.decodeRead(type, startBit, bytes, type == Bool ? count : count * widthOf(type));
}

void encode(DataType type, const QVariant &value, int count, QByteArray *out)
{
    CLabelVariable record;
    record.value = value;
    driver.encodeWrite(type, record, count, out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HeaderBytes || size > HeaderBytes + MaxPayload)
        return 0;
    const auto type = DataType(1 + data[0] % TypeCount);
    const auto listType = DataType(1 + data[1] % TypeCount);
    const int startBit = int(data[2] % 12) - 2; // -2 .. 9: also outside a byte
    const int count = qMin(int(int16_t(uint16_t(data[3] << 8 | data[4]))), MaxCount);
    const QByteArray bytes(reinterpret_cast<const char *>(data + HeaderBytes), int(size - HeaderBytes));
    const int width = widthOf(type);

    // Any count against any number of bytes.
    const QVariant decoded = decode(type, startBit, bytes, count);
    int expected = qMax(count, 0);
    if (type == Bool)
        expected = (count < 1 || startBit < 0 || startBit > 7) ? 0 : count * (8 - startBit);
    require(listSize(decoded) == expected);

    // Whole elements there and back (Bool: one 0/1 byte per decoded bit).
    const int whole = bytes.size() / width;
    const QVariant elements = decode(type, 0, bytes, whole);
    QByteArray image;
    encode(type, elements, listSize(elements), &image);
    if (type == Bool) {
        require(image.size() == whole * 8);
        for (int i = 0; i < image.size(); ++i)
            require(image.at(i) == char((quint8(bytes.at(i / 8)) >> (i % 8)) & 1));
    } else {
        require(image == bytes.left(whole * width));
    }

    // A list of another element type: one image per element taken, at most count.
    const QVariant other = decode(listType, 0, bytes, bytes.size() / widthOf(listType));
    const int offered = S7Image::elementsOffered(other, type);
    QByteArray out("\x5a", 1); // appended to, never replaced
    encode(type, other, count, &out);
    const int taken = offered < 0 ? 0 : qMax(0, qMin(count, offered));
    require(out.size() == 1 + taken * width && out.at(0) == '\x5a');
    return 0;
}
