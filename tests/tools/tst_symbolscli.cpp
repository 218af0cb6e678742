// quillmarsh symbols, read, write and watch by symbol, run as a process
// against a simulated PLC in this process: the listing's JSON, the
// refusals, every type read through the plug-in and written by name, a
// whole block watched in one merged job.
#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "CliRun.h"
#include "RecordOutput.h"
#include "SimPlc.h"
#include "SymbolTable.h"
#include "TestFrames.h"

namespace {
const int kDb = 5;
const int kDbBytes = 128;
// One leaf of every served type, S7's own types, and an array of a UDT.
const char kSource[] =
    "TYPE \"Pair\"\n STRUCT\n  On : Bool;   // motor on\n  Speed : Real;\n END_STRUCT;\nEND_TYPE\n"
    "DATA_BLOCK \"M\"\n{ S7_Optimized_Access := 'FALSE' }\nVERSION : 0.1\n STRUCT\n"
    "  b0 : Bool; b1 : Bool; sint : SInt; int : Int; uint : UInt; dint : DInt; udint : UDInt;\n"
    "  real : Real; lint : LInt; ulint : ULInt; lreal : LReal; byte : Byte; word : Word; dword : DWord;\n"
    "  lword : LWord; text : String[6]; day : Date; wait : Time; tod : Time_Of_Day; s5 : S5Time;\n"
    "  dt : Date_And_Time; dtl : DTL; ch : Char; pair : Array[1..2] of \"Pair\";\n"
    " END_STRUCT;\nBEGIN\nEND_DATA_BLOCK\n";
// Where the served leaves end and S7's own types begin ("M".text).
const int kServedBytes = 58;

using Run = CliRun;

Run run(const QStringList &args)
{
    CliRun r = CliRun::run(args);
    if (r.status != QProcess::NormalExit)
        r.exitCode = -1;
    return r;
}
} // namespace

class TstSymbolsCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        source = write(QStringLiteral("m.db"), kSource);
    }
    void init()
    {
        plc = new SimPlc;
        plc->setFrameLog(true);   // the jobs are counted in the frames the PLC got
        plc->addDataBlock(kDb, kDbBytes);
        QVERIFY(plc->start());
    }
    void cleanup()
    {
        plc->stop();
        delete plc;
    }
    void symbolsJson()
    {
        const Run r = run({"symbols", source, "--number", "\"M\"=5", "--json"});
        QCOMPARE(r.exitCode, 0);
        const RecordOutput::Json list = RecordOutput::Json::parse(r.out.toStdString());
        QCOMPARE(int(list.size()), 27);
        for (const auto &o : list) {
            QStringList keys;
            for (const auto &item : o.items())
                keys << QString::fromStdString(item.key());
            QCOMPARE(keys, (QStringList{"symbol", "address", "byte", "bit", "size", "s7type", "type", "comment"}));
        }
        QCOMPARE(QString::fromStdString(list[1].dump()),
                 QStringLiteral("{\"symbol\":\"\\\"M\\\".b1\",\"address\":\"DB5.DBX0.1\",\"byte\":0,\"bit\":1,\"size\":0,\"s7type\":\"BOOL\",\"type\":\"Bool\",\"comment\":\"\"}"));
        QCOMPARE(QString::fromStdString(list[15].dump()),
                 QStringLiteral("{\"symbol\":\"\\\"M\\\".text\",\"address\":\"DB5.DBB58\",\"byte\":58,\"bit\":null,\"size\":8,\"s7type\":\"STRING[6]\",\"type\":null,\"comment\":\"\"}"));
        QCOMPARE(QString::fromStdString(list[25].dump()),
                 QStringLiteral("{\"symbol\":\"\\\"M\\\".pair[2].On\",\"address\":\"DB5.DBX106.0\",\"byte\":106,\"bit\":0,\"size\":0,\"s7type\":\"BOOL\",\"type\":\"Bool\",\"comment\":\"motor on\"}"));
    }
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("error");
        QTest::addRow("no number") << QStringList{"symbols", "%F"} << QString(kSource) << "data block \"M\" has no number";
        QTest::addRow("missing file") << QStringList{"symbols", "/nonexistent/x.db"} << QString() << "cannot read /nonexistent/x.db";
        QTest::addRow("symbol and TYPE") << QStringList{"read", "%E", "M.int", "int16", "--symbols", "%F", "--number", "M=5"}
                                         << QString(kSource) << "'M.int' is a symbol: its type comes from the source";
        QTest::addRow("unknown member") << QStringList{"read", "%E", "M.nope", "--symbols", "%F", "--number", "M=5"}
                                        << QString(kSource) << "data block \"M\" has no member nope";
        QTest::addRow("one value for two leaves") << QStringList{"write", "%E", "M.pair[2]", "true", "--symbols", "%F", "--number", "M=5"}
                                                  << QString(kSource) << "M.pair[2] stands for 2 leaves, so it takes 2 values";
        QTest::addRow("value out of range") << QStringList{"write", "%E", "M.int", "40000", "--symbols", "%F", "--number", "M=5"}
                                            << QString(kSource) << "\"M\".int: value '40000' is out of range for INT";
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, source);
        QFETCH(QString, error);
        const QString file = write(QStringLiteral("refused.db"), source.toUtf8());
        const Run r = run(expand(args, file));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QVERIFY2(r.err.count(QLatin1Char('\n')) == 1 && r.err.contains(error), qPrintable(r.err));
        QCOMPARE(plc->acceptedCount(), 0);   // refused before anything was sent
    }
    // Every leaf of the block read through the plug-in: the served types as
    // the plug-in decodes them, which must be what SymbolLeaf::decode makes
    // of the same bytes; S7's own types decoded from the bytes read. Then
    // the block watched by name: every leaf from one merged job, shown as
    // read shows it.
    void readWholeBlock()
    {
        QByteArray memory(kDbBytes, '\0');
        QRandomGenerator random(20261206);
        for (int i = 0; i < kServedBytes; ++i)
            memory[i] = char(random.bounded(256));
        memory[0] = char((memory.at(0) & 0xFC) | 0x02);   // b0 and b1 differ
        const QByteArray own = QByteArray::fromHex("0603616263000000" "34b0" "000004b0" "031c833a" "0120"
                                                   "2612061430002501" "07ea0c06010e1e000ee6b280" "41");
        memory.replace(kServedBytes, own.size(), own);
        memory.replace(100, 12, QByteArray::fromHex("0100" "3fc00000" "0000" "c0200000"));
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, kDb, 0, memory));

        const Run r = run({"read", endpoint(), "\"M\"", "--symbols", source, "--number", "M=5", "--json"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const RecordOutput::Json list = RecordOutput::Json::parse(r.out.toStdString());
        const QList<SymbolLeaf> leaves = leavesOf();
        QCOMPARE(int(list.size()), leaves.size());
        QStringList texts;   // as read shows them: what the leaf's codec makes of the bytes
        for (int i = 0; i < leaves.size(); ++i) {
            const SymbolLeaf &leaf = leaves.at(i);
            const RecordOutput::Json &o = list[size_t(i)];
            QCOMPARE(QString::fromStdString(o["symbol"].get<std::string>()), leaf.symbol);
            QCOMPARE(QString::fromStdString(o["address"].get<std::string>()), leaf.address());
            const QByteArray bytes = leaf.type.isBool() ? QByteArray(1, char((memory.at(leaf.byte) >> leaf.bit) & 1))
                                                        : memory.mid(leaf.byte, leaf.size());
            const S7Codec::Value v = S7Codec::decode(leaf.type, bytes);
            QVERIFY2(v.ok(), qPrintable(v.error));
            const RecordOutput::Json expected = leaf.servedType() != NoType
                                                    ? RecordOutput::values(v.value, leaf.servedType(), 1)
                                                    : RecordOutput::Json::array({RecordOutput::utf8(v.text)});
            QVERIFY2(o["values"] == expected,
                     qPrintable(leaf.symbol + QLatin1Char(' ') + QString::fromStdString(o["values"].dump() + " != " + expected.dump())));
            texts << v.text;
        }

        plc->clearReceivedFrames();
        const Run w = run({"watch", endpoint(), "\"M\"", "--symbols", source, "--number", "M=5", "--polls", "1"});
        QVERIFY2(w.exitCode == 0, qPrintable(w.err));
        QStringList shown = w.out.trimmed().split(QStringLiteral(" | "));
        shown.removeFirst();   // poll 1 TIME
        QCOMPARE(shown.size(), leaves.size());
        for (int i = 0; i < leaves.size(); ++i) {
            const QString expected = QStringLiteral("%1 %2 = %3 [0 ok] age")
                                         .arg(leaves.at(i).symbol, leaves.at(i).type.name(), texts.at(i));
            QVERIFY2(shown.at(i).startsWith(expected), qPrintable(shown.at(i) + QStringLiteral(" != ") + expected));
        }
        QCOMPARE(readJobs(plc->receivedFrames()), 1);
    }
    void readMalformed()
    {
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, kDb, 58, QByteArray::fromHex("0609")));
        const Run r = run({"read", endpoint(), "M.text", "--symbols", source, "--number", "M=5", "--json"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("\"M\".text: STRING[6] current length 9 above its maximum 6"), qPrintable(r.err));
        const RecordOutput::Json o = RecordOutput::Json::parse(r.out.toStdString());
        QCOMPARE(o["values"].size(), size_t(0));
        QCOMPARE(o["status"].get<int>(), 0);
        QVERIFY(o.contains("error"));
    }
    void writeByName_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("values");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addRow("one BOOL, its neighbour kept") << "M.b1" << "true" << 0 << "01" << "03";
        QTest::addRow("STRING with a comma") << "M.text" << "'a,b'" << 58 << "0000000000000000" << "0603612c62000000";
        QTest::addRow("struct, one value per leaf") << "M.pair[2]" << "true,2.5" << 106 << "000000000000" << "010040200000";
    }
    void writeByName()
    {
        QFETCH(QString, symbol);
        QFETCH(QString, values);
        QFETCH(int, offset);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QVERIFY(plc->setMemory(SimPlc::AreaDataBlocks, kDb, offset, QByteArray::fromHex(before.toLatin1())));
        const Run r = run({"write", endpoint(), symbol, values, "--symbols", source, "--number", "M=5"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
        QCOMPARE(plc->memory(SimPlc::AreaDataBlocks, kDb, offset, after.size() / 2).toHex(), after.toLatin1());
        // Read back by name, the same text (a table row per leaf).
        const Run back = run({"read", endpoint(), symbol, "--symbols", source, "--number", "M=5"});
        QCOMPARE(back.exitCode, 0);
        QCOMPARE(back.out.count(QStringLiteral(" 0 ok ")), S7Codec::splitValues(values).size());
    }

private:
    QString write(const QString &name, const QByteArray &text)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text);
        return f.fileName();
    }
    QString endpoint() const { return QStringLiteral("127.0.0.1:%1").arg(plc->port()); }
    QStringList expand(QStringList args, const QString &file) const
    {
        for (QString &a : args)
            a = a == QLatin1String("%E") ? endpoint() : a == QLatin1String("%F") ? file : a;
        return args;
    }
    QList<SymbolLeaf> leavesOf() const
    {
        SymbolTable table;
        QString error;
        if (!table.addSource(QString::fromLatin1(kSource), QStringLiteral("m.db"), &error)
            || !table.setNumber(QStringLiteral("M=5"), &error) || !table.build(&error))
            qWarning("%s", qPrintable(error));
        return table.leaves();
    }

    QTemporaryDir dir;
    QString source;
    SimPlc *plc = nullptr;
};

QTEST_GUILESS_MAIN(TstSymbolsCli)
#include "tst_symbolscli.moc"
