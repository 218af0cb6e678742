// Address texts into area, byte, data block and bit; byte lengths per type.
// (Arbitrary texts: tests/fuzz/fuzz_address.)
#include <QtTest>

#include "LibQuillmarsh.h"
#include "TagAddress.h"

class TstAddress : public QObject
{
    Q_OBJECT

    LibQuillmarsh drv;

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("area");
        QTest::addColumn<int>("byte");
        QTest::addColumn<uint>("block");
        QTest::addColumn<uint>("bit");
        QTest::addColumn<bool>("explicitBit");

        const int I = 0x81, Q = 0x82, M = 0x83, DB = 0x84;
        // Letter forms: byte up to the first dot, bit after it (the whole rest without one).
        QTest::addRow("M10.3") << "M10.3" << M << 10 << 0u << 3u << true;
        QTest::addRow("I0.0") << "I0.0" << I << 0 << 0u << 0u << true;
        QTest::addRow("Q4.1") << "Q4.1" << Q << 4 << 0u << 1u << true;
        QTest::addRow("QB4") << "QB4" << Q << 0 << 0u << 0u << false;
        QTest::addRow("MW10") << "MW10" << M << 0 << 0u << 0u << false;
        QTest::addRow("M10") << "M10" << M << 10 << 0u << 10u << false;
        QTest::addRow("M10.3.4 two dots") << "M10.3.4" << M << 10 << 0u << 0u << true;
        QTest::addRow("M10:3") << "M10:3" << M << 0 << 0u << 0u << false;
        QTest::addRow("M-5") << "M-5" << M << -5 << 0u << 0u << false;
        QTest::addRow("M-5.1") << "M-5.1" << M << -5 << 0u << 1u << true;
        QTest::addRow("XM5") << "XM5" << M << 0 << 0u << 0u << false;
        QTest::addRow("V100.2") << "V100.2" << DB << 100 << 0u << 2u << true;
        QTest::addRow("V100") << "V100" << DB << 100 << 0u << 100u << false;
        // DB forms: block, separator, three letters, byte; a bit only after a second dot.
        QTest::addRow("DB1.DBX10.3") << "DB1.DBX10.3" << DB << 10 << 1u << 3u << true;
        QTest::addRow("db1.dbx10.3") << "db1.dbx10.3" << DB << 10 << 1u << 3u << true;
        QTest::addRow("DB1.DBX10.3.4") << "DB1.DBX10.3.4" << DB << 0 << 1u << 4u << true;
        QTest::addRow("DB1.DBW20") << "DB1.DBW20" << DB << 20 << 1u << 0u << false;
        QTest::addRow("DB1.DBX10.x no digit") << "DB1.DBX10.x" << DB << 10 << 1u << 0u << false;
        QTest::addRow("DB5_DBD8") << "DB5_DBD8" << DB << 8 << 5u << 0u << false;
        QTest::addRow("DB2:DBW4") << "DB2:DBW4" << DB << 4 << 2u << 0u << false;
        QTest::addRow("DB3;DBD12") << "DB3;DBD12" << DB << 12 << 3u << 0u << false;
        QTest::addRow("DB1_DBX10.3 dot wins") << "DB1_DBX10.3" << DB << 0 << 0u << 0u << false;
        QTest::addRow("DB-1.DBW2") << "DB-1.DBW2" << DB << 2 << 0u << 0u << false;
        QTest::addRow("DB1.DBW-2") << "DB1.DBW-2" << DB << -2 << 1u << 0u << false;
        // V_or_DB forms: block 1 without a separator.
        QTest::addRow("V_or_DB100") << "V_or_DB100" << DB << 100 << 1u << 0u << false;
        QTest::addRow("V_or_DB5.100") << "V_or_DB5.100" << DB << 100 << 5u << 0u << false;
        QTest::addRow("V_or_DB5.100.3") << "V_or_DB5.100.3" << DB << 100 << 5u << 3u << true;
        QTest::addRow("v_or_db5.100.3") << "v_or_db5.100.3" << DB << 100 << 5u << 3u << true;
        QTest::addRow("V_or_DB5_100") << "V_or_DB5_100" << DB << 100 << 5u << 0u << false;
        QTest::addRow("V_or_DB7:20") << "V_or_DB7:20" << DB << 20 << 7u << 0u << false;
        QTest::addRow("V_or_DB100.3 one dot") << "V_or_DB100.3" << DB << 3 << 100u << 0u << false;
        // No area letter: byte -1, the other numbers from the whole text.
        QTest::addRow("XYZ") << "XYZ" << 0 << -1 << 0u << 0u << false;
        QTest::addRow("empty") << "" << 0 << -1 << 0u << 0u << false;
        QTest::addRow("123") << "123" << 0 << -1 << 123u << 123u << false;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, area);
        QFETCH(int, byte);
        QFETCH(uint, block);
        QFETCH(uint, bit);
        QFETCH(bool, explicitBit);

        const LibQuillmarsh::AreaType found = drv.getArea(text);
        QCOMPARE(int(found), area);
        // The second argument is documented as unused: a wrong one must not matter.
        QCOMPARE(drv.getAddr(text, LibQuillmarsh::Area_None), byte);
        QCOMPARE(drv.getmodule_number(text, LibQuillmarsh::Area_I), block);
        QCOMPARE(drv.getmodule_bit(text, found), bit);
        QCOMPARE(TagAddress::parse(text).explicitBit, explicitBit);
    }
    void byteLength_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<int>>("lengths"); // for counts 0, 1, 8, 9

        QTest::addRow("NoType") << 0 << QList<int>{0, 0, 0, 0};
        QTest::addRow("Bool") << 1 << QList<int>{0, 1, 1, 2};
        QTest::addRow("Int8") << 2 << QList<int>{0, 1, 8, 9};
        QTest::addRow("Int16") << 4 << QList<int>{0, 2, 16, 18};
        QTest::addRow("Int32") << 6 << QList<int>{0, 4, 32, 36};
        QTest::addRow("Float") << 8 << QList<int>{0, 4, 32, 36};
        QTest::addRow("Int64") << 9 << QList<int>{0, 8, 64, 72};
        QTest::addRow("Double") << 11 << QList<int>{0, 8, 64, 72};
        QTest::addRow("String") << 12 << QList<int>{0, 0, 0, 0};
        QTest::addRow("32") << 32 << QList<int>{0, 0, 0, 0};
        QTest::addRow("-1") << -1 << QList<int>{0, 0, 0, 0};
    }
    void byteLength()
    {
        QFETCH(int, type);
        QFETCH(QList<int>, lengths);

        const int counts[] = {0, 1, 8, 9};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(drv.getBytelen(static_cast<DataType>(type), counts[i]), lengths.at(i));
    }
};

QTEST_GUILESS_MAIN(TstAddress)
#include "tst_address.moc"
