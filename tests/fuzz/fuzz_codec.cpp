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
#include <cstdlib>

#include "LibQuillmarsh.h"
#include "ValueCodec.h"

namespace {

constexpr size_t HeaderBytes = 5;
constexpr size_t MaxPayload = 4096;
constexpr int MaxCount = 4096;
constexpr int TypeCount = 11; // Bool .. Double

using Decoder = QVariant (LibQuillmarsh::*)(QByteArray, int);
using Encoder = int (LibQuillmarsh::*)(CLabelVariable, int, QByteArray *);

struct Codec
{
    int width; // bytes per element image
    Decoder decode;
    Encoder encode;
};

// Indexed by DataType - 1; Bool's decoder takes a start bit and has its own call.
const Codec codecs[TypeCount] = {
    {1, nullptr, &LibQuillmarsh::Wset_variant_bool},
    {1, &LibQuillmarsh::set_variant_Int8, &LibQuillmarsh::Wset_variant_Int8},
    {1, &LibQuillmarsh::set_variant_UInt8, &LibQuillmarsh::Wset_variant_UInt8},
    {2, &LibQuillmarsh::set_variant_Int16, &LibQuillmarsh::Wset_variant_Int16},
    {2, &LibQuillmarsh::set_variant_UInt16, &LibQuillmarsh::Wset_variant_uInt16},
    {4, &LibQuillmarsh::set_variant_Int32, &LibQuillmarsh::Wset_variant_Int32},
    {4, &LibQuillmarsh::set_variant_UInt32, &LibQuillmarsh::Wset_variant_UInt32},
    {4, &LibQuillmarsh::set_variant_fload, &LibQuillmarsh::Wset_variant_float},
    {8, &LibQuillmarsh::set_variant_Int64, &LibQuillmarsh::Wset_variant_Int64},
    {8, &LibQuillmarsh::set_variant_UInt64, &LibQuillmarsh::Wset_variant_UInt64},
    {8, &LibQuillmarsh::set_variant_double, &LibQuillmarsh::Wset_variant_double},
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

int listSize(const QVariant &value)
{
    return value.value<QSequentialIterable>().size();
}

QVariant decode(LibQuillmarsh &driver, int type, int startBit, const QByteArray &bytes, int count)
{
    if (type == Bool)
        return driver.set_variant_bool(startBit, bytes, count);
    return (driver.*codecs[type - 1].decode)(bytes, count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HeaderBytes || size > HeaderBytes + MaxPayload)
        return 0;
    static LibQuillmarsh driver;
    const int type = 1 + data[0] % TypeCount;
    const int listType = 1 + data[1] % TypeCount;
    const int startBit = int(data[2] % 12) - 2; // -2 .. 9: also outside a byte
    const int count = qMin(int(int16_t(uint16_t(data[3] << 8 | data[4]))), MaxCount);
    const QByteArray bytes(reinterpret_cast<const char *>(data + HeaderBytes), int(size - HeaderBytes));
    const Codec &codec = codecs[type - 1];

    // Any count against any number of bytes.
    const QVariant decoded = decode(driver, type, startBit, bytes, count);
    int expected = qMax(count, 0);
    if (type == Bool)
        expected = (count < 1 || startBit < 0 || startBit > 7) ? 0 : count * (8 - startBit);
    require(listSize(decoded) == expected);

    // Whole elements there and back (Bool: one 0/1 byte per decoded bit).
    const int whole = bytes.size() / codec.width;
    const QVariant elements = decode(driver, type, 0, bytes, whole);
    CLabelVariable record;
    record.value = elements;
    QByteArray image;
    (driver.*codec.encode)(record, listSize(elements), &image);
    if (type == Bool) {
        require(image.size() == whole * 8);
        for (int i = 0; i < image.size(); ++i)
            require(image.at(i) == char((quint8(bytes.at(i / 8)) >> (i % 8)) & 1));
    } else {
        require(image == bytes.left(whole * codec.width));
    }

    // A list of another element type: one image per element taken, at most count.
    record.value = decode(driver, listType, 0, bytes, bytes.size() / codecs[listType - 1].width);
    const int offered = ValueCodec::elementsOffered(record.value, DataType(type));
    QByteArray out("\x5a", 1); // appended to, never replaced
    (driver.*codec.encode)(record, count, &out);
    const int taken = offered < 0 ? 0 : qMax(0, qMin(count, offered));
    require(out.size() == 1 + taken * codec.width && out.at(0) == '\x5a');
    return 0;
}
