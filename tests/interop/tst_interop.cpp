// The plug-in against snap7's S7 server: every data type in every area, read
// from seeded memory and written into it, with the server's own memory as the
// judge (never a read back through the plug-in).
#include <QtTest>

#include <cmath>
#include <limits>

#include "ElementImages.h"
#include "PluginHost.h"
#include "Snap7Peer.h"

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

} // namespace

class TestInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void readSeeded_data();
    void readSeeded();
    void readKnownValues_data();
    void readKnownValues();
    void write_data();
    void write();
    void writeBits_data();
    void writeBits();
    void refusedByServer_data();
    void refusedByServer();

private:
    Snap7Peer m_peer;
    PluginHost m_host;
    CDriveBaseClass *m_driver = nullptr;
};

void TestInterop::initTestCase()
{
    QVERIFY2(m_peer.start(), qPrintable(m_peer.lastError()));
    QVERIFY2((m_driver = m_host.create()), qPrintable(m_host.error()));
    QCOMPARE(m_driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(m_peer.port())), 0);
}

void TestInterop::init()
{
    QVERIFY2(m_peer.reseed(), qPrintable(m_peer.lastError()));
}

void TestInterop::cleanupTestCase()
{
    m_peer.stop();
}

void TestInterop::readSeeded_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("start");

    for (const AreaForm &form : areaForms) {
        for (int t = Bool; t <= Double; ++t) {
            const DataType type = DataType(t);
            const int start = 5 + 17 * (t - 1);
            // Bool: 9 bits from bit 2 span two bytes.
            QTest::addRow("%s %s", form.name, typeNames[t])
                << address(form, type, start, type == Bool ? 2 : -1) << t << (type == Bool ? 9 : 3) << form.peerArea << form.db << start;
        }
    }
}

void TestInterop::readSeeded()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QString, area);
    QFETCH(int, db);
    QFETCH(int, start);
    const DataType dataType = DataType(type);
    const int width = ElementImages::width(dataType);
    const int length = dataType == Bool ? (count + 7) / 8 : count * width;

    const QByteArray memory = m_peer.dump(area, db, start, length);
    QCOMPARE(memory.toHex(), Snap7Peer::seeded(area, db, start, length).toHex());

    const CLabelVariable record = m_driver->ReadVariable(address, dataType, count);
    QCOMPARE(record.status, 0);
    QString why;
    const QList<quint64> actual = ElementImages::ofValue(dataType, record.value, &why);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    // Bool yields bits 2..7 of every byte read; the others exactly count elements.
    QCOMPARE(actual, dataType == Bool ? ElementImages::ofBits(memory, 2)
                                      : ElementImages::ofMemory(memory, width, count));
}

