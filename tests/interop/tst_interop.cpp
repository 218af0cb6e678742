// The plug-in against snap7's S7 server: every data type in every area, read
// from seeded memory and written into it, with the server's own memory as the
// judge (never a read back through the plug-in).
#include <QtTest>

#include <cmath>
#include <limits>

#include "ElementImages.h"
#include "DriverPlugin.h"
#include "Snap7Peer.h"

Q_DECLARE_METATYPE(ERecordStatus)

namespace {

// Ways to name memory: the address prefix (before the byte number) and the
// server area behind it.
struct AreaForm {
    const char *name;
    const char *prefix;     // for DB forms the letter of the width follows
    const char *peerArea;
    int db;
};
const AreaForm areaForms[] = {
    {"inputs", "I", "PE", 0},
    {"outputs", "Q", "PA", 0},
    {"markers", "M", "MK", 0},
    {"DB1", "DB1.DB", "DB", 1},
    {"DB10", "DB10.DB", "DB", 10},
    {"V", "V", "DB", 1},   // V memory is data block 1
};

const char *const typeNames[] = {"NoType", "Bool", "Int8", "UInt8", "Int16", "UInt16", "Int32",
                                 "UInt32", "Float", "Int64", "UInt64", "Double"};

// The address text of a tag; bit -1 for none.
QString address(const AreaForm &form, DataType type, int start, int bit = -1)
{
    QString text = QString::fromLatin1(form.prefix);
    if (text.startsWith(QLatin1String("DB"))) {
        const int w = ElementImages::width(type);
        text += QLatin1Char(bit >= 0 ? 'X' : w <= 1 ? 'B' : w == 2 ? 'W' : 'D');
    }
    text += QString::number(start);
    return bit >= 0 ? text + QLatin1Char('.') + QString::number(bit) : text;
}

template <typename T>
QVariant list(std::initializer_list<T> elements)
{
    return QVariant::fromValue(QList<T>(elements));
}

// Values to write per type, with the bytes the PLC must hold afterwards.
struct WriteCase {
    DataType type;
    int count;
    QVariant value;
    const char *hex;
};
QList<WriteCase> writeCases()
{
    return {
        {Bool, 1, list<bool>({true}), "01"},
        {Int8, 2, list<char>({char(-1), 0x12}), "ff12"},
        {UInt8, 2, list<uchar>({255, 1}), "ff01"},
        {Int16, 2, list<short>({-2, -300}), "fffefed4"},
        {UInt16, 2, list<ushort>({65534, 0x1234}), "fffe1234"},
        {Int32, 2, list<int>({305419896, -2}), "12345678fffffffe"},
        {UInt32, 2, list<uint>({2147483648u, 1u}), "8000000000000001"},
        {Float, 3, list<float>({1.5f, -0.0f, 3.14159274f}), "3fc000008000000040490fdb"},
        {Int64, 2, list<qlonglong>({2147483648LL, -1}), "0000000080000000ffffffffffffffff"},
        {UInt64, 1, list<qulonglong>({72623859790382856ULL}), "0102030405060708"},
        {Double, 2, list<double>({-2.5, 1.0}), "c0040000000000003ff0000000000000"},
    };
}

// Where a test looks in the server's memory.
struct Spot {
    QString area;
    int db;
    int start;
};

// The seed byte either side of `middle` at the spot: what memory must hold
// when a write covers exactly the bytes of `middle`.
QByteArray withSeededNeighbours(const Spot &at, const QByteArray &middle)
{
    return Snap7Peer::seeded(at.area, at.db, at.start - 1, 1) + middle
           + Snap7Peer::seeded(at.area, at.db, at.start + middle.size(), 1);
}

QList<quint64> imagesOf(DataType type, const QVariant &value)
{
    QString why;
    const QList<quint64> images = ElementImages::ofValue(type, value, &why);
    if (!why.isEmpty())
        qWarning("%s", qPrintable(why));
    return images;
}

} // namespace

Q_DECLARE_METATYPE(Spot)

class TestInterop : public QObject
{
    Q_OBJECT

    Snap7Peer peer;
    DriverPlugin host;
    CDriveBaseClass *driver = nullptr;

