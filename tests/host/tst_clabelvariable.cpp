#include <QtTest>

#include <limits>

#include "CLabelVariable.h"

Q_DECLARE_METATYPE(CLabelVariable)

namespace {

template <typename T>
QVariant list(std::initializer_list<T> items) { return QVariant::fromValue(QList<T>(items)); }

// Elements as texts: exact for integers, shortest round-trip for floating
// point, and infinities compare equal (QVariant's fuzzy compare does not).
QStringList texts(const QVariant &v)
{
    QStringList out;
    for (const QVariant &e : v.value<QSequentialIterable>())
        out << e.toString();
    return out;
}

CLabelVariable record(int type, const QVariant &value, int count)
{
    CLabelVariable r;
    r.status = 0;
    r.dataType = DataType(type);
    r.value = value;
    r.count = count;
    r.address = "DB1.DBW0";
    r.spareText = "left";
    return r;
}

template <typename Edit>
CLabelVariable changed(CLabelVariable r, Edit edit)
{
    edit(r);
    return r;
}

// The accessor of a data type's element type.
QVariant access(CLabelVariable &r, int type, int index)
{
    switch (type) {
    case Bool: return r.getBool(index);
    case Int8: return QVariant::fromValue(r.getInt8(index));
    case UInt8: return QVariant::fromValue(r.getUInt8(index));
    case Int16: return QVariant::fromValue(r.getInt16(index));
    case UInt16: return QVariant::fromValue(r.getUInt16(index));
    case Int32: return r.getInt32(index);
    case UInt32: return r.getUInt32(index);
    case Float: return r.getFloat(index);
    case Int64: return r.getInt64(index);
    case UInt64: return r.getUInt64(index);
    case Double: return r.getDouble(index);
    default: return r.getString(index);
    }
}

CLabelVariable apply(char op, CLabelVariable &a, const CLabelVariable &b)
{
    return op == '+' ? a + b : op == '-' ? a - b : op == '*' ? a * b : a / b;
}

// A type Qt cannot convert to QList<int> until the test registers a converter.
struct Packed { QList<int> items; };

} // namespace

Q_DECLARE_METATYPE(Packed)

class TestCLabelVariable : public QObject
{
    Q_OBJECT

private slots:
    void copyTakesAllAssignmentKeepsTwo()
    {
        const CLabelVariable src = changed(record(Int32, list<int>({4}), 1), [](CLabelVariable &r) {
            r.accessStatus = AccessOk; r.spareInt = 7; r.timestamp = QDateTime::currentDateTime(); });
        CLabelVariable target = changed(CLabelVariable(), [](CLabelVariable &r) { r.accessStatus = AccessBadIndex; r.spareInt = 3; });
        target = src;
        QVERIFY(target.accessStatus == AccessBadIndex && target.spareInt == 3);
        QVERIFY(target.status == StatusOk && target.count == 1 && target.dataType == Int32);
        QVERIFY(target.address == src.address && target.spareText == src.spareText);
        QVERIFY(target.timestamp == src.timestamp && target.getInt32(0) == 4);
        const CLabelVariable copy(src);
        QVERIFY(copy.accessStatus == AccessOk && copy.spareInt == 7);
    }

