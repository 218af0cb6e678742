// The simulated PLC's front: control commands, value literals in every
// place that takes one, value generators, then the program itself: options,
// control port, signals, and a stop right after it announces itself.
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "S7Image.h"
#include "S7Type.h"
#include "SimControl.h"
#include "SimPlc.h"
#include "SimSignal.h"
#include "SymbolTable.h"
#include "SymbolTags.h"

namespace {

constexpr int WaitMs = 3000;
constexpr int QuietMs = 300;
constexpr int StopRuns = 30;

QByteArray h(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray ConnectRequest = h("0300001611e00000000100c0010ac1020100c2020101");
const QByteArray SetupJob = h("0300001902f08032010000000000080000f0000001000101e0");
const QByteArray ModeRequest = h("0300002102f080320700000001000800080001120411440100ff09000404240000");
constexpr int ModeByteOffset = 44; // of the operating-mode answer: RUN 08, STOP 04

// quillmarsh-sim run as a process of its own on free ports, with every wait
// bounded: its announced ports, and a connection to its control port.
struct SimRun
{
    QProcess process;
    quint16 port = 0;
    quint16 control = 0;

    // False when it does not announce a port (a bad option ends it).
    bool start(const QStringList &arguments)
    {
        process.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM), QStringList{"--port", "0"} + arguments);
        QByteArray out;
        const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
        while (!listening.match(QString::fromLatin1(out)).hasMatch() && process.waitForReadyRead(WaitMs))
            out += process.readAllStandardOutput();
        port = quint16(listening.match(QString::fromLatin1(out)).captured(1).toInt());
        control = quint16(QRegularExpression(QStringLiteral("control on 127.0.0.1:(\\d+)"))
                              .match(QString::fromLatin1(out)).captured(1).toInt());
        return port != 0;
    }
    bool connectControl(QTcpSocket &socket) const
    {
        socket.connectToHost(QHostAddress::LocalHost, control);
        return socket.waitForConnected(WaitMs);
    }
    // Sends lines, returns the answer lines (up to want of them).
    static QStringList converse(QTcpSocket &socket, const QByteArray &lines, int want)
    {
        socket.write(lines);
        QStringList answers;
        while (answers.size() < want && (socket.canReadLine() || socket.waitForReadyRead(WaitMs))) {
            while (socket.canReadLine())
                answers << QString::fromUtf8(socket.readLine()).trimmed();
        }
        return answers;
    }
    ~SimRun()
    {
        process.terminate();
        if (!process.waitForFinished(WaitMs))
            process.kill();
    }
};

// Sends a frame and returns what came back within a short while.
QByteArray ask(QTcpSocket &socket, const QByteArray &frame)
{
    socket.write(frame);
    QByteArray reply;
    while (socket.waitForReadyRead(QuietMs))
        reply += socket.readAll();
    return reply;
}


// Where a row's value goes: a bit for a BOOL, else the block's first byte.
QString placeOf(const S7Type &type)
{
    return type.isBool() ? QStringLiteral("DB1.DBX0.0") : QStringLiteral("DB1.DBB0");
}

// The bytes a record's value list holds, as a write through the plug-in sends them.
QByteArray imageOf(const CLabelVariable &record)
{
    QByteArray out;
    ElementTypes::withServedElementType(record.dataType, [&](auto tag) {
        S7Image::encode<typename decltype(tag)::type>(record.value, record.count, &out);
    });
    return out;
}

// A source whose one data block "D" holds the member.
QString blockSource(const QString &member)
{
    return QStringLiteral("DATA_BLOCK \"D\"\n{ S7_Optimized_Access := 'FALSE' }\n STRUCT\n  %1\n END_STRUCT;\n"
                          "BEGIN\nEND_DATA_BLOCK\n").arg(member);
}

// The bytes a write of the leaf by symbol sends, or an empty array when refused.
QByteArray leafWrite(const QString &type, const QString &literal)
{
    SymbolTable table;
    QString error;
    CLabelVariable record;
    if (!table.addSource(blockSource(QStringLiteral("x : %1;").arg(type)), QStringLiteral("d.db"), &error)
        || !table.setNumber(QStringLiteral("D=1"), &error) || !table.build(&error)
        || !SymbolTags::writeRecord(SymbolTags::entryOf(table.leaves().value(0)), {literal}, &record, &error))
        return QByteArray();
    return imageOf(record);
}

