#include "TagRefusal.h"

#include "ElementTypes.h"
#include "S7Frame.h"
#include "ValueCodec.h"

namespace {
constexpr int kMaxAddress = 65535;
}

namespace TagRefusal {

int read(const TagAddress &tag, DataType type, int count)
{
    if (tag.byteAddress < 0)
        return StatusBadAddress;
    if (count <= 0)
        return StatusBadCount;
    if (qint64(tag.byteAddress) + count > kMaxAddress)
        return StatusBadAddress;
    if (!ElementTypes::isServed(type))
        return StatusTypeNotServed; // NoType, String and the host's other types
    return StatusOk;
}

bool isBitWrite(const TagAddress &tag, DataType type, int count)
{
    return type == Bool && count >= 1 && tag.explicitBit;
}

int write(const TagAddress &tag, DataType type, int count, const CLabelVariable &value)
{
    const bool bitWrite = isBitWrite(tag, type, count);
    if (tag.byteAddress < 0)
        return StatusBadAddress;
    if (count < 0)
        return StatusBadCount;
    if (qint64(tag.byteAddress) + count > kMaxAddress)
        return StatusBadAddress;
    if (!ElementTypes::isServed(type))
        return StatusTypeNotServed;
    if (bitWrite && tag.bit > 7)
        return StatusBadAddress;
    if (bitWrite ? count > S7Frame::maxBitsPerJob() : TagAddress::byteLength(type, count) > S7Frame::maxWriteBytes())
        return StatusBadCount; // more than one job can carry
    // Elements the write takes from the record: Bool writes of whole bytes
    // take one element per byte. A write of no elements needs no value.
    const int needed = type == Bool && !bitWrite ? TagAddress::byteLength(Bool, count) : count;
    if (needed == 0)
        return StatusOk;
    const int offered = ValueCodec::elementsOffered(value.value, type);
    if (offered < 0)
        return StatusTypeNotServed;
    return offered < needed ? StatusBadCount : StatusOk;
}

} // namespace TagRefusal
