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

BenchCase makeCase(BenchCase::Kind kind, const char *key, const char *title, const char *address, DataType type,
                   int byteAddress, const QByteArray &image)
{
    BenchCase c;
    c.kind = kind;
    c.key = QLatin1String(key);
    c.title = QLatin1String(title);
    c.address = QLatin1String(address);
    c.type = type;
    c.count = type == UInt8 ? image.size() : 1;
    c.dbNumber = kDataBlock;
    c.byteAddress = byteAddress;
    c.image = image;
    return c;
}

} // namespace

QList<BenchCase> BenchCase::all()
{
    return {makeCase(ReadInt32, "read32", "read Int32", "DB1.DBD0", Int32, 0, QByteArray::fromHex("12345678")),
            makeCase(ReadBytes, "read200", "read 200 x UInt8", "DB1.DBB100", UInt8, 100, arrayImage()),
            makeCase(WriteInt32, "write32", "write Int32", "DB1.DBD8", Int32, 8, QByteArray::fromHex("0a0b0c0d"))};
}

BenchCase BenchCase::batch()
{
    BenchCase c;
    c.kind = ReadBatch;
    c.key = QStringLiteral("batch100");
    c.title = QStringLiteral("read 100 tags in one batch");
    c.count = BatchTags;
    return c;
}

bool BenchCase::byKey(const QString &key, BenchCase *found)
{
    const QList<BenchCase> cases = all() << batch();
    for (const BenchCase &c : cases) {
        if (c.key == key) {
            *found = c;
            return true;
        }
    }
    return false;
}
