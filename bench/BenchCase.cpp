#include "BenchCase.h"

namespace {

constexpr int kDataBlock = 1;
constexpr int kArrayLength = 200;

QByteArray arrayImage()
{
    // A pattern with no zero bytes, so a reply of zeros cannot pass as data.
    QByteArray bytes(kArrayLength, '\0');
    for (int i = 0; i < kArrayLength; ++i)
        bytes[i] = char(1 + (i * 7) % 251);
    return bytes;
}

} // namespace

QList<BenchCase> BenchCase::all()
{
    BenchCase read32;
    read32.kind = ReadInt32;
    read32.key = QStringLiteral("read32");
    read32.title = QStringLiteral("read Int32");
    read32.address = QStringLiteral("DB1.DBD0");
    read32.type = Int32;
    read32.count = 1;
    read32.dbNumber = kDataBlock;
    read32.byteAddress = 0;
    read32.image = QByteArray::fromHex("12345678");

    BenchCase read200;
    read200.kind = ReadBytes;
    read200.key = QStringLiteral("read200");
    read200.title = QStringLiteral("read 200 x UInt8");
    read200.address = QStringLiteral("DB1.DBB100");
    read200.type = UInt8;
    read200.count = kArrayLength;
    read200.dbNumber = kDataBlock;
    read200.byteAddress = 100;
    read200.image = arrayImage();

    BenchCase write32;
    write32.kind = WriteInt32;
    write32.key = QStringLiteral("write32");
    write32.title = QStringLiteral("write Int32");
    write32.address = QStringLiteral("DB1.DBD8");
    write32.type = Int32;
    write32.count = 1;
    write32.dbNumber = kDataBlock;
    write32.byteAddress = 8;
    write32.image = QByteArray::fromHex("0a0b0c0d");

    return {read32, read200, write32};
}

bool BenchCase::byKey(const QString &key, BenchCase *found)
{
    for (const BenchCase &c : all()) {
        if (c.key == key) {
            *found = c;
            return true;
        }
    }
    return false;
}
