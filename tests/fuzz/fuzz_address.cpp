// Tag address texts from arbitrary bytes. The parsers, and the read and write
// paths of a driver object without a connection, must answer every text with
// the status of a check before any request, or "not connected": never crash,
// hang or read past the text.
//
// Input: [data type][count, 16-bit signed][address text, UTF-8]

#include <QList>
#include <QString>

#include <cstdint>

#include "FuzzRequire.h"
#include "ElementTypes.h"
#include "LibQuillmarsh.h"

namespace {

constexpr size_t HeaderBytes = 3;
constexpr size_t MaxTextBytes = 512;
constexpr int DataTypeMask = 0x3F; // every value an enum with 0..32 may hold
constexpr int MaxByteAddress = 65535;

bool isCheckStatus(int status)
{
    return status == StatusTypeNotServed || status == StatusBadCount || status == StatusBadAddress;
}

// What every returned record carries whatever the outcome.
void requireEcho(const CLabelVariable &record, const QString &text, DataType type, int count)
{
    require(record.address == text && record.dataType == type && record.count == count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HeaderBytes || size > HeaderBytes + MaxTextBytes)
        return 0;
    static LibQuillmarsh driver; // never connected: jobs refuse before sending

    const auto type = DataType(data[0] & DataTypeMask);
    const int count = int16_t(uint16_t(data[1] << 8 | data[2]));
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + HeaderBytes),
                                           int(size - HeaderBytes));

    const LibQuillmarsh::AreaType area = driver.getArea(text);
    const int byteAddress = driver.getAddr(text, area);
    driver.getmodule_number(text, area);
    driver.getmodule_bit(text, area);
    TagAddress::parse(text);
    if (area == LibQuillmarsh::Area_None)
        require(byteAddress == -1); // no area letter, no byte address
    if (count >= 0)
        require(driver.getBytelen(type, count) >= 0);

    // A read reaches the job ("not connected" here) exactly when the text,
    // the count and the type pass every check; otherwise it is refused. The
    // driver's remembered parse answers as the fresh one above.
    const bool passes = byteAddress >= 0 && count > 0 && qint64(byteAddress) + count <= MaxByteAddress
                        && ElementTypes::isServed(type);
    const CLabelVariable read = driver.ReadVariable(text, type, count);
    requireEcho(read, text, type, count);
    require(passes ? read.status == StatusNotConnected : isCheckStatus(read.status));
    require(driver.ReadVariable(text, type, count).status == read.status);
    if (read.status == StatusNotConnected)
        require(!read.value.isValid() && read.timestamp.isNull());

    CLabelVariable value;
    value.value = QVariant::fromValue(QList<int>{1, 2, 3});
    const CLabelVariable written = driver.WriteVariable(text, type, value, count);
    requireEcho(written, text, type, count);
    require(isCheckStatus(written.status) || written.status == StatusNotConnected
            || written.status == StatusInputArea);
    require(written.value == value.value); // the caller's value comes back untouched
    return 0;
}