void TestInterop::readKnownValues_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QVariant>("expected");

    QTest::addRow("Int8 -1") << "M60" << int(Int8) << 1 << "MK" << 0 << 60 << QByteArray("ff") << list<char>({char(-1)});
    QTest::addRow("UInt8 255") << "Q60" << int(UInt8) << 1 << "PA" << 0 << 60 << QByteArray("ff") << list<uchar>({255});
    QTest::addRow("Int16 -2") << "DB1.DBW60" << int(Int16) << 1 << "DB" << 1 << 60 << QByteArray("fffe") << list<short>({-2});
    QTest::addRow("UInt16 65534") << "I60" << int(UInt16) << 1 << "PE" << 0 << 60 << QByteArray("fffe") << list<ushort>({65534});
    QTest::addRow("Int32 min") << "DB10.DBD60" << int(Int32) << 1 << "DB" << 10 << 60 << QByteArray("80000000")
                               << list<int>({std::numeric_limits<int>::min()});
    QTest::addRow("UInt32 2^31") << "M60" << int(UInt32) << 1 << "MK" << 0 << 60 << QByteArray("80000000") << list<uint>({2147483648u});
    QTest::addRow("Float pi") << "V60" << int(Float) << 1 << "DB" << 1 << 60 << QByteArray("40490fdb") << list<float>({3.14159274f});
    QTest::addRow("Float -0") << "M60" << int(Float) << 1 << "MK" << 0 << 60 << QByteArray("80000000") << list<float>({-0.0f});
    QTest::addRow("Int64 bit 31 only") << "DB1.DBD60" << int(Int64) << 1 << "DB" << 1 << 60 << QByteArray("0000000080000000")
                                       << list<qlonglong>({2147483648LL});
    QTest::addRow("UInt64 max") << "Q60" << int(UInt64) << 1 << "PA" << 0 << 60 << QByteArray("ffffffffffffffff")
                                << list<qulonglong>({std::numeric_limits<qulonglong>::max()});
    QTest::addRow("Double pi") << "DB10.DBD60" << int(Double) << 1 << "DB" << 10 << 60 << QByteArray("400921fb54442d18")
                               << list<double>({M_PI});
    // Bool: bits from the start bit up to 7 of every byte read, least significant first.
    QTest::addRow("Bool M.0") << "M60.0" << int(Bool) << 1 << "MK" << 0 << 60 << QByteArray("a5")
                              << list<bool>({true, false, true, false, false, true, false, true});
    QTest::addRow("Bool M.5") << "M60.5" << int(Bool) << 1 << "MK" << 0 << 60 << QByteArray("a5") << list<bool>({true, false, true});
    QTest::addRow("Bool I.7") << "I60.7" << int(Bool) << 1 << "PE" << 0 << 60 << QByteArray("80") << list<bool>({true});
    QTest::addRow("Bool Q.3") << "Q60.3" << int(Bool) << 1 << "PA" << 0 << 60 << QByteArray("08") << list<bool>({true, false, false, false, false});
    QTest::addRow("Bool DBX.6 two bytes") << "DB1.DBX60.6" << int(Bool) << 9 << "DB" << 1 << 60 << QByteArray("0180")
                                          << list<bool>({false, false, false, true});
    QTest::addRow("Bool V.1") << "V60.1" << int(Bool) << 1 << "DB" << 1 << 60 << QByteArray("02")
                              << list<bool>({true, false, false, false, false, false, false});
}

void TestInterop::readKnownValues()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QString, area);
    QFETCH(int, db);
    QFETCH(int, start);
    QFETCH(QByteArray, hex);
    QFETCH(QVariant, expected);
    const DataType dataType = DataType(type);

    QVERIFY2(m_peer.set(area, db, start, QByteArray::fromHex(hex)), qPrintable(m_peer.lastError()));
    const CLabelVariable record = m_driver->ReadVariable(address, dataType, count);
    QCOMPARE(record.status, 0);
    QString why;
    const QList<quint64> actual = ElementImages::ofValue(dataType, record.value, &why);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(actual, ElementImages::ofValue(dataType, expected, &why));
}

void TestInterop::write_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<int>("status");

    for (const AreaForm &form : areaForms) {
        const bool inputs = qstrcmp(form.peerArea, "PE") == 0;
        for (const WriteCase &c : writeCases()) {
            const int start = 3 + 19 * (int(c.type) - 1);
            // Bool writes go to whole bytes (no bit in the address): 00 or 01.
            QTest::addRow("%s %s", form.name, typeNames[c.type])
                << address(form, c.type, start) << int(c.type) << c.count << c.value << form.peerArea << form.db
                << start << QByteArray(c.hex) << (inputs ? 6 : 0);
        }
    }
}

void TestInterop::write()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QVariant, value);
    QFETCH(QString, area);
    QFETCH(int, db);
    QFETCH(int, start);
    QFETCH(QByteArray, hex);
    QFETCH(int, status);
    const QByteArray bytes = QByteArray::fromHex(hex);

    CLabelVariable record;
    record.value = value;
    QCOMPARE(m_driver->WriteVariable(address, DataType(type), record, count).status, status);

    // One byte either side keeps its seed: the write covers exactly its bytes.
    const QByteArray expected = Snap7Peer::seeded(area, db, start - 1, 1) + bytes
                                + Snap7Peer::seeded(area, db, start + bytes.size(), 1);
    const QByteArray memory = m_peer.dump(area, db, start - 1, bytes.size() + 2);
    QVERIFY2(!memory.isEmpty(), qPrintable(m_peer.lastError()));
    QCOMPARE(memory.toHex(), expected.toHex());
}

