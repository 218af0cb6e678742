// Every served type written through the plug-in by a host built against the
// same Qt and read back: the records cross the plug-in boundary by value both
// ways, so a host and a plug-in of different Qt builds (list layouts, meta
// type ids) fail here. Elements are compared bit for bit, NaN payloads and
// signed zeros included.
#include <QtTest>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "DriverPlugin.h"
#include "ElementTypes.h"
#include "SimPlc.h"

Q_DECLARE_METATYPE(DataType)

namespace {

template <typename T>
QVariant listOf(std::initializer_list<T> items) { return QVariant::fromValue(QList<T>(items)); }

template <typename F>
F fromBits(quint64 bits)
{
    F value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The list of the type's elements as their bytes, or a null array when the
// value holds no list of that exact type.
QByteArray elementBytes(DataType type, const QVariant &value)
{
    return ElementTypes::withServedElementType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        if (value.userType() != listMetaTypeId<T>())
            return QByteArray();
        QByteArray bytes;
        for (const T &element : value.value<QList<T>>())
            bytes.append(reinterpret_cast<const char *>(&element), int(sizeof element));
        return bytes;
    });
}

} // namespace

class TstHostRoundTrip : public QObject
{
    Q_OBJECT

    DriverPlugin host;
    SimPlc sim;
    CDriveBaseClass *driver = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        driver = host.create();
        QVERIFY2(driver, qPrintable(host.errorString()));
        QCOMPARE(driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(sim.port())), ConnectOk);
    }

    void everyServedType_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<DataType>("type");
        QTest::addColumn<QVariant>("value");
        const float floatNan = fromBits<float>(0x7fc00001u);
        const double doubleNan = fromBits<double>(0x7ff8000000000001ull);
        QTest::addRow("Bool") << "DB1.DBX0.0" << Bool << listOf<bool>({true, false, true, true, false, false, false, true});
        QTest::addRow("Int8") << "DB1.DBB8" << Int8 << listOf<char>({char(-128), char(127), char(-1)});
        QTest::addRow("UInt8") << "DB1.DBB16" << UInt8 << listOf<uchar>({0, 255, 128});
        QTest::addRow("Int16") << "DB1.DBW24" << Int16 << listOf<short>({SHRT_MIN, SHRT_MAX, -1});
        QTest::addRow("UInt16") << "DB1.DBW32" << UInt16 << listOf<ushort>({0, USHRT_MAX, 0x8000});
        QTest::addRow("Int32") << "DB1.DBD40" << Int32 << listOf<int>({INT_MIN, INT_MAX, -1});
        QTest::addRow("UInt32") << "DB1.DBD56" << UInt32 << listOf<uint>({0, UINT_MAX, 0x80000000u});
        QTest::addRow("Float") << "DB1.DBD72" << Float
                               << listOf<float>({-0.0f, INFINITY, FLT_TRUE_MIN, floatNan, -FLT_MAX});
        QTest::addRow("Int64") << "DB1.DBB96" << Int64 << listOf<qlonglong>({LLONG_MIN, LLONG_MAX, -1});
        QTest::addRow("UInt64") << "DB1.DBB128" << UInt64 << listOf<qulonglong>({0, ULLONG_MAX, 1ull << 63});
        QTest::addRow("Double") << "DB1.DBB160" << Double
                                << listOf<double>({-0.0, -INFINITY, DBL_TRUE_MIN, doubleNan, DBL_MAX});
    }

    void everyServedType()
    {
        QFETCH(QString, address);
        QFETCH(DataType, type);
        QFETCH(QVariant, value);
        const QByteArray written = elementBytes(type, value);
        const int count = int(value.value<QSequentialIterable>().size());
        CLabelVariable record;
        record.value = value;
        const CLabelVariable reply = driver->WriteVariable(address, type, record, count);
        QCOMPARE(reply.status, StatusOk);

        const CLabelVariable read = driver->ReadVariable(address, type, count);
        QCOMPARE(read.status, StatusOk);
        QCOMPARE(read.count, count);
        QCOMPARE(read.dataType, type);
        QCOMPARE(read.value.typeName(), value.typeName());
        QCOMPARE(elementBytes(type, read.value).toHex(), written.toHex());
    }

    // A plug-in that needs another Qt's QtCore is refused before it is loaded.
    void otherQtRefused_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<bool>("loads");
        QTest::addRow("Qt 5") << 5 << (QT_VERSION_MAJOR == 5);
        QTest::addRow("Qt 6") << 6 << (QT_VERSION_MAJOR == 6);
    }

    void otherQtRefused()
    {
        QFETCH(int, major);
        QFETCH(bool, loads);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(QByteArray(64, '\0') + QStringLiteral("libQt%1Core.so.%1").arg(major).toLatin1());
        file.close();
        DriverPlugin other(file.fileName());
        QVERIFY(!other.load());
        // A file of this host's Qt gets as far as the loader, which finds no ELF.
        QCOMPARE(other.errorString().contains(QStringLiteral("built against Qt %1").arg(major)), !loads);
    }

    void cleanupTestCase() { host.releaseAll(); }
};

QTEST_GUILESS_MAIN(TstHostRoundTrip)
#include "tst_hostroundtrip.moc"
