// PLC byte images to value lists and back, for every served data type, as
// tables of examples; properties on arbitrary input: tests/fuzz/fuzz_codec.
#include <QtTest>

#include <cstring>
#include <limits>

#include "LibQuillmarsh.h"
#include "S7Image.h"

namespace {

int listTypeId(DataType type)
{
    int id = QMetaType::UnknownType;
    ElementTypes::withServedElementType(type, [&](auto tag) { id = qMetaTypeId<QList<typename decltype(tag)::type>>(); });
    return id;
}

// Bytes per element in the PLC image (one byte per bool on writes).
int widthOf(DataType type)
{
    int width = 0;
    ElementTypes::withServedElementType(type, [&](auto tag) { width = int(sizeof(typename decltype(tag)::type)); });
    return width;
}

// The elements of the type's list in value, as their bytes in memory, so
// that floating-point elements compare exactly (-0.0, NaN payloads).
QByteArray elementBytes(DataType type, const QVariant &value)
{
    QByteArray bytes;
    ElementTypes::withServedElementType(type, [&](auto tag) {
        for (const auto &v : value.value<QList<typename decltype(tag)::type>>())
            bytes.append(reinterpret_cast<const char *>(&v), int(sizeof v));
    });
    return bytes.toHex(' ');
}

template <typename T>
QVariant L(std::initializer_list<T> items)
{
    return QVariant::fromValue(QList<T>(items));
}

template <typename F, typename Bits>
F fromBits(Bits bits)
{
    static_assert(sizeof(F) == sizeof(Bits), "one bit image per value");
    F f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The codec members as the read path calls them: count elements (for Bool, bytes).
QVariant decode(DataType type, const QByteArray &bytes, int count, int startBit = 0)
{
    const int byteCount = type == Bool ? count : count * widthOf(type);
    return LibQuillmarsh().decodeRead(type, startBit, bytes, byteCount);
}

void encode(DataType type, const QVariant &value, int count, QByteArray *out)
{
    CLabelVariable record;
    record.value = value;
    LibQuillmarsh().encodeWrite(type, record, count, out);
}

} // namespace

class TstCodec : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("startBit");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        QTest::addColumn<QVariant>("expected");

