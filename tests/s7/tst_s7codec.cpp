// Every S7 type between bytes and text: round trips (what is shown reads
// back as the same bytes), the other spellings a value literal may take,
// malformed bytes and texts, and range messages whose limits read back.
#include <QtTest>

#include "S7Codec.h"

class TstS7Codec : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("text");
        QTest::addRow("TIME") << "TIME" << "000004b0" << "T#1S_200MS";
        QTest::addRow("TIME zero") << "TIME" << "00000000" << "T#0MS";
        QTest::addRow("TIME negative") << "TIME" << "fad9a3ff" << "T#-1D_1MS";
        QTest::addRow("TIME largest") << "TIME" << "7fffffff" << "T#24D_20H_31M_23S_647MS";
        QTest::addRow("TIME smallest") << "TIME" << "80000000" << "T#-24D_20H_31M_23S_648MS";
        QTest::addRow("LTIME") << "LTIME" << "0000000047868c05" << "LT#1S_200MS_5NS";
        QTest::addRow("S5TIME base 10 ms") << "S5TIME" << "0120" << "S5T#1S_200MS";
        QTest::addRow("S5TIME base 100 ms") << "S5TIME" << "1100" << "S5T#10S";
        QTest::addRow("S5TIME largest") << "S5TIME" << "3999" << "S5T#2H_46M_30S";
        QTest::addRow("DATE") << "DATE" << "34b0" << "D#2026-12-06";
        QTest::addRow("DATE first") << "DATE" << "0000" << "D#1990-01-01";
        QTest::addRow("TIME_OF_DAY") << "TOD" << "031c833a" << "TOD#14:30:00.250";
        QTest::addRow("LTIME_OF_DAY") << "LTOD" << "00002f79d15bc281" << "LTOD#14:30:00.250000001";
        QTest::addRow("DATE_AND_TIME") << "DATE_AND_TIME" << "2612061430002501" << "DT#2026-12-06-14:30:00.250";
        QTest::addRow("DATE_AND_TIME 1999") << "DT" << "9912312359599996" << "DT#1999-12-31-23:59:59.999";
        QTest::addRow("LDT") << "LDT" << "18eeb0882af2c281" << "LDT#2026-12-06-14:30:00.250000001";
        QTest::addRow("DTL") << "DTL" << "07ea0c06010e1e000ee6b280" << "DTL#2026-12-06-14:30:00.250000000";
        QTest::addRow("CHAR") << "CHAR" << "41" << "A";
        QTest::addRow("WCHAR") << "WCHAR" << "00e9" << "é";
        QTest::addRow("STRING[5]") << "STRING[5]" << "0503616263" "0000" << "abc";
        QTest::addRow("STRING[2] empty") << "STRING[2]" << "02000000" << "";
        QTest::addRow("WSTRING[2]") << "WSTRING[2]" << "0002000100fc0000" << "ü";
        QTest::addRow("BOOL") << "BOOL" << "01" << "1";
        QTest::addRow("SINT") << "SINT" << "ff" << "-1";
        QTest::addRow("INT") << "INT" << "fffe" << "-2";
        QTest::addRow("UDINT") << "UDINT" << "b2d05e00" << "3000000000";
        QTest::addRow("REAL") << "REAL" << "3fc00000" << "1.5";
        QTest::addRow("LREAL") << "LREAL" << "bff8000000000000" << "-1.5";
        QTest::addRow("REAL shortest") << "REAL" << "3dcccccd" << "0.1";
        QTest::addRow("REAL minus inf") << "REAL" << "ff800000" << "-inf";
        QTest::addRow("LREAL denormal") << "LREAL" << "0000000000000001" << "5e-324";
    }
    void roundTrip()
    {
        QFETCH(QString, type);
        QFETCH(QString, hex);
        QFETCH(QString, text);
        const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        const S7Codec::Value v = S7Codec::decode(S7Type::fromName(type), bytes);
        QVERIFY2(v.ok(), qPrintable(v.error));
        QCOMPARE(v.text, text);
        QByteArray encoded;
        QString error;
        QVERIFY2(S7Codec::encode(S7Type::fromName(type), text, &encoded, &error), qPrintable(error));
        QCOMPARE(encoded.toHex(), bytes.toHex());
    }
    void spellings_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        QTest::addRow("TIME long prefix, lower case") << "TIME" << "time#1s200ms" << "000004b0";
        QTest::addRow("TIME bare milliseconds") << "TIME" << "1200" << "000004b0";
        QTest::addRow("TIME units out of order") << "TIME" << "T#200MS_1S" << "000004b0";
        QTest::addRow("S5TIME base 1 s") << "S5TIME" << "S5TIME#999S" << "2999";
        QTest::addRow("DATE short month") << "DATE" << "D#1990-1-1" << "0000";
        QTest::addRow("DATE without prefix") << "DATE" << "2026-12-06" << "34b0";
        QTest::addRow("TOD without seconds' fraction") << "TOD" << "TOD#1:2:3" << "0038cef8";
        QTest::addRow("DT two-digit year") << "DT" << "DT#90-1-1-0:0:0.000" << "9001010000000002";
        QTest::addRow("STRING quoted with $'") << "STRING[4]" << "'It$'s'" << "0404497427" "73";
        QTest::addRow("STRING literal with comma") << "STRING[4]" << "STRING#'a,b'" << "0403612c62" "00";
        QTest::addRow("CHAR by hex escape") << "CHAR" << "'$41'" << "41";
        QTest::addRow("BYTE 16#") << "BYTE" << "16#FF" << "ff";
        QTest::addRow("DWORD 2#") << "DWORD" << "2#1010_0101" << "000000a5";
        QTest::addRow("DINT L#") << "DINT" << "L#-1" << "ffffffff";
        QTest::addRow("INT 0x") << "INT" << "0x7fff" << "7fff";
        QTest::addRow("REAL exponent") << "REAL" << "1.500000e+000" << "3fc00000";
        QTest::addRow("REAL largest in full") << "REAL" << "340282346638528859811704183484516925440" << "7f7fffff";
        QTest::addRow("INT typed and based") << "INT" << "INT#16#7F" << "007f";
        QTest::addRow("DINT underscores") << "DINT" << "1_000" << "000003e8";
        QTest::addRow("USINT octal") << "USINT" << "8#17" << "0f";
        QTest::addRow("by the plug-in's name") << "UInt16" << "W#16#FFFF" << "ffff";
    }
    void spellings()
    {
        QFETCH(QString, type);
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QByteArray encoded;
        QString error;
        QVERIFY2(S7Codec::encode(S7Type::fromName(type), text, &encoded, &error), qPrintable(error));
        QCOMPARE(encoded.toHex(), hex.toLatin1());
    }
    void malformedBytes_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("error");
        QTest::addRow("STRING longer than declared") << "STRING[5]" << "0506616263646566" << "current length 6 above its maximum 5";
        QTest::addRow("STRING longer than its header") << "STRING[5]" << "0203616263" "0000" << "current length 3 above its maximum 2";
        QTest::addRow("WSTRING longer than declared") << "WSTRING[1]" << "000100020041" << "current length 2 above its maximum 1";
        QTest::addRow("TOD a whole day") << "TOD" << "05265c00" << "past the end of a day";
        QTest::addRow("DT month 13") << "DT" << "2613061430002501" << "not a valid BCD date and time";
        QTest::addRow("DT not BCD") << "DT" << "2a12061430002501" << "not a valid BCD date and time";
        QTest::addRow("DT zeros") << "DT" << "0000000000000000" << "not a valid BCD date and time";
        QTest::addRow("S5TIME not BCD") << "S5TIME" << "00a0" << "holds a digit above 9";
        QTest::addRow("DTL month 0") << "DTL" << "07ea0006010e1e0000000000" << "not a valid date and time";
        QTest::addRow("DTL nanoseconds") << "DTL" << "07ea0c06010e1e003b9aca00" << "not a valid date and time";
        QTest::addRow("too few bytes") << "INT" << "ff" << "INT needs 2 bytes, 1 given";
        QTest::addRow("too few for STRING") << "STRING[4]" << "0400" << "STRING[4] needs 6 bytes, 2 given";
    }
    void malformedBytes()
    {
        QFETCH(QString, type);
        QFETCH(QString, hex);
        QFETCH(QString, error);
        const S7Codec::Value v = S7Codec::decode(S7Type::fromName(type), QByteArray::fromHex(hex.toLatin1()));
        QVERIFY(!v.ok());
        QVERIFY2(v.error.contains(error), qPrintable(v.error));
    }
    void malformedText_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addRow("TIME past its range") << "TIME" << "T#24D_21H" << "is not a TIME";
        QTest::addRow("TIME unknown unit") << "TIME" << "T#1X" << "is not a TIME (e.g. T#1S_200MS)";
        QTest::addRow("TIME given a date") << "TIME" << "D#2026-01-01" << "is not a TIME";
        QTest::addRow("S5TIME between steps") << "S5TIME" << "S5T#1005MS" << "is not a S5TIME";
        QTest::addRow("S5TIME past 2H_46M_30S") << "S5TIME" << "S5T#3H" << "is not a S5TIME";
        QTest::addRow("S5TIME negative") << "S5TIME" << "S5T#-1S" << "is not a S5TIME";
        QTest::addRow("DATE past 2168") << "DATE" << "D#2169-01-01" << "is not a DATE";
        QTest::addRow("DATE 30 February") << "DATE" << "D#2026-02-30" << "is not a DATE";
        QTest::addRow("TOD hour 24") << "TOD" << "TOD#24:00:00" << "is not a TIME_OF_DAY";
        QTest::addRow("TOD four fraction digits") << "TOD" << "TOD#1:00:00.1234" << "is not a TIME_OF_DAY";
        QTest::addRow("DT past 2089") << "DT" << "DT#2090-01-01-00:00:00" << "is not a DATE_AND_TIME";
        QTest::addRow("DTL without time") << "DTL" << "DTL#2026-01-01" << "is not a DTL";
        QTest::addRow("STRING too long") << "STRING[3]" << "abcd" << "has 4 characters, more than STRING[3] holds";
        QTest::addRow("STRING outside Latin-1") << "STRING[3]" << "€" << "outside Latin-1";
        QTest::addRow("STRING quote inside") << "STRING[9]" << "'a'b'" << "is not a quoted S7 text";
        QTest::addRow("CHAR two") << "CHAR" << "ab" << "is not one character";
        QTest::addRow("INT too big") << "INT" << "40000" << "out of range for INT (-32768 to 32767)";
        QTest::addRow("BYTE negative") << "BYTE" << "-1" << "out of range for BYTE (0 to 255)";
        QTest::addRow("ULINT past 64 bits") << "ULINT" << "18446744073709551616"
                                            << "out of range for ULINT (0 to 18446744073709551615)";
        QTest::addRow("REAL rounds to inf") << "REAL" << "3.4028236e38"
                                            << "out of range for REAL (-3.40282347e+38 to 3.40282347e+38)";
        QTest::addRow("LREAL past") << "LREAL" << "1.8e308"
                                    << "out of range for LREAL (-1.7976931348623157e+308 to 1.7976931348623157e+308)";
        QTest::addRow("named by the plug-in's name") << "Int8" << "128" << "value '128' is out of range for Int8 (-128 to 127)";
        QTest::addRow("LREAL not a number") << "LREAL" << "1.5x" << "value '1.5x' is not a number for LREAL";
        QTest::addRow("INT exponent") << "INT" << "1e2" << "value '1e2' is not a number for INT";
        QTest::addRow("INT given a time") << "INT" << "T#5" << "value 'T#5' is not a number for INT";
        QTest::addRow("REAL typed as INT") << "REAL" << "INT#1.5" << "is not a number for REAL";
        QTest::addRow("binary digit 2") << "BYTE" << "2#12" << "is not a number for BYTE";
        QTest::addRow("BOOL 2") << "BOOL" << "2" << "value '2' is not a BOOL (0, 1, true or false)";
        QTest::addRow("POINTER") << "POINTER" << "0" << "POINTER values are not written";
    }
    void malformedText()
    {
        QFETCH(QString, type);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QByteArray out;
        QString message;
        QVERIFY(!S7Codec::encode(S7Type::fromName(type), text, &out, &message));
        QVERIFY2(message.contains(error), qPrintable(message));
        QVERIFY(out.isEmpty());
    }
    // The limits a range message names are values of the type, and show as named.
    void limitsInMessagesReadBack()
    {
        for (const QString &name : S7Type::servedNames() + S7Type::numberNames()) {
            const S7Type type = S7Type::fromName(name);
            if (type.isBool())
                continue;
            QByteArray bytes;
            QString why;
            S7Codec::encode(type, QStringLiteral("1e400"), &bytes, &why);
            S7Codec::encode(type, QStringLiteral("99999999999999999999999"), &bytes, &why);
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\((\\S+) to (\\S+)\\)$")).match(why);
            QVERIFY2(m.hasMatch(), qPrintable(name + QLatin1String(": ") + why));
            for (const QString &limit : {m.captured(1), m.captured(2)}) {
                QString error;
                QByteArray image;
                QVERIFY2(S7Codec::encode(type, limit, &image, &error), qPrintable(name + QLatin1String(": ") + error));
                QCOMPARE(S7Codec::decode(type, image).text, limit);
            }
        }
    }
    void splitValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("values");
        QTest::addRow("plain") << "1,2.5,T#1S" << QStringList{"1", "2.5", "T#1S"};
        QTest::addRow("comma in a text") << "1,'a,b',3" << QStringList{"1", "'a,b'", "3"};
        QTest::addRow("escaped quote") << "'It$'s, ok',x" << QStringList{"'It$'s, ok'", "x"};
    }
    void splitValues()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, values);
        QCOMPARE(S7Codec::splitValues(text), values);
    }
};

QTEST_GUILESS_MAIN(TstS7Codec)
#include "tst_s7codec.moc"