// Bool writes to an address with a bit change that bit (and the bits after
// it, one per element) and no other.
void TestInterop::writeBits_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QVariant>("bits");
    QTest::addColumn<QString>("area");
    QTest::addColumn<int>("db");
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("status");

    QTest::addRow("M set bit 3") << "M20.3" << list<bool>({true}) << "MK" << 0 << 20 << QByteArray("00") << QByteArray("08") << 0;
    QTest::addRow("M clear bit 3") << "M20.3" << list<bool>({false}) << "MK" << 0 << 20 << QByteArray("ff") << QByteArray("f7") << 0;
    QTest::addRow("DB1 set bit 7") << "DB1.DBX10.7" << list<bool>({true}) << "DB" << 1 << 10 << QByteArray("01") << QByteArray("81") << 0;
    QTest::addRow("DB10 clear bit 0") << "DB10.DBX5.0" << list<bool>({false}) << "DB" << 10 << 5 << QByteArray("ff") << QByteArray("fe") << 0;
    QTest::addRow("V set bit 5") << "V30.5" << list<bool>({true}) << "DB" << 1 << 30 << QByteArray("00") << QByteArray("20") << 0;
    QTest::addRow("Q set bit 2") << "Q7.2" << list<bool>({true}) << "PA" << 0 << 7 << QByteArray("00") << QByteArray("04") << 0;
    QTest::addRow("I set bit 1") << "I9.1" << list<bool>({true}) << "PE" << 0 << 9 << QByteArray("00") << QByteArray("02") << 6;
    QTest::addRow("three bits over a byte boundary") << "M40.6" << list<bool>({true, false, true}) << "MK" << 0 << 40
                                                     << QByteArray("8000") << QByteArray("4001") << 0;
    QTest::addRow("DB1 eight bits from bit 4") << "DB1.DBX50.4" << list<bool>({true, true, true, true, false, false, false, false})
                                               << "DB" << 1 << 50 << QByteArray("0f0f") << QByteArray("ff00") << 0;
}

void TestInterop::writeBits()
{
    QFETCH(QString, address);
    QFETCH(QVariant, bits);
    QFETCH(QString, area);
    QFETCH(int, db);
    QFETCH(int, start);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(int, status);
    const QByteArray initial = QByteArray::fromHex(before);

    QVERIFY2(m_peer.set(area, db, start, initial), qPrintable(m_peer.lastError()));
    CLabelVariable record;
    record.value = bits;
    QCOMPARE(m_driver->WriteVariable(address, Bool, record, bits.value<QList<bool>>().size()).status, status);

    const QByteArray expected = Snap7Peer::seeded(area, db, start - 1, 1) + QByteArray::fromHex(after)
                                + Snap7Peer::seeded(area, db, start + initial.size(), 1);
    QCOMPARE(m_peer.dump(area, db, start - 1, initial.size() + 2).toHex(), expected.toHex());
}

void TestInterop::refusedByServer_data()
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

void TestInterop::refusedByServer()
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
        QCOMPARE(m_driver->WriteVariable(address, UInt8, record, count).status, 7);
    } else {
        const CLabelVariable record = m_driver->ReadVariable(address, UInt8, count);
        QCOMPARE(record.status, 7);
        QVERIFY(!record.value.isValid());
    }
    if (!area.isEmpty())
        QCOMPARE(m_peer.dump(area, 0, start, length).toHex(), Snap7Peer::seeded(area, 0, start, length).toHex());

    // The refusal leaves the connection usable.
    const CLabelVariable after = m_driver->ReadVariable(QStringLiteral("M0"), UInt8, 2);
    QCOMPARE(after.status, 0);
    QString why;
    QCOMPARE(ElementImages::ofValue(UInt8, after.value, &why),
             ElementImages::ofMemory(Snap7Peer::seeded(QStringLiteral("MK"), 0, 0, 2), 1, 2));
}

QTEST_GUILESS_MAIN(TestInterop)
#include "tst_interop.moc"