    void verifyMemory(const Spot &at, int length, const QByteArray &expected)
    {
        const QByteArray memory = peer.dump(at.area, at.db, at.start - 1, length + 2);
        QVERIFY2(!memory.isEmpty(), qPrintable(peer.lastError()));
        QCOMPARE(memory.toHex(), withSeededNeighbours(at, expected).toHex());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(peer.start(), qPrintable(peer.lastError()));
        QVERIFY2((driver = host.create()), qPrintable(host.errorString()));
        QCOMPARE(driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(peer.port())), ConnectOk);
    }
    void init() { QVERIFY2(peer.reseed(), qPrintable(peer.lastError())); }
    void cleanupTestCase() { peer.stop(); }

    void readSeeded_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<Spot>("at");
        for (const AreaForm &form : areaForms) {
            for (int t = Bool; t <= Double; ++t) {
                const DataType type = DataType(t);
                const int start = 5 + 17 * (t - 1);
                // Bool: 9 bits from bit 2 span two bytes.
                QTest::addRow("%s %s", form.name, typeNames[t]) << address(form, type, start, type == Bool ? 2 : -1) << t
                    << (type == Bool ? 9 : 3) << Spot{form.peerArea, form.db, start};
            }
        }
    }
    void readSeeded()
    {
        QFETCH(QString, address);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(Spot, at);
        const DataType dataType = DataType(type);
        const int width = ElementImages::width(dataType);
        const int length = dataType == Bool ? (count + 7) / 8 : count * width;
        const QByteArray memory = peer.dump(at.area, at.db, at.start, length);
        QCOMPARE(memory.toHex(), Snap7Peer::seeded(at.area, at.db, at.start, length).toHex());

        const CLabelVariable record = driver->ReadVariable(address, dataType, count);
        QCOMPARE(record.status, StatusOk);
        // Bool yields bits 2..7 of every byte read; the others exactly count elements.
        QCOMPARE(imagesOf(dataType, record.value), dataType == Bool ? ElementImages::ofBits(memory, 2)
                                                                     : ElementImages::ofMemory(memory, width, count));
    }

    void readKnownValues_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<Spot>("at");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QVariant>("expected");
        auto row = [](const char *name, const char *addr, DataType type, int count, Spot at, const char *hex,
                      const QVariant &expected) {
            QTest::addRow("%s", name) << QString(addr) << int(type) << count << at << QByteArray(hex) << expected;
        };
        const Spot mk{"MK", 0, 60}, pa{"PA", 0, 60}, pe{"PE", 0, 60}, db1{"DB", 1, 60}, db10{"DB", 10, 60};
        row("Int8 -1", "M60", Int8, 1, mk, "ff", list<char>({char(-1)}));
        row("UInt8 255", "Q60", UInt8, 1, pa, "ff", list<uchar>({255}));
        row("Int16 -2", "DB1.DBW60", Int16, 1, db1, "fffe", list<short>({-2}));
        row("UInt16 65534", "I60", UInt16, 1, pe, "fffe", list<ushort>({65534}));
        row("Int32 min", "DB10.DBD60", Int32, 1, db10, "80000000", list<int>({std::numeric_limits<int>::min()}));
        row("UInt32 2^31", "M60", UInt32, 1, mk, "80000000", list<uint>({2147483648u}));
        row("Float pi", "V60", Float, 1, db1, "40490fdb", list<float>({3.14159274f}));
        row("Float -0", "M60", Float, 1, mk, "80000000", list<float>({-0.0f}));
        row("Int64 bit 31 only", "DB1.DBD60", Int64, 1, db1, "0000000080000000", list<qlonglong>({2147483648LL}));
        row("UInt64 max", "Q60", UInt64, 1, pa, "ffffffffffffffff", list<qulonglong>({std::numeric_limits<qulonglong>::max()}));
        row("Double pi", "DB10.DBD60", Double, 1, db10, "400921fb54442d18", list<double>({M_PI}));
        // Bool: bits from the start bit up to 7 of every byte read, least significant first.
        row("Bool M.0", "M60.0", Bool, 1, mk, "a5", list<bool>({true, false, true, false, false, true, false, true}));
        row("Bool M.5", "M60.5", Bool, 1, mk, "a5", list<bool>({true, false, true}));
        row("Bool I.7", "I60.7", Bool, 1, pe, "80", list<bool>({true}));
        row("Bool Q.3", "Q60.3", Bool, 1, pa, "08", list<bool>({true, false, false, false, false}));
        row("Bool DBX.6 two bytes", "DB1.DBX60.6", Bool, 9, db1, "0180", list<bool>({false, false, false, true}));
        row("Bool V.1", "V60.1", Bool, 1, db1, "02", list<bool>({true, false, false, false, false, false, false}));
    }
    void readKnownValues()
    {
        QFETCH(QString, address);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(Spot, at);
        QFETCH(QByteArray, hex);
        QFETCH(QVariant, expected);
        QVERIFY2(peer.set(at.area, at.db, at.start, QByteArray::fromHex(hex)), qPrintable(peer.lastError()));
        const CLabelVariable record = driver->ReadVariable(address, DataType(type), count);
        QCOMPARE(record.status, StatusOk);
        QCOMPARE(imagesOf(DataType(type), record.value), imagesOf(DataType(type), expected));
    }

    void write_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<Spot>("at");
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<ERecordStatus>("status");
        for (const AreaForm &form : areaForms) {
            const bool inputs = qstrcmp(form.peerArea, "PE") == 0;
            for (const WriteCase &c : writeCases()) {
                const int start = 3 + 19 * (int(c.type) - 1);
                // Bool writes go to whole bytes (no bit in the address): 00 or 01.
                QTest::addRow("%s %s", form.name, typeNames[c.type]) << address(form, c.type, start) << int(c.type)
                    << c.count << c.value << Spot{form.peerArea, form.db, start} << QByteArray(c.hex) << (inputs ? StatusInputArea : StatusOk);
            }
        }
    }
    void write()
    {
        QFETCH(QString, address);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(QVariant, value);
        QFETCH(Spot, at);
        QFETCH(QByteArray, hex);
        QFETCH(ERecordStatus, status);
        CLabelVariable record;
        record.value = value;
        QCOMPARE(driver->WriteVariable(address, DataType(type), record, count).status, status);
        // One byte either side keeps its seed: the write covers exactly its bytes.
        const QByteArray bytes = QByteArray::fromHex(hex);
        verifyMemory(at, bytes.size(), bytes);
    }

    // Bool writes to an address with a bit change that bit (and the bits after
    // it, one per element) and no other.
    void writeBits_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QVariant>("bits");
        QTest::addColumn<Spot>("at");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<ERecordStatus>("status");
        auto row = [](const char *name, const char *addr, const QVariant &bits, Spot at, const char *before,
                      const char *after, ERecordStatus status = StatusOk) {
            QTest::addRow("%s", name) << QString(addr) << bits << at << QByteArray::fromHex(before)
                                      << QByteArray::fromHex(after) << status;
        };
        row("M set bit 3", "M20.3", list<bool>({true}), {"MK", 0, 20}, "00", "08");
        row("M clear bit 3", "M20.3", list<bool>({false}), {"MK", 0, 20}, "ff", "f7");
        row("DB1 set bit 7", "DB1.DBX10.7", list<bool>({true}), {"DB", 1, 10}, "01", "81");
        row("DB10 clear bit 0", "DB10.DBX5.0", list<bool>({false}), {"DB", 10, 5}, "ff", "fe");
        row("V set bit 5", "V30.5", list<bool>({true}), {"DB", 1, 30}, "00", "20");
        row("Q set bit 2", "Q7.2", list<bool>({true}), {"PA", 0, 7}, "00", "04");
        row("I set bit 1", "I9.1", list<bool>({true}), {"PE", 0, 9}, "00", "02", StatusInputArea);
        row("three bits over a byte boundary", "M40.6", list<bool>({true, false, true}), {"MK", 0, 40}, "8000", "4001");
        row("DB1 eight bits from bit 4", "DB1.DBX50.4",
            list<bool>({true, true, true, true, false, false, false, false}), {"DB", 1, 50}, "0f0f", "ff00");
    }
    void writeBits()
    {
        QFETCH(QString, address);
        QFETCH(QVariant, bits);
        QFETCH(Spot, at);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(ERecordStatus, status);
        QVERIFY2(peer.set(at.area, at.db, at.start, before), qPrintable(peer.lastError()));
        CLabelVariable record;
        record.value = bits;
        QCOMPARE(driver->WriteVariable(address, Bool, record, bits.value<QList<bool>>().size()).status, status);
        verifyMemory(at, before.size(), after);
    }

    void refusedByServer_data()
    {
        QTest::addColumn<bool>("isWrite");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("area");   // memory that must stay unchanged, if any
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addRow("read of missing DB5") << false << "DB5.DBB0" << 4 << "" << 0 << 0;
        QTest::addRow("write to missing DB5") << true << "DB5.DBB0" << 4 << "" << 0 << 0;
        QTest::addRow("read past the end of DB1") << false << "DB1.DBB1020" << 8 << "" << 0 << 0;
        QTest::addRow("write past the end of markers") << true << "M250" << 8 << "MK" << 250 << 6;
    }
    void refusedByServer()
    {
        QFETCH(bool, isWrite);
        QFETCH(QString, address);
        QFETCH(int, count);
        QFETCH(QString, area);
        QFETCH(int, start);
        QFETCH(int, length);
        if (isWrite) {
            CLabelVariable record;
            record.value = QVariant::fromValue(QList<uchar>(QVector<uchar>(count, 0xEE).toList()));
            QCOMPARE(driver->WriteVariable(address, UInt8, record, count).status, StatusBadReply);
        } else {
            const CLabelVariable record = driver->ReadVariable(address, UInt8, count);
            QCOMPARE(record.status, StatusBadReply);
            QVERIFY(!record.value.isValid());
        }
        if (!area.isEmpty())
            QCOMPARE(peer.dump(area, 0, start, length).toHex(), Snap7Peer::seeded(area, 0, start, length).toHex());

        // The refusal leaves the connection usable.
        const CLabelVariable after = driver->ReadVariable(QStringLiteral("M0"), UInt8, 2);
        QCOMPARE(after.status, StatusOk);
        QCOMPARE(imagesOf(UInt8, after.value), ElementImages::ofMemory(Snap7Peer::seeded(QStringLiteral("MK"), 0, 0, 2), 1, 2));
    }
};

QTEST_GUILESS_MAIN(TestInterop)
#include "tst_interop.moc"