// The bytes the simulator serves at the row's place when started with
// these options, read back on its control port; an empty array when it
// refuses to start.
QByteArray served(const S7Type &type, const QStringList &options)
{
    SimRun sim;
    QTcpSocket control;
    if (!sim.start(QStringList{"--control", "0"} + options) || !sim.connectControl(control))
        return QByteArray();
    const QString get = type.isBool() ? placeOf(type) : placeOf(type) + QStringLiteral(" %1").arg(type.size());
    const QString answer = SimRun::converse(control, "get " + get.toLatin1() + '\n', 1).value(0);
    if (!answer.startsWith(QLatin1String("ok ")))
        return QByteArray();
    return type.isBool() ? QByteArray(1, char(answer.mid(3).toInt())) : QByteArray::fromHex(answer.mid(3).toLatin1());
}

} // namespace

class TstSimApp : public QObject
{
    Q_OBJECT

private slots:
    // One command, its answer line and the bytes it leaves at DB1.0..7,
    // M0..1 or T3.
    void control_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("place"); // empty: no memory to look at
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *line, const char *answer, const char *place = "", const char *bytes = "") {
            QTest::addRow("%s", line) << QString::fromLatin1(line) << QString::fromLatin1(answer)
                                      << QString::fromLatin1(place) << h(bytes);
        };
        row("set DB1.DBW0 1234", "ok 04 d2", "DB1", "04d2000000000000");
        row("set DB1.DBW2 -2", "ok ff fe", "DB1", "0000fffe00000000");
        row("set DB1.DBW0 70000", "error: value '70000' is out of range for UINT (0 to 65535)", "DB1", "0000000000000000");
        row("set DB1.DBD4 1.5", "ok 3f c0 00 00", "DB1", "000000003fc00000");
        row("set DB1.DBD0 16#FF", "ok 00 00 00 ff", "DB1", "000000ff00000000");
        row("set DB1.DBB4 INT#-5", "ok ff fb", "DB1", "00000000fffb0000");
        row("set DB1.DBB0:STRING[4] 'a  b'", "ok 04 04 61 20 20 62", "DB1", "0404612020620000");
        row("set M0.1 1", "ok 01", "M", "0200");
        row("set M0.1:int16 1", "error: a bool goes to a bit address and a bit address takes a bool", "M", "0000");
        row("set T3 0x1234", "ok 12 34", "T3", "1234");
        row("set DB1.DBX0 1", "error: 'DB1.DBX0': a bit (0 to 7) goes with X or with no width letter");
        row("set M0.8 1", "error: 'M0.8': a bit (0 to 7) goes with X or with no width letter");
        row("set MD0.1 1", "error: 'MD0.1': a bit (0 to 7) goes with X or with no width letter");
        row("get XY12", "error: 'XY12' is not an address (M10, MW10, I0.3, DB1.DBW0, DB1.DBX4.1, T5, C3)");
        row("set DB0.DBW0 1", "error: 'DB0.DBW0': blocks go from 1 to 65535, bytes up to 65535");
        row("set DB99.DBW0 1", "error: DB99.DBW0 is outside the memory served");
        row("set DB1.DBW0:int99 1", "error: unknown type 'int99' (an S7 type such as INT, REAL, TIME or STRING[10], "
                                    "or one of Bool, Int8, UInt8, Int16, UInt16, Int32, UInt32, Float, Int64, UInt64, "
                                    "Double)");
        row("get DB1.DBD0", "ok 00 00 00 00");
        row("get M0 2000", "error: COUNT is 1 to 1024 bytes, and a bit takes none");
        row("get Q2047 2", "error: Q2047 is outside the memory served");
        row("fault late 2500", "ok fault late 2500");
        row("fault off", "ok fault off");
        row("fault late 0", "error: fault late takes MS from 1 to 600000, not '0'");
        row("fault silent 3", "error: fault silent takes no argument");
        row("fault", "error: fault MODE [ARG]");
        row("state stop", "ok state stop");
        row("state hold", "error: state [run|stop]");
        row("clients", "ok 0");
        row("", "error: unknown command '' (fault, state, set, get, clients, help)");
        row("reboot now", "error: unknown command 'reboot now' (fault, state, set, get, clients, help)");
    }
    void control()
    {
        QFETCH(QString, line);
        QFETCH(QString, answer);
        QFETCH(QString, place);
        QFETCH(QByteArray, bytes);
        SimPlc plc;
        QCOMPARE(SimControl(&plc).execute(line), answer);
        if (place == QLatin1String("DB1"))
            QCOMPARE(plc.memory(SimPlc::AreaDataBlocks, 1, 0, 8).toHex(), bytes.toHex());
        else if (place == QLatin1String("M"))
            QCOMPARE(plc.memory(SimPlc::AreaMarkers, 0, 0, 2).toHex(), bytes.toHex());
        else if (place == QLatin1String("T3"))
            QCOMPARE(plc.memory(SimPlc::AreaTimers, 0, 6, 2).toHex(), bytes.toHex());
        QCOMPARE(plc.cpuRunning(), line != QLatin1String("state stop"));
    }

    // One value literal, every place that takes one: the control port
    // (set), --preset and --symbols start values (the program itself), and
    // the tags that write, watch and the panel write (by address, and a
    // data-block leaf by symbol). Each row's literal gives the same bytes
    // everywhere, or is refused everywhere.
    void literalsEverywhere_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QByteArray>("image"); // empty: refused
        const auto row = [](const char *type, const char *literal, const char *hex) {
            QTest::addRow("%s %s", type, literal) << QString::fromLatin1(type) << QString::fromLatin1(literal)
                                                 << QByteArray::fromHex(hex);
        };
        row("INT", "16#FF", "00ff");
        row("WORD", "W#16#BEEF", "beef");
        row("INT", "INT#-5", "fffb");
        row("UDINT", "0xDEADBEEF", "deadbeef");
        row("SINT", "128", "");
        row("INT", "T#1S", "");
        row("REAL", "1.5", "3fc00000");
        row("REAL", "1e39", "");
        row("BOOL", "TRUE", "01");
        row("TIME", "T#1S_200MS", "000004b0");
        row("DATE", "D#2026-12-06", "34b0");
        row("STRING[4]", "'ab'", "040261620000");
    }
    void literalsEverywhere()
    {
        QFETCH(QString, type);
        QFETCH(QString, literal);
        QFETCH(QByteArray, image);
        const S7Type s7 = S7Type::fromName(type);
        QVERIFY(s7.isValid());

        SimPlc plc;
        const QString answer = SimControl(&plc).execute(QStringLiteral("set %1:%2 %3").arg(placeOf(s7), type, literal));
        QCOMPARE(answer.startsWith(QLatin1String("ok")), !image.isEmpty());
        const QByteArray memory = plc.memory(SimPlc::AreaDataBlocks, 1, 0, qMax(1, s7.size()));
        if (!image.isEmpty())
            QCOMPARE(s7.isBool() ? QByteArray(1, char(memory.at(0) & 1)).toHex() : memory.toHex(), image.toHex());

        const QString preset = placeOf(s7) + QLatin1Char(':') + type + QLatin1Char('=') + literal;
        QCOMPARE(served(s7, {"--preset", preset}).toHex(), image.toHex());
        QTemporaryDir dir;
        QFile source(dir.filePath(QStringLiteral("d.db")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(blockSource(QStringLiteral("x : %1 := %2;").arg(type, literal)).toUtf8());
        source.close();
        QCOMPARE(served(s7, {"--symbols", source.fileName(), "--number", "D=1"}).toHex(), image.toHex());

        QCOMPARE(leafWrite(type, literal).toHex(), image.toHex());

        // A tag by address: the plug-in's types only.
        const DataType served = S7Type::servedTypeOf(type);
        if (served == NoType)
            return;
        TagList::Entry entry;
        entry.tag.address = placeOf(s7);
        entry.tag.type = served;
        CLabelVariable record;
        QString error;
        const bool written = SymbolTags::writeRecord(entry, {literal}, &record, &error);
        QCOMPARE(written ? imageOf(record).toHex() : QByteArray(), image.toHex());
    }
    // A signal's bytes at points of its period.
    void signalValues_data()
    {
        QTest::addColumn<QString>("signalText");
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<double>("random");
        QTest::addColumn<QList<QByteArray>>("bytes");
        QTest::addRow("sine 0..100") << "DB1.DBW0:int16:sine:10s" << QList<qint64>{0, 2500, 7500, 12500} << 0.0
                                     << QList<QByteArray>{h("0032"), h("0064"), h("0000"), h("0064")};
        QTest::addRow("ramp") << "MW2:uint16:ramp:1s:0:1000" << QList<qint64>{0, 250, 999, 1000} << 0.0
                              << QList<QByteArray>{h("0000"), h("00fa"), h("03e7"), h("0000")};
        QTest::addRow("square bool") << "M4.0:bool:square:2s" << QList<qint64>{500, 1500} << 0.0
                                     << QList<QByteArray>{h("00"), h("01")};
        QTest::addRow("random real") << "DB1.DBD4:REAL:random:500ms:-1:1" << QList<qint64>{0} << 0.75
                                     << QList<QByteArray>{h("3f000000")};
        QTest::addRow("ramp of a byte") << "QB0:usint:ramp:1m:10:250" << QList<qint64>{0, 30000}
                                        << 0.0 << QList<QByteArray>{h("0a"), h("82")};
        QTest::addRow("64-bit ramp") << "DB1.DBB8:lint:ramp:1h:0:1e15" << QList<qint64>{1800000} << 0.0
                                     << QList<QByteArray>{h("0001c6bf52634000")};
    }
    void signalValues()
    {
        QFETCH(QString, signalText);
        QFETCH(QList<qint64>, times);
        QFETCH(double, random);
        QFETCH(QList<QByteArray>, bytes);
        SimSignal signal;
        QString error;
        QVERIFY2(SimSignal::parse(signalText, &signal, &error), qPrintable(error));
        for (int i = 0; i < times.size(); ++i)
            QCOMPARE(signal.bytesAt(times.at(i), random).toHex(), bytes.at(i).toHex());
    }

    void badSignals_data()
    {
        QTest::addColumn<QString>("signalText");
        QTest::addColumn<QString>("named");
        QTest::addRow("word for int32") << "DB1.DBW0:int32:sine:10s" << "Int32 takes 4 bytes; the address names 2";
        QTest::addRow("bool without a bit") << "M0:bool:square:1s" << "BOOL needs a bit address";
        QTest::addRow("unknown type") << "M0:int128:sine:1s" << "unknown type 'int128'";
        QTest::addRow("unknown shape") << "M0:int8:saw:1s" << "shape sine, ramp, square or random";
        QTest::addRow("period too short") << "M0:int8:sine:9ms" << "period 10ms to 24h";
        QTest::addRow("min not below max") << "M0:int8:sine:1s:5:5" << "MIN below MAX";
        QTest::addRow("min outside the type") << "M0:uint8:sine:1s:-1:5" << "MIN below MAX, both within UInt8";
        QTest::addRow("bool with a range") << "M0.0:bool:sine:1s:0:1" << "bool takes none";
        QTest::addRow("five parts") << "M0:int8:sine:1s:5" << "ADDRESS:TYPE:SHAPE:PERIOD[:MIN:MAX]";
    }
    void badSignals()
    {
        QFETCH(QString, signalText);
        QFETCH(QString, named);
        SimSignal signal;
        QString error;
        QVERIFY(!SimSignal::parse(signalText, &signal, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
    }

    // --fault, --state and --signal from the command line, then the fault
    // and state changed through the control port, where a line too long is
    // refused and the port goes on, and the signal's value moves.
    void controlPortAndSignal()
    {
        SimRun sim;
        QVERIFY(sim.start({"--control", "0", "--fault", "silent", "--state", "stop", "--signal",
                           "DB1.DBW0:int16:ramp:2s:0:2000"}));
        QTcpSocket plc;
        plc.connectToHost(QHostAddress::LocalHost, sim.port);
        QVERIFY(plc.waitForConnected(WaitMs));
        QCOMPARE(ask(plc, ConnectRequest), QByteArray()); // silent
        QTcpSocket control;
        QVERIFY(sim.connectControl(control));
        QCOMPARE(SimRun::converse(control, QByteArray(300, 'x') + "\nfault off\nclients\n", 3),
                 QStringList({"error: line longer than 256 bytes", "ok fault off",
                              QStringLiteral("ok 1 127.0.0.1:%1").arg(plc.localPort())}));
        QCOMPARE(ask(plc, ConnectRequest).size(), 22);
        QCOMPARE(ask(plc, SetupJob).size(), 27);
        QCOMPARE(ask(plc, ModeRequest).mid(ModeByteOffset, 1), h("04"));
        const QStringList first = SimRun::converse(control, "state run\nget DB1.DBW0\n", 2);
        QCOMPARE(first.value(0), QStringLiteral("ok state run"));
        QCOMPARE(ask(plc, ModeRequest).mid(ModeByteOffset, 1), h("08"));
        const QStringList second = SimRun::converse(control, "get DB1.DBW0\n", 1);
        QVERIFY2(first.size() == 2 && second.size() == 1 && first.at(1) != second.at(0), qPrintable(first.join(' ')));
    }

    // The stop handlers are in place before the simulator says it listens:
    // SIGTERM right after the line ends it with "stopped" and exit code 0.
    void stopRightAfterListening()
    {
        for (int run = 0; run < StopRuns; ++run) {
            QProcess sim;
            sim.start(QStringLiteral(QUILLMARSH_SIM_PROGRAM), {"--port", "0"});
            QByteArray out;
            while (!out.contains("listening on") && sim.waitForReadyRead(WaitMs))
                out += sim.readAllStandardOutput();
            sim.terminate();
            QVERIFY(sim.waitForFinished(WaitMs));
            out += sim.readAllStandardOutput();
            QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
            QCOMPARE(sim.exitCode(), 0);
            QVERIFY2(out.endsWith("stopped\n"), out.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TstSimApp)
#include "tst_simapp.moc"
