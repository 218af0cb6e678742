// Value texts as the command line and the panel take them and as read and
// the panel show them: every value shown can be written back as shown, and
// a value that does not fit its type is refused with limits that read back.
#include <QtTest>

#include "S7Type.h"
#include "ValueFormatter.h"
#include "ValueParser.h"

class TstValues : public QObject
{
    Q_OBJECT

private slots:
    void parseAndShow_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");   // empty: refused
        QTest::addColumn<QString>("error");
        QTest::addRow("Bool word") << "Bool" << "TRUE" << "1" << "";
        QTest::addRow("Bool two") << "Bool" << "2" << "" << "value '2' is not a Bool (0, 1, true or false)";
        QTest::addRow("Int8 lowest") << "Int8" << "-128" << "-128" << "";
        QTest::addRow("Int8 past") << "Int8" << "128" << "" << "value '128' is out of range for Int8 (-128 to 127)";
        QTest::addRow("Int16 below") << "Int16" << "-32769" << "" << "out of range for Int16 (-32768 to 32767)";
        QTest::addRow("UInt16 hex") << "UInt16" << "0xBEEF" << "48879" << "";
        QTest::addRow("UInt16 negative") << "UInt16" << "-1" << "" << "out of range for UInt16 (0 to 65535)";
        QTest::addRow("Int64 lowest") << "Int64" << "-9223372036854775808" << "-9223372036854775808" << "";
        QTest::addRow("UInt64 past") << "UInt64" << "18446744073709551616" << ""
                                     << "out of range for UInt64 (0 to 18446744073709551615)";
        QTest::addRow("Float max as shown") << "Float" << "3.40282347e+38" << "3.40282347e+38" << "";
        QTest::addRow("Float lowest as shown") << "Float" << "-3.40282347e+38" << "-3.40282347e+38" << "";
        QTest::addRow("Float max exact") << "Float" << "340282346638528859811704183484516925440" << "3.40282347e+38" << "";
        QTest::addRow("Float rounds to inf") << "Float" << "3.4028236e38" << ""
                                             << "out of range for Float (-3.40282347e+38 to 3.40282347e+38)";
        QTest::addRow("Float shortest") << "Float" << "0.1" << "0.1" << "";
        QTest::addRow("Float minus inf") << "Float" << "-inf" << "-inf" << "";
        QTest::addRow("Double max as shown") << "Double" << "1.7976931348623157e+308" << "1.7976931348623157e+308" << "";
        QTest::addRow("Double past") << "Double" << "1.8e308" << ""
                                     << "out of range for Double (-1.7976931348623157e+308 to 1.7976931348623157e+308)";
        QTest::addRow("Double denormal") << "Double" << "5e-324" << "5e-324" << "";
        QTest::addRow("not a number") << "Double" << "1.5x" << "" << "value '1.5x' is not a number for Double";
        QTest::addRow("exponent for an integer") << "Int16" << "1e2" << "" << "value '1e2' is not a number for Int16";
    }
    void parseAndShow()
    {
        QFETCH(QString, type);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, error);
        const DataType t = S7Type::servedTypeOf(type);
        QString why;
        const QVariant value = ValueParser::parse(t, {text}, &why);
        if (shown.isEmpty()) {
            QVERIFY(!value.isValid());
            QVERIFY2(why.contains(error), qPrintable(why));
            return;
        }
        QVERIFY2(value.isValid(), qPrintable(why));
        QCOMPARE(ValueFormatter::joined(value, t, 1), shown);
        // What is shown parses back to the very same value.
        const QVariant again = ValueParser::parse(t, {shown}, &why);
        QCOMPARE(ValueFormatter::joined(again, t, 1), shown);
    }
    // The limits a range message names are themselves accepted.
    void limitsInMessagesReadBack()
    {
        for (const QString &type : S7Type::servedNames()) {
            if (type == QLatin1String("Bool"))
                continue;
            QString why;
            ValueParser::parse(S7Type::servedTypeOf(type), {QStringLiteral("1e400")}, &why);
            ValueParser::parse(S7Type::servedTypeOf(type), {QStringLiteral("99999999999999999999999")}, &why);
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\((\\S+) to (\\S+)\\)$")).match(why);
            QVERIFY2(m.hasMatch(), qPrintable(type + QLatin1String(": ") + why));
            for (const QString &limit : {m.captured(1), m.captured(2)}) {
                QString error;
                const QVariant v = ValueParser::parse(S7Type::servedTypeOf(type), {limit}, &error);
                QVERIFY2(v.isValid(), qPrintable(type + QLatin1String(": ") + error));
                QCOMPARE(ValueFormatter::joined(v, S7Type::servedTypeOf(type), 1), limit);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstValues)
#include "tst_values.moc"