    void accessors_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("index");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<int>("accessStatus");
        QTest::addRow("invalid value") << int(Int16) << QVariant() << 0 << QVariant::fromValue(short(0)) << int(AccessWrongType);
        QTest::addRow("short") << int(Int16) << list<short>({-300}) << 0 << QVariant::fromValue(short(-300)) << int(AccessOk);
        QTest::addRow("bool second") << int(Bool) << list<bool>({false, true}) << 1 << QVariant(true) << int(AccessOk);
        QTest::addRow("bool at size") << int(Bool) << list<bool>({true}) << 1 << QVariant(false) << int(AccessBadIndex);
        QTest::addRow("bool negative") << int(Bool) << list<bool>({true}) << -1 << QVariant(false) << int(AccessBadIndex);
        QTest::addRow("int8") << int(Int8) << list<char>({char(-128)}) << 0 << QVariant::fromValue(char(-128)) << int(AccessOk);
        QTest::addRow("uint8") << int(UInt8) << list<uchar>({255}) << 0 << QVariant::fromValue(uchar(255)) << int(AccessOk);
        QTest::addRow("uint16") << int(UInt16) << list<ushort>({65535}) << 0 << QVariant::fromValue(ushort(65535)) << int(AccessOk);
        QTest::addRow("int32") << int(Int32) << list<int>({INT_MIN}) << 0 << QVariant(INT_MIN) << int(AccessOk);
        QTest::addRow("uint32") << int(UInt32) << list<uint>({UINT_MAX}) << 0 << QVariant(UINT_MAX) << int(AccessOk);
        QTest::addRow("float") << int(Float) << list<float>({-1.5f}) << 0 << QVariant(-1.5f) << int(AccessOk);
        QTest::addRow("int64") << int(Int64) << list<qlonglong>({LLONG_MIN}) << 0 << QVariant(LLONG_MIN) << int(AccessOk);
        QTest::addRow("uint64") << int(UInt64) << list<qulonglong>({ULLONG_MAX}) << 0 << QVariant(ULLONG_MAX) << int(AccessOk);
        QTest::addRow("double") << int(Double) << list<double>({1e300}) << 0 << QVariant(1e300) << int(AccessOk);
        QTest::addRow("string") << int(String) << list<QString>({"a", "bc"}) << 1 << QVariant("bc") << int(AccessOk);
        // Neither Qt converts between list types or from QVariantList:
        QTest::addRow("int list as uint32") << int(UInt32) << list<int>({1}) << 0 << QVariant(0u) << int(AccessWrongType);
        QTest::addRow("QVariantList as int32") << int(Int32) << QVariant(QVariantList{1, 2}) << 0 << QVariant(0) << int(AccessWrongType);
        // Qt 6's QStringList is QList<QString>; Qt 5's is a class of its own.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        QTest::addRow("QStringList as string") << int(String) << QVariant(QStringList{"s"}) << 0 << QVariant("s") << int(AccessOk);
#else
        QTest::addRow("QStringList as string") << int(String) << QVariant(QStringList{"s"}) << 0 << QVariant("") << int(AccessWrongType);
#endif
    }

    void accessors()
    {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(int, index);
        QFETCH(QVariant, expected);
        CLabelVariable r = record(type, value, 1);
        QCOMPARE(access(r, type, index), expected);
        QTEST(r.accessStatus, "accessStatus");
    }

    void accessorReadsConvertedList()
    {
        QMetaType::registerConverter<Packed, QList<int>>([](const Packed &p) { return p.items; });
        CLabelVariable r = record(Int32, QVariant::fromValue(Packed{{4, 7}}), 2);
        QCOMPARE(r.getInt32(1), 7);
        QCOMPARE(r.accessStatus, AccessOk);
        QCOMPARE(r.getInt32(2), 0);
        QCOMPARE(r.accessStatus, AccessBadIndex);
    }

    void operators_data()
    {
        QTest::addColumn<char>("op");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<int>("count");
        QTest::addColumn<QVariant>("expected");
        const QVariant ba = list<bool>({true, false, false, true}), bb = list<bool>({false, false, true, true});
        const float inf = std::numeric_limits<float>::infinity();
        QTest::addRow("bool +") << '+' << int(Bool) << ba << bb << 4 << list<bool>({true, false, true, true});
        QTest::addRow("bool -") << '-' << int(Bool) << ba << bb << 4 << list<bool>({true, false, true, false});
        QTest::addRow("bool *") << '*' << int(Bool) << ba << bb << 4 << list<bool>({false, false, false, true});
        QTest::addRow("bool / zero") << '/' << int(Bool) << ba << bb << 4 << list<bool>({false, false, false, true});
        QTest::addRow("int32 - wraps") << '-' << int(Int32) << list<int>({INT_MIN, 10}) << list<int>({1, 20}) << 2 << list<int>({INT_MAX, -10});
        QTest::addRow("uint16 * wraps") << '*' << int(UInt16) << list<ushort>({65535}) << list<ushort>({65535}) << 1 << list<ushort>({1});
        QTest::addRow("int32 /") << '/' << int(Int32) << list<int>({7, -7, 5, INT_MIN}) << list<int>({2, 2, 0, -1}) << 4 << list<int>({3, -3, 0, INT_MIN});
        QTest::addRow("uint64 + wraps") << '+' << int(UInt64) << list<qulonglong>({ULLONG_MAX}) << list<qulonglong>({1}) << 1 << list<qulonglong>({0});
        QTest::addRow("float +") << '+' << int(Float) << list<float>({1.5f}) << list<float>({2.25f}) << 1 << list<float>({3.75f});
        QTest::addRow("float / zero") << '/' << int(Float) << list<float>({1, -1}) << list<float>({0, 0}) << 2 << list<float>({inf, -inf});
        QTest::addRow("double *") << '*' << int(Double) << list<double>({1.5, -2}) << list<double>({4, 0.5}) << 2 << list<double>({6, -1});
        QTest::addRow("string + joins") << '+' << int(String) << list<QString>({"ab", "x"}) << list<QString>({"cd", ""}) << 2 << list<QString>({"abcd", "x"});
        QTest::addRow("14 as int16 + wraps") << '+' << 14 << list<short>({32767, -5}) << list<short>({1, 3}) << 2 << list<short>({-32768, -2});
        QTest::addRow("20 as int32 * wraps") << '*' << 20 << list<int>({65536, -3}) << list<int>({65536, 7}) << 2 << list<int>({0, -21});
        QTest::addRow("27 as float -") << '-' << 27 << list<float>({1.5f}) << list<float>({0.25f}) << 1 << list<float>({1.25f});
        QTest::addRow("31 as double /") << '/' << 31 << list<double>({1}) << list<double>({4}) << 1 << list<double>({0.25});
        QTest::addRow("lists short of count") << '+' << int(Int16) << list<short>({1, 2}) << list<short>({3, 4}) << 3 << list<short>({});
        QTest::addRow("count 0") << '*' << int(Int32) << list<int>({}) << list<int>({}) << 0 << list<int>({});
        QTest::addRow("a not the type's list") << '+' << int(Int16) << list<int>({1}) << list<short>({1}) << 1 << list<short>({});
        // No element type: the result is a default record (expected invalid),
        // whose fields are checked one by one.
        QTest::addRow("type 0 +") << '+' << 0 << list<int>({1}) << list<int>({1}) << 1 << QVariant();
        QTest::addRow("type 33 *") << '*' << 33 << list<int>({1}) << list<int>({1}) << 1 << QVariant();
        QTest::addRow("type -1 -") << '-' << -1 << list<int>({1}) << list<int>({1}) << 1 << QVariant();
        for (char op : {'-', '*', '/'})
            QTest::addRow("string %c", op) << op << int(String) << list<QString>({"a"}) << list<QString>({"b"}) << 1 << QVariant();
    }

    void operators()
    {
        QFETCH(char, op);
        QFETCH(int, type);
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(int, count);
        QFETCH(QVariant, expected);
        CLabelVariable left = record(type, a, count);
        // The header of the result is b's, whatever b's own count and type.
        CLabelVariable right = record(DoubleExt4, b, 99);
        right.status = 3;
        right.address = "MW2";
        right.spareText = "right";
        right.spareInt = 5;
        const CLabelVariable r = apply(op, left, right);
        if (!expected.isValid()) {
            QVERIFY(r.status == StatusNotDone && r.accessStatus == AccessNotDone && r.spareInt == 0 && r.count == 0);
            QVERIFY(r.dataType == NoType && !r.value.isValid() && r.timestamp.isNull());
            QVERIFY(r.address.isEmpty() && r.spareText.isEmpty());
            return;
        }
        QVERIFY(r.status == 3 && r.count == 99 && r.dataType == DoubleExt4 && r.spareInt == 0);
        QVERIFY(r.address == "MW2" && r.spareText == "right" && r.timestamp.isValid());
        QCOMPARE(r.value.typeName(), expected.typeName());
        QCOMPARE(texts(r.value), texts(expected));
        QCOMPARE(left.accessStatus, texts(expected).isEmpty() ? AccessNotDone : AccessOk);
    }

    void equality_data()
    {
        QTest::addColumn<CLabelVariable>("a");
        QTest::addColumn<CLabelVariable>("b");
        QTest::addColumn<bool>("equal");
        const CLabelVariable base = record(Int16, list<short>({1, 2}), 2);
        const CLabelVariable text = record(String, list<QString>({"x"}), 1);
        auto retyped = [&](int type) { return changed(base, [type](CLabelVariable &r) { r.dataType = DataType(type); }); };
        QTest::addRow("only ignored fields differ") << base << changed(base, [](CLabelVariable &r) {
            r.timestamp = QDateTime::currentDateTime(); r.accessStatus = AccessBadIndex; r.spareInt = 9; }) << true;
        QTest::addRow("status") << base << changed(base, [](CLabelVariable &r) { r.status = 3; }) << false;
        QTest::addRow("address") << base << changed(base, [](CLabelVariable &r) { r.address = "MW0"; }) << false;
        QTest::addRow("count") << base << changed(base, [](CLabelVariable &r) { r.count = 1; }) << false;
        QTest::addRow("dataType") << base << retyped(Int32) << false;
        QTest::addRow("spareText") << base << changed(base, [](CLabelVariable &r) { r.spareText = "x"; }) << false;
        QTest::addRow("element") << base << changed(base, [](CLabelVariable &r) { r.value = list<short>({1, 3}); }) << false;
        const CLabelVariable shortList = changed(base, [](CLabelVariable &r) { r.count = 3; });
        QTest::addRow("lists short of count") << shortList << shortList << false;
        const CLabelVariable empty = record(Int16, QVariant(), 0);
        QTest::addRow("count 0, no list") << empty << empty << true;
        const CLabelVariable other = changed(base, [](CLabelVariable &r) { r.value = list<short>({5, 6}); });
        QTest::addRow("type 0 ignores elements") << retyped(0) << changed(other, [](CLabelVariable &r) { r.dataType = NoType; }) << true;
        QTest::addRow("14 compares as int16") << retyped(14) << changed(other, [](CLabelVariable &r) { r.dataType = Int16Ext2; }) << false;
        // Elements compare by their own type, never by QVariant's ==, which
        // calls two variants sharing one list equal even when it holds NaN.
        const CLabelVariable nan = record(Float, list<float>({std::numeric_limits<float>::quiet_NaN()}), 1);
        QTest::addRow("float NaN") << nan << nan << false;
        QTest::addRow("float -0 and 0") << record(Float, list<float>({-0.0f}), 1) << record(Float, list<float>({0.0f}), 1) << true;
        QTest::addRow("string equal") << text << text << true;
        QTest::addRow("string element") << text << changed(text, [](CLabelVariable &r) { r.value = list<QString>({"y"}); }) << false;
    }

    void equality()
    {
        QFETCH(CLabelVariable, a);
        QFETCH(CLabelVariable, b);
        QTEST(a == b, "equal");
    }
};

QTEST_GUILESS_MAIN(TestCLabelVariable)
#include "tst_clabelvariable.moc"