        auto row = [](const char *name, DataType type, const char *hex, int count, const QVariant &expected,
                      int startBit = 0) {
            QTest::newRow(name) << int(type) << startBit << QByteArray::fromHex(hex) << count << expected;
        };
        row("Int16 three bytes", Int16, "000102", 2, L<short>({1, 512}));
        row("Int32 two bytes", Int32, "1234", 1, L<int>({305397760}));
        row("Int32 count 0", Int32, "12345678", 0, L<int>({}));
        row("UInt64 extra byte", UInt64, "0102030405060708ff", 1, L<qulonglong>({72623859790382856ULL}));
        row("Double two bytes", Double, "3ff0", 1, L<double>({1.0}));
        row("Bool a5 from 0", Bool, "a5", 1, L<bool>({true, false, true, false, false, true, false, true}), 0);
        row("Bool a5 from 5", Bool, "a5", 1, L<bool>({true, false, true}), 5);
        row("Bool short input", Bool, "ff", 2, L<bool>({true, true, true, true, true, true, true, true, false,
                                                        false, false, false, false, false, false, false}), 0);
        row("Bool from 8", Bool, "ffff", 2, L<bool>({}), 8);
        row("Bool from -1", Bool, "ffff", 2, L<bool>({}), -1);
    }
    void decodes()
    {
        QFETCH(int, type);
        QFETCH(int, startBit);
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        QFETCH(QVariant, expected);

        const auto t = static_cast<DataType>(type);
        const QVariant actual = decode(t, bytes, count, startBit);
        QCOMPARE(actual.userType(), listTypeId(t));
        QCOMPARE(elementBytes(t, actual), elementBytes(t, expected));
    }
    void encodes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QByteArray>("expected");

        auto row = [](const char *name, DataType type, const QVariant &value, int count, const char *expectedHex,
                      const char *prefixHex = "") {
            QTest::newRow(name) << int(type) << value << count << QByteArray::fromHex(prefixHex)
                                << QByteArray::fromHex(expectedHex);
        };
        row("Bool one byte each", Bool, L<bool>({true, false, true}), 2, "0100");
        row("Int32 third not written", Int32, L<int>({1, 2, 3}), 2, "0000000100000002");
        row("count 0", Int32, L<int>({1}), 0, "");
        row("Int32 list shorter than count", Int32, L<int>({7}), 3, "00000007");
        row("UInt16 short list behind bytes", UInt16, L<ushort>({1}), 4, "cc0001", "cc");
        // Qt 5.15 converts none of these to the expected list type: nothing is written.
        row("QList<int> as Double", Double, L<int>({1, 2}), 2, "aa", "aa");
        row("text as Int32", Int32, QVariant(QStringLiteral("12")), 1, "");
        row("invalid as Bool", Bool, QVariant(), 1, "");
    }
    void encodes()
    {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(int, count);
        QFETCH(QByteArray, prefix);
        QFETCH(QByteArray, expected);

        const auto t = static_cast<DataType>(type);
        if (value.userType() != listTypeId(t))
            QVERIFY2(!value.canConvert(listTypeId(t)), "Qt converts this value: its converted list must be written");
        QByteArray out = prefix;
        encode(t, value, count, &out);
        QCOMPARE(out.toHex(), expected.toHex());
    }
    void roundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("image");

        using F = std::numeric_limits<float>;
        using D = std::numeric_limits<double>;
        auto row = [](const char *name, DataType type, const QVariant &value, const char *hex) {
            QTest::newRow(name) << int(type) << value << QByteArray::fromHex(hex);
        };
        row("Int8", Int8, L<char>({char(-128), char(127), 0, char(-1)}), "807f00ff");
        row("UInt8", UInt8, L<uchar>({0, 255, 128}), "00ff80");
        row("Int16", Int16, L<short>({-32768, 32767, -1}), "80007fffffff");
        row("UInt16", UInt16, L<ushort>({0, 65535, 32768}), "0000ffff8000");
        row("Int32", Int32, L<int>({std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), -1}),
            "80000000" "7fffffff" "ffffffff");
        row("UInt32", UInt32, L<uint>({0, 4294967295u, 2147483648u}), "00000000" "ffffffff" "80000000");
        row("Int64", Int64, L<qlonglong>({std::numeric_limits<qlonglong>::min(), std::numeric_limits<qlonglong>::max(), -1}),
            "8000000000000000" "7fffffffffffffff" "ffffffffffffffff");
        row("UInt64", UInt64, L<qulonglong>({0, 18446744073709551615ULL, 9223372036854775808ULL}),
            "0000000000000000" "ffffffffffffffff" "8000000000000000");
        // Bit images a cast or a trip through double would change: NaN
        // payloads, a signalling NaN, a negative denormal.
        row("Float", Float,
            L<float>({-0.0f, F::infinity(), fromBits<float>(0x7fc01234u), fromBits<float>(0x7f800001u),
                      fromBits<float>(0x807fffffu), F::lowest()}),
            "80000000" "7f800000" "7fc01234" "7f800001" "807fffff" "ff7fffff");
        row("Double", Double,
            L<double>({-0.0, D::infinity(), fromBits<double>(0x7ff800000000abcdULL),
                       fromBits<double>(0x7ff0000000000001ULL), fromBits<double>(0x800fffffffffffffULL), D::lowest()}),
            "8000000000000000" "7ff0000000000000" "7ff800000000abcd" "7ff0000000000001" "800fffffffffffff"
            "ffefffffffffffff");
    }
    void roundTrip()
    {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, image);

        const auto t = static_cast<DataType>(type);
        const int n = value.value<QSequentialIterable>().size();
        QByteArray out;
        encode(t, value, n, &out);
        QCOMPARE(out.toHex(), image.toHex());
        const QVariant back = decode(t, image, n);
        QCOMPARE(back.userType(), listTypeId(t));
        QCOMPARE(elementBytes(t, back), elementBytes(t, value));
    }
    void elementsOffered_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("expected");

        QTest::addRow("int list as Int32") << L<int>({1, 2, 3}) << int(Int32) << 3;
        QTest::addRow("bool list") << L<bool>({true, false}) << int(Bool) << 2;
        QTest::addRow("char list as UInt8") << L<char>({'a'}) << int(UInt8) << -1;
        QTest::addRow("invalid") << QVariant() << int(Bool) << -1;
        QTest::addRow("NoType") << L<double>({1.0}) << int(NoType) << -1;
    }
    void elementsOffered()
    {
        QFETCH(QVariant, value);
        QFETCH(int, type);
        QFETCH(int, expected);

        QCOMPARE(S7Image::elementsOffered(value, static_cast<DataType>(type)), expected);
    }
};

QTEST_GUILESS_MAIN(TstCodec)
#include "tst_codec.moc"
